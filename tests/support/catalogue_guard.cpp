#include "support/catalogue_guard.h"

#include <atomic>

#include <gtest/gtest.h>

#include "model_validator/finding_catalogue.h"

namespace {

std::atomic<int> allowedScopes{0};

void verify(const KX::ReportedFinding& finding) {
    if (finding.kind == nullptr && allowedScopes.load() > 0) {
        return;
    }
    const std::string mismatch = KX::findingMismatch(finding);
    if (!mismatch.empty()) {
        ADD_FAILURE() << "finding disagrees with the catalogue: " << mismatch;
    }
}

} // namespace

UncataloguedFindingsAllowed::UncataloguedFindingsAllowed() {
    ++allowedScopes;
}
UncataloguedFindingsAllowed::~UncataloguedFindingsAllowed() {
    --allowedScopes;
}

void verifyFindingsAgainstCatalogue() {
    KX::setFindingObserver(&verify);
}
