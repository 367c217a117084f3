#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "engine/core/smart_pointer.h"
#include "engine/math/math_types.h"
#include "engine/model/visual.h"

// A texture bound to a material property; it knows the resource it names.
class TextureResource : public ReferenceCount {
  public:
    explicit TextureResource(std::string resourceID) : resourceID_(std::move(resourceID)) {}
    // The texture path as the visual wrote it.
    const std::string& resourceID() const { return resourceID_; }

  private:
    std::string resourceID_;
};

using TextureResourcePtr = SmartPointer<TextureResource>;

// A texture-valued <property> of a material: its name and the texture path
// its <Texture> value names (empty when it names none).
struct TextureProperty {
    std::string name;
    std::string texture;
};

class MaterialInstance : public ReferenceCount {
  public:
    explicit MaterialInstance(const DataSectionPtr& material);

    const std::string& identifier() const { return identifier_; }
    const std::string& fx() const { return fx_; }
    unsigned materialKind() const { return materialKind_; }
    unsigned collisionFlags() const { return collisionFlags_; }
    // Names of the texture-valued properties, in file order.
    std::vector<std::string> textureProperties() const;
    // The texture bound to a property; null when the property is not a
    // texture or names none.
    TextureResourcePtr getTexture(const std::string& propertyName) const;

  private:
    std::string identifier_;
    std::string fx_;
    unsigned materialKind_ = 0;
    unsigned collisionFlags_ = 0;
    // Only the texture-valued properties: nothing asks for the others, and
    // a material has a few of each.
    std::vector<TextureProperty> textures_;
};

using MaterialInstancePtr = SmartPointer<MaterialInstance>;

// The materials of a model's visual, one instance per identifier, in the
// order the visual first uses them.
class ModelMaterials {
  public:
    void add(const DataSectionPtr& material);
    // Null when no material has this identifier.
    MaterialInstance* getMaterial(const std::string& identifier) const;
    const std::vector<MaterialInstancePtr>& materials() const { return materials_; }
    std::vector<std::string> identifiers() const;

  private:
    std::vector<MaterialInstancePtr> materials_;
};

// One model file of a LOD chain.
struct ModelLodInfo {
    std::string modelPath;
    std::string visualPath;
    float extent = 0.f;
};

// A model loaded from its .model file: the lod0 visual with its geometry and
// materials, and access to the LOD chain its "parent" values form.
struct SuperModelLoadParameters {
    // Materials are read unless a caller needs only geometry.
    bool loadMaterials = true;
};

class SuperModel {
  public:
    using LoadParameters = SuperModelLoadParameters;

    explicit SuperModel(const std::string& modelPath, const LoadParameters& parameters = LoadParameters());

    // False when the model file, its visual, or the visual's geometry could not be loaded.
    bool isLoaded() const { return loaded_; }
    const std::string& loadError() const { return error_; }
    const std::string& modelPath() const { return modelPath_; }
    VisualPtr visual() const { return visual_; }

    // Triangles of the lod0 visual over the primitive groups of its geometries.
    uint64_t numTris() const;
    // Box over the vertex positions those triangles use.
    AABB localBoundingBox() const;
    const ModelMaterials& getMaterials() const { return materials_; }

    // The chain from this model along "parent": stops at the first model
    // that does not open, a repeated model or after kMaxLods entries.
    std::vector<ModelLodInfo> lodChain() const;
    // The LOD sanity rule: every model of the chain opens and its visual
    // loads with its geometry; no model repeats; extents are positive and
    // strictly increase, and only the last may be Model::LOD_MAX; every
    // visual has the same set of node paths as lod0's. False with a reason
    // in `reason` when given.
    bool simpleValidateLODs(std::string* reason = nullptr) const;

    static constexpr size_t kMaxLods = 32;

  private:
    std::string modelPath_;
    bool loaded_ = false;
    std::string error_;
    VisualPtr visual_;
    ModelMaterials materials_;
};

namespace ModelFile {
// The resource path of the next LOD's model file, "" when there is none.
std::string parentPath(const DataSectionPtr& model);
} // namespace ModelFile
