#include <gtest/gtest.h>

#include <sstream>

#include "cli.h"
#include "support/resource_tree.h"

namespace {

struct CliRun {
    int status;
    std::string out;
    std::string err;
};

CliRun runCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    int status = KX::Cli::run(args, out, err);
    return {status, out.str(), err.str()};
}

} // namespace

TEST(Cli, ExitStatusesForUsageAndMissingInput) {
    TempResourceTree tree;
    tree.write("content/x/crate.model", "<root/>");
    EXPECT_EQ(runCli({}).status, 2);
    EXPECT_EQ(runCli({"--format", "xml", "a.model"}).status, 2);
    EXPECT_EQ(runCli({"--bogus", "a.model"}).status, 2);
    EXPECT_EQ(runCli({"--res"}).status, 2);
    EXPECT_EQ(runCli({"--help"}).status, 0);

    CliRun missingRoot = runCli({"--res", tree.path("nowhere"), "content/x/crate.model"});
    EXPECT_EQ(missingRoot.status, 3);
    EXPECT_NE(missingRoot.err.find("nowhere"), std::string::npos);

    CliRun missingModel = runCli({"--res", tree.root(), "content/x/none.model", "content/x/crate.model"});
    EXPECT_EQ(missingModel.status, 3);
    EXPECT_NE(missingModel.err.find("'content/x/none.model' does not exist"), std::string::npos);
    EXPECT_NE(missingModel.out.find("== content/x/crate.model"), std::string::npos);
}

TEST(Cli, PrintsFindingsAsTextAndJson) {
    TempResourceTree tree;
    tree.write("content/x/crate.model", "<root/>");
    CliRun text = runCli({"--res", tree.root(), "content/x/crate.model"});
    EXPECT_EQ(text.status, 1);
    EXPECT_NE(text.out.find("== content/x/crate.model ("), std::string::npos);
    EXPECT_NE(text.out.find("\nCommon\t[Err. 100] Model 'content/x/crate.model' has invalid path\n"),
              std::string::npos);

    CliRun json = runCli({"--res", tree.root(), "--format", "json", "content/x/crate.model"});
    EXPECT_EQ(json.status, 1);
    EXPECT_NE(
        json.out.find("{\"model\": \"content/x/crate.model\", \"code\": 100, \"severity\": \"high\", "
                      "\"title\": \"Common\", \"category\": \"Common\", \"message\": \"[Err. 100] Model "
                      "'content/x/crate.model' has invalid path\"}"),
        std::string::npos);
    EXPECT_EQ(json.out.front(), '[');
}

TEST(Cli, FindingCatalogueIsTheDocumentedOne) {
    CliRun run = runCli({"findings"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, readDiskFile(KX_SOURCE_DIR "/docs/findings.md"))
        << "docs/findings.md is out of date: regenerate it with `model-validator findings > "
           "docs/findings.md`";
    EXPECT_NE(run.out.find("| 100 | InvalidModelPath | Common | high | `ModelValidator::check` | Model '%s' "
                           "has invalid path |"),
              std::string::npos);
}
