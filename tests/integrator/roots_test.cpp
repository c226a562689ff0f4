// Root finding on event functions, as a caller and as the co-simulation
// stepper (restart at every root) see it.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "integrator/allocation.h"
#include "integrator/root_finding.h"
#include "ode_fixture.h"

using namespace pelvarin;

namespace {

using ode::data;
const double kPi = 3.14159265358979323846;

int countRoot(ode::Params* p) {
  ++p->rootCalls;
  return (p->rootFailAt > 0 && p->rootCalls >= p->rootFailAt) ? -1 : 0;
}

// g = y - 0.5 for y' = 1 from 0: a root linear in t.
int linearRoot(double, N_Vector y, double* g, void* ud) {
  g[0] = data(y)[0] - 0.5;
  return countRoot(static_cast<ode::Params*>(ud));
}
// g = y1 of the oscillator (sin t): zeros at k pi.
int sineRoot(double, N_Vector y, double* g, void* ud) {
  g[0] = data(y)[0];
  return countRoot(static_cast<ode::Params*>(ud));
}
// Two functions of t: one rising through 0.3, one falling through 0.3 + d.
int pairRoots(double t, N_Vector, double* g, void* ud) {
  auto* p = static_cast<ode::Params*>(ud);
  g[0] = t - 0.3;
  g[1] = (0.3 + p->next) - t;
  return countRoot(p);
}
// A moving event time, advanced by the caller at every root.
int movingRoot(double t, N_Vector, double* g, void* ud) {
  auto* p = static_cast<ode::Params*>(ud);
  g[0] = t - p->next;
  return countRoot(p);
}
// Identically zero until armed, then t - next.
int armedRoot(double t, N_Vector, double* g, void* ud) {
  auto* p = static_cast<ode::Params*>(ud);
  g[0] = p->armed ? t - p->next : 0.0;
  return countRoot(p);
}
// Jumps from -1 to +inf at 0.5.
int infiniteRoot(double t, N_Vector, double* g, void* ud) {
  g[0] = t < 0.5 ? -1.0 : std::numeric_limits<double>::infinity();
  return countRoot(static_cast<ode::Params*>(ud));
}

TEST(Roots, RootLinearInTimeIsLocatedToRounding) {
  ode::Ode o(ode::constantRhs, {0.0});
  ASSERT_EQ(MstepRootInit(o.mem, 1, linearRoot), MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN);
  MstepMem m = o.m();
  EXPECT_NEAR(t, 0.5, 2 * m->rootTol);
  EXPECT_GE(t, 0.5 - 1e-15);  // the right end of the final bracket
  EXPECT_NEAR(o[0], t, 1e-15);
  EXPECT_EQ(m->rootsFound[0], 1);
  int ngevals = 0;
  MstepGetNumGEvals(o.mem, &ngevals);
  EXPECT_EQ(ngevals, o.params.rootCalls);
  // Carrying on without a restart finds nothing more.
  ASSERT_EQ(o.step(2.0, &t), MS_SUCCESS);
  EXPECT_EQ(t, 2.0);
}

TEST(Roots, OscillatorZeroCrossingsNearTheExactTimes) {
  ode::Ode o(ode::oscillatorRhs, {0.0, 1.0}, 0.0, 1e-8, 1e-10);
  ASSERT_EQ(MstepRootInit(o.mem, 1, sineRoot), MS_SUCCESS);
  double t;
  int k = 0;
  for (;;) {
    const int flag = o.step(10.0, &t);
    if (flag == MS_SUCCESS) break;
    ASSERT_EQ(flag, MS_ROOT_RETURN);
    ++k;
    EXPECT_NEAR(t, k * kPi, 1e-6) << k;
    EXPECT_EQ(o.m()->rootsFound[0], (k % 2) ? -1 : 1) << k;
    ASSERT_LT(k, 10);
  }
  EXPECT_EQ(k, 3);
  EXPECT_EQ(t, 10.0);
}

TEST(Roots, TwoCrossingsInOneStep) {
  // At the same time: both are marked, each with its direction.
  {
    ode::Ode o(ode::constantRhs, {0.0});
    ASSERT_EQ(MstepRootInit(o.mem, 2, pairRoots), MS_SUCCESS);
    double t;
    ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN);
    EXPECT_NEAR(t, 0.3, 1e-14);
    EXPECT_EQ(o.m()->rootsFound[0], 1);
    EXPECT_EQ(o.m()->rootsFound[1], -1);
  }
  // Apart inside one step: the earlier first, the later at the next call,
  // from the same step.
  {
    ode::Ode o(ode::constantRhs, {0.0});
    o.params.next = 0.05;
    ASSERT_EQ(MstepRootInit(o.mem, 2, pairRoots), MS_SUCCESS);
    double t;
    ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN);
    EXPECT_NEAR(t, 0.3, 1e-14);
    EXPECT_EQ(o.m()->rootsFound[0], 1);
    EXPECT_EQ(o.m()->rootsFound[1], 0);
    const int steps = o.m()->numSteps;
    ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN);
    EXPECT_NEAR(t, 0.35, 1e-14);
    EXPECT_EQ(o.m()->rootsFound[0], 0);
    EXPECT_EQ(o.m()->rootsFound[1], -1);
    EXPECT_EQ(o.m()->numSteps, steps);
  }
}

