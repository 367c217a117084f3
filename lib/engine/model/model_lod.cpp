#include "engine/model/model_lod.h"

#include <string_view>

#include "engine/core/ascii_case.h"

namespace {

bool isLodName(const std::string& text, size_t begin, size_t end) {
    if (end - begin < 4 || !AsciiCase::equalIgnoringCase(std::string_view(text).substr(begin, 3), "lod")) {
        return false;
    }
    for (size_t i = begin + 3; i < end; ++i) {
        if (!AsciiCase::isDigit(text[i])) {
            return false;
        }
    }
    return true;
}

// The last separator before `end`, npos when there is none. Asked per
// component of a LOD model's path, once per material and LOD: a character
// set search would look the set up once per byte.
size_t separatorBefore(const std::string& path, size_t end) {
    while (end > 0) {
        --end;
        if (path[end] == '/' || path[end] == '\\') {
            return end;
        }
    }
    return std::string::npos;
}

} // namespace

namespace ModelLod {

std::string extractLodName(const std::string& path) {
    size_t end = path.size();
    while (true) {
        const size_t separator = separatorBefore(path, end);
        const size_t begin = separator == std::string::npos ? 0 : separator + 1;
        if (isLodName(path, begin, end)) {
            // Only the prefix can be a letter.
            return AsciiCase::toLower(path.substr(begin, end - begin));
        }
        if (separator == std::string::npos) {
            return {};
        }
        end = separator;
    }
}

} // namespace ModelLod
