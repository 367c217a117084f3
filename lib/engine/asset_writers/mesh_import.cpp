#include "engine/asset_writers/mesh_import.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unordered_map>

#include "engine/core/ascii_case.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/platform/utf8_path.h"
#include "engine/resource/file_system.h"

namespace AssetWriters {

namespace {

// Walks text line by line, counting lines from 1 and dropping a trailing '\r'.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text, size_t start = 0) : text_(text), pos_(start) {}
    bool next(std::string_view& line) {
        if (pos_ >= text_.size()) {
            return false;
        }
        size_t end = text_.find('\n', pos_);
        const size_t stop = end == std::string_view::npos ? text_.size() : end;
        line = text_.substr(pos_, stop - pos_);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        pos_ = end == std::string_view::npos ? text_.size() : end + 1;
        ++line_;
        return true;
    }
    size_t line() const { return line_; }
    size_t position() const { return pos_; }
    void setLine(size_t line) { line_ = line; }

  private:
    std::string_view text_;
    size_t pos_;
    size_t line_ = 0;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f';
}

void splitTokens(std::string_view line, std::vector<std::string_view>& out) {
    out.clear();
    size_t i = 0;
    while (i < line.size()) {
        while (i < line.size() && isBlank(line[i])) {
            ++i;
        }
        size_t start = i;
        while (i < line.size() && !isBlank(line[i])) {
            ++i;
        }
        if (i > start) {
            out.push_back(line.substr(start, i - start));
        }
    }
}

bool parseNumber(std::string_view token, double& value) {
    const char* first = token.data();
    const char* last = first + token.size();
    if (first != last && *first == '+') {
        ++first;
    }
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last && std::isfinite(value);
}

bool parseInteger(std::string_view token, long long& value) {
    const char* first = token.data();
    const char* last = first + token.size();
    if (first != last && *first == '+') {
        ++first;
    }
    auto [end, ec] = std::from_chars(first, last, value);
    return ec == std::errc() && end == last;
}

// Normals for the vertices that have none: the area-weighted sum of the
// normals of the faces around them.
void fillMissingNormals(Mesh& mesh, const std::vector<bool>& hasNormal) {
    VertexData& v = mesh.vertices;
    v.normals.resize(v.positions.size());
    if (std::all_of(hasNormal.begin(), hasNormal.end(), [](bool b) { return b; })) {
        return;
    }
    std::vector<Vector3> sum(v.positions.size());
    const std::vector<uint32_t>& idx = mesh.indices.indices;
    for (size_t i = 0; i + 2 < idx.size(); i += 3) {
        const Vector3 a = v.positions[idx[i + 1]] - v.positions[idx[i]];
        const Vector3 b = v.positions[idx[i + 2]] - v.positions[idx[i]];
        const Vector3 n(a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x);
        for (int k = 0; k < 3; ++k) {
            sum[idx[i + static_cast<size_t>(k)]] = sum[idx[i + static_cast<size_t>(k)]] + n;
        }
    }
    for (size_t i = 0; i < sum.size(); ++i) {
        if (hasNormal[i]) {
            continue;
        }
        const float length = std::sqrt(sum[i].x * sum[i].x + sum[i].y * sum[i].y + sum[i].z * sum[i].z);
        v.normals[i] = length > 0.f ? sum[i] * (1.f / length) : Vector3(0.f, 1.f, 0.f);
    }
}

void finishMesh(Mesh& mesh, const std::vector<bool>& hasNormal) {
    fillMissingNormals(mesh, hasNormal);
    mesh.vertices.uvs.resize(mesh.vertices.positions.size());
    mesh.indices.groups.clear();
    if (!mesh.indices.indices.empty()) {
        PrimitiveGroup all;
        all.primitiveCount = static_cast<uint32_t>(mesh.indices.indices.size() / 3);
        all.vertexCount = static_cast<uint32_t>(mesh.vertices.positions.size());
        mesh.indices.groups.push_back(all);
    }
}

void addFan(const std::vector<uint32_t>& corners, std::vector<uint32_t>& indices) {
    for (size_t k = 1; k + 1 < corners.size(); ++k) {
        indices.push_back(corners[0]);
        indices.push_back(corners[k]);
        indices.push_back(corners[k + 1]);
    }
}

// ---- OBJ ----

struct CornerKey {
    uint32_t v, t, n;
    bool operator==(const CornerKey& o) const { return v == o.v && t == o.t && n == o.n; }
};
struct CornerHash {
    size_t operator()(const CornerKey& k) const {
        return (size_t{k.v} * 73856093u) ^ (size_t{k.t} * 19349663u) ^ (size_t{k.n} * 83492791u);
    }
};

constexpr uint32_t kNoIndex = 0xFFFFFFFFu;

// A 1-based or negative (relative) OBJ reference into a list of `count` items.
bool resolveReference(std::string_view token, size_t count, uint32_t& out) {
    long long i = 0;
    if (!parseInteger(token, i) || i == 0) {
        return false;
    }
    const long long index = i > 0 ? i - 1 : static_cast<long long>(count) + i;
    if (index < 0 || index >= static_cast<long long>(count)) {
        return false;
    }
    out = static_cast<uint32_t>(index);
    return true;
}

} // namespace

