// Number text and the two roundings.
#include "numbers.h"

#include <gtest/gtest.h>

#include <limits>

using namespace kestova;

TEST(NumberText, PlainDecimalWithoutTrailingZeros)
{
    EXPECT_EQ(NumberText(15.2), "15.2");
    EXPECT_EQ(NumberText(6.0), "6");
    EXPECT_EQ(NumberText(0.5), "0.5");
    EXPECT_EQ(NumberText(-2.25), "-2.25");
    EXPECT_EQ(NumberText(0.0), "0");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberText(0.0001), "0.0001");
    // Binary noise below the fifteenth digit never shows.
    EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberText(6 * 2.54), "15.24");
}

TEST(NumberText, ExponentFormForVerySmallOrLarge)
{
    EXPECT_EQ(NumberText(0.00007), "7E-05");
    EXPECT_EQ(NumberText(1e15), "1E+15");
    EXPECT_EQ(NumberText(1.5e20), "1.5E+20");
    EXPECT_EQ(NumberText(-2.5e-7), "-2.5E-07");
}

TEST(NumberText, SinglePrecisionKeepsSevenDigits)
{
    EXPECT_EQ(SingleText(72.0f), "72");
    EXPECT_EQ(SingleText(300.0f), "300");
    EXPECT_EQ(SingleText(1.0f / 3.0f), "0.3333333");
    EXPECT_EQ(SingleText(72.00001f), "72.00001");
    EXPECT_EQ(SingleText(1e7f), "1E+07");
    EXPECT_EQ(SingleText(static_cast<float>(300 * 2.54 / 2.54)), "300");
}

struct RoundCase {
    const char *name;
    double value;
    int decimals;
    double even;
    double away;
};

class Rounding : public ::testing::TestWithParam<RoundCase>
{
};

TEST_P(Rounding, OnTheFifteenDigitText)
{
    const RoundCase &c = GetParam();
    EXPECT_EQ(RoundHalfEven(c.value, c.decimals), c.even) << c.name;
    EXPECT_EQ(RoundHalfAway(c.value, c.decimals), c.away) << c.name;
}

INSTANTIATE_TEST_SUITE_P(
    Numbers, Rounding,
    ::testing::Values(RoundCase{"tie_after_even_digit", 0.125, 2, 0.12, 0.13},
                      RoundCase{"tie_after_odd_digit", 0.135, 2, 0.14, 0.14},
                      RoundCase{"ten_one_two_five", 10.125, 2, 10.12, 10.13},
                      // 2.675 is 2.67499999999999982236431605997495353221893310546875 in binary,
                      // but its decimal text is 2.675: both roundings go up.
                      RoundCase{"binary_below_tie", 2.675, 2, 2.68, 2.68},
                      RoundCase{"negative_tie", -0.125, 2, -0.12, -0.13},
                      RoundCase{"carry_into_new_digit", 9.995, 2, 10.0, 10.0},
                      RoundCase{"half_to_whole_even", 2.5, 0, 2.0, 3.0},
                      RoundCase{"half_to_whole_odd", 3.5, 0, 4.0, 4.0},
                      RoundCase{"half_to_zero", 0.5, 0, 0.0, 1.0},
                      RoundCase{"below_all_kept_digits", 0.0004, 2, 0.0, 0.0},
                      RoundCase{"area_example", 0.01548384, 4, 0.0155, 0.0155},
                      RoundCase{"size_example", 35.27777777777778, 2, 35.28, 35.28},
                      // Nothing to round: the value of its 15-digit text.
                      RoundCase{"more_decimals_than_digits", 1.0 / 3.0, 30, 0.333333333333333, 0.333333333333333},
                      RoundCase{"negative_decimals", 1250.0, -2, 1200.0, 1300.0},
                      RoundCase{"zero", 0.0, 2, 0.0, 0.0}),
    [](const ::testing::TestParamInfo<RoundCase> &info) { return std::string(info.param.name); });

TEST(WholeNumber, RoundsTiesToEvenAndChecksRange)
{
    qint64 v = -1;
    EXPECT_TRUE(ToWholeNumber("2.5", 0, 100, &v));
    EXPECT_EQ(v, 2);
    EXPECT_TRUE(ToWholeNumber("3.5", 0, 100, &v));
    EXPECT_EQ(v, 4);
    EXPECT_TRUE(ToWholeNumber("  7 ", 0, 100, &v));
    EXPECT_EQ(v, 7);
    EXPECT_TRUE(ToWholeNumber("1e2", 0, 100, &v));
    EXPECT_EQ(v, 100);
    EXPECT_TRUE(ToWholeNumber("-3", -10, 100, &v));
    EXPECT_EQ(v, -3);
    // 32767.5 rounds to 32768, one past the 16-bit range.
    EXPECT_FALSE(ToWholeNumber("32767.5", -32768, 32767, &v));
    EXPECT_FALSE(ToWholeNumber("40000", -32768, 32767, &v));
    for (const char *bad : {"", "  ", "abc", "1,5", "inf", "nan", "0x10", "12abc"})
        EXPECT_FALSE(ToWholeNumber(bad, std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), &v))
            << bad;
}

TEST(StoredValue, IsWhatTheNumberTextStandsFor)
{
    EXPECT_EQ(StoredDouble(0.1 + 0.2), 0.3);
    EXPECT_EQ(StoredDouble(1.0 / 3.0), 0.333333333333333);
    EXPECT_EQ(StoredDouble(15.24), 15.24);
    EXPECT_EQ(StoredDouble(0.0155), 0.0155);
    EXPECT_EQ(StoredDouble(123456789012345.0), 123456789012345.0);
    EXPECT_EQ(StoredDouble(1234567890123456.0), 1.23456789012346e15);
    EXPECT_EQ(StoredSingle(72.00001f), 72.00001);
    EXPECT_EQ(StoredSingle(300.0f), 300.0);
    EXPECT_EQ(StoredSingle(1.0f / 3.0f), 0.3333333);
    for (double v : {0.1 + 0.2, 1.0 / 3.0, 2.675, 7e-5, 1e15})
        EXPECT_EQ(NumberText(StoredDouble(v)), NumberText(v)) << v;
}
