// One-compartment pharmacokinetic model with periodic pulse dosing
// (kompartment1, pulse1).
#include <cassert>
#include <climits>
#include <cmath>
#include <cstdio>
#include <initializer_list>

#include "model/model_dimensions.h"
#include "model/model_strings.h"
#include "model/model_work_arrays.h"
#include "source/c_locale_text.h"
#include "source/evaluation_driver.h"
#include "source/event_services.h"
#include "source/messages.h"
#include "source/model_interface.h"
#include "source/runtime_constants.h"
#include "source/runtime_state.h"

namespace pelvarin {

int relation_attributes[MODEL_NREL + 1];
int relation_evaluated[MODEL_NREL + 1];
double saved_crossings[MODEL_CROSSINGS];
double integer_arguments[2];
double integer_values[2];
double integer_margins[2];
int time_relations[3];
int when_edge_committed[1];
int when_edge_current[1];
double model_temporaries[2];
double pre_discrete[1];
double sample_counters[MODEL_SAMPLE_SLOTS];
double sample_next[MODEL_SAMPLE_SLOTS];
int sample_started[MODEL_SAMPLE_SLOTS];
int sample_evaluated[MODEL_SAMPLE_SLOTS];
double crossing_now[MODEL_CROSSINGS];
double crossing_prev[MODEL_CROSSINGS];
double crossing_prev2[MODEL_CROSSINGS];
double crossing_prev3[MODEL_CROSSINGS];
ExternalObjectEntry external_objects[MODEL_EXTERNAL_SLOTS];
int dynamics_needed = 0;

const int model_relations = MODEL_NREL;
const int model_discrete_values = sizeof pre_discrete / sizeof pre_discrete[0];
const int model_sample_slots = MODEL_SAMPLE_SLOTS;

static const char INTEGER_EXPRESSION_TEXT[] = "integer( (time-pulse1.startTime)/pulse1.period)";
// Relative distance before its threshold from which a time relation counts
// as reached.
constexpr double TIME_RELATION_TOLERANCE = 4e-14;

int floor_to_int(double value) {
  // NaN and values outside the 32-bit range give what the x86 conversion gives.
  const double f = std::floor(value);
  if (!(f >= static_cast<double>(INT_MIN) && f <= static_cast<double>(INT_MAX))) return INT_MIN;
  return static_cast<int>(f);
}

double model_division_by_zero(const char* numeratorText, double numerator,
                              const char* denominatorText, double denominator) {
  char text[1000];
  c_sprintf(text, sizeof text,
             "\nModel error - division by zero: (%.400s) / (%.400s) = (%g) / (%g)\n",
             numeratorText, denominatorText, numerator, denominator);
  raise_model_error(text);
  return 0.0;  // only outside an evaluation; inside, the error jumps back to the driver
}

static inline double divide(double numerator, double denominator, const char* numeratorText,
                            const char* denominatorText) {
  if (denominator == 0.0)
    return model_division_by_zero(numeratorText, numerator, denominatorText, denominator);
  return numerator / denominator;
}

double log_variable_change(const char* name, double value, double time) {
  char text[1000];
  c_sprintf(text, sizeof text, "  Variable %.400s = %g at time %g", name, value, time);
  emit_message_line(text);
  return 1.0;
}

namespace {

// The initial-block test; in the first pass of an initialization call it
// also asks for another pass, whatever the phase.
int initial_block_test() {
  if (initial_rerun_stage == 0 && init_flag == 1) iterate_again = 1;
  return (initial_rerun_stage != 0 || init_flag == 1) &&
         (iteration_phase < ITERATION_PHASE_CONTINUE || iteration_phase == ITERATION_PHASE_EVALUATE);
}

int start_value_test(const int* intOptions) {
  // Not reached in this model: nothing sets initial_rerun_stage.
  if (initial_rerun_stage != 0) return initial_rerun_stage == 2;
  if (init_flag == 1 && intOptions[INT_OPTION_NO_START_VALUES] == 0) {
    iterate_again = 1;
    return 1;
  }
  return 0;
}

int homotopy_test() { return homotopy_active == 0 || homotopy_lambda <= 0; }

// The relation of integer((time - startTime) / period): its value, updated
// in event mode, and the two crossing functions around it.
inline void integer_relation(const double* p, double* eventIndicators, int* intOptions) {
  const double v = divide(current_time - p[6], p[3], "time-pulse1.startTime", "pulse1.period");
  integer_arguments[0] = v;
  if (event_mode)
    integer_expression_update(INTEGER_EXPRESSION_TEXT, std::floor, v, &integer_values[0],
                              &integer_margins[0], integer_hysteresis, 0, 1, 0, init_flag,
                              intOptions[INT_OPTION_LOG_FLAGS], &iterate_again, relation_evaluated[1],
                              0.0001,
                              event_iteration > 5);
  const double n = integer_values[0];
  const double e = integer_margins[0];
  eventIndicators[0] = -((v - n) + e);
  eventIndicators[1] = -((v - n) - e - 1);
  relation_evaluated[1] = 1;
}

// Time relation k, time >= threshold, decided at events only; a threshold
// still ahead is proposed as a time event.
inline void time_relation(int k, double threshold, const double* realOptions) {
  if (!(init_flag != 0 || event_mode)) return;
  const double scale = realOptions[REAL_OPTION_TIME_SCALE];
  if (threshold - (std::fabs(current_time) + scale) * TIME_RELATION_TOLERANCE <= current_time) {
    time_relations[k] = 1;
  } else {
    register_time_event(threshold);
    time_relations[k] = 0;
  }
}

// The when clause on a new count: on its rising edge in event mode the count
// and the time of its last pulse are updated, and another pass asked for.
void when_clause(double* w) {
  if (floor_to_int(integer_values[0]) > pre_discrete[0]) {
    if (when_edge_committed[0] != 0 && event_mode) {
      iterate_again = 1;
      when_edge_current[0] = 0;
      w[5] = pre_discrete[0] + 1;
      w[4] = current_time;
    }
  } else if (when_edge_committed[0] == 0) {
    when_edge_current[0] = 1;
  }
}

// Compares the discrete value with its value before the event (another
// pass when it changed, logged under LOG_FLAG_EVENTS) and, in event mode,
// restores (section 0) or commits (otherwise) the when clause's edge.
void model_discrete_change_check(double* /*time*/, double* /*x*/, void* /*spare1*/, double* /*u*/,
                                 double* /*p*/, void* /*spare2*/, void* /*spare3*/, double* /*der*/,
                                 double* /*y*/, double* w, double* /*eventIndicators*/,
                                 double* /*realOptions*/, int* intOptions, void* /*spare4*/,
                                 int section, int init, int eventMode, int /*extra*/) {
  if (init != 0) {
    pre_discrete[0] = 0.0;
    iterate_again = 1;
  } else if (eventMode != 0 && !(w[5] == pre_discrete[0])) {
    iterate_again = 1;
    if (intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_EVENTS) log_variable_change("pulse1.count", w[5], current_time);
    pre_discrete[0] = w[5];
  }
  if (eventMode != 0) {
    if (section == 0)
      when_edge_current[0] = when_edge_committed[0];
    else
      when_edge_committed[0] = when_edge_current[0];
  }
}

// The dynamics: the derivatives and the algebraic variables when they are
// needed, *computedLevel raised to the event level, and the discrete values
// checked. Skipped after a restart request or a failed status.
void model_dynamics_section(int* demand, int* computedLevel, double* time, double* x, void* spare1,
                            double* u, double* p, void* spare2, void* spare3, double* der,
                            double* y, double* w, double* eventIndicators, double* realOptions,
                            int* intOptions, void* spare4, int* QiErr) {
  if (restart_requested == 0 && *QiErr == QIERR_OK) {
    if (dynamics_needed) {
      model_temporaries[0] = divide(1.0, p[3], "1.0", "pulse1.period");
      if (init_flag != 0) {
        init_flag = 2;
        integer_relation(p, eventIndicators, intOptions);
        const int armed = floor_to_int(integer_values[0]) <= pre_discrete[0] ? 1 : 0;
        when_edge_committed[0] = armed;
        when_edge_current[0] = armed;
        init_flag = 1;
      }
      integer_relation(p, eventIndicators, intOptions);
      when_clause(w);
      time_relation(0, p[6], realOptions);
      double pulse = 0.0;
      if (!(time_relations[0] == 0 || p[4] == 0 || (p[4] > 0 && p[4] <= w[5]))) {
        time_relation(1, w[4] + w[3], realOptions);
        pulse = time_relations[1] == 0 ? p[1] : 0.0;
      }
      w[2] = p[5] + pulse;
      w[1] = -x[0] * p[0];
      der[0] = w[2] + w[1];
      w[0] = divide(x[1], p[9], "kompartment1.C", "kompartment1.Vd");
      w[6] = w[0] * p[7];
      der[1] = -(w[1] + w[6]);
    }
    if ((*demand >= DEMAND_EVENT_FIRST_PASS && *computedLevel < DEMAND_EVENT_FIRST_PASS) ||
        event_mode || *demand == DEMAND_ALL_SECTIONS)
      *computedLevel = DEMAND_EVENT_FIRST_PASS;
    dynamics_needed = 1;
    model_discrete_change_check(time, x, spare1, u, p, spare2, spare3, der, y, w, eventIndicators,
                                realOptions, intOptions, spare4, 1, init_flag, event_mode,
                                inline_integration && intOptions[INT_OPTION_INLINE_SWITCH] != 0 &&
                                    *demand == DEMAND_ALL_SECTIONS);
    reset_evaluation_scratch();
  }
  // Not reached in this model: the sections set no status without the trap.
  if (run_status != QIERR_OK) *QiErr = run_status;
}

// The dynamics section unless a restart was requested or the status failed;
// a failed run status becomes *QiErr.
void model_dynamics_guard(int* demand, int* computedLevel, double* time, double* x, void* spare1,
                          double* u, double* p, void* spare2, void* spare3, double* der, double* y,
                          double* w, double* eventIndicators, double* realOptions, int* intOptions,
                          void* spare4, int* QiErr) {
  if (restart_requested == 0 && *QiErr == QIERR_OK)
    model_dynamics_section(demand, computedLevel, time, x, spare1, u, p, spare2, spare3, der, y, w,
                           eventIndicators, realOptions, intOptions, spare4, QiErr);
  // Not reached in this model: the sections set no status without the trap.
  if (run_status != QIERR_OK) *QiErr = run_status;
}

void model_declare_start_values(double* x, double* p, void* /*spare*/, int* /*QiErr*/) {
  if (x != nullptr) x[0] = 0;
  if (p != nullptr) {
    static const double start[MODEL_NP] = {10, 10, 10, 1, -1, 0, 0, 10, 0, 10};
    for (int i = 0; i < MODEL_NP; ++i) p[i] = start[i];
  }
  if (x != nullptr) x[1] = 0;
}

// The end of the initial block: the discrete values it set are committed.
// Returns true when the section ends there: the first pass of an iteration
// spread over calls, or a homotopy continuation with steps to go.
bool initial_block_ends_section(int* demand, int* computedLevel, double* time, double* x,
                                void* spare1, double* u, double* p, void* spare2, void* spare3,
                                double* der, double* y, double* w, double* eventIndicators,
                                double* realOptions, int* intOptions, void* spare4) {
  *computedLevel = 0;
  init_flag = 0;
  model_discrete_change_check(time, x, spare1, u, p, spare2, spare3, der, y, w, eventIndicators,
                              realOptions, intOptions, spare4, 2, 0, event_mode,
                              inline_integration && intOptions[INT_OPTION_INLINE_SWITCH] != 0 &&
                                  *demand == DEMAND_ALL_SECTIONS);
  init_flag = 1;
  if (iteration_phase != ITERATION_PHASE_CONVERGE) {
    // Not reached in this model: the interface layer passes phase 0 only.
    iteration_phase = ITERATION_PHASE_CONVERGE;
    return true;
  }
  if (homotopy_active) {
    // Not reached in this model: no homotopy continuation starts.
    if (homotopy_lambda < 1) {
      if (run_status == QIERR_OK) run_status = QIERR_HOMOTOPY_CONTINUE;
      return true;
    }
    homotopy_active = 0;
    homotopy_lambda = 1.0;
  }
  return false;
}

// Raises *computedLevel to the output and derivative levels the demand asks
// for and evaluates the dynamics when derivatives are wanted.
void outputs_and_dynamics(int* demand, int* computedLevel, double* time, double* x, void* spare1,
                          double* u, double* p, void* spare2, void* spare3, double* der, double* y,
                          double* w, double* eventIndicators, double* realOptions, int* intOptions,
                          void* spare4, int* QiErr) {
  if ((*demand >= DEMAND_OUTPUTS && *computedLevel < DEMAND_OUTPUTS) || event_mode ||
      *demand == DEMAND_ALL_SECTIONS)
    *computedLevel = DEMAND_OUTPUTS;
  if ((*demand >= DEMAND_DERIVATIVES && *computedLevel < DEMAND_DERIVATIVES) || event_mode ||
      *demand == DEMAND_ALL_SECTIONS) {
    *computedLevel = DEMAND_DERIVATIVES;
    dynamics_needed = 1;
  } else {
    dynamics_needed = 0;
  }
  model_dynamics_guard(demand, computedLevel, time, x, spare1, u, p, spare2, spare3, der, y, w,
                       eventIndicators, realOptions, intOptions, spare4, QiErr);
}

}  // namespace

int model_initial_section(int* demand, int* computedLevel, double* time, double* x, void* spare1,
                          double* u, double* p, void* spare2, void* spare3, double* der, double* y,
                          double* w, double* eventIndicators, double* realOptions, int* intOptions,
                          void* spare4, int* QiErr, int /*extra*/) {
  if (params_changed) w[3] = 0.01 * p[3] * p[2];
  if (initial_block_test()) *computedLevel = 0;
  if (start_value_test(intOptions) && homotopy_test()) {
    *computedLevel = 0;
    x[1] = divide(p[8], p[9], "kompartment1.C0", "kompartment1.Vd");
  }
  model_discrete_change_check(time, x, spare1, u, p, spare2, spare3, der, y, w, eventIndicators,
                              realOptions, intOptions, spare4, 0, init_flag, event_mode, 0);
  if (start_value_test(intOptions)) {
    *computedLevel = 0;
    integer_relation(p, eventIndicators, intOptions);
    w[5] = floor_to_int(integer_values[0]);
    w[4] = w[5] * p[3] + p[6];
  }
  if (start_value_test(intOptions)) {
    *computedLevel = 0;
    x[1] = divide(p[8], p[9], "kompartment1.C0", "kompartment1.Vd");
  }
  const bool ended = initial_block_test() &&
                     initial_block_ends_section(demand, computedLevel, time, x, spare1, u, p,
                                                spare2, spare3, der, y, w, eventIndicators,
                                                realOptions, intOptions, spare4);
  if (!ended)
    outputs_and_dynamics(demand, computedLevel, time, x, spare1, u, p, spare2, spare3, der, y, w,
                         eventIndicators, realOptions, intOptions, spare4, QiErr);
  // Not reached in this model: the sections set no status without the trap.
  if (run_status != QIERR_OK) *QiErr = run_status;
  return 0;
}

void model_clear_sample_flags() {
  for (int i = 0; i < MODEL_NSAMPLE; ++i) sample_evaluated[i] = 0;
}

// Not reached in this model: only a homotopy continuation calls it, and none
// starts.
void model_homotopy_reinit_section(double*, double*, void*, double*, double*, void*, void*, double*,
                                   double*, double*, double*, double*, int*, void*) {}

int dsblock_(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
             double* p, void* spare2, void* spare3, double* der, double* y, double* w,
             double* eventIndicators, double* realOptions, int* intOptions, void* spare4, int* QiErr) {
  assert(x && p && der && w);
  return dsblock_run(demand, computedLevel, time, x, spare1, u, p, spare2, spare3, der, y, w,
                     eventIndicators, realOptions, intOptions, spare4, QiErr, 0);
}

void declare_(double* x, double* p, void* spare, int* QiErr) {
  model_declare_start_values(x, p, spare, QiErr);
}

void model_dimensions(int* nx, int* unused1, int* nu, int* ny, int* nw, int* np, int* nrel,
                      int* unused7, int* unused8) {
  *nx = MODEL_NX;
  *unused1 = 0;
  *nu = MODEL_NU;
  *ny = MODEL_NY;
  *nw = MODEL_NW;
  *np = MODEL_NP;
  *nrel = MODEL_NREL;
  *unused7 = 0;
  *unused8 = 0;
}

void model_dimensions_for_driver(int* nx, int* o1, int* o2, int* o3, int* nw, int* np, int* o6,
                                 int* anticipated, int* nrel, int* o9, int* o10) {
  *nx = MODEL_NX;
  *o1 = 0;
  *o2 = 0;
  *o3 = 0;
  *nw = MODEL_NW;
  *np = MODEL_NP;
  *o6 = 0;
  *anticipated = 1;
  *nrel = MODEL_NREL;
  *o9 = 0;
  *o10 = 0;
}

// Not reached in this model: nothing calls it.
void model_dimensions_alternate(int* o0, int* o1, int* o2, int* o3, int* o4, int* o5, int* o6,
                                int* o7, int* o8, int* o9) {
  *o0 = 1;
  *o1 = 2;
  *o2 = 0;
  *o3 = 0;
  *o4 = 1;
  *o5 = 2;
  *o6 = 2;
  *o7 = 0;
  *o8 = 1;
  *o9 = 0;
}

void model_reset_work_arrays() {
  for (double& v : pre_discrete) v = 0;
  for (int& v : when_edge_committed) v = 0;
  for (int& v : when_edge_current) v = 0;
  for (double& v : model_temporaries) v = 0;
  for (double* a : {crossing_now, crossing_prev, crossing_prev2, crossing_prev3})
    for (int i = 0; i < MODEL_CROSSINGS; ++i) a[i] = 0;
  for (double& v : saved_crossings) v = 0;
  for (double& v : integer_arguments) v = 0;
  for (double& v : integer_values) v = 0;
  for (double& v : integer_margins) v = 0;
  for (int i = 0; i < MODEL_SAMPLE_SLOTS; ++i) {
    sample_counters[i] = 0;
    sample_next[i] = 0;
    sample_started[i] = 0;
    sample_evaluated[i] = 0;
  }
  for (int& v : relation_evaluated) v = 0;
  for (int& v : relation_attributes) v = 0;
  for (int& v : time_relations) v = 0;
  for (ExternalObjectEntry& e : external_objects) {
    void* object = e.object;
    e.object = nullptr;
    // Not reached in this model: it has no external objects.
    if (object != nullptr && e.destructor != nullptr) e.destructor(object);
    e.destructor = nullptr;
  }
  runtime_lists_reset();
}

// Not reached in this model: nothing calls it.
void model_empty_function(int, int, int) {}

}  // namespace pelvarin
