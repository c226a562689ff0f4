#include "integrator/integration_loop.h"

#include <cassert>
#include <cmath>

#include "integrator/integration_step.h"
#include "integrator/nordsieck_history.h"
#include "integrator/root_finding.h"

namespace pelvarin {

namespace {

constexpr double MS_TSTOP_MARGIN = 4.0;  // steps end at (tstop - t) (1 - 4r)
// First-step estimate.
constexpr double MS_HLB_FACTOR = 100.0;
constexpr double MS_HUB_FACTOR = 0.1;
constexpr int MS_H0_PASSES = 4;
constexpr int MS_H0_TRIES = 4;
constexpr double MS_H0_SHRINK = 0.2;
constexpr double MS_H0_BIAS = 0.5;
constexpr double MS_YDD_THRESHOLD = 2.0;

const char* const MS_MSG_ROOT_FAIL =
    "At t = %lg, the rootfinding routine failed in an unrecoverable manner.";

// What a check before or after a step decided: Mstep returns flag now, or
// goes on.
struct Verdict {
  bool returns;
  int flag;
};
constexpr Verdict GO_ON{false, MS_SUCCESS};
Verdict returnWith(int flag) { return Verdict{true, flag}; }

// A failure once the arguments have been accepted: the caller gets the last
// accepted solution, never a trial state left in yout by the step, the
// first-step estimate or a root search.
int msFailWithAcceptedSolution(MstepMem mem, N_Vector yout, double* tret, int flag) {
  assert(yout != nullptr && tret != nullptr && flag < 0);
  *tret = mem->tcur;
  N_VScale(1.0, mem->nordsieck[0], yout);
  return flag;
}

// Ending the loop with a failure.
int msEndLoop(MstepMem mem, N_Vector yout, double* tret, int flag) {
  mem->lastTret = mem->tcur;
  return msFailWithAcceptedSolution(mem, yout, tret, flag);
}

// A return at the end of the last step, with its solution.
// Not reached in this model: only MS_ONE_STEP returns there, and the
// co-simulation stepper asks for MS_NORMAL.
int msReturnAtTcur(MstepMem mem, N_Vector yout, double* tret) {
  *tret = mem->lastTret = mem->tcur;
  N_VScale(1.0, mem->nordsieck[0], yout);
  return MS_SUCCESS;
}

// A return at the root the search left in tLow (its solution is in yout).
int msReturnRoot(MstepMem mem, double* tret) {
  mem->rootReturned = 1;
  *tret = mem->lastTret = mem->tLow;
  return MS_ROOT_RETURN;
}

// The next step would pass tstop: it is cut to end just before it.
// Not reached in this model: nothing sets a stop time.
void msClipStepToTstop(MstepMem mem) {
  if ((mem->tcur + mem->hNew - mem->tstop) * mem->h > 0) {
    mem->hNew = (mem->tstop - mem->tcur) * (1.0 - MS_TSTOP_MARGIN * mem->unitRoundoff);
    mem->stepRatio = mem->hNew / mem->h;
  }
}

bool msSomeRootInactive(MstepMem mem) {
  for (int i = 0; i < mem->numRootFns; ++i)
    if (mem->gActive[i] == 0) return true;
  return false;
}

// Needs: an initialised memory. Returns MS_SUCCESS when the arguments can be
// used, else the reported failure (with the accepted solution in yout once
// yout and tret are known to be usable).
int msCheckArguments(MstepMem mem, double tout, N_Vector yout, double* tret, int itask) {
  mem->yWork = yout;
  if (yout == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "yout = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (!msVectorFits(mem, yout)) {
    mem->yWork = nullptr;
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "yout has wrong length (illegal).");
    return MS_ILL_INPUT;
  }
  if (tret == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "tret = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (itask != MS_NORMAL && itask != MS_ONE_STEP) {
    // Not reached in this model: the co-simulation stepper asks for MS_NORMAL.
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "Illegal value for itask.");
    return msFailWithAcceptedSolution(mem, yout, tret, MS_ILL_INPUT);
  }
  // A NaN output time is never reached, an infinite one gives no first step.
  if (!std::isfinite(tout)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "Illegal value for tout.");
    return msFailWithAcceptedSolution(mem, yout, tret, MS_ILL_INPUT);
  }
  return MS_SUCCESS;
}

