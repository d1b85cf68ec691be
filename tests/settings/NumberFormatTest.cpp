#include "settings/NumberFormat.h"

#include "SettingsTestSupport.h"

#include <gtest/gtest.h>

namespace {

double Parsed(const std::string &text, char separator) {
  double value = -99.0;
  EXPECT_TRUE(TryParseFloat(text, separator, value)) << '"' << text << '"';
  return value;
}

bool Rejects(const std::string &text, char separator) {
  double value = -99.0;
  return !TryParseFloat(text, separator, value) && value == -99.0;
}

TEST(TryParseFloat, AcceptsEitherSeparatorWhicheverComesFirst) {
  for (const char separator : {'.', ','}) {
    EXPECT_DOUBLE_EQ(Parsed("2.5", separator), 2.5);
    EXPECT_DOUBLE_EQ(Parsed("2,5", separator), 2.5);
    EXPECT_DOUBLE_EQ(Parsed(" -0,125 ", separator), -0.125);
    EXPECT_DOUBLE_EQ(Parsed("+4", separator), 4.0);
    EXPECT_DOUBLE_EQ(Parsed("1.5e3", separator), 1500.0);
    EXPECT_DOUBLE_EQ(Parsed("7", separator), 7.0);
  }
}

TEST(TryParseFloat, RejectsGarbageAndLeavesTheValue) {
  for (const char separator : {'.', ','}) {
    for (const char *text : {"", "  ", "abc", "2.5x", "2,5.1", "1.2.3", "inf", "nan", "-inf",
                             "1e999", "+-1", "0x10", "1 2", "--1", "e5"})
      EXPECT_TRUE(Rejects(text, separator)) << '"' << text << '"';
  }
}

TEST(TryParseFloat, FollowsTheLocaleSeparator) {
  double value = 0.0;
  ASSERT_TRUE(TryParseFloat("2,5", value));
  EXPECT_DOUBLE_EQ(value, 2.5);
  ASSERT_TRUE(TryParseFloat("2.5", value));
  EXPECT_DOUBLE_EQ(value, 2.5);

  TNumericLocale german("de_DE.UTF-8");
  if (!german.Active())
    GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
  value = 0.0;
  ASSERT_TRUE(TryParseFloat("2,5", value));
  EXPECT_DOUBLE_EQ(value, 2.5);
  value = 0.0;
  ASSERT_TRUE(TryParseFloat("2.5", value));
  EXPECT_DOUBLE_EQ(value, 2.5);
  EXPECT_FALSE(TryParseFloat("abc", value));
}

TEST(IsFloatFormat, AcceptsOneFloatConversion) {
  for (const char *format : {"%0.3f", "%.2e", "%g", "x=%8.3f%%", "%%%f%%", "%-+ #012.10G", "%lf",
                             "%.f", "%a", "%99.99E", "%f um"})
    EXPECT_TRUE(IsFloatFormat(format)) << format;
}

TEST(IsFloatFormat, RejectsEverythingElsePrintfWouldInterpret) {
  for (const char *format : {"",      "abc",    "%%",  "%s",   "%n",  "%d",  "%x",   "%c",   "%p",
                             "%f%f",  "%f %s",  "%*f", "%.*f", "%Lf", "%hf", "%llf", "%1$f", "%'f",
                             "%100f", "%.100f", "%f%", "%",    "%5",  "%.3", "%F%n"})
    EXPECT_FALSE(IsFloatFormat(format)) << format;
  EXPECT_FALSE(IsFloatFormat(std::string("%f\0%s", 5)));
}

TEST(FormatFloat, UsesTheFormatOnlyWhenItIsSafe) {
  EXPECT_EQ(FormatFloat("%0.3f", 2.5), "2.500");
  EXPECT_EQ(FormatFloat("x=%8.3f%%", 2.5), "x=   2.500%");
  EXPECT_EQ(FormatFloat("%.2e", 12345.0), "1.23e+04");
  EXPECT_EQ(FormatFloat("%s", 2.5), "2.5");
  EXPECT_EQ(FormatFloat("%n", 2.5), "2.5");
  EXPECT_EQ(FormatFloat("%f%f", 2.5), "2.5");
  // The widest accepted format stays bounded even for the largest double.
  EXPECT_LT(FormatFloat("%99.99f", 1.7e308).size(), 200u);
  // Integer parts wider than a double's precision read as "%g"; padding zeros
  // do not count.
  EXPECT_EQ(FormatFloat("%0.3f", -1e308), "-1e+308");
  EXPECT_EQ(FormatFloat("%0.3f", 1e17), "1e+17");
  EXPECT_EQ(FormatFloat("%0.0f", 99999999999999984.0), "99999999999999984");
  EXPECT_EQ(FormatFloat("%030.1f", 2.5), "0000000000000000000000000002.5");
}

} // namespace
