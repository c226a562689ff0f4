// Initialization, event update, the other model-exchange calls and the
// failures that terminate an instance.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "fmi/fmi_functions.h"
#include "fmi/model_instance.h"
#include "me_api.h"

using namespace pelvarin;

namespace {

void expect_untouched(const fmiEventInfo& info) {
  EXPECT_EQ(info.iterationConverged, 7);
  EXPECT_EQ(info.stateValueReferencesChanged, 7);
  EXPECT_EQ(info.stateValuesChanged, 7);
  EXPECT_EQ(info.terminateSimulation, 7);
  EXPECT_EQ(info.upcomingTimeEvent, 7);
  EXPECT_EQ(info.nextEventTime, -77.0);
}

}  // namespace

TEST(Initialize, CompletesOnceAndFillsOnlyItsMembers) {
  me::Api api;
  host::Instance c = api.instantiate();
  fmiEventInfo info = me::marked_event_info();
  host::reset_record();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 1e-4, &info), fmiOK);
  EXPECT_EQ(info.terminateSimulation, fmiFalse);
  EXPECT_EQ(info.upcomingTimeEvent, fmiTrue);
  EXPECT_DOUBLE_EQ(info.nextEventTime, 0.1);  // end of the first pulse
  EXPECT_EQ(info.iterationConverged, 7);
  EXPECT_EQ(info.stateValueReferencesChanged, 7);
  EXPECT_EQ(info.stateValuesChanged, 7);
  const std::vector<std::string> expected = {"fmiInitialize...", "fmiInitialize completed", "fmiInitialize"};
  std::vector<std::string> shown;
  for (const host::LogRecord& r : host::record().logs) shown.push_back(r.message);
  EXPECT_EQ(shown, expected);

  host::reset_record();
  fmiEventInfo again = me::marked_event_info();
  EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &again), fmiDiscard);
  EXPECT_TRUE(me::logged("model cannot be initialized in current state(2)", fmiDiscard));
  expect_untouched(again);
}

TEST(Initialize, ToleranceControlIsWarnedAboutOnlyForTrue) {
  for (fmiBoolean asked : {fmiTrue, static_cast<fmiBoolean>(2)}) {
    me::Api api;
    host::Instance c = api.instantiate();
    fmiEventInfo info = me::marked_event_info();
    host::reset_record();
    EXPECT_EQ(api.fmiInitialize(c, asked, 1e-6, &info), asked == fmiTrue ? fmiWarning : fmiOK);
    EXPECT_EQ(me::count_exact("fmiInitialize: tolerance control not supported"), asked == fmiTrue ? 1u : 0u);
    EXPECT_EQ(me::count_exact("fmiInitialize completed"), 1u);
    EXPECT_EQ(info.upcomingTimeEvent, fmiTrue);
    fmiEventInfo update = me::marked_event_info();
    EXPECT_EQ(api.fmiEventUpdate(c, fmiFalse, &update), fmiOK);  // initialized
  }
}

TEST(Initialize, AFailingInitializationCallTerminatesWithoutTerminating) {
  me::Api api;
  host::Instance c = api.instantiate();
  ASSERT_EQ(api.set_real(c, me::parameter(me::P_PERIOD), 0.0), fmiOK);  // divides by zero
  fmiEventInfo info = me::marked_event_info();
  host::reset_record();
  EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiError);
  expect_untouched(info);
  EXPECT_TRUE(me::logged("fmiInitialize: dsblock_ failed, QiErr = 1", fmiError)) << host::all_logs();
  EXPECT_TRUE(me::logged("Unless otherwise indicated by error messages, possible errors are (non-exhaustive):\n"
                         "The model references external data that is not present on the target machine, "
                         "at least not with the same location.\n",
                         fmiError));
  EXPECT_EQ(me::count_exact("fmiTerminateModel"), 0u);
  EXPECT_EQ(me::count_exact("fmiInitialize completed"), 0u);

  // Level-0 reads never ask the model for anything: no initialization call
  // runs behind a getter.
  host::reset_record();
  EXPECT_EQ(api.real(c, me::parameter(me::P_PERIOD)), 0.0);
  EXPECT_EQ(api.fmiGetReal(c, nullptr, 0, nullptr), fmiOK);
  ASSERT_EQ(host::record().logs.size(), 1u) << host::all_logs();
  EXPECT_EQ(host::record().logs[0].message, "fmiGetReal: #r16777219# = 0");

  EXPECT_EQ(api.set_real(c, me::parameter(me::P_PERIOD), 1.0), fmiOK);
  EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiDiscard);
  EXPECT_TRUE(me::logged("model cannot be initialized in current state(3)", fmiDiscard));
}

