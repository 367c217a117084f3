#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <set>

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

// Mean absolute difference per channel value.
double meanDifference(const RgbaImage& a, const RgbaImage& b) {
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    double sum = 0;
    for (size_t i = 0; i < a.pixels.size() && i < b.pixels.size(); ++i) {
        sum += std::abs(int(a.pixels[i]) - int(b.pixels[i]));
    }
    return a.pixels.empty() ? 0 : sum / double(a.pixels.size());
}

RgbaImage decodeLevel(const TextureInitialData& data, uint32_t mip) {
    const TextureInitialData::Level& level = data.level(mip);
    RgbaImage image;
    std::string reason;
    EXPECT_TRUE(PixelCodec::decode(data.format(), level.bytes.data(), level.bytes.size(), level.width,
                                   level.height, image, reason))
        << reason;
    return image;
}

TextureLoader::InputOptions storedLevels() {
    TextureLoader::InputOptions options;
    options.generateMips = false;
    return options;
}

} // namespace

TEST(TextureWriter, DdsRoundTripsKeepFormatLevelsAndPixels) {
    TempResourceTree tree;
    struct Case {
        Render::ResourceFormat format;
        uint32_t width, height, mips, expectedMips;
        double tolerance; // mean per channel value, against the box-filtered source
    };
    const Case cases[] = {
        {Render::RF_BC1_UNORM, 64, 32, 0, 7, 6},      {Render::RF_BC1_UNORM, 64, 64, 3, 3, 6},
        {Render::RF_BC3_UNORM, 128, 128, 0, 8, 6},    {Render::RF_BC3_UNORM, 30, 18, 2, 2, 6},
        {Render::RF_R8G8B8A8_UNORM, 20, 12, 0, 5, 0}, {Render::RF_R8G8B8A8_UNORM, 16, 16, 1, 1, 0},
        {Render::RF_BC3_UNORM_SRGB, 16, 16, 0, 5, 6}, {Render::RF_B8G8R8X8_UNORM, 8, 4, 2, 2, 0},
        {Render::RF_BC5_UNORM, 16, 16, 0, 5, 6},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(Render::getResourceFormatName(c.format)) + " " + std::to_string(c.width) +
                     "x" + std::to_string(c.height) + " mips " + std::to_string(c.mips));
        const std::string path = tree.path("maps/round_trip.dds");
        RgbaImage source;
        source.width = c.width;
        source.height = c.height;
        // Colours on one line, as block compression assumes; BC1 keeps one bit of alpha.
        const uint8_t alpha = c.format == Render::RF_BC1_UNORM ? 255 : 200;
        source.pixels = AssetWriters::makeGradientImage(c.width, c.height, 90, alpha);
        for (size_t i = 0; i < source.pixels.size(); i += 4) {
            source.pixels[i + 1] = uint8_t(255 - source.pixels[i]);
        }
        ASSERT_TRUE(AssetWriters::writeDDS(path, c.width, c.height, c.format, source.pixels, c.mips));

        TextureLoader loader;
        ASSERT_TRUE(loader.loadTextureFromFile(path, storedLevels(), "texture/test", true))
            << loader.lastError();
        const TextureLoader::Output output = loader.takeOutput();
        EXPECT_EQ(output.format, c.format);
        EXPECT_EQ(output.width, c.width);
        EXPECT_EQ(output.height, c.height);
        EXPECT_EQ(output.mipCount, c.expectedMips);

        const TextureInitialDataPtr data = TextureLoader::loadTextureDataFromFile(path);
        ASSERT_TRUE(data);
        ASSERT_EQ(data->mipCount(), c.expectedMips);
        RgbaImage expected = source;
        for (uint32_t mip = 0; mip < c.expectedMips; ++mip) {
            if (mip > 0) {
                expected = RgbaImage::downsample(expected);
            }
            RgbaImage decoded = decodeLevel(*data, mip);
            if (c.format == Render::RF_B8G8R8X8_UNORM || c.format == Render::RF_BC5_UNORM) {
                for (size_t i = 0; i < decoded.pixels.size(); i += 4) {
                    decoded.pixels[i + 3] = expected.pixels[i + 3];
                    if (c.format == Render::RF_BC5_UNORM) {
                        decoded.pixels[i + 2] = expected.pixels[i + 2];
                    }
                }
            }
            EXPECT_LE(meanDifference(decoded, expected), c.tolerance) << "mip " << mip;
        }
    }

    // A solid colour survives block compression exactly.
    const std::string solid = tree.path("maps/solid_ANM.dds");
    ASSERT_TRUE(AssetWriters::writeDDS(solid, 8, 8, Render::RF_BC3_UNORM,
                                       AssetWriters::makeSolidImage(8, 8, {255, 0, 0, 255})));
    const Image::ImagePtr image = Image::createImage();
    ASSERT_TRUE(Image::loadImage(image, solid));
    do {
        ASSERT_EQ(image->getRed(), 255.f);
        ASSERT_EQ(image->getGreen(), 0.f);
    } while (image->goToNextPixel());
}

