// Nordsieck history operations and the method coefficients.
#include <gtest/gtest.h>

#include <cmath>

#include "integrator/nordsieck_history.h"
#include "memory_record.h"
#include "ode_fixture.h"

using namespace pelvarin;

namespace {

using ode::data;

struct BdfRow {
  int q;
  double l[6];
  double tq[6];  // entries 1 .. 5
};

// Equal past steps, orderWait 1, nonlinConvCoef 0.1.
const BdfRow kBdfTable[] = {
    {1, {1, 1}, {0, 1, 1.0 / 2, 2.0 / 9, 1.0 / 5, 2}},
    {2, {1, 3.0 / 2, 1.0 / 2}, {0, 1, 2.0 / 9, 3.0 / 22, 9.0 / 20, 6}},
    {3, {1, 11.0 / 6, 1, 1.0 / 6}, {0, 4.0 / 3, 3.0 / 22, 12.0 / 125, 11.0 / 15, 24}},
    {4, {1, 25.0 / 12, 35.0 / 24, 5.0 / 12, 1.0 / 24}, {0, 36.0 / 11, 12.0 / 125, 10.0 / 137, 25.0 / 24, 120}},
    {5,
     {1, 137.0 / 60, 15.0 / 8, 17.0 / 24, 1.0 / 8, 1.0 / 120},
     {0, 288.0 / 25, 10.0 / 137, 20.0 / 343, 137.0 / 100, 720}},
};

void expectRel(double expected, double actual, const char* what, int q) {
  EXPECT_NEAR(actual, expected, 1e-14 * std::fabs(expected)) << what << " at q = " << q;
}

TEST(StepHistory, BdfCoefficientTableWithEqualSteps) {
  for (double h : {1.0, 0.037}) {
    for (const BdfRow& row : kBdfTable) {
      ode::MemoryRecord o;
      MstepMem m = o.m();
      m->q = row.q;
      m->coeffCount = row.q + 1;
      m->orderWait = 1;
      m->h = h;
      for (double& s : m->pastSteps) s = h;
      m->numSteps = 3;
      m->gammaPrev = h;
      msSetCoefficients(m);
      for (int j = 0; j <= row.q; ++j) expectRel(row.l[j], m->lCoef[j], "lCoef", row.q);
      for (int i = 1; i <= 5; ++i) expectRel(row.tq[i], m->testQuant[i], "testQuant", row.q);
      expectRel(1.0 / row.l[1], m->invL1, "invL1", row.q);
      expectRel(h / row.l[1], m->gamma, "gamma", row.q);
    }
  }
}

TEST(StepHistory, OrderWaitAboveOneKeepsTheOrderChangeQuantities) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 3;
  m->coeffCount = 4;
  m->orderWait = 2;
  m->h = 1.0;
  for (double& s : m->pastSteps) s = 1.0;
  m->testQuant[1] = -7.0;
  m->testQuant[3] = -9.0;
  msBDFCoefficients(m);
  EXPECT_EQ(m->testQuant[1], -7.0);
  EXPECT_EQ(m->testQuant[3], -9.0);
  expectRel(3.0 / 22, m->testQuant[2], "testQuant", 3);
  expectRel(24.0, m->testQuant[5], "testQuant", 3);
}

TEST(StepHistory, FirstStepGammaRatioIsExactlyOne) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 1;
  m->h = 0.3;
  m->gammaPrev = 123.0;
  msSetCoefficients(m);  // numSteps 0: the first step
  EXPECT_EQ(m->gammaRatio, 1.0);
  EXPECT_EQ(m->gammaPrev, m->gamma);
}

TEST(StepHistory, AdamsOrderOneHasFixedValues) {
  ode::MemoryRecord o(MS_ADAMS);
  MstepMem m = o.m();
  m->q = 1;
  m->h = 0.7;
  m->pastSteps[1] = 0.1;
  msSetCoefficients(m);
  EXPECT_EQ(m->lCoef[0], 1.0);
  EXPECT_EQ(m->lCoef[1], 1.0);
  const double tq[] = {0, 1, 0.5, 1.0 / 12, 0.2, 1};
  for (int i = 1; i <= 5; ++i) EXPECT_DOUBLE_EQ(m->testQuant[i], tq[i]) << i;
}

