// Dense direct linear solver for the Newton iteration: attaches to an
// integrator memory through its linear-solver hooks. Its public operations
// (MsDense, MsDlsSetDenseJacFn, MsDlsGetNumJacEvals) are in integrator/mstep.h.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// Jacobians older than this many steps are evaluated anew.
constexpr int MSDLS_MAX_STEPS_BETWEEN_JAC = 50;
// Relative change of gamma below which a stale-Jacobian failure renews it.
constexpr double MSDLS_DGAMMA_MAX = 0.2;

struct MsDlsMemRecord {
  int size;
  int useDQJac;  // 1: built-in difference quotients; 0: jacFn of the caller
  MsDlsDenseJacFn jacFn;
  void* jacData;
  DlsMat newtonMatrix;  // Jacobian, then I - gamma*J, then its LU factors
  DlsMat savedJac;
  int* pivots;
  int stepsAtLastJac;
  int numJacEvals;
  int numRhsEvalsDQ;
  int lastFlag;
  int jacSaved;     // savedJac holds an evaluated Jacobian
  int matrixReady;  // newtonMatrix holds the factors of the last setup
};
typedef MsDlsMemRecord* MsDlsMem;

// Hooks, installed by MsDense; without the solver attached (lsMem NULL)
// init, setup and solve return -1.
// Before the first step: counters reset, the Jacobian routine chosen. 0.
int msDenseInit(MstepMem mem);
// The factors of I - gamma J, with J reused or evaluated anew (*jcur 1).
// Returns 0, 1 for a recoverable failure (singular, Jacobian), -1 otherwise.
int msDenseSetup(MstepMem mem, int convfail, N_Vector ypred, N_Vector fpred, int* jcur,
                 N_Vector vtemp1, N_Vector vtemp2, N_Vector vtemp3);
// b := the solution of (I - gamma J) x = b with the last factors. Returns 0,
// or 1 (no factors yet: recoverable).
int msDenseSolve(MstepMem mem, N_Vector b, N_Vector weight, N_Vector ycur, N_Vector fcur);
// Releases the solver (if any); lsMem := NULL.
void msDenseFree(MstepMem mem);

// Built-in Jacobian by difference quotients; data is the integrator memory.
int msDenseDQJac(int N, double t, N_Vector y, N_Vector fy, DlsMat Jac, void* data, N_Vector tmp1,
                 N_Vector tmp2, N_Vector tmp3);

}  // namespace pelvarin
