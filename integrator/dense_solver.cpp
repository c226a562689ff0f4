#include "integrator/dense_solver.h"

#include "integrator/allocation.h"

namespace pelvarin {

namespace {

MsDlsMem dlsOf(MstepMem mem) { return static_cast<MsDlsMem>(mem->lsMem); }

void releaseDense(MsDlsMem dls) {
  if (dls == nullptr) return;
  DestroyMat(dls->newtonMatrix);
  DestroyMat(dls->savedJac);
  DestroyArray(dls->pivots);
  msRelease(dls);
}

// The data a Jacobian routine receives: the built-in one works on the
// integrator memory, a caller's routine always gets the caller's data.
void* jacobianData(MstepMem mem, MsDlsMem dls) {
  return (dls->useDQJac == 1) ? static_cast<void*>(mem) : mem->userData;
}

// A solver memory for N states with its matrices and pivots, or NULL, with
// nothing left allocated, when memory runs out.
MsDlsMem newDenseMem(int N) {
  MsDlsMem dls = static_cast<MsDlsMem>(msAllocate(sizeof(MsDlsMemRecord)));
  if (dls == nullptr) return nullptr;
  dls->useDQJac = 1;
  dls->jacFn = nullptr;
  dls->jacData = nullptr;
  dls->lastFlag = 0;
  dls->size = N;
  dls->stepsAtLastJac = 0;
  dls->numJacEvals = 0;
  dls->numRhsEvalsDQ = 0;
  // Attached after steps were taken, the solver still has nothing to reuse.
  dls->jacSaved = 0;
  dls->matrixReady = 0;
  dls->newtonMatrix = NewDenseMat(N, N);
  dls->savedJac = (dls->newtonMatrix != nullptr) ? NewDenseMat(N, N) : nullptr;
  dls->pivots = (dls->savedJac != nullptr) ? NewIntArray(N) : nullptr;
  if (dls->pivots == nullptr) {
    releaseDense(dls);
    return nullptr;
  }
  return dls;
}

// The attached dense solver behind a handle: sets *mem and *dls and returns
// MSDLS_SUCCESS, or reports under function and returns MSDLS_MEM_NULL or
// MSDLS_LMEM_NULL.
int attachedDense(void* mstep_mem, const char* function, MstepMem* mem, MsDlsMem* dls) {
  *mem = static_cast<MstepMem>(mstep_mem);
  if (*mem == nullptr) {
    msReportError(nullptr, MSDLS_MEM_NULL, "MSDLS", function, "Integrator memory is NULL.");
    return MSDLS_MEM_NULL;
  }
  *dls = dlsOf(*mem);
  if (*dls == nullptr) {
    msReportError(*mem, MSDLS_LMEM_NULL, "MSDLS", function, "Linear solver memory is NULL.");
    return MSDLS_LMEM_NULL;
  }
  return MSDLS_SUCCESS;
}

}  // namespace

int MsDense(void* mstep_mem, int N) {
  MstepMem mem = static_cast<MstepMem>(mstep_mem);
  if (mem == nullptr) {
    msReportError(nullptr, MSDLS_MEM_NULL, "MSDENSE", "MsDense", "Integrator memory is NULL.");
    return MSDLS_MEM_NULL;
  }
  // The solver inspects the work vectors that only MstepInit makes.
  if (mem->initDone == 0 || mem->tempVec == nullptr) {
    msReportError(mem, MSDLS_ILL_INPUT, "MSDENSE", "MsDense", "Attempt to call before MstepInit.");
    return MSDLS_ILL_INPUT;
  }
  if (mem->tempVec->ops->nvgetarraypointer == nullptr ||
      mem->tempVec->ops->nvsetarraypointer == nullptr) {
    msReportError(mem, MSDLS_ILL_INPUT, "MSDENSE", "MsDense",
                  "A required vector operation is not implemented.");
    return MSDLS_ILL_INPUT;
  }
  // The matrix columns stand in for vectors of the problem's length; any
  // other size would let the solve and the Jacobian run past one of them.
  if (N > 0 && mem->vecRealWords > 0 && N != mem->vecRealWords) {
    msReportError(mem, MSDLS_ILL_INPUT, "MSDENSE", "MsDense", "Illegal value for N.");
    return MSDLS_ILL_INPUT;
  }

  // Everything is made before the previous solver is replaced, so that a
  // failure leaves the memory as it was.
  MsDlsMem dls = newDenseMem(N);
  if (dls == nullptr) {
    msReportError(mem, MSDLS_MEM_FAIL, "MSDENSE", "MsDense", "A memory request failed.");
    return MSDLS_MEM_FAIL;
  }

  if (mem->lsFree != nullptr) mem->lsFree(mem);
  mem->lsInit = msDenseInit;
  mem->lsSetup = msDenseSetup;
  mem->lsSolve = msDenseSolve;
  mem->lsFree = msDenseFree;
  mem->lsSetupPresent = 1;
  mem->lsMem = dls;
  return MSDLS_SUCCESS;
}

int MsDlsSetDenseJacFn(void* mstep_mem, MsDlsDenseJacFn jac) {
  MstepMem mem = nullptr;
  MsDlsMem dls = nullptr;
  const int flag = attachedDense(mstep_mem, "MsDlsSetDenseJacFn", &mem, &dls);
  if (flag != MSDLS_SUCCESS) return flag;
  // Routine and data are chosen together here, so they never mismatch.
  if (jac != nullptr) {
    dls->useDQJac = 0;
    dls->jacFn = jac;
  } else {
    // Not reached in this model: the co-simulation stepper gives its own.
    dls->useDQJac = 1;
    dls->jacFn = msDenseDQJac;
  }
  dls->jacData = jacobianData(mem, dls);
  return MSDLS_SUCCESS;
}

int MsDlsGetNumJacEvals(void* mstep_mem, int* njevals) {
  MstepMem mem = nullptr;
  MsDlsMem dls = nullptr;
  const int flag = attachedDense(mstep_mem, "MsDlsGetNumJacEvals", &mem, &dls);
  if (flag != MSDLS_SUCCESS) return flag;
  if (njevals == nullptr) {
    msReportError(mem, MSDLS_ILL_INPUT, "MSDLS", "MsDlsGetNumJacEvals", "njevals = NULL illegal.");
    return MSDLS_ILL_INPUT;
  }
  *njevals = dls->numJacEvals;
  return MSDLS_SUCCESS;
}

int msDenseInit(MstepMem mem) {
  MsDlsMem dls = dlsOf(mem);
  if (dls == nullptr) return -1;
  dls->numJacEvals = 0;
  dls->numRhsEvalsDQ = 0;
  dls->stepsAtLastJac = 0;
  if (dls->useDQJac == 1) dls->jacFn = msDenseDQJac;
  dls->jacData = jacobianData(mem, dls);
  dls->lastFlag = 0;
  return 0;
}

int msDenseSetup(MstepMem mem, int convfail, N_Vector ypred, N_Vector fpred, int* jcur,
                 N_Vector vtemp1, N_Vector vtemp2, N_Vector vtemp3) {
  MsDlsMem dls = dlsOf(mem);
  if (dls == nullptr) return -1;

  // gammaPrev is zero after a setup for a step of zero.
  const double dgamma = RAbs(msDivide(mem->gamma, mem->gammaPrev) - 1.0);
  const bool newJac = mem->numSteps == 0 || !dls->jacSaved ||
                      mem->numSteps > dls->stepsAtLastJac + MSDLS_MAX_STEPS_BETWEEN_JAC ||
                      (convfail == MS_CONVFAIL_BAD_JAC && dgamma < MSDLS_DGAMMA_MAX) ||
                      convfail == MS_CONVFAIL_OTHER;

  dls->matrixReady = 0;
  if (!newJac) {
    *jcur = 0;
    DenseCopy(dls->savedJac, dls->newtonMatrix);
  } else {
    dls->numJacEvals++;
    dls->stepsAtLastJac = mem->numSteps;
    *jcur = 1;
    SetToZero(dls->newtonMatrix);
    // Taken at the call, so that user data set since then is honoured.
    MsDlsDenseJacFn jac = (dls->useDQJac == 1) ? msDenseDQJac : dls->jacFn;
    dls->jacData = jacobianData(mem, dls);
    int r = jac(dls->size, mem->tcur, ypred, fpred, dls->newtonMatrix, dls->jacData, vtemp1, vtemp2,
                vtemp3);
    if (r < 0) {
      msReportError(mem, MSDLS_JAC_UNRECOVERABLE, "MSDENSE", "msDenseSetup",
                    "The Jacobian routine failed in an unrecoverable manner.");
      dls->lastFlag = MSDLS_JAC_UNRECOVERABLE;
      return -1;
    }
    if (r > 0) {
      dls->lastFlag = MSDLS_JAC_RECOVERABLE;
      return 1;
    }
    DenseCopy(dls->newtonMatrix, dls->savedJac);
    dls->jacSaved = 1;
  }

  DenseScale(-mem->gamma, dls->newtonMatrix);
  AddIdentity(dls->newtonMatrix);

  int ier = DenseGETRF(dls->newtonMatrix, dls->pivots);
  dls->lastFlag = ier;
  dls->matrixReady = (ier == 0);
  return (ier > 0) ? 1 : 0;
}

int msDenseSolve(MstepMem mem, N_Vector b, N_Vector /*weight*/, N_Vector /*ycur*/,
                 N_Vector /*fcur*/) {
  MsDlsMem dls = dlsOf(mem);
  if (dls == nullptr) return -1;
  // Without factors of a completed setup the corrector must set up first.
  if (!dls->matrixReady) return 1;
  double* bd = N_VGetArrayPointer(b);
  // A problem without states has nothing to solve.
  if (bd != nullptr) DenseGETRS(dls->newtonMatrix, dls->pivots, bd);
  if (mem->lmm == MS_BDF && mem->gammaRatio != 1.0) N_VScale(2.0 / (1.0 + mem->gammaRatio), b, b);
  dls->lastFlag = 0;
  return 0;
}

void msDenseFree(MstepMem mem) {
  releaseDense(dlsOf(mem));
  mem->lsMem = nullptr;
}

// Not reached in this model: the co-simulation stepper gives its own Jacobian.
int msDenseDQJac(int N, double t, N_Vector y, N_Vector fy, DlsMat Jac, void* data, N_Vector tmp1,
                 N_Vector tmp2, N_Vector /*tmp3*/) {
  MstepMem mem = static_cast<MstepMem>(data);
  MsDlsMem dls = dlsOf(mem);

  double* tmp2Data = N_VGetArrayPointer(tmp2);
  double* ewtData = N_VGetArrayPointer(mem->ewt);
  double* yData = N_VGetArrayPointer(y);

  const double srur = MsDlsIncrementScale();
  const double minInc = MsDlsLeastIncrement(mem->h, N, N_VWrmsNorm(fy, mem->ewt));

  // A problem without states has no column to difference.
  const int columns = (yData != nullptr) ? N : 0;
  int r = 0;
  for (int j = 0; j < columns; j++) {
    N_VSetArrayPointer(Jac->cols[j], tmp2);

    const double yjSaved = yData[j];
    // A weight is zero where its tolerance overflowed; the increment
    // vanishes with a step of zero.
    double inc = msDivide(minInc, ewtData[j]);
    if (srur * RAbs(yjSaved) > inc) inc = srur * RAbs(yjSaved);

    yData[j] += inc;
    r = mem->f(t, y, tmp1, mem->userData);
    if (dls != nullptr) dls->numRhsEvalsDQ++;
    yData[j] = yjSaved;
    if (r != 0) break;

    const double incInv = msDivide(1.0, inc);
    N_VLinearSum(incInv, tmp1, -incInv, fy, tmp2);
    Jac->cols[j] = N_VGetArrayPointer(tmp2);
  }

  N_VSetArrayPointer(tmp2Data, tmp2);
  return r;
}

}  // namespace pelvarin
