#include "engine/geometry/vertices.h"
#include "engine/resource/file_system.h"

#include "engine/core/debug_log.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/byte_io.h"
#include "engine/geometry/primitive_file.h"
#include "engine/geometry/primitives_format.h"

namespace {
constexpr size_t kHeaderSize = 48;
constexpr size_t kFormatNameSize = 32;
// Tag, version and header size, the format name, the count and the stride; records follow.
static_assert(kHeaderSize == 8 + kFormatNameSize + 8);
} // namespace

std::string VertexFormat::name() const {
    std::string n = "xyznuv";
    n.append(static_cast<size_t>(boneIndices), 'i');
    n.append(static_cast<size_t>(boneWeights), 'w');
    if (tangents) {
        n += "tb";
    }
    return n;
}

size_t VertexFormat::stride() const {
    return 12 + 12 + 8 + static_cast<size_t>(boneIndices) + static_cast<size_t>(boneWeights) +
           (tangents ? 24 : 0);
}

bool VertexFormat::parse(const std::string& name, VertexFormat& out) {
    static const std::string prefix = "xyznuv";
    if (name.compare(0, prefix.size(), prefix) != 0) {
        return false;
    }
    VertexFormat f;
    size_t p = prefix.size();
    while (p < name.size() && name[p] == 'i') {
        ++f.boneIndices;
        ++p;
    }
    while (p < name.size() && name[p] == 'w') {
        ++f.boneWeights;
        ++p;
    }
    if (name.compare(p, std::string::npos, "tb") == 0) {
        f.tangents = true;
        p += 2;
    }
    if (p != name.size() || f.boneIndices > kMaxBoneIndices || f.boneWeights > kMaxBoneWeights ||
        (f.boneWeights > 0 && f.boneIndices == 0)) {
        return false;
    }
    out = f;
    return true;
}

bool VertexData::format(VertexFormat& out, std::string& error) const {
    const size_t n = positions.size();
    auto fits = [n](size_t count) { return count == 0 || count == n; };
    if (!fits(normals.size()) || !fits(uvs.size()) || !fits(tangents.size()) || !fits(binormals.size())) {
        error = "attribute arrays differ in length from the positions";
        return false;
    }
    if (tangents.empty() != binormals.empty()) {
        error = "tangents and binormals come together";
        return false;
    }
    if (bonesPerVertex < 0 || weightsPerVertex < 0 ||
        boneIndices.size() != n * static_cast<size_t>(bonesPerVertex) ||
        boneWeights.size() != n * static_cast<size_t>(weightsPerVertex)) {
        error = "bone arrays do not hold the stated bytes per vertex";
        return false;
    }
    VertexFormat f;
    f.boneIndices = bonesPerVertex;
    f.boneWeights = weightsPerVertex;
    f.tangents = !tangents.empty();
    VertexFormat check;
    if (!VertexFormat::parse(f.name(), check)) {
        error = "no vertex format has " + std::to_string(bonesPerVertex) + " bone indices and " +
                std::to_string(weightsPerVertex) + " weights";
        return false;
    }
    out = f;
    return true;
}

bool Vertices::encode(const VertexData& data, std::vector<char>& out, std::string& error) {
    VertexFormat f;
    if (!data.format(f, error)) {
        return false;
    }
    if (data.size() > UINT32_MAX) {
        error = "too many vertices";
        return false;
    }
    ByteIO::Writer w;
    PrimitivesFormat::writeBlockHeader(w, PrimitivesFormat::BlockKind::Vertices,
                                       static_cast<uint16_t>(kHeaderSize));
    w.fixedText(f.name(), kFormatNameSize);
    w.u32(static_cast<uint32_t>(data.size()));
    w.u32(static_cast<uint32_t>(f.stride()));
    auto vec3 = [&w](const std::vector<Vector3>& v, size_t i) {
        const Vector3 value = v.empty() ? Vector3::zero() : v[i];
        w.f32(value.x);
        w.f32(value.y);
        w.f32(value.z);
    };
    for (size_t i = 0; i < data.size(); ++i) {
        vec3(data.positions, i);
        vec3(data.normals, i);
        const Vector2 uv = data.uvs.empty() ? Vector2::zero() : data.uvs[i];
        w.f32(uv.x);
        w.f32(uv.y);
        for (int k = 0; k < f.boneIndices; ++k) {
            w.u8(data.boneIndices[i * static_cast<size_t>(f.boneIndices) + static_cast<size_t>(k)]);
        }
        for (int k = 0; k < f.boneWeights; ++k) {
            w.u8(data.boneWeights[i * static_cast<size_t>(f.boneWeights) + static_cast<size_t>(k)]);
        }
        if (f.tangents) {
            vec3(data.tangents, i);
            vec3(data.binormals, i);
        }
    }
    out = std::move(w.buffer());
    return true;
}

