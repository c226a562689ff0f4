// The generated model through dsblock_ and declare_, as the FMI layer calls it.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "model/model_fixture.h"
#include "model/model_strings.h"
#include "model/model_work_arrays.h"
#include "source/evaluation_driver.h"
#include "source/runtime_state.h"
#include "source/messages.h"
#include "source/runtime_constants.h"

using namespace pelvarin;

namespace {

const double kNone = 1e100;

bool contains(const std::string& haystack, const std::string& needle) {
  return haystack.find(needle) != std::string::npos;
}

}  // namespace

struct InitCase {
  const char* name;
  double time;
  int param;  // index of the parameter changed from its start value, or -1
  double value;
  double w2, w3, w4, w5;
  int relation0, relation1;
  double next_event;
  int passes;  // a non-zero counter changes pre() once more in the second pass
};

class Initialization : public ::testing::TestWithParam<InitCase> {};

TEST_P(Initialization, SetsDiscreteStateAndProposesTheNextTimeEvent) {
  const InitCase& c = GetParam();
  ModelArrays m;
  if (c.param >= 0) m.p[c.param] = c.value;
  const int counter_before = m.intOptions[8];
  ASSERT_EQ(m.initialize(c.time), 0);
  EXPECT_EQ(event_iteration, c.passes);
  EXPECT_EQ(m.computedLevel, 0);
  EXPECT_EQ(m.intOptions[8], counter_before + 1);
  EXPECT_DOUBLE_EQ(m.w[2], c.w2);
  EXPECT_DOUBLE_EQ(m.w[3], c.w3);
  EXPECT_DOUBLE_EQ(m.w[4], c.w4);
  EXPECT_DOUBLE_EQ(m.w[5], c.w5);
  EXPECT_EQ(time_relations[0], c.relation0);
  EXPECT_EQ(time_relations[1], c.relation1);
  EXPECT_DOUBLE_EQ(m.realOptions[2], c.next_event);
  EXPECT_DOUBLE_EQ(m.der[0], m.w[2] - m.x[0] * m.p[0]);
  EXPECT_DOUBLE_EQ(m.x[1], m.p[8] / m.p[9]);
}

INSTANTIATE_TEST_SUITE_P(
    Model, Initialization,
    ::testing::Values(
        InitCase{"StartValues", 0.0, -1, 0, 10, 0.1, 0, 0, 1, 0, 0.1, 2},
        InitCase{"NoPulses", 0.0, 4, 0, 0, 0.1, 0, 0, 1, 0, kNone, 2},
        InitCase{"LaterStart", 0.0, 6, 0.5, 0, 0.1, -0.5, -1, 0, 0, 0.5, 3},
        InitCase{"InsideThirdPeriod", 2.05, -1, 0, 10, 0.1, 2, 2, 1, 0, 2.1, 3},
        InitCase{"AfterThirdPulse", 2.3, -1, 0, 0, 0.1, 2, 2, 1, 1, kNone, 3},
        InitCase{"TwoPeriodsOnly", 2.05, 4, 2, 0, 0.1, 2, 2, 1, 0, kNone, 3},
        InitCase{"SecondOfTwoPeriods", 1.05, 4, 2, 10, 0.1, 1, 1, 1, 0, 1.1, 3},
        InitCase{"InitialConcentration", 0.0, 8, 5, 10, 0.1, 0, 0, 1, 0, 0.1, 2}),
    [](const ::testing::TestParamInfo<InitCase>& info) { return std::string(info.param.name); });

TEST(Model, StartValuesAtTimeZeroGiveTheDocumentedDerivatives) {
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  EXPECT_DOUBLE_EQ(m.der[0], 10);
  EXPECT_DOUBLE_EQ(m.der[1], 0);
  EXPECT_DOUBLE_EQ(m.x[1], 0);
  EXPECT_LT(m.ei[0], 0);
  EXPECT_GT(m.ei[1], 0);
}

