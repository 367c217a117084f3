#pragma once

#include <string>
#include <vector>

#include "model_validator/model_validator.h"

// A validator derived as a host's vehicle validator would derive it: it
// exposes the protected checks and can group findings by a style name.
class TestVehicleValidator : public KX::ValidatorHelper::Validator {
  public:
    using Validator::addError;
    using Validator::checkAndOpenVisualSectionForModelName;
    using Validator::checkCollisionModel;
    using Validator::checkDetailTextures;
    using Validator::checkHardpointsAndBones;
    using Validator::checkLodExtents;
    using Validator::checkLods;
    using Validator::checkMaterial;
    using Validator::checkMaterials;
    using Validator::checkMipLevel;
    using Validator::checkModelForDifferentTags;
    using Validator::checkTextureFormat;
    using Validator::checkTextureProperties;
    using Validator::checkVertexFormat;
    using Validator::checkVisibilityBox;
    using Validator::getModelLODHierarchy;
    using Validator::getModelLODs;
    using Validator::getModelRootPath;
    using Validator::getModelState;
    using Validator::getModelsWithTransforms;
    using Validator::getTextureMipLevel;
    using Validator::getTransformsForVisualNodes;
    using Validator::hasModelsWithDifferentTags;
    using Validator::isBone;
    using Validator::isHardPoint;
    using Validator::loadTexture;
    using Validator::processErrorText;
    using Validator::resetSubFolderLOD;
    using Validator::setSubFolderLOD;
    using Validator::setup;
    using Validator::TextureReadScope;

    // When set, findings are grouped under this style.
    std::string style;

    const std::unordered_map<uint32_t, std::string>& kindNames() const { return materialKindNames(); }
    const std::unordered_map<std::string, uint32_t>& kindIds() const { return materialKindIds(); }
    const std::set<std::string>& armourNames() const { return armourKindNames(); }
    const std::set<std::string>& crewNames() const { return crewKindNames(); }

  protected:
    std::string getStyleName(const std::string& /*path*/) override { return style; }
};

// The stored messages of a validator's findings, in order.
std::vector<std::string> messagesOf(const std::vector<KX::ValidatorHelper::ValidationError>& errors);
