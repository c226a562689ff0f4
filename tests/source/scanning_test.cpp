// Scanners over valid, boundary and malformed texts, with their next
// positions; the environment lookup.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "support/runtime_harness.h"
#include "source/c_locale_text.h"
#include "source/matrixop.h"
#include "source/messages.h"
#include "source/scanning.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

constexpr int FAILS = -1;  // next position expected: the start itself

struct IntegerCase {
  const char* text;
  int start;
  int unsignedOnly;
  int next;  // FAILS: the start
  std::int32_t value;
};

struct RealCase {
  const char* text;
  int start;
  int unsignedOnly;
  int next;
  double value;
};

struct TextCase {
  const char* text;
  int start;
  int next;
  const char* value;
};

}  // namespace

// Beyond 32 bits a number stores nothing and counts as no number, as its
// callers take any result other than 1.
TEST(Scanning, IntegerConversionRefusesNumbersBeyondThirtyTwoBits) {
  struct Case {
    const char* text;
    int result;
    std::int32_t value;
  };
  const Case cases[] = {
      {"2147483647", 1, INT32_MAX},
      {"-2147483648", 1, INT32_MIN},
      {"2147483648", 0, 99},
      {"-2147483649", 0, 99},
      {" 4294967297", 0, 99},
      {"99999999999999999999999", 0, 99},
      {"+0000000000002147483647", 1, INT32_MAX},
  };
  for (const Case& c : cases) {
    std::int32_t v = 99;
    EXPECT_EQ(c_scan_int(c.text, &v), c.result) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(Scanning, Integers) {
  const IntegerCase cases[] = {
      {"  42 more", 1, 0, 5, 42},
      {"  42 more", 3, 0, 5, 42},
      {"12.5", 1, 0, FAILS, 0},
      {"+7", 1, 0, 3, 7},
      {"+7", 1, 1, FAILS, 0},
      {"-7", 1, 1, FAILS, 0},
      {"7", 1, 1, 2, 7},
      {"1e3", 1, 0, FAILS, 0},
      {"1E3", 1, 0, FAILS, 0},
      {"-12,3", 1, 0, 4, -12},
      {"x1", 1, 0, FAILS, 0},
      {"+", 1, 0, FAILS, 0},
      {"+-1", 1, 0, FAILS, 0},
      {"", 1, 0, FAILS, 0},
      {"   ", 1, 0, FAILS, 0},
      {"a 5", 2, 0, 4, 5},
      {"2147483647", 1, 0, 11, INT32_MAX},
      {"-2147483648", 1, 0, 12, INT32_MIN},
      {"2147483648", 1, 0, FAILS, 0},
      {"-2147483649", 1, 0, FAILS, 0},
  };
  for (const IntegerCase& c : cases) {
    ScanIntegerResult r = scan_integer_wrapper(c.text, c.start, c.unsignedOnly);
    EXPECT_EQ(r.nextPosition, c.next == FAILS ? c.start : c.next) << c.text << " @" << c.start;
    EXPECT_EQ(r.value, c.value) << c.text << " @" << c.start;
  }
}

TEST(Scanning, NumbersOfAHundredCharactersAreRefused) {
  const std::string fits = std::string(98, '0') + "7";  // 99 characters
  ScanIntegerResult i = scan_integer_wrapper(fits.c_str(), 1, 0);
  EXPECT_EQ(i.nextPosition, 100);
  EXPECT_EQ(i.value, 7);
  const std::string longer = "0" + fits;
  EXPECT_EQ(scan_integer_wrapper(longer.c_str(), 1, 0).nextPosition, 1);
  const std::string signed100 = "-" + fits;
  EXPECT_EQ(scan_integer_wrapper(signed100.c_str(), 1, 0).nextPosition, 1);

  const std::string real99 = "0." + std::string(97, '5');
  EXPECT_EQ(scan_real_wrapper(real99.c_str(), 1, 0).nextPosition, 100);
  const std::string real100 = "0." + std::string(98, '5');
  EXPECT_EQ(scan_real_wrapper(real100.c_str(), 1, 0).nextPosition, 1);
}

TEST(Scanning, Reals) {
  const RealCase cases[] = {
      {"-1.5e3x", 1, 0, 7, -1.5e3}, {"1.5e", 1, 0, FAILS, 0}, {"1.5e+", 1, 0, FAILS, 0},
      {"2.5E-2;", 1, 0, 7, 0.025},  {".5", 1, 0, 3, 0.5},     {"5.", 1, 0, 3, 5},
      {".", 1, 0, FAILS, 0},        {"-", 1, 0, FAILS, 0},    {"-.", 1, 0, FAILS, 0},
      {"+2", 1, 1, FAILS, 0},       {"2", 1, 1, 2, 2},        {" \t\n 7", 1, 0, 6, 7},
      {"e5", 1, 0, FAILS, 0},       {"", 1, 0, FAILS, 0},     {"1,5", 1, 0, 2, 1},
      {"x 3.25", 2, 0, 7, 3.25},    {"1e+5", 1, 0, 5, 1e5},   {"-2E+3;", 1, 0, 6, -2e3},
      {"1e+5", 1, 1, 5, 1e5},  // the exponent's sign is no sign of the number
  };
  for (const RealCase& c : cases) {
    ScanRealResult r = scan_real_wrapper(c.text, c.start, c.unsignedOnly);
    EXPECT_EQ(r.nextPosition, c.next == FAILS ? c.start : c.next) << c.text;
    EXPECT_EQ(r.value, c.value) << c.text;
  }
}

TEST(Scanning, StringsAndIdentifiers) {
  buffer_reset_all();
  const TextCase strings[] = {
      {"  \"ab\" rest", 1, 7, "ab"},
      {"\"\"", 1, FAILS, ""},
      {"\"abc", 1, FAILS, ""},
      {"\"a\\\"b\"x", 1, 7, "a\\\"b"},  // the escaped quote stays as it stands
      {"ab", 1, FAILS, ""},
      {"x\"y\"", 2, 5, "y"},
  };
  for (const TextCase& c : strings) {
    ScanStringResult r = scan_string_wrapper(c.text, c.start);
    EXPECT_EQ(r.nextPosition, c.next == FAILS ? c.start : c.next) << c.text;
    ASSERT_NE(r.value, nullptr) << c.text;
    EXPECT_STREQ(r.value, c.value) << c.text;
  }
  const TextCase identifiers[] = {
      {"  x_1+y", 1, 6, "x_1"}, {"_x", 1, FAILS, ""}, {"1x", 1, FAILS, ""},
      {"Ab9", 1, 4, "Ab9"},     {"a+bc", 3, 5, "bc"}, {"", 1, FAILS, ""},
  };
  for (const TextCase& c : identifiers) {
    ScanStringResult r = scan_identifier_wrapper(c.text, c.start);
    EXPECT_EQ(r.nextPosition, c.next == FAILS ? c.start : c.next) << c.text;
    ASSERT_NE(r.value, nullptr) << c.text;
    EXPECT_STREQ(r.value, c.value) << c.text;
  }
}

TEST(Scanning, ResultTextsComeFromTheSimpleStringArea) {
  buffer_reset_all();
  ScanStringResult s = scan_string_wrapper("\"abc\"", 1);
  ScanStringResult id = scan_identifier_wrapper("abc", 1);
  ScanStringResult none = scan_identifier_wrapper("9", 1);
  for (const char* text : {s.value, id.value, none.value}) {
    EXPECT_GE(text, simplestring);
    EXPECT_LT(text, Endsimplestring);
  }
  EXPECT_EQ(stringmark - simplestring, 4 + 4 + 1);
}

// A start outside the text fails at once: the characters beyond the
// terminator are never read (the sanitizer build would report them).
TEST(Scanning, StartsOutsideTheTextFail) {
  buffer_reset_all();
  char* text = static_cast<char*>(std::malloc(3));
  std::memcpy(text, "12", 3);
  const int starts[] = {0, -1, -2147483647 - 1, 4, 5, 2147483647};
  for (int start : starts) {
    EXPECT_EQ(scan_integer_wrapper(text, start, 0).nextPosition, start);
    EXPECT_EQ(scan_integer_wrapper(text, start, 0).value, 0);
    EXPECT_EQ(scan_real_wrapper(text, start, 0).nextPosition, start);
    EXPECT_EQ(scan_real_wrapper(text, start, 0).value, 0.0);
    ScanStringResult s = scan_string_wrapper(text, start);
    EXPECT_EQ(s.nextPosition, start);
    EXPECT_STREQ(s.value, "");
    ScanStringResult id = scan_identifier_wrapper(text, start);
    EXPECT_EQ(id.nextPosition, start);
    EXPECT_STREQ(id.value, "");
    EXPECT_EQ(skip_white_space(text, start), start);
    EXPECT_EQ(count_digits(text, start), 0);
  }
  // The terminator's own position is inside: nothing to scan there.
  EXPECT_EQ(scan_integer_wrapper(text, 3, 0).nextPosition, 3);
  EXPECT_EQ(scan_integer_wrapper(text, 2, 0).value, 2);
  EXPECT_EQ(scan_integer_wrapper(nullptr, 1, 0).nextPosition, 1);
  std::free(text);
}

TEST(Scanning, Auxiliaries) {
  EXPECT_EQ(skip_white_space(" \t\r\n\v\fx", 1), 7);
  EXPECT_EQ(skip_white_space("   ", 2), 4);  // the terminator is not white space
  EXPECT_EQ(skip_white_space("a b", 1), 1);
  EXPECT_EQ(count_digits("x0123y", 2), 4);
  EXPECT_EQ(count_digits("x0123y", 1), 0);
  EXPECT_EQ(count_digits("\xB2\xB3", 1), 0);  // no national digits
}

TEST(Scanning, EnvironmentValuesPresentEmptyAndMissing) {
  buffer_reset_all();
  setenv("PELVARIN_TEST_PATH", "C:\\models\\pk\\data", 1);
  setenv("PELVARIN_TEST_EMPTY", "", 1);
  unsetenv("PELVARIN_TEST_MISSING");
  struct Case {
    const char* name;
    int slashes;
    const char* value;
    int found;
  };
  const Case cases[] = {
      {"PELVARIN_TEST_PATH", 0, "C:\\models\\pk\\data", 1},
      {"PELVARIN_TEST_PATH", 1, "C:/models/pk/data", 1},
      {"PELVARIN_TEST_PATH", 2, "C:\\models\\pk\\data", 1},  // only exactly 1 converts
      {"PELVARIN_TEST_EMPTY", 1, "", 1},
      {"PELVARIN_TEST_MISSING", 0, "", 0},
      {nullptr, 0, "", 0},
  };
  for (const Case& c : cases) {
    GetenvResult r = getenv_wrapper(c.name, c.slashes);
    ASSERT_NE(r.value, nullptr);
    EXPECT_STREQ(r.value, c.value) << (c.name ? c.name : "(null)") << " " << c.slashes;
    EXPECT_EQ(r.found, c.found) << (c.name ? c.name : "(null)");
    EXPECT_GE(r.value, simplestring);
    EXPECT_LT(r.value, Endsimplestring);
  }
  // The copy is the runtime's own; the environment keeps its backslashes.
  EXPECT_STREQ(std::getenv("PELVARIN_TEST_PATH"), "C:\\models\\pk\\data");
  EXPECT_EQ(function_stack, nullptr);
  char text[] = "a\\b\\\\c";
  convert_to_slash(text);
  EXPECT_STREQ(text, "a/b//c");
}

TEST(Scanning, FullStringAreaNamesTheLookupInTheReport) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  current_time = 0;
  buffer_reset_all();
  setenv("PELVARIN_TEST_PATH", "abc", 1);
  // Too little room for the copy of the value.
  ASSERT_NE(alloc_simple_string(SIMPLESTRING_SIZE - 4), nullptr);
  LiveInstance::clear();
  EXPECT_TRUE(ends_in_model_error([] { getenv_wrapper("PELVARIN_TEST_PATH", 0); }));
  EXPECT_EQ(
      LiveInstance::lines(),
      (Lines{"stringmark+len+1<Endsimplestring", "The following error was detected at time: 0",
             "Room to allocate string", "The stack of functions is:", "ModelicaInternal_getenv"}));
  EXPECT_EQ(function_stack, nullptr);
  // A scanner's failure result needs a string too.
  LiveInstance::clear();
  EXPECT_TRUE(ends_in_model_error([] {
    alloc_simple_string(1);
    scan_identifier_wrapper("9", 1);
  }));
  EXPECT_EQ(LiveInstance::lines().at(2), "Room to allocate string");
}

TEST(Scanning, OutsideAnEvaluationAFullAreaStillGivesTexts) {
  buffer_reset_all();
  ASSERT_NE(alloc_simple_string(SIMPLESTRING_SIZE - 2), nullptr);
  setenv("PELVARIN_TEST_PATH", "abc", 1);
  GetenvResult r = getenv_wrapper("PELVARIN_TEST_PATH", 0);
  ASSERT_NE(r.value, nullptr);
  EXPECT_STREQ(r.value, "");
  EXPECT_EQ(r.found, 0);
  ScanStringResult s = scan_string_wrapper("\"abc\"", 1);
  ASSERT_NE(s.value, nullptr);
  EXPECT_STREQ(s.value, "");
}
