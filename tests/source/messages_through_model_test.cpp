// Model errors as they arise in an evaluation of the model: the report, and
// the state the error exit leaves behind; and the same seen by a host.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "support/model_arrays.h"
#include "support/model_variables.h"
#include "support/runtime_harness.h"
#include "source/evaluation_driver.h"
#include "source/matrixop.h"
#include "source/messages.h"
#include "source/runtime_constants.h"

using namespace pelvarin;

using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

using Model = ModelArrays;

FunctionStackEntry left_behind;

// After a successful initialization: scratch taken and a name pushed, then
// a period of 0 set so that the next evaluation divides by zero.
void prepare_failing_evaluation(Model& m, int logFlags) {
  ASSERT_EQ(m.call(DEMAND_INITIALIZE), 0);
  ASSERT_NE(alloc_reals(10), nullptr);
  ASSERT_NE(alloc_simple_string(5), nullptr);
  function_stack_push(&left_behind, "ModelicaInternal_print");
  m.p[3] = 0;
  m.intOptions[8] += 1;  // a parameter write, as the setters count it
  m.intOptions[INT_OPTION_LOG_FLAGS] = logFlags;
  m.time = 0.5;
  LiveInstance::clear();
}

void expect_scratch_released() {
  EXPECT_EQ(function_stack, nullptr);
  EXPECT_EQ(currentMark.place.Realbuffer, Realbuffer);
  EXPECT_EQ(stringmark, simplestring);
}

}  // namespace

// The error exit releases the scratch whether the report is shown or, with
// the quiet flag, dropped.
struct ExitCase {
  const char* name;
  int logFlags;
  Lines lines;
};

class ErrorExit : public ::testing::TestWithParam<ExitCase> {};

TEST_P(ErrorExit, ReportsTheDivisionByZeroAsTheFlagsSayAndReleasesTheScratch) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  Model m;
  prepare_failing_evaluation(m, GetParam().logFlags);
  EXPECT_EQ(m.call(DEMAND_DERIVATIVES), 1);
  EXPECT_EQ(LiveInstance::lines(), GetParam().lines);
  expect_scratch_released();
}

INSTANTIATE_TEST_SUITE_P(
    MessagesThroughModel, ErrorExit,
    ::testing::Values(
        ExitCase{"Reported", 0,
                 {"The following error was detected at time: 0.5",
                  "\nModel error - division by zero: (1.0) / (pulse1.period) = (1) / (0)\n",
                  "The stack of functions is:", "ModelicaInternal_print"}},
        ExitCase{"Quiet", LOG_FLAG_QUIET, {}}),
    [](const ::testing::TestParamInfo<ExitCase>& info) { return std::string(info.param.name); });

// A host that loads the library, sets a period of 0 and initializes, which
// fails on the division by the period; the instance is freed again.
void host_initializes_with_zero_period(fmiBoolean loggingOn) {
  host::reset_record();
  host::Library lib;
  auto instantiate = lib.get<decltype(&fmiInstantiateModel)>("Pelvarin_fmiInstantiateModel");
  auto set_real = lib.get<decltype(&fmiSetReal)>("Pelvarin_fmiSetReal");
  auto initialize = lib.get<decltype(&fmiInitialize)>("Pelvarin_fmiInitialize");
  auto free_instance = lib.get<decltype(&fmiFreeModelInstance)>("Pelvarin_fmiFreeModelInstance");
  ASSERT_TRUE(instantiate && set_real && initialize && free_instance);
  host::Instance c{instantiate("pk", PELVARIN_GUID, host::me_callbacks(), loggingOn), free_instance};
  ASSERT_NE(c, nullptr);
  const fmiValueReference period = model_vars::parameter(model_vars::P_PERIOD);
  const fmiReal zero = 0;
  EXPECT_EQ(set_real(c, &period, 1, &zero), fmiOK);
  fmiEventInfo info{};
  EXPECT_NE(initialize(c, fmiFalse, 0, &info), fmiOK);
}

TEST(MessagesThroughModel, HostSeesTheReportOfAFailedInitialization) {
  host_initializes_with_zero_period(fmiTrue);
  std::vector<std::string> runtime_lines;
  for (const host::LogRecord& r : host::record().logs) {
    if (r.message.rfind("The following", 0) == 0 || r.message.find("Model error") != std::string::npos) {
      EXPECT_EQ(r.status, fmiOK);
      EXPECT_EQ(r.instanceName, "pk");
      EXPECT_EQ(r.category, "");
      runtime_lines.push_back(r.message);
    }
  }
  EXPECT_EQ(runtime_lines,
            (Lines{"The following error was detected at time: 0",
                   "\nModel error - division by zero: (time-pulse1.startTime) / (pulse1.period) = "
                   "(0) / (0)\n"}));
}

TEST(MessagesThroughModel, HostWithLoggingOffSeesNoRuntimeText) {
  host_initializes_with_zero_period(fmiFalse);
  for (const host::LogRecord& r : host::record().logs) EXPECT_NE(r.status, fmiOK) << r.message;
}
