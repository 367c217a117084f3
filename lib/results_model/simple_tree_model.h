#pragma once

#include <QAbstractItemModel>
#include <memory>
#include <vector>

// A generic one-column tree model: a tree of polymorphic nodes below an
// invisible root. Derived models subclass Node for their rows and build the
// tree from doResetModel or by inserting into live nodes.
class SimpleTreeModel : public QAbstractItemModel {
    Q_OBJECT

  public:
    class Node {
      public:
        Node() = default;
        virtual ~Node();
        Node(const Node&) = delete;
        Node& operator=(const Node&) = delete;

        virtual QVariant data(int role) const;
        virtual bool setData(int role, const QVariant& value);
        virtual Qt::ItemFlags flags() const;

        Node* parent() const { return parent_; }
        int childCount() const { return static_cast<int>(children_.size()); }
        // Null when `row` is out of range.
        Node* child(int row) const;
        // Position among the parent's children; -1 for a root.
        int row() const;

        // Takes ownership of `child` and places it at `row` (clamped to the
        // valid range). A live model is told about the new row.
        Node* insert(int row, std::unique_ptr<Node> child);
        Node* append(std::unique_ptr<Node> child) { return insert(childCount(), std::move(child)); }

        template <typename T> T* append(std::unique_ptr<T> child) {
            return static_cast<T*>(append(std::unique_ptr<Node>(std::move(child))));
        }

      private:
        friend class SimpleTreeModel;
        SimpleTreeModel* model() const;

        Node* parent_ = nullptr;
        SimpleTreeModel* owner_ = nullptr; // set on the root only
        std::vector<std::unique_ptr<Node>> children_;
    };

    explicit SimpleTreeModel(QObject* parent = nullptr);
    ~SimpleTreeModel() override;

    Node* rootNode() const { return root_.get(); }
    // The node behind `index`: the root for an invalid index, null for an
    // index of another model.
    Node* nodeFromIndex(const QModelIndex& index) const;
    QModelIndex indexFromNode(const Node* node) const;

    // Removes every node under the root, then lets doResetModel rebuild the
    // tree, all inside one model reset.
    void resetModel();

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

  protected:
    // Called by resetModel while the model is empty and resetting.
    virtual void doResetModel();

  private:
    std::unique_ptr<Node> root_;
    bool resetting_ = false;
};
