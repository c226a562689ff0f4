// The integrator as its users see it: vectors, dense matrices, the
// allocator's release for returned texts, the method and task constants, the
// return flags, the callback types and the public operations. The memory is
// opaque: every operation takes the handle that MstepCreate returns.
#pragma once

#include "integrator/allocation.h"
#include "integrator/dense_matrix.h"
#include "integrator/nvector_serial.h"

namespace pelvarin {

// The unit roundoff of double, 2^-52.
constexpr double MS_UNIT_ROUNDOFF = 0x1p-52;

// Method (lmm) and corrector iteration (iter).
constexpr int MS_ADAMS = 1;
constexpr int MS_BDF = 2;
constexpr int MS_FUNCTIONAL = 1;
constexpr int MS_NEWTON = 2;

// Tasks of Mstep.
constexpr int MS_NORMAL = 1;
constexpr int MS_ONE_STEP = 2;

// Return flags of the Mstep operations.
constexpr int MS_SUCCESS = 0;
constexpr int MS_TSTOP_RETURN = 1;
constexpr int MS_ROOT_RETURN = 2;
constexpr int MS_TOO_MUCH_WORK = -1;
constexpr int MS_TOO_MUCH_ACC = -2;
constexpr int MS_ERR_FAILURE = -3;
constexpr int MS_CONV_FAILURE = -4;
constexpr int MS_LINIT_FAIL = -5;
constexpr int MS_LSETUP_FAIL = -6;
constexpr int MS_LSOLVE_FAIL = -7;
constexpr int MS_RHSFUNC_FAIL = -8;
constexpr int MS_FIRST_RHSFUNC_ERR = -9;
constexpr int MS_REPTD_RHSFUNC_ERR = -10;
constexpr int MS_UNREC_RHSFUNC_ERR = -11;
constexpr int MS_RTFUNC_FAIL = -12;
constexpr int MS_MEM_FAIL = -20;
constexpr int MS_MEM_NULL = -21;
constexpr int MS_ILL_INPUT = -22;
constexpr int MS_NO_MALLOC = -23;
constexpr int MS_BAD_K = -24;
constexpr int MS_BAD_T = -25;
constexpr int MS_BAD_DKY = -26;
constexpr int MS_TOO_CLOSE = -27;
// Code handed to the error handler with a warning; never returned.
constexpr int MS_WARNING = 99;

// Return flags of the dense solver's operations.
constexpr int MSDLS_SUCCESS = 0;
constexpr int MSDLS_MEM_NULL = -1;
constexpr int MSDLS_LMEM_NULL = -2;
constexpr int MSDLS_ILL_INPUT = -3;
constexpr int MSDLS_MEM_FAIL = -4;
constexpr int MSDLS_JAC_UNRECOVERABLE = -5;
constexpr int MSDLS_JAC_RECOVERABLE = -6;

// Callbacks; user_data is what MstepSetUserData gave.
typedef int (*MsRhsFn)(double t, N_Vector y, N_Vector ydot, void* user_data);
typedef int (*MsRootFn)(double t, N_Vector y, double* gout, void* user_data);
typedef int (*MsStepRootFn)(void* user_data);
typedef int (*MsDlsDenseJacFn)(int N, double t, N_Vector y, N_Vector fy, DlsMat Jac,
                               void* user_data, N_Vector tmp1, N_Vector tmp2, N_Vector tmp3);
typedef void (*MsErrHandlerFn)(int error_code, const char* module, const char* function,
                               const char* msg, void* eh_data);

// Creation, set-up, restart and release; mstep_mem is the handle from MstepCreate.
void* MstepCreate(int lmm, int iter);
int MstepInit(void* mstep_mem, MsRhsFn f, double t0, N_Vector y0);
int MstepReInit(void* mstep_mem, double t0, N_Vector y0);
int MstepSVtolerances(void* mstep_mem, double reltol, N_Vector abstol);
int MstepRootInit(void* mstep_mem, int nrtfn, MsRootFn g);
int MstepStepRootInit(void* mstep_mem, MsStepRootFn fn);
void MstepFree(void** mstep_mem);

// Options.
int MstepSetErrHandlerFn(void* mstep_mem, MsErrHandlerFn ehfun, void* eh_data);
int MstepSetUserData(void* mstep_mem, void* user_data);
int MstepSetMaxNumSteps(void* mstep_mem, int mxsteps);
int MstepSetInitStep(void* mstep_mem, double hin);
int MstepSetMaxErrTestFails(void* mstep_mem, int maxnef);
int MstepSetMaxNonlinIters(void* mstep_mem, int maxcor);
int MstepSetNonlinConvCoef(void* mstep_mem, double nlscoef);

// Integration toward tout, and the dense output of the last step.
int Mstep(void* mstep_mem, double tout, N_Vector yout, double* tret, int itask);
int MstepGetDky(void* mstep_mem, double t, int k, N_Vector dky);

// Statistics and state.
int MstepGetNumSteps(void* mstep_mem, int* nsteps);
int MstepGetCurrentStep(void* mstep_mem, double* hcur);
int MstepGetTolScaleFactor(void* mstep_mem, double* tolsfac);
int MstepGetErrWeights(void* mstep_mem, N_Vector eweight);
int MstepGetNumGEvals(void* mstep_mem, int* ngevals);
int MstepGetNumNonlinSolvIters(void* mstep_mem, int* nniters);
int MstepGetNumNonlinSolvConvFails(void* mstep_mem, int* nncfails);

// A new text holding the flag's name ("NONE" for unknown values), or NULL
// when it cannot be allocated. The caller releases it with msRelease (or
// free) and should print "NONE" for NULL.
char* MstepGetReturnFlagName(int flag);

// The dense direct solver of the Newton iteration, with the caller's
// Jacobian or (jac NULL) the built-in difference quotients.
int MsDense(void* mstep_mem, int N);
int MsDlsSetDenseJacFn(void* mstep_mem, MsDlsDenseJacFn jac);
int MsDlsGetNumJacEvals(void* mstep_mem, int* njevals);

// The increments of a Jacobian by difference quotients: state j changes by
// the larger of MsDlsIncrementScale() * |y_j| and MsDlsLeastIncrement() over
// its error weight, with the step h, n states and the weighted norm of f(y).
inline double MsDlsIncrementScale() { return RSqrt(MS_UNIT_ROUNDOFF); }
inline double MsDlsLeastIncrement(double h, int n, double fnorm) {
  return fnorm != 0.0 ? RAbs(h) * 1000.0 * MS_UNIT_ROUNDOFF * n * fnorm : 1.0;
}

}  // namespace pelvarin
