#include "source/evaluation_driver.h"

#include <cassert>
#include <cstdlib>

#include "source/event_services.h"
#include "source/matrixop.h"
#include "source/messages.h"
#include "source/model_interface.h"
#include "source/runtime_constants.h"
#include "source/runtime_state.h"

namespace pelvarin {

namespace {

// Passes an event iteration may end without converging; one more then runs
// with its changes logged, and the call fails after it.
enum { MAX_EVENT_ITERATIONS = 25 };
// The relations are evaluated afresh every this many passes.
constexpr unsigned RELATION_REFRESH_PASSES = 11;
// Hysteresis of the integer() event functions.
constexpr double INTEGER_HYSTERESIS = 1e-10;

// Homotopy continuation: lambda's first step; a step below the doubling
// limit doubles while lambda stays more than the doubling lead of steps
// past the last lambda that solved; lambda above the full mark counts as 1;
// a failure at the smallest step gives up.
constexpr double HOMOTOPY_FIRST_STEP = 0.1;
constexpr double HOMOTOPY_DOUBLING_LIMIT = 0.08;
constexpr double HOMOTOPY_DOUBLING_LEAD = 6;
constexpr double HOMOTOPY_LAMBDA_FULL = 0.999999999;
constexpr double HOMOTOPY_SMALLEST_STEP = 0.0001;

// Bits of relation_attributes, read when an event iteration converges: the
// persistent bit stays; the neutral bit gives a relation that the last pass
// did not evaluate the neutral crossing pair, and is cleared then.
enum { RELATION_ATTRIBUTE_PERSISTENT = 1, RELATION_ATTRIBUTE_NEUTRAL_WHEN_SKIPPED = 2 };
// Crossing pairs of no sign change: every pair at an initialization call,
// and the neutral pair.
constexpr double RELATION_CROSSING_START = 1.0;
constexpr double RELATION_CROSSING_NEUTRAL = 0.1;

}  // namespace

jmp_buf error_trap;
int error_trap_active = 0;

double current_time = 0.0;
int init_flag = 0;
int first_event_after_init = 0;
int event_mode = 0;
int params_changed = 0;
int param_count_seen = 0;
int params_changed_in_pass = 0;
int init_call_count = 0;
double initialization_time = 0.0;
int event_iteration = 0;
int max_event_iterations = 0;
int iterate_again = 0;
int restart_requested = 0;
int initial_rerun_stage = 0;
double integer_hysteresis = 0.0;
int run_status = 0;
int iteration_phase = 0;
int inline_integration = 0;
int homotopy_used = 0;
int homotopy_active = 0;
double homotopy_lambda = 1.0;
double homotopy_step = HOMOTOPY_FIRST_STEP;
double homotopy_last_good = 0.0;
int homotopy_notice_call = -1;

DriverDimensions driver_dimensions = {};

RuntimeContext runtime_context = {nullptr, nullptr, "?????", 0,      {},     {},
                                  0,       0,       nullptr, nullptr, nullptr, nullptr};
// Not reached in this model: nothing sets current_context, so the accessors
// always take the static context.
RuntimeContext* current_context = nullptr;

RuntimeContext* active_runtime_context() {
  return current_context != nullptr ? current_context : &runtime_context;
}

namespace {

void clear_relation_evaluated() {
  for (int k = 1; k <= driver_dimensions.nrel; ++k) relation_evaluated[k] = 0;
}

// Not reached in this model: no evaluation of its sections ends with a
// status (a model error leaves through the trap), and it uses no homotopy
// operator, so no continuation can start.
// Homotopy continuation after an evaluation. Returns 1 when the evaluation
// must run again without a new pass start.
int homotopy_after_evaluation(double* time, double* x, void* spare1, double* u, double* p,
                              void* spare2, void* spare3, double* der, double* y, double* w,
                              double* eventIndicators, double* realOptions, int* intOptions,
                              void* spare4, int* QiErr) {
  // A failure of the first pass of an initialization may start it.
  const bool failed = *QiErr >= QIERR_ERROR && *QiErr <= QIERR_FAILURE_LAST;
  if (failed && current_time <= initialization_time && event_iteration <= 1 && homotopy_used &&
      !homotopy_active && init_call_count != homotopy_notice_call) {
    homotopy_notice_call = init_call_count;
    if (!(intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_QUIET))
      emit_message_line("Trying to solve non-linear system using global homotopy-method.");
    homotopy_active = 1;
    *QiErr = QIERR_HOMOTOPY_START;
  }
  if (*QiErr == QIERR_HOMOTOPY_START) {
    if (homotopy_active && homotopy_lambda != 0) {
      homotopy_lambda = 0;
      model_homotopy_reinit_section(time, x, spare1, u, p, spare2, spare3, der, y, w,
                                    eventIndicators, realOptions, intOptions, spare4);
      run_status = QIERR_OK;
      *QiErr = QIERR_OK;
      return 1;
    }
    return 0;
  }
  if (*QiErr == QIERR_HOMOTOPY_CONTINUE) {
    if (!homotopy_active) return 0;
    run_status = QIERR_OK;
    *QiErr = QIERR_OK;
    if (homotopy_lambda >= 1) {
      homotopy_active = 0;
      return 0;
    }
    if (homotopy_step < HOMOTOPY_DOUBLING_LIMIT &&
        homotopy_step * HOMOTOPY_DOUBLING_LEAD + homotopy_last_good < homotopy_lambda)
      homotopy_step = 2 * homotopy_step;
    homotopy_lambda += homotopy_step;
    if (homotopy_lambda > HOMOTOPY_LAMBDA_FULL) homotopy_lambda = 1.0;
    model_homotopy_reinit_section(time, x, spare1, u, p, spare2, spare3, der, y, w,
                                  eventIndicators, realOptions, intOptions, spare4);
    return 1;
  }
  if (*QiErr != QIERR_OK && homotopy_active) {
    if (!(homotopy_lambda > 0)) {
      emit_message_line("Error: could not solve simplified initialization for homotopy method.");
      return 0;
    }
    if (homotopy_step <= HOMOTOPY_SMALLEST_STEP) {
      if (homotopy_last_good > 0)
        emit_message_line(
            "Error: adaptive homotopy method got stuck after starting. Can set scripting flag "
            "Advanced.DebugHomotopy=true; simulate again, and open continuation.csv to investigate");
      else
        emit_message_line(
            "Error: adaptive homotopy method could not start using actual - check that actual "
            "and simplified arguments are similar.");
      return 0;
    }
    run_status = QIERR_OK;
    *QiErr = QIERR_OK;
    homotopy_last_good = homotopy_lambda - homotopy_step;
    homotopy_step = homotopy_step * 0.5;
    homotopy_lambda = homotopy_last_good + homotopy_step;
    emit_message_line("Error: reducing step size for homotopy.");
    model_homotopy_reinit_section(time, x, spare1, u, p, spare2, spare3, der, y, w,
                                  eventIndicators, realOptions, intOptions, spare4);
    return 1;
  }
  return 0;
}

// The steps of one dsblock_run call. An event iteration starts with its
// set-up, every pass with its start; a pass evaluates the model and decides
// where to go on.
enum DriverStep { DRIVER_SET_UP, DRIVER_START_PASS, DRIVER_EVALUATE, DRIVER_FINISH };

// What every call does first: reads the time, the demand, the
// parameter-change count and event mode; at an initialization it also
// fetches the driver's dimensions and starts the crossing and
// discrete-value history.
// Guarantees: *computedLevel is 0 whenever the parameters changed; a step of
// inline integration that needs no event update becomes a full evaluation.
void begin_call(int* demand, int* computedLevel, const double* time, double* eventIndicators,
                double* realOptions, int* intOptions) {
  current_time = *time;
  init_flag = (*demand == DEMAND_INITIALIZE) ? 1 : 0;
  if (init_flag) {
    param_count_seen = 0;
    int& counter = intOptions[INT_OPTION_PARAMETER_CHANGES];
    counter = static_cast<int>(static_cast<unsigned>(counter) + 1u);  // wraps
  }
  // An initialization always counts as a change: a counter that wrapped to
  // the value last seen must not hide it.
  const int changes = intOptions[INT_OPTION_PARAMETER_CHANGES];
  params_changed = (init_flag || param_count_seen != changes) ? 1 : 0;
  if (params_changed) *computedLevel = 0;
  param_count_seen = changes;
  event_mode = (init_flag || *demand == DEMAND_EVENT_UPDATE || *demand == DEMAND_EVENT_FORCED ||
                params_changed)
                   ? 1
                   : 0;
  intOptions[INT_OPTION_EVENT_MODE] = event_mode;
  if (init_flag) init_call_count += 1;
  run_status = QIERR_OK;
  if (init_flag) {
    initialization_time = current_time;
    first_event_after_init = 1;
    intOptions[INT_OPTION_LOG_FLAGS] = 0;
    max_event_iterations = MAX_EVENT_ITERATIONS;
    integer_hysteresis = INTEGER_HYSTERESIS;
    DriverDimensions& d = driver_dimensions;
    model_dimensions_for_driver(&d.nx, &d.unused1, &d.unused2, &d.unused3, &d.nw, &d.np, &d.unused6,
                                &d.anticipated_relations, &d.nrel, &d.unused9, &d.unused10);
    // The relation arrays the driver walks have the model's length.
    assert(d.nrel >= 0 && d.nrel <= model_relations);
    constant_zero();
  }
  if (event_mode && !inline_integration) intOptions[INT_OPTION_EVENT_AFTER_STEP] = 0;
  if (init_flag) {
    for (int k = 1; k <= driver_dimensions.nrel; ++k) {
      saved_crossings[2 * k - 2] = saved_crossings[2 * k - 1] = RELATION_CROSSING_START;
      eventIndicators[2 * k - 2] = eventIndicators[2 * k - 1] = RELATION_CROSSING_START;
    }
    for (int i = 0; i < model_discrete_values; ++i) pre_discrete[i] = 0.0;
  }
  if (iteration_phase < ITERATION_PHASE_CONTINUE) event_iteration = 0;
  if (inline_integration && *demand == DEMAND_EVENT_UPDATE &&
      current_time < realOptions[REAL_OPTION_NEXT_TIME_EVENT] &&
      intOptions[INT_OPTION_EVENT_AFTER_STEP] == 0) {
    // Not reached in this model: inline integration stays off.
    // No time event is due and none was asked for: a full evaluation does.
    event_mode = 0;
    *demand = DEMAND_ALL_SECTIONS;
    event_iteration = 1;
  }
}

// Set-up of an event iteration: no time event proposed yet, the relations
// and samples not yet evaluated in it.
void set_up_event_iteration(const int* demand, double* realOptions) {
  if (event_mode) realOptions[REAL_OPTION_NEXT_TIME_EVENT] = TIME_EVENT_NONE;
  if (*demand == DEMAND_ALL_SECTIONS || event_mode) clear_relation_evaluated();
  if (event_mode) model_clear_sample_flags();
}

// Start of a pass: counts it and clears what the pass reports. The eleventh
// pass, and every eleventh after it, evaluates the relations afresh.
void start_pass() {
  assert(event_iteration >= 0);
  // Unsigned: the count is never negative, and the remainder is cheaper.
  if (static_cast<unsigned>(event_iteration) % RELATION_REFRESH_PASSES ==
      RELATION_REFRESH_PASSES - 1u)
    clear_relation_evaluated();
  restart_requested = 0;
  event_iteration += 1;
  iterate_again = 0;
  params_changed_in_pass = 0;
}

// One evaluation of the model's sections, repeated while homotopy
// continuation asks for it. The status is *QiErr.
void run_sections_with_homotopy(int* demand, int* computedLevel, double* time, double* x,
                                void* spare1, double* u, double* p, void* spare2, void* spare3,
                                double* der, double* y, double* w, double* eventIndicators,
                                double* realOptions, int* intOptions, void* spare4, int* QiErr,
                                int extra) {
  do {
    model_initial_section(demand, computedLevel, time, x, spare1, u, p, spare2, spare3, der, y, w,
                          eventIndicators, realOptions, intOptions, spare4, QiErr, extra);
    // Homotopy acts on a status only; an evaluation that ended well has none.
  } while (*QiErr != QIERR_OK &&
           homotopy_after_evaluation(time, x, spare1, u, p, spare2, spare3, der, y, w,
                                     eventIndicators, realOptions, intOptions, spare4, QiErr));
}

// In inline integration, the second pass of a full evaluation: a crossing
// function that changed sign since the last event (or a pass that asked for
// another) turns the call into an event update. Returns true when it did.
bool full_evaluation_becomes_event(int* demand, const double* eventIndicators) {
  if (!(inline_integration && *demand == DEMAND_ALL_SECTIONS && event_iteration == 2)) return false;
  // Not reached in this model: inline integration stays off.
  for (int i = 0; i < 2 * driver_dimensions.nrel; ++i)
    if (saved_crossings[i] * eventIndicators[i] < 0) iterate_again = 1;
  if (!iterate_again) return false;
  *demand = DEMAND_EVENT_UPDATE;
  event_mode = 1;
  event_iteration = 0;
  return true;
}

// A pass that left the restart conditions open, within the iteration limit:
// prepares the next pass in event mode. Returns the next step: another pass
// when the iteration runs within this call, else the end of the call, which
// the next call continues.
DriverStep continue_iteration(int* computedLevel, int* intOptions) {
  // Not reached in this model: no pass ends with a run status; a model error
  // leaves through the trap.
  if (run_status != QIERR_OK) return DRIVER_FINISH;
  if (intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_EVENTS) {
    emit_message_line("Iterating to find consistent restart conditions.");
  } else if (event_iteration == max_event_iterations &&
             !(intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_QUIET)) {
    emit_message_line("");
    emit_message_line("On the final iteration for restart conditions we get:");
    intOptions[INT_OPTION_LOG_FLAGS] = intOptions[INT_OPTION_LOG_FLAGS] | LOG_FLAG_EVENTS;
  }
  if (initial_rerun_stage == 1) {
    // Not reached in this model: nothing sets initial_rerun_stage to 1.
    initial_rerun_stage = 2;
  } else {
    init_flag = 0;
    initial_rerun_stage = 0;
  }
  params_changed = (params_changed && params_changed_in_pass) ? 1 : 0;
  event_mode = 1;
  *computedLevel = 0;
  if (iteration_phase == ITERATION_PHASE_LAST) {
    // Not reached in this model: the interface layer passes phase 0 only.
    iteration_phase = ITERATION_PHASE_CONVERGE;
    return DRIVER_START_PASS;
  }
  if (iteration_phase == ITERATION_PHASE_CONVERGE) return DRIVER_START_PASS;
  // Not reached in this model: the interface layer passes phase 0 only.
  iteration_phase = ITERATION_PHASE_CONTINUE;
  return DRIVER_FINISH;
}

// The iteration limit is passed: an error, in *QiErr and the run status.
void report_inconsistent_restart(int* QiErr) {
  emit_message_line("");
  print_named_real(0, "ERROR: Finding consistent restart conditions failed at time: ", current_time);
  emit_message_line("");
  *QiErr = QIERR_ERROR;
  run_status = QIERR_ERROR;
}

// The restart conditions are consistent: logs the event (under
// LOG_FLAG_EVENTS), anticipates the next ones when intOptions asks for it
// and, after an event, settles the relations' crossing functions, which
// inline integration keeps for the sign test of the next step.
// *computedLevel becomes *demand.
void complete_evaluation(const int* demand, int* computedLevel, double* der,
                         double* eventIndicators, double* realOptions, int* intOptions) {
  iteration_phase = ITERATION_PHASE_CONVERGE;
  init_flag = first_event_after_init;
  first_event_after_init = 0;
  if (((init_flag && driver_dimensions.nrel > 0) || iterate_again || event_iteration > 1) &&
      (intOptions[INT_OPTION_LOG_FLAGS] & LOG_FLAG_EVENTS))
    print_named_real(0, "      during event at Time : ", current_time);
  if (intOptions[INT_OPTION_ANTICIPATION] != 0) {
    // Not reached in this model: nothing sets intOptions[INT_OPTION_ANTICIPATION].
    const bool scaled = intOptions[INT_OPTION_ANTICIPATION] == ANTICIPATION_SCALES_DERIVATIVES;
    anticipate_events_fixed_step(current_time, init_flag, event_mode, eventIndicators,
                                 driver_dimensions.anticipated_relations, der,
                                 scaled ? driver_dimensions.nx : 0, realOptions, intOptions);
  }
  if (event_mode) {
    for (int k = 1; k <= driver_dimensions.nrel; ++k) {
      if (relation_evaluated[k] == 0) {
        // Not reached in this model: every pass evaluates its one relation.
        if ((relation_attributes[k] & RELATION_ATTRIBUTE_NEUTRAL_WHEN_SKIPPED) ||
            eventIndicators[2 * k - 1] == 0.0)
          eventIndicators[2 * k - 2] = eventIndicators[2 * k - 1] = RELATION_CROSSING_NEUTRAL;
        relation_attributes[k] = relation_attributes[k] & RELATION_ATTRIBUTE_PERSISTENT;
      } else {
        relation_attributes[k] = relation_attributes[k] & (RELATION_ATTRIBUTE_PERSISTENT |
                                                           RELATION_ATTRIBUTE_NEUTRAL_WHEN_SKIPPED);
      }
    }
    // Not reached in this model: inline integration stays off.
    if (inline_integration)
      for (int i = 0; i < 2 * driver_dimensions.nrel; ++i) saved_crossings[i] = eventIndicators[i];
  }
  *computedLevel = *demand;
}

// After a pass: where the call goes on.
DriverStep after_pass(int* demand, int* computedLevel, double* der, double* eventIndicators,
                      double* realOptions, int* intOptions, int* QiErr) {
  // Not reached in this model: nothing sets restart_requested.
  if (restart_requested != 0) return DRIVER_START_PASS;
  if (full_evaluation_becomes_event(demand, eventIndicators)) return DRIVER_SET_UP;
  const bool converged = initial_rerun_stage == 0 &&
                         (init_flag == 0 || driver_dimensions.nrel <= 0) && iterate_again == 0;
  const bool exhausted = event_iteration > max_event_iterations;
  if (!converged && !exhausted) return continue_iteration(computedLevel, intOptions);
  if (exhausted) {
    report_inconsistent_restart(QiErr);
    return DRIVER_FINISH;
  }
  complete_evaluation(demand, computedLevel, der, eventIndicators, realOptions, intOptions);
  return DRIVER_FINISH;
}

// The passes of one call, from the step the iteration phase asks for: an
// event iteration's set-up goes on to the start of a pass, which goes on to
// the evaluation; what follows the evaluation says where the call goes on.
void run_passes(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
                double* p, void* spare2, void* spare3, double* der, double* y, double* w,
                double* eventIndicators, double* realOptions, int* intOptions, void* spare4,
                int* QiErr, int extra) {
  // Not reached in this model: the start at the evaluation (phase 5); the
  // interface layer passes phase 0 only.
  DriverStep step = iteration_phase == ITERATION_PHASE_EVALUATE ? DRIVER_EVALUATE : DRIVER_SET_UP;
  for (;;) {
    switch (step) {
      case DRIVER_SET_UP:
        set_up_event_iteration(demand, realOptions);
        [[fallthrough]];
      case DRIVER_START_PASS:
        start_pass();
        [[fallthrough]];
      case DRIVER_EVALUATE:
        run_sections_with_homotopy(demand, computedLevel, time, x, spare1, u, p, spare2, spare3,
                                   der, y, w, eventIndicators, realOptions, intOptions, spare4,
                                   QiErr, extra);
        step = after_pass(demand, computedLevel, der, eventIndicators, realOptions, intOptions,
                          QiErr);
        break;
      case DRIVER_FINISH:
        return;
    }
  }
}

}  // namespace

// The trap is armed before anything else; after the jump back only globals
// and the caller's arrays are read, no local of a frame the jump left.
int dsblock_run(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
                double* p, void* spare2, void* spare3, double* der, double* y, double* w,
                double* eventIndicators, double* realOptions, int* intOptions, void* spare4,
                int* QiErr, int extra) {
  assert(demand && computedLevel && time && eventIndicators && realOptions && intOptions && QiErr);
  if (setjmp(error_trap) != 0) {
    // Frames between here and the error are gone: nothing may point into them.
    error_trap_active = 0;
    reset_evaluation_scratch();
    *QiErr = QIERR_ERROR;
    return 0;
  }
  error_trap_active = 1;
  begin_call(demand, computedLevel, time, eventIndicators, realOptions, intOptions);
  run_passes(demand, computedLevel, time, x, spare1, u, p, spare2, spare3, der, y, w,
             eventIndicators, realOptions, intOptions, spare4, QiErr, extra);
  // Not reached in this model: run_status is left apart from *QiErr only by
  // a status the sections set without the trap (terminate(), -998,
  // homotopy), and its sections set none.
  if (run_status != QIERR_OK && *QiErr == QIERR_OK) *QiErr = run_status;
  error_trap_active = 0;
  return 0;
}

void reset_instance_options(double* realOptions, int* intOptions) {
  realOptions[REAL_OPTION_UNUSED] = 0;
  realOptions[REAL_OPTION_STEP_FACTOR] = 1.0;
  realOptions[REAL_OPTION_TIME_SCALE] = 0;
  intOptions[INT_OPTION_INLINE_INTEGRATION] = 0;
}

void runtime_set_options(double* realOptions, int* intOptions) {
  RuntimeContext* c = active_runtime_context();
  c->realOptions = realOptions;
  c->intOptions = intOptions;
}

void runtime_set_text_callback(RuntimeTextCallback callback) {
  active_runtime_context()->textCallback = callback;
}

double* runtime_real_options() { return active_runtime_context()->realOptions; }

int* runtime_int_options() { return active_runtime_context()->intOptions; }

int runtime_lists_reset() {
  RuntimeContext* c = active_runtime_context();
  // Entries are cleared as they are freed, so a later reset never frees twice.
  for (int i = 0; i <= c->lastBlockA && i < RUNTIME_BLOCK_LIST_LENGTH; ++i) {
    std::free(c->blockListA[i].block);
    c->blockListA[i].block = nullptr;
  }
  for (int i = 0; i <= c->lastBlockB && i < RUNTIME_BLOCK_LIST_LENGTH; ++i) {
    std::free(c->blockListB[i].block);
    c->blockListB[i].block = nullptr;
  }
  c->lastBlockA = -1;
  c->lastBlockB = -1;
  return -1;
}

void reset_evaluation_scratch() {
  buffer_reset_all();
  function_stack = nullptr;
}

// Not reached in this model: it calls no terminate().
void terminate_simulation(const char* text) {
  if (run_status == QIERR_TERMINATE) return;
  emit_message_line("Simulation successfully terminated");
  emit_message_line(text);
  run_status = QIERR_TERMINATE;
}

// Not reached in this model: nothing calls it.
void set_status_minus_998() { run_status = QIERR_STATUS_998; }

// Not reached in this model: nothing calls it.
void empty_procedure() {}

// Not reached in this model: nothing calls it.
int zero_stub() { return 0; }

// Not reached in this model: nothing calls it.
int get_event_mode_flag() { return event_mode; }

void set_iteration_phase(int phase) {
  assert(phase == ITERATION_PHASE_CONVERGE || phase == ITERATION_PHASE_FIRST ||
         phase == ITERATION_PHASE_CONTINUE || phase == ITERATION_PHASE_LAST ||
         phase == ITERATION_PHASE_EVALUATE);
  iteration_phase = phase;
}

int get_iteration_phase() { return iteration_phase; }

// Not reached in this model: intOptions[INT_OPTION_INLINE_INTEGRATION] stays
// 0, so the slave's initialization never switches inline integration on.
void set_inline_integration(int on) { inline_integration = on; }

int constant_zero() { return 0; }

}  // namespace pelvarin
