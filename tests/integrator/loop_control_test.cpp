// The integration loop's checks, limits, warnings, failure returns and the
// step-event hook.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "ode_fixture.h"

namespace {

using ode::data;

const char kTooClose[] = "tout too close to t0 to start integration.";

TEST(LoopControl, ArgumentChecks) {
  ode::Ode o(ode::decayRhs, {1.0});
  double t = -5;
  EXPECT_EQ(Mstep(nullptr, 1.0, o.y, &t, MS_NORMAL), MS_MEM_NULL);
  EXPECT_EQ(Mstep(o.mem, 1.0, nullptr, &t, MS_NORMAL), MS_ILL_INPUT);
  EXPECT_EQ(Mstep(o.mem, 1.0, o.y, nullptr, MS_NORMAL), MS_ILL_INPUT);
  EXPECT_EQ(Mstep(o.mem, 1.0, o.y, &t, 3), MS_ILL_INPUT);
  EXPECT_EQ(o.count("yout = NULL illegal."), 1);
  EXPECT_EQ(o.count("tret = NULL illegal."), 1);
  EXPECT_EQ(o.count("Illegal value for itask."), 1);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(Mstep(o.mem, std::nan(""), o.y, &t, MS_NORMAL), MS_ILL_INPUT);
  EXPECT_EQ(o.count("Illegal value for tout."), 1);
  EXPECT_EQ(o.m()->numRhsEvals, 0);
  // A caller's vector of another length would be overrun, and so would one
  // of the right length without elements.
  int refused = 0;
  for (N_Vector v : {N_VNew_Serial(3), N_VNewEmpty_Serial(1)}) {
    ++refused;
    EXPECT_EQ(Mstep(o.mem, 1.0, v, &t, MS_NORMAL), MS_ILL_INPUT);
    EXPECT_EQ(o.count("yout has wrong length (illegal)."), refused);
    EXPECT_EQ(MstepGetDky(o.mem, 0.0, 0, v), MS_BAD_DKY);
    EXPECT_EQ(o.count("dky has wrong length (illegal)."), refused);
    N_VDestroy(v);
  }
  EXPECT_EQ(o.m()->numRhsEvals, 0);

  void* fresh = MstepCreate(MS_BDF, MS_NEWTON);
  std::vector<ode::Message> log;
  MstepSetErrHandlerFn(fresh, ode::recordMessage, &log);
  EXPECT_EQ(Mstep(fresh, 1.0, o.y, &t, MS_NORMAL), MS_NO_MALLOC);
  ASSERT_EQ(log.size(), 1u);
  EXPECT_EQ(log[0].text, "Attempt to call before MstepInit.");
  EXPECT_EQ(log[0].function, "Mstep");
  EXPECT_EQ(MstepGetDky(fresh, 0.0, 0, o.y), MS_NO_MALLOC);
  MstepFree(&fresh);
}

TEST(LoopControl, ToutTooCloseToStart) {
  for (double tout : {1.0, 1.0 + 2.2e-16}) {
    ode::Ode o(ode::decayRhs, {1.0}, 1.0);
    double t = -1;
    EXPECT_EQ(o.step(tout, &t), MS_TOO_CLOSE);
    EXPECT_EQ(o.count(kTooClose), 1);
    double hcur = -1;
    MstepGetCurrentStep(o.mem, &hcur);
    EXPECT_EQ(hcur, 0.0);
    EXPECT_EQ(t, 1.0);
    EXPECT_EQ(o[0], 1.0);
    // An explicit initial step, as the stepper sets it, gets going.
    MstepSetInitStep(o.mem, 1e-3);
    EXPECT_EQ(o.step(1.5, &t), MS_SUCCESS);
  }
}

TEST(LoopControl, InitialStepAgainstTheDirection) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepSetInitStep(o.mem, 1e-3);
  double t;
  EXPECT_EQ(o.step(-1.0, &t), MS_ILL_INPUT);
  EXPECT_EQ(o.count("h0 and tout - t0 inconsistent."), 1);
}

