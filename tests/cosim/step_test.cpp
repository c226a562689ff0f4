// fmiDoStep as a master sees it: communication points, step sizes, the stop
// time, input changes between steps, failures and repeatability.
#include <cfloat>
#include <cstdio>
#include <functional>
#include <vector>

#include "slave_fixture.h"
#include "support/digest.h"

using namespace cosim_test;

namespace {

const char* const STATISTICS = "Mstep Integrator Statistics";

// A slave, initialized at tStart and advanced to tNow.
struct Stepped {
  SlaveApi api;
  host::Instance c;

  Stepped(double tStart, double tNow, fmiBoolean stopDefined = fmiFalse, double tStop = 0.0) {
    c = api.make();
    EXPECT_NE(nullptr, c);
    EXPECT_EQ(fmiOK, api.initialize(c, tStart, stopDefined, tStop));
    if (tNow > tStart) {
      EXPECT_EQ(fmiOK, api.do_step(c, tStart, tNow - tStart, fmiTrue));
    }
  }
  double time() { return api.time(c); }
};

TEST(CommunicationPoint, ADifferenceBelowTheToleranceIsAbsorbedIntoTheStep) {
  Stepped s(0.0, 1.0);
  const double cp = 1.0 + 0x1p-50;  // below (|1.0| + 1) * 2^-50
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, cp, 0.5, fmiTrue));
  EXPECT_EQ(cp + 0.5, s.time());
}

TEST(CommunicationPoint, ALargerDifferenceIsRefusedAndChangesNothing) {
  Stepped s(0.0, 1.0);
  const double x0 = s.api.real(s.c, VR_X0);
  EXPECT_EQ(fmiDiscard, s.api.do_step(s.c, 1.0 + 1e-10, 0.5, fmiTrue));
  std::vector<host::LogRecord> refusal = host::logs_containing(
      "fmiDoStep: currentCommunicationPoint = 1.0000000001000000, expected 1.0000000000000000");
  ASSERT_EQ(1u, refusal.size());
  EXPECT_EQ(fmiDiscard, refusal[0].status);
  EXPECT_EQ(1.0, s.time());
  EXPECT_EQ(x0, s.api.real(s.c, VR_X0));
  EXPECT_EQ(fmiOK, s.api.do_step(s.c, 1.0, 0.5, fmiTrue));
}

struct StopCase {
  double h;
  fmiStatus status;
  double endTime;
  const char* message;  // expected at the start of one log line, or nullptr
};

class StopTime : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopTime, FromPointNineWithStopTimeOne) {
  const StopCase& tc = GetParam();
  Stepped s(0.0, 0.9, fmiTrue, 1.0);
  const size_t before = host::record().logs.size();
  EXPECT_EQ(tc.status, s.api.do_step(s.c, 0.9, tc.h, fmiTrue));
  EXPECT_EQ(tc.endTime, s.time());
  long reducing = 0, refused = 0;
  bool found = tc.message == nullptr;
  for (size_t i = before; i < host::record().logs.size(); ++i) {
    const std::string& m = host::record().logs[i].message;
    if (m.find("Reducing communicationStepSize") != std::string::npos) ++reducing;
    if (m.find("trying to compute past tStop") != std::string::npos) ++refused;
    if (tc.message && m.rfind(tc.message, 0) == 0) found = true;
  }
  EXPECT_TRUE(found) << host::all_logs();
  EXPECT_EQ(tc.message ? 1 : 0, reducing + refused);
}

INSTANTIATE_TEST_SUITE_P(
    Slave, StopTime,
    ::testing::Values(
        // 0.9 + h computes to 1.000000000000001: cut back to the stop time.
        StopCase{0.100000000000001, fmiOK, 1.0, "t = 0.900000: Reducing communicationStepSize 1."},
        StopCase{0.2, fmiDiscard, 0.9,
                 "fmiDoStep: trying to compute past tStop = 1.000000, to 1.1000000000000001,  at "
                 "t = 0.900000"},
        StopCase{0.1, fmiOK, 1.0, nullptr}));

TEST(StopTime, TheReductionMessageNamesTheExcess) {
  Stepped s(0.0, 0.9, fmiTrue, 1.0);
  const double h = 0.100000000000001;
  const double over = (0.9 + h) - 1.0;
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, 0.9, h, fmiTrue));
  char expected[200];
  std::snprintf(expected, sizeof expected,
                "t = 0.900000: Reducing communicationStepSize %.16e s to avoid passing tStop.\n",
                over);
  std::vector<host::LogRecord> lines = host::logs_containing(expected);
  ASSERT_EQ(1u, lines.size()) << host::all_logs();
  EXPECT_EQ(fmiOK, lines[0].status);
}

// Both time tolerances at their exact limits, from t = 0.5 with stop time 1:
// a point off by (|t| + 1) * 2^-50 is refused, a target beyond the stop time
// by exactly 2 * (|tStop| + 1) * 2^-50 is still cut back.
struct ToleranceCase {
  double pointOffset;
  double h;
  fmiStatus status;
  double endTime;
};

