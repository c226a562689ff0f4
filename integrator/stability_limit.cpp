#include "integrator/stability_limit.h"

namespace pelvarin {

namespace {

constexpr double TINY = 1e-10;
constexpr double RR_MAX = 100.0;
constexpr double VAR_NORMAL = 1e-8;       // (1e-4)^2
constexpr double VAR_AGREE = 2.5e-7;      // (5e-4)^2
constexpr double RESID_OK = 0.001;
constexpr double ROOT_AGREE = 0.01;
constexpr double ROOT_LIMIT = 0.98;
constexpr double ERRCONST_MAX = 4.0;
constexpr int NEWTON_PASSES = 3;

// One column's quartic c1 x^4 + c2 x^3 + c4 x + c5.
struct Quartic {
  double c1, c2, c4, c5;
};

double msEvalQuartic(const Quartic& p, double x) {
  return p.c5 + x * (p.c4 + x * x * (p.c2 + x * p.c1));
}

}  // namespace

void msStabilityCheck(MstepMem mem) {
  const int q = mem->q;
  if (q >= 3) {
    for (int k = 1; k <= 3; ++k)
      for (int i = 5; i >= 2; --i) mem->stabData[i][k] = mem->stabData[i - 1][k];
    // 64 bits: at order 12, 11! q (q + 1) leaves the 32-bit range.
    long long factorial = 1;
    for (int i = 2; i <= q - 1; ++i) factorial *= i;
    const double t5 = (mem->testQuant[5] > TINY) ? mem->testQuant[5] : TINY;
    const double sq = static_cast<double>(factorial * q * (q + 1)) * mem->corrNorm / t5;
    const double sqm1 =
        N_VWrmsNorm(mem->nordsieck[q], mem->ewt) * static_cast<double>(q * factorial);
    const double sqm2 =
        N_VWrmsNorm(mem->nordsieck[q - 1], mem->ewt) * static_cast<double>(factorial);
    mem->stabData[1][1] = sqm2 * sqm2;
    mem->stabData[1][2] = sqm1 * sqm1;
    mem->stabData[1][3] = sq * sq;
  }

  if (mem->qNew < q) {
    mem->stepsSameOrder = 0;
    return;
  }
  if (q >= 3 && mem->stepsSameOrder >= q + 5 && msStabilityLimit(mem) > 3) {
    mem->qNew = q - 1;
    mem->stepRatio = (mem->etaOrderDown < mem->maxStepRatio) ? mem->etaOrderDown : mem->maxStepRatio;
    const double limit = RAbs(mem->h) * mem->hmaxInv * mem->stepRatio;
    mem->stepRatio /= (limit > 1.0) ? limit : 1.0;
    mem->numOrderReductions++;
    mem->hNew = mem->h * mem->stepRatio;
  }
}

int msStabilityLimit(MstepMem mem) {
  const int q = mem->q;
  double s[6][4];
  for (int i = 1; i <= 5; ++i)
    for (int k = 1; k <= 3; ++k) s[i][k] = mem->stabData[i][k];

  double smax[4], ssmax[4], rav[4], vrat[4];
  Quartic p[4];
  for (int k = 1; k <= 3; ++k) {
    double smin = s[1][k];
    double sbig = 0.0;
    for (int i = 1; i <= 5; ++i) {
      if (s[i][k] < smin) smin = s[i][k];
      if (s[i][k] > sbig) sbig = s[i][k];
    }
    if (smin < TINY * sbig) return -1;
    smax[k] = sbig;
    ssmax[k] = sbig * sbig;

    double sumrat = 0.0, sumrsq = 0.0;
    for (int i = 1; i <= 4; ++i) {
      const double rat = s[i][k] / s[i + 1][k];
      sumrat += rat;
      sumrsq += rat * rat;
    }
    rav[k] = 0.25 * sumrat;
    vrat[k] = RAbs(0.25 * sumrsq - rav[k] * rav[k]);

    p[k].c5 = s[1][k] * s[3][k] - s[2][k] * s[2][k];
    p[k].c4 = s[2][k] * s[3][k] - s[1][k] * s[4][k];
    p[k].c2 = s[2][k] * s[5][k] - s[3][k] * s[4][k];
    p[k].c1 = s[4][k] * s[4][k] - s[3][k] * s[5][k];
  }

  double vmin = vrat[1], vmax = vrat[1];
  for (int k = 2; k <= 3; ++k) {
    if (vrat[k] < vmin) vmin = vrat[k];
    if (vrat[k] > vmax) vmax = vrat[k];
  }

  int kflag = 0;
  double rr;
  if (vmin < VAR_NORMAL) {
    if (vmax > VAR_AGREE) return -2;
    rr = (rav[1] + rav[2] + rav[3]) / 3.0;
    kflag = 1;
  } else {
    // Eliminate between the three quartics down to a linear equation.
    Quartic e[4] = {p[0], p[1], p[2], p[3]};
    if (RAbs(e[1].c1) < TINY * ssmax[1]) return -4;
    for (int k = 2; k <= 3; ++k) {
      const double tem = e[k].c1 / e[1].c1;
      e[k].c2 -= tem * e[1].c2;
      e[k].c4 -= tem * e[1].c4;
      e[k].c5 -= tem * e[1].c5;
    }
    if (RAbs(e[2].c2) < TINY * ssmax[2]) return -4;
    {
      const double tem = e[3].c2 / e[2].c2;
      e[3].c4 -= tem * e[2].c4;
      e[3].c5 -= tem * e[2].c5;
    }
    if (RAbs(e[3].c4) < TINY * ssmax[3]) return -4;
    rr = -e[3].c5 / e[3].c4;
    if (rr < TINY || rr > RR_MAX) return -5;

    double Q[4];
    double sqmax = 0.0;
    for (int k = 1; k <= 3; ++k) {
      Q[k] = msEvalQuartic(p[k], rr);
      const double v = RAbs(Q[k]) / ssmax[k];
      if (v > sqmax) sqmax = v;
    }
    if (sqmax < RESID_OK) {
      kflag = 2;
    } else {
      double sqmin = 0.0;
      bool found = false;
      for (int pass = 0; pass < NEWTON_PASSES && !found; ++pass) {
        double rrc[4], score[4], values[4][4];
        for (int k = 1; k <= 3; ++k) {
          const double deriv = p[k].c4 + rr * rr * (3.0 * p[k].c2 + 4.0 * rr * p[k].c1);
          const double d = (RAbs(deriv) > TINY * ssmax[k]) ? -Q[k] / deriv : 0.0;
          rrc[k] = rr + d;
        }
        for (int k = 1; k <= 3; ++k) {
          score[k] = 0.0;
          for (int j = 1; j <= 3; ++j) {
            values[k][j] = msEvalQuartic(p[j], rrc[k]);
            const double v = RAbs(values[k][j]) / ssmax[j];
            if (v > score[k]) score[k] = v;
          }
        }
        int kmin = 1;
        for (int k = 2; k <= 3; ++k)
          if (score[k] < score[kmin]) kmin = k;
        rr = rrc[kmin];
        sqmin = score[kmin];
        if (sqmin < RESID_OK) {
          kflag = 3;
          found = true;
        } else {
          for (int j = 1; j <= 3; ++j) Q[j] = values[kmin][j];
        }
      }
      if (!found && sqmin > RESID_OK) return -6;
    }
  }

  // Check the root against every column.
  double sigsq[4];
  for (int k = 1; k <= 3; ++k) {
    const double rsa = s[1][k];
    const double rsb = s[2][k] * rr;
    const double rsc = s[3][k] * rr * rr;
    const double rsd = s[4][k] * rr * rr * rr;
    const double d1a = rsa - rsb, d1b = rsb - rsc, d1c = rsc - rsd;
    const double d2a = d1a - d1b, d2b = d1b - d1c;
    const double d3a = d2a - d2b;
    if (RAbs(d1b) < TINY * smax[k]) return -7;
    const double c = -d3a / d1b;
    if (c < TINY || c > ERRCONST_MAX) return -7;
    sigsq[k] = s[3][k] + (d2b / c) / (rr * rr);
  }
  if (sigsq[2] < TINY) return -8;
  const double ratp = sigsq[3] / sigsq[2];
  const double ratm = sigsq[1] / sigsq[2];
  const double f1 = 0.25 * (q * q - 1);
  const double f2 = 2.0 / (q - 1);
  const double bb = ratp * ratm - 1.0 - f1 * ratp;
  const double tem = 1.0 - f2 * bb;
  if (RAbs(tem) < TINY) return -8;
  if (RAbs(1.0 / tem - rr) > ROOT_AGREE) return -9;

  if (rr > ROOT_LIMIT && kflag >= 1 && kflag <= 3) kflag += 3;
  return kflag;
}

}  // namespace pelvarin