// The derivative at the start into nordsieck[1]. Returns MS_SUCCESS or the
// reported failure.
int msFirstDerivative(MstepMem mem) {
  N_Vector* z = mem->nordsieck;
  const int rhs = mem->f(mem->tcur, z[0], z[1], mem->userData);
  mem->numRhsEvals++;
  // A derivative that is not finite would poison every later step.
  if (rhs < 0 || (rhs == 0 && !msAllFinite(mem, z[1]))) {
    msReportError(mem, MS_RHSFUNC_FAIL, "MSTEP", "Mstep",
                  "At t = %lg, the right-hand side routine failed in an unrecoverable manner.",
                  mem->tcur);
    return MS_RHSFUNC_FAIL;
  }
  if (rhs > 0) {
    msReportError(mem, MS_FIRST_RHSFUNC_ERR, "MSTEP", "Mstep",
                  "The right-hand side routine failed at the first call.");
    return MS_FIRST_RHSFUNC_ERR;
  }
  return MS_SUCCESS;
}

// The first step size h: the caller's or an estimate toward tout, within
// hmin and hmax and not past tstop. Returns MS_SUCCESS (h finite and
// nonzero) or the reported failure.
int msFirstStepSize(MstepMem mem, double tout) {
  mem->h = mem->hInit;
  if (mem->h != 0.0 && (tout - mem->tcur) * mem->h < 0) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "h0 and tout - t0 inconsistent.");
    return MS_ILL_INPUT;
  }
  if (mem->h == 0.0) {
    double tout_hin = tout;
    // Not reached in this model: a stop time, as nothing sets one.
    if (mem->tstopSet && (tout - mem->tcur) * (tout - mem->tstop) > 0) tout_hin = mem->tstop;
    const int flag = msInitialStepEstimate(mem, tout_hin);
    if (flag != MS_SUCCESS) return msReportStepFailure(mem, flag);
  }
  const double rh = RAbs(mem->h) * mem->hmaxInv;
  if (rh > 1.0) mem->h /= rh;
  if (RAbs(mem->h) < mem->hmin) mem->h *= mem->hmin / RAbs(mem->h);
  if (!std::isfinite(mem->h)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep", "h0 not finite for tout - t0 = %lg.",
                  tout - mem->tcur);
    return MS_ILL_INPUT;
  }
  if (mem->tstopSet) {
    // Not reached in this model: nothing sets a stop time.
    if ((mem->tstop - mem->tcur) * mem->h < 0) {
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep",
                    "The value tstop = %lg is behind current t = %lg in the direction of "
                    "integration.",
                    mem->tstop, mem->tcur);
      return MS_ILL_INPUT;
    }
    if ((mem->tcur + mem->h - mem->tstop) * mem->h > 0)
      mem->h = (mem->tstop - mem->tcur) * (1.0 - MS_TSTOP_MARGIN * mem->unitRoundoff);
  }
  return MS_SUCCESS;
}

// First call of a problem: set-up check, derivative, first step size, the
// history scaled to it, the root functions at the start. Needs: no step
// taken yet. Returns MS_SUCCESS or the reported failure.
int msFirstCallSetup(MstepMem mem, double tout) {
  assert(mem->numSteps == 0);
  int flag = MsInitialSetup(mem);
  if (flag != MS_SUCCESS) return flag;
  flag = msFirstDerivative(mem);
  if (flag != MS_SUCCESS) return flag;
  flag = msFirstStepSize(mem, tout);
  if (flag != MS_SUCCESS) return flag;

  mem->hScale = mem->h;
  mem->h0Used = mem->h;
  mem->hNew = mem->h;
  N_VScale(mem->h, mem->nordsieck[1], mem->nordsieck[1]);

  if (mem->numRootFns > 0 && MsRcheck1(mem) == MS_RTFUNC_FAIL) {
    msReportError(mem, MS_RTFUNC_FAIL, "MSTEP", "MsRcheck1", MS_MSG_ROOT_FAIL, mem->tcur);
    return MS_RTFUNC_FAIL;
  }
  return MS_SUCCESS;
}