class ToleranceLimits : public ::testing::TestWithParam<ToleranceCase> {};

TEST_P(ToleranceLimits, AreExact) {
  const ToleranceCase& tc = GetParam();
  Stepped s(0.0, 0.5, fmiTrue, 1.0);
  EXPECT_EQ(tc.status, s.api.do_step(s.c, 0.5 + tc.pointOffset, tc.h, fmiTrue))
      << host::all_logs();
  EXPECT_EQ(tc.endTime, s.time());
}

INSTANTIATE_TEST_SUITE_P(
    Slave, ToleranceLimits,
    ::testing::Values(ToleranceCase{1.5 * 0x1p-50, 0.25, fmiDiscard, 0.5},
                      ToleranceCase{1.5 * 0x1p-50 - 0x1p-53, 0.25, fmiOK,
                                    0.75 + 1.5 * 0x1p-50 - 0x1p-53},
                      ToleranceCase{0.0, 0.5 + 0x1p-48, fmiOK, 1.0},
                      ToleranceCase{0.0, 0.5 + 0x1p-48 + 0x1p-52, fmiDiscard, 0.5}));

TEST(StopTime, AStartJustBeyondTheStopTimeNeverRunsTheTimeBackwards) {
  const double start = std::nextafter(1.0, 2.0);
  Stepped s(start, start, fmiTrue, 1.0);
  EXPECT_EQ(fmiOK, s.api.do_step(s.c, start, 1e-16, fmiTrue));
  EXPECT_EQ(start, s.time());
}

TEST(StepSize, ZeroRunsAnEventIterationOnly) {
  Stepped s(0.0, 0.3);
  const double x0 = s.api.real(s.c, VR_X0);
  const double x1 = s.api.real(s.c, VR_X1);
  const long closing = count_logs("fmiDoStep");
  EXPECT_EQ(fmiOK, s.api.do_step(s.c, 0.3, 0.0, fmiFalse));
  EXPECT_EQ(closing, count_logs("fmiDoStep"));
  EXPECT_EQ(0.3, s.time());
  EXPECT_EQ(x0, s.api.real(s.c, VR_X0));
  EXPECT_EQ(x1, s.api.real(s.c, VR_X1));
}

TEST(StepSize, NewStepFalseIsRefused) {
  Stepped s(0.0, 0.3);
  EXPECT_EQ(fmiDiscard, s.api.do_step(s.c, 0.3, 0.1, fmiFalse));
  EXPECT_EQ(1, count_logs("fmiDoStep: newStep = fmiFalse not supported"));
  EXPECT_EQ(0.3, s.time());
}

struct BadArguments {
  double cp;  // offset from the current time, or a non-finite point
  double h;
};

class RefusedArguments : public ::testing::TestWithParam<BadArguments> {};

TEST_P(RefusedArguments, AreDiscardedWithoutChangingTheSlave) {
  const BadArguments& tc = GetParam();
  Stepped s(0.0, 0.5);
  const double x0 = s.api.real(s.c, VR_X0);
  const double cp = std::isfinite(tc.cp) ? 0.5 + tc.cp : tc.cp;
  const size_t before = host::record().logs.size();
  EXPECT_EQ(fmiDiscard, s.api.do_step(s.c, cp, tc.h, fmiTrue));
  ASSERT_GT(host::record().logs.size(), before);
  const host::LogRecord& r = host::record().logs.back();
  EXPECT_EQ(fmiDiscard, r.status);
  EXPECT_EQ(0u, r.message.rfind("fmiDoStep: ", 0)) << r.message;
  EXPECT_EQ(0.5, s.time());
  EXPECT_EQ(x0, s.api.real(s.c, VR_X0));
  // The slave goes on as before.
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, 0.5, 1.0, fmiTrue));
  ClosedForm::State e = ClosedForm().solve({0.0, 0.0}, 0.0, 1.5);
  EXPECT_NEAR(e.x0, s.api.real(s.c, VR_X0), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Slave, RefusedArguments,
                         ::testing::Values(BadArguments{0.0, -0.1}, BadArguments{0.0, -1e-300},
                                           BadArguments{0.0, NAN}, BadArguments{0.0, INFINITY},
                                           BadArguments{0.0, 1e308 * 10}, BadArguments{NAN, 0.1},
                                           BadArguments{INFINITY, 0.1},
                                           BadArguments{-INFINITY, 0.0}));

