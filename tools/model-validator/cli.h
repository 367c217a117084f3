#pragma once

#include <ostream>
#include <string>
#include <vector>

namespace KX::Cli {

// What the process knows about itself and its terminal; library callers that
// run the tool in-process leave the defaults (no colour, no progress, no
// worker processes).
struct Environment {
    std::string executable; // this tool, started again as the workers
    bool stdoutIsTerminal = false;
    bool stderrIsTerminal = false;
    bool noColor = false;    // NO_COLOR is set
    unsigned processors = 1; // the default number of jobs
};

// The environment of the running process (main passes it to run).
Environment processEnvironment();

// Runs the command line `args` (without the program name); returns the exit status.
int run(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
        const Environment& environment = {});

} // namespace KX::Cli
