#include <gtest/gtest.h>

#include <filesystem>

#include "engine/component/component_registry.h"
#include "engine/core/debug_log.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/data_section_cache.h"
#include "model_validator/path_helpers.h"
#include "support/catalogue_guard.h"
#include "support/findings.h"
#include "support/hostile_files.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using namespace KX::ValidatorHelper;
using KX::PathHelpers::getFoldersFromPath;
using KX::PathHelpers::getLastNameFromPath;
using KX::PathHelpers::getLodFolder;
using KX::PathHelpers::getRelativePath;
using KX::PathHelpers::normalizePath;

namespace {
constexpr auto High = ValidationErrorSeverity::High;
constexpr auto Medium = ValidationErrorSeverity::Medium;
constexpr auto NoSeverity = ValidationErrorSeverity::None;
} // namespace

TEST(AddError, ComposesDeduplicatesAndLogs) {
    TempResourceTree tree;
    DebugLog::Capture log;
    UncataloguedFindingsAllowed direct;
    TestVehicleValidator v;
    v.addError(ValidationTitle::Common, High, "Model 'a/b.model' has invalid path",
               "Model 'a/b.model' has invalid path", 100, "");
    // Same message under another title, severity and code: still a repeat.
    v.addError(ValidationTitle::CheckLods, Medium, "Model 'a/b.model' has invalid path",
               "Model 'a/b.model' has invalid path", 7, "");
    // A key that occurs inside an earlier finding suppresses a new message.
    v.addError(ValidationTitle::CheckLods, High, "Model 'a/b.model' doesn't exist.", "Model 'a/b.model", 12,
               "");
    v.addError(ValidationTitle::Common, Medium, "Load 50% done", "", 3, "Style");
    v.addError(ValidationTitle::None, NoSeverity, "", "", 4, "");
    v.addError(static_cast<ValidationTitle>(21), NoSeverity, "x", "", 5, "Style");

    const auto& errors = v.getErrors();
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[0].message, "[Err. 100] Model 'a/b.model' has invalid path");
    EXPECT_EQ(errors[0].category, "Common");
    EXPECT_EQ(errors[0].title, ValidationTitle::Common);
    EXPECT_EQ(errors[0].severity, High);
    EXPECT_EQ(errors[1].message, "[Wrn. 3] Load 50% done");
    EXPECT_EQ(errors[1].category, "Style/Common");
    EXPECT_EQ(errors[2].message, "[ 4] ");
    EXPECT_EQ(errors[2].category, "");
    EXPECT_EQ(errors[3].category, "Style/");

    const auto lines = log.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0].priority, DebugLog::Error);
    EXPECT_EQ(lines[0].text, "[Err. 100] Model 'a/b.model' has invalid path\n");
    EXPECT_EQ(lines[1].priority, DebugLog::Warning);
    EXPECT_EQ(lines[1].text, "[Wrn. 3] Load 50% done\n");

    // The key is rewritten as the message is, so a key may name an existing
    // file by any path that leads to it.
    tree.write("Content/Props/Crate.model", "<root/>");
    TestVehicleValidator w;
    w.addError(ValidationTitle::CheckLods, High, "Model 'Content/Props/../Props/Crate.model' is bad", "", 12,
               "");
    w.addError(ValidationTitle::CheckLods, Medium, "Model 'Content/./Props/Crate.model' is worse",
               "Model 'Content/./Props/Crate.model", 7, "");
    EXPECT_EQ(findingsOf(w.getErrors()),
              (std::vector<Finding>{{"[Err. 12] Model 'Content/Props/Crate.model' is bad",
                                     ValidationTitle::CheckLods, High, "Check LODs"}}));
}

