#include "model_validator/material_properties.h"

#include <regex>
#include <sstream>

#include "engine/resource/file_system.h"
#include "engine/variant/variant.h"
#include "model_validator/path_helpers.h"
#include "model_validator/validator_helper.h"

namespace KX {

namespace ValidatorHelper {

Variant getProperty(const std::vector<SmartPointer<DataSection>>& properties, const std::string& name,
                    const std::string& type) {
    DataSectionPtr property;
    for (const DataSectionPtr& candidate : properties) {
        if (candidate && candidate->asString("") == name) {
            property = candidate;
            break;
        }
    }
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
// stream's saturated value rather than undefined behaviour.
int toInt(const std::string& digits) {
    int value = -1;
    std::istringstream(digits) >> value;
    return value;
}

} // namespace

std::string getMaterialName(const std::string& identifier) {
    static const std::regex expression("([A-Za-z]_)([A-Za-z]+)");
    std::smatch match;
    return std::regex_search(identifier, match, expression) ? match[2].str() : std::string();
}

int getFirstIndex(const std::string& text) {
    static const std::regex expression("_(\\d+)(_|$)");
    std::smatch match;
    return std::regex_search(text, match, expression) ? toInt(match[1].str()) : -1;
}

int getLastIndex(const std::string& text) {
    static const std::regex expression("\\d+$");
    std::smatch match;
    return std::regex_search(text, match, expression) ? toInt(match[0].str()) : -1;
}

int lodNumber(const std::string& modelPath) {
    return getLastIndex(PathHelpers::getLodFolder(modelPath));
}

std::vector<DataSectionPtr> propertiesOf(const DataSectionPtr& material) {
    std::vector<DataSectionPtr> properties;
    if (material) {
        material->openSections(ValidatorHelper::kPropertyTag, properties);
    }
    return properties;
}

std::string effectName(const DataSectionPtr& material) {
    return FS::Utils::removeExtension(
        FS::Utils::getFilename(material->readString(ValidatorHelper::kFxTag, "")));
}

} // namespace MaterialProperties

} // namespace KX
