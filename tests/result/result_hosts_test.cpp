// Whole runs through both hosts with the switch on, runs freed without
// terminate, and set-up and writing failures: a warning, no file or a
// complete one, nothing leaked, the simulation's results unchanged.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "cosim/slave_fixture.h"
#include "file_size_limit.h"
#include "fmi/me_api.h"
#include "mat_file.h"
#include "result/row_writing.h"
#include "result_switch.h"
#include "tools/me_simulation.h"

using namespace pelvarin;

namespace {

using model_vars::parameter;
using model_vars::state;
using model_vars::P_VD;

const char kSetupFailed[] = "Failed to setup result generation, skipping it";

// --- model exchange through the command-line host's integrator -------------

// The host's calls that store points: (time, isEvent), and the time at the end.
struct Recorded {
  me_sim::Functions real;
  double now = 0.0;
  std::vector<std::pair<double, bool>> points;
};
Recorded g_recorded;

fmiStatus recording_set_time(fmiComponent c, fmiReal t) {
  g_recorded.now = t;
  return g_recorded.real.set_time(c, t);
}
fmiStatus recording_completed_step(fmiComponent c, fmiBoolean* callEventUpdate) {
  g_recorded.points.push_back({g_recorded.now, false});
  return g_recorded.real.completed_step(c, callEventUpdate);
}
fmiStatus recording_event_update(fmiComponent c, fmiBoolean intermediateResults, fmiEventInfo* info) {
  g_recorded.points.push_back({g_recorded.now, true});
  return g_recorded.real.event_update(c, intermediateResults, info);
}

me_sim::Result simulate_me(const host::Library& lib, double stop) {
  me_sim::Functions f;
  std::string missing;
  EXPECT_TRUE(me_sim::load_functions(lib.handle(), &f, &missing)) << missing;
  g_recorded = Recorded{};
  g_recorded.real = f;
  f.set_time = recording_set_time;
  f.completed_step = recording_completed_step;
  f.event_update = recording_event_update;
  me_sim::Options options;
  options.stop = stop;
  options.parameters = {{parameter(P_VD), 20.0}};
  return me_sim::simulate(f, host::me_callbacks(), options, "me");
}

TEST(ResultThroughHosts, ModelExchangeRecordsTheHostsStepsAndEvents) {
  ScratchDirectory dir;
  host::Library lib;
  const me_sim::Result plain = simulate_me(lib, 3.0);
  ASSERT_TRUE(plain.ok) << plain.error;
  EXPECT_TRUE(dir.files().empty());
  me_sim::Result recorded;
  {
    ResultSwitch on("1");
    recorded = simulate_me(lib, 3.0);
  }
  ASSERT_TRUE(recorded.ok) << recorded.error;
  ASSERT_GE(recorded.time_events, 3);
  ASSERT_GE(recorded.state_events, 2);

  // The rules on these calls, whose times never go back: a step point closer
  // than 1 ms to the newest kept point is skipped, an event point is kept,
  // and the terminate adds the final time when it is later.
  std::vector<double> expected = {0.0};
  for (const auto& [t, isEvent] : g_recorded.points)
    if (isEvent || (t - expected.back()) * 1000.0 >= 1.0) expected.push_back(t);
  if (g_recorded.now > expected.back()) expected.push_back(g_recorded.now);
  for (double& t : expected) t = static_cast<float>(t);

  const std::vector<double> times = mat4::data2_times("me.mat");
  EXPECT_EQ(expected, times);
  EXPECT_EQ(0.0, times.front());
  EXPECT_EQ(3.0, times.back());
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));

  // The file changes nothing of the run.
  ASSERT_EQ(plain.samples.size(), recorded.samples.size());
  for (size_t i = 0; i < plain.samples.size(); ++i) {
    EXPECT_EQ(plain.samples[i].time, recorded.samples[i].time);
    for (int k = 0; k < me_sim::kStates; ++k) EXPECT_EQ(plain.samples[i].x[k], recorded.samples[i].x[k]);
    for (int k = 0; k < me_sim::kAuxiliaries; ++k) EXPECT_EQ(plain.samples[i].w[k], recorded.samples[i].w[k]);
  }
}

