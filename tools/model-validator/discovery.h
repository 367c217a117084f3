#pragma once

#include <functional>
#include <string>
#include <vector>

#include "report.h"

namespace KX::Cli {

// Whether a '/'-separated path matches a glob: '*' and '?' stay within one
// folder name, '**' spans folders. A pattern that matches a leading folder
// of the path matches everything below it.
bool globMatches(const std::string& pattern, const std::string& path);

// Whether a model found in a folder is one a content team validates: a
// .model file that is not a physics companion (name.hkt.model) and does not
// lie in a higher LOD folder (lod1, lod2, ...), which its lod0 model's check
// already covers through the LOD chain.
bool isValidatedModel(const std::string& resourcePath);

// Whether a model belongs to a shard: decided by a hash of its path alone,
// so adding models elsewhere never moves it to another shard.
bool inShard(const std::string& resourcePath, const Shard& shard);

// The resource path of a PATH given on the command line (a resource path,
// or a disk path inside one of the absolute `roots`; "" for a whole root).
// False, with a reason, when it lies outside the roots or does not exist.
bool resourcePathOf(std::string path, const std::vector<std::string>& roots, std::string& resource,
                    std::string& reason);

// The current folder, ending in '/', as diskFileOf takes it; "" when it cannot be told.
std::string currentFolderOfReports();
// The model's file as a report shows it: relative to `currentFolder` (from
// currentFolderOfReports, asked once per run) when inside it, else absolute.
std::string diskFileOf(const std::string& model, const std::string& currentFolder);

struct Discovery {
    std::vector<std::string> models;  // resource paths, sorted, without duplicates
    std::vector<std::string> missing; // one reason per PATH that does not exist
};

// Expands each PATH (a model or a folder, as a resource path or as a disk path
// inside one of the absolute `roots`) against the resource file system.
// Excludes apply to models found in folders, not to models named outright.
// The folders listed to find the models stay with the file system for the
// checks of this process, which then need not list them again. `found`, when
// given, is told of each model once, as soon as it is found, so that
// checking can begin before the walk ends.
Discovery discoverModels(const std::vector<std::string>& paths, const std::vector<std::string>& roots,
                         const std::vector<std::string>& exclude,
                         const std::function<void(const std::string&)>& found = {});

} // namespace KX::Cli