// Roots at and just after the last return, then roots in the rest of the
// last step not yet searched (troundoff: the fuzz of times).
Verdict msRootsBeforeStepping(MstepMem mem, N_Vector yout, double* tret, int itask,
                              double troundoff) {
  const int wasReturned = mem->rootReturned;
  int check = MsRcheck2(mem);
  if (check == MS_RCHECK_CLOSE) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MsRcheck2", "Root found at and very near t = %lg.",
                  mem->tLow);
    return returnWith(msFailWithAcceptedSolution(mem, yout, tret, MS_ILL_INPUT));
  }
  if (check == MS_RTFUNC_FAIL) {
    msReportError(mem, MS_RTFUNC_FAIL, "MSTEP", "MsRcheck2", MS_MSG_ROOT_FAIL, mem->tLow);
    return returnWith(msFailWithAcceptedSolution(mem, yout, tret, MS_RTFUNC_FAIL));
  }
  if (check == MS_RCHECK_ROOT) {
    *tret = mem->lastTret = mem->tLow;
    return returnWith(MS_ROOT_RETURN);
  }
  if (RAbs(mem->tcur - mem->lastTret) > troundoff) {
    check = MsRcheck3(mem);
    if (check == MS_RCHECK_ROOT) return returnWith(msReturnRoot(mem, tret));
    if (check == MS_RTFUNC_FAIL) {
      msReportError(mem, MS_RTFUNC_FAIL, "MSTEP", "MsRcheck3", MS_MSG_ROOT_FAIL, mem->tLow);
      return returnWith(msFailWithAcceptedSolution(mem, yout, tret, MS_RTFUNC_FAIL));
    }
    mem->rootReturned = 0;
    if (wasReturned == 1 && itask == MS_ONE_STEP) return returnWith(msReturnAtTcur(mem, yout, tret));
  }
  return GO_ON;
}

// A later call: roots near the last return, tout already reached, a step
// not yet returned, tstop reached or to be respected by the next step.
// Needs: at least one step taken.
Verdict msReturnBeforeStepping(MstepMem mem, double tout, N_Vector yout, double* tret,
                               int itask) {
  assert(mem->numSteps > 0);
  const double troundoff = msTimeRoundoff(mem);

  if (mem->numRootFns > 0) {
    const Verdict v = msRootsBeforeStepping(mem, yout, tret, itask, troundoff);
    if (v.returns) return v;
  }

  if (itask == MS_NORMAL && (mem->tcur - tout) * mem->h >= 0) {
    if (MstepGetDky(mem, tout, 0, yout) != MS_SUCCESS) {
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep",
                    "Trouble interpolating at tout = %lg. tout too far back in direction of "
                    "integration",
                    tout);
      return returnWith(msFailWithAcceptedSolution(mem, yout, tret, MS_ILL_INPUT));
    }
    *tret = mem->lastTret = tout;
    return returnWith(MS_SUCCESS);
  }

  // Not reached in this model: the co-simulation stepper asks for MS_NORMAL.
  if (itask == MS_ONE_STEP && RAbs(mem->tcur - mem->lastTret) > troundoff)
    return returnWith(msReturnAtTcur(mem, yout, tret));

  if (mem->tstopSet) {
    // Not reached in this model: nothing sets a stop time.
    if (RAbs(mem->tcur - mem->tstop) <= troundoff) {
      if (MstepGetDky(mem, mem->tstop, 0, yout) != MS_SUCCESS) {
        msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep",
                      "The value tstop = %lg is behind current t = %lg in the direction of "
                      "integration.",
                      mem->tstop, mem->tcur);
        return returnWith(msFailWithAcceptedSolution(mem, yout, tret, MS_ILL_INPUT));
      }
      *tret = mem->lastTret = mem->tstop;
      mem->tstopSet = 0;
      return returnWith(MS_TSTOP_RETURN);
    }
    msClipStepToTstop(mem);
  }
  return GO_ON;
}

