// The local error test with its failure ladder, and the choice of the next
// step size and order.
#include <gtest/gtest.h>

#include <cmath>

#include "integrator/integration_step.h"
#include "integrator/nonlinear_corrector.h"
#include "integrator/nordsieck_history.h"
#include "integrator/stability_limit.h"
#include "integrator/step_control.h"
#include "ode_fixture.h"

namespace {

using ode::data;

// A memory in the middle of an attempt at order q with step 1 from t = 2:
// the history is predicted, dsm equals corrNorm.
void prepareAttempt(MstepMem m, int q, double corrNorm) {
  m->q = q;
  m->coeffCount = q + 1;
  m->orderWait = 5;
  m->tcur = 2.0;
  m->h = m->hScale = 1.0;
  for (double& s : m->pastSteps) s = 1.0;
  for (int j = 0; j <= q; ++j) data(m->nordsieck[j])[0] = 1.0;
  m->testQuant[2] = 1.0;
  m->corrNorm = corrNorm;
  msPredictHistory(m);
}

TEST(StepControl, ErrorTestBoundaryAndReductionLadder) {
  struct Case {
    double dsm;
    int nefBefore;
    int expectResult;
    double expectRatio;
  } cases[] = {
      {1.0, 0, MS_SUCCESS, 0.0},
      {std::nextafter(1.0, 2.0), 0, STEP_TRY_AGAIN, 1.0 / (std::sqrt(6.0 * std::nextafter(1.0, 2.0)) + 1e-6)},
      {2.0, 0, STEP_TRY_AGAIN, 1.0 / (std::sqrt(12.0) + 1e-6)},
      {2.0, 1, STEP_TRY_AGAIN, 0.2},
      {1e10, 0, STEP_TRY_AGAIN, 0.1},
  };
  for (const Case& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    MstepMem m = o.m();
    prepareAttempt(m, 1, c.dsm);
    int nflag = MS_SUCCESS;
    int nef = c.nefBefore;
    double dsm = -1;
    const int res = msLocalErrorTest(m, &nflag, 2.0, &nef, &dsm);
    EXPECT_EQ(res, c.expectResult) << c.dsm;
    EXPECT_EQ(dsm, c.dsm);
    if (c.expectResult == MS_SUCCESS) {
      EXPECT_EQ(nef, 0);
      EXPECT_EQ(m->tcur, 3.0);  // not retracted
      continue;
    }
    EXPECT_EQ(nef, c.nefBefore + 1);
    EXPECT_EQ(nflag, NLS_AFTER_ERR_FAIL);
    EXPECT_EQ(m->tcur, 2.0);
    EXPECT_EQ(m->maxStepRatio, 1.0);
    EXPECT_NEAR(m->stepRatio, c.expectRatio, 1e-15) << c.dsm;
    EXPECT_NEAR(m->h, c.expectRatio, 1e-15);
    EXPECT_NEAR(data(m->nordsieck[1])[0], c.expectRatio, 1e-15);  // history rescaled
    EXPECT_EQ(m->numErrTestFails, 1);
  }
}

TEST(StepControl, FourthFailureLowersTheOrder) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  prepareAttempt(m, 3, 5.0);
  int nflag = MS_SUCCESS, nef = 3;
  double dsm;
  EXPECT_EQ(msLocalErrorTest(m, &nflag, 2.0, &nef, &dsm), STEP_TRY_AGAIN);
  EXPECT_EQ(m->q, 2);
  EXPECT_EQ(m->coeffCount, 3);
  EXPECT_EQ(m->orderWait, 3);
  EXPECT_EQ(m->stepRatio, 0.1);
  EXPECT_EQ(m->h, 0.1);
}

