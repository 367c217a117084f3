#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "support/scenery_fixture.h"
#include "support/test_validator.h"

#if defined(__unix__)
#include <csignal>
#include <sys/resource.h>
#endif

using namespace KX::ValidatorHelper;
namespace fs = std::filesystem;

namespace {

class TagChecksTest : public SceneryFixture {
  protected:
    // Rewrites a LOD's model file to declare its visual with `tag`
    // ("nodelessVisual", "nodefullVisual", both or neither).
    void declareVisual(const SceneryModel& model, size_t lod, const std::string& tags) {
        std::string text = "<" + FS::Utils::getFilename(model.path(lod)) + ">\n" + tags;
        if (lod + 1 < model.lods().size()) {
            text += "\t<parent>" + model.base(lod + 1) + "</parent>\n";
        }
        text += "\t<extent>" + std::to_string(100 * (lod + 1)) + "</extent>\n</" +
                FS::Utils::getFilename(model.path(lod)) + ">\n";
        tree.write(model.path(lod), text);
        tree.refresh();
    }
    static std::string nodeless(const SceneryModel& model, size_t lod) {
        return "\t<nodelessVisual>" + model.base(lod) + "</nodelessVisual>\n";
    }
    static std::string nodefull(const SceneryModel& model, size_t lod) {
        return "\t<nodefullVisual>" + model.base(lod) + "</nodefullVisual>\n";
    }
};

const std::string kTagList = "<nodelessvisual>, <nodefullvisual>";

std::string differentTags(const std::string& files) {
    return "[Wrn. 7] Files '" + files + "' use these '" + kTagList + "' tags";
}

fs::file_time_type modified(const std::string& absolute) {
    return fs::last_write_time(pathFromUtf8(absolute));
}

bool tryOpen(const std::string& resourcePath) {
    return static_cast<bool>(FS::Utils::openSection(resourcePath));
}

} // namespace

TEST_F(TagChecksTest, ReportsChainsThatMixNodelessAndNodefullVisuals) {
    const SceneryModel house =
        SceneryModel("buildings", "house", 3).materials({sceneryMaterial("n_stone_01", 12)}).write(tree);
    EXPECT_TRUE(check(house, {7}).empty()) << "the writer declares every LOD node-less";

    declareVisual(house, 2, nodefull(house, 2));
    const auto errors = check(house, {7});
    ASSERT_EQ(findingsOf(errors),
              std::vector<Finding>({{differentTags(house.path(2)), ValidationTitle::CheckOther,
                                     ValidationErrorSeverity::Medium, "Check other"}}));

    // A file declaring both is named alone: its chain is not looked at.
    declareVisual(house, 0, nodeless(house, 0) + nodefull(house, 0));
    EXPECT_EQ(messagesOf(check(house, {7})), std::vector<std::string>{differentTags(house.path(0))});

    // Neither tag anywhere is not a disagreement; tags count in any letter case.
    for (size_t lod = 0; lod < 3; ++lod) {
        declareVisual(house, lod, "");
    }
    EXPECT_TRUE(check(house, {7}).empty());
    declareVisual(house, 1, "\t<NodeFullVisual>" + house.base(1) + "</NodeFullVisual>\n");
    declareVisual(house, 0, nodeless(house, 0));
    EXPECT_EQ(messagesOf(check(house, {7})), std::vector<std::string>{differentTags(house.path(1))});
}

