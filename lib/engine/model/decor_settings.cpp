#include "engine/model/decor_settings.h"

#include <array>
#include <bit>

namespace {

constexpr std::array<DecorSettings::DecorFlag, 9> kFlags = {{
    {0x001, "smallProp", false},
    {0x002, "vegetation", false},
    {0x004, "debris", false},
    {0x008, "hideOnMinimal", true},
    {0x010, "hideOnLow", true},
    {0x020, "hideOnMedium", true},
    {0x040, "hideOnHigh", true},
    {0x080, "hideOnUltra", true},
    {0x100, "hideOnCinematic", true},
}};

constexpr unsigned int maskOf(bool preset) {
    unsigned int mask = 0;
    for (const DecorSettings::DecorFlag& flag : kFlags) {
        if (flag.preset == preset) {
            mask |= flag.mask;
        }
    }
    return mask;
}

constexpr unsigned int kPresetMask = maskOf(true);
constexpr unsigned int kKindMask = maskOf(false);
static_assert(kPresetMask == 0x1F8, "the six preset bits are bits 3 to 8");

} // namespace

namespace DecorSettings {

std::span<const DecorFlag> flags() {
    return kFlags;
}

unsigned int allPresetsMask() {
    return kPresetMask;
}

bool isValidDecorType(unsigned int decorType) {
    if ((decorType & ~(kPresetMask | kKindMask)) != 0) {
        return false;
    }
    if (std::popcount(decorType & kKindMask) > 1) {
        return false;
    }
    return (decorType & kPresetMask) != kPresetMask;
}

} // namespace DecorSettings