// Before each step: fresh error weights, the step limit of one call, an
// accuracy the arithmetic can give. Returns MS_SUCCESS or the reported
// failure.
int msCheckBeforeStep(MstepMem mem, int stepsThisCall) {
  if (mem->numSteps > 0 && mem->ewtSet(mem->nordsieck[0], mem->ewt, mem->ewtSetData) != 0) {
    // Not reached in this model: a weight function, as nothing sets one.
    if (mem->tolKind == MS_TOL_WF)
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep",
                    "At t = %lg, the user-provide EwtSet function failed.", mem->tcur);
    else
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "Mstep",
                    "At t = %lg, a component of ewt has become <= 0.", mem->tcur);
    return MS_ILL_INPUT;
  }

  if (mem->mxstep > 0 && stepsThisCall >= mem->mxstep) {
    msReportError(mem, MS_TOO_MUCH_WORK, "MSTEP", "Mstep",
                  "At t = %lg, mxstep steps taken before reaching tout.", mem->tcur);
    return MS_TOO_MUCH_WORK;
  }

  mem->tolScaleFactor = mem->unitRoundoff * N_VWrmsNorm(mem->nordsieck[0], mem->ewt);
  if (mem->tolScaleFactor > 1.0) {
    msReportError(mem, MS_TOO_MUCH_ACC, "MSTEP", "Mstep",
                  "At t = %lg, too much accuracy requested.", mem->tcur);
    mem->tolScaleFactor *= 2.0;
    return MS_TOO_MUCH_ACC;
  }
  mem->tolScaleFactor = 1.0;
  return MS_SUCCESS;
}

// A step too small to move t is taken anyway, with a warning the first
// mxhnil times.
void msWarnIfStepVanishes(MstepMem mem) {
  if (mem->tcur + mem->h != mem->tcur) return;
  mem->numHnil++;
  if (mem->numHnil <= mem->mxhnil)
    msReportError(mem, MS_WARNING, "MSTEP", "Mstep",
                  "Internal t = %lg and h = %lg are such that t + h = t on the next step. "
                  "The solver will continue anyway.",
                  mem->tcur, mem->h);
  if (mem->numHnil == mem->mxhnil)
    msReportError(mem, MS_WARNING, "MSTEP", "Mstep",
                  "The above warning has been issued mxhnil times and will not be issued "
                  "again for this problem.");
}

// Roots inside the step just taken.
Verdict msRootsAfterStep(MstepMem mem, N_Vector yout, double* tret) {
  const int check = MsRcheck3(mem);
  if (check == MS_RCHECK_ROOT) return returnWith(msReturnRoot(mem, tret));
  if (check == MS_RTFUNC_FAIL) {
    msReportError(mem, MS_RTFUNC_FAIL, "MSTEP", "MsRcheck3", MS_MSG_ROOT_FAIL, mem->tLow);
    return returnWith(msEndLoop(mem, yout, tret, MS_RTFUNC_FAIL));
  }
  if (mem->numSteps == 1 && mem->maxGNullWarnings > 0 && msSomeRootInactive(mem))
    msReportError(mem, MS_WARNING, "MSTEPS", "Mstep",
                  "At the end of the first step, there are still some root functions "
                  "identically 0. This warning will not be issued again.");
  return GO_ON;
}

