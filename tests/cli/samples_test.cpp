#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <set>
#include <sstream>

#include "cli.h"
#include "engine/platform/utf8_path.h"
#include "json_util.h"
#include "make_samples.h"
#include "support/resource_tree.h"

namespace {

const std::string kSamples = KX_SAMPLES_DIR;

// Files below `root` as sorted '/'-separated paths relative to it.
std::vector<std::string> filesBelow(const std::string& root) {
    namespace fs = std::filesystem;
    const fs::path base = pathFromUtf8(root);
    std::vector<std::string> files;
    for (const fs::directory_entry& entry : fs::recursive_directory_iterator(base)) {
        if (entry.is_regular_file()) {
            files.push_back(pathToUtf8(entry.path().lexically_relative(base)));
        }
    }
    std::sort(files.begin(), files.end());
    return files;
}

bool endsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

std::string lodModel(const std::string& folder, const std::string& name, int lod) {
    return folder + "/normal/lod" + std::to_string(lod) + "/" + name + ".model";
}

struct Finding {
    std::string model;
    int code = 0;
    std::string json; // the whole object as printed
};

// The JSON output holds one finding object per line.
std::vector<Finding> parseFindings(const std::string& output) {
    const std::string modelKey = "{\"model\": \"";
    const std::string codeKey = "\"code\": ";
    std::vector<Finding> findings;
    std::istringstream lines(output);
    std::string line;
    while (std::getline(lines, line)) {
        const size_t start = line.find(modelKey);
        const size_t end = line.rfind('}');
        const size_t code = line.find(codeKey);
        if (start == std::string::npos || end == std::string::npos || code == std::string::npos) {
            continue;
        }
        const size_t modelStart = start + modelKey.size();
        findings.push_back({line.substr(modelStart, line.find('"', modelStart) - modelStart),
                            std::atoi(line.c_str() + code + codeKey.size()),
                            line.substr(start, end - start + 1)});
    }
    return findings;
}

std::string findingJson(const std::string& model, int code, const std::string& severity,
                        const std::string& title, const std::string& category, const std::string& message) {
    using KX::Cli::jsonString;
    return "{\"model\": " + jsonString(model) + ", \"code\": " + std::to_string(code) + ", \"severity\": \"" +
           severity + "\", \"title\": \"" + title + "\", \"category\": " + jsonString(category) +
           ", \"message\": " + jsonString(message) + "}";
}

} // namespace

