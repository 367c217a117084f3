#include <algorithm>

#include "engine/core/ascii_case.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"

namespace {

class DirSection : public DataSection {
  public:
    explicit DirSection(std::string absolutePath)
        : path_(std::move(absolutePath)), listed_(FS::fileSystem()->listDirectoryWithTypes(path_)) {}

    std::string sectionName() const override {
        size_t slash = path_.rfind('/');
        return slash == std::string::npos ? path_ : path_.substr(slash + 1);
    }

    int countChildren() override { return static_cast<int>(listed_->names.size()); }

    DataSectionPtr openChild(int index) override {
        if (index < 0 || index >= static_cast<int>(listed_->names.size())) {
            return nullptr;
        }
        return openEntry(listed_->names[static_cast<size_t>(index)]);
    }

    DataSectionPtr findChild(const std::string& tag) override {
        // Spelled from the listing the section holds, as the file system
        // spells a path's last name: the same name exactly, else the first in
        // name order that differs from it in letter case alone. The file
        // system indexes long listings by lowered name; those are asked of it.
        const std::vector<std::string>& names = listed_->names;
        if (names.size() > kScannedNames) {
            const std::string found = FS::fileSystem()->findIgnoringCase(path_, {tag});
            return found.empty() ? nullptr : openEntry(found.substr(path_.size() + 1));
        }
        const auto exact = std::lower_bound(names.begin(), names.end(), tag);
        if (exact != names.end() && *exact == tag) {
            return openEntry(*exact);
        }
        const auto spelled = std::find_if(names.begin(), names.end(), [&tag](const std::string& name) {
            return AsciiCase::equalIgnoringCase(name, tag);
        });
        return spelled == names.end() ? nullptr : openEntry(*spelled);
    }

  private:
    static constexpr size_t kScannedNames = 16;

    DataSectionPtr openEntry(const std::string& name) {
        std::string entryPath;
        entryPath.reserve(path_.size() + 1 + name.size());
        entryPath.append(path_).append(1, '/').append(name);
        // A folder the listing shows opens at once; anything else, a link
        // included, is resolved (and kept inside the roots) as it opens.
        if (listedType(name) == FS::FT_DIRECTORY) {
            return DataSectionPtr(new DirSection(entryPath));
        }
        return FS::Utils::openSection(entryPath);
    }

    int listedType(const std::string& name) const {
        const std::vector<std::string>& names = listed_->names;
        const auto at = std::lower_bound(names.begin(), names.end(), name);
        if (at == names.end() || *at != name) {
            return FS::FileSystem::kTypeUnknown;
        }
        return listed_->types[static_cast<size_t>(at - names.begin())];
    }

    std::string path_;
    // The file system's listing as it was when the section opened.
    std::shared_ptr<const FS::FileSystem::TypedListing> listed_;
};

} // namespace

namespace FolderSection {

DataSectionPtr open(const std::string& absolutePath) {
    return DataSectionPtr(new DirSection(absolutePath));
}

} // namespace FolderSection
