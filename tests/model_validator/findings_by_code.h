#pragma once

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <vector>

#include "model_validator/validator_helper.h"

// The code of a stored finding: the number before the first ']'.
inline int findingCode(const std::string& message) {
    const size_t close = message.find(']');
    const size_t blank = message.rfind(' ', close);
    if (close == std::string::npos || blank == std::string::npos) {
        return -1;
    }
    return std::atoi(message.substr(blank + 1, close - blank - 1).c_str());
}

// The findings whose code is one of `codes`, in order, so that a test of one
// check is not disturbed by what the other steps of a full run report.
inline std::vector<KX::ValidatorHelper::ValidationError>
withCodes(const std::vector<KX::ValidatorHelper::ValidationError>& errors, std::initializer_list<int> codes) {
    std::vector<KX::ValidatorHelper::ValidationError> found;
    for (const auto& error : errors) {
        if (std::find(codes.begin(), codes.end(), findingCode(error.message)) != codes.end()) {
            found.push_back(error);
        }
    }
    return found;
}
