// The corrector and its failure handling, with a scripted linear solver in
// place of the dense one.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "integrator/integration_step.h"
#include "integrator/nonlinear_corrector.h"
#include "integrator/nordsieck_history.h"
#include "ode_fixture.h"

using namespace pelvarin;

namespace {

using ode::data;

// Solves (1 - gamma lambda) x = b for y' = -lambda y (scaled by solveScale),
// with scripted results.
struct FakeSolver {
  double lambda = 1.0;
  double gammaAtSetup = 0.0;
  double solveScale = 1.0;
  std::vector<int> setupResults;  // by call; missing entries: 0
  std::vector<int> setupJcur;     // by call; missing entries: 1
  std::vector<int> solveResults;  // by call; missing entries: 0
  std::vector<double> solveScales;  // by call; missing entries: solveScale
  std::vector<int> convfails;
  int setupCalls = 0;
  int solveCalls = 0;
  int solvesBeforeFirstSetup = -1;
};

int pick(const std::vector<int>& script, int call, int fallback) {
  return call < static_cast<int>(script.size()) ? script[call] : fallback;
}

int fakeSetup(MstepMem mem, int convfail, N_Vector, N_Vector, int* jcur, N_Vector, N_Vector,
              N_Vector) {
  auto* s = static_cast<FakeSolver*>(mem->lsMem);
  if (s->setupCalls == 0) s->solvesBeforeFirstSetup = s->solveCalls;
  s->convfails.push_back(convfail);
  *jcur = pick(s->setupJcur, s->setupCalls, 1);
  const int res = pick(s->setupResults, s->setupCalls, 0);
  ++s->setupCalls;
  s->gammaAtSetup = mem->gamma;
  return res;
}

int fakeSolve(MstepMem mem, N_Vector b, N_Vector, N_Vector, N_Vector) {
  auto* s = static_cast<FakeSolver*>(mem->lsMem);
  const int res = pick(s->solveResults, s->solveCalls, 0);
  const double scale = s->solveCalls < static_cast<int>(s->solveScales.size())
                           ? s->solveScales[s->solveCalls]
                           : s->solveScale;
  ++s->solveCalls;
  data(b)[0] *= scale / (1.0 + s->gammaAtSetup * s->lambda);
  return res;
}

struct FakeOde : ode::Ode {
  FakeSolver solver;
  FakeOde() : ode::Ode(ode::decayRhs, {1.0}, 0.0, 1e-5, 1e-5, MS_BDF, MS_NEWTON, false) {
    MstepMem mm = m();
    mm->lsSetup = fakeSetup;
    mm->lsSolve = fakeSolve;
    mm->lsSetupPresent = 1;
    mm->lsMem = &solver;
  }
};

TEST(StepCorrector, UnrecoverableResultsEndTheStepAtOnce) {
  struct Case {
    int setup, solve, rhs;
    int flag;
    const char* text;
  } cases[] = {
      {-1, 0, 0, MS_LSETUP_FAIL, "At t = 0, the setup routine failed in an unrecoverable manner."},
      {0, -1, 0, MS_LSOLVE_FAIL, "At t = 0, the solve routine failed in an unrecoverable manner."},
      {0, 0, -1, MS_RHSFUNC_FAIL, "At t = 0, the right-hand side routine failed in an unrecoverable manner."},
  };
  for (const Case& c : cases) {
    FakeOde o;
    MstepSetInitStep(o.mem, 1e-3);
    o.solver.setupResults = {c.setup};
    o.solver.solveResults = {c.solve};
    if (c.rhs) {
      o.params.rhsFailAt = 2;  // the first call of the corrector
      o.params.rhsFailValue = c.rhs;
    }
    double t = -1;
    EXPECT_EQ(o.step(1.0, &t, MS_ONE_STEP), c.flag);
    EXPECT_EQ(o.count(c.text), 1) << c.text;
    EXPECT_EQ(t, 0.0);
    EXPECT_EQ(o[0], 1.0);  // the last accepted solution, not the iterate
    EXPECT_EQ(o.m()->tcur, 0.0);
    EXPECT_EQ(o.m()->numSteps, 0);
  }
}

TEST(StepCorrector, RecoverableSetupFailuresShrinkTheStepUntilTheLimit) {
  FakeOde o;
  o.solver.setupResults = std::vector<int>(20, 1);
  double t;
  EXPECT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_CONV_FAILURE);
  MstepMem m = o.m();
  EXPECT_EQ(o.solver.setupCalls, 10);  // maxConvFails
  EXPECT_EQ(m->numConvFails, 10);
  EXPECT_EQ(o.solver.solveCalls, 0);
  EXPECT_NEAR(m->h, m->h0Used * std::pow(0.25, 9), 1e-12 * m->h0Used);
  // The first attempt is set up as a fresh step, the retries after a
  // corrector failure.
  EXPECT_EQ(o.solver.convfails[0], MS_CONVFAIL_NONE);
  EXPECT_EQ(o.solver.convfails[1], MS_CONVFAIL_OTHER);
  ASSERT_EQ(o.messages.size(), 1u);
  EXPECT_EQ(o.messages[0].function, "Mstep");
  EXPECT_EQ(o.messages[0].code, MS_CONV_FAILURE);
  EXPECT_EQ(o.messages[0].text.find("At t = 0 and h = "), 0u);
  EXPECT_EQ(t, 0.0);
  EXPECT_EQ(o[0], 1.0);
}

