#include "content_tree.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "engine/asset_writers/geometry_writer.h"
#include "engine/asset_writers/texture_writer.h"
#include "engine/core/format.h"
#include "engine/resource/file_system.h"

namespace KX::Bench {

namespace {

using AssetWriters::MaterialLayout;
using AssetWriters::Mesh;
using AssetWriters::NodeLayout;
using AssetWriters::PropertyLayout;

const std::string kShader = "shaders/std_effects/PBS_ext.fx";
constexpr unsigned kWood = 11;
constexpr unsigned kStone = 12;
constexpr unsigned kSolid = 131;

const char* const kCategories[] = {"buildings", "rocks", "fences", "industrial", "military", "rural", "signs",
                                   "bridges",   "ruins", "trees",  "harbour",    "railway",  "props"};
const char* const kGroups[] = {"fallingAtoms", "fragiles", "structures"};
const char* const kEffects[] = {"dust_small", "dust_large", "sparks", "debris_wood", "debris_stone", "glass"};

// The kinds the materials use, as the game's table lists them.
const std::string kMaterialKinds = "<material_kinds.xml>\n"
                                   "\t<kind><id>0</id><desc>none</desc></kind>\n"
                                   "\t<kind><id>11</id><desc>wood</desc></kind>\n"
                                   "\t<kind><id>12</id><desc>stone</desc></kind>\n"
                                   "\t<kind><id>13</id><desc>metal</desc></kind>\n"
                                   "</material_kinds.xml>\n";

// Texture sets shared by many models, as a content library shares its maps:
// an albedo, a normal and a metallic-gloss map (half the albedo's size).
struct TextureSet {
    std::string albedo, normal, metallic;
    uint32_t size = 0;
};

std::vector<TextureSet> textureSets() {
    const uint32_t sizes[] = {256, 512, 1024, 2048, 512, 256, 1024, 512};
    std::vector<TextureSet> sets;
    for (size_t i = 0; i < std::size(sizes); ++i) {
        const std::string base = formatString("content/shared/maps/set%02zu", i);
        sets.push_back({base + "_AM.dds", base + "_ANM.dds", base + "_GMM.dds", sizes[i]});
    }
    return sets;
}

bool writeTextures(const std::string& root, const TextureSet& set, std::string* error) {
    const uint32_t normalSize = std::min<uint32_t>(set.size, 1024);
    const struct {
        const std::string& path;
        uint32_t size;
        Render::ResourceFormat format;
        AssetWriters::Colour colour;
    } files[] = {{set.albedo, set.size, Render::RF_BC1_UNORM, {150, 120, 90, 255}},
                 {set.normal, normalSize, Render::RF_BC3_UNORM, {250, 128, 255, 255}},
                 {set.metallic, set.size / 2, Render::RF_BC1_UNORM, {40, 200, 0, 255}}};
    for (const auto& f : files) {
        const AssetWriters::WriteResult written =
            AssetWriters::writeDDS(root + "/" + f.path, f.size, f.size, f.format,
                                   AssetWriters::makeSolidImage(f.size, f.size, f.colour));
        if (!written) {
            *error = f.path + ": " + written.reason;
            return false;
        }
    }
    return true;
}

// What makes a model one of the defective fifth; the clean ones have none.
enum class Defect {
    None,
    StaleBoundingBox,
    HardpointName,
    MissingTexture,
    TextureCaseTypo,
    LeftoverLod,
    ExtraNode,
    KindMismatch,
    NoCollisionFlags,
};
constexpr int kDefectKinds = 8;

struct ModelPlan {
    std::string category; // resource path of the category folder
    std::string name;
    int lods = 4;
    bool destructible = false;
    bool mapActivity = false; // module hardpoints, known as a map activity
    bool realmCopy = false;
    Defect defect = Defect::None;
    const TextureSet* textures = nullptr;

