// The Nordsieck history of the integrator (nordsieck[j] = h^j y^(j) / j!)
// and the coefficients of the corrector formula and of the error test,
// recomputed for every attempt from the recent step sizes.
#pragma once

#include "integrator/integrator_memory.h"

namespace pelvarin {

// The data of nordsieck[0 .. last] into d; returns their common length. The
// history's updates run element by element over all its vectors at once,
// with the operations of the vector form in the same order, so that they
// give the same bits.
int msGetHistoryData(MstepMem mem, int last, double* d[]);

// Moves the history and tcur forward by one step h.
void msPredictHistory(MstepMem mem);
// Undoes msPredictHistory after a failed attempt; tcur := saved_t.
void msRetractHistory(MstepMem mem, double saved_t);
// Rescales the history by stepRatio; h, hNext and hScale follow.
void msRescaleHistory(MstepMem mem);

// lCoef, testQuant, invL1, gamma and gammaRatio of the next attempt.
void msSetCoefficients(MstepMem mem);
void msBDFCoefficients(MstepMem mem);
void msBDFTestQuantities(MstepMem mem, double H, double alpha, double beta, double rho,
                         double sigma);
void msAdamsCoefficients(MstepMem mem);
double msAdamsProductPoly(MstepMem mem, double m[]);
void msAdamsFinishCoefficients(MstepMem mem, double m[], double M[], double H);
// sum over i = 0 .. iend of (-1)^i * a[i] / (i + k); 0 when iend < 0.
double msAlternatingSum(int iend, double a[], int k);

// Adjusts the history for an order change by deltaq (+1 or -1); q still
// holds the old order.
void msChangeHistoryOrder(MstepMem mem, int deltaq);
void msAdamsOrderShift(MstepMem mem, int deltaq);
void msBDFRaiseOrder(MstepMem mem);
void msBDFLowerOrder(MstepMem mem);

// Carries out the order and step size chosen after the previous step.
void msApplyStepOrder(MstepMem mem);

}  // namespace pelvarin
