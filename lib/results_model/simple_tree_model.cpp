#include "simple_tree_model.h"

#include <algorithm>

SimpleTreeModel::Node::~Node() = default;

QVariant SimpleTreeModel::Node::data(int) const {
    return QVariant();
}

bool SimpleTreeModel::Node::setData(int, const QVariant&) {
    return false;
}

Qt::ItemFlags SimpleTreeModel::Node::flags() const {
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable;
}

SimpleTreeModel::Node* SimpleTreeModel::Node::child(int row) const {
    if (row < 0 || row >= childCount()) {
        return nullptr;
    }
    return children_[static_cast<size_t>(row)].get();
}

int SimpleTreeModel::Node::row() const {
    if (parent_ == nullptr) {
        return -1;
    }
    const auto& siblings = parent_->children_;
    const auto found =
        std::find_if(siblings.begin(), siblings.end(),
                     [this](const std::unique_ptr<Node>& sibling) { return sibling.get() == this; });
    return static_cast<int>(found - siblings.begin());
}

SimpleTreeModel* SimpleTreeModel::Node::model() const {
    const Node* node = this;
    while (node->parent_ != nullptr) {
        node = node->parent_;
    }
    return node->owner_;
}

SimpleTreeModel::Node* SimpleTreeModel::Node::insert(int row, std::unique_ptr<Node> child) {
    if (!child) {
        return nullptr;
    }
    row = std::clamp(row, 0, childCount());
    SimpleTreeModel* live = model();
    // During a reset the views are told about everything at its end.
    const bool notify = live != nullptr && !live->resetting_;
    if (notify) {
        live->beginInsertRows(live->indexFromNode(this), row, row);
    }
    child->parent_ = this;
    Node* inserted = child.get();
    children_.insert(children_.begin() + row, std::move(child));
    if (notify) {
        live->endInsertRows();
    }
    return inserted;
}

SimpleTreeModel::SimpleTreeModel(QObject* parent)
    : QAbstractItemModel(parent), root_(std::make_unique<Node>()) {
    root_->owner_ = this;
}

SimpleTreeModel::~SimpleTreeModel() = default;

SimpleTreeModel::Node* SimpleTreeModel::nodeFromIndex(const QModelIndex& index) const {
    if (!index.isValid()) {
        return root_.get();
    }
    if (index.model() != this) {
        return nullptr;
    }
    return static_cast<Node*>(index.internalPointer());
}

QModelIndex SimpleTreeModel::indexFromNode(const Node* node) const {
    if (node == nullptr || node == root_.get() || node->model() != this) {
        return QModelIndex();
    }
    return createIndex(node->row(), 0, const_cast<Node*>(node));
}

void SimpleTreeModel::resetModel() {
    beginResetModel();
    resetting_ = true;
    root_->children_.clear();
    doResetModel();
    resetting_ = false;
    endResetModel();
}

void SimpleTreeModel::doResetModel() {}

QModelIndex SimpleTreeModel::index(int row, int column, const QModelIndex& parent) const {
    if (column != 0 || (parent.isValid() && parent.column() != 0)) {
        return QModelIndex();
    }
    const Node* parentNode = nodeFromIndex(parent);
    Node* node = parentNode != nullptr ? parentNode->child(row) : nullptr;
    if (node == nullptr) {
        return QModelIndex();
    }
    return createIndex(row, 0, node);
}

QModelIndex SimpleTreeModel::parent(const QModelIndex& child) const {
    const Node* node = child.isValid() ? nodeFromIndex(child) : nullptr;
    if (node == nullptr) {
        return QModelIndex();
    }
    return indexFromNode(node->parent());
}

int SimpleTreeModel::rowCount(const QModelIndex& parent) const {
    if (parent.isValid() && parent.column() != 0) {
        return 0;
    }
    const Node* node = nodeFromIndex(parent);
    return node != nullptr ? node->childCount() : 0;
}

int SimpleTreeModel::columnCount(const QModelIndex&) const {
    return 1;
}

QVariant SimpleTreeModel::data(const QModelIndex& index, int role) const {
    const Node* node = index.isValid() ? nodeFromIndex(index) : nullptr;
    return node != nullptr ? node->data(role) : QVariant();
}

bool SimpleTreeModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    Node* node = index.isValid() ? nodeFromIndex(index) : nullptr;
    if (node == nullptr || !node->setData(role, value)) {
        return false;
    }
    emit dataChanged(index, index, {role});
    return true;
}

Qt::ItemFlags SimpleTreeModel::flags(const QModelIndex& index) const {
    const Node* node = index.isValid() ? nodeFromIndex(index) : nullptr;
    return node != nullptr ? node->flags() : Qt::NoItemFlags;
}
