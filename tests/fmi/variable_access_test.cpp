// Getters, setters and vector transfers by value reference.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "fmi/fmi_functions.h"
#include "fmi/model_instance.h"
#include "me_api.h"

using namespace pelvarin;

namespace {

struct Initialized {
  me::Api api;
  host::Instance c;
  fmiEventInfo info = me::marked_event_info();
  explicit Initialized(bool initialize = true) {
    c = api.instantiate("va");
    if (initialize) {
      EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK) << host::all_logs();
    }
    host::reset_record();
  }
};

}  // namespace

TEST(VariableAccess, IntegerAndBooleanReadsTruncateTheStoredDouble) {
  Initialized m(false);
  const fmiValueReference vr = me::parameter(me::P_OFFSET);
  struct Case {
    double stored;
    fmiInteger integer;
    fmiBoolean boolean;
  };
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const Case cases[] = {
      {2.9, 2, 2},       {-2.9, -2, -2},        {1.0, 1, fmiTrue}, {0.4, 0, fmiFalse},
      {256.0, 256, 0},   {257.0, 257, 1},       {-1.0, -1, -1},
      {1e12, 2147483647, -1},  // beyond the 32-bit range: saturated, never undefined
      {-1e12, -2147483647 - 1, 0},
      {nan, 0, 0},
  };
  for (const Case& k : cases) {
    ASSERT_EQ(m.api.set_real(m.c, vr, k.stored), fmiOK);
    fmiInteger i = -99;
    fmiBoolean b = 99;
    EXPECT_EQ(m.api.fmiGetInteger(m.c, &vr, 1, &i), fmiOK);
    EXPECT_EQ(m.api.fmiGetBoolean(m.c, &vr, 1, &b), fmiOK);
    EXPECT_EQ(i, k.integer) << k.stored;
    EXPECT_EQ(b, k.boolean) << k.stored;
  }
  host::reset_record();
  ASSERT_EQ(m.api.set_real(m.c, vr, -2.9), fmiOK);
  fmiInteger i;
  fmiBoolean b;
  m.api.fmiGetInteger(m.c, &vr, 1, &i);
  m.api.fmiGetBoolean(m.c, &vr, 1, &b);
  EXPECT_TRUE(me::logged("fmiGetInteger: #i16777221# = -2", fmiOK)) << host::all_logs();
  EXPECT_TRUE(me::logged("fmiGetBoolean: #b16777221# = -2", fmiOK));
}

TEST(VariableAccess, SettersStoreEveryTypeAsADouble) {
  Initialized m(false);
  const fmiValueReference vr[2] = {me::parameter(me::P_OFFSET), me::parameter(me::P_START)};
  const fmiInteger ints[2] = {-3, 7};
  ASSERT_EQ(m.api.fmiSetInteger(m.c, vr, 2, ints), fmiOK);
  EXPECT_EQ(m.api.real(m.c, vr[0]), -3.0);
  EXPECT_EQ(m.api.real(m.c, vr[1]), 7.0);
  const fmiBoolean bools[2] = {fmiTrue, static_cast<fmiBoolean>(-1)};
  ASSERT_EQ(m.api.fmiSetBoolean(m.c, vr, 2, bools), fmiOK);
  EXPECT_EQ(m.api.real(m.c, vr[0]), 1.0);
  EXPECT_EQ(m.api.real(m.c, vr[1]), -1.0);
  EXPECT_TRUE(me::logged("fmiSetInteger: #i16777221# = -3", fmiOK));
  EXPECT_TRUE(me::logged("fmiSetBoolean: #b16777222# = -1", fmiOK));
  const double x[2] = {0.25, 0.5};
  const fmiValueReference xs[2] = {me::state(0), me::state(1)};
  ASSERT_EQ(m.api.fmiSetReal(m.c, xs, 2, x), fmiOK);
  double back[2] = {0, 0};
  EXPECT_EQ(m.api.fmiGetContinuousStates(m.c, back, 2), fmiOK);
  EXPECT_EQ(back[0], 0.25);
  EXPECT_EQ(back[1], 0.5);
}

