#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <list>

#include "engine/platform/utf8_path.h"
#include "support/resource_tree.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;

namespace {

using FileStructureChecksTest = SceneryFixture;

// Reaches the structure checks that no step of the scenery list runs itself.
class StructureProbe : public KX::ModelValidator {
  public:
    using ModelValidator::checkHavokFiles;
    using ModelValidator::compareFileStructureDirectories;
};

} // namespace

TEST_F(FileStructureChecksTest, ReportsModelFilesOutsideTheirFolders) {
    const SceneryModel house = SceneryModel("buildings", "house").write(tree);
    const std::string root = house.root();
    for (const char* file :
         {"/normal/lod1/Rock.model", "/normal/Rock.model", "/lod0/Rock.model", "/normal/LOD0/Rock.model",
          "/normal/lod0/havok/Rock__stone.hkt.model", "/normal/lod1/havok/Rock__stone.hkt.model",
          "/crash/lod0/havok/Rock__stone.hkt.model", "/normal/lod0/Rock__stone.hkt.model",
          "/normal/notes.txt", "/normal/Rock.dds", "/normal/lod12/Rock.model", "/normal/lod9/Rock.model",
          "/normal/lod/Rock.model", "/normal/lod0x/Rock.model"}) {
        tree.write(root + file, "<root/>");
    }
    tree.refresh();
    const auto errors = check(house, {106});
    EXPECT_EQ(
        sortedTexts(messagesOf(errors)),
        sortedTexts(
            {"[Wrn. 106] Model file '" + root + "/normal/Rock.model' exist not in the lod's folder",
             "[Wrn. 106] Model file '" + root + "/normal/LOD0/Rock.model' exist not in the lod's folder",
             "[Wrn. 106] Model file '" + root + "/normal/lod/Rock.model' exist not in the lod's folder",
             "[Wrn. 106] Model file '" + root + "/normal/lod0x/Rock.model' exist not in the lod's folder",
             "[Wrn. 106] Model '" + root + "/lod0/Rock.model' exist not in the state's folder",
             "[Wrn. 106] Havok model file '" + root +
                 "/normal/lod1/havok/Rock__stone.hkt.model' exist in the wrong folder",
             "[Wrn. 106] Havok model file '" + root +
                 "/crash/lod0/havok/Rock__stone.hkt.model' exist in the wrong folder"}));
    for (const ValidationError& error : errors) {
        EXPECT_EQ(error.category, "Content");
        EXPECT_EQ(error.severity, ValidationErrorSeverity::Medium);
    }
}

TEST_F(FileStructureChecksTest, ReportsMissingPhysicsFilesOfEachMaterial) {
    SceneryModel rock("rocks", "Rock");
    rock.materials({sceneryMaterial("stone", 12), sceneryMaterial("moss", 12)}).write(tree);
    StructureProbe probe;
    probe.checkHavokFiles(rock.path());
    EXPECT_TRUE(probe.getErrors().empty()) << "no havok folder, nothing to miss";

    const std::string havok = rock.root() + "/normal/lod0/havok/";
    for (const char* ending : {".hkt", ".hkt.model", ".hkt.visual", ".hkt.primitives"}) {
        tree.write(havok + "Rock__stone" + std::string(ending), "x");
    }
    tree.refresh();
    probe.checkHavokFiles(rock.path());
    std::vector<Finding> expected;
    for (const char* ending : {".hkt", ".hkt.model", ".hkt.visual", ".hkt.primitives"}) {
        expected.push_back({"[Wrn. 115] Model '" + rock.path() +
                                "', material 'moss': not enough havok file 'Rock__moss" + ending + "'",
                            ValidationTitle::CheckOther, ValidationErrorSeverity::Medium, "Check other"});
    }
    EXPECT_EQ(findingsOf(probe.getErrors()), expected);
}