TEST(StepControl, FourthFailureAtOrderOneRebuildsTheHistoryFromTheDerivative) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  o.params.lambda = 3.0;
  prepareAttempt(m, 1, 5.0);
  const int evals = m->numRhsEvals;
  int nflag = MS_SUCCESS, nef = 3;
  double dsm;
  EXPECT_EQ(msLocalErrorTest(m, &nflag, 2.0, &nef, &dsm), STEP_TRY_AGAIN);
  EXPECT_EQ(m->q, 1);
  EXPECT_EQ(m->orderWait, 10);
  EXPECT_EQ(m->h, 0.1);
  EXPECT_EQ(m->hScale, 0.1);
  EXPECT_EQ(m->numRhsEvals, evals + 1);
  EXPECT_EQ(data(m->nordsieck[0])[0], 1.0);                  // retracted start value
  EXPECT_NEAR(data(m->nordsieck[1])[0], 0.1 * -3.0, 1e-15);  // h * f(t, y)

  // The rebuild's own right-hand-side failures.
  for (int value : {-1, 1}) {
    ode::Ode p(ode::decayRhs, {1.0});
    prepareAttempt(p.m(), 1, 5.0);
    p.params.rhsFailAt = 1;
    p.params.rhsFailValue = value;
    nef = 3;
    EXPECT_EQ(msLocalErrorTest(p.m(), &nflag, 2.0, &nef, &dsm),
              value < 0 ? MS_RHSFUNC_FAIL : MS_UNREC_RHSFUNC_ERR);
    // The failed step leaves a history that fits its step size: the
    // derivative it holds is still the one at the start (1).
    EXPECT_EQ(p.m()->h, 0.1);
    EXPECT_DOUBLE_EQ(data(p.m()->nordsieck[1])[0] / p.m()->h, 1.0) << value;
    EXPECT_EQ(data(p.m()->nordsieck[0])[0], 1.0);
  }
}

TEST(StepControl, FailureLimitEndsTheStep) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  MstepSetMaxErrTestFails(o.mem, 2);
  prepareAttempt(m, 2, 3.0);
  int nflag = MS_SUCCESS, nef = 1;
  double dsm;
  EXPECT_EQ(msLocalErrorTest(m, &nflag, 2.0, &nef, &dsm), MS_ERR_FAILURE);
  EXPECT_EQ(m->tcur, 2.0);
  // A limit below one still ends the step at its first failure.
  MstepSetMaxErrTestFails(o.mem, 0);
  prepareAttempt(m, 2, 3.0);
  nef = 0;
  EXPECT_EQ(msLocalErrorTest(m, &nflag, 2.0, &nef, &dsm), MS_ERR_FAILURE);
}

struct PickCase {
  double down, same, up;
  int dq;
  double ratio;
};

TEST(StepControl, OrderChoicePrefersTheCurrentThenTheLowerOrder) {
  const PickCase cases[] = {
      {2.0, 2.0, 1.8, 0, 2.0}, {2.0, 1.9, 2.0, -1, 2.0}, {1.4, 1.2, 1.49, 0, 1.0},
      {1.0, 1.6, 3.0, +1, 3.0}, {2.5, 1.0, 2.5, -1, 2.5},
  };
  for (const PickCase& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    MstepMem m = o.m();
    m->q = 3;
    m->etaOrderDown = c.down;
    m->etaOrderSame = c.same;
    m->etaOrderUp = c.up;
    data(m->correction)[0] = 0.75;
    data(m->nordsieck[m->maxOrder])[0] = 0.0;
    msPickOrder(m);
    EXPECT_EQ(m->qNew, 3 + c.dq) << c.down << " " << c.same << " " << c.up;
    EXPECT_EQ(m->stepRatio, c.ratio);
    EXPECT_EQ(data(m->nordsieck[m->maxOrder])[0], c.dq == 1 ? 0.75 : 0.0);
  }
}

TEST(StepControl, StepRatioThresholdAndLimits) {
  struct Case {
    double ratio, maxRatio, hmaxInv, expectHNew;
  } cases[] = {
      {1.4, 10, 0, 2.0},    {1.5, 10, 0, 3.0},   {1e6, 10, 0, 20.0},
      {1e6, 1e4, 0, 2e4},   {8.0, 10, 0.1, 10.0}, {3.0, 10, 0.1, 6.0},
  };
  for (const auto& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    MstepMem m = o.m();
    m->q = m->qNew = 2;
    m->h = 2.0;
    m->stepRatio = c.ratio;
    m->maxStepRatio = c.maxRatio;
    m->hmaxInv = c.hmaxInv;
    msLimitStepRatio(m);
    EXPECT_DOUBLE_EQ(m->hNew, c.expectHNew) << c.ratio << " " << c.maxRatio << " " << c.hmaxInv;
  }
}

