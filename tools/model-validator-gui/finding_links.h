#pragma once

#include <QString>
#include <QStringList>
#include <string>
#include <vector>

namespace KX::GuiLinks {

// The words of a finding's message that look like file paths with an
// extension ("content/x/house.model"), in the order they appear. A quoted
// path may contain blanks ('content/my props/a.model').
std::vector<std::string> resourcePathCandidates(const std::string& message);

// The first candidate that names an existing file, resolved to an absolute
// path through the resource file system; "" when none does.
std::string firstExistingFile(const std::string& message);

// The resource path of a file below one of `roots` (the first that holds it),
// '/'-separated; "" when the file lies under none of them.
QString resourcePathForFile(const QStringList& roots, const QString& absoluteFile);

} // namespace KX::GuiLinks
