// The evaluation driver and the process-wide runtime state that the driver,
// the generated model and the FMI layer share.
#pragma once

#include <csetjmp>
#include <cstdio>

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

typedef void (*RuntimeMessageCallback)(int type, const char* text);
// Where the runtime's texts go: one complete line (isLine 1) or a piece of a
// line still being assembled (0).
typedef void (*RuntimeTextCallback)(const char* text, int isLine);

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

int dsblock_run(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
                double* p, void* spare2, void* spare3, double* der, double* y, double* w,
                double* eventIndicators, double* realOptions, int* intOptions, void* spare4,
                int* QiErr, int extra);

void reset_instance_options(double* realOptions, int* intOptions);
void runtime_set_options(double* realOptions, int* intOptions);
// The layer that reaches the host installs where the runtime's texts go.
void runtime_set_text_callback(RuntimeTextCallback callback);
double* runtime_real_options();
int* runtime_int_options();
int runtime_lists_reset();
void reset_evaluation_scratch();
void terminate_simulation(const char* text);
void set_status_minus_998();
void empty_procedure();
int zero_stub();
int get_event_mode_flag();
int constant_zero();
