#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <string>
#include <vector>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/asset_writers/texture_writer.h"
#include "engine/core/debug_log.h"
#include "engine/render/render_format.h"
#include "model_validator/model_validator.h"
#include "support/findings.h"
#include "support/resource_tree.h"

// Scenery content for check tests, written with the asset writers:
//
//   SceneryModel house("buildings", "house01", 3);   // lod0 -> lod1 -> lod2
//   house.lod(0).decorative = 1024;               // an unknown decor type
//   house.write(tree);
//   EXPECT_EQ(findingsOf(check(house, {152})), ...);
//
// Registries (system/data/material_kinds.xml, scripts/...) are plain XML text:
// write them with TempResourceTree::write.

const std::string kStandardShader = "shaders/std_effects/PBS_ext.fx";

// A material as exporters write it: the standard shader and one property.
// Properties matter: the model checks skip materials that carry none.
AssetWriters::MaterialLayout sceneryMaterial(const std::string& identifier, unsigned materialKind = 0,
                                             unsigned collisionFlags = 0);

// A box as exporters write it for the standard shader: with tangent frames.
AssetWriters::Mesh sceneryBox(const Vector3& min, const Vector3& max);

// One LOD: its .model, .visual and .primitives files.
struct SceneryLod {
    // With tangent frames, as the standard shader needs them.
    AssetWriters::Mesh mesh = sceneryBox(Vector3(-1.f, 0.f, -1.f), Vector3(1.f, 2.f, 1.f));
    // One per primitive group; the mesh is re-split into as many groups.
    std::vector<AssetWriters::MaterialLayout> materials{sceneryMaterial("n_stone_01")};
    // No collision tree unless asked for: a tree of every triangle of the
    // default box would already break the rule that a tree holds at most a
    // quarter of lod0's triangles. `collisionFromMesh` builds the tree from
    // the mesh, each group with its material's kind and flags; otherwise a
    // non-empty `bsp` is the tree, exactly.
    bool collisionFromMesh = false;
    std::vector<WorldTriangle> bsp;
    std::vector<AssetWriters::NodeLayout> nodes{
        AssetWriters::NodeLayout{"Scene Root", Matrix::identity(), {}}};
    // The "parent" value: the next LOD's model unless set ("" for none).
    std::optional<std::string> parent;
    // 100 for lod0, 200 for lod1, ... unless set, so that a default chain is sane.
    std::optional<float> extent;
    std::optional<AABB> visibilityBox;
    // The box the visual stores: the mesh's own unless set.
    std::optional<AABB> boundingBox;
    std::optional<unsigned> decorative;
};

// A content model and its LOD chain:
// <top>/<category>/<name>/normal/lod<i>/<name>.model, top being "content".
class SceneryModel {
  public:
    SceneryModel(std::string category, std::string name, size_t lodCount = 1);

    // Places the model below another top folder (a model outside content).
    SceneryModel& under(std::string topFolder);

    // The model's root folder, a LOD's model path and that path without extension.
    std::string root() const;
    std::string path(size_t lod = 0) const;
    std::string base(size_t lod = 0) const;

    // A LOD's description; asking for one past the end lengthens the chain.
    SceneryLod& lod(size_t index);
    const std::vector<SceneryLod>& lods() const { return lods_; }

    // Settings for every LOD described so far.
    SceneryModel& mesh(const AssetWriters::Mesh& mesh);
    SceneryModel& materials(const std::vector<AssetWriters::MaterialLayout>& materials);
    SceneryModel& collisionFromMesh();

    // Writes every LOD below the tree's root; a writer error fails the test.
    const SceneryModel& write(TempResourceTree& tree) const;

  private:
    std::string top_ = "content";
    std::string category_;
    std::string name_;
    std::vector<SceneryLod> lods_;
};

// A texture file: DDS unless the path ends in .png. Pixels are one colour.
struct SceneryTexture {
    uint32_t width = 4;
    uint32_t height = 4;
    Render::ResourceFormat format = Render::RF_BC1_UNORM; // DDS only
    uint32_t mipCount = 0;                                // DDS only; 0 is the full chain
    uint32_t channels = 4;                                // PNG only
    AssetWriters::Colour colour{128, 128, 128, 255};
};

// Writes the texture at a resource path; a writer error fails the test.
void writeTexture(TempResourceTree& tree, const std::string& resourcePath,
                  const SceneryTexture& texture = {});

// The shared registries of destructible objects and their effects, with
// their groups and no entries: what a content tree without destructible
// objects holds.
void writeEmptyRegistries(TempResourceTree& tree);

// A test with its own resource root (holding empty registries), a quiet log
// and a model validator.
class SceneryFixture : public ::testing::Test {
  protected:
    SceneryFixture();
    // Checks `modelPath` afresh and returns every finding, or only those with `codes`.
    std::vector<KX::ValidatorHelper::ValidationError> check(const std::string& modelPath);
    std::vector<KX::ValidatorHelper::ValidationError> check(const std::string& modelPath,
                                                            std::initializer_list<int> codes);
    // The same for lod0 of `model`.
    std::vector<KX::ValidatorHelper::ValidationError> check(const SceneryModel& model,
                                                            std::initializer_list<int> codes);

    TempResourceTree tree;
    DebugLog::Capture log;
    KX::ModelValidator validator;
};
