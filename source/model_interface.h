// The interface a generated model implements, as the runtime declares it:
// the entry points every layer above evaluates the model through, the
// sections and dimensions the driver calls, and the work arrays the driver
// and the event services read and write. Demand levels and QiErr codes are in
// source/runtime_constants.h.
#pragma once

#include "source/runtime_constants.h"

namespace pelvarin {

// Evaluates the model at *demand (which the driver may rewrite) through the
// evaluation driver. Needs every array the model uses (x, p, der, w,
// eventIndicators and both option arrays) of the model's lengths; u and y
// may be NULL for a model without inputs and outputs. Returns 0, the status
// is *QiErr.
int dsblock_(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
             double* p, void* spare2, void* spare3, double* der, double* y, double* w,
             double* eventIndicators, double* realOptions, int* intOptions, void* spare4, int* QiErr);

// Writes the start values into x and p; either may be NULL.
void declare_(double* x, double* p, void* spare, int* QiErr);

// The model's dimensions, each through its pointer (none may be NULL): for
// the layers above, for the driver, and the alternate set.
void model_dimensions(int* nx, int* unused1, int* nu, int* ny, int* nw, int* np, int* nrel,
                      int* unused7, int* unused8);
void model_dimensions_for_driver(int* nx, int* o1, int* o2, int* o3, int* nw, int* np, int* o6,
                                 int* anticipated, int* nrel, int* o9, int* o10);
void model_dimensions_alternate(int* o0, int* o1, int* o2, int* o3, int* o4, int* o5, int* o6,
                                int* o7, int* o8, int* o9);

// Clears the model's work arrays, at terminate: the external objects are
// destroyed (each once) and the runtime's block lists freed.
void model_reset_work_arrays();

// The generated sections, called by the driver once per pass, at the start of
// an event iteration and between homotopy steps. The initial section
// evaluates up to the level *demand asks for, raising *computedLevel as it
// goes; a model error inside leaves through the driver's trap. Returns 0,
// the status is *QiErr.
int model_initial_section(int* demand, int* computedLevel, double* time, double* x, void* spare1,
                          double* u, double* p, void* spare2, void* spare3, double* der, double* y,
                          double* w, double* eventIndicators, double* realOptions, int* intOptions,
                          void* spare4, int* QiErr, int extra);
void model_clear_sample_flags();
void model_homotopy_reinit_section(double* time, double* x, void* spare1, double* u, double* p,
                                   void* spare2, void* spare3, double* der, double* y, double* w,
                                   double* eventIndicators, double* realOptions, int* intOptions,
                                   void* spare4);

// Work arrays of the model that the runtime shares; arrays indexed per
// relation are 1-based (element 0 unused).
extern int relation_attributes[];  // model_relations + 1
extern int relation_evaluated[];   // model_relations + 1
extern double saved_crossings[];   // 2 * model_relations + 1
extern double pre_discrete[];      // model_discrete_values
extern double sample_counters[];   // model_sample_slots each
extern double sample_next[];
extern int sample_started[];
extern int sample_evaluated[];
// Event-anticipation history: the current call and three time points back,
// 2 * model_relations + 1 each.
extern double crossing_now[];
extern double crossing_prev[];
extern double crossing_prev2[];
extern double crossing_prev3[];

// The lengths the model gives those arrays.
extern const int model_relations;
extern const int model_discrete_values;
extern const int model_sample_slots;

}  // namespace pelvarin
