#pragma once

#include <string>

namespace KX::Platform {

// Replaces the system clipboard's contents by `text` as plain text; false
// (clipboard untouched) when the clipboard cannot be reached.
bool setClipboardText(const std::string& text);

} // namespace KX::Platform