// Communication grids with the events on them and between them.
struct Grid {
  const char* label;
  double h;
  int steps;
};

class CoSimulationGrid : public ::testing::TestWithParam<Grid> {};

TEST_P(CoSimulationGrid, RecordsCommunicationPointsAndEvents) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  cosim_test::SlaveApi api;
  host::Instance c = api.make(fmiFalse, "cs");
  const double h = GetParam().h;
  const int steps = GetParam().steps;
  const double stop = steps * h;
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, stop));
  std::vector<double> communicationPoints;
  for (int k = 0; k < steps; ++k) {
    ASSERT_EQ(fmiOK, api.do_step(c, k * h, h, fmiTrue));
    communicationPoints.push_back(static_cast<float>(api.time(c)));
  }
  ASSERT_EQ(fmiOK, api.terminate(c));
  api.free_instance(c.release());

  const std::vector<double> times = mat4::data2_times("cs.mat");
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(0.0, times.front());
  EXPECT_EQ(static_cast<float>(stop), times.back());
  EXPECT_TRUE(std::is_sorted(times.begin(), times.end()));
  // Period starts (state events) and pulse ends (time events): a point
  // before and one after each event, at the event, besides a communication
  // point there.
  const double events[] = {0.1, 1.0, 1.1, 2.0, 2.1};
  auto near_event = [&](double t) {
    for (double e : events)
      if (std::fabs(t - e) < 1e-6) return true;
    return false;
  };
  auto near = [](double e) { return [e](double t) { return std::fabs(t - e) < 1e-6; }; };
  for (double e : events) {
    const long at = std::count_if(times.begin(), times.end(), near(e));
    const long communicated = std::count_if(communicationPoints.begin(), communicationPoints.end(), near(e));
    EXPECT_EQ(2 + communicated, at) << "event at " << e;
  }
  // Every communication point is there, unless it came within 1 ms of the
  // point before it.
  for (double t : communicationPoints) {
    const bool kept = std::find(times.begin(), times.end(), t) != times.end();
    const bool close = std::any_of(times.begin(), times.end(), [&](double p) { return p < t && t - p < 1e-3; });
    EXPECT_TRUE(kept || close) << "communication point " << t;
  }
  // Points closer than 1 ms belong to events.
  for (size_t i = 1; i < times.size(); ++i)
    if (times[i] - times[i - 1] < 1e-3) {
      EXPECT_TRUE(near_event(times[i])) << "point " << times[i];
    }
  // So a communication point less than 1 ms after an event is not there, the
  // final one aside.
  for (size_t k = 0; k + 1 < communicationPoints.size(); ++k) {
    const double t = communicationPoints[k];
    for (double e : events) {
      if (t > e + 1e-6 && t - e < 1e-3) {
        EXPECT_EQ(times.end(), std::find(times.begin(), times.end(), t)) << "communication point " << t;
      }
    }
  }
}

// The third grid's points fall 0.04 to 0.84 ms after each event.
const Grid kGrids[] = {{"events_on_the_grid", 0.01, 300},
                       {"events_between_points", 0.045, 66},
                       {"points_just_after_events", 0.10004, 22}};

INSTANTIATE_TEST_SUITE_P(Grids, CoSimulationGrid, ::testing::ValuesIn(kGrids),
                         [](const ::testing::TestParamInfo<Grid>& info) { return std::string(info.param.label); });

TEST(ResultThroughHosts, AModelExchangeRunFreedWithoutTerminateLeavesACompleteFile) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  host::reset_record();
  me::Api api;
  host::Instance c = api.instantiate("freed");
  fmiEventInfo info{};
  ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  fmiBoolean callEventUpdate;
  for (double t : {1.0, 2.0, 3.0}) {
    api.fmiSetTime(c, t);
    api.fmiCompletedIntegratorStep(c, &callEventUpdate);
  }
  api.fmiSetTime(c, 3.5);
  api.fmiFreeModelInstance(c.release());
  EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 3.5}), mat4::data2_times("freed.mat"));
  EXPECT_EQ(0, host::record().live_blocks);
}

