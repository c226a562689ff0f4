// The runtime's process-wide state: the driver's variables, which the
// generated model shares, the runtime context, and the state of the event
// services and of the elapsed-time counter. Only the runtime and the
// generated model include it; the layers above use the accessors of
// source/evaluation_driver.h.
#pragma once

#include <csetjmp>
#include <cstdint>
#include <cstdio>

#include "source/evaluation_driver.h"
#include "source/small_services.h"

namespace pelvarin {

// Where a model error jumps back to; armed at the start of every dsblock_run.
extern jmp_buf error_trap;
// 1 only while dsblock_run runs, so that a model error raised outside an
// evaluation never jumps into a frame that has returned.
extern int error_trap_active;

extern double current_time;
extern int init_flag;
extern int first_event_after_init;
extern int event_mode;
extern int params_changed;
extern int param_count_seen;
extern int params_changed_in_pass;
extern int init_call_count;
extern double initialization_time;
extern int event_iteration;
extern int max_event_iterations;
extern int iterate_again;
extern int restart_requested;
extern int initial_rerun_stage;
extern double integer_hysteresis;
extern int run_status;
extern int iteration_phase;
extern int inline_integration;
extern int homotopy_used;
extern int homotopy_active;
extern double homotopy_lambda;
extern double homotopy_step;
extern double homotopy_last_good;
extern int homotopy_notice_call;

// The driver's copies of the model's dimensions, filled at every
// initialization call. Only nx, nrel and the anticipated-relation count are used.
struct DriverDimensions {
  int nx;
  int unused1, unused2, unused3;
  int nw;
  int np;
  int unused6;
  int anticipated_relations;
  int nrel;
  int unused9, unused10;
};
extern DriverDimensions driver_dimensions;

// One entry of the runtime's block lists; only the first member is used.
struct RuntimeBlockEntry {
  void* block;
};

enum { RUNTIME_BLOCK_LIST_LENGTH = 2000 };


// The streams start out NULL (no stream): a stream is no constant, and the
// library must need no start-up code.
struct RuntimeContext {
  FILE* messageStream;
  FILE* errorStream;
  const char* messagePrefix;
  int prefixLines;
  RuntimeBlockEntry blockListA[RUNTIME_BLOCK_LIST_LENGTH];
  RuntimeBlockEntry blockListB[RUNTIME_BLOCK_LIST_LENGTH];
  int lastBlockA;
  int lastBlockB;
  double* realOptions;
  int* intOptions;
  RuntimeMessageCallback messageCallback;  // the stream message path's
  RuntimeTextCallback textCallback;        // every text of the message route; NULL drops them
};

// The static context, and the pointer that would replace it when set.
extern RuntimeContext runtime_context;
extern RuntimeContext* current_context;

// The context the accessors work on, chosen afresh at every call.
RuntimeContext* active_runtime_context();

// Event services: the earliest time event proposed since the next-time-event
// slot was last reset, and the state of event anticipation.
extern double time_event_candidate;
extern double anticipation_step;
extern double anticipation_event_time;
extern double anticipation_last_time;
extern double anticipation_step_start;
extern double anticipation_shift_time;
extern double anticipation_fraction;
extern double anticipation_fraction_before;
extern double anticipation_best;
extern double anticipation_next_factor;
extern double anticipation_window_start;
extern double anticipation_window_end;

// The host's clock of the elapsed-time counter (NULL: the built-in one) and
// the counter's readings.
extern TimerCounterCallback timer_callback;
extern double elapsed_start_stamp;
extern int elapsed_started;
extern std::int32_t clock_last_ticks;
extern double clock_wrap_offset;

}  // namespace pelvarin