// nordsieck[j] = h^j p^(j)(t) / j! for p(t) = 1 + 2t - t^2 + 0.5 t^3.
void loadCubic(MstepMem m, double t, double h) {
  const double c[4] = {1, 2, -1, 0.5};
  for (int j = 0; j <= 3; ++j) {
    double v = 0;
    for (int i = j; i <= 3; ++i) {
      double binom = 1;
      for (int k = 0; k < j; ++k) binom = binom * (i - k) / (k + 1);
      v += c[i] * binom * std::pow(t, i - j);
    }
    data(m->nordsieck[j])[0] = v * std::pow(h, j);
  }
}

TEST(StepHistory, PredictionIsExactForPolynomialsOfTheOrder) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 3;
  m->tcur = 0.5;
  m->h = 0.25;
  loadCubic(m, 0.5, 0.25);
  msPredictHistory(m);
  EXPECT_EQ(m->tcur, 0.75);
  double expected[4];
  loadCubic(m, 0.75, 0.25);
  for (int j = 0; j <= 3; ++j) expected[j] = data(m->nordsieck[j])[0];
  loadCubic(m, 0.5, 0.25);
  msPredictHistory(m);
  for (int j = 0; j <= 3; ++j) EXPECT_NEAR(data(m->nordsieck[j])[0], expected[j], 1e-14) << j;
}

TEST(StepHistory, RetractionRestoresTimeExactlyAndHistoryToRounding) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  for (int q : {1, 3, 5}) {
    m->q = q;
    m->tcur = 0.1;
    m->h = 0.1;
    double before[6];
    for (int j = 0; j <= q; ++j) before[j] = data(m->nordsieck[j])[0] = 1.0 / (j + 1) - 0.3 * j;
    msPredictHistory(m);
    msRetractHistory(m, 0.1);
    EXPECT_EQ(m->tcur, 0.1);
    for (int j = 0; j <= q; ++j) EXPECT_NEAR(data(m->nordsieck[j])[0], before[j], 1e-14) << q << " " << j;
  }
}

TEST(StepHistory, RescaleMultipliesColumnsByPowersOfTheRatio) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 3;
  m->hScale = 0.5;
  m->stepRatio = 0.5;
  m->stepsSameOrder = 4;
  for (int j = 0; j <= 3; ++j) data(m->nordsieck[j])[0] = 1.0;
  msRescaleHistory(m);
  const double expected[] = {1.0, 0.5, 0.25, 0.125};
  for (int j = 0; j <= 3; ++j) EXPECT_EQ(data(m->nordsieck[j])[0], expected[j]);
  EXPECT_EQ(m->h, 0.25);
  EXPECT_EQ(m->hScale, 0.25);
  EXPECT_EQ(m->hNext, 0.25);
  EXPECT_EQ(m->stepsSameOrder, 0);
}

struct RaiseCase {
  int q;
  double laterSteps;  // pastSteps[2 ..] in units of hScale
  double a1;          // factor of the saved correction in the new column
};

