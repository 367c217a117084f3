#include "inspect.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>

#include "engine/core/ascii_case.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/index_block.h"
#include "engine/geometry/primitives_format.h"
#include "engine/geometry/vertices.h"
#include "engine/model/model_constants.h"
#include "engine/model/super_model.h"
#include "engine/model/visual.h"
#include "engine/physics/bsp_tree.h"
#include "engine/platform/utf8_path.h"
#include "engine/render/render_format.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "engine/texture/texture_loader.h"
#include "json_util.h"

namespace KX::Cli {
namespace {

// A JSON value built in order and printed with two-space indentation; arrays
// of plain values stay on one line.
class Json {
  public:
    static Json object() { return Json(Kind::Object); }
    static Json array() { return Json(Kind::Array); }
    static Json null() { return scalar("null"); }
    static Json string(const std::string& s) { return scalar(jsonString(s)); }
    static Json boolean(bool b) { return scalar(b ? "true" : "false"); }
    static Json integer(long long v) { return scalar(std::to_string(v)); }
    static Json number(double v) { return std::isfinite(v) ? scalar(formatString("%.9g", v)) : null(); }
    static Json vector(const Vector3& v) {
        return array().push(number(v.x)).push(number(v.y)).push(number(v.z));
    }
    static Json box(const AABB& b) {
        if (b.insideOut()) {
            return null();
        }
        return object().set("min", vector(b.minBounds())).set("max", vector(b.maxBounds()));
    }

    Json& set(const std::string& key, Json value) {
        members_.emplace_back(key, std::move(value));
        return *this;
    }
    Json& push(Json value) {
        items_.push_back(std::move(value));
        return *this;
    }
    // Appends the members of another object.
    Json& merge(Json other) {
        for (auto& member : other.members_) {
            members_.push_back(std::move(member));
        }
        return *this;
    }

    void write(std::ostream& out, int depth) const {
        const std::string pad(static_cast<size_t>(depth + 1) * 2, ' ');
        const std::string closePad(static_cast<size_t>(depth) * 2, ' ');
        if (kind_ == Kind::Scalar) {
            out << text_;
        } else if (kind_ == Kind::Object) {
            if (members_.empty()) {
                out << "{}";
                return;
            }
            out << "{\n";
            for (size_t i = 0; i < members_.size(); ++i) {
                out << pad << jsonString(members_[i].first) << ": ";
                members_[i].second.write(out, depth + 1);
                out << (i + 1 < members_.size() ? ",\n" : "\n");
            }
            out << closePad << "}";
        } else {
            const bool flat = std::all_of(items_.begin(), items_.end(),
                                          [](const Json& j) { return j.kind_ == Kind::Scalar; });
            if (items_.empty() || flat) {
                out << "[";
                for (size_t i = 0; i < items_.size(); ++i) {
                    out << (i ? ", " : "") << items_[i].text_;
                }
                out << "]";
                return;
            }
            out << "[\n";
            for (size_t i = 0; i < items_.size(); ++i) {
                out << pad;
                items_[i].write(out, depth + 1);
                out << (i + 1 < items_.size() ? ",\n" : "\n");
            }
            out << closePad << "]";
        }
    }

  private:
    enum class Kind { Scalar, Object, Array };
    explicit Json(Kind kind) : kind_(kind) {}
    static Json scalar(std::string text) {
        Json j(Kind::Scalar);
        j.text_ = std::move(text);
        return j;
    }

