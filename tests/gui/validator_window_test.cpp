#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <gtest/gtest.h>

#include "finding_links.h"
#include "gui_command_line.h"
#include "results_model/qt_test_application.h"
#include "severity_delegate.h"
#include "support/resource_tree.h"
#include "validator_window.h"

namespace {

const char* const kHouseModel = "content/x/house.model";
const char* const kHouseFinding = "[Err. 100] Model 'content/x/house.model' has invalid path";

class ValidatorWindowTest : public ::testing::Test {
  protected:
    ValidatorWindowTest() {
        tree.write(kHouseModel, "<root>\n\t<nodefullVisual>content/x/house</nodefullVisual>\n</root>\n");
        window.setFileOpener([this](const QUrl& url) {
            opened.push_back(url);
            return true;
        });
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    bool validate() {
        QSignalSpy finished(&window, &ValidatorWindow::validationFinished);
        QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("validateButton")), Qt::LeftButton);
        return !finished.isEmpty() || finished.wait(60000);
    }

    // The index whose label is `text`, searched depth first.
    QModelIndex find(const QString& text, const QModelIndex& parent = QModelIndex()) const {
        const ValidatorTreeModel& model = window.treeModel();
        for (int row = 0; row < model.rowCount(parent); ++row) {
            const QModelIndex index = model.index(row, 0, parent);
            if (model.data(index).toString() == text) {
                return index;
            }
            if (const QModelIndex found = find(text, index); found.isValid()) {
                return found;
            }
        }
        return QModelIndex();
    }

    void doubleClick(const QModelIndex& index) {
        QTreeView* view = window.treeView();
        view->scrollTo(index);
        const QPoint centre = view->visualRect(index).center();
        // A double click is a press/release pair followed by the double-click event.
        QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, centre);
    }

    QApplication& app = qtTestApplication<QApplication>(); // before any widget
    TempResourceTree tree;
    ValidatorWindow window;
    std::vector<QUrl> opened;
};

} // namespace

TEST(GuiHelpersTest, FindsResourcePathsAndParsesArguments) {
    qtTestApplication<QApplication>();
    using KX::GuiLinks::resourcePathCandidates;
    using Paths = std::vector<std::string>;
    EXPECT_EQ(resourcePathCandidates(kHouseFinding), Paths{kHouseModel});
    EXPECT_EQ(resourcePathCandidates("[Wrn. 7] Texture a/b.dds of c/d.visual"),
              (Paths{"a/b.dds", "c/d.visual"}));
    EXPECT_EQ(resourcePathCandidates("[Err. 1] no file here."), Paths{});
    EXPECT_EQ(resourcePathCandidates("\"x/y_z-1.primitives\" broken"), Paths{"x/y_z-1.primitives"});
    EXPECT_EQ(resourcePathCandidates("name '1.model' for path 'c/my props/1.model'"),
              (Paths{"1.model", "c/my props/1.model", "props/1.model"}));

    using KX::GuiLinks::resourcePathForFile;
    const QStringList roots = {QStringLiteral("/r1"), QStringLiteral("/r2/")};
    EXPECT_EQ(resourcePathForFile(roots, QStringLiteral("/r2/content/a.model")),
              QStringLiteral("content/a.model"));
    EXPECT_EQ(resourcePathForFile(roots, QStringLiteral("/r1/../r3/a.model")), QString());
    EXPECT_EQ(resourcePathForFile(roots, QStringLiteral("/r10/a.model")), QString());

    EXPECT_EQ(KX::GuiStyle::severityColor(3), QColor(0xc6, 0x28, 0x28));
    EXPECT_NE(KX::GuiStyle::severityColor(2), KX::GuiStyle::severityColor(1));
    EXPECT_EQ(KX::GuiStyle::severityColor(0), KX::GuiStyle::severityColor(9));

    TempResourceTree tree;
    const std::string spaced = tree.write("c/my props/1.model", "<root/>");
    EXPECT_EQ(KX::GuiLinks::firstExistingFile("name '1.model' for path 'c/my props/1.model'"), spaced);
    EXPECT_EQ(KX::GuiLinks::firstExistingFile("name '1.model' for path 'c/2.model'"), "");

    const QString root = QString::fromStdString(tree.root());
    QString error;
    const auto options = KX::GuiCommandLine::parse(
        {"gui", "--res", root, "--screenshot", "/tmp/x.png", "content/a.model"}, &error);
    ASSERT_TRUE(options.has_value()) << error.toStdString();
    EXPECT_EQ(options->roots, QStringList{root});
    EXPECT_EQ(options->screenshot, QStringLiteral("/tmp/x.png"));
    EXPECT_EQ(options->model, QStringLiteral("content/a.model"));
    EXPECT_FALSE(KX::GuiCommandLine::parse({"gui", "--res"}, &error));
    EXPECT_FALSE(KX::GuiCommandLine::parse({"gui", "--res", root + "/missing"}, &error));
    EXPECT_FALSE(KX::GuiCommandLine::parse({"gui", "--screenshot", "/tmp/x.png"}, &error));
    EXPECT_FALSE(KX::GuiCommandLine::parse({"gui", "--bogus"}, &error));
    EXPECT_FALSE(KX::GuiCommandLine::parse({"gui", "a.model", "b.model"}, &error));
}

