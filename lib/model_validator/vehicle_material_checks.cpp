#include <algorithm>
#include <cmath>
#include <map>

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/material_properties.h"
#include "model_validator/validator_helper.h"

namespace KX::ValidatorHelper {

namespace {

using MaterialProperties::findProperty;

const std::string kDetailMap = "vehicles/russian/tank_detail/details_map.dds";

// Tiling that strays this far (in percent) from the normal map's on both
// axes is worth a warning; beyond the second limit on either axis the detail
// visibly swims against the normal map.
constexpr float kTilingWarnPercent = 21.f;
constexpr float kTilingErrorPercent = 41.f;
const Vector2 kUnknownSize(-1.f, -1.f);

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The detail map is drawn only up close: on LOD 0 and 1 of intact
// components and of the destroyed chassis (which stays on the field).
bool detailsRequired(TankComponentType type, const std::string& modelPath) {
    const bool near = contains(modelPath, "/lod0/") || contains(modelPath, "/lod1/");
    const bool normalState = contains(modelPath, "/normal/");
    const bool destroyedChassis =
        contains(modelPath, "/crash/") && FS::Utils::getFilename(modelPath) == "Chassis.model";
    return (near && (normalState || destroyedChassis)) || type == TankComponentType::Other;
}

// Effect files by material identifier; the key "" holds the default.
using EffectTable = std::map<std::string, std::string>;

enum class ComponentKind { None, Chassis, Hull, Turret, Gun };

ComponentKind componentKind(const std::string& lowerPath) {
    const std::pair<const char*, ComponentKind> kinds[] = {{"/chassis", ComponentKind::Chassis},
                                                           {"/hull", ComponentKind::Hull},
                                                           {"/turret", ComponentKind::Turret},
                                                           {"/gun", ComponentKind::Gun}};
    for (const auto& [marker, kind] : kinds) {
        if (contains(lowerPath, marker)) {
            return kind;
        }
    }
    return ComponentKind::None;
}

EffectTable effectTable(ComponentKind kind, bool normalState, bool wheeled) {
    const auto byState = [normalState](const char* normal, const char* destroyed) {
        return std::string(normalState ? normal : destroyed);
    };
    switch (kind) {
    case ComponentKind::Chassis:
        if (wheeled) {
            return {{"tank_chassis_01_skinned", byState("PBS_tank_skinned.fx", "PBS_tank_skinned_crash.fx")},
                    {"tank_tire_01_skinned", byState("PBS_wheel_skinned.fx", "PBS_wheel_skinned_crash.fx")}};
        } else {
            const std::string tracks =
                byState("PBS_tank_uvtransform_skinned_ao.fx", "PBS_tank_skinned_ao.fx");
            return {{"", "PBS_tank_skinned.fx"},
                    {"track_mat_R_skinned", tracks},
                    {"track_mat_L_skinned", tracks}};
        }
    case ComponentKind::Hull:
    case ComponentKind::Turret:
        return {{"", byState("PBS_tank.fx", "PBS_tank_crash.fx")}};
    case ComponentKind::Gun:
        return {{"", byState("PBS_tank_skinned.fx", "PBS_tank_crash.fx")}};
    default:
        return {};
    }
}

} // namespace

void Validator::checkMaterials(TankComponentType type, const std::string& modelPath,
                               const std::vector<SmartPointer<DataSection>>& materials, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkMaterials");
    const bool required = detailsRequired(type, modelPath);
    const std::string style = getStyleName(modelPath);
    const auto reportFor = [&](const CallerCodedFinding& kind) {
        report(kind, code, style, kind.text(modelPath));
    };
    for (const DataSectionPtr& material : materials) {
        if (!material) {
            continue;
        }
        std::vector<DataSectionPtr> properties;
        material->openSections(kPropertyTag, properties);
        if (properties.empty()) {
            continue;
        }
        checkTextureProperties(type, modelPath, material, properties, code);

        const DataSectionPtr detailMap = findProperty(properties, MaterialPropertyHelper::normalMapTexture);
        const std::string texture = detailMap ? detailMap->readString(kTextureTag, "") : std::string();
        const DataSectionPtr useDetail = findProperty(properties, MaterialPropertyHelper::useDetail);
        const bool detail = useDetail && useDetail->readBool(kBoolTag, false);

        if (!required) {
            if (detail) {
                reportFor(Findings::DetailNotAllowed);
            }
            continue;
        }
        if (!detail) {
            reportFor(Findings::DetailRequired);
        } else if (texture.empty()) {
            reportFor(detailMap ? Findings::DetailMapEmpty : Findings::DetailMapPropertyMissing);
        }
        if (useDetail && !texture.empty() && toLower(texture) != kDetailMap) {
            report(Findings::DetailMapWrong, code, style, Findings::DetailMapWrong.text(modelPath, texture));
        }
        if (!detail) {
            continue;
        }
        const Vector2 size = MaterialPropertyHelper::getNormalMapSize(material);
        if (size == kUnknownSize) {
            continue;
        }
        const DataSectionPtr tiling = findProperty(properties, MaterialPropertyHelper::tiling);
        if (!tiling) {
            reportFor(Findings::DetailTilingMissing);
            continue;
        }
        // The detail map repeats once per tilingMagicNumber texels of normal map.
        const Vector4 t = tiling->readVector4(kVector4Tag, Vector4::zero());
        const float baseX = size.x / MaterialPropertyHelper::tilingMagicNumber;
        const float baseY = size.y / MaterialPropertyHelper::tilingMagicNumber;
        const float dx = std::fabs(100.f * t.x / baseX - 100.f);
        const float dy = std::fabs(100.f * t.y / baseY - 100.f);
        if (!(dx > kTilingWarnPercent && dy > kTilingWarnPercent)) {
            continue;
        }
        if (dx > kTilingErrorPercent || dy > kTilingErrorPercent) {
            const float shown = dx > kTilingErrorPercent ? dx : dy;
            report(Findings::DetailTilingFarOff, code, style,
                   Findings::DetailTilingFarOff.text(modelPath, static_cast<double>(shown)));
        } else {
            report(Findings::DetailTilingOff, code, style,
                   Findings::DetailTilingOff.text(modelPath, static_cast<double>(dx)));
        }
    }
}

void Validator::checkMaterial(const std::string& modelPath, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkMaterial");
    if (!FS::Utils::openSection(modelPath)) {
        DebugLog::messageText(DebugLog::Warning, "", modelPath + ": model is missing");
        return;
    }
    const std::string lowerPath = toLower(modelPath);
    const bool normalState = contains(modelPath, "/normal/");
    const EffectTable table = effectTable(componentKind(lowerPath), normalState, wheeledVehicle_);
    if (table.empty()) {
        return;
    }
    const std::string style = getStyleName(modelPath);
    const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(modelPath);
    if (!visual) {
        report(Findings::ShaderVisualMissing, code, style, Findings::ShaderVisualMissing.text(modelPath));
        return;
    }
    // Destroyed hulls and turrets show their interior with the intact effect.
    const bool destroyedShell =
        !normalState && (contains(lowerPath, "/hull") || contains(lowerPath, "/turret"));
    for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
        if (!material->openSection(kPropertyTag)) {
            continue;
        }
        const std::string id = material->readString(kIdentifierTag, "");
        const std::string fx = FS::Utils::getFilename(material->readString(kFxTag, ""));
        auto entry = table.find(id);
        if (entry == table.end()) {
            entry = table.find("");
        }
        std::string expected = entry == table.end() ? std::string() : entry->second;
        if (destroyedShell && contains(id, "inside")) {
            expected = "PBS_tank.fx";
        }
        if (fx == expected) {
            checkVertexFormat(modelPath, visual, material, code);
        } else {
            report(Findings::IncorrectEffectFile, code, style,
                   Findings::IncorrectEffectFile.text(modelPath, id, fx, expected));
        }
    }
}

} // namespace KX::ValidatorHelper
