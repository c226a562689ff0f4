// The generated model's static work arrays, those the runtime shares with
// their lengths. Arrays indexed per relation are 1-based (element 0 unused).
#pragma once

#include "model/model_dimensions.h"
#include "source/model_interface.h"

namespace pelvarin {

// This model has no samples and no external objects; the arrays keep one
// element so that they exist.
enum { MODEL_NSAMPLE = 0, MODEL_NEXTERNAL = 0 };
enum { MODEL_SAMPLE_SLOTS = MODEL_NSAMPLE > 0 ? MODEL_NSAMPLE : 1 };
enum { MODEL_EXTERNAL_SLOTS = MODEL_NEXTERNAL > 0 ? MODEL_NEXTERNAL : 1 };
enum { MODEL_CROSSINGS = 2 * MODEL_NREL + 1 };

extern int relation_attributes[MODEL_NREL + 1];
extern int relation_evaluated[MODEL_NREL + 1];
extern double saved_crossings[MODEL_CROSSINGS];
extern double integer_arguments[2];
extern double integer_values[2];
extern double integer_margins[2];
extern int time_relations[3];
extern int when_edge_committed[1];
extern int when_edge_current[1];
extern double model_temporaries[2];
extern double pre_discrete[1];

extern double sample_counters[MODEL_SAMPLE_SLOTS];
extern double sample_next[MODEL_SAMPLE_SLOTS];
extern int sample_started[MODEL_SAMPLE_SLOTS];
extern int sample_evaluated[MODEL_SAMPLE_SLOTS];

// Event-anticipation history: the current call and three time points back.
extern double crossing_now[MODEL_CROSSINGS];
extern double crossing_prev[MODEL_CROSSINGS];
extern double crossing_prev2[MODEL_CROSSINGS];
extern double crossing_prev3[MODEL_CROSSINGS];

struct ExternalObjectEntry {
  void* object;
  void (*destructor)(void* object);
};
extern ExternalObjectEntry external_objects[MODEL_EXTERNAL_SLOTS];

extern int dynamics_needed;

// Floor converted to a 32-bit integer; NaN and out-of-range values give INT_MIN.
int floor_to_int(double value);

}  // namespace pelvarin
