#include <memory>
#include <string_view>

#include "engine/core/ascii_case.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/geometry/primitive_file.h"
#include "engine/model/material_property_helper.h"
#include "engine/model/super_model.h"
#include "engine/model/visual.h"
#include "engine/model/visual_path.h"
#include "engine/physics/bsp_tree.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// The collision tree may hold at most this share of the visible triangles.
constexpr double kMaxBspShareOfTriangles = 0.25;

VisualPtr loadVisualOfModel(const std::string& modelFile) {
    return VisualManager::instance().get(Utilities::getVisualPath(modelFile), VisualManager::LoadAll, true,
                                         false);
}

// Where the geometry of a model's visual lives; empty when the model names no visual.
std::string primitivesPathOfModel(const std::string& modelFile) {
    const std::string visualPath = Utilities::getVisualPath(modelFile);
    if (visualPath.empty()) {
        return {};
    }
    return PrimitiveFile::pathForVisual(visualPath, FS::Utils::openSection(visualPath));
}

// Opens the file exactly as named: with a current realm set, the resource
// layer would otherwise hand back that realm's copy in place of the source.
std::unique_ptr<BSPTree> loadBSPOfPrimitives(const std::string& primitivesPath) {
    DataSectionPtr primitives = FS::Utils::openSection(primitivesPath, FS::RealmChoice::ExactName);
    DataSectionPtr block = primitives ? primitives->openSection("bsp2") : nullptr;
    if (!block) {
        return nullptr;
    }
    return BSPTreeTool::loadBSP(block->asBinary(), primitivesPath);
}

// Whether the folder of `source` holds, in some root, a name a realm copy of
// it could have (its name without the extension, a dot, anything, a dot and
// its extension). Most
// folders hold none, and one look at their listings then answers the probes
// for every realm; the listings are the ones the probes would read.
bool mayHaveRealmCopies(const std::string& source) {
    std::vector<std::string> folder;
    if (FS::Utils::isAbsolute(source) || !FS::splitResourcePath(FS::Utils::getDirectory(source), folder)) {
        return true;
    }
    const std::string fileName = FS::Utils::getFilename(source);
    const std::string prefix = FS::Utils::removeExtension(fileName) + ".";
    const std::string suffix = "." + FS::Utils::getExtension(fileName);
    for (const std::string& root : FS::fileSystem()->roots()) {
        const std::string onDisk = folder.empty() ? root : FS::fileSystem()->findIgnoringCase(root, folder);
        if (onDisk.empty()) {
            continue;
        }
        const auto listing = FS::fileSystem()->listInDiskOrder(onDisk);
        for (const FS::FileSystem::DirectoryEntry& entry : listing->entries) {
            const std::string_view name = entry.name;
            if (name.size() > prefix.size() + suffix.size() &&
                !AsciiCase::equalIgnoringCase(name, fileName) &&
                AsciiCase::equalIgnoringCase(name.substr(0, prefix.size()), prefix) &&
                AsciiCase::equalIgnoringCase(name.substr(name.size() - suffix.size()), suffix)) {
                return true;
            }
        }
    }
    return false;
}

} // namespace

void ModelValidator::checkCountTris(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkCountTris");
    if (lodModels.empty()) {
        return;
    }
    size_t lod0Triangles = 0;
    if (VisualPtr lod0 = loadVisualOfModel(lodModels.front()); lod0 && lod0->pBSPTree) {
        lod0Triangles = lod0->pBSPTree->numTriangles();
        const SuperModel model(lodModels.front());
        if (static_cast<double>(lod0Triangles) >
            kMaxBspShareOfTriangles * static_cast<double>(model.numTris())) {
            report(Findings::BspTooLarge, Findings::BspTooLarge.text());
        }
    }
    for (size_t i = 1; i < lodModels.size(); ++i) {
        VisualPtr visual = loadVisualOfModel(lodModels[i]);
        if (!visual || !visual->pBSPTree || !visual->pBSPTree->canCollide()) {
            continue;
        }
        if (visual->pBSPTree->numTriangles() != lod0Triangles) {
            report(Findings::LodBspDiffers, Findings::LodBspDiffers.text(static_cast<unsigned long>(i)));
        }
    }
}

void ModelValidator::checkBSPForRealms(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkBSPForRealms");
    for (const std::string& file : lodModels) {
        const std::string source = primitivesPathOfModel(file);
        // Most folders hold no realm copy: their listings answer before the tree is read.
        if (source.empty() || !mayHaveRealmCopies(source)) {
            continue;
        }
        const std::unique_ptr<BSPTree> sourceTree = loadBSPOfPrimitives(source);
        if (!sourceTree) {
            continue;
        }
        for (const std::string& realm : PathHelpers::realmCodes()) {
            const std::string copy = PathHelpers::realmPrimitivesPath(source, realm);
            const std::unique_ptr<BSPTree> copyTree = loadBSPOfPrimitives(copy);
            if (copyTree && copyTree->numTriangles() != sourceTree->numTriangles()) {
                report(Findings::RealmBspDiffers, Findings::RealmBspDiffers.text(source, copy),
                       FS::RealmChoice::ExactName);
            }
        }
    }
}

void Validator::checkCollisionModel(const std::string& path, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkCollisionModel");
    if (path.find("/collision/") == std::string::npos &&
        path.find("/collision_client/") == std::string::npos &&
        path.find("/collision_crash/") == std::string::npos) {
        return;
    }
    if (FS::Utils::getExtension(FS::Utils::getFilename(path)) != kModelExtension) {
        return;
    }
    const std::string styleName = getStyleName(path);
    DataSectionPtr visual = checkAndOpenVisualSectionForModelName(path);
    if (!visual) {
        report(Findings::CollisionVisualMissing, code, styleName,
               Findings::CollisionVisualMissing.text(path));
        return;
    }
    const std::string file = FS::Utils::getFilename(path);
    for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
        const std::string identifier = material->readString(kIdentifierTag);
        const unsigned int kind = material->readUInt(kMaterialKindTag, 0);
        const auto known = materialKindNames().find(kind);
        if (known == materialKindNames().end()) {
            report(Findings::CollisionUnknownMaterialKind, code, styleName,
                   Findings::CollisionUnknownMaterialKind.text(file, kind));
        } else if (identifier != known->second) {
            report(Findings::CollisionIdentifierDiffers, code, styleName,
                   Findings::CollisionIdentifierDiffers.text(file, identifier, known->second));
        }
    }
}

} // namespace KX