// References whose category names no vector, or whose index lies beyond it.
TEST(VariableAccess, ReferencesOutsideTheModelAreRefused) {
  Initialized m;
  const fmiValueReference bad[] = {
      0x00000000u, 0x07000000u, 0x0F000000u,  // categories 0, 7, 15
      me::parameter(10),  me::state(2),    me::derivative(2), me::auxiliary(7),
      me::input(0),       me::output(0),   me::parameter(0xFFFFFF),
  };
  for (fmiValueReference vr : bad) {
    const std::string n = std::to_string(vr);
    const fmiValueReference pair[2] = {me::parameter(me::P_OFFSET), vr};
    double r[2] = {-1, -1};
    fmiInteger i[2] = {-1, -1};
    fmiBoolean b[2] = {-1, -1};
    const double stored = m.api.real(m.c, pair[0]);
    host::reset_record();
    EXPECT_EQ(m.api.fmiGetReal(m.c, pair, 2, r), fmiDiscard) << n;
    EXPECT_EQ(m.api.fmiGetInteger(m.c, pair, 2, i), fmiDiscard) << n;
    EXPECT_EQ(m.api.fmiGetBoolean(m.c, pair, 2, b), fmiDiscard) << n;
    EXPECT_EQ(r[0], stored);  // the values before the refused one are handed out
    EXPECT_EQ(r[1], -1.0);
    EXPECT_TRUE(me::logged("fmiGetReal: cannot get #r" + n + "#", fmiDiscard)) << host::all_logs();
    EXPECT_TRUE(me::logged("fmiGetInteger: cannot get #i" + n + "#", fmiDiscard));
    EXPECT_TRUE(me::logged("fmiGetBoolean: cannot get #b" + n + "#", fmiDiscard));

    const double rv[2] = {4.5, 1};
    const fmiInteger iv[2] = {5, 1};
    const fmiBoolean bv[2] = {6, 1};
    EXPECT_EQ(m.api.fmiSetReal(m.c, pair, 2, rv), fmiDiscard) << n;
    EXPECT_EQ(m.api.real(m.c, pair[0]), 4.5);  // stored before the refusal
    EXPECT_EQ(m.api.fmiSetInteger(m.c, pair, 2, iv), fmiDiscard) << n;
    EXPECT_EQ(m.api.fmiSetBoolean(m.c, pair, 2, bv), fmiDiscard) << n;
    EXPECT_EQ(m.api.real(m.c, pair[0]), 6.0);
    EXPECT_TRUE(me::logged("fmiSetReal: cannot set #r" + n + "#  ", fmiDiscard));
    EXPECT_TRUE(me::logged("fmiSetInteger: cannot set #i" + n + "#  ", fmiDiscard));
    EXPECT_TRUE(me::logged("fmiSetBoolean: cannot set #b" + n + "#  ", fmiDiscard));
  }
}

TEST(VariableAccess, ComputedVariablesMayBeWrittenOnlyBeforeInitialization) {
  me::Api api;
  host::Instance c = api.instantiate();
  const fmiValueReference der = me::derivative(0), aux = me::auxiliary(3);
  EXPECT_EQ(api.set_real(c, der, 1.5), fmiOK);
  EXPECT_EQ(api.set_real(c, aux, 2.5), fmiOK);
  fmiEventInfo info = me::marked_event_info();
  ASSERT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  host::reset_record();
  const fmiInteger one = 1;
  const fmiBoolean yes = fmiTrue;
  EXPECT_EQ(api.set_real(c, der, 1.5), fmiDiscard);
  EXPECT_EQ(api.fmiSetInteger(c, &aux, 1, &one), fmiDiscard);
  EXPECT_EQ(api.fmiSetBoolean(c, &der, 1, &yes), fmiDiscard);
  EXPECT_TRUE(me::logged("fmiSetReal: may not change #r587202560# at this stage", fmiDiscard)) << host::all_logs();
  EXPECT_TRUE(me::logged("fmiSetInteger: may not change #i637534211# at this stage", fmiDiscard));
  EXPECT_TRUE(me::logged("fmiSetBoolean: may not change #b587202560# at this stage", fmiDiscard));
  // Parameters and states stay writable.
  EXPECT_EQ(api.set_real(c, me::parameter(me::P_AMPLITUDE), 5.0), fmiOK);
  EXPECT_EQ(api.set_real(c, me::state(0), 0.5), fmiOK);
}