TEST(LoopControl, BackwardIntegration) {
  ode::Ode o(ode::decayRhs, {1.0});
  double t;
  ASSERT_EQ(o.step(-1.0, &t), MS_SUCCESS);
  EXPECT_EQ(t, -1.0);
  EXPECT_NEAR(o[0], std::exp(1.0), 1e-3);
}

TEST(LoopControl, FirstCallRhsFailures) {
  struct Case {
    int value;
    int flag;
    const char* text;
  } cases[] = {
      {-1, MS_RHSFUNC_FAIL, "At t = 0, the right-hand side routine failed in an unrecoverable manner."},
      {1, MS_FIRST_RHSFUNC_ERR, "The right-hand side routine failed at the first call."},
  };
  for (const Case& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    o.params.rhsFailAt = 1;
    o.params.rhsFailValue = c.value;
    double t = -1;
    EXPECT_EQ(o.step(1.0, &t), c.flag);
    EXPECT_EQ(o.count(c.text), 1);
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(o[0], 1.0);
  }
}

TEST(LoopControl, FirstCallRefusesWhatWouldPoisonTheHistory) {
  // Each would leave a NaN in the history that the failure exit hands back
  // as the last accepted solution.
  const double inf = HUGE_VAL;
  struct Case {
    const char* name;
    double t0, y0, tout, lambda;
    int flag;
    const char* text;
  } cases[] = {
      {"infinite tout", 0.0, 1.0, inf, 1.0, MS_ILL_INPUT, "Illegal value for tout."},
      {"tout at minus infinity", 0.0, 1.0, -inf, 1.0, MS_ILL_INPUT, "Illegal value for tout."},
      {"NaN derivative", 0.0, 1.0, 1.0, NAN, MS_RHSFUNC_FAIL,
       "At t = 0, the right-hand side routine failed in an unrecoverable manner."},
      {"infinite derivative", 0.0, 1.0, 1.0, inf, MS_RHSFUNC_FAIL,
       "At t = 0, the right-hand side routine failed in an unrecoverable manner."},
      // tout - t0 overflows: the estimate gives an infinite first step.
      {"no finite first step", -1e308, 0.0, 1e308, 1.0, MS_ILL_INPUT,
       "h0 not finite for tout - t0 = inf."},
  };
  for (const Case& c : cases) {
    ode::Ode o(ode::decayRhs, {c.y0}, c.t0);
    o.params.lambda = c.lambda;
    double t = -1;
    EXPECT_EQ(o.step(c.tout, &t), c.flag) << c.name;
    EXPECT_EQ(o.count(c.text), 1) << c.name;
    EXPECT_EQ(t, c.t0) << c.name;
    EXPECT_EQ(o[0], c.y0) << c.name;
    EXPECT_EQ(o.m()->numSteps, 0) << c.name;
  }
}

// y' = -y, but NaN with a result of 0 at the start time after its first
// call there: the only such call is the rebuild of the history at order 1
// after the fourth error-test failure of the first step.
int nanAtRebuild(double t, N_Vector y, N_Vector ydot, void* ud) {
  auto* p = static_cast<ode::Params*>(ud);
  ++p->rhsCalls;
  data(ydot)[0] = (t == 0.0 && p->rhsCalls > 1) ? NAN : -data(y)[0];
  return 0;
}

TEST(LoopControl, AFailedStepHandsBackItsStartEvenFromAPoisonedHistory) {
  ode::Ode o(nanAtRebuild, {1.0}, 0.0, 1e-12, 1e-12);
  MstepSetInitStep(o.mem, 0.5);  // far too large: the error test fails again and again
  double t = -1;
  const int flag = o.step(1.0, &t);
  MstepMem m = o.m();
  ASSERT_GE(m->numErrTestFails, 4);
  EXPECT_LT(flag, 0);
  EXPECT_EQ(m->numSteps, 0);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(o[0], 1.0);
  EXPECT_EQ(data(m->nordsieck[0])[0], 1.0);
}

