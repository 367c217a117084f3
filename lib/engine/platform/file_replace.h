#pragma once

#include <string>
#include <string_view>

namespace Platform {

// The outcome of a file write: ok, or why not.
struct WriteResult {
    bool ok = false;
    std::string reason;

    explicit operator bool() const { return ok; }
};

// Replaces the contents of an existing file so that a reader sees either the
// old bytes or the new ones, never a mixture: the new bytes go to a temporary
// file in the same folder, which is renamed over the original only when the
// whole write succeeded. The original's permissions carry over. On any
// failure the original is untouched and the temporary file is removed.
//
// A file without write permission is refused even when the process could
// override it (an administrator account): a read-only file is usually one
// that version control has not checked out, and writing it would lose the
// artist's next sync.
WriteResult replaceFileContents(const std::string& utf8Path, std::string_view bytes);

} // namespace Platform
