// Model-error reports, warnings, assertions and the function-name stack.
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "support/runtime_harness.h"
#include "source/evaluation_driver.h"
#include "source/runtime_state.h"
#include "source/messages.h"
#include "source/runtime_constants.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

double real_options[4] = {0, 1, 1e100, 0};
int int_options[11];

void use_test_options(int logFlags) {
  int_options[1] = logFlags;
  runtime_set_options(real_options, int_options);
}

}  // namespace

TEST(MessagesReport, ErrorReportsTimeAndTextAndLeavesThroughTheTrap) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  current_time = 1.5;
  run_status = 0;
  bool trapped = ends_in_model_error(
      [] { raise_model_error("\nModel error - division by zero: (a) / (b) = (1) / (0)\n"); });
  EXPECT_TRUE(trapped);
  EXPECT_EQ(run_status, 1);
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 1.5",
                   "\nModel error - division by zero: (a) / (b) = (1) / (0)\n"}));
}

TEST(MessagesReport, WarningReportsAndTheEvaluationGoesOn) {
  LiveInstance instance;
  current_time = 0;
  run_status = 0;
  double result = -1;
  bool trapped = ends_in_model_error([&result] { result = report_at_time("low level", 1); });
  EXPECT_FALSE(trapped);
  EXPECT_EQ(result, 0.0);
  EXPECT_EQ(run_status, 0);
  EXPECT_EQ(LiveInstance::lines(), (Lines{"The following was detected at time: 0", "low level"}));
}

TEST(MessagesReport, StackIsPrintedInnermostFirstAndLeftEmpty) {
  LiveInstance instance;
  current_time = 2;
  static FunctionStackEntry outer, inner;
  function_stack_push(&outer, "ModelicaInternal_outer");
  function_stack_push(&inner, "ModelicaInternal_inner");
  EXPECT_TRUE(ends_in_model_error([] { raise_model_error("failed"); }));
  EXPECT_EQ(function_stack, nullptr);
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 2", "failed",
                   "The stack of functions is:", "ModelicaInternal_inner",
                   "ModelicaInternal_outer"}));
}

TEST(MessagesReport, QuietFlagSilencesTheReportButNotTheExitAndStillEmptiesTheStack) {
  LiveInstance instance;
  use_test_options(LOG_FLAG_QUIET);
  static FunctionStackEntry entry;
  function_stack_push(&entry, "ModelicaInternal_getenv");
  EXPECT_TRUE(ends_in_model_error([] { raise_model_error("failed"); }));
  EXPECT_EQ(run_status, 1);
  EXPECT_EQ(function_stack, nullptr);
  EXPECT_TRUE(LiveInstance::lines().empty());
}

TEST(MessagesReport, WithoutLiveInstanceTextsAreDroppedAndTheExitStillHappens) {
  host::reset_record();
  runtime_set_options(nullptr, nullptr);
  run_status = 0;
  EXPECT_TRUE(ends_in_model_error([] { raise_model_error("nobody listens"); }));
  EXPECT_EQ(run_status, 1);
  EXPECT_TRUE(host::record().logs.empty());
}

TEST(MessagesReport, OutsideAnEvaluationAnErrorIsReportedAndReturns) {
  LiveInstance instance;
  error_trap_active = 0;
  current_time = 0;
  raise_model_error("no trap");
  EXPECT_EQ(run_status, 1);
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 0", "no trap"}));
}

TEST(MessagesReport, LoggingOffDropsRuntimeTexts) {
  LiveInstance instance(false);
  EXPECT_TRUE(ends_in_model_error([] { raise_model_error("hidden"); }));
  EXPECT_TRUE(LiveInstance::lines().empty());
}

// A failed assertion prints its condition, then the report of its level: an
// error (check_assertion, or level 2) ends the evaluation, a warning (level
// 1) lets it go on.
TEST(MessagesReport, FailedAssertionsPrintTheConditionThenTheReportOfTheirLevel) {
  struct Case {
    const char* what;
    int level;  // 0: check_assertion
    double time;
    const char* message;
    bool ends;
    Lines lines;
  };
  const Case cases[] = {
      {"check_assertion", 0, 0.25, "x must be positive", true,
       {"x>0", "The following error was detected at time: 0.25", "x must be positive"}},
      {"warning level", 1, 0, "x is small", false,
       {"x>0", "The following was detected at time: 0", "x is small"}},
      {"error level", 2, 0, "x is bad", true,
       {"x>0", "The following error was detected at time: 0", "x is bad"}},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    LiveInstance instance;
    run_status = 0;  // as a fresh process has it
    current_time = k.time;
    static const Case* row;  // the trap leaves the lambda: it captures nothing
    row = &k;
    EXPECT_EQ(ends_in_model_error([] {
                if (row->level == 0) {
                  check_assertion(0, "x>0", row->message);
                } else {
                  check_assertion_level(0, "x>0", row->message, row->level);
                }
              }),
              k.ends);
    EXPECT_EQ(LiveInstance::lines(), k.lines);
  }
}

TEST(MessagesReport, AssertionsThatHoldSayNothing) {
  LiveInstance instance;
  EXPECT_FALSE(ends_in_model_error([] {
    check_assertion(1, "x>0", "x must be positive");
    check_assertion_level(1, "x>0", "x must be positive", 2);
  }));
  EXPECT_TRUE(LiveInstance::lines().empty());
}

namespace {

void vformat_message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_vformat_message(format, args);
  va_end(args);
}

void vformat_error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_vformat_error(format, args);
  va_end(args);
}

}  // namespace

TEST(MessagesReport, FormattedMessageKeepsPercentSignsOfItsArguments) {
  LiveInstance instance;
  vformat_message("%s", "100% %d sure ");
  emit_message_line("done");
  EXPECT_EQ(LiveInstance::lines(), (Lines{"100% %d sure done"}));
}

TEST(MessagesReport, FormattedErrorIsRaisedWithItsText) {
  LiveInstance instance;
  current_time = 0;
  EXPECT_TRUE(ends_in_model_error([] { vformat_error("code %d: %s", 7, "50%"); }));
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 0", "code 7: 50%"}));
}

TEST(MessagesReport, FunctionStackPushAndPopRestoreTheHead) {
  FunctionStackEntry a, b;
  function_stack_clear();
  function_stack_push(&a, "a");
  function_stack_push(&b, "b");
  EXPECT_EQ(function_stack, &b);
  function_stack_pop(&b);
  EXPECT_EQ(function_stack, &a);
  function_stack_pop(&a);
  EXPECT_EQ(function_stack, nullptr);
}