TEST(Initialize, TimeEventsReportedByInitializationAndEventUpdate) {
  struct Case {
    const char* what;
    std::vector<std::pair<unsigned, double>> parameters;
    bool initial_upcoming;
    double initial_next;  // -77: left as the host had it
    bool update_upcoming;
    double update_next;
  };
  const Case cases[] = {
      {"defaults", {}, true, 0.1, true, 0.1},
      {"late start", {{me::P_START, 5.0}}, true, 5.0, true, 5.0},
      {"very late start", {{me::P_START, 5e36}}, false, -77.0, true, 5e36},
      {"beyond every bound", {{me::P_START, 5e37}}, false, -77.0, false, -77.0},
  };
  for (const Case& k : cases) {
    me::Api api;
    host::Instance c = api.instantiate();
    for (const auto& p : k.parameters) ASSERT_EQ(api.set_real(c, me::parameter(p.first), p.second), fmiOK);
    fmiEventInfo info = me::marked_event_info();
    ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK) << k.what;
    EXPECT_EQ(info.upcomingTimeEvent, k.initial_upcoming ? fmiTrue : fmiFalse) << k.what;
    EXPECT_DOUBLE_EQ(info.nextEventTime, k.initial_next) << k.what;

    fmiEventInfo update = me::marked_event_info();
    ASSERT_EQ(api.fmiEventUpdate(c, fmiFalse, &update), fmiOK) << k.what;
    EXPECT_EQ(update.upcomingTimeEvent, k.update_upcoming ? fmiTrue : fmiFalse) << k.what;
    EXPECT_DOUBLE_EQ(update.nextEventTime, k.update_next) << k.what;
  }
}

TEST(EventUpdate, ReportsTheEventRecordWithAndWithoutIntermediateResults) {
  for (fmiBoolean intermediate : {fmiFalse, fmiTrue}) {
    me::Api api;
    host::Instance c = api.instantiate();
    fmiEventInfo info = me::marked_event_info();
    ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
    host::reset_record();
    fmiEventInfo update = me::marked_event_info();
    EXPECT_EQ(api.fmiEventUpdate(c, intermediate, &update), fmiOK);
    EXPECT_EQ(update.iterationConverged, fmiTrue);
    EXPECT_EQ(update.stateValueReferencesChanged, fmiFalse);
    EXPECT_EQ(update.stateValuesChanged, fmiTrue);
    EXPECT_EQ(update.terminateSimulation, fmiFalse);
    EXPECT_EQ(me::count_exact("fmiEventUpdate..."), 1u);
    EXPECT_EQ(me::count_exact("fmiEventUpdate completed"), 1u);
  }
}

TEST(EventUpdate, APeriodStartFoundByTheHostStartsTheNextPulse) {
  me::Api api;
  host::Instance c = api.instantiate();
  fmiEventInfo info = me::marked_event_info();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  double z_before[2], z_after[2];
  ASSERT_EQ(api.fmiSetTime(c, 0.999), fmiOK);
  ASSERT_EQ(api.fmiGetEventIndicators(c, z_before, 2), fmiOK);
  ASSERT_EQ(api.fmiSetTime(c, 1.0 + 1e-9), fmiOK);
  ASSERT_EQ(api.fmiGetEventIndicators(c, z_after, 2), fmiOK);
  EXPECT_NE(z_before[1] > 0, z_after[1] > 0);  // the crossing the host watches for

  fmiEventInfo update = me::marked_event_info();
  ASSERT_EQ(api.fmiEventUpdate(c, fmiFalse, &update), fmiOK);
  EXPECT_EQ(api.real(c, me::auxiliary(5)), 1.0);  // the period counter
  EXPECT_EQ(api.real(c, me::auxiliary(2)), 10.0);  // the pulse is on again
  EXPECT_EQ(update.upcomingTimeEvent, fmiTrue);
  EXPECT_NEAR(update.nextEventTime, 1.1, 1e-8);
  double z[2];
  ASSERT_EQ(api.fmiGetEventIndicators(c, z, 2), fmiOK);
  EXPECT_EQ(z[1] > 0, z_before[1] > 0);  // armed for the next period
}

TEST(EventUpdate, IsRefusedBeforeInitializationAndAfterTermination) {
  me::Api api;
  host::Instance c = api.instantiate();
  for (int round = 0; round < 2; ++round) {
    fmiEventInfo info = me::marked_event_info();
    host::reset_record();
    EXPECT_EQ(api.fmiEventUpdate(c, fmiFalse, &info), fmiDiscard);
    EXPECT_TRUE(me::logged("fmiEventUpdate: initialization must be done before event updating is allowed", fmiDiscard));
    expect_untouched(info);
    if (round == 0) {
      ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
      ASSERT_EQ(api.fmiTerminate(c), fmiOK);
    }
  }
}

TEST(EventUpdate, AFailingPassTerminatesTheInstance) {
  me::Api api;
  host::Instance c = api.instantiate();
  fmiEventInfo info = me::marked_event_info();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  ASSERT_EQ(api.set_real(c, me::parameter(me::P_VD), 0.0), fmiOK);
  host::reset_record();
  EXPECT_EQ(api.fmiEventUpdate(c, fmiFalse, &info), fmiError);
  EXPECT_TRUE(me::logged("event updating: dsblock_ failed, QiErr = 1", fmiError)) << host::all_logs();
  EXPECT_EQ(me::count_exact("fmiTerminateModel"), 1u);
  EXPECT_EQ(me::count_exact("fmiEventUpdate completed"), 0u);
  EXPECT_EQ(api.fmiEventUpdate(c, fmiFalse, &info), fmiDiscard);  // terminated
}

