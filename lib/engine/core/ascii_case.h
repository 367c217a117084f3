#pragma once

#include <string>
#include <string_view>

// Letter case of resource names, extensions and keywords. Only ASCII letters
// change: names are UTF-8 and must not depend on the host's locale.
namespace AsciiCase {

constexpr char toLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string toLower(std::string text);
bool equalIgnoringCase(std::string_view a, std::string_view b);

} // namespace AsciiCase
