#include "support/test_validator.h"

std::vector<std::string> messagesOf(const std::vector<KX::ValidatorHelper::ValidationError>& errors) {
    std::vector<std::string> messages;
    for (const auto& error : errors) {
        messages.push_back(error.message);
    }
    return messages;
}
