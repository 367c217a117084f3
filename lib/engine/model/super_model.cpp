#include "engine/model/super_model.h"

#include <set>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/model_constants.h"
#include "engine/model/visual_path.h"
#include "engine/resource/file_system.h"
#include "engine/resource/view_memo.h"

MaterialInstance::MaterialInstance(const DataSectionPtr& material) {
    identifier_ = material->readString("identifier");
    fx_ = material->readString("fx");
    materialKind_ = material->readUInt("materialKind", 0);
    collisionFlags_ = material->readUInt("collisionFlags", 0);
    // A property's value is its first child, whose tag tells its type.
    for (const DataSectionPtr& p : material->sectionsWithTag("property")) {
        if (DataSectionPtr value = p->openChild(0); value && value->sectionName() == "Texture") {
            textures_.push_back({p->asString(), value->asString()});
        }
    }
}

std::vector<std::string> MaterialInstance::textureProperties() const {
    std::vector<std::string> names;
    names.reserve(textures_.size());
    for (const TextureProperty& p : textures_) {
        names.push_back(p.name);
    }
    return names;
}

TextureResourcePtr MaterialInstance::getTexture(const std::string& propertyName) const {
    for (const TextureProperty& p : textures_) {
        if (p.name == propertyName) {
            return p.texture.empty() ? nullptr : TextureResourcePtr(new TextureResource(p.texture));
        }
    }
    return nullptr;
}

void ModelMaterials::add(const DataSectionPtr& material) {
    if (!material) {
        return;
    }
    const std::string identifier = material->readString("identifier");
    if (getMaterial(identifier) == nullptr) {
        materials_.push_back(MaterialInstancePtr(new MaterialInstance(material)));
    }
}

MaterialInstance* ModelMaterials::getMaterial(const std::string& identifier) const {
    for (const MaterialInstancePtr& m : materials_) {
        if (m->identifier() == identifier) {
            return m.get();
        }
    }
    return nullptr;
}

std::vector<std::string> ModelMaterials::identifiers() const {
    std::vector<std::string> ids;
    for (const MaterialInstancePtr& m : materials_) {
        ids.push_back(m->identifier());
    }
    return ids;
}

namespace ModelFile {

std::string parentPath(const DataSectionPtr& model) {
    std::string parent = model ? model->readString("parent") : std::string();
    if (!parent.empty() && FS::Utils::getExtension(parent) != "model") {
        parent += ".model";
    }
    return parent;
}

} // namespace ModelFile

namespace {

// Several steps of a check build a model of the same LOD; a visual is not
// changed once loaded, so its materials are the same whoever asks.
ModelMaterials materialsOf(const VisualPtr& visual) {
    static ViewMemo<VisualPtr, ModelMaterials> known;
    return known.get(visual, [&] {
        ModelMaterials materials;
        for (const VisualRenderSet& set : visual->renderSets) {
            for (const VisualGeometry& g : set.geometries) {
                for (const VisualPrimitiveGroup& group : g.groups) {
                    materials.add(group.material);
                }
            }
        }
        return materials;
    });
}

} // namespace

SuperModel::SuperModel(const std::string& modelPath, const LoadParameters& parameters)
    : modelPath_(modelPath) {
    KX_STACK_TRACK("SuperModel::SuperModel");
    if (!FS::Utils::openSection(modelPath)) {
        error_ = "model file cannot be opened";
        return;
    }
    const std::string visualPath = Utilities::getVisualPath(modelPath);
    if (visualPath.empty()) {
        error_ = "model file names no visual";
        return;
    }
    visual_ = VisualManager::instance().get(visualPath, VisualManager::LoadAll, true, false);
    if (!visual_) {
        error_ = "visual " + visualPath + " cannot be opened";
        return;
    }
    if (!visual_->geometryLoaded) {
        error_ = visual_->geometryError;
        return;
    }
    if (parameters.loadMaterials) {
        materials_ = materialsOf(visual_);
    }
    loaded_ = true;
}

uint64_t SuperModel::numTris() const {
    return loaded_ ? visual_->numTris() : 0;
}

AABB SuperModel::localBoundingBox() const {
    return loaded_ ? visual_->localBoundingBox() : AABB();
}

std::vector<ModelLodInfo> SuperModel::lodChain() const {
    std::vector<ModelLodInfo> chain;
    std::set<std::string> seen;
    std::string current = modelPath_;
    while (!current.empty() && chain.size() < kMaxLods) {
        DataSectionPtr section = FS::Utils::openSection(current);
        if (!section || !seen.insert(FS::fileSystem()->resolveFilename(current)).second) {
            break;
        }
        chain.push_back(
            {current, Utilities::getVisualPath(current), section->readFloat("extent", Model::LOD_MAX)});
        current = ModelFile::parentPath(section);
    }
    return chain;
}

bool SuperModel::simpleValidateLODs(std::string* reason) const {
    KX_STACK_TRACK("SuperModel::simpleValidateLODs");
    auto fail = [reason](const std::string& why) {
        if (reason) {
            *reason = why;
        }
        return false;
    };
    std::set<std::string> seen;
    std::vector<std::string> lod0Nodes;
    float previousExtent = 0.f;
    std::string current = modelPath_;
    for (size_t lod = 0; !current.empty(); ++lod) {
        if (lod >= kMaxLods) {
            return fail(formatString("the LOD chain is longer than %zu models", kMaxLods));
        }
        if (!seen.insert(FS::fileSystem()->resolveFilename(current)).second) {
            return fail(current + " appears twice in the LOD chain");
        }
        DataSectionPtr section = FS::Utils::openSection(current);
        if (!section) {
            return fail(current + " cannot be opened");
        }
        const std::string visualPath = Utilities::getVisualPath(current);
        VisualPtr visual = visualPath.empty()
                               ? nullptr
                               : VisualManager::instance().get(visualPath, VisualManager::LoadAll, true);
        if (!visual || !visual->geometryLoaded) {
            return fail(current + ": its visual does not load");
        }
        const float extent = section->readFloat("extent", Model::LOD_MAX);
        const std::string parent = ModelFile::parentPath(section);
        if (!(extent > 0.f) || (lod > 0 && !(extent > previousExtent))) {
            return fail(formatString("%s: extent %g does not exceed the previous LOD's %g", current.c_str(),
                                     double{extent}, double{previousExtent}));
        }
        if (extent == Model::LOD_MAX && !parent.empty()) {
            return fail(current + ": an infinite extent is allowed on the last LOD only");
        }
        std::vector<std::string> nodes = visual->nodePaths();
        if (lod == 0) {
            lod0Nodes = std::move(nodes);
        } else if (nodes != lod0Nodes) {
            return fail(current + ": its node tree differs from LOD 0");
        }
        previousExtent = extent;
        current = parent;
    }
    return true;
}
