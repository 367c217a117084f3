#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <sstream>

#include "engine/resource/file_system.h"
#include "model_validator/material_properties.h"
#include "model_validator/validator_helper.h"
#include "support/resource_tree.h"

using namespace KX::ValidatorHelper;
using ::Variant;
using namespace KX::MaterialProperties;

namespace {

struct MaterialPropertiesTest : ::testing::Test {
    TempResourceTree tree;

    std::vector<DataSectionPtr> properties(const std::string& xml) {
        tree.write("m.xml", "<material>" + xml + "</material>");
        tree.refresh();
        return propertiesOf(FS::Utils::openSection("m.xml"));
    }
};

} // namespace

TEST_F(MaterialPropertiesTest, GetPropertyReadsTheFirstNamedPropertyAsTheAskedType) {
    const auto props = properties("<property>diffuseMap<Texture>maps/a_AM.dds</Texture></property>"
                                  "<property>diffuseMap<Texture>maps/b_AM.dds</Texture></property>"
                                  "<property>tiles<Int>-7</Int></property>"
                                  "<property>tint<Vector4>0.5 0.25 1 1</Vector4></property>"
                                  "<property>useTint<Bool>true</Bool></property>");
    EXPECT_EQ(getProperty(props, "diffuseMap", kTextureTag), Variant(std::string("maps/a_AM.dds")));
    EXPECT_EQ(getProperty(props, "tiles", kIntegerTag), Variant(int64_t{-7}));
    EXPECT_EQ(getProperty(props, "tint", kVector4Tag), Variant(Vector4(0.5f, 0.25f, 1.f, 1.f)));
    EXPECT_EQ(getProperty(props, "useTint", kBoolTag), Variant(true));

    // The asked type decides: another type's child reads as the default.
    EXPECT_EQ(getProperty(props, "diffuseMap", kBoolTag), Variant(false));
    EXPECT_EQ(getProperty(props, "diffuseMap", kIntegerTag), Variant(int64_t{0}));
    EXPECT_EQ(getProperty(props, "diffuseMap", kVector4Tag), Variant(Vector4::zero()));
    EXPECT_EQ(getProperty(props, "useTint", kTextureTag), Variant(std::string()));

    // Names compare exactly; unknown types and names give nothing.
    EXPECT_TRUE(getProperty(props, "DiffuseMap", kTextureTag).empty());
    EXPECT_TRUE(getProperty(props, "tiles", "Float").empty());
    EXPECT_TRUE(getProperty({}, "tiles", kIntegerTag).empty());

    // The first property of the name, however long the name.
    const auto named = properties("<property>g_metallicGlossTexture<Texture>a_GMM.dds</Texture></property>"
                                  "<property> g_metallicGlossTexture <Texture>b_GMM.dds</Texture></property>"
                                  "<property>g_metallicGloss<Texture>c_GMM.dds</Texture></property>");
    ASSERT_EQ(named.size(), 3u);
    EXPECT_EQ(findProperty(named, "g_metallicGlossTexture"), named[0]);
    EXPECT_EQ(findProperty(named, "g_metallicGloss"), named[2]);
    EXPECT_FALSE(findProperty(named, "g_metallicGlossTextur"));
    EXPECT_FALSE(findProperty(named, "G_metallicGloss"));
    EXPECT_FALSE(findProperty({}, "g_metallicGloss"));
}

TEST_F(MaterialPropertiesTest, NameHelpersFindTheWordAndTheNumbers) {
    EXPECT_EQ(getMaterialName("n_stone_01"), "stone");
    EXPECT_EQ(getMaterialName("s_wall"), "wall");
    EXPECT_EQ(getMaterialName("PBS_ext_skinned"), "ext");
    EXPECT_EQ(getMaterialName("stone"), "");
    EXPECT_EQ(getMaterialName("01_x"), "");
    EXPECT_EQ(getMaterialName("a_"), "");
    EXPECT_EQ(getMaterialName(""), "");

    EXPECT_EQ(getFirstIndex("n_stone_01"), 1);
    EXPECT_EQ(getFirstIndex("m_2_b"), 2);
    EXPECT_EQ(getFirstIndex("x_0"), 0);
    EXPECT_EQ(getFirstIndex("a_12b"), -1);
    EXPECT_EQ(getFirstIndex("a12"), -1);

    EXPECT_EQ(getLastIndex("lod3"), 3);
    EXPECT_EQ(getLastIndex("lod0"), 0);
    EXPECT_EQ(getLastIndex("a1b22"), 22);
    EXPECT_EQ(getLastIndex("lod"), -1);
    EXPECT_EQ(getLastIndex(""), -1);
    // Past the range of int a number reads as the largest int, as a stream gives it.
    EXPECT_EQ(getLastIndex("lod2147483647"), 2147483647);
    EXPECT_EQ(getLastIndex("lod2147483648"), 2147483647);
    EXPECT_EQ(getFirstIndex("n_99999999999999999999_x"), 2147483647);
    EXPECT_EQ(getLastIndex("lod007"), 7);

    EXPECT_EQ(lodNumber("content/a/normal/lod2/a.model"), 2);
    EXPECT_EQ(lodNumber("content/a/normal/lodx/a.model"), -1);
    EXPECT_EQ(lodNumber("content/a/normal/a.model"), -1);
}

TEST_F(MaterialPropertiesTest, NameHelpersAnswerAsTheirPatternsWould) {
    // The patterns the helpers scan for, as regular expressions.
    const std::regex name("([A-Za-z]_)([A-Za-z]+)");
    const std::regex first("_(\\d+)(_|$)");
    const std::regex last("\\d+$");
    const auto number = [](const std::string& digits) {
        int value = -1;
        std::istringstream(digits) >> value;
        return value;
    };
    std::mt19937 random(7);
    const std::string alphabet = "aZ_09-\xc3";
    for (int n = 0; n < 20000; ++n) {
        std::string text(random() % 12, ' ');
        for (char& c : text) {
            c = alphabet[random() % alphabet.size()];
        }
        std::smatch m;
        EXPECT_EQ(getMaterialName(text), std::regex_search(text, m, name) ? m[2].str() : "") << text;
        EXPECT_EQ(getFirstIndex(text), std::regex_search(text, m, first) ? number(m[1].str()) : -1) << text;
        EXPECT_EQ(getLastIndex(text), std::regex_search(text, m, last) ? number(m[0].str()) : -1) << text;
    }
}
