// Problems so extreme that steps, tolerances or coefficients vanish: the
// integrator's arithmetic goes on with the infinities and NaNs that a zero
// divisor gives, and each run ends as recorded: flags, times, solutions and
// messages to the bit.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "ode_fixture.h"
#include "support/digest.h"

namespace {

using ode::data;

// y' = -DBL_MAX: no first step above zero is bounded.
int hugeSlopeRhs(double, N_Vector, N_Vector ydot, void* ud) {
  data(ydot)[0] = -DBL_MAX;
  return ode::countRhs(static_cast<ode::Params*>(ud));
}
// y' = 1 in every component.
int unitSlopeRhs(double, N_Vector, N_Vector ydot, void* ud) {
  N_VConst(1.0, ydot);
  return ode::countRhs(static_cast<ode::Params*>(ud));
}
int zeroJac(int, double, N_Vector, N_Vector, DlsMat, void*, N_Vector, N_Vector, N_Vector) {
  return 0;
}

// y' = A y + b for two components.
struct Linear {
  double a[2][2];
  double b[2];
};
Linear linear;
int linearRhs(double, N_Vector y, N_Vector ydot, void* ud) {
  const double* v = data(y);
  for (int i = 0; i < 2; ++i)
    data(ydot)[i] = linear.a[i][0] * v[0] + linear.a[i][1] * v[1] + linear.b[i];
  return ode::countRhs(static_cast<ode::Params*>(ud));
}
int linearJac(int, double, N_Vector, N_Vector, DlsMat J, void*, N_Vector, N_Vector, N_Vector) {
  for (int i = 0; i < 2; ++i)
    for (int j = 0; j < 2; ++j) J->cols[j][i] = linear.a[i][j];
  return 0;
}

// g = y: zero at the start of hugeSlopeRhs from 0.
int stateRoot(double, N_Vector y, double* g, void*) {
  g[0] = data(y)[0];
  return 0;
}
// g = 1e300 (t - next): a root at next, seen at the tiniest times.
int timeRoot(double t, N_Vector, double* g, void* ud) {
  g[0] = 1e300 * (t - static_cast<ode::Params*>(ud)->next);
  return 0;
}
// 1 until armed, then 0.
int armedZeroRoot(double, N_Vector, double* g, void* ud) {
  g[0] = static_cast<ode::Params*>(ud)->armed ? 0.0 : 1.0;
  return 0;
}
int firstStepHook(void* ud) { return ++static_cast<ode::Params*>(ud)->hookCalls == 1; }

void setTolerances(ode::Ode& o, double rtol, double atol) {
  N_VConst(atol, o.atol);
  MstepSVtolerances(o.mem, rtol, o.atol);
}

struct ExtremeRun {
  const char* what;
  std::function<void(ode::Ode&)> setUp;
  MsRhsFn f;
  std::vector<double> y0;
  double t0;
  double tout;  // the k-th call (from 1) goes to t0 + k tout
  int lmm, iter;
  int itask;
  int calls;
  std::vector<int> flags;  // of every call, up to the first failure
  const char* digest;      // of the flags, each call's time and solution, every message
};

void PrintTo(const ExtremeRun& r, std::ostream* os) { *os << r.what; }

class ExtremeProblem : public ::testing::TestWithParam<ExtremeRun> {};

TEST_P(ExtremeProblem, EndsAsItsArithmeticGives) {
  const ExtremeRun& r = GetParam();
  ode::Ode o(r.f, r.y0, r.t0, 1e-5, 1e-5, r.lmm, r.iter);
  if (r.setUp) r.setUp(o);
  digest::Digest d;
  std::vector<int> flags;
  for (int k = 1; k <= r.calls; ++k) {
    double t = -1;
    const int flag = o.step(r.t0 + k * r.tout, &t, r.itask);
    flags.push_back(flag);
    d.add(static_cast<double>(flag));
    d.add(t);
    for (size_t i = 0; i < r.y0.size(); ++i) d.add(o[static_cast<int>(i)]);
    if (flag < 0) break;
    // A zero right at the returned root, for the next call to find.
    if (flag == MS_ROOT_RETURN) o.params.armed = true;
  }
  for (const ode::Message& m : o.messages)
    d.add(std::to_string(m.code) + "|" + m.module + "|" + m.function + "|" + m.text);
  EXPECT_EQ(r.flags, flags);
  EXPECT_EQ(r.digest, d.text());
}

// n successes, then the flags given.
std::vector<int> successesThen(int n, std::vector<int> rest = {}) {
  std::vector<int> flags(static_cast<size_t>(n), MS_SUCCESS);
  flags.insert(flags.end(), rest.begin(), rest.end());
  return flags;
}

INSTANTIATE_TEST_SUITE_P(
    Integrator, ExtremeProblem,
    ::testing::Values(
        // The first step estimate ends at zero, from a trial step of zero.
        ExtremeRun{"tout the least subnormal after t0", nullptr, ode::decayRhs, {1.0}, 0.0, 5e-324,
                   MS_BDF, MS_NEWTON, MS_NORMAL, 3, successesThen(3), "c9f03b3fb65145c3/10"},
        // ... and the built-in Jacobian's increment of a zero state with it.
        ExtremeRun{"tout the least subnormal after t0, the solution at zero", nullptr,
                   unitSlopeRhs, {0.0}, 0.0, 5e-324, MS_BDF, MS_NEWTON, MS_NORMAL, 3,
                   {MS_CONV_FAILURE}, "1617ec23bcc5a2e4/5"},
        // Steps of zero are accepted: gamma, the step ratios and the past
        // steps are zero from the first one on.
        ExtremeRun{"steps of zero, one at a time, BDF",
                   [](ode::Ode& o) { MsDlsSetDenseJacFn(o.mem, zeroJac); }, hugeSlopeRhs, {0.0},
                   0.0, 1.0, MS_BDF, MS_NEWTON, MS_ONE_STEP, 60, successesThen(60),
                   "27818c5ca8b0f8ec/191"},
        ExtremeRun{"steps of zero, one at a time, Adams", nullptr, hugeSlopeRhs, {0.0}, 0.0, 1.0,
                   MS_ADAMS, MS_FUNCTIONAL, MS_ONE_STEP, 60, successesThen(60),
                   "27818c5ca8b0f8ec/191"},
        ExtremeRun{"a step of zero with a root function zero at the start",
                   [](ode::Ode& o) { MstepRootInit(o.mem, 1, stateRoot); }, hugeSlopeRhs, {0.0},
                   0.0, 1.0, MS_BDF, MS_NEWTON, MS_NORMAL, 2, {MS_RTFUNC_FAIL},
                   "8672961740f1edae/4"},
        ExtremeRun{"a root after a step of zero",
                   [](ode::Ode& o) {
                     MsDlsSetDenseJacFn(o.mem, zeroJac);
                     o.params.armed = false;
                     MstepRootInit(o.mem, 1, armedZeroRoot);
                     MstepStepRootInit(o.mem, firstStepHook);
                   },
                   hugeSlopeRhs, {0.0}, 0.0, 1.0, MS_BDF, MS_NEWTON, MS_ONE_STEP, 3,
                   {MS_ROOT_RETURN, MS_ILL_INPUT}, "c119b87cfbf2433b/8"},
        // Times and steps too small for a time tolerance above zero; the
        // first trial time is the root itself.
        ExtremeRun{"a root where the time tolerance underflows",
                   [](ode::Ode& o) {
                     o.params.next = 4e-311 / 2;
                     MstepSetInitStep(o.mem, 4e-311);
                     MstepRootInit(o.mem, 1, timeRoot);
                   },
                   ode::decayRhs, {1.0}, 0.0, 1.0, MS_BDF, MS_NEWTON, MS_NORMAL, 2,
                   {MS_ROOT_RETURN, MS_ILL_INPUT}, "10bc0f2c6f5d6a9a/7"},
        // A step at order seven shrinks to zero in repeated failures.
        ExtremeRun{"a stiff pair whose step underflows at a high order",
                   [](ode::Ode& o) {
                     linear = Linear{{{0.0, 1e150}, {1e300, DBL_MAX}}, {-1e-300, 0.0}};
                     MsDlsSetDenseJacFn(o.mem, linearJac);
                     setTolerances(o, 0.0, 1e-12);
                     MstepSetInitStep(o.mem, 1e-320);
                     MstepSetMaxErrTestFails(o.mem, 2000);
                   },
                   linearRhs, {0.0, 0.5}, -1e-300, 5e-324, MS_ADAMS, MS_NEWTON, MS_ONE_STEP, 70,
                   successesThen(68, {MS_CONV_FAILURE}), "b6e40f794a67306b/288"},
        // Weights of zero, and of NaN.
        ExtremeRun{"a relative tolerance whose product with the solution overflows",
                   [](ode::Ode& o) { setTolerances(o, DBL_MAX, 1e-5); }, ode::decayRhs, {2.0}, 0.0,
                   1.0, MS_BDF, MS_NEWTON, MS_NORMAL, 2, {MS_CONV_FAILURE}, "fc4398c653d65e1c/4"},
        ExtremeRun{"a NaN weight before a zero tolerance",
                   [](ode::Ode& o) { setTolerances(o, 0.0, 0.0); }, unitSlopeRhs, {INFINITY, 0.0},
                   0.0, 1.0, MS_BDF, MS_NEWTON, MS_NORMAL, 2, {MS_CONV_FAILURE},
                   "acf3bcfd7d503b13/6"},
        // No change passes a convergence bound of zero.
        ExtremeRun{"a convergence coefficient of zero",
                   [](ode::Ode& o) { MstepSetNonlinConvCoef(o.mem, 0.0); }, ode::decayRhs, {1.0},
                   0.0, 1.0, MS_BDF, MS_NEWTON, MS_NORMAL, 1, {MS_CONV_FAILURE},
                   "b6ab49193a5390b1/4"}));

}  // namespace