    Kind kind_;
    std::string text_;
    std::vector<std::pair<std::string, Json>> members_;
    std::vector<Json> items_;
};

std::string lowerExtension(const std::string& path) {
    return AsciiCase::toLower(FS::Utils::getExtension(path));
}

std::string kindOf(const std::string& path) {
    const std::string ext = lowerExtension(path);
    if (ext == "dds" || ext == "png" || ext == "tga" || ext == "atlas") {
        return "texture";
    }
    if (ext == "model" || ext == "visual" || ext == "primitives") {
        return ext;
    }
    return "unknown";
}

Json materialJson(const MaterialInstance& m) {
    Json textures = Json::object();
    for (const std::string& name : m.textureProperties()) {
        TextureResourcePtr t = m.getTexture(name);
        textures.set(name, t ? Json::string(t->resourceID()) : Json::null());
    }
    return Json::object()
        .set("identifier", Json::string(m.identifier()))
        .set("fx", Json::string(m.fx()))
        .set("materialKind", Json::integer(m.materialKind()))
        .set("collisionFlags", Json::integer(m.collisionFlags()))
        .set("textures", std::move(textures));
}

Json bspTriangles(const Visual& visual) {
    return visual.pBSPTree ? Json::integer(static_cast<long long>(visual.pBSPTree->numTriangles()))
                           : Json::null();
}

void describeVisual(const Visual& visual, Json& entry) {
    ModelMaterials materials;
    for (const VisualRenderSet& set : visual.renderSets) {
        for (const VisualGeometry& g : set.geometries) {
            for (const VisualPrimitiveGroup& group : g.groups) {
                materials.add(group.material);
            }
        }
    }
    Json nodes = Json::array();
    for (const std::string& path : visual.nodePaths()) {
        nodes.push(Json::string(path));
    }
    Json list = Json::array();
    for (const MaterialInstancePtr& m : materials.materials()) {
        list.push(materialJson(*m));
    }
    entry.set("primitives", Json::string(visual.primitivesPath))
        .set("nodes", std::move(nodes))
        .set("triangles", Json::integer(static_cast<long long>(visual.numTris())))
        .set("boundingBox", Json::box(visual.localBoundingBox()))
        .set("storedBoundingBox", Json::box(visual.storedBoundingBox()))
        .set("bspTriangles", bspTriangles(visual))
        .set("materials", std::move(list));
}

bool inspectModel(const std::string& path, Json& entry, std::string& error) {
    const SuperModel model(path);
    Json lods = Json::array();
    for (const ModelLodInfo& lod : model.lodChain()) {
        lods.push(Json::object()
                      .set("model", Json::string(lod.modelPath))
                      .set("visual", Json::string(lod.visualPath))
                      .set("extent", lod.extent == Model::LOD_MAX ? Json::null() : Json::number(lod.extent)));
    }
    std::string reason;
    const bool lodsValid = model.simpleValidateLODs(&reason);
    entry.set("lods", std::move(lods))
        .set("lodsValid", Json::boolean(lodsValid))
        .set("lodProblem", lodsValid ? Json::null() : Json::string(reason));
    if (!model.isLoaded()) {
        error = model.loadError();
        return false;
    }
    Json materials = Json::array();
    for (const MaterialInstancePtr& m : model.getMaterials().materials()) {
        materials.push(materialJson(*m));
    }
    entry.set("triangles", Json::integer(static_cast<long long>(model.numTris())))
        .set("boundingBox", Json::box(model.localBoundingBox()))
        .set("bspTriangles", bspTriangles(*model.visual()))
        .set("materials", std::move(materials));
    return true;
}

bool inspectVisual(const std::string& path, Json& entry, std::string& error) {
    VisualPtr visual = VisualManager::instance().get(path, VisualManager::LoadAll, true, false);
    if (!visual) {
        error = "the visual cannot be opened";
        return false;
    }
    describeVisual(*visual, entry);
    if (!visual->geometryLoaded) {
        error = visual->geometryError;
        return false;
    }
    return true;
}

bool inspectTexture(const std::string& path, Json& entry, std::string& error) {
    TextureLoader loader;
    TextureLoader::InputOptions options;
    options.generateMips = false;
    if (!loader.loadTextureFromFile(path, options, path, false)) {
        error = loader.lastError().empty() ? "the texture cannot be loaded" : loader.lastError();
        return false;
    }
    const TextureLoader::Output output = loader.takeOutput();
    entry.set("format", Json::string(Render::getResourceFormatName(output.format)))
        .set("formatId", Json::integer(output.format))
        .set("width", Json::integer(output.width))
        .set("height", Json::integer(output.height))
        .set("mips", Json::integer(output.mipCount));
    return true;
}

struct DecodedBlock {
    std::string name;
    VerticesPtr vertices;
    IndexBlockPtr indices;
};

// The vertex block an index block draws from: the only one, the one named
// like it with "vertices" for "indices", or the one at the same position.
const DecodedBlock* pairedVertices(const std::vector<DecodedBlock>& vertexBlocks,
                                   const std::string& indexName, size_t indexPosition) {
    if (vertexBlocks.size() == 1) {
        return &vertexBlocks[0];
    }
    std::string wanted = indexName;
    if (const size_t at = wanted.find("indices"); at != std::string::npos) {
        wanted.replace(at, 7, "vertices");
        for (const DecodedBlock& b : vertexBlocks) {
            if (b.name == wanted) {
                return &b;
            }
        }
    }
    return indexPosition < vertexBlocks.size() ? &vertexBlocks[indexPosition] : nullptr;
}

bool inspectPrimitives(const std::string& path, Json& entry, std::string& error) {
    const std::string absolute = FS::fileSystem()->resolveFilename(path);
    std::ifstream in(pathFromUtf8(absolute), std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    BinaryPtr data(new BinaryBlock(std::move(bytes)));
    if (!BinaryContainer::isContainer(data)) {
        error = "not a primitives container";
        return false;
    }
    DataSectionPtr root = BinaryContainer::open(FS::Utils::getFilename(path), data, error);
    if (!root) {
        return false;
    }
    Json blocks = Json::array();
    std::vector<DecodedBlock> vertexBlocks, indexBlocks;
    uint64_t vertices = 0, triangles = 0;
    Json bsp = Json::null();
    for (DataSectionPtr block : *root) {
        const std::string_view view = block->asBinary()->view();
        const PrimitivesFormat::BlockKind kind = PrimitivesFormat::blockKind(view);
        Json b = Json::object()
                     .set("name", Json::string(block->sectionName()))
                     .set("size", Json::integer(static_cast<long long>(view.size())))
                     .set("kind", Json::string(PrimitivesFormat::blockKindName(kind)));
        std::string why;
        if (kind == PrimitivesFormat::BlockKind::Vertices) {
            if (VerticesPtr v = Vertices::decode(view, why)) {
                b.set("format", Json::string(v->sourceFormat()))
                    .set("count", Json::integer(static_cast<long long>(v->count())));
                vertices += v->count();
                vertexBlocks.push_back({block->sectionName(), v, nullptr});
            }
        } else if (kind == PrimitivesFormat::BlockKind::Indices) {
            if (IndexBlockPtr ib = IndexBlock::decode(view, why)) {
                b.set("indexSize", Json::integer(ib->indexSize()))
                    .set("groups", Json::integer(static_cast<long long>(ib->groups().size())))
                    .set("triangles", Json::integer(static_cast<long long>(ib->triangleCount())));
                triangles += ib->triangleCount();
                indexBlocks.push_back({block->sectionName(), nullptr, ib});
            }
        } else if (kind == PrimitivesFormat::BlockKind::BSP) {
            if (std::unique_ptr<BSPTree> tree = BSPTreeTool::parseBSP(view, why)) {
                b.set("triangles", Json::integer(static_cast<long long>(tree->numTriangles())))
                    .set("nodes", Json::integer(static_cast<long long>(tree->nodes().size())));
                if (block->sectionName() == PrimitivesFormat::kBSPBlockName) {
                    bsp = Json::integer(static_cast<long long>(tree->numTriangles()));
                }
            }
        } else if (kind == PrimitivesFormat::BlockKind::BSPMaterials) {
            std::vector<std::string> ids;
            if (BSPTreeTool::parseMaterialIDs(view, ids, why)) {
                Json list = Json::array();
                for (const std::string& id : ids) {
                    list.push(Json::string(id));
                }
                b.set("materials", std::move(list));
            }
        }
        if (!why.empty()) {
            b.set("error", Json::string(why));
            if (error.empty()) {
                error = "block '" + block->sectionName() + "': " + why;
            }
        }
        blocks.push(std::move(b));
    }
    AABB box;
    for (size_t i = 0; i < indexBlocks.size(); ++i) {
        const DecodedBlock* v = pairedVertices(vertexBlocks, indexBlocks[i].name, i);
        const IndexBlock& ib = *indexBlocks[i].indices;
        if (!v) {
            continue;
        }
        for (const PrimitiveGroup& g : ib.groups()) {
            for (size_t k = g.startIndex; k < size_t{g.startIndex} + size_t{g.primitiveCount} * 3; ++k) {
                const uint32_t index = ib.indices()[k];
                if (index >= v->vertices->count()) {
                    if (error.empty()) {
                        error = formatString("block '%s': index %u is outside the %zu vertices of '%s'",
                                             indexBlocks[i].name.c_str(), index, v->vertices->count(),
                                             v->name.c_str());
                    }
                    break;
                }
                box.addBounds(v->vertices->positions()[index]);
            }
        }
    }
    entry.set("vertices", Json::integer(static_cast<long long>(vertices)))
        .set("triangles", Json::integer(static_cast<long long>(triangles)))
        .set("boundingBox", Json::box(box))
        .set("bspTriangles", std::move(bsp))
        .set("blocks", std::move(blocks));
    return error.empty();
}

// A resource path when the file system knows it, else a disk path (absolute
// or relative to the working folder); "" when neither exists.
std::string locate(const std::string& file) {
    if (FS::fileSystem()->fileType(file) == FS::FT_FILE) {
        return file;
    }
    std::error_code ec;
    const std::filesystem::path disk = pathFromUtf8(file);
    if (std::filesystem::is_regular_file(disk, ec)) {
        return pathToUtf8(std::filesystem::absolute(disk, ec));
    }
    return {};
}

Json inspectFile(const std::string& file, bool& loaded) {
    KX_STACK_TRACK("KX::Cli::inspectFile");
    const std::string kind = kindOf(file);
    Json entry = Json::object();
    std::string error;
    const std::string path = locate(file);
    Json details = Json::object();
    bool ok = false;
    if (path.empty()) {
        error = "file not found";
    } else if (kind == "texture") {
        ok = inspectTexture(path, details, error);
    } else if (kind == "model") {
        ok = inspectModel(path, details, error);
    } else if (kind == "visual") {
        ok = inspectVisual(path, details, error);
    } else if (kind == "primitives") {
        ok = inspectPrimitives(path, details, error);
    } else {
        error = "unknown file kind";
    }
    if (!ok && error.empty()) {
        error = "cannot be loaded";
    }
    loaded = ok;
    entry.set("file", Json::string(file)).set("kind", Json::string(kind));
    entry.set("error", ok ? Json::null() : Json::string(error));
    return entry.merge(std::move(details));
}

} // namespace

int runInspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    std::vector<std::string> roots, files;
    for (size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--res") {
            if (i + 1 >= args.size()) {
                err << "inspect: --res needs a folder\n";
                return 2;
            }
            roots.push_back(args[++i]);
        } else if (args[i].size() > 1 && args[i][0] == '-') {
            err << "inspect: unknown option " << args[i] << "\n";
            return 2;
        } else {
            files.push_back(args[i]);
        }
    }
    if (files.empty()) {
        err << "usage: model-validator inspect [--res DIR]... FILE...\n";
        return 2;
    }
    const std::vector<std::string> previousRoots = FS::fileSystem()->roots();
    if (!roots.empty()) {
        std::vector<std::string> absolute;
        for (const std::string& r : roots) {
            std::error_code ec;
            absolute.push_back(pathToUtf8(std::filesystem::absolute(pathFromUtf8(r), ec)));
        }
        FS::fileSystem()->setRoots(absolute);
    } else if (previousRoots.empty()) {
        std::error_code ec;
        FS::fileSystem()->setRoots({pathToUtf8(std::filesystem::current_path(ec))});
    }
    Json result = Json::array();
    bool allLoaded = true;
    for (const std::string& file : files) {
        bool loaded = false;
        result.push(inspectFile(file, loaded));
        allLoaded = allLoaded && loaded;
    }
    FS::fileSystem()->setRoots(previousRoots);
    result.write(out, 0);
    out << "\n";
    return allLoaded ? 0 : 1;
}

} // namespace KX::Cli
