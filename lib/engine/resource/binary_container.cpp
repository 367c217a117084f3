#include <algorithm>
#include <cstring>
#include <set>

#include "engine/core/format.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitives_format.h"
#include "engine/resource/data_section.h"

namespace {

using namespace PrimitivesFormat;

struct BlockEntry {
    std::string name;
    uint64_t offset = 0;
    uint64_t size = 0;
};

class ContainerSection;

// One named block: no children, its bytes a view into the container.
class BlockSection : public DataSection {
  public:
    BlockSection(SmartPointer<ContainerSection> owner, std::string name, BinaryPtr bytes)
        : owner_(std::move(owner)), name_(std::move(name)), bytes_(std::move(bytes)) {}

    std::string sectionName() const override { return name_; }
    int countChildren() override { return 0; }
    DataSectionPtr openChild(int) override { return nullptr; }
    DataSectionPtr parentSection() override;
    BinaryPtr asBinary() override { return bytes_; }

  private:
    SmartPointer<ContainerSection> owner_;
    std::string name_;
    BinaryPtr bytes_;
};

// The root of a container. Children are made on demand so that blocks do not
// keep their parent alive in a cycle.
class ContainerSection : public DataSection {
  public:
    ContainerSection(std::string name, BinaryPtr bytes, std::vector<BlockEntry> entries)
        : name_(std::move(name)), bytes_(std::move(bytes)), entries_(std::move(entries)) {}

    std::string sectionName() const override { return name_; }
    int countChildren() override { return static_cast<int>(entries_.size()); }
    DataSectionPtr openChild(int index) override {
        if (index < 0 || index >= countChildren()) {
            return nullptr;
        }
        const BlockEntry& e = entries_[static_cast<size_t>(index)];
        BinaryPtr view(new BinaryBlock(bytes_, static_cast<size_t>(e.offset), static_cast<size_t>(e.size)));
        return DataSectionPtr(new BlockSection(SmartPointer<ContainerSection>(this), e.name, view));
    }
    // The first block of that name, looked up in the table: only the block
    // found is made a section.
    DataSectionPtr findChild(const std::string& tag) override {
        for (size_t i = 0; i < entries_.size(); ++i) {
            if (entries_[i].name == tag) {
                return openChild(static_cast<int>(i));
            }
        }
        return nullptr;
    }
    BinaryPtr asBinary() override { return bytes_; }

  private:
    std::string name_;
    BinaryPtr bytes_;
    std::vector<BlockEntry> entries_;
};

DataSectionPtr BlockSection::parentSection() {
    return DataSectionPtr(owner_.get());
}

bool readTable(std::string_view file, std::vector<BlockEntry>& entries, std::string& error) {
    ByteIO::Reader r(file);
    if (file.size() < kContainerHeaderSize) {
        error = formatString("truncated container header (%zu bytes)", file.size());
        return false;
    }
    r.skip(4);
    const uint16_t version = r.u16();
    const uint16_t headerSize = r.u16();
    const uint32_t count = r.u32();
    r.u32();
    if (version != kContainerVersion) {
        error = formatString("unsupported container version %u", unsigned{version});
        return false;
    }
    if (headerSize != kContainerHeaderSize) {
        error = formatString("unexpected container header size %u", unsigned{headerSize});
        return false;
    }
    if (count > kMaxBlocks) {
        error = formatString("block count %u exceeds the limit of %u", count, kMaxBlocks);
        return false;
    }
    const uint64_t tableEnd = kContainerHeaderSize + uint64_t{count} * kBlockEntrySize;
    if (tableEnd > file.size()) {
        error = formatString("block table of %u entries runs past the end of the file (%zu bytes)", count,
                             file.size());
        return false;
    }
    std::set<std::string> names;
    entries.reserve(count);
    for (uint32_t i = 0; i < count; ++i) {
        std::string_view rawName = r.bytes(kBlockNameSize);
        BlockEntry e;
        e.name = std::string(rawName.substr(0, rawName.find('\0')));
        e.offset = r.u64();
        e.size = r.u64();
        if (e.name.size() == kBlockNameSize || !isValidBlockName(e.name)) {
            error = formatString("block %u has an invalid name", i);
            return false;
        }
        if (!names.insert(e.name).second) {
            error = "duplicate block name '" + e.name + "'";
            return false;
        }
        if (e.offset < tableEnd || e.offset > file.size() || e.size > file.size() - e.offset) {
            error = formatString("block '%s' (offset %llu, size %llu) lies outside the file (%zu bytes)",
                                 e.name.c_str(), static_cast<unsigned long long>(e.offset),
                                 static_cast<unsigned long long>(e.size), file.size());
            return false;
        }
        entries.push_back(std::move(e));
    }
    std::vector<const BlockEntry*> byOffset;
    for (const BlockEntry& e : entries) {
        if (e.size > 0) {
            byOffset.push_back(&e);
        }
    }
    std::sort(byOffset.begin(), byOffset.end(),
              [](const BlockEntry* a, const BlockEntry* b) { return a->offset < b->offset; });
    for (size_t i = 1; i < byOffset.size(); ++i) {
        if (byOffset[i - 1]->offset + byOffset[i - 1]->size > byOffset[i]->offset) {
            error = "blocks '" + byOffset[i - 1]->name + "' and '" + byOffset[i]->name + "' overlap";
            return false;
        }
    }
    return true;
}

} // namespace

namespace BinaryContainer {

bool isContainer(const BinaryPtr& bytes) {
    return bytes && bytes->len() >= 4 && std::memcmp(bytes->data(), kContainerMagic, 4) == 0;
}

DataSectionPtr open(const std::string& name, const BinaryPtr& bytes, std::string& error) {
    if (!isContainer(bytes)) {
        error = "not a binary container";
        return nullptr;
    }
    std::vector<BlockEntry> entries;
    if (!readTable(bytes->view(), entries, error)) {
        return nullptr;
    }
    return DataSectionPtr(new ContainerSection(name, bytes, std::move(entries)));
}

} // namespace BinaryContainer
