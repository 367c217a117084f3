#include <gtest/gtest.h>

#include <filesystem>

#include <zlib.h>

#include "engine/asset_writers/texture_writer.h"
#include "engine/core/debug_log.h"
#include "engine/texture/texture_file.h"
#include "engine/texture/texture_loader.h"
#include "support/resource_tree.h"
#include "texture_test_support.h"

using namespace TextureTest;

namespace {

// A header read must describe exactly what a full load gives, and refuse
// whatever a full load refuses for its header or its size.
void expectHeaderAgreesWithFullLoad(const std::string& path, bool headerMayPassDamagedData) {
    SCOPED_TRACE(path);
    TextureFile::HeaderInfo header;
    std::string headerReason;
    const bool headerRead = TextureFile::readHeaderInfo(path, header, headerReason);
    std::string loadReason;
    const TextureInitialDataPtr loaded = TextureFile::loadInitialData(path, loadReason);
    if (loaded) {
        ASSERT_TRUE(headerRead) << headerReason;
        EXPECT_EQ(header.format, loaded->format());
        EXPECT_EQ(header.width, loaded->width());
        EXPECT_EQ(header.height, loaded->height());
        EXPECT_EQ(header.mipCount, loaded->mipCount());
    } else if (!headerMayPassDamagedData) {
        EXPECT_FALSE(headerRead) << "a full load fails: " << loadReason;
    }
    if (!headerRead) {
        EXPECT_FALSE(headerReason.empty());
    }
}

} // namespace

TEST(TextureHeader, HeaderReadsAgreeWithFullLoadsOnSharedFiles) {
    const std::vector<CsvRow> ddsRows = readCsv(testData("dds_truth.csv"));
    const std::vector<CsvRow> pngRows = readCsv(testData("png_truth.csv"));
    ASSERT_EQ(ddsRows.size(), 21u);
    ASSERT_EQ(pngRows.size(), 168u);
    for (const CsvRow& row : ddsRows) {
        expectHeaderAgreesWithFullLoad(testData("dds/" + row.at("file")), false);
    }
    // PNG image data is not read, so a damaged IDAT passes the header.
    for (const CsvRow& row : pngRows) {
        expectHeaderAgreesWithFullLoad(testData("pngsuite/" + row.at("file")), true);
    }
}

TEST(TextureHeader, DamagedOrOverclaimingHeadersAreRefusedWithoutReadingData) {
    TempResourceTree tree;
    DebugLog::Capture log;
    std::vector<uint8_t> dds;
    ASSERT_TRUE(AssetWriters::buildDDS(16, 16, Render::RF_BC1_UNORM, AssetWriters::makeGradientImage(16, 16),
                                       0, dds));
    std::vector<uint8_t> png;
    ASSERT_TRUE(AssetWriters::buildPNG(16, 16, AssetWriters::makeGradientImage(16, 16), 4, png));

    const auto writeVariant = [&](const std::string& name, std::vector<uint8_t> bytes) {
        return tree.writeBytes(name, std::vector<char>(bytes.begin(), bytes.end()));
    };
    std::vector<uint8_t> cut = dds;
    cut.resize(dds.size() - 1);
    std::vector<uint8_t> giant = dds;
    for (size_t offset : {12u, 16u}) { // height, width
        giant[offset] = giant[offset + 1] = 0xFF;
    }
    std::vector<uint8_t> badCrc = png;
    badCrc[20] ^= 0x01; // a byte of the IHDR height
    // The IHDR of `png` with one byte changed and its CRC brought up to date.
    const auto claim = [&](size_t offset, uint8_t value) {
        std::vector<uint8_t> bytes = png;
        bytes[offset] = value;
        const uLong crc = crc32(crc32(0L, Z_NULL, 0), bytes.data() + 12, 17);
        for (size_t i = 0; i < 4; ++i) {
            bytes[29 + i] = uint8_t(crc >> (24 - 8 * i));
        }
        return bytes;
    };
    const std::vector<uint8_t> wideClaim = claim(17, 0x01); // 65552 pixels wide: beyond the decoder's limit
    const std::vector<uint8_t> tallClaim = claim(22, 0x10); // 4112 rows from a few hundred bytes
    std::vector<uint8_t> shortPng(png.begin(), png.begin() + 20);

    for (const auto& [name, bytes] :
         std::vector<std::pair<std::string, std::vector<uint8_t>>>{{"empty.dds", {}},
                                                                   {"cut.dds", cut},
                                                                   {"giant.dds", giant},
                                                                   {"crc.png", badCrc},
                                                                   {"wide.png", wideClaim},
                                                                   {"tall.png", tallClaim},
                                                                   {"short.png", shortPng},
                                                                   {"empty.png", {}}}) {
        SCOPED_TRACE(name);
        TextureFile::HeaderInfo header;
        std::string reason;
        EXPECT_FALSE(TextureFile::readHeaderInfo(writeVariant(name, bytes), header, reason));
        EXPECT_FALSE(reason.empty());
        TextureLoader loader;
        TextureLoader::InputOptions options;
        options.headerOnly = true;
        EXPECT_FALSE(loader.loadTextureFromFile(name, options, "test", false));
    }

    // A valid header followed by far more data than it needs: only the header is read.
    const std::string padded = writeVariant("padded.dds", dds);
    std::filesystem::resize_file(padded, 64u << 20);
    TextureLoader loader;
    TextureLoader::InputOptions options;
    options.headerOnly = true;
    options.generateMips = false;
    ASSERT_TRUE(loader.loadTextureFromFile("padded.dds", options, "test", false)) << loader.lastError();
    const TextureLoader::Output output = loader.takeOutput();
    EXPECT_EQ(output.width, 16u);
    EXPECT_EQ(output.mipCount, 5u);
    EXPECT_EQ(output.format, Render::RF_BC1_UNORM);
    EXPECT_FALSE(output.texture);

    // With mip generation on, the count is what a full load would complete.
    std::vector<uint8_t> oneLevel;
    ASSERT_TRUE(AssetWriters::buildDDS(16, 16, Render::RF_BC1_UNORM, AssetWriters::makeGradientImage(16, 16),
                                       1, oneLevel));
    writeVariant("one.dds", oneLevel);
    options.generateMips = true;
    ASSERT_TRUE(loader.loadTextureFromFile("one.dds", options, "test", false));
    EXPECT_EQ(loader.takeOutput().mipCount, 5u);
    options.generateMips = false;
    ASSERT_TRUE(loader.loadTextureFromFile("one.dds", options, "test", false));
    EXPECT_EQ(loader.takeOutput().mipCount, 1u);
}
