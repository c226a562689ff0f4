// Result sampling as a host sees it: which points reach the file, when they
// are written, the warnings, the file's name and the switch.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "cosim/slave_fixture.h"
#include "fmi/me_api.h"
#include "mat_file.h"
#include "result_switch.h"

using namespace pelvarin;

namespace {

using model_vars::parameter;
using model_vars::state;
using model_vars::P_NPERIOD;
using model_vars::P_PERIOD;
using model_vars::P_VD;

const char kDuplicate[] = "duplicate sample point";
const char kBufferFull[] = "buffer full at";
const char kSetupFailed[] = "Failed to setup result generation, skipping it";

std::vector<double> as_floats(const std::vector<double>& times) {
  std::vector<double> out;
  for (double t : times) out.push_back(static_cast<float>(t));
  return out;
}

enum OpKind {
  STEP,      // model exchange: fmiSetTime and fmiCompletedIntegratorStep; slave: fmiDoStep to the time
  EVENT,     // fmiSetTime and fmiEventUpdate
  SET_TIME,  // fmiSetTime only
  COLUMNS,   // the file on disk holds this many rows of "data_2"
};

struct Op {
  OpKind kind;
  double value;
};

struct RingCase {
  const char* label;
  bool slave;
  double start;
  std::vector<Op> ops;
  std::vector<double> expected;  // "data_2" after the terminate
  long duplicateWarnings;
  long bufferFullWarnings;
};

const RingCase kRingCases[] = {
    {"steps_closer_than_1ms", false, 0.0, {{STEP, 1}, {STEP, 1.0004}, {STEP, 2}}, {0, 1, 2}, 0, 0},
    {"events_closer_than_1ms", false, 0.0, {{EVENT, 1}, {EVENT, 1.0004}, {STEP, 2}}, {0, 1, 1.0004, 2}, 0, 0},
    {"duplicates_of_the_last_written_point",
     false,
     0.0,
     {{STEP, 1}, {STEP, 2}, {STEP, 3}, {STEP, 4}, {COLUMNS, 2}, {STEP, 1}, {STEP, 0.5}, {EVENT, 1}, {STEP, 5}},
     {0, 1, 1, 5},
     1,
     0},
    {"rollback", false, 0.0, {{STEP, 1}, {STEP, 2}, {STEP, 3}, {STEP, 1.5}}, {0, 1, 1.5}, 0, 0},
    {"rollback_of_the_newest_of_two", false, 0.0, {{STEP, 1}, {STEP, 0.5}, {STEP, 2}}, {0, 0.5, 2}, 0, 0},
    {"rollback_keeps_a_point_at_the_same_time",
     false,
     0.0,
     {{STEP, 1}, {STEP, 2}, {STEP, 3}, {EVENT, 2}, {STEP, 4}},
     {0, 1, 2, 2, 4},
     0,
     0},
    {"spacing_counts_from_the_newest_kept_point",
     false,
     0.0,
     {{STEP, 1}, {STEP, 1.0006}, {STEP, 1.0012}, {STEP, 2}},
     {0, 1, 1.0012, 2},
     0,
     0},
    {"a_duplicate_warning_for_each_written_time",
     false,
     0.0,
     {{STEP, 1}, {STEP, 2}, {STEP, 3}, {STEP, 4}, {STEP, 0.5}, {STEP, 5}, {STEP, 6}, {STEP, 2.5}, {STEP, 2.6}},
     {0, 1, 2, 3, 4, 5, 6},
     2,
     0},
    {"full_ring_model_exchange",
     false,
     0.0,
     {{STEP, 1}, {STEP, 2}, {STEP, 3}, {COLUMNS, 0}, {STEP, 4}, {COLUMNS, 2}, {STEP, 5}, {STEP, 6}, {COLUMNS, 4}},
     {0, 1, 2, 3, 4, 5, 6},
     0,
     0},
    {"full_ring_slave",
     true,
     0.0,
     {{STEP, 1}, {STEP, 2}, {STEP, 3}, {COLUMNS, 0}, {STEP, 4}, {COLUMNS, 2}, {STEP, 5}, {STEP, 6}, {COLUMNS, 4}},
     {0, 1, 2, 3, 4, 5, 6},
     0,
     1},
    {"terminate_at_the_newest_point_writes_four", false, 0.0, {{STEP, 1}, {STEP, 2}, {STEP, 3}}, {0, 1, 2, 3}, 0, 0},
    {"terminate_later_keeps_a_close_final_point", false, 0.0, {{STEP, 1}, {SET_TIME, 1.0004}}, {0, 1, 1.0004}, 0, 0},
    {"negative_times", false, -5.0, {{STEP, -4.9995}, {STEP, -4}, {STEP, -3}}, {-5, -4, -3}, 0, 0},
};

class Ring : public ::testing::TestWithParam<RingCase> {};

TEST_P(Ring, KeepsWritesAndWarnsAsTheRulesSay) {
  const RingCase& rc = GetParam();
  ScratchDirectory dir;
  ResultSwitch on("1");
  host::reset_record();
  auto columns = [](long n) { EXPECT_EQ(static_cast<size_t>(n), mat4::data2_times("ring.mat").size()); };
  // Complete once terminated, and the release adds nothing.
  auto expect_file = [&rc] { EXPECT_EQ(as_floats(rc.expected), mat4::data2_times("ring.mat")); };
  if (!rc.slave) {
    me::Api api;
    host::Instance c = api.instantiate("ring");
    ASSERT_NE(nullptr, c);
    fmiEventInfo info{};
    ASSERT_EQ(fmiOK, api.fmiSetTime(c, rc.start));
    ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info)) << host::all_logs();
    for (const Op& op : rc.ops) {
      fmiBoolean callEventUpdate = fmiFalse;
      if (op.kind != COLUMNS) {
        EXPECT_EQ(fmiOK, api.fmiSetTime(c, op.value));
      }
      if (op.kind == STEP) {
        EXPECT_EQ(fmiOK, api.fmiCompletedIntegratorStep(c, &callEventUpdate));
      }
      if (op.kind == EVENT) {
        EXPECT_EQ(fmiOK, api.fmiEventUpdate(c, fmiFalse, &info));
      }
      if (op.kind == COLUMNS) columns(static_cast<long>(op.value));
    }
    EXPECT_EQ(fmiOK, api.fmiTerminate(c));
    expect_file();
  } else {
    cosim_test::SlaveApi api;
    host::Instance c = api.make(fmiTrue, "ring");
    ASSERT_NE(nullptr, c);
    // No event before t = 100.
    api.set(c, parameter(P_NPERIOD), 0.0);
    api.set(c, parameter(P_PERIOD), 1000.0);
    ASSERT_EQ(fmiOK, api.initialize(c, rc.start, fmiFalse, 0.0));
    double now = rc.start;
    for (const Op& op : rc.ops) {
      ASSERT_TRUE(op.kind == STEP || op.kind == COLUMNS);
      if (op.kind == STEP) {
        EXPECT_EQ(fmiOK, api.do_step(c, now, op.value - now, fmiTrue));
        now = op.value;
      }
      if (op.kind == COLUMNS) columns(static_cast<long>(op.value));
    }
    EXPECT_EQ(fmiOK, api.terminate(c));
    expect_file();
  }
  expect_file();
  EXPECT_EQ(rc.duplicateWarnings, cosim_test::count_logs(kDuplicate)) << host::all_logs();
  EXPECT_EQ(rc.bufferFullWarnings, cosim_test::count_logs(kBufferFull)) << host::all_logs();
  EXPECT_EQ(0, host::record().live_blocks);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ring, ::testing::ValuesIn(kRingCases),
                         [](const ::testing::TestParamInfo<RingCase>& info) { return std::string(info.param.label); });

