#include "engine/model/visual.h"

#include <algorithm>
#include <charconv>
#include <set>

#include "engine/core/debug_log.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/primitive_file.h"
#include "engine/geometry/primitives_format.h"
#include "engine/resource/file_system.h"

namespace {

// Node trees deeper than this are treated as malformed rather than recursed into.
constexpr int kMaxNodeDepth = 256;

void readNodes(const DataSectionPtr& parent, std::vector<VisualNode>& out, int depth) {
    if (depth > kMaxNodeDepth) {
        return;
    }
    for (const DataSectionPtr& s : parent->sectionsWithTag("node")) {
        VisualNode node;
        node.identifier = s->readString("identifier");
        readNodes(s, node.children, depth + 1);
        out.push_back(std::move(node));
    }
}

void collectPaths(const std::vector<VisualNode>& nodes, const std::string& prefix,
                  std::vector<std::string>& out) {
    for (const VisualNode& n : nodes) {
        const std::string path = prefix.empty() ? n.identifier : prefix + "/" + n.identifier;
        out.push_back(path);
        collectPaths(n.children, path, out);
    }
}

void readRenderSets(Visual& visual) {
    for (const DataSectionPtr& s : visual.section->sectionsWithTag("renderSet")) {
        VisualRenderSet renderSet;
        renderSet.node = s->readString("node");
        for (const DataSectionPtr& g : s->sectionsWithTag("geometry")) {
            VisualGeometry geometry;
            geometry.verticesName = g->readString("vertices");
            geometry.primitiveName = g->readString("primitive");
            for (const DataSectionPtr& pg : g->sectionsWithTag("primitiveGroup")) {
                VisualPrimitiveGroup group;
                group.groupIndex = pg->asUInt(0);
                group.material = pg->findChild("material");
                geometry.groups.push_back(group);
            }
            renderSet.geometries.push_back(std::move(geometry));
        }
        visual.renderSets.push_back(std::move(renderSet));
    }
}

// Decodes one geometry's blocks; false and a reason ("block: why") when they
// are missing, malformed or do not fit together.
bool loadGeometry(const DataSectionPtr& primitives, VisualGeometry& g, std::string& error) {
    DataSectionPtr vb = primitives->findChild(g.verticesName);
    DataSectionPtr ib = primitives->findChild(g.primitiveName);
    if (!vb || !ib) {
        error = "block '" + (vb ? g.primitiveName : g.verticesName) + "' is missing";
        return false;
    }
    std::string why;
    g.vertices = VerticesManager::instance().decode(vb->asBinary(), why);
    if (!g.vertices) {
        error = g.verticesName + ": " + why;
        return false;
    }
    g.indices = IndexBlock::decode(ib->asBinary()->view(), why);
    if (!g.indices) {
        error = g.primitiveName + ": " + why;
        return false;
    }
    if (g.indices->vertexRangeEnd() > g.vertices->count()) {
        error = g.primitiveName + ": groups address " + std::to_string(g.indices->vertexRangeEnd()) +
                " vertices, '" + g.verticesName + "' has " + std::to_string(g.vertices->count());
        return false;
    }
    for (const VisualPrimitiveGroup& group : g.groups) {
        if (group.groupIndex >= g.indices->groups().size()) {
            error =
                g.primitiveName + ": primitive group " + std::to_string(group.groupIndex) + " does not exist";
            return false;
        }
    }
    return true;
}

void loadCollision(Visual& visual, const DataSectionPtr& primitives, bool report) {
    DataSectionPtr bsp = primitives->findChild(PrimitivesFormat::kBSPBlockName);
    if (!bsp) {
        return;
    }
    std::string error;
    visual.pBSPTree = BSPTreeTool::parseBSP(bsp->asBinary()->view(), error);
    if (!visual.pBSPTree) {
        if (report) {
            DebugLog::fileProblem("geometry", visual.primitivesPath, "bsp2: " + error);
        }
        return;
    }
    DataSectionPtr materials = primitives->findChild(PrimitivesFormat::kBSPMaterialsBlockName);
    if (materials &&
        !BSPTreeTool::parseMaterialIDs(materials->asBinary()->view(), visual.bspMaterialIDs, error) &&
        report) {
        DebugLog::fileProblem("geometry", visual.primitivesPath,
                              PrimitivesFormat::kBSPMaterialsBlockName + ": " + error);
    }
}

VisualPtr loadVisual(const std::string& path, unsigned flags, bool report) {
    DataSectionPtr section = FS::Utils::openSection(path);
    if (!section) {
        return nullptr;
    }
    VisualPtr visual(new Visual);
    visual->resourceID = path;
    visual->section = section;
    visual->primitivesPath = PrimitiveFile::pathForVisual(path, section);
    if (flags & VisualManager::LoadNodes) {
        readNodes(section, visual->nodes, 0);
    }
    readRenderSets(*visual);
    if (!(flags & (VisualManager::LoadGeometry | VisualManager::LoadCollision))) {
        return visual;
    }
    // A missing file is the visual's problem; a malformed one was already
    // reported by the resource layer when it failed to open.
    const bool exists = FS::fileSystem()->fileType(visual->primitivesPath) == FS::FT_FILE;
    DataSectionPtr primitives = exists ? PrimitiveFile::open(visual->primitivesPath) : nullptr;
    if (!primitives) {
        visual->geometryError = exists ? "primitives file " + visual->primitivesPath + " cannot be read"
                                       : "primitives file " + visual->primitivesPath + " not found";
        if (!exists && report && !visual->renderSets.empty()) {
            DebugLog::message(DebugLog::Warning, "geometry", "%s: %s", path.c_str(),
                              visual->geometryError.c_str());
        }
        return visual;
    }
    if (flags & VisualManager::LoadGeometry) {
        visual->geometryLoaded = true;
        for (VisualRenderSet& set : visual->renderSets) {
            for (VisualGeometry& g : set.geometries) {
                std::string error;
                if (visual->geometryLoaded && !loadGeometry(primitives, g, error)) {
                    visual->geometryLoaded = false;
                    visual->geometryError = error;
                    if (report) {
                        DebugLog::fileProblem("geometry", visual->primitivesPath, error);
                    }
                }
            }
        }
    }
    if (flags & VisualManager::LoadCollision) {
        loadCollision(*visual, primitives, report);
    }
    return visual;
}

// Only geometry that loaded completely is walked: a failed geometry may hold
// blocks that do not fit together.
template <class Fn> void forEachUsedTriangle(const Visual& visual, Fn fn) {
    if (!visual.geometryLoaded) {
        return;
    }
    for (const VisualRenderSet& set : visual.renderSets) {
        for (const VisualGeometry& g : set.geometries) {
            std::set<uint32_t> seen;
            for (const VisualPrimitiveGroup& pg : g.groups) {
                if (pg.groupIndex < g.indices->groups().size() && seen.insert(pg.groupIndex).second) {
                    fn(g, g.indices->groups()[pg.groupIndex]);
                }
            }
        }
    }
}

} // namespace

