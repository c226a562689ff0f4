// Inside the integrator: its memory record behind the opaque handle, the
// constants of the record and the internal operations of set-up and error
// weights. Users include integrator/mstep.h.
#pragma once

#include <cstdio>

#include "integrator/error_reporting.h"
#include "integrator/mstep.h"

namespace pelvarin {

// Orders and array sizes of the record.
constexpr int MS_ADAMS_MAX_ORDER = 12;
constexpr int MS_BDF_MAX_ORDER = 5;
constexpr int MS_HISTORY_SIZE = 13;     // nordsieck[0 .. 12], lCoef
constexpr int MS_PAST_STEPS_SIZE = 14;  // pastSteps
constexpr int MS_TEST_QUANT_SIZE = 6;   // testQuant

// Kinds of tolerances (tolKind).
constexpr int MS_TOL_NONE = 0;
constexpr int MS_TOL_SS = 1;
constexpr int MS_TOL_SV = 2;
constexpr int MS_TOL_WF = 3;

// Option defaults.
constexpr int MS_DEFAULT_MXSTEP = 500;
constexpr int MS_DEFAULT_MAX_NONLIN_ITERS = 3;
constexpr int MS_DEFAULT_MAX_ERR_TEST_FAILS = 7;
constexpr int MS_DEFAULT_MAX_CONV_FAILS = 10;
constexpr int MS_DEFAULT_MXHNIL = 10;
constexpr double MS_DEFAULT_NONLIN_CONV_COEF = 0.1;

// Times closer than MS_TIME_FUZZ_FACTOR r (|t| + |h|) count as equal.
constexpr double MS_TIME_FUZZ_FACTOR = 100.0;

// A step this close above hmin counts as at hmin: no smaller retry is left.
constexpr double MS_HMIN_FUZZ = 1.000001;

// Reason for a linear-solver setup, passed by the corrector.
constexpr int MS_CONVFAIL_NONE = 0;
constexpr int MS_CONVFAIL_BAD_JAC = 1;
constexpr int MS_CONVFAIL_OTHER = 2;

typedef struct MstepMemRecord* MstepMem;

// What the parts of one internal step (corrector, error test, attempt) hand
// each other. The failures that end a step carry the numbers of the public
// flags they leave as, and leave only through msStepFlag; the other results
// never leave the step.
enum MsStepResult : int {
  STEP_OK = MS_SUCCESS,
  // Failures that end the step.
  STEP_ERR_FAILURE = MS_ERR_FAILURE,
  STEP_CONV_FAILURE = MS_CONV_FAILURE,
  STEP_LSETUP_FAIL = MS_LSETUP_FAIL,
  STEP_LSOLVE_FAIL = MS_LSOLVE_FAIL,
  STEP_RHSFUNC_FAIL = MS_RHSFUNC_FAIL,
  STEP_REPTD_RHSFUNC_ERR = MS_REPTD_RHSFUNC_ERR,
  STEP_UNREC_RHSFUNC_ERR = MS_UNREC_RHSFUNC_ERR,
  // Corrector failures another attempt may mend.
  NLS_CONV_FAIL = 101,
  NLS_RETRY_SETUP,  // msNewtonLoop only: renew the stale matrix and retry
  NLS_RHS_RECOVERABLE,
  // What the attempt does next.
  STEP_DO_ERROR_TEST,
  STEP_PREDICT_AGAIN,
  STEP_TRY_AGAIN,
};

// Why the corrector is called: the reason is kept in the same variable
// (nflag) as the corrector's last result, and differs from every result.
enum MsCorrectorCall : int {
  NLS_FIRST_CALL = 201,
  NLS_AFTER_CONV_FAIL,
  NLS_AFTER_ERR_FAIL,
};

// Error weights of a caller's own.
typedef int (*MsEwtFn)(N_Vector y, N_Vector ewt, void* data);

// Linear-solver hooks.
typedef int (*MsLsInitFn)(MstepMem mem);
typedef int (*MsLsSetupFn)(MstepMem mem, int convfail, N_Vector ypred, N_Vector fpred, int* jcur,
                           N_Vector vtemp1, N_Vector vtemp2, N_Vector vtemp3);
typedef int (*MsLsSolveFn)(MstepMem mem, N_Vector b, N_Vector weight, N_Vector ycur, N_Vector fcur);
typedef void (*MsLsFreeFn)(MstepMem mem);

struct MstepMemRecord {
  double unitRoundoff;
  MsRhsFn f;
  void* userData;
  int lmm;
  int iter;
  int tolKind;
  double reltol;
  double abstolScalar;
  N_Vector abstol;
  int userEwtSet;
  MsEwtFn ewtSet;
  void* ewtSetData;

  N_Vector nordsieck[MS_HISTORY_SIZE];
  N_Vector ewt;
  N_Vector yWork;  // the caller's yout; not owned
  N_Vector correction;
  N_Vector tempVec;
  N_Vector fTemp;
  N_Vector stepStart;  // solution at the start of the current step

  // Not reached in this model: a stop time, as nothing sets one.
  int tstopSet;
  double tstop;

  int q;
  int qNew;
  int qNext;
  int orderWait;
  int coeffCount;

  double hInit;
  double h;
  double hNew;
  double hNext;
  double stepRatio;
  double hScale;
  double tcur;
  double lastTret;

