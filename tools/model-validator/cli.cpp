#include "cli.h"

namespace KX::Cli {
int run(const std::vector<std::string>&, std::ostream&, std::ostream&) { return 0; }
} // namespace KX::Cli