TEST(StepCorrector, RecoverableRhsFailuresGiveRepeatedErrors) {
  FakeOde o;
  MstepSetInitStep(o.mem, 1e-3);
  o.params.rhsFailAt = 2;
  o.params.rhsFailValue = 1;
  o.params.rhsFailSticky = true;
  double t;
  EXPECT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_REPTD_RHSFUNC_ERR);
  EXPECT_EQ(o.m()->numConvFails, 10);
  EXPECT_EQ(o.count("At t = 0 repeated recoverable right-hand side function errors."), 1);
}

// A memory after one accepted step, with the next attempt predicted and a
// matrix that is stale (not evaluated at the current setup) and not due.
void prepareStaleAttempt(FakeOde& o) {
  double t;
  ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
  MstepMem m = o.m();
  m->hNew = m->h;  // keep the step: no setup forced by a gamma change
  msPredictHistory(m);
  msSetCoefficients(m);
  m->gammaRatio = 1.0;
  m->stepsAtLastSetup = m->numSteps;
  ASSERT_EQ(m->jacCurrent, 0);
  o.solver.setupCalls = o.solver.solveCalls = 0;
  o.solver.solvesBeforeFirstSetup = -1;
  o.solver.setupResults.clear();
  o.solver.setupJcur.clear();
  o.solver.solveResults.clear();
  o.solver.convfails.clear();
}

// A predicted derivative of zero: the corrector has a long way to go.
void spoilPrediction(FakeOde& o) { data(o.m()->nordsieck[1])[0] = 0.0; }

TEST(StepCorrector, WhenTheNewtonMatrixIsRebuilt) {
  // Up front, before the first solve: after a failed attempt of the step,
  // 20 steps after the last setup, or with gamma moved by more than 30 %.
  struct Case {
    const char* name;
    int nflag;
    int stepsSinceSetup;
    double gammaRatio;
    bool rebuilt;
    int convfail;
  } cases[] = {
      {"nothing changed", NLS_FIRST_CALL, 0, 1.0, false, 0},
      {"19 steps since the setup", NLS_FIRST_CALL, 19, 1.0, false, 0},
      {"20 steps since the setup", NLS_FIRST_CALL, 20, 1.0, true, MS_CONVFAIL_NONE},
      {"gamma 29.9 % up", NLS_FIRST_CALL, 0, 1.299, false, 0},
      {"gamma 30.1 % up", NLS_FIRST_CALL, 0, 1.301, true, MS_CONVFAIL_NONE},
      {"gamma 29.9 % down", NLS_FIRST_CALL, 0, 0.701, false, 0},
      {"gamma 30.1 % down", NLS_FIRST_CALL, 0, 0.699, true, MS_CONVFAIL_NONE},
      {"after an error-test failure", NLS_AFTER_ERR_FAIL, 0, 1.0, true, MS_CONVFAIL_NONE},
      {"after a corrector failure", NLS_AFTER_CONV_FAIL, 0, 1.0, true, MS_CONVFAIL_OTHER},
  };
  for (const Case& c : cases) {
    FakeOde o;
    prepareStaleAttempt(o);
    MstepMem m = o.m();
    m->stepsAtLastSetup = m->numSteps - c.stepsSinceSetup;
    m->gammaRatio = c.gammaRatio;
    msNewtonCorrector(m, c.nflag);
    EXPECT_EQ(o.solver.solvesBeforeFirstSetup == 0, c.rebuilt) << c.name;
    if (c.rebuilt) {
      EXPECT_EQ(o.solver.convfails[0], c.convfail) << c.name;
    }
  }
}