TEST_F(TagChecksTest, ExaminesTheLod0FilesOfBothStatesOnly) {
    const SceneryModel house = SceneryModel("buildings", "house", 2).write(tree);
    declareVisual(house, 1, nodefull(house, 1));
    // A crash lod0 whose parent disagrees, and a crash file the step does not
    // look at (it has another name).
    const std::string crash = house.root() + "/crash/lod0/house.model";
    tree.write(crash, "<house.model>\n<nodefullVisual>x</nodefullVisual>\n<parent>" + house.root() +
                          "/crash/lod1/house</parent>\n</house.model>\n");
    tree.write(house.root() + "/crash/lod1/house.model", "<house.model>\n<nodelessVisual>x</nodelessVisual>\n"
                                                         "</house.model>\n");
    tree.write(house.root() + "/crash/lod0/other.model",
               "<o>\n<nodefullVisual>x</nodefullVisual>\n<nodelessVisual>x</nodelessVisual>\n</o>\n");
    tree.refresh();
    EXPECT_EQ(messagesOf(check(house, {7})),
              std::vector<std::string>(
                  {differentTags(house.root() + "/crash/lod1/house.model"), differentTags(house.path(1))}));
    // Checking lod1 examines the same two lod0 files.
    EXPECT_EQ(check(house.path(1), {7}).size(), 2u);
}

TEST_F(TagChecksTest, ReportsFilesOfTheChainThatCannotBeRead) {
    const SceneryModel house = SceneryModel("buildings", "house", 2).write(tree);
    fs::remove_all(pathFromUtf8(tree.path(house.path(1))));
    fs::create_directories(pathFromUtf8(tree.path(house.path(1)))); // a folder where the file was
    tree.refresh();
    TestVehicleValidator probe;
    probe.style = "Hull";
    probe.modelPath(house.root());
    probe.setup();
    probe.checkModelForDifferentTags(house.path(0), 31);
    ASSERT_EQ(probe.getErrors().size(), 1u);
    EXPECT_EQ(probe.getErrors()[0].message,
              "[Wrn. 31] Can not read '" + house.path(1) + "': used tags is not validated");
    EXPECT_EQ(probe.getErrors()[0].category, "Hull/Check other");

    std::vector<std::string> files{"stale"};
    EXPECT_TRUE(probe.hasModelsWithDifferentTags(house.root() + "/normal/lod0/none.model",
                                                 {"<nodelessvisual>", "<nodefullvisual>"}, files, 31));
    EXPECT_TRUE(files.empty());
    EXPECT_EQ(probe.getErrors().back().message, "[Wrn. 31] Can not read '" + house.root() +
                                                    "/normal/lod0/none.model': used tags is not validated");
}

TEST_F(TagChecksTest, RepairsRootTagsThatStartWithADigit) {
    const std::string model = "content/buildings/1house/normal/lod0/1house.model";
    const std::string visual = "content/buildings/1house/normal/lod0/1house.visual";
    // CR LF endings and a blank line survive; only the tag lines change.
    tree.write(model, "<1house.model>\r\n\r\n\t<nodelessVisual>content/buildings/1house/normal/lod0/1house"
                      "</nodelessVisual>\r\n</1house.model>\r\n");
    tree.write(visual, "<1house.visual>\n\t<renderSet>x</renderSet>\n</1house.visual>");
    tree.refresh();
    ASSERT_FALSE(tryOpen(model)) << "a tag starting with a digit is not XML";

    const auto dry = KX::ModelValidator::repairTagsName(model, true);
    ASSERT_EQ(dry.size(), 2u) << "a dry run finds the visual in what it would write";
    EXPECT_TRUE(dry[0].changed && dry[1].changed);
    EXPECT_FALSE(tryOpen(model)) << "a dry run writes nothing";

    KX::ModelValidator::checkTagsName(model);
    EXPECT_EQ(readDiskFile(tree.path(model)),
              "<buildings.model>\r\n\r\n\t<nodelessVisual>content/buildings/1house/normal/lod0/1house"
              "</nodelessVisual>\r\n</buildings.model>\r\n");
    EXPECT_EQ(readDiskFile(tree.path(visual)),
              "<buildings.model>\n\t<renderSet>x</renderSet>\n</buildings.model>");
    EXPECT_TRUE(tryOpen(model));
    EXPECT_EQ(log.count("Tag name has been updated in the " + model), 2u);
    EXPECT_EQ(
        std::distance(fs::directory_iterator(pathFromUtf8(tree.path("content/buildings/1house/normal/lod0"))),
                      fs::directory_iterator()),
        2)
        << "no temporary file is left behind";

    // Clean files are not touched: same bytes, same time.
    const auto before = modified(tree.path(model));
    const auto outcomes = KX::ModelValidator::repairTagsName(model, false);
    ASSERT_EQ(outcomes.size(), 2u);
    EXPECT_FALSE(outcomes[0].changed || outcomes[1].changed);
    EXPECT_EQ(modified(tree.path(model)), before);

    // A line whose tag runs to the last '>' of the line loses everything up to it.
    tree.write(model, "<1a> <b/>\n<nodelessVisual>v</nodelessVisual></1a>\n</2a>\n<3\n");
    tree.refresh();
    KX::ModelValidator::checkTagsName(model);
    EXPECT_EQ(
        readDiskFile(tree.path(model)),
        "<buildings.model>\n<nodelessVisual>v</nodelessVisual></buildings.model>\n</buildings.model>\n<3\n");

    // Very long lines are handled without recursion.
    tree.write(model, "<1" + std::string(200000, 'x') + ">\n");
    tree.refresh();
    KX::ModelValidator::checkTagsName(model);
    EXPECT_EQ(readDiskFile(tree.path(model)), "<buildings.model>\n");
}

