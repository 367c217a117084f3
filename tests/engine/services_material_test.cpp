#include <gtest/gtest.h>

#include <cstdint>

#include "engine/core/debug_log.h"
#include "engine/model/material_property_helper.h"
#include "engine/resource/file_system.h"
#include "support/resource_tree.h"

namespace {

std::string material(const std::string& id, const std::string& normalMap = std::string()) {
    std::string xml = "<material><identifier>" + id + "</identifier><fx>shaders/std_effects/PBS_ext.fx</fx>";
    if (!normalMap.empty()) {
        xml += "<property>normalMap<Texture>" + normalMap + "</Texture></property>";
    }
    return xml + "</material>";
}

std::string geometry(const std::string& groups) {
    return "<geometry><vertices>vertices</vertices><primitive>indices</primitive>" + groups + "</geometry>";
}

std::string group(const std::string& materials) {
    return "<primitiveGroup>0" + materials + "</primitiveGroup>";
}

void put32(std::vector<char>& bytes, size_t offset, uint32_t value, bool bigEndian) {
    for (size_t i = 0; i < 4; ++i) {
        const unsigned shift = bigEndian ? 8 * (3 - i) : 8 * i;
        bytes[offset + i] = static_cast<char>((value >> shift) & 0xff);
    }
}

// A DDS file of `width` x `height`: magic and the 124-byte header, no pixels.
std::vector<char> ddsHeader(uint32_t width, uint32_t height) {
    std::vector<char> bytes(128, '\0');
    bytes[0] = 'D';
    bytes[1] = 'D';
    bytes[2] = 'S';
    bytes[3] = ' ';
    put32(bytes, 4, 124, false);
    put32(bytes, 8, 0x1007, false); // caps, height, width, pixel format
    put32(bytes, 12, height, false);
    put32(bytes, 16, width, false);
    put32(bytes, 76, 32, false); // pixel format size
    return bytes;
}

// The signature and IHDR chunk of an 8-bit RGBA PNG.
std::vector<char> pngHeader(uint32_t width, uint32_t height) {
    std::vector<char> bytes = {'\x89', 'P', 'N', 'G', '\r', '\n', '\x1a', '\n'};
    bytes.resize(8 + 4 + 4 + 13 + 4, '\0');
    put32(bytes, 8, 13, true);
    bytes[12] = 'I';
    bytes[13] = 'H';
    bytes[14] = 'D';
    bytes[15] = 'R';
    put32(bytes, 16, width, true);
    put32(bytes, 20, height, true);
    bytes[24] = 8; // bit depth
    bytes[25] = 6; // colour type RGBA
    return bytes;
}

} // namespace

TEST(ServicesMaterials, VisualMaterialsInFileOrder) {
    TempResourceTree tree;
    tree.write(
        "content/x/house.visual",
        "<house.visual><node><identifier>Scene Root</identifier></node>"
        "<renderSet><node>Scene Root</node>" +
            geometry(group(material("m1")) + group(material("m2") + material("m3"))) +
            geometry(group(material("m4"))) +
            "</renderSet>"
            "<material><identifier>not_in_a_group</identifier></material>"
            "<renderSet><node>Scene Root</node>" +
            geometry(group("")) + geometry(group(material("m5"))) +
            "</renderSet><boundingBox><min>-1 0 -1</min><max>1 2 1</max></boundingBox></house.visual>");
    DataSectionPtr visual = FS::Utils::openSection("content/x/house.visual");
    ASSERT_TRUE(visual);

    std::vector<std::string> ids;
    for (const DataSectionPtr& m : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
        ids.push_back(m->readString("identifier"));
    }
    EXPECT_EQ(ids, (std::vector<std::string>{"m1", "m2", "m3", "m4", "m5"}));
    EXPECT_TRUE(MaterialPropertyHelper::getMaterialsFromVisual(nullptr).empty());
}

TEST(ServicesMaterials, NormalMapSizeFromTextureHeaders) {
    TempResourceTree tree;
    tree.writeBytes("content/x/wide_ANM.dds", ddsHeader(1024, 512));
    tree.writeBytes("content/x/small_ANM.png", pngHeader(256, 128));
    std::vector<char> truncated = ddsHeader(64, 64);
    truncated.resize(40);
    tree.writeBytes("content/x/cut_ANM.dds", truncated);
    tree.writeBytes("content/x/zero_ANM.dds", ddsHeader(0, 64));
    tree.write("content/x/text_ANM.dds", "not an image at all");
    tree.write(
        "content/x/m.visual",
        "<m.visual><renderSet><geometry>" +
            group(material("dds", "content/x/wide_ANM.dds") + material("png", "content/x/small_ANM.png") +
                  material("cut", "content/x/cut_ANM.dds") + material("zero", "content/x/zero_ANM.dds") +
                  material("text", "content/x/text_ANM.dds") +
                  material("missing", "content/x/nowhere_ANM.dds") + material("none")) +
            "</geometry></renderSet></m.visual>");
    std::vector<DataSectionPtr> materials =
        MaterialPropertyHelper::getMaterialsFromVisual(FS::Utils::openSection("content/x/m.visual"));
    ASSERT_EQ(materials.size(), 7u);

    DebugLog::Capture log;
    EXPECT_EQ(MaterialPropertyHelper::getNormalMapSize(materials[0]), Vector2(1024.f, 512.f));
    EXPECT_EQ(MaterialPropertyHelper::getNormalMapSize(materials[1]), Vector2(256.f, 128.f));
    EXPECT_EQ(log.lines().size(), 0u);

    const Vector2 unknown(-1.f, -1.f);
    for (size_t i = 2; i < materials.size(); ++i) {
        EXPECT_EQ(MaterialPropertyHelper::getNormalMapSize(materials[i]), unknown) << i;
    }
    EXPECT_EQ(MaterialPropertyHelper::getNormalMapSize(nullptr), unknown);
    // Each bad header is named once; a missing file or property is not a bad file.
    EXPECT_EQ(log.lines().size(), 3u);
    EXPECT_EQ(log.count("content/x/cut_ANM.dds"), 1u);
    EXPECT_EQ(log.count("content/x/zero_ANM.dds"), 1u);
    EXPECT_EQ(log.count("content/x/text_ANM.dds"), 1u);
}
