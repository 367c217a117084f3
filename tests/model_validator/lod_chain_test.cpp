#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "engine/core/debug_log.h"
#include "engine/model/model_constants.h"
#include "engine/resource/data_section_cache.h"
#include "support/findings.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

std::string modelXml(const std::string& parent, const std::string& extent = "") {
    std::string xml = "<root>";
    if (!parent.empty()) {
        xml += "<parent>" + parent + "</parent>";
    }
    if (!extent.empty()) {
        xml += "<extent>" + extent + "</extent>";
    }
    return xml + "</root>";
}

struct LodChainTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    TestVehicleValidator v;
    void SetUp() override { v.modelPath("v/tank"); }
};

} // namespace

TEST_F(LodChainTest, WalksParentsCompletingExtensionsAndLowerCasingLodNames) {
    tree.write("v/tank/normal/lod0/Tank.model", modelXml("v/tank/normal/lod1/Tank", "64"));
    tree.write("v/tank/normal/lod1/Tank.model", modelXml("v/tank/normal/LOD2/Tank.model", "128"));
    tree.write("v/tank/normal/LOD2/Tank.model", modelXml(""));

    auto chain = v.getModelLODHierarchy("Tank", "normal");
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[0].lodName, "lod0");
    EXPECT_EQ(chain[0].parentPath, "v/tank/normal/lod1/Tank.model");
    EXPECT_FLOAT_EQ(chain[0].extent, 64.f);
    EXPECT_EQ(chain[1].lodName, "lod1");
    EXPECT_EQ(chain[2].lodName, "lod2");
    EXPECT_EQ(chain[2].parentPath, "");
    EXPECT_EQ(chain[2].extent, Model::LOD_MAX);
    EXPECT_TRUE(v.getErrors().empty());
    EXPECT_EQ(v.getModelLODs("Tank.model", "normal"),
              (std::vector<std::string>{"v/tank/normal/lod0/Tank.model", "v/tank/normal/lod1/Tank.model",
                                        "v/tank/normal/LOD2/Tank.model"}));
}

TEST_F(LodChainTest, ReportsMissingFilesCaseTyposAndParentsOutsideLodFolders) {
    tree.write("v/tank/normal/lod0/Tank.model", modelXml("v/tank/normal/lod1/tank"));
    tree.write("v/tank/normal/lod1/Tank.model", modelXml("v/tank/normal/lod2/Tank"));
    auto chain = v.getModelLODHierarchy("Tank", "normal");
    EXPECT_EQ(chain.size(), 2u);
    EXPECT_EQ(messagesOf(v.getErrors()),
              (std::vector<std::string>{
                  "[Wrn. 123] Parent path 'v/tank/normal/lod1/tank.model' has a case-sensitive typo. Right "
                  "path is:'v/tank/normal/lod1/Tank.model'.",
                  "[Err. 12] Model 'v/tank/normal/lod2/Tank.model' doesn't exist."}));

    v.clear();
    v.modelPath("v/tank");
    tree.write("v/tank/normal/lod1/Tank.model", modelXml("v/tank/normal/lod3"));
    v.style = "Hull";
    chain = v.getModelLODHierarchy("Tank", "normal");
    EXPECT_EQ(chain.size(), 2u);
    ASSERT_EQ(v.getErrors().size(), 2u);
    EXPECT_EQ(v.getErrors()[1].message,
              "[Err. 360] Model 'v/tank/normal/lod3.model' was used not from LOD folders");
    EXPECT_EQ(v.getErrors()[1].category, "Hull/Check LODs");

    v.clear();
    v.modelPath("v/tank");
    EXPECT_TRUE(v.getModelLODs("Missing", "normal").empty());
    EXPECT_TRUE(v.getErrors().empty());
    EXPECT_TRUE(v.getModelLODHierarchy("Missing", "normal").empty());
    EXPECT_EQ(messagesOf(v.getErrors()),
              std::vector<std::string>{"[Err. 12] Model 'v/tank/normal/lod0/Missing.model' doesn't exist."});
}

