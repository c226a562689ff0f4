// Detection of BDF steps at the edge of stability (orders 3 and up), which
// lowers the order for the next step.
#pragma once

#include "integrator/integrator_memory.h"

void msStabilityCheck(MstepMem mem);
int msStabilityLimit(MstepMem mem);
