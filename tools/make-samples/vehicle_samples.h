#pragma once

#include <optional>
#include <string>
#include <vector>

#include "engine/asset_writers/geometry_writer.h"

// Sample vehicles for `model-validator vehicle`, in the folder layout of
// docs/formats.md ("Vehicle folders"). Tests build their vehicles from the
// same clean layout, so that what the samples show and what the tests check
// cannot drift apart.
namespace KX::Samples {

struct VehicleLod {
    int number = 0; // the LOD folder: lod<number>
    AssetWriters::Mesh mesh;
    std::vector<AssetWriters::MaterialLayout> materials;
    std::vector<AssetWriters::NodeLayout> nodes;
    std::optional<float> extent;
    // The "parent" value: by default the next LOD of the list, none for the last.
    std::optional<std::string> parent;
    std::optional<AABB> visibilityBox;
    bool nodefull = false;
};

// One component model in one state folder ("normal", "crash"), or the
// component's collision model (state "collision", one LOD whose number is
// not used).
struct VehicleModel {
    std::string name; // "Hull"
    std::string state;
    std::vector<VehicleLod> lods;

    VehicleLod& lod(int number);
};

struct VehicleSample {
    std::string folder; // resource path of the vehicle folder
    std::vector<VehicleModel> models;

    VehicleModel& model(const std::string& name, const std::string& state);
    std::string modelPath(const VehicleModel& model, size_t lodIndex) const;
};

// The texture set every sample vehicle's materials share (below vehicles/maps).
std::string vehicleTexture(const std::string& postfix);

// A tracked vehicle without findings: chassis, hull, turret and gun in the
// normal state, a destroyed hull, and collision models for hull and gun.
VehicleSample cleanVehicle(const std::string& folder);
// The clean vehicle and one vehicle per group of defects.
std::vector<VehicleSample> vehicleSamples();

// Writes the shared texture set below the disk folder `root`.
bool writeVehicleTextures(const std::string& root, std::string* error);
// Writes the vehicle's models below `root`, after emptying its folder.
bool writeVehicle(const std::string& root, const VehicleSample& vehicle, std::string* error);

} // namespace KX::Samples
