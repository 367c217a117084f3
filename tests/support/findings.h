#pragma once

#include <initializer_list>
#include <ostream>
#include <string>
#include <vector>

#include "model_validator/validator_helper.h"

namespace KX {
struct FindingKind;
}

// The code of a stored finding: the number before the first ']'; -1 when the
// message has none.
int findingCode(const std::string& message);

// The findings whose code is one of `codes`, in order, so that a test of one
// check is not disturbed by what the other steps of a full run report.
std::vector<KX::ValidatorHelper::ValidationError>
withCodes(const std::vector<KX::ValidatorHelper::ValidationError>& errors, std::initializer_list<int> codes);

// Everything the validator stores about a finding. Tests compare whole
// findings, so that a changed title, severity or category fails as loudly as
// a changed message.
struct Finding {
    std::string message;
    KX::ValidatorHelper::ValidationTitle title = KX::ValidatorHelper::ValidationTitle::None;
    KX::ValidatorHelper::ValidationErrorSeverity severity =
        KX::ValidatorHelper::ValidationErrorSeverity::None;
    std::string category;

    bool operator==(const Finding& other) const = default;
};

// The findings of one catalogue entry, in order: those whose text its
// pattern matches, with its title and (unless the caller chooses it) its
// severity. For reusable checks, whose findings all carry the caller's code.
std::vector<KX::ValidatorHelper::ValidationError>
ofKind(const std::vector<KX::ValidatorHelper::ValidationError>& errors, const KX::FindingKind& kind);

std::vector<Finding> findingsOf(const std::vector<KX::ValidatorHelper::ValidationError>& errors);

// Lets GoogleTest show a mismatching finding field by field.
void PrintTo(const Finding& finding, std::ostream* out);

// The texts in sorted order, for findings that follow a directory listing,
// whose order is the disk's.
std::vector<std::string> sortedTexts(std::vector<std::string> texts);
