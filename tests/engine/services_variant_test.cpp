#include <gtest/gtest.h>

#include "engine/variant/variant.h"

namespace {

// Converts `from` into a variant that holds `target`'s type.
Variant converted(const Variant& from, Variant target, bool expectSuccess = true) {
    EXPECT_EQ(VariantConverter::convert(from, target), expectSuccess);
    return target;
}

} // namespace

TEST(ServicesVariant, HoldsOneTypedValue) {
    Variant empty;
    EXPECT_TRUE(empty.empty());
    EXPECT_FALSE(empty.holds<bool>());

    Variant number(7); // an int is widened to 64 bits, not taken as bool
    EXPECT_TRUE(number.holds<int64_t>());
    EXPECT_EQ(number.get<int64_t>(), 7);
    EXPECT_EQ(Variant(-5).get<int64_t>(), -5);

    Variant text("abc"); // a literal is text, not a pointer taken as bool
    EXPECT_TRUE(text.isType<std::string>());
    EXPECT_EQ(text.get<std::string>(), "abc");

    // Asking for the wrong type gives that type's default rather than throwing.
    EXPECT_EQ(text.get<int64_t>(), 0);
    EXPECT_EQ(text.get<Vector4>(), Vector4::zero());
    EXPECT_FALSE(number.get<bool>());

    EXPECT_EQ(Variant(true), Variant(true));
    EXPECT_FALSE(Variant(int64_t{1}) == Variant(true));
}

TEST(ServicesVariant, ConvertsBetweenTypes) {
    // Into bool.
    EXPECT_TRUE(converted(Variant(int64_t{3}), Variant(false)).get<bool>());
    EXPECT_TRUE(converted(Variant(" TRUE "), Variant(false)).get<bool>());
    EXPECT_FALSE(converted(Variant("0"), Variant(true)).get<bool>());
    // Into int.
    EXPECT_EQ(converted(Variant(true), Variant(int64_t{0})).get<int64_t>(), 1);
    EXPECT_EQ(converted(Variant(" -42 "), Variant(int64_t{0})).get<int64_t>(), -42);
    // Into text.
    EXPECT_EQ(converted(Variant(false), Variant("")).get<std::string>(), "false");
    EXPECT_EQ(converted(Variant(int64_t{-9000000000}), Variant("")).get<std::string>(), "-9000000000");
    EXPECT_EQ(converted(Variant(Vector4(1.f, 0.5f, -2.f, 0.1f)), Variant("")).get<std::string>(),
              "1 0.5 -2 0.1");
    // Into Vector4, and back through text without loss.
    EXPECT_EQ(converted(Variant("1 2 3 4"), Variant(Vector4())).get<Vector4>(), Vector4(1.f, 2.f, 3.f, 4.f));
    const Vector4 odd(0.1f, 1e-7f, 123456.7f, -3.3f);
    Variant text = converted(Variant(odd), Variant(""));
    EXPECT_EQ(converted(text, Variant(Vector4())).get<Vector4>(), odd);
    // An empty target takes the value as it is.
    EXPECT_EQ(converted(Variant("x"), Variant()), Variant("x"));
}

TEST(ServicesVariant, FailedConversionLeavesTargetAlone) {
    const Vector4 keep(1.f, 1.f, 1.f, 1.f);
    EXPECT_EQ(converted(Variant(), Variant(keep), false), Variant(keep));
    EXPECT_EQ(converted(Variant("1 2 3"), Variant(keep), false), Variant(keep));
    EXPECT_EQ(converted(Variant("1 2 3 4 5"), Variant(keep), false), Variant(keep));
    EXPECT_EQ(converted(Variant(true), Variant(keep), false), Variant(keep));
    EXPECT_EQ(converted(Variant("yes"), Variant(false), false), Variant(false));
    EXPECT_EQ(converted(Variant("12abc"), Variant(int64_t{5}), false), Variant(int64_t{5}));
    EXPECT_EQ(converted(Variant("99999999999999999999"), Variant(int64_t{5}), false), Variant(int64_t{5}));
    EXPECT_EQ(converted(Variant(keep), Variant(int64_t{5}), false), Variant(int64_t{5}));
    EXPECT_EQ(converted(Variant(), Variant(), false), Variant());
}
