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
// After an accepted step with error dsm: qNew, hNew and stepRatio for the
// next one (kept after a failed attempt, reconsidered when orderWait is 0).
void msPlanNextStep(MstepMem mem, double dsm);
// The step ratios proposed for order q - 1 and q + 1 (0 when not possible),
// also kept in etaOrderDown and etaOrderUp.
double msRatioLowerOrder(MstepMem mem);
double msRatioHigherOrder(MstepMem mem);
// qNew and stepRatio from the largest of the three proposals.
void msPickOrder(MstepMem mem);
// stepRatio within the growth and step limits (1 below the growth
// threshold); hNew follows.
void msLimitStepRatio(MstepMem mem);

}  // namespace pelvarin
