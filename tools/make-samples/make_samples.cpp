#include "make_samples.h"

#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <optional>
#include <vector>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/asset_writers/texture_writer.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"
#include "vehicle_samples.h"

namespace KX::Samples {

namespace {

using AssetWriters::MaterialLayout;
using AssetWriters::Mesh;
using AssetWriters::NodeLayout;

// Kinds listed in system/data/material_kinds.xml.
constexpr unsigned kWood = 11;
constexpr unsigned kStone = 12;
// Collides without setting every bit: with all of them (255) each collision
// triangle of the material counts as fully colliding.
constexpr unsigned kSolid = 131;
constexpr unsigned kAllCollisions = 255;
// Every "hide on preset" bit: the object would never be drawn.
constexpr unsigned kAllDecorPresets = 0x1F8;
// smallProp and vegetation at once, while an object has at most one decor kind.
constexpr unsigned kTwoDecorKinds = 0x3;

const std::string kStandardShader = "shaders/std_effects/PBS_ext.fx";
const std::string kSkyBoxShader = "shaders/std_effects/sky_box.fx";

// The samples of destructible objects, which the registries name.
const std::string kUnregisteredFolder = "content/samples/destructible_unregistered";
const std::string kModulesFolder = "content/samples/destructible_modules";
const std::string kFallingFolder = "content/samples/falling_object";

MaterialLayout material(const std::string& identifier, unsigned kind, unsigned collisionFlags) {
    // The checks look only at materials that carry properties.
    return {identifier,
            kStandardShader,
            kind,
            collisionFlags,
            {AssetWriters::PropertyLayout::boolean("alphaTestEnable", false)}};
}

Matrix translation(const Vector3& offset) {
    Matrix m = Matrix::identity();
    m.setRow3(3, offset);
    return m;
}

// A mesh exported without tangent frames.
Mesh withoutTangents(Mesh mesh) {
    mesh.vertices.tangents.clear();
    mesh.vertices.binormals.clear();
    return mesh;
}

// An effect whose vertex stage reads tangents and binormals through an
// included struct, as normal-mapping effects do.
const std::string kBumpedEffectSource =
    "#include \"lamp_inputs.fxh\"\n"
    "float4 mainVS(VsIn input) : POSITION { return float4(input.pos, 1); }\n"
    "float4 mainPS() : COLOR { return float4(1, 1, 1, 1); }\n"
    "technique T { pass P {\n"
    "  VertexShader = compile vs_3_0 mainVS();\n"
    "  PixelShader = compile ps_3_0 mainPS();\n"
    "} }\n";
const std::string kBumpedEffectInputs = "struct VsIn {\n"
                                        "  float3 pos : POSITION;\n"
                                        "  float3 normal : NORMAL;\n"
                                        "  float2 uv : TEXCOORD0;\n"
                                        "  float3 tangent : TANGENT;\n"
                                        "  float3 binormal : BINORMAL;\n"
                                        "};\n";

// One level of detail of a sample model.
struct Lod {
    Mesh mesh;
    // One per primitive group of the mesh and of the collision geometry.
    std::vector<MaterialLayout> materials;
    // The geometry of the collision tree; none: the LOD does not collide.
    std::optional<Mesh> collision;
    std::vector<NodeLayout> nodes;
    float extent = 0.f;
    std::optional<unsigned> decorative;
    // The bounding box the visual stores; by default that of the mesh.
    std::optional<AABB> storedBox;
    // The "parent" value; by default the next LOD's model, none for the last.
    std::optional<std::string> parent;
};

struct Sample;
using ExtraFiles = std::function<bool(const std::string& root, const Sample& sample, std::string* error)>;

struct Sample {
    std::string folder; // the model's root folder (resource path)
    std::string name;   // the model file name without extension
    Vector3 min, max;   // the bounds of every LOD
    std::vector<Lod> lods;
    // Files the sample needs beside its LODs.
    ExtraFiles extra;