// The master runs with step dt from 0 to tEnd, calls change(t) before the
// step that starts at tChange, and compares every point with the model.
void run_with_change(double dt, double tEnd, double tChange, fmiValueReference vr, double value,
                     ClosedForm afterModel, bool stateChange) {
  Stepped s(0.0, 0.0);
  ClosedForm before;
  ClosedForm::State e{0.0, 0.0};
  double t = 0.0;
  for (long i = 1; t < tEnd - 1e-12; ++i) {
    if (std::fabs(t - tChange) < 1e-12) {
      s.api.set(s.c, vr, value);
      if (stateChange) e.x0 = value;
    }
    const double next = i * dt;
    ASSERT_EQ(fmiOK, s.api.do_step(s.c, t, next - t, fmiTrue)) << host::all_logs();
    e = (t < tChange - 1e-12 ? before : afterModel).solve(e, t, next);
    t = next;
    ASSERT_NEAR(e.x0, s.api.real(s.c, VR_X0), 1e-3) << "t = " << t;
    ASSERT_NEAR(e.x1, s.api.real(s.c, VR_X1), 1e-3) << "t = " << t;
  }
}

TEST(InputChanges, AStateWrittenBetweenStepsRestartsTheIntegratorFromIt) {
  run_with_change(0.05, 2.0, 0.5, VR_X0, 2.0, ClosedForm(), true);
}

TEST(InputChanges, AParameterChangedMidPulseActsFromThatPointOn) {
  ClosedForm stronger;
  stronger.amplitude = 20.0;
  run_with_change(0.01, 2.5, 0.05, parameter(P_AMPLITUDE), 20.0, stronger, false);
}

TEST(Failure, AFailedEventIterationTerminatesTheSlaveAndReportsStatisticsOnce) {
  Stepped s(0.0, 0.5);
  s.api.set(s.c, parameter(P_VD), 0.0);  // the next evaluation divides by zero
  EXPECT_EQ(fmiError, s.api.do_step(s.c, 0.5, 0.5, fmiTrue));
  EXPECT_EQ(1, count_logs("event updating: dsblock_ failed, QiErr = 1"));
  EXPECT_EQ(1, count_logs(STATISTICS));
  EXPECT_EQ(0.5, s.time());
  EXPECT_EQ(fmiError, s.api.do_step(s.c, 0.5, 0.5, fmiTrue));
  EXPECT_EQ(1, count_logs("fmiDoStep: model terminated in previous step"));
  EXPECT_EQ(fmiWarning, s.api.terminate(s.c));
  EXPECT_EQ(1, count_logs(STATISTICS));
  // A reset brings the start values back and the slave runs again.
  EXPECT_EQ(fmiOK, s.api.reset(s.c));
  EXPECT_EQ(fmiOK, s.api.initialize(s.c, 0.0, fmiFalse, 0.0));
  EXPECT_EQ(fmiOK, s.api.do_step(s.c, 0.0, 1.0, fmiTrue));
}

TEST(Failure, AnIntegrationFailureTerminatesTheSlaveAndReportsStatisticsOnce) {
  Stepped s(0.0, 0.05);
  // No finite derivative from here on: the integrator gives up.
  s.api.set(s.c, parameter(P_AMPLITUDE), NAN);
  EXPECT_EQ(fmiError, s.api.do_step(s.c, 0.05, 0.5, fmiTrue));
  EXPECT_EQ(1, count_logs("fmiDoStep: integration_step failed"));
  EXPECT_EQ(1, count_logs("INTEGRATOR_ERROR: Mstep() failed with flag = "));
  EXPECT_EQ(1, count_logs(STATISTICS));
  EXPECT_EQ(fmiError, s.api.do_step(s.c, s.time(), 0.5, fmiTrue));
  EXPECT_EQ(1, count_logs(STATISTICS));
}

std::vector<double> run_and_record(SlaveApi& api, fmiComponent c) {
  std::vector<double> out;
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, 3.0));
  for (int i = 0; i < 30; ++i) {
    const double t = i * 0.1;
    EXPECT_EQ(fmiOK, api.do_step(c, t, (i + 1) * 0.1 - t, fmiTrue));
    out.push_back(api.real(c, VR_X0));
    out.push_back(api.real(c, VR_X1));
    out.push_back(api.time(c));
  }
  return out;
}

TEST(Repeatability, ResetAndRerunReproduceARunBitForBit) {
  SlaveApi api;
  host::Instance c = api.make(fmiFalse);
  std::vector<double> first = run_and_record(api, c);
  ASSERT_EQ(fmiOK, api.terminate(c));
  ASSERT_EQ(fmiOK, api.reset(c));
  std::vector<double> second = run_and_record(api, c);
  ASSERT_EQ(first.size(), second.size());
  for (size_t i = 0; i < first.size(); ++i) EXPECT_EQ(first[i], second[i]) << "entry " << i;
  // And once more, resetting an initialized slave.
  ASSERT_EQ(fmiOK, api.reset(c));
  std::vector<double> third = run_and_record(api, c);
  EXPECT_EQ(first, third);
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

// A step shorter than the stepper's time tolerance (|t| + 1) * 2^-50 ends at
// its target without the integrator, at any time.
struct TinyCase {
  double t;
  double h;
};

class TinySteps : public ::testing::TestWithParam<TinyCase> {};

TEST_P(TinySteps, EndAtTheirTargetWithoutTheIntegrator) {
  const TinyCase& tc = GetParam();
  Stepped s(tc.t, tc.t);
  const double target = tc.t + tc.h;
  ASSERT_GT(target, tc.t);
  const size_t before = host::record().logs.size();
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, tc.t, tc.h, fmiTrue)) << host::all_logs();
  EXPECT_EQ(target, s.time());
  for (size_t i = before; i < host::record().logs.size(); ++i)
    EXPECT_EQ(fmiOK, host::record().logs[i].status) << host::record().logs[i].message;
  EXPECT_EQ(0, count_logs("Internal step too small"));
  // The run goes on normally.
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, target, tc.t + 1.0 - target, fmiTrue));
  ClosedForm::State e = ClosedForm().solve({0.0, 0.0}, tc.t, tc.t + 1.0);
  EXPECT_NEAR(e.x0, s.api.real(s.c, VR_X0), 1e-4);
  EXPECT_NEAR(e.x1, s.api.real(s.c, VR_X1), 1e-4);
}

