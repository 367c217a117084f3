#include <unordered_set>

#include "engine/core/debug_log.h"
#include "engine/core/format.h"
#include "engine/core/stack_tracker.h"
#include "engine/model/model_constants.h"
#include "engine/resource/data_section.h"
#include "engine/resource/file_system.h"
#include "model_validator/finding_catalogue.h"
#include "model_validator/validator_helper.h"

namespace KX::ValidatorHelper {

std::string withModelExtension(std::string path) {
    if (!path.empty() && FS::Utils::getExtension(path).empty()) {
        path += "." + kModelExtension;
    }
    return path;
}

namespace {

// The LOD folder named in a parent path: from the first "lod" of the
// lower-cased path up to the next separator.
std::string lodNameOfParent(const std::string& parentPath) {
    const std::string lower = Validator::toLower(parentPath);
    size_t p = lower.find(kLodDirectory);
    if (p == std::string::npos || p + 1 >= lower.size()) {
        return {};
    }
    size_t q = lower.find_first_of("/\\", p + 1);
    return q == std::string::npos ? std::string() : lower.substr(p, q - p);
}

} // namespace

std::string Validator::getModelRootPath(const std::string& modelName, const std::string& state) const {
    // <model folder>/<LOD sub-folder, if any><state>/lod0/<name>: asked several
    // times per step, so put together without formatting.
    std::string path;
    path.reserve(modelPath_.size() + subFolderLOD.size() + state.size() + kLodDirectory.size() +
                 modelName.size() + 8);
    path.append(modelPath_).append(1, '/').append(subFolderLOD).append(state).append(1, '/');
    path.append(kLodDirectory).append("0/").append(modelName);
    return withModelExtension(path);
}

namespace {
// Models have a handful of LODs; a chain this long is generated, and walking
// it for every LOD would make a check quadratic in its length.
constexpr size_t kMaxLodChainLength = 64;
} // namespace

std::vector<LODEntry> Validator::getModelLODHierarchy(const std::string& modelName,
                                                      const std::string& state) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getModelLODHierarchy");
    const std::string root = getModelRootPath(modelName, state);
    // A new check walks its own chains; those of the last one go.
    const uint64_t pass = FS::fileSystem()->generation();
    if (pass != walkedChainsPass_) {
        walkedChains_.clear();
        walkedChainsPass_ = pass;
    }
    // A chain walked again reports nothing new: every finding of the walk is
    // already in the list, which drops repeats.
    auto known = walkedChains_.find(root);
    if (known != walkedChains_.end() && standsUnchanged(known->second)) {
        return known->second.chain;
    }
    WalkedChain walked;
    walked.view = FS::fileSystem()->viewVersion();
    walked.chain = walkModelLODHierarchy(root, walked);
    return walkedChains_.insert_or_assign(root, std::move(walked)).first->second.chain;
}

bool Validator::standsUnchanged(const WalkedChain& walked) const {
    // In the view the chain was walked in, each path opens as the section it
    // gave; only a file that did not open may open now.
    const bool sameView = walked.view == FS::fileSystem()->viewVersion();
    for (const auto& [path, section] : walked.files) {
        if ((!sameView || !section) && FS::Utils::openSection(path) != section) {
            return false;
        }
    }
    return true;
}

std::vector<LODEntry> Validator::walkModelLODHierarchy(const std::string& root, WalkedChain& walked) {
    std::vector<LODEntry> chain;
    std::string lodName = kLodDirectory + "0";
    std::string current = root;
    // The target platform ignores case, so a loop may close through any spelling.
    std::unordered_set<std::string> visited;
    while (!current.empty()) {
        current = withModelExtension(current);
        if (!visited.insert(toLower(current)).second) {
            const std::string message = Findings::LodChainLoop.text(current);
            report(Findings::LodChainLoop, message, message, getStyleName(current));
            return chain;
        }
        if (chain.size() == kMaxLodChainLength) {
            DebugLog::messageText(DebugLog::Warning, "",
                                  formatString("%s: the LOD chain is longer than %zu models; the rest is not "
                                               "followed",
                                               current.c_str(), kMaxLodChainLength));
            return chain;
        }
        DataSectionPtr model = FS::Utils::openSection(current);
        walked.files.emplace_back(current, model);
        if (!model) {
            report(Findings::LodChainModelMissing, Findings::LodChainModelMissing.text(current),
                   "Model '" + current, getStyleName(current));
            return chain;
        }
        std::string parent = withModelExtension(model->readString("parent", "", 0));
        if (!parent.empty()) {
            std::string correct;
            if (!FS::EditorUtils::isAbsolutePathValidCase(parent, correct)) {
                const std::string relative = FS::fileSystem()->dissolveFilename(correct);
                const std::string message = Findings::ParentPathCaseTypo.text(parent, relative);
                report(Findings::ParentPathCaseTypo, message, message, getStyleName(current));
            }
        }
        const float extent = model->readFloat("extent", Model::LOD_MAX);
        chain.push_back({lodName, parent, extent});
        current = parent;
        if (current.empty()) {
            break;
        }
        lodName = lodNameOfParent(parent);
        if (lodName.empty()) {
            const std::string message = Findings::ModelUsedOutsideLodFolders.text(toLower(parent));
            report(Findings::ModelUsedOutsideLodFolders, message, message, getStyleName(parent));
            return chain;
        }
    }
    return chain;
}

std::vector<std::string> Validator::getModelLODs(const std::string& modelName, const std::string& state) {
    KX_STACK_TRACK("KX::ValidatorHelper::Validator::getModelLODs");
    const std::string root = getModelRootPath(modelName, state);
    if (!FS::Utils::openSection(root)) {
        return {};
    }
    std::vector<std::string> files{root};
    for (const LODEntry& entry : getModelLODHierarchy(modelName, state)) {
        if (!entry.parentPath.empty()) {
            files.push_back(entry.parentPath);
        }
    }
    return files;
}

std::string Validator::getModelState(const std::string& path) {
    if (path.find("/normal/") != std::string::npos) {
        return "normal";
    }
    if (path.find("/crash/") != std::string::npos) {
        return "crash";
    }
    return {};
}

} // namespace KX::ValidatorHelper
