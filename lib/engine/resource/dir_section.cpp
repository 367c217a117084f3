#include <algorithm>

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
        std::string found = FS::fileSystem()->findIgnoringCase(path_, {tag});
        if (found.empty()) {
            return nullptr;
        }
        return openEntry(found.substr(path_.size() + 1));
    }

  private:
    DataSectionPtr openEntry(const std::string& name) {
        const std::string entryPath = path_ + "/" + name;
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
