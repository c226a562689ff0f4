// The local error test of an attempt, and the choice of step size and
// order for the next step.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// Result of msLocalErrorTest: the attempt failed, retry with the reduced step.
constexpr int STEP_TRY_AGAIN = 5;

int msLocalErrorTest(MstepMem mem, int* nflag, double saved_t, int* nef, double* dsm);
void msPlanNextStep(MstepMem mem, double dsm);
double msRatioLowerOrder(MstepMem mem);
double msRatioHigherOrder(MstepMem mem);
void msPickOrder(MstepMem mem);
void msLimitStepRatio(MstepMem mem);

}  // namespace pelvarin
