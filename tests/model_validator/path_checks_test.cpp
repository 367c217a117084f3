#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "engine/core/debug_log.h"
#include "engine/settings/options.h"
#include "model_validator/path_helpers.h"
#include "support/findings.h"
#include "support/resource_tree.h"
#include "support/test_validator.h"

using KX::ModelValidator;
using namespace KX::ValidatorHelper;

namespace {

using Messages = std::vector<std::string>;

// The model and texture checks run the path checks on every model file and its
// visual path; a model file that names `visual` brings a visual path in.
struct PathChecksTest : ::testing::Test {
    TempResourceTree tree;
    DebugLog::Capture log;
    ModelValidator v;

    Messages pathFindings(const std::string& modelPath) {
        return messagesOf(withCodes(v.check(modelPath), {6, 124, 130, 131}));
    }

    Messages pathFindingsForVisual(const std::string& visual) {
        const std::string model = "content/models/box/normal/lod0/box.model";
        tree.write(model, "<root><nodelessVisual>" + visual + "</nodelessVisual></root>");
        return pathFindings(model);
    }
};

} // namespace

TEST_F(PathChecksTest, ReportsLeadingDigitsAndCountsEveryBlank) {
    EXPECT_EQ(pathFindings("content/props/crate/normal/lod0/1crate.model"),
              Messages{"[Wrn. 6] First character of filename '1crate.model' for path "
                       "'content/props/crate/normal/lod0/1crate.model' is digit"});
    const auto& errors = v.getErrors();
    const auto digit = withCodes(errors, {6});
    ASSERT_EQ(digit.size(), 1u);
    EXPECT_EQ(digit[0].title, ValidationTitle::CheckOther);
    EXPECT_EQ(digit[0].category, "Check other");

    // Every digit counts, the first and the last included.
    for (const std::string name : {"0crate.model", "9crate.model"}) {
        const std::string path = "content/props/crate/normal/lod0/" + name;
        EXPECT_EQ(findingsOf(withCodes(v.check(path), {6})),
                  (std::vector<Finding>{
                      {"[Wrn. 6] First character of filename '" + name + "' for path '" + path + "' is digit",
                       ValidationTitle::CheckOther, ValidationErrorSeverity::Medium, "Check other"}}));
    }
    EXPECT_TRUE(pathFindings("content/props/crate/normal/lod0/acrate.model").empty());
    EXPECT_TRUE(pathFindings("content/props/crate/normal/lod0/crate1.model").empty());
    EXPECT_TRUE(pathFindings("content/props/crate/normal/lod0/").empty());

    // Runs of blanks count blank by blank; tabs are not blanks.
    const auto blanks = withCodes(v.check("content/old props/big  crate/normal/lod0/crate.model"), {124});
    ASSERT_EQ(blanks.size(), 1u);
    EXPECT_EQ(
        blanks[0].message,
        "[Wrn. 124] Path 'content/old props/big  crate/normal/lod0/crate.model' has contain '3' spaces.");
    EXPECT_EQ(blanks[0].category, "Check texture properties");
    EXPECT_TRUE(pathFindings("content/old\tprops/crate/normal/lod0/crate.model").empty());
}

TEST_F(PathChecksTest, ReportsOnlyTheFirstForeignSymbol) {
    EXPECT_EQ(pathFindings("content\\props\\crate.model"),
              Messages{"[Err. 131] Path 'content\\props\\crate.model' contains '\\'"});
    EXPECT_EQ(pathFindings("content/caf\xC3\xA9\\crate.model"),
              Messages{"[Err. 130] Path 'content/caf\xC3\xA9\\crate.model' contains non-latin letters"});
    EXPECT_EQ(pathFindings("content\\caf\xC3\xA9.model"),
              Messages{"[Err. 131] Path 'content\\caf\xC3\xA9.model' contains '\\'"});
    // A byte above ASCII counts wherever it stands: first, last of 24, or past the last eight.
    for (const std::string path :
         {"\xE9/content/props/crate.model", "content/props/crate.mod\xE9", "content/props/crate.mode\xE9"}) {
        EXPECT_EQ(pathFindings(path), Messages{"[Err. 130] Path '" + path + "' contains non-latin letters"})
            << path;
    }
}