uint64_t Visual::numTris() const {
    uint64_t total = 0;
    forEachUsedTriangle(
        *this, [&](const VisualGeometry&, const PrimitiveGroup& group) { total += group.primitiveCount; });
    return total;
}

AABB Visual::localBoundingBox() const {
    AABB box;
    // A vertex shared by several triangles counts once. The indices of a
    // geometry first mark the vertices they use, then the marked vertices are
    // added in order: marking needs no branch, and the sweep's branch is
    // nearly always taken, where testing each index as it comes is a guess
    // the processor often gets wrong.
    const VisualGeometry* marked = nullptr;
    std::vector<uint8_t> used;
    const auto addMarked = [&] {
        if (marked == nullptr) {
            return;
        }
        const Vertices& vertices = *marked->vertices;
        for (size_t v = 0; v < used.size(); ++v) {
            if (used[v]) {
                box.addBounds(vertices.position(v));
            }
        }
    };
    forEachUsedTriangle(*this, [&](const VisualGeometry& g, const PrimitiveGroup& group) {
        if (marked != &g) {
            addMarked();
            used.assign(g.vertices->count(), 0);
            marked = &g;
        }
        const size_t end = size_t{group.startIndex} + size_t{group.primitiveCount} * 3;
        g.indices->withStoredIndices([&](const auto* indices) {
            // Four at a time: the loop's own count and test cost as much as a mark.
            size_t i = group.startIndex;
            for (; i + 4 <= end; i += 4) {
                used[indices[i]] = 1;
                used[indices[i + 1]] = 1;
                used[indices[i + 2]] = 1;
                used[indices[i + 3]] = 1;
            }
            for (; i < end; ++i) {
                used[indices[i]] = 1;
            }
        });
    });
    addMarked();
    return box;
}

