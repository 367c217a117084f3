#include <algorithm>
#include <iterator>
#include <string>
#include <vector>

#include "engine/core/stack_tracker.h"
#include "engine/model/material_property_helper.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/model_validator.h"
#include "model_validator/path_helpers.h"

namespace KX {

using namespace ValidatorHelper;

namespace {

// The physics files of one material, each named <model>__<material> and one
// of these endings.
const std::vector<std::string> kHavokFileEndings = {".hkt", ".hkt.model", ".hkt.visual", ".hkt.primitives"};
const std::string kHavokFolder = "havok/";
const std::string kHavokMaterialSeparator = "__";

// "lod" and a number, as LOD folders are named.
bool isLodFolderName(const std::string& name) {
    return name.size() > kLodDirectory.size() && name.compare(0, kLodDirectory.size(), kLodDirectory) == 0 &&
           std::all_of(name.begin() + static_cast<std::ptrdiff_t>(kLodDirectory.size()), name.end(),
                       [](char c) { return c >= '0' && c <= '9'; });
}

// Physics models are loaded from the undamaged lod0 only: the path passes
// through normal/lod0/havok/ (and, being one line, holds no line break).
bool isInHavokPlace(const std::string& relative) {
    static const std::string place = "/normal/" + kLodDirectory + "0/havok/";
    return relative.find(place) != std::string::npos && relative.find_first_of("\n\r") == std::string::npos;
}

// The name of the folder that holds the file at `relative`.
std::string lastFolderName(const std::string& relative) {
    std::string rest = FS::Utils::getDirectory(relative);
    PathHelpers::normalizePath(rest);
    std::string name;
    while (!rest.empty()) {
        name = PathHelpers::getLastNameFromPath(rest);
    }
    return name;
}

// The files below an absolute folder, as paths from the folder on, sorted.
std::vector<std::string> filesBelow(const std::string& folder) {
    std::vector<std::string> files;
    for (std::string file : folderFiles(folder, true)->files) {
        PathHelpers::normalizePath(file);
        if (file.find(folder) != std::string::npos) {
            file.erase(0, folder.size());
        }
        files.push_back(file);
    }
    std::sort(files.begin(), files.end());
    return files;
}

} // namespace

void ModelValidator::checkFilesStructure(const ModelDesc& /*desc*/) {
    KX_STACK_TRACK("KX::ModelValidator::checkFilesStructure");
    const std::shared_ptr<const FolderFiles> listed = folderFiles(modelPath_, true);
    for (const std::string& file : listed->files) {
        if (FS::Utils::extensionOf(file) != kModelExtension) {
            continue;
        }
        if (cancelled()) {
            return;
        }
        const std::string relative = PathHelpers::getRelativePath(modelPath_, file);
        if (isLodFolderName(lastFolderName(relative))) {
            if (getModelState(relative).empty()) {
                report(Findings::ModelOutsideStateFolder, Findings::ModelOutsideStateFolder.text(relative));
            }
        } else if (FS::Utils::getFilename(relative).find(kHavokModelFilenamePart) != std::string::npos) {
            if (!isInHavokPlace(relative)) {
                report(Findings::HavokModelInWrongFolder, Findings::HavokModelInWrongFolder.text(relative));
            }
        } else {
            report(Findings::ModelOutsideLodFolder, Findings::ModelOutsideLodFolder.text(relative));
        }
    }
}

void ModelValidator::checkHavokFiles(const std::string& path) {
    KX_STACK_TRACK("KX::ModelValidator::checkHavokFiles");
    const std::string havokFolder = FS::Utils::getDirectory(path) + kHavokFolder;
    if (!FS::Utils::directoryExists(havokFolder)) {
        return;
    }
    const std::string base = FS::Utils::removeExtension(FS::Utils::getFilename(path));
    const DataSectionPtr visual = checkAndOpenVisualSectionForModelName(path);
    if (!visual) {
        return;
    }
    for (const DataSectionPtr& material : MaterialPropertyHelper::getMaterialsFromVisual(visual)) {
        const std::string identifier = material->readString(kIdentifierTag, "");
        for (const std::string& ending : kHavokFileEndings) {
            const std::string name = base + kHavokMaterialSeparator + identifier + ending;
            if (!FS::Utils::fileExists(havokFolder + name)) {
                report(Findings::HavokFileMissing, Findings::HavokFileMissing.text(path, identifier, name));
            }
        }
    }
}

void ModelValidator::compareFileStructureDirectories(const std::string& first, const std::string& second,
                                                     int code) {
    KX_STACK_TRACK("KX::ModelValidator::compareFileStructureDirectories");
    if (cancelled()) {
        return;
    }
    std::string firstFolder = first;
    std::string secondFolder = second;
    FS::Utils::resolveToAbsolutePath(firstFolder);
    FS::Utils::resolveToAbsolutePath(secondFolder);
    PathHelpers::normalizePath(firstFolder);
    PathHelpers::normalizePath(secondFolder);
    const std::vector<std::string> firstFiles = filesBelow(firstFolder);
    const std::vector<std::string> secondFiles = filesBelow(secondFolder);
    // One sorted pass over both sides: each path that only one side has, in
    // path order, whichever side it is missing from.
    std::vector<std::string> mismatched;
    std::set_symmetric_difference(firstFiles.begin(), firstFiles.end(), secondFiles.begin(),
                                  secondFiles.end(), std::back_inserter(mismatched));
    for (const std::string& file : mismatched) {
        report(Findings::FileStructureMismatch, code, "",
               Findings::FileStructureMismatch.text(file, first, second));
    }
}

} // namespace KX
