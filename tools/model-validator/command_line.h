#pragma once

#include <CLI/CLI.hpp>
#include <ostream>
#include <string>
#include <vector>

namespace KX::Cli {
// Parses the words of a command with CLI11, printing help, the version or a
// usage error. Returns -1 when the command is to go on, else its exit status.
int parseArguments(CLI::App& app, const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
} // namespace KX::Cli
