#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>

#include "engine/asset_writers/texture_writer.h"
#include "engine/core/debug_log.h"
#include "engine/image/image.h"
#include "engine/texture/dds_reader.h"
#include "engine/texture/pixel_codec.h"
#include "engine/texture/texture_loader.h"
#include "support/resource_tree.h"
#include "texture_test_support.h"

using namespace TextureTest;

namespace {

// What the truth table's format columns mean in our enumeration.
std::string expectedFormatName(const CsvRow& row) {
    if (!row.at("dxgi_format_name").empty()) {
        return row.at("dxgi_format_name");
    }
    static const std::map<std::string, std::string> kFourCC = {
        {"DXT1", "BC1_UNORM"}, {"DXT3", "BC2_UNORM"}, {"DXT5", "BC3_UNORM"}, {"ATI1", "BC4_UNORM"}};
    if (!row.at("fourcc").empty()) {
        return kFourCC.at(row.at("fourcc"));
    }
    if (row.at("format") == "uncompressed LUMINANCE 8bpp") {
        return "L8_UNORM";
    }
    return row.at("r_mask") == "0x00FF0000" ? "B8G8R8A8_UNORM" : "R8G8B8A8_UNORM";
}

void putU32(std::vector<uint8_t>& bytes, size_t offset, uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[offset + size_t(i)] = uint8_t(value >> (8 * i));
    }
}

std::vector<uint8_t> validBc1(uint32_t width, uint32_t height, uint32_t mips) {
    std::vector<uint8_t> bytes;
    EXPECT_TRUE(AssetWriters::buildDDS(width, height, Render::RF_BC1_UNORM,
                                       AssetWriters::makeGradientImage(width, height), mips, bytes));
    return bytes;
}

} // namespace

TEST(TextureDds, SharedFilesMatchTheirTruth) {
    TestDataRoot dataRoot;
    const std::vector<CsvRow> rows = readCsv(testData("dds_truth.csv"));
    ASSERT_EQ(rows.size(), 21u);
    TextureLoader::InputOptions stored;
    stored.generateMips = false;
    for (const CsvRow& row : rows) {
        SCOPED_TRACE(row.at("file"));
        const std::string path = testData("dds/" + row.at("file"));
        const std::vector<uint8_t> bytes = readBytes(path);
        const DdsReader::Info info = DdsReader::parse(bytes.data(), bytes.size());
        TextureLoader loader;
        DebugLog::Capture log;
        const bool loaded = loader.loadTextureFromFile(path, stored, "texture/test", true);
        const TextureLoader::Output output = loader.takeOutput();
        const std::string& category = row.at("category");
        if (category == "broken") {
            EXPECT_FALSE(info.success);
            EXPECT_FALSE(info.reason.empty());
            EXPECT_FALSE(loaded);
            EXPECT_EQ(loader.lastError(), info.reason);
            EXPECT_EQ(log.count(row.at("file")), 1u);
            EXPECT_EQ(output.width, 0u);
            continue;
        }
        if (category == "edge-case" && !loaded) {
            EXPECT_FALSE(loader.lastError().empty());
            continue;
        }
        ASSERT_TRUE(loaded) << loader.lastError();
        EXPECT_EQ(log.lines().size(), 0u);
        EXPECT_EQ(output.width, std::stoul(row.at("width")));
        EXPECT_EQ(output.height, std::stoul(row.at("height")));
        EXPECT_EQ(output.mipCount, std::stoul(row.at("mip_levels_effective")));
        EXPECT_EQ(Render::getResourceFormatName(output.format), expectedFormatName(row));
        EXPECT_EQ(info.dataBytesRequired, std::stoull(row.at("data_bytes_expected")));
        EXPECT_EQ(info.cubemap, row.at("is_cubemap") == "1");
        EXPECT_EQ(info.volume, row.at("is_volume") == "1");
        const TextureInitialDataPtr data = TextureLoader::loadTextureDataFromFile(path);
        ASSERT_TRUE(data);
        EXPECT_EQ(data->mipCount(), output.mipCount);
    }
}

