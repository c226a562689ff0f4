// Text routines in the "C" locale, also under a host locale with a decimal
// comma and national letters.
#include <gtest/gtest.h>

#include <cctype>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "support/runtime_harness.h"
#include "source/c_locale_text.h"
#include "source/event_services.h"
#include "source/messages.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

// A host locale compiled into a temporary folder (LOCPATH) and made the
// process locale; the runtime must leave it as it found it.
class LocaleUnderHost : public ::testing::Test {
 protected:
  // German Latin-1 by default: decimal comma, and letters above 0x7F.
  bool enter(const char* source = "de_DE", const char* charset = "ISO-8859-1") {
    char pattern[] = "/tmp/pelvarin-locale-XXXXXX";
    if (!mkdtemp(pattern)) return false;
    folder_ = pattern;
    const std::string name = std::string(source) + "." + charset;
    std::string command = std::string("localedef -c -i ") + source + " -f " + charset + " " +
                          folder_ + "/" + name + " >/dev/null 2>&1";
    int rc = std::system(command.c_str());
    (void)rc;
    setenv("LOCPATH", folder_.c_str(), 1);
    if (!std::setlocale(LC_ALL, name.c_str())) return false;
    before_ = std::setlocale(LC_ALL, nullptr);
    decimal_point_ = std::localeconv()->decimal_point;
    return true;
  }
  void SetUp() override {
    if (!enter()) GTEST_SKIP() << "no locale could be made";
    ASSERT_EQ(decimal_point_, ",");
  }
  void TearDown() override {
    if (!before_.empty()) {
      EXPECT_EQ(std::string(std::setlocale(LC_ALL, nullptr)), before_);
      EXPECT_EQ(std::string(std::localeconv()->decimal_point), decimal_point_);
    }
    std::setlocale(LC_ALL, "C");
    if (!folder_.empty()) std::filesystem::remove_all(folder_);
  }

  std::string folder_;
  std::string before_;
  std::string decimal_point_;
};

class LocaleUnderTurkishHost : public LocaleUnderHost {
 protected:
  void SetUp() override {
    if (!enter("tr_TR", "ISO-8859-9")) GTEST_SKIP() << "no locale could be made";
  }
};

bool c_letter(int c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool c_digit(int c) { return c >= '0' && c <= '9'; }
bool c_space(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void expect_c_classes() {
  for (int c = 0; c < 256; ++c) {
    EXPECT_EQ(c_isalpha(c) != 0, c_letter(c)) << c;
    EXPECT_EQ(c_isdigit(c) != 0, c_digit(c)) << c;
    EXPECT_EQ(c_isspace(c) != 0, c_space(c)) << c;
  }
}

}  // namespace

TEST(LocaleText, CharacterClassesOfAllByteValues) { expect_c_classes(); }

TEST(LocaleText, CharacterClassesOfPlainCharsAndOutOfRangeValues) {
  const char umlaut = static_cast<char>(0xE4);
  EXPECT_EQ(c_isalpha(umlaut), 0);
  EXPECT_NE(c_isalpha(static_cast<char>('A')), 0);
  const int odd[] = {EOF, 256, 1000, -1000, -129};
  for (int c : odd) {
    EXPECT_EQ(c_isalpha(c), 0) << c;
    EXPECT_EQ(c_isdigit(c), 0) << c;
    EXPECT_EQ(c_isspace(c), 0) << c;
  }
}

TEST_F(LocaleUnderHost, CharacterClassesStayThoseOfTheCLocale) {
  ASSERT_NE(std::isalpha(0xE4), 0);  // the host's locale knows the letter
  expect_c_classes();
}

TEST_F(LocaleUnderHost, FormattingAndScanningUseTheDecimalPoint) {
  char host[32];
  std::snprintf(host, sizeof host, "%g", 0.5);
  ASSERT_STREQ(host, "0,5");
  char buffer[32];
  EXPECT_EQ(c_sprintf(buffer, sizeof buffer, "%g", 0.5), 3);
  EXPECT_STREQ(buffer, "0.5");
  c_sprintf(buffer, sizeof buffer, "%.16G", 1.5);
  EXPECT_STREQ(buffer, "1.5");
  double value = 0;
  EXPECT_EQ(c_scan_real("0.5", &value), 1);
  EXPECT_EQ(value, 0.5);
  EXPECT_EQ(c_scan_real("0,5", &value), 1);
  EXPECT_EQ(value, 0.0);  // the comma ends the number
  std::int32_t n = 0;
  EXPECT_EQ(c_scan_int(" 1.234", &n), 1);
  EXPECT_EQ(n, 1);
  EXPECT_EQ(c_atol("1.234"), 1);
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(c_fprintf(f, "%.2f", 2.5), 4);
  std::rewind(f);
  char read[16] = {};
  ASSERT_NE(std::fgets(read, sizeof read, f), nullptr);
  EXPECT_STREQ(read, "2.50");
  std::fclose(f);
}

TEST_F(LocaleUnderHost, RuntimeTextsKeepTheDecimalPoint) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  current_time = 1.5;
  print_named_real(0, "x", 0.25);
  double current = 0, margin = 0;
  int iterate = 0;
  integer_expression_update("e", std::floor, 2.5, &current, &margin, 0, 0, 0, 0, 0, 2, &iterate, 0,
                            0, 0);
  EXPECT_TRUE(ends_in_model_error([] { raise_model_error("stop"); }));
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"x 0.25", "Expression e became 2 ( unrounded = 2.5 )",
                   "The following error was detected at time: 1.5", "stop"}));
}

