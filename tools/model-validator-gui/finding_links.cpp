#include "finding_links.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>
#include <regex>

#include "engine/resource/file_system.h"

namespace KX::GuiLinks {

std::vector<std::string> resourcePathCandidates(const std::string& message) {
    // The same notion of a file reference as the findings' own path rewriting
    // (a path-like word with a letter extension after a blank, a quote or the
    // start of the text), plus whole quoted paths, which may hold blanks.
    static const std::regex kWordPattern(R"((^|[\s'"])([\w\/_\-\.]+\.[a-zA-Z]+))", std::regex::ECMAScript);
    static const std::regex kQuotedPattern(R"(()'([^'\n]+\.[a-zA-Z]+)')", std::regex::ECMAScript);
    std::vector<std::pair<std::ptrdiff_t, std::string>> found;
    for (const std::regex* pattern : {&kQuotedPattern, &kWordPattern}) {
        for (auto it = std::sregex_iterator(message.begin(), message.end(), *pattern);
             it != std::sregex_iterator(); ++it) {
            found.emplace_back((*it).position(2), (*it)[2].str());
        }
    }
    std::stable_sort(found.begin(), found.end(),
                     [](const auto& a, const auto& b) { return a.first < b.first; });
    std::vector<std::string> candidates;
    for (auto& [position, path] : found) {
        if (std::find(candidates.begin(), candidates.end(), path) == candidates.end()) {
            candidates.push_back(std::move(path));
        }
    }
    return candidates;
}

std::string firstExistingFile(const std::string& message) {
    for (const std::string& candidate : resourcePathCandidates(message)) {
        if (FS::fileSystem()->fileType(candidate) == FS::FT_FILE) {
            return FS::Utils::isAbsolute(candidate) ? candidate
                                                    : FS::fileSystem()->resolveFilename(candidate);
        }
    }
    return std::string();
}

QString resourcePathForFile(const QStringList& roots, const QString& absoluteFile) {
    const QString file = QDir::cleanPath(QFileInfo(absoluteFile).absoluteFilePath());
    for (const QString& root : roots) {
        if (root.isEmpty()) {
            continue;
        }
        const QString relative = QDir(QDir::cleanPath(root)).relativeFilePath(file);
        if (relative.isEmpty() || relative == QLatin1String(".") ||
            relative.startsWith(QLatin1String("../")) || relative == QLatin1String("..") ||
            QDir::isAbsolutePath(relative)) {
            continue;
        }
        return relative;
    }
    return QString();
}

} // namespace KX::GuiLinks
