// Small runtime services: homotopy operator, elapsed time and the host's
// clock hook, memory cells, animation packing and the row scatter.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <thread>
#include <vector>

#include <dlfcn.h>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "source/evaluation_driver.h"
#include "source/runtime_state.h"
#include "source/processor_clock.h"
#include "source/small_services.h"
#include "support/fmu_host.h"
#include "support/model_variables.h"
#include "support/runtime_harness.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// A host clock that answers from a script: stamps of 1000 ms, and 2.5 s
// since a stamp.
int host_clock_calls = 0;
double host_clock(double* stamp, int mode) {
  ++host_clock_calls;
  if (mode == 0) {
    if (stamp) *stamp = 1000;
    return 1000;
  }
  return 2.5;
}

void sleep_ms(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

double g_stamp;

}  // namespace

TEST(SmallServices, HomotopyBlendMarksTheOperatorUsed) {
  homotopy_used = 0;
  homotopy_lambda = 1.0;
  EXPECT_EQ(homotopy_blend(3, 5), 3);
  EXPECT_EQ(homotopy_used, 1);
  homotopy_lambda = 0.25;
  EXPECT_EQ(homotopy_blend(3, 5), 4.5);
  homotopy_lambda = 0;
  EXPECT_EQ(homotopy_blend(3, 5), 5);
}

TEST(SmallServices, StateAtLoad) {
  EXPECT_EQ(timer_callback, nullptr);
  EXPECT_EQ(elapsed_started, 0);
  EXPECT_EQ(clock_last_ticks, 0);
  EXPECT_EQ(clock_wrap_offset, 0.0);
}

TEST(SmallServices, ClockContinuesAcrossItsWrap) {
  struct Step {
    std::int32_t reading;
    double unwrapped;
  };
  const Step steps[] = {
      {5, 5},
      {2147483647, 2147483647},
      {-2147483647 - 1, 2147483648.0},  // 2^32 added once
      {-2147483647 - 1, 2147483648.0},
      {-5, 4294967291.0},
      {10, 4294967306.0},  // the second wrap
      {-1, 0},             // no clock: 0, and the last reading stays
      {20, 4294967316.0},
      {-1, 0},
      {15, 8589934607.0},  // below the 20 before the -1: a wrap
  };
  clock_last_ticks = 0;
  clock_wrap_offset = 0;
  for (const Step& s : steps) EXPECT_EQ(unwrap_clock_ticks(s.reading), s.unwrapped) << s.reading;
  EXPECT_EQ(clock_last_ticks, 15);
  EXPECT_EQ(clock_wrap_offset, 8589934592.0);
}

// Readings are whole ticks that never go back, and keep with the system's
// monotonic clock to the tick also between its checks against it.
TEST(SmallServices, ProcessorClockReadsWholeTicksInStepWithTheMonotonicClock) {
  double last = processor_clock();
  for (int i = 0; i < 200000; ++i) {
    const double t = processor_clock();
    ASSERT_EQ(t, std::floor(t));
    ASSERT_GE(t, last);
    last = t;
  }
  using std::chrono::steady_clock;
  const auto ms = [](steady_clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
  };
  for (int round = 0; round < 5; ++round) {
    // The time between the two readings lies between inner and outer.
    const auto before0 = steady_clock::now();
    const double t0 = processor_clock();
    const auto after0 = steady_clock::now();
    sleep_ms(12);
    const auto before1 = steady_clock::now();
    const double t1 = processor_clock();
    const auto after1 = steady_clock::now();
    EXPECT_GE(t1 - t0, ms(before1 - after0) - 1.01) << "round " << round;
    EXPECT_LE(t1 - t0, ms(after1 - before0) + 1.01) << "round " << round;
  }
}

TEST(SmallServices, ProcessorClockCountsMilliseconds) {
  EXPECT_EQ(PROCESSOR_CLOCK_TICKS_PER_SECOND, 1000.0);
  const double t0 = processor_clock();
  const std::int32_t k0 = processor_clock_ticks();
  sleep_ms(30);
  const double t1 = processor_clock();
  const std::int32_t k1 = processor_clock_ticks();
  EXPECT_GE(t0, 0);
  EXPECT_GE(t1 - t0, 30);
  EXPECT_LT(t1 - t0, 30000);  // milliseconds, not microseconds
  EXPECT_GE(k1 - k0, 29);
  EXPECT_LE(k0, t1);
}