TEST(Model, DemandLevelsComputeOnlyWhatIsMissing) {
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  m.time = 0.05;
  m.x[0] = 0.3;
  m.computedLevel = 0;  // as every write of time or states does
  ASSERT_EQ(m.call(DEMAND_DERIVATIVES), 0);
  EXPECT_EQ(m.computedLevel, 2);
  EXPECT_DOUBLE_EQ(m.der[0], 10 - 3.0);

  m.der[0] = -123;  // a second demand-2 call must not recompute
  ASSERT_EQ(m.call(DEMAND_DERIVATIVES), 0);
  EXPECT_DOUBLE_EQ(m.der[0], -123);
  EXPECT_EQ(m.computedLevel, 2);

  ASSERT_EQ(m.call(DEMAND_ALL_SECTIONS), 0);
  EXPECT_DOUBLE_EQ(m.der[0], 7.0);
  EXPECT_EQ(m.computedLevel, 4);
  m.der[0] = -123;  // demand 4 recomputes even at level 4
  ASSERT_EQ(m.call(DEMAND_ALL_SECTIONS), 0);
  EXPECT_DOUBLE_EQ(m.der[0], 7.0);

  ASSERT_EQ(m.call(DEMAND_OUTPUTS), 0);
  EXPECT_EQ(m.computedLevel, 1) << "a normal end leaves the call's demand, also when lower";
}

TEST(Model, ParameterChangeTurnsTheNextCallIntoAnEventIteration) {
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  ASSERT_EQ(m.call(DEMAND_DERIVATIVES), 0);
  m.p[2] = 20;  // pulse width 20 %
  m.intOptions[8] += 1;
  ASSERT_EQ(m.call(DEMAND_DERIVATIVES), 0);
  EXPECT_DOUBLE_EQ(m.w[3], 0.2);
  EXPECT_DOUBLE_EQ(m.realOptions[2], 0.2) << "the event iteration proposes the new pulse end";
  EXPECT_EQ(m.intOptions[9], 1);
  EXPECT_EQ(m.computedLevel, 2);
}

TEST(Model, PeriodStartInEventModeRaisesTheCounterAndProposesThePulseEnd) {
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  m.time = 1.0 + 1e-9;  // past the crossing v = n + 1 + 1e-10
  m.computedLevel = 0;
  ASSERT_EQ(m.call(DEMAND_DERIVATIVES), 0);
  EXPECT_LT(m.ei[1], 0) << "the indicator has changed sign";
  EXPECT_DOUBLE_EQ(m.w[5], 0) << "outside event mode the counter stays";

  ASSERT_EQ(m.call(DEMAND_EVENT_UPDATE), 0);
  EXPECT_DOUBLE_EQ(m.w[5], 1);
  EXPECT_DOUBLE_EQ(m.w[4], m.time);
  EXPECT_DOUBLE_EQ(m.realOptions[2], m.time + 0.1);
  EXPECT_DOUBLE_EQ(m.w[2], 10) << "the new pulse is on";
  EXPECT_LT(m.ei[0], 0);
  EXPECT_GT(m.ei[1], 0);

  m.time = m.realOptions[2];  // the pulse end
  ASSERT_EQ(m.call(DEMAND_EVENT_UPDATE), 0);
  EXPECT_DOUBLE_EQ(m.w[2], 0);
  EXPECT_DOUBLE_EQ(m.realOptions[2], kNone);
  EXPECT_DOUBLE_EQ(m.w[5], 1) << "the counter fires once per period";
}

TEST(Model, ExactPeriodBoundaryDoesNotYetCross) {
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  m.time = 1.0;
  ASSERT_EQ(m.call(DEMAND_ALL_SECTIONS), 0);
  EXPECT_NEAR(m.ei[1], 1e-10, 1e-16);
  EXPECT_GT(m.ei[1], 0);
}

TEST(Model, EventModeCallWithoutProposalLeavesNoTimeEvent) {
  ModelArrays m;
  m.p[4] = 0;
  ASSERT_EQ(m.initialize(0.0), 0);
  m.realOptions[2] = 42;
  ASSERT_EQ(m.call(DEMAND_EVENT_UPDATE), 0);
  EXPECT_DOUBLE_EQ(m.realOptions[2], kNone);
}

