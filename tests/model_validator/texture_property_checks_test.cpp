#include <gtest/gtest.h>

#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using AssetWriters::PropertyLayout;
using namespace KX::ValidatorHelper;

namespace {

constexpr auto TextureProperties = ValidationTitle::CheckTextureProperties;
constexpr auto High = ValidationErrorSeverity::High;
constexpr auto Normal = ValidationErrorSeverity::Normal;

AssetWriters::MaterialLayout material(const std::vector<PropertyLayout>& properties,
                                      const std::string& fx = kStandardShader) {
    AssetWriters::MaterialLayout layout = sceneryMaterial("n_stone_01");
    layout.fx = fx;
    layout.properties = properties;
    return layout;
}

class TexturePropertyChecksTest : public SceneryFixture {
  protected:
    SceneryModel house{"buildings", "house"};

    std::vector<Finding> findingsFor(const std::vector<PropertyLayout>& properties,
                                     std::initializer_list<int> codes,
                                     const std::string& fx = kStandardShader) {
        house.materials({material(properties, fx)}).write(tree);
        return findingsOf(check(house, codes));
    }

    std::string prefix(size_t lod = 0) { return "Model '" + house.path(lod) + "' [material 'n_stone_01']"; }
};

} // namespace

TEST_F(TexturePropertyChecksTest, ReportsTextureSlotsThatAreEmptyOrPointNowhere) {
    writeTexture(tree, "maps/rock_AM.dds");
    const std::vector<PropertyLayout> properties = {
        PropertyLayout::texture("diffuseMap", "maps/rock_AM.dds"), PropertyLayout::texture("normalMap", ""),
        PropertyLayout::texture("metallicGlossMap", "maps/gone_GMM.dds"),
        PropertyLayout::integer("g_count", 2)};
    auto notSet = [&](const std::string& name) {
        return Finding{"[Err. 4] " + prefix() + ": " + name + " texture is not specified or missing",
                       TextureProperties, High, "Check texture properties"};
    };
    EXPECT_EQ(findingsFor(properties, {4}),
              (std::vector<Finding>{notSet("normalMap"), notSet("metallicGlossMap")}));

    // A material without a shader or without properties is not looked at.
    EXPECT_EQ(findingsFor(properties, {4, 110}, ""), std::vector<Finding>{});
    EXPECT_EQ(findingsFor({}, {4, 110}, "shaders/std_effects/lightonly.fx"), std::vector<Finding>{});
}

TEST_F(TexturePropertyChecksTest, ReportsAtlasIndexesPastTheAtlas) {
    const auto atlas = [](const Vector4& indexes) {
        return std::vector<PropertyLayout>{PropertyLayout::vector4("g_atlasSizes", Vector4(4, 2, 0, 0)),
                                           PropertyLayout::vector4("g_atlasIndexes", indexes)};
    };
    const std::string atlasShader = "shaders/std_effects/PBS_tiled_atlas.fx";
    // Eight tiles: index 7 is the last; the fourth index is not used.
    EXPECT_EQ(findingsFor(atlas(Vector4(7, 7, 7, 9)), {134}, atlasShader), std::vector<Finding>{});
    const Finding outside{"[Err. 134] " + prefix() + ": texture index is outside of the atlas array",
                          TextureProperties, High, "Check texture properties"};
    for (const Vector4& indexes : {Vector4(8, 0, 0, 0), Vector4(0, 8, 0, 0), Vector4(0, 0, 8.5f, 0)}) {
        EXPECT_EQ(findingsFor(atlas(indexes), {134}, atlasShader), std::vector<Finding>{outside});
    }
    // Only atlas shaders index atlases, and both properties are needed.
    EXPECT_EQ(findingsFor(atlas(Vector4(8, 0, 0, 0)), {134}), std::vector<Finding>{});
    EXPECT_EQ(findingsFor({atlas(Vector4(8, 0, 0, 0))[1]}, {134}, atlasShader), std::vector<Finding>{});
    EXPECT_EQ(findingsFor({PropertyLayout::floating("g_atlasSizes", 4.f), atlas(Vector4(8, 0, 0, 0))[1]},
                          {134}, atlasShader),
              std::vector<Finding>{});
}

