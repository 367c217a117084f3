#include <gtest/gtest.h>

#include "engine/model/decor_settings.h"
#include "engine/model/model_lod.h"

TEST(ServicesDecor, ValidDecorTypes) {
    unsigned int defined = 0;
    for (const DecorSettings::DecorFlag& flag : DecorSettings::flags()) {
        EXPECT_EQ(flag.mask & (flag.mask - 1), 0u) << flag.name; // one bit each
        EXPECT_EQ(defined & flag.mask, 0u) << flag.name;
        defined |= flag.mask;
        EXPECT_TRUE(DecorSettings::isValidDecorType(flag.mask)) << flag.name;
    }
    EXPECT_EQ(DecorSettings::allPresetsMask(), 504u);

    EXPECT_TRUE(DecorSettings::isValidDecorType(0));
    // Every preset but one, with a kind.
    EXPECT_TRUE(DecorSettings::isValidDecorType(0x1F0 | 0x2));
    EXPECT_TRUE(DecorSettings::isValidDecorType(0x1E8 | 0x4));
    // All presets, with or without a kind.
    EXPECT_FALSE(DecorSettings::isValidDecorType(504));
    EXPECT_FALSE(DecorSettings::isValidDecorType(504 | 0x1));
    // Two kinds at once, or bits outside the table.
    EXPECT_FALSE(DecorSettings::isValidDecorType(0x1 | 0x2));
    EXPECT_FALSE(DecorSettings::isValidDecorType(0x200));
    EXPECT_FALSE(DecorSettings::isValidDecorType(0x8 | 0x80000000u));
}

TEST(ServicesModelLod, ExtractLodName) {
    EXPECT_EQ(ModelLod::extractLodName("content/buildings/house/normal/lod0/house.model"), "lod0");
    EXPECT_EQ(ModelLod::extractLodName("content/buildings/house/normal/LOD12/house.model"), "lod12");
    EXPECT_EQ(ModelLod::extractLodName("content\\house\\crash\\Lod3\\house.model"), "lod3");
    EXPECT_EQ(ModelLod::extractLodName("vehicles/tank/normal/lod01"), "lod01");
    // The innermost LOD folder wins.
    EXPECT_EQ(ModelLod::extractLodName("content/lod1/normal/lod2/x.model"), "lod2");
    // A LOD folder that begins the path, or is the whole of it.
    EXPECT_EQ(ModelLod::extractLodName("Lod4/x.model"), "lod4");
    EXPECT_EQ(ModelLod::extractLodName("lod5"), "lod5");
    EXPECT_EQ(ModelLod::extractLodName("/lod6/x.model"), "lod6");
    // Names that only resemble a LOD folder.
    EXPECT_EQ(ModelLod::extractLodName("content/house/normal/lod/house.model"), "");
    EXPECT_EQ(ModelLod::extractLodName("content/house/normal/lod0a/house.model"), "");
    EXPECT_EQ(ModelLod::extractLodName("content/house/normal/lod1.model"), "");
    EXPECT_EQ(ModelLod::extractLodName("content/flood0/x.model"), "");
    EXPECT_EQ(ModelLod::extractLodName(""), "");
    EXPECT_EQ(ModelLod::extractLodName("/"), "");
}
