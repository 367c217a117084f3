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
    explicit BinaryBlock(std::vector<char> bytes)
        : storage_(std::make_shared<const std::vector<char>>(std::move(bytes))), offset_(0),
          length_(storage_->size()) {}
    BinaryBlock(const SmartPointer<BinaryBlock>& parent, size_t offset, size_t length)
        : storage_(parent->storage_), offset_(parent->offset_ + offset), length_(length) {}

    const char* data() const { return storage_->data() + offset_; }
    size_t len() const { return length_; }
    std::string_view view() const { return {data(), length_}; }

  private:
    std::shared_ptr<const std::vector<char>> storage_;
    size_t offset_;
    size_t length_;
};

using BinaryPtr = SmartPointer<BinaryBlock>;
