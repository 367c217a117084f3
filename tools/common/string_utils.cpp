#include "common/string_utils.h"

#include "common/system_clipboard.h"
#include "engine/core/stack_tracker.h"

namespace KX::StringUtils {

std::vector<std::string> splitString(const std::string& text, const std::string& delimiter) {
    std::vector<std::string> parts;
    if (text.empty()) {
        return parts;
    }
    if (delimiter.empty()) {
        parts.push_back(text);
        return parts;
    }
    size_t start = 0;
    for (size_t found = text.find(delimiter); found != std::string::npos;
         found = text.find(delimiter, start)) {
        parts.push_back(text.substr(start, found - start));
        start = found + delimiter.size();
    }
    parts.push_back(text.substr(start));
    return parts;
}

void copyToClipboardT(const std::string& text) {
    KX_STACK_TRACK("KX::StringUtils::copyToClipboardT");
    Platform::setClipboardText(text);
}

} // namespace KX::StringUtils