TEST(StepControl, AfterAFailedAttemptTheNextStepKeepsSizeAndOrder) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  m->q = 2;
  m->h = 0.5;
  m->orderWait = 0;
  m->maxStepRatio = 1.0;
  msPlanNextStep(m, 0.0);
  EXPECT_EQ(m->qNew, 2);
  EXPECT_EQ(m->hNew, 0.5);
  EXPECT_EQ(m->stepRatio, 1.0);
  EXPECT_EQ(m->orderWait, 2);
}

TEST(StepControl, ZeroErrorProposesTheMaximumGrowth) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  m->q = m->qNew = 1;
  m->coeffCount = 2;
  m->h = 1.0;
  m->orderWait = 1;
  m->maxStepRatio = 10000.0;
  msPlanNextStep(m, 0.0);
  EXPECT_NEAR(m->etaOrderSame, 1e6, 1e-6);
  EXPECT_EQ(m->hNew, 10000.0);
  // Never a raise at the maximum order or before a correction was saved.
  m->q = m->maxOrder;
  m->savedTestQuant5 = 1.0;
  EXPECT_EQ(msRatioHigherOrder(m), 0.0);
  m->q = 2;
  m->savedTestQuant5 = 0.0;
  EXPECT_EQ(msRatioHigherOrder(m), 0.0);
  m->q = 1;
  EXPECT_EQ(msRatioLowerOrder(m), 0.0);
}

TEST(StepControl, AcceptedStepKeepsStepHistoryAndSavesTheCorrection) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  m->q = 1;
  m->h = 0.25;
  m->numSteps = 0;
  m->orderWait = 2;
  m->pastSteps[1] = 7.0;
  m->pastSteps[2] = 9.0;
  m->lCoef[0] = m->lCoef[1] = 1.0;
  m->testQuant[5] = 2.0;
  data(m->correction)[0] = 0.5;
  data(m->nordsieck[0])[0] = 1.0;
  data(m->nordsieck[1])[0] = 0.1;
  msAcceptStep(m);  // the first step: pastSteps[2] stays
  EXPECT_EQ(m->pastSteps[2], 9.0);
  EXPECT_EQ(m->pastSteps[1], 0.25);
  EXPECT_DOUBLE_EQ(data(m->nordsieck[0])[0], 1.5);
  EXPECT_DOUBLE_EQ(data(m->nordsieck[1])[0], 0.6);
  EXPECT_EQ(m->orderWait, 1);
  EXPECT_EQ(data(m->nordsieck[m->maxOrder])[0], 0.5);
  EXPECT_EQ(m->savedTestQuant5, 2.0);
  EXPECT_EQ(m->hu, 0.25);
  EXPECT_EQ(m->qUsed, 1);
  m->h = 0.5;
  msAcceptStep(m);  // a later step at order 1 keeps the previous step size
  EXPECT_EQ(m->pastSteps[2], 0.25);
  EXPECT_EQ(m->pastSteps[1], 0.5);
  EXPECT_EQ(m->numSteps, 2);
}

TEST(StepStability, NothingIsRecordedBelowOrderThree) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  m->q = m->qNew = 2;
  m->stepsSameOrder = 50;
  m->stabData[1][2] = 4.0;
  msStabilityCheck(m);
  EXPECT_EQ(m->stabData[1][2], 4.0);
  EXPECT_EQ(m->stabData[2][2], 0.0);
  EXPECT_EQ(m->qNew, 2);
}

void loadStability(MstepMem m, const double a[3], double g) {
  for (int k = 1; k <= 3; ++k)
    for (int i = 1; i <= 5; ++i) m->stabData[i][k] = a[k - 1] * std::pow(g, i - 1);
}

TEST(StepStability, LimitResultsOnSimpleData) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  m->q = 4;
  const double a[3] = {1.0, 2.0, 3.0};
  // Exactly geometric data: the normal case, rejected by the column check.
  loadStability(m, a, 0.8);
  EXPECT_EQ(msStabilityLimit(m), -7);
  // A zero entry in a column with a positive largest entry.
  m->stabData[3][2] = 0.0;
  EXPECT_EQ(msStabilityLimit(m), -1);
}