// An event the caller's step function reports after the step, returned as
// a root. Not reached in this model: the co-simulation's step function
// never reports one.
int msReturnStepEvent(MstepMem mem, N_Vector yout, double* tret) {
  if (mem->taskCopy == MS_NORMAL && (mem->toutCopy - mem->tcur) * mem->h < 0) {
    // The step went past tout: the event is reported at tout.
    mem->tHigh = mem->toutCopy;
    MstepGetDky(mem, mem->toutCopy, 0, yout);
  } else {
    mem->tHigh = mem->tcur;
    N_VScale(1.0, mem->nordsieck[0], yout);
  }
  *tret = mem->tHigh;
  mem->rootReturned = 1;
  mem->lastTret = mem->tHigh;
  return MS_ROOT_RETURN;
}

// After a step: a root, a step event, tout reached, tstop reached or to be
// respected by the next step, the one step of MS_ONE_STEP.
Verdict msReturnAfterStep(MstepMem mem, double tout, N_Vector yout, double* tret, int itask) {
  if (mem->numRootFns > 0) {
    const Verdict v = msRootsAfterStep(mem, yout, tret);
    if (v.returns) return v;
  }

  if (mem->stepRootFn != nullptr && mem->stepRootFn(mem->userData) != 0)
    return returnWith(msReturnStepEvent(mem, yout, tret));

  if (itask == MS_NORMAL && (mem->tcur - tout) * mem->h >= 0) {
    *tret = mem->lastTret = tout;
    MstepGetDky(mem, tout, 0, yout);
    mem->hNext = mem->hNew;
    mem->qNext = mem->qNew;
    return returnWith(MS_SUCCESS);
  }

  if (mem->tstopSet) {
    // Not reached in this model: nothing sets a stop time.
    if (RAbs(mem->tcur - mem->tstop) <= msTimeRoundoff(mem)) {
      MstepGetDky(mem, mem->tstop, 0, yout);
      *tret = mem->lastTret = mem->tstop;
      mem->tstopSet = 0;
      return returnWith(MS_TSTOP_RETURN);
    }
    msClipStepToTstop(mem);
  }

  if (itask == MS_ONE_STEP) {
    // Not reached in this model: the co-simulation stepper asks for MS_NORMAL.
    const int flag = msReturnAtTcur(mem, yout, tret);
    mem->hNext = mem->hNew;
    mem->qNext = mem->qNew;
    return returnWith(flag);
  }
  return GO_ON;
}

// The loop of internal steps until a return point or a failure.
int msStepLoop(MstepMem mem, double tout, N_Vector yout, double* tret, int itask) {
  int stepsThisCall = 0;
  for (;;) {
    mem->hNext = mem->h;
    mem->qNext = mem->q;

    const int flag = msCheckBeforeStep(mem, stepsThisCall);
    if (flag != MS_SUCCESS) return msEndLoop(mem, yout, tret, flag);
    msWarnIfStepVanishes(mem);

    const MsStepResult kflag = msTakeStep(mem);
    if (kflag != STEP_OK)
      return msEndLoop(mem, yout, tret, msReportStepFailure(mem, msStepFlag(kflag)));
    stepsThisCall++;
    assert(mem->numSteps > 0);

    const Verdict v = msReturnAfterStep(mem, tout, yout, tret, itask);
    if (v.returns) return v.flag;
  }
}

}  // namespace

int MstepStepRootInit(void* mstep_mem, MsStepRootFn fn) {
  if (mstep_mem == nullptr) return msRefuseNull("MstepStepRootInit");
  static_cast<MstepMem>(mstep_mem)->stepRootFn = fn;
  return MS_SUCCESS;
}

int Mstep(void* mstep_mem, double tout, N_Vector yout, double* tret, int itask) {
  MstepMem mem = nullptr;
  int flag = msInitialisedMem(mstep_mem, "Mstep", &mem);
  if (flag != MS_SUCCESS) return flag;
  flag = msCheckArguments(mem, tout, yout, tret, itask);
  if (flag != MS_SUCCESS) return flag;
  if (itask == MS_NORMAL) mem->toutCopy = tout;
  mem->taskCopy = itask;

  if (mem->numSteps == 0) {
    flag = msFirstCallSetup(mem, tout);
    if (flag != MS_SUCCESS) return msFailWithAcceptedSolution(mem, yout, tret, flag);
  } else {
    const Verdict v = msReturnBeforeStepping(mem, tout, yout, tret, itask);
    if (v.returns) return v.flag;
  }
  return msStepLoop(mem, tout, yout, tret, itask);
}

