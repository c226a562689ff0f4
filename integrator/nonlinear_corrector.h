// The corrector of one attempt: Newton iteration with the attached linear
// solver or fixed-point iteration, and what follows a corrector failure.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// Fresh setups one Newton call may ask for after stale-matrix failures; the
// dense solver never needs more than two.
constexpr int MS_MAX_SETUP_RETRIES = 2;

// The corrector of an attempt whose prediction is in the history; nflag is
// the reason of the call (MsCorrectorCall). Returns STEP_OK (correction and
// corrNorm set), NLS_CONV_FAIL, NLS_RHS_RECOVERABLE or STEP_RHSFUNC_FAIL,
// STEP_LSETUP_FAIL, STEP_LSOLVE_FAIL.
MsStepResult msCorrect(MstepMem mem, int nflag);
MsStepResult msNewtonCorrector(MstepMem mem, int nflag);
// The Newton iterations on one matrix; may also return NLS_RETRY_SETUP.
MsStepResult msNewtonLoop(MstepMem mem);
MsStepResult msFixedPointCorrector(MstepMem mem);
// After msCorrect, *nflag its result: STEP_DO_ERROR_TEST when it passed;
// else the history is retracted to saved_t and the result is a failure that
// ends the step or STEP_PREDICT_AGAIN (reduced step, *nflag the reason of
// the next call).
MsStepResult msCorrectorFailure(MstepMem mem, int* nflag, double saved_t, int* ncf);

}  // namespace pelvarin