TEST_F(PathChecksTest, ComparesTheWrittenCaseWithTheDiskPreferringTheCurrentRealm) {
    tree.write("content/Props/Crate.visual", "<root/>");
    EXPECT_TRUE(pathFindingsForVisual("content/Props/Crate").empty());
    // A file that does not exist is compared with where it would be.
    EXPECT_TRUE(pathFindingsForVisual("content/props/missing").empty());

    const bool caseSensitive = diskIsCaseSensitive(tree.root());
    const Messages typo{
        "[Err. 131] File on disk '" + tree.root() +
        "/content/Props/Crate.visual' doesn't match the case of path 'content/props/crate.visual'"};
    if (caseSensitive) {
        EXPECT_EQ(pathFindingsForVisual("content/props/crate"), typo);
    }

    // The current realm's copy is what the path means, so its realm code is
    // not a mismatch.
    tree.write("content/Props/Crate.EU.visual", "<root/>");
    Options::setOptionString("realm/currentRealm", "EU");
    EXPECT_TRUE(pathFindingsForVisual("content/Props/Crate").empty());
    if (caseSensitive) {
        // Messages name an existing file by the resource path it resolves to.
        EXPECT_EQ(pathFindingsForVisual("content/props/crate"),
                  Messages{"[Err. 131] File on disk '" + tree.root() +
                           "/content/Props/Crate.visual' doesn't match the case of path "
                           "'content/Props/Crate.EU.visual'"});
    }

    // Renamed between two checks: the next check compares with the new spelling.
    Options::setOptionString("realm/currentRealm", "");
    if (caseSensitive) {
        EXPECT_EQ(pathFindingsForVisual("content/props/crate"), typo);
        std::filesystem::rename(tree.path("content/Props"), tree.path("content/props"));
        std::filesystem::rename(tree.path("content/props/Crate.visual"),
                                tree.path("content/props/crate.visual"));
        EXPECT_TRUE(pathFindingsForVisual("content/props/crate").empty());
    }
}

TEST(RealmFileNames, AnswerAsTheWholePathPatternWould) {
    // The names are told apart by scanning; the pattern they were first told
    // apart with stays the reference.
    std::string alternatives;
    for (const std::string& code : KX::PathHelpers::realmCodes()) {
        alternatives += (alternatives.empty() ? "" : "|") + code;
    }
    const std::regex pattern("^.*\\.(" + alternatives + ")\\.\\w+");
    const std::vector<std::string> paths = {"crate.EU.dds",
                                            "/root/content/Crate.SEA.visual",
                                            "x.NA.a_1",
                                            ".NA.x",
                                            "crate.EU.",
                                            "crate.EU",
                                            "crate.eu.dds",
                                            "crate.XEU.dds",
                                            "crateEU.dds",
                                            "crate.EU.dd-s",
                                            "crate.EU.d.s",
                                            "crate.EU.tga.bak",
                                            "a.EU.b.EU.c",
                                            "line\nbreak.EU.dds",
                                            "crate.EU.d\ns",
                                            "cr\rate.CN.x",
                                            "crate.MENA.dds",
                                            "crate.XMENA.dds",
                                            "crate.MENAX.dds",
                                            ".ASIA.dds",
                                            "ASIA.dds",
                                            "a.b.ASIA.c",
                                            "crate.MEN.dds",
                                            "crate.EU.d\xc3\xa9",
                                            "",
                                            ".",
                                            "EU.dds",
                                            "a/.KR.b",
                                            "a.KR/.b",
                                            "crate.EU.d0",
                                            "crate.EU.d9",
                                            "crate.EU.d:s",
                                            "crate.EU.d/s",
                                            "crate.EU.z",
                                            "crate.EU.Z_a",
                                            "crate.EU.d@",
                                            "crate.EU.d[",
                                            "crate.EU.d`",
                                            "crate.EU.d{",
                                            "\ncrate.EU.dds",
                                            "\rcrate.EU.dds",
                                            "crate\n.EU.dds"};
    for (const std::string& path : paths) {
        EXPECT_EQ(KX::PathHelpers::isRealmFileName(path), std::regex_match(path, pattern)) << path;
    }
}
