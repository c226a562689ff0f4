// Event services for generated code: time-event proposals, the event
// function of integer() expressions, sample operators and event anticipation
// for fixed-step integration.
#pragma once

namespace pelvarin {

void register_time_event(double t);

typedef double (*RoundFunction)(double);

void integer_expression_update(const char* text, RoundFunction roundFunction, double value,
                               double* currentInteger, double* hysteresisOut, double hysteresis,
                               int unused1, int unused2, int unused3, int init, int logFlags,
                               int* iterateFlag, int unused4, double unused5, int unused6);

double ceil_periods(double t, double start, double interval);
int sample_event(double t, double start, double interval, int index, int init, int active);
int sample_event_checked(double t, double start, double interval, int index, int init,
                         int active);

void anticipate_events_fixed_step(double t, int init, int eventMode, double* eventIndicators,
                                  int count, double* der, int n, double* realOptions,
                                  int* intOptions);

double get_initial_time();

}  // namespace pelvarin