TEST(TextureWriter, PngRoundTripsInEveryChannelCount) {
    TempResourceTree tree;
    const std::vector<uint8_t> pixels = AssetWriters::makeGradientImage(9, 7, 33, 180);
    const uint32_t masks[] = {Channels::Red, Channels::Red | Channels::Alpha, Channels::Rgb, Channels::Rgba};
    for (uint32_t channels = 1; channels <= 4; ++channels) {
        SCOPED_TRACE(channels);
        const std::string path = tree.path("maps/picture_" + std::to_string(channels) + ".png");
        ASSERT_TRUE(AssetWriters::writePNG(path, 9, 7, pixels, channels));
        const Image::ImagePtr image = Image::createImage();
        ASSERT_TRUE(Image::loadImage(image, path));
        EXPECT_EQ(Image::getImageInfo(image).channels, masks[channels - 1]);
        size_t index = 0;
        do {
            EXPECT_EQ(image->getRed(), pixels[index * 4]);
            EXPECT_EQ(image->getGreen(), channels >= 3 ? pixels[index * 4 + 1] : pixels[index * 4]);
            EXPECT_EQ(image->getAlpha(), channels % 2 == 0 ? pixels[index * 4 + 3] : 255);
            ++index;
        } while (image->goToNextPixel());
        EXPECT_EQ(index, 63u);
    }

    const std::vector<uint8_t> tooFew(10);
    const AssetWriters::WriteResult wrongSize = AssetWriters::writePNG(tree.path("x.png"), 9, 7, tooFew);
    EXPECT_FALSE(wrongSize);
    EXPECT_NE(wrongSize.reason.find("pixel bytes"), std::string::npos);
    EXPECT_FALSE(AssetWriters::writePNG(tree.path("x.png"), 9, 7, pixels, 5));
    EXPECT_FALSE(AssetWriters::writeDDS(tree.path("x.dds"), 9, 7, Render::RF_BC7_UNORM, pixels));
    EXPECT_FALSE(AssetWriters::writeDDS(tree.path("x.dds"), 9, 7, Render::RF_BC1_UNORM, pixels, 5));
}