TEST(Roots, RootBeyondToutIsReportedByTheNextCall) {
  ode::Ode o(ode::constantRhs, {0.0});
  o.params.next = 0.7;
  ASSERT_EQ(MstepRootInit(o.mem, 1, movingRoot), MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(0.6, &t), MS_SUCCESS);
  EXPECT_EQ(t, 0.6);
  MstepMem m = o.m();
  ASSERT_GT(m->tcur, 0.7);  // the last step passed the root
  const int steps = m->numSteps;
  ASSERT_EQ(o.step(1.0, &t), MS_ROOT_RETURN);
  EXPECT_NEAR(t, 0.7, 1e-14);
  EXPECT_EQ(m->numSteps, steps);
  EXPECT_NEAR(o[0], 0.7, 1e-14);
}

TEST(Roots, RestartsAtRootsAsTheStepperDoesThem) {
  ode::Ode o(ode::decayRhs, {1.0});
  o.params.next = 0.25;
  ASSERT_EQ(MstepRootInit(o.mem, 1, movingRoot), MS_SUCCESS);
  double t = 0;
  std::vector<double> roots;
  while (t < 1.9) {
    const int flag = o.step(1.9, &t);
    if (flag == MS_ROOT_RETURN) {
      roots.push_back(t);
      o.params.next += 0.25;  // the event moves the next one on
      ASSERT_EQ(MstepReInit(o.mem, t, o.y), MS_SUCCESS);
      continue;
    }
    ASSERT_EQ(flag, MS_SUCCESS);
  }
  ASSERT_EQ(roots.size(), 7u);
  for (size_t i = 0; i < roots.size(); ++i) EXPECT_NEAR(roots[i], 0.25 * (i + 1), 1e-12) << i;
  EXPECT_NEAR(o[0], std::exp(-1.9), 2e-4);
  EXPECT_TRUE(o.messages.empty());
}