TEST(LocaleText, ScanTable) {
  struct IntCase {
    const char* text;
    int result;
    std::int32_t value;
  };
  const IntCase ints[] = {{"42", 1, 42}, {" \t-7x", 1, -7}, {"+3", 1, 3}, {"abc", 0, 99},
                          {"", EOF, 99}, {"   ", EOF, 99}, {"- 1", 0, 99}};
  for (const IntCase& c : ints) {
    std::int32_t v = 99;
    EXPECT_EQ(c_scan_int(c.text, &v), c.result) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  struct RealCase {
    const char* text;
    int result;
    double value;
  };
  const RealCase reals[] = {{"1e3", 1, 1000}, {" .5", 1, 0.5}, {"-2.25E-1", 1, -0.225},
                            {"-", 0, 99},     {".", 0, 99},    {"", EOF, 99},
                            {"\n", EOF, 99},  {"x1", 0, 99}};
  for (const RealCase& c : reals) {
    double v = 99;
    EXPECT_EQ(c_scan_real(c.text, &v), c.result) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
  EXPECT_EQ(c_scan_int(nullptr, nullptr), EOF);
  EXPECT_EQ(c_scan_real(nullptr, nullptr), EOF);
}

TEST(LocaleText, AtolAndCaseInsensitiveComparison) {
  EXPECT_EQ(c_atol("123"), 123);
  EXPECT_EQ(c_atol("  -45z"), -45);
  EXPECT_EQ(c_atol("abc"), 0);
  EXPECT_EQ(c_atol(nullptr), 0);
  // Texts beyond 32 bits saturate.
  EXPECT_EQ(c_atol("99999999999"), INT32_MAX);
  EXPECT_EQ(c_atol("-99999999999"), INT32_MIN);
  EXPECT_EQ(c_stricmp("abc", "ABC"), 0);
  EXPECT_LT(c_stricmp("abc", "ABD"), 0);
  EXPECT_GT(c_stricmp("b", "A"), 0);
  EXPECT_EQ(c_stricmp(nullptr, ""), 0);
}

TEST(LocaleText, SprintfCutsAtTheBufferSize) {
  char buffer[12];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(c_sprintf(buffer, 8, "%s-%d", "abcdef", 12345), 7);
  EXPECT_STREQ(buffer, "abcdef-");
  for (size_t i = 8; i < sizeof buffer; ++i) EXPECT_EQ(buffer[i], '#');
  EXPECT_EQ(c_sprintf(buffer, 1, "%s", "x"), 0);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(c_sprintf(buffer, 0, "%s", "x"), -1);
  EXPECT_EQ(c_sprintf(nullptr, 8, "%s", "x"), -1);
}

TEST(LocaleText, ErrorMessageFormatRaisesTheCutText) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  current_time = 0;
  static std::string long_text;
  long_text.assign(5000, 'e');
  EXPECT_TRUE(ends_in_model_error([] { error_message_format("%s", long_text.c_str()); }));
  Lines lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[1], std::string(3999, 'e'));
}

TEST(LocaleText, InfoMessageFormatAddsToTheLineBeingAssembled) {
  LiveInstance instance;
  info_message_format("value %g; ", 0.5);
  info_message_format("%d%%", 100);
  EXPECT_TRUE(LiveInstance::lines().empty());
  emit_message_line(" end");
  EXPECT_EQ(LiveInstance::lines(), (Lines{"value 0.5; 100% end"}));
}

TEST_F(LocaleUnderTurkishHost, CaseInsensitiveComparisonKeepsTheLatinLetters) {
  // The host's locale folds capital I to a dotless i.
  ASSERT_NE(std::tolower('I'), 'i');
  EXPECT_EQ(c_stricmp("i", "I"), 0);
  EXPECT_EQ(c_stricmp("TIME", "time"), 0);
}
