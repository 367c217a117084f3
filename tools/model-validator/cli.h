#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace KX::Cli {
// Runs the command line `args` (without the program name); returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
} // namespace KX::Cli