TEST(Samples, EveryModelShowsWhatItWasMadeFor) {
    std::vector<std::string> args = {"--res", kSamples, "--format", "json"};
    for (const std::string& file : filesBelow(kSamples)) {
        // Vehicles have a command of their own (vehicle_test.cpp).
        if (endsWith(file, ".model") && !endsWith(file, ".hkt.model") && file.rfind("vehicles/", 0) != 0) {
            args.push_back(file);
        }
    }
    std::ostringstream out, err;
    EXPECT_EQ(KX::Cli::run(args, out, err), 1) << err.str();
    const std::vector<Finding> findings = parseFindings(out.str());

    std::map<std::string, std::set<int>> codes;
    std::set<std::string> objects;
    for (const Finding& f : findings) {
        codes[f.model].insert(f.code);
        objects.insert(f.json);
    }

    for (int lod = 0; lod < 3; ++lod) {
        const std::string clean = lodModel("content/buildings/house01", "house01", lod);
        EXPECT_EQ(codes.count(clean), 0u) << clean << " should be clean";
    }

    const std::map<std::string, std::set<int>> madeFor = {
        {lodModel("content/samples/digit_filename", "1barrel", 0), {6}},
        {lodModel("content/samples/parent_case_typo", "tower", 0), {123, 131}},
        {lodModel("content/samples/skybox_shader", "dome", 0), {2, 110}},
        {lodModel("content/gatesandfences/wooden_fence", "wooden_fence", 0), {129}},
        {lodModel("content/samples/bsp_all_collisions", "bunker", 0), {1}},
        {lodModel("content/samples/decor_all_presets", "hedge", 0), {151}},
        {lodModel("content/samples/decor_invalid", "bush", 0), {152}},
        {lodModel("content/samples/node_tree_mismatch", "kiosk", 0), {9}},
        {lodModel("content/samples/disconnected_copy", "shed", 0), {139}},
        {lodModel("content/samples/stale_bounding_box", "silo", 0), {3}},
        {lodModel("content/samples/bsp_triangle_counts", "rock", 0), {11, 135, 138}},
        {lodModel("content/samples/hardpoint_names", "depot", 0), {107, 109}},
        {lodModel("content/samples/texture_not_power_of_two", "hut", 0), {5}},
        {lodModel("content/samples/missing_texture", "shack", 0), {4, 5, 110, 113, 123}},
        {lodModel("content/samples/texture_case_typo", "cabin", 0), {123, 131}},
        {lodModel("content/samples/metallic_albedo_ratio", "garage", 0), {114}},
        {lodModel("content/samples/reduced_textures", "barn", 0), {116}},
        {lodModel("content/samples/normal_map_red_channel", "mill", 0), {115, 118}},
        {lodModel("content/samples/material_kinds", "hall", 0), {104, 111, 132}},
        {lodModel("content/samples/tint_colours", "awning", 0), {126}},
        {lodModel("content/samples/unbumped_geometry", "lamp", 0), {101, 127}},
        {lodModel("content/samples/misplaced_files", "barn", 0), {106, 115}},
        {lodModel("content/samples/leftover_files", "garage", 0), {103, 105}},
        {lodModel("content/samples/destructible_unregistered", "hangar", 0), {201}},
        {lodModel("content/samples/destructible_modules", "warehouse", 0), {203, 204, 207}},
        {lodModel("content/samples/falling_object", "lantern", 0), {202, 208}},
        {lodModel("content/samples/mixed_visual_tags", "booth", 0), {7}},
        {lodModel("content/samples/digit_root_tag", "2kiosk", 0), {6, 113, 290}},
    };
    for (const auto& [model, wanted] : madeFor) {
        const std::set<int>& shown = codes[model];
        EXPECT_TRUE(std::includes(shown.begin(), shown.end(), wanted.begin(), wanted.end())) << model;
    }

    const std::string typo = lodModel("content/samples/parent_case_typo", "tower", 0);
    const std::string sky = lodModel("content/samples/skybox_shader", "dome", 0);
    const std::string decor = lodModel("content/samples/decor_invalid", "bush", 0);
    const std::string shed = lodModel("content/samples/disconnected_copy", "shed", 0);
    const std::string silo = lodModel("content/samples/stale_bounding_box", "silo", 0);
    const std::string rock = lodModel("content/samples/bsp_triangle_counts", "rock", 0);
    const std::string depot = lodModel("content/samples/hardpoint_names", "depot", 0);
    const std::string barrel = lodModel("content/samples/digit_filename", "1barrel", 0);
    const std::vector<std::string> expected = {
        findingJson(barrel, 6, "medium", "CheckOther", "Check other",
                    "[Wrn. 6] First character of filename '1barrel.model' for path '" + barrel +
                        "' is digit"),
        findingJson(typo, 123, "medium", "Common", "Common",
                    "[Wrn. 123] Parent path 'content/samples/parent_case_typo/normal/lod1/Tower.model' has a "
                    "case-sensitive typo. Right path is:'content/samples/parent_case_typo/normal/lod1/"
                    "tower.model'."),
        findingJson(
            sky, 2, "high", "Common", "Common",
            "[Err. 2] Model '" + sky +
                "' uses 'sky_box.fx'. SkyBox shader can be used only in models from 'maps/skyboxes/'"),
        findingJson(decor, 152, "medium", "CheckOther", "Check other",
                    "[Wrn. 152] Invalid decor type (3): " + decor),
        findingJson(
            shed, 139, "medium", "CheckLods", "Check LODs",
            "[Wrn. 139] Model 'content/samples/disconnected_copy/lod2/shed.model' is disconnected, but "
            "is not deleted"),
        findingJson(
            silo, 3, "normal", "Common", "Common",
            "[Inf. 3] Model 'content/samples/stale_bounding_box/normal/lod0/silo' has current bounding "
            "box (width: 8.000000 height: 5.000000 depth: 6.000000) and bounding box in the resources "
            "(width: 8.000000 height: 6.000000 depth: 6.000000)"),
        findingJson(
            rock, 138, "high", "Common", "Common",
            "[Err. 138] The number of triangles in BSP of the source primitive file "
            "content/samples/bsp_triangle_counts/normal/lod0/rock.primitives is not equal to the realm "
            "primitive file content/samples/bsp_triangle_counts/normal/lod0/rock.EU.primitives"),
        findingJson(depot, 107, "high", "CheckHardpointsAndBones", "Check hardpoints and bones",
                    "[Err. 107] File '" + depot +
                        "' has hardpoint 'HP_gun', but it has to be 'HP_module_xx', 'HP_modulexx_xx', "
                        "'HP_module_xx_xx' or 'HP_modulexx', where xx is a number from 0 to 13"),
    };
    for (const std::string& object : expected) {
        EXPECT_EQ(objects.count(object), 1u) << object;
    }
}

TEST(Samples, GeneratorReproducesTheCommittedSamples) {
    TempResourceTree tree;
    std::string error;
    ASSERT_TRUE(KX::Samples::writeSamples(tree.root(), &error)) << error;
    const std::vector<std::string> generated = filesBelow(tree.root());
    ASSERT_FALSE(generated.empty());
    for (const std::string& file : generated) {
        EXPECT_TRUE(readDiskFile(tree.root() + "/" + file) == readDiskFile(kSamples + "/" + file))
            << "samples/res/" << file << " is stale: run `make-samples samples/res`";
    }

    const std::set<std::string> handWritten = {"system/data/material_kinds.xml",
                                               "content/props/crate/lod0/crate.model",
                                               "content/props/crate/lod0/crate.visual"};
    for (const std::string& file : filesBelow(kSamples)) {
        const bool known =
            handWritten.count(file) > 0 || std::binary_search(generated.begin(), generated.end(), file);
        EXPECT_TRUE(known) << "samples/res/" << file << " is neither generated nor hand-written";
    }
}
