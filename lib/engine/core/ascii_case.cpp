#include "engine/core/ascii_case.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace AsciiCase {

std::string toLower(std::string text) {
    // Paths by the thousand pass here: eight letters a step. A byte's top bit
    // comes out set exactly when its low seven bits lie in 'A'..'Z' and its own
    // top bit is clear (so UTF-8 bytes stay as they are); that bit, moved down
    // to 0x20, lowers the letter.
    constexpr uint64_t kOnes = 0x0101010101010101ull;
    char* at = text.data();
    size_t left = text.size();
    for (; left >= 8; at += 8, left -= 8) {
        uint64_t word;
        std::memcpy(&word, at, 8);
        const uint64_t low7 = word & (0x7F * kOnes);
        const uint64_t upper =
            ((low7 + (0x80 - 'A') * kOnes) ^ (low7 + (0x80 - 'Z' - 1) * kOnes)) & ~word & (0x80 * kOnes);
        word |= upper >> 2;
        std::memcpy(at, &word, 8);
    }
    for (; left > 0; ++at, --left) {
        *at = toLower(*at);
    }
    return text;
}

size_t findInLowered(std::string_view text, std::string_view needle) {
    if (needle.size() > text.size()) {
        return std::string_view::npos;
    }
    if (needle.empty()) {
        return 0;
    }
    const char first = needle.front();
    const size_t last = text.size() - needle.size();
    const auto matchesAt = [&](size_t at) {
        for (size_t k = 1; k < needle.size(); ++k) {
            if (toLower(text[at + k]) != needle[k]) {
                return false;
            }
        }
        return true;
    };
    if (!isLetter(first)) {
        // Lowering leaves every other byte as it is: the byte search finds each candidate.
        for (size_t at = 0; at <= last;) {
            const void* hit = std::memchr(text.data() + at, first, last - at + 1);
            if (hit == nullptr) {
                return std::string_view::npos;
            }
            at = static_cast<size_t>(static_cast<const char*>(hit) - text.data());
            if (matchesAt(at)) {
                return at;
            }
            ++at;
        }
        return std::string_view::npos;
    }
    for (size_t at = 0; at <= last; ++at) {
        if (toLower(text[at]) == first && matchesAt(at)) {
            return at;
        }
    }
    return std::string_view::npos;
}

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                      [](char x, char y) { return toLower(x) == toLower(y); });
}

} // namespace AsciiCase