bool readOBJ(std::string_view text, Mesh& mesh, std::string& error) {
    KX_STACK_TRACK("AssetWriters::readOBJ");
    std::vector<Vector3> positions, normals;
    std::vector<Vector2> uvs;
    Mesh out;
    std::vector<bool> hasNormal;
    std::unordered_map<CornerKey, uint32_t, CornerHash> cornerIndex;
    std::vector<std::string_view> tokens;
    std::vector<uint32_t> corners;
    LineCursor lines(text);
    std::string_view line;
    auto fail = [&](const std::string& why) {
        error = formatString("line %zu: ", lines.line()) + why;
        return false;
    };
    while (lines.next(line)) {
        splitTokens(line.substr(0, line.find('#')), tokens);
        if (tokens.empty()) {
            continue;
        }
        const std::string_view key = tokens[0];
        double value[4] = {0, 0, 0, 0};
        if (key == "v" || key == "vn" || key == "vt") {
            const size_t least = key == "vt" ? 1 : 3;
            const size_t most = key == "v" ? 7 : 3; // "v" may carry w or a colour
            if (tokens.size() - 1 < least || tokens.size() - 1 > most) {
                return fail("'" + std::string(key) + "' needs " + std::to_string(least) + " to " +
                            std::to_string(most) + " numbers");
            }
            for (size_t k = 1; k < tokens.size(); ++k) {
                double scratch = 0;
                if (!parseNumber(tokens[k], k <= 3 ? value[k - 1] : scratch)) {
                    return fail("'" + std::string(tokens[k]) + "' is not a number");
                }
            }
            if (key == "v") {
                positions.emplace_back(float(value[0]), float(value[1]), float(value[2]));
            } else if (key == "vn") {
                normals.emplace_back(float(value[0]), float(value[1]), float(value[2]));
            } else {
                uvs.emplace_back(float(value[0]), float(value[1]));
            }
        } else if (key == "f") {
            if (tokens.size() < 4) {
                return fail(
                    formatString("a face needs at least 3 corners, this one has %zu", tokens.size() - 1));
            }
            corners.clear();
            for (size_t k = 1; k < tokens.size(); ++k) {
                const std::string_view corner = tokens[k];
                const size_t s1 = corner.find('/');
                const size_t s2 = s1 == std::string_view::npos ? s1 : corner.find('/', s1 + 1);
                CornerKey c{kNoIndex, kNoIndex, kNoIndex};
                const std::string_view vPart = corner.substr(0, s1);
                const std::string_view tPart =
                    s1 == std::string_view::npos ? std::string_view() : corner.substr(s1 + 1, s2 - s1 - 1);
                const std::string_view nPart =
                    s2 == std::string_view::npos ? std::string_view() : corner.substr(s2 + 1);
                if (!resolveReference(vPart, positions.size(), c.v) ||
                    (!tPart.empty() && !resolveReference(tPart, uvs.size(), c.t)) ||
                    (s2 != std::string_view::npos && !resolveReference(nPart, normals.size(), c.n))) {
                    return fail("face corner '" + std::string(corner) + "' refers to no defined vertex");
                }
                auto [it, added] =
                    cornerIndex.emplace(c, static_cast<uint32_t>(out.vertices.positions.size()));
                if (added) {
                    out.vertices.positions.push_back(positions[c.v]);
                    out.vertices.uvs.push_back(c.t == kNoIndex ? Vector2() : uvs[c.t]);
                    out.vertices.normals.push_back(c.n == kNoIndex ? Vector3() : normals[c.n]);
                    hasNormal.push_back(c.n != kNoIndex);
                }
                corners.push_back(it->second);
            }
            addFan(corners, out.indices.indices);
        }
        // Groups, objects, smoothing groups, materials, lines and points do not shape the mesh.
    }
    if (out.indices.indices.empty()) {
        error = "no faces";
        return false;
    }
    finishMesh(out, hasNormal);
    mesh = std::move(out);
    return true;
}

