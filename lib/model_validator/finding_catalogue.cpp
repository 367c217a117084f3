#include "model_validator/finding_catalogue.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <limits>

#include "model_validator/vehicle_validator.h"

namespace KX {

namespace Findings {
using ValidatorHelper::ValidationErrorSeverity::High;
using ValidatorHelper::ValidationErrorSeverity::Medium;
using ValidatorHelper::ValidationErrorSeverity::Normal;
using enum ValidatorHelper::ValidationTitle;
constexpr ValidatorHelper::ValidationErrorSeverity Caller = kCallerSeverity;
#define KX_FINDING(name, code, title, severity, check, message)                                              \
    const FindingKind name{#name, code, title, severity, check, message};
#define KX_CALLER_FINDING(name, title, severity, check, message)                                             \
    const CallerCodedFinding name{{#name, kCallerCode, title, severity, check, message}};
#include "model_validator/findings/all.inc"
#undef KX_FINDING
#undef KX_CALLER_FINDING
} // namespace Findings

namespace {

std::vector<const FindingKind*> buildCatalogue() {
    std::vector<const FindingKind*> kinds = {
#define KX_FINDING(name, code, title, severity, check, message) &Findings::name,
#define KX_CALLER_FINDING(name, title, severity, check, message) &Findings::name.kind,
#include "model_validator/findings/all.inc"
#undef KX_FINDING
#undef KX_CALLER_FINDING
    };
    // Caller-chosen codes sort after every fixed one.
    const auto sortKey = [](const FindingKind* kind) {
        return kind->code == kCallerCode ? std::numeric_limits<int>::max() : kind->code;
    };
    std::stable_sort(kinds.begin(), kinds.end(),
                     [&](const FindingKind* a, const FindingKind* b) { return sortKey(a) < sortKey(b); });
    return kinds;
}

std::atomic<FindingObserver> observer{nullptr};

// Markdown cell text: pipes escaped, a line feed shown as \n, a doubled
// percent sign shown as the one that is printed.
std::string cell(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '|') {
            out += "\\|";
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            ++i;
        } else {
            out += c;
        }
    }
    return out;
}

std::string row(const FindingKind& kind) {
    const std::string code = kind.code == kCallerCode ? "caller" : std::to_string(kind.code);
    const char* severity =
        kind.severity == kCallerSeverity ? "caller" : ValidatorHelper::severityName(kind.severity);
    return "| " + code + " | " + kind.name + " | " + ValidatorHelper::titleName(kind.title) + " | " +
           severity + " | `" + kind.check + "` | " + cell(kind.message) + " |\n";
}

// A conversion of a pattern: what follows '%' up to and including its letter.
struct Conversion {
    char letter = 0;
    size_t length = 0; // characters after the '%'
};

Conversion conversionAt(std::string_view pattern, size_t percent) {
    size_t i = percent + 1;
    while (i < pattern.size() && (std::isdigit(static_cast<unsigned char>(pattern[i])) || pattern[i] == '.' ||
                                  pattern[i] == 'l' || pattern[i] == 'z' || pattern[i] == '-')) {
        ++i;
    }
    if (i >= pattern.size()) {
        return {};
    }
    return {pattern[i], i - percent};
}

bool isDigit(char c) {
    return std::isdigit(static_cast<unsigned char>(c)) != 0;
}

// Lengths of the prefixes of `text` that a numeric conversion can print.
std::vector<size_t> numberLengths(char letter, std::string_view text) {
    std::vector<size_t> lengths;
    size_t i = 0;
    if (letter != 'u' && i < text.size() && text[i] == '-') {
        ++i;
    }
    if (letter == 'f') {
        for (std::string_view word : {"inf", "nan", "-nan"}) {
            if (text.substr(0, word.size()) == word) {
                lengths.push_back(word.size());
            }
        }
    }
    const size_t digitsStart = i;
    while (i < text.size() && isDigit(text[i])) {
        ++i;
        if (letter != 'f') {
            lengths.push_back(i);
        }
    }
    if (letter == 'f' && i > digitsStart) {
        lengths.push_back(i);
        if (i < text.size() && text[i] == '.') {
            ++i;
            while (i < text.size() && isDigit(text[i])) {
                ++i;
                lengths.push_back(i);
            }
        }
    }
    return lengths;
}

bool matchFrom(std::string_view pattern, std::string_view message) {
    size_t p = 0;
    size_t m = 0;
    while (p < pattern.size()) {
        if (pattern[p] != '%') {
            if (m >= message.size() || message[m] != pattern[p]) {
                return false;
            }
            ++p;
            ++m;
            continue;
        }
        if (p + 1 < pattern.size() && pattern[p + 1] == '%') {
            if (m >= message.size() || message[m] != '%') {
                return false;
            }
            p += 2;
            ++m;
            continue;
        }
        const Conversion conversion = conversionAt(pattern, p);
        const std::string_view rest = pattern.substr(p + 1 + conversion.length);
        const std::string_view text = message.substr(m);
        switch (conversion.letter) {
        case 's':
            for (size_t length = 0; length <= text.size(); ++length) {
                if (matchFrom(rest, text.substr(length))) {
                    return true;
                }
            }
            return false;
        case 'd':
        case 'i':
        case 'u':
        case 'f': {
            const std::vector<size_t> lengths = numberLengths(conversion.letter, text);
            return std::any_of(lengths.rbegin(), lengths.rend(),
                               [&](size_t length) { return matchFrom(rest, text.substr(length)); });
        }
        default:
            return false;
        }
    }
    return m == message.size();
}

// Findings about files found by listing folders name them as the listing
// does: absolute paths on the user's disk, not resource paths.
std::string diskPathNote() {
    const std::vector<const FindingKind*> kinds = {&Findings::IdenticalModelUnreadable,
                                                   &Findings::IdenticalModels, &Findings::UnusedTexture,
                                                   &Findings::UsedTexturesVisualUnreadable};
    std::string names;
    for (size_t i = 0; i < kinds.size(); ++i) {
        names += std::string(i == 0 ? "" : i + 1 == kinds.size() ? " and " : ", ") + kinds[i]->name;
    }
    return "The paths in " + names +
           " are absolute disk paths, as the folder listing gives them (for instance "
           "`D:/res/content/buildings/house01/house01_AM.dds`), not resource paths: they name files on the "
           "disk of the user who ran the check.\n\n";
}

// The codes `model-validator vehicle` gives the reusable checks it calls.
std::string vehicleCallSites() {
    std::string table =
        "\n## Codes of the vehicle validator\n\n"
        "`KX::VehicleValidator` (`model-validator vehicle`) calls the reusable checks above for "
        "each component of a vehicle, one code per call. A check also reports the fixed-code "
        "findings of what it runs (the LOD chain's 12, 123 and 360, for instance).\n\n"
        "| code | call | what it checks |\n|---|---|---|\n";
    for (const VehicleValidator::CallSite& site : VehicleValidator::callSites()) {
        table += "| " + std::to_string(site.code) + " | `" + site.call + "` | " + cell(site.what) + " |\n";
    }
    return table;
}

} // namespace

namespace FindingText {
std::string literal(const char* pattern) {
    std::string text;
    for (const char* c = pattern; *c != '\0'; ++c) {
        text += *c;
        if (c[0] == '%' && c[1] == '%') {
            ++c;
        }
    }
    return text;
}
} // namespace FindingText

const std::vector<const FindingKind*>& findingCatalogue() {
    static const std::vector<const FindingKind*> catalogue = buildCatalogue();
    return catalogue;
}

std::string findingCatalogueMarkdown() {
    const std::string header =
        "| code | name | title | severity | check | message |\n|---|---|---|---|---|---|\n";
    std::string fixed;
    std::string callerCoded;
    for (const FindingKind* kind : findingCatalogue()) {
        (kind->code == kCallerCode ? callerCoded : fixed) += row(*kind);
    }
    return "# Findings\n\n"
           "Every finding the validator reports, generated from the catalogue in "
           "`lib/model_validator/findings/` (`model-validator findings` prints this text). A code groups "
           "the findings of one rule; several wordings may share it. Messages are printf-style patterns: "
           "`%s` stands for a text (a path, a name), `%d`, `%u` and `%lu` for whole numbers, `%f` and "
           "`%.1f` for decimal numbers, `\\n` for a line feed that ends the message.\n\n" +
           diskPathNote() +
           "## Findings of the model validator\n\n"
           "Each has a fixed code.\n\n" +
           header + fixed +
           "\n## Findings of the reusable checks\n\n"
           "The validator that calls one of these checks (a vehicle validator of the host, for instance) "
           "passes the code of its findings, so the code column reads \"caller\"; where it also chooses the "
           "severity, the severity column reads \"caller\" too.\n\n" +
           header + callerCoded + vehicleCallSites();
}

bool messageMatchesPattern(std::string_view pattern, std::string_view message) {
    return matchFrom(pattern, message);
}

std::string findingMismatch(const ReportedFinding& finding) {
    const FindingKind* kind = finding.kind;
    if (kind == nullptr) {
        return "finding reported without a catalogue entry: " + finding.message;
    }
    std::string why;
    if (kind->code != kCallerCode && finding.code != kind->code) {
        why += " code " + std::to_string(finding.code) + " instead of " + std::to_string(kind->code) + ";";
    }
    if (finding.title != kind->title) {
        why += std::string(" title ") + ValidatorHelper::titleName(finding.title) + " instead of " +
               ValidatorHelper::titleName(kind->title) + ";";
    }
    if (kind->severity != kCallerSeverity && finding.severity != kind->severity) {
        why += std::string(" severity ") + ValidatorHelper::severityName(finding.severity) + " instead of " +
               ValidatorHelper::severityName(kind->severity) + ";";
    }
    if (!messageMatchesPattern(kind->message, finding.message)) {
        why += " message \"" + finding.message + "\" does not match \"" + kind->message + "\";";
    }
    return why.empty() ? why : std::string(kind->name) + ":" + why;
}

FindingObserver setFindingObserver(FindingObserver next) {
    return observer.exchange(next);
}

namespace Detail {
FindingObserver findingObserver() {
    return observer.load();
}
} // namespace Detail

} // namespace KX