TEST(ResultSampling, TheWarningsReadAsTheyShould) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  host::reset_record();
  cosim_test::SlaveApi api;
  host::Instance c = api.make(fmiTrue, "texts");
  api.set(c, parameter(P_NPERIOD), 0.0);
  api.set(c, parameter(P_PERIOD), 1000.0);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  for (int k = 0; k < 4; ++k) ASSERT_EQ(fmiOK, api.do_step(c, k, 1.0, fmiTrue));
  auto set_time = api.lib.get<decltype(&Pelvarin_fmiSetTime)>("Pelvarin_fmiSetTime");
  auto completed = api.lib.get<decltype(&Pelvarin_fmiCompletedIntegratorStep)>("Pelvarin_fmiCompletedIntegratorStep");
  fmiBoolean callEventUpdate;
  set_time(c, 1.0);
  completed(c, &callEventUpdate);
  api.free_instance(c.release());
  EXPECT_EQ(1u, me::count_exact("Result generation:: buffer full at t = 4.0000, forcing file output for interval t = "
                                "0.0000 ... 1.0000. To avoid this for FMI 2, set SetFMUStatePriorToCurrentPoint = "
                                "fmiTrue in fmiDoStep. Will not warn about this again."))
      << host::all_logs();
  EXPECT_EQ(1u, me::count_exact(
                    "Result generation:: duplicate sample point at t = 1.0000 (and others at t < 1.000000) neglected."));
  EXPECT_EQ(1u, me::count_exact("Setting up result generation"));
}

