#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace KX::Cli {
// `model-validator fix-tags [--res DIR]... [--dry-run] MODEL...`: renames
// root tags that start with a digit in each model file and its visual file,
// and prints each file it changed (or, with --dry-run, would change). `args`
// are the words after "fix-tags". Returns 0 when every file could be handled,
// 1 when one could not be rewritten, 2 for a usage error and 3 for a missing
// root or model.
int runFixTags(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
} // namespace KX::Cli
