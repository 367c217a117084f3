#include "model_validator/material_properties.h"

#include <charconv>
#include <limits>
#include <string_view>
#include <system_error>

#include "engine/core/ascii_case.h"
#include "engine/resource/file_system.h"
#include "engine/variant/variant.h"
#include "model_validator/path_helpers.h"
#include "model_validator/validator_helper.h"

namespace KX {

namespace ValidatorHelper {

Variant getProperty(const std::vector<SmartPointer<DataSection>>& properties, const std::string& name,
                    const std::string& type) {
    const DataSectionPtr property = MaterialProperties::findProperty(properties, name);
    if (!property) {
        return {};
    }
    // The caller names the type; what the property actually holds is not
    // looked at, so a property of another type reads as that type's default.
    if (type == kTextureTag) {
        return Variant(property->readString(type, ""));
    }
    if (type == kIntegerTag) {
        return Variant(static_cast<int64_t>(property->readInt(type, 0)));
    }
    if (type == kVector4Tag) {
        return Variant(property->readVector4(type, Vector4::zero()));
    }
    if (type == kBoolTag) {
        return Variant(property->readBool(type, false));
    }
    return {};
}

} // namespace ValidatorHelper

namespace MaterialProperties {

namespace {

// Digits as a stream reads them: a number too large for int gives the
// stream's saturated value rather than undefined behaviour. Read without a
// stream, which cost thousands of instructions a call.
int toInt(std::string_view digits) {
    int value = 0;
    const std::from_chars_result read = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    return read.ec == std::errc::result_out_of_range ? std::numeric_limits<int>::max() : value;
}

} // namespace

// The three name patterns are scanned by hand: they are asked for every
// material of every LOD, and a regular expression costs thousands of
// instructions a call. Letters and digits are ASCII only, as the patterns had it.
std::string getMaterialName(const std::string& identifier) {
    // The letters after the first "<letter>_" that a letter follows.
    for (size_t i = 0; i + 2 < identifier.size(); ++i) {
        if (AsciiCase::isLetter(identifier[i]) && identifier[i + 1] == '_' &&
            AsciiCase::isLetter(identifier[i + 2])) {
            size_t end = i + 2;
            while (end < identifier.size() && AsciiCase::isLetter(identifier[end])) {
                ++end;
            }
            return identifier.substr(i + 2, end - (i + 2));
        }
    }
    return {};
}

int getFirstIndex(const std::string& text) {
    // The first "_<digits>" whose digits end the text or meet another '_'.
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '_') {
            continue;
        }
        size_t end = i + 1;
        while (end < text.size() && AsciiCase::isDigit(text[end])) {
            ++end;
        }
        if (end > i + 1 && (end == text.size() || text[end] == '_')) {
            return toInt(std::string_view(text).substr(i + 1, end - (i + 1)));
        }
    }
    return -1;
}

int getLastIndex(const std::string& text) {
    // The digits that end the text.
    size_t start = text.size();
    while (start > 0 && AsciiCase::isDigit(text[start - 1])) {
        --start;
    }
    return start == text.size() ? -1 : toInt(std::string_view(text).substr(start));
}

int lodNumber(const std::string& modelPath) {
    return getLastIndex(PathHelpers::getLodFolder(modelPath));
}

const std::vector<DataSectionPtr>& propertiesOf(const DataSectionPtr& material) {
    static const std::vector<DataSectionPtr> none;
    return material ? material->sectionsWithTag(ValidatorHelper::kPropertyTag) : none;
}

DataSectionPtr findProperty(const std::vector<DataSectionPtr>& properties, std::string_view name) {
    for (const DataSectionPtr& property : properties) {
        if (property && property->valueIs(name)) {
            return property;
        }
    }
    return nullptr;
}

std::string effectName(const DataSectionPtr& material) {
    return FS::Utils::removeExtension(
        FS::Utils::getFilename(material->readString(ValidatorHelper::kFxTag, "")));
}

} // namespace MaterialProperties

} // namespace KX