TEST(VariableAccess, StringsAreNotSupported) {
  Initialized m;
  fmiValueReference vr = me::parameter(0);
  fmiString s = "untouched";
  EXPECT_EQ(m.api.fmiGetString(m.c, &vr, 1, &s), fmiDiscard);
  EXPECT_STREQ(s, "untouched");
  EXPECT_EQ(m.api.fmiSetString(m.c, &vr, 1, &s), fmiDiscard);
  EXPECT_TRUE(me::logged("fmiGetString: not supported", fmiWarning));
  EXPECT_TRUE(me::logged("fmiSetString: not supported", fmiWarning));
}

TEST(VariableAccess, EmptyCallsAcceptNullArraysAndNullArraysWithACountAreRefused) {
  Initialized m;
  struct Case {
    const char* name;
    std::function<fmiStatus(size_t)> call;
  };
  const Case cases[] = {
      {"fmiGetReal", [&](size_t n) { return m.api.fmiGetReal(m.c, nullptr, n, nullptr); }},
      {"fmiGetInteger", [&](size_t n) { return m.api.fmiGetInteger(m.c, nullptr, n, nullptr); }},
      {"fmiGetBoolean", [&](size_t n) { return m.api.fmiGetBoolean(m.c, nullptr, n, nullptr); }},
      {"fmiSetReal", [&](size_t n) { return m.api.fmiSetReal(m.c, nullptr, n, nullptr); }},
      {"fmiSetInteger", [&](size_t n) { return m.api.fmiSetInteger(m.c, nullptr, n, nullptr); }},
      {"fmiSetBoolean", [&](size_t n) { return m.api.fmiSetBoolean(m.c, nullptr, n, nullptr); }},
      {"fmiSetContinuousStates", [&](size_t n) { return m.api.fmiSetContinuousStates(m.c, nullptr, n); }},
      {"fmiGetContinuousStates", [&](size_t n) { return m.api.fmiGetContinuousStates(m.c, nullptr, n); }},
      {"fmiGetNominalContinuousStates",
       [&](size_t n) { return m.api.fmiGetNominalContinuousStates(m.c, nullptr, n); }},
      {"fmiGetStateValueReferences", [&](size_t n) { return m.api.fmiGetStateValueReferences(m.c, nullptr, n); }},
      {"fmiGetDerivatives", [&](size_t n) { return m.api.fmiGetDerivatives(m.c, nullptr, n); }},
      {"fmiGetEventIndicators", [&](size_t n) { return m.api.fmiGetEventIndicators(m.c, nullptr, n); }},
  };
  const bool vector_call[] = {false, false, false, false, false, false, true, true, true, true, true, true};
  for (size_t k = 0; k < sizeof cases / sizeof cases[0]; ++k) {
    host::reset_record();
    // The vector transfers report a length of 0 as differing from the model's.
    EXPECT_EQ(cases[k].call(0), vector_call[k] ? fmiWarning : fmiOK) << cases[k].name;
    host::reset_record();
    EXPECT_EQ(cases[k].call(2), fmiError) << cases[k].name;
    ASSERT_EQ(host::record().logs.size(), 1u) << cases[k].name;
    EXPECT_EQ(host::record().logs[0].status, fmiError);
    EXPECT_EQ(host::record().logs[0].message.rfind(std::string(cases[k].name) + ": ", 0), 0u)
        << host::record().logs[0].message;
  }
  double dx[2];
  EXPECT_EQ(m.api.fmiGetDerivatives(m.c, dx, 2), fmiOK);  // still usable
}