TEST(StepHistory, BdfOrderRaiseBuildsTheNewColumnFromTheSavedCorrection) {
  const RaiseCase cases[] = {{1, 1.0, 0.0}, {1, 2.0, 0.0}, {2, 1.0, 0.0}, {3, 1.0, 0.0}, {2, 2.0, 1.0 / 18}};
  for (const RaiseCase& c : cases) {
    ode::MemoryRecord o;
    MstepMem m = o.m();
    m->q = c.q;
    m->coeffCount = c.q + 1;
    m->hScale = 1.0;
    for (double& s : m->pastSteps) s = c.laterSteps;
    m->pastSteps[1] = 1.0;
    m->corrHistIndex = m->maxOrder;
    data(m->nordsieck[m->maxOrder])[0] = 3.0;
    for (int j = 0; j <= c.q; ++j) data(m->nordsieck[j])[0] = 1.0 + j;
    msChangeHistoryOrder(m, +1);
    EXPECT_NEAR(data(m->nordsieck[c.q + 1])[0], 3.0 * c.a1, 1e-15) << c.q;
    if (c.a1 == 0.0) {
      for (int j = 0; j <= c.q; ++j) EXPECT_EQ(data(m->nordsieck[j])[0], 1.0 + j) << c.q << " " << j;
    }
  }
  // q = 2 with pastSteps[2] = 2 hScale: the new column also enters column 2.
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 2;
  m->coeffCount = 3;
  m->hScale = 1.0;
  m->pastSteps[1] = 1.0;
  m->pastSteps[2] = 2.0;
  m->corrHistIndex = m->maxOrder;
  data(m->nordsieck[m->maxOrder])[0] = 18.0;
  data(m->nordsieck[2])[0] = 5.0;
  msChangeHistoryOrder(m, +1);
  EXPECT_NEAR(data(m->nordsieck[3])[0], 1.0, 1e-15);
  EXPECT_NEAR(data(m->nordsieck[2])[0], 6.0, 1e-15);
}

TEST(StepHistory, BdfOrderLowering) {
  // From 2 to 1 nothing changes.
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 2;
  m->hScale = 1.0;
  for (int j = 0; j <= 2; ++j) data(m->nordsieck[j])[0] = 2.0 + j;
  msChangeHistoryOrder(m, -1);
  for (int j = 0; j <= 2; ++j) EXPECT_EQ(data(m->nordsieck[j])[0], 2.0 + j);

  // From 3 to 2 with equal steps the top column is folded into column 2.
  m->q = 3;
  for (double& s : m->pastSteps) s = 1.0;
  for (int j = 0; j <= 3; ++j) data(m->nordsieck[j])[0] = 2.0 + j;
  msChangeHistoryOrder(m, -1);
  EXPECT_EQ(data(m->nordsieck[2])[0], 4.0 - 5.0);
  EXPECT_EQ(data(m->nordsieck[1])[0], 3.0);
}

TEST(StepHistory, ApplyStepOrderChangesOrderThenRescales) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 2;
  m->qNew = 1;
  m->hScale = 1.0;
  m->stepRatio = 2.0;
  for (int j = 0; j <= 2; ++j) data(m->nordsieck[j])[0] = 1.0;
  msApplyStepOrder(m);
  EXPECT_EQ(m->q, 1);
  EXPECT_EQ(m->coeffCount, 2);
  EXPECT_EQ(m->orderWait, 2);
  EXPECT_EQ(m->h, 2.0);
  EXPECT_EQ(data(m->nordsieck[1])[0], 2.0);
}

TEST(StepHistory, AlternatingSum) {
  double a[] = {1.0, 2.0, 3.0};
  EXPECT_EQ(msAlternatingSum(-1, a, 1), 0.0);
  EXPECT_DOUBLE_EQ(msAlternatingSum(2, a, 1), 1.0 - 1.0 + 1.0);
  EXPECT_DOUBLE_EQ(msAlternatingSum(2, a, 2), 0.5 - 2.0 / 3 + 0.75);
}

TEST(StepHistory, PredictionStopsTheClockAtTstop) {
  ode::MemoryRecord o;
  MstepMem m = o.m();
  m->q = 1;
  m->tcur = 0.0;
  m->h = 1.0;
  m->tstopSet = 1;
  m->tstop = 0.5;
  data(m->nordsieck[0])[0] = 1.0;
  data(m->nordsieck[1])[0] = 0.25;
  msPredictHistory(m);
  EXPECT_EQ(m->tcur, 0.5);
  EXPECT_EQ(data(m->nordsieck[0])[0], 1.25);
}

}  // namespace
