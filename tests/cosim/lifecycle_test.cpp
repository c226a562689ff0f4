// The slave's life cycle as a master sees it: instantiation, initialization,
// termination, reset, release, and the functions a slave refuses.
#include <functional>
#include <tuple>
#include <utility>

#include "slave_fixture.h"

using namespace cosim_test;

namespace {

const char* const STATISTICS = "Mstep Integrator Statistics";

struct InstantiateCase {
  bool stepFinished;
  double timeout;
  fmiBoolean interactive;
  std::vector<std::string> warnings;
};

void step_finished(fmiComponent, fmiStatus) {}

class InstantiateWarnings : public ::testing::TestWithParam<InstantiateCase> {};

TEST_P(InstantiateWarnings, AreLoggedInOrderAndTheSlaveIsCreated) {
  const InstantiateCase& tc = GetParam();
  SlaveApi api;
  fmiCoSimCallbackFunctions cb = host::cs_callbacks();
  if (tc.stepFinished) cb.stepFinished = step_finished;
  host::Instance c{api.instantiate("slave", PELVARIN_GUID, "", "", tc.timeout, fmiFalse,
                                   tc.interactive, cb, fmiTrue),
                   api.free_instance};
  ASSERT_NE(nullptr, c);
  std::vector<std::string> warnings;
  for (const host::LogRecord& r : host::record().logs)
    if (r.status == fmiWarning) warnings.push_back(r.message);
  EXPECT_EQ(tc.warnings, warnings);
  ASSERT_FALSE(host::record().logs.empty());
  EXPECT_EQ("fmiInstantiateSlave", host::record().logs.back().message);
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

const char* const W_STEP_FINISHED =
    "fmiInstantiateSlave: Callback function stepFinished != NULL but asynchronous fmiDoStep is "
    "not supported";
const char* const W_TIMEOUT = "fmiInstantiateSlave: timeout != 0 is not supported";
const char* const W_INTERACTIVE = "fmiInstantiateSlave: interactive not supported";

INSTANTIATE_TEST_SUITE_P(
    Slave, InstantiateWarnings,
    ::testing::Values(InstantiateCase{false, 0.0, fmiFalse, {}},
                      InstantiateCase{true, 5.0, fmiTrue, {W_STEP_FINISHED, W_TIMEOUT, W_INTERACTIVE}},
                      InstantiateCase{true, -1.0, fmiTrue, {W_STEP_FINISHED, W_INTERACTIVE}},
                      InstantiateCase{false, 5.0, fmiFalse, {W_TIMEOUT}}));

TEST(SlaveLifecycle, InitializeLogsEntryAndCompletion) {
  SlaveApi api;
  host::Instance c = api.make();
  ASSERT_EQ(fmiOK, api.initialize(c, 0.25, fmiFalse, 0.0));
  EXPECT_EQ(1, count_logs("fmiInitializeSlave..."));
  EXPECT_EQ(1, count_logs("fmiInitializeSlave completed"));
  EXPECT_EQ(0.25, api.time(c));
}

TEST(SlaveLifecycle, SecondInitializeIsRefusedBeforeItChangesAnything) {
  SlaveApi api;
  host::Instance c = api.make();
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.5, fmiTrue));
  const double x0 = api.real(c, VR_X0);
  const double x1 = api.real(c, VR_X1);

  EXPECT_EQ(fmiDiscard, api.initialize(c, 3.0, fmiTrue, 4.0));
  EXPECT_EQ(1, count_logs("model cannot be initialized in current state(2)"));
  EXPECT_EQ(0.5, api.time(c));
  EXPECT_EQ(x0, api.real(c, VR_X0));
  EXPECT_EQ(x1, api.real(c, VR_X1));
  // The run goes on where it stood, without a stop time.
  EXPECT_EQ(fmiOK, api.do_step(c, 0.5, 5.0, fmiTrue));
  EXPECT_EQ(5.5, api.time(c));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

TEST(SlaveLifecycle, TerminateTwiceWarnsAndReportsTheStatisticsOnce) {
  SlaveApi api;
  host::Instance c = api.make();
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 1.5, fmiTrue));
  EXPECT_EQ(fmiOK, api.terminate(c));
  EXPECT_EQ(fmiWarning, api.terminate(c));
  EXPECT_EQ(1, count_logs("fmiTerminateSlave: already terminated, ignoring call"));
  EXPECT_EQ(1, count_logs(STATISTICS));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