TEST(VariableAccess, VectorLengthsOtherThanTheModelsAreReportedAndClipped) {
  Initialized m;
  double out[3] = {-1, -1, -1};
  EXPECT_EQ(m.api.fmiGetDerivatives(m.c, out, 3), fmiWarning);
  EXPECT_TRUE(me::logged("fmiGetDerivatives: argument nx = 3 is incorrect, should be 2", fmiWarning));
  EXPECT_EQ(out[0], 10.0);  // the pulse is on at t = 0: der[0] = amplitude
  EXPECT_EQ(out[1], 0.0);
  EXPECT_EQ(out[2], -1.0);

  double one[2] = {-1, -1};
  EXPECT_EQ(m.api.fmiGetDerivatives(m.c, one, 1), fmiWarning);
  EXPECT_EQ(one[0], 10.0);
  EXPECT_EQ(one[1], -1.0);

  double z[3] = {-1, -1, -1};
  EXPECT_EQ(m.api.fmiGetEventIndicators(m.c, z, 3), fmiWarning);
  EXPECT_TRUE(me::logged("fmiGetEventIndicators: argument ni = 3 is incorrect, should be 2", fmiWarning));
  EXPECT_EQ(z[2], -1.0);

  // A count beyond 32 bits is shown saturated, never as its low word.
  double big[3] = {-1, -1, -1};
  const size_t huge = (size_t{1} << 32) + 2;
  EXPECT_EQ(m.api.fmiGetContinuousStates(m.c, big, huge), fmiWarning);
  EXPECT_TRUE(me::logged("fmiGetContinuousStates: argument nx = 4294967295 is incorrect, should be 2", fmiWarning))
      << host::all_logs();
  EXPECT_EQ(big[2], -1.0);

  const double x[3] = {1.0, 2.0, 3.0};
  EXPECT_EQ(m.api.fmiSetContinuousStates(m.c, x, 3), fmiWarning);
  EXPECT_TRUE(me::logged("fmiSetContinuousStates: argument nx = 3 is incorrect, should be 2", fmiWarning));
  EXPECT_TRUE(me::logged("fmiSetContinuousStates", fmiOK));
  double back[2];
  EXPECT_EQ(m.api.fmiGetContinuousStates(m.c, back, 2), fmiOK);
  EXPECT_EQ(back[0], 1.0);
  EXPECT_EQ(back[1], 2.0);

  fmiValueReference vrx[3] = {0, 0, 7};
  EXPECT_EQ(m.api.fmiGetStateValueReferences(m.c, vrx, 3), fmiWarning);
  EXPECT_EQ(vrx[0], 0x02000000u);
  EXPECT_EQ(vrx[1], 0x02000001u);
  EXPECT_EQ(vrx[2], 7u);
}

TEST(VariableAccess, ReadsBeforeTheFirstInitializationFailUnlessLevelZero) {
  me::Api api;
  host::Instance c = api.instantiate();
  const fmiValueReference aux = me::auxiliary(0);
  double r = -1;
  EXPECT_EQ(api.fmiGetReal(c, &aux, 1, &r), fmiDiscard);
  EXPECT_EQ(r, -1.0);
  EXPECT_TRUE(me::logged("fmiGetReal: dsblock_ failed, QiErr = 1", fmiDiscard)) << host::all_logs();
  EXPECT_EQ(api.fmiGetReal(c, &aux, 1, &r), fmiDiscard);  // fails again, hands out nothing
  EXPECT_EQ(r, -1.0);
  EXPECT_EQ(api.real(c, me::parameter(me::P_VD)), 10.0);  // level 0: no evaluation
  EXPECT_EQ(api.fmiGetReal(c, nullptr, 0, nullptr), fmiOK);

  // The Integer form treats the failure as fatal for the instance.
  fmiInteger i = -1;
  EXPECT_EQ(api.fmiGetInteger(c, &aux, 1, &i), fmiError);
  EXPECT_TRUE(me::logged("fmiGetInteger: dsblock_ failed, QiErr = 1", fmiError));
  host::reset_record();
  fmiEventInfo info = me::marked_event_info();
  EXPECT_EQ(api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiDiscard);
  EXPECT_TRUE(me::logged("model cannot be initialized in current state(3)", fmiDiscard));
  EXPECT_EQ(api.real(c, me::parameter(me::P_VD)), 10.0);  // still answers level-0 reads
}