// Norm histories of the form the detection assumes: s_i = A_k (1 + 1e-5 x_i)
// / rr^(i-1), i = 1 the newest, with the small disturbance x = (0, 0, 1, 0, 0)
// that makes the error-constant check well posed (c = 3). The column scales
// are those for which order 4 has rr as its dominant root.
void loadModelHistory(double s[6][4], double rr) {
  const double x[6] = {0, 0, 0, 1, 0, 0};
  const double A[4] = {0, 4.75 + 1.5 * (1.0 - 1.0 / rr), 1.0, 1.0};
  for (int k = 1; k <= 3; ++k)
    for (int i = 1; i <= 5; ++i) s[i][k] = A[k] * (1.0 + 1e-5 * x[i]) * std::pow(rr, 1 - i);
}

TEST(StepStability, ADominantRootNearTheUnitCircleLowersTheOrder) {
  struct Case {
    double rr;
    int code;
    double etaDown, hmaxInv;
    int qNew;
    double hNew;
  } cases[] = {
      {0.95, 1, 3.0, 0.0, 4, 2.0},    // stable: nothing changes
      {0.99, 4, 3.0, 0.0, 3, 6.0},    // violation: the ratio proposed for q - 1
      {0.99, 4, 20.0, 0.0, 3, 20.0},  // ... limited by maxStepRatio
      {0.99, 4, 3.0, 0.25, 3, 4.0},   // ... and by the maximum step
  };
  for (const Case& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    MstepMem m = o.m();
    m->q = m->qNew = 4;
    m->h = m->hNew = 2.0;
    m->stepRatio = 1.0;
    m->maxStepRatio = 10.0;
    m->hmaxInv = c.hmaxInv;
    m->etaOrderDown = c.etaDown;
    m->stepsSameOrder = 4 + 5;
    double s[6][4];
    loadModelHistory(s, c.rr);
    // Rows 2 .. 5 come from earlier steps, row 1 from this step's history.
    for (int i = 1; i <= 4; ++i)
      for (int k = 1; k <= 3; ++k) m->stabData[i][k] = s[i + 1][k];
    N_VConst(1.0, m->ewt);
    data(m->nordsieck[3])[0] = std::sqrt(s[1][1]) / 6.0;   // (q-1)! = 6
    data(m->nordsieck[4])[0] = std::sqrt(s[1][2]) / 24.0;  // q (q-1)!
    m->testQuant[5] = 120.0;                               // q (q+1) (q-1)!
    m->corrNorm = std::sqrt(s[1][3]);
    msStabilityCheck(m);
    for (int i = 1; i <= 5; ++i)
      for (int k = 1; k <= 3; ++k) EXPECT_NEAR(m->stabData[i][k], s[i][k], 1e-14 * s[i][k]);
    EXPECT_EQ(msStabilityLimit(m), c.code) << c.rr;
    EXPECT_EQ(m->qNew, c.qNew) << c.rr;
    EXPECT_DOUBLE_EQ(m->hNew, c.hNew) << c.rr << " " << c.etaDown << " " << c.hmaxInv;
    EXPECT_EQ(m->numOrderReductions, c.qNew < 4 ? 1 : 0);
  }
}

TEST(StepStability, AnOrderDecreaseAlreadyChosenOnlyRecords) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  m->q = 4;
  m->qNew = 3;
  m->stepsSameOrder = 12;
  m->corrNorm = 0.5;
  m->testQuant[5] = 120.0;
  for (int j = 0; j <= 4; ++j) data(m->nordsieck[j])[0] = 1.0;
  N_VConst(1.0, m->ewt);
  msStabilityCheck(m);
  EXPECT_EQ(m->stepsSameOrder, 0);
  EXPECT_DOUBLE_EQ(m->stabData[1][3], std::pow(6.0 * 4 * 5 * 0.5 / 120.0, 2));
  EXPECT_DOUBLE_EQ(m->stabData[1][2], std::pow(4.0 * 6.0, 2));
  EXPECT_DOUBLE_EQ(m->stabData[1][1], 36.0);
}

}  // namespace