TEST(ResultThroughHosts, ASlaveFreedWithoutTerminateLeavesACompleteFile) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  host::reset_record();
  cosim_test::SlaveApi api;
  host::Instance c = api.make(fmiTrue, "freed");
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  for (int k = 0; k < 3; ++k) ASSERT_EQ(fmiOK, api.do_step(c, 0.5 * k, 0.5, fmiTrue));
  api.free_instance(c.release());
  const std::vector<double> times = mat4::data2_times("freed.mat");
  ASSERT_FALSE(times.empty());
  EXPECT_EQ(0.0, times.front());
  EXPECT_EQ(1.5, times.back());
  EXPECT_EQ(0, host::record().live_blocks);
}

// --- failures ---------------------------------------------------------------

// A model-exchange run under the host's control, and what the host sees of
// it; before_terminate, if any, runs right before the terminate.
std::vector<double> me_scenario(me::Api& api, void (*before_terminate)() = nullptr) {
  std::vector<double> seen;
  host::Instance c = api.instantiate("inst");
  EXPECT_NE(nullptr, c);
  if (c == nullptr) return seen;
  api.set_real(c, parameter(P_VD), 20.0);
  fmiEventInfo info{};
  EXPECT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  seen.push_back(info.upcomingTimeEvent ? info.nextEventTime : -1);
  for (int k = 1; k <= 5; ++k) {
    const double t = k;
    const double x[2] = {0.1 * k, 0.2 * k};
    api.fmiSetTime(c, t);
    EXPECT_EQ(fmiOK, api.fmiSetContinuousStates(c, x, 2));
    double der[2];
    EXPECT_EQ(fmiOK, api.fmiGetDerivatives(c, der, 2));
    seen.insert(seen.end(), der, der + 2);
    fmiBoolean callEventUpdate = fmiTrue;
    EXPECT_EQ(fmiOK, api.fmiCompletedIntegratorStep(c, &callEventUpdate));
    seen.push_back(callEventUpdate);
    if (k == 3) {
      EXPECT_EQ(fmiOK, api.fmiEventUpdate(c, fmiFalse, &info));
      seen.push_back(info.upcomingTimeEvent ? info.nextEventTime : -1);
    }
  }
  seen.push_back(api.real(c, parameter(P_VD)));
  if (before_terminate != nullptr) before_terminate();
  EXPECT_EQ(fmiOK, api.fmiTerminate(c));
  api.fmiFreeModelInstance(c.release());
  return seen;
}

const std::vector<double> kScenarioTimes = {0, 1, 2, 3, 3, 4, 5};

// The same for a slave, with its states after each step.
std::vector<double> cs_scenario(cosim_test::SlaveApi& api, void (*before_terminate)() = nullptr) {
  std::vector<double> seen;
  host::Instance c = api.make(fmiTrue, "inst");
  EXPECT_NE(nullptr, c);
  if (c == nullptr) return seen;
  api.set(c, parameter(P_VD), 20.0);
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, 2.0));
  for (int k = 0; k < 4; ++k) {
    EXPECT_EQ(fmiOK, api.do_step(c, 0.5 * k, 0.5, fmiTrue));
    seen.push_back(api.real(c, state(0)));
    seen.push_back(api.real(c, state(1)));
  }
  seen.push_back(api.real(c, parameter(P_VD)));
  if (before_terminate != nullptr) before_terminate();
  EXPECT_EQ(fmiOK, api.terminate(c));
  api.free_instance(c.release());
  return seen;
}

// Host allocation calls that result generation makes while an instance is
// initialized.
long setup_allocations() {
  ScratchDirectory dir;
  me::Api api;
  long calls[2];
  for (int on = 0; on < 2; ++on) {
    ResultSwitch value(on ? "1" : "0");
    host::Instance c = api.instantiate("count");
    const long before = host::record().allocation_calls;
    fmiEventInfo info{};
    api.fmiInitialize(c, fmiFalse, 0.0, &info);
    calls[on] = host::record().allocation_calls - before;
    api.fmiTerminate(c);
  }
  return calls[1] - calls[0];
}

