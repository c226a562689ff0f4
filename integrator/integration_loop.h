// Mstep, the integration toward an output time, with the first-step
// estimate, dense output and the per-step event hook.
#pragma once

#include "integrator/integrator_memory.h"

int Mstep(void* mstep_mem, double tout, N_Vector yout, double* tret, int itask);
int MstepGetDky(void* mstep_mem, double t, int k, N_Vector dky);
int MstepStepRootInit(void* mstep_mem, MsStepRootFn fn);

int msInitialStepEstimate(MstepMem mem, double tout);
double msInitialStepUpperBound(MstepMem mem, double tdist);
int msSecondDerivNorm(MstepMem mem, double hg, double* yddnrm);
