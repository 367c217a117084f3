#include <gtest/gtest.h>

#include <optional>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "support/findings.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using KX::ModelValidator;
using namespace KX::ValidatorHelper;

namespace {

using Messages = std::vector<std::string>;
using Expected = std::vector<Finding>;

const std::string kRoot = "vehicles/tank01";
const std::string kHull = "vehicles/tank01/normal/lod0/Hull.model";
constexpr int kCode = 7;

std::string lodModel(const std::string& parent, std::optional<float> extent = std::nullopt) {
    AssetWriters::ModelLayout layout;
    layout.parent = parent;
    layout.extent = extent;
    return AssetWriters::modelXml(layout, "model");
}

struct LodChecksTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    TestVehicleValidator v;

    void SetUp() override { v.modelPath(kRoot); }

    // Writes vehicles/tank01/normal/<lod>/Hull.model linking to <parentLod>.
    void writeHull(const std::string& lod, const std::string& parentLod,
                   std::optional<float> extent = std::nullopt) {
        const std::string parent = parentLod.empty() ? "" : kRoot + "/normal/" + parentLod + "/Hull";
        tree.write(kRoot + "/normal/" + lod + "/Hull.model", lodModel(parent, extent));
    }

    Messages checkHull(bool smallExtents = false) {
        v.clear();
        v.modelPath(kRoot);
        v.checkLods(kHull, smallExtents, kCode);
        return messagesOf(v.getErrors());
    }
};

// Records the path of every style question: a host's validator groups each
// finding under the style of the file the finding is about.
class StyleRecordingValidator : public TestVehicleValidator {
  public:
    std::vector<std::string> asked;

  protected:
    std::string getStyleName(const std::string& path) override {
        asked.push_back(path);
        return TestVehicleValidator::getStyleName(path);
    }
};

Finding lodFinding(const std::string& message,
                   ValidationErrorSeverity severity = ValidationErrorSeverity::High) {
    return {message, ValidationTitle::CheckLods, severity, "Check LODs"};
}

struct DisconnectedLodsTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    ModelValidator v;
};

} // namespace

TEST_F(LodChecksTest, AcceptsChainsThatSkipOnlyOptionalLods) {
    writeHull("lod0", "lod1", 64.f);
    writeHull("lod1", "lod4", 128.f);
    writeHull("lod4", "", 5000.f);
    EXPECT_TRUE(checkHull().empty());

    // lod2 present: lod1 may no longer skip it.
    writeHull("lod1", "lod2", 128.f);
    writeHull("lod2", "lod4", -1.f);
    EXPECT_TRUE(checkHull().empty());
}

TEST_F(LodChecksTest, ReportsWrongLinksAndMissingMandatoryLods) {
    v.style = "Hull";
    writeHull("lod0", "lod2", 64.f);
    writeHull("lod2", "");
    EXPECT_EQ(checkHull(),
              (Messages{"[Err. 7] LOD 'vehicles/tank01/normal/lod2/Hull.model' is connected to "
                        "'vehicles/tank01/normal/lod0/Hull.model' - it is incorrectly.",
                        "[Wrn. 7] Model 'vehicles/tank01/normal/lod1/Hull.model' doesn't exist."}));
    EXPECT_EQ(v.getErrors()[0].category, "Hull/Check LODs");
    EXPECT_EQ(v.getErrors()[0].severity, ValidationErrorSeverity::High);
    EXPECT_EQ(v.getErrors()[1].severity, ValidationErrorSeverity::Medium);

    // The folder markers are case-sensitive although the chain is followed.
    writeHull("lod0", "LOD1", 64.f);
    writeHull("LOD1", "");
    EXPECT_EQ(checkHull(), Messages{"[Err. 7] LOD 'vehicles/tank01/normal/LOD1/Hull.model' is connected to "
                                    "'vehicles/tank01/normal/lod0/Hull.model' - it is incorrectly."});

    // A lod1 file that the chain does not reach.
    tree.remove(kRoot + "/normal/LOD1");
    writeHull("lod0", "");
    writeHull("lod1", "");
    EXPECT_EQ(checkHull(),
              Messages{"[Wrn. 7] Model 'vehicles/tank01/normal/lod1/Hull.model' is not connected."});

    // Once lod2 is in the chain, lod1 may no longer skip it, wherever lod2 follows.
    tree.remove(kRoot + "/normal");
    writeHull("lod0", "lod1", 64.f);
    writeHull("lod1", "lod3", 128.f);
    writeHull("lod3", "lod2", -1.f);
    writeHull("lod2", "");
    checkHull();
    auto wrongLink = [](const std::string& next, const std::string& from) {
        const std::string message = "[Err. 7] LOD '" + kRoot + "/normal/" + next +
                                    "/Hull.model' is connected to '" + kRoot + "/normal/" + from +
                                    "/Hull.model' - it is incorrectly.";
        return Finding{message, ValidationTitle::CheckLods, ValidationErrorSeverity::High, "Hull/Check LODs"};
    };
    EXPECT_EQ(findingsOf(v.getErrors()), (Expected{wrongLink("lod3", "lod1"), wrongLink("lod2", "lod3")}));

    v.clear();
    v.modelPath(kRoot);
    v.checkLods("vehicles/tank01/normal/lod0/Gun.model", false, kCode);
    EXPECT_EQ(messagesOf(v.getErrors()),
              (Messages{"[Err. 12] Model 'vehicles/tank01/normal/lod0/Gun.model' doesn't exist.",
                        "[Err. 7] Can not get LODs for vehicles/tank01/normal/lod0/Gun.model model"}));
}