TEST(LoopControl, FirstStepEstimateFailureLeavesTheStartValue) {
  // Every evaluation of the estimate fails recoverably: the trial state it
  // put into yout must not reach the caller.
  ode::Ode o(ode::decayRhs, {1.0});
  o.params.rhsFailAt = 2;
  o.params.rhsFailValue = 1;
  o.params.rhsFailSticky = true;
  double t = -1;
  EXPECT_EQ(o.step(1.0, &t), MS_REPTD_RHSFUNC_ERR);
  EXPECT_EQ(o.count("At t = 0 repeated recoverable right-hand side function errors."), 1);
  EXPECT_EQ(o.params.rhsCalls, 1 + 4);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(o[0], 1.0);

  ode::Ode p(ode::decayRhs, {1.0});
  p.params.rhsFailAt = 2;
  p.params.rhsFailValue = -1;
  EXPECT_EQ(p.step(1.0, &t), MS_RHSFUNC_FAIL);
  EXPECT_EQ(p[0], 1.0);
}

TEST(LoopControl, StepLimitStopsAfterExactlyMxstepSteps) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepSetMaxNumSteps(o.mem, 5);
  double t = -1;
  EXPECT_EQ(o.step(100.0, &t), MS_TOO_MUCH_WORK);
  MstepMem m = o.m();
  EXPECT_EQ(m->numSteps, 5);
  EXPECT_EQ(t, m->tcur);
  EXPECT_EQ(o[0], data(m->nordsieck[0])[0]);
  ASSERT_EQ(o.messages.size(), 1u);
  EXPECT_EQ(o.messages[0].code, MS_TOO_MUCH_WORK);
  EXPECT_EQ(o.messages[0].text.find("At t = "), 0u);
  EXPECT_NE(o.messages[0].text.find(", mxstep steps taken before reaching tout."), std::string::npos);
  // The count is per call: the next call makes 5 more.
  EXPECT_EQ(o.step(100.0, &t), MS_TOO_MUCH_WORK);
  EXPECT_EQ(m->numSteps, 10);
  // A negative limit removes it.
  MstepSetMaxNumSteps(o.mem, -1);
  EXPECT_EQ(o.step(100.0, &t), MS_SUCCESS);
}

TEST(LoopControl, TimeStandingStillWarnsMxhnilTimesPerProblem) {
  ode::Ode o(ode::constantRhs, {0.0}, 1.0);
  MstepSetInitStep(o.mem, 1e-300);
  double t;
  ASSERT_EQ(o.step(2.0, &t), MS_SUCCESS);
  int first = 0, second = 0;
  for (const ode::Message& msg : o.messages) {
    EXPECT_EQ(msg.code, MS_WARNING);
    if (msg.text.find("are such that t + h = t on the next step. The solver will continue anyway.") !=
        std::string::npos)
      ++first;
    if (msg.text ==
        "The above warning has been issued mxhnil times and will not be issued again for this problem.")
      ++second;
  }
  EXPECT_EQ(first, 10);
  EXPECT_EQ(second, 1);
  EXPECT_GT(o.m()->numHnil, 10);
  EXPECT_NEAR(o[0], 1.0, 1e-12);
  // A restart counts afresh.
  o.messages.clear();
  MstepReInit(o.mem, 2.0, o.y);
  ASSERT_EQ(o.step(3.0, &t), MS_SUCCESS);
  EXPECT_EQ(o.messages.size(), 11u);
}

TEST(LoopControl, ToutWithinTheLastStepIsInterpolatedWithoutANewStep) {
  ode::Ode o(ode::decayRhs, {1.0});
  double t;
  ASSERT_EQ(o.step(1.0, &t), MS_SUCCESS);
  MstepMem m = o.m();
  ASSERT_GT(m->tcur, 1.0);
  const int steps = m->numSteps;
  const double inside = 0.5 * (1.0 + m->tcur);
  ASSERT_EQ(o.step(inside, &t), MS_SUCCESS);
  EXPECT_EQ(t, inside);
  EXPECT_EQ(m->numSteps, steps);
  EXPECT_NEAR(o[0], std::exp(-inside), 1e-4);

  // Before the start of the last step: refused, and the caller gets the
  // last accepted solution with its time.
  EXPECT_EQ(o.step(0.5, &t), MS_ILL_INPUT);
  EXPECT_EQ(o.count("Trouble interpolating at tout = 0.5. tout too far back in direction of integration"), 1);
  EXPECT_EQ(t, m->tcur);
  EXPECT_EQ(o[0], data(m->nordsieck[0])[0]);
}

