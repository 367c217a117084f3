#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <string>
#include <vector>

#include "engine/core/ascii_case.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/variant/variant.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/material_properties.h"
#include "model_validator/model_validator.h"

namespace KX {

using namespace ValidatorHelper;
using namespace MaterialProperties;

namespace {

// Effects whose materials tint their textures: one colour for the extended
// shader, one per atlas tile for the tiled-atlas shader.
const std::string kExtendedEffect = "PBS_ext";
const std::string kTiledAtlasEffect = "PBS_tiled_atlas";
const std::array<const std::string*, 3> kTileTintProperties = {&kTile0TintTag, &kTile1TintTag,
                                                               &kTile2TintTag};

// The least difference of a colour component that shows on screen.
constexpr float kTintTolerance = 0.0004f;

bool isEffect(const DataSectionPtr& material, const std::string& effect) {
    return AsciiCase::equalIgnoringCase(effectName(material), effect);
}

bool tintSwitch(const std::vector<DataSectionPtr>& properties) {
    const Variant value = getProperty(properties, kUseTintColorTag, kBoolTag);
    return value.holds<bool>() && value.get<bool>();
}

// Untinted is white: a colour that is missing (or cannot be read as one)
// multiplies the texture by one.
Vector4 tintColour(const std::vector<DataSectionPtr>& properties, const std::string& name) {
    const Variant value = getProperty(properties, name, kVector4Tag);
    if (value.holds<Vector4>()) {
        return value.get<Vector4>();
    }
    Variant converted{Vector4::zero()};
    return VariantConverter::convert(value, converted) ? converted.get<Vector4>()
                                                       : Vector4(1.f, 1.f, 1.f, 1.f);
}

// Artists type colours in decimal; the file and the comparison hold floats.
// 1.0004 is stored as 1.00039994..., so 1.0004 - 1 computes to 0.00039994...,
// just below the tolerance, although the colours differ by 0.0004 as typed.
// A difference counts from the tolerance less one float step at the
// components' magnitude, which absorbs that rounding and nothing more:
// 1.0004 against 1, 0.0004 against 0 and 8.0004 against 8 differ; 1.0003 and
// 1.00039 against 1 do not.
bool componentsDiffer(float a, float b) {
    const float magnitude = std::max({1.f, std::fabs(a), std::fabs(b)});
    return std::fabs(a - b) >= kTintTolerance - FLT_EPSILON * magnitude;
}

bool coloursDiffer(const Vector4& a, const Vector4& b) {
    return componentsDiffer(a.x, b.x) || componentsDiffer(a.y, b.y) || componentsDiffer(a.z, b.z) ||
           componentsDiffer(a.w, b.w);
}

// The first material of a visual with this identifier when it uses
// `effect`; null otherwise, also when the visual is missing.
DataSectionPtr sameMaterial(const DataSectionPtr& visual, const std::string& identifier,
                            const std::string& effect) {
    for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
        if (material->readString(kIdentifierTag, "") == identifier) {
            return isEffect(material, effect) ? material : nullptr;
        }
    }
    return nullptr;
}

} // namespace

void ModelValidator::checkMaterialAtlasProperties(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkMaterialAtlasProperties");
    if (lodModels.size() < 2) {
        return;
    }
    const int lod0 = lodNumber(lodModels[0]);
    const DataSectionPtr visual0 = checkAndOpenVisualSectionForModelName(lodModels[0]);
    if (!visual0) {
        return;
    }
    const std::vector<DataSectionPtr> materials = MaterialPropertyHelper::getMaterialsFromVisual(visual0);

    // Each lod0 material of the effect against the material of the same
    // identifier and effect in every other LOD.
    const auto eachCounterpart = [&](const std::string& effect, const auto& compare) {
        for (const DataSectionPtr& material : materials) {
            if (!isEffect(material, effect)) {
                continue;
            }
            const std::vector<DataSectionPtr>& properties = propertiesOf(material);
            const std::string id = material->readString(kIdentifierTag, "");
            for (size_t i = 1; i < lodModels.size(); ++i) {
                const std::string& path = lodModels[i];
                const DataSectionPtr other =
                    sameMaterial(checkAndOpenVisualSectionForModelName(path), id, effect);
                if (other) {
                    compare(properties, id, path, propertiesOf(other), lodNumber(path));
                }
            }
        }
    };
    using Properties = std::vector<DataSectionPtr>;

    eachCounterpart(kExtendedEffect, [&](const Properties& properties0, const std::string& id,
                                         const std::string& path, const Properties& properties, int lodI) {
        const bool use0 = tintSwitch(properties0);
        const bool use = tintSwitch(properties);
        if (use0 != use) {
            report(Findings::TintUseDiffers,
                   Findings::TintUseDiffers.text(path, id, use0 ? lod0 : lodI, use0 ? lodI : lod0));
        } else if (use && coloursDiffer(tintColour(properties0, kTintColorTag),
                                        tintColour(properties, kTintColorTag))) {
            report(Findings::TintColourDiffers, Findings::TintColourDiffers.text(path, id, lod0, lodI));
        }
    });

    eachCounterpart(kTiledAtlasEffect, [&](const Properties& properties0, const std::string& id,
                                           const std::string& path, const Properties& properties, int lodI) {
        for (int tile = 0; tile < static_cast<int>(kTileTintProperties.size()); ++tile) {
            const std::string& name = *kTileTintProperties[static_cast<size_t>(tile)];
            if (coloursDiffer(tintColour(properties0, name), tintColour(properties, name))) {
                report(Findings::TileTintDiffers, Findings::TileTintDiffers.text(path, id, tile, lod0, lodI));
            }
        }
    });
}

} // namespace KX