TEST_F(TexturePropertyChecksTest, GlobalTexturesNeedTheGnmSuffix) {
    EXPECT_EQ(findingsFor({PropertyLayout::texture("globalTex", "maps/sky_GNM.dds")}, {136, 137}),
              std::vector<Finding>{});
    EXPECT_EQ(
        findingsFor({PropertyLayout::texture("globalTex", "maps/sky_GT.dds")}, {136, 137}),
        (std::vector<Finding>{{"[Inf. 136] " + prefix() +
                                   ": 'maps/sky_GT' global textures must be suffixed with 'GNM'. Suffix 'GT' "
                                   "is deprecated",
                               TextureProperties, Normal, "Check texture properties"}}));
    EXPECT_EQ(findingsFor({PropertyLayout::texture("globalTex", "maps/sky.dds"),
                           PropertyLayout::texture("globalTex", "maps/sky_gnm.dds")},
                          {136, 137}),
              (std::vector<Finding>{
                  {"[Err. 137] " + prefix() + ": 'maps/sky' global textures must be suffixed with 'GNM'",
                   TextureProperties, High, "Check texture properties"},
                  {"[Err. 137] " + prefix() + ": 'maps/sky_gnm' global textures must be suffixed with 'GNM'",
                   TextureProperties, High, "Check texture properties"}}));
    // Only a texture-valued property called globalTex is a global texture.
    EXPECT_EQ(findingsFor({PropertyLayout::texture("diffuseMap", "maps/rock_AM.dds"),
                           PropertyLayout::integer("globalTex", 1)},
                          {136, 137}),
              std::vector<Finding>{});
}

TEST_F(TexturePropertyChecksTest, NamesLodsThatAreNotPbsOrHaveNoVisual) {
    SceneryModel tower("buildings", "tower", 3);
    tower.lod(1).materials = {
        material({PropertyLayout::boolean("alphaTestEnable", false)}, "shaders/std_effects/lightonly.fx"),
        material({PropertyLayout::boolean("alphaTestEnable", false)}, "shaders/std_effects/lightonly.fx")};
    tower.lod(2).materials = {
        material({PropertyLayout::boolean("alphaTestEnable", false)}, "shaders/custom_pbs/glow.fx"),
        material({PropertyLayout::boolean("alphaTestEnable", false)}, "shaders/std_effects/Emissive.fx")};
    tower.write(tree);
    EXPECT_EQ(findingsOf(check(tower, {110})),
              (std::vector<Finding>{{"[Err. 110] This isn't 'PBS' for [1] LOD level.", TextureProperties,
                                     High, "Check texture properties"}}));

    // A LOD without its visual: the vertex formats, checked earlier, name it
    // with the same words, so the texture step's finding adds nothing.
    tree.remove(tower.base(1) + ".visual");
    const std::string missing = tower.path(1) + ": can't find .visual file for this model";
    EXPECT_EQ(findingsOf(check(tower, {101, 110})),
              (std::vector<Finding>{{"[Wrn. 101] " + missing, ValidationTitle::CheckShaders,
                                     ValidationErrorSeverity::Medium, "Check shaders"}}));
}

TEST_F(TexturePropertyChecksTest, ReportsMaterialTexturesThatAreUnboundOrMissing) {
    writeTexture(tree, "maps/rock_AM.dds");
    const std::vector<PropertyLayout> properties = {
        PropertyLayout::texture("diffuseMap", "maps/rock_AM.dds"), PropertyLayout::texture("normalMap", ""),
        PropertyLayout::texture("metallicGlossMap", "maps/gone_GMM.dds"),
        PropertyLayout::texture("g_paintMaskTexture", "")};
    EXPECT_EQ(
        findingsFor(properties, {113}),
        (std::vector<Finding>{
            {"[Inf. 113] " + prefix() + " must has <normalMap> which has to be set with texture resource",
             TextureProperties, Normal, "Check texture properties"},
            {"[Inf. 113] " + prefix() + " has <metallicGlossMap>, but 'maps/gone_GMM.dds' is not exist",
             TextureProperties, Normal, "Check texture properties"}}));

    // A LOD that does not load ends the step: later LODs are not visited.
    SceneryModel tower("buildings", "tower", 2);
    tower.materials({material(properties)}).write(tree);
    tree.remove(tower.base(0) + ".visual");
    EXPECT_EQ(findingsOf(check(tower, {113})),
              (std::vector<Finding>{{"[Err. 113] " + tower.path(0) + ": can't load the model",
                                     ValidationTitle::Common, High, "Common"}}));
}