INSTANTIATE_TEST_SUITE_P(Slave, TinySteps,
                         ::testing::Values(TinyCase{0.0, 1e-300}, TinyCase{0.0, 0x1p-51},
                                           TinyCase{1.0, 0x1p-52},  // one ulp
                                           TinyCase{1.0, 0x1p-50}, TinyCase{0.05, 1e-17},
                                           TinyCase{1000.25, 0x1p-42}));

// After a failed step a master reads the last accepted solution, finite,
// and auxiliaries evaluated for it.
struct FailureCase {
  const char* what;
  fmiValueReference vr;
  double value;
};

class FailedStep : public ::testing::TestWithParam<FailureCase> {};

TEST_P(FailedStep, LeavesTheLastAcceptedFiniteStates) {
  const FailureCase& tc = GetParam();
  Stepped s(0.0, 0.05);
  s.api.set(s.c, tc.vr, tc.value);
  const double x0 = s.api.real(s.c, VR_X0);
  const double x1 = s.api.real(s.c, VR_X1);
  EXPECT_EQ(fmiError, s.api.do_step(s.c, 0.05, 0.5, fmiTrue));
  EXPECT_EQ(1, count_logs("fmiDoStep: integration_step failed")) << host::all_logs();
  EXPECT_EQ(1, count_logs(STATISTICS));
  const double y0 = s.api.real(s.c, VR_X0);
  const double y1 = s.api.real(s.c, VR_X1);
  EXPECT_TRUE(std::isfinite(y0) && std::isfinite(y1)) << y0 << " " << y1;
  // The right-hand side failed at the step's start: nothing was accepted since.
  EXPECT_EQ(x0, y0);
  EXPECT_EQ(x1, y1);
  EXPECT_EQ(0.05, s.time());
  EXPECT_EQ(y1 / 10.0, s.api.real(s.c, auxiliary(0)));  // "kompartment1.C"
}

INSTANTIATE_TEST_SUITE_P(
    Slave, FailedStep,
    ::testing::Values(FailureCase{"a NaN parameter", parameter(P_AMPLITUDE), NAN},
                      FailureCase{"a NaN rate", parameter(P_TRANSFER), NAN},
                      FailureCase{"an overflowing derivative", VR_X0, 1e308}));

TEST(Failure, EventsThatMakeNoProgressInTimeEndTheStep) {
  SlaveApi api;
  host::Instance c = api.make(fmiFalse);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.5, fmiTrue));
  // Every period begins with a state event: from here on they follow each
  // other as closely as the root finding can tell times apart.
  api.set(c, parameter(P_PERIOD), 1e-300);
  EXPECT_EQ(fmiError, api.do_step(c, 0.5, 0.5, fmiTrue));
  std::vector<host::LogRecord> stop = host::logs_containing("fmiDoStep: 1000 events from t = ");
  ASSERT_EQ(1u, stop.size()) << host::all_logs();
  EXPECT_EQ(fmiError, stop[0].status);
  EXPECT_EQ("fmiDoStep: 1000 events from t = 5.0000000000000555e-01 to 5.0000000000555112e-01 "
            "came no further apart than event times are resolved: no progress in time, so the "
            "step to 1.0000000000000000e+00 stops there",
            stop[0].message);
  EXPECT_EQ(1, count_logs("fmiDoStep: integration_step failed"));
  EXPECT_EQ(fmiError, api.do_step(c, api.time(c), 0.5, fmiTrue));
  EXPECT_EQ(1, count_logs("fmiDoStep: model terminated in previous step"));
  EXPECT_TRUE(std::isfinite(api.real(c, VR_X0)));
  EXPECT_TRUE(std::isfinite(api.real(c, VR_X1)));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

// A parameter so extreme that the integrator cannot go on: the default
// experiment (communication steps of 10 ms) ends at one step with fmiError,
// and every line the logger received up to there is as recorded: the
// integrator's own failure, and before it the warnings, evaluations and
// statistics that its arithmetic gave.
struct ExtremeCase {
  const char* what;
  fmiValueReference vr;
  double value;
  long failingStep;               // index of the communication step that fails
  std::vector<const char*> notOk; // the lines not logged with fmiOK, "<status>|<text>"
  const char* logs;               // digest of every line, "<status>|<name>|<category>|<text>"
};

