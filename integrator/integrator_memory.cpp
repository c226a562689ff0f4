#include "integrator/integrator_memory.h"

#include <cmath>
#include <cstring>

#include "integrator/allocation.h"

namespace pelvarin {

namespace {

constexpr double MS_MAX_STEP_RATIO = 10000.0;
constexpr int MS_BASE_REAL_WORKSPACE = 89;
constexpr int MS_BASE_INT_WORKSPACE = 40;

MstepMem memOf(void* mstep_mem) { return static_cast<MstepMem>(mstep_mem); }

// The scalars that MstepInit and MstepReInit reset alike.
void resetProblem(MstepMem mem, double t0, N_Vector y0) {
  mem->tcur = t0;
  mem->coeffCount = 2;
  mem->orderWait = 2;
  mem->maxStepRatio = MS_MAX_STEP_RATIO;
  mem->hu = 0.0;
  mem->tolScaleFactor = 1.0;
  mem->q = 1;
  mem->qUsed = 0;
  N_VScale(1.0, y0, mem->nordsieck[0]);
  mem->h0Used = 0.0;
  mem->hNext = 0.0;
  mem->numSteps = 0;
  mem->numRhsEvals = 0;
  mem->numConvFails = 0;
  mem->numErrTestFails = 0;
  mem->numNonlinIters = 0;
  mem->numLinSetups = 0;
  mem->numHnil = 0;
  mem->stepsAtLastSetup = 0;
  mem->stepsSameOrder = 0;
  mem->numGEvals = 0;
  mem->rootReturned = 0;
  mem->qNext = 0;
  mem->numOrderReductions = 0;
  for (auto& row : mem->stabData)
    for (double& entry : row) entry = 0.0;
}

// Detaches the linear solver, releasing its memory.
void releaseLinearSolver(MstepMem mem) {
  if (mem->lsFree != nullptr) mem->lsFree(mem);
  mem->lsInit = nullptr;
  mem->lsSetup = nullptr;
  mem->lsSolve = nullptr;
  mem->lsFree = nullptr;
  mem->lsMem = nullptr;
  mem->lsSetupPresent = 0;
}

}  // namespace

// Not reached in this model: the co-simulation stepper calls only with the
// memory it created.
int msRefuseNull(const char* function) {
  msReportError(nullptr, MS_MEM_NULL, "MSTEP", function, "mstep_mem = NULL illegal.");
  return MS_MEM_NULL;
}

int msInitialisedMem(void* mstep_mem, const char* function, MstepMem* mem) {
  *mem = memOf(mstep_mem);
  if (*mem == nullptr) return msRefuseNull(function);
  if (!(*mem)->initDone) {
    msReportError(*mem, MS_NO_MALLOC, "MSTEP", function, "Attempt to call before MstepInit.");
    return MS_NO_MALLOC;
  }
  return MS_SUCCESS;
}

void* MstepCreate(int lmm, int iter) {
  // Not reached in this model: the refusals, as the co-simulation stepper
  // asks for BDF with Newton iteration.
  if (lmm != MS_ADAMS && lmm != MS_BDF) {
    msReportError(nullptr, 0, "MSTEP", "MstepCreate",
                  "Illegal value for lmm. The legal values are MS_ADAMS and MS_BDF.");
    return nullptr;
  }
  if (iter != MS_FUNCTIONAL && iter != MS_NEWTON) {
    msReportError(nullptr, 0, "MSTEP", "MstepCreate",
                  "Illegal value for iter. The legal values are MS_FUNCTIONAL and MS_NEWTON.");
    return nullptr;
  }
  MstepMem mem = static_cast<MstepMem>(msAllocate(sizeof(MstepMemRecord)));
  if (mem == nullptr) {
    msReportError(nullptr, 0, "MSTEP", "MstepCreate", "Allocation of mstep_mem failed.");
    return nullptr;
  }
  // Zero-filled, so that every release path sees which blocks exist.
  std::memset(mem, 0, sizeof(MstepMemRecord));

  mem->unitRoundoff = MS_UNIT_ROUNDOFF;
  mem->lmm = lmm;
  mem->iter = iter;
  mem->tolKind = MS_TOL_NONE;
  mem->errHandler = msDefaultErrHandler;
  mem->errHandlerData = mem;
  mem->errFile = stderr;
  mem->maxOrder = (lmm == MS_ADAMS) ? MS_ADAMS_MAX_ORDER : MS_BDF_MAX_ORDER;
  mem->maxOrderAlloc = mem->maxOrder;
  mem->nonlinConvCoef = MS_DEFAULT_NONLIN_CONV_COEF;
  mem->mxhnil = MS_DEFAULT_MXHNIL;
  mem->maxConvFails = MS_DEFAULT_MAX_CONV_FAILS;
  mem->mxstep = MS_DEFAULT_MXSTEP;
  mem->maxNonlinIters = MS_DEFAULT_MAX_NONLIN_ITERS;
  mem->maxErrTestFails = MS_DEFAULT_MAX_ERR_TEST_FAILS;
  mem->maxGNullWarnings = 1;
  mem->realWorkspace = MS_BASE_REAL_WORKSPACE;
  mem->intWorkspace = MS_BASE_INT_WORKSPACE;
  return mem;
}

int msCheckVectorOps(N_Vector tmpl) {
  N_Vector_Ops ops = tmpl->ops;
  if (ops == nullptr) return 0;
  return ops->nvclone != nullptr && ops->nvdestroy != nullptr && ops->nvlinearsum != nullptr &&
         ops->nvconst != nullptr && ops->nvprod != nullptr && ops->nvdiv != nullptr &&
         ops->nvscale != nullptr && ops->nvabs != nullptr && ops->nvinv != nullptr &&
         ops->nvaddconst != nullptr && ops->nvmaxnorm != nullptr && ops->nvwrmsnorm != nullptr &&
         ops->nvmin != nullptr;
}

// Makes the whole set first and installs it only when complete, so that a
// failure leaves the memory's vectors as they were.
int msAllocWorkVectors(MstepMem mem, N_Vector tmpl) {
  const int count = 5 + mem->maxOrder + 1;
  N_Vector made[5 + MS_HISTORY_SIZE] = {};
  for (int i = 0; i < count; i++) {
    made[i] = N_VClone(tmpl);
    if (made[i] == nullptr) {
      for (int j = 0; j < i; j++) N_VDestroy(made[j]);
      return 0;
    }
  }
  mem->ewt = made[0];
  mem->correction = made[1];
  mem->tempVec = made[2];
  mem->fTemp = made[3];
  // Not counted in the workspace: the counters describe the method's vectors.
  mem->stepStart = made[4];
  for (int j = 0; j < MS_HISTORY_SIZE; j++)
    mem->nordsieck[j] = (j <= mem->maxOrder) ? made[5 + j] : nullptr;
  mem->realWorkspace += (mem->maxOrder + 5) * mem->vecRealWords;
  mem->intWorkspace += (mem->maxOrder + 5) * mem->vecIntWords;
  mem->maxOrderAlloc = mem->maxOrder;
  return 1;
}

void msFreeWorkVectors(MstepMem mem) {
  if (mem->ewt != nullptr) {
    mem->realWorkspace -= (mem->maxOrderAlloc + 5) * mem->vecRealWords;
    mem->intWorkspace -= (mem->maxOrderAlloc + 5) * mem->vecIntWords;
  }
  N_VDestroy(mem->ewt);
  N_VDestroy(mem->correction);
  N_VDestroy(mem->tempVec);
  N_VDestroy(mem->fTemp);
  N_VDestroy(mem->stepStart);
  mem->ewt = mem->correction = mem->tempVec = mem->fTemp = mem->stepStart = nullptr;
  for (N_Vector& v : mem->nordsieck) {
    N_VDestroy(v);
    v = nullptr;
  }
  if (mem->abstolAllocated == 1) {
    N_VDestroy(mem->abstol);
    mem->abstol = nullptr;
    mem->abstolAllocated = 0;
    mem->realWorkspace -= mem->vecRealWords;
    mem->intWorkspace -= mem->vecIntWords;
  }
}

int MstepInit(void* mstep_mem, MsRhsFn f, double t0, N_Vector y0) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepInit");
  // Not reached in this model: the refusals, as the co-simulation stepper
  // gives a serial vector and its right-hand side.
  if (y0 == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepInit", "y0 = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (f == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepInit", "f = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (!msCheckVectorOps(y0)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepInit",
                  "A required vector operation is not implemented.");
    return MS_ILL_INPUT;
  }

  // A repeated initialization replaces the vectors of the earlier one; they
  // are kept aside until the new set exists.
  MstepMemRecord previous = *mem;
  const bool hadVectors = mem->ewt != nullptr;

  if (y0->ops->nvspace != nullptr) {
    N_VSpace(y0, &mem->vecRealWords, &mem->vecIntWords);
  } else {
    // Not reached in this model: serial vectors give their space.
    mem->vecRealWords = 0;
    mem->vecIntWords = 0;
  }
  if (!msAllocWorkVectors(mem, y0)) {
    if (hadVectors) {
      mem->vecRealWords = previous.vecRealWords;
      mem->vecIntWords = previous.vecIntWords;
    }
    msReportError(mem, MS_MEM_FAIL, "MSTEP", "MstepInit", "A memory request failed.");
    return MS_MEM_FAIL;
  }

  if (hadVectors) {
    // Not reached in this model: the co-simulation stepper initializes each
    // integrator once and restarts it with MstepReInit.
    // Release the earlier set (and its tolerance copy) through a record
    // that holds only those vectors.
    MstepMemRecord old = previous;
    msFreeWorkVectors(&old);
    mem->realWorkspace -= previous.realWorkspace - old.realWorkspace;
    mem->intWorkspace -= previous.intWorkspace - old.intWorkspace;
    if (previous.abstolAllocated == 1) {
      mem->abstol = nullptr;
      mem->abstolAllocated = 0;
      // The vector tolerances went with their copy; they must be given again.
      if (mem->tolKind == MS_TOL_SV) mem->tolKind = MS_TOL_NONE;
    }
  }
  releaseLinearSolver(mem);

  mem->f = f;
  resetProblem(mem, t0, y0);
  mem->initDone = 1;
  return MS_SUCCESS;
}

int MstepReInit(void* mstep_mem, double t0, N_Vector y0) {
  MstepMem mem = nullptr;
  const int flag = msInitialisedMem(mstep_mem, "MstepReInit", &mem);
  if (flag != MS_SUCCESS) return flag;
  if (y0 == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepReInit", "y0 = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (!msVectorFits(mem, y0)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepReInit", "y0 has wrong length (illegal).");
    return MS_ILL_INPUT;
  }
  resetProblem(mem, t0, y0);
  return MS_SUCCESS;
}

int MstepSVtolerances(void* mstep_mem, double reltol, N_Vector abstol) {
  MstepMem mem = nullptr;
  const int flag = msInitialisedMem(mstep_mem, "MstepSVtolerances", &mem);
  if (flag != MS_SUCCESS) return flag;
  if (reltol < 0.0) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSVtolerances", "reltol < 0 illegal.");
    return MS_ILL_INPUT;
  }
  if (!std::isfinite(reltol)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSVtolerances",
                  "reltol is not finite (illegal).");
    return MS_ILL_INPUT;
  }
  if (abstol == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSVtolerances", "abstol = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (!msVectorFits(mem, abstol)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSVtolerances",
                  "abstol has wrong length (illegal).");
    return MS_ILL_INPUT;
  }
  if (N_VMin(abstol) < 0.0) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSVtolerances",
                  "abstol has negative component(s) (illegal).");
    return MS_ILL_INPUT;
  }
  if (!msAllFinite(mem, abstol)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSVtolerances",
                  "abstol has non-finite component(s) (illegal).");
    return MS_ILL_INPUT;
  }
  if (mem->abstolAllocated == 0) {
    N_Vector copy = N_VClone(mem->ewt);
    if (copy == nullptr) {
      msReportError(mem, MS_MEM_FAIL, "MSTEP", "MstepSVtolerances", "A memory request failed.");
      return MS_MEM_FAIL;
    }
    mem->abstol = copy;
    mem->realWorkspace += mem->vecRealWords;
    mem->intWorkspace += mem->vecIntWords;
    mem->abstolAllocated = 1;
  }
  mem->reltol = reltol;
  N_VScale(1.0, abstol, mem->abstol);
  mem->tolKind = MS_TOL_SV;
  mem->userEwtSet = 0;
  mem->ewtSet = msErrWeights;
  mem->ewtSetData = nullptr;
  return MS_SUCCESS;
}