TEST(Roots, RestartReconsidersAFunctionThatWasZeroAtAnEarlierStart) {
  ode::Ode o(ode::constantRhs, {0.0});
  o.params.armed = false;
  ASSERT_EQ(MstepRootInit(o.mem, 1, armedRoot), MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
  EXPECT_EQ(o.m()->gActive[0], 0);
  EXPECT_EQ(o.count("At the end of the first step, there are still some root functions identically 0. "
                    "This warning will not be issued again."),
            1);
  EXPECT_EQ(o.messages[0].module, "MSTEPS");
  // An event arms the function: at the restart it is negative and crosses
  // zero within the first step.
  o.params.armed = true;
  o.params.next = t + 0.05;
  MstepSetInitStep(o.mem, 0.1);
  ASSERT_EQ(MstepReInit(o.mem, t, o.y), MS_SUCCESS);
  const double t0 = t;
  ASSERT_EQ(o.step(1.0, &t), MS_ROOT_RETURN);
  EXPECT_NEAR(t, t0 + 0.05, 1e-14);
  EXPECT_EQ(o.m()->numSteps, 1);
}

TEST(Roots, FunctionZeroAtTheStartIsWatchedFromALittleLater) {
  // g = t - 0 is zero at t0 and positive a tenth of the first step later.
  ode::Ode o(ode::constantRhs, {0.0});
  o.params.next = 0.0;
  ASSERT_EQ(MstepRootInit(o.mem, 1, movingRoot), MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(1.0, &t), MS_SUCCESS);
  EXPECT_EQ(o.m()->gActive[0], 1);
  EXPECT_TRUE(o.messages.empty());
}

TEST(Roots, ZeroAgainRightAfterTheReturnedRoot) {
  // Identically zero from 0.5 on: found at 0.5, still zero just after.
  ode::Ode o(ode::constantRhs, {0.0});
  ASSERT_EQ(MstepRootInit(o.mem, 1,
                          [](double t, N_Vector, double* g, void*) {
                            g[0] = t < 0.5 ? t - 0.5 : 0.0;
                            return 0;
                          }),
            MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN);
  const double root = t;
  EXPECT_EQ(o.step(2.0, &t), MS_ILL_INPUT);
  ASSERT_FALSE(o.messages.empty());
  EXPECT_EQ(o.messages.back().function, "MsRcheck2");
  EXPECT_EQ(o.messages.back().text.find("Root found at and very near t = "), 0u);
  EXPECT_EQ(t, o.m()->tcur);
  EXPECT_EQ(o[0], data(o.m()->nordsieck[0])[0]);
  (void)root;
}

TEST(Roots, RootFunctionFailuresReturnTheLastAcceptedSolution) {
  struct Case {
    double next;     // a root returned before the failing call, or beyond tout
    int failAt;      // the failing evaluation, counted in the failing call
    const char* function;
  } cases[] = {{100.0, 1, "MsRcheck1"}, {0.5, 1, "MsRcheck2"}, {100.0, 5, "MsRcheck3"}};
  for (const Case& c : cases) {
    ode::Ode o(ode::decayRhs, {1.0});
    o.params.next = c.next;
    ASSERT_EQ(MstepRootInit(o.mem, 1, movingRoot), MS_SUCCESS);
    double t = -1;
    if (c.next < 10.0) {
      ASSERT_EQ(o.step(10.0, &t), MS_ROOT_RETURN) << c.function;
    }
    o.params.rootFailAt = o.params.rootCalls + c.failAt;
    EXPECT_EQ(o.step(10.0, &t), MS_RTFUNC_FAIL);
    ASSERT_EQ(o.messages.size(), 1u) << c.function;
    EXPECT_EQ(o.messages[0].function, c.function);
    EXPECT_NE(o.messages[0].text.find(", the rootfinding routine failed in an unrecoverable manner."),
              std::string::npos);
    EXPECT_EQ(t, o.m()->tcur);
    EXPECT_EQ(o[0], data(o.m()->nordsieck[0])[0]);
  }
}

TEST(Roots, NonFiniteValuesEndTheSearchWithAFailure) {
  ode::Ode o(ode::constantRhs, {0.0});
  ASSERT_EQ(MstepRootInit(o.mem, 1, infiniteRoot), MS_SUCCESS);
  double t;
  EXPECT_EQ(o.step(2.0, &t), MS_RTFUNC_FAIL);
  EXPECT_EQ(o.messages.back().function, "MsRcheck3");
  EXPECT_EQ(t, o.m()->tcur);
  EXPECT_LT(o.params.rootCalls, 100);
}

TEST(Roots, ANaNEndsTheSearchWhereverItComes) {
  // A NaN has no sign: a search that went on would lose the root.
  struct Case {
    const char* name;
    int n;
    MsRootFn g;
    const char* function;
  } cases[] = {
      {"at the start", 1,
       [](double, N_Vector, double* g, void*) {
         g[0] = NAN;
         return 0;
       },
       "MsRcheck1"},
      {"at a step end, after a crossing", 1,
       [](double t, N_Vector, double* g, void*) {
         g[0] = t < 0.7 ? t - 0.5 : NAN;
         return 0;
       },
       "MsRcheck3"},
      {"of a second function at a trial time", 2,
       [](double t, N_Vector, double* g, void*) {
         g[0] = t - 0.5;
         g[1] = (t > 0.45 && t < 0.55) ? NAN : 1.0;
         return 0;
       },
       "MsRcheck3"},
  };
  for (const Case& c : cases) {
    ode::Ode o(ode::constantRhs, {0.0});
    ASSERT_EQ(MstepRootInit(o.mem, c.n, c.g), MS_SUCCESS);
    double t = -1;
    EXPECT_EQ(o.step(2.0, &t), MS_RTFUNC_FAIL) << c.name;
    ASSERT_EQ(o.messages.size(), 1u) << c.name;
    EXPECT_EQ(o.messages[0].function, c.function) << c.name;
    EXPECT_EQ(t, o.m()->tcur) << c.name;
    EXPECT_EQ(o[0], data(o.m()->nordsieck[0])[0]) << c.name;
  }
}

TEST(Roots, SecantPassesOnCurvedRoots) {
  // The number of evaluations pins the weighting of the secant: doubled
  // while the trial times stay left of the root, halved while they stay
  // right of it.
  struct Case {
    const char* name;
    MsRootFn g;
    int evaluations;
  } cases[] = {
      {"convex", [](double, N_Vector y, double* g, void*) {
         g[0] = std::exp(5.0 * data(y)[0]) - std::exp(2.5);
         return 0;
       }, 21},
      {"concave", [](double, N_Vector y, double* g, void*) {
         g[0] = std::log(data(y)[0] + 0.01) - std::log(0.51);
         return 0;
       }, 14},
  };
  for (const Case& c : cases) {
    ode::Ode o(ode::constantRhs, {0.0});
    ASSERT_EQ(MstepRootInit(o.mem, 1, c.g), MS_SUCCESS);
    double t;
    ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN) << c.name;
    EXPECT_NEAR(t, 0.5, 2 * o.m()->rootTol) << c.name;
    int evaluations = 0;
    MstepGetNumGEvals(o.mem, &evaluations);
    EXPECT_EQ(evaluations, c.evaluations) << c.name;
  }
}

