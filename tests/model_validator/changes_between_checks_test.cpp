// One process checks a model, the files change on disk (as when an artist
// saves them), and the next check must report what the disk holds now,
// although the caches keep what they read. The files start an hour old, so
// that nothing but the change itself tells the caches to read again.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/platform/utf8_path.h"
#include "support/scenery_fixture.h"

namespace {

namespace fs = std::filesystem;

class ChangesBetweenChecks : public SceneryFixture {
  protected:
    // Writes behind the engine's back: no cache is told.
    void save(const std::string& resourcePath, const std::string& text) {
        std::ofstream(pathFromUtf8(tree.path(resourcePath)), std::ios::binary | std::ios::trunc) << text;
    }
    void saveTexture(const std::string& resourcePath, uint32_t width, uint32_t height) {
        ASSERT_TRUE(
            AssetWriters::writeDDS(tree.path(resourcePath), width, height, Render::RF_BC1_UNORM,
                                   AssetWriters::makeSolidImage(width, height, {128, 128, 128, 255})));
    }
    std::vector<std::string> codesOf(std::initializer_list<int> codes) {
        std::vector<std::string> messages;
        for (const auto& error : withCodes(validator.check(model.path(0)), codes)) {
            messages.push_back(error.message);
        }
        return messages;
    }

    SceneryModel model{"buildings", "barn", 2};
};

} // namespace

TEST_F(ChangesBetweenChecks, ARegistrySavedBetweenChecksIsReadAgain) {
    // Without a kind of its own, the material takes the one the table gives its name.
    for (size_t lod = 0; lod < 2; ++lod) {
        model.lod(lod).materials = {sceneryMaterial("n_stone_01")};
        model.lod(lod).materials[0].materialKind.reset();
    }
    model.write(tree);
    tree.write("system/data/material_kinds.xml", "<root><kind><id>11</id><desc>wood</desc></kind></root>");
    tree.age();
    EXPECT_EQ(codesOf({104}).size(), 2u);
    EXPECT_EQ(codesOf({104}).size(), 2u);

    save("system/data/material_kinds.xml", "<root><kind><id>12</id><desc>stone</desc></kind></root>");
    EXPECT_TRUE(codesOf({104}).empty());

    // Replaced by another file of the same size and time, as a save through a
    // temporary file does: only the file's identity tells.
    tree.age();
    EXPECT_TRUE(codesOf({104}).empty());
    const fs::path kinds = pathFromUtf8(tree.path("system/data/material_kinds.xml"));
    const fs::path saved = kinds.string() + ".new";
    std::ofstream(saved, std::ios::binary) << "<root><kind><id>12</id><desc>stoke</desc></kind></root>";
    ASSERT_EQ(fs::file_size(saved), fs::file_size(kinds));
    fs::last_write_time(saved, fs::last_write_time(kinds));
    fs::rename(saved, kinds);
    EXPECT_EQ(codesOf({104}).size(), 2u);
}

TEST_F(ChangesBetweenChecks, ATextureSavedBetweenChecksIsReadAgain) {
    const std::string map = "content/buildings/barn/maps/barn_AM.dds";
    for (size_t lod = 0; lod < 2; ++lod) {
        model.lod(lod).materials[0].properties.push_back(
            AssetWriters::PropertyLayout::texture("diffuseMap", map));
    }
    model.write(tree);
    saveTexture(map, 64, 64);
    tree.age();
    EXPECT_TRUE(codesOf({5}).empty());

    saveTexture(map, 80, 64);
    const std::vector<std::string> odd = codesOf({5});
    ASSERT_FALSE(odd.empty());
    EXPECT_NE(odd[0].find("barn_AM.dds"), std::string::npos);

    tree.age();
    saveTexture(map, 64, 64);
    EXPECT_TRUE(codesOf({5}).empty());
}

TEST_F(ChangesBetweenChecks, FilesAddedToOrRemovedFromAFolderAreSeen) {
    model.write(tree);
    tree.age();
    EXPECT_TRUE(codesOf({106}).empty());

    const std::string stray = "content/buildings/barn/normal/barn_old.model";
    save(stray, readDiskFile(tree.path(model.path(0))));
    EXPECT_EQ(codesOf({106}).size(), 1u);

    tree.age();
    EXPECT_EQ(codesOf({106}).size(), 1u);
    fs::remove(pathFromUtf8(tree.path(stray)));
    EXPECT_TRUE(codesOf({106}).empty());
}

TEST_F(ChangesBetweenChecks, ALodFolderCopiedOrRemovedBetweenChecksIsSeen) {
    model.write(tree);
    tree.age();
    EXPECT_TRUE(codesOf({139}).empty());

    const std::string copy = "content/buildings/barn/normal/lod5";
    fs::create_directories(pathFromUtf8(tree.path(copy)));
    save(copy + "/barn.model", readDiskFile(tree.path(model.path(1))));
    EXPECT_EQ(codesOf({139}).size(), 1u);

    tree.age();
    EXPECT_EQ(codesOf({139}).size(), 1u);
    fs::remove_all(pathFromUtf8(tree.path(copy)));
    EXPECT_TRUE(codesOf({139}).empty());
}

TEST_F(ChangesBetweenChecks, TheDestructiblesRegistrySavedBetweenChecksIsReadAgain) {
    for (size_t lod = 0; lod < 2; ++lod) {
        model.lod(lod).nodes[0].children.push_back({"HP_module1", Matrix::identity(), {}});
    }
    model.write(tree);
    const std::string entry = "<entry><filename>" + model.path(0) +
                              "</filename><effectHP>HP_module1</effectHP><matName>stone_01</matName></entry>";
    tree.write("scripts/destructibles.xml", "<root><fragiles/></root>");
    tree.age();
    EXPECT_EQ(codesOf({201, 202}).size(), 1u); // module hardpoints, but no entry

    save("scripts/destructibles.xml", "<root><fragiles>" + entry + "</fragiles></root>");
    EXPECT_TRUE(codesOf({201, 202}).empty());

    tree.age();
    EXPECT_TRUE(codesOf({201, 202}).empty());
    save("scripts/destructibles.xml", "<root><fragiles>" + entry + entry + "</fragiles></root>");
    const std::vector<std::string> duplicate = codesOf({201, 202});
    ASSERT_EQ(duplicate.size(), 1u);
    EXPECT_NE(duplicate[0].find("duplicate entries"), std::string::npos);
}