TEST(LoopControl, FailureInsideTheLoopReturnsTheLastAcceptedSolution) {
  ode::Ode o(ode::decayRhs, {1.0});
  o.params.rhsFailAt = 30;
  o.params.rhsFailValue = -1;
  double t = -1;
  EXPECT_EQ(o.step(10.0, &t), MS_RHSFUNC_FAIL);
  MstepMem m = o.m();
  EXPECT_GT(m->numSteps, 0);
  EXPECT_EQ(t, m->tcur);
  EXPECT_EQ(m->lastTret, m->tcur);
  EXPECT_EQ(o[0], data(m->nordsieck[0])[0]);
  EXPECT_NEAR(o[0], std::exp(-t), 1e-4);
}

TEST(LoopControl, ZeroWeightsAreRefused) {
  ode::Ode o(ode::decayRhs, {0.0}, 0.0, 1e-5, 0.0);
  double t;
  EXPECT_EQ(o.step(1.0, &t), MS_ILL_INPUT);
  EXPECT_EQ(o.count("Initial ewt has component(s) equal to zero (illegal)."), 1);
  EXPECT_EQ(t, 0.0);
}

// Error weights 1 / (1e-5 |y| + 1e-5) that fail from the failAt-th call on.
struct WeightCalls {
  int calls = 0;
  int failAt = 0;
};
WeightCalls weightCalls;

int failingWeights(N_Vector y, N_Vector w, void*) {
  if (++weightCalls.calls >= weightCalls.failAt) return -1;
  for (int i = 0; i < N_VLength_Serial(y); ++i)
    data(w)[i] = 1.0 / (1e-5 * std::fabs(data(y)[i]) + 1e-5);
  return 0;
}

TEST(LoopControl, ErrorWeightsFailingInTheMiddleOfARunEndTheCallAtTheLastStep) {
  // Calls 1 and 2 are the set-up's and the first step size's, then one
  // before every further step: the fifth fails before the fourth step.
  struct Case {
    int tolKind;
    int userEwtSet;
    const char* message;  // after "At t = <tcur>, "
  } cases[] = {{MS_TOL_SV, 0, "a component of ewt has become <= 0."},
               {MS_TOL_WF, 1, "the user-provide EwtSet function failed."}};
  for (const Case& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    MstepMem m = o.m();
    m->tolKind = c.tolKind;
    m->userEwtSet = c.userEwtSet;
    m->ewtSet = failingWeights;
    weightCalls = WeightCalls{0, 5};
    double t = -1;
    EXPECT_EQ(o.step(10.0, &t), MS_ILL_INPUT) << c.message;
    EXPECT_EQ(weightCalls.calls, 5) << c.message;
    EXPECT_EQ(m->numSteps, 3) << c.message;
    char expected[128];
    std::snprintf(expected, sizeof expected, "At t = %g, %s", m->tcur, c.message);
    ASSERT_EQ(o.messages.size(), 1u) << c.message;
    EXPECT_EQ(o.messages[0].text, expected);
    EXPECT_EQ(o.messages[0].code, MS_ILL_INPUT);
    EXPECT_EQ(o.messages[0].function, "Mstep");
    EXPECT_EQ(t, m->tcur);
    EXPECT_EQ(m->lastTret, m->tcur);
    EXPECT_EQ(o[0], data(m->nordsieck[0])[0]);
    EXPECT_NEAR(o[0], std::exp(-t), 1e-4) << c.message;
  }
}

TEST(LoopControl, TooMuchAccuracy) {
  ode::Ode o(ode::decayRhs, {1.0}, 0.0, 1e-30, 1e-30);
  double t = -1;
  EXPECT_EQ(o.step(1.0, &t), MS_TOO_MUCH_ACC);
  EXPECT_EQ(o.count("At t = 0, too much accuracy requested."), 1);
  double sfac;
  MstepGetTolScaleFactor(o.mem, &sfac);
  EXPECT_NEAR(sfac, 2.0 * 2.220446049250313e-16 * 1e30 / (1.0 + 1.0), 1e-6 * sfac);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(o[0], 1.0);
}

