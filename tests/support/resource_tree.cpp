#include "support/resource_tree.h"
#include "engine/platform/utf8_path.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <random>

#include "engine/resource/data_section_cache.h"
#include "engine/resource/file_system.h"
#include "engine/settings/options.h"

namespace fs = std::filesystem;

TempResourceTree::TempResourceTree() {
    static std::atomic<int> counter{0};
    std::random_device random;
    fs::path dir = fs::temp_directory_path() /
                   ("kx-res-" + std::to_string(random()) + "-" + std::to_string(counter.fetch_add(1)));
    fs::create_directories(dir);
    root_ = pathToUtf8(dir);
    FS::fileSystem()->setRoots({root_});
    DataSectionCache::instance().clear();
    Options::clear();
}

TempResourceTree::~TempResourceTree() {
    std::error_code ec;
    fs::remove_all(pathFromUtf8(root_), ec);
    FS::fileSystem()->setRoots({});
    DataSectionCache::instance().clear();
    Options::clear();
}

std::string TempResourceTree::path(const std::string& resourcePath) const {
    return root_ + "/" + resourcePath;
}

std::string TempResourceTree::write(const std::string& resourcePath, const std::string& content) {
    return writeBytes(resourcePath, std::vector<char>(content.begin(), content.end()));
}

std::string TempResourceTree::writeBytes(const std::string& resourcePath, const std::vector<char>& bytes) {
    const std::string absolute = path(resourcePath);
    fs::create_directories(pathFromUtf8(absolute).parent_path());
    std::ofstream out(pathFromUtf8(absolute), std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    refresh();
    return absolute;
}

void TempResourceTree::makeDirectory(const std::string& resourcePath) {
    fs::create_directories(pathFromUtf8(path(resourcePath)));
    refresh();
}

void TempResourceTree::remove(const std::string& resourcePath) {
    std::error_code ec;
    fs::remove_all(pathFromUtf8(path(resourcePath)), ec);
    refresh();
}

void TempResourceTree::refresh() {
    DataSectionCache::instance().clear();
}

void TempResourceTree::age() {
    std::error_code ec;
    const auto past = fs::file_time_type::clock::now() - std::chrono::hours(1);
    for (fs::recursive_directory_iterator it(pathFromUtf8(root_), ec), end; !ec && it != end;
         it.increment(ec)) {
        fs::last_write_time(it->path(), past, ec);
    }
    fs::last_write_time(pathFromUtf8(root_), past, ec);
}

std::string readDiskFile(const std::string& absolutePath) {
    std::ifstream in(pathFromUtf8(absolutePath), std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

bool diskIsCaseSensitive(const std::string& folder) {
    const fs::path probe = pathFromUtf8(folder) / "CaseProbe.tmp";
    { std::ofstream(probe) << "x"; }
    std::error_code ec;
    bool sensitive = !fs::exists(pathFromUtf8(folder) / "caseprobe.tmp", ec);
    fs::remove(probe, ec);
    return sensitive;
}

std::error_code makeLinks(const std::vector<TestLink>& links) {
    std::error_code error;
    for (const TestLink& link : links) {
        if (link.folder) {
            std::filesystem::create_directory_symlink(pathFromUtf8(link.target), pathFromUtf8(link.at),
                                                      error);
        } else {
            std::filesystem::create_symlink(pathFromUtf8(link.target), pathFromUtf8(link.at), error);
        }
        if (error) {
            break;
        }
    }
    return error;
}
