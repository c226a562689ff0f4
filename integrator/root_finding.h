// Root finding on the caller's root functions g_i(t, y) during integration
// (MstepRootInit is in integrator/mstep.h).
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// Results of the checks besides MS_RTFUNC_FAIL.
constexpr int MS_RCHECK_NONE = 0;
constexpr int MS_RCHECK_ROOT = 1;
constexpr int MS_RCHECK_CLOSE = 3;  // zero again right after the root just returned

// Each check needs root functions registered (numRootFns > 0) and returns
// MS_RTFUNC_FAIL when g fails or gives NaN.
// At the start of a problem: g at t0; functions that are zero there stay
// inactive until they move away from zero a little later. MS_SUCCESS.
int MsRcheck1(MstepMem mem);
// After a root return: MS_RCHECK_ROOT for a new zero just after it,
// MS_RCHECK_CLOSE for the same zero again, else MS_RCHECK_NONE.
int MsRcheck2(MstepMem mem);
// Over the last step (up to tout): MS_RCHECK_ROOT with the first root in
// tRoot and yWork, else MS_RCHECK_NONE; tLow moves to the end searched.
int MsRcheck3(MstepMem mem);
// The first root in [tLow, tHigh] into tRoot, gRoot and rootsFound: 1, 0
// when there is none, or MS_RTFUNC_FAIL.
int msLocateRoot(MstepMem mem);

}  // namespace pelvarin
