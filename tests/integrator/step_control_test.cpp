// The local error test with its failure ladder, and the choice of the next
// step size and order.
#include <gtest/gtest.h>

#include <cmath>

#include "integrator/integration_step.h"
#include "integrator/nonlinear_corrector.h"
#include "integrator/nordsieck_history.h"
#include "integrator/stability_limit.h"
#include "integrator/step_control.h"
#include "memory_record.h"
#include "ode_fixture.h"

using namespace pelvarin;

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
    ode::MemoryRecord o;
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
    ode::MemoryRecord o;
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
  ode::MemoryRecord o;
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
  ode::MemoryRecord o;
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
  ode::MemoryRecord o;
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
  ode::MemoryRecord o;
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
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 4;
  const double a[3] = {1.0, 2.0, 3.0};
  // Exactly geometric data: the normal case, rejected by the column check.
  loadStability(m, a, 0.8);
  EXPECT_EQ(msStabilityLimit(m), -7);
  // A zero entry in a column with a positive largest entry.
  m->stabData[3][2] = 0.0;
  EXPECT_EQ(msStabilityLimit(m), -1);
  // Columns of zeros pass the column check: their NaN ratios end in the
  // results recorded.
  for (int i = 1; i <= 5; ++i) m->stabData[i][2] = 0.0;
  EXPECT_EQ(msStabilityLimit(m), 1);
  for (int i = 1; i <= 5; ++i) m->stabData[i][1] = m->stabData[i][3] = 0.0;
  EXPECT_EQ(msStabilityLimit(m), 2);
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
    ode::MemoryRecord o;
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
  ode::MemoryRecord o;
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