TEST(TextureDds, DecodedTopLevelMatchesReferenceDecode) {
    TestDataRoot dataRoot;
    size_t compared = 0;
    for (const CsvRow& row : readCsv(testData("dds_truth.csv"))) {
        const std::string format = expectedFormatName(row);
        const bool decodable = format == "BC1_UNORM" || format == "BC2_UNORM" || format == "BC3_UNORM" ||
                               format == "R8G8B8A8_UNORM" || format == "B8G8R8A8_UNORM" ||
                               format == "L8_UNORM";
        if (row.at("png_twin").empty() || !decodable) {
            continue;
        }
        SCOPED_TRACE(row.at("file"));
        Image::ImagePtr dds = Image::createImage();
        Image::ImagePtr twin = Image::createImage();
        ASSERT_TRUE(Image::loadImage(dds, testData("dds/" + row.at("file"))));
        ASSERT_TRUE(Image::loadImage(twin, testData("dds/" + row.at("png_twin"))));
        const Image::ImageInfo info = Image::getImageInfo(dds);
        ASSERT_EQ(info.width, Image::getImageInfo(twin).width);
        ASSERT_EQ(info.height, Image::getImageInfo(twin).height);
        int worst = 0;
        do {
            const float ours[] = {dds->getRed(), dds->getGreen(), dds->getBlue(), dds->getAlpha()};
            const float theirs[] = {twin->getRed(), twin->getGreen(), twin->getBlue(), twin->getAlpha()};
            for (int c = 0; c < 4; ++c) {
                worst = std::max(worst, int(std::abs(ours[c] - theirs[c])));
            }
            twin->goToNextPixel();
        } while (dds->goToNextPixel());
        // Block decoders may round interpolated colours one step apart.
        EXPECT_LE(worst, 2);
        ++compared;
    }
    EXPECT_EQ(compared, 6u);
}

TEST(TextureDds, ReadbackGivesStoredBlockRows) {
    TestDataRoot dataRoot;
    const std::string path = testData("dds/kueken7_rgba_dxt1_unorm.dds");
    TextureLoader loader;
    ASSERT_TRUE(loader.loadTextureFromFile(path, {false}, "texture/test", false));
    TextureLoader::Output output = loader.takeOutput();
    ASSERT_TRUE(output.texture);
    const uint32_t top = output.texture->getSubResource(0, 0);
    ASSERT_TRUE(output.texture->slowImmediateReadback(top));
    const Render::ReadbackBufferLayout layout = output.texture->getReadbackBufferLayout();
    EXPECT_EQ(layout.rowPitch, 64u * 8u);
    EXPECT_EQ(layout.rowCount, 64u);
    EXPECT_EQ(layout.bytes, 32768u);
    const std::vector<uint8_t> file = readBytes(path);
    const std::vector<uint8_t>& buffer = output.texture->getReadbackBuffer();
    ASSERT_EQ(buffer.size(), 32768u);
    EXPECT_EQ(0, std::memcmp(buffer.data(), file.data() + 128, buffer.size()));

    ASSERT_TRUE(output.texture->slowImmediateReadback(output.texture->getSubResource(8, 0)));
    EXPECT_EQ(output.texture->getReadbackBufferLayout().rowCount, 1u);
    EXPECT_EQ(output.texture->getReadbackBuffer().size(), 8u);
    EXPECT_EQ(output.texture->getSubResource(9, 0), Render::Texture::kInvalidSubResource);
    EXPECT_EQ(output.texture->getSubResource(0, 1), Render::Texture::kInvalidSubResource);
    EXPECT_FALSE(output.texture->slowImmediateReadback(Render::Texture::kInvalidSubResource));
    EXPECT_TRUE(output.texture->getReadbackBuffer().empty());
}

