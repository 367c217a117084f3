#include <algorithm>
#include <regex>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// Exporters round node transforms differently per LOD; smaller drifts are not visible.
constexpr float kTransformTolerance = 0.0004f;

// Scenery hardpoints are numbered modules 0 to 13, optionally with a sub-number.
bool isModuleHardpointName(const std::string& name) {
    static const std::regex expression("^HP_module_?(0|[0-9]|1[0-3]|13)(_(0|[0-9]|1[0-3]|13))?$",
                                       std::regex::ECMAScript);
    return std::regex_search(name, expression);
}

// The older spelling with an underscore after "module" and two-digit numbers.
bool isLegacyModuleHardpointName(const std::string& name) {
    static const std::regex expression("^HP_module_(0|[0-9]|[1-9][0-9])(_(0|[0-9]|[1-9][0-9]))?$",
                                       std::regex::ECMAScript);
    return std::regex_search(name, expression);
}

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

bool Validator::isHardPoint(const std::string& name) {
    static const std::regex expression("HP_.*", std::regex::ECMAScript);
    return std::regex_match(name, expression);
}

bool Validator::isBone(const std::string& name) {
    static const std::regex expression("(Scene Root)||(?:HP_.*)", std::regex::ECMAScript);
    return !std::regex_match(name, expression);
}

void Validator::getTransformsForVisualNodes(const SmartPointer<DataSection>& section,
                                            NodeTransforms& transforms, const NameFilter& filter) const {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getTransformsForVisualNodes");
    if (!section) {
        return;
    }
    const std::string name = section->readString(kIdentifierTag);
    if (filter(name) && section->openSection("transform")) {
        transforms.emplace(name, section->readMatrix34("transform", Matrix::identity()));
    }
    for (DataSectionPtr child : *section) {
        getTransformsForVisualNodes(child, transforms, filter);
    }
}

ModelTransforms Validator::getModelsWithTransforms(const std::string& path, const NameFilter& filter) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getModelsWithTransforms");
    ModelTransforms models;
    for (const std::string& file : getModelLODs(FS::Utils::getFilename(path), getModelState(path))) {
        DataSectionPtr visual = checkAndOpenVisualSectionForModelName(file);
        if (!visual) {
            continue;
        }
        NodeTransforms transforms;
        getTransformsForVisualNodes(visual->openSection("node"), transforms, filter);
        models.emplace(file, std::move(transforms));
    }
    return models;
}

void Validator::checkHardpointsAndBones(const std::string& path, NameFilter filter, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkHardpointsAndBones");
    const ModelTransforms models = getModelsWithTransforms(path, filter);
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

    for (const auto& [modelFile, nodes] : models) {
        if (modelFile == referencePath) {
            continue;
        }
        for (const auto& [node, transform] : referenceNodes) {
            const auto found = nodes.find(node);
            if (found == nodes.end()) {
                reportNode(Findings::NodeMissing, modelFile, node);
            } else if (!almostEqual(transform, found->second, kTransformTolerance)) {
                reportNode(Findings::NodeTransformDiffers, modelFile, node);
            }
        }
        for (const auto& entry : nodes) {
            if (referenceNodes.find(entry.first) == referenceNodes.end()) {
                reportNode(Findings::NodeUnexpected, modelFile, entry.first);
            }
        }
    }
}

void ModelValidator::checkContentHardpoints(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkContentHardpoints");
    for (const std::string& file : lodModels) {
        const ModelTransforms models = getModelsWithTransforms(file, isHardPoint);
        for (const auto& [modelFile, hardpoints] : models) {
            for (const auto& entry : hardpoints) {
                if (cancelled()) {
                    return;
                }
                const std::string& name = entry.first;
                if (std::find(contentHardpoints.begin(), contentHardpoints.end(), name) ==
                    contentHardpoints.end()) {
                    contentHardpoints.push_back(name);
                }
                if (!isModuleHardpointName(name)) {
                    report(Findings::HardpointNameInvalid,
                           Findings::HardpointNameInvalid.text(modelFile, name));
                }
                if (isLegacyModuleHardpointName(name)) {
                    report(Findings::HardpointLegacyName,
                           Findings::HardpointLegacyName.text(modelFile, name));
                }
            }
        }
    }
}

} // namespace KX