TEST(ProcessErrorText, RewritesExistingRelativePathsToTheirResourceForm) {
    TempResourceTree tree;
    tree.write("Content/Props/Crate.model", "<root/>");
    TestVehicleValidator v;
    EXPECT_EQ(v.processErrorText("Model 'Content/Props/../Props/Crate.model' is bad"),
              "Model 'Content/Props/Crate.model' is bad");
    EXPECT_EQ(v.processErrorText("./Content/Props/Crate.model, Content/./Props/Crate.model"),
              "Content/Props/Crate.model, Content/Props/Crate.model");
    EXPECT_EQ(v.processErrorText("see \"Content//Props/Crate.model\""), "see \"Content/Props/Crate.model\"");
    // Digits, '_' and '-' belong to a path; any blank, quote or apostrophe ends one.
    tree.write("Content/Lod0_9-z/Crate09.model", "<root/>");
    EXPECT_EQ(v.processErrorText("in Content/Lod0_9-z/./Crate09.model\tand\v'Content/Lod0_9-z/../Lod0_9-z/"
                                 "Crate09.model'\rContent//Lod0_9-z/Crate09.model"),
              "in Content/Lod0_9-z/Crate09.model\tand\v'Content/Lod0_9-z/Crate09.model'\r"
              "Content/Lod0_9-z/Crate09.model");
    // A one-letter extension makes a path; a file without one is no path word.
    tree.write("Content/Props/Crate.x", "x");
    tree.write("Content/Props/README", "x");
    EXPECT_EQ(v.processErrorText("Content/./Props/Crate.x is odd"), "Content/Props/Crate.x is odd");
    EXPECT_EQ(v.processErrorText("see Content/./Props/README"), "see Content/./Props/README");
    // The letter case stays as written, so a case typo remains visible.
    EXPECT_EQ(v.processErrorText("Model 'content/props/crate.model'"), "Model 'content/props/crate.model'");
    // Missing files, absolute paths and words without an extension stay.
    EXPECT_EQ(v.processErrorText("Model 'content/props/barrel.model'"), "Model 'content/props/barrel.model'");
    const std::string absolute = "Path '" + tree.path("Content/Props/Crate.model") + "'";
    EXPECT_EQ(v.processErrorText(absolute), absolute);
    EXPECT_EQ(v.processErrorText("content/props"), "content/props");
    EXPECT_EQ(v.processErrorText(""), "");
    const std::string longWord(100000, 'a');
    EXPECT_EQ(v.processErrorText(longWord + ".b c"), longWord + ".b c");
}

TEST(ValidatorBase, TitlesClearCopyAndUtilities) {
    TempResourceTree tree;
    EXPECT_EQ(Validator::getValidationTitle(ValidationTitle::None), L"");
    EXPECT_EQ(Validator::getValidationTitle(static_cast<ValidationTitle>(21)), L"");
    EXPECT_EQ(Validator::getValidationTitle(ValidationTitle::CheckDrivenJoints), L"Check Driven Joints");
    EXPECT_EQ(Validator::getValidationTitle(ValidationTitle::CheckArmorGroup), L"Check armor group");
    EXPECT_EQ(Validator::getValidationTitle(ValidationTitle::Content), L"Content");
    EXPECT_EQ(Validator::toLower("Content/ABC.Model"), "content/abc.model");
    EXPECT_EQ(Validator::getFileSize("missing.bin"), 0u);
    tree.write("seven.bin", "1234567");
    EXPECT_EQ(Validator::getFileSize("seven.bin"), 7u);
    EXPECT_TRUE(Validator::isHavokModel("x/havok/Rock__stone.hkt.visual"));
    EXPECT_TRUE(Validator::isHavokModel("x/havok/Rock.hkt_processed"));
    EXPECT_FALSE(Validator::isHavokModel("x/Rock.model"));
    EXPECT_GE(IComponent::types().indexOf("CollisionComponent"), 0);

    DebugLog::Capture log;
    UncataloguedFindingsAllowed direct;
    TestVehicleValidator v;
    v.modelPath("content/x");
    v.addError(ValidationTitle::Common, High, "one", "one", 1, "");
    TestVehicleValidator copy(v);
    v.clear();
    EXPECT_TRUE(v.getErrors().empty());
    EXPECT_EQ(v.modelPath(), "");
    ASSERT_EQ(copy.getErrors().size(), 1u);
    EXPECT_EQ(copy.modelPath(), "content/x");
}

