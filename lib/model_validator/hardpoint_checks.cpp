#include <algorithm>
#include <set>
#include <string_view>
#include <utility>

#include "engine/core/debug_log.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/visual_path.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/hardpoint_names.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// Exporters round node transforms differently per LOD; smaller drifts are not visible.
constexpr float kTransformTolerance = 0.0004f;

// The model of the chain whose transforms the other LODs must repeat.
const ModelTransforms::value_type* findLod0Model(const ModelTransforms& models) {
    const std::string marker = formatString("/%s%d/", kLodDirectory.c_str(), 0);
    for (const auto& entry : models) {
        if (entry.first.find(marker) != std::string::npos) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

namespace {

// What '.' of a regular expression matches: anything but a line break. Names
// are compared by hand because a pattern like "HP_.*" recurses once per
// character inside the library's matcher, and an exported name may be long.
bool hasNoLineBreak(std::string_view text) {
    return text.find_first_of("\r\n") == std::string_view::npos;
}

bool startsWithHardpointPrefix(std::string_view name) {
    return name.substr(0, 3) == "HP_" && hasNoLineBreak(name);
}

// Deeper node trees than this are not exported by any tool we know; walking
// them would only cost time (and the visual reader stops at the same depth).
constexpr size_t kMaxNodeDepth = 256;

// Depth first, parents before children, children in file order, with an
// explicit stack: a hostile file may nest sections without end. False when
// nodes below the depth limit were left out.
bool collectNodeTransforms(const DataSectionPtr& section, NodeTransforms& transforms,
                           const NameFilter& filter) {
    std::vector<std::pair<DataSectionPtr, size_t>> pending;
    if (section) {
        pending.emplace_back(section, 0);
    }
    bool complete = true;
    while (!pending.empty()) {
        const auto [node, depth] = std::move(pending.back());
        pending.pop_back();
        const std::string name = node->readString(kIdentifierTag);
        if (filter(name) && node->openSection("transform")) {
            transforms.emplace(name, node->readMatrix34("transform", Matrix::identity()));
        }
        if (depth == kMaxNodeDepth) {
            complete = complete && node->countChildren() == 0;
            continue;
        }
        const size_t firstChild = pending.size();
        for (DataSectionPtr child : *node) {
            // A section without children (an identifier, a matrix row) names
            // no node and holds no transform: it has nothing to give.
            if (child && child->countChildren() > 0) {
                pending.emplace_back(child, depth + 1);
            }
        }
        std::reverse(pending.begin() + static_cast<std::ptrdiff_t>(firstChild), pending.end());
    }
    return complete;
}

// Hash maps iterate in an order that follows the hash of the path, which
// differs between two copies of one model; reports follow the LOD chain and
// then node names instead, so that equal trees give equal reports.
std::vector<const ModelTransforms::value_type*> inChainOrder(const ModelTransforms& models,
                                                             const std::vector<std::string>& chain) {
    std::vector<const ModelTransforms::value_type*> ordered;
    for (const std::string& file : chain) {
        const auto found = models.find(file);
        if (found != models.end() && std::find(ordered.begin(), ordered.end(), &*found) == ordered.end()) {
            ordered.push_back(&*found);
        }
    }
    return ordered;
}

std::vector<const NodeTransforms::value_type*> byName(const NodeTransforms& nodes) {
    std::vector<const NodeTransforms::value_type*> ordered;
    ordered.reserve(nodes.size());
    for (const auto& entry : nodes) {
        ordered.push_back(&entry);
    }
    std::sort(ordered.begin(), ordered.end(),
              [](const auto* a, const auto* b) { return a->first < b->first; });
    return ordered;
}

std::string tooDeepMessage(const std::string& file) {
    return formatString("%s: nodes nested deeper than %zu levels are ignored", file.c_str(), kMaxNodeDepth);
}

} // namespace

bool Validator::isHardPoint(const std::string& name) {
    return startsWithHardpointPrefix(name);
}

bool Validator::isBone(const std::string& name) {
    return !(name.empty() || name == "Scene Root" || startsWithHardpointPrefix(name));
}

void Validator::getTransformsForVisualNodes(const SmartPointer<DataSection>& section,
                                            NodeTransforms& transforms, const NameFilter& filter) const {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getTransformsForVisualNodes");
    if (!collectNodeTransforms(section, transforms, filter)) {
        DebugLog::messageText(DebugLog::Warning, "", tooDeepMessage("a visual"));
    }
}

ModelTransforms Validator::getModelsWithTransforms(const std::string& path, const NameFilter& filter,
                                                   std::vector<std::string>* chain) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getModelsWithTransforms");
    ModelTransforms models;
    const std::vector<std::string> files = getModelLODs(FS::Utils::getFilename(path), getModelState(path));
    if (chain) {
        *chain = files;
    }
    for (const std::string& file : files) {
        DataSectionPtr visual = checkAndOpenVisualSectionForModelName(file);
        if (!visual) {
            continue;
        }
        NodeTransforms transforms;
        if (!collectNodeTransforms(visual->openSection("node"), transforms, filter)) {
            DebugLog::messageText(DebugLog::Warning, "", tooDeepMessage(Utilities::getVisualPath(file)));
        }
        models.emplace(file, std::move(transforms));
    }
    return models;
}

void Validator::checkHardpointsAndBones(const std::string& path, NameFilter filter, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkHardpointsAndBones");
    std::vector<std::string> chain;
    const ModelTransforms models = getModelsWithTransforms(path, filter, &chain);
    if (models.empty()) {
        return;
    }
    const std::string styleName = getStyleName(path);
    const auto* reference = findLod0Model(models);
    if (!reference) {
        report(Findings::NoLod0Transforms, code, styleName, Findings::NoLod0Transforms.text());
        return;
    }
    const std::string& referencePath = reference->first;
    const NodeTransforms& referenceNodes = reference->second;
    const auto reportNode = [&](const CallerCodedFinding& finding, const std::string& model,
                                const std::string& node) {
        report(finding, code, styleName, finding.text(model, node, referencePath));
    };

    const auto referenceByName = byName(referenceNodes);
    for (const auto* model : inChainOrder(models, chain)) {
        const auto& [modelFile, nodes] = *model;
        if (modelFile == referencePath) {
            continue;
        }
        for (const auto* reference : referenceByName) {
            const auto& [node, transform] = *reference;
            const auto found = nodes.find(node);
            if (found == nodes.end()) {
                reportNode(Findings::NodeMissing, modelFile, node);
            } else if (!almostEqual(transform, found->second, kTransformTolerance)) {
                reportNode(Findings::NodeTransformDiffers, modelFile, node);
            }
        }
        for (const auto* entry : byName(nodes)) {
            if (referenceNodes.find(entry->first) == referenceNodes.end()) {
                reportNode(Findings::NodeUnexpected, modelFile, entry->first);
            }
        }
    }
}

void ModelValidator::checkContentHardpoints(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkContentHardpoints");
    // Every LOD of one chain names the same chain: walk each chain once.
    std::set<std::pair<std::string, std::string>> walked;
    for (const std::string& file : lodModels) {
        if (!walked.emplace(FS::Utils::getFilename(file), getModelState(file)).second) {
            continue;
        }
        std::vector<std::string> chain;
        const ModelTransforms models = getModelsWithTransforms(file, isHardPoint, &chain);
        for (const auto* model : inChainOrder(models, chain)) {
            const std::string& modelFile = model->first;
            for (const auto* entry : byName(model->second)) {
                if (cancelled()) {
                    return;
                }
                const std::string& name = entry->first;
                if (std::find(contentHardpoints.begin(), contentHardpoints.end(), name) ==
                    contentHardpoints.end()) {
                    contentHardpoints.push_back(name);
                }
                if (!HardpointNames::isModuleName(name)) {
                    report(Findings::HardpointNameInvalid,
                           Findings::HardpointNameInvalid.text(modelFile, name));
                }
                if (HardpointNames::isLegacyModuleName(name)) {
                    report(Findings::HardpointLegacyName,
                           Findings::HardpointLegacyName.text(modelFile, name));
                }
            }
        }
    }
}

} // namespace KX
