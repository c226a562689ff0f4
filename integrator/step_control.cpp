#include "integrator/step_control.h"

#include "integrator/nonlinear_corrector.h"
#include "integrator/nordsieck_history.h"

namespace pelvarin {

namespace {

constexpr double MS_ERR_BIAS_SAME = 6.0;  // orders q and q - 1
constexpr double MS_ERR_BIAS_UP = 10.0;   // order q + 1
constexpr double MS_RATIO_ADDON = 1e-6;   // bounds every proposal by 1e6
constexpr double MS_GROWTH_THRESHOLD = 1.5;
constexpr double MS_ETF_MIN_RATIO = 0.1;
constexpr double MS_ETF_MAX_RATIO_LATER = 0.2;
constexpr int MS_ETF_STEP_ONLY_FAILS = 3;
constexpr int MS_ORDER_WAIT_AFTER_REBUILD = 10;

// Either operand on a tie; a NaN first operand yields the second.
double msMax(double a, double b) { return (a > b) ? a : b; }
double msMin(double a, double b) { return (a < b) ? a : b; }

double msProposedRatio(double bias, double err, int order) {
  return 1.0 / (RPowerR(bias * err, 1.0 / order) + MS_RATIO_ADDON);
}

}  // namespace

MsStepResult msLocalErrorTest(MstepMem mem, int* nflag, double saved_t, int* nef, double* dsmOut) {
  const double dsm = mem->corrNorm * mem->testQuant[2];
  *dsmOut = dsm;
  if (dsm <= 1.0) return STEP_OK;

  *nef += 1;
  mem->numErrTestFails++;
  *nflag = NLS_AFTER_ERR_FAIL;
  msRetractHistory(mem, saved_t);

  // At least one failure ends a step, whatever maxErrTestFails says.
  if (RAbs(mem->h) <= mem->hmin * MS_HMIN_FUZZ || *nef >= mem->maxErrTestFails)
    return STEP_ERR_FAILURE;

  mem->maxStepRatio = 1.0;
  const double hminRatio = mem->hmin / RAbs(mem->h);

  if (*nef <= MS_ETF_STEP_ONLY_FAILS) {
    double r = msProposedRatio(MS_ERR_BIAS_SAME, dsm, mem->coeffCount);
    r = msMax(MS_ETF_MIN_RATIO, msMax(r, hminRatio));
    if (*nef >= 2) r = msMin(r, MS_ETF_MAX_RATIO_LATER);
    mem->stepRatio = r;
    msRescaleHistory(mem);
    return STEP_TRY_AGAIN;
  }

  mem->stepRatio = msMax(MS_ETF_MIN_RATIO, hminRatio);
  if (mem->q > 1) {
    msChangeHistoryOrder(mem, -1);
    mem->coeffCount = mem->q;
    mem->q = mem->q - 1;
    mem->orderWait = mem->coeffCount;
    msRescaleHistory(mem);
    return STEP_TRY_AGAIN;
  }

  // At order 1 the history is rebuilt from the derivative at the start.
  mem->h *= mem->stepRatio;
  mem->hNext = mem->h;
  mem->hScale = mem->h;
  mem->orderWait = MS_ORDER_WAIT_AFTER_REBUILD;
  mem->stepsSameOrder = 0;
  const int r = mem->f(mem->tcur, mem->nordsieck[0], mem->tempVec, mem->userData);
  mem->numRhsEvals++;
  if (r != 0) {
    // h is already reduced: the old derivative column must follow it, or
    // interpolation and a later call would see a history of another step.
    N_VScale(mem->stepRatio, mem->nordsieck[1], mem->nordsieck[1]);
    return (r < 0) ? STEP_RHSFUNC_FAIL : STEP_UNREC_RHSFUNC_ERR;
  }
  N_VScale(mem->h, mem->tempVec, mem->nordsieck[1]);
  return STEP_TRY_AGAIN;
}

void msPlanNextStep(MstepMem mem, double dsm) {
  if (mem->maxStepRatio == 1.0) {
    // An attempt of this step failed: keep size and order.
    if (mem->orderWait < 2) mem->orderWait = 2;
    mem->qNew = mem->q;
    mem->hNew = mem->h;
    mem->stepRatio = 1.0;
    return;
  }
  mem->etaOrderSame = msProposedRatio(MS_ERR_BIAS_SAME, dsm, mem->coeffCount);
  if (mem->orderWait != 0) {
    mem->stepRatio = mem->etaOrderSame;
    mem->qNew = mem->q;
    msLimitStepRatio(mem);
    return;
  }
  mem->orderWait = 2;
  mem->etaOrderDown = msRatioLowerOrder(mem);
  mem->etaOrderUp = msRatioHigherOrder(mem);
  msPickOrder(mem);
  msLimitStepRatio(mem);
}

double msRatioLowerOrder(MstepMem mem) {
  double eta = 0.0;
  if (mem->q > 1) {
    const double e = N_VWrmsNorm(mem->nordsieck[mem->q], mem->ewt) * mem->testQuant[1];
    eta = msProposedRatio(MS_ERR_BIAS_SAME, e, mem->q);
  }
  mem->etaOrderDown = eta;
  return eta;
}

double msRatioHigherOrder(MstepMem mem) {
  double eta = 0.0;
  if (mem->q != mem->maxOrder && mem->savedTestQuant5 != 0.0) {
    // The past step is zero after steps of zero.
    const double c = (mem->testQuant[5] / mem->savedTestQuant5) *
                     RPowerI(msDivide(mem->h, mem->pastSteps[2]), mem->coeffCount);
    N_VLinearSum(-c, mem->nordsieck[mem->maxOrder], 1.0, mem->correction, mem->tempVec);
    const double e = N_VWrmsNorm(mem->tempVec, mem->ewt) * mem->testQuant[3];
    eta = msProposedRatio(MS_ERR_BIAS_UP, e, mem->coeffCount + 1);
  }
  mem->etaOrderUp = eta;
  return eta;
}

void msPickOrder(MstepMem mem) {
  const double best = msMax(mem->etaOrderDown, msMax(mem->etaOrderSame, mem->etaOrderUp));
  if (best < MS_GROWTH_THRESHOLD) {
    mem->stepRatio = 1.0;
    mem->qNew = mem->q;
    return;
  }
  mem->stepRatio = best;
  if (mem->etaOrderSame == best) {
    mem->qNew = mem->q;
  } else if (mem->etaOrderDown == best) {
    mem->qNew = mem->q - 1;
  } else {
    mem->qNew = mem->q + 1;
    if (mem->lmm == MS_BDF) N_VScale(1.0, mem->correction, mem->nordsieck[mem->maxOrder]);
  }
}

void msLimitStepRatio(MstepMem mem) {
  if (mem->stepRatio < MS_GROWTH_THRESHOLD) {
    mem->stepRatio = 1.0;
    mem->hNew = mem->h;
    return;
  }
  mem->stepRatio = msMin(mem->stepRatio, mem->maxStepRatio);
  mem->stepRatio /= msMax(1.0, RAbs(mem->h) * mem->hmaxInv * mem->stepRatio);
  mem->hNew = mem->h * mem->stepRatio;
  if (mem->qNew < mem->q) mem->stepsSameOrder = 0;
}

}  // namespace pelvarin