TEST_F(LodChainTest, AChainAskedForAgainFollowsEveryChangeOfItsFiles) {
    tree.write("v/tank/normal/lod0/Tank.model", modelXml("v/tank/normal/lod1/Tank"));
    tree.write("v/tank/normal/lod1/Tank.model", modelXml(""));
    tree.write("v/tank/normal/lod2/Tank.model", modelXml(""));
    tree.age();
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 2u);
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 2u);

    // Saved within the check, as a step purges what it saves.
    std::ofstream(tree.path("v/tank/normal/lod1/Tank.model")) << modelXml("v/tank/normal/lod2/Tank");
    DataSectionCache::instance().purge("v/tank/normal/lod1/Tank.model");
    const auto chain = v.getModelLODHierarchy("Tank", "normal");
    ASSERT_EQ(chain.size(), 3u);
    EXPECT_EQ(chain[1].parentPath, "v/tank/normal/lod2/Tank.model");

    // A missing parent that appears.
    std::ofstream(tree.path("v/tank/normal/lod2/Tank.model")) << modelXml("v/tank/normal/lod3/Tank");
    DataSectionCache::instance().purge("v/tank/normal/lod2/Tank.model");
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 3u);
    std::filesystem::create_directory(tree.path("v/tank/normal/lod3"));
    std::ofstream(tree.path("v/tank/normal/lod3/Tank.model")) << modelXml("");
    DataSectionCache::instance().purge("v/tank/normal", true);
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 4u);
    EXPECT_EQ(messagesOf(v.getErrors()),
              (std::vector<std::string>{"[Err. 12] Model 'v/tank/normal/lod3/Tank.model' doesn't exist."}));
}

TEST_F(LodChainTest, AChainWhoseEveryFileChangedIsWalkedAgain) {
    tree.write("v/tank/normal/lod0/Tank.model", modelXml(""));
    tree.write("v/tank/normal/lod1/Tank.model", modelXml(""));
    tree.age();
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 1u);
    // Saved in place: no folder changes, only the file.
    std::ofstream(tree.path("v/tank/normal/lod0/Tank.model")) << modelXml("v/tank/normal/lod1/Tank");
    DataSectionCache::instance().purge("v/tank/normal/lod0/Tank.model");
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 2u);
}

TEST_F(LodChainTest, StopsWhenTheChainLoops) {
    tree.write("v/tank/normal/lod0/Tank.model", modelXml("v/tank/normal/lod1/Tank"));
    tree.write("v/tank/normal/lod1/Tank.model", modelXml("v/tank/normal/lod0/Tank"));
    auto chain = v.getModelLODHierarchy("Tank", "normal");
    EXPECT_EQ(chain.size(), 2u);
    EXPECT_EQ(
        messagesOf(v.getErrors()),
        std::vector<std::string>{"[Err. 12] Model 'v/tank/normal/lod0/Tank.model' is reached again through "
                                 "'parent': the LOD chain is a loop"});

    v.clear();
    v.modelPath("v/self");
    tree.write("v/self/normal/lod0/Self.model", modelXml("v/self/normal/lod0/Self.model"));
    EXPECT_EQ(v.getModelLODHierarchy("Self.model", "normal").size(), 1u);
    EXPECT_EQ(v.getErrors().size(), 1u);

    // File names ignore case on the target platform: a parent spelled
    // differently is the same file, so the loop closes there.
    v.clear();
    v.modelPath("v/case");
    tree.write("v/case/normal/lod0/Tank.model", modelXml("v/case/normal/lod1/Tank"));
    tree.write("v/case/normal/lod1/Tank.model", modelXml("V/Case/normal/LOD0/TANK"));
    chain = v.getModelLODHierarchy("Tank", "normal");
    EXPECT_EQ(chain.size(), 2u);
    EXPECT_EQ(
        findingsOf(withCodes(v.getErrors(), {12})),
        (std::vector<Finding>{{"[Err. 12] Model 'V/Case/normal/LOD0/TANK.model' is reached again through "
                               "'parent': the LOD chain is a loop",
                               ValidationTitle::CheckLods, ValidationErrorSeverity::High, "Check LODs"}}));
}

TEST_F(LodChainTest, StopsFollowingAGeneratedChainAtItsLimit) {
    // lod0 -> lod1 -> ... -> lod99: far more than any model has.
    for (int i = 0; i < 100; ++i) {
        const std::string parent = i == 99 ? "" : "v/tank/normal/lod" + std::to_string(i + 1) + "/Tank";
        tree.write("v/tank/normal/lod" + std::to_string(i) + "/Tank.model", modelXml(parent));
    }
    EXPECT_EQ(v.getModelLODHierarchy("Tank", "normal").size(), 64u);
    EXPECT_TRUE(v.getErrors().empty());
    EXPECT_EQ(
        log.count("v/tank/normal/lod64/Tank.model: the LOD chain is longer than 64 models; the rest is not "
                  "followed"),
        1u);
}

TEST_F(LodChainTest, RootPathsAndStates) {
    EXPECT_EQ(v.getModelRootPath("Hull", "normal"), "v/tank/normal/lod0/Hull.model");
    v.setSubFolderLOD("styles/winter/");
    EXPECT_EQ(v.getModelRootPath("Hull.model", "normal"), "v/tank/styles/winter/normal/lod0/Hull.model");
    v.resetSubFolderLOD();
    EXPECT_EQ(v.getModelState("a/normal/lod0/x.model"), "normal");
    EXPECT_EQ(v.getModelState("a/crash/lod0/x.model"), "crash");
    EXPECT_EQ(v.getModelState("a/Normal/lod0/x.model"), "");
}
