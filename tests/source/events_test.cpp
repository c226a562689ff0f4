// Time-event proposals, the integer() event function, sample operators and
// event anticipation.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "model/model_work_arrays.h"
#include "support/runtime_harness.h"
#include "source/evaluation_driver.h"
#include "source/runtime_state.h"
#include "source/event_services.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

double real_options[4];
int int_options[11];

void use_options(double nextEvent, double timeScale) {
  real_options[0] = 0;
  real_options[1] = 1.0;
  real_options[2] = nextEvent;
  real_options[3] = timeScale;
  runtime_set_options(real_options, int_options);
}

double ulps_after(double x, int k) {
  for (int i = 0; i < k; ++i) x = std::nextafter(x, 1e300);
  return x;
}

}  // namespace

TEST(Events, RegisterTimeEventProposalsTable) {
  const double eps01 = 0.1 * 6 * 0x1p-52;
  struct Case {
    const char* what;
    double timeScale;
    std::vector<double> proposals;
    double expected;
  };
  const Case cases[] = {
      {"first proposal", 0, {0.1}, 0.1},
      {"later proposal ignored", 0, {0.1, 0.3}, 0.1},
      {"earlier proposal wins", 0, {0.1, 0.3, 0.05}, 0.05},
      {"same time changes nothing", 0, {0.1, 0.1}, 0.1},
      {"within eps after moves up", 0, {0.1, 0.1 + 0.5 * eps01}, 0.1 + 0.5 * eps01},
      {"beyond eps after ignored", 0, {0.1, ulps_after(0.1, 12)}, 0.1},
      {"time scale widens eps", 1.0, {0.1, ulps_after(0.1, 12)}, ulps_after(0.1, 12)},
      {"slightly earlier within eps keeps", 0, {0.1, 0.1 - 0.25 * eps01}, 0.1},
      {"NaN ignored", 0, {std::nan(""), 0.2}, 0.2},
  };
  for (const Case& c : cases) {
    use_options(1e100, c.timeScale);
    for (double t : c.proposals) register_time_event(t);
    EXPECT_EQ(real_options[2], c.expected) << c.what;
  }
}

TEST(Events, RegisterTimeEventWithoutOptionsDoesNothing) {
  runtime_set_options(nullptr, nullptr);
  register_time_event(0.5);
  SUCCEED();
}

TEST(Events, IntegerExpressionUpdateTable) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    double current;
    double value;
    int init;
    int logFlags;
    double stored;
    int iterate;
    bool logged;
  };
  const Case cases[] = {
      {"unchanged", 2, 2.7, 0, 2, 2, 0, false},
      {"changed in event iteration", 2, 3.5, 0, 0, 3, 1, false},
      {"changed and logged", 2, 3.5, 0, 2, 3, 1, true},
      {"changed at initialization", 0, 3.5, 1, 2, 3, 0, false},
      {"initialization logged with bit 4", 0, 3.5, 1, 6, 3, 0, true},
      {"bit 4 alone logs nothing", 0, 3.5, 0, 4, 3, 1, false},
      {"NaN counts as a change", nan, 3.5, 0, 0, 3, 1, false},
      {"falling value", 3, -0.5, 0, 0, -1, 1, false},
  };
  for (const Case& c : cases) {
    LiveInstance::clear();
    double current = c.current;
    double margin = 0;
    int iterate = 0;
    integer_expression_update("e", std::floor, c.value, &current, &margin, 1e-10, 0, 1, 0, c.init,
                              c.logFlags, &iterate, 1, 0.0001, 0);
    EXPECT_EQ(current, c.stored) << c.what;
    EXPECT_EQ(margin, 1e-10) << c.what;
    EXPECT_EQ(iterate, c.iterate) << c.what;
    Lines expected;
    if (c.logged) expected.push_back("Expression e became 3 ( unrounded = 3.5 )");
    EXPECT_EQ(LiveInstance::lines(), expected) << c.what;
  }
}

TEST(Events, IntegerExpressionLogCutsLongTexts) {
  LiveInstance instance;
  const std::string text(1000, 'x');
  double current = 0, margin = 0;
  int iterate = 0;
  integer_expression_update(text.c_str(), std::floor, 1.25, &current, &margin, 0, 0, 0, 0, 0, 2,
                            &iterate, 0, 0, 0);
  EXPECT_EQ(LiveInstance::lines(),
            Lines{"Expression " + std::string(400, 'x') + " became 1 ( unrounded = 1.25 )"});
}

TEST(Events, CeilPeriods) {
  EXPECT_EQ(ceil_periods(2.5, 0, 1), 3);
  EXPECT_EQ(ceil_periods(2, 0, 1), 2);
  EXPECT_EQ(ceil_periods(0.5, 1, 0.5), -1);
  // By a zero interval: the quotients IEEE arithmetic gives.
  EXPECT_EQ(ceil_periods(2, 1, 0.0), HUGE_VAL);
  EXPECT_EQ(ceil_periods(0.5, 1, 0.0), -HUGE_VAL);
  EXPECT_EQ(ceil_periods(2, 1, -0.0), -HUGE_VAL);
  EXPECT_TRUE(std::isnan(ceil_periods(1, 1, 0.0)));
  EXPECT_TRUE(std::isnan(ceil_periods(NAN, 1, 0.0)));
}

