// One internal step: attempts until one passes the corrector and the error
// test, then the bookkeeping of the accepted step.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

int msTakeStep(MstepMem mem);
void msAcceptStep(MstepMem mem);

}  // namespace pelvarin