class ExtremeParameter : public ::testing::TestWithParam<ExtremeCase> {};

TEST_P(ExtremeParameter, EndsTheDefaultExperimentWithTheRecordedFailure) {
  const ExtremeCase& tc = GetParam();
  host::reset_record();
  SlaveApi api;
  host::Instance c = api.make();
  api.set(c, tc.vr, tc.value);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, model_vars::kDefaultStopTime));
  const long steps = 1000;
  const double h = model_vars::kDefaultStopTime / steps;
  long k = 0;
  fmiStatus status = fmiOK;
  for (; k < steps && status == fmiOK; ++k) {
    const double t = k * h;
    status = api.do_step(c, t, k + 1 == steps ? model_vars::kDefaultStopTime - t : h, fmiTrue);
  }
  EXPECT_EQ(fmiError, status) << tc.what;
  EXPECT_EQ(tc.failingStep, k - 1) << tc.what;

  digest::Digest lines;
  std::vector<std::string> notOk;
  for (const host::LogRecord& r : host::record().logs) {
    const std::string level = std::to_string(static_cast<int>(r.status));
    lines.add(digest::without_clock_figures(level + "|" + r.instanceName + "|" + r.category + "|" +
                                            r.message));
    if (r.status != fmiOK) notOk.push_back(level + "|" + r.message);
  }
  EXPECT_EQ(std::vector<std::string>(tc.notOk.begin(), tc.notOk.end()), notOk) << tc.what;
  EXPECT_EQ(tc.logs, lines.text()) << tc.what;
}

INSTANTIATE_TEST_SUITE_P(
    Slave, ExtremeParameter,
    ::testing::Values(
        // The norm of the second derivative overflows: the first step is at
        // its lower bound, and the run fails at the end of a pulse.
        ExtremeCase{"kompartment1.transfer 1e150", parameter(P_TRANSFER), 1e150, 510,
                    {"1|MSTEP: Mstep failed with MS_CONV_FAILURE:\n At t = 5.1 and "
                     "h = 4.32834e-19, the corrector convergence test failed repeatedly or with "
                     "|h| = hmin.",
                     "3|INTEGRATOR_ERROR: Mstep() failed with flag = MS_CONV_FAILURE",
                     "3|fmiDoStep: integration_step failed"},
                    "9c2256678dc190d8/2246"},
        // The derivative is so large that the first step is zero.
        ExtremeCase{"pulse1.offset -DBL_MAX", parameter(P_OFFSET), -DBL_MAX, 0,
                    {"1|MSTEP: Mstep failed with NONE:\n Internal t = 0 and h = 0 are such "
                     "that t + h = t on the next step. The solver will continue anyway.",
                     "1|MSTEP: Mstep failed with MS_REPTD_RHSFUNC_ERR:\n At t = 0 repeated "
                     "recoverable right-hand side function errors.",
                     "3|INTEGRATOR_ERROR: Mstep() failed with flag = MS_REPTD_RHSFUNC_ERR",
                     "3|fmiDoStep: integration_step failed"},
                    "98ceb1676bee8a20/20"}));

// A pulse end on a communication point is handled at the start of the next
// step; what is read at the point belongs to its time and states.
TEST(Events, ValuesReadAtATimeEventOnACommunicationPoint) {
  Stepped s(0.0, 0.05);
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, 0.05, 0.05, fmiTrue));
  ASSERT_EQ(0.1, s.time());
  ClosedForm model;
  ClosedForm::State e = model.solve({0.0, 0.0}, 0.0, 0.1);
  const double x0 = s.api.real(s.c, VR_X0);
  const double x1 = s.api.real(s.c, VR_X1);
  EXPECT_NEAR(e.x0, x0, 1e-4);
  EXPECT_NEAR(e.x1, x1, 1e-4);
  EXPECT_DOUBLE_EQ(x1 / 10.0, s.api.real(s.c, auxiliary(0)));
  EXPECT_DOUBLE_EQ(-10.0 * x0, s.api.real(s.c, auxiliary(1)));
  EXPECT_EQ(10.0, s.api.real(s.c, auxiliary(2)));  // the pulse, not yet ended
  EXPECT_EQ(0.0, s.api.real(s.c, auxiliary(5)));
  ASSERT_EQ(fmiOK, s.api.do_step(s.c, 0.1, 0.05, fmiTrue));
  e = model.solve({0.0, 0.0}, 0.0, 0.15);
  EXPECT_NEAR(e.x0, s.api.real(s.c, VR_X0), 1e-4);
  EXPECT_EQ(0.0, s.api.real(s.c, auxiliary(2)));
  EXPECT_DOUBLE_EQ(-10.0 * s.api.real(s.c, VR_X0), s.api.real(s.c, auxiliary(1)));
}

