#pragma once

#include <algorithm>
#include <filesystem>
#include <string>

// UTF-8 <-> std::filesystem::path, the same on every platform (C++20 made
// u8string a char8_t string).
inline std::filesystem::path pathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}

inline std::string pathToUtf8(const std::filesystem::path& path) {
    std::u8string s = path.generic_u8string();
    return std::string(s.begin(), s.end());
}

// What pathToUtf8(pathFromUtf8(text)) gives. Where '/' is the only
// separator, that is each run of slashes made one, without building a path;
// other platforms take the round trip.
inline std::string genericUtf8(std::string text) {
    if constexpr (std::filesystem::path::preferred_separator == '/') {
        text.erase(std::unique(text.begin(), text.end(), [](char a, char b) { return a == '/' && b == '/'; }),
                   text.end());
        return text;
    } else {
        return pathToUtf8(pathFromUtf8(text));
    }
}
