#include "validator_tree_model.h"

#include <QMetaType>
#include <unordered_map>

#include "common/string_utils.h"
#include "engine/core/stack_tracker.h"

using KX::ValidatorHelper::ValidationError;

namespace {

// Severity values as counter positions.
constexpr size_t kSeverityNone = 0;
constexpr size_t kSeverityNormal = 1;
constexpr size_t kSeverityMedium = 2;
constexpr size_t kSeverityHigh = 3;

std::string branchLabel(const ValidatorTreeModel::ValidatorNode& node) {
    static const std::pair<size_t, const char*> kOrder[] = {
        {kSeverityHigh, "high"},
        {kSeverityMedium, "medium"},
        {kSeverityNormal, "normal"},
        {kSeverityNone, "none"},
    };
    std::string label = node.text + " (";
    uint64_t total = 0;
    for (const auto& [severity, word] : kOrder) {
        const uint32_t count = node.counts[severity];
        total += count;
        if (count != 0) {
            label += std::to_string(count) + " " + word + ", ";
        }
    }
    label += std::to_string(total) + " all)";
    return label;
}

} // namespace

ValidatorTreeModel::ValidatorNode::~ValidatorNode() = default;

QVariant ValidatorTreeModel::ValidatorNode::data(int role) const {
    if (role == Qt::DisplayRole) {
        return QString::fromStdString(text);
    }
    return Node::data(role);
}

ValidatorTreeModel::ValidatorTreeModel(const IValidatorPanel& panel, QObject* parent)
    : SimpleTreeModel(parent), panel(panel) {
    qRegisterMetaType<QModelIndexList>("QModelIndexList");
}

ValidatorTreeModel::~ValidatorTreeModel() = default;

void ValidatorTreeModel::reset() {
    KX_STACK_TRACK("ValidatorTreeModel::reset");
    resetModel();
}

void ValidatorTreeModel::doResetModel() {
    // The panel may still be adding findings while it validates.
    if (panel.validationIsRunning() || panel.validationIsDisabled()) {
        return;
    }
    const std::vector<ValidationError> findings = panel.errors();
    std::unordered_map<std::string, ValidatorNode*> branches;
    auto branchFor = [&branches](const std::string& key, Node* parent, const std::string& label) {
        auto found = branches.find(key);
        if (found != branches.end()) {
            return found->second;
        }
        auto branch = std::make_unique<ValidatorNode>();
        branch->text = label;
        ValidatorNode* added = parent->append(std::move(branch));
        branches.emplace(key, added);
        return added;
    };

    for (size_t position = 0; position < findings.size(); ++position) {
        const ValidationError& finding = findings[position];
        std::vector<std::string> parts = KX::StringUtils::splitString(finding.category, "/");
        if (parts.empty()) {
            parts.emplace_back();
        }
        std::string key = parts.front() + "/";
        ValidatorNode* branch = branchFor(key, rootNode(), parts.front());
        for (size_t i = 1; i < parts.size(); ++i) {
            key += parts[i] + "/";
            branch = branchFor(key, branch, parts[i]);
        }

        auto leaf = std::make_unique<ValidatorNode>();
        leaf->text = finding.message;
        leaf->severity = static_cast<uint8_t>(finding.severity);
        leaf->errorIndex = static_cast<int32_t>(position);
        branch->append(std::move(leaf));

        const auto severity = static_cast<uint8_t>(finding.severity);
        for (Node* node = branch; node != nullptr; node = node->parent()) {
            auto* ancestor = dynamic_cast<ValidatorNode*>(node);
            if (ancestor == nullptr) {
                break;
            }
            if (severity > ancestor->severity) {
                ancestor->severity = severity;
            }
            if (severity < ancestor->counts.size()) {
                ++ancestor->counts[severity];
            }
        }
    }

    for (auto& [key, branch] : branches) {
        branch->text = branchLabel(*branch);
    }
}

const ValidatorTreeModel::ValidatorNode* ValidatorTreeModel::validatorNode(const QModelIndex& index) const {
    return dynamic_cast<const ValidatorNode*>(nodeFromIndex(index));
}

int ValidatorTreeModel::getNodeSeverity(const QModelIndex& index) const {
    const ValidatorNode* node = validatorNode(index);
    return node != nullptr ? node->severity : 0;
}

void ValidatorTreeModel::copySelected(const QModelIndexList& selectedIndexes) const {
    KX_STACK_TRACK("ValidatorTreeModel::copySelected");
    std::string text;
    for (const QModelIndex& index : selectedIndexes) {
        if (const ValidatorNode* node = validatorNode(index)) {
            text += node->text;
            text += '\n';
        }
    }
    KX::StringUtils::copyToClipboardT(text);
}

void ValidatorTreeModel::onDoubleClicked(const QModelIndex& index) const {
    const ValidatorNode* node = validatorNode(index);
    if (node != nullptr && node->errorIndex >= 0) {
        panel.openError(node->errorIndex);
    }
}

QHash<int, QByteArray> ValidatorTreeModel::roleNames() const {
    return {{Qt::DisplayRole, "DisplayRole"}};
}

bool ValidatorTreeModel::validationIsDisabled() const {
    return panel.validationIsDisabled();
}

bool ValidatorTreeModel::validationIsRunning() const {
    return panel.validationIsRunning();
}

const IValidatorPanel& ValidatorTreeModel::validator() {
    return panel;
}
