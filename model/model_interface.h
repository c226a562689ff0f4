// The generated model as the rest of the system reaches it.
#pragma once

#include "source/runtime_constants.h"

// Model dimensions.
enum {
  MODEL_NX = 2,
  MODEL_NU = 0,
  MODEL_NY = 0,
  MODEL_NW = 7,
  MODEL_NP = 10,
  MODEL_NREL = 1,
  MODEL_NI = 2 * MODEL_NREL,
};

int dsblock_(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
             double* p, void* spare2, void* spare3, double* der, double* y, double* w,
             double* eventIndicators, double* realOptions, int* intOptions, void* spare4, int* QiErr);

void declare_(double* x, double* p, void* spare, int* QiErr);

void model_dimensions(int* nx, int* unused1, int* nu, int* ny, int* nw, int* np, int* nrel,
                      int* unused7, int* unused8);
void model_dimensions_for_driver(int* nx, int* o1, int* o2, int* o3, int* nw, int* np, int* o6,
                                 int* anticipated, int* nrel, int* o9, int* o10);
void model_dimensions_alternate(int* o0, int* o1, int* o2, int* o3, int* o4, int* o5, int* o6,
                                int* o7, int* o8, int* o9);

void model_reset_work_arrays();