TEST(SmallServices, ElapsedSecondsAnswersSecondsFromTheFirstCall) {
  elapsed_started = 0;
  EXPECT_EQ(elapsed_seconds(), 0.0);
  EXPECT_EQ(elapsed_started, 1);
  sleep_ms(40);
  const double s = elapsed_seconds();
  EXPECT_GE(s, 0.039);
  EXPECT_LT(s, 30);  // seconds, never the milliseconds of a reading
  EXPECT_GE(elapsed_seconds(), s);
}

// The seconds since a stamp lie between the monotonic clock's readings
// around the stamp and the answer, within the tick of a millisecond.
TEST(SmallServices, SecondsLieBetweenTheMonotonicReadingsAroundThem) {
  struct Case {
    const char* name;
    void (*stamp)();
    double (*seconds)();
  };
  const Case cases[] = {
      {"timer_counter", [] { timer_counter(&g_stamp, 0); },
       [] { return timer_counter(&g_stamp, 1); }},
      {"elapsed_seconds",
       [] {
         elapsed_started = 0;
         elapsed_seconds();
       },
       [] { return elapsed_seconds(); }},
  };
  using std::chrono::steady_clock;
  const auto seconds = [](steady_clock::duration d) {
    return std::chrono::duration<double>(d).count();
  };
  const double tick = 1.01e-3;
  for (const Case& c : cases) {
    const auto before0 = steady_clock::now();
    c.stamp();
    const auto after0 = steady_clock::now();
    sleep_ms(25);
    const auto before1 = steady_clock::now();
    const double s = c.seconds();
    const auto after1 = steady_clock::now();
    EXPECT_GE(s, seconds(before1 - after0) - tick) << c.name;
    EXPECT_LE(s, seconds(after1 - before0) + tick) << c.name;
  }
}

TEST(SmallServices, ElapsedSecondsThroughTheHostsClock) {
  elapsed_started = 0;
  host_clock_calls = 0;
  set_timer_counter_callback(host_clock);
  EXPECT_EQ(elapsed_seconds(), 0.0);
  EXPECT_EQ(elapsed_start_stamp, 1000);  // the host took the stamp
  EXPECT_EQ(elapsed_seconds(), 2.5);
  EXPECT_EQ(host_clock_calls, 2);
  // timer_counter hands everything to the host's clock.
  double stamp = 0;
  EXPECT_EQ(timer_counter(&stamp, 0), 1000);
  EXPECT_EQ(timer_counter(nullptr, 7), 2.5);
  // NULL gives the built-in clock back.
  set_timer_counter_callback(nullptr);
  EXPECT_EQ(timer_counter(nullptr, 7), 0.0);
  EXPECT_EQ(host_clock_calls, 4);
}

TEST(SmallServices, TimerCounterWithoutStamp) {
  const double t = timer_counter(nullptr, 0);
  EXPECT_GE(t, 0);
  EXPECT_EQ(timer_counter(nullptr, 1), 0.0);
  double stamp = 0;
  timer_counter(&stamp, 0);
  EXPECT_GE(stamp, t);
  EXPECT_GE(timer_counter(&stamp, 1), 0.0);
}

TEST(SmallServices, MemoryCells) {
  double cell = 4.5;
  EXPECT_EQ(getMemory(&cell, 3, 1), 4.5);
  EXPECT_EQ(putMemory(0, &cell, 1, 3, 7), 0.0);
  EXPECT_EQ(cell, 4.5);
  EXPECT_EQ(putMemory(1, &cell, 1, 3, 7), 0.0);
  EXPECT_EQ(cell, 7);
}

TEST(SmallServices, ScalarMemoryArgumentsAreModelErrors) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  current_time = 0.5;
  static double cell = 4.5;
  EXPECT_TRUE(ends_in_model_error([] { getMemory(&cell, 1, 1); }));
  EXPECT_TRUE(ends_in_model_error([] { putMemory(1, &cell, 1, 1, 9); }));
  EXPECT_EQ(cell, 4.5);
  EXPECT_EQ(LiveInstance::lines(), (Lines{"The following error was detected at time: 0.5",
                                          "Memory argument to getMemory must be a vector.",
                                          "The following error was detected at time: 0.5",
                                          "Memory argument to putMemory must be a vector."}));
  // Outside an evaluation the refusal returns and touches nothing.
  EXPECT_EQ(getMemory(&cell, 1, 1), 0.0);
  EXPECT_EQ(putMemory(1, &cell, 1, 1, 9), 0.0);
  EXPECT_EQ(cell, 4.5);
}

