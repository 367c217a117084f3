#include "engine/variant/variant.h"

#include <charconv>

#include "engine/resource/data_section.h"

const char* Variant::typeName(Type type) {
    switch (type) {
    case Type::Empty:
        return "empty";
    case Type::Bool:
        return "bool";
    case Type::Int:
        return "int";
    case Type::String:
        return "string";
    case Type::Vector4:
        return "Vector4";
    }
    return "unknown";
}

namespace {

std::string floatText(float value) {
    char buffer[32];
    std::to_chars_result result = std::to_chars(buffer, buffer + sizeof(buffer), value);
    return result.ec == std::errc() ? std::string(buffer, result.ptr) : std::string("0");
}

bool toBool(const Variant& from, bool& out) {
    switch (from.type()) {
    case Variant::Type::Bool:
        out = from.get<bool>();
        return true;
    case Variant::Type::Int:
        out = from.get<int64_t>() != 0;
        return true;
    case Variant::Type::String:
        return SectionText::parseBool(from.get<std::string>(), out);
    default:
        return false;
    }
}

bool toInt(const Variant& from, int64_t& out) {
    switch (from.type()) {
    case Variant::Type::Bool:
        out = from.get<bool>() ? 1 : 0;
        return true;
    case Variant::Type::Int:
        out = from.get<int64_t>();
        return true;
    case Variant::Type::String: {
        long long value = 0;
        if (!SectionText::parseInt(from.get<std::string>(), value)) {
            return false;
        }
        out = value;
        return true;
    }
    default:
        return false;
    }
}

bool toString(const Variant& from, std::string& out) {
    switch (from.type()) {
    case Variant::Type::Bool:
        out = from.get<bool>() ? "true" : "false";
        return true;
    case Variant::Type::Int:
        out = std::to_string(from.get<int64_t>());
        return true;
    case Variant::Type::String:
        out = from.get<std::string>();
        return true;
    case Variant::Type::Vector4: {
        const Vector4& v = from.get<Vector4>();
        out = floatText(v.x) + " " + floatText(v.y) + " " + floatText(v.z) + " " + floatText(v.w);
        return true;
    }
    default:
        return false;
    }
}

bool toVector4(const Variant& from, Vector4& out) {
    switch (from.type()) {
    case Variant::Type::Vector4:
        out = from.get<Vector4>();
        return true;
    case Variant::Type::String: {
        float values[4] = {};
        if (!SectionText::parseFloats(from.get<std::string>(), values, 4)) {
            return false;
        }
        out = Vector4(values[0], values[1], values[2], values[3]);
        return true;
    }
    default:
        return false;
    }
}

// Converts into T and stores the result only on success.
template <class T, class Reader> bool assignVia(const Variant& from, Variant& to, Reader read) {
    T value{};
    if (!read(from, value)) {
        return false;
    }
    to = Variant(std::move(value));
    return true;
}

} // namespace

namespace VariantConverter {

bool convert(const Variant& from, Variant& to) {
    switch (to.type()) {
    case Variant::Type::Empty:
        if (from.empty()) {
            return false;
        }
        to = from;
        return true;
    case Variant::Type::Bool:
        return assignVia<bool>(from, to, toBool);
    case Variant::Type::Int:
        return assignVia<int64_t>(from, to, toInt);
    case Variant::Type::String:
        return assignVia<std::string>(from, to, toString);
    case Variant::Type::Vector4:
        return assignVia<Vector4>(from, to, toVector4);
    }
    return false;
}

} // namespace VariantConverter