TEST(Model, CallBeforeAnyInitializationFailsWithTheRestartLine) {
  LiveInstance live;
  ModelArrays m;
  m.time = 0.25;
  EXPECT_EQ(m.call(DEMAND_DERIVATIVES), 1);
  EXPECT_EQ(run_status, 1);
  const auto lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 3u) << LiveInstance::joined();
  EXPECT_EQ(lines[0], "");
  EXPECT_EQ(lines[1], "ERROR: Finding consistent restart conditions failed at time:  0.25");
  EXPECT_EQ(lines[2], "");
}

// A NaN counter changes in every pass, so the iteration never converges.
TEST(Model, NonConvergingIterationRuns26PassesAndLogsTheLastOne) {
  LiveInstance live;
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  host::reset_record();
  m.w[5] = std::numeric_limits<double>::quiet_NaN();
  m.computedLevel = 3;
  EXPECT_EQ(m.call(DEMAND_EVENT_UPDATE), 1);
  EXPECT_EQ(event_iteration, 26);
  EXPECT_EQ(m.computedLevel, 3) << "a failed iteration does not reach the demand";
  const auto lines = LiveInstance::lines();
  const std::string all = LiveInstance::joined();
  EXPECT_TRUE(contains(all, "\nOn the final iteration for restart conditions we get:\n")) << all;
  EXPECT_TRUE(contains(all, "  Variable pulse1.count = nan at time 0")) << all;
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines[lines.size() - 3], "");
  EXPECT_EQ(lines[lines.size() - 2],
            "ERROR: Finding consistent restart conditions failed at time:  0");
  EXPECT_EQ(lines.back(), "");
}

// The log flags of an event iteration, from a completed initialization: the
// quiet flag drops the notice of a failed iteration but not the failure; the
// event-logging flag shows the passes and the event time.
struct LogFlagCase {
  const char* name;
  int logFlags;
  bool nanCounter;  // a NaN counter: the iteration never converges
  double time;  // 0: as the initialization left it
  int result;
  std::vector<std::string> shown, hidden;
};

class LogFlags : public ::testing::TestWithParam<LogFlagCase> {};

TEST_P(LogFlags, DecideWhatAnEventIterationShows) {
  const LogFlagCase& c = GetParam();
  LiveInstance live;
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  host::reset_record();
  if (c.nanCounter) m.w[5] = std::numeric_limits<double>::quiet_NaN();
  m.intOptions[INT_OPTION_LOG_FLAGS] = c.logFlags;
  if (c.time != 0.0) m.time = c.time;
  EXPECT_EQ(m.call(DEMAND_EVENT_UPDATE), c.result);
  const std::string all = LiveInstance::joined();
  for (const std::string& text : c.shown) EXPECT_TRUE(contains(all, text)) << text << "\n" << all;
  for (const std::string& text : c.hidden) EXPECT_FALSE(contains(all, text)) << text << "\n" << all;
}

INSTANTIATE_TEST_SUITE_P(
    Model, LogFlags,
    ::testing::Values(
        LogFlagCase{"QuietDropsTheNoticeButNotTheFailure", LOG_FLAG_QUIET, true, 0.0, 1,
                    {"ERROR: Finding consistent restart conditions failed at time:"},
                    {"On the final iteration", "Variable pulse1.count"}},
        LogFlagCase{"EventLoggingShowsPassesAndTheEventTime", LOG_FLAG_EVENTS, false, 1.5, 0,
                    {"Iterating to find consistent restart conditions.\n",
                     "  Variable pulse1.count = 1 at time 1.5\n", "      during event at Time :  1.5\n"},
                    {}}),
    [](const ::testing::TestParamInfo<LogFlagCase>& info) { return std::string(info.param.name); });

TEST(Model, NanStartTimeEndsInTheIterationFailure) {
  LiveInstance live;
  ModelArrays m;
  EXPECT_EQ(m.initialize(std::numeric_limits<double>::quiet_NaN()), 1);
  EXPECT_TRUE(contains(LiveInstance::joined(), "ERROR: Finding consistent restart conditions failed"))
      << LiveInstance::joined();
}

