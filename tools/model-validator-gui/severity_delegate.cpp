#include "severity_delegate.h"

#include "validator_tree_model.h"

namespace KX::GuiStyle {

QColor severityColor(int severity) {
    switch (severity) {
    case 3:
        return QColor(0xc6, 0x28, 0x28); // red
    case 2:
        return QColor(0xd9, 0x7a, 0x00); // amber
    case 1:
        return QColor(0x1e, 0x5a, 0xb4); // blue
    default:
        return QColor(0x80, 0x80, 0x80); // grey
    }
}

} // namespace KX::GuiStyle

SeverityDelegate::SeverityDelegate(const ValidatorTreeModel& model, QObject* parent)
    : QStyledItemDelegate(parent), model_(model) {}

void SeverityDelegate::initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->palette.setColor(QPalette::Text, KX::GuiStyle::severityColor(model_.getNodeSeverity(index)));
    if (model_.hasChildren(index)) {
        option->font.setBold(true);
    }
}
