#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"

namespace {

class DirSection : public DataSection {
  public:
    explicit DirSection(std::string absolutePath)
        : path_(std::move(absolutePath)), entries_(FS::fileSystem()->listDirectory(path_)) {}

    std::string sectionName() const override {
        size_t slash = path_.rfind('/');
        return slash == std::string::npos ? path_ : path_.substr(slash + 1);
    }

    int countChildren() override { return static_cast<int>(entries_.size()); }

    DataSectionPtr openChild(int index) override {
        if (index < 0 || index >= static_cast<int>(entries_.size())) {
            return nullptr;
        }
        return openEntry(entries_[static_cast<size_t>(index)]);
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
        if (FS::fileSystem()->fileType(entryPath) == FS::FT_DIRECTORY) {
            return DataSectionPtr(new DirSection(entryPath));
        }
        return FS::Utils::openSection(entryPath);
    }

    std::string path_;
    std::vector<std::string> entries_;
};

} // namespace

namespace FolderSection {

DataSectionPtr open(const std::string& absolutePath) {
    return DataSectionPtr(new DirSection(absolutePath));
}

} // namespace FolderSection