// One line of the statistics report, as a number.
long statistic(const std::string& line) {
  std::vector<host::LogRecord> reports = host::logs_containing(STATISTICS);
  EXPECT_EQ(1u, reports.size());
  if (reports.empty()) return -1;
  const std::string& text = reports.back().message;
  const size_t at = text.find(line);
  if (at == std::string::npos) return -1;
  return std::stol(text.substr(text.find(':', at) + 1));
}

// The statistics count the internal steps of the segments that a restart
// ended: over a run without events, any restart shows.
long internal_steps_of_event_free_run(double dt, double tEnd) {
  host::reset_record();
  SlaveApi api;
  host::Instance c = api.make();
  api.set(c, parameter(P_PERIOD), 1e6);  // one pulse, on all the run
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  const long n = std::lround(tEnd / dt);
  for (long i = 0; i < n; ++i) {
    const double t = i * dt;
    EXPECT_EQ(fmiOK, api.do_step(c, t, (i + 1) * dt - t, fmiTrue));
  }
  ClosedForm model;
  model.period = 1e6;
  model.width = 1e5;
  EXPECT_NEAR(model.solve({0.0, 0.0}, 0.0, tEnd).x1, api.real(c, VR_X1), 1e-3);
  EXPECT_EQ(fmiOK, api.terminate(c));
  api.free_instance(c.release());
  return statistic("Number of internal steps");
}

// Between events the integrator is never restarted, however small the
// communication steps.
TEST(CommunicationPoints, DoNotRestartTheIntegrator) {
  EXPECT_EQ(0, internal_steps_of_event_free_run(1.0, 3.0));
  EXPECT_EQ(0, internal_steps_of_event_free_run(0.001, 3.0));
}

// Any write between steps restarts the integrator at the next step, which
// counts the first segment's steps.
TEST(InputChanges, IntegerAndBooleanWritesBetweenStepsRestartTheIntegrator) {
  struct Case {
    const char* what;
    std::function<fmiStatus(SlaveApi&, fmiComponent)> write;
    bool restarts;
  };
  const fmiValueReference offset = parameter(P_OFFSET);
  const Case cases[] = {
      {"none", [](SlaveApi&, fmiComponent) { return fmiOK; }, false},
      {"real", [&](SlaveApi& a, fmiComponent c) { const double v = 0.0; return a.set_real(c, &offset, 1, &v); }, true},
      {"integer", [&](SlaveApi& a, fmiComponent c) { const fmiInteger v = 0; return a.set_integer(c, &offset, 1, &v); }, true},
      {"boolean", [&](SlaveApi& a, fmiComponent c) { const fmiBoolean v = fmiFalse; return a.set_boolean(c, &offset, 1, &v); }, true},
  };
  for (const Case& k : cases) {
    host::reset_record();
    SlaveApi api;
    host::Instance c = api.make();
    ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
    ASSERT_EQ(fmiOK, api.do_step(c, 0.0, 0.02, fmiTrue));
    ASSERT_EQ(fmiOK, k.write(api, c)) << k.what;
    ASSERT_EQ(fmiOK, api.do_step(c, 0.02, 0.02, fmiTrue));
    ASSERT_EQ(fmiOK, api.terminate(c));
    api.free_instance(c.release());
    if (k.restarts) {
      EXPECT_GT(statistic("Number of internal steps"), 0) << k.what;
    } else {
      EXPECT_EQ(0, statistic("Number of internal steps")) << k.what;
    }
  }
}

// A write that stored a state before a later reference was refused still
// restarts the integrator from what it stored.
TEST(InputChanges, APartlyRefusedWriteBetweenStepsIsNotForgotten) {
  const fmiValueReference vr[2] = {VR_X0, 0x07000000u};
  struct Case {
    const char* what;
    std::function<fmiStatus(SlaveApi&, fmiComponent)> write;
    double x0;
  };
  const Case cases[] = {
      {"real", [&](SlaveApi& a, fmiComponent c) { const double v[2] = {2.0, 0.0}; return a.set_real(c, vr, 2, v); }, 2.0},
      {"integer", [&](SlaveApi& a, fmiComponent c) { const fmiInteger v[2] = {3, 0}; return a.set_integer(c, vr, 2, v); }, 3.0},
      {"boolean", [&](SlaveApi& a, fmiComponent c) { const fmiBoolean v[2] = {fmiTrue, 0}; return a.set_boolean(c, vr, 2, v); }, 1.0},
  };
  for (const Case& k : cases) {
    Stepped s(0.0, 0.5);
    const double x1 = s.api.real(s.c, VR_X1);
    EXPECT_EQ(fmiDiscard, k.write(s.api, s.c)) << k.what;
    ASSERT_EQ(fmiOK, s.api.do_step(s.c, 0.5, 0.5, fmiTrue));
    ClosedForm::State e = ClosedForm().solve({k.x0, x1}, 0.5, 1.0);
    EXPECT_NEAR(e.x0, s.api.real(s.c, VR_X0), 1e-4) << k.what;
    EXPECT_NEAR(e.x1, s.api.real(s.c, VR_X1), 1e-4) << k.what;
  }
}

