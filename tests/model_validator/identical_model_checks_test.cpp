#include <gtest/gtest.h>

#include <algorithm>
#include <list>

#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

using IdenticalModelChecksTest = SceneryFixture;

} // namespace

TEST_F(IdenticalModelChecksTest, ReportsPrimitivesFilesWithTheSameLinesOncePerPair) {
    const SceneryModel crate = SceneryModel("props", "crate").write(tree);
    const std::string folder = crate.root() + "/normal/lod0/";
    tree.write(folder + "a.primitives", "ab\ncd\nef\n");
    tree.write(folder + "b.primitives", "ef\nab\ncd\n"); // other order
    tree.write(folder + "d.primitives", "CD\nAB\nEF\n"); // other case
    tree.write(folder + "c.primitives", "ab\n\ncdef\n"); // same size, fewer lines
    tree.write(folder + "e.primitives", "ab\ncd\nef\ngh\n");
    tree.write(folder + "f.txt", "ab\ncd\nef\n");
    tree.refresh();

    // Pairs come in the order the folder lists its files.
    std::list<std::string> listed;
    readDirectory(folder, false, listed, {"primitives"});
    std::vector<std::string> same;
    for (const std::string& file : listed) {
        const std::string name = FS::Utils::getFilename(file);
        if (name == "a.primitives" || name == "b.primitives" || name == "d.primitives") {
            same.push_back(file);
        }
    }
    ASSERT_EQ(same.size(), 3u);
    const auto identical = [](const std::string& a, const std::string& b) {
        return Finding{"[Inf. 105] Files '" + a + "' and '" + b + "' are identical", ValidationTitle::Content,
                       ValidationErrorSeverity::Normal, "Content"};
    };
    EXPECT_EQ(findingsOf(check(crate, {105})),
              (std::vector<Finding>{identical(same[0], same[1]), identical(same[0], same[2]),
                                    identical(same[1], same[2])}));
}

TEST_F(IdenticalModelChecksTest, ReportsTexturesThatNoVisualNames) {
    SceneryModel house("buildings", "house");
    house.materials({{"n_stone_01",
                      kStandardShader,
                      12u,
                      0u,
                      {AssetWriters::PropertyLayout::texture("diffuseMap", "maps/rock.dds")}}});
    house.write(tree);
    const std::string root = house.root();
    tree.write(root + "/Rock.dds", "x");
    tree.write(root + "/Unused.dds", "x");
    tree.write(root + "/Unused.DDS", "x");
    tree.write(root + "/sub/Other.dds", "x");
    // A model without a visual, and one whose visual is missing.
    tree.write(root + "/normal/lod0/stub.model", "<root/>");
    tree.write(root + "/normal/lod0/ghost.model",
               "<root><nodelessVisual>" + root + "/normal/lod0/ghost</nodelessVisual></root>");
    tree.refresh();
    const auto errors = check(house, {103});
    EXPECT_EQ(sortedTexts(messagesOf(errors)),
              sortedTexts({"[Inf. 103] Texture '" + tree.path(root + "/Unused.dds") + "' is not used",
                           "[Err. 103] Can not find visual for '" + root +
                               "/normal/lod0/stub.model': using textures is not validated",
                           "[Err. 103] Can not read '" + tree.path(root + "/normal/lod0/ghost.visual") +
                               "': using textures is not validated"}));
    for (const ValidationError& error : errors) {
        EXPECT_EQ(error.category, "Content");
    }

    // Once every texture is found, no further visual is read.
    tree.remove(root + "/Unused.dds");
    tree.refresh();
    const auto found = check(house, {103});
    EXPECT_LE(found.size(), 2u);
    for (const ValidationError& error : found) {
        EXPECT_EQ(error.message.find("is not used"), std::string::npos) << error.message;
    }
}

TEST_F(IdenticalModelChecksTest, AFolderWithoutTexturesStillSaysThatItsFirstVisualCannotBeRead) {
    SceneryModel house("buildings", "house");
    house.write(tree);
    const std::string visual = house.base() + ".visual";
    tree.remove(visual);
    tree.makeDirectory(visual);
    tree.refresh();
    const auto errors = check(house, {103});
    EXPECT_EQ(messagesOf(errors), std::vector<std::string>{"[Err. 103] Can not read '" + tree.path(visual) +
                                                           "': using textures is not validated"});
}

TEST_F(IdenticalModelChecksTest, CancellingStopsBothSteps) {
    const SceneryModel crate = SceneryModel("props", "crate").write(tree);
    const std::string folder = crate.root() + "/normal/lod0/";
    for (const char* name : {"a", "b", "c"}) {
        tree.write(folder + name + ".primitives", "ab\ncd\n");
    }
    tree.write(crate.root() + "/Unused.dds", "x");
    tree.write(folder + "stub.model", "<root/>");
    tree.refresh();
    ASSERT_EQ(check(crate, {105}).size(), 3u);
    ASSERT_EQ(check(crate, {103}).size(), 2u);

    // Cancelled once the step has reported: no further pair, and no
    // unused texture after a visual could not be found.
    validator.setCancelCallBack([this] { return !withCodes(validator.getErrors(), {105}).empty(); });
    EXPECT_EQ(check(crate, {105}).size(), 1u);
    validator.setCancelCallBack([this] { return !withCodes(validator.getErrors(), {103}).empty(); });
    const auto used = check(crate, {103});
    ASSERT_EQ(used.size(), 1u);
    EXPECT_NE(used[0].message.find("Can not find visual for"), std::string::npos) << used[0].message;
}