namespace {

// ---- PLY ----

enum class PlyType { Int8, UInt8, Int16, UInt16, Int32, UInt32, Float32, Float64 };

bool plyType(std::string_view name, PlyType& type) {
    static const std::pair<const char*, PlyType> names[] = {
        {"char", PlyType::Int8},       {"int8", PlyType::Int8},       {"uchar", PlyType::UInt8},
        {"uint8", PlyType::UInt8},     {"short", PlyType::Int16},     {"int16", PlyType::Int16},
        {"ushort", PlyType::UInt16},   {"uint16", PlyType::UInt16},   {"int", PlyType::Int32},
        {"int32", PlyType::Int32},     {"uint", PlyType::UInt32},     {"uint32", PlyType::UInt32},
        {"float", PlyType::Float32},   {"float32", PlyType::Float32}, {"double", PlyType::Float64},
        {"float64", PlyType::Float64},
    };
    for (const auto& [n, t] : names) {
        if (name == n) {
            type = t;
            return true;
        }
    }
    return false;
}

size_t typeSize(PlyType t) {
    switch (t) {
    case PlyType::Int8:
    case PlyType::UInt8:
        return 1;
    case PlyType::Int16:
    case PlyType::UInt16:
        return 2;
    case PlyType::Int32:
    case PlyType::UInt32:
    case PlyType::Float32:
        return 4;
    case PlyType::Float64:
        return 8;
    }
    return 1;
}

bool isIntegral(PlyType t) {
    return t != PlyType::Float32 && t != PlyType::Float64;
}

struct PlyProperty {
    std::string name;
    PlyType type = PlyType::Float32;
    bool isList = false;
    PlyType countType = PlyType::UInt8;
};

struct PlyElement {
    std::string name;
    uint64_t count = 0;
    std::vector<PlyProperty> properties;
    // Bytes of one record at the least (lists taken as empty).
    uint64_t minimumBytes() const {
        uint64_t n = 0;
        for (const PlyProperty& p : properties) {
            n += typeSize(p.isList ? p.countType : p.type);
        }
        return n;
    }
};

enum class PlyEncoding { Ascii, LittleEndian, BigEndian };

struct PlyHeader {
    PlyEncoding encoding = PlyEncoding::Ascii;
    std::vector<PlyElement> elements;
    size_t bodyOffset = 0;
    size_t bodyLine = 0;
};

bool readPlyHeader(std::string_view bytes, PlyHeader& header, std::string& error) {
    LineCursor lines(bytes);
    std::string_view line;
    std::vector<std::string_view> t;
    auto fail = [&](const std::string& why) {
        error = formatString("line %zu: ", lines.line()) + why;
        return false;
    };
    if (!lines.next(line) || line != "ply") {
        return fail("the file does not start with 'ply'");
    }
    bool sawFormat = false;
    while (true) {
        if (!lines.next(line)) {
            return fail("the header has no 'end_header'");
        }
        splitTokens(line, t);
        if (t.empty() || t[0] == "comment" || t[0] == "obj_info") {
            continue;
        }
        if (t[0] == "end_header") {
            break;
        }
        if (t[0] == "format") {
            if (t.size() != 3 || t[2] != "1.0") {
                return fail("unsupported format line");
            }
            if (t[1] == "ascii") {
                header.encoding = PlyEncoding::Ascii;
            } else if (t[1] == "binary_little_endian") {
                header.encoding = PlyEncoding::LittleEndian;
            } else if (t[1] == "binary_big_endian") {
                header.encoding = PlyEncoding::BigEndian;
            } else {
                return fail("unknown format '" + std::string(t[1]) + "'");
            }
            sawFormat = true;
        } else if (t[0] == "element") {
            long long count = 0;
            if (t.size() != 3 || !parseInteger(t[2], count) || count < 0) {
                return fail("malformed element line");
            }
            header.elements.push_back({std::string(t[1]), static_cast<uint64_t>(count), {}});
        } else if (t[0] == "property") {
            if (header.elements.empty()) {
                return fail("property before any element");
            }
            PlyProperty p;
            if (t.size() == 5 && t[1] == "list") {
                p.isList = true;
                if (!plyType(t[2], p.countType) || !isIntegral(p.countType) || !plyType(t[3], p.type)) {
                    return fail("unknown list property types");
                }
                p.name = std::string(t[4]);
            } else if (t.size() == 3) {
                if (!plyType(t[1], p.type)) {
                    return fail("unknown property type '" + std::string(t[1]) + "'");
                }
                p.name = std::string(t[2]);
            } else {
                return fail("malformed property line");
            }
            header.elements.back().properties.push_back(std::move(p));
        } else {
            return fail("unknown header keyword '" + std::string(t[0]) + "'");
        }
    }
    if (!sawFormat) {
        return fail("the header has no format line");
    }
    header.bodyOffset = lines.position();
    header.bodyLine = lines.line();
    return true;
}

// Reads the values of a PLY body, ASCII or binary, element by element.
class PlyBody {
  public:
    PlyBody(std::string_view bytes, const PlyHeader& h)
        : bytes_(bytes), header_(h), lines_(bytes, h.bodyOffset) {
        lines_.setLine(h.bodyLine);
        pos_ = h.bodyOffset;
    }

