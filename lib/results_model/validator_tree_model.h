#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QModelIndex>
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "model_validator/validator_helper.h"
#include "simple_tree_model.h"

// What the results model needs of the panel that owns a validation's findings.
class IValidatorPanel {
  public:
    virtual ~IValidatorPanel() = default;

    // The findings of the last validation.
    virtual std::vector<KX::ValidatorHelper::ValidationError> errors() const = 0;
    virtual bool validationIsDisabled() const = 0;
    virtual bool validationIsRunning() const = 0;
    // Shows or opens the finding at `index` of errors().
    virtual void openError(int index) const = 0;
};

// The findings of a panel as a tree: one branch per category level (style,
// then title), one leaf per finding, branches labelled with the number of
// findings of each severity beneath them.
class ValidatorTreeModel : public SimpleTreeModel {
    Q_OBJECT

  public:
    class ValidatorNode : public SimpleTreeModel::Node {
      public:
        ~ValidatorNode() override;
        QVariant data(int role) const override;

        std::string text;                    // UTF-8 label
        uint8_t severity = 0;                // leaf: the finding's; branch: the highest beneath
        int32_t errorIndex = -1;             // leaf: position in the findings; branch: -1
        std::array<uint32_t, 4> counts = {}; // branch: findings beneath, by severity
    };

    ValidatorTreeModel(const IValidatorPanel& panel, QObject* parent);
    ~ValidatorTreeModel() override;

    // Rebuilds the tree from the panel; empty while a validation runs or
    // when validation is disabled.
    void reset();

    Q_INVOKABLE virtual int getNodeSeverity(const QModelIndex& index) const;
    // Copies the labels of the selected nodes, each followed by a line feed.
    Q_INVOKABLE virtual void copySelected(const QModelIndexList& selectedIndexes) const;
    // Opens the finding of a leaf; a branch does nothing.
    Q_INVOKABLE virtual void onDoubleClicked(const QModelIndex& index) const;

    QHash<int, QByteArray> roleNames() const override;

    bool validationIsDisabled() const;
    bool validationIsRunning() const;
    const IValidatorPanel& validator();

  protected:
    void doResetModel() override;

  private:
    const ValidatorNode* validatorNode(const QModelIndex& index) const;

    const IValidatorPanel& panel;
};
