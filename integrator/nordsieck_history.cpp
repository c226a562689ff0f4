#include "integrator/nordsieck_history.h"

#include <cassert>

namespace pelvarin {

int msGetHistoryData(MstepMem mem, int last, double* d[]) {
  for (int j = 0; j <= last; ++j) d[j] = N_VData_Serial(mem->nordsieck[j]);
  return N_VLength_Serial(mem->nordsieck[0]);
}

namespace {

// The Pascal triangle on the history, element by element: nordsieck[j] is
// added to (or subtracted from) nordsieck[j-1] in the order of the vector
// form. Written out in full for each order the BDF method reaches.
template <bool Subtract>
inline __attribute__((always_inline)) void msPascalRows(double* const d[], int q, int n) {
  for (int i = 0; i < n; ++i) {
    double v[MS_HISTORY_SIZE];
#pragma GCC unroll 13
    for (int j = 0; j <= q; ++j) v[j] = d[j][i];
#pragma GCC unroll 13
    for (int k = 1; k <= q; ++k)
#pragma GCC unroll 13
      for (int j = q; j >= k; --j) v[j - 1] = Subtract ? v[j - 1] - v[j] : v[j - 1] + v[j];
#pragma GCC unroll 13
    for (int j = 0; j < q; ++j) d[j][i] = v[j];
  }
}

template <bool Subtract>
void msPascal(MstepMem mem) {
  double* d[MS_HISTORY_SIZE];
  const int n = msGetHistoryData(mem, mem->q, d);
  switch (mem->q) {
    case 1: msPascalRows<Subtract>(d, 1, n); break;
    case 2: msPascalRows<Subtract>(d, 2, n); break;
    case 3: msPascalRows<Subtract>(d, 3, n); break;
    case 4: msPascalRows<Subtract>(d, 4, n); break;
    case 5: msPascalRows<Subtract>(d, 5, n); break;
    default: msPascalRows<Subtract>(d, mem->q, n); break;
  }
}

// lCoef cleared up to the maximum order, with lCoef[j] = 1: the start of
// the products that an order change builds in it.
double* msUnitCoefficients(MstepMem mem, int j) {
  double* l = mem->lCoef;
  for (int i = 0; i <= mem->maxOrder; ++i) l[i] = 0.0;
  l[j] = 1.0;
  return l;
}

}  // namespace

void msPredictHistory(MstepMem mem) {
  mem->tcur += mem->h;
  // Not reached in this model: the clamp to a stop time, as nothing sets one.
  if (mem->tstopSet == 1 && (mem->tcur - mem->tstop) * mem->h > 0) mem->tcur = mem->tstop;
  // Multiplication by the Pascal triangle matrix.
  msPascal<false>(mem);
}

void msRetractHistory(MstepMem mem, double saved_t) {
  mem->tcur = saved_t;
  msPascal<true>(mem);
}

void msRescaleHistory(MstepMem mem) {
  const int q = mem->q;
  double factor[MS_HISTORY_SIZE];
  factor[1] = mem->stepRatio;
  for (int j = 2; j <= q; ++j) factor[j] = factor[j - 1] * mem->stepRatio;
  double* d[MS_HISTORY_SIZE];
  const int n = msGetHistoryData(mem, q, d);
  for (int j = 1; j <= q; ++j)
    for (int i = 0; i < n; ++i) d[j][i] *= factor[j];
  mem->h = mem->hScale * mem->stepRatio;
  mem->hNext = mem->h;
  mem->hScale = mem->h;
  mem->stepsSameOrder = 0;
}

// A step of zero (a first step of zero, or one shrunk below the least
// subnormal) and extreme ratios of step sizes bring the divisors of the
// quotients here to zero, which go through msDivide; lCoef[1] and M[0] stay
// positive.
void msSetCoefficients(MstepMem mem) {
  if (mem->lmm == MS_ADAMS)
    // Not reached in this model: the co-simulation stepper integrates with BDF.
    msAdamsCoefficients(mem);
  else
    msBDFCoefficients(mem);
  mem->invL1 = 1.0 / mem->lCoef[1];
  mem->gamma = mem->h * mem->invL1;
  if (mem->numSteps == 0) mem->gammaPrev = mem->gamma;
  mem->gammaRatio = (mem->numSteps > 0) ? msDivide(mem->gamma, mem->gammaPrev) : 1.0;
}

void msBDFCoefficients(MstepMem mem) {
  const int q = mem->q;
  double* l = mem->lCoef;
  l[0] = l[1] = 1.0;
  for (int i = 2; i <= q; ++i) l[i] = 0.0;
  double rho = 1.0, sigma = 1.0, alpha = -1.0, beta = -1.0;
  double H = mem->h;
  if (q > 1) {
    for (int j = 2; j < q; ++j) {
      H += mem->pastSteps[j - 1];
      rho = msDivide(mem->h, H);
      alpha -= 1.0 / j;
      for (int i = j; i >= 1; --i) l[i] += l[i - 1] * rho;
    }
    alpha -= 1.0 / q;
    sigma = -l[1] - alpha;
    H += mem->pastSteps[q - 1];
    rho = msDivide(mem->h, H);
    beta = -l[1] - rho;
    for (int i = q; i >= 1; --i) l[i] += l[i - 1] * sigma;
  }
  msBDFTestQuantities(mem, H, alpha, beta, rho, sigma);
}

void msBDFTestQuantities(MstepMem mem, double H, double alpha, double beta, double rho,
                         double sigma) {
  const int q = mem->q;
  double* tq = mem->testQuant;
  const double A1 = 1.0 - beta + alpha;
  const double A2 = 1.0 + q * A1;
  tq[2] = RAbs(msDivide(A1, alpha * A2));
  tq[5] = RAbs(msDivide(A2 * sigma, mem->lCoef[q] * rho));
  if (mem->orderWait == 1) {
    if (q > 1) {
      const double C = msDivide(sigma, mem->lCoef[q]);
      const double A3 = alpha + 1.0 / q;
      const double A4 = beta + rho;
      tq[1] = RAbs(C * (1.0 - A4 + A3) / A3);
    } else {
      tq[1] = 1.0;
    }
    const double Hp = H + mem->pastSteps[q];
    const double rhoP = msDivide(mem->h, Hp);
    const double A5 = alpha - 1.0 / (q + 1);
    const double A6 = beta - rhoP;
    tq[3] = RAbs(msDivide(msDivide(1.0 - A6 + A5, A2), rhoP * (q + 2) * A5));
  }
  tq[4] = msDivide(mem->nonlinConvCoef, tq[2]);
}

// Not reached in this model: the co-simulation stepper integrates with BDF.
void msAdamsCoefficients(MstepMem mem) {
  double* tq = mem->testQuant;
  if (mem->q == 1) {
    mem->lCoef[0] = mem->lCoef[1] = 1.0;
    tq[1] = tq[5] = 1.0;
    tq[2] = 0.5;
    tq[3] = 1.0 / 12.0;
    tq[4] = mem->nonlinConvCoef + mem->nonlinConvCoef;
    return;
  }
  double m[MS_HISTORY_SIZE];
  double M[3];
  const double H = msAdamsProductPoly(mem, m);
  M[0] = msAlternatingSum(mem->q - 1, m, 1);
  M[1] = msAlternatingSum(mem->q - 1, m, 2);
  msAdamsFinishCoefficients(mem, m, M, H);
}

// Not reached in this model: the co-simulation stepper integrates with BDF.
double msAdamsProductPoly(MstepMem mem, double m[]) {
  const int q = mem->q;
  double H = mem->h;
  m[0] = 1.0;
  for (int i = 1; i <= q; ++i) m[i] = 0.0;
  for (int j = 1; j < q; ++j) {
    if (j == q - 1 && mem->orderWait == 1)
      mem->testQuant[1] = msDivide(q * msAlternatingSum(q - 2, m, 2), m[q - 2]);
    const double rho = msDivide(mem->h, H);
    for (int i = j; i >= 1; --i) m[i] += m[i - 1] * rho;
    H += mem->pastSteps[j];
  }
  return H;
}

// Not reached in this model: the co-simulation stepper integrates with BDF.
void msAdamsFinishCoefficients(MstepMem mem, double m[], double M[], double H) {
  const int q = mem->q;
  double* tq = mem->testQuant;
  const double c = 1.0 / M[0];
  mem->lCoef[0] = 1.0;
  for (int i = 1; i <= q; ++i) mem->lCoef[i] = c * (m[i - 1] / i);
  const double xi = msDivide(H, mem->h);
  const double rho = msDivide(1.0, xi);
  tq[2] = msDivide(M[1] * c, xi);
  tq[5] = msDivide(xi, mem->lCoef[q]);
  if (mem->orderWait == 1) {
    for (int i = q; i >= 1; --i) m[i] += m[i - 1] * rho;
    M[2] = msAlternatingSum(q, m, 2);
    tq[3] = M[2] * c / mem->coeffCount;
  }
  tq[4] = msDivide(mem->nonlinConvCoef, tq[2]);
}

// Not reached in this model: the co-simulation stepper integrates with BDF.
double msAlternatingSum(int iend, double a[], int k) {
  if (iend < 0) return 0.0;
  double sum = 0.0;
  int sign = 1;
  for (int i = 0; i <= iend; ++i) {
    sum += sign * (a[i] / (i + k));
    sign = -sign;
  }
  return sum;
}

void msChangeHistoryOrder(MstepMem mem, int deltaq) {
  assert(deltaq == 1 || deltaq == -1);
  // From order 2 down to 1 the history needs no adjustment.
  if (mem->q == 2 && deltaq != 1) return;
  if (mem->lmm == MS_ADAMS) {
    // Not reached in this model: the co-simulation stepper integrates with BDF.
    msAdamsOrderShift(mem, deltaq);
  } else if (deltaq == 1) {
    msBDFRaiseOrder(mem);
  } else if (deltaq == -1) {
    msBDFLowerOrder(mem);
  }
}

// Not reached in this model: the co-simulation stepper integrates with BDF.
void msAdamsOrderShift(MstepMem mem, int deltaq) {
  N_Vector* z = mem->nordsieck;
  const int q = mem->q;
  if (deltaq == 1) {
    N_VConst(0.0, z[mem->coeffCount]);
    return;
  }
  double* l = msUnitCoefficients(mem, 1);
  double H = 0.0;
  for (int j = 1; j <= q - 2; ++j) {
    H += mem->pastSteps[j];
    const double xi = msDivide(H, mem->hScale);
    for (int i = j + 1; i >= 1; --i) l[i] = l[i] * xi + l[i - 1];
  }
  for (int j = 1; j <= q - 2; ++j) l[j + 1] = q * (l[j] / (j + 1));
  for (int j = 2; j < q; ++j) N_VLinearSum(-l[j], z[q], 1.0, z[j], z[j]);
}

void msBDFRaiseOrder(MstepMem mem) {
  N_Vector* z = mem->nordsieck;
  const int q = mem->q;
  double* l = msUnitCoefficients(mem, 2);
  double alpha = -1.0, alpha1 = 1.0, prod = 1.0, xiold = 1.0;
  double H = mem->hScale;
  if (q > 1) {
    for (int j = 1; j < q; ++j) {
      H += mem->pastSteps[j + 1];
      const double xi = msDivide(H, mem->hScale);
      prod *= xi;
      alpha -= 1.0 / (j + 1);
      alpha1 += msDivide(1.0, xi);
      for (int i = j + 2; i >= 2; --i) l[i] = l[i] * xiold + l[i - 1];
      xiold = xi;
    }
  }
  const double A1 = msDivide(-alpha - alpha1, prod);
  N_VScale(A1, z[mem->corrHistIndex], z[mem->coeffCount]);
  for (int j = 2; j <= q; ++j) N_VLinearSum(l[j], z[mem->coeffCount], 1.0, z[j], z[j]);
}

void msBDFLowerOrder(MstepMem mem) {
  N_Vector* z = mem->nordsieck;
  const int q = mem->q;
  double* l = msUnitCoefficients(mem, 2);
  double H = 0.0;
  for (int j = 1; j <= q - 2; ++j) {
    H += mem->pastSteps[j];
    const double xi = msDivide(H, mem->hScale);
    for (int i = j + 2; i >= 2; --i) l[i] = l[i] * xi + l[i - 1];
  }
  for (int j = 2; j < q; ++j) N_VLinearSum(-l[j], z[q], 1.0, z[j], z[j]);
}

void msApplyStepOrder(MstepMem mem) {
  if (mem->qNew != mem->q) {
    msChangeHistoryOrder(mem, mem->qNew - mem->q);
    mem->q = mem->qNew;
    mem->coeffCount = mem->q + 1;
    mem->orderWait = mem->coeffCount;
  }
  msRescaleHistory(mem);
}

}  // namespace pelvarin
