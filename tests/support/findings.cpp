#include "support/findings.h"

#include <algorithm>
#include <cstdlib>

#include "model_validator/finding_catalogue.h"

using namespace KX::ValidatorHelper;

int findingCode(const std::string& message) {
    const size_t close = message.find(']');
    const size_t blank = message.rfind(' ', close);
    if (close == std::string::npos || blank == std::string::npos) {
        return -1;
    }
    return std::atoi(message.substr(blank + 1, close - blank - 1).c_str());
}

std::vector<KX::ValidatorHelper::ValidationError>
withCodes(const std::vector<KX::ValidatorHelper::ValidationError>& errors, std::initializer_list<int> codes) {
    std::vector<ValidationError> found;
    for (const ValidationError& error : errors) {
        if (std::find(codes.begin(), codes.end(), findingCode(error.message)) != codes.end()) {
            found.push_back(error);
        }
    }
    return found;
}

std::vector<ValidationError> ofKind(const std::vector<ValidationError>& errors, const KX::FindingKind& kind) {
    std::vector<ValidationError> found;
    for (const ValidationError& error : errors) {
        const size_t close = error.message.find("] ");
        const std::string text = close == std::string::npos ? error.message : error.message.substr(close + 2);
        if (error.title == kind.title &&
            (kind.severity == KX::kCallerSeverity || error.severity == kind.severity) &&
            KX::messageMatchesPattern(kind.message, text)) {
            found.push_back(error);
        }
    }
    return found;
}

std::vector<Finding> findingsOf(const std::vector<KX::ValidatorHelper::ValidationError>& errors) {
    std::vector<Finding> findings;
    for (const ValidationError& error : errors) {
        findings.push_back({error.message, error.title, error.severity, error.category});
    }
    return findings;
}

void PrintTo(const Finding& finding, std::ostream* out) {
    *out << "{\"" << finding.message << "\", " << titleName(finding.title) << ", "
         << severityName(finding.severity) << ", \"" << finding.category << "\"}";
}

std::vector<std::string> sortedTexts(std::vector<std::string> texts) {
    std::sort(texts.begin(), texts.end());
    return texts;
}
