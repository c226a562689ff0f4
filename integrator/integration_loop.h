// Inside Mstep, the integration toward an output time: the first-step
// estimate. Mstep, MstepGetDky and MstepStepRootInit are in integrator/mstep.h.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// The first step size toward tout into h. Needs: nordsieck[1] = y'(tcur),
// error weights set. Returns MS_SUCCESS, MS_TOO_CLOSE, MS_RHSFUNC_FAIL or
// MS_REPTD_RHSFUNC_ERR (unreported).
int msInitialStepEstimate(MstepMem mem, double tout);
// The largest first step the solution's size and derivative allow over tdist.
double msInitialStepUpperBound(MstepMem mem, double tdist);
// The weighted norm of y'' from a trial step hg into *yddnrm (STEP_OK), or
// the failure of f: STEP_RHSFUNC_FAIL, NLS_RHS_RECOVERABLE (recoverable).
MsStepResult msSecondDerivNorm(MstepMem mem, double hg, double* yddnrm);

}  // namespace pelvarin
