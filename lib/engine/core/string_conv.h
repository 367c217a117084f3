#pragma once

#include <string>

// Conversions between UTF-8, wide and the narrow (ANSI code page) encoding.
// On every platform but Windows the narrow encoding is UTF-8.
std::wstring utf8ToWide(const std::string& text);
std::string wideToUtf8(const std::wstring& text);
std::string wideToNarrow(const std::wstring& text);
std::wstring narrowToWide(const std::string& text);