// One slot of each sample operator, from the state a fresh process has
// (with the presets of the row), called once.
TEST(Events, SampleOperatorsFireAndProposeTheNextInstantAsTheirArgumentsSay) {
  struct Case {
    const char* what;
    bool checked;  // sample_event_checked, else sample_event
    double counter, next;
    int evaluated;  // presets of slot 0
    double t, start, interval;
    int init, active;
    int fired;
    std::optional<double> counterAfter, nextAfter;
    std::optional<int> evaluatedAfter;
    double proposal;                 // the next time event proposed
    std::optional<double> timeScale;  // as the call leaves it
  };
  const std::nullopt_t any = std::nullopt;
  const Case cases[] = {
      // what, checked, presets (counter, next, evaluated), t, start, interval, init, active,
      // fired, counter, next, evaluated after, proposal, time scale after
      {"at its start fires and proposes the next instant", false, 7, 0, 0, 2.0, 2.0, 1.0, 1, 1,
       1, 1.0, 1.0, 1, 3.0, 2.0 /* raised to |start| */},
      {"between instants does not fire", false, 0, 0, 0, 2.5, 0.0, 1.0, 1, 1,
       0, 3.0, any, any, 3.0, any},
      {"inactive only starts", false, 0, 0, 0, 2.5, 0.0, 1.0, 1, 0,
       0, 3.0, any, 0, 1e100, any},
      {"checked advances next and keeps the count", true, 0, 0, 0, 2.0, 2.0, 1.0, 1, 1,
       1, 0.0, 1.0, any, 3.0, any},
      {"checked with init two returns at once", true, 5, 9, 0, 2.0, 2.0, 1.0, 2, 1,
       0, 5.0, 9.0, any, 1e100, any},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    use_options(1e100, 0);
    sample_counters[0] = k.counter;
    sample_next[0] = k.next;
    sample_started[0] = 0;
    sample_evaluated[0] = k.evaluated;
    const int fired = k.checked ? sample_event_checked(k.t, k.start, k.interval, 0, k.init, k.active)
                                : sample_event(k.t, k.start, k.interval, 0, k.init, k.active);
    EXPECT_EQ(fired, k.fired);
    if (k.counterAfter) {
      EXPECT_EQ(sample_counters[0], *k.counterAfter);
    }
    if (k.nextAfter) {
      EXPECT_EQ(sample_next[0], *k.nextAfter);
    }
    if (k.evaluatedAfter) {
      EXPECT_EQ(sample_evaluated[0], *k.evaluatedAfter);
    }
    EXPECT_EQ(real_options[2], k.proposal);
    if (k.timeScale) {
      EXPECT_EQ(real_options[3], *k.timeScale);
    }
  }
}

TEST(Events, SampleLoopEndsForEveryInterval) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const double intervals[] = {0.0, -1.0, nan, inf, -inf, 5e-324};
  for (double interval : intervals) {
    use_options(1e100, 0);
    sample_counters[0] = 0;
    sample_event(2.0, 1.0, interval, 0, 1, 1);
    sample_event(2.0, 1.0, interval, 0, 0, 1);
    EXPECT_EQ(real_options[2], 1e100) << interval;  // no instant follows, none is proposed
  }
}

TEST(Events, SampleLoopEndsWhenTheCountStopsGrowing) {
  use_options(1e100, 0);
  sample_started[0] = 1;
  sample_counters[0] = 0x1p53;  // adding one changes nothing any more
  sample_event(1e300, 0.0, 1.0, 0, 0, 1);
  EXPECT_EQ(sample_counters[0], 0x1p53);
  sample_started[0] = 0;
  // An interval too small to move the instants away from the start.
  use_options(1e100, 0);
  EXPECT_EQ(sample_event(2.0, 1.0, 1e-300, 0, 1, 1), 0);
}

TEST(Events, CheckedSampleRefusesIntervalsThatAreNotPositive) {
  LiveInstance instance;
  current_time = 0;
  const double intervals[] = {0.0, -1.0, std::nan("")};
  for (double interval : intervals) {
    LiveInstance::clear();
    static double s_interval;
    s_interval = interval;
    EXPECT_TRUE(ends_in_model_error([] { sample_event_checked(0, 0, s_interval, 0, 1, 1); }));
    EXPECT_EQ(LiveInstance::lines(),
              (Lines{"The following error was detected at time: 0",
                     "Sample did not have positive sample interval"}));
  }
}

