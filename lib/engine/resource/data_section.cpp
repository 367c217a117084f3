#include "engine/resource/data_section.h"

#include <cerrno>
#include <charconv>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "engine/core/ascii_case.h"

namespace {

using AsciiCase::isBlank;
using AsciiCase::isDigit;

// Powers of ten a float holds exactly (5^10 < 2^24).
constexpr double kExactPowersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10};

// strtof at `p`, past leading blanks. Values are nearly always plain decimals
// ("-12.5"). Those of at most seven digits or so, with at most ten after the
// point, are a quotient of two numbers a float holds exactly, and that
// quotient taken in double precision rounds to the float strtof gives (a
// double has more than twice a float's bits); other plain decimals go to
// std::from_chars, which rounds as strtof does at a fraction of its cost; the
// rest (exponents, signs '+', hexadecimal, infinities, a number running into
// other text, a value out of range) is left to strtof itself.
float readFloat(const char* p, const char** end) {
    const char* start = p;
    while (isBlank(*start)) {
        ++start;
    }
    const bool negative = *start == '-';
    const char* q = start + (negative ? 1 : 0);
    const char* digits = q;
    uint64_t mantissa = 0;
    const auto addDigit = [&mantissa](char c) {
        if (mantissa < (uint64_t{1} << 32)) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
        } else {
            mantissa = UINT64_MAX; // too many digits for the quotient
        }
    };
    while (isDigit(*q)) {
        addDigit(*q++);
    }
    size_t count = static_cast<size_t>(q - digits);
    size_t fractionDigits = 0;
    if (*q == '.') {
        ++q;
        const char* fraction = q;
        while (isDigit(*q)) {
            addDigit(*q++);
        }
        fractionDigits = static_cast<size_t>(q - fraction);
        count += fractionDigits;
    }
    if (count > 0 && (*q == '\0' || isBlank(*q))) {
        if (mantissa <= (uint64_t{1} << 24) && fractionDigits <= 10) {
            const auto value =
                static_cast<float>(static_cast<double>(mantissa) / kExactPowersOfTen[fractionDigits]);
            *end = q;
            return negative ? -value : value;
        }
        float value = 0.f;
        const auto [stop, error] = std::from_chars(start, q, value);
        if (error == std::errc() && stop == q) {
            *end = q;
            return value;
        }
    }
    char* stop = nullptr;
    const float value = std::strtof(p, &stop);
    *end = stop;
    return value;
}

} // namespace

namespace SectionText {

std::string_view trimmed(std::string_view text) {
    // Every value read passes here: the blanks are tested inline, not searched for.
    size_t first = 0;
    size_t end = text.size();
    while (first < end && isBlank(text[first])) {
        ++first;
    }
    while (end > first && isBlank(text[end - 1])) {
        --end;
    }
    return text.substr(first, end - first);
}

std::string trim(std::string_view text) {
    return std::string(trimmed(text));
}

bool parseInt(const std::string& text, long long& value) {
    // Plain decimals ("12", "-3"), nearly every value read, are read where
    // they lie; anything else (a sign '+', a value out of range) goes the
    // way strtoll reads it.
    const std::string_view view = trimmed(text);
    if (view.empty()) {
        return false;
    }
    long long plain = 0;
    const auto [stop, error] = std::from_chars(view.data(), view.data() + view.size(), plain);
    if (error == std::errc() && stop == view.data() + view.size()) {
        value = plain;
        return true;
    }
    const std::string t(view);
    char* end = nullptr;
    errno = 0;
    long long v = std::strtoll(t.c_str(), &end, 10);
    if (errno != 0 || end == t.c_str() || *end != '\0') {
        return false;
    }
    value = v;
    return true;
}

bool parseFloat(const std::string& text, float& value) {
    std::string t = trim(text);
    if (t.empty()) {
        return false;
    }
    const char* end = nullptr;
    const float v = readFloat(t.c_str(), &end);
    if (end == t.c_str() || *end != '\0') {
        return false;
    }
    value = v;
    return true;
}

bool parseBool(const std::string& text, bool& value) {
    const std::string t = AsciiCase::toLower(trim(text));
    if (t == "true" || t == "1") {
        value = true;
        return true;
    }
    if (t == "false" || t == "0") {
        value = false;
        return true;
    }
    return false;
}

bool parseFloats(const std::string& text, float* values, int count) {
    const char* p = text.c_str();
    for (int i = 0; i < count; ++i) {
        const char* end = nullptr;
        const float v = readFloat(p, &end);
        if (end == p) {
            return false;
        }
        values[i] = v;
        p = end;
    }
    while (*p != '\0') {
        if (!isBlank(*p)) {
            return false;
        }
        ++p;
    }
    return true;
}

} // namespace SectionText

