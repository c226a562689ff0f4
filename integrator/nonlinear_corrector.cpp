#include "integrator/nonlinear_corrector.h"

#include <cassert>

#include "integrator/nordsieck_history.h"

namespace pelvarin {

namespace {

constexpr double MS_CONV_RATE_DECAY = 0.3;
constexpr double MS_GAMMA_CHANGE_MAX = 0.3;  // |gammaRatio - 1| that forces a setup
constexpr int MS_STEPS_BETWEEN_SETUPS = 20;
constexpr double MS_DIVERGENCE_FACTOR = 2.0;
constexpr double MS_CONV_FAIL_REDUCTION = 0.25;

enum ConvergenceVerdict { CONVERGED, ITERATE_AGAIN, DIVERGED };

// The convergence test after iteration *m with change size del; delp is the
// size of the previous change.
ConvergenceVerdict msTestConvergence(MstepMem mem, int* m, double del, double* delp) {
  // Both divisors vanish only with a convergence coefficient of zero: no
  // change passes a bound of zero, not even a change of zero.
  if (*m > 0) {
    const double ratio = msDivide(del, *delp);
    const double decayed = MS_CONV_RATE_DECAY * mem->convRate;
    mem->convRate = (decayed > ratio) ? decayed : ratio;
  }
  const double rate = (mem->convRate < 1.0) ? mem->convRate : 1.0;
  const double dcon = msDivide(del * rate, mem->testQuant[4]);
  if (dcon <= 1.0) {
    mem->corrNorm = (*m == 0) ? del : N_VWrmsNorm(mem->correction, mem->ewt);
    return CONVERGED;
  }
  *m += 1;
  // At least one iteration, whatever maxNonlinIters says.
  if (*m >= mem->maxNonlinIters) return DIVERGED;
  if (*m >= 2 && del > MS_DIVERGENCE_FACTOR * *delp) return DIVERGED;
  *delp = del;
  return ITERATE_AGAIN;
}

bool msHasSetup(MstepMem mem) { return mem->lsSetupPresent && mem->lsSetup != nullptr; }

bool msMatrixIsStale(MstepMem mem) { return mem->jacCurrent == 0 && msHasSetup(mem); }

}  // namespace

MsStepResult msCorrect(MstepMem mem, int nflag) {
  // Not reached in this model: the co-simulation stepper iterates with Newton.
  if (mem->iter == MS_FUNCTIONAL) return msFixedPointCorrector(mem);
  return msNewtonCorrector(mem, nflag);
}

MsStepResult msNewtonCorrector(MstepMem mem, int nflag) {
  assert(nflag == NLS_FIRST_CALL || nflag == NLS_AFTER_CONV_FAIL || nflag == NLS_AFTER_ERR_FAIL);
  int convfail = (nflag == NLS_FIRST_CALL || nflag == NLS_AFTER_ERR_FAIL) ? MS_CONVFAIL_NONE
                                                                           : MS_CONVFAIL_OTHER;
  bool callSetup = false;
  if (msHasSetup(mem)) {
    const double dgamma = RAbs(mem->gammaRatio - 1.0);
    callSetup = nflag == NLS_AFTER_CONV_FAIL || nflag == NLS_AFTER_ERR_FAIL || mem->numSteps == 0 ||
                mem->numSteps >= mem->stepsAtLastSetup + MS_STEPS_BETWEEN_SETUPS ||
                dgamma > MS_GAMMA_CHANGE_MAX;
  } else {
    mem->convRate = 1.0;
  }

  for (int retries = 0;; ++retries) {
    const int r = mem->f(mem->tcur, mem->nordsieck[0], mem->fTemp, mem->userData);
    mem->numRhsEvals++;
    if (r < 0) return STEP_RHSFUNC_FAIL;
    if (r > 0) return NLS_RHS_RECOVERABLE;

    if (callSetup) {
      const int ier = mem->lsSetup(mem, convfail, mem->nordsieck[0], mem->fTemp, &mem->jacCurrent,
                                   mem->correction, mem->yWork, mem->tempVec);
      mem->numLinSetups++;
      mem->convRate = 1.0;
      mem->gammaRatio = 1.0;
      mem->gammaPrev = mem->gamma;
      mem->stepsAtLastSetup = mem->numSteps;
      if (ier < 0) return STEP_LSETUP_FAIL;
      if (ier > 0) return NLS_CONV_FAIL;
    }

    {
      // No correction yet, the iterate at the prediction, in one pass.
      const int n = N_VLength_Serial(mem->correction);
      const double* z0 = N_VData_Serial(mem->nordsieck[0]);
      double* corr = N_VData_Serial(mem->correction);
      double* y = N_VData_Serial(mem->yWork);
      for (int i = 0; i < n; ++i) {
        corr[i] = 0.0;
        y[i] = z0[i];
      }
    }

    const MsStepResult res = msNewtonLoop(mem);
    if (res != NLS_RETRY_SETUP) return res;
    // A solver that keeps answering "stale" after fresh setups would loop
    // for ever; its failure then counts as a convergence failure.
    if (retries >= MS_MAX_SETUP_RETRIES) return NLS_CONV_FAIL;
    callSetup = true;
    convfail = MS_CONVFAIL_BAD_JAC;
  }
}

MsStepResult msNewtonLoop(MstepMem mem) {
  int m = 0;
  double delp = 0.0;
  mem->newtonIter = 0;
  for (;;) {
    // Residual of the corrector equation at the current iterate,
    // gamma f - (invL1 z[1] + correction), in one pass with the bits of the
    // two linear sums it is defined by (their forms for the coefficients 1
    // and -1).
    {
      const int n = N_VLength_Serial(mem->tempVec);
      const double invL1 = mem->invL1, gamma = mem->gamma;
      const double* z1 = N_VData_Serial(mem->nordsieck[1]);
      const double* corr = N_VData_Serial(mem->correction);
      const double* f = N_VData_Serial(mem->fTemp);
      double* res = N_VData_Serial(mem->tempVec);
      for (int i = 0; i < n; ++i) res[i] = gamma * f[i] - (invL1 * z1[i] + corr[i]);
    }

    int r = mem->lsSolve(mem, mem->tempVec, mem->ewt, mem->yWork, mem->fTemp);
    mem->numNonlinIters++;
    if (r < 0) return STEP_LSOLVE_FAIL;
    if (r > 0) return msMatrixIsStale(mem) ? NLS_RETRY_SETUP : NLS_CONV_FAIL;

    const double del = N_VWrmsNorm(mem->tempVec, mem->ewt);
    {
      // correction + step, then the iterate z[0] + correction, in one pass.
      const int n = N_VLength_Serial(mem->tempVec);
      const double* z0 = N_VData_Serial(mem->nordsieck[0]);
      const double* step = N_VData_Serial(mem->tempVec);
      double* corr = N_VData_Serial(mem->correction);
      double* y = N_VData_Serial(mem->yWork);
      for (int i = 0; i < n; ++i) {
        corr[i] = corr[i] + step[i];
        y[i] = z0[i] + corr[i];
      }
    }

    const ConvergenceVerdict verdict = msTestConvergence(mem, &m, del, &delp);
    mem->newtonIter = m;
    if (verdict == CONVERGED) {
      mem->jacCurrent = 0;
      return STEP_OK;
    }
    if (verdict == DIVERGED) return msMatrixIsStale(mem) ? NLS_RETRY_SETUP : NLS_CONV_FAIL;

    r = mem->f(mem->tcur, mem->yWork, mem->fTemp, mem->userData);
    mem->numRhsEvals++;
    if (r < 0) return STEP_RHSFUNC_FAIL;
    if (r > 0) return msMatrixIsStale(mem) ? NLS_RETRY_SETUP : NLS_RHS_RECOVERABLE;
  }
}

// Not reached in this model: the co-simulation stepper iterates with Newton.
MsStepResult msFixedPointCorrector(MstepMem mem) {
  mem->convRate = 1.0;
  int r = mem->f(mem->tcur, mem->nordsieck[0], mem->tempVec, mem->userData);
  mem->numRhsEvals++;
  if (r < 0) return STEP_RHSFUNC_FAIL;
  if (r > 0) return NLS_RHS_RECOVERABLE;

  N_VConst(0.0, mem->correction);
  int m = 0;
  double delp = 0.0;
  for (;;) {
    mem->numNonlinIters++;
    // The new correction: invL1 * (h f - nordsieck[1]).
    N_VLinearSum(mem->h, mem->tempVec, -1.0, mem->nordsieck[1], mem->tempVec);
    N_VScale(mem->invL1, mem->tempVec, mem->tempVec);
    N_VLinearSum(1.0, mem->nordsieck[0], 1.0, mem->tempVec, mem->yWork);

    N_VLinearSum(1.0, mem->tempVec, -1.0, mem->correction, mem->correction);
    const double del = N_VWrmsNorm(mem->correction, mem->ewt);
    N_VScale(1.0, mem->tempVec, mem->correction);

    const ConvergenceVerdict verdict = msTestConvergence(mem, &m, del, &delp);
    if (verdict == CONVERGED) return STEP_OK;
    if (verdict == DIVERGED) return NLS_CONV_FAIL;

    r = mem->f(mem->tcur, mem->yWork, mem->tempVec, mem->userData);
    mem->numRhsEvals++;
    if (r < 0) return STEP_RHSFUNC_FAIL;
    if (r > 0) return NLS_RHS_RECOVERABLE;
  }
}

MsStepResult msCorrectorFailure(MstepMem mem, int* nflag, double saved_t, int* ncf) {
  const MsStepResult result = static_cast<MsStepResult>(*nflag);
  assert(result == STEP_OK || result == STEP_LSETUP_FAIL || result == STEP_LSOLVE_FAIL ||
         result == STEP_RHSFUNC_FAIL || result == NLS_CONV_FAIL || result == NLS_RHS_RECOVERABLE);
  if (result == STEP_OK) return STEP_DO_ERROR_TEST;

  mem->numConvFails++;
  msRetractHistory(mem, saved_t);
  if (result == STEP_LSETUP_FAIL || result == STEP_LSOLVE_FAIL || result == STEP_RHSFUNC_FAIL)
    return result;

  *ncf += 1;
  mem->maxStepRatio = 1.0;
  if (RAbs(mem->h) <= mem->hmin * MS_HMIN_FUZZ || *ncf >= mem->maxConvFails) {
    if (result == NLS_RHS_RECOVERABLE) return STEP_REPTD_RHSFUNC_ERR;
    return STEP_CONV_FAILURE;
  }

  const double floor = mem->hmin / RAbs(mem->h);
  mem->stepRatio = (MS_CONV_FAIL_REDUCTION > floor) ? MS_CONV_FAIL_REDUCTION : floor;
  *nflag = NLS_AFTER_CONV_FAIL;
  msRescaleHistory(mem);
  return STEP_PREDICT_AGAIN;
}

}  // namespace pelvarin