namespace {

// The weights 1 / (reltol |y_i| + atol_i), renewed before every step, with
// the bits of the vector operations they are defined by (|y| into tempVec,
// scaled and shifted there, its minimum tested, its inverse into w), in
// passes over the elements instead of one call per operation.
template <typename Denominator>
int msFillErrWeights(MstepMem mem, N_Vector y, N_Vector w, Denominator denominator) {
  const int n = N_VLength_Serial(mem->tempVec);
  const double* yd = N_VData_Serial(y);
  double* t = N_VData_Serial(mem->tempVec);
  for (int i = 0; i < n; ++i) t[i] = denominator(i, RAbs(yd[i]));
  if (n > 0) {
    double min = t[0];
    for (int i = 1; i < n; ++i)
      if (t[i] < min) min = t[i];
    if (min <= 0.0) return -1;
  }
  double* wd = N_VData_Serial(w);
  // A NaN first denominator hides the others from the test.
  for (int i = 0; i < n; ++i) wd[i] = msDivide(1.0, t[i]);
  return 0;
}

}  // namespace

// Not reached in this model: nothing sets scalar tolerances.
int msErrWeightsScalar(MstepMem mem, N_Vector y, N_Vector w) {
  const double reltol = mem->reltol, atol = mem->abstolScalar;
  return msFillErrWeights(mem, y, w, [=](int, double a) { return a * reltol + atol; });
}

