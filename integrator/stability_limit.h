// Detection of BDF steps at the edge of stability (orders 3 and up), which
// lowers the order for the next step. Not reached in this model: nothing
// turns the detection on.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// After an accepted BDF step: records its norms (orders 3 and up) and, at a
// stability limit after q + 5 steps at order q, plans order q - 1 instead.
void msStabilityCheck(MstepMem mem);
// Needs: q >= 3, five recorded rows. Returns 1 .. 3 when the norms decay
// by a common ratio within the stability region, 4 .. 6 when that ratio
// is beyond the limit, 0 or a negative code when none can be found.
int msStabilityLimit(MstepMem mem);

}  // namespace pelvarin
