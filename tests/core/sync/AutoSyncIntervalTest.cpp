// What the interval box may hold before auto sync switches on.
#include <gtest/gtest.h>

#include "sync/AutoSyncInterval.h"

namespace kelvane::sync {
namespace {

struct IntervalCase {
    const char* text;
    bool accepted;
    const char* message;
    int milliseconds;
};

void PrintTo(const IntervalCase& c, std::ostream* out) {
    *out << '"' << c.text << '"';
}

class IntervalRules : public ::testing::TestWithParam<IntervalCase> {};

TEST_P(IntervalRules, DecideAsTheUserExpects) {
    const IntervalCase& c = GetParam();
    const auto decision = judgeInterval(c.text);
    EXPECT_EQ(decision.accepted, c.accepted);
    EXPECT_EQ(decision.message, c.message);
    EXPECT_EQ(decision.milliseconds, c.milliseconds);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, IntervalRules,
    ::testing::Values(
        IntervalCase{"10", true, "", 10'000}, IntervalCase{"1", true, "", 1'000},
        IntervalCase{"60", true, "", 60'000}, IntervalCase{"060", true, "", 60'000},
        IntervalCase{"00005", true, "", 5'000}, IntervalCase{"61", false, kMaxInterval, 0},
        IntervalCase{"75", false, kMaxInterval, 0}, IntervalCase{"99999", false, kMaxInterval, 0},
        IntervalCase{"123456789012345678901234567890", false, kMaxInterval, 0},
        IntervalCase{"0", false, kMinInterval, 0}, IntervalCase{"00", false, kMinInterval, 0},
        IntervalCase{"", false, kOnlyNumbers, 0}, IntervalCase{"-5", false, kOnlyNumbers, 0},
        IntervalCase{"+5", false, kOnlyNumbers, 0}, IntervalCase{"1.5", false, kOnlyNumbers, 0},
        IntervalCase{"75.5", false, kOnlyNumbers, 0}, IntervalCase{" 5", false, kOnlyNumbers, 0},
        IntervalCase{"5 ", false, kOnlyNumbers, 0},
        IntervalCase{"\xEF\xBC\x95", false, kOnlyNumbers, 0}));  // full-width 5

TEST(IsNumericString, AcceptsOnlyAsciiDigitsAndTheEmptyText) {
    EXPECT_TRUE(isNumericString(""));
    EXPECT_TRUE(isNumericString("0123456789"));
    EXPECT_FALSE(isNumericString("12a"));
    EXPECT_FALSE(isNumericString("\xD9\xA5"));  // Arabic-Indic five
}

}  // namespace
}  // namespace kelvane::sync