int msErrWeightsVector(MstepMem mem, N_Vector y, N_Vector w) {
  // reltol |y| + atol is the linear sum's form for a coefficient 1 on atol,
  // whatever reltol is.
  const double reltol = mem->reltol;
  const double* atol = N_VData_Serial(mem->abstol);
  return msFillErrWeights(mem, y, w, [=](int i, double a) { return reltol * a + atol[i]; });
}

bool msAllFinite(MstepMem mem, N_Vector v) {
  // 0 x is 0 for every finite x and NaN for the others.
  N_VConst(0.0, mem->tempVec);
  return N_VWrmsNorm(v, mem->tempVec) == 0.0;
}

int msErrWeights(N_Vector y, N_Vector w, void* data) {
  MstepMem mem = static_cast<MstepMem>(data);
  switch (mem->tolKind) {
    case MS_TOL_SS:
      // Not reached in this model: nothing sets scalar tolerances.
      return msErrWeightsScalar(mem, y, w);
    case MS_TOL_SV:
      return msErrWeightsVector(mem, y, w);
    default:
      return 0;
  }
}

int MsInitialSetup(MstepMem mem) {
  if (mem->tolKind == MS_TOL_NONE) {
    // Not reached in this model: the co-simulation stepper sets vector
    // tolerances before the first step.
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MsInitialSetup",
                  "No integration tolerances have been specified.");
    return MS_ILL_INPUT;
  }
  mem->ewtSetData = (mem->userEwtSet == 1) ? mem->userData : mem;
  if (mem->ewtSet(mem->nordsieck[0], mem->ewt, mem->ewtSetData) != 0) {
    // Not reached in this model: a weight function, as nothing sets one.
    if (mem->tolKind == MS_TOL_WF)
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "MsInitialSetup",
                    "The user-provide EwtSet function failed.");
    else
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "MsInitialSetup",
                    "Initial ewt has component(s) equal to zero (illegal).");
    return MS_ILL_INPUT;
  }
  if (mem->iter == MS_NEWTON) {
    if (mem->lsSolve == nullptr) {
      // Not reached in this model: the dense solver is attached before.
      msReportError(mem, MS_ILL_INPUT, "MSTEP", "MsInitialSetup",
                    "The linear solver's solve routine is NULL.");
      return MS_ILL_INPUT;
    }
    if (mem->lsInit != nullptr && mem->lsInit(mem) != 0) {
      msReportError(mem, MS_LINIT_FAIL, "MSTEP", "MsInitialSetup",
                    "The linear solver's init routine failed.");
      return MS_LINIT_FAIL;
    }
  }
  return MS_SUCCESS;
}