TEST(VariableAccess, FailedEvaluationsAfterInitialization) {
  struct Case {
    const char* what;
    std::function<fmiStatus(me::Api&, fmiComponent)> read;
    fmiStatus expected;
    const char* message;
    bool terminates;
  };
  const fmiValueReference aux = me::auxiliary(0);
  const Case cases[] = {
      {"real",
       [&](me::Api& a, fmiComponent c) { double v; return a.fmiGetReal(c, &aux, 1, &v); },
       fmiDiscard, "fmiGetReal: dsblock_ failed, QiErr = 1", false},
      {"derivatives",
       [](me::Api& a, fmiComponent c) { double v[2]; return a.fmiGetDerivatives(c, v, 2); },
       fmiDiscard, "fmiGetDerivatives: dsblock_ failed, QiErr = 1", false},
      {"indicators",
       [](me::Api& a, fmiComponent c) { double v[2]; return a.fmiGetEventIndicators(c, v, 2); },
       fmiDiscard, "fmiGetEventIndicators: dsblock_ failed, QiErr = 1", false},
      {"boolean",
       [&](me::Api& a, fmiComponent c) { fmiBoolean v; return a.fmiGetBoolean(c, &aux, 1, &v); },
       fmiError, "fmiGetBoolean: dsblock_ failed, QiErr = 1", true},
  };
  for (const Case& k : cases) {
    Initialized m;
    // A zero volume makes the model divide by zero.
    ASSERT_EQ(m.api.set_real(m.c, me::parameter(me::P_VD), 0.0), fmiOK);
    host::reset_record();
    EXPECT_EQ(k.read(m.api, m.c), k.expected) << k.what;
    EXPECT_FALSE(host::logs_containing("division by zero").empty()) << k.what << host::all_logs();
    EXPECT_EQ(me::count_exact(k.message), 1u) << k.what << host::all_logs();
    EXPECT_EQ(me::count_exact("fmiTerminateModel"), k.terminates ? 1u : 0u) << k.what;
    // Nothing of the failed evaluation passes for current in the next read.
    if (!k.terminates) {
      EXPECT_EQ(k.read(m.api, m.c), k.expected) << k.what;
    }

    fmiEventInfo info = me::marked_event_info();
    ASSERT_EQ(m.api.set_real(m.c, me::parameter(me::P_VD), 10.0), fmiOK);
    EXPECT_EQ(m.api.fmiEventUpdate(m.c, fmiFalse, &info), k.terminates ? fmiDiscard : fmiOK) << k.what;
  }
}

