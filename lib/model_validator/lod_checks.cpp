#include <cmath>
#include <string>
#include <vector>

#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/model_constants.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"

namespace KX {

using ValidatorHelper::Validator;
using namespace ValidatorHelper;

namespace {

constexpr unsigned int kLodMarkerCount = 5;
// Extents closer than this to the standard are the standard value written
// with float noise.
constexpr float kExtentTolerance = 0.0004f;

// The extents a vehicle component's LODs must have. -1 marks a LOD that has
// no standard distance in that table.
std::vector<LODEntry> standardLods(bool smallExtents) {
    return {
        {"Lod0", "", smallExtents ? 32.0f : 64.0f},
        {"Lod1", "", smallExtents ? 64.0f : 128.0f},
        {"Lod2", "", smallExtents ? 96.0f : -1.0f},
        {"Lod3", "", smallExtents ? 192.0f : -1.0f},
        {"Lod4", "", Model::LOD_MAX},
    };
}

// "/lod0/" to "/lod4/".
std::vector<std::string> lodFolderMarkers() {
    std::vector<std::string> markers;
    for (unsigned int i = 0; i < kLodMarkerCount; ++i) {
        markers.push_back(formatString("/%s%u/", kLodDirectory.c_str(), i));
    }
    return markers;
}

bool contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// The first link whose LOD folder the marker names; null when none does.
const LODEntry* findLinkForMarker(const std::vector<LODEntry>& chain, const std::string& marker) {
    for (const LODEntry& entry : chain) {
        if (contains(marker, entry.lodName)) {
            return &entry;
        }
    }
    return nullptr;
}

// Whether the link from the LOD of `marker` to `next` skips only LODs that
// the chain does not have. lod2 and lod3 are optional; lod0, lod1 and lod4 not.
bool isCorrectLink(size_t markerIndex, const std::string& next, const std::vector<std::string>& markers,
                   bool hasLod2, bool hasLod3) {
    switch (markerIndex) {
    case 0:
        return contains(next, markers[1]);
    case 1:
        return contains(next, markers[2]) || (contains(next, markers[3]) && !hasLod2) ||
               (contains(next, markers[4]) && !hasLod3);
    case 2:
        return contains(next, markers[3]) || (contains(next, markers[4]) && !hasLod3);
    case 3:
        return contains(next, markers[4]);
    default:
        return true;
    }
}

// The "parent" values of the chain's parent files, read again from the
// files, extension completed.
std::vector<std::string> parentsOfParents(const std::vector<LODEntry>& chain) {
    std::vector<std::string> parents;
    for (const LODEntry& entry : chain) {
        if (entry.parentPath.empty()) {
            continue;
        }
        if (const DataSectionPtr model = FS::Utils::openSection(entry.parentPath)) {
            const std::string parent = model->readString("parent", "", 0);
            if (!parent.empty()) {
                parents.push_back(withModelExtension(parent));
            }
        }
    }
    return parents;
}

std::vector<std::string> existingParents(const std::vector<LODEntry>& chain) {
    std::vector<std::string> parents;
    for (const LODEntry& entry : chain) {
        if (!entry.parentPath.empty() && FS::fileSystem()->fileType(entry.parentPath) == FS::FT_FILE) {
            parents.push_back(entry.parentPath);
        }
    }
    return parents;
}

// Each parent file, read again, must name the same next LOD that the walk
// followed. Only comparable when exactly the last existing parent has no
// parent of its own.
bool parentsDisagree(const std::vector<LODEntry>& chain) {
    const std::vector<std::string> existing = existingParents(chain);
    const std::vector<std::string> reread = parentsOfParents(chain);
    if (existing.size() != reread.size() + 1 || reread.empty()) {
        return false;
    }
    for (size_t i = 0; i < reread.size(); ++i) {
        if (existing[i + 1] != reread[i]) {
            return true;
        }
    }
    return false;
}

// Names of the folders below a state folder that hold a model file `name`.
std::vector<std::string> foldersHoldingModel(const DataSectionPtr& stateFolder, const std::string& name) {
    std::vector<std::string> folders;
    for (const DataSectionPtr& child : *stateFolder) {
        if (child && child->openSection(name)) {
            folders.push_back(child->sectionName());
        }
    }
    return folders;
}

bool chainReaches(const std::vector<LODEntry>& chain, const std::string& lodFolder) {
    for (const LODEntry& entry : chain) {
        if (entry.lodName == lodFolder) {
            return true;
        }
    }
    return false;
}

} // namespace

void Validator::checkLods(const std::string& path, bool smallExtents, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkLods");
    const std::vector<LODEntry> standard = standardLods(smallExtents);
    const std::vector<std::string> markers = lodFolderMarkers();
    const std::string name = FS::Utils::getFilename(path);
    const std::string state = getModelState(path);
    const std::vector<LODEntry> chain = getModelLODHierarchy(name, state);

    if (chain.empty()) {
        report(Findings::LodsUnavailable, code, getStyleName(path), Findings::LodsUnavailable.text(path));
    } else {
        if (parentsDisagree(chain)) {
            report(Findings::LodsConnectedIncorrectly, code, getStyleName(path),
                   Findings::LodsConnectedIncorrectly.text(path));
        }

        const bool hasLod2 = findLinkForMarker(chain, markers[2]) != nullptr;
        const bool hasLod3 = findLinkForMarker(chain, markers[3]) != nullptr;
        for (size_t i = 0; i < markers.size(); ++i) {
            const std::string lodPath = formatString("%s/%s%s%s", modelPath_.c_str(), state.c_str(),
                                                     markers[i].c_str(), name.c_str());
            const LODEntry* link = findLinkForMarker(chain, markers[i]);
            if (!link) {
                // lod0 and lod1 are the LODs every component must have; lod2 and
                // lod3 may be left out, and a missing lod4 shows as a wrong link
                // of the LOD before it. So only lod0 and lod1 are asked for.
                if (i > 1) {
                    continue;
                }
                const CallerCodedFinding& finding =
                    FS::Utils::fileExists(lodPath) ? Findings::LodNotConnected : Findings::LodMissing;
                report(finding, code, getStyleName(path), finding.text(lodPath), "Model '" + lodPath);
                continue;
            }
            const std::string& next = link->parentPath;
            if (!next.empty() && !isCorrectLink(i, next, markers, hasLod2, hasLod3)) {
                report(Findings::LodLinkIncorrect, code, getStyleName(lodPath),
                       Findings::LodLinkIncorrect.text(next, lodPath));
            }
        }
    }

    checkLodExtents(state, chain, standard, code);
}

void Validator::checkLodExtents(const std::string& state, const std::vector<LODEntry>& actual,
                                const std::vector<LODEntry>& standard, int code) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::checkLodExtents");
    for (const LODEntry& lod : actual) {
        // The last LOD is shown at any distance whatever its file says.
        if (lod.parentPath.empty()) {
            continue;
        }
        for (const LODEntry& expected : standard) {
            if (toLower(lod.lodName) != toLower(expected.lodName) ||
                !(std::fabs(lod.extent - expected.extent) >= kExtentTolerance)) {
                continue;
            }
            const std::string extentPath =
                formatString("%s/%s/%s/%s", modelPath_.c_str(), state.c_str(), lod.lodName.c_str(),
                             FS::Utils::getFilename(lod.parentPath).c_str());
            const std::string standardText = expected.extent == Model::LOD_MAX
                                                 ? std::string("'infinite'")
                                                 : formatString("%.1f", expected.extent);
            report(Findings::LodExtentDiffers, code, getStyleName(lod.parentPath),
                   Findings::LodExtentDiffers.text(extentPath, static_cast<double>(lod.extent), standardText,
                                                   lod.lodName));
        }
    }
}

void ModelValidator::checkDisconnectedLods(const ModelDesc&) {
    KX_STACK_TRACK("KX::ModelValidator::checkDisconnectedLods");
    const std::string name = FS::Utils::getFilename(currentModelPath);
    // Folders may have been copied or deleted since the last check: every
    // check proves each listing against the disk at its first use (and lists
    // a changed folder again), which is all a purge here would add.
    const DataSectionPtr root = FS::Utils::openSection(modelPath_);
    if (!root) {
        return;
    }
    for (const std::string state : {"crash", "normal"}) {
        const DataSectionPtr stateFolder = root->openSection(state);
        if (!stateFolder) {
            continue;
        }
        const std::vector<std::string> folders = foldersHoldingModel(stateFolder, name);
        const std::vector<LODEntry> chain = getModelLODHierarchy(name, state);
        for (const std::string& folder : folders) {
            if (chainReaches(chain, folder)) {
                continue;
            }
            report(Findings::DisconnectedLod,
                   Findings::DisconnectedLod.text(modelPath_ + "/" + folder + "/" + name));
        }
    }
}

} // namespace KX
