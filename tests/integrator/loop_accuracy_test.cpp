// Integration of small analytic problems to an output time.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "ode_fixture.h"

namespace {

int zeroJac(int, double, N_Vector, N_Vector, DlsMat, void*, N_Vector, N_Vector, N_Vector) { return 0; }

TEST(LoopAccuracy, DecayReachesTheToleranceAtOneAndTen) {
  ode::Ode o(ode::decayRhs, {1.0});
  double t = 0;
  ASSERT_EQ(o.step(1.0, &t), MS_SUCCESS);
  EXPECT_EQ(t, 1.0);
  // Global error of a few tolerances at rtol = atol = 1e-5.
  EXPECT_NEAR(o[0], std::exp(-1.0), 1e-4);
  ASSERT_EQ(o.step(10.0, &t), MS_SUCCESS);
  EXPECT_EQ(t, 10.0);
  EXPECT_NEAR(o[0], std::exp(-10.0), 5e-5);
  EXPECT_TRUE(o.messages.empty());
  // The method climbs above order 1 and the step grows.
  EXPECT_GE(o.m()->qUsed, 2);
  EXPECT_GT(o.m()->hu, 0.1);
}

TEST(LoopAccuracy, ErrorWeightsFollowTheSolution) {
  // With an absolute tolerance far below the solution, only weights renewed
  // at every step keep the error relative as y decays by e^-20.
  ode::Ode o(ode::decayRhs, {1.0}, 0.0, 1e-5, 1e-20);
  MstepSetMaxNumSteps(o.mem, -1);
  double t;
  ASSERT_EQ(o.step(20.0, &t), MS_SUCCESS);
  EXPECT_NEAR(o[0] / std::exp(-20.0), 1.0, 1e-2);
}

TEST(LoopAccuracy, ConstantSlopeRunIsFullyDetermined) {
  // y' = 1 is integrated exactly: every corrector change is zero, so each
  // step costs one evaluation and the step grows by 10000 once, then by 10.
  // Before the first step: f(t0) and three evaluations of the estimate.
  ode::Ode o(ode::constantRhs, {0.0});
  MsDlsSetDenseJacFn(o.mem, zeroJac);
  double t = 0;
  ASSERT_EQ(o.step(1.0, &t), MS_SUCCESS);
  MstepMem m = o.m();
  EXPECT_EQ(m->numSteps, 6);
  EXPECT_EQ(m->numRhsEvals, 4 + 6);
  EXPECT_EQ(m->numNonlinIters, 6);
  EXPECT_EQ(m->numErrTestFails + m->numConvFails, 0);
  EXPECT_EQ(m->qUsed, 1);
  EXPECT_NEAR(m->hu / m->h0Used, 1e4 * 1e4, 1e-4);  // 10000, then four times 10
  EXPECT_DOUBLE_EQ(o[0], 1.0);
  EXPECT_EQ(t, 1.0);
}

TEST(LoopAccuracy, StiffPairStepCountDoesNotGrowWithStiffness) {
  int steps[4];
  int i = 0;
  for (double lambda : {1e3, 1e5, 1e7, 1e9}) {
    ode::Ode o(ode::stiffRhs, {1.0, 1.0});
    o.params.lambda = lambda;
    MsDlsSetDenseJacFn(o.mem, ode::stiffJac);
    double t;
    ASSERT_EQ(o.step(10.0, &t), MS_SUCCESS) << lambda;
    EXPECT_NEAR(o[0], std::exp(-10.0), 5e-5) << lambda;
    EXPECT_NEAR(o[1], std::exp(-10.0), 5e-5) << lambda;
    steps[i++] = o.m()->numSteps;
  }
  for (int k = 1; k < 4; ++k) EXPECT_LE(steps[k], steps[0] + steps[0] / 10) << k;
  EXPECT_LT(steps[0], 200);
}

TEST(LoopAccuracy, StiffTransientIsDampedWithoutTinySteps) {
  ode::Ode o(ode::stiffRhs, {2.0, 1.0});  // y1 - y2 decays like exp(-lambda t)
  o.params.lambda = 1e6;
  MsDlsSetDenseJacFn(o.mem, ode::stiffJac);
  double t;
  ASSERT_EQ(o.step(5.0, &t), MS_SUCCESS);
  EXPECT_NEAR(o[0], std::exp(-5.0), 1e-4);
  EXPECT_LT(o.m()->numSteps, 400);
}

TEST(LoopAccuracy, BuiltInAndUserJacobianAgreeOnANonSymmetricSystem) {
  double y1, y2;
  ode::upperExact(2.0, 1.0, 1.0, &y1, &y2);
  double results[2][2];
  for (int user = 0; user < 2; ++user) {
    ode::Ode o(ode::upperRhs, {1.0, 1.0}, 0.0, 1e-7, 1e-9);
    if (user) MsDlsSetDenseJacFn(o.mem, ode::upperJac);
    double t;
    ASSERT_EQ(o.step(2.0, &t), MS_SUCCESS);
    results[user][0] = o[0];
    results[user][1] = o[1];
    EXPECT_NEAR(o[0], y1, 2e-6) << user;
    EXPECT_NEAR(o[1], y2, 1e-8) << user;
  }
  EXPECT_NEAR(results[0][0], results[1][0], 1e-7);
  EXPECT_NEAR(results[0][1], results[1][1], 1e-9);
}

TEST(LoopAccuracy, OutputSequenceIsBitIdenticalToOneLongRun) {
  // The first-step estimate looks at the first tout; the same first step
  // for both runs leaves only the effect of the outputs.
  ode::Ode longRun(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-6, 1e-8);
  MstepSetInitStep(longRun.mem, 1e-4);
  double t;
  ASSERT_EQ(longRun.step(10.0, &t), MS_SUCCESS);

  ode::Ode sampled(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-6, 1e-8);
  MstepSetInitStep(sampled.mem, 1e-4);
  for (int k = 1; k <= 100; ++k) {
    const double tout = 0.1 * k;
    ASSERT_EQ(sampled.step(tout, &t), MS_SUCCESS);
    EXPECT_EQ(t, tout);
    EXPECT_NEAR(sampled[0], std::sin(tout), 1e-4);
  }
  // 0.1 * 100 is exactly 10.
  EXPECT_EQ(std::memcmp(ode::data(sampled.y), ode::data(longRun.y), 2 * sizeof(double)), 0);
  EXPECT_EQ(sampled.m()->numSteps, longRun.m()->numSteps);
  EXPECT_EQ(sampled.m()->numRhsEvals, longRun.m()->numRhsEvals);
}

TEST(LoopAccuracy, OneStepModeReturnsEachInternalStep) {
  ode::Ode o(ode::decayRhs, {1.0});
  double t = 0, last = 0;
  int calls = 0;
  while (last < 1.0) {
    ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
    ++calls;
    EXPECT_GT(t, last);
    EXPECT_EQ(t, o.m()->tcur);
    EXPECT_EQ(o[0], ode::data(o.m()->nordsieck[0])[0]);
    last = t;
  }
  EXPECT_EQ(calls, o.m()->numSteps);
}

TEST(LoopAccuracy, AdamsWithNewtonIteration) {
  ode::Ode o(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-8, 1e-10, MS_ADAMS, MS_NEWTON);
  double t;
  ASSERT_EQ(o.step(6.0, &t), MS_SUCCESS);
  EXPECT_NEAR(o[0], std::sin(6.0), 1e-6);
  EXPECT_NEAR(o[1], std::cos(6.0), 1e-6);
  EXPECT_GE(o.m()->qUsed, 5);
}

TEST(LoopAccuracy, InterpolatedDerivativesMatchTheSolution) {
  ode::Ode o(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-9, 1e-11);
  double t;
  ASSERT_EQ(o.step(2.0, &t), MS_SUCCESS);
  MstepMem m = o.m();
  N_Vector dky = N_VNew_Serial(2);
  const double tm = m->tcur - 0.5 * m->hu;
  ASSERT_EQ(MstepGetDky(o.mem, tm, 0, dky), MS_SUCCESS);
  EXPECT_NEAR(ode::data(dky)[0], std::sin(tm), 1e-6);
  ASSERT_EQ(MstepGetDky(o.mem, tm, 1, dky), MS_SUCCESS);
  EXPECT_NEAR(ode::data(dky)[0], std::cos(tm), 1e-4);
  EXPECT_NEAR(ode::data(dky)[1], -std::sin(tm), 1e-4);
  // The ends of the last step are inside, beyond them not.
  EXPECT_EQ(MstepGetDky(o.mem, m->tcur - m->hu, 0, dky), MS_SUCCESS);
  ASSERT_EQ(MstepGetDky(o.mem, m->tcur, 0, dky), MS_SUCCESS);
  EXPECT_EQ(ode::data(dky)[0], ode::data(m->nordsieck[0])[0]);
  EXPECT_EQ(MstepGetDky(o.mem, m->tcur + 0.5 * m->hu, 0, dky), MS_BAD_T);
  EXPECT_EQ(MstepGetDky(o.mem, m->tcur, m->q + 1, dky), MS_BAD_K);
  EXPECT_EQ(MstepGetDky(o.mem, m->tcur, -1, dky), MS_BAD_K);
  EXPECT_EQ(MstepGetDky(o.mem, m->tcur, 0, nullptr), MS_BAD_DKY);
  EXPECT_EQ(MstepGetDky(o.mem, std::nan(""), 0, dky), MS_BAD_T);
  EXPECT_EQ(o.count("Illegal value for k."), 2);
  EXPECT_EQ(o.count("dky = NULL illegal."), 1);
  N_VDestroy(dky);
}

}  // namespace