TEST(ValidatorBase, LoadsMaterialKindTables) {
    TempResourceTree tree;
    tree.write("system/data/material_kinds.xml", R"(<material_kinds.xml>
  <kind><id>1</id><desc>stone</desc></kind>
  <kind><id>1</id><desc>rock</desc></kind>
  <kind><id>2</id><desc>armor_front</desc><help>Tankman: never</help></kind>
  <kind><id>3</id><desc>front_armor_</desc></kind>
  <kind><id>4</id><desc>gun</desc></kind>
  <kind><id>5</id><desc>gunMantlet</desc></kind>
  <kind><id>6</id><desc>commander</desc><help>Tankman: commander</help></kind>
  <other><id>7</id><desc>ignored</desc></other>
</material_kinds.xml>)");
    TestVehicleValidator v;
    v.setup();
    EXPECT_EQ(v.kindNames().at(1), "rock");
    EXPECT_EQ(v.kindIds().at("stone"), 1u);
    EXPECT_EQ(v.kindIds().at("rock"), 1u);
    EXPECT_EQ(v.kindNames().count(7), 0u);
    EXPECT_EQ(v.armourNames(), (std::set<std::string>{"armor_front", "gun"}));
    EXPECT_EQ(v.crewNames(), (std::set<std::string>{"commander"}));

    tree.remove("system/data/material_kinds.xml");
    v.setup();
    EXPECT_TRUE(v.kindNames().empty());
}

