#include <iostream>

#include "cli.h"

int main(int argc, char** argv) {
    std::vector<std::string> args(argv + 1, argv + argc);
    return KX::Cli::run(args, std::cout, std::cerr, KX::Cli::processEnvironment());
}
