#pragma once

#include <string>

namespace KX::Cli {
// `text` as a JSON string literal, quotes included. Bytes that are not valid
// UTF-8 are passed through as \u00XX escapes of their byte value so the output
// stays valid JSON whatever a content file holds.
std::string jsonString(const std::string& text);
// `text` with every byte that is not part of valid UTF-8 replaced by U+FFFD,
// for formats that must be UTF-8 (XML).
std::string validUtf8(const std::string& text);
} // namespace KX::Cli
