#pragma once

#include <string>
#include <string_view>

// Letter case of resource names, extensions and keywords. Only ASCII letters
// change: names are UTF-8 and must not depend on the host's locale.
namespace AsciiCase {

// The "C" locale's classes, whatever the host's locale, tested inline: names
// and values are scanned byte by byte on every read.
constexpr bool isLetter(char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}
constexpr bool isDigit(char c) {
    return c >= '0' && c <= '9';
}
constexpr bool isBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

constexpr char toLower(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string toLower(std::string text);
bool equalIgnoringCase(std::string_view a, std::string_view b);
// Where `needle` first stands in `text` with text's letters lowered, as
// toLower(text).find(needle) would say, without a lowered copy of the text;
// std::string_view::npos when nowhere.
size_t findInLowered(std::string_view text, std::string_view needle);

} // namespace AsciiCase
