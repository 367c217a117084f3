#pragma once

#include <bit>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

// Little-endian reading and writing of the engine's binary blocks. The reader
// never reads past its view: a read beyond the end sets `failed` and yields
// zeros, so a parser can check once after a group of reads.
namespace ByteIO {

class Reader {
  public:
    explicit Reader(std::string_view bytes) : bytes_(bytes) {}

    size_t position() const { return pos_; }
    size_t remaining() const { return pos_ <= bytes_.size() ? bytes_.size() - pos_ : 0; }
    bool failed() const { return failed_; }
    void seek(size_t position) {
        if (position > bytes_.size()) {
            failed_ = true;
            position = bytes_.size();
        }
        pos_ = position;
    }
    bool skip(size_t count) {
        if (count > remaining()) {
            failed_ = true;
            pos_ = bytes_.size();
            return false;
        }
        pos_ += count;
        return true;
    }

    uint8_t u8() { return static_cast<uint8_t>(read(1)); }
    uint16_t u16() { return static_cast<uint16_t>(read(2)); }
    uint32_t u32() { return static_cast<uint32_t>(read(4)); }
    uint64_t u64() { return read(8); }
    float f32() {
        const uint32_t bits = u32();
        float value;
        std::memcpy(&value, &bits, sizeof value);
        return value;
    }
    // `count` raw bytes; empty (and failed) when they are not all there.
    std::string_view bytes(size_t count) {
        if (count > remaining()) {
            failed_ = true;
            pos_ = bytes_.size();
            return {};
        }
        std::string_view out = bytes_.substr(pos_, count);
        pos_ += count;
        return out;
    }
    // A text written by Writer::text: its size (32 bits), then its bytes.
    std::string_view text() { return bytes(u32()); }
    // A fixed-size text field padded with NULs: the text before the first NUL.
    std::string fixedText(size_t width) {
        std::string_view field = bytes(width);
        return std::string(field.substr(0, field.find('\0')));
    }

  private:
    uint64_t read(int size) {
        if (static_cast<size_t>(size) > remaining()) {
            failed_ = true;
            pos_ = bytes_.size();
            return 0;
        }
        uint64_t value = 0;
        if constexpr (std::endian::native == std::endian::little) {
            // The bytes are already in the host's order: one load, not a loop per byte.
            std::memcpy(&value, bytes_.data() + pos_, static_cast<size_t>(size));
        } else {
            for (int i = size - 1; i >= 0; --i) {
                value = (value << 8) | static_cast<unsigned char>(bytes_[pos_ + static_cast<size_t>(i)]);
            }
        }
        pos_ += static_cast<size_t>(size);
        return value;
    }

    std::string_view bytes_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// Little-endian values at a place the caller has already checked to lie
// within its bytes (a record of a block whose size was checked once), for
// loops that would otherwise test every value.
inline uint32_t u32At(const char* at) {
    uint32_t value = 0;
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(&value, at, sizeof value);
    } else {
        for (int i = 3; i >= 0; --i) {
            value = (value << 8) | static_cast<unsigned char>(at[i]);
        }
    }
    return value;
}

inline uint16_t u16At(const char* at) {
    if constexpr (std::endian::native == std::endian::little) {
        uint16_t value = 0;
        std::memcpy(&value, at, sizeof value);
        return value;
    } else {
        return static_cast<uint16_t>(static_cast<unsigned char>(at[0]) |
                                     (static_cast<unsigned char>(at[1]) << 8));
    }
}

inline float f32At(const char* at) {
    const uint32_t bits = u32At(at);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

class Writer {
  public:
    std::vector<char>& buffer() { return out_; }
    size_t size() const { return out_.size(); }

    void u8(uint8_t v) { out_.push_back(static_cast<char>(v)); }
    void u16(uint16_t v) { write(v, 2); }
    void u32(uint32_t v) { write(v, 4); }
    void u64(uint64_t v) { write(v, 8); }
    void f32(float v) {
        uint32_t bits;
        std::memcpy(&bits, &v, sizeof bits);
        u32(bits);
    }
    void raw(std::string_view bytes) {
        if (bytes.empty()) {
            return;
        }
        const size_t at = out_.size();
        out_.resize(at + bytes.size());
        std::memcpy(out_.data() + at, bytes.data(), bytes.size());
    }
    // Writes the size of `bytes` (32 bits), then the bytes.
    void text(std::string_view bytes) {
        u32(static_cast<uint32_t>(bytes.size()));
        raw(bytes);
    }
    // Writes `text` NUL-padded to `width` bytes; the caller keeps it shorter.
    void fixedText(const std::string& text, size_t width) {
        for (size_t i = 0; i < width; ++i) {
            out_.push_back(i < text.size() ? text[i] : '\0');
        }
    }
    void padTo(size_t alignment) {
        while (out_.size() % alignment != 0) {
            out_.push_back('\0');
        }
    }
    // Overwrites a 32-bit value written earlier.
    void patchU32(size_t offset, uint32_t v) {
        for (int i = 0; i < 4; ++i) {
            out_[offset + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    }
    void patchU64(size_t offset, uint64_t v) {
        for (int i = 0; i < 8; ++i) {
            out_[offset + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
        }
    }

  private:
    void write(uint64_t v, int size) {
        const size_t at = out_.size();
        out_.resize(at + static_cast<size_t>(size));
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(out_.data() + at, &v, static_cast<size_t>(size));
        } else {
            for (int i = 0; i < size; ++i) {
                out_[at + static_cast<size_t>(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
            }
        }
    }

    std::vector<char> out_;
};

} // namespace ByteIO