TEST(SmallServices, ShapeCodes) {
  struct Case {
    const char* text;
    double code;
  };
  const Case cases[] = {
      {"box", 101},
      {"sphere", 102},
      {"cylinder", 103},
      {"cone", 104},
      {"pipe", 105},
      {"beam", 106},
      {"wirebox", 107},
      {"gearwheel", 108},
      {"vector", 109},
      {"pipecylinder", 110},
      {"spring", 111},
      {"tire", 112},
      {"tyre", 112},
      {"Sphere", 200},
      {"17abc", 217},
      {"", 200},
      {"box ", 200},
      {"-5", 195},
      {"99999999999", 2147483647.0 + 200},
      {nullptr, 200},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pack_shape_code(c.text), c.code) << (c.text ? c.text : "(null)");
}

TEST(SmallServices, MaterialCodes) {
  struct Case {
    double r, g, b, s;
    double code;
  };
  const Case cases[] = {
      {1, 0, 0.5, 1, 9900499},  // -0.5 truncates to 0
      {0, 0, 0, 0, 0},
      {0.2, 0.3, 0.4, 0.5, 1929394},  // 19.5, 29.5, 39.5 and 4.5 truncate
      {2, 2, 2, 2, 9999999},          // limited to 99 and 9
      {-3, -3, -3, -3, 0},
      {kNaN, 1, 1, 1, 99999},  // never converted: NaN counts as 0
      {1, kInf, -kInf, kNaN, 9999000},
      {1e300, -1e300, 0, 1e300, 9900009},
  };
  for (const Case& c : cases)
    EXPECT_EQ(pack_material_code(c.r, c.g, c.b, c.s), c.code) << c.r << " " << c.g << " " << c.b;
}

TEST(SmallServices, ScatterByRowIndex) {
  double dst[6] = {0, 0, 0, 0, 0, 0};
  const int rows[] = {2, 1};
  const double src[] = {7, 8};
  scatter_reals_by_row_index(dst, 3, 0, rows, src, 2);
  EXPECT_EQ(dst[1], 7);
  EXPECT_EQ(dst[3], 8);
  EXPECT_EQ(dst[0] + dst[2] + dst[4] + dst[5], 0);
  scatter_reals_by_row_index(dst, 3, 0, rows, src, -1);  // no elements
  scatter_reals_by_row_index(nullptr, 3, 0, nullptr, nullptr, 0);
}

// As a host sees it: the hook is found by its name and takes a clock and
// NULL at any time, without disturbing a simulation.
TEST(SmallServices, TimerHookThroughTheLoadedLibrary) {
  host::Library lib;
  auto set_timer = lib.get<decltype(&setTimerCounterCB)>("setTimerCounterCB");
  auto instantiate = lib.get<decltype(&fmiInstantiateModel)>("Pelvarin_fmiInstantiateModel");
  auto initialize = lib.get<decltype(&fmiInitialize)>("Pelvarin_fmiInitialize");
  auto derivatives = lib.get<decltype(&fmiGetDerivatives)>("Pelvarin_fmiGetDerivatives");
  auto free_instance = lib.get<decltype(&fmiFreeModelInstance)>("Pelvarin_fmiFreeModelInstance");
  ASSERT_TRUE(set_timer && instantiate && initialize && derivatives && free_instance);
  host_clock_calls = 0;
  set_timer(host_clock);
  host::Instance c{instantiate("pk", PELVARIN_GUID, host::me_callbacks(), fmiFalse), free_instance};
  ASSERT_NE(c, nullptr);
  fmiEventInfo info{};
  EXPECT_EQ(initialize(c, fmiFalse, 0, &info), fmiOK);
  double der[2] = {0, 0};
  EXPECT_EQ(derivatives(c, der, 2), fmiOK);
  set_timer(nullptr);
  EXPECT_EQ(derivatives(c, der, 2), fmiOK);
  free_instance(c.release());
  // This model never reads the clock; the hook is only stored.
  EXPECT_EQ(host_clock_calls, 0);
  // The library's copy of the hook is its own.
  EXPECT_EQ(timer_callback, nullptr);
}
