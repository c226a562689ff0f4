// Detection of BDF steps at the edge of stability (orders 3 and up), which
// lowers the order for the next step.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

void msStabilityCheck(MstepMem mem);
int msStabilityLimit(MstepMem mem);

}  // namespace pelvarin