TEST(SlaveLifecycle, StatisticsOfASlaveThatNeverStepped) {
  SlaveApi api;
  host::Instance c = api.make();
  ASSERT_EQ(fmiOK, api.initialize(c, 2.5, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.terminate(c));
  std::vector<host::LogRecord> stats = host::logs_containing(STATISTICS);
  ASSERT_EQ(1u, stats.size());
  const std::string& text = stats[0].message;
  EXPECT_EQ(fmiOK, stats[0].status);
  EXPECT_NE(std::string::npos, text.find("    Stop time                                : 2.50 s\n"));
  EXPECT_NE(std::string::npos, text.find("    Number of external steps                 : 0\n"));
  EXPECT_NE(std::string::npos, text.find("    Number of internal steps                 : 0\n"));
  EXPECT_NE(std::string::npos, text.find("    Grouping used                            : no"));
}

TEST(SlaveLifecycle, ResetOfAFreshSlaveIsIgnored) {
  SlaveApi api;
  host::Instance c = api.make();
  EXPECT_EQ(fmiOK, api.reset(c));
  EXPECT_EQ(1, count_logs("fmiResetSlave: already reset, ignoring call"));
  EXPECT_EQ(0, count_logs("fmiResetSlave completed"));
}

TEST(SlaveLifecycle, ResetOfAnInitializedSlaveRestoresStartValuesAndAllowsANewRun) {
  SlaveApi api;
  host::Instance c = api.make();
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  api.set(c, parameter(P_AMPLITUDE), 30.0);
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.05, fmiTrue));
  ASSERT_NE(0.0, api.real(c, VR_X0));

  EXPECT_EQ(fmiOK, api.reset(c));
  EXPECT_EQ(1, count_logs(STATISTICS));
  EXPECT_EQ(1, count_logs("fmiResetSlave completed"));
  EXPECT_EQ(0.0, api.real(c, VR_X0));
  EXPECT_EQ(0.0, api.real(c, VR_X1));
  EXPECT_EQ(10.0, api.real(c, parameter(P_AMPLITUDE)));
  EXPECT_EQ(fmiError, api.do_step(c, 0.05, 0.1, fmiTrue));

  // A new run from a new start time, with a fresh integrator.
  ASSERT_EQ(fmiOK, api.initialize(c, 4.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 4.0, 0.05, fmiTrue));
  ClosedForm model;
  ClosedForm::State s = model.solve({0.0, 0.0}, 4.0, 4.05);
  EXPECT_NEAR(s.x0, api.real(c, VR_X0), 1e-4);
  EXPECT_EQ(fmiOK, api.terminate(c));
  EXPECT_EQ(fmiOK, api.reset(c));
  EXPECT_EQ(fmiOK, api.reset(c));  // already reset
  EXPECT_EQ(2, count_logs(STATISTICS));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

// Every state a master can leave a slave in, then either release: a host
// may free a slave through the model-exchange function as well.
enum FreeState { FRESH, INITIALIZED, STEPPED, TERMINATED, RESET, RESET_INITIALIZED };

class FreeInEveryState : public ::testing::TestWithParam<std::tuple<FreeState, bool>> {};

