#include <gtest/gtest.h>

#include "engine/core/debug_log.h"
#include "engine/image/image.h"
#include "engine/texture/png_reader.h"
#include "engine/texture/texture_loader.h"
#include "engine/texture/tga_reader.h"
#include "support/resource_tree.h"
#include "texture_test_support.h"

using namespace TextureTest;

namespace {

Image::ImagePtr loadSuiteImage(const std::string& name) {
    Image::ImagePtr image = Image::createImage();
    EXPECT_TRUE(Image::loadImage(image, testData("pngsuite/" + name))) << name;
    return image;
}

std::vector<uint8_t> pixelsOf(const std::string& name) {
    return loadSuiteImage(name)->pixels().pixels;
}

uint32_t crc32(const uint8_t* data, size_t size) {
    uint32_t crc = 0xFFFFFFFF;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) {
            crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1)));
        }
    }
    return ~crc;
}

void putU32BigEndian(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + size_t(i)] = uint8_t(value >> (24 - 8 * i));
    }
}

} // namespace

TEST(TexturePng, SuiteDecodesOrIsRejectedAsItsTruthSays) {
    const std::vector<CsvRow> rows = readCsv(testData("png_truth.csv"));
    ASSERT_EQ(rows.size(), 168u);
    size_t decoded = 0, rejected = 0;
    for (const CsvRow& row : rows) {
        SCOPED_TRACE(row.at("file"));
        const std::vector<uint8_t> bytes = readBytes(testData("pngsuite/" + row.at("file")));
        RgbaImage image;
        uint32_t channels = 0;
        PngReader::Header header;
        std::string reason;
        const bool ok = PngReader::decode(bytes.data(), bytes.size(), image, channels, header, reason);
        if (row.at("file")[0] == 'x') {
            EXPECT_FALSE(ok);
            EXPECT_FALSE(reason.empty());
            EXPECT_TRUE(image.empty());
            ++rejected;
            continue;
        }
        ASSERT_TRUE(ok) << reason;
        EXPECT_EQ(image.width, std::stoul(row.at("width")));
        EXPECT_EQ(image.height, std::stoul(row.at("height")));
        EXPECT_EQ(header.bitDepth, std::stoi(row.at("bit_depth")));
        EXPECT_EQ(header.colorType, std::stoi(row.at("color_type")));
        EXPECT_EQ(header.interlaced, row.at("interlace") == "1");
        EXPECT_TRUE(image.isConsistent());
        ++decoded;
    }
    EXPECT_EQ(decoded, 161u);
    EXPECT_EQ(rejected, 7u);
}

TEST(TexturePng, ImageInterfaceReportsChannelsAndWalksEveryPixel) {
    TestDataRoot dataRoot;
    struct Expectation {
        const char* file;
        uint32_t channels;
    };
    const Expectation expectations[] = {
        {"basn0g08.png", Image::CHANNEL_RED},
        {"basn4a08.png", Image::CHANNEL_RED | Image::CHANNEL_ALPHA},
        {"basn2c08.png", Image::CHANNEL_RED | Image::CHANNEL_GREEN | Image::CHANNEL_BLUE},
        {"basn3p08.png", Image::CHANNEL_RED | Image::CHANNEL_GREEN | Image::CHANNEL_BLUE},
        {"tbbn3p08.png", Channels::Rgba},
        {"basn6a16.png", Channels::Rgba},
    };
    for (const Expectation& e : expectations) {
        SCOPED_TRACE(e.file);
        const Image::ImagePtr image = loadSuiteImage(e.file);
        const Image::ImageInfo info = Image::getImageInfo(image);
        EXPECT_EQ(info.channels, e.channels);
        EXPECT_EQ(Image::hasChannels(info, Image::CHANNEL_GREEN), (e.channels & Image::CHANNEL_GREEN) != 0);
        size_t visited = 1;
        while (image->goToNextPixel()) {
            ++visited;
        }
        EXPECT_EQ(visited, size_t(info.width) * info.height);
        EXPECT_FALSE(image->goToNextPixel());
        EXPECT_EQ(image->cursorX(), info.width - 1);
        EXPECT_EQ(image->cursorY(), info.height - 1);
    }

    // Grey repeats into green and blue; a pixel's red of a grey ramp starts at 0.
    const Image::ImagePtr grey = loadSuiteImage("basn0g08.png");
    EXPECT_EQ(grey->getRed(), grey->getGreen());
    EXPECT_EQ(grey->getRed(), grey->getBlue());
    EXPECT_EQ(grey->getAlpha(), 255.f);

    // Interlacing, bit depth and palette storage do not change the pixels.
    EXPECT_EQ(pixelsOf("basi2c08.png"), pixelsOf("basn2c08.png"));
    EXPECT_EQ(pixelsOf("basi0g16.png"), pixelsOf("basn0g16.png"));
    EXPECT_EQ(pixelsOf("basi3p02.png"), pixelsOf("basn3p02.png"));
    EXPECT_EQ(pixelsOf("basn3p04.png"), pixelsOf("basi3p04.png"));

    // A failed load leaves an empty image, says why and logs one line naming the file.
    DebugLog::Capture log;
    const Image::ImagePtr broken = Image::createImage();
    EXPECT_FALSE(Image::loadImage(broken, testData("pngsuite/xhdn0g08.png")));
    EXPECT_FALSE(broken->lastError().empty());
    EXPECT_EQ(Image::getImageInfo(broken).width, 0u);
    EXPECT_FALSE(Image::hasChannels(Image::getImageInfo(broken), Image::CHANNEL_RED));
    EXPECT_EQ(broken->getRed(), 0.f);
    EXPECT_EQ(log.count("xhdn0g08.png"), 1u);
}

