#include "integrator/root_finding.h"

#include <cassert>
#include <cmath>

#include "integrator/allocation.h"
#include "integrator/integration_loop.h"

namespace pelvarin {

namespace {

constexpr double MS_LOOKAHEAD_MIN = 0.1;  // fraction of the first step
constexpr double MS_FRACSUB_FAR = 0.1;
constexpr double MS_FRACSUB_MAX = 0.5;

// Switches root finding off, leaving no array behind.
void msRootFindingOff(MstepMem mem) {
  if (mem->numRootFns > 0) {
    mem->realWorkspace -= 3 * mem->numRootFns;
    mem->intWorkspace -= 3 * mem->numRootFns;
  }
  msFreeRootArrays(mem);
  mem->numRootFns = 0;
  mem->g = nullptr;
}

// A NaN has no sign: searching on with it would lose its root.
inline int msCallRootFns(MstepMem mem, double t, N_Vector y, double* gout) {
  const int res = mem->g(t, y, gout, mem->userData);
  mem->numGEvals++;
  if (res != 0) return res;
  for (int i = 0; i < mem->numRootFns; ++i)
    if (std::isnan(gout[i])) return MS_RTFUNC_FAIL;
  return 0;
}

void msCopyValues(int n, const double* from, double* to) {
  for (int i = 0; i < n; ++i) to[i] = from[i];
}

// The scan of one bracket [tLow, t] with values gLow and gNew.
struct BracketScan {
  bool zero;        // some function is exactly 0 at t
  bool signChange;  // some function changes sign inside
  int lead;         // the function with the largest weight, -1 when none changes sign
};

inline BracketScan msScanBracket(MstepMem mem, const double* gNew) {
  BracketScan scan{false, false, -1};
  double maxWeight = 0.0;
  bool leadFinite = false;
  for (int i = 0; i < mem->numRootFns; ++i) {
    if (!mem->gActive[i]) continue;
    if (mem->rootDirection[i] * mem->gLow[i] > 0) continue;
    if (gNew[i] == 0.0) {
      scan.zero = true;
    } else if (mem->gLow[i] * gNew[i] < 0) {
      scan.signChange = true;
      // The fraction of the bracket beyond the secant root; only a finite
      // weight can lead the search.
      const double weight = RAbs(gNew[i] / (gNew[i] - mem->gLow[i]));
      const bool finite = std::isfinite(weight);
      if (scan.lead < 0 || (finite && (!leadFinite || weight > maxWeight))) {
        scan.lead = i;
        leadFinite = finite;
        if (finite) maxWeight = weight;
      }
    }
  }
  return scan;
}

void msMarkRoots(MstepMem mem, bool withSignChanges) {
  for (int i = 0; i < mem->numRootFns; ++i) {
    mem->rootsFound[i] = 0;
    if (!mem->gActive[i]) continue;
    const bool fits = mem->rootDirection[i] * mem->gLow[i] <= 0;
    const bool zero = mem->gHigh[i] == 0.0;
    const bool change = withSignChanges && mem->gLow[i] * mem->gHigh[i] < 0;
    if ((zero && (fits || !withSignChanges)) || (change && fits))
      mem->rootsFound[i] = (mem->gLow[i] > 0) ? -1 : 1;
  }
}

}  // namespace

int MstepRootInit(void* mstep_mem, int nrtfn, MsRootFn g) {
  if (mstep_mem == nullptr) return msRefuseNull("MstepRootInit");
  MstepMem mem = static_cast<MstepMem>(mstep_mem);
  const int n = (nrtfn < 0) ? 0 : nrtfn;

  if (n != mem->numRootFns && mem->numRootFns > 0) msRootFindingOff(mem);

  if (n == 0) {
    mem->numRootFns = 0;
    mem->g = nullptr;
    return MS_SUCCESS;
  }

  if (n == mem->numRootFns) {
    if (g == mem->g) return MS_SUCCESS;
    if (g == nullptr) {
      msRootFindingOff(mem);
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepRootInit", "g = NULL illegal.");
      return MS_ILL_INPUT;
    }
    mem->g = g;
    return MS_SUCCESS;
  }

  // A new count. A failure leaves root finding off.
  if (g == nullptr) {
    msRootFindingOff(mem);
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepRootInit", "g = NULL illegal.");
    return MS_ILL_INPUT;
  }
  const size_t count = static_cast<size_t>(n);
  const char* failedModule = nullptr;
  mem->gLow = static_cast<double*>(msAllocate(count * sizeof(double)));
  if (mem->gLow) mem->gHigh = static_cast<double*>(msAllocate(count * sizeof(double)));
  if (mem->gHigh) mem->gRoot = static_cast<double*>(msAllocate(count * sizeof(double)));
  if (mem->gRoot) mem->rootsFound = static_cast<int*>(msAllocate(count * sizeof(int)));
  if (mem->rootsFound) mem->rootDirection = static_cast<int*>(msAllocate(count * sizeof(int)));
  if (mem->rootDirection) {
    mem->gActive = static_cast<int*>(msAllocate(count * sizeof(int)));
    if (!mem->gActive) failedModule = "MSTEPS";
  } else {
    failedModule = "MSTEP";
  }
  if (failedModule != nullptr) {
    msRootFindingOff(mem);
    msReportError(mem, MS_MEM_FAIL, failedModule, "MstepRootInit", "A memory request failed.");
    return MS_MEM_FAIL;
  }

  mem->numRootFns = n;
  mem->g = g;
  // Defined values also for a registration in the middle of a problem.
  for (int i = 0; i < n; ++i) {
    mem->gLow[i] = mem->gHigh[i] = mem->gRoot[i] = 0.0;
    mem->rootsFound[i] = 0;
    mem->rootDirection[i] = 0;
    mem->gActive[i] = 1;
  }
  mem->realWorkspace += 3 * n;
  mem->intWorkspace += 3 * n;
  return MS_SUCCESS;
}

int MsRcheck1(MstepMem mem) {
  const int n = mem->numRootFns;
  assert(n > 0);
  // Every function is looked at afresh at the start of a problem, also one
  // that was identically zero at an earlier start.
  for (int i = 0; i < n; ++i) {
    mem->rootsFound[i] = 0;
    mem->gActive[i] = 1;
  }
  mem->tLow = mem->tcur;
  mem->rootTol = msTimeRoundoff(mem);

  mem->numGEvals = 0;
  if (msCallRootFns(mem, mem->tLow, mem->nordsieck[0], mem->gLow) != 0) return MS_RTFUNC_FAIL;

  bool someZero = false;
  for (int i = 0; i < n; ++i) {
    if (mem->gLow[i] == 0.0) {
      someZero = true;
      mem->gActive[i] = 0;
    }
  }
  if (!someZero) return MS_SUCCESS;

  // Look a little ahead, with a first-order step (h may be zero).
  double hratio = msDivide(mem->rootTol, RAbs(mem->h));
  if (hratio < MS_LOOKAHEAD_MIN) hratio = MS_LOOKAHEAD_MIN;
  mem->tLow += hratio * mem->h;
  N_VLinearSum(1.0, mem->nordsieck[0], hratio, mem->nordsieck[1], mem->yWork);
  if (msCallRootFns(mem, mem->tLow, mem->yWork, mem->gLow) != 0) return MS_RTFUNC_FAIL;
  for (int i = 0; i < n; ++i)
    if (!mem->gActive[i] && mem->gLow[i] != 0.0) mem->gActive[i] = 1;
  return MS_SUCCESS;
}

int MsRcheck2(MstepMem mem) {
  const int n = mem->numRootFns;
  assert(n > 0);
  if (!mem->rootReturned) return MS_RCHECK_NONE;

  MstepGetDky(mem, mem->tLow, 0, mem->yWork);
  if (msCallRootFns(mem, mem->tLow, mem->yWork, mem->gLow) != 0) return MS_RTFUNC_FAIL;

  bool someZero = false;
  for (int i = 0; i < n; ++i) mem->rootsFound[i] = 0;
  for (int i = 0; i < n; ++i) {
    if (mem->gActive[i] && mem->gLow[i] == 0.0) {
      someZero = true;
      mem->rootsFound[i] = 1;
    }
  }
  if (!someZero) return MS_RCHECK_NONE;

  mem->rootTol = msTimeRoundoff(mem);
  const double smallh = (mem->h > 0) ? mem->rootTol : -mem->rootTol;
  mem->tLow += smallh;
  // After steps of zero, h is zero.
  if ((mem->tLow - mem->tcur) * mem->h >= 0)
    N_VLinearSum(1.0, mem->yWork, msDivide(smallh, mem->h), mem->nordsieck[1], mem->yWork);
  else
    MstepGetDky(mem, mem->tLow, 0, mem->yWork);
  if (msCallRootFns(mem, mem->tLow, mem->yWork, mem->gLow) != 0) return MS_RTFUNC_FAIL;

  bool newZero = false;
  for (int i = 0; i < n; ++i) {
    if (!mem->gActive[i] || mem->gLow[i] != 0.0) continue;
    if (mem->rootsFound[i] == 1) return MS_RCHECK_CLOSE;
    mem->rootsFound[i] = 1;
    newZero = true;
  }
  return newZero ? MS_RCHECK_ROOT : MS_RCHECK_NONE;
}

int MsRcheck3(MstepMem mem) {
  const int n = mem->numRootFns;
  assert(n > 0);
  // Roots beyond tout are left to a later call.
  if (mem->taskCopy == MS_ONE_STEP || (mem->toutCopy - mem->tcur) * mem->h >= 0) {
    mem->tHigh = mem->tcur;
    N_VScale(1.0, mem->nordsieck[0], mem->yWork);
  } else {
    mem->tHigh = mem->toutCopy;
    MstepGetDky(mem, mem->tHigh, 0, mem->yWork);
  }
  if (msCallRootFns(mem, mem->tHigh, mem->yWork, mem->gHigh) != 0) return MS_RTFUNC_FAIL;

  mem->rootTol = msTimeRoundoff(mem);
  const int found = msLocateRoot(mem);
  if (found == MS_RTFUNC_FAIL) return MS_RTFUNC_FAIL;

  for (int i = 0; i < n; ++i)
    if (!mem->gActive[i] && mem->gRoot[i] != 0.0) mem->gActive[i] = 1;
  mem->tLow = mem->tRoot;
  msCopyValues(n, mem->gRoot, mem->gLow);

  if (found == 0) return MS_RCHECK_NONE;
  MstepGetDky(mem, mem->tRoot, 0, mem->yWork);
  return MS_RCHECK_ROOT;
}

int msLocateRoot(MstepMem mem) {
  const int n = mem->numRootFns;
  assert(n > 0);
  BracketScan scan = msScanBracket(mem, mem->gHigh);

  if (!scan.signChange) {
    mem->tRoot = mem->tHigh;
    msCopyValues(n, mem->gHigh, mem->gRoot);
    if (!scan.zero) return 0;
    msMarkRoots(mem, false);
    return 1;
  }

  int lead = scan.lead;
  int side = 0;
  int sidePrev = -1;
  double alpha = 1.0;
  for (;;) {
    if (sidePrev == side)
      alpha = (side == 2) ? 2.0 * alpha : 0.5 * alpha;
    else
      alpha = 1.0;

    const double span = mem->tHigh - mem->tLow;
    double tMid = mem->tHigh - span * mem->gHigh[lead] / (mem->gHigh[lead] - alpha * mem->gLow[lead]);
    // Keep the trial time inside the bracket, at least half a tolerance
    // from either end. The tolerance is zero at times and steps too small
    // for it, and so is the bracket after a step of zero.
    const double fracint = msDivide(RAbs(span), mem->rootTol);
    double fracsub = (fracint > 5.0) ? MS_FRACSUB_FAR : msDivide(0.5, fracint);
    if (fracsub > MS_FRACSUB_MAX) fracsub = MS_FRACSUB_MAX;
    if (RAbs(tMid - mem->tLow) < 0.5 * mem->rootTol) tMid = mem->tLow + fracsub * span;
    if (RAbs(mem->tHigh - tMid) < 0.5 * mem->rootTol) tMid = mem->tHigh - fracsub * span;
    if (!std::isfinite(tMid)) return MS_RTFUNC_FAIL;

    MstepGetDky(mem, tMid, 0, mem->yWork);
    if (msCallRootFns(mem, tMid, mem->yWork, mem->gRoot) != 0) return MS_RTFUNC_FAIL;

    sidePrev = side;
    scan = msScanBracket(mem, mem->gRoot);
    if (scan.signChange) {
      lead = scan.lead;
      mem->tHigh = tMid;
      msCopyValues(n, mem->gRoot, mem->gHigh);
      side = 1;
      if (RAbs(mem->tHigh - mem->tLow) <= mem->rootTol) break;
      continue;
    }
    if (scan.zero) {
      mem->tHigh = tMid;
      msCopyValues(n, mem->gRoot, mem->gHigh);
      break;
    }
    mem->tLow = tMid;
    msCopyValues(n, mem->gRoot, mem->gLow);
    side = 2;
    if (RAbs(mem->tHigh - mem->tLow) <= mem->rootTol) break;
  }

  mem->tRoot = mem->tHigh;
  msCopyValues(n, mem->gHigh, mem->gRoot);
  msMarkRoots(mem, true);
  return 1;
}

}  // namespace pelvarin
