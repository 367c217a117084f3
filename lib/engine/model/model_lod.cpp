#include "engine/model/model_lod.h"

#include <cctype>
#include <string_view>

#include "engine/core/ascii_case.h"

namespace {

bool isLodName(const std::string& text, size_t begin, size_t end) {
    if (end - begin < 4 || !AsciiCase::equalIgnoringCase(std::string_view(text).substr(begin, 3), "lod")) {
        return false;
    }
    for (size_t i = begin + 3; i < end; ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i]))) {
            return false;
        }
    }
    return true;
}

} // namespace

namespace ModelLod {

std::string extractLodName(const std::string& path) {
    size_t end = path.size();
    while (true) {
        const size_t separator = end == 0 ? std::string::npos : path.find_last_of("/\\", end - 1);
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