DataSectionPtr DataSection::findChild(const std::string& tag) {
    const int n = countChildren();
    for (int i = 0; i < n; ++i) {
        DataSectionPtr child = openChild(i);
        if (child && child->sectionName() == tag) {
            return child;
        }
    }
    return nullptr;
}

std::string DataSection::asString(const std::string& defaultValue) {
    return defaultValue;
}

namespace {

int intFromText(const std::string& text, int defaultValue) {
    long long v = 0;
    if (!SectionText::parseInt(text, v) || v < INT32_MIN || v > INT32_MAX) {
        return defaultValue;
    }
    return static_cast<int>(v);
}

unsigned int uintFromText(const std::string& text, unsigned int defaultValue) {
    long long v = 0;
    if (!SectionText::parseInt(text, v) || v < 0 || v > UINT32_MAX) {
        return defaultValue;
    }
    return static_cast<unsigned int>(v);
}

float floatFromText(const std::string& text, float defaultValue) {
    float v = 0.f;
    return SectionText::parseFloat(text, v) ? v : defaultValue;
}

bool boolFromText(const std::string& text, bool defaultValue) {
    bool v = false;
    return SectionText::parseBool(text, v) ? v : defaultValue;
}

Vector2 vector2FromText(const std::string& text, const Vector2& defaultValue) {
    float v[2];
    return SectionText::parseFloats(text, v, 2) ? Vector2(v[0], v[1]) : defaultValue;
}

Vector3 vector3FromText(const std::string& text, const Vector3& defaultValue) {
    float v[3];
    return SectionText::parseFloats(text, v, 3) ? Vector3(v[0], v[1], v[2]) : defaultValue;
}

Vector4 vector4FromText(const std::string& text, const Vector4& defaultValue) {
    float v[4];
    return SectionText::parseFloats(text, v, 4) ? Vector4(v[0], v[1], v[2], v[3]) : defaultValue;
}

} // namespace

int DataSection::asInt(int defaultValue) {
    return intFromText(asString(), defaultValue);
}

unsigned int DataSection::asUInt(unsigned int defaultValue) {
    return uintFromText(asString(), defaultValue);
}

float DataSection::asFloat(float defaultValue) {
    return floatFromText(asString(), defaultValue);
}

bool DataSection::asBool(bool defaultValue) {
    return boolFromText(asString(), defaultValue);
}

Vector2 DataSection::asVector2(const Vector2& defaultValue) {
    return vector2FromText(asString(), defaultValue);
}

Vector3 DataSection::asVector3(const Vector3& defaultValue) {
    return vector3FromText(asString(), defaultValue);
}

Vector4 DataSection::asVector4(const Vector4& defaultValue) {
    return vector4FromText(asString(), defaultValue);
}

Matrix DataSection::asMatrix34(const Matrix& defaultValue) {
    static const std::string rows[] = {"row0", "row1", "row2", "row3"};
    Matrix result = Matrix::identity();
    bool any = false;
    std::string text;
    for (int r = 0; r < 4; ++r) {
        // Read as values are, without a section per row where the section
        // type can answer.
        const TextLookup looked = lookUpText(rows[r], text);
        if (looked == TextLookup::Missing) {
            continue;
        }
        if (looked == TextLookup::Unanswered) {
            DataSectionPtr row = findChild(rows[r]);
            if (!row) {
                continue;
            }
            text = row->asString();
        }
        float v[3];
        if (!SectionText::parseFloats(text, v, 3)) {
            return defaultValue;
        }
        result.setRow3(r, {v[0], v[1], v[2]});
        any = true;
    }
    return any ? result : defaultValue;
}

