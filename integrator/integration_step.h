// One internal step: attempts until one passes the corrector and the error
// test, then the bookkeeping of the accepted step.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// One step from tcur with h and q as planned. Needs: the history, error
// weights and h of an integration under way (or set up by the first call).
// Returns STEP_OK (step accepted, tcur advanced, next h and q planned) or a
// failure that ends the step, with the solution it started from restored.
MsStepResult msTakeStep(MstepMem mem);
// The public flag of a step's failure: the one place where a step's result
// leaves it. Needs: result one of the failures that end a step.
int msStepFlag(MsStepResult result);
// The bookkeeping of an accepted attempt: counters, past step sizes, the
// history corrected.
void msAcceptStep(MstepMem mem);

}  // namespace pelvarin
