#include "integrator/integration_step.h"

#include <cassert>

#include "integrator/nonlinear_corrector.h"
#include "integrator/nordsieck_history.h"
#include "integrator/stability_limit.h"
#include "integrator/step_control.h"

namespace pelvarin {

namespace {

constexpr double MS_GROWTH_AFTER_STEP = 10.0;

// A failed step leaves the solution it started from, exactly: retracting a
// history that a non-finite derivative or an overflow reached would not
// give it back.
MsStepResult msFailStep(MstepMem mem, MsStepResult result) {
  N_VScale(1.0, mem->stepStart, mem->nordsieck[0]);
  return result;
}

}  // namespace

int msStepFlag(MsStepResult result) {
  // The failures carry their public flags' numbers (integrator_memory.h).
  assert((result == STEP_ERR_FAILURE || result == STEP_CONV_FAILURE || result == STEP_LSETUP_FAIL ||
          result == STEP_LSOLVE_FAIL || result == STEP_RHSFUNC_FAIL ||
          result == STEP_REPTD_RHSFUNC_ERR || result == STEP_UNREC_RHSFUNC_ERR) &&
         "only a failure that ends the step leaves it");
  return result;
}

// Out of line, as the step always was: inlined into Mstep's loop, it makes
// the per-call path of Mstep slower.
__attribute__((noinline)) MsStepResult msTakeStep(MstepMem mem) {
  assert(mem->q >= 1 && mem->q <= mem->maxOrder);
  const double saved_t = mem->tcur;
  int ncf = 0;
  int nef = 0;
  int nflag = NLS_FIRST_CALL;
  double dsm = 0.0;
  N_VScale(1.0, mem->nordsieck[0], mem->stepStart);

  if (mem->numSteps > 0 && mem->hNew != mem->h) msApplyStepOrder(mem);

  for (;;) {
    msPredictHistory(mem);
    msSetCoefficients(mem);
    nflag = msCorrect(mem, nflag);
    const MsStepResult k = msCorrectorFailure(mem, &nflag, saved_t, &ncf);
    if (k == STEP_PREDICT_AGAIN) continue;
    if (k != STEP_DO_ERROR_TEST) return msFailStep(mem, k);
    const MsStepResult e = msLocalErrorTest(mem, &nflag, saved_t, &nef, &dsm);
    if (e == STEP_TRY_AGAIN) continue;
    if (e != STEP_OK) return msFailStep(mem, e);
    break;
  }

  msAcceptStep(mem);
  msPlanNextStep(mem, dsm);
  // Not reached in this model: nothing turns the stability limit detection on.
  if (mem->stabLimDet) msStabilityCheck(mem);
  mem->maxStepRatio = MS_GROWTH_AFTER_STEP;
  return STEP_OK;
}

void msAcceptStep(MstepMem mem) {
  const int q = mem->q;
  assert(q >= 1 && q <= mem->maxOrder);
  mem->hu = mem->h;
  mem->numSteps++;
  mem->stepsSameOrder++;
  mem->qUsed = q;

  for (int i = q; i >= 2; --i) mem->pastSteps[i] = mem->pastSteps[i - 1];
  if (q == 1 && mem->numSteps > 1) mem->pastSteps[2] = mem->pastSteps[1];
  mem->pastSteps[1] = mem->h;

  // Written as a*x + y also for the coefficients 1 and -1: x + y and y - x
  // give the same bits.
  double* d[MS_HISTORY_SIZE];
  const int n = msGetHistoryData(mem, q, d);
  const double* corr = N_VData_Serial(mem->correction);
  for (int j = 0; j <= q; ++j) {
    const double l = mem->lCoef[j];
    for (int i = 0; i < n; ++i) d[j][i] = l * corr[i] + d[j][i];
  }

  mem->orderWait--;
  if (mem->orderWait == 1 && q != mem->maxOrder) {
    // Kept for the order-increase estimate of the next step.
    N_VScale(1.0, mem->correction, mem->nordsieck[mem->maxOrder]);
    mem->savedTestQuant5 = mem->testQuant[5];
    mem->corrHistIndex = mem->maxOrder;
  }
}

}  // namespace pelvarin
