#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string_view>

// Hashes strings and views alike, so that a table keyed by strings can be
// asked with a view into a longer path without making a string of it. The
// tables of paths are asked hundreds of times a check: a word at a time, a
// multiply and a rotate each, where the library's string hash mixes twice as
// much. Buckets are taken modulo a prime, which spreads what this leaves
// correlated.
struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept {
        constexpr uint64_t kMultiplier = 0x517cc1b727220a95ull;
        const char* p = text.data();
        size_t left = text.size();
        uint64_t hash = static_cast<uint64_t>(left) * 0x9e3779b97f4a7c15ull;
        const auto add = [&hash](uint64_t word) {
            hash = (((hash << 5) | (hash >> 59)) ^ word) * kMultiplier;
        };
        for (; left >= 8; left -= 8, p += 8) {
            uint64_t word;
            std::memcpy(&word, p, sizeof word);
            add(word);
        }
        if (left > 0) {
            uint64_t word = 0;
            if (std::endian::native == std::endian::little && text.size() >= 8) {
                // The last eight bytes, shifted down to the ones left: the
                // word the loop below would assemble, in one load.
                std::memcpy(&word, p + left - 8, sizeof word);
                word >>= 8 * (8 - left);
            } else {
                for (size_t i = 0; i < left; ++i) {
                    word |= static_cast<uint64_t>(static_cast<unsigned char>(p[i])) << (8 * i);
                }
            }
            add(word);
        }
        return static_cast<size_t>(hash ^ (hash >> 29));
    }
};

#ifdef __GLIBCXX__
// The library keeps a key's hash beside it only for hashes it deems slow, as
// it deems its own string hash; a table of paths compares fewer keys when the
// hash is kept.
template <> struct std::__is_fast_hash<StringHash> : std::false_type {};
#endif
