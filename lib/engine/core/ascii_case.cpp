#include "engine/core/ascii_case.h"

#include <algorithm>

namespace AsciiCase {

std::string toLower(std::string text) {
    for (char& c : text) {
        c = toLower(c);
    }
    return text;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return toLower(x) == toLower(y); });
}

} // namespace AsciiCase
