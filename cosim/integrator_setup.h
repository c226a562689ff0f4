// The co-simulation slave's integrator: the record that ties the instance to
// it, its creation and release, the check of every integrator result, the
// integrator's messages and the interpolation of the inputs.
#pragma once

#include <cstdint>

#include "source/processor_clock.h"
#include "fmi/model_instance.h"
#include "integrator/mstep.h"

namespace pelvarin {

// Fixed solver settings of a slave.
constexpr double CS_DEFAULT_RELTOL = 1e-5;
// The relative tolerance that the slave's initialization asks for: not
// above 0, so the set-up takes CS_DEFAULT_RELTOL.
constexpr double CS_RELTOL_UNSET = -1.0;
constexpr double CS_NONLIN_CONV_COEF = 0.1;
constexpr int CS_MAX_NUM_STEPS = 100000;
constexpr int CS_MAX_NONLIN_ITERS = 3;
constexpr int CS_MAX_ERR_TEST_FAILS = 15;

// A counter or statistic that the integrator could not give.
constexpr int CS_STATISTIC_UNREAD = -1;

// Kinds of check_integrator_flag.
enum {
  CS_CHECK_POINTER = 0,  // the value is a pointer that an integrator function returned
  CS_CHECK_FLAG = 1,     // the value is the address of a returned flag
};

// One per initialized slave; from the host's allocateMemory through
// allocate_zeroed, so it starts zero-filled.
struct IntegratorDriver {
  N_Vector stateVector;  // over the instance's own x, not owning it
  void* mstep_mem;       // null until the set-up has stored the handle
  N_Vector absTol;
  N_Vector errWeights;  // refreshed at every Jacobian
  N_Vector work1;       // derivatives of the grouped Jacobian
  N_Vector work2;       // saved states of the grouped Jacobian
  DlsMat storedJacobian;  // for the grouped Jacobian's product form, which nothing computes; null
  double inputRefTime;
  double* inputDer;  // nu+1 entries
  double* inputRef;  // nu+1 entries
  std::int32_t inputDerValid;
  double* prevOutputs;  // ny+1 entries
  double prevOutputTime;
  std::int32_t externalSteps;
  std::int32_t internalSteps;
  std::int32_t jacobianCalls;
  std::int32_t derivativeCalls;
  float derivativeClock;  // processor ticks; seconds after finish_integrator
  float indicatorClock;
  float startClock;
  // A termination reached from inside an integrator call must not release
  // the integrator under its own feet: it is noted here and carried out once
  // the call has returned.
  std::int32_t integratorCallDepth;
  std::int32_t releasePending;
  // The run of events that the current step is counting (see
  // event_without_progress): the time it began at and its events so far.
  double eventRunTime;
  std::int32_t eventRunCount;
  double stepTarget;  // where the current step ends
  // Where the stepper left the slave, in step with the integrator: a host
  // that moves the time away from it, further than a communication point
  // may lie, gets the integrator restarted there.
  double standingTime;
};

// Adds n to one of the driver's counters; a very long run stops it at the
// limit of its type instead of overflowing.
inline void add_to_counter(std::int32_t* counter, std::int64_t n) {
  const std::int64_t sum = static_cast<std::int64_t>(*counter) + n;
  *counter = sum > INT32_MAX   ? INT32_MAX
             : sum < INT32_MIN ? INT32_MIN
                               : static_cast<std::int32_t>(sum);
}

// Releases the integrator and driver, without the statistics report;
// nothing when there is none.
void free_integrator(ModelInstance* instance);

// A setter stored input `index`: it becomes the reference value of that
// input's interpolation.
void update_input_reference(ModelInstance* instance, std::int32_t index);

// A new integrator (BDF, Newton, dense Jacobian) at the instance's time and
// states, with relative tolerance rtol (the default when not positive) and
// absolute tolerances rtol times the nominal values; a model without states
// gets a dummy one. Any previous driver is released first. Returns 0 with
// instance->integrator ready; 1 on failure (logged, except a failed
// allocation from the host), with everything created released.
int setup_integrator(ModelInstance* instance, double rtol);
// Logs the statistics (when the driver holds the integrator) and releases the
// integrator and driver (later, when an integrator call is in progress).
void finish_integrator(ModelInstance* instance);

// 1 when the value shows a failure (logged), else 0. kind: CS_CHECK_POINTER
// (value is the returned pointer) or CS_CHECK_FLAG (value points at the flag).
int check_integrator_flag(const void* value, const char* functionName, int kind,
                          ModelInstance* instance);

// The integrator's messages, as warnings to the host.
void integrator_error_handler(int error_code, const char* module, const char* function,
                              const char* message, void* instance);

// Inputs with valid derivatives take their values at t.
void interpolate_inputs(ModelInstance* instance, double t);

// Marks a driver whose integrator is being called (see releasePending).
void begin_integrator_call(IntegratorDriver* driver);
// Ends it; 1 when a termination asked for the release meanwhile, which has
// then been carried out, or when there is no driver any more
// (instance->integrator is null either way); else 0.
int end_integrator_call(ModelInstance* instance);

// The group count that the process-wide Jacobian grouping reports, printed in
// the statistics.
extern std::int32_t grouping_used;

}  // namespace pelvarin
