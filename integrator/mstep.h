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

// Creation, set-up, restart and release; mstep_mem is the handle from
// MstepCreate. Every operation that takes a handle refuses NULL with
// MS_MEM_NULL, and those that need MstepInit refuse an earlier call with
// MS_NO_MALLOC; each failure is reported to the error handler first.

// A new memory for the method and iteration, or NULL (reported) for an
// illegal value or when memory runs out.
void* MstepCreate(int lmm, int iter);
// Needs: y0 with every vector operation the integrator uses. Makes the work
// vectors for y0's length (replacing those of an earlier call only once the
// new set exists) and starts a problem at (t0, y0). Returns MS_SUCCESS,
// MS_ILL_INPUT or MS_MEM_FAIL (the memory as it was).
int MstepInit(void* mstep_mem, MsRhsFn f, double t0, N_Vector y0);
// A new problem at (t0, y0) of the same length, with the same options.
int MstepReInit(void* mstep_mem, double t0, N_Vector y0);
// Relative tolerance and a copy of the absolute tolerances (finite, >= 0).
int MstepSVtolerances(void* mstep_mem, double reltol, N_Vector abstol);
// nrtfn root functions g (0: none). A failure leaves root finding off.
int MstepRootInit(void* mstep_mem, int nrtfn, MsRootFn g);
// A function asked after every step; nonzero ends Mstep with a root return.
int MstepStepRootInit(void* mstep_mem, MsStepRootFn fn);
// Releases the memory and all it holds; *mstep_mem := NULL. NULL is accepted.
void MstepFree(void** mstep_mem);

// Options: each returns MS_SUCCESS, or MS_MEM_NULL / MS_ILL_INPUT.
int MstepSetErrHandlerFn(void* mstep_mem, MsErrHandlerFn ehfun, void* eh_data);
int MstepSetUserData(void* mstep_mem, void* user_data);
int MstepSetMaxNumSteps(void* mstep_mem, int mxsteps);
int MstepSetInitStep(void* mstep_mem, double hin);
int MstepSetMaxErrTestFails(void* mstep_mem, int maxnef);
int MstepSetMaxNonlinIters(void* mstep_mem, int maxcor);
int MstepSetNonlinConvCoef(void* mstep_mem, double nlscoef);

// Integrates toward tout (itask MS_NORMAL: to tout, interpolated;
// MS_ONE_STEP: one internal step). Needs: MstepInit and tolerances given.
// Guarantees: *tret and yout hold a solution the integration accepted,
// also after a failure once the arguments are usable. Returns MS_SUCCESS,
// MS_TSTOP_RETURN, MS_ROOT_RETURN or a reported failure flag.
int Mstep(void* mstep_mem, double tout, N_Vector yout, double* tret, int itask);
// The k-th derivative of the interpolating polynomial of the last step at t
// (within the last step, up to fuzz) into dky. Returns MS_SUCCESS, or
// MS_BAD_DKY, MS_BAD_K, MS_BAD_T (reported; dky untouched).
int MstepGetDky(void* mstep_mem, double t, int k, N_Vector dky);

// Statistics and state: written through the caller's pointer; MS_SUCCESS,
// or MS_MEM_NULL / MS_ILL_INPUT / MS_NO_MALLOC.
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
// Needs: MstepInit, N the problem's length. Replaces an attached solver only
// once the new one is complete. Returns MSDLS_SUCCESS or a reported
// MSDLS_MEM_NULL, MSDLS_ILL_INPUT, MSDLS_MEM_FAIL.
int MsDense(void* mstep_mem, int N);
// Needs: MsDense. Returns MSDLS_SUCCESS, MSDLS_MEM_NULL or MSDLS_LMEM_NULL.
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