  double pastSteps[MS_PAST_STEPS_SIZE];
  double testQuant[MS_TEST_QUANT_SIZE];
  double lCoef[MS_HISTORY_SIZE];
  double invL1;
  double gamma;
  double gammaPrev;
  double gammaRatio;
  double convRate;
  double corrNorm;
  double nonlinConvCoef;
  int newtonIter;

  int maxOrder;
  int mxstep;
  int maxNonlinIters;
  int mxhnil;
  int maxErrTestFails;
  int maxConvFails;
  double hmin;
  double hmaxInv;
  double maxStepRatio;

  int numSteps;
  int numRhsEvals;
  int numConvFails;
  int numErrTestFails;
  int numNonlinIters;
  int numLinSetups;
  int numHnil;

  double etaOrderDown;
  double etaOrderSame;
  double etaOrderUp;

  int vecRealWords;
  int vecIntWords;
  int realWorkspace;
  int intWorkspace;

  MsLsInitFn lsInit;
  MsLsSetupFn lsSetup;
  MsLsSolveFn lsSolve;
  MsLsFreeFn lsFree;
  void* lsMem;

  int qUsed;
  int stepsAtLastSetup;
  double h0Used;
  double hu;
  double savedTestQuant5;
  int jacCurrent;
  double tolScaleFactor;
  int maxOrderAlloc;
  int corrHistIndex;
  int lsSetupPresent;
  int abstolAllocated;
  int initDone;

  MsErrHandlerFn errHandler;
  void* errHandlerData;
  FILE* errFile;

  // Not reached in this model: stability limit detection, as nothing turns
  // it on.
  int stabLimDet;
  double stabData[6][4];
  int stepsSameOrder;
  int numOrderReductions;

  MsRootFn g;
  int numRootFns;
  int* rootsFound;
  int* rootDirection;
  double tLow;
  double tHigh;
  double tRoot;
  double* gLow;
  double* gHigh;
  double* gRoot;
  double toutCopy;
  double rootTol;
  int taskCopy;
  int rootReturned;
  int numGEvals;
  int* gActive;
  int maxGNullWarnings;

  MsStepRootFn stepRootFn;
};

// Internal operations.
// Before the first step of a problem: tolerances given, error weights at
// y0, the linear solver ready for a Newton iteration. Returns MS_SUCCESS or
// a reported MS_ILL_INPUT / MS_LINIT_FAIL.
int MsInitialSetup(MstepMem mem);
// 1 when tmpl has every vector operation the integrator uses, else 0.
int msCheckVectorOps(N_Vector tmpl);
// The work vectors and the history up to maxOrder, cloned from tmpl, all or
// none: returns 1, or 0 with the memory's vectors as they were.
int msAllocWorkVectors(MstepMem mem, N_Vector tmpl);
// Releases the work vectors and the tolerance copy; pointers := NULL.
void msFreeWorkVectors(MstepMem mem);
// The error weights 1 / (reltol |y_i| + atol_i) of the tolerances given
// into w; data is the memory. Returns 0, or -1 when a denominator is <= 0.
int msErrWeights(N_Vector y, N_Vector w, void* data);
int msErrWeightsScalar(MstepMem mem, N_Vector y, N_Vector w);
int msErrWeightsVector(MstepMem mem, N_Vector y, N_Vector w);

// A caller's vector fits when it has the problem's length and, with any
// elements, an array that holds them: every operation runs over the length
// of its first argument. Inline: Mstep and every interpolation ask.
inline bool msVectorFits(MstepMem mem, N_Vector v) {
  const N_Vector_Ops ops = v->ops;
  if (ops->nvspace == nullptr) return true;
  // A serial vector answers from its content, without the calls.
  if (ops->nvspace == N_VSpace_Serial && ops->nvgetarraypointer == N_VGetArrayPointer_Serial) {
    const int length = N_VLength_Serial(v);
    return length == mem->vecRealWords && (length == 0 || N_VData_Serial(v) != nullptr);
  }
  int lrw = 0, liw = 0;
  N_VSpace(v, &lrw, &liw);
  if (lrw != mem->vecRealWords) return false;
  return lrw == 0 || ops->nvgetarraypointer == nullptr || N_VGetArrayPointer(v) != nullptr;
}
// The fuzz of times around tcur for the current step size.
inline double msTimeRoundoff(MstepMem mem) {
  return MS_TIME_FUZZ_FACTOR * mem->unitRoundoff * (RAbs(mem->tcur) + RAbs(mem->h));
}

// Reports a NULL handle under function; returns MS_MEM_NULL.
int msRefuseNull(const char* function);
// Needs: mstep_mem a handle from MstepCreate or NULL. Sets *mem and returns
// MS_SUCCESS when MstepInit has set the memory up; otherwise reports and
// returns MS_MEM_NULL or MS_NO_MALLOC.
int msInitialisedMem(void* mstep_mem, const char* function, MstepMem* mem);

// Whether every element of v is finite; overwrites tempVec.
bool msAllFinite(MstepMem mem, N_Vector v);

// Releases those of the six root-function arrays that exist and clears their
// pointers; the workspace counters are left to the caller. Shared by
// MstepFree and the root registration (arrays come from msAllocate).
void msFreeRootArrays(MstepMem mem);

}  // namespace pelvarin