TEST(TexturePng, LoaderGivesOneRgbaLevelAndRefusesDamagedFiles) {
    TempResourceTree tree;
    const std::vector<uint8_t> good = readBytes(testData("pngsuite/basn6a08.png"));
    tree.writeBytes("maps/house_AM.png", std::vector<char>(good.begin(), good.end()));
    TextureLoader loader;
    ASSERT_TRUE(loader.loadTextureFromFile("maps/house_AM.png", {false}, "texture/test", true));
    const TextureLoader::Output output = loader.takeOutput();
    EXPECT_EQ(output.format, Render::RF_R8G8B8A8_UNORM);
    EXPECT_EQ(output.width, 32u);
    EXPECT_EQ(output.height, 32u);
    EXPECT_EQ(output.mipCount, 1u);
    EXPECT_EQ(loader.takeOutput().width, 0u);

    // Cut anywhere, the file fails with libpng's reason and nothing leaks out.
    for (size_t length = 0; length < good.size(); length += 7) {
        RgbaImage image;
        uint32_t channels = 0;
        PngReader::Header header;
        std::string reason;
        EXPECT_FALSE(PngReader::decode(good.data(), length, image, channels, header, reason)) << length;
        EXPECT_FALSE(reason.empty());
    }

    // A header claiming 30000x30000 with a valid checksum but a tiny body.
    std::vector<uint8_t> forged = good;
    putU32BigEndian(forged, 16, 30000);
    putU32BigEndian(forged, 20, 30000);
    putU32BigEndian(forged, 29, crc32(forged.data() + 12, 17));
    RgbaImage image;
    uint32_t channels = 0;
    PngReader::Header header;
    std::string reason;
    EXPECT_FALSE(PngReader::decode(forged.data(), forged.size(), image, channels, header, reason));
    EXPECT_NE(reason.find("cannot fit"), std::string::npos) << reason;

    // 1-bit rows compress to next to nothing: a file of the size its rows
    // justify may still claim more pixels than any texture decodes to.
    std::vector<uint8_t> wide(forged.begin(), forged.begin() + 33);
    putU32BigEndian(wide, 16, 8200);
    putU32BigEndian(wide, 20, 8200);
    wide[24] = 1; // bit depth
    wide[25] = 0; // grey
    putU32BigEndian(wide, 29, crc32(wide.data() + 12, 17));
    const std::vector<uint8_t> idat = {0, 0x80, 0, 0, 'I', 'D', 'A', 'T'};
    wide.insert(wide.end(), idat.begin(), idat.end());
    const std::vector<uint8_t> body(0x800000 + 4, 0); // the data and its checksum
    wide.insert(wide.end(), body.begin(), body.end());
    EXPECT_FALSE(PngReader::decode(wide.data(), wide.size(), image, channels, header, reason));
    EXPECT_NE(reason.find("8200x8200 image has more than the 67108864 pixels a texture may decode to"),
              std::string::npos)
        << reason;
}

TEST(TextureTga, RawAndRunLengthImagesDecode) {
    // 2x2, 24-bit, bottom-up: bottom row blue, green; top row red, white.
    std::vector<uint8_t> raw = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0, 2, 0, 24, 0};
    const uint8_t body[] = {255, 0, 0, 0, 255, 0, 0, 0, 255, 255, 255, 255};
    raw.insert(raw.end(), body, body + sizeof body);
    RgbaImage image;
    uint32_t channels = 0;
    std::string reason;
    ASSERT_TRUE(TgaReader::decode(raw.data(), raw.size(), image, channels, reason)) << reason;
    EXPECT_EQ(channels, Channels::Rgb);
    const std::vector<uint8_t> expected = {255, 0, 0,   255, 255, 255, 255, 255, //
                                           0,   0, 255, 255, 0,   255, 0,   255};
    EXPECT_EQ(image.pixels, expected);
    EXPECT_FALSE(TgaReader::decode(raw.data(), raw.size() - 1, image, channels, reason));

    // 3x1, 32-bit with 8 alpha bits, top-down, one run of three.
    const std::vector<uint8_t> rle = {0, 0, 10, 0, 0,  0,    0,    0,  0,  0,  0, 0,
                                      3, 0, 1,  0, 32, 0x28, 0x82, 10, 20, 30, 40};
    ASSERT_TRUE(TgaReader::decode(rle.data(), rle.size(), image, channels, reason)) << reason;
    EXPECT_EQ(channels, Channels::Rgba);
    EXPECT_EQ(image.pixels, std::vector<uint8_t>({30, 20, 10, 40, 30, 20, 10, 40, 30, 20, 10, 40}));
    // A run longer than the image, and a 60000x60000 claim over a few bytes.
    std::vector<uint8_t> overlong = rle;
    overlong[18] = 0x85;
    EXPECT_FALSE(TgaReader::decode(overlong.data(), overlong.size(), image, channels, reason));
    std::vector<uint8_t> huge = rle;
    huge[12] = huge[14] = 0x60;
    huge[13] = huge[15] = 0xEA;
    EXPECT_FALSE(TgaReader::decode(huge.data(), huge.size(), image, channels, reason));
    EXPECT_NE(reason.find("truncated"), std::string::npos) << reason;
}