namespace {

Vector3 vec3At(const char* at) {
    return Vector3(ByteIO::f32At(at), ByteIO::f32At(at + 4), ByteIO::f32At(at + 8));
}

// A vertex block's header, checked against the block's size.
struct BlockHeader {
    std::string name;
    VertexFormat format;
    uint32_t count = 0;
    uint32_t stride = 0;
};

bool readHeader(std::string_view block, BlockHeader& header, std::string& error) {
    ByteIO::Reader r(block);
    uint16_t headerSize = 0;
    if (!PrimitivesFormat::readBlockHeader(block, PrimitivesFormat::BlockKind::Vertices, kHeaderSize, r,
                                           headerSize, error)) {
        return false;
    }
    if (headerSize != kHeaderSize) {
        error = formatString("unexpected vertex header size %u", unsigned{headerSize});
        return false;
    }
    header.name = r.fixedText(kFormatNameSize);
    header.count = r.u32();
    header.stride = r.u32();
    if (!VertexFormat::parse(header.name, header.format)) {
        error = "unknown vertex format '" + header.name + "'";
        return false;
    }
    if (header.stride != header.format.stride()) {
        error = formatString("stride %u does not match format '%s' (%zu)", header.stride, header.name.c_str(),
                             header.format.stride());
        return false;
    }
    if (uint64_t{header.count} * header.stride != block.size() - kHeaderSize) {
        error = formatString("%u vertices of %u bytes do not fill the block of %zu bytes", header.count,
                             header.stride, block.size());
        return false;
    }
    return true;
}

} // namespace

void Vertices::readPositions() const {
    if (records_ != nullptr) {
        // The block was checked whole when it was decoded: every record lies inside it.
        std::call_once(positionsRead_, [this] {
            data_.positions.reserve(count_);
            for (size_t i = 0; i < count_; ++i) {
                data_.positions.push_back(position(i));
            }
        });
    }
}

SmartPointer<Vertices> Vertices::decodeLazily(const BinaryPtr& block, std::string& error) {
    BlockHeader header;
    if (!readHeader(block->view(), header, error)) {
        return nullptr;
    }
    SmartPointer<Vertices> v(new Vertices);
    v->sourceFormat_ = header.name;
    v->format_ = header.format;
    v->count_ = header.count;
    v->data_.bonesPerVertex = header.format.boneIndices;
    v->data_.weightsPerVertex = header.format.boneWeights;
    v->unread_ = block;
    v->records_ = block->view().data() + kHeaderSize;
    v->stride_ = header.stride;
    return v;
}

SmartPointer<Vertices> Vertices::decode(std::string_view block, std::string& error) {
    KX_STACK_TRACK("Vertices::decode");
    BlockHeader header;
    if (!readHeader(block, header, error)) {
        return nullptr;
    }
    const VertexFormat& f = header.format;
    const uint32_t count = header.count;
    const uint32_t stride = header.stride;
    SmartPointer<Vertices> v(new Vertices);
    v->sourceFormat_ = header.name;
    v->format_ = f;
    v->count_ = count;
    VertexData& d = v->data_;
    d.bonesPerVertex = f.boneIndices;
    d.weightsPerVertex = f.boneWeights;
    const char* record = block.data() + kHeaderSize;
    d.positions.resize(count);
    d.normals.resize(count);
    d.uvs.resize(count);
    d.boneIndices.resize(size_t{count} * static_cast<size_t>(f.boneIndices));
    d.boneWeights.resize(size_t{count} * static_cast<size_t>(f.boneWeights));
    if (f.tangents) {
        d.tangents.resize(count);
        d.binormals.resize(count);
    }
    const size_t bones = static_cast<size_t>(f.boneIndices);
    const size_t weights = static_cast<size_t>(f.boneWeights);
    for (size_t i = 0; i < count; ++i, record += stride) {
        const char* at = record;
        d.positions[i] = vec3At(at);
        d.normals[i] = vec3At(at + 12);
        d.uvs[i] = Vector2(ByteIO::f32At(at + 24), ByteIO::f32At(at + 28));
        at += 32;
        for (size_t k = 0; k < bones; ++k) {
            d.boneIndices[i * bones + k] = static_cast<uint8_t>(*at++);
        }
        for (size_t k = 0; k < weights; ++k) {
            d.boneWeights[i * weights + k] = static_cast<uint8_t>(*at++);
        }
        if (f.tangents) {
            d.tangents[i] = vec3At(at);
            d.binormals[i] = vec3At(at + 12);
        }
    }
    return v;
}

VerticesManager& VerticesManager::instance() {
    static VerticesManager manager;
    return manager;
}

VerticesPtr VerticesManager::get(const std::string& resourceID) {
    KX_STACK_TRACK("VerticesManager::get");
    std::string file;
    std::string blockName;
    if (!PrimitivesFormat::splitBlockPath(resourceID, file, blockName)) {
        return nullptr;
    }
    BinaryPtr block = PrimitiveFile::openBlock(file, blockName);
    if (!block) {
        return nullptr;
    }
    std::string error;
    VerticesPtr v = decode(block, error);
    if (!v) {
        DebugLog::fileProblem("geometry", resourceID, error);
    }
    return v;
}

VerticesPtr VerticesManager::decode(const BinaryPtr& block, std::string& error) {
    const uint64_t pass = FS::fileSystem()->generation();
    {
        std::lock_guard<LightMutex> lock(mutex_);
        if (pass_ != pass) {
            ofThisPass_.clear();
            pass_ = pass;
        }
        auto it = ofThisPass_.find(block->view().data());
        if (it != ofThisPass_.end() && it->second.block->view().size() == block->view().size()) {
            error = it->second.error;
            return it->second.vertices;
        }
    }
    VerticesPtr vertices = Vertices::decodeLazily(block, error);
    std::lock_guard<LightMutex> lock(mutex_);
    if (pass_ == pass) {
        ofThisPass_[block->view().data()] = Decoded{block, vertices, error};
    }
    return vertices;
}
