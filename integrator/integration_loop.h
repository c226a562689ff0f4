// Inside Mstep, the integration toward an output time: the first-step
// estimate. Mstep, MstepGetDky and MstepStepRootInit are in integrator/mstep.h.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

int msInitialStepEstimate(MstepMem mem, double tout);
double msInitialStepUpperBound(MstepMem mem, double tdist);
int msSecondDerivNorm(MstepMem mem, double hg, double* yddnrm);

}  // namespace pelvarin