    std::string folder() const { return category + "/" + name; }
    std::string modelPath(const std::string& state, int lod) const {
        return folder() + "/" + state + "/lod" + std::to_string(lod) + "/" + name + ".model";
    }
    bool hasModules() const { return destructible || mapActivity; }
};

std::vector<ModelPlan> planModels(const TreeShape& shape, const std::vector<TextureSet>& sets) {
    std::vector<ModelPlan> plans;
    for (int i = 0; i < shape.models; ++i) {
        const int categoryIndex = i / shape.modelsPerCategory;
        ModelPlan plan;
        plan.category = formatString("content/%s_%02d", kCategories[categoryIndex % std::size(kCategories)],
                                     categoryIndex / static_cast<int>(std::size(kCategories)));
        plan.name = formatString("%s_%05d", kCategories[static_cast<size_t>(i) % std::size(kCategories)], i);
        plan.lods = i % 3 == 0 ? 3 : 4;
        plan.destructible = i % 4 == 1;
        plan.mapActivity = !plan.destructible && i % 50 == 2 && i < 500;
        plan.realmCopy = i % 10 == 3;
        if (i % 5 == 4) {
            plan.defect = static_cast<Defect>(1 + (i / 5) % kDefectKinds);
        }
        plan.textures = &sets[static_cast<size_t>(i * 7 + i / 3) % sets.size()];
        plans.push_back(std::move(plan));
    }
    return plans;
}

Matrix translation(const Vector3& offset) {
    Matrix m = Matrix::identity();
    m.setRow3(3, offset);
    return m;
}

Mesh splitInto(Mesh mesh, size_t groups) {
    AssetWriters::splitGroups(mesh, groups);
    return mesh;
}

std::vector<MaterialLayout> materialsOf(const ModelPlan& plan, const std::string& state, int lod) {
    const TextureSet& t = *plan.textures;
    std::string albedo = t.albedo;
    if (plan.defect == Defect::MissingTexture) {
        albedo = plan.folder() + "/maps/" + plan.name + "_AM.dds";
    } else if (plan.defect == Defect::TextureCaseTypo) {
        // The disk spells the file name in lower case.
        albedo.replace(albedo.rfind("/set"), 4, "/Set");
    }
    const std::vector<PropertyLayout> maps{PropertyLayout::texture("diffuseMap", albedo),
                                           PropertyLayout::texture("normalMap", t.normal),
                                           PropertyLayout::texture("metallicGlossMap", t.metallic),
                                           PropertyLayout::boolean("alphaTestEnable", false)};
    const std::string prefix = state == "crash" ? "d_" : "n_";
    const unsigned flags = plan.defect == Defect::NoCollisionFlags ? 0u : kSolid;
    unsigned woodKind = kWood;
    if (plan.defect == Defect::KindMismatch && lod == 1) {
        woodKind = kStone;
    }
    return {MaterialLayout{prefix + "stone_01", kShader, kStone, flags, maps},
            MaterialLayout{prefix + "wood_02",
                           kShader,
                           woodKind,
                           flags,
                           {PropertyLayout::boolean("alphaTestEnable", false)}}};
}

std::vector<NodeLayout> nodesOf(const ModelPlan& plan, const std::string& state, const Vector3& min,
                                const Vector3& max, int lod) {
    NodeLayout root{"Scene Root", Matrix::identity(), {}};
    const Vector3 centre = (min + max) * 0.5f;
    // Modules belong to the undamaged object; its crash state has none.
    if (plan.hasModules() && state == "normal") {
        root.children.push_back({"HP_module1", translation(Vector3(centre.x, max.y, centre.z)), {}});
        root.children.push_back({"HP_module2", translation(Vector3(max.x, min.y, centre.z)), {}});
    }
    if (plan.defect == Defect::HardpointName) {
        root.children.push_back({"HP_gun", translation(Vector3(min.x, max.y, centre.z)), {}});
    }
    if (plan.defect == Defect::ExtraNode && lod == 1) {
        root.children.push_back({"Awning", translation(Vector3(max.x, 3.f, 0.f)), {}});
    }
    return {root};
}

bool writeLod(const std::string& root, const ModelPlan& plan, const std::string& state, int lod, int lods,
              std::string* error) {
    // Sizes vary from model to model so that folders do not hold copies.
    const float scale = 1.f + static_cast<float>(plan.name.size() % 7) * 0.25f +
                        static_cast<float>(std::hash<std::string>{}(plan.name) % 97) * 0.01f;
    const Vector3 min(-4.f * scale, 0.f, -3.f * scale), max(4.f * scale, 5.f * scale, 3.f * scale);
    const int divisions[] = {10, 5, 3, 1};
    const float extents[] = {60.f, 150.f, 400.f, 1000.f};

    AssetWriters::SimpleModelLayout layout;
    layout.materials = materialsOf(plan, state, lod);
    layout.mesh = splitInto(AssetWriters::makeGridBox(min, max, divisions[lod]), layout.materials.size());
    layout.collision = false;
    layout.nodes = nodesOf(plan, state, min, max, lod);
    const bool leftover = plan.defect == Defect::LeftoverLod && lod == lods - 1;
    layout.parent = lod + 1 < lods && !(plan.defect == Defect::LeftoverLod && lod + 2 == lods)
                        ? plan.modelPath(state, lod + 1)
                        : std::string();
    layout.extent = extents[lod];
    layout.decorative = 0;
    if (plan.defect == Defect::StaleBoundingBox && lod == 0) {
        layout.boundingBox = AABB(min, max + Vector3(0.f, 1.f, 0.f));
    }
    const std::string modelPath = plan.modelPath(state, lod);
    if (!AssetWriters::writeSimpleModel(root, modelPath, layout, error)) {
        return false;
    }
    if (leftover) {
        return true; // a leftover of an earlier export: no collision tree
    }
    // The collision tree comes from a coarser box, as exporters write it.
    AssetWriters::PrimitivesWriter primitives;
    primitives.mesh(layout.mesh);
    primitives.bsp(
        AssetWriters::collisionTriangles(
            splitInto(AssetWriters::makeGridBox(min, max, 1), layout.materials.size()), layout.materials),
        AssetWriters::materialIdentifiers(layout.materials));
    const std::string base = root + "/" + FS::Utils::removeExtension(modelPath);
    if (!primitives.write(base + ".primitives", error)) {
        return false;
    }
    if (!(plan.realmCopy && lod == 0 && state == "normal")) {
        return true;
    }
    // The realm's copy is finer but collides the same.
    AssetWriters::PrimitivesWriter realm;
    realm.mesh(splitInto(AssetWriters::makeGridBox(min, max, divisions[lod] + 2), layout.materials.size()));
    realm.bsp(
        AssetWriters::collisionTriangles(
            splitInto(AssetWriters::makeGridBox(min, max, 1), layout.materials.size()), layout.materials),
        AssetWriters::materialIdentifiers(layout.materials));
    return realm.write(base + ".EU.primitives", error);
}

bool writeHavokFiles(const std::string& root, const ModelPlan& plan, std::string* error) {
    const std::string folder = root + "/" + plan.folder() + "/normal/lod0/havok/";
    for (const MaterialLayout& m : materialsOf(plan, "normal", 0)) {
        for (const char* ending : {".hkt", ".hkt.model", ".hkt.visual", ".hkt.primitives"}) {
            if (!AssetWriters::writeFile(folder + plan.name + "__" + m.identifier + ending, "<root/>\n",
                                         error)) {
                return false;
            }
        }
    }
    return true;
}

bool writeModel(const std::string& root, const ModelPlan& plan, std::string* error) {
    for (int lod = 0; lod < plan.lods; ++lod) {
        if (!writeLod(root, plan, "normal", lod, plan.lods, error)) {
            return false;
        }
    }
    if (plan.destructible) {
        for (int lod = 0; lod < 3; ++lod) {
            if (!writeLod(root, plan, "crash", lod, 3, error)) {
                return false;
            }
        }
        if (!writeHavokFiles(root, plan, error)) {
            return false;
        }
    }
    return true;
}

std::string destructiblesXml(const std::vector<ModelPlan>& plans) {
    std::string groups[3];
    size_t next = 0;
    for (const ModelPlan& plan : plans) {
        if (!plan.destructible) {
            continue;
        }
        const size_t group = next++ % 3;
        const char* effect = kEffects[next % std::size(kEffects)];
        std::string& out = groups[group];
        out +=
            "\t\t<entry>\n\t\t\t<filename>" + plan.modelPath("normal", 0) + "</filename>\n\t\t\t<modules>\n";
        const struct {
            const char* hardpoint;
            const char* material;
        } modules[] = {{"HP_module1", "stone_01"}, {"HP_module2", "wood_02"}};
        for (const auto& m : modules) {
            out += formatString("\t\t\t\t<module>\n\t\t\t\t\t<effectHP>%s</effectHP>\n"
                                "\t\t\t\t\t<matName>%s</matName>\n"
                                "\t\t\t\t\t<decayEffect>%s</decayEffect>\n"
                                "\t\t\t\t\t<ramEffect>none</ramEffect>\n"
                                "\t\t\t\t\t<hitEffect>%s</hitEffect>\n\t\t\t\t</module>\n",
                                m.hardpoint, m.material, effect, kEffects[0]);
        }
        out += "\t\t\t</modules>\n\t\t</entry>\n";
    }
    std::string xml = "<destructibles.xml>\n";
    for (size_t g = 0; g < 3; ++g) {
        xml += std::string("\t<") + kGroups[g] + ">\n" + groups[g] + "\t</" + kGroups[g] + ">\n";
    }
    return xml + "</destructibles.xml>\n";
}

std::string effectsXml() {
    std::string xml = "<destructibles_effects.xml>\n";
    for (const char* group : kGroups) {
        xml += std::string("\t<") + group + ">\n";
        for (const char* effect : kEffects) {
            xml += std::string("\t\t<") + effect + ">\n\t\t\t<particles>particles/" + effect +
                   ".xml</particles>\n\t\t</" + effect + ">\n";
        }
        xml += std::string("\t</") + group + ">\n";
    }
    return xml + "</destructibles_effects.xml>\n";
}

std::string environmentXml(const std::vector<ModelPlan>& plans) {
    std::string xml = "<environment_effects.xml>\n\t<mapActivities>\n";
    for (const ModelPlan& plan : plans) {
        if (plan.mapActivity) {
            xml += "\t\t<activity>\n\t\t\t<model>" + plan.modelPath("normal", 0) +
                   "</model>\n\t\t\t<effect>smoke</effect>\n\t\t</activity>\n";
        }
    }
    return xml + "\t</mapActivities>\n\t<weather>\n\t\t<rain>0.2</rain>\n\t</weather>\n</"
                 "environment_effects.xml>\n";
}

} // namespace

bool writeContentTree(const std::string& root, const TreeShape& shape, std::string* error) {
    const std::vector<TextureSet> sets = textureSets();
    for (const TextureSet& set : sets) {
        if (!writeTextures(root, set, error)) {
            return false;
        }
    }
    const std::vector<ModelPlan> plans = planModels(shape, sets);
    for (const ModelPlan& plan : plans) {
        if (!writeModel(root, plan, error)) {
            return false;
        }
    }
    return AssetWriters::writeFile(root + "/system/data/material_kinds.xml", kMaterialKinds, error) &&
           AssetWriters::writeFile(root + "/scripts/destructibles.xml", destructiblesXml(plans), error) &&
           AssetWriters::writeFile(root + "/scripts/destructibles_effects.xml", effectsXml(), error) &&
           AssetWriters::writeFile(root + "/scripts/environment_effects.xml", environmentXml(plans), error);
}

} // namespace KX::Bench