TEST(ResultSampling, TheTrajectoryOfThisModelByteForByte) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  me::Api api;
  host::Instance c = api.instantiate("golden");
  fmiEventInfo info{};
  ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  fmiBoolean callEventUpdate;
  for (double t : {0.5, 1.0}) {
    api.fmiSetTime(c, t);
    api.fmiCompletedIntegratorStep(c, &callEventUpdate);
  }
  api.fmiTerminate(c);
  api.fmiFreeModelInstance(c.release());
  const std::string aclass("A1 b" "t.\0i" "r1 n" "a\0 T" "j  r" "e  a" "c  n" "t  s" "o  \0" "r   " "y   ", 44);
  mat4::Bytes expected = {HEADER(51, 4, 11, 7), 'A', 'c', 'l', 'a', 's', 's', 0};
  expected.insert(expected.end(), aclass.begin(), aclass.end());
  const mat4::Bytes rest = {
      HEADER(51, 4, 1, 5), 'n', 'a', 'm', 'e', 0, 'T', 'i', 'm', 'e',
      HEADER(51, 15, 1, 12), 'd', 'e', 's', 'c', 'r', 'i', 'p', 't', 'i', 'o', 'n', 0,
      'T', 'i', 'm', 'e', ' ', 'i', 'n', ' ', 's', 'e', 'c', 'o', 'n', 'd', 's',
      HEADER(20, 4, 1, 9), 'd', 'a', 't', 'a', 'I', 'n', 'f', 'o', 0, B4(0), B4(1), B4(0), B4(0xFFFFFFFFu),
      // The start time and 1e-9.
      HEADER(10, 1, 2, 7), 'd', 'a', 't', 'a', '_', '1', 0, B4(0), B4(0x3089705Fu),
      // One column per point: 0, 0.5, 1.
      HEADER(10, 1, 3, 7), 'd', 'a', 't', 'a', '_', '2', 0, B4(0), B4(0x3F000000u), B4(0x3F800000u)};
  expected.insert(expected.end(), rest.begin(), rest.end());
  EXPECT_EQ(expected, mat4::read_file("golden.mat"));
}

struct NameCase {
  const char* instance;
  const char* file;
};

class ResultFileName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ResultFileName, ComesFromTheInstanceNameInTheCurrentDirectory) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  me::Api api;
  host::Instance c = api.instantiate(GetParam().instance);
  fmiEventInfo info{};
  ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  api.fmiTerminate(c);
  api.fmiFreeModelInstance(c.release());
  EXPECT_EQ(std::vector<std::string>{GetParam().file}, dir.files());
  EXPECT_EQ(std::vector<double>{0}, mat4::data2_times(GetParam().file));
}

const NameCase kNames[] = {
    {"plain", "plain.mat"},       {"a/b", "a_b.mat"},      {"", "dres.mat"},
    {"C:\\run\\x", "C__run_x.mat"}, {"../up", ".._up.mat"},
};

INSTANTIATE_TEST_SUITE_P(Cases, ResultFileName, ::testing::ValuesIn(kNames));

TEST(ResultSampling, ANameTooLongForTheFileIsRefusedAtSetUp) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  host::reset_record();
  me::Api api;
  const std::string fits(251, 'n');  // with ".mat" 255 characters
  for (const std::string& name : {fits, fits + "n"}) {
    host::Instance c = api.instantiate(name.c_str());
    fmiEventInfo info{};
    ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
    api.fmiTerminate(c);
  }
  EXPECT_EQ(std::vector<std::string>{fits + ".mat"}, dir.files());
  EXPECT_EQ(1, cosim_test::count_logs(kSetupFailed));
  EXPECT_EQ(0, host::record().live_blocks);
}

// The warning shows at most 200 bytes of the name and never ends inside a
// character: of 100 euro signs behind an "a", 66 fit.
TEST(ResultSampling, ANameTooLongForTheFileIsShownCutOnACharacterBoundary) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  std::string name = "a";
  for (int i = 0; i < 100; ++i) name += "\xE2\x82\xAC";
  me::Api api;
  host::Instance c = api.instantiate(name.c_str());
  ASSERT_NE(nullptr, c);
  fmiEventInfo info{};
  EXPECT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  EXPECT_EQ(1u, me::count_exact("Result generation: Result file name of instance " + name.substr(0, 1 + 3 * 66) +
                                "... is too long"))
      << host::all_logs();
  EXPECT_EQ(1, cosim_test::count_logs(kSetupFailed));
  EXPECT_TRUE(dir.files().empty());
}

