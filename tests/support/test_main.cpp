#include <gtest/gtest.h>

#include "support/catalogue_guard.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    verifyFindingsAgainstCatalogue();
    return RUN_ALL_TESTS();
}