TEST(Roots, AFunctionArmedBetweenCallsIsWatchedFromTheNextStepEnd) {
  ode::Ode o(ode::constantRhs, {0.0});
  o.params.armed = false;
  ASSERT_EQ(MstepRootInit(o.mem, 1, armedRoot), MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(10.0, &t, MS_ONE_STEP), MS_SUCCESS);
  ASSERT_EQ(o.m()->gActive[0], 0);
  // Armed without a restart: active again where the next step ends, and
  // its crossing is found in a later step.
  o.params.armed = true;
  o.params.next = 2.0;
  ASSERT_EQ(o.step(10.0, &t, MS_ONE_STEP), MS_SUCCESS);
  ASSERT_LT(t, 2.0);
  EXPECT_EQ(o.m()->gActive[0], 1);
  EXPECT_EQ(o.step(10.0, &t), MS_ROOT_RETURN);
  EXPECT_NEAR(t, 2.0, 1e-14);
  EXPECT_EQ(o.m()->rootsFound[0], 1);
}

TEST(Roots, RootBackwardInTime) {
  // y' = 1 from 0 toward -2, g = y + 0.5: falls through 0 at t = -0.5.
  ode::Ode o(ode::constantRhs, {0.0});
  ASSERT_EQ(MstepRootInit(o.mem, 1,
                          [](double, N_Vector y, double* g, void*) {
                            g[0] = data(y)[0] + 0.5;
                            return 0;
                          }),
            MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(-2.0, &t), MS_ROOT_RETURN);
  EXPECT_NEAR(t, -0.5, 2 * o.m()->rootTol);
  EXPECT_LE(t, -0.5 + 1e-15);  // the far end of the final bracket
  EXPECT_EQ(o.m()->rootsFound[0], -1);
  EXPECT_NEAR(o[0], t, 1e-15);
  ASSERT_EQ(o.step(-2.0, &t), MS_SUCCESS);
  EXPECT_EQ(t, -2.0);
}

