#include <iostream>
#include <string>

#include "make_samples.h"

int main(int argc, char** argv) {
    if (argc != 2 || argv[1][0] == '-') {
        std::cerr << "usage: make-samples OUTDIR\n"
                     "Writes the sample models below OUTDIR (normally samples/res).\n";
        return 2;
    }
    std::string error;
    if (!KX::Samples::writeSamples(argv[1], &error)) {
        std::cerr << "make-samples: " << error << "\n";
        return 1;
    }
    std::cout << "make-samples: wrote the sample models below " << argv[1] << "\n";
    return 0;
}
