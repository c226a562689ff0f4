// The evaluation driver: what the generated model and the layers above call.
// The process-wide state it shares with the generated model is in
// source/runtime_state.h, which only the runtime and the model include.
#pragma once

namespace pelvarin {

typedef void (*RuntimeMessageCallback)(int type, const char* text);
// Where the runtime's texts go: one complete line (isLine 1) or a piece of a
// line still being assembled (0).
typedef void (*RuntimeTextCallback)(const char* text, int isLine);

// One evaluation of the model at *demand, with the event iteration it needs.
// Needs: demand, computedLevel, time, eventIndicators, realOptions, intOptions
// and QiErr valid, and the arrays the model reads and writes of its lengths.
// Guarantees: a model error inside jumps back here and ends the call with
// *QiErr QIERR_ERROR and the work areas reset; after a converged iteration
// *computedLevel is *demand (which a step of inline integration may rewrite).
// Returns 0; the status is *QiErr.
int dsblock_run(int* demand, int* computedLevel, double* time, double* x, void* spare1, double* u,
                double* p, void* spare2, void* spare3, double* der, double* y, double* w,
                double* eventIndicators, double* realOptions, int* intOptions, void* spare4,
                int* QiErr, int extra);

// Needs both arrays of their full lengths; puts the unused slot, the step
// factor, the time scale and the inline-integration slot to their start values.
void reset_instance_options(double* realOptions, int* intOptions);
// The option arrays that the event services and the error report read, in
// the active runtime context.
void runtime_set_options(double* realOptions, int* intOptions);
// The layer that reaches the host installs where the runtime's texts go.
void runtime_set_text_callback(RuntimeTextCallback callback);
// The arrays runtime_set_options stored; NULL before it.
double* runtime_real_options();
int* runtime_int_options();
// Frees every block of the context's two block lists and empties them;
// safe to repeat. Returns -1.
int runtime_lists_reset();
// Empties the work areas and the function stack: nothing handed out from
// them before stays valid.
void reset_evaluation_scratch();
// The model's terminate(): the first call in an evaluation reports text and
// sets the run status to QIERR_TERMINATE; later calls in it do nothing.
void terminate_simulation(const char* text);
void set_status_minus_998();
void empty_procedure();
int zero_stub();
int get_event_mode_flag();
int constant_zero();

// iteration_phase (ITERATION_PHASE_ values), which the interface layer sets
// before every dsblock_ call and reads after an event update.
void set_iteration_phase(int phase);
int get_iteration_phase();
// Inline integration, which the slave's initialization switches on when the
// instance asks for it.
void set_inline_integration(int on);

}  // namespace pelvarin