int msInitialStepEstimate(MstepMem mem, double tout) {
  assert(mem->numSteps == 0);
  const double r = mem->unitRoundoff;
  const double tdiff = tout - mem->tcur;
  if (tdiff == 0.0) return MS_TOO_CLOSE;

  const double sign = (tdiff > 0.0) ? 1.0 : -1.0;
  const double tdist = RAbs(tdiff);
  const double tround = r * ((RAbs(tout) < RAbs(mem->tcur)) ? RAbs(mem->tcur) : RAbs(tout));
  if (tdist < 2.0 * tround) return MS_TOO_CLOSE;

  const double hlb = MS_HLB_FACTOR * tround;
  const double hub = msInitialStepUpperBound(mem, tdist);
  double hg = RSqrt(hlb * hub);
  if (hub < hlb) {
    mem->h = sign * hg;
    return MS_SUCCESS;
  }

  double hs = hg;
  double hnew = hg;
  double yddnrm = 0.0;
  bool accepted = false;
  for (int pass = 1; pass <= MS_H0_PASSES; ++pass) {
    bool evaluated = false;
    for (int attempt = 1; attempt <= MS_H0_TRIES; ++attempt) {
      const MsStepResult res = msSecondDerivNorm(mem, sign * hg, &yddnrm);
      if (res == STEP_RHSFUNC_FAIL) return MS_RHSFUNC_FAIL;
      if (res == STEP_OK) {
        evaluated = true;
        break;
      }
      hg *= MS_H0_SHRINK;
    }
    if (!evaluated) {
      if (pass <= 2) return MS_REPTD_RHSFUNC_ERR;
      hnew = hs;
      break;
    }
    hs = hg;
    if (accepted || pass == MS_H0_PASSES) {
      hnew = hg;
      break;
    }
    hnew = (yddnrm * hub * hub > MS_YDD_THRESHOLD) ? RSqrt(MS_YDD_THRESHOLD / yddnrm)
                                                   : RSqrt(hg * hub);
    const double hrat = msDivide(hnew, hg);
    if (hrat > 0.5 && hrat < 2.0) accepted = true;
    if (pass > 1 && hrat > 2.0) {
      hnew = hg;
      accepted = true;
    }
    hg = hnew;
  }

  double h0 = MS_H0_BIAS * hnew;
  if (h0 < hlb) h0 = hlb;
  if (h0 > hub) h0 = hub;
  mem->h = sign * h0;
  return MS_SUCCESS;
}

double msInitialStepUpperBound(MstepMem mem, double tdist) {
  N_Vector* z = mem->nordsieck;
  N_VAbs(z[0], mem->correction);
  mem->ewtSet(z[0], mem->tempVec, mem->ewtSetData);
  // A weight is zero where its tolerance overflowed, and an infinite one
  // inverts to zero.
  N_VInv(mem->tempVec, mem->tempVec);
  N_VLinearSum(MS_HUB_FACTOR, mem->correction, 1.0, mem->tempVec, mem->tempVec);
  N_VAbs(z[1], mem->correction);
  N_VDiv(mem->correction, mem->tempVec, mem->tempVec);
  const double hubInv = N_VMaxNorm(mem->tempVec);
  double hub = MS_HUB_FACTOR * tdist;
  if (hub * hubInv > 1.0) hub = 1.0 / hubInv;
  return hub;
}

MsStepResult msSecondDerivNorm(MstepMem mem, double hg, double* yddnrm) {
  N_Vector* z = mem->nordsieck;
  N_VLinearSum(hg, z[1], 1.0, z[0], mem->yWork);
  const int res = mem->f(mem->tcur + hg, mem->yWork, mem->tempVec, mem->userData);
  mem->numRhsEvals++;
  if (res < 0) return STEP_RHSFUNC_FAIL;
  if (res > 0) return NLS_RHS_RECOVERABLE;
  N_VLinearSum(1.0, mem->tempVec, -1.0, z[1], mem->tempVec);
  // A trial step of zero follows an infinite norm.
  N_VScale(msDivide(1.0, hg), mem->tempVec, mem->tempVec);
  *yddnrm = N_VWrmsNorm(mem->tempVec, mem->ewt);
  return STEP_OK;
}