TEST_F(FileStructureChecksTest, ReportsFilesOnlyOneTreeHas) {
    for (const char* file :
         {"cmp/a/x.dds", "cmp/a/sub/y.model", "cmp/b/x.dds", "cmp/b/z.dds", "cmp/b/sub/"}) {
        if (std::string(file).back() == '/') {
            tree.makeDirectory(file);
        } else {
            tree.write(file, "x");
        }
    }
    tree.refresh();
    StructureProbe probe;
    probe.compareFileStructureDirectories("cmp/a", "cmp/b/", 42);
    EXPECT_EQ(findingsOf(probe.getErrors()),
              (std::vector<Finding>{
                  {"[Wrn. 42] File '/sub/y.model' is mismatched in the 'cmp/a' and in the 'cmp/b/'",
                   ValidationTitle::Content, ValidationErrorSeverity::Medium, "Content"},
                  {"[Wrn. 42] File '/z.dds' is mismatched in the 'cmp/a' and in the 'cmp/b/'",
                   ValidationTitle::Content, ValidationErrorSeverity::Medium, "Content"}}));
}

TEST(IsHavokModel, TakesTheNameMarkerAndTheProcessedExtension) {
    EXPECT_TRUE(Validator::isHavokModel("x/havok/Rock__stone.hkt.visual"));
    EXPECT_TRUE(Validator::isHavokModel("Rock__stone.hkt.model"));
    EXPECT_TRUE(Validator::isHavokModel("x/havok/Rock__stone.hkt_processed"));
    EXPECT_FALSE(Validator::isHavokModel("x/Rock.model"));
    // Near names: the marker needs both dots, the extension matches exactly,
    // and a folder's name does not count.
    EXPECT_FALSE(Validator::isHavokModel("x/Rock.hkt"));
    EXPECT_FALSE(Validator::isHavokModel("x/Rock_hkt.model"));
    EXPECT_FALSE(Validator::isHavokModel("x/Rock.HKT_PROCESSED"));
    EXPECT_FALSE(Validator::isHavokModel("x/Rock.hkt_processed.bak"));
    EXPECT_FALSE(Validator::isHavokModel("x/Rock.hkt_processedx"));
    EXPECT_FALSE(Validator::isHavokModel("x/a.hkt.d/Rock.model"));
}

TEST_F(FileStructureChecksTest, ReadDirectoryStaysInsideTheRootsThroughLinks) {
    namespace fs = std::filesystem;
    tree.write("content/a/file.dds", "x");
    tree.write("other/b.dds", "x");
    const std::string outside = tree.root() + "_outside";
    fs::create_directories(pathFromUtf8(outside));
    std::ofstream(pathFromUtf8(outside + "/secret.dds")) << "x";
    const std::error_code ec = makeLinks({{tree.path("content"), tree.path("content/a/loop"), true},
                                          {tree.path("other"), tree.path("content/a/inside"), true},
                                          {outside, tree.path("content/a/out"), true},
                                          {outside + "/secret.dds", tree.path("content/a/secret.dds")}});
    if (ec) {
        fs::remove_all(pathFromUtf8(outside));
        GTEST_SKIP() << "links cannot be made here: " << ec.message();
    }
    tree.refresh();
    std::list<std::string> files;
    readDirectory("content/a", true, files, {"dds"});
    fs::remove_all(pathFromUtf8(outside));
    std::vector<std::string> found(files.begin(), files.end());
    // The cycle ends where it returns to a folder already walked; links out
    // of the roots are not followed at all.
    EXPECT_EQ(sortedTexts(found),
              sortedTexts({tree.path("content/a/file.dds"), tree.path("content/a/inside/b.dds")}));

    files.clear();
    readDirectory("content/a", false, files, {});
    EXPECT_EQ(std::vector<std::string>(files.begin(), files.end()),
              std::vector<std::string>{tree.path("content/a/file.dds")});
}

TEST_F(FileStructureChecksTest, CancellingStopsBetweenFiles) {
    const SceneryModel house = SceneryModel("buildings", "house").write(tree);
    tree.write(house.root() + "/normal/a.model", "<root/>");
    tree.write(house.root() + "/normal/b.model", "<root/>");
    tree.refresh();
    ASSERT_EQ(check(house, {106}).size(), 2u);
    validator.setCancelCallBack([this] { return !withCodes(validator.getErrors(), {106}).empty(); });
    EXPECT_EQ(check(house, {106}).size(), 1u);
}