TEST(StepCorrector, ADenseSolverAttachedAfterStepsStartsWithAFreshJacobian) {
  ode::Ode o(ode::stiffRhs, {1.0, 1.0});
  o.params.lambda = 100.0;
  MsDlsSetDenseJacFn(o.mem, ode::stiffJac);
  double t;
  for (int i = 0; i < 5; ++i) ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
  ASSERT_EQ(MsDense(o.mem, 2), MSDLS_SUCCESS);
  ASSERT_EQ(MsDlsSetDenseJacFn(o.mem, ode::stiffJac), MSDLS_SUCCESS);
  ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
  // The new solver has no Jacobian to reuse: its first setup evaluates one.
  int evals = 0;
  MsDlsGetNumJacEvals(o.mem, &evals);
  EXPECT_EQ(evals, 1);
  EXPECT_NEAR(o[0], std::exp(-t), 1e-4);
  EXPECT_NEAR(o[1], std::exp(-t), 1e-4);
  ASSERT_EQ(o.step(1.0, &t), MS_SUCCESS);
  EXPECT_NEAR(o[0], std::exp(-1.0), 1e-4);
}

TEST(StepCorrector, StaleMatrixFailureRetriesOnceWithAFreshSetup) {
  FakeOde o;
  prepareStaleAttempt(o);
  o.solver.solveResults = {1};
  const int evals = o.m()->numRhsEvals;
  EXPECT_EQ(msNewtonCorrector(o.m(), NLS_FIRST_CALL), MS_SUCCESS);
  EXPECT_EQ(o.solver.setupCalls, 1);
  ASSERT_EQ(o.solver.convfails.size(), 1u);
  EXPECT_EQ(o.solver.convfails[0], MS_CONVFAIL_BAD_JAC);
  // f at the prediction once per try, and after each iteration but the last.
  EXPECT_EQ(o.m()->numRhsEvals - evals, o.solver.solveCalls);
}

TEST(StepCorrector, RecoverableRhsFailureWhileStaleRetriesBeforeItCounts) {
  FakeOde o;
  prepareStaleAttempt(o);
  spoilPrediction(o);
  o.solver.solveScales = {0.5};  // the first iteration does not converge
  o.params.rhsFailAt = o.params.rhsCalls + 2;  // the call after the first iteration
  o.params.rhsFailValue = 1;
  EXPECT_EQ(msNewtonCorrector(o.m(), NLS_FIRST_CALL), MS_SUCCESS);
  EXPECT_EQ(o.solver.setupCalls, 1);
  EXPECT_EQ(o.solver.convfails[0], MS_CONVFAIL_BAD_JAC);

  // With a current matrix the same failure is returned as recoverable.
  FakeOde p;
  prepareStaleAttempt(p);
  spoilPrediction(p);
  p.solver.solveScales = {0.5};
  p.params.rhsFailAt = p.params.rhsCalls + 2;
  p.params.rhsFailValue = 1;
  EXPECT_EQ(msNewtonCorrector(p.m(), NLS_AFTER_CONV_FAIL), NLS_RHS_RECOVERABLE);
  EXPECT_EQ(p.solver.setupCalls, 1);
}

TEST(StepCorrector, ASolverThatStaysStaleCannotLoopForEver) {
  FakeOde o;
  prepareStaleAttempt(o);
  o.solver.setupJcur = std::vector<int>(10, 0);
  o.solver.solveResults = std::vector<int>(10, 1);
  EXPECT_EQ(msNewtonCorrector(o.m(), NLS_FIRST_CALL), NLS_CONV_FAIL);
  EXPECT_EQ(o.solver.setupCalls, MS_MAX_SETUP_RETRIES);
  EXPECT_EQ(o.solver.solveCalls, MS_MAX_SETUP_RETRIES + 1);
}