// The level logic, seen through a state written behind the library's back:
// a read evaluates only what is missing, and any setter call makes the next
// read evaluate again.
TEST(VariableAccessInProcess, ARunOfReadsEvaluatesOnce) {
  host::Instance c{fmiInstantiateModel("lv", PELVARIN_GUID, host::me_callbacks(), fmiFalse),
                   fmiFreeModelInstance};
  ModelInstance* inst = static_cast<ModelInstance*>(c.get());
  fmiEventInfo info;
  ASSERT_EQ(fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  const fmiValueReference c_conc = me::auxiliary(0);  // w[0] = x[1] / Vd
  double w0 = -1;
  inst->x[1] = 5.0;
  ASSERT_EQ(fmiSetReal(c, nullptr, 0, nullptr), fmiOK);
  ASSERT_EQ(fmiGetReal(c, &c_conc, 1, &w0), fmiOK);
  EXPECT_EQ(w0, 0.5);
  inst->x[1] = 7.0;  // not seen: nothing asked for a new evaluation
  ASSERT_EQ(fmiGetReal(c, &c_conc, 1, &w0), fmiOK);
  EXPECT_EQ(w0, 0.5);
  ASSERT_EQ(fmiSetReal(c, nullptr, 0, nullptr), fmiOK);  // even an empty write
  ASSERT_EQ(fmiGetReal(c, &c_conc, 1, &w0), fmiOK);
  EXPECT_EQ(w0, 0.7);

  inst->x[1] = 9.0;
  ASSERT_EQ(fmiSetTime(c, 0.0), fmiOK);
  ASSERT_EQ(fmiGetReal(c, &c_conc, 1, &w0), fmiOK);
  EXPECT_EQ(w0, 0.9);

  // Three parameters in one call raise the change counter by three.
  const int counter = inst->intOptions[8];
  const fmiValueReference ps[3] = {me::parameter(1), me::parameter(2), me::parameter(5)};
  const double vs[3] = {10, 10, 0};
  ASSERT_EQ(fmiSetReal(c, ps, 3, vs), fmiOK);
  EXPECT_EQ(inst->intOptions[8], counter + 3);

  // A write refused before it stored anything leaves the level as it was;
  // one refused after storing a value counts as a write.
  ASSERT_EQ(fmiGetReal(c, &c_conc, 1, &w0), fmiOK);
  const int level = inst->computedLevel;
  const fmiValueReference refusedFirst[2] = {0x07000000u, me::parameter(5)};
  EXPECT_EQ(fmiSetReal(c, refusedFirst, 2, vs), fmiDiscard);
  EXPECT_EQ(inst->computedLevel, level);
  const fmiValueReference mixed[2] = {me::parameter(5), 0x07000000u};
  EXPECT_EQ(fmiSetReal(c, mixed, 2, vs), fmiDiscard);
  EXPECT_EQ(inst->computedLevel, 0);
}

namespace {

enum ProbeForm { MODEL_EXCHANGE, SLAVE };
enum ProbeState { FRESH, INITIALIZED, TERMINATED };

class ZeroLengthRequests : public ::testing::TestWithParam<std::tuple<ProbeForm, ProbeState>> {};

}  // namespace

// Careful hosts call every get and set function with no values right after
// instantiation and give up on the unit at any answer but fmiOK.
TEST_P(ZeroLengthRequests, SucceedAndLogNothing) {
  const ProbeForm form = std::get<0>(GetParam());
  const ProbeState state = std::get<1>(GetParam());
  me::Api api;
  auto instantiate_slave =
      api.lib.get<decltype(&Pelvarin_fmiInstantiateSlave)>("Pelvarin_fmiInstantiateSlave");
  auto initialize_slave = api.lib.get<decltype(&Pelvarin_fmiInitializeSlave)>("Pelvarin_fmiInitializeSlave");
  auto terminate_slave = api.lib.get<decltype(&Pelvarin_fmiTerminateSlave)>("Pelvarin_fmiTerminateSlave");
  auto free_slave = api.lib.get<decltype(&Pelvarin_fmiFreeSlaveInstance)>("Pelvarin_fmiFreeSlaveInstance");
  const bool slave = form == SLAVE;
  host::Instance c = slave ? host::Instance{instantiate_slave("probe", PELVARIN_GUID, "", "", 0.0,
                                                              fmiFalse, fmiFalse, host::cs_callbacks(),
                                                              fmiTrue),
                                            free_slave}
                           : api.instantiate("probe");
  ASSERT_NE(c, nullptr);
  fmiEventInfo info = me::marked_event_info();
  if (state != FRESH) {
    ASSERT_EQ(slave ? initialize_slave(c, 0.0, fmiFalse, 0.0) : api.fmiInitialize(c, fmiFalse, 0.0, &info), fmiOK);
  }
  if (state == TERMINATED) {
    ASSERT_EQ(slave ? terminate_slave(c) : api.fmiTerminate(c), fmiOK);
  }
  const size_t logged = host::record().logs.size();
  const std::vector<std::pair<const char*, std::function<fmiStatus()>>> calls = {
      {"fmiGetReal", [&] { return api.fmiGetReal(c, nullptr, 0, nullptr); }},
      {"fmiGetInteger", [&] { return api.fmiGetInteger(c, nullptr, 0, nullptr); }},
      {"fmiGetBoolean", [&] { return api.fmiGetBoolean(c, nullptr, 0, nullptr); }},
      {"fmiGetString", [&] { return api.fmiGetString(c, nullptr, 0, nullptr); }},
      {"fmiSetReal", [&] { return api.fmiSetReal(c, nullptr, 0, nullptr); }},
      {"fmiSetInteger", [&] { return api.fmiSetInteger(c, nullptr, 0, nullptr); }},
      {"fmiSetBoolean", [&] { return api.fmiSetBoolean(c, nullptr, 0, nullptr); }},
      {"fmiSetString", [&] { return api.fmiSetString(c, nullptr, 0, nullptr); }},
  };
  for (const auto& call : calls) EXPECT_EQ(call.second(), fmiOK) << call.first;
  EXPECT_EQ(host::record().logs.size(), logged) << host::all_logs();
  c.reset();  // with the free function of its form
  EXPECT_EQ(host::record().live_blocks, 0);
}

INSTANTIATE_TEST_SUITE_P(EveryForm, ZeroLengthRequests,
                         ::testing::Combine(::testing::Values(MODEL_EXCHANGE, SLAVE),
                                            ::testing::Values(FRESH, INITIALIZED, TERMINATED)));

// Level bits above the event indicators' level would make a read run an
// event iteration; such references are refused like unknown ones.
TEST(VariableAccess, LevelsAboveTheEventIndicatorsAreRefusedAndChangeNoDiscreteState) {
  Initialized m;
  // Past the start of the second period, no event update yet: an event
  // iteration would raise the period counter.
  ASSERT_EQ(m.api.fmiSetTime(m.c, 1.5), fmiOK);
  const fmiValueReference count = me::auxiliary(5);  // "pulse1.count"
  for (unsigned level : {5u, 6u, 7u, 15u}) {
    const fmiValueReference high = (level << 28) | (count & 0x0FFFFFFFu);
    const fmiValueReference pair[2] = {me::parameter(me::P_VD), high};
    const std::string n = std::to_string(high);
    double r[2] = {-1, -1};
    fmiInteger i[2] = {-1, -1};
    fmiBoolean b[2] = {9, 9};
    host::reset_record();
    EXPECT_EQ(m.api.fmiGetReal(m.c, pair, 2, r), fmiDiscard) << level;
    EXPECT_EQ(m.api.fmiGetInteger(m.c, pair, 2, i), fmiDiscard) << level;
    EXPECT_EQ(m.api.fmiGetBoolean(m.c, pair, 2, b), fmiDiscard) << level;
    EXPECT_EQ(r[0], 10.0);
    EXPECT_EQ(i[0], 10);
    EXPECT_EQ(b[0], 10);
    EXPECT_EQ(r[1], -1.0);
    EXPECT_EQ(i[1], -1);
    EXPECT_EQ(b[1], 9);
    EXPECT_TRUE(me::logged("fmiGetReal: cannot get #r" + n + "#", fmiDiscard)) << host::all_logs();
    EXPECT_TRUE(me::logged("fmiGetInteger: cannot get #i" + n + "#", fmiDiscard));
    EXPECT_TRUE(me::logged("fmiGetBoolean: cannot get #b" + n + "#", fmiDiscard));
    EXPECT_EQ(m.api.real(m.c, count), 0.0) << level;
  }
  EXPECT_EQ(m.api.real(m.c, (4u << 28) | (count & 0x0FFFFFFFu)), 0.0);
}

// Every write of time or states makes the next reads evaluate afresh, also a
// write that a later reference refused after values were stored.
TEST(VariableAccess, WritesForceAReevaluation) {
  const fmiValueReference bad = 0x07000000u;
  struct Case {
    const char* what;
    std::function<fmiStatus(me::Api&, fmiComponent)> write;
    fmiStatus status;
    double t, x0, x1;  // the point afterwards
  };
  const Case cases[] = {
      {"time", [](me::Api& a, fmiComponent c) { return a.fmiSetTime(c, 0.5); }, fmiOK, 0.5, 0.0, 0.0},
      {"states at the same time",
       [](me::Api& a, fmiComponent c) {
         const double x[2] = {0.25, 0.5};
         return a.fmiSetContinuousStates(c, x, 2);
       },
       fmiOK, 0.0, 0.25, 0.5},
      {"a state by reference", [](me::Api& a, fmiComponent c) { return a.set_real(c, me::state(0), 0.25); }, fmiOK,
       0.0, 0.25, 0.0},
      {"a partly refused real write",
       [&](me::Api& a, fmiComponent c) {
         const fmiValueReference vr[2] = {me::state(0), bad};
         const double v[2] = {0.25, 1.0};
         return a.fmiSetReal(c, vr, 2, v);
       },
       fmiDiscard, 0.0, 0.25, 0.0},
      {"a partly refused integer write",
       [&](me::Api& a, fmiComponent c) {
         const fmiValueReference vr[2] = {me::state(1), bad};
         const fmiInteger v[2] = {2, 1};
         return a.fmiSetInteger(c, vr, 2, v);
       },
       fmiDiscard, 0.0, 0.0, 2.0},
      {"a partly refused boolean write",
       [&](me::Api& a, fmiComponent c) {
         const fmiValueReference vr[2] = {me::state(0), bad};
         const fmiBoolean v[2] = {fmiTrue, fmiTrue};
         return a.fmiSetBoolean(c, vr, 2, v);
       },
       fmiDiscard, 0.0, 1.0, 0.0},
  };
  // A parameter and an auxiliary in one read: the auxiliary must be current.
  const fmiValueReference read[2] = {me::parameter(me::P_VD), me::auxiliary(0)};
  for (const Case& k : cases) {
    Initialized m;
    double der[2], z[2], pw[2];
    ASSERT_EQ(m.api.fmiGetDerivatives(m.c, der, 2), fmiOK);
    ASSERT_EQ(m.api.fmiGetEventIndicators(m.c, z, 2), fmiOK);
    ASSERT_EQ(m.api.fmiGetReal(m.c, read, 2, pw), fmiOK);
    EXPECT_EQ(k.write(m.api, m.c), k.status) << k.what;
    ASSERT_EQ(m.api.fmiGetDerivatives(m.c, der, 2), fmiOK);
    ASSERT_EQ(m.api.fmiGetEventIndicators(m.c, z, 2), fmiOK);
    ASSERT_EQ(m.api.fmiGetReal(m.c, read, 2, pw), fmiOK);
    // The pulse is on; transfer 10, elimination over volume 1.
    EXPECT_DOUBLE_EQ(der[0], 10.0 - 10.0 * k.x0) << k.what;
    EXPECT_DOUBLE_EQ(der[1], 10.0 * k.x0 - k.x1) << k.what;
    EXPECT_NEAR(z[1], 1.0 - k.t, 1e-9) << k.what;
    EXPECT_DOUBLE_EQ(pw[1], k.x1 / 10.0) << k.what;
  }
}
