#include "vehicle_samples.h"

#include <filesystem>

#include "engine/asset_writers/texture_writer.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"

namespace KX::Samples {

namespace {

using AssetWriters::MaterialLayout;
using AssetWriters::Mesh;
using AssetWriters::NodeLayout;
using AssetWriters::PropertyLayout;

const std::string kMaps = "vehicles/maps/";
const std::string kDetailMap = "vehicles/russian/tank_detail/details_map.dds";
const std::string kCrashTile = "vehicles/russian/tank_detail/crash_tile.dds";
const std::string kShaders = "shaders/std_effects/";
// The normal map is 512 texels a side: the detail map repeats twice.
constexpr float kDetailTiling = 2.f;
// Kinds of system/data/material_kinds.xml whose description names the material.
constexpr unsigned kFrontArmour = 20;
constexpr unsigned kGunBarrel = 21;
constexpr unsigned kAllCollisions = 255;

struct SharedTexture {
    const char* postfix;
    uint32_t side;
    Render::ResourceFormat format;
    AssetWriters::Colour colour;
};

// Red 255 all over the normal map: no alpha mask, as the materials do no alpha test.
const SharedTexture kTextures[] = {
    {"GMM", 512, Render::RF_BC1_UNORM, {90, 90, 90, 255}},
    {"ANM", 512, Render::RF_BC3_UNORM, {255, 128, 255, 255}},
    {"AM", 512, Render::RF_BC1_UNORM, {80, 96, 64, 255}},
    {"AO", 256, Render::RF_BC3_UNORM, {255, 255, 255, 255}},
};

Matrix translation(const Vector3& offset) {
    Matrix m = Matrix::identity();
    m.setRow3(3, offset);
    return m;
}

// Skinned effects read three bone indices and two weights per vertex; every
// vertex hangs on bone 0.
Mesh skinned(Mesh mesh) {
    const size_t count = mesh.vertices.size();
    mesh.vertices.bonesPerVertex = 3;
    mesh.vertices.weightsPerVertex = 2;
    mesh.vertices.boneIndices.assign(count * 3, 0);
    mesh.vertices.boneWeights.assign(count * 2, 0);
    for (size_t i = 0; i < count; ++i) {
        mesh.vertices.boneWeights[i * 2] = 255;
    }
    return mesh;
}

Mesh box(const Vector3& min, const Vector3& max, bool skin) {
    Mesh mesh = AssetWriters::makeBox(min, max);
    AssetWriters::addTangentFrames(mesh);
    return skin ? skinned(mesh) : mesh;
}

// A component material with the shared texture set; LOD 0 and 1 of intact
// components carry the detail map, destroyed ones the crash tile.
MaterialLayout material(const std::string& identifier, const std::string& fx, bool near, bool crash) {
    MaterialLayout m{identifier, kShaders + fx, {}, {}, {}};
    m.properties = {PropertyLayout::texture("metallicGlossMap", vehicleTexture("GMM")),
                    PropertyLayout::texture("normalMap", vehicleTexture("ANM")),
                    PropertyLayout::texture("diffuseMap", vehicleTexture("AM")),
                    PropertyLayout::texture("excludeMaskAndAOMap", vehicleTexture("AO")),
                    PropertyLayout::boolean("alphaTestEnable", false)};
    if (near && !crash) {
        m.properties.push_back(PropertyLayout::boolean("g_useDetail", true));
        m.properties.push_back(PropertyLayout::texture("g_detailMap", kDetailMap));
        m.properties.push_back(
            PropertyLayout::vector4("g_detailTiling", Vector4(kDetailTiling, kDetailTiling, 0.f, 0.f)));
    }
    if (crash) {
        m.properties.push_back(PropertyLayout::texture("crashTileMap", kCrashTile));
    }
    return m;
}

struct ComponentShape {
    const char* name;
    Vector3 min, max;
    const char* material;
    const char* fx;      // intact
    const char* crashFx; // destroyed
    bool skinned;
    std::vector<int> lods;
    std::vector<float> extents; // of every LOD but the last
    const char* hardpoint;
};

// Big components switch at 64 and 128 m and go straight to the far LOD;
// the gun uses every LOD at the short distances.
const ComponentShape kShapes[] = {
    {"Chassis",
     {-1.6f, 0.f, -3.2f},
     {1.6f, 0.8f, 3.2f},
     "running_gear_01",
     "PBS_tank_skinned.fx",
     "PBS_tank_skinned.fx",
     true,
     {0, 1, 4},
     {64.f, 128.f},
     "HP_Track_L"},
    {"Hull",
     {-1.5f, 0.5f, -3.f},
     {1.5f, 1.5f, 3.f},
     "hull_01",
     "PBS_tank.fx",
     "PBS_tank_crash.fx",
     false,
     {0, 1, 4},
     {64.f, 128.f},
     "HP_turretJoint"},
    {"Turret",
     {-1.f, 1.5f, -1.2f},
     {1.f, 2.2f, 1.2f},
     "turret_01",
     "PBS_tank.fx",
     "PBS_tank_crash.fx",
     false,
     {0, 1, 4},
     {64.f, 128.f},
     "HP_gunJoint"},
    {"Gun",
     {-0.1f, 1.7f, 1.2f},
     {0.1f, 1.9f, 4.5f},
     "gun_01",
     "PBS_tank_skinned.fx",
     "PBS_tank_crash.fx",
     true,
     {0, 1, 2, 3, 4},
     {32.f, 64.f, 96.f, 192.f},
     "HP_gunFire"},
};

VehicleModel componentModel(const ComponentShape& shape, const std::string& state) {
    const bool crash = state == "crash";
    const std::vector<NodeLayout> nodes{
        NodeLayout{"Scene Root",
                   Matrix::identity(),
                   {NodeLayout{shape.hardpoint, translation((shape.min + shape.max) * 0.5f), {}},
                    NodeLayout{std::string("V_") + shape.name, Matrix::identity(), {}}}}};
    VehicleModel model{shape.name, state, {}};
    for (size_t i = 0; i < shape.lods.size(); ++i) {
        VehicleLod lod;
        lod.number = shape.lods[i];
        // Destroyed guns are not animated any more.
        lod.mesh = box(shape.min, shape.max, shape.skinned && !crash);
        lod.materials = {material(shape.material, crash ? shape.crashFx : shape.fx, lod.number <= 1, crash)};
        lod.nodes = nodes;
        if (i < shape.extents.size()) {
            lod.extent = shape.extents[i];
        }
        lod.visibilityBox = AABB(shape.min, shape.max);
        model.lods.push_back(std::move(lod));
    }
    return model;
}

// Collision models name their materials after their kinds.
VehicleModel collisionModel(const ComponentShape& shape, const std::string& identifier, unsigned kind) {
    VehicleLod lod;
    lod.mesh = AssetWriters::makeBox(shape.min, shape.max);
    lod.materials = {
        MaterialLayout{identifier, "", kind, kAllCollisions, {PropertyLayout::boolean("x", false)}}};
    lod.nodes = {NodeLayout{"Scene Root", Matrix::identity(), {}}};
    return VehicleModel{shape.name, "collision", {lod}};
}

const ComponentShape& shape(const std::string& name) {
    for (const ComponentShape& s : kShapes) {
        if (name == s.name) {
            return s;
        }
    }
    return kShapes[0];
}

} // namespace

VehicleLod& VehicleModel::lod(int number) {
    for (VehicleLod& l : lods) {
        if (l.number == number) {
            return l;
        }
    }
    return lods.front();
}

VehicleModel& VehicleSample::model(const std::string& name, const std::string& state) {
    for (VehicleModel& m : models) {
        if (m.name == name && m.state == state) {
            return m;
        }
    }
    return models.front();
}

std::string VehicleSample::modelPath(const VehicleModel& model, size_t lodIndex) const {
    if (model.state == "collision") {
        return folder + "/collision/" + model.name + ".model";
    }
    return folder + "/" + model.state + "/lod" + std::to_string(model.lods[lodIndex].number) + "/" +
           model.name + ".model";
}

std::string vehicleTexture(const std::string& postfix) {
    return kMaps + "vehicle_" + postfix + ".dds";
}

VehicleSample cleanVehicle(const std::string& folder) {
    VehicleSample vehicle{folder, {}};
    for (const ComponentShape& s : kShapes) {
        vehicle.models.push_back(componentModel(s, "normal"));
    }
    vehicle.models.push_back(componentModel(shape("Hull"), "crash"));
    vehicle.models.push_back(collisionModel(shape("Hull"), "armor_front", kFrontArmour));
    vehicle.models.push_back(collisionModel(shape("Gun"), "gun", kGunBarrel));
    return vehicle;
}

// Folder names must not contain "lod": the LOD chain reads the first "lod"
// of a parent path as the start of the LOD folder name.
std::vector<VehicleSample> vehicleSamples() {
    std::vector<VehicleSample> samples{cleanVehicle("vehicles/clean_tank")};

    // The hull's lod0 skips lod1 and links to lod4.
    VehicleSample links = cleanVehicle("vehicles/wrong_links");
    links.model("Hull", "normal").lod(0).parent = links.folder + "/normal/lod4/Hull.model";
    samples.push_back(links);

    VehicleSample extents = cleanVehicle("vehicles/odd_extents");
    extents.model("Turret", "normal").lod(1).extent = 150.f;
    samples.push_back(extents);

    VehicleSample visibility = cleanVehicle("vehicles/empty_visibility_box");
    visibility.model("Turret", "normal").lod(0).visibilityBox = AABB(Vector3::zero(), Vector3::zero());
    samples.push_back(visibility);

    VehicleSample hardpoint = cleanVehicle("vehicles/missing_hardpoint");
    hardpoint.model("Turret", "normal")
        .lod(1)
        .nodes[0]
        .children.erase(hardpoint.model("Turret", "normal").lod(1).nodes[0].children.begin());
    samples.push_back(hardpoint);

    // The destroyed hull keeps the intact hull's effect.
    VehicleSample crashShader = cleanVehicle("vehicles/crash_shader");
    for (VehicleLod& lod : crashShader.model("Hull", "crash").lods) {
        lod.materials[0].fx = kShaders + "PBS_tank.fx";
    }
    samples.push_back(crashShader);

    // The gun alpha-tests although its normal map carries no alpha mask.
    VehicleSample alpha = cleanVehicle("vehicles/normal_map_alpha");
    for (VehicleLod& lod : alpha.model("Gun", "normal").lods) {
        lod.materials[0].properties[4] = PropertyLayout::boolean("alphaTestEnable", true);
    }
    samples.push_back(alpha);

    // The hull's detail map repeats three times on a 512-texel normal map.
    VehicleSample tiling = cleanVehicle("vehicles/detail_tiling");
    for (VehicleLod& lod : tiling.model("Hull", "normal").lods) {
        if (lod.number <= 1) {
            lod.materials[0].properties.back() =
                PropertyLayout::vector4("g_detailTiling", Vector4(3.f, 3.f, 0.f, 0.f));
        }
    }
    samples.push_back(tiling);

    // The gun was exported without its skin.
    VehicleSample unskinned = cleanVehicle("vehicles/unskinned_gun");
    for (VehicleLod& lod : unskinned.model("Gun", "normal").lods) {
        lod.mesh = box(shape("Gun").min, shape("Gun").max, false);
    }
    samples.push_back(unskinned);

    // The hull's collision material is not named after its kind.
    VehicleSample collision = cleanVehicle("vehicles/collision_kinds");
    collision.model("Hull", "collision").lods[0].materials[0].identifier = "armour_front";
    samples.push_back(collision);

    // The hull's lod1 names its visual as a node-full one.
    VehicleSample tags = cleanVehicle("vehicles/mixed_visual_tags");
    tags.model("Hull", "normal").lod(1).nodefull = true;
    samples.push_back(tags);
    return samples;
}

bool writeVehicleTextures(const std::string& root, std::string* error) {
    for (const SharedTexture& t : kTextures) {
        const AssetWriters::WriteResult written =
            AssetWriters::writeDDS(root + "/" + vehicleTexture(t.postfix), t.side, t.side, t.format,
                                   AssetWriters::makeSolidImage(t.side, t.side, t.colour));
        if (!written) {
            if (error) {
                *error = vehicleTexture(t.postfix) + ": " + written.reason;
            }
            return false;
        }
    }
    return true;
}

bool writeVehicle(const std::string& root, const VehicleSample& vehicle, std::string* error) {
    std::error_code ec;
    std::filesystem::remove_all(pathFromUtf8(root + "/" + vehicle.folder), ec);
    for (const VehicleModel& model : vehicle.models) {
        for (size_t i = 0; i < model.lods.size(); ++i) {
            const VehicleLod& lod = model.lods[i];
            AssetWriters::SimpleModelLayout layout;
            layout.mesh = lod.mesh;
            layout.materials = lod.materials;
            layout.collision = model.state == "collision";
            layout.nodes = lod.nodes;
            const std::string next =
                i + 1 < model.lods.size() ? vehicle.modelPath(model, i + 1) : std::string();
            layout.parent = lod.parent.value_or(next);
            layout.extent = lod.extent;
            layout.visibilityBox = lod.visibilityBox;
            layout.nodefull = lod.nodefull;
            if (!AssetWriters::writeSimpleModel(root, vehicle.modelPath(model, i), layout, error)) {
                return false;
            }
        }
    }
    return true;
}

} // namespace KX::Samples
