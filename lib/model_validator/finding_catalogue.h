#pragma once

#include <string>
#include <string_view>
#include <type_traits>
#include <vector>

#include "engine/core/format.h"
#include "model_validator/validator_helper.h"

namespace KX {

constexpr int kCallerCode = -1;
// The severity of a caller-coded finding whose calling validator also chooses
// how serious it is (KX_CALLER_FINDING with severity `Caller`).
constexpr auto kCallerSeverity = static_cast<ValidatorHelper::ValidationErrorSeverity>(0xFF);

namespace FindingText {
// printf takes C strings; the checks hold std::string.
inline const char* arg(const std::string& text) {
    return text.c_str();
}
template <class T>
requires std::is_arithmetic_v<T> || std::is_same_v<T, const char*> T arg(T value) {
    return value;
}
// A pattern without arguments, as printf would print it ("%%" is one '%').
std::string literal(const char* pattern);
} // namespace FindingText

// One kind of finding: the single place that states its code, title,
// severity and wording. The reporting code names the entry; the documentation,
// the `findings` command and the tests read the same entries.
struct FindingKind {
    const char* name; // how code and documentation name it
    int code;         // kCallerCode: the validator calling the check chooses it
    ValidatorHelper::ValidationTitle title;
    ValidatorHelper::ValidationErrorSeverity severity;
    const char* check;   // the function that reports it
    const char* message; // printf-style pattern; "%%" is a literal '%'

    // The message, with the pattern filled in order.
    template <class... Args> std::string text(const Args&... args) const {
        if constexpr (sizeof...(Args) == 0) {
            return FindingText::literal(message);
        } else {
            return formatString(message, FindingText::arg(args)...);
        }
    }
};

// A finding of a reusable check: the validator that calls the check passes
// the code. A distinct type, so that reporting it without a code cannot compile.
struct CallerCodedFinding {
    FindingKind kind;

    template <class... Args> std::string text(const Args&... args) const { return kind.text(args...); }
};

namespace Findings {
#define KX_FINDING(name, code, title, severity, check, message) extern const FindingKind name;
#define KX_CALLER_FINDING(name, title, severity, check, message) extern const CallerCodedFinding name;
#include "model_validator/findings/all.inc"
#undef KX_FINDING
#undef KX_CALLER_FINDING
} // namespace Findings

// Every entry: fixed codes in code order, then the caller-coded ones.
const std::vector<const FindingKind*>& findingCatalogue();

// The catalogue as Markdown (docs/findings.md is this text).
std::string findingCatalogueMarkdown();

// Whether `message` is what `pattern` gives for some arguments: %s stands for
// any text, %d/%i/%u/%lu/%zu for an integer, %f/%.Nf for a decimal number.
bool messageMatchesPattern(std::string_view pattern, std::string_view message);

// What a validator reported, before the message is rewritten for storage.
struct ReportedFinding {
    const FindingKind* kind; // null when reported through addError directly
    int code;
    ValidatorHelper::ValidationTitle title;
    ValidatorHelper::ValidationErrorSeverity severity;
    const std::string& message;
};

// Why a reported finding disagrees with its catalogue entry; empty when it
// agrees.
std::string findingMismatch(const ReportedFinding& finding);

// Sees every finding any validator reports (tests verify them against the
// catalogue). Set it before validators run; null switches it off.
using FindingObserver = void (*)(const ReportedFinding&);
FindingObserver setFindingObserver(FindingObserver observer);
namespace Detail {
FindingObserver findingObserver();
}

} // namespace KX