struct SwitchCase {
  const char* value;  // nullptr: not set
  bool slave;
  bool file;
};

class Switch : public ::testing::TestWithParam<SwitchCase> {};

TEST_P(Switch, TurnsResultGenerationOnAtInstantiation) {
  ScratchDirectory dir;
  ResultSwitch value(GetParam().value);
  if (GetParam().slave) {
    cosim_test::SlaveApi api;
    host::Instance c = api.make(fmiTrue, "s");
    ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, 1.0));
    ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 1.0, fmiTrue));
    api.terminate(c);
  } else {
    me::Api api;
    host::Instance c = api.instantiate("s");
    fmiEventInfo info{};
    ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
    api.fmiTerminate(c);
  }
  EXPECT_EQ(GetParam().file, mat4::exists("s.mat"));
  EXPECT_EQ(GetParam().file ? 1u : 0u, dir.files().size());
}

const SwitchCase kSwitches[] = {
    {nullptr, false, false}, {"", false, false}, {"0", false, false}, {"1", false, true},  {"yes", false, true},
    {nullptr, true, false},  {"", true, false},  {"0", true, false},  {"1", true, true},   {"on", true, true},
};

INSTANTIATE_TEST_SUITE_P(Values, Switch, ::testing::ValuesIn(kSwitches));

TEST(ResultSampling, TheSwitchCountsAtInstantiationOnly) {
  ScratchDirectory dir;
  me::Api api;
  host::Instance c;
  {
    ResultSwitch on("1");
    c = api.instantiate("late");
  }
  fmiEventInfo info{};
  ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  api.fmiTerminate(c);
  api.fmiFreeModelInstance(c.release());
  EXPECT_TRUE(mat4::exists("late.mat"));
}

long g_zero_requests = 0;
void* no_empty_blocks(size_t nobj, size_t size) {
  if (nobj == 0 || size == 0) {
    ++g_zero_requests;
    return nullptr;
  }
  return host::allocate(nobj, size);
}

TEST(ResultSampling, AHostThatAnswersEmptyRequestsWithNullStillGetsItsFile) {
  // The model has no inputs and no outputs.
  ScratchDirectory dir;
  ResultSwitch on("1");
  host::reset_record();
  me::Api api;
  host::Instance c{api.fmiInstantiateModel("empty", PELVARIN_GUID,
                                           fmiCallbackFunctions{host::logger, no_empty_blocks, host::free_block},
                                           fmiTrue),
                   api.fmiFreeModelInstance};
  ASSERT_NE(nullptr, c);
  fmiEventInfo info{};
  ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
  fmiBoolean callEventUpdate;
  for (double t : {1.0, 2.0, 3.0, 4.0}) {
    api.fmiSetTime(c, t);
    api.fmiCompletedIntegratorStep(c, &callEventUpdate);
  }
  api.fmiTerminate(c);
  api.fmiFreeModelInstance(c.release());
  EXPECT_EQ(0, cosim_test::count_logs(kSetupFailed)) << host::all_logs();
  EXPECT_EQ(0, cosim_test::count_logs("Result generation"));
  EXPECT_EQ(0, g_zero_requests);
  EXPECT_EQ((std::vector<double>{0, 1, 2, 3, 4}), mat4::data2_times("empty.mat"));
  EXPECT_EQ(0, host::record().live_blocks);
}

TEST(ResultSampling, StatesAndParametersSetBeforeInitializationAreKept) {
  ScratchDirectory dir;
  ResultSwitch on("1");
  {
    me::Api api;
    host::Instance c = api.instantiate("me");
    ASSERT_EQ(fmiOK, api.set_real(c, parameter(P_VD), 20.0));
    ASSERT_EQ(fmiOK, api.set_real(c, state(0), 3.0));
    fmiEventInfo info{};
    ASSERT_EQ(fmiOK, api.fmiInitialize(c, fmiFalse, 0.0, &info));
    EXPECT_EQ(20.0, api.real(c, parameter(P_VD)));
    EXPECT_EQ(3.0, api.real(c, state(0)));
    api.fmiTerminate(c);
  }
  {
    cosim_test::SlaveApi api;
    host::Instance c = api.make(fmiTrue, "cs");
    api.set(c, parameter(P_VD), 20.0);
    api.set(c, state(0), 3.0);
    ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
    EXPECT_EQ(20.0, api.real(c, parameter(P_VD)));
    EXPECT_EQ(3.0, api.real(c, state(0)));
    api.terminate(c);
  }
  EXPECT_TRUE(mat4::exists("me.mat"));
  EXPECT_TRUE(mat4::exists("cs.mat"));
}

}  // namespace
