#include <set>

#include <gtest/gtest-spi.h>
#include <gtest/gtest.h>

#include "engine/core/string_conv.h"
#include "model_validator/finding_catalogue.h"

using namespace KX;
using namespace KX::ValidatorHelper;

namespace {

// Reports through the catalogue the way a check does, with any message.
class ReportingValidator : public Validator {
  public:
    using Validator::addError;
    using Validator::report;
};

} // namespace

TEST(FindingCatalogue, EntriesAreNamedOnceAndFillTheirPatterns) {
    std::set<std::string> names;
    for (const FindingKind* kind : findingCatalogue()) {
        EXPECT_TRUE(names.insert(kind->name).second) << kind->name;
        EXPECT_TRUE(kind->code == kCallerCode || kind->code > 0) << kind->name;
        EXPECT_NE(kind->title, ValidationTitle::None) << kind->name;
        EXPECT_NE(kind->severity, ValidationErrorSeverity::None) << kind->name;
    }
    // Fixed codes first, in code order; caller-coded ones after them.
    const auto& all = findingCatalogue();
    for (size_t i = 1; i < all.size(); ++i) {
        if (all[i]->code != kCallerCode) {
            EXPECT_NE(all[i - 1]->code, kCallerCode);
            EXPECT_LE(all[i - 1]->code, all[i]->code);
        }
    }
    EXPECT_EQ(Findings::BspTooLarge.text(),
              "The number of triangles in the BSP of an object is 25% more than the number of triangles in "
              "LOD_0.");
    EXPECT_EQ(Findings::InvalidDecorType.text(7u, std::string("a.model")), "Invalid decor type (7): a.model");
    EXPECT_EQ(Findings::LodExtentDiffers.text("p", 2.5, "'infinite'", "lod1"),
              "LODs 'p': actual extent value 2.5 differs from standard 'infinite' value for lod1");
}

TEST(FindingCatalogue, PatternsMatchWhatTheyPrint) {
    EXPECT_TRUE(messageMatchesPattern("Model '%s' has invalid path", "Model '' has invalid path"));
    EXPECT_TRUE(messageMatchesPattern("Model '%s' has invalid path", "Model 'a' b' has invalid path"));
    EXPECT_FALSE(messageMatchesPattern("Model '%s' has invalid path", "Model 'a' has an invalid path"));
    EXPECT_FALSE(messageMatchesPattern("Model '%s' has invalid path", "Model 'a' has invalid path!"));
    EXPECT_TRUE(messageMatchesPattern("(%d) %u %lu", "(-3) 4 12"));
    EXPECT_FALSE(messageMatchesPattern("%u", "-4"));
    EXPECT_FALSE(messageMatchesPattern("%d", "x"));
    EXPECT_FALSE(messageMatchesPattern("%d", ""));
    EXPECT_TRUE(messageMatchesPattern("value %.1f differs, %f", "value -12.5 differs, 0.000000"));
    EXPECT_TRUE(messageMatchesPattern("%f", "inf"));
    EXPECT_TRUE(messageMatchesPattern("25%% more", "25% more"));
    EXPECT_FALSE(messageMatchesPattern("25%% more", "25%% more"));
    EXPECT_FALSE(messageMatchesPattern("25%% more", "25x more"));
    // A conversion the catalogue never uses matches nothing.
    EXPECT_FALSE(messageMatchesPattern("%x", "5"));
    EXPECT_TRUE(messageMatchesPattern("kind '%u'\n", "kind '3'\n"));
    EXPECT_FALSE(messageMatchesPattern("kind '%u'\n", "kind '3'"));
}

TEST(FindingCatalogue, ReportedFindingsAreVerifiedAgainstTheirEntry) {
    ReportingValidator v;
    // A message that drifted from its entry's wording fails the running test.
    EXPECT_NONFATAL_FAILURE(v.report(Findings::FenceWithoutCollisions, "Please check the fence 'a.model'"),
                            "FenceWithoutCollisions");
    // So does a finding that names no entry at all.
    EXPECT_NONFATAL_FAILURE(
        v.addError(ValidationTitle::Common, ValidationErrorSeverity::High, "x", "x", 129, ""),
        "without a catalogue entry");

    // An entry's code, title and severity are what is stored; a caller-coded
    // entry takes the caller's code and style.
    v.report(Findings::FenceWithoutCollisions, Findings::FenceWithoutCollisions.text("f.model"));
    v.report(Findings::LodsUnavailable, 42, "Hull", Findings::LodsUnavailable.text("h.model"));
    const auto& errors = v.getErrors();
    ASSERT_EQ(errors.size(), 4u);
    EXPECT_EQ(errors[2].message,
              "[Wrn. 129] Please check, if the fence 'f.model' needs the 'All Collisions' flag");
    EXPECT_EQ(errors[2].title, ValidationTitle::Common);
    EXPECT_EQ(errors[3].message, "[Err. 42] Can not get LODs for h.model model");
    EXPECT_EQ(errors[3].title, ValidationTitle::CheckLods);
    EXPECT_EQ(errors[3].category,
              "Hull/" + wideToNarrow(Validator::getValidationTitle(ValidationTitle::CheckLods)));
}

TEST(FindingCatalogue, MismatchNamesEveryDisagreement) {
    const std::string message = "Please check, if the fence 'f' needs the 'All Collisions' flag";
    const ReportedFinding drifted{&Findings::FenceWithoutCollisions, 130, ValidationTitle::CheckOther,
                                  ValidationErrorSeverity::High, message};
    const std::string why = findingMismatch(drifted);
    EXPECT_NE(why.find("code 130 instead of 129"), std::string::npos) << why;
    EXPECT_NE(why.find("title CheckOther instead of Common"), std::string::npos) << why;
    EXPECT_NE(why.find("severity high instead of medium"), std::string::npos) << why;
    EXPECT_EQ(why.find("message"), std::string::npos) << why;
    const ReportedFinding callerCoded{&Findings::LodsUnavailable.kind, 7, ValidationTitle::CheckLods,
                                      ValidationErrorSeverity::High, "Can not get LODs for x model"};
    EXPECT_EQ(findingMismatch(callerCoded), "");
}