TEST(Roots, AFiniteCrossingLeadsTheSearchPastANonFiniteOne) {
  // In the step from 0.378 to 3.78 of y' = 1: g1 crosses at 0.5, g0 jumps
  // to -inf at 0.6.
  ode::Ode o(ode::constantRhs, {0.0});
  ASSERT_EQ(MstepRootInit(o.mem, 2,
                          [](double t, N_Vector, double* g, void*) {
                            g[0] = t < 0.6 ? 1.0 : -std::numeric_limits<double>::infinity();
                            g[1] = t - 0.5;
                            return 0;
                          }),
            MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(2.0, &t), MS_ROOT_RETURN);
  EXPECT_NEAR(t, 0.5, 1e-14);
  EXPECT_EQ(o.m()->rootsFound[0], 0);
  EXPECT_EQ(o.m()->rootsFound[1], 1);
}

TEST(Roots, RegistrationChanges) {
  ode::Ode o(ode::decayRhs, {1.0});
  MstepMem m = o.m();
  const int workspace = m->realWorkspace;
  EXPECT_EQ(MstepRootInit(nullptr, 1, movingRoot), MS_MEM_NULL);
  ASSERT_EQ(MstepRootInit(o.mem, 2, pairRoots), MS_SUCCESS);
  double* arrays = m->gLow;
  m->gActive[1] = 0;
  // Same count and function: nothing changes.
  EXPECT_EQ(MstepRootInit(o.mem, 2, pairRoots), MS_SUCCESS);
  EXPECT_EQ(m->gLow, arrays);
  EXPECT_EQ(m->gActive[1], 0);
  // Same count, another function: only the function changes.
  EXPECT_EQ(MstepRootInit(o.mem, 2, movingRoot), MS_SUCCESS);
  EXPECT_EQ(m->g, movingRoot);
  EXPECT_EQ(m->gLow, arrays);
  EXPECT_EQ(m->gActive[1], 0);
  // A negative count switches root finding off.
  EXPECT_EQ(MstepRootInit(o.mem, -3, movingRoot), MS_SUCCESS);
  EXPECT_EQ(m->numRootFns, 0);
  EXPECT_EQ(m->g, nullptr);
  EXPECT_EQ(m->gLow, nullptr);
  EXPECT_EQ(m->realWorkspace, workspace);
}

void expectRootFindingOff(MstepMem m) {
  EXPECT_EQ(m->numRootFns, 0);
  EXPECT_EQ(m->g, nullptr);
  EXPECT_EQ(m->gLow, nullptr);
  EXPECT_EQ(m->gHigh, nullptr);
  EXPECT_EQ(m->gRoot, nullptr);
  EXPECT_EQ(m->rootsFound, nullptr);
  EXPECT_EQ(m->rootDirection, nullptr);
  EXPECT_EQ(m->gActive, nullptr);
}

TEST(Roots, FailedRegistrationLeavesRootFindingOff) {
  // g NULL, with a new count and with the registered count.
  for (int before : {0, 2}) {
    ode::Ode o(ode::decayRhs, {1.0});
    if (before) {
      ASSERT_EQ(MstepRootInit(o.mem, before, pairRoots), MS_SUCCESS);
    }
    EXPECT_EQ(MstepRootInit(o.mem, 2, nullptr), MS_ILL_INPUT);
    EXPECT_EQ(o.count("g = NULL illegal."), 1);
    expectRootFindingOff(o.m());
    double t;
    EXPECT_EQ(o.step(1.0, &t), MS_SUCCESS);
  }
  // Each of the six allocations failing.
  for (int k = 1; k <= 6; ++k) {
    ode::Ode o(ode::decayRhs, {1.0});
    const long live = msLiveAllocations();
    msFailAllocationAt(k);
    EXPECT_EQ(MstepRootInit(o.mem, 3, pairRoots), MS_MEM_FAIL) << k;
    msFailAllocationAt(0);
    EXPECT_EQ(msLiveAllocations(), live) << k;
    ASSERT_EQ(o.messages.size(), 1u);
    EXPECT_EQ(o.messages[0].text, "A memory request failed.");
    EXPECT_EQ(o.messages[0].module, k == 6 ? "MSTEPS" : "MSTEP") << k;
    expectRootFindingOff(o.m());
    double t;
    EXPECT_EQ(o.step(1.0, &t), MS_SUCCESS);
    // A later registration works.
    EXPECT_EQ(MstepRootInit(o.mem, 3, pairRoots), MS_SUCCESS);
  }
}

}  // namespace