TEST(ResultFailures, EveryHostAllocationOfTheModelExchangeSetUpAndTheRingExtension) {
  me::Api api;
  std::vector<double> reference;
  long scenarioCalls = 0;
  {
    ScratchDirectory dir;
    reference = me_scenario(api);
    ResultSwitch on("1");
    host::reset_record();
    EXPECT_EQ(reference, me_scenario(api));
    EXPECT_EQ(kScenarioTimes, mat4::data2_times("inst.mat"));
    scenarioCalls = host::record().allocation_calls;
  }
  const long setupCalls = setup_allocations();
  ASSERT_GT(setupCalls, 0);
  ResultSwitch on("1");
  // The instantiation's own allocations come first; the scenario's others
  // belong to result generation.
  host::reset_record();
  {
    host::Instance c = api.instantiate("count");
    const long instantiation = host::record().allocation_calls;
    api.fmiFreeModelInstance(c.release());
    scenarioCalls -= instantiation;
    for (long k = 1; k <= scenarioCalls; ++k) {
      SCOPED_TRACE(k);
      ScratchDirectory dir;
      host::reset_record();
      host::record().fail_at = instantiation + k;
      EXPECT_EQ(reference, me_scenario(api));
      EXPECT_EQ(0, host::record().live_blocks);
      if (k <= setupCalls) {
        EXPECT_EQ(1, cosim_test::count_logs(kSetupFailed));
        EXPECT_TRUE(dir.files().empty());
      } else {
        EXPECT_EQ(0, cosim_test::count_logs(kSetupFailed));
        EXPECT_EQ(1, cosim_test::count_logs("Result generation:: buffer extension failed at t = 2.0000, forcing file "
                                            "output for interval t = 0.0000 ... 1.0000"))
            << host::all_logs();
        EXPECT_EQ(kScenarioTimes, mat4::data2_times("inst.mat"));
      }
    }
  }
}

TEST(ResultFailures, EveryHostAllocationOfTheSlaveSetUp) {
  cosim_test::SlaveApi api;
  std::vector<double> reference;
  {
    ScratchDirectory dir;
    reference = cs_scenario(api);
  }
  const long setupCalls = setup_allocations();
  ResultSwitch on("1");
  host::reset_record();
  host::Instance c = api.make(fmiTrue, "count");
  const long instantiation = host::record().allocation_calls;
  api.free_instance(c.release());
  for (long k = 1; k <= setupCalls; ++k) {
    SCOPED_TRACE(k);
    ScratchDirectory dir;
    host::reset_record();
    host::record().fail_at = instantiation + k;
    EXPECT_EQ(reference, cs_scenario(api));
    EXPECT_EQ(1, cosim_test::count_logs(kSetupFailed));
    EXPECT_TRUE(dir.files().empty());
    EXPECT_EQ(0, host::record().live_blocks);
  }
}

TEST(ResultFailures, ASlaveWhoseIntegratorCannotBeMadeKeepsACompleteFile) {
  const long setupCalls = setup_allocations();
  ScratchDirectory dir;
  ResultSwitch on("1");
  cosim_test::SlaveApi api;
  for (bool again : {false, true}) {
    SCOPED_TRACE(again);
    host::reset_record();
    host::Instance c = api.make(fmiTrue, "inst");
    host::record().fail_at = host::record().allocation_calls + setupCalls + 1;
    EXPECT_EQ(fmiFatal, api.initialize(c, 0.0, fmiFalse, 0.0));
    if (again) {
      // Set up anew; the first set-up's file is finished first.
      EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
      EXPECT_EQ(fmiOK, api.do_step(c, 0.0, 0.05, fmiTrue));
      EXPECT_EQ(fmiOK, api.terminate(c));
    }
    api.free_instance(c.release());
    EXPECT_EQ(again ? (std::vector<double>{0, static_cast<float>(0.05)}) : std::vector<double>{0},
              mat4::data2_times("inst.mat"));
    EXPECT_EQ(0, host::record().live_blocks);
  }
}

// A place that takes no result file: a warning with the reason, the run goes
// on, and no file is left behind.
enum NoFile {
  NAME_TAKEN,       // by a directory
  DIRECTORY_GONE,   // the current one
  FILE_TOO_SMALL,   // made, but not even "Aclass" fits
};