struct DivisionCase {
  const char* name;
  int param;
  bool during_initialization;
  const char* report;
};

class DivisionByZero : public ::testing::TestWithParam<DivisionCase> {};

TEST_P(DivisionByZero, ReportsTheOperandsAndFailsTheCall) {
  const DivisionCase& c = GetParam();
  LiveInstance live;
  ModelArrays m;
  if (!c.during_initialization) {
    ASSERT_EQ(m.initialize(0.0), 0);
  }
  host::reset_record();
  m.p[c.param] = 0;
  m.computedLevel = 0;
  // An entry pushed by a routine whose frame the error abandons.
  FunctionStackEntry abandoned;
  function_stack_push(&abandoned, "abandoned_routine");
  const int status = c.during_initialization ? m.initialize(0.0) : m.call(DEMAND_DERIVATIVES);
  EXPECT_EQ(status, 1);
  EXPECT_EQ(function_stack, nullptr) << "the trap leaves no entry of an abandoned frame";
  EXPECT_EQ(error_trap_active, 0);
  const auto lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 4u) << LiveInstance::joined();
  EXPECT_EQ(lines[0], "The following error was detected at time: 0");
  EXPECT_EQ(lines[1], std::string("\n") + c.report + "\n");
  EXPECT_EQ(lines[2], "The stack of functions is:");
  EXPECT_EQ(lines[3], "abandoned_routine");
}

INSTANTIATE_TEST_SUITE_P(
    Model, DivisionByZero,
    ::testing::Values(
        DivisionCase{"PeriodAtInitialization", 3, true,
                     "Model error - division by zero: (time-pulse1.startTime) / (pulse1.period) = (0) / (0)"},
        DivisionCase{"PeriodLater", 3, false,
                     "Model error - division by zero: (1.0) / (pulse1.period) = (1) / (0)"},
        DivisionCase{"VolumeAtInitialization", 9, true,
                     "Model error - division by zero: (kompartment1.C0) / (kompartment1.Vd) = (0) / (0)"},
        DivisionCase{"VolumeLater", 9, false,
                     "Model error - division by zero: (kompartment1.C) / (kompartment1.Vd) = (0) / (0)"}),
    [](const ::testing::TestParamInfo<DivisionCase>& info) { return std::string(info.param.name); });

TEST(Model, ModelRecoversAfterADivisionByZero) {
  ModelArrays m;
  m.p[9] = 0;
  EXPECT_EQ(m.initialize(0.0), 1);
  m.p[9] = 10;
  EXPECT_EQ(m.initialize(0.0), 0);
  EXPECT_DOUBLE_EQ(m.der[0], 10);
}

TEST(Model, DeclareWritesOnlyTheArraysItIsGiven) {
  double x[2] = {7, 7};
  double p[10];
  for (double& v : p) v = 7;
  int qi = 5;
  declare_(nullptr, p, nullptr, &qi);
  EXPECT_EQ(x[0], 7);
  const double start[10] = {10, 10, 10, 1, -1, 0, 0, 10, 0, 10};
  for (int i = 0; i < 10; ++i) EXPECT_EQ(p[i], start[i]) << i;
  for (double& v : p) v = 7;
  declare_(x, nullptr, nullptr, &qi);
  EXPECT_EQ(x[0], 0);
  EXPECT_EQ(x[1], 0);
  EXPECT_EQ(p[0], 7);
  EXPECT_EQ(qi, 5) << "declare_ never touches QiErr";
}

TEST(Model, InitializationReplacesTheConcentrationStartButKeepsTheDoseState) {
  ModelArrays m;
  m.x[0] = 2.5;
  m.x[1] = 99;
  m.p[8] = 3;
  ASSERT_EQ(m.initialize(0.0), 0);
  EXPECT_DOUBLE_EQ(m.x[0], 2.5);
  EXPECT_DOUBLE_EQ(m.x[1], 0.3);
}