TEST_F(TagChecksTest, LeavesFilesItCannotRewriteAsTheyWere) {
    const std::string model = "content/buildings/1house/normal/lod0/1house.model";
    const std::string original = "<1house.model>\n" + std::string(4000, ' ') + "\n</1house.model>\n";
    const std::string absolute = tree.write(model, original);
    tree.refresh();

    // A read-only file is refused, even for an account that could override it.
    fs::permissions(pathFromUtf8(absolute), fs::perms::owner_read | fs::perms::group_read);
    auto outcomes = KX::ModelValidator::repairTagsName(model, false);
    ASSERT_FALSE(outcomes.empty());
    EXPECT_FALSE(outcomes[0].changed);
    EXPECT_EQ(outcomes[0].failure, "'" + absolute + "': is read-only");
    EXPECT_EQ(readDiskFile(absolute), original);
    EXPECT_EQ(log.count("CheckTagsName: '" + absolute + "': is read-only"), 1u);
    fs::permissions(pathFromUtf8(absolute), fs::perms::owner_read | fs::perms::owner_write);

    // A folder where the file should be, and a path outside the roots.
    tree.makeDirectory("content/buildings/2house/normal/lod0/2house.model");
    tree.refresh();
    outcomes = KX::ModelValidator::repairTagsName("content/buildings/2house/normal/lod0/2house.model", false);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].failure.empty());
    outcomes = KX::ModelValidator::repairTagsName(absolute + "/../../../../../../../etc/passwd", false);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_FALSE(outcomes[0].failure.empty());

#if defined(__unix__)
    // A write that fails half-way (here: the file-size limit, as a full disk
    // would) leaves the original whole and no temporary file.
    rlimit previous{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &previous), 0);
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit small = previous;
    small.rlim_cur = 1000;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    outcomes = KX::ModelValidator::repairTagsName(model, false);
    setrlimit(RLIMIT_FSIZE, &previous);
    std::signal(SIGXFSZ, previousHandler);
    ASSERT_FALSE(outcomes.empty());
    EXPECT_FALSE(outcomes[0].changed);
    EXPECT_NE(outcomes[0].failure.find("writing the new contents failed"), std::string::npos)
        << outcomes[0].failure;
    EXPECT_EQ(readDiskFile(absolute), original);
    EXPECT_EQ(std::distance(fs::directory_iterator(fs::path(pathFromUtf8(absolute)).parent_path()),
                            fs::directory_iterator()),
              1);
#endif
}
