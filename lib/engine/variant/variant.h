#pragma once

#include <concepts>
#include <cstdint>
#include <string>
#include <type_traits>
#include <variant>

#include "engine/math/math_types.h"

// A small tagged value as material properties and settings hand them around:
// empty, or exactly one of bool, signed 64-bit integer, text or Vector4.
class Variant {
  public:
    enum class Type { Empty, Bool, Int, String, Vector4 };

    Variant() = default;
    Variant(bool value) : value_(value) {}
    // Every integer type other than bool is stored widened to 64 bits (an
    // unsigned value above INT64_MAX wraps, as a two's-complement cast does).
    template <std::integral T>
    requires(!std::same_as<T, bool>) Variant(T value) : value_(static_cast<int64_t>(value)) {}
    Variant(std::string value) : value_(std::move(value)) {}
    Variant(const char* value) : value_(std::string(value ? value : "")) {}
    Variant(const ::Vector4& value) : value_(value) {}

    Type type() const { return static_cast<Type>(value_.index()); }
    bool empty() const { return type() == Type::Empty; }

    // T is one of bool, int64_t, std::string, Vector4.
    template <class T> bool holds() const {
        checkStoredType<T>();
        return std::holds_alternative<T>(value_);
    }
    template <class T> bool isType() const { return holds<T>(); }

    // The held value; a default-constructed T (false, 0, "", zero vector)
    // when the variant holds something else, so a wrong guess never throws.
    template <class T> const T& get() const {
        checkStoredType<T>();
        if (const T* value = std::get_if<T>(&value_)) {
            return *value;
        }
        static const T fallback{};
        return fallback;
    }

    void clear() { value_ = std::monostate{}; }

    friend bool operator==(const Variant& a, const Variant& b) { return a.value_ == b.value_; }

    // "empty", "bool", "int", "string" or "Vector4", for diagnostics.
    static const char* typeName(Type type);

  private:
    template <class T> static constexpr void checkStoredType() {
        static_assert(std::is_same_v<T, bool> || std::is_same_v<T, int64_t> ||
                          std::is_same_v<T, std::string> || std::is_same_v<T, ::Vector4>,
                      "Variant holds only bool, int64_t, std::string or Vector4");
    }

    // The order of the alternatives is the order of Type.
    std::variant<std::monostate, bool, int64_t, std::string, ::Vector4> value_;
};

namespace VariantConverter {

// Converts `from` into the type `to` currently holds and stores the result in
// `to`. Returns false, leaving `to` untouched, when `from` is empty or the
// value has no form in the target type. An empty `to` takes `from` as it is.
//
//   to \ from  bool              int               string                 Vector4
//   bool       copy              non-zero is true  true/false/1/0 (any    -
//                                                  case)
//   int        0 or 1            copy              decimal integer text   -
//   string     "true"/"false"    decimal           copy                   "x y z w"
//   Vector4    -                 -                 four blank-separated   copy
//                                                  numbers
//
// Text is trimmed of surrounding blanks before it is parsed; numbers are
// written in their shortest round-trip form.
bool convert(const Variant& from, Variant& to);

} // namespace VariantConverter