int hookAt(void* ud) {
  auto* p = static_cast<ode::Params*>(ud);
  return ++p->hookCalls == p->hookFireAt;
}

TEST(LoopControl, StepHookStopsAtTheStepEndOrAtTout) {
  // After a step that ended before tout.
  ode::Ode o(ode::decayRhs, {1.0});
  ASSERT_EQ(MstepStepRootInit(o.mem, hookAt), MS_SUCCESS);
  o.params.hookFireAt = 3;
  double t;
  EXPECT_EQ(o.step(10.0, &t), MS_ROOT_RETURN);
  MstepMem m = o.m();
  EXPECT_EQ(o.params.hookCalls, 3);
  EXPECT_EQ(m->numSteps, 3);
  EXPECT_EQ(t, m->tcur);
  EXPECT_EQ(o[0], data(m->nordsieck[0])[0]);
  EXPECT_EQ(m->rootReturned, 1);
  // The next call carries on.
  EXPECT_EQ(o.step(10.0, &t), MS_SUCCESS);
  EXPECT_EQ(t, 10.0);
  EXPECT_EQ(o.params.hookCalls, m->numSteps);

  // After the step that passed tout: reported at tout, interpolated.
  ode::Ode p(ode::decayRhs, {1.0});
  MstepStepRootInit(p.mem, hookAt);
  p.params.hookFireAt = 1000000;
  ASSERT_EQ(p.step(1.0, &t), MS_SUCCESS);
  p.params.hookFireAt = p.params.hookCalls + 1;
  const double tout = p.m()->tcur + 1e-9;
  EXPECT_EQ(p.step(tout, &t), MS_ROOT_RETURN);
  EXPECT_EQ(t, tout);
  EXPECT_GT(p.m()->tcur, tout);
  EXPECT_NEAR(p[0], std::exp(-tout), 1e-4);
  EXPECT_NE(p[0], data(p.m()->nordsieck[0])[0]);

  // Removing the hook.
  EXPECT_EQ(MstepStepRootInit(p.mem, nullptr), MS_SUCCESS);
  const int calls = p.params.hookCalls;
  EXPECT_EQ(p.step(5.0, &t), MS_SUCCESS);
  EXPECT_EQ(p.params.hookCalls, calls);
}

TEST(LoopControl, StepHookRegistrationWithoutMemory) {
  EXPECT_EQ(MstepStepRootInit(nullptr, hookAt), MS_MEM_NULL);
}

TEST(LoopControl, InterpolationBeforeTheFirstStep) {
  ode::Ode o(ode::decayRhs, {1.5}, 2.0);
  N_Vector dky = N_VNew_Serial(1);
  ASSERT_EQ(MstepGetDky(o.mem, 2.0, 0, dky), MS_SUCCESS);
  EXPECT_EQ(data(dky)[0], 1.5);
  // No derivative exists yet: the order is what is wrong, not the time.
  EXPECT_EQ(MstepGetDky(o.mem, 2.0, 1, dky), MS_BAD_K);
  EXPECT_EQ(o.messages.back().text, "Illegal value for k.");
  EXPECT_EQ(MstepGetDky(o.mem, 2.1, 0, dky), MS_BAD_T);
  // The same after a restart.
  double t;
  ASSERT_EQ(o.step(3.0, &t), MS_SUCCESS);
  data(o.y)[0] = 0.25;
  MstepReInit(o.mem, 3.0, o.y);
  EXPECT_EQ(MstepGetDky(o.mem, 3.0, 1, dky), MS_BAD_K);
  ASSERT_EQ(MstepGetDky(o.mem, 3.0, 0, dky), MS_SUCCESS);
  EXPECT_EQ(data(dky)[0], 0.25);
  N_VDestroy(dky);
}

}  // namespace

