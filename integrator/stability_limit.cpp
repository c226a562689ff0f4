#include "integrator/stability_limit.h"

#include <cassert>

namespace pelvarin {

namespace {

constexpr double MS_TINY = 1e-10;
constexpr double MS_RR_MAX = 100.0;
constexpr double MS_VAR_NORMAL = 1e-8;   // (1e-4)^2
constexpr double MS_VAR_AGREE = 2.5e-7;  // (5e-4)^2
constexpr double MS_RESID_OK = 0.001;
constexpr double MS_ROOT_AGREE = 0.01;
constexpr double MS_ROOT_LIMIT = 0.98;
constexpr double MS_ERRCONST_MAX = 4.0;
constexpr int MS_NEWTON_PASSES = 3;

// One column's quartic c1 x^4 + c2 x^3 + c4 x + c5.
struct Quartic {
  double c1, c2, c4, c5;
};

double msEvalQuartic(const Quartic& p, double x) {
  return p.c5 + x * (p.c4 + x * x * (p.c2 + x * p.c1));
}

// The five recorded norms of each of the three columns (s[i][k], i = 1 the
// newest) and what msStabilityLimit derives from them.
struct StabilityColumns {
  double s[6][4];
  double smax[4], ssmax[4];  // largest entry, its square
  double rav[4], vrat[4];    // mean and variance of the ratios s[i] / s[i + 1]
  Quartic p[4];
};

// The statistics of every column. Returns 0, or -1 for a column with an
// entry too small against its largest. A column of zeros (a solution the
// method integrates exactly) passes, and brings zero divisors here and in
// the tests below that scale by its largest entry.
int msColumnStatistics(StabilityColumns& c) {
  for (int k = 1; k <= 3; ++k) {
    double smin = c.s[1][k];
    double sbig = 0.0;
    for (int i = 1; i <= 5; ++i) {
      if (c.s[i][k] < smin) smin = c.s[i][k];
      if (c.s[i][k] > sbig) sbig = c.s[i][k];
    }
    if (smin < MS_TINY * sbig) return -1;
    c.smax[k] = sbig;
    c.ssmax[k] = sbig * sbig;

    double sumrat = 0.0, sumrsq = 0.0;
    for (int i = 1; i <= 4; ++i) {
      const double rat = msDivide(c.s[i][k], c.s[i + 1][k]);
      sumrat += rat;
      sumrsq += rat * rat;
    }
    c.rav[k] = 0.25 * sumrat;
    c.vrat[k] = RAbs(0.25 * sumrsq - c.rav[k] * c.rav[k]);

    c.p[k].c5 = c.s[1][k] * c.s[3][k] - c.s[2][k] * c.s[2][k];
    c.p[k].c4 = c.s[2][k] * c.s[3][k] - c.s[1][k] * c.s[4][k];
    c.p[k].c2 = c.s[2][k] * c.s[5][k] - c.s[3][k] * c.s[4][k];
    c.p[k].c1 = c.s[4][k] * c.s[4][k] - c.s[3][k] * c.s[5][k];
  }
  return 0;
}

// Eliminates between the three quartics down to a linear equation, whose
// root goes to *rr. Returns 0, -4 (a pivot too small) or -5 (rr out of range).
int msEliminateQuartics(const StabilityColumns& c, double* rr) {
  Quartic e[4] = {c.p[0], c.p[1], c.p[2], c.p[3]};
  if (RAbs(e[1].c1) < MS_TINY * c.ssmax[1]) return -4;
  for (int k = 2; k <= 3; ++k) {
    const double tem = msDivide(e[k].c1, e[1].c1);
    e[k].c2 -= tem * e[1].c2;
    e[k].c4 -= tem * e[1].c4;
    e[k].c5 -= tem * e[1].c5;
  }
  if (RAbs(e[2].c2) < MS_TINY * c.ssmax[2]) return -4;
  {
    const double tem = msDivide(e[3].c2, e[2].c2);
    e[3].c4 -= tem * e[2].c4;
    e[3].c5 -= tem * e[2].c5;
  }
  if (RAbs(e[3].c4) < MS_TINY * c.ssmax[3]) return -4;
  *rr = msDivide(-e[3].c5, e[3].c4);
  if (*rr < MS_TINY || *rr > MS_RR_MAX) return -5;
  return 0;
}

// Newton corrections of *rr on each quartic, keeping the candidate with the
// smallest largest residual; Q holds the residuals at *rr. Returns 3 when a
// candidate fits, -6 when none does, 0 when the last one fits only to the
// limit.
int msRefineRatio(const StabilityColumns& c, double Q[4], double* rr) {
  double sqmin = 0.0;
  for (int pass = 0; pass < MS_NEWTON_PASSES; ++pass) {
    double rrc[4], score[4], values[4][4];
    for (int k = 1; k <= 3; ++k) {
      const double deriv = c.p[k].c4 + *rr * *rr * (3.0 * c.p[k].c2 + 4.0 * *rr * c.p[k].c1);
      const double d = (RAbs(deriv) > MS_TINY * c.ssmax[k]) ? -Q[k] / deriv : 0.0;
      rrc[k] = *rr + d;
    }
    for (int k = 1; k <= 3; ++k) {
      score[k] = 0.0;
      for (int j = 1; j <= 3; ++j) {
        values[k][j] = msEvalQuartic(c.p[j], rrc[k]);
        const double v = msDivide(RAbs(values[k][j]), c.ssmax[j]);
        if (v > score[k]) score[k] = v;
      }
    }
    int kmin = 1;
    for (int k = 2; k <= 3; ++k)
      if (score[k] < score[kmin]) kmin = k;
    *rr = rrc[kmin];
    sqmin = score[kmin];
    if (sqmin < MS_RESID_OK) return 3;
    for (int j = 1; j <= 3; ++j) Q[j] = values[kmin][j];
  }
  return (sqmin > MS_RESID_OK) ? -6 : 0;
}

// The common ratio rr of the columns from their quartics. Returns the case
// (2: the eliminated root fits, 3: a refined one fits, 0: see
// msRefineRatio) or a negative code.
int msRatioFromQuartics(const StabilityColumns& c, double* rr) {
  const int eliminated = msEliminateQuartics(c, rr);
  if (eliminated != 0) return eliminated;
  double Q[4];
  double sqmax = 0.0;
  for (int k = 1; k <= 3; ++k) {
    Q[k] = msEvalQuartic(c.p[k], *rr);
    const double v = msDivide(RAbs(Q[k]), c.ssmax[k]);
    if (v > sqmax) sqmax = v;
  }
  if (sqmax < MS_RESID_OK) return 2;
  return msRefineRatio(c, Q, rr);
}

// Checks rr against every column and against the order q's own root.
// Returns 0, or -7 (a column's error constant), -8 (degenerate), -9 (rr
// disagrees).
int msCheckRatio(const StabilityColumns& c, int q, double rr) {
  double sigsq[4];
  for (int k = 1; k <= 3; ++k) {
    const double rsa = c.s[1][k];
    const double rsb = c.s[2][k] * rr;
    const double rsc = c.s[3][k] * rr * rr;
    const double rsd = c.s[4][k] * rr * rr * rr;
    const double d1a = rsa - rsb, d1b = rsb - rsc, d1c = rsc - rsd;
    const double d2a = d1a - d1b, d2b = d1b - d1c;
    const double d3a = d2a - d2b;
    if (RAbs(d1b) < MS_TINY * c.smax[k]) return -7;
    const double cst = msDivide(-d3a, d1b);
    if (cst < MS_TINY || cst > MS_ERRCONST_MAX) return -7;
    sigsq[k] = c.s[3][k] + (d2b / cst) / (rr * rr);
  }
  if (sigsq[2] < MS_TINY) return -8;
  const double ratp = sigsq[3] / sigsq[2];
  const double ratm = sigsq[1] / sigsq[2];
  const double f1 = 0.25 * (q * q - 1);
  const double f2 = 2.0 / (q - 1);
  const double bb = ratp * ratm - 1.0 - f1 * ratp;
  const double tem = 1.0 - f2 * bb;
  if (RAbs(tem) < MS_TINY) return -8;
  if (RAbs(1.0 / tem - rr) > MS_ROOT_AGREE) return -9;
  return 0;
}

// Shifts the recorded norms by one step and records this step's: the
// scaled norms of nordsieck[q - 1], nordsieck[q] and the correction.
void msRecordStabilityData(MstepMem mem) {
  const int q = mem->q;
  for (int k = 1; k <= 3; ++k)
    for (int i = 5; i >= 2; --i) mem->stabData[i][k] = mem->stabData[i - 1][k];
  // 64 bits: at order 12, 11! q (q + 1) leaves the 32-bit range.
  long long factorial = 1;
  for (int i = 2; i <= q - 1; ++i) factorial *= i;
  const double t5 = (mem->testQuant[5] > MS_TINY) ? mem->testQuant[5] : MS_TINY;
  const double sq = static_cast<double>(factorial * q * (q + 1)) * mem->corrNorm / t5;
  const double sqm1 = N_VWrmsNorm(mem->nordsieck[q], mem->ewt) * static_cast<double>(q * factorial);
  const double sqm2 = N_VWrmsNorm(mem->nordsieck[q - 1], mem->ewt) * static_cast<double>(factorial);
  mem->stabData[1][1] = sqm2 * sqm2;
  mem->stabData[1][2] = sqm1 * sqm1;
  mem->stabData[1][3] = sq * sq;
}

// The next step at order q - 1, with the ratio proposed for it within the
// growth and step limits.
void msLowerOrderForStability(MstepMem mem) {
  mem->qNew = mem->q - 1;
  mem->stepRatio = (mem->etaOrderDown < mem->maxStepRatio) ? mem->etaOrderDown : mem->maxStepRatio;
  const double limit = RAbs(mem->h) * mem->hmaxInv * mem->stepRatio;
  mem->stepRatio /= (limit > 1.0) ? limit : 1.0;
  mem->numOrderReductions++;
  mem->hNew = mem->h * mem->stepRatio;
}

}  // namespace

void msStabilityCheck(MstepMem mem) {
  const int q = mem->q;
  if (q >= 3) msRecordStabilityData(mem);

  if (mem->qNew < q) {
    mem->stepsSameOrder = 0;
    return;
  }
  if (q >= 3 && mem->stepsSameOrder >= q + 5 && msStabilityLimit(mem) > 3)
    msLowerOrderForStability(mem);
}

int msStabilityLimit(MstepMem mem) {
  assert(mem->q >= 3);
  StabilityColumns c;
  for (int i = 1; i <= 5; ++i)
    for (int k = 1; k <= 3; ++k) c.s[i][k] = mem->stabData[i][k];

  const int columns = msColumnStatistics(c);
  if (columns != 0) return columns;

  double vmin = c.vrat[1], vmax = c.vrat[1];
  for (int k = 2; k <= 3; ++k) {
    if (c.vrat[k] < vmin) vmin = c.vrat[k];
    if (c.vrat[k] > vmax) vmax = c.vrat[k];
  }

  int kflag = 0;
  double rr;
  if (vmin < MS_VAR_NORMAL) {
    // Nearly constant ratios: their mean is the common one.
    if (vmax > MS_VAR_AGREE) return -2;
    rr = (c.rav[1] + c.rav[2] + c.rav[3]) / 3.0;
    kflag = 1;
  } else {
    kflag = msRatioFromQuartics(c, &rr);
    if (kflag < 0) return kflag;
  }

  const int checked = msCheckRatio(c, mem->q, rr);
  if (checked != 0) return checked;

  if (rr > MS_ROOT_LIMIT && kflag >= 1 && kflag <= 3) kflag += 3;
  return kflag;
}

}  // namespace pelvarin