TEST(TextureLoaderTest, MipGenerationPathsAndFailures) {
    TempResourceTree tree;
    AssetWriters::writeDDS(tree.path("maps/single_AM.dds"), 64, 32, Render::RF_BC3_UNORM,
                           AssetWriters::makeGradientImage(64, 32), 1);
    AssetWriters::writePNG(tree.path("maps/blend_atlas_blend.png"), 16, 16,
                           AssetWriters::makeGradientImage(16, 16));

    // By default missing levels are built; switched off, the stored count shows.
    TextureLoader loader;
    ASSERT_TRUE(loader.loadTextureFromFile("maps/single_AM.dds", {}, "texture/test", true));
    TextureLoader::Output generated = loader.takeOutput();
    EXPECT_EQ(generated.mipCount, 7u);
    EXPECT_EQ(generated.texture->mipCount(), 7u);
    ASSERT_TRUE(generated.texture->slowImmediateReadback(generated.texture->getSubResource(6, 0)));
    EXPECT_EQ(generated.texture->getReadbackBufferLayout().bytes, 16u);
    ASSERT_TRUE(loader.loadTextureFromFile("maps/single_AM.dds", storedLevels(), "texture/test", true));
    EXPECT_EQ(loader.takeOutput().mipCount, 1u);
    ASSERT_TRUE(
        loader.loadTextureFromFile(tree.path("maps/blend_atlas_blend.png"), {}, "texture/test", true));
    EXPECT_EQ(loader.takeOutput().mipCount, 5u);
    // The file's own levels, whatever the options.
    EXPECT_EQ(TextureLoader::loadTextureDataFromFile("maps/single_AM.dds")->mipCount(), 1u);
    // Formats we cannot encode keep what the file stores.
    FS::fileSystem()->addRoot(KX_TEST_DATA_DIR);
    ASSERT_TRUE(
        loader.loadTextureFromFile(testData("dds/bc7-argb-8bpp_MipMaps-1.dds"), {}, "texture/test", true));
    EXPECT_EQ(loader.takeOutput().mipCount, 1u);

    // Block rows of a BC3 read-back: colour block 8 bytes into each 16-byte block.
    AssetWriters::writeDDS(tree.path("maps/red_ANM.dds"), 32, 16, Render::RF_BC3_UNORM,
                           AssetWriters::makeSolidImage(32, 16, {255, 0, 0, 255}), 1);
    ASSERT_TRUE(loader.loadTextureFromFile("maps/red_ANM.dds", storedLevels(), "texture/test", false));
    const TextureLoader::Output red = loader.takeOutput();
    ASSERT_TRUE(red.texture->slowImmediateReadback(red.texture->getSubResource(0, 0)));
    const Render::ReadbackBufferLayout layout = red.texture->getReadbackBufferLayout();
    uint32_t blockWidth = 0, blockHeight = 0, blockBytes = 0;
    ASSERT_TRUE(Render::getBlockCompressionInfo(red.format, blockWidth, blockHeight, blockBytes));
    EXPECT_EQ(layout.rowPitch / blockBytes, 8u);
    EXPECT_EQ(layout.rowCount, 4u);
    const std::vector<uint8_t>& blocks = red.texture->getReadbackBuffer();
    ASSERT_EQ(blocks.size(), 32u * 16u);
    for (size_t block = 0; block < 32; ++block) {
        // Red endpoint 0 is full; the other endpoint is unused (all indices 0) or full too.
        const uint8_t* colour = blocks.data() + block * 16 + 8;
        const uint32_t indices = uint32_t(colour[4] | colour[5] << 8 | colour[6] << 16) | uint32_t(colour[7])
                                                                                              << 24;
        EXPECT_EQ(colour[1] >> 3, 31);
        EXPECT_TRUE(indices == 0 || (colour[3] >> 3) == 31);
    }

    // Failures: missing file, atlas description, unknown type; logged only when asked.
    tree.write("maps/terrain_atlas_AM.atlas", "<atlas/>");
    tree.write("maps/notes.txt", "not an image");
    const std::string failing[] = {"maps/missing_AM.dds", "maps/terrain_atlas_AM.atlas", "maps/notes.txt"};
    for (const std::string& path : failing) {
        SCOPED_TRACE(path);
        DebugLog::Capture log;
        EXPECT_FALSE(
            loader.loadTextureFromFile(path, storedLevels(), "texture/unknown managed texture", true));
        EXPECT_FALSE(loader.lastError().empty());
        EXPECT_EQ(log.count(path), 1u);
        EXPECT_EQ(loader.takeOutput().width, 0u);
        EXPECT_FALSE(
            loader.loadTextureFromFile(path, storedLevels(), "texture/unknown managed texture", false));
        EXPECT_EQ(log.lines().size(), 1u);
        EXPECT_FALSE(TextureLoader::loadTextureDataFromFile(path));
    }
    EXPECT_NE(loader.lastError().find("unrecognised"), std::string::npos);
    // A PNG named .atlas is still an atlas description.
    tree.writeBytes("maps/fake.atlas", [&] {
        const std::vector<uint8_t> png = readBytes(tree.path("maps/blend_atlas_blend.png"));
        return std::vector<char>(png.begin(), png.end());
    }());
    EXPECT_FALSE(loader.loadTextureFromFile("maps/fake.atlas", storedLevels(), "texture/test", false));
}

TEST(TextureLoaderTest, FormatFactsTheChecksRelyOn) {
    EXPECT_STREQ(Render::getResourceFormatName(Render::ResourceFormat(17)), "BC1_UNORM");
    EXPECT_STREQ(Render::getResourceFormatName(Render::ResourceFormat(21)), "BC3_UNORM");
    EXPECT_STREQ(Render::getResourceFormatName(Render::ResourceFormat(4000)), "UNKNOWN");
    uint32_t w = 0, h = 0, bytes = 0;
    ASSERT_TRUE(Render::getBlockCompressionInfo(Render::ResourceFormat(17), w, h, bytes));
    EXPECT_EQ(bytes, 8u);
    ASSERT_TRUE(Render::getBlockCompressionInfo(Render::ResourceFormat(21), w, h, bytes));
    EXPECT_EQ(w, 4u);
    EXPECT_EQ(h, 4u);
    EXPECT_EQ(bytes, 16u);
    EXPECT_FALSE(Render::getBlockCompressionInfo(Render::RF_R8G8B8A8_UNORM, w, h, bytes));
    std::set<std::string> names;
    for (uint32_t f = 1; f < Render::RF_FORMAT_COUNT; ++f) {
        names.insert(Render::getResourceFormatName(Render::ResourceFormat(f)));
    }
    EXPECT_EQ(names.size(), Render::RF_FORMAT_COUNT - 1u);
    EXPECT_EQ(names.count("UNKNOWN"), 0u);
}
