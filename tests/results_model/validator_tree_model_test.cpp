#include <QAbstractItemModelTester>
#include <QClipboard>
#include <QGuiApplication>
#include <QMetaMethod>
#include <QStringListModel>
#include <gtest/gtest.h>

#include "common/string_utils.h"
#include "qt_test_application.h"
#include "validator_tree_model.h"

using KX::ValidatorHelper::ValidationError;
using KX::ValidatorHelper::ValidationErrorSeverity;
using KX::ValidatorHelper::ValidationTitle;

namespace {

// A host panel holding a fixed list of findings.
class TestPanel : public IValidatorPanel {
  public:
    std::vector<ValidationError> errors() const override { return findings; }
    bool validationIsDisabled() const override { return disabled; }
    bool validationIsRunning() const override { return running; }
    void openError(int index) const override { opened.push_back(index); }

    std::vector<ValidationError> findings;
    bool disabled = false;
    bool running = false;
    mutable std::vector<int> opened;
};

ValidationError finding(const std::string& message, ValidationErrorSeverity severity,
                        const std::string& category) {
    return ValidationError{message, ValidationTitle::Common, severity, category};
}

std::string label(const QAbstractItemModel& model, const QModelIndex& index) {
    return model.data(index, Qt::DisplayRole).toString().toStdString();
}

class ValidatorTreeModelTest : public ::testing::Test {
  protected:
    ValidatorTreeModelTest()
        : model(panel, nullptr), tester(&model, QAbstractItemModelTester::FailureReportingMode::Fatal) {
        qtTestApplication<QGuiApplication>();
    }

    QModelIndex at(int row, const QModelIndex& parent = QModelIndex()) const {
        return model.index(row, 0, parent);
    }

    TestPanel panel;
    ValidatorTreeModel model;
    QAbstractItemModelTester tester;
};

} // namespace

TEST(StringUtilsTest, SplitString) {
    using KX::StringUtils::splitString;
    using Parts = std::vector<std::string>;
    EXPECT_EQ(splitString("", "/"), Parts{});
    EXPECT_EQ(splitString("a", "/"), Parts{"a"});
    EXPECT_EQ(splitString("a/b", "/"), (Parts{"a", "b"}));
    EXPECT_EQ(splitString("a/", "/"), (Parts{"a", ""}));
    EXPECT_EQ(splitString("/a", "/"), (Parts{"", "a"}));
    EXPECT_EQ(splitString("a//b", "/"), (Parts{"a", "", "b"}));
    EXPECT_EQ(splitString("/", "/"), (Parts{"", ""}));
    EXPECT_EQ(splitString("x::y::", "::"), (Parts{"x", "y", ""}));
    EXPECT_EQ(splitString("a/b", ""), Parts{"a/b"});
}

TEST_F(ValidatorTreeModelTest, FilesFindingsByCategoryWithCountedLabels) {
    model.reset();
    EXPECT_EQ(model.rowCount(), 0);

    panel.findings = {
        finding("[Err. 1] first", ValidationErrorSeverity::High, "Common"),
        finding("[Inf. 2] second", ValidationErrorSeverity::Normal, "Common"),
        finding("[Err. 3] third", ValidationErrorSeverity::High, "Common"),
        finding("[Wrn. 4] styled", ValidationErrorSeverity::Medium, "Style/Common"),
        finding("[ 5] quiet", ValidationErrorSeverity::None, "Style/Other"),
    };
    model.reset();
    ASSERT_EQ(model.rowCount(), 2);

    const QModelIndex common = at(0);
    EXPECT_EQ(label(model, common), "Common (2 high, 1 normal, 3 all)");
    EXPECT_EQ(model.getNodeSeverity(common), 3);
    ASSERT_EQ(model.rowCount(common), 3);
    EXPECT_EQ(label(model, at(0, common)), "[Err. 1] first");
    EXPECT_EQ(label(model, at(1, common)), "[Inf. 2] second");
    EXPECT_EQ(label(model, at(2, common)), "[Err. 3] third");
    EXPECT_EQ(model.getNodeSeverity(at(1, common)), 1);
    EXPECT_EQ(model.rowCount(at(0, common)), 0);

    const QModelIndex style = at(1);
    EXPECT_EQ(label(model, style), "Style (1 medium, 1 none, 2 all)");
    EXPECT_EQ(model.getNodeSeverity(style), 2);
    ASSERT_EQ(model.rowCount(style), 2);
    EXPECT_EQ(label(model, at(0, style)), "Common (1 medium, 1 all)");
    EXPECT_EQ(label(model, at(1, style)), "Other (1 none, 1 all)");
    EXPECT_EQ(model.getNodeSeverity(at(1, style)), 0);
    EXPECT_EQ(label(model, at(0, at(0, style))), "[Wrn. 4] styled");

    EXPECT_EQ(model.getNodeSeverity(QModelIndex()), 0);
    EXPECT_EQ(model.columnCount(), 1);
    EXPECT_EQ(model.roleNames(), (QHash<int, QByteArray>{{0, "DisplayRole"}}));
}