namespace {

TEST(LoopControl, RejectedAttemptsShrinkTheStepAndTheNextStepKeepsIt) {
  ode::Ode o(ode::decayRhs, {1.0}, 0.0, 1e-8, 1e-8);
  MstepSetInitStep(o.mem, 0.5);  // far too large for the tolerance
  double t;
  ASSERT_EQ(o.step(10.0, &t, MS_ONE_STEP), MS_SUCCESS);
  MstepMem m = o.m();
  EXPECT_GE(m->numErrTestFails, 1);
  EXPECT_LT(m->hu, 0.5);
  EXPECT_EQ(t, m->hu);
  EXPECT_EQ(m->hNew, m->h);
  EXPECT_EQ(m->qNew, m->q);
  EXPECT_GE(m->orderWait, 2);
  EXPECT_EQ(m->maxStepRatio, 10.0);
  EXPECT_NEAR(o[0], std::exp(-t), 1e-7);
}

TEST(LoopControl, StabilityLimitDetectionKeepsTheSolution) {
  ode::Ode o(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-9, 1e-11);
  o.m()->stabLimDet = 1;
  MstepSetMaxNumSteps(o.mem, -1);
  double t;
  ASSERT_EQ(o.step(30.0, &t), MS_SUCCESS);
  EXPECT_NEAR(o[0], std::sin(30.0), 1e-5);
  EXPECT_NEAR(o[1], std::cos(30.0), 1e-5);
  EXPECT_GE(o.m()->qUsed, 3);
  // The norms were recorded, no violation was found, and watching changed
  // nothing: the run is the one without detection, to the last bit.
  EXPECT_GT(o.m()->stabData[5][2], 0.0);
  EXPECT_EQ(o.m()->numOrderReductions, 0);
  ode::Ode plain(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-9, 1e-11);
  MstepSetMaxNumSteps(plain.mem, -1);
  ASSERT_EQ(plain.step(30.0, &t), MS_SUCCESS);
  EXPECT_EQ(plain[0], o[0]);
  EXPECT_EQ(plain[1], o[1]);
  EXPECT_EQ(plain.m()->numSteps, o.m()->numSteps);
}

// A fast oscillation damped at rate 1 (eigenvalues -1 +- 100i) beside a slow
// driven component: once the oscillation has decayed, the steps grow until
// the higher BDF orders are at the edge of their stability.
int dampedOscillationRhs(double t, N_Vector y, N_Vector ydot, void* ud) {
  const double* v = data(y);
  double* d = data(ydot);
  d[0] = -v[0] + 100.0 * v[1];
  d[1] = -100.0 * v[0] - v[1];
  d[2] = -0.1 * (v[2] - std::cos(0.1 * t));
  return ode::countRhs(static_cast<ode::Params*>(ud));
}

TEST(LoopControl, StabilityLimitDetectionLowersTheOrderAtTheEdgeOfStability) {
  ode::Ode o(dampedOscillationRhs, {1.0, 0.0, 1.0}, 0.0, 1e-5, 1e-8);
  o.m()->stabLimDet = 1;
  MstepSetMaxNumSteps(o.mem, -1);
  double t;
  ASSERT_EQ(o.step(100.0, &t), MS_SUCCESS);
  EXPECT_GT(o.m()->numOrderReductions, 0);
  EXPECT_NEAR(o[0], 0.0, 1e-7);
  EXPECT_NEAR(o[1], 0.0, 1e-7);
  // y3 = (cos 0.1t + sin 0.1t + e^-0.1t) / 2
  EXPECT_NEAR(o[2], 0.5 * (std::cos(10.0) + std::sin(10.0) + std::exp(-10.0)), 2e-5);
}

}  // namespace

namespace {

TEST(LoopControl, ErrorTestLimitEndsTheCallAtTheStart) {
  ode::Ode o(ode::decayRhs, {1.0}, 0.0, 1e-8, 1e-8);
  MstepSetInitStep(o.mem, 0.5);
  MstepSetMaxErrTestFails(o.mem, 1);
  double t = -1;
  EXPECT_EQ(o.step(1.0, &t), MS_ERR_FAILURE);
  ASSERT_EQ(o.messages.size(), 1u);
  EXPECT_EQ(o.messages[0].text,
            "At t = 0 and h = 0.5, the error test failed repeatedly or with |h| = hmin.");
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(o[0], 1.0);
  EXPECT_EQ(o.m()->numErrTestFails, 1);
}

}  // namespace