    // ASCII: moves to the next record's line (skipping blank lines).
    bool beginRecord() {
        if (header_.encoding != PlyEncoding::Ascii) {
            return true;
        }
        std::string_view line;
        do {
            if (!lines_.next(line)) {
                lines_.setLine(lines_.line() + 1);
                return fail("the file ends before all elements were read");
            }
            splitTokens(line, tokens_);
        } while (tokens_.empty());
        token_ = 0;
        return true;
    }
    bool endRecord() {
        if (header_.encoding == PlyEncoding::Ascii && token_ != tokens_.size()) {
            return fail("unexpected values at the end of the record");
        }
        return true;
    }

    bool read(PlyType type, double& value) {
        if (header_.encoding == PlyEncoding::Ascii) {
            if (token_ >= tokens_.size()) {
                return fail("the record has too few values");
            }
            const std::string_view token = tokens_[token_++];
            long long integer = 0;
            if (isIntegral(type) ? !parseInteger(token, integer) : !parseNumber(token, value)) {
                return fail("'" + std::string(token) + "' is not a valid value");
            }
            if (isIntegral(type)) {
                value = static_cast<double>(integer);
            }
            return true;
        }
        const size_t size = typeSize(type);
        if (size > bytes_.size() - pos_) {
            return fail("the file ends before all elements were read");
        }
        unsigned char raw[8];
        for (size_t i = 0; i < size; ++i) {
            const size_t from = header_.encoding == PlyEncoding::LittleEndian ? i : size - 1 - i;
            raw[i] = static_cast<unsigned char>(bytes_[pos_ + from]);
        }
        pos_ += size;
        value = decode(type, raw);
        return true;
    }

    // Room for `records` records of at least `minimum` bytes (or characters) each.
    bool fits(uint64_t records, uint64_t minimum) const {
        const uint64_t left =
            bytes_.size() - (header_.encoding == PlyEncoding::Ascii ? lines_.position() : pos_);
        const uint64_t least = header_.encoding == PlyEncoding::Ascii ? 2 : std::max<uint64_t>(minimum, 1);
        return records <= left / least;
    }

    bool fail(const std::string& why) {
        if (header_.encoding == PlyEncoding::Ascii) {
            error = formatString("line %zu: ", lines_.line()) + why;
        } else {
            error = formatString("byte %zu: ", pos_) + why;
        }
        return false;
    }

    std::string error;