TEST(Events, SampleIndexOutsideTheModelsSamplesIsRefused) {
  LiveInstance instance;
  use_options(1e100, 0);
  EXPECT_TRUE(ends_in_model_error([] { sample_event(0, 0, 1, -1, 1, 1); }));
  EXPECT_TRUE(ends_in_model_error([] { sample_event(0, 0, 1, MODEL_SAMPLE_SLOTS, 1, 1); }));
  EXPECT_TRUE(ends_in_model_error([] { sample_event_checked(0, 0, 1, MODEL_SAMPLE_SLOTS, 1, 1); }));
  EXPECT_EQ(LiveInstance::lines().at(2), "Sample index out of range");
}

TEST(Events, OutsideAnEvaluationARefusedSampleTouchesNothing) {
  use_options(1e100, 0);
  sample_counters[0] = 7;
  sample_next[0] = 8;
  EXPECT_EQ(sample_event(0, 0, 1, 1 << 28, 1, 1), 0);
  EXPECT_EQ(sample_event(0, 0, 1, -(1 << 28), 1, 1), 0);
  EXPECT_EQ(sample_event_checked(0, 0, 1, 1 << 28, 1, 1), 0);
  EXPECT_EQ(sample_event_checked(0, 0, 0.0, 0, 1, 1), 0);
  EXPECT_EQ(sample_counters[0], 7);
  EXPECT_EQ(sample_next[0], 8);
  EXPECT_EQ(real_options[2], 1e100);
}

TEST(Events, AnticipationWithoutRelationsReactsOnlyToNearTimeEvents) {
  double der[2] = {1, 1};
  use_options(0.15, 0);
  anticipate_events_fixed_step(0.0, 1, 1, nullptr, 0, der, 2, real_options, int_options);
  EXPECT_EQ(real_options[1], 1.0);
  // The first later call measures the step (0.1); the time event lies half a step ahead.
  anticipate_events_fixed_step(0.1, 0, 0, nullptr, 0, der, 2, real_options, int_options);
  EXPECT_DOUBLE_EQ(anticipation_step, 0.1);
  EXPECT_DOUBLE_EQ(real_options[1], 0.5);
  EXPECT_DOUBLE_EQ(der[0], 0.5);
  // The next step is stretched so that the two steps still cover 2h.
  der[0] = der[1] = 1;
  anticipate_events_fixed_step(0.2, 0, 0, nullptr, 0, der, 2, real_options, int_options);
  EXPECT_DOUBLE_EQ(real_options[1], 1.5);
  EXPECT_DOUBLE_EQ(der[1], 1.5);
  // A time event two steps or more ahead changes nothing.
  real_options[2] = 0.5;
  der[0] = der[1] = 1;
  anticipate_events_fixed_step(0.3, 0, 0, nullptr, 0, der, 2, real_options, int_options);
  EXPECT_EQ(real_options[1], 1.0);
  EXPECT_EQ(der[0], 1.0);
}

TEST(Events, AnticipationWithZeroDerivativeCountOnlyReportsTheFactor) {
  double der[2] = {1, 1};
  use_options(0.15, 0);
  anticipate_events_fixed_step(0.0, 1, 1, nullptr, 0, der, 0, real_options, int_options);
  anticipate_events_fixed_step(0.1, 0, 0, nullptr, 0, der, 0, real_options, int_options);
  EXPECT_DOUBLE_EQ(real_options[1], 0.5);
  EXPECT_EQ(der[0], 1.0);
}

TEST(Events, AnticipationFindsALinearCrossing) {
  double der[2] = {1, 1};
  use_options(1e100, 0);
  relation_evaluated[1] = 1;
  // Relation 1's pair: the first member falls towards zero by 1 per step.
  double g[2] = {2.5, 10};
  anticipate_events_fixed_step(0.0, 1, 1, g, 1, der, 2, real_options, int_options);
  g[0] = 1.5;
  anticipate_events_fixed_step(1.0, 0, 0, g, 1, der, 2, real_options, int_options);
  g[0] = 0.5;
  anticipate_events_fixed_step(2.0, 0, 0, g, 1, der, 2, real_options, int_options);
  // The quadratic through the last three values reaches zero half a step
  // ahead; with its margin of 0.04 the step is cut to 0.54.
  EXPECT_DOUBLE_EQ(anticipation_best, 0.54);
  EXPECT_DOUBLE_EQ(real_options[1], 0.54);
  EXPECT_DOUBLE_EQ(der[0], 0.54);
  EXPECT_EQ(crossing_prev[0], 1.5);
  EXPECT_EQ(crossing_now[0], 0.5);
  relation_evaluated[1] = 0;
}

TEST(Events, AnticipationClampsTheRelationCount) {
  double der[1] = {1};
  double g[2 * MODEL_NREL] = {1, 1};
  use_options(1e100, 0);
  anticipate_events_fixed_step(0.0, 1, 1, g, 1000, der, 1, real_options, int_options);
  anticipate_events_fixed_step(1.0, 0, 0, g, -3, der, 1, real_options, int_options);
  SUCCEED();
}

TEST(Events, InitialTimeIsTheLastInitializationTime) {
  initialization_time = 3.25;
  EXPECT_EQ(get_initial_time(), 3.25);
}
