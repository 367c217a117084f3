#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/platform/utf8_path.h"
#include "support/hostile_files.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;
namespace fs = std::filesystem;

// Content as it arrives from many tools: whatever the files are, a check
// ends, with findings or a log line naming the file, and damages nothing.
namespace {

class HostileContentTest : public SceneryFixture {
  protected:
    SceneryModel house() {
        SceneryModel model("buildings", "house", 3);
        model.materials({sceneryMaterial("n_stone_01", 12)}).write(tree);
        return model;
    }
};

} // namespace

TEST_F(HostileContentTest, FilesThatChangeBetweenTwoStepsOfOneCheck) {
    const SceneryModel model = house();
    const std::string visual = tree.path(model.base(1) + ".visual");
    const std::string primitives = tree.path(model.base(1) + ".primitives");
    const std::string original = readDiskFile(visual);
    const size_t steps = validator.stepsFor(model.path(0)).size();
    // Between every two steps, in turn: the visual deleted, the visual cut in
    // half, the primitives replaced by a folder.
    for (int change = 0; change < 3; ++change) {
        for (size_t step = 1; step < steps; ++step) {
            house();
            size_t calls = 0;
            validator.setCancelCallBack([&] {
                if (++calls == step + 1) {
                    if (change == 0) {
                        fs::remove(pathFromUtf8(visual));
                    } else if (change == 1) {
                        tree.write(model.base(1) + ".visual", original.substr(0, original.size() / 2));
                    } else {
                        fs::remove(pathFromUtf8(primitives));
                        fs::create_directories(pathFromUtf8(primitives));
                    }
                }
                return false;
            });
            const auto errors = check(model.path(0));
            EXPECT_GT(calls, step) << "change " << change << " before step " << step;
            fs::remove_all(pathFromUtf8(primitives));
        }
    }
    validator.setCancelCallBack({});
    house();
    EXPECT_EQ(messagesOf(check(model.path(0))), std::vector<std::string>{}) << "a clean check afterwards";
}

TEST_F(HostileContentTest, SpecialFilesWhereFilesAreExpected) {
    const SceneryModel model = house();
    // lod1's visual is a pipe (a reader would block), lod2's primitives a
    // folder, a texture a file nobody may read.
    fs::remove(pathFromUtf8(tree.path(model.base(1) + ".visual")));
    const bool pipe = makeNamedPipe(tree.path(model.base(1) + ".visual"));
    fs::remove(pathFromUtf8(tree.path(model.base(2) + ".primitives")));
    tree.makeDirectory(model.base(2) + ".primitives");
    writeTexture(tree, model.root() + "/maps/house_AM.dds");
    fs::permissions(pathFromUtf8(tree.path(model.root() + "/maps/house_AM.dds")), fs::perms::none);
    tree.refresh();
    const auto errors = check(model.path(0));
    if (pipe) {
        EXPECT_FALSE(withCodes(errors, {101}).empty()) << "the pipe is no visual";
    }
    EXPECT_FALSE(errors.empty());
    fs::permissions(pathFromUtf8(tree.path(model.root() + "/maps/house_AM.dds")), fs::perms::owner_all);
}

TEST_F(HostileContentTest, AFolderOfAHundredThousandEntries) {
    const SceneryModel model = house();
    const fs::path crowded = pathFromUtf8(tree.path(model.root() + "/normal/exports"));
    fs::create_directories(crowded);
    for (int i = 0; i < 100000; ++i) {
        std::ofstream(crowded / ("export_" + std::to_string(i) + ".txt"));
    }
    tree.refresh();
    EXPECT_EQ(messagesOf(check(model.path(0))), std::vector<std::string>{})
        << "files that are no models, textures or geometry are not findings";
}

TEST_F(HostileContentTest, AVisualNestedAHundredThousandLevelsDeep) {
    const SceneryModel model = house();
    const std::string visual = model.base(0) + ".visual";
    std::string text = readDiskFile(tree.path(visual));
    const size_t firstNode = text.find("<node>");
    ASSERT_NE(firstNode, std::string::npos);
    std::string deep;
    for (int i = 0; i < 100000; ++i) {
        deep += "<node><identifier>HP_module_1</identifier>";
    }
    for (int i = 0; i < 100000; ++i) {
        deep += "</node>";
    }
    tree.write(visual, text.insert(firstNode + 6, deep));
    tree.refresh();
    // Every step that walks the node tree stops at its depth limit; the check ends.
    EXPECT_FALSE(check(model.path(0)).empty());
    EXPECT_GE(log.count("nodes nested deeper than 256 levels are ignored"), 1u);
}

TEST_F(HostileContentTest, AParentChainOfTenThousandModels) {
    const SceneryModel model = house();
    // lod2 continues into lod3 ... lod9999, each only a model file.
    const std::string base = model.root() + "/normal/lod";
    tree.write(model.path(2), readDiskFile(tree.path(model.path(2)))
                                  .insert(readDiskFile(tree.path(model.path(2))).find("\t<extent>"),
                                          "\t<parent>" + base + "3/house</parent>\n"));
    for (int i = 3; i < 10000; ++i) {
        tree.write(base + std::to_string(i) + "/house.model",
                   "<house.model>\n\t<parent>" + base + std::to_string(i + 1) +
                       "/house</parent>\n\t<extent>" + std::to_string(100 * (i + 1)) +
                       "</extent>\n</house.model>\n");
    }
    tree.refresh();
    const auto errors = check(model.path(0));
    EXPECT_FALSE(errors.empty());
    // The 64 links followed name 65 files.
    EXPECT_LE(validator.lodModelFiles().size(), 65u);
    EXPECT_GE(log.count("the LOD chain is longer than 64 models"), 1u);
}

TEST_F(HostileContentTest, DamagedFilesAreNamedWithTheirReasonOnce) {
    const SceneryModel model = house();
    tree.write(model.base(1) + ".primitives", "not a container at all");
    tree.write(model.base(2) + ".visual", "<2house.visual></2house.visual>");
    tree.refresh();
    const auto errors = check(model.path(0), {290});
    ASSERT_EQ(errors.size(), 2u) << "each file once, however often the steps read it";
    EXPECT_EQ(errors[0].message, "[Err. 290] File '" + model.base(2) +
                                     ".visual' cannot be used: not XML: Could not determine tag type "
                                     "at offset 1");
    EXPECT_EQ(errors[1].message,
              "[Err. 290] File '" + model.base(1) +
                  ".primitives' cannot be used: not XML: No document element found at offset 22");
    // A check starts with an empty record: nothing of this one reaches the next.
    house();
    EXPECT_EQ(check(model.path(0), {290}).size(), 0u);
}