TEST_F(ValidatorWindowTest, ValidatesCopiesAndOpensFindings) {
    EXPECT_FALSE(window.startValidation());
    window.addResourceRoot(QString::fromStdString(tree.root()));
    window.addResourceRoot(QString::fromStdString(tree.root()));
    EXPECT_EQ(window.resourceRoots().size(), 1);
    EXPECT_FALSE(window.startValidation());
    ASSERT_TRUE(window.setModelFromFile(QString::fromStdString(tree.path(kHouseModel))));
    EXPECT_EQ(window.findChild<QLineEdit*>(QStringLiteral("modelEdit"))->text(), QString(kHouseModel));
    EXPECT_FALSE(window.setModelFromFile(QStringLiteral("/elsewhere/x.model")));
    EXPECT_EQ(window.modelPath(), QString(kHouseModel));

    ASSERT_TRUE(validate());
    EXPECT_FALSE(window.validationIsRunning());
    EXPECT_TRUE(window.findChild<QPushButton*>(QStringLiteral("validateButton"))->isEnabled());
    EXPECT_FALSE(window.findChild<QPushButton*>(QStringLiteral("cancelButton"))->isEnabled());

    const QModelIndex leaf = find(QString(kHouseFinding));
    ASSERT_TRUE(leaf.isValid());
    const QModelIndex branch = leaf.parent();
    ASSERT_TRUE(branch.isValid());
    EXPECT_TRUE(window.treeModel().data(branch).toString().startsWith(QStringLiteral("Common (")));
    EXPECT_TRUE(window.treeModel().data(branch).toString().contains(QStringLiteral(" high, ")));
    EXPECT_EQ(window.treeModel().getNodeSeverity(branch), 3);
    EXPECT_TRUE(window.treeView()->isExpanded(branch));
    EXPECT_TRUE(window.statusText().startsWith(QStringLiteral("content/x/house.model: ")));
    EXPECT_TRUE(window.statusText().contains(QStringLiteral(" high, ")));

    // Ctrl+C copies the selection in tree order, whatever the click order.
    QItemSelectionModel* selection = window.treeView()->selectionModel();
    selection->select(leaf, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    selection->select(branch, QItemSelectionModel::Select | QItemSelectionModel::Rows);
    window.treeView()->setFocus();
    QTest::keyClick(window.treeView(), Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(),
              window.treeModel().data(branch).toString() + "\n" + QString(kHouseFinding) + "\n");

    doubleClick(branch);
    EXPECT_EQ(window.findingBox(), nullptr);

    doubleClick(leaf);
    QMessageBox* box = window.findingBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(box->text(), QString(kHouseFinding));
    auto* openButton = box->findChild<QPushButton*>(QStringLiteral("openFileButton"));
    ASSERT_NE(openButton, nullptr);
    openButton->click();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(QFileInfo(opened[0].toLocalFile()).canonicalFilePath(),
              QFileInfo(QString::fromStdString(tree.path(kHouseModel))).canonicalFilePath());
}

TEST_F(ValidatorWindowTest, RootsAndCancellation) {
    const QString root = QString::fromStdString(tree.root());
    window.setResourceRoots({root});
    window.setModelPath(QStringLiteral("content/x/missing.model"));
    EXPECT_FALSE(window.startValidation());
    EXPECT_TRUE(window.statusText().contains(QStringLiteral("not found")));

    // A cancelled run ends and leaves the window usable, with or without the
    // findings made before the cancel was seen.
    window.setModelPath(QString(kHouseModel));
    QSignalSpy finished(&window, &ValidatorWindow::validationFinished);
    ASSERT_TRUE(window.startValidation());
    EXPECT_TRUE(window.validationIsRunning());
    EXPECT_EQ(window.treeModel().rowCount(), 0);
    EXPECT_FALSE(window.findChild<QPushButton*>(QStringLiteral("validateButton"))->isEnabled());
    // click() does not spin the event loop, so the run cannot be seen ending first.
    window.findChild<QPushButton*>(QStringLiteral("cancelButton"))->click();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_FALSE(window.validationIsRunning());
    EXPECT_TRUE(window.statusText().startsWith(QStringLiteral("Cancelled: ")));
    EXPECT_TRUE(window.findChild<QPushButton*>(QStringLiteral("validateButton"))->isEnabled());

    auto* list = window.findChild<QListWidget*>(QStringLiteral("rootList"));
    list->item(0)->setSelected(true);
    QTest::mouseClick(window.findChild<QPushButton*>(QStringLiteral("removeRootButton")), Qt::LeftButton);
    EXPECT_TRUE(window.resourceRoots().isEmpty());
    EXPECT_FALSE(window.findChild<QPushButton*>(QStringLiteral("removeRootButton"))->isEnabled());
}

TEST_F(ValidatorWindowTest, ScreenshotWritesPng) {
    KX::GuiCommandLine::Options options;
    options.roots = QStringList{QString::fromStdString(tree.root())};
    options.model = QString::fromStdString(tree.path(kHouseModel));
    QString error;
    ASSERT_TRUE(KX::GuiCommandLine::apply(options, window, &error)) << error.toStdString();
    EXPECT_EQ(window.modelPath(), QString(kHouseModel));
    const std::string png = tree.path("shot.png");
    ASSERT_TRUE(KX::GuiCommandLine::saveScreenshot(window, QString::fromStdString(png), &error))
        << error.toStdString();
    EXPECT_EQ(readDiskFile(png).substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_TRUE(find(QString(kHouseFinding)).isValid());

    window.setModelPath(QStringLiteral("content/none.model"));
    EXPECT_FALSE(KX::GuiCommandLine::saveScreenshot(window, QString::fromStdString(png), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("not found")));
}