TEST(Model, ResetWorkArraysClearsTheModelState) {
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.5), 0);
  model_reset_work_arrays();
  EXPECT_EQ(time_relations[0], 0);
  EXPECT_EQ(integer_margins[0], 0);
  EXPECT_EQ(when_edge_committed[0], 0);
  EXPECT_EQ(relation_evaluated[1], 0);
}

TEST(Model, Dimensions) {
  int d[11];
  model_dimensions(&d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6], &d[7], &d[8]);
  const int expected[9] = {2, 0, 0, 0, 7, 10, 1, 0, 0};
  for (int i = 0; i < 9; ++i) EXPECT_EQ(d[i], expected[i]) << i;
  model_dimensions_for_driver(&d[0], &d[1], &d[2], &d[3], &d[4], &d[5], &d[6], &d[7], &d[8], &d[9],
                              &d[10]);
  const int driver[11] = {2, 0, 0, 0, 7, 10, 0, 1, 1, 0, 0};
  for (int i = 0; i < 11; ++i) EXPECT_EQ(d[i], driver[i]) << i;
}

TEST(Model, FloorToIntIsDefinedForEveryDouble) {
  const struct {
    double in;
    int out;
  } cases[] = {{2.7, 2},
               {-2.3, -3},
               {0.0, 0},
               {2147483647.0, INT_MAX},
               {2147483647.5, INT_MAX},
               {-2147483648.0, INT_MIN},
               {2147483648.0, INT_MIN},
               {-1e300, INT_MIN},
               {std::numeric_limits<double>::infinity(), INT_MIN},
               {std::numeric_limits<double>::quiet_NaN(), INT_MIN}};
  for (const auto& c : cases) EXPECT_EQ(floor_to_int(c.in), c.out) << c.in;
}

TEST(Model, StringSlotStoresAtMost499Characters) {
  LiveInstance live;
  const std::string long_text(600, 'a');
  set_string_variable(long_text.c_str(), 0);
  EXPECT_EQ(std::string(get_string_variable(0)), std::string(499, 'a'));
  auto lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 2u) << LiveInstance::joined();
  EXPECT_EQ(lines[0], "Truncated string variable to");
  EXPECT_EQ(lines[1], std::string(499, 'a'));

  host::reset_record();
  set_string_variable("short", 1);
  set_string_variable("short", -1);
  lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], "Internal error in String handling.");
  EXPECT_EQ(std::string(get_string_variable(0)), std::string(499, 'a'));
  EXPECT_STREQ(get_string_variable(1), "");

  set_string_variable("short", 0);
  EXPECT_STREQ(get_string_variable(0), "short");
}

TEST(Model, LogVariableChange) {
  LiveInstance live;
  EXPECT_EQ(log_variable_change("pulse1.count", 3, 2.5), 1.0);
  ASSERT_EQ(LiveInstance::lines().size(), 1u);
  EXPECT_EQ(LiveInstance::lines()[0], "  Variable pulse1.count = 3 at time 2.5");
}

TEST(Model, StringArrayIsStoredOnlyWhenItFitsTheSlots) {
  LiveInstance live;
  std::int32_t one[1] = {1};
  std::int32_t two[1] = {2};
  const char* texts[2] = {"first", "second"};
  const struct {
    StringArray array;
    int start;
    const char* stored;
    const char* line;
  } cases[] = {
      {{1, one, texts}, 0, "first", nullptr},
      {{1, two, texts}, 0, "first", "Internal error in String array handling."},
      {{1, one, texts + 1}, 1, "first", "Internal error in String array handling."},
      {{1, one, texts + 1}, -1, "first", "Internal error in String array handling."},
      {{0, nullptr, texts + 1}, 0, "second", nullptr},
  };
  for (const auto& c : cases) {
    LiveInstance::clear();
    set_string_array(c.array, c.start);
    EXPECT_STREQ(get_string_variable(0), c.stored);
    const auto lines = LiveInstance::lines();
    if (c.line) {
      ASSERT_EQ(lines.size(), 1u) << LiveInstance::joined();
      EXPECT_EQ(lines[0], c.line);
    } else {
      EXPECT_TRUE(lines.empty()) << LiveInstance::joined();
    }
  }
}