  private:
    static double decode(PlyType type, const unsigned char* le) {
        uint64_t bits = 0;
        for (size_t i = typeSize(type); i-- > 0;) {
            bits = (bits << 8) | le[i];
        }
        switch (type) {
        case PlyType::Int8:
            return static_cast<int8_t>(bits);
        case PlyType::UInt8:
            return static_cast<double>(bits);
        case PlyType::Int16:
            return static_cast<int16_t>(bits);
        case PlyType::UInt16:
            return static_cast<double>(bits);
        case PlyType::Int32:
            return static_cast<int32_t>(bits);
        case PlyType::UInt32:
            return static_cast<double>(bits);
        case PlyType::Float32: {
            const auto b32 = static_cast<uint32_t>(bits);
            float f;
            std::memcpy(&f, &b32, 4);
            return f;
        }
        case PlyType::Float64: {
            double d;
            std::memcpy(&d, &bits, 8);
            return d;
        }
        }
        return 0;
    }

    std::string_view bytes_;
    const PlyHeader& header_;
    LineCursor lines_;
    size_t pos_ = 0;
    std::vector<std::string_view> tokens_;
    size_t token_ = 0;
};

// Property slots of the vertex element that feed the mesh.
struct VertexSlots {
    int position[3] = {-1, -1, -1};
    int normal[3] = {-1, -1, -1};
    int uv[2] = {-1, -1};
};

VertexSlots vertexSlots(const PlyElement& e) {
    VertexSlots s;
    for (size_t i = 0; i < e.properties.size(); ++i) {
        const std::string& n = e.properties[i].name;
        if (e.properties[i].isList) {
            continue;
        }
        const int index = static_cast<int>(i);
        const char* axes[] = {"x", "y", "z"};
        const char* normalAxes[] = {"nx", "ny", "nz"};
        for (int k = 0; k < 3; ++k) {
            if (n == axes[k]) {
                s.position[k] = index;
            }
            if (n == normalAxes[k]) {
                s.normal[k] = index;
            }
        }
        if (n == "u" || n == "s" || n == "texture_u") {
            s.uv[0] = index;
        }
        if (n == "v" || n == "t" || n == "texture_v") {
            s.uv[1] = index;
        }
    }
    return s;
}

} // namespace

bool readPLY(std::string_view bytes, Mesh& mesh, std::string& error) {
    KX_STACK_TRACK("AssetWriters::readPLY");
    PlyHeader header;
    if (!readPlyHeader(bytes, header, error)) {
        return false;
    }
    const PlyElement* vertexElement = nullptr;
    for (const PlyElement& e : header.elements) {
        if (e.name == "vertex") {
            vertexElement = &e;
        }
    }
    if (!vertexElement) {
        error = "the header declares no vertex element";
        return false;
    }
    const VertexSlots slots = vertexSlots(*vertexElement);
    if (slots.position[0] < 0 || slots.position[1] < 0 || slots.position[2] < 0) {
        error = "the vertex element lacks x, y or z";
        return false;
    }
    const bool withNormals = slots.normal[0] >= 0 && slots.normal[1] >= 0 && slots.normal[2] >= 0;
    const bool withUVs = slots.uv[0] >= 0 && slots.uv[1] >= 0;
    Mesh out;
    uint64_t verticesRead = 0;
    PlyBody body(bytes, header);
    std::vector<double> values;
    std::vector<uint32_t> corners;
    for (const PlyElement& e : header.elements) {
        if (!body.fits(e.count, e.minimumBytes())) {
            body.fail(formatString("%llu '%s' records cannot fit in the rest of the file",
                                   static_cast<unsigned long long>(e.count), e.name.c_str()));
            error = body.error;
            return false;
        }
        const bool isVertex = &e == vertexElement;
        const bool isFace = e.name == "face";
        if (isVertex) {
            out.vertices.positions.reserve(e.count);
        }
        for (uint64_t r = 0; r < e.count; ++r) {
            if (!body.beginRecord()) {
                error = body.error;
                return false;
            }
            values.assign(e.properties.size(), 0.0);
            for (size_t p = 0; p < e.properties.size(); ++p) {
                const PlyProperty& prop = e.properties[p];
                if (!prop.isList) {
                    if (!body.read(prop.type, values[p])) {
                        error = body.error;
                        return false;
                    }
                    continue;
                }
                double count = 0;
                if (!body.read(prop.countType, count)) {
                    error = body.error;
                    return false;
                }
                const bool isCorners =
                    isFace && (prop.name == "vertex_indices" || prop.name == "vertex_index");
                if (count < 0 || (isCorners && count < 3)) {
                    body.fail(
                        formatString("face %llu has %g corners", static_cast<unsigned long long>(r), count));
                    error = body.error;
                    return false;
                }
                corners.clear();
                for (uint64_t k = 0; k < static_cast<uint64_t>(count); ++k) {
                    double item = 0;
                    if (!body.read(prop.type, item)) {
                        error = body.error;
                        return false;
                    }
                    if (!isCorners) {
                        continue;
                    }
                    if (!isIntegral(prop.type) || item < 0 || item >= static_cast<double>(verticesRead) ||
                        item != std::floor(item)) {
                        body.fail(formatString("face %llu refers to vertex %g of %llu",
                                               static_cast<unsigned long long>(r), item,
                                               static_cast<unsigned long long>(verticesRead)));
                        error = body.error;
                        return false;
                    }
                    corners.push_back(static_cast<uint32_t>(item));
                }
                if (isCorners) {
                    addFan(corners, out.indices.indices);
                }
            }
            if (!body.endRecord()) {
                error = body.error;
                return false;
            }
            if (isVertex) {
                auto at = [&values](int slot) {
                    return static_cast<float>(values[static_cast<size_t>(slot)]);
                };
                out.vertices.positions.emplace_back(at(slots.position[0]), at(slots.position[1]),
                                                    at(slots.position[2]));
                if (withNormals) {
                    out.vertices.normals.emplace_back(at(slots.normal[0]), at(slots.normal[1]),
                                                      at(slots.normal[2]));
                }
                if (withUVs) {
                    out.vertices.uvs.emplace_back(at(slots.uv[0]), at(slots.uv[1]));
                }
                ++verticesRead;
            }
        }
        if (isVertex && verticesRead > UINT32_MAX) {
            error = "too many vertices";
            return false;
        }
    }
    if (out.indices.indices.empty()) {
        error = "no faces";
        return false;
    }
    finishMesh(out, std::vector<bool>(out.vertices.positions.size(), withNormals));
    mesh = std::move(out);
    return true;
}