TEST(StepCorrector, IterationLimitAndDivergence) {
  struct Case {
    double solveScale;
    int solves;
  } cases[] = {
      {-0.9, 3},  // change grows by 1.9: no divergence, ends at maxNonlinIters
      {-2.0, 2},  // change triples: divergence after the second iteration
  };
  for (const Case& c : cases) {
    FakeOde o;
    prepareStaleAttempt(o);
    spoilPrediction(o);
    o.solver.solveScale = c.solveScale;
    // A fresh matrix: the failure is final.
    EXPECT_EQ(msNewtonCorrector(o.m(), NLS_AFTER_CONV_FAIL), NLS_CONV_FAIL);
    EXPECT_EQ(o.solver.solveCalls, c.solves) << c.solveScale;
    EXPECT_EQ(o.m()->newtonIter, c.solves);
  }
}

TEST(StepCorrector, FirstIterateThatPassesSetsTheNormAndKeepsTheRate) {
  FakeOde o;
  prepareStaleAttempt(o);
  MstepMem m = o.m();
  m->convRate = 0.123;
  // A prediction that nearly solves the corrector equation.
  data(m->nordsieck[1])[0] = -m->h * data(m->nordsieck[0])[0] * (1.0 + 1e-9);
  EXPECT_EQ(msNewtonCorrector(m, NLS_FIRST_CALL), MS_SUCCESS);
  EXPECT_EQ(o.solver.setupCalls, 0);
  EXPECT_EQ(o.solver.solveCalls, 1);
  EXPECT_EQ(m->convRate, 0.123);
  EXPECT_GT(m->corrNorm, 0.0);
  EXPECT_EQ(m->corrNorm, N_VWrmsNorm(m->correction, m->ewt));
}

TEST(StepCorrector, CorrectorFailureHandling) {
  struct Case {
    int nflag;
    int ncfBefore;
    int result;
  } cases[] = {
      {MS_SUCCESS, 0, STEP_DO_ERROR_TEST},      {MS_LSETUP_FAIL, 0, MS_LSETUP_FAIL},
      {MS_LSOLVE_FAIL, 0, MS_LSOLVE_FAIL},      {MS_RHSFUNC_FAIL, 0, MS_RHSFUNC_FAIL},
      {NLS_CONV_FAIL, 0, STEP_PREDICT_AGAIN},   {NLS_RHS_RECOVERABLE, 0, STEP_PREDICT_AGAIN},
      {NLS_CONV_FAIL, 9, MS_CONV_FAILURE},      {NLS_RHS_RECOVERABLE, 9, MS_REPTD_RHSFUNC_ERR},
  };
  for (const Case& c : cases) {
    FakeOde o;
    MstepMem m = o.m();
    m->q = 1;
    m->h = m->hScale = 0.4;
    m->tcur = 1.0;
    data(m->nordsieck[0])[0] = 1.0;
    data(m->nordsieck[1])[0] = 0.4;
    msPredictHistory(m);
    int nflag = c.nflag, ncf = c.ncfBefore;
    EXPECT_EQ(msCorrectorFailure(m, &nflag, 1.0, &ncf), c.result) << c.nflag << " " << c.ncfBefore;
    if (c.result == STEP_DO_ERROR_TEST) {
      EXPECT_EQ(m->tcur, 1.4);
      continue;
    }
    EXPECT_EQ(m->tcur, 1.0);
    EXPECT_DOUBLE_EQ(data(m->nordsieck[0])[0], 1.0);
    if (c.result == STEP_PREDICT_AGAIN) {
      EXPECT_EQ(nflag, NLS_AFTER_CONV_FAIL);
      EXPECT_EQ(m->maxStepRatio, 1.0);
      EXPECT_DOUBLE_EQ(m->h, 0.1);
      EXPECT_DOUBLE_EQ(data(m->nordsieck[1])[0], 0.1);
    }
  }
}

TEST(StepCorrector, FixedPointIterationSolvesANonStiffStep) {
  ode::Ode o(ode::decayRhs, {1.0}, 0.0, 1e-8, 1e-8, MS_ADAMS, MS_FUNCTIONAL);
  double t;
  EXPECT_EQ(o.step(1.0, &t), MS_SUCCESS);
  EXPECT_NEAR(o[0], std::exp(-1.0), 1e-6);
  EXPECT_GT(o.m()->qUsed, 2);  // Adams climbs above order 2
  EXPECT_EQ(o.m()->numLinSetups, 0);
}

}  // namespace
