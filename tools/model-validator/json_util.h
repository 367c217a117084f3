#pragma once

#include <string>

namespace KX::Cli {
// `text` as a JSON string literal, quotes included. Bytes that are not valid
// UTF-8 are passed through as \u00XX escapes of their byte value so the output
// stays valid JSON whatever a content file holds.
std::string jsonString(const std::string& text);
} // namespace KX::Cli
