#include "engine/model/model_lod.h"

#include <cctype>

namespace {

bool isLodName(const std::string& text, size_t begin, size_t end) {
    const char* prefix = "lod";
    if (end - begin < 4) {
        return false;
    }
    for (size_t i = 0; i < 3; ++i) {
        if (std::tolower(static_cast<unsigned char>(text[begin + i])) != prefix[i]) {
            return false;
        }
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
            std::string name = path.substr(begin, end - begin);
            for (size_t i = 0; i < 3; ++i) {
                name[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(name[i])));
            }
            return name;
        }
        if (separator == std::string::npos) {
            return {};
        }
        end = separator;
    }
}

} // namespace ModelLod
