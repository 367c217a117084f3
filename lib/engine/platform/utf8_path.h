#pragma once

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
