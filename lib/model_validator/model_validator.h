#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "model_validator/validator_helper.h"

namespace KX {

// The model under check, handed to every check step.
struct ModelDesc {
    std::string path;
};

// Validates one scenery model file: works out its root folder and LOD files,
// then runs an ordered list of check steps.
class ModelValidator : public ValidatorHelper::Validator {
  public:
    using CheckStep = void (ModelValidator::*)(const ModelDesc&);

    ModelValidator();
    ModelValidator(const ModelValidator& other);
    ModelValidator(ModelValidator&& other) noexcept;
    ModelValidator& operator=(const ModelValidator& other);
    ModelValidator& operator=(ModelValidator&& other) noexcept;
    ~ModelValidator() override;

    // Consulted before every step and inside long steps; true cancels.
    void setCancelCallBack(std::function<bool()> callback);
    const std::vector<ValidatorHelper::ValidationError>& check(const std::string& path);

    // The steps `check` runs for `path`, in order, and their names (for tools and tests).
    std::vector<CheckStep> stepsFor(const std::string& path) const;
    static std::vector<std::string> stepNamesFor(const std::string& path);
    const std::vector<std::string>& lodModelFiles() const { return lodModels; }

    // Renames the root tags of a model file and of its visual file whose
    // names start with a digit (such files do not parse as XML).
    static void checkTagsName(const std::string& path);
    // The same, telling what happened to each file; a dry run changes nothing.
    struct TagRepair {
        std::string file;     // resource path
        bool changed = false; // rewritten, or would be in a dry run
        std::string failure;  // why the file was left as it is; empty when nothing failed
    };
    static std::vector<TagRepair> repairTagsName(const std::string& path, bool dryRun);

  private:
    struct StepEntry;
    static const std::vector<StepEntry>& stepTable();
    static bool isContentModelPath(const std::string& path);
    bool cancelled() const;
    void processCheckSteps(const std::vector<CheckStep>& steps, const ModelDesc& desc);

    // Path checks.
    void checkModelPath(const std::string& path);
    void checkSpacesContaining(const std::string& path);
    void checkingInvalidSymbols(const std::string& path);

    // Model file checks.
    void checkModel(const ModelDesc& desc);
    void checkOther(const ModelDesc& desc);
    void checkDecorType(const ModelDesc& desc);

    // LODs, bounds, BSP, hardpoints.
    void checkDisconnectedLods(const ModelDesc& desc);
    void checkBoundingBox(const ModelDesc& desc);
    void checkCountTris(const ModelDesc& desc);
    void checkBSPForRealms(const ModelDesc& desc);
    void checkContentHardpoints(const ModelDesc& desc);

    // Textures.
    void checkTextures(const ModelDesc& desc);
    void checkTexturePath(const std::string& texturePath, const std::string& materialName,
                          const std::string& lodFolder);
    void checkTextureProperties(const ModelDesc& desc);
    void checkMaterialTextureProperties(const ModelDesc& desc);

    // The texture set of one PBS material, checked after its other texture
    // properties (pbs_texture_checks.cpp).
    struct PbsMaterial {
        std::string lodModelPath;
        std::string lodName;
        bool lastLods = false; // one of the last two LODs, which may use reduced textures
        std::string fx;        // lower case
        std::vector<DataSectionPtr> properties;
        std::string materialName;
    };
    class PbsTextureSet;
    void checkPbsTextureSet(const PbsMaterial& material);

    // Vertex formats.
    void checkVertexFormat(const ModelDesc& desc);

    // Material kinds, names and textures across LODs.
    void checkMaterials(const ModelDesc& desc);

    // Tint colours across LODs.
    void checkMaterialAtlasProperties(const ModelDesc& desc);

    // Identical geometry files and unused textures.
    void checkIdenticalModels(const ModelDesc& desc);
    void checkUseTextures(const ModelDesc& desc);

    // Folder layout.
    void checkFilesStructure(const ModelDesc& desc);

    // Node-less and node-full visual tags across the LOD chain.
    void checkModelForDifferentTags(const ModelDesc& desc);

    // Destructible objects: each LOD file against its registry entry.
    void checkDestructibles(const ModelDesc& desc);
    void checkDestructiblesDuplicateEntries(SmartPointer<DataSection> registry, const std::string& modelPath);
    void checkHardpointsDestructibles(const std::string& lod, SmartPointer<DataSection> entry);
    void checkEffectsDestructibles(const std::string& lod, SmartPointer<DataSection> entry,
                                   SmartPointer<DataSection> effectsRegistry);
    void checkMaterialKindDestructibles(const std::string& lod, SmartPointer<DataSection> entry);
    void checkUndamagedMaterialsDuplicateDestructibles(const std::string& lod,
                                                       SmartPointer<DataSection> entry,
                                                       const std::vector<std::string>& undamagedIdentifiers);
    void checkDestructibleEtcProperties(const std::string& lod, SmartPointer<DataSection> entry,
                                        std::string_view group);
    static bool isMapActivity(const std::string& environmentRegistry, const std::string& lod);

  protected:
    // Reachable from derived tools: the physics files of one model, and the
    // comparison of two folder trees, are useful outside the step list too.
    void checkHavokFiles(const std::string& path);
    void compareFileStructureDirectories(const std::string& first, const std::string& second, int code);

  private:
    std::vector<std::string> contentHardpoints;
    std::vector<std::string> lodModels;
    std::string currentModelPath;
    std::function<bool()> cancelCallBack;
};

} // namespace KX