TEST(TextureDds, DamagedHeadersAreRefusedWithAReason) {
    const std::vector<uint8_t> good = validBc1(16, 16, 0);
    ASSERT_TRUE(DdsReader::parse(good.data(), good.size()).success);

    struct Case {
        const char* what;
        std::function<void(std::vector<uint8_t>&)> damage;
        const char* reasonPart;
    };
    const std::vector<Case> cases = {
        {"empty", [](std::vector<uint8_t>& b) { b.clear(); }, "too short"},
        {"magic", [](std::vector<uint8_t>& b) { b[0] = 'X'; }, "bad magic"},
        {"short header", [](std::vector<uint8_t>& b) { b.resize(100); }, "header truncated"},
        {"header size", [](std::vector<uint8_t>& b) { putU32(b, 4, 100); }, "header size"},
        {"pixel format size", [](std::vector<uint8_t>& b) { putU32(b, 76, 24); }, "pixel format size"},
        {"zero width", [](std::vector<uint8_t>& b) { putU32(b, 16, 0); }, "invalid size"},
        {"last byte missing", [](std::vector<uint8_t>& b) { b.pop_back(); }, "truncated"},
        {"huge claim",
         [](std::vector<uint8_t>& b) {
             putU32(b, 12, 65536);
             putU32(b, 16, 65536);
             putU32(b, 28, 1);
             b.resize(1024);
         },
         "truncated"},
        {"absurd size", [](std::vector<uint8_t>& b) { putU32(b, 12, 0xFFFFFFFF), putU32(b, 16, 0xFFFFFFFF); },
         "truncated"},
        {"too many mips", [](std::vector<uint8_t>& b) { putU32(b, 28, 6); }, "mip levels"},
        {"unknown FourCC", [](std::vector<uint8_t>& b) { putU32(b, 84, 0x31325A5A); }, "FourCC"},
        {"cube without faces", [](std::vector<uint8_t>& b) { putU32(b, 112, 0x200); }, "cube map"},
        {"cube and volume", [](std::vector<uint8_t>& b) { putU32(b, 112, 0x200 | 0xFC00 | 0x200000); },
         "contradictory"},
        {"all faces missing data", [](std::vector<uint8_t>& b) { putU32(b, 112, 0x200 | 0xFC00); },
         "truncated"},
        {"luminance 24 bits",
         [](std::vector<uint8_t>& b) {
             putU32(b, 80, 0x20000);
             putU32(b, 88, 24);
         },
         "luminance"},
        {"extension header cut",
         [](std::vector<uint8_t>& b) {
             putU32(b, 84, 0x30315844);
             b.resize(140);
         },
         "extended header"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<uint8_t> bytes = good;
        c.damage(bytes);
        const DdsReader::Info info = DdsReader::parse(bytes.data(), bytes.size());
        EXPECT_FALSE(info.success);
        EXPECT_NE(info.reason.find(c.reasonPart), std::string::npos) << info.reason;
    }

    // Extension header with a format we do not know, then one we do.
    std::vector<uint8_t> dx10 = good;
    putU32(dx10, 84, 0x30315844);
    dx10.insert(dx10.begin() + 128, 20, 0);
    putU32(dx10, 128, 190);
    putU32(dx10, 132, 3);
    EXPECT_NE(DdsReader::parse(dx10.data(), dx10.size()).reason.find("DXGI format 190"), std::string::npos);
    putU32(dx10, 128, 71);
    EXPECT_EQ(DdsReader::parse(dx10.data(), dx10.size()).format, Render::RF_BC1_UNORM);
    putU32(dx10, 132, 9);
    EXPECT_NE(DdsReader::parse(dx10.data(), dx10.size()).reason.find("dimension"), std::string::npos);
}

TEST(TextureDds, EveryCutAndFlippedByteFailsCleanly) {
    const std::vector<uint8_t> good = validBc1(8, 8, 0);
    for (size_t length = 0; length < good.size(); ++length) {
        const DdsReader::Info info = DdsReader::parse(good.data(), length);
        EXPECT_FALSE(info.success) << length;
    }
    TempResourceTree tree;
    for (size_t offset = 0; offset < 148; ++offset) {
        std::vector<uint8_t> bytes = good;
        bytes[offset] ^= 0xA5;
        const DdsReader::Info info = DdsReader::parse(bytes.data(), bytes.size());
        if (info.success) {
            // Whatever survives must describe data that is really there.
            EXPECT_LE(info.dataOffset + info.dataBytesRequired, bytes.size());
        }
    }
    // The loader path too: a header-only file on disk.
    tree.writeBytes("maps/cut.dds", std::vector<char>(good.begin(), good.begin() + 128));
    TextureLoader loader;
    EXPECT_FALSE(loader.loadTextureFromFile("maps/cut.dds", {false}, "texture/test", false));
    EXPECT_NE(loader.lastError().find("truncated"), std::string::npos);
}

TEST(TextureDds, RedRangeAnswersAsTheDecodedPixelsWould) {
    // Blocks whose palette answers from the end colours and blocks that need
    // decoding, of every squish format, at sizes with partial edge blocks, and
    // one uncompressed format: always the answer of a scan of the decoded pixels.
    std::mt19937 random(7);
    const std::vector<Render::ResourceFormat> formats = {Render::RF_BC1_UNORM, Render::RF_BC2_UNORM,
                                                         Render::RF_BC3_UNORM, Render::RF_R8G8_UNORM};
    const std::vector<std::pair<uint32_t, uint32_t>> sizes = {{4, 4}, {8, 4}, {5, 3}, {13, 9}, {1, 1}};
    int withinCount = 0, outsideCount = 0;
    for (const Render::ResourceFormat format : formats) {
        for (const auto& [width, height] : sizes) {
            for (int trial = 0; trial < 60; ++trial) {
                const size_t blocks = size_t((width + 3) / 4) * ((height + 3) / 4);
                const size_t bytes = format == Render::RF_R8G8_UNORM
                                         ? size_t(width) * height * 2
                                         : blocks * (format == Render::RF_BC1_UNORM ? 8 : 16);
                std::vector<uint8_t> data(bytes);
                for (uint8_t& b : data) {
                    b = uint8_t(random());
                }
                // Mostly bright reds in the end colours, so that both paths are taken.
                const size_t colourOffset = format == Render::RF_BC1_UNORM ? 0 : 8;
                const size_t stride = format == Render::RF_BC1_UNORM ? 8 : 16;
                for (size_t b = 0; format != Render::RF_R8G8_UNORM && b < blocks; ++b) {
                    if (trial % 3 != 0) {
                        data[b * stride + colourOffset + 1] |= 0xf0;
                        data[b * stride + colourOffset + 3] |= trial % 2 ? 0xf0 : 0x80;
                    }
                }
                if (format == Render::RF_R8G8_UNORM && trial % 2) {
                    for (size_t i = 0; i < data.size(); i += 2) {
                        data[i] |= 0xf0;
                    }
                }
                RgbaImage image;
                std::string reason;
                ASSERT_TRUE(
                    PixelCodec::decode(format, data.data(), data.size(), width, height, image, reason));
                for (const auto& [low, high] : {std::pair<uint8_t, uint8_t>{240, 255}, {0, 255}, {16, 200}}) {
                    bool expected = true;
                    for (size_t red = 0; red < image.pixels.size(); red += 4) {
                        expected = expected && image.pixels[red] >= low && image.pixels[red] <= high;
                    }
                    bool within = !expected;
                    ASSERT_TRUE(PixelCodec::redWithin(format, data.data(), data.size(), width, height, low,
                                                      high, within, reason));
                    EXPECT_EQ(within, expected) << Render::getResourceFormatName(format) << " " << width
                                                << "x" << height << " trial " << trial;
                    (expected ? withinCount : outsideCount)++;
                }
            }
        }
    }
    EXPECT_GT(withinCount, 200);
    EXPECT_GT(outsideCount, 200);

    // A BC1 block whose end colours are equal has three colours and black,
    // however red its ends: every pixel here is black.
    const std::vector<uint8_t> blackBlock = {0xff, 0xf8, 0xff, 0xf8, 0xff, 0xff, 0xff, 0xff};
    bool blackWithin = true;
    std::string blackReason;
    ASSERT_TRUE(PixelCodec::redWithin(Render::RF_BC1_UNORM, blackBlock.data(), blackBlock.size(), 4, 4, 240,
                                      255, blackWithin, blackReason));
    EXPECT_FALSE(blackWithin);

    // Failures are decode()'s.
    std::vector<uint8_t> shortData(8);
    bool within = true;
    std::string reason;
    EXPECT_FALSE(PixelCodec::redWithin(Render::RF_BC3_UNORM, shortData.data(), shortData.size(), 4, 4, 240,
                                       255, within, reason));
    EXPECT_NE(reason.find("truncated"), std::string::npos) << reason;
}

TEST(TextureDds, RedRangeOfAnImageThatDoesNotLoadWarnsAsLoadingIt) {
    TempResourceTree tree;
    tree.write("maps/broken_ANM.dds", "DDS not really");
    DebugLog::Capture log;
    uint32_t channels = 7;
    EXPECT_FALSE(Image::redChannelWithin(tree.path("maps/broken_ANM.dds"), 240, 255, channels));
    EXPECT_FALSE(Image::redChannelWithin(tree.root() + "/../elsewhere_ANM.dds", 240, 255, channels));
    EXPECT_EQ(channels, 0u);
    Image::ImagePtr image = Image::createImage();
    EXPECT_FALSE(Image::loadImage(image, tree.path("maps/broken_ANM.dds")));
    EXPECT_FALSE(Image::loadImage(image, tree.root() + "/../elsewhere_ANM.dds"));
    const std::vector<DebugLog::Line> lines = log.lines();
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0].text, lines[2].text);
    EXPECT_EQ(lines[1].text, lines[3].text);
    EXPECT_NE(lines[0].text.find(tree.path("maps/broken_ANM.dds") + ": "), std::string::npos)
        << lines[0].text;
    EXPECT_NE(lines[1].text.find("the path lies outside the resource roots"), std::string::npos)
        << lines[1].text;
}
