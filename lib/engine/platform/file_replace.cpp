#include "engine/platform/file_replace.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <system_error>

#include "engine/platform/utf8_path.h"

namespace Platform {

namespace {

namespace fs = std::filesystem;

WriteResult failure(const std::string& path, const std::string& what) {
    return WriteResult{false, "'" + path + "': " + what};
}

bool writable(fs::perms permissions) {
    return (permissions & (fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write)) !=
           fs::perms::none;
}

// A name no other writer in this folder is using: the file's own name, this
// process's start time and a counter, so two tools repairing side by side
// never share a temporary file.
fs::path temporarySibling(const fs::path& target) {
    static const auto processStamp = std::chrono::steady_clock::now().time_since_epoch().count();
    static std::atomic<unsigned> counter{0};
    fs::path name = target.filename();
    name += ".tmp-" + std::to_string(processStamp % 1000000007) + "-" + std::to_string(counter++);
    return target.parent_path() / name;
}

} // namespace

WriteResult replaceFileContents(const std::string& utf8Path, std::string_view bytes) {
    std::error_code ec;
    // Through a link, the file it names is the one to replace; replacing the
    // link itself would cut the file loose from where it is shared.
    const fs::path target = fs::weakly_canonical(pathFromUtf8(utf8Path), ec);
    if (ec) {
        return failure(utf8Path, "does not exist");
    }
    const fs::file_status status = fs::status(target, ec);
    if (ec || !fs::exists(status)) {
        return failure(utf8Path, "does not exist");
    }
    if (!fs::is_regular_file(status)) {
        return failure(utf8Path, "is not a regular file");
    }
    if (!writable(status.permissions())) {
        return failure(utf8Path, "is read-only");
    }

    fs::path temporary = temporarySibling(target);
    for (int attempt = 0; fs::exists(temporary, ec) && attempt < 100; ++attempt) {
        temporary = temporarySibling(target);
    }
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out) {
            return failure(utf8Path, "cannot create a temporary file in its folder");
        }
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        const bool written = static_cast<bool>(out);
        out.close();
        if (!written || out.fail()) {
            fs::remove(temporary, ec);
            return failure(utf8Path, "writing the new contents failed (disk full?)");
        }
    }
    fs::permissions(temporary, status.permissions(), fs::perm_options::replace, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return failure(utf8Path, "cannot give the new contents the file's permissions");
    }
    fs::rename(temporary, target, ec);
    if (ec) {
        const std::string reason = ec.message();
        fs::remove(temporary, ec);
        return failure(utf8Path, "cannot replace the file: " + reason);
    }
    return WriteResult{true, {}};
}

} // namespace Platform
