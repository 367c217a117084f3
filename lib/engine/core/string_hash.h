#pragma once

#include <functional>
#include <string_view>

// Hashes strings and views alike, so that a table keyed by strings can be
// asked with a view into a longer path without making a string of it.
struct StringHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const noexcept { return std::hash<std::string_view>()(text); }
};

#ifdef __GLIBCXX__
// The library keeps a key's hash beside it only for hashes it deems slow, as
// it deems std::hash of strings; this one hashes the same bytes the same way.
template <> struct std::__is_fast_hash<StringHash> : std::false_type {};
#endif