// A host that moves a slave's time or states with the model-exchange calls
// between steps gets the integrator restarted from there, as after a write:
// the slave goes on from the new time and states, without a warning. With
// new states it follows the model from there. A moved time skips the
// crossings that would have moved the pulse on, so the pulse stays as it
// was: its first step is 0.1 s of the model from the states it had, with the
// pulse on or off.
TEST(InputChanges, TimeAndStatesMovedByTheHostRestartTheIntegratorFromThere) {
  struct Case {
    const char* what;
    double time;                 // the slave's time after the move
    std::vector<double> states;  // empty: the states stay
    bool closedForm;
  };
  const Case cases[] = {
      {"time set back", 0.5, {}, false},
      {"time set forward", 3.7, {}, false},
      {"states set", 2.0, {5.0, 5.0}, true},
  };
  for (const Case& k : cases) {
    host::reset_record();
    Stepped s(0.0, 2.0);
    const auto set_states =
        s.api.lib.get<decltype(&Pelvarin_fmiSetContinuousStates)>("Pelvarin_fmiSetContinuousStates");
    ClosedForm::State e{s.api.real(s.c, VR_X0), s.api.real(s.c, VR_X1)};
    if (k.time != 2.0) {
      ASSERT_EQ(fmiOK, s.api.set_time(s.c, k.time)) << k.what;
    }
    if (!k.states.empty()) {
      ASSERT_EQ(fmiOK, set_states(s.c, k.states.data(), k.states.size())) << k.what;
      e = {k.states[0], k.states[1]};
    }
    host::reset_record();
    double t = k.time;
    for (int i = 0; i < 15; ++i, t += 0.1) {
      const ClosedForm::State before{s.api.real(s.c, VR_X0), s.api.real(s.c, VR_X1)};
      ASSERT_EQ(fmiOK, s.api.do_step(s.c, t, 0.1, fmiTrue)) << k.what << " at t = " << t;
      const ClosedForm::State after{s.api.real(s.c, VR_X0), s.api.real(s.c, VR_X1)};
      EXPECT_NE(before.x1, after.x1) << k.what << " at t = " << t;
      if (!k.closedForm && i == 0) {
        const ClosedForm model;
        const ClosedForm::State off = model.advance(before, 0.0, 0.1);
        const ClosedForm::State on = model.advance(before, model.amplitude, 0.1);
        const bool asOff = std::fabs(off.x0 - after.x0) < 1e-3 && std::fabs(off.x1 - after.x1) < 1e-3;
        const bool asOn = std::fabs(on.x0 - after.x0) < 1e-3 && std::fabs(on.x1 - after.x1) < 1e-3;
        EXPECT_TRUE(asOff || asOn) << k.what << ": " << after.x0 << " " << after.x1;
      }
      if (k.closedForm) {
        e = ClosedForm().solve(e, t, t + 0.1);
        ASSERT_NEAR(e.x0, after.x0, 1e-3) << k.what << " at t = " << t + 0.1;
        ASSERT_NEAR(e.x1, after.x1, 1e-3) << k.what << " at t = " << t + 0.1;
      }
    }
    for (const host::LogRecord& r : host::record().logs) {
      EXPECT_EQ(fmiOK, r.status) << k.what << ": " << r.message;
    }
  }
}

// What a master saw of the default experiment in communication steps of
// 0.1 s, at each point k * 0.1: the states, bit for bit, and every log line
// but those of fmiSetTime. setTime: the master sets the slave's time to k * 0.1
// before each step, which the slave's own sum of steps misses by a few units
// in the last place at many of the points (counted in moved).
struct MasterRun {
  std::vector<double> states;
  std::vector<std::string> logs;
  long moved = 0;
};

MasterRun default_experiment_in_tenths(bool setTime) {
  host::reset_record();
  MasterRun run;
  SlaveApi api;
  host::Instance c = api.make();
  EXPECT_EQ(fmiOK, api.initialize(c, 0.0, fmiTrue, model_vars::kDefaultStopTime));
  const double h = 0.1;
  const long steps = std::lround(model_vars::kDefaultStopTime / h);
  for (long k = 0; k < steps; ++k) {
    const double t = k * h;
    if (setTime) {
      if (api.time(c) != t) ++run.moved;
      EXPECT_EQ(fmiOK, api.set_time(c, t)) << "at t = " << t;
    }
    EXPECT_EQ(fmiOK, api.do_step(c, t, h, fmiTrue)) << "at t = " << t;
    run.states.push_back(api.time(c));
    run.states.push_back(api.real(c, VR_X0));
    run.states.push_back(api.real(c, VR_X1));
  }
  EXPECT_EQ(fmiOK, api.terminate(c));
  api.free_instance(c.release());
  for (const host::LogRecord& r : host::record().logs) {
    if (r.message.rfind("fmiSetTime", 0) == 0) continue;
    run.logs.push_back(std::to_string(r.status) + "|" + digest::without_clock_figures(r.message));
  }
  return run;
}