int MstepGetDky(void* mstep_mem, double t, int k, N_Vector dky) {
  MstepMem mem = nullptr;
  const int flag = msInitialisedMem(mstep_mem, "MstepGetDky", &mem);
  if (flag != MS_SUCCESS) return flag;
  if (dky == nullptr) {
    msReportError(mem, MS_BAD_DKY, "MSTEP", "MstepGetDky", "dky = NULL illegal.");
    return MS_BAD_DKY;
  }
  if (!msVectorFits(mem, dky)) {
    msReportError(mem, MS_BAD_DKY, "MSTEP", "MstepGetDky", "dky has wrong length (illegal).");
    return MS_BAD_DKY;
  }
  // Before the first step the history holds only y at tcur: no derivative.
  if (k < 0 || k > mem->q || (mem->numSteps == 0 && k > 0)) {
    msReportError(mem, MS_BAD_K, "MSTEP", "MstepGetDky", "Illegal value for k.");
    return MS_BAD_K;
  }

  double tfuzz = MS_TIME_FUZZ_FACTOR * mem->unitRoundoff * (RAbs(mem->tcur) + RAbs(mem->hu));
  if (mem->hu < 0) tfuzz = -tfuzz;
  const double tp = mem->tcur - mem->hu - tfuzz;
  const double tn1 = mem->tcur + tfuzz;
  // Written so that a NaN time is refused as well.
  if (!((t - tp) * (t - tn1) <= 0)) {
    msReportError(mem, MS_BAD_T, "MSTEP", "MstepGetDky",
                  "Illegal value for t.t = %lg is not between tcur - hu = %lg and tcur = %lg.", t,
                  mem->tcur - mem->hu, mem->tcur);
    return MS_BAD_T;
  }
  N_Vector* z = mem->nordsieck;
  if (mem->numSteps == 0) {
    N_VScale(1.0, z[0], dky);
    return MS_SUCCESS;
  }

  // h is zero after steps of zero.
  const double s = msDivide(t - mem->tcur, mem->h);
  if (k == 0) {
    // The interpolation of every output time and root search: Horner's
    // form element by element, each term as s * dky + z[j] as the vector
    // form computes it (also for s = 1 and s = -1).
    const int n = N_VLength_Serial(z[0]);
    double* out = N_VData_Serial(dky);
    const int q = mem->q;
    int i = 0;
    // Two elements side by side: each one's chain of q multiply-adds is
    // one long dependency.
    for (; i + 2 <= n; i += 2) {
      const double* top = N_VData_Serial(z[q]);
      double a = top[i], b = top[i + 1];
      for (int j = q - 1; j >= 0; --j) {
        const double* zj = N_VData_Serial(z[j]);
        a = s * a + zj[i];
        b = s * b + zj[i + 1];
      }
      out[i] = a;
      out[i + 1] = b;
    }
    for (; i < n; ++i) {
      double a = N_VData_Serial(z[q])[i];
      for (int j = q - 1; j >= 0; --j) a = s * a + N_VData_Serial(z[j])[i];
      out[i] = a;
    }
    return MS_SUCCESS;
  }
  for (int j = mem->q; j >= k; --j) {
    double c = 1.0;
    for (int i = j; i >= j - k + 1; --i) c *= i;
    if (j == mem->q)
      N_VScale(c, z[mem->q], dky);
    else
      N_VLinearSum(c, z[j], s, dky, dky);
  }
  if (k > 0) N_VScale(RPowerI(mem->h, -k), dky, dky);
  return MS_SUCCESS;
}

}  // namespace pelvarin
