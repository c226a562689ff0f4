// Event services for generated code: time-event proposals, the event
// function of integer() expressions, sample operators and event anticipation
// for fixed-step integration.
#pragma once

namespace pelvarin {

// Proposes a time event at t: the next-time-event slot of the active
// options becomes the earliest proposal since it was last reset, proposals
// within a few units of the last place counting as one. Without options
// nothing is proposed.
void register_time_event(double t);

typedef double (*RoundFunction)(double);

// The event function of an integer() expression: *currentInteger becomes
// roundFunction(value) (floor without one), *hysteresisOut the hysteresis.
// A change outside the initialization asks for another pass (*iterateFlag)
// and is logged under LOG_FLAG_EVENTS.
void integer_expression_update(const char* text, RoundFunction roundFunction, double value,
                               double* currentInteger, double* hysteresisOut, double hysteresis,
                               int unused1, int unused2, int unused3, int init, int logFlags,
                               int* iterateFlag, int unused4, double unused5, int unused6);

// ceil((t - start) / interval), with the IEEE quotient for interval 0.
double ceil_periods(double t, double start, double interval);
// The sample operators of sample slot index (0 <= index < model_sample_slots,
// else a model error and 0): start the counting at init or at the first
// active call, advance past every instant up to t while active and propose
// the next instant as a time event. Return 1 when an instant was reached.
// The checked form also refuses an interval that is not positive.
int sample_event(double t, double start, double interval, int index, int init, int active);
int sample_event_checked(double t, double start, double interval, int index, int init,
                         int active);

// Event anticipation for fixed-step integration: from the history of the
// first count relations' crossing functions (at most model_relations), the
// fraction of the next step after which one is expected to cross. The step
// factor slot and the first n derivatives are scaled by it within the
// window it opens. eventIndicators, der and realOptions may be NULL.
void anticipate_events_fixed_step(double t, int init, int eventMode, double* eventIndicators,
                                  int count, double* der, int n, double* realOptions,
                                  int* intOptions);

// The time of the last initialization call.
double get_initial_time();

}  // namespace pelvarin