// A time that the host sets within the tolerance with which fmiDoStep absorbs
// a communication point is no move: nothing restarts, and the run is the same
// as the master's without those calls, states, steps and evaluations alike.
TEST(CommunicationPoints, ATimeSetWithinTheirToleranceIsNoMove) {
  const MasterRun plain = default_experiment_in_tenths(false);
  const MasterRun setting = default_experiment_in_tenths(true);
  EXPECT_GT(setting.moved, 0);
  EXPECT_EQ(plain.states, setting.states);
  ASSERT_EQ(plain.logs.size(), setting.logs.size());
  for (size_t i = 0; i < plain.logs.size(); ++i) EXPECT_EQ(plain.logs[i], setting.logs[i]);
  EXPECT_EQ(1, count_logs(STATISTICS));
}

// A real move, 0.05 s back at t = 5 of a run without events, restarts the
// integrator (its first segment's steps are counted) from the moved time,
// and the slave steps on from there: the pulse is on all the run, so the
// states follow the model from those at t = 5 over the time since 4.95.
TEST(InputChanges, ATimeSetBackRestartsTheIntegratorFromThere) {
  host::reset_record();
  SlaveApi api;
  host::Instance c = api.make();
  api.set(c, parameter(P_PERIOD), 1e6);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  const double h = 0.1;
  for (long k = 0; k < 50; ++k) ASSERT_EQ(fmiOK, api.do_step(c, k * h, h, fmiTrue));
  const ClosedForm::State at5{api.real(c, VR_X0), api.real(c, VR_X1)};
  ASSERT_EQ(fmiOK, api.set_time(c, 4.95));
  double t = 4.95;
  for (int i = 0; i < 10; ++i, t += h) {
    ASSERT_EQ(fmiOK, api.do_step(c, t, h, fmiTrue)) << "at t = " << t;
    EXPECT_EQ(t + h, api.time(c));
  }
  ClosedForm model;
  const ClosedForm::State e = model.advance(at5, model.amplitude, t - 4.95);
  EXPECT_NEAR(e.x0, api.real(c, VR_X0), 1e-3);
  EXPECT_NEAR(e.x1, api.real(c, VR_X1), 1e-3);
  ASSERT_EQ(fmiOK, api.terminate(c));
  api.free_instance(c.release());
  EXPECT_GT(statistic("Number of internal steps"), 0);
}

// Events that come too densely for the step end it as one with too little
// progress, and the text says how far they came: events computed from
// numbers far larger than the time (periods of 1e-300 from a start long
// before) move the time only as finely as those numbers, and a thousand
// periods of 0.1 ms, each with a state and a time event, cover too little of
// a step of 1e8 s.
struct TooFineCase {
  const char* what;
  double start, period, nperiod, step;
  const char* stop;  // the whole message
};

class EventsTooFine : public ::testing::TestWithParam<TooFineCase> {};

TEST_P(EventsTooFine, ForTheStepEndIt) {
  const TooFineCase& tc = GetParam();
  host::reset_record();
  SlaveApi api;
  host::Instance c = api.make(fmiFalse);
  api.set(c, parameter(P_START), tc.start);
  api.set(c, parameter(P_PERIOD), tc.period);
  api.set(c, parameter(P_NPERIOD), tc.nperiod);
  ASSERT_EQ(fmiOK, api.initialize(c, 0.0, fmiFalse, 0.0));
  EXPECT_EQ(fmiError, api.do_step(c, 0.0, tc.step, fmiTrue));
  std::vector<host::LogRecord> stop = host::logs_containing("fmiDoStep: 1000 events from t = ");
  ASSERT_EQ(1u, stop.size()) << host::all_logs();
  EXPECT_EQ(fmiError, stop[0].status);
  EXPECT_EQ(tc.stop, stop[0].message);
  EXPECT_EQ(1, count_logs("fmiDoStep: integration_step failed"));
  EXPECT_TRUE(std::isfinite(api.real(c, VR_X0)));
  EXPECT_TRUE(std::isfinite(api.real(c, VR_X1)));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

INSTANTIATE_TEST_SUITE_P(
    Failure, EventsTooFine,
    ::testing::Values(
        TooFineCase{"periods of 1e-300 from -128", -128.0, 1e-300, -1.0, 0.177,
                    "fmiDoStep: 1000 events from t = 1.4210858094240388e-14 to "
                    "2.8407498617352445e-11 covered less than 1e-09 of what was left of the step "
                    "to 1.7699999999999999e-01: too little progress in time, so the step stops there"},
        TooFineCase{"a thousand periods of 0.1 ms", 0.0, 1e-4, 1000.0, 1e8,
                    "fmiDoStep: 1000 events from t = 1.0000000000000003e-05 to "
                    "5.0000000000011022e-02 covered less than 1e-09 of what was left of the step "
                    "to 1.0000000000000000e+08: too little progress in time, so the step stops there"}));

}  // namespace
