#include <algorithm>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string_view>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"
#include "engine/settings/options.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// The first byte that the game's packer cannot take in a path: a back slash
// or anything outside 7-bit ASCII. npos when the path is clean.
// Whether any byte of `text` lies above ASCII. Every texture and model path
// of a check passes here and nearly all are plain ASCII: the bytes are
// gathered a word at a time, without a branch per byte.
bool hasNonAsciiByte(std::string_view text) {
    uint64_t gathered = 0;
    size_t i = 0;
    for (; i + sizeof gathered <= text.size(); i += sizeof gathered) {
        uint64_t word = 0;
        std::memcpy(&word, text.data() + i, sizeof word);
        gathered |= word;
    }
    for (; i < text.size(); ++i) {
        gathered |= static_cast<unsigned char>(text[i]);
    }
    return (gathered & 0x8080808080808080ull) != 0;
}

size_t firstInvalidSymbol(const std::string& path) {
    if (path.find('\\') == std::string::npos && !hasNonAsciiByte(path)) {
        return std::string::npos;
    }
    for (size_t i = 0; i < path.size(); ++i) {
        const auto byte = static_cast<unsigned char>(path[i]);
        if (byte == '\\' || byte >= 128) {
            return i;
        }
    }
    return std::string::npos;
}

// The resource library resolves a path to the current realm's copy of a file
// when there is one (name.CODE.ext). Such a copy is the file the path means,
// so its realm code is dropped before the spellings are compared.
std::string withoutCurrentRealm(std::string diskPath) {
    if (!PathHelpers::isRealmFileName(diskPath)) {
        return diskPath;
    }
    const std::string token = "." + Options::getOptionString("realm/currentRealm", "") + ".";
    const size_t pos = diskPath.find(token);
    if (pos != std::string::npos) {
        diskPath.erase(pos, token.size() - 1);
    }
    return diskPath;
}

} // namespace

void ModelValidator::checkModelPath(const std::string& path) {
    KX_STACK_TRACK("KX::ModelValidator::checkModelPath");
    const std::string fileName = FS::Utils::getFilename(path);
    if (fileName.empty() || fileName.front() < '0' || fileName.front() > '9') {
        return;
    }
    report(Findings::FileNameStartsWithDigit, Findings::FileNameStartsWithDigit.text(fileName, path));
}

void ModelValidator::checkSpacesContaining(const std::string& path) {
    KX_STACK_TRACK("KX::ModelValidator::checkSpacesContaining");
    // Nearly every path has none: a byte search says so before any counting.
    if (path.find(' ') == std::string::npos) {
        return;
    }
    const auto spaces = std::count(path.begin(), path.end(), ' ');
    report(Findings::PathContainsSpaces, Findings::PathContainsSpaces.text(path, static_cast<int>(spaces)));
}

void ModelValidator::checkingInvalidSymbols(const std::string& path) {
    KX_STACK_TRACK("KX::ModelValidator::checkingInvalidSymbols");
    const size_t invalid = firstInvalidSymbol(path);
    if (invalid != std::string::npos) {
        const FindingKind& kind =
            path[invalid] == '\\' ? Findings::PathContainsBackSlash : Findings::PathContainsNonLatinLetters;
        report(kind, kind.text(path));
    }

    // Steps ask about the same textures and models many times a check: the
    // disk's spelling is compared once per path and view (none when it agrees).
    static ViewMemo<std::string, std::optional<std::string>> differingOnDisk;
    const std::optional<std::string> onDisk = differingOnDisk.get(path, [&]() -> std::optional<std::string> {
        std::string spelled = withoutCurrentRealm(FS::Utils::resolveAndCorrectCaseOfPath(path));
        PathHelpers::normalizePath(spelled);
        std::string written = path;
        PathHelpers::normalizePath(written);
        // The disk path is absolute, so the written path only has to be part of it.
        if (written.empty() || spelled.find(written) != std::string::npos) {
            return std::nullopt;
        }
        return spelled;
    });
    if (onDisk) {
        report(Findings::PathCaseDiffersFromDisk, Findings::PathCaseDiffersFromDisk.text(*onDisk, path));
    }
}

} // namespace KX
