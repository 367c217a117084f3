#pragma once

#include <span>

// Decor types of scenery models: the "decorative" value of a .model file is a
// set of bit flags. The low three bits say what kind of decor the object is;
// the six preset bits name the graphics presets on which the object is left
// out to save rendering time.
namespace DecorSettings {

struct DecorFlag {
    unsigned int mask;
    const char* name;
    // Preset bits may be combined freely; kind bits exclude one another.
    bool preset;
};

// The defined flags, lowest bit first.
std::span<const DecorFlag> flags();

// All six preset bits (0x1F8). An object left out on every preset is never
// drawn, so this combination is not a valid decor type.
unsigned int allPresetsMask();

// True when `decorType` is 0 (not decor) or combines defined flags only, with
// at most one kind bit and not every preset bit.
bool isValidDecorType(unsigned int decorType);

} // namespace DecorSettings