TEST_P(FreeInEveryState, ReturnsEveryHostBlock) {
  SlaveApi api;
  auto free_model = api.lib.get<decltype(&Pelvarin_fmiFreeModelInstance)>("Pelvarin_fmiFreeModelInstance");
  const FreeState state = std::get<0>(GetParam());
  const auto release = [&](fmiComponent c) {
    if (std::get<1>(GetParam())) {
      free_model(c);
    } else {
      api.free_instance(c);
    }
  };
  host::Instance c = api.make();
  if (state != FRESH) {
    ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, 10.0));
  }
  if (state == STEPPED) {
    ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 1.25, fmiTrue));
  }
  if (state == TERMINATED) {
    ASSERT_EQ(fmiOK, api.terminate(c));
  }
  if (state == RESET || state == RESET_INITIALIZED) {
    ASSERT_EQ(fmiOK, api.reset(c));
  }
  if (state == RESET_INITIALIZED) {
    ASSERT_EQ(fmiOK, api.initialize(c, 1.0, fmiFalse, 0.0));
  }
  EXPECT_GT(host::record().live_blocks, 0);
  release(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
  EXPECT_EQ(host::record().allocations, host::record().frees);
  EXPECT_EQ(0, host::record().null_frees);
  // Room for a new instance.
  host::Instance again = api.make();
  ASSERT_NE(nullptr, again);
  EXPECT_EQ(fmiOK, api.initialize(again, 0.0, fmiFalse, 0.0));
  release(again.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

INSTANTIATE_TEST_SUITE_P(Slave, FreeInEveryState,
                         ::testing::Combine(::testing::Values(FRESH, INITIALIZED, STEPPED, TERMINATED,
                                                              RESET, RESET_INITIALIZED),
                                            ::testing::Bool()));

TEST(SlaveLifecycle, HostAllocationFailureDuringInitializationIsFatalAndLeavesNothing) {
  // The driver record and its three arrays come from the host; the
  // statistics are reported only once the integrator is in the driver.
  for (long k = 1; k <= 4; ++k) {
    SCOPED_TRACE(k);
    SlaveApi api;
    host::reset_record();
    host::Instance c = api.make();
    ASSERT_NE(nullptr, c);
    host::record().fail_at = host::record().allocation_calls + k;
    EXPECT_EQ(fmiFatal, api.initialize(c, 0.0, fmiFalse, 0.0));
    EXPECT_EQ(k == 1 ? 0 : 1, count_logs(STATISTICS));
    EXPECT_EQ(0, host::record().null_frees);
    EXPECT_EQ(fmiError, api.do_step(c, 0.0, 0.1, fmiTrue));
    // Still in state 0: a second attempt succeeds.
    EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
    EXPECT_EQ(fmiOK, api.do_step(c, 0.0, 0.1, fmiTrue));
    api.free_instance(c.release());
    EXPECT_EQ(0, host::record().live_blocks);
  }
}

TEST(SlaveLifecycle, AFailedModelInitializationTerminatesAndAResetRecovers) {
  SlaveApi api;
  host::Instance c = api.make();
  api.set(c, parameter(P_PERIOD), 0.0);  // the initialization divides by the period
  EXPECT_EQ(fmiError, api.initialize(c, 0.0, fmiFalse, 0.0));
  EXPECT_EQ(1, count_logs("fmiInitialize: dsblock_ failed, QiErr = 1"));
  EXPECT_EQ(0, count_logs("fmiInitializeSlave completed"));
  EXPECT_EQ(0, count_logs(STATISTICS));  // no integrator was made
  EXPECT_EQ(fmiError, api.do_step(c, 0.0, 0.1, fmiTrue));
  EXPECT_EQ(1, count_logs("fmiDoStep: model terminated in previous step"));
  EXPECT_EQ(fmiDiscard, api.initialize(c, 0.0, fmiFalse, 0.0));
  EXPECT_EQ(1, count_logs("model cannot be initialized in current state(3)"));
  EXPECT_EQ(fmiOK, api.reset(c));
  EXPECT_EQ(1.0, api.real(c, parameter(P_PERIOD)));
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  EXPECT_EQ(fmiOK, api.do_step(c, 0.0, 1.5, fmiTrue));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

TEST(SlaveLifecycle, ASlaveEndedByTheModelExchangeTerminateStillReleasesItsIntegrator) {
  SlaveApi api;
  auto terminate_model = api.lib.get<decltype(&Pelvarin_fmiTerminate)>("Pelvarin_fmiTerminate");
  host::Instance c = api.make();
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.5, fmiTrue));
  ASSERT_EQ(fmiOK, terminate_model(c));
  EXPECT_EQ(fmiError, api.do_step(c, 0.5, 0.5, fmiTrue));
  ASSERT_EQ(fmiOK, api.reset(c));
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.5, fmiTrue));
  ASSERT_EQ(fmiOK, terminate_model(c));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

