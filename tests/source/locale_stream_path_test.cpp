// The stream message path: callback, streams, line prefixes, banners and
// the bounded single-line form.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "source/c_locale_text.h"
#include "source/evaluation_driver.h"
#include "source/runtime_state.h"

using namespace pelvarin;

using testing::internal::CaptureStderr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStderr;
using testing::internal::GetCapturedStdout;

namespace {

std::string contents(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string out;
  int c;
  while ((c = std::fgetc(f)) != EOF) out.push_back(static_cast<char>(c));
  std::rewind(f);
  return out;
}

// A fresh file for one stream; closed with the test's process.
FILE* scratch_file() {
  FILE* f = std::tmpfile();
  EXPECT_NE(f, nullptr);
  return f;
}

std::vector<std::pair<int, std::string>> callback_calls;
void record_callback(int type, const char* text) { callback_calls.emplace_back(type, text); }

}  // namespace

TEST(LocaleStreamPath, LoadStateWritesNothingAnywhere) {
  EXPECT_STREQ(runtime_context.messagePrefix, "?????");
  CaptureStdout();
  CaptureStderr();
  print_runtime_message("plain");
  EXPECT_EQ(write_message("plain", 5), 0);
  emit_message(MESSAGE_TYPE_WARNING, "warn");
  emit_message(MESSAGE_TYPE_ERROR, "err");
  const int type = MESSAGE_TYPE_ERROR;
  emit_message_n(&type, "abc", 3);
  output_message(MESSAGE_TYPE_INFO, "x");
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(GetCapturedStderr(), "");
}

TEST(LocaleStreamPath, SingleLineLengthsTable) {
  const std::string long_text(1500, 'L');
  struct Case {
    const char* what;
    std::string text;
    int len;
    std::string expected;
  };
  const Case cases[] = {
      {"exactly the limit", long_text, 998, std::string(998, 'L') + "\n"},
      {"beyond the limit", long_text, 1500, std::string(998, 'L') + "\n"},
      {"one below", long_text, 997, std::string(997, 'L') + "\n"},
      {"empty", "", 0, "\n"},
      {"negative length", long_text, -5, "\n"},
      {"text shorter than len ends at its terminator", "abc", 10, "abc"},
  };
  for (const Case& c : cases) {
    FILE* f = scratch_file();
    runtime_context.messageStream = f;
    CaptureStdout();
    const int type = MESSAGE_TYPE_INFO;
    emit_message_n(&type, c.text.c_str(), c.len);
    std::string echoed = GetCapturedStdout();
    EXPECT_EQ(contents(f), c.expected) << c.what;
    // A message stream other than the standard output is echoed there.
    EXPECT_EQ(echoed, c.expected) << c.what;
    runtime_context.messageStream = nullptr;
    std::fclose(f);
  }
}

TEST(LocaleStreamPath, PrintRuntimeMessageWritesTheTextAndALineFeed) {
  FILE* f = scratch_file();
  runtime_context.messageStream = f;
  CaptureStdout();
  print_runtime_message("hello");
  GetCapturedStdout();
  EXPECT_EQ(contents(f), "hello\n");
  runtime_context.messageStream = nullptr;
  std::fclose(f);
}

TEST(LocaleStreamPath, StandardOutputAsStreamIsWrittenOnce) {
  runtime_context.messageStream = stdout;
  CaptureStdout();
  print_runtime_message("once");
  EXPECT_EQ(GetCapturedStdout(), "once\n");
  runtime_context.messageStream = nullptr;
}

TEST(LocaleStreamPath, PrefixedLinesAndNoEcho) {
  FILE* f = scratch_file();
  runtime_context.messageStream = f;
  runtime_context.prefixLines = 1;
  runtime_context.messagePrefix = "P";
  CaptureStdout();
  output_message(MESSAGE_TYPE_INFO, "a\nb\n");
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(contents(f), "P | a\nP | b\n");
  runtime_context.messageStream = nullptr;
  std::fclose(f);
}

TEST(LocaleStreamPath, WarningAndErrorBannersGoToTheErrorStream) {
  FILE* f = scratch_file();
  runtime_context.errorStream = f;
  CaptureStderr();
  emit_message(MESSAGE_TYPE_WARNING, "careful");
  emit_message(MESSAGE_TYPE_ERROR, "broken");
  std::string echoed = GetCapturedStderr();
  const std::string expected =
      "\n... Warning message from ?????\ncareful\n\n... Error message from ?????\nbroken\n";
  EXPECT_EQ(contents(f), expected);
  EXPECT_EQ(echoed, expected);
  runtime_context.errorStream = nullptr;
  std::fclose(f);
}

TEST(LocaleStreamPath, LongPrefixIsCutInTheBanner) {
  runtime_context.errorStream = stderr;
  static const std::string prefix(600, 'p');
  runtime_context.messagePrefix = prefix.c_str();
  CaptureStderr();
  emit_message(MESSAGE_TYPE_WARNING, "w");
  std::string written = GetCapturedStderr();
  const std::string banner_start = "\n... Warning message from ";
  ASSERT_EQ(written.size(), 499u + 2u);  // cut banner, text, closing line feed
  EXPECT_EQ(written.substr(0, banner_start.size()), banner_start);
  runtime_context.errorStream = nullptr;
}

TEST(LocaleStreamPath, CallbackReceivesTheTextUnchangedAndAloneWithPrintRuntimeMessage) {
  FILE* f = scratch_file();
  runtime_context.messageStream = f;
  runtime_context.messageCallback = record_callback;
  const std::string text(2000, 'c');
  print_runtime_message(text.c_str());
  ASSERT_EQ(callback_calls.size(), 1u);
  EXPECT_EQ(callback_calls[0].first, MESSAGE_TYPE_INFO);
  EXPECT_EQ(callback_calls[0].second, text);
  EXPECT_EQ(contents(f), "");
  runtime_context.messageCallback = nullptr;
  runtime_context.messageStream = nullptr;
  std::fclose(f);
}

TEST(LocaleStreamPath, CallbackSeesEveryPieceBeforeTheStreams) {
  FILE* f = scratch_file();
  runtime_context.errorStream = f;
  runtime_context.messageCallback = record_callback;
  CaptureStderr();
  emit_message(MESSAGE_TYPE_ERROR, "bad");
  GetCapturedStderr();
  ASSERT_EQ(callback_calls.size(), 3u);
  EXPECT_EQ(callback_calls[0], std::make_pair(2, std::string("\n... Error message from ?????\n")));
  EXPECT_EQ(callback_calls[1], std::make_pair(2, std::string("bad")));
  EXPECT_EQ(callback_calls[2], std::make_pair(2, std::string("\n")));
  EXPECT_EQ(contents(f), "\n... Error message from ?????\nbad\n");
  runtime_context.messageCallback = nullptr;
  runtime_context.errorStream = nullptr;
  std::fclose(f);
}
