#include "format/decimal.h"

#include <gtest/gtest.h>

namespace pvx {
namespace {

TEST(DecimalTest, IntRule) {
  struct Case {
    const char* text;
    int32_t expected;
  } cases[] = {
      {"12abc", 12},     {" 7", 0},          {"", 0},           {"-37", -37},
      {"+5", 5},         {"5-", 5},          {"16744576", 16744576},
      {"-11", -11},      {"0", 0},           {"00", 0},         {"-", 0},
      {"+", 0},          {"--1", 0},         {"abc", 0},        {"2147483647", 2147483647},
      {"2147483648", INT32_MIN},             {"4294967296", 0}, {"4294967297", 1},
      {"-2147483648", INT32_MIN},            {"99999999999999999999", static_cast<int32_t>(1661992959u)},
  };
  for (const Case& c : cases) EXPECT_EQ(DecimalInt(c.text), c.expected) << '"' << c.text << '"';
}

TEST(DecimalTest, Int64Rule) {
  EXPECT_EQ(DecimalInt64("5000000000"), 5000000000LL);
  EXPECT_EQ(DecimalInt64("-5000000000x"), -5000000000LL);
  EXPECT_EQ(DecimalInt64(""), 0);
  EXPECT_EQ(DecimalInt64("+9223372036854775807"), INT64_MAX);
}

TEST(DecimalTest, ValueRule) {
  struct Case {
    const char* text;
    double expected;
  } cases[] = {
      {"2.0", 2.0},   {"1.1.4322", 1.1}, {"4.0.30319", 4.0}, {"2", 2.0},
      {"v2.0", 2.0},  // "v" is skipped like any other byte
      {"-1.5", -1.5}, {"3.5e1", 35.0},   {"1E-1", 0.1},     {"", 0.0},
      {"x1y.z5", 1.5},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(DecimalValue(c.text), c.expected) << c.text;
  EXPECT_DOUBLE_EQ(DecimalValue(std::string("v2.0").substr(1)), 2.0);
}

TEST(DecimalTest, Text) {
  EXPECT_EQ(DecimalText(int64_t{0}), "0");
  EXPECT_EQ(DecimalText(int64_t{-42}), "-42");
  EXPECT_EQ(DecimalText(INT64_MIN), "-9223372036854775808");
  EXPECT_EQ(DecimalText(UINT64_MAX), "18446744073709551615");
  // The conversion divides in 16-bit steps: values around the word
  // boundaries and every digit position.
  const std::pair<uint64_t, const char*> cases[] = {
      {9, "9"},
      {65535, "65535"},
      {65536, "65536"},
      {655359, "655359"},
      {4294967295u, "4294967295"},
      {4294967296u, "4294967296"},
      {42949672960u, "42949672960"},
      {0x0000FFFFFFFFFFFFu, "281474976710655"},
      {10000000000000000000u, "10000000000000000000"},
      {18446744073709551606u, "18446744073709551606"},
  };
  for (const auto& c : cases) EXPECT_EQ(DecimalText(c.first), c.second) << c.second;
}

}  // namespace
}  // namespace pvx