DataSectionPtr DataSection::openSection(const std::string& path, bool /*makeNewSection*/) {
    DataSectionPtr current(this);
    size_t start = 0;
    while (current && start < path.size()) {
        size_t end = path.find('/', start);
        if (end == std::string::npos) {
            end = path.size();
        }
        if (end > start) {
            current = current->findChild(path.substr(start, end - start));
        }
        start = end + 1;
    }
    return current;
}

void DataSection::openSections(const std::string& tag, std::vector<DataSectionPtr>& out) {
    findSections(tag, out);
}

const std::vector<DataSectionPtr>& DataSection::sectionsWithTag(const std::string& tag) {
    const auto madeInto = [&](OpenedChildren& list) -> const std::vector<DataSectionPtr>& {
        list.tag = tag;
        findSections(tag, list.sections);
        return list.sections;
    };
    if (!firstOpened_) {
        return madeInto(firstOpened_.emplace());
    }
    if (firstOpened_->tag == tag) {
        return firstOpened_->sections;
    }
    for (const std::unique_ptr<OpenedChildren>& opened : openedByTag_) {
        if (opened->tag == tag) {
            return opened->sections;
        }
    }
    return madeInto(*openedByTag_.emplace_back(std::make_unique<OpenedChildren>()));
}

void DataSection::findSections(const std::string& tag, std::vector<DataSectionPtr>& out) {
    const int n = countChildren();
    for (int i = 0; i < n; ++i) {
        DataSectionPtr child = openChild(i);
        if (child && child->sectionName() == tag) {
            out.push_back(child);
        }
    }
}

template <typename T, typename Parse, typename FromSection>
T DataSection::readValue(const std::string& key, const T& defaultValue, Parse parse,
                         FromSection fromSection) {
    std::string text;
    switch (lookUpText(key, text)) {
    case TextLookup::Found:
        return parse(std::move(text), defaultValue);
    case TextLookup::Missing:
        return defaultValue;
    case TextLookup::Unanswered:
        break;
    }
    DataSectionPtr s = openSection(key);
    return s ? fromSection(*s, defaultValue) : defaultValue;
}

std::string DataSection::readString(const std::string& key, const std::string& defaultValue, int /*flags*/) {
    return readValue(
        key, defaultValue, [](std::string&& text, const std::string&) { return std::move(text); },
        [](DataSection& s, const std::string& d) { return s.asString(d); });
}

int DataSection::readInt(const std::string& key, int defaultValue) {
    return readValue(key, defaultValue, intFromText, [](DataSection& s, int d) { return s.asInt(d); });
}

unsigned int DataSection::readUInt(const std::string& key, unsigned int defaultValue) {
    return readValue(key, defaultValue, uintFromText,
                     [](DataSection& s, unsigned int d) { return s.asUInt(d); });
}

float DataSection::readFloat(const std::string& key, float defaultValue) {
    return readValue(key, defaultValue, floatFromText, [](DataSection& s, float d) { return s.asFloat(d); });
}

bool DataSection::readBool(const std::string& key, bool defaultValue) {
    return readValue(key, defaultValue, boolFromText, [](DataSection& s, bool d) { return s.asBool(d); });
}

Vector2 DataSection::readVector2(const std::string& key, const Vector2& defaultValue) {
    return readValue(key, defaultValue, vector2FromText,
                     [](DataSection& s, const Vector2& d) { return s.asVector2(d); });
}

Vector3 DataSection::readVector3(const std::string& key, const Vector3& defaultValue) {
    return readValue(key, defaultValue, vector3FromText,
                     [](DataSection& s, const Vector3& d) { return s.asVector3(d); });
}

Vector4 DataSection::readVector4(const std::string& key, const Vector4& defaultValue) {
    return readValue(key, defaultValue, vector4FromText,
                     [](DataSection& s, const Vector4& d) { return s.asVector4(d); });
}

Matrix DataSection::readMatrix34(const std::string& key, const Matrix& defaultValue) {
    DataSectionPtr s = openSection(key);
    return s ? s->asMatrix34(defaultValue) : defaultValue;
}