TEST(ErrorLog, WritesOneLinePerFinding) {
    TempResourceTree tree;
    DebugLog::Capture log;
    UncataloguedFindingsAllowed direct;
    TestVehicleValidator v;
    const std::string target = tree.path("house.model");
    v.writeErrorLog(target);
    EXPECT_EQ(readDiskFile(target + ".log"), "");
    v.addError(ValidationTitle::Common, High, "bad", "", 5, "");
    v.addError(ValidationTitle::CheckLods, NoSeverity, "quiet", "", 6, "");
    v.writeErrorLog(target);
    EXPECT_EQ(readDiskFile(target + ".log"), "Common [high] [Err. 5] bad\nCheck LODs [normal] [ 6] quiet\n");

    // A shorter log replaces a longer one entirely.
    v.clear();
    v.addError(ValidationTitle::CheckLods, Medium, "short", "", 7, "");
    v.writeErrorLog(target);
    EXPECT_EQ(readDiskFile(target + ".log"), "Check LODs [medium] [Wrn. 7] short\n");

    log.clear();
    v.writeErrorLog(tree.path("no/such/folder/x"));
    ASSERT_EQ(log.lines().size(), 1u);
    EXPECT_EQ(log.lines()[0].text.rfind("Can not open file " + tree.path("no/such/folder/x") + ".log: ", 0),
              0u);

    // A log that cannot be written whole leaves the previous one: a read-only
    // log, a folder in its place, a disk that fills up.
    const std::string previous = "Check LODs [medium] [Wrn. 7] short\n";
    v.addError(ValidationTitle::CheckLods, Medium, std::string(5000, 'x'), "", 8, "");
    std::filesystem::permissions(pathFromUtf8(target + ".log"), std::filesystem::perms::owner_read);
    log.clear();
    v.writeErrorLog(target);
    EXPECT_EQ(readDiskFile(target + ".log"), previous);
    EXPECT_EQ(log.count("is read-only"), 1u);
    std::filesystem::permissions(pathFromUtf8(target + ".log"),
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    tree.makeDirectory("folder.model.log");
    log.clear();
    v.writeErrorLog(tree.path("folder.model"));
    EXPECT_EQ(log.count("is not a regular file"), 1u);
    {
        const FileSizeLimit full(1000);
        if (full.active()) {
            v.writeErrorLog(target);
        }
    }
    EXPECT_EQ(readDiskFile(target + ".log"), previous);
}

TEST(FileHelpers, ListFoldersAndReadLines) {
    TempResourceTree tree;
    tree.write("f/Rock.dds", "");
    tree.write("f/Rock.DDS", "");
    tree.write("f/sub/Deep.dds", "");
    tree.write("f/house.model", "");
    std::list<std::string> files;
    readDirectory("f", false, files, {"dds"});
    EXPECT_EQ(files, std::list<std::string>{tree.path("f/Rock.dds")});
    files.clear();
    readDirectory("f", true, files, {});
    EXPECT_EQ(files.size(), 4u);
    // Walked again in the same check, a folder purged meanwhile is walked as it is now.
    tree.write("f/sub/More.dds", "");
    DataSectionCache::instance().purge("f", true);
    files.clear();
    readDirectory("f", true, files, {"dds"});
    files.sort();
    EXPECT_EQ(files, (std::list<std::string>{tree.path("f/Rock.dds"), tree.path("f/sub/Deep.dds"),
                                             tree.path("f/sub/More.dds")}));

    DebugLog::Capture log;
    files = {"kept"};
    readDirectory("nowhere", true, files, {});
    readDirectory("nowhere", true, files, {});
    EXPECT_EQ(files, std::list<std::string>{"kept"});
    ASSERT_EQ(log.lines().size(), 2u);
    EXPECT_NE(log.lines()[1].text.find("failed to read directory 'nowhere'"), std::string::npos);

    const std::string file = tree.write("lines.txt", "a\r\n\r\nB\n\nc");
    std::list<std::string> lines;
    ASSERT_TRUE(readFileLines(file, true, &lines, false));
    EXPECT_EQ(lines, (std::list<std::string>{"a", "B", "c"}));
    ASSERT_TRUE(readFileLines(file, false, &lines, true));
    EXPECT_EQ(lines, (std::list<std::string>{"a\r", "\r", "b", "c"}));
    EXPECT_FALSE(readFileLines(tree.path("missing.txt"), true, &lines, false));
    EXPECT_FALSE(readFileLines(file, true, nullptr, false));
}

TEST(PathHelpers, SplitNormaliseAndFindFolders) {
    std::string p = "a\\b\\";
    normalizePath(p);
    EXPECT_EQ(p, "a/b");
    p = "///";
    normalizePath(p);
    EXPECT_EQ(p, "");
    p = "\\\\a\\\\b";
    normalizePath(p);
    EXPECT_EQ(p, "//a//b");
    EXPECT_EQ(getRelativePath("content/", "D:\\res\\content\\x\\y.dds"), "content/x/y.dds");
    EXPECT_EQ(getRelativePath("other/", "D:\\res\\content\\x"), "D:\\res\\content\\x");

    std::string path = "content/props/Crate";
    EXPECT_EQ(getLastNameFromPath(path), "content");
    EXPECT_EQ(path, "/props/Crate");
    EXPECT_EQ(getLastNameFromPath(path), "props");
    EXPECT_EQ(getLastNameFromPath(path), "Crate");
    EXPECT_EQ(path, "");
    std::string first, second;
    EXPECT_EQ(getFoldersFromPath("content/props/Crate/normal", first, second), "/Crate/normal");
    EXPECT_EQ(first, "content");
    EXPECT_EQ(second, "props");
    EXPECT_EQ(getLodFolder("x/normal/lod2/Rock.model"), "lod2");
    EXPECT_EQ(getLodFolder("x/normal/LOD2/Rock.model"), "");
    EXPECT_EQ(getLodFolder("x/lod1"), "lod1");
}