TEST_F(ValidatorTreeModelTest, EdgeCategoriesAndSeverities) {
    panel.findings = {
        finding("[Err. 1] h", ValidationErrorSeverity::High, ""),
        finding("[Wrn. 2] m", ValidationErrorSeverity::Medium, "All"),
        finding("[Inf. 3] n", ValidationErrorSeverity::Normal, "All"),
        finding("[ 4] o", ValidationErrorSeverity::None, "All"),
        finding("[Err. 5] h", ValidationErrorSeverity::High, "All"),
        finding("[ 6] odd", static_cast<ValidationErrorSeverity>(7), "Odd/"),
        finding("[Inf. 7] \xc3\xa4rger", ValidationErrorSeverity::Normal, "Unicode \xc3\xa9"),
    };
    model.reset();
    ASSERT_EQ(model.rowCount(), 4);
    EXPECT_EQ(label(model, at(0)), " (1 high, 1 all)");
    EXPECT_EQ(label(model, at(1)), "All (1 high, 1 medium, 1 normal, 1 none, 4 all)");

    // A severity outside the known range raises the branch but counts nowhere;
    // the trailing '/' files it under a branch with an empty label.
    EXPECT_EQ(label(model, at(2)), "Odd (0 all)");
    EXPECT_EQ(model.getNodeSeverity(at(2)), 7);
    ASSERT_EQ(model.rowCount(at(2)), 1);
    EXPECT_EQ(label(model, at(0, at(2))), " (0 all)");

    EXPECT_EQ(model.data(at(3)).toString(), QString::fromUtf8("Unicode \xc3\xa9 (1 normal, 1 all)"));
    EXPECT_EQ(model.data(at(0, at(3))).toString(), QString::fromUtf8("[Inf. 7] \xc3\xa4rger"));
    EXPECT_FALSE(model.data(at(3), Qt::DecorationRole).isValid());
    EXPECT_FALSE(model.setData(at(3), QStringLiteral("x")));
    EXPECT_EQ(model.flags(at(3)), Qt::ItemIsEnabled | Qt::ItemIsSelectable);
}

TEST_F(ValidatorTreeModelTest, RunningOrDisabledPanelGivesEmptyTree) {
    panel.findings = {finding("[Err. 1] a", ValidationErrorSeverity::High, "Common")};
    model.reset();
    EXPECT_EQ(model.rowCount(), 1);

    panel.running = true;
    EXPECT_TRUE(model.validationIsRunning());
    model.reset();
    EXPECT_EQ(model.rowCount(), 0);

    panel.running = false;
    panel.disabled = true;
    EXPECT_TRUE(model.validationIsDisabled());
    model.reset();
    EXPECT_EQ(model.rowCount(), 0);

    panel.disabled = false;
    model.reset();
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(&model.validator(), &panel);
}

TEST_F(ValidatorTreeModelTest, DoubleClickOpensLeavesOnly) {
    panel.findings = {
        finding("[Err. 1] a", ValidationErrorSeverity::High, "Common"),
        finding("[Err. 2] b", ValidationErrorSeverity::High, "Style/Common"),
    };
    model.reset();
    model.onDoubleClicked(at(0, at(0)));
    model.onDoubleClicked(at(0));
    model.onDoubleClicked(at(1));
    model.onDoubleClicked(at(0, at(1)));
    model.onDoubleClicked(QModelIndex());
    model.onDoubleClicked(at(0, at(0, at(1))));
    EXPECT_EQ(panel.opened, (std::vector<int>{0, 1}));
}

TEST_F(ValidatorTreeModelTest, CopiesSelectedLabelsToClipboard) {
    panel.findings = {
        finding("[Err. 1] a", ValidationErrorSeverity::High, "Common"),
        finding("[Inf. 2] b", ValidationErrorSeverity::Normal, "Common"),
    };
    model.reset();
    // Views written in QML reach the model through its meta-object only.
    const QMetaObject* meta = model.metaObject();
    EXPECT_STREQ(meta->className(), "ValidatorTreeModel");
    ASSERT_EQ(meta->methodCount() - meta->methodOffset(), 3);
    EXPECT_EQ(meta->method(meta->methodOffset()).methodSignature(), "getNodeSeverity(QModelIndex)");
    EXPECT_EQ(meta->method(meta->methodOffset() + 1).methodSignature(), "copySelected(QModelIndexList)");
    EXPECT_EQ(meta->method(meta->methodOffset() + 2).methodSignature(), "onDoubleClicked(QModelIndex)");
    EXPECT_NE(QMetaType::type("QModelIndexList"), QMetaType::UnknownType);
    ASSERT_TRUE(QMetaObject::invokeMethod(&model, "copySelected",
                                          Q_ARG(QModelIndexList, (QModelIndexList{at(0), at(1, at(0))}))));
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(),
              "Common (1 high, 1 normal, 2 all)\n[Inf. 2] b\n");

    KX::StringUtils::copyToClipboardT("\xc3\xa9t\xc3\xa9");
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QString::fromUtf8("\xc3\xa9t\xc3\xa9"));

    // Indexes of the root or of another model carry no label.
    QStringListModel other({QStringLiteral("foreign")});
    model.copySelected({QModelIndex(), other.index(0), at(0, at(0))});
    EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), "[Err. 1] a\n");
}

TEST_F(ValidatorTreeModelTest, LiveInsertionIsAnnounced) {
    panel.findings = {finding("[Err. 1] a", ValidationErrorSeverity::High, "Common")};
    model.reset();
    int inserted = 0;
    QObject::connect(&model, &QAbstractItemModel::rowsInserted,
                     [&inserted](const QModelIndex&, int first, int last) { inserted += last - first + 1; });

    auto extra = std::make_unique<ValidatorTreeModel::ValidatorNode>();
    extra->text = "extra";
    SimpleTreeModel::Node* branch = model.nodeFromIndex(at(0));
    ASSERT_NE(branch, nullptr);
    branch->insert(0, std::move(extra));
    EXPECT_EQ(inserted, 1);
    ASSERT_EQ(model.rowCount(at(0)), 2);
    EXPECT_EQ(label(model, at(0, at(0))), "extra");
    EXPECT_EQ(label(model, at(1, at(0))), "[Err. 1] a");
    EXPECT_EQ(model.parent(at(1, at(0))), at(0));

    model.reset();
    EXPECT_EQ(model.rowCount(at(0)), 1);
}
