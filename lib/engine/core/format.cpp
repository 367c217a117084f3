#include "engine/core/format.h"

#include <cstdio>
#include <vector>

std::string vformatString(const char* format, va_list args) {
    if (!format) {
        return {};
    }
    char stackBuffer[512];
    va_list copy;
    va_copy(copy, args);
    int needed = std::vsnprintf(stackBuffer, sizeof(stackBuffer), format, copy);
    va_end(copy);
    if (needed < 0) {
        return {};
    }
    if (static_cast<size_t>(needed) < sizeof(stackBuffer)) {
        return std::string(stackBuffer, static_cast<size_t>(needed));
    }
    std::vector<char> buffer(static_cast<size_t>(needed) + 1);
    va_copy(copy, args);
    std::vsnprintf(buffer.data(), buffer.size(), format, copy);
    va_end(copy);
    return std::string(buffer.data(), static_cast<size_t>(needed));
}

std::string formatString(const char* format, ...) {
    va_list args;
    va_start(args, format);
    std::string result = vformatString(format, args);
    va_end(args);
    return result;
}