TEST(Model, RuntimeListsResetFreesTheBlocksOnceAndEmptiesBothLists) {
  RuntimeContext* c = active_runtime_context();
  EXPECT_EQ(c->lastBlockA, 0);
  EXPECT_EQ(c->lastBlockB, 0);
  EXPECT_EQ(runtime_lists_reset(), -1) << "the lists as loaded hold NULL entries";
  EXPECT_EQ(c->lastBlockA, -1);
  EXPECT_EQ(c->lastBlockB, -1);

  c->blockListA[0].block = std::malloc(16);
  c->blockListA[1].block = std::malloc(16);
  c->lastBlockA = 1;
  EXPECT_EQ(runtime_lists_reset(), -1);
  EXPECT_EQ(c->blockListA[0].block, nullptr);
  EXPECT_EQ(c->blockListA[1].block, nullptr);
  EXPECT_EQ(c->lastBlockA, -1);
  c->lastBlockA = 1;
  EXPECT_EQ(runtime_lists_reset(), -1) << "a second reset frees nothing twice";
}

TEST(Model, TerminateSimulationReportsOnce) {
  LiveInstance live;
  run_status = 0;
  terminate_simulation("done here");
  terminate_simulation("again");
  EXPECT_EQ(run_status, QIERR_TERMINATE);
  EXPECT_EQ(LiveInstance::lines(),
            (std::vector<std::string>{"Simulation successfully terminated", "done here"}));
  run_status = 0;
}

// Nothing in this system starts a continuation; a caller that hands in an
// error status with the homotopy operator marked as used starts one.
TEST(Model, HomotopyContinuationRunsToTheActualProblemAndEnds) {
  LiveInstance live;
  ModelArrays m;
  homotopy_used = 1;
  int demand = DEMAND_INITIALIZE;
  m.QiErr = 1;
  dsblock_(&demand, &m.computedLevel, &m.time, m.x, nullptr, m.u, m.p, nullptr, nullptr, m.der,
           m.y, m.w, m.ei, m.realOptions, m.intOptions, nullptr, &m.QiErr);
  EXPECT_EQ(m.QiErr, 0);
  EXPECT_EQ(homotopy_active, 0);
  EXPECT_EQ(homotopy_lambda, 1.0);
  EXPECT_DOUBLE_EQ(m.der[0], 10);
  const auto lines = LiveInstance::lines();
  ASSERT_EQ(lines.size(), 1u) << LiveInstance::joined();
  EXPECT_EQ(lines[0], "Trying to solve non-linear system using global homotopy-method.");
  homotopy_used = 0;
}

TEST(Model, TimeRelationCountsAsReachedFromARelativeDistanceOf4em14) {
  // The pulse end 0.1 is reached from 0.1 - 0.1 * 4e-14 on.
  struct Case {
    const char* name;
    double below;  // distance of the time below the threshold, in ulps or absolute
    bool ulps;
    bool reached;
  } cases[] = {
      {"at the threshold", 0, true, true},
      {"one ulp below", 1, true, true},
      {"1e-14 below", 1e-14, false, false},
  };
  for (const Case& c : cases) {
    ModelArrays m;
    ASSERT_EQ(m.initialize(0.0), 0);
    const double threshold = m.w[4] + m.w[3];
    ASSERT_DOUBLE_EQ(threshold, 0.1);
    m.time = c.ulps ? threshold : threshold - c.below;
    if (c.ulps)
      for (int i = 0; i < c.below; ++i) m.time = std::nextafter(m.time, 0.0);
    ASSERT_EQ(m.call(DEMAND_EVENT_UPDATE), 0) << c.name;
    EXPECT_EQ(time_relations[1], c.reached ? 1 : 0) << c.name;
    EXPECT_DOUBLE_EQ(m.w[2], c.reached ? 0 : 10) << c.name;
    EXPECT_EQ(m.realOptions[2], c.reached ? kNone : threshold) << c.name;
  }
}