TEST_F(LodChecksTest, ComparesExtentsInSinglePrecisionExceptTheLastLod) {
    writeHull("lod0", "lod1", 64.0005f);
    writeHull("lod1", "lod4", 128.f);
    writeHull("lod4", "");
    EXPECT_EQ(checkHull(),
              Messages{"[Err. 7] LODs 'vehicles/tank01/normal/lod0/Hull.model': actual extent value "
                       "64.0 differs from standard 64.0 value for lod0"});

    writeHull("lod0", "lod1", 64.0003f);
    EXPECT_TRUE(checkHull().empty());
    writeHull("lod0", "lod1", 64.0004f);
    EXPECT_TRUE(checkHull().empty());
    writeHull("lod0", "lod1", 32.0004f);
    writeHull("lod1", "lod4", 64.f);
    EXPECT_EQ(checkHull(true),
              Messages{"[Err. 7] LODs 'vehicles/tank01/normal/lod0/Hull.model': actual extent "
                       "value 32.0 differs from standard 32.0 value for lod0"});

    // -1 is lod2's standard only among the large extents; a linked lod4 is
    // held to the infinite distance.
    writeHull("lod0", "lod1", 32.f);
    writeHull("lod1", "lod2", 64.f);
    writeHull("lod2", "lod3", -1.f);
    writeHull("lod3", "lod4", 192.f);
    writeHull("lod4", "lod5", 300.f);
    writeHull("lod5", "");
    EXPECT_EQ(
        checkHull(true),
        (Messages{"[Err. 7] LODs 'vehicles/tank01/normal/lod2/Hull.model': actual extent value -1.0 differs "
                  "from standard 96.0 value for lod2",
                  "[Err. 7] LODs 'vehicles/tank01/normal/lod4/Hull.model': actual extent value 300.0 differs "
                  "from standard 'infinite' value for lod4"}));

    v.clear();
    v.modelPath(kRoot);
    v.style = "Hull";
    v.checkLodExtents("normal", {{"LOD1", "vehicles/tank01/normal/lod2/Hull.model", 100.f}},
                      {{"Lod1", "", 128.f}}, 42);
    EXPECT_EQ(messagesOf(v.getErrors()),
              Messages{"[Err. 42] LODs 'vehicles/tank01/normal/LOD1/Hull.model': actual "
                       "extent value 100.0 differs from standard 128.0 value for LOD1"});
    EXPECT_EQ(v.getErrors()[0].category, "Hull/Check LODs");
}

TEST_F(LodChecksTest, AsksForTheStyleOfTheFileEachFindingIsAbout) {
    StyleRecordingValidator r;
    auto checkLods = [&](const std::string& path) {
        r.clear();
        r.asked.clear();
        r.modelPath(kRoot);
        r.checkLods(path, false, kCode);
        return findingsOf(r.getErrors());
    };

    // A wrong link is about the LOD that links; a wrong extent about the LOD it leads to.
    writeHull("lod0", "lod1", 64.f);
    writeHull("lod1", "lod5", 100.f);
    writeHull("lod5", "");
    EXPECT_EQ(
        checkLods(kHull),
        (Expected{lodFinding("[Err. 7] LOD 'vehicles/tank01/normal/lod5/Hull.model' is connected to "
                             "'vehicles/tank01/normal/lod1/Hull.model' - it is incorrectly."),
                  lodFinding("[Err. 7] LODs 'vehicles/tank01/normal/lod1/Hull.model': actual extent value "
                             "100.0 differs from standard 128.0 value for lod1")}));
    EXPECT_EQ(r.asked,
              (Messages{"vehicles/tank01/normal/lod1/Hull.model", "vehicles/tank01/normal/lod5/Hull.model"}));

    // A missing mandatory LOD is about the checked model.
    tree.remove(kRoot + "/normal");
    writeHull("lod0", "");
    EXPECT_EQ(checkLods(kHull),
              Expected{lodFinding("[Wrn. 7] Model 'vehicles/tank01/normal/lod1/Hull.model' doesn't exist.",
                                  ValidationErrorSeverity::Medium)});
    EXPECT_EQ(r.asked, Messages{kHull});

    // A style's chain starts in its own folder: the missing start is about
    // that file, the failed check about the checked model.
    r.setSubFolderLOD("styles/winter/");
    EXPECT_EQ(
        checkLods(kHull),
        (Expected{lodFinding("[Err. 12] Model 'vehicles/tank01/styles/winter/normal/lod0/Hull.model' "
                             "doesn't exist."),
                  lodFinding("[Err. 7] Can not get LODs for vehicles/tank01/normal/lod0/Hull.model model")}));
    EXPECT_EQ(r.asked, (Messages{"vehicles/tank01/styles/winter/normal/lod0/Hull.model", kHull}));
    r.resetSubFolderLOD();

    // A misspelt parent is about the file that names it.
    if (diskIsCaseSensitive(tree.root())) {
        tree.write(kRoot + "/normal/lod0/Hull.model", lodModel(kRoot + "/normal/lod1/hull", 64.f));
        writeHull("lod1", "");
        EXPECT_EQ(
            checkLods(kHull),
            (Expected{{"[Wrn. 123] Parent path 'vehicles/tank01/normal/lod1/hull.model' has a case-sensitive "
                       "typo. Right path is:'vehicles/tank01/normal/lod1/Hull.model'.",
                       ValidationTitle::Common, ValidationErrorSeverity::Medium, "Common"}}));
        EXPECT_EQ(r.asked, Messages{kHull});
    }
}