// The slave functions need an instance made by fmiInstantiateSlave; a
// model-exchange instance is refused and stays what it was.
TEST(SlaveLifecycle, SlaveFunctionsRefuseAModelExchangeInstance) {
  SlaveApi api;
  auto instantiate_model =
      api.lib.get<decltype(&Pelvarin_fmiInstantiateModel)>("Pelvarin_fmiInstantiateModel");
  auto initialize_model = api.lib.get<decltype(&Pelvarin_fmiInitialize)>("Pelvarin_fmiInitialize");
  auto free_model = api.lib.get<decltype(&Pelvarin_fmiFreeModelInstance)>("Pelvarin_fmiFreeModelInstance");
  host::Instance c{instantiate_model("me", PELVARIN_GUID, host::me_callbacks(), fmiTrue), free_model};
  ASSERT_NE(nullptr, c);
  const fmiValueReference vr = 0x05000000;
  const fmiInteger order = 1;
  double value = 0.0;
  fmiStatus st;
  fmiInteger i;
  fmiBoolean b;
  fmiString s;
  const std::vector<std::pair<std::string, std::function<fmiStatus()>>> calls = {
      {"fmiInitializeSlave", [&] { return api.initialize(c, 0.0, fmiFalse, 0.0); }},
      {"fmiDoStep", [&] { return api.do_step(c, 0.0, 0.1, fmiTrue); }},
      {"fmiDoStep", [&] { return api.do_step(c, 0.0, 0.0, fmiTrue); }},
      {"fmiTerminateSlave", [&] { return api.terminate(c); }},
      {"fmiResetSlave", [&] { return api.reset(c); }},
      {"fmiSetRealInputDerivatives", [&] { return api.set_input_derivatives(c, &vr, 1, &order, &value); }},
      {"fmiGetRealOutputDerivatives", [&] { return api.get_output_derivatives(c, &vr, 1, &order, &value); }},
      {"fmiCancelStep", [&] { return api.cancel_step(c); }},
      {"fmiGetStatus", [&] { return api.get_status(c, fmiDoStepStatus, &st); }},
      {"fmiGetRealStatus", [&] { return api.get_real_status(c, fmiLastSuccessfulTime, &value); }},
      {"fmiGetIntegerStatus", [&] { return api.get_integer_status(c, fmiLastSuccessfulTime, &i); }},
      {"fmiGetBooleanStatus", [&] { return api.get_boolean_status(c, fmiLastSuccessfulTime, &b); }},
      {"fmiGetStringStatus", [&] { return api.get_string_status(c, fmiLastSuccessfulTime, &s); }},
  };
  for (const auto& call : calls) {
    const size_t logged = host::record().logs.size();
    EXPECT_EQ(fmiError, call.second()) << call.first;
    ASSERT_EQ(logged + 1, host::record().logs.size()) << call.first << host::all_logs();
    const host::LogRecord& r = host::record().logs.back();
    EXPECT_EQ(fmiError, r.status);
    EXPECT_EQ(0u, r.message.rfind(call.first + ": ", 0)) << r.message;
  }
  EXPECT_EQ(0.0, value);
  // Still a model-exchange instance in its first state.
  fmiEventInfo info = {};
  EXPECT_EQ(fmiOK, initialize_model(c, fmiFalse, 0.0, &info));
  free_model(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

struct StartCase {
  double tStart;
  fmiBoolean stopDefined;
  double tStop;
  bool refused;
};

class InitializeTimes : public ::testing::TestWithParam<StartCase> {};

// A time that is no number is refused before anything changes: the slave
// stays fresh and a proper initialization follows.
TEST_P(InitializeTimes, ThatAreNotFiniteAreRefusedBeforeAnythingChanges) {
  const StartCase& tc = GetParam();
  SlaveApi api;
  host::Instance c = api.make();
  const fmiStatus r = api.initialize(c, tc.tStart, tc.stopDefined, tc.tStop);
  if (tc.refused) {
    EXPECT_EQ(fmiError, r);
    EXPECT_EQ(1u, host::logs_containing("fmiInitializeSlave: t").size()) << host::all_logs();
    EXPECT_EQ(0, count_logs(STATISTICS));
    EXPECT_EQ(0.0, api.time(c));
    ASSERT_EQ(fmiOK, api.initialize(c, 0.25, fmiTrue, 1.0));
  } else {
    EXPECT_EQ(fmiOK, r);
  }
  ASSERT_EQ(fmiOK, api.do_step(c, api.time(c), 1.0 - api.time(c), fmiTrue)) << host::all_logs();
  ClosedForm::State e = ClosedForm().solve({0.0, 0.0}, tc.refused ? 0.25 : tc.tStart, 1.0);
  EXPECT_NEAR(e.x0, api.real(c, VR_X0), 1e-4);
  EXPECT_NEAR(e.x1, api.real(c, VR_X1), 1e-4);
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

INSTANTIATE_TEST_SUITE_P(Slave, InitializeTimes,
                         ::testing::Values(StartCase{NAN, fmiFalse, 0.0, true},
                                           StartCase{INFINITY, fmiFalse, 0.0, true},
                                           StartCase{-INFINITY, fmiTrue, 1.0, true},
                                           StartCase{0.0, fmiTrue, NAN, true},
                                           StartCase{0.0, fmiTrue, INFINITY, true},
                                           // Without a stop time its value is never read.
                                           StartCase{0.0, fmiFalse, NAN, false}));

TEST(SlaveLifecycle, StepBeforeInitializationIsRefusedClearly) {
  SlaveApi api;
  host::Instance c = api.make();
  EXPECT_EQ(fmiError, api.do_step(c, 0.0, 0.1, fmiTrue));
  EXPECT_EQ(fmiError, api.do_step(c, 0.0, 0.0, fmiTrue));
  EXPECT_EQ(2, count_logs("fmiDoStep: slave is not initialized"));
  EXPECT_EQ(0.0, api.time(c));
  // Not terminated by the refusal.
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
}

TEST(SlaveDerivatives, ThisModelHasNoInputsOrOutputs) {
  SlaveApi api;
  host::Instance c = api.make(fmiFalse);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  const fmiValueReference vr = 0x05000000;
  const fmiInteger order = 1;
  double value = 1.0;
  EXPECT_EQ(fmiDiscard, api.set_input_derivatives(c, &vr, 1, &order, &value));
  EXPECT_EQ(1, count_logs("fmiSetRealInputDerivatives: invalid nvr = 1 (number of inputs = 0)"));
  EXPECT_EQ(fmiDiscard, api.get_output_derivatives(c, &vr, 1, &order, &value));
  EXPECT_EQ(1, count_logs("fmiGetRealOutputDerivatives: invalid nvr = 1 (number of outputs = 0)"));
  EXPECT_EQ(fmiDiscard, api.set_input_derivatives(c, &vr, 0, &order, &value));
  EXPECT_EQ(1.0, value);
}

TEST(SlaveStatus, AsynchronousFunctionsAndStatusKinds) {
  SlaveApi api;
  host::Instance c = api.make(fmiFalse);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.75, fmiTrue));
  host::reset_record();

  double t = -1.0;
  EXPECT_EQ(fmiOK, api.get_real_status(c, fmiLastSuccessfulTime, &t));
  EXPECT_EQ(0.75, t);
  EXPECT_TRUE(host::record().logs.empty());

  fmiStatus st;
  fmiInteger i;
  fmiBoolean b;
  fmiString s;
  EXPECT_EQ(fmiDiscard, api.get_real_status(c, fmiDoStepStatus, &t));
  EXPECT_EQ(fmiDiscard, api.get_real_status(c, fmiPendingStatus, &t));
  EXPECT_EQ(fmiDiscard, api.cancel_step(c));
  EXPECT_EQ(fmiDiscard, api.get_status(c, fmiDoStepStatus, &st));
  EXPECT_EQ(fmiDiscard, api.get_integer_status(c, fmiLastSuccessfulTime, &i));
  EXPECT_EQ(fmiDiscard, api.get_boolean_status(c, fmiDoStepStatus, &b));
  EXPECT_EQ(fmiDiscard, api.get_string_status(c, fmiPendingStatus, &s));
  const std::vector<std::string> expected = {
      "fmiGetRealStatus: fmiStatusKind 0 unknown",
      "fmiGetRealStatus: fmiStatusKind 1 unknown",
      "fmiCancelStep: asynchronous execution of fmiDoStep is not supported",
      "fmiGetStatus: not supported since asynchronous execution of fmiDoStep is not supported",
      "fmiGetIntegerStatus: fmiStatusKind 2 unknown",
      "fmiGetBooleanStatus: fmiStatusKind 0 unknown",
      "fmiGetStringStatus: not supported since asynchronous execution of fmiDoStep is not "
      "supported"};
  std::vector<std::string> got;
  for (const host::LogRecord& r : host::record().logs) {
    EXPECT_EQ(fmiDiscard, r.status);
    got.push_back(r.message);
  }
  EXPECT_EQ(expected, got);
  EXPECT_EQ(0.75, api.time(c));
  EXPECT_EQ(fmiError, api.get_real_status(c, fmiLastSuccessfulTime, nullptr));
}

TEST(SlaveHandles, ForeignOrNullHandlesAreRefusedWithoutTouchingMemory) {
  SlaveApi api;
  host::Instance c = api.make();
  int foreign = 0;
  fmiComponent bad[] = {nullptr, &foreign};
  for (fmiComponent h : bad) {
    double t = 0;
    EXPECT_EQ(fmiError, api.do_step(h, 0.0, 0.1, fmiTrue));
    EXPECT_EQ(fmiError, api.initialize(h, 0.0, fmiFalse, 0.0));
    EXPECT_EQ(fmiError, api.terminate(h));
    EXPECT_EQ(fmiError, api.reset(h));
    EXPECT_EQ(fmiError, api.get_real_status(h, fmiLastSuccessfulTime, &t));
    EXPECT_EQ(fmiError, api.cancel_step(h));
    api.free_instance(h);
  }
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

}  // namespace