void expect_no_file_at_set_up(NoFile why) {
  ScratchDirectory scratch;
  me::Api meApi;
  cosim_test::SlaveApi csApi;
  const std::vector<double> meReference = me_scenario(meApi);
  const std::vector<double> csReference = cs_scenario(csApi);
  ResultSwitch on("1");
  const std::string reason =
      why == NAME_TAKEN       ? std::string("Error opening file \"inst.mat\": ") + strerror(EISDIR)
      : why == DIRECTORY_GONE ? std::string("Error opening file \"inst.mat\": ") + strerror(ENOENT)
                              : std::string("Error when writing matrix \"data_2\" row-wise to file \"inst.mat\":\n") +
                                    strerror(EFBIG);
  for (int round = 0; round < 2; ++round) {
    SCOPED_TRACE(round);
    ScratchDirectory dir;
    if (why == NAME_TAKEN) {
      std::filesystem::create_directory("inst.mat");
    } else if (why == DIRECTORY_GONE) {
      std::filesystem::create_directory("gone");
      std::filesystem::current_path("gone");
      std::filesystem::remove(std::filesystem::path(dir.path()) / "gone");
    }
    host::reset_record();
    std::optional<FileSizeLimit> small;
    if (why == FILE_TOO_SMALL) {
      small.emplace(30);
      ASSERT_TRUE(small->on());
    }
    const std::vector<double> seen = round == 0 ? me_scenario(meApi) : cs_scenario(csApi);
    small.reset();
    EXPECT_EQ(round == 0 ? meReference : csReference, seen);
    EXPECT_EQ(1u, me::count_exact("Result generation: Failed to open result inst.mat: " + reason)) << host::all_logs();
    EXPECT_EQ(1, cosim_test::count_logs(kSetupFailed));
    EXPECT_EQ(0, host::record().live_blocks);
    if (why == NAME_TAKEN) {
      EXPECT_TRUE(std::filesystem::is_directory("inst.mat"));
    } else {
      EXPECT_TRUE(dir.files().empty());
    }
  }
}

TEST(ResultFailures, AResultFileNameTakenByADirectory) { expect_no_file_at_set_up(NAME_TAKEN); }

TEST(ResultFailures, ACurrentDirectoryThatIsGone) { expect_no_file_at_set_up(DIRECTORY_GONE); }

TEST(ResultFailures, AFileThatTakesNotEvenItsFirstMatricesIsNotLeftBehind) { expect_no_file_at_set_up(FILE_TOO_SMALL); }

// Who writes "data_2", one 4-byte real per row: the row writer alone, or a
// host through the library with the switch on.
enum RowWriter { WRITER_ALONE, MODEL_EXCHANGE, CO_SIMULATION };

struct ShortRow {
  const char* label;
  RowWriter writer;
  long extra;  // bytes of the third row that the limit still lets in
};

class ARowCutShort : public ::testing::TestWithParam<ShortRow> {};

// The limit is lifted after the failure and before the file is closed, so
// that nothing held back for the close may reach the file.
FileSizeLimit* g_limit = nullptr;
long g_failuresBeforeTheLift = 0;
void lift_the_limit() {
  g_failuresBeforeTheLift = cosim_test::count_logs("Result generation: Failed");
  g_limit->lift();
}

const char kThirdRowFailed[] = "Error when writing row 3 of matrix \"data_2\" row-wise\nto file \"inst.mat\": ";