// Scanned meshes of a few million triangles stay well below this as text.
constexpr uintmax_t kMaxMeshFileBytes = uintmax_t(1) << 30;

bool readMeshFile(const std::string& path, Mesh& mesh, std::string& error) {
    const std::filesystem::path diskPath = pathFromUtf8(path);
    std::error_code status;
    if (!std::filesystem::is_regular_file(diskPath, status)) {
        error = status ? "cannot be read (" + status.message() + ")" : "is not a file";
        return false;
    }
    const uintmax_t size = std::filesystem::file_size(diskPath, status);
    if (status || size > kMaxMeshFileBytes) {
        error = status ? "cannot be read (" + status.message() + ")"
                       : "is larger than " + std::to_string(kMaxMeshFileBytes >> 20) + " MB";
        return false;
    }
    std::ifstream in(diskPath, std::ios::binary);
    std::string bytes(static_cast<size_t>(size), '\0');
    if (!in || !in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
        error = "cannot be read";
        return false;
    }
    const std::string extension = AsciiCase::toLower(FS::Utils::getExtension(path));
    if (extension == "obj") {
        return readOBJ(bytes, mesh, error);
    }
    if (extension == "ply") {
        return readPLY(bytes, mesh, error);
    }
    error = "unknown mesh file type '" + extension + "' (expected obj or ply)";
    return false;
}

bool importMesh(const std::string& meshPath, const std::string& primitivesPath, std::string& error,
                const MeshImportOptions& options, uint64_t* triangles) {
    KX_STACK_TRACK("AssetWriters::importMesh");
    Mesh mesh;
    if (!readMeshFile(meshPath, mesh, error)) {
        error = meshPath + ": " + error;
        return false;
    }
    PrimitivesWriter writer;
    writer.mesh(mesh).bsp(collisionTriangles(mesh, {options.materialKind}, {options.collisionFlags}),
                          {options.materialIdentifier});
    if (!writer.write(primitivesPath, &error)) {
        return false;
    }
    if (triangles) {
        *triangles = mesh.indices.indices.size() / 3;
    }
    return true;
}

} // namespace AssetWriters