namespace {

std::vector<double>& trialTimes() {
  static std::vector<double> times;
  return times;
}

int loggedRoot(double t, N_Vector, double* g, void* ud) {
  trialTimes().push_back(t);
  g[0] = t - static_cast<ode::Params*>(ud)->next;
  return 0;
}

TEST(Roots, TrialTimesStayInsideABracketShorterThanTheTolerance) {
  ode::Ode o(ode::constantRhs, {0.0});
  double t;
  ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
  ASSERT_EQ(o.step(1.0, &t, MS_ONE_STEP), MS_SUCCESS);
  ASSERT_EQ(MstepRootInit(o.mem, 1, loggedRoot), MS_SUCCESS);
  MstepMem m = o.m();
  // A root in the middle of a bracket a tenth of the tolerance long, inside
  // the last step.
  m->rootTol = 100 * m->unitRoundoff * (m->tcur + m->h);
  m->tLow = m->tcur - 0.5 * m->hu;
  m->tHigh = m->tLow + 0.1 * m->rootTol;
  o.params.next = 0.5 * (m->tLow + m->tHigh);
  m->gLow[0] = m->tLow - o.params.next;
  m->gHigh[0] = m->tHigh - o.params.next;
  ASSERT_LT(m->gLow[0], 0.0);
  ASSERT_GT(m->gHigh[0], 0.0);
  const double low = m->tLow, high = m->tHigh;
  trialTimes().clear();
  EXPECT_EQ(msLocateRoot(m), 1);
  EXPECT_GE(m->tRoot, low);
  EXPECT_LE(m->tRoot, high);
  ASSERT_FALSE(trialTimes().empty());
  for (double tm : trialTimes()) {
    EXPECT_GE(tm, low);
    EXPECT_LE(tm, high);
  }
}

}  // namespace

namespace {

TEST(Roots, TargetRightAfterARootIsTooCloseAndAnExplicitStepGetsThere) {
  // As the stepper does it: restart at the root; a target within rounding
  // of it is too close to estimate a first step, so an explicit one is set.
  ode::Ode o(ode::decayRhs, {1.0});
  o.params.next = 0.5;
  ASSERT_EQ(MstepRootInit(o.mem, 1, movingRoot), MS_SUCCESS);
  double t;
  ASSERT_EQ(o.step(1.0, &t), MS_ROOT_RETURN);
  const double root = t;
  const double tout = std::nextafter(root, 2.0);
  o.params.next = 10.0;
  ASSERT_EQ(MstepReInit(o.mem, root, o.y), MS_SUCCESS);
  EXPECT_EQ(o.step(tout, &t), MS_TOO_CLOSE);
  EXPECT_EQ(o.count("tout too close to t0 to start integration."), 1);
  EXPECT_EQ(t, root);
  double hcur;
  MstepGetCurrentStep(o.mem, &hcur);
  ASSERT_EQ(hcur, 0.0);
  MstepSetInitStep(o.mem, (std::fabs(tout) + 1.0) * std::ldexp(1.0, -51));
  ASSERT_EQ(o.step(tout, &t), MS_SUCCESS);
  EXPECT_EQ(t, tout);
  EXPECT_NEAR(o[0], std::exp(-0.5), 1e-4);
}

}  // namespace
