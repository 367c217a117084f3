#pragma once

#include <string>
#include <vector>

namespace KX::StringUtils {

// Splits `text` at every occurrence of `delimiter`. An empty text gives no
// parts; a trailing delimiter gives a trailing empty part ("a/" -> a, "").
// An empty delimiter cannot split anything and gives the whole text.
std::vector<std::string> splitString(const std::string& text, const std::string& delimiter);

// Puts `text` (UTF-8) on the system clipboard as plain text. An unavailable
// clipboard leaves it unchanged.
void copyToClipboardT(const std::string& text);

} // namespace KX::StringUtils
