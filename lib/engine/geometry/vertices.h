#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "engine/core/light_mutex.h"
#include "engine/core/smart_pointer.h"
#include "engine/geometry/byte_io.h"
#include "engine/math/math_types.h"
#include "engine/resource/binary_block.h"

// The layout of one vertex as its format name spells it: "xyznuv" (position,
// normal, texture coordinates), then one 'i' per bone index byte, one 'w' per
// bone weight byte, then "tb" when tangents and binormals follow.
struct VertexFormat {
    static constexpr int kMaxBoneIndices = 4;
    static constexpr int kMaxBoneWeights = 3;

    int boneIndices = 0;
    int boneWeights = 0;
    bool tangents = false;

    std::string name() const;
    size_t stride() const;
    // False for names outside the grammar above.
    static bool parse(const std::string& name, VertexFormat& out);
};

// Vertex attributes as separate arrays. Optional arrays are either empty or
// as long as `positions`; bone arrays hold `bonesPerVertex` (or
// `weightsPerVertex`) bytes per vertex.
struct VertexData {
    std::vector<Vector3> positions;
    std::vector<Vector3> normals;
    std::vector<Vector2> uvs;
    std::vector<Vector3> tangents;
    std::vector<Vector3> binormals;
    int bonesPerVertex = 0;
    int weightsPerVertex = 0;
    std::vector<uint8_t> boneIndices;
    std::vector<uint8_t> boneWeights;

    size_t size() const { return positions.size(); }
    // The format these arrays encode to; false and a reason when they do not fit one.
    bool format(VertexFormat& out, std::string& error) const;
};

// A decoded vertex block of a .primitives file.
class Vertices : public ReferenceCount {
  public:
    // Every array; null and a reason when the block is malformed.
    static SmartPointer<Vertices> decode(std::string_view block, std::string& error);
    // The block checked whole, its positions read when first asked for (it
    // is kept until then): most geometry a check loads is only counted.
    static SmartPointer<Vertices> decodeLazily(const BinaryPtr& block, std::string& error);
    // Encodes a vertex block (header and packed vertices).
    static bool encode(const VertexData& data, std::vector<char>& out, std::string& error);

    // The format name the block was written with ("xyznuvtb" and the like).
    const std::string& sourceFormat() const { return sourceFormat_; }
    // Tangents and binormals are present.
    bool hasBumpedFormat() const { return format_.tangents; }
    const VertexFormat& format() const { return format_; }
    size_t count() const { return count_; }
    // Every array when decoded at once; the positions alone when decoded lazily.
    const VertexData& data() const {
        readPositions();
        return data_;
    }
    const std::vector<Vector3>& positions() const {
        readPositions();
        return data_.positions;
    }
    // The position of vertex `i` (below count()), read where the block holds
    // it when the positions were decoded lazily.
    Vector3 position(size_t i) const {
        if (records_ != nullptr) {
            const char* at = records_ + i * stride_;
            return Vector3(ByteIO::f32At(at), ByteIO::f32At(at + 4), ByteIO::f32At(at + 8));
        }
        return data_.positions[i];
    }

  private:
    void readPositions() const;

    std::string sourceFormat_;
    VertexFormat format_;
    size_t count_ = 0;
    mutable VertexData data_;
    // When decoded lazily: the block, held so that its records (from
    // `records_`, `stride_` bytes each) can be read later.
    BinaryPtr unread_;
    const char* records_ = nullptr;
    size_t stride_ = 0;
    mutable std::once_flag positionsRead_;
};

using VerticesPtr = SmartPointer<Vertices>;

// Loads vertex blocks by resource identifier "dir/file.primitives/block".
// Nothing is kept: the parsed file stays in the section cache, decoding is
// repeated per call.
class VerticesManager {
  public:
    static VerticesManager& instance();

    // Null when the file or block is missing (silently) or malformed (one
    // warning naming the file and block).
    VerticesPtr get(const std::string& resourceID);
    // Vertices::decode of a block of an opened file, of its format and
    // positions (what a check asks of geometry). Within one pass of the file
    // system (one check) a block is decoded once: the checks and the visuals
    // they load ask for the same geometry many times.
    VerticesPtr decode(const BinaryPtr& block, std::string& error);

  private:
    struct Decoded {
        BinaryPtr block; // held, so that the address of its bytes names them
        VerticesPtr vertices;
        std::string error;
    };
    LightMutex mutex_;
    // By the address of the bytes: each open of a block is a new view of
    // the same bytes of the file.
    std::unordered_map<const char*, Decoded> ofThisPass_;
    uint64_t pass_ = 0;
};
