// The corrector of one attempt: Newton iteration with the attached linear
// solver or fixed-point iteration, and what follows a corrector failure.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// Corrector states handed to msCorrect.
constexpr int NLS_FIRST_CALL = 6;
constexpr int NLS_AFTER_CONV_FAIL = 7;
constexpr int NLS_AFTER_ERR_FAIL = 8;
// Corrector results besides MS_SUCCESS and the unrecoverable MS_* flags.
constexpr int NLS_CONV_FAIL = 4;
constexpr int NLS_RETRY_SETUP = 5;  // msNewtonLoop only: renew the stale matrix and retry
constexpr int NLS_RHS_RECOVERABLE = 9;
// Results of msCorrectorFailure besides the MS_* failure flags.
constexpr int STEP_DO_ERROR_TEST = 2;
constexpr int STEP_PREDICT_AGAIN = 3;

// Fresh setups one Newton call may ask for after stale-matrix failures; the
// dense solver never needs more than two.
constexpr int MS_MAX_SETUP_RETRIES = 2;

int msCorrect(MstepMem mem, int nflag);
int msNewtonCorrector(MstepMem mem, int nflag);
int msNewtonLoop(MstepMem mem);
int msFixedPointCorrector(MstepMem mem);
int msCorrectorFailure(MstepMem mem, int* nflag, double saved_t, int* ncf);

}  // namespace pelvarin