namespace {

TEST(StepControl, ProposalsForTheNeighbouringOrdersFollowTheirFormulas) {
  // Lower: 1 / ((6 ||z[q]|| tq1)^(1/q) + 1e-6). Higher, with
  // c = (tq5 / saved tq5) (h / pastSteps[2])^(q+1):
  // 1 / ((10 ||correction - c z[maxOrder]|| tq3)^(1/(q+2)) + 1e-6).
  struct Case {
    int q;
    double weight;
    double zq, tq1, lower;
    double tq5, savedTq5, h, past2, correction, zmax, tq3, higher;
  } cases[] = {
      {1, 1.0, 0.0, 0.0, 0.0, 1.0, 4.0, 2.0, 1.0, 1.5, 0.5, 0.8, 1.0 / (2.0 + 1e-6)},
      {2, 2.0, 0.5, 2.0 / 3.0, 1.0 / (2.0 + 1e-6), 2.0, 1.0, 1.0, 0.5, 8.5, 0.5, 1.6,
       1.0 / (std::pow(8.0, 0.25) + 1e-6)},
      {3, 1.0, 1.0, 8.0 / 6.0, 1.0 / (2.0 + 1e-6), 3.0, 3.0, 1.0, 1.0, 3.5, 1.0, 1.28,
       1.0 / (2.0 + 1e-6)},
      {4, 1.0, 1.0, 13.5, 1.0 / (3.0 + 1e-6), 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1.0, 1e6},
  };
  for (const Case& c : cases) {
    ode::MemoryRecord o;
    MstepMem m = o.m();
    m->q = c.q;
    m->coeffCount = c.q + 1;
    N_VConst(c.weight, m->ewt);
    data(m->nordsieck[c.q])[0] = c.zq;
    m->testQuant[1] = c.tq1;
    m->testQuant[3] = c.tq3;
    m->testQuant[5] = c.tq5;
    m->savedTestQuant5 = c.savedTq5;
    m->h = c.h;
    m->pastSteps[2] = c.past2;
    data(m->correction)[0] = c.correction / c.weight;
    data(m->nordsieck[m->maxOrder])[0] = c.zmax / c.weight;
    EXPECT_NEAR(msRatioLowerOrder(m), c.lower, 1e-15) << c.q;
    EXPECT_EQ(m->etaOrderDown, msRatioLowerOrder(m));
    EXPECT_NEAR(msRatioHigherOrder(m), c.higher, 1e-15 * c.higher) << c.q;
    EXPECT_EQ(m->etaOrderUp, msRatioHigherOrder(m));
  }
}

TEST(StepControl, ARealRunRaisesTheOrderFromThreeToFour) {
  ode::Ode o(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-9, 1e-11);
  double t = 0;
  int previous = 1;
  bool raised = false;
  while (t < 5.0 && !raised) {
    ASSERT_EQ(o.step(5.0, &t, MS_ONE_STEP), MS_SUCCESS);
    const int q = o.m()->qUsed;
    EXPECT_LE(q, previous + 1) << "one order at a time";
    if (previous == 3 && q == 4) raised = true;
    previous = q;
  }
  ASSERT_TRUE(raised);
  // The raised history still interpolates the solution.
  N_Vector dky = N_VNew_Serial(2);
  ASSERT_EQ(MstepGetDky(o.mem, t - 0.5 * o.m()->hu, 1, dky), MS_SUCCESS);
  EXPECT_NEAR(data(dky)[0], std::cos(t - 0.5 * o.m()->hu), 1e-7);
  N_VDestroy(dky);
  EXPECT_NEAR(o[0], std::sin(t), 1e-8);
}

TEST(StepStability, TheIntegerProductFitsAtOrderTwelve) {
  // 11! 12 13 = 6227020800 leaves 32 bits.
  ode::MemoryRecord o(MS_ADAMS);
  MstepMem m = o.m();
  ASSERT_EQ(m->maxOrder, 12);
  m->q = m->qNew = 12;
  m->corrNorm = 1.0;
  m->testQuant[5] = 6227020800.0;
  N_VConst(1.0, m->ewt);
  data(m->nordsieck[12])[0] = 1.0;
  data(m->nordsieck[11])[0] = 1.0;
  msStabilityCheck(m);
  EXPECT_EQ(m->stabData[1][3], 1.0);
  EXPECT_EQ(m->stabData[1][2], std::pow(479001600.0, 2));  // 12 11!
  EXPECT_EQ(m->stabData[1][1], std::pow(39916800.0, 2));   // 11!
}

// A column whose quartic P(x) = c1 x^4 + c2 x^3 + c4 x + c5 has the root rr:
// s_i = t_i / rr^(i-1) for i = 1 .. 4 and s_5 solved from P(rr) = 0.
void quarticColumn(const double t[4], double rr, double s[6]) {
  for (int i = 1; i <= 4; ++i) s[i] = t[i - 1] / std::pow(rr, i - 1);
  const double x3 = rr * rr * rr, x4 = x3 * rr;
  const double c4 = s[2] * s[3] - s[1] * s[4], c5 = s[1] * s[3] - s[2] * s[2];
  s[5] = -(s[4] * s[4] * x4 - s[3] * s[4] * x3 + c4 * rr + c5) / (s[2] * x3 - s[3] * x4);
}

// The value the detection compares across the columns at rr (its check of the root).
double columnSigma(const double s[6], double rr) {
  const double a = s[1], b = s[2] * rr, c = s[3] * rr * rr, d = s[4] * rr * rr * rr;
  const double d1a = a - b, d1b = b - c, d1c = c - d;
  const double d2b = d1b - d1c;
  const double e = -((d1a - d1b) - d2b) / d1b;
  return s[3] + (d2b / e) / (rr * rr);
}

TEST(StepStability, QuarticAndNewtonCasesOnSyntheticHistories) {
  // Three columns of different shape that share the root rr, scaled so that
  // their values fit order 4 with rr as dominant root; then s_5 of one
  // column is disturbed by a factor, which moves the common root.
  struct Case {
    const char* name;
    double shapes[3][4];
    double rr;
    int column;
    double disturbance;
    int code;
  } cases[] = {
      {"common root, stable", {{1, 1.01, 1.005, 0.99}, {1, 1.02, 1.0, 0.97}, {1, 0.99, 1.0, 1.02}},
       0.95, 1, 0.0, 2},
      {"common root near the unit circle",
       {{1, 1.01, 1.005, 0.99}, {1, 1.02, 1.0, 0.97}, {1, 0.99, 1.0, 1.02}}, 0.99, 1, 0.0, 5},
      {"corrected by Newton, stable",
       {{1, 0.68, 1.4, 0.97}, {1, 1.28, 0.85, 1.37}, {1, 0.4, 0.81, 1.95}}, 0.95, 2, 0.003, 3},
      {"corrected by Newton, near the unit circle",
       {{1, 1.77, 0.56, 1.15}, {1, 1.65, 0.43, 1.91}, {1, 0.59, 1.62, 1.97}}, 0.99, 2, 0.003, 6},
      {"columns of one shape: no pivot",
       {{1, 1.01, 1.005, 0.99}, {1, 1.01, 1.005, 0.99}, {1, 1.01, 1.005, 0.99}}, 0.95, 1, 0.0, -4},
      {"root out of range", {{1, 0.79, 1.13, 0.93}, {1, 0.97, 1.41, 0.63}, {1, 0.61, 1.46, 0.8}},
       0.99, 3, 0.1, -5},
      {"Newton does not converge",
       {{1, 0.34, 1.22, 1.9}, {1, 0.95, 0.67, 1.02}, {1, 0.35, 0.68, 1.04}}, 0.99, 3, 0.01, -6},
  };
  const int q = 4;
  for (const Case& c : cases) {
    double s[4][6];
    for (int k = 1; k <= 3; ++k) quarticColumn(c.shapes[k - 1], c.rr, s[k]);
    // Columns q-1 and q+1 relative to q: ratm = bb + 1 + f1 and ratp = 1
    // make 1 / tem equal rr (f1 = (q^2 - 1) / 4, f2 = 2 / (q - 1)).
    const double ratm = (1.0 - 1.0 / c.rr) / (2.0 / (q - 1)) + 1.0 + 0.25 * (q * q - 1);
    const double scale1 = ratm * columnSigma(s[2], c.rr) / columnSigma(s[1], c.rr);
    const double scale3 = columnSigma(s[2], c.rr) / columnSigma(s[3], c.rr);
    ode::MemoryRecord o;
    MstepMem m = o.m();
    m->q = q;
    for (int i = 1; i <= 5; ++i) {
      m->stabData[i][1] = scale1 * s[1][i];
      m->stabData[i][2] = s[2][i];
      m->stabData[i][3] = scale3 * s[3][i];
    }
    m->stabData[5][c.column] *= 1.0 + c.disturbance;
    EXPECT_EQ(msStabilityLimit(m), c.code) << c.name;
  }
}

}  // namespace
