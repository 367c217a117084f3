#pragma once

#include <QColor>
#include <QStyledItemDelegate>

class ValidatorTreeModel;

namespace KX::GuiStyle {

// The colour of a node of the given severity (0 none .. 3 high).
QColor severityColor(int severity);

} // namespace KX::GuiStyle

// Colours each row of a results tree by its node's severity and sets the
// category branches in bold.
class SeverityDelegate : public QStyledItemDelegate {
    Q_OBJECT

  public:
    SeverityDelegate(const ValidatorTreeModel& model, QObject* parent);

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;

  private:
    const ValidatorTreeModel& model_;
};
