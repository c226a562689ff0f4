// Root finding on the caller's root functions g_i(t, y) during integration
// (MstepRootInit is in integrator/mstep.h).
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// Results of the checks besides MS_RTFUNC_FAIL.
constexpr int MS_RCHECK_NONE = 0;
constexpr int MS_RCHECK_ROOT = 1;
constexpr int MS_RCHECK_CLOSE = 3;  // zero again right after the root just returned

int MsRcheck1(MstepMem mem);
int MsRcheck2(MstepMem mem);
int MsRcheck3(MstepMem mem);
int msLocateRoot(MstepMem mem);

}  // namespace pelvarin
