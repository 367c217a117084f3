#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using KX::ModelValidator;
using namespace KX::ValidatorHelper;

namespace {

using DriverTest = SceneryFixture;

} // namespace

TEST_F(DriverTest, FindsTheRootFolderAndTheLodFiles) {
    tree.write("content/buildings/house01/normal/lod0/house.model",
               "<root><parent>content/buildings/house01/normal/lod1/house</parent></root>");
    tree.write("content/buildings/house01/normal/lod1/house.model", "<root/>");
    ModelValidator v;
    v.check("content/buildings/house01/normal/lod0/house.model");
    EXPECT_EQ(v.modelPath(), "content/buildings/house01");
    EXPECT_EQ(v.lodModelFiles(),
              (std::vector<std::string>{"content/buildings/house01/normal/lod0/house.model",
                                        "content/buildings/house01/normal/lod1/house.model"}));

    // Each check reads the files afresh.
    std::ofstream(tree.path("content/buildings/house01/normal/lod1/house.model"))
        << "<root><parent>content/buildings/house01/normal/lod2/house</parent></root>";
    std::filesystem::create_directories(tree.path("content/buildings/house01/normal/lod2"));
    std::ofstream(tree.path("content/buildings/house01/normal/lod2/house.model")) << "<root/>";
    v.check("content/buildings/house01/normal/lod0/house.model");
    EXPECT_EQ(v.lodModelFiles().size(), 3u);

    // A model that has no lod0 file: its LOD search lists nothing, so only itself.
    tree.write("content/buildings/house01/normal/lod1/annex.model", "<root/>");
    v.check("content/buildings/house01/normal/lod1/annex.model");
    EXPECT_EQ(v.lodModelFiles(),
              std::vector<std::string>{"content/buildings/house01/normal/lod1/annex.model"});

    // The state folder's name inside an earlier component cuts the root there.
    v.check("content/abnormal/normal/a.model");
    EXPECT_EQ(v.modelPath(), "content/ab");
}

TEST_F(DriverTest, ReportsContentModelsOutsideStateFolders) {
    ModelValidator v;
    const auto& errors = v.check("content/props/crate/lod0/crate.model");
    EXPECT_EQ(v.modelPath(), "content/props/crate/lod0");
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].message, "[Err. 100] Model 'content/props/crate/lod0/crate.model' has invalid path");
    EXPECT_EQ(errors[0].category, "Common");

    // A second check starts from scratch.
    tree.write("content/props/crate/normal/lod0/crate.model", "<root/>");
    const auto& again = v.check("content/props/crate/normal/lod0/crate.model");
    for (const auto& error : again) {
        EXPECT_EQ(error.message.find("has invalid path"), std::string::npos) << error.message;
    }
}

TEST_F(DriverTest, OtherModelsKeepTheHostsRoot) {
    ModelValidator v;
    v.modelPath("vehicles/tank\\");
    v.check("vehicles/tank/normal/lod0/Hull.model");
    EXPECT_EQ(v.modelPath(), "vehicles/tank");
}

TEST_F(DriverTest, RunsTheStepsInTheirFixedOrder) {
    const std::vector<std::string> base = {"checkTextures", "checkModel", "checkBoundingBox",
                                           "checkModelForDifferentTags", "checkOther"};
    std::vector<std::string> content = base;
    content.insert(content.end(),
                   {"checkVertexFormat", "checkDisconnectedLods", "checkMaterials", "checkIdenticalModels",
                    "checkUseTextures", "checkFilesStructure", "checkContentHardpoints",
                    "checkTextureProperties", "checkMaterialTextureProperties",
                    "checkMaterialAtlasProperties", "checkDecorType"});
    EXPECT_EQ(ModelValidator::stepNamesFor("content/x/normal/lod0/x.model"), content);
    EXPECT_EQ(ModelValidator::stepNamesFor("content_cw/x/normal/lod0/x.model"), content);
    EXPECT_EQ(ModelValidator::stepNamesFor("objects/x/normal/lod0/x.model"), base);
    EXPECT_EQ(validator.stepsFor("content/x/normal/lod0/x.model").size(), content.size());
    EXPECT_EQ(validator.stepsFor("objects/x/normal/lod0/x.model").size(), base.size());
}

TEST_F(DriverTest, ACleanModelHasNoFindings) {
    const SceneryModel house =
        SceneryModel("buildings", "house", 3).materials({sceneryMaterial("n_stone_01", 12)}).write(tree);
    EXPECT_EQ(messagesOf(check(house.path())), std::vector<std::string>{});
}

TEST_F(DriverTest, CancellationIsConsultedBeforeEveryStep) {
    ModelValidator v;
    int calls = 0;
    v.setCancelCallBack([&] { return ++calls > 0; });
    const auto& errors = v.check("content/x/crate.model");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(messagesOf(errors),
              std::vector<std::string>{"[Err. 100] Model 'content/x/crate.model' has invalid path"});

    calls = 0;
    v.setCancelCallBack([&] {
        ++calls;
        return false;
    });
    v.check("content/x/crate.model");
    EXPECT_GE(calls, static_cast<int>(v.stepsFor("content/x/crate.model").size()));

    ModelValidator moved(std::move(v));
    EXPECT_TRUE(v.lodModelFiles().empty());
    EXPECT_EQ(moved.lodModelFiles(), std::vector<std::string>{"content/x/crate.model"});
}