TEST_F(TexturePropertyChecksTest, CancellationStopsTheTextureStepsBetweenMaterials) {
    AssetWriters::MaterialLayout first =
        material({PropertyLayout::texture("diffuseMap", "maps/first_AM.dds")});
    AssetWriters::MaterialLayout second = first;
    second.identifier = "n_wood_01";
    house.materials({first, second}).write(tree);
    // Cancel as soon as the step under test has reported its first finding.
    const auto cancelAfterFirst = [&](int code) {
        validator.setCancelCallBack(
            [this, code] { return !withCodes(validator.getErrors(), {code}).empty(); });
        return findingsOf(withCodes(validator.check(house.path()), {code}));
    };
    EXPECT_EQ(
        cancelAfterFirst(5),
        (std::vector<Finding>{{"[Err. 5] Model '" + house.path() +
                                   "' has [material 'n_stone_01'] with texture 'maps/first_AM.dds' which "
                                   "does not exist",
                               ValidationTitle::Common, High, "Common"}}));
    EXPECT_EQ(
        cancelAfterFirst(4),
        (std::vector<Finding>{{"[Err. 4] " + prefix() + ": diffuseMap texture is not specified or missing",
                               TextureProperties, High, "Check texture properties"}}));
}

TEST_F(TexturePropertyChecksTest, PropertiesAreReadByNameAndAskedType) {
    tree.write("materials/stone.xml", "<material>"
                                      "<property>diffuseMap<Texture>maps/a_AM.dds</Texture></property>"
                                      "<property>diffuseMap<Texture>maps/b_AM.dds</Texture></property>"
                                      "<property>g_mode<Int>-7</Int></property>"
                                      "<property>g_tint<Vector4>1 2 3 4</Vector4></property>"
                                      "<property>alphaTestEnable<Bool>true</Bool></property>"
                                      "<property>normalMap</property>"
                                      "</material>");
    std::vector<DataSectionPtr> properties;
    FS::Utils::openSection("materials/stone.xml")->openSections(kPropertyTag, properties);
    ASSERT_EQ(properties.size(), 6u);
    EXPECT_EQ(getProperty(properties, "diffuseMap", kTextureTag), Variant(std::string("maps/a_AM.dds")));
    EXPECT_EQ(getProperty(properties, "g_mode", kIntegerTag), Variant(int64_t(-7)));
    EXPECT_EQ(getProperty(properties, "g_tint", kVector4Tag), Variant(Vector4(1, 2, 3, 4)));
    EXPECT_EQ(getProperty(properties, "alphaTestEnable", kBoolTag), Variant(true));
    // Another type than the property holds gives that type's default.
    EXPECT_EQ(getProperty(properties, "diffuseMap", kBoolTag), Variant(false));
    EXPECT_EQ(getProperty(properties, "diffuseMap", kIntegerTag), Variant(int64_t(0)));
    EXPECT_EQ(getProperty(properties, "diffuseMap", kVector4Tag), Variant(Vector4::zero()));
    EXPECT_EQ(getProperty(properties, "normalMap", kTextureTag), Variant(std::string()));
    // A missing property, or a type the properties never have, gives nothing.
    EXPECT_TRUE(getProperty(properties, "dirtMap", kTextureTag).empty());
    EXPECT_TRUE(getProperty(properties, "g_mode", "Float").empty());
    EXPECT_TRUE(getProperty({}, "g_mode", kIntegerTag).empty());
}
