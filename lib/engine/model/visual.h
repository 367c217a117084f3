#pragma once

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/core/light_mutex.h"
#include "engine/core/smart_pointer.h"
#include "engine/geometry/index_block.h"
#include "engine/geometry/vertices.h"
#include "engine/math/math_types.h"
#include "engine/physics/bsp_tree.h"
#include "engine/resource/data_section.h"

// A node of the hierarchy, by identifier. Its transform stays in the file:
// the checks that place things read it from the sections themselves.
struct VisualNode {
    std::string identifier;
    std::vector<VisualNode> children;
};

// A primitive group of a geometry as the visual names it, with its material section.
struct VisualPrimitiveGroup {
    uint32_t groupIndex = 0;
    DataSectionPtr material;
};

struct VisualGeometry {
    std::string verticesName;
    std::string primitiveName;
    std::vector<VisualPrimitiveGroup> groups;
    VerticesPtr vertices;
    IndexBlockPtr indices;
};

struct VisualRenderSet {
    std::string node;
    std::vector<VisualGeometry> geometries;
};

// A loaded .visual file: its node hierarchy, its render sets with their
// geometry, and the collision tree of its primitives file.
class Visual : public ReferenceCount {
  public:
    std::string resourceID;
    std::string primitivesPath;
    DataSectionPtr section;
    std::vector<VisualNode> nodes;
    std::vector<VisualRenderSet> renderSets;
    // Collision tree of the primitives file, or null when it has no "bsp2".
    std::unique_ptr<BSPTree> pBSPTree;
    // BSP material identifiers by material index ("bsp2_materials").
    std::vector<std::string> bspMaterialIDs;
    // True when every geometry's vertex and index blocks loaded and agree;
    // otherwise `geometryError` says why.
    bool geometryLoaded = false;
    std::string geometryError;

    // Triangles of the primitive groups the geometries use.
    uint64_t numTris() const;
    // Box over the vertex positions those triangles use (inside out when none).
    AABB localBoundingBox() const;
    // The box stored in the file ("boundingBox"), read when asked: the
    // checks read it from the section. Inside out when absent.
    AABB storedBoundingBox() const;
    // "Scene Root/child/..." for every node, sorted.
    std::vector<std::string> nodePaths() const;
};

using VisualPtr = SmartPointer<Visual>;

class VisualManager {
  public:
    enum LoadFlags : unsigned {
        LoadNodes = 1,     // node hierarchy and stored bounding box
        LoadGeometry = 2,  // vertex and index blocks of every geometry
        LoadCollision = 4, // "bsp2" and "bsp2_materials"
        LoadAll = LoadNodes | LoadGeometry | LoadCollision,
    };

    static VisualManager& instance();

    // Null when the visual file does not open. With `reportErrors`, problems
    // of the primitives file are written to the debug log (one line each);
    // with `keep`, the visual stays here until `purge` or `clear`. Without,
    // it is kept for the rest of the file system's pass (one check), in which
    // the files it was read from are taken as unchanged.
    VisualPtr get(const std::string& visualPath, unsigned flags = LoadAll, bool reportErrors = true,
                  bool keep = false);
    void purge(const std::string& visualPath);
    void clear();

  private:
    LightMutex mutex_;
    // Asked with keys made in a buffer, without a string of their own.
    std::map<std::string, VisualPtr, std::less<>> kept_;
    std::map<std::string, VisualPtr, std::less<>> ofThisPass_;
    uint64_t pass_ = 0;
};
