// The local error test of an attempt, and the choice of step size and
// order for the next step.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// The error test of an attempt whose corrector converged; *dsm its
// weighted error. Returns STEP_OK when it passed; else the history is
// retracted to saved_t, *nflag is the reason of the next corrector call,
// and the result is STEP_TRY_AGAIN (reduced step or order) or a failure
// that ends the step.
MsStepResult msLocalErrorTest(MstepMem mem, int* nflag, double saved_t, int* nef, double* dsm);
void msPlanNextStep(MstepMem mem, double dsm);
double msRatioLowerOrder(MstepMem mem);
double msRatioHigherOrder(MstepMem mem);
void msPickOrder(MstepMem mem);
void msLimitStepRatio(MstepMem mem);

}  // namespace pelvarin