TEST_F(DisconnectedLodsTest, ReportsLodFoldersTheChainDoesNotReach) {
    const std::string root = "content/buildings/house01";
    tree.write(root + "/normal/lod0/house.model", lodModel(root + "/normal/lod1/house"));
    tree.write(root + "/normal/lod1/house.model", lodModel(""));
    tree.write(root + "/normal/lod2/house.model", lodModel(""));
    tree.write(root + "/normal/lod3/other.model", lodModel(""));
    EXPECT_EQ(
        messagesOf(withCodes(v.check(root + "/normal/lod0/house.model"), {139})),
        Messages{"[Wrn. 139] Model 'content/buildings/house01/lod2/house.model' is disconnected, but is not "
                 "deleted"});

    // Crash comes first; a LOD folder spelled LOD2 never matches the chain's lower-case names.
    tree.write(root + "/crash/lod0/house.model", lodModel(""));
    tree.write(root + "/crash/lod1/house.model", lodModel(""));
    tree.remove(root + "/normal/lod2");
    tree.write(root + "/normal/lod1/house.model", lodModel(root + "/normal/LOD2/house"));
    tree.write(root + "/normal/LOD2/house.model", lodModel(""));
    const auto errors = withCodes(v.check(root + "/normal/lod0/house.model"), {139});
    EXPECT_EQ(
        messagesOf(errors),
        (Messages{"[Wrn. 139] Model 'content/buildings/house01/lod1/house.model' is disconnected, but is not "
                  "deleted",
                  "[Wrn. 139] Model 'content/buildings/house01/LOD2/house.model' is disconnected, but is not "
                  "deleted"}));
    ASSERT_FALSE(errors.empty());
    EXPECT_EQ(errors[0].category, "Check LODs");
}

TEST_F(DisconnectedLodsTest, FolderLookupIgnoresLetterCasePreferringTheExactSpelling) {
    const std::string root = "content/buildings/house01";
    tree.write(root + "/normal/lod0/house.model", lodModel(""));
    tree.write(root + "/normal/Lod1/House.model", lodModel("", 7.f));
    const DataSectionPtr normal = FS::Utils::openSection(root + "/normal");
    ASSERT_TRUE(normal);
    const DataSectionPtr found = normal->openSection("LOD1/house.MODEL");
    ASSERT_TRUE(found);
    EXPECT_FLOAT_EQ(found->readFloat("extent"), 7.f);

    // So a left-over LOD is found whatever the spelling of its folder and file.
    EXPECT_EQ(
        findingsOf(withCodes(v.check(root + "/normal/lod0/house.model"), {139})),
        (Expected{{"[Wrn. 139] Model 'content/buildings/house01/Lod1/house.model' is disconnected, but is "
                   "not deleted",
                   ValidationTitle::CheckLods, ValidationErrorSeverity::Medium, "Check LODs"}}));

    if (diskIsCaseSensitive(tree.root())) {
        tree.write(root + "/normal/Lod1/house.model", lodModel("", 9.f));
        const DataSectionPtr lod1 = FS::Utils::openSection(root + "/normal/Lod1");
        ASSERT_TRUE(lod1);
        EXPECT_FLOAT_EQ(lod1->openSection("house.model")->readFloat("extent"), 9.f);
        EXPECT_FLOAT_EQ(lod1->openSection("House.model")->readFloat("extent"), 7.f);
    }
}
