#include "model_validator/hardpoint_names.h"

#include <string_view>

namespace KX::HardpointNames {
namespace {

// Names are scanned by hand: every hardpoint of every LOD is asked about,
// and a regular expression costs thousands of instructions a name.
const std::string_view kPrefix = "HP_module";

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// 0 to 9, or 10 to 13.
bool isModuleNumber(std::string_view text) {
    return (text.size() == 1 && isDigit(text[0])) ||
           (text.size() == 2 && text[0] == '1' && text[1] >= '0' && text[1] <= '3');
}

// 0 to 9, or 10 to 99.
bool isLegacyNumber(std::string_view text) {
    return (text.size() == 1 && isDigit(text[0])) ||
           (text.size() == 2 && text[0] >= '1' && text[0] <= '9' && isDigit(text[1]));
}

// A number, or two joined by one '_'.
template <typename Number> bool isNumbering(std::string_view text, Number number) {
    const size_t underscore = text.find('_');
    if (underscore == std::string_view::npos) {
        return number(text);
    }
    return number(text.substr(0, underscore)) && number(text.substr(underscore + 1));
}

} // namespace

bool isModuleName(const std::string& name) {
    std::string_view rest(name);
    if (rest.substr(0, kPrefix.size()) != kPrefix) {
        return false;
    }
    rest.remove_prefix(kPrefix.size());
    if (!rest.empty() && rest.front() == '_') {
        rest.remove_prefix(1);
    }
    return isNumbering(rest, isModuleNumber);
}

bool isLegacyModuleName(const std::string& name) {
    std::string_view rest(name);
    if (rest.substr(0, kPrefix.size() + 1) != "HP_module_") {
        return false;
    }
    rest.remove_prefix(kPrefix.size() + 1);
    return isNumbering(rest, isLegacyNumber);
}

} // namespace KX::HardpointNames