void msFreeRootArrays(MstepMem mem) {
  msRelease(mem->gLow);
  msRelease(mem->gHigh);
  msRelease(mem->gRoot);
  msRelease(mem->rootsFound);
  msRelease(mem->rootDirection);
  msRelease(mem->gActive);
  mem->gLow = mem->gHigh = mem->gRoot = nullptr;
  mem->rootsFound = mem->rootDirection = mem->gActive = nullptr;
}

void MstepFree(void** mstep_mem) {
  if (mstep_mem == nullptr || *mstep_mem == nullptr) return;
  MstepMem mem = memOf(*mstep_mem);
  msFreeWorkVectors(mem);
  // An attached solver goes with the memory whatever the iteration type.
  releaseLinearSolver(mem);
  msFreeRootArrays(mem);
  msRelease(mem);
  *mstep_mem = nullptr;
}

int MstepSetErrHandlerFn(void* mstep_mem, MsErrHandlerFn ehfun, void* eh_data) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetErrHandlerFn");
  if (ehfun == nullptr) {
    // No handler at all would leave reports nowhere to go.
    mem->errHandler = msDefaultErrHandler;
    mem->errHandlerData = mem;
  } else {
    mem->errHandler = ehfun;
    mem->errHandlerData = eh_data;
  }
  return MS_SUCCESS;
}