TEST_P(ARowCutShort, LeavesAFileThatEndsAfterTheLastCompleteRow) {
  ScratchDirectory dir;
  const RowWriter writer = GetParam().writer;
  long empty = 0;  // the size of the file while "data_2" has no rows
  std::vector<double> expected;
  if (writer == WRITER_ALONE) {
    AmatPutFile file;
    ASSERT_EQ(amatOk, amatPutOpen("inst.mat", AMAT_FORMAT_BINARY, binTrans, "Atrajectory", "1.1", nullptr, &file));
    ASSERT_EQ(amatOk, amatPutRinit(&file, "data_2", 1, realMatrix)) << amatMessage;
    empty = static_cast<long>(mat4::read_file("inst.mat").size());
    FileSizeLimit limit(empty + 2 * 4 + GetParam().extra);
    ASSERT_TRUE(limit.on());
    const float rows[3] = {1, 2, 3};
    EXPECT_EQ(amatOk, amatPutRrow(&file, &rows[0]));
    EXPECT_EQ(amatOk, amatPutRrow(&file, &rows[1]));
    EXPECT_EQ(amatError, amatPutRrow(&file, &rows[2]));
    EXPECT_EQ(std::string(kThirdRowFailed) + strerror(EFBIG) + "\n", amatMessage);
    limit.lift();
    // The failed row ends the matrix: nothing is written behind it.
    EXPECT_EQ(nullptr, file.rowName);
    EXPECT_EQ(amatError, amatPutRrow(&file, &rows[2]));
    // The next byte written would follow the last complete row.
    EXPECT_EQ(empty + 2 * 4, ftell(file.stream));
    EXPECT_EQ(amatError, amatPutRclose(&file));
    EXPECT_EQ(amatOk, amatPutClose(&file));
    expected = {1, 2};
  } else {
    me::Api meApi;
    cosim_test::SlaveApi csApi;
    auto run = [&](void (*before_terminate)()) {
      return writer == MODEL_EXCHANGE ? me_scenario(meApi, before_terminate) : cs_scenario(csApi, before_terminate);
    };
    const std::vector<double> reference = run(nullptr);
    ResultSwitch on("1");
    EXPECT_EQ(reference, run(nullptr));
    expected = mat4::data2_times("inst.mat");
    ASSERT_GT(expected.size(), 2u);
    expected.resize(2);
    {
      host::Instance c = writer == MODEL_EXCHANGE ? meApi.instantiate("inst") : csApi.make(fmiTrue, "inst");
      fmiEventInfo info{};
      ASSERT_EQ(fmiOK, writer == MODEL_EXCHANGE ? meApi.fmiInitialize(c, fmiFalse, 0.0, &info)
                                                : csApi.initialize(c, 0.0, fmiTrue, 2.0));
      empty = static_cast<long>(mat4::read_file("inst.mat").size());
    }
    host::reset_record();
    FileSizeLimit limit(empty + 2 * 4 + GetParam().extra);
    ASSERT_TRUE(limit.on());
    g_limit = &limit;
    EXPECT_EQ(reference, run(lift_the_limit));
    EXPECT_EQ(1, g_failuresBeforeTheLift);
    EXPECT_EQ(1, cosim_test::count_logs("Result generation: Failed")) << host::all_logs();
    EXPECT_EQ(1u, me::count_exact(std::string("Result generation: Failed to write result inst.mat: ") +
                                  kThirdRowFailed + strerror(EFBIG)))
        << host::all_logs();
    EXPECT_EQ(0, host::record().live_blocks);
  }
  // The whole file, as a reader finds it.
  EXPECT_EQ(expected, mat4::data2_times("inst.mat"));
  EXPECT_EQ(static_cast<size_t>(empty + 2 * 4), mat4::read_file("inst.mat").size());
}

const ShortRow kShortRows[] = {
    {"writer_0", WRITER_ALONE, 0},
    {"writer_1", WRITER_ALONE, 1},
    {"writer_2", WRITER_ALONE, 2},
    {"writer_3", WRITER_ALONE, 3},
    {"model_exchange_0", MODEL_EXCHANGE, 0},
    {"model_exchange_1", MODEL_EXCHANGE, 1},
    {"model_exchange_2", MODEL_EXCHANGE, 2},
    {"model_exchange_3", MODEL_EXCHANGE, 3},
    {"co_simulation_0", CO_SIMULATION, 0},
    {"co_simulation_1", CO_SIMULATION, 1},
    {"co_simulation_2", CO_SIMULATION, 2},
    {"co_simulation_3", CO_SIMULATION, 3},
};

INSTANTIATE_TEST_SUITE_P(Limits, ARowCutShort, ::testing::ValuesIn(kShortRows),
                         [](const ::testing::TestParamInfo<ShortRow>& info) { return std::string(info.param.label); });

}  // namespace