AABB Visual::storedBoundingBox() const {
    if (!section || !section->openSection("boundingBox")) {
        return AABB();
    }
    return AABB(section->readVector3("boundingBox/min"), section->readVector3("boundingBox/max"));
}

std::vector<std::string> Visual::nodePaths() const {
    std::vector<std::string> paths;
    collectPaths(nodes, std::string(), paths);
    std::sort(paths.begin(), paths.end());
    return paths;
}

VisualManager& VisualManager::instance() {
    static VisualManager manager;
    return manager;
}

namespace {

// A visual loaded with some parts, as kept for the process: its path, '|'
// and the parts. Made in `key`, whose room serves the next load: a check asks
// for its visuals thousands of times, and nearly always finds them kept.
void keyOf(std::string& key, const std::string& visualPath, unsigned flags) {
    char digits[16];
    const auto made = std::to_chars(digits, digits + sizeof digits, flags);
    key.assign(visualPath).append(1, '|').append(digits, made.ptr);
}

// As kept for a pass: a quiet load must not spare a later load the log lines it owes.
void passKeyOf(std::string& key, const std::string& visualPath, unsigned flags, bool reportErrors) {
    keyOf(key, visualPath, flags);
    key.append(reportErrors ? "|r" : "|q");
}

} // namespace

VisualPtr VisualManager::get(const std::string& visualPath, unsigned flags, bool reportErrors, bool keep) {
    KX_STACK_TRACK("VisualManager::get");
    thread_local std::string key;
    thread_local std::string passKey;
    keyOf(key, visualPath, flags);
    passKeyOf(passKey, visualPath, flags, reportErrors);
    const uint64_t pass = FS::fileSystem()->generation();
    {
        std::lock_guard<LightMutex> lock(mutex_);
        auto it = kept_.find(std::string_view(key));
        if (it != kept_.end()) {
            return it->second;
        }
        if (pass_ != pass) {
            ofThisPass_.clear();
            pass_ = pass;
        }
        auto inPass = ofThisPass_.find(std::string_view(passKey));
        if (inPass != ofThisPass_.end()) {
            return inPass->second;
        }
        // A quiet load of part of a visual is answered by a whole one loaded
        // in this pass: it read the same files, and nothing is owed to the log.
        if (!reportErrors && flags != LoadAll) {
            thread_local std::string wholeKey;
            for (const bool reported : {true, false}) {
                passKeyOf(wholeKey, visualPath, LoadAll, reported);
                auto whole = ofThisPass_.find(std::string_view(wholeKey));
                if (whole != ofThisPass_.end() && whole->second) {
                    return whole->second;
                }
            }
        }
    }
    VisualPtr visual = loadVisual(visualPath, flags, reportErrors);
    std::lock_guard<LightMutex> lock(mutex_);
    // Made again: loading may have asked for other visuals, whose keys took the buffers.
    if (visual && keep) {
        keyOf(key, visualPath, flags);
        kept_[key] = visual;
    } else if (pass_ == pass) {
        passKeyOf(passKey, visualPath, flags, reportErrors);
        ofThisPass_[passKey] = visual;
    }
    return visual;
}

void VisualManager::purge(const std::string& visualPath) {
    std::lock_guard<LightMutex> lock(mutex_);
    const std::string prefix = visualPath + "|";
    for (auto* visuals : {&kept_, &ofThisPass_}) {
        for (auto it = visuals->lower_bound(prefix);
             it != visuals->end() && it->first.compare(0, prefix.size(), prefix) == 0;) {
            it = visuals->erase(it);
        }
    }
}

void VisualManager::clear() {
    std::lock_guard<LightMutex> lock(mutex_);
    kept_.clear();
    ofThisPass_.clear();
}