    std::string modelPath(size_t lod) const {
        return folder + "/normal/lod" + std::to_string(lod) + "/" + name + ".model";
    }
};

Mesh splitInto(Mesh mesh, size_t groups) {
    AssetWriters::splitGroups(mesh, groups);
    return mesh;
}

// The primitives of a LOD with a collision tree built from `collision`.
AssetWriters::PrimitivesWriter primitivesWithCollision(const Lod& lod, const Mesh& collision) {
    const size_t groups = lod.materials.size();
    AssetWriters::PrimitivesWriter primitives;
    primitives.mesh(splitInto(lod.mesh, groups));
    primitives.bsp(AssetWriters::collisionTriangles(splitInto(collision, groups), lod.materials),
                   AssetWriters::materialIdentifiers(lod.materials));
    return primitives;
}

std::string readSampleFile(const std::string& path) {
    std::ifstream in(pathFromUtf8(path), std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool replaceInFile(const std::string& path, const std::string& from, const std::string& to,
                   std::string* error) {
    std::string text = readSampleFile(path);
    for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
        text.replace(at, from.size(), to);
    }
    return AssetWriters::writeFile(path, text, error);
}

std::string primitivesDiskPath(const std::string& root, const std::string& modelPath) {
    return root + "/" + FS::Utils::removeExtension(modelPath) + ".primitives";
}

bool writeLod(const std::string& root, const std::string& modelPath, const Lod& lod,
              const std::string& parent, std::string* error) {
    AssetWriters::SimpleModelLayout layout;
    layout.mesh = splitInto(lod.mesh, lod.materials.size());
    layout.materials = lod.materials;
    layout.collision = false;
    layout.nodes = lod.nodes;
    layout.parent = parent;
    layout.extent = lod.extent;
    layout.decorative = lod.decorative;
    layout.boundingBox = lod.storedBox;
    if (!AssetWriters::writeSimpleModel(root, modelPath, layout, error)) {
        return false;
    }
    // The collision tree comes from its own, coarser geometry.
    return !lod.collision ||
           primitivesWithCollision(lod, *lod.collision).write(primitivesDiskPath(root, modelPath), error);
}

bool writeSample(const std::string& root, const Sample& sample, std::string* error) {
    std::error_code ec;
    std::filesystem::remove_all(pathFromUtf8(root + "/" + sample.folder), ec);
    for (size_t i = 0; i < sample.lods.size(); ++i) {
        const Lod& lod = sample.lods[i];
        const std::string next = i + 1 < sample.lods.size() ? sample.modelPath(i + 1) : std::string();
        if (!writeLod(root, sample.modelPath(i), lod, lod.parent.value_or(next), error)) {
            return false;
        }
    }
    return !sample.extra || sample.extra(root, sample, error);
}

// The clean layout every sample starts from: three LODs of a box getting
// coarser, a collision box far smaller than the lod0 mesh, two module
// hardpoints, extents growing from LOD to LOD.
Sample cleanSample(const std::string& folder, const std::string& name, const Vector3& min,
                   const Vector3& max) {
    const Vector3 centre = (min + max) * 0.5f;
    const std::vector<NodeLayout> nodes{
        NodeLayout{"Scene Root",
                   Matrix::identity(),
                   {NodeLayout{"HP_module1", translation(Vector3(centre.x, max.y, centre.z)), {}},
                    NodeLayout{"HP_module2", translation(Vector3(max.x, min.y, centre.z)), {}}}}};
    Sample sample{folder, name, min, max, {}, {}};
    const int divisions[] = {4, 2, 1};
    const float extents[] = {60.f, 150.f, 400.f};
    for (size_t i = 0; i < 3; ++i) {
        Lod lod;
        lod.mesh = AssetWriters::makeGridBox(min, max, divisions[i]);
        lod.materials = {material("n_stone_01", kStone, kSolid), material("n_wood_01", kWood, kSolid)};
        lod.collision = AssetWriters::makeGridBox(min, max, 1);
        lod.nodes = nodes;
        lod.extent = extents[i];
        lod.decorative = 0;
        sample.lods.push_back(std::move(lod));
    }
    return sample;
}

// A texture file of a sample, one colour, with a full mip chain.
struct SampleTexture {
    std::string path; // resource path
    uint32_t width = 0;
    uint32_t height = 0;
    Render::ResourceFormat format = Render::RF_BC1_UNORM;
    AssetWriters::Colour colour{128, 128, 128, 255};
};

// Writes the textures (and any other files) a sample's materials use.
ExtraFiles textureFiles(std::vector<SampleTexture> textures, std::vector<std::string> otherFiles = {}) {
    return [textures = std::move(textures),
            otherFiles = std::move(otherFiles)](const std::string& root, const Sample&, std::string* error) {
        for (const SampleTexture& t : textures) {
            const AssetWriters::WriteResult written =
                AssetWriters::writeDDS(root + "/" + t.path, t.width, t.height, t.format,
                                       AssetWriters::makeSolidImage(t.width, t.height, t.colour));
            if (!written) {
                *error = t.path + ": " + written.reason;
                return false;
            }
        }
        for (const std::string& file : otherFiles) {
            if (!AssetWriters::writeFile(root + "/" + file, "<root/>\n", error)) {
                return false;
            }
        }
        return true;
    };
}

// Gives the first material of each listed LOD these texture properties.
void setTextures(Sample& sample, std::initializer_list<size_t> lods,
                 const std::vector<AssetWriters::PropertyLayout>& textures) {
    for (size_t lod : lods) {
        std::vector<AssetWriters::PropertyLayout>& properties = sample.lods[lod].materials[0].properties;
        properties.insert(properties.end(), textures.begin(), textures.end());
    }
}

const Vector3 kHouseMin(-4.f, 0.f, -3.f);
const Vector3 kHouseMax(4.f, 5.f, 3.f);

Sample houseSample(const std::string& folder, const std::string& name) {
    return cleanSample(folder, name, kHouseMin, kHouseMax);
}

// A registered destructible object: each undamaged material has a number of
// its own, which is what ties it to a module of the registry entry.
Sample destructibleSample(const std::string& folder, const std::string& name) {
    Sample sample = houseSample(folder, name);
    for (Lod& lod : sample.lods) {
        lod.materials[1].identifier = "n_wood_02";
    }
    return sample;
}

// No folder above a LOD folder may contain "lod": the LOD chain takes the
// first "lod" of a parent path for the start of its LOD folder name.
std::vector<Sample> allSamples() {
    std::vector<Sample> samples;
    samples.push_back(destructibleSample("content/buildings/house01", "house01"));

    samples.push_back(houseSample("content/samples/digit_filename", "1barrel"));

    Sample caseTypo = houseSample("content/samples/parent_case_typo", "tower");
    caseTypo.lods[0].parent = caseTypo.folder + "/normal/lod1/Tower.model";
    samples.push_back(caseTypo);

    Sample skyBox = cleanSample("content/samples/skybox_shader", "dome", Vector3(-50.f, 0.f, -50.f),
                                Vector3(50.f, 50.f, 50.f));
    for (Lod& lod : skyBox.lods) {
        for (MaterialLayout& m : lod.materials) {
            m.fx = kSkyBoxShader;
        }
    }
    samples.push_back(skyBox);

    Sample fence = cleanSample("content/gatesandfences/wooden_fence", "wooden_fence",
                               Vector3(-5.f, 0.f, -0.1f), Vector3(5.f, 1.2f, 0.1f));
    for (Lod& lod : fence.lods) {
        lod.materials = {material("n_wood_01", kWood, 0)};
        lod.collision.reset();
    }
    samples.push_back(fence);

    Sample allCollisions = houseSample("content/samples/bsp_all_collisions", "bunker");
    for (Lod& lod : allCollisions.lods) {
        lod.materials[0].collisionFlags = kAllCollisions;
    }
    samples.push_back(allCollisions);

    Sample allPresets = houseSample("content/samples/decor_all_presets", "hedge");
    Sample invalidDecor = houseSample("content/samples/decor_invalid", "bush");
    for (size_t i = 0; i < 3; ++i) {
        allPresets.lods[i].decorative = kAllDecorPresets;
        invalidDecor.lods[i].decorative = kTwoDecorKinds;
    }
    samples.push_back(allPresets);
    samples.push_back(invalidDecor);

    Sample nodeTree = houseSample("content/samples/node_tree_mismatch", "kiosk");
    nodeTree.lods[1].nodes[0].children.push_back(
        NodeLayout{"Awning", translation(Vector3(kHouseMax.x, 3.f, 0.f)), {}});
    samples.push_back(nodeTree);

    // lod1 ends the chain; lod2 is a leftover of an earlier export.
    Sample disconnected = houseSample("content/samples/disconnected_copy", "shed");
    disconnected.lods[1].parent = "";
    disconnected.lods[2].collision.reset();
    samples.push_back(disconnected);

    Sample staleBox = houseSample("content/samples/stale_bounding_box", "silo");
    staleBox.lods[0].storedBox = AABB(kHouseMin, kHouseMax + Vector3(0.f, 1.f, 0.f));
    samples.push_back(staleBox);

    // Every LOD is as coarse as its collision box, lod1 collides through a
    // finer box, and the EU copy of the lod0 primitives carries that finer box.
    Sample bspCounts = houseSample("content/samples/bsp_triangle_counts", "rock");
    for (Lod& lod : bspCounts.lods) {
        lod.mesh = AssetWriters::makeGridBox(kHouseMin, kHouseMax, 1);
    }
    bspCounts.lods[1].collision = AssetWriters::makeGridBox(kHouseMin, kHouseMax, 2);
    bspCounts.extra = [](const std::string& root, const Sample& sample, std::string* error) {
        const std::string realmCopy =
            root + "/" + FS::Utils::removeExtension(sample.modelPath(0)) + ".EU.primitives";
        return primitivesWithCollision(sample.lods[0], AssetWriters::makeGridBox(sample.min, sample.max, 2))
            .write(realmCopy, error);
    };
    samples.push_back(bspCounts);

    Sample hardpoints = houseSample("content/samples/hardpoint_names", "depot");
    for (Lod& lod : hardpoints.lods) {
        lod.nodes[0].children[0].identifier = "HP_gun";
        lod.nodes[0].children[1].identifier = "HP_module_5";
    }
    samples.push_back(hardpoints);

    using AssetWriters::PropertyLayout;
    // 80 texels wide: no power of two, while its 7 levels are what the mip rule wants.
    Sample oddSize = houseSample("content/samples/texture_not_power_of_two", "hut");
    const std::string hutAlbedo = oddSize.folder + "/maps/hut_AM.dds";
    setTextures(oddSize, {0, 1, 2}, {PropertyLayout::texture("diffuseMap", hutAlbedo)});
    oddSize.extra = textureFiles({{hutAlbedo, 80, 64}});
    samples.push_back(oddSize);

    Sample missing = houseSample("content/samples/missing_texture", "shack");
    setTextures(missing, {0, 1, 2},
                {PropertyLayout::texture("diffuseMap", missing.folder + "/maps/shack_AM.dds")});
    samples.push_back(missing);

    Sample caseTexture = houseSample("content/samples/texture_case_typo", "cabin");
    setTextures(caseTexture, {0, 1, 2},
                {PropertyLayout::texture("diffuseMap", caseTexture.folder + "/maps/Cabin_AM.dds")});
    caseTexture.extra = textureFiles({{caseTexture.folder + "/maps/cabin_AM.dds", 64, 64}});
    samples.push_back(caseTexture);

    // The metallic-gloss map as large as the albedo map.
    Sample ratio = houseSample("content/samples/metallic_albedo_ratio", "garage");
    const std::string garageAlbedo = ratio.folder + "/maps/garage_AM.dds";
    const std::string garageMetallic = ratio.folder + "/maps/garage_GMM.dds";
    setTextures(ratio, {0, 1, 2},
                {PropertyLayout::texture("diffuseMap", garageAlbedo),
                 PropertyLayout::texture("metallicGlossMap", garageMetallic)});
    ratio.extra = textureFiles({{garageAlbedo, 64, 64}, {garageMetallic, 64, 64}});
    samples.push_back(ratio);

    // lod1 and lod2 use a reduced albedo map, but one far above 512 texels wide.
    Sample reduced = houseSample("content/samples/reduced_textures", "barn");
    const std::string barnAlbedo = reduced.folder + "/maps/barn_AM.dds";
    const std::string barnReduced = reduced.folder + "/maps/barn_BAM.dds";
    setTextures(reduced, {0}, {PropertyLayout::texture("diffuseMap", barnAlbedo)});
    setTextures(reduced, {1, 2}, {PropertyLayout::texture("diffuseMap", barnReduced)});
    reduced.extra = textureFiles({{barnAlbedo, 64, 64}, {barnReduced, 1024, 4}});
    samples.push_back(reduced);

    // A normal map whose red channel is dark, on a material that lod0's physics model uses.
    Sample redChannel = houseSample("content/samples/normal_map_red_channel", "mill");
    const std::string millNormal = redChannel.folder + "/maps/mill_ANM.dds";
    setTextures(redChannel, {0, 1, 2}, {PropertyLayout::texture("normalMap", millNormal)});
    redChannel.extra = textureFiles({{millNormal, 8, 8, Render::RF_BC3_UNORM, {100, 128, 255, 255}}},
                                    {redChannel.folder + "/normal/lod0/havok/mill__n_stone_01.hkt.model"});
    samples.push_back(redChannel);
    // lod1 gives n_wood_01 the stone kind; lod0 alone has n_plaster_01, which
    // has no kind and is in lod0's collision tree.
    Sample kinds = houseSample("content/samples/material_kinds", "hall");
    kinds.lods[1].materials[1].materialKind = kStone;
    kinds.lods[0].materials.push_back(material("n_plaster_01", 0, kSolid));
    samples.push_back(kinds);

    // The awning is tinted red in lod0 and lod1 but orange in lod2.
    Sample tint = houseSample("content/samples/tint_colours", "awning");
    for (size_t i = 0; i < tint.lods.size(); ++i) {
        const Vector4 colour = i < 2 ? Vector4(0.8f, 0.2f, 0.2f, 1.f) : Vector4(0.8f, 0.5f, 0.2f, 1.f);
        tint.lods[i].materials[1].properties.push_back(
            AssetWriters::PropertyLayout::boolean("g_useTintColor", true));
        tint.lods[i].materials[1].properties.push_back(
            AssetWriters::PropertyLayout::vector4("g_tintColor", colour));
    }
    samples.push_back(tint);

    // Geometry exported without tangents under an effect that maps normals.
    Sample unbumped = houseSample("content/samples/unbumped_geometry", "lamp");
    for (Lod& lod : unbumped.lods) {
        lod.mesh = withoutTangents(lod.mesh);
        for (MaterialLayout& m : lod.materials) {
            m.fx = unbumped.folder + "/shaders/lamp_lit.fx";
        }
    }
    unbumped.extra = [](const std::string& root, const Sample& sample, std::string* error) {
        const std::string shaders = root + "/" + sample.folder + "/shaders/";
        return AssetWriters::writeFile(shaders + "lamp_lit.fx", kBumpedEffectSource, error) &&
               AssetWriters::writeFile(shaders + "lamp_inputs.fxh", kBumpedEffectInputs, error);
    };
    samples.push_back(unbumped);

    // A model file beside the LOD folders and a physics model in lod1.
    Sample misplaced = houseSample("content/samples/misplaced_files", "barn");
    misplaced.extra = [](const std::string& root, const Sample& sample, std::string* error) {
        const std::string model = readSampleFile(root + "/" + sample.modelPath(0));
        return AssetWriters::writeFile(root + "/" + sample.folder + "/normal/barn_old.model", model, error) &&
               AssetWriters::writeFile(root + "/" + sample.folder +
                                           "/normal/lod1/havok/barn__n_stone_01.hkt.model",
                                       model, error);
    };
    samples.push_back(misplaced);

    // A texture no visual names, and a copy of lod0's primitives beside it.
    Sample leftovers = houseSample("content/samples/leftover_files", "garage");
    leftovers.extra = [](const std::string& root, const Sample& sample, std::string* error) {
        const std::string primitives = primitivesDiskPath(root, sample.modelPath(0));
        const AssetWriters::WriteResult texture = AssetWriters::writeDDS(
            root + "/" + sample.folder + "/garage_old_AM.dds", 4, 4, Render::RF_BC1_UNORM,
            AssetWriters::makeSolidImage(4, 4, {128, 128, 128, 255}));
        if (!texture) {
            if (error) {
                *error = texture.reason;
            }
            return false;
        }
        return AssetWriters::writeFile(FS::Utils::getDirectory(primitives) + "garage_backup.primitives",
                                       readSampleFile(primitives), error);
    };
    samples.push_back(leftovers);

    // Destructible objects. The registries themselves are written by
    // writeRegistries below.
    samples.push_back(houseSample(kUnregisteredFolder, "hangar"));
    samples.push_back(destructibleSample(kModulesFolder, "warehouse"));
    Sample falling = destructibleSample(kFallingFolder, "lantern");
    for (Lod& lod : falling.lods) {
        lod.materials[1].collisionFlags = 3;
    }
    samples.push_back(falling);

    // lod1 declares its visual node-full while lod0 and lod2 are node-less.
    Sample mixedTags = houseSample("content/samples/mixed_visual_tags", "booth");
    mixedTags.extra = [](const std::string& root, const Sample& sample, std::string* error) {
        return replaceInFile(root + "/" + sample.modelPath(1), "nodelessVisual", "nodefullVisual", error);
    };
    samples.push_back(mixedTags);

    // Root tags that start with a digit, as an old exporter wrote them: not
    // XML until `model-validator fix-tags` renames them.
    Sample digitTags = houseSample("content/samples/digit_root_tag", "2kiosk");
    digitTags.extra = [](const std::string& root, const Sample& sample, std::string* error) {
        for (size_t lod = 0; lod < sample.lods.size(); ++lod) {
            const std::string base = root + "/" + FS::Utils::removeExtension(sample.modelPath(lod));
            if (!replaceInFile(base + ".model", "_2kiosk.model>", "2kiosk.model>", error) ||
                !replaceInFile(base + ".visual", "_2kiosk.visual>", "2kiosk.visual>", error)) {
                return false;
            }
        }
        return true;
    };
    samples.push_back(digitTags);
    return samples;
}

// A registry line per module: its hardpoint, undamaged material and effect.
std::string moduleXml(const std::string& hardpoint, const std::string& material, const std::string& effect) {
    return "\t\t\t\t<module>\n\t\t\t\t\t<effectHP>" + hardpoint + "</effectHP>\n\t\t\t\t\t<matName>" +
           material + "</matName>\n\t\t\t\t\t<decayEffect>" + effect + "</decayEffect>\n\t\t\t\t</module>\n";
}

std::string entryXml(const std::string& model, const std::string& modules) {
    return "\t\t<entry>\n\t\t\t<filename>" + model + "</filename>\n\t\t\t<modules>\n" + modules +
           "\t\t\t</modules>\n\t\t</entry>\n";
}

// The shared registries: the clean house and the destructible samples are
// registered; every other sample with module hardpoints is a map activity,
// so that it shows only what it was made for.
bool writeRegistries(const std::string& root, const std::vector<Sample>& samples, std::string* error) {
    const std::string cleanModules =
        moduleXml("HP_module1", "stone_01", "dust_stone") + moduleXml("HP_module2", "wood_02", "dust_wood");
    std::string house, modules, falling;
    std::string activities;
    for (const Sample& sample : samples) {
        const std::string lod0 = sample.modelPath(0);
        if (sample.folder == "content/buildings/house01") {
            house = lod0;
        } else if (sample.folder == kModulesFolder) {
            modules = lod0;
        } else if (sample.folder == kFallingFolder) {
            falling = lod0;
        } else if (sample.folder != kUnregisteredFolder) {
            activities += "\t\t<activity>\n\t\t\t<model>" + lod0 + "</model>\n\t\t</activity>\n";
        }
    }
    // The modules sample: no module for HP_module2 and n_wood_01, two for
    // n_stone_01, and an effect the effects registry does not describe.
    const std::string brokenModules = moduleXml("HP_module1", "stone_01", "sparks_blue") +
                                      moduleXml("HP_module3", "stone_01", "dust_stone");
    const std::string destructibles =
        "<destructibles.xml>\n\t<fallingAtoms>\n" + entryXml(falling, cleanModules) +
        "\t</fallingAtoms>\n\t<fragiles/>\n\t<structures>\n" + entryXml(house, cleanModules) +
        entryXml(modules, brokenModules) + entryXml(falling, cleanModules) +
        "\t</structures>\n</destructibles.xml>\n";
    const std::string effects =
        "<destructibles_effects.xml>\n\t<fallingAtoms/>\n\t<fragiles/>\n\t<structures>\n"
        "\t\t<dust_stone/>\n\t\t<dust_wood/>\n\t</structures>\n"
        "</destructibles_effects.xml>\n";
    const std::string environment = "<environment_effects.xml>\n\t<mapActivities>\n" + activities +
                                    "\t</mapActivities>\n</environment_effects.xml>\n";
    return AssetWriters::writeFile(root + "/scripts/destructibles.xml", destructibles, error) &&
           AssetWriters::writeFile(root + "/scripts/destructibles_effects.xml", effects, error) &&
           AssetWriters::writeFile(root + "/scripts/environment_effects.xml", environment, error);
}

} // namespace

bool writeSamples(const std::string& root, std::string* error) {
    const std::vector<Sample> samples = allSamples();
    for (const Sample& sample : samples) {
        if (!writeSample(root, sample, error)) {
            return false;
        }
    }
    if (!writeVehicleTextures(root, error)) {
        return false;
    }
    for (const VehicleSample& vehicle : vehicleSamples()) {
        if (!writeVehicle(root, vehicle, error)) {
            return false;
        }
    }
    return writeRegistries(root, samples, error);
}

} // namespace KX::Samples
