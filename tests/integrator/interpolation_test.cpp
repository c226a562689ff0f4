// The interpolation of the history and the history's updates, held to the
// bit against the same formulas written with the vector operations.
#include <gtest/gtest.h>

#include <cstring>

#include "integrator/integration_step.h"
#include "integrator/nordsieck_history.h"
#include "memory_record.h"
#include "ode_fixture.h"

using namespace pelvarin;

namespace {

using ode::data;

constexpr int N = 3;

// A history of order q with unrelated, non-round entries, after some steps.
void fill_history(MstepMem m, int q, double h) {
  m->q = q;
  m->coeffCount = q + 1;
  m->h = m->hu = m->hScale = h;
  m->tcur = 1.3;
  m->numSteps = 7;
  for (int j = 0; j <= m->maxOrder; ++j)
    for (int i = 0; i < N; ++i)
      data(m->nordsieck[j])[i] = (0.731 * (j + 1) - 0.219 * i) / (1.0 + j * j + 0.37 * i);
}

bool same_bits(N_Vector a, N_Vector b) {
  return std::memcmp(data(a), data(b), N * sizeof(double)) == 0;
}

// dky = h^-k * sum over j = k .. q of j!/(j-k)! s^(j-k) z[j], Horner form.
void reference_dky(MstepMem m, double t, int k, N_Vector dky) {
  const double s = (t - m->tcur) / m->h;
  for (int j = m->q; j >= k; --j) {
    double c = 1.0;
    for (int i = j; i >= j - k + 1; --i) c *= i;
    if (j == m->q)
      N_VScale(c, m->nordsieck[m->q], dky);
    else
      N_VLinearSum(c, m->nordsieck[j], s, dky, dky);
  }
  if (k > 0) N_VScale(RPowerI(m->h, -k), dky, dky);
}

TEST(Interpolation, EveryOrderDerivativeAndPointMatchesTheVectorFormula) {
  ode::Ode o(ode::stiffRhs, {1.0, 0.5, -0.25});  // MstepGetDky wants an initialized integrator
  MstepMem m = o.m();
  N_Vector expected = N_VNew_Serial(N);
  N_Vector actual = N_VNew_Serial(N);
  int cases = 0;
  for (double h : {0.0123, -0.0123, 0.37}) {
    for (int q = 1; q <= 5; ++q) {
      fill_history(m, q, h);
      // From the start of the last step to its end, both ends included.
      for (double f : {0.0, 1e-3, 0.25, 1.0 / 3.0, 0.5, 0.9, 1.0}) {
        const double t = m->tcur - f * m->hu;
        for (int k = 0; k <= q; ++k) {
          reference_dky(m, t, k, expected);
          N_VConst(-7.0, actual);
          ASSERT_EQ(MS_SUCCESS, MstepGetDky(m, t, k, actual));
          EXPECT_TRUE(same_bits(expected, actual)) << "h " << h << ", q " << q << ", k " << k << ", t " << t;
          ++cases;
        }
      }
    }
  }
  EXPECT_EQ(3 * 7 * (2 + 3 + 4 + 5 + 6), cases);
  N_VDestroy(expected);
  N_VDestroy(actual);
}

// Copies of the history, to compare after the same update.
struct HistoryCopy {
  N_Vector z[MS_HISTORY_SIZE];
  explicit HistoryCopy(MstepMem m) {
    for (int j = 0; j <= m->maxOrder; ++j) {
      z[j] = N_VNew_Serial(N);
      N_VScale(1.0, m->nordsieck[j], z[j]);
    }
    for (int j = m->maxOrder + 1; j < MS_HISTORY_SIZE; ++j) z[j] = nullptr;
  }
  ~HistoryCopy() {
    for (N_Vector v : z) N_VDestroy(v);
  }
  bool same_as(MstepMem m) const {
    for (int j = 0; j <= m->maxOrder; ++j)
      if (!same_bits(z[j], m->nordsieck[j])) return false;
    return true;
  }
};

TEST(Interpolation, HistoryUpdatesMatchTheVectorFormulas) {
  ode::MemoryRecord o(MS_BDF, N);
  MstepMem m = o.m();
  for (int q = 1; q <= 5; ++q) {
    fill_history(m, q, 0.0123);
    HistoryCopy ref(m);

    msPredictHistory(m);
    for (int k = 1; k <= q; ++k)
      for (int j = q; j >= k; --j) N_VLinearSum(1.0, ref.z[j - 1], 1.0, ref.z[j], ref.z[j - 1]);
    EXPECT_TRUE(ref.same_as(m)) << "prediction at q " << q;

    msRetractHistory(m, 1.3);
    for (int k = 1; k <= q; ++k)
      for (int j = q; j >= k; --j) N_VLinearSum(1.0, ref.z[j - 1], -1.0, ref.z[j], ref.z[j - 1]);
    EXPECT_TRUE(ref.same_as(m)) << "retraction at q " << q;

    m->stepRatio = 0.613;
    msRescaleHistory(m);
    double factor = 0.613;
    for (int j = 1; j <= q; ++j) {
      N_VScale(factor, ref.z[j], ref.z[j]);
      factor *= 0.613;
    }
    EXPECT_TRUE(ref.same_as(m)) << "rescaling at q " << q;

    // The accepted step folds the correction in with the corrector's
    // coefficients, among them 1 and -1.
    for (int i = 0; i < N; ++i) data(m->correction)[i] = 1e-4 * (i + 1.7);
    const double l[6] = {1.0, -1.0, 0.75, 1.0 / 3.0, -0.2, 1.0 / 120.0};
    for (int j = 0; j <= q; ++j) m->lCoef[j] = l[j];
    m->orderWait = 2;
    msAcceptStep(m);
    for (int j = 0; j <= q; ++j) N_VLinearSum(l[j], m->correction, 1.0, ref.z[j], ref.z[j]);
    if (q != m->maxOrder) N_VScale(1.0, m->correction, ref.z[m->maxOrder]);
    EXPECT_TRUE(ref.same_as(m)) << "acceptance at q " << q;
  }
}

}  // namespace