TEST(Model, ANewInitializationClearsTheLogFlagsOfAFailedIteration) {
  LiveInstance live;
  ModelArrays m;
  ASSERT_EQ(m.initialize(0.0), 0);
  m.w[5] = std::numeric_limits<double>::quiet_NaN();
  ASSERT_EQ(m.call(DEMAND_EVENT_UPDATE), 1);
  ASSERT_NE(m.intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_EVENTS, 0) << "the failed iteration switched logging on";
  host::reset_record();
  ASSERT_EQ(m.initialize(0.0), 0);
  EXPECT_EQ(m.intOptions[INT_OPTION_LOG_FLAGS], 0);
  EXPECT_TRUE(LiveInstance::lines().empty()) << LiveInstance::joined();
}

TEST(Model, ParameterChangeCounterWrapsAndInitializationAlwaysCountsAsAChange) {
  {
    ModelArrays m;
    m.intOptions[8] = INT_MAX;
    ASSERT_EQ(m.initialize(0.0), 0);
    EXPECT_EQ(m.intOptions[8], INT_MIN);
  }
  // The counter wraps to 0, the value the initialization starts from: the
  // pulse width must be computed all the same, or the first pulse is lost.
  ModelArrays m;
  m.intOptions[8] = -1;
  ASSERT_EQ(m.initialize(0.0), 0);
  EXPECT_EQ(m.intOptions[8], 0);
  EXPECT_DOUBLE_EQ(m.w[3], 0.1);
  EXPECT_DOUBLE_EQ(m.w[2], 10);
  EXPECT_DOUBLE_EQ(m.realOptions[2], 0.1);
}

namespace {

int destroyed = 0;
void countDestruction(void*) { ++destroyed; }

}  // namespace

TEST(Model, ResetWorkArraysClearsEveryArray) {
  struct Doubles {
    const char* name;
    double* values;
    int count;
  } doubles[] = {
      {"saved_crossings", saved_crossings, MODEL_CROSSINGS},
      {"integer_arguments", integer_arguments, 2},
      {"integer_values", integer_values, 2},
      {"integer_margins", integer_margins, 2},
      {"model_temporaries", model_temporaries, 2},
      {"pre_discrete", pre_discrete, 1},
      {"sample_counters", sample_counters, MODEL_SAMPLE_SLOTS},
      {"sample_next", sample_next, MODEL_SAMPLE_SLOTS},
      {"crossing_now", crossing_now, MODEL_CROSSINGS},
      {"crossing_prev", crossing_prev, MODEL_CROSSINGS},
      {"crossing_prev2", crossing_prev2, MODEL_CROSSINGS},
      {"crossing_prev3", crossing_prev3, MODEL_CROSSINGS},
  };
  struct Ints {
    const char* name;
    int* values;
    int count;
  } ints[] = {
      {"relation_attributes", relation_attributes, MODEL_NREL + 1},
      {"relation_evaluated", relation_evaluated, MODEL_NREL + 1},
      {"time_relations", time_relations, 3},
      {"when_edge_committed", when_edge_committed, 1},
      {"when_edge_current", when_edge_current, 1},
      {"sample_started", sample_started, MODEL_SAMPLE_SLOTS},
      {"sample_evaluated", sample_evaluated, MODEL_SAMPLE_SLOTS},
  };
  for (const Doubles& a : doubles)
    for (int i = 0; i < a.count; ++i) a.values[i] = 1.5;
  for (const Ints& a : ints)
    for (int i = 0; i < a.count; ++i) a.values[i] = 3;
  static int object = 0;
  external_objects[0] = {&object, countDestruction};

  model_reset_work_arrays();
  for (const Doubles& a : doubles)
    for (int i = 0; i < a.count; ++i) EXPECT_EQ(a.values[i], 0.0) << a.name << "[" << i << "]";
  for (const Ints& a : ints)
    for (int i = 0; i < a.count; ++i) EXPECT_EQ(a.values[i], 0) << a.name << "[" << i << "]";
  EXPECT_EQ(destroyed, 1);
  EXPECT_EQ(external_objects[0].object, nullptr);
  EXPECT_EQ(external_objects[0].destructor, nullptr);
  model_reset_work_arrays();
  EXPECT_EQ(destroyed, 1) << "an object is destroyed once";
}
