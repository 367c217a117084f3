#pragma once

#include <string>
#include <vector>

#include "model_validator/validator_helper.h"

namespace KX {

// One kind of finding. Codes are not unique on their own: a code groups the
// findings of one rule, and some rules word several situations differently.
struct FindingKind {
    int code; // kCallerCode: the calling validator chooses it
    ValidatorHelper::ValidationTitle title;
    ValidatorHelper::ValidationErrorSeverity severity;
    const char* check;   // the check that reports it
    const char* message; // the message, printf-style where it is filled in
};

constexpr int kCallerCode = -1;

// Every finding the library can report, in code order.
const std::vector<FindingKind>& findingCatalogue();

// The catalogue as a Markdown table (docs/findings.md is this text).
std::string findingCatalogueMarkdown();

} // namespace KX