int MstepSetUserData(void* mstep_mem, void* user_data) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetUserData");
  mem->userData = user_data;
  return MS_SUCCESS;
}

int MstepSetMaxNumSteps(void* mstep_mem, int mxsteps) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetMaxNumSteps");
  mem->mxstep = (mxsteps == 0) ? MS_DEFAULT_MXSTEP : mxsteps;
  return MS_SUCCESS;
}

int MstepSetInitStep(void* mstep_mem, double hin) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetInitStep");
  if (!std::isfinite(hin)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepSetInitStep", "hin is not finite (illegal).");
    return MS_ILL_INPUT;
  }
  mem->hInit = hin;
  return MS_SUCCESS;
}

int MstepSetMaxErrTestFails(void* mstep_mem, int maxnef) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetMaxErrTestFails");
  mem->maxErrTestFails = maxnef;
  return MS_SUCCESS;
}

int MstepSetMaxNonlinIters(void* mstep_mem, int maxcor) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetMaxNonlinIters");
  // The corrector needs at least one iteration to converge at all.
  mem->maxNonlinIters = (maxcor < 1) ? MS_DEFAULT_MAX_NONLIN_ITERS : maxcor;
  return MS_SUCCESS;
}

int MstepSetNonlinConvCoef(void* mstep_mem, double nlscoef) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepSetNonlinConvCoef");
  mem->nonlinConvCoef = nlscoef;
  return MS_SUCCESS;
}

namespace {

// Getters write through the caller's pointer; a NULL one is refused.
template <typename T>
int getValue(void* mstep_mem, const char* function, const char* argName, T* out,
             T MstepMemRecord::*field) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull(function);
  if (out == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", function, "%s = NULL illegal.", argName);
    return MS_ILL_INPUT;
  }
  *out = mem->*field;
  return MS_SUCCESS;
}

}  // namespace

int MstepGetNumSteps(void* mstep_mem, int* nsteps) {
  return getValue(mstep_mem, "MstepGetNumSteps", "nsteps", nsteps, &MstepMemRecord::numSteps);
}

int MstepGetCurrentStep(void* mstep_mem, double* hcur) {
  return getValue(mstep_mem, "MstepGetCurrentStep", "hcur", hcur, &MstepMemRecord::hNext);
}

int MstepGetTolScaleFactor(void* mstep_mem, double* tolsfac) {
  return getValue(mstep_mem, "MstepGetTolScaleFactor", "tolsfac", tolsfac,
                  &MstepMemRecord::tolScaleFactor);
}

int MstepGetNumGEvals(void* mstep_mem, int* ngevals) {
  return getValue(mstep_mem, "MstepGetNumGEvals", "ngevals", ngevals, &MstepMemRecord::numGEvals);
}

int MstepGetNumNonlinSolvIters(void* mstep_mem, int* nniters) {
  return getValue(mstep_mem, "MstepGetNumNonlinSolvIters", "nniters", nniters,
                  &MstepMemRecord::numNonlinIters);
}

int MstepGetNumNonlinSolvConvFails(void* mstep_mem, int* nncfails) {
  return getValue(mstep_mem, "MstepGetNumNonlinSolvConvFails", "nncfails", nncfails,
                  &MstepMemRecord::numConvFails);
}

int MstepGetErrWeights(void* mstep_mem, N_Vector eweight) {
  MstepMem mem = memOf(mstep_mem);
  if (mem == nullptr) return msRefuseNull("MstepGetErrWeights");
  if (eweight == nullptr) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepGetErrWeights", "eweight = NULL illegal.");
    return MS_ILL_INPUT;
  }
  if (mem->ewt == nullptr) {
    msReportError(mem, MS_NO_MALLOC, "MSTEP", "MstepGetErrWeights",
                  "Attempt to call before MstepInit.");
    return MS_NO_MALLOC;
  }
  if (!msVectorFits(mem, eweight)) {
    msReportError(mem, MS_ILL_INPUT, "MSTEP", "MstepGetErrWeights",
                  "eweight has wrong length (illegal).");
    return MS_ILL_INPUT;
  }
  N_VScale(1.0, mem->ewt, eweight);
  return MS_SUCCESS;
}

}  // namespace pelvarin
