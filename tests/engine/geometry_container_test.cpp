#include <gtest/gtest.h>

#include <tuple>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/core/debug_log.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitives_format.h"
#include "engine/geometry/vertices.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "support/resource_tree.h"

namespace {

std::vector<char> bytesOf(const std::string& s) {
    return {s.begin(), s.end()};
}

std::vector<char> twoBlockFile() {
    std::vector<char> out;
    EXPECT_TRUE(AssetWriters::PrimitivesWriter()
                    .rawBlock("alpha", bytesOf("first block"))
                    .rawBlock("beta", bytesOf("second"))
                    .encode(out));
    return out;
}

// Offset of the table entry of block `i` (name, then offset and size).
size_t entry(size_t i) {
    return PrimitivesFormat::kContainerHeaderSize + i * PrimitivesFormat::kBlockEntrySize;
}

void patch64(std::vector<char>& bytes, size_t at, uint64_t value) {
    for (int k = 0; k < 8; ++k) {
        bytes[at + static_cast<size_t>(k)] = static_cast<char>((value >> (8 * k)) & 0xFF);
    }
}

} // namespace

TEST(GeometryContainer, BlocksOpenAsChildSectionsWithTheirBytes) {
    TempResourceTree tree;
    tree.writeBytes("content/a/box.primitives", twoBlockFile());
    DataSectionPtr root = FS::Utils::openSection("content/a/box.primitives");
    ASSERT_TRUE(root);
    ASSERT_EQ(root->countChildren(), 2);
    EXPECT_EQ(root->openChild(0)->sectionName(), "alpha");
    EXPECT_EQ(root->openSection("alpha")->asBinary()->view(), "first block");
    EXPECT_EQ(root->openSection("beta")->asBinary()->view(), "second");
    EXPECT_EQ(root->openSection("beta")->parentSection().get(), root.get());
    EXPECT_FALSE(root->openSection("gamma"));

    std::string file, block;
    ASSERT_TRUE(PrimitivesFormat::splitBlockPath("content/a/box.primitives/alpha", file, block));
    EXPECT_EQ(file, "content/a/box.primitives");
    EXPECT_EQ(block, "alpha");
    EXPECT_FALSE(PrimitivesFormat::splitBlockPath("content/a/box.primitives", file, block));
    EXPECT_FALSE(PrimitivesFormat::splitBlockPath("content/a/box.visual/alpha", file, block));
    // Any letter case; a dot next to the extension's; the first extension
    // followed by a valid block name wins.
    for (const auto& [path, wantFile, wantBlock] :
         std::vector<std::tuple<std::string, std::string, std::string>>{
             {"content/A/Box.PRIMITIVES/alpha", "content/A/Box.PRIMITIVES", "alpha"},
             {"x..primitives/beta", "x..primitives", "beta"},
             {"v.primitives/sub.Primitives/gamma", "v.primitives/sub.Primitives", "gamma"},
             {".primitives/a", ".primitives", "a"}}) {
        ASSERT_TRUE(PrimitivesFormat::splitBlockPath(path, file, block)) << path;
        EXPECT_EQ(file, wantFile);
        EXPECT_EQ(block, wantBlock);
    }
    EXPECT_FALSE(PrimitivesFormat::splitBlockPath("box.primitive/alpha", file, block));

    std::vector<char> out;
    std::string error;
    EXPECT_FALSE(AssetWriters::PrimitivesWriter().rawBlock("a", {}).rawBlock("a", {}).encode(out, &error));
    EXPECT_NE(error.find("duplicate"), std::string::npos);
    EXPECT_FALSE(AssetWriters::PrimitivesWriter().rawBlock("a/b", {}).encode(out, &error));
}

TEST(GeometryContainer, DamagedFilesFailWithOneLineNamingTheFile) {
    const std::vector<char> good = twoBlockFile();
    struct Case {
        const char* name;
        std::vector<char> bytes;
        const char* reason;
    };
    std::vector<Case> cases;
    cases.push_back({"truncated_header", std::vector<char>(good.begin(), good.begin() + 10), "truncated"});
    cases.push_back({"truncated_table", std::vector<char>(good.begin(), good.begin() + 40), "past the end"});
    std::vector<char> pastEnd = good;
    patch64(pastEnd, entry(1) + PrimitivesFormat::kBlockNameSize + 8, 1000);
    cases.push_back({"size_past_end", pastEnd, "outside the file"});
    std::vector<char> overlap = good;
    patch64(overlap, entry(1) + PrimitivesFormat::kBlockNameSize, entry(2) + 4);
    cases.push_back({"overlap", overlap, "overlap"});
    std::vector<char> duplicate = good;
    duplicate[entry(1)] = 'a';
    duplicate[entry(1) + 1] = 'l';
    duplicate[entry(1) + 2] = 'p';
    duplicate[entry(1) + 3] = 'h';
    duplicate[entry(1) + 4] = 'a';
    cases.push_back({"duplicate", duplicate, "duplicate"});
    std::vector<char> version = good;
    version[4] = 9;
    cases.push_back({"version", version, "version"});
    std::vector<char> hugeCount = good;
    hugeCount[8] = hugeCount[9] = hugeCount[10] = static_cast<char>(0xFF);
    cases.push_back({"huge_count", hugeCount, "limit"});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempResourceTree tree;
        const std::string path = std::string("content/") + c.name + ".primitives";
        tree.writeBytes(path, c.bytes);
        DebugLog::Capture capture;
        EXPECT_FALSE(VerticesManager::instance().get(path + "/alpha"));
        ASSERT_EQ(capture.lines().size(), 1u);
        EXPECT_EQ(capture.count(std::string(c.name) + ".primitives"), 1u);
        EXPECT_EQ(capture.count(c.reason), 1u) << capture.lines()[0].text;
    }
}
