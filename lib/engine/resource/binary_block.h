#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "engine/core/smart_pointer.h"

// An immutable block of bytes. A block may be a view into another block; the
// view keeps the storage alive.
class BinaryBlock : public ReferenceCount {
  public:
    explicit BinaryBlock(std::vector<char> bytes) {
        auto owned = std::make_shared<const std::vector<char>>(std::move(bytes));
        base_ = owned->data();
        length_ = owned->size();
        storage_ = std::move(owned);
    }
    // Bytes a file was read into: no copy and no zeroing before the read.
    BinaryBlock(std::unique_ptr<char[]> bytes, size_t length)
        : storage_(std::shared_ptr<const char[]>(std::move(bytes))), length_(length) {
        base_ = static_cast<const char*>(storage_.get());
    }
    BinaryBlock(const SmartPointer<BinaryBlock>& parent, size_t offset, size_t length)
        : storage_(parent->storage_), base_(parent->base_), offset_(parent->offset_ + offset),
          length_(length) {}

    const char* data() const { return base_ + offset_; }
    size_t len() const { return length_; }
    std::string_view view() const { return {data(), length_}; }

  private:
    std::shared_ptr<const void> storage_; // owns the bytes base_ points to
    const char* base_ = nullptr;
    size_t offset_ = 0;
    size_t length_ = 0;
};

using BinaryPtr = SmartPointer<BinaryBlock>;