TEST(ModelExchange, StepCompletionTimeAndTermination) {
  me::Api api;
  host::Instance c = api.instantiate();
  fmiEventInfo info = me::marked_event_info();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  host::reset_record();

  fmiBoolean call = 7;
  EXPECT_EQ(api.fmiCompletedIntegratorStep(c, &call), fmiOK);
  EXPECT_EQ(call, fmiFalse);
  EXPECT_TRUE(me::logged("fmiCompletedIntegratorStep", fmiOK));

  EXPECT_EQ(api.fmiSetTime(c, 2.0), fmiOK);
  EXPECT_EQ(api.fmiSetTime(c, 0.5), fmiOK);  // backwards is accepted
  EXPECT_TRUE(me::logged("fmiSetTime to 0.5", fmiOK));

  EXPECT_EQ(api.fmiTerminate(c), fmiOK);
  EXPECT_EQ(api.fmiTerminate(c), fmiOK);
  EXPECT_EQ(me::count_exact("fmiTerminateModel"), 2u);
  EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiDiscard);
  EXPECT_TRUE(me::logged("model cannot be initialized in current state(3)", fmiDiscard));
  EXPECT_EQ(api.fmiSetDebugLogging(c, fmiFalse), fmiOK);
}

TEST(ModelExchange, NonFiniteTimesAreRefusedAndChangeNothing) {
  me::Api api;
  host::Instance c = api.instantiate();
  fmiEventInfo info = me::marked_event_info();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  ASSERT_EQ(api.fmiSetTime(c, 0.5), fmiOK);
  double before[2], after[2];
  ASSERT_EQ(api.fmiGetEventIndicators(c, before, 2), fmiOK);  // they follow the time
  for (double t : {NAN, INFINITY, -INFINITY}) {
    host::reset_record();
    EXPECT_EQ(api.fmiSetTime(c, t), fmiError) << t;
    ASSERT_EQ(host::record().logs.size(), 1u) << host::all_logs();
    EXPECT_EQ(host::record().logs[0].status, fmiError);
    EXPECT_EQ(host::record().logs[0].message.rfind("fmiSetTime: ", 0), 0u) << host::record().logs[0].message;
    ASSERT_EQ(api.fmiGetEventIndicators(c, after, 2), fmiOK);
    EXPECT_EQ(after[0], before[0]);
    EXPECT_EQ(after[1], before[1]);
  }
}

TEST(ModelExchange, NullResultPointersAreRefused) {
  me::Api api;
  host::Instance c = api.instantiate();
  host::reset_record();
  EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, nullptr), fmiError);
  EXPECT_TRUE(me::logged("fmiInitialize: argument eventInfo is NULL", fmiError));
  fmiEventInfo info = me::marked_event_info();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);  // nothing changed by the refusal
  EXPECT_EQ(api.fmiEventUpdate(c, fmiFalse, nullptr), fmiError);
  EXPECT_TRUE(me::logged("fmiEventUpdate: argument eventInfo is NULL", fmiError));
  EXPECT_EQ(api.fmiCompletedIntegratorStep(c, nullptr), fmiError);
  EXPECT_TRUE(me::logged("fmiCompletedIntegratorStep: argument callEventUpdate is NULL", fmiError));
  EXPECT_EQ(api.fmiEventUpdate(c, fmiFalse, &info), fmiOK);
}

// A slave leaves its life-cycle lines and its state to the co-simulation
// functions.
TEST(ModelExchangeInProcess, ASlaveInitializesAndTerminatesQuietly) {
  host::Instance c{fmiInstantiateModel("slave", PELVARIN_GUID, host::me_callbacks(), fmiTrue),
                   fmiFreeModelInstance};
  ModelInstance* inst = static_cast<ModelInstance*>(c.get());
  inst->isCoSimulation = fmiTrue;
  host::reset_record();
  fmiEventInfo info = me::marked_event_info();
  EXPECT_EQ(fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  EXPECT_EQ(inst->state, INSTANCE_INSTANTIATED);
  EXPECT_EQ(me::count_exact("fmiInitialize..."), 0u);
  EXPECT_EQ(me::count_exact("fmiInitialize completed"), 0u);
  EXPECT_EQ(me::count_exact("fmiInitialize"), 1u);
  EXPECT_EQ(info.upcomingTimeEvent, fmiTrue);
  EXPECT_EQ(fmiTerminate(c), fmiOK);
  EXPECT_EQ(inst->state, INSTANCE_TERMINATED);
  EXPECT_EQ(me::count_exact("fmiTerminateModel"), 0u);
}
