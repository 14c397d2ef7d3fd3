// Integer spelling in the settings file, and the application's title.
#include <gtest/gtest.h>

#include <climits>
#include <optional>
#include <string>

#include "settings/application_title.h"
#include "settings/value_encoding.h"

using namespace vedo;

namespace {

struct IntegerCase {
  const char* text;
  std::optional<int> expected;
};

class IntegerValue : public testing::TestWithParam<IntegerCase> {};

TEST_P(IntegerValue, Parses) {
  EXPECT_EQ(parseIntegerValue(GetParam().text), GetParam().expected) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(
    Decimal, IntegerValue,
    testing::Values(IntegerCase{"3", 3}, IntegerCase{" +3", 3}, IntegerCase{"\t  -12", -12},
                    IntegerCase{"007", 7}, IntegerCase{"2147483647", INT_MAX},
                    IntegerCase{"-2147483648", INT_MIN},
                    // Out of range: no wrapping into a value nobody wrote.
                    IntegerCase{"2147483648", std::nullopt},
                    IntegerCase{"-2147483649", std::nullopt},
                    IntegerCase{"99999999999999999999999", std::nullopt},
                    // Whole text or nothing.
                    IntegerCase{"3abc", std::nullopt}, IntegerCase{"3 ", std::nullopt},
                    IntegerCase{"", std::nullopt}, IntegerCase{" ", std::nullopt},
                    IntegerCase{"+", std::nullopt}, IntegerCase{"+-3", std::nullopt},
                    IntegerCase{"- 3", std::nullopt}, IntegerCase{"1.5", std::nullopt},
                    IntegerCase{"\xef\xbc\x93", std::nullopt}));  // a full-width digit

INSTANTIATE_TEST_SUITE_P(
    Hexadecimal, IntegerValue,
    testing::Values(IntegerCase{"0x3", 3}, IntegerCase{"0X1a", 26}, IntegerCase{"$3", 3},
                    IntegerCase{"$aF", 0xAF}, IntegerCase{"0x7FFFFFFF", INT_MAX},
                    // Eight digits are a 32-bit pattern.
                    IntegerCase{"$FFFFFFFF", -1}, IntegerCase{"0x80000000", INT_MIN},
                    IntegerCase{"0x00000010", 16},
                    // A ninth digit is one too many, even a leading zero.
                    IntegerCase{"0x100000000", std::nullopt},
                    IntegerCase{"$000000001", std::nullopt},
                    // "0x" itself is two bytes: not hexadecimal, and no decimal.
                    IntegerCase{"0x", std::nullopt}, IntegerCase{"$", std::nullopt},
                    IntegerCase{"0xG", std::nullopt}, IntegerCase{"$-1", std::nullopt},
                    IntegerCase{"0x 3", std::nullopt}, IntegerCase{"-$3", std::nullopt},
                    IntegerCase{" 0x3", std::nullopt}));

TEST(IntegerValueFormat, WritesDecimalThatReadsBack) {
  for (int v : {0, -1, 3, 1024, INT_MIN, INT_MAX}) {
    EXPECT_EQ(parseIntegerValue(formatIntegerValue(v)), v);
  }
  EXPECT_EQ(formatIntegerValue(-1), "-1");
  EXPECT_EQ(formatFlagValue(true), "1");
  EXPECT_EQ(formatFlagValue(false), "0");
}

TEST(ApplicationTitle, FirstLetterUpperAndEveryLaterLetterLower) {
  EXPECT_EQ(applicationTitle("/usr/bin/vedo32"), "Vedo32");
  EXPECT_EQ(applicationTitle("/opt/VEDO32"), "Vedo32");
  EXPECT_EQ(applicationTitle("VeDo32"), "Vedo32");
  EXPECT_EQ(applicationTitle("/a/b/32Vedo.BIN"), "32vedo");
  EXPECT_EQ(applicationTitle("/a/v.e/VEDO32.tar.gz"), "Vedo32.tar");
  EXPECT_EQ(applicationTitle("/a/.vedo"), ".vedo");
  EXPECT_EQ(applicationTitle("/home/\xe8\xa1\xa8X"), "\xe8\xa1\xa8x");  // non-ASCII untouched
}

TEST(ApplicationTitle, OfTheRunningProgramIsItsFileName) {
  // This test program is settings_tests.
  EXPECT_EQ(applicationTitle(), "Settings_tests");
}

}  // namespace
