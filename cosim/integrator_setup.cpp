#include "cosim/integrator_setup.h"

#include <cassert>
#include <cmath>
#include <initializer_list>

#include "cosim/integrator_callbacks.h"
#include "fmi/logging.h"
#include "integrator/allocation.h"
#include "source/runtime_constants.h"

namespace pelvarin {

std::int32_t grouping_used = 0;

namespace {

// A statistic read through one of the integrator's getters;
// CS_STATISTIC_UNREAD when it fails.
long read_counter(ModelInstance* instance, int (*getter)(void*, int*), void* mem,
                  const char* name) {
  int value = CS_STATISTIC_UNREAD;
  int flag = getter(mem, &value);
  if (check_integrator_flag(&flag, name, CS_CHECK_FLAG, instance)) return CS_STATISTIC_UNREAD;
  return value;
}

}  // namespace

int check_integrator_flag(const void* value, const char* functionName, int kind,
                          ModelInstance* instance) {
  if (kind == CS_CHECK_POINTER) {
    if (value == nullptr) {
      FMI_LOG(instance, fmiError, "INTEGRATOR_ERROR: %s() failed - returned NULL pointer",
              functionName);
      return 1;
    }
    return 0;
  }
  if (kind == CS_CHECK_FLAG) {
    int flag = *static_cast<const int*>(value);
    if (flag < 0) {
      // The flag name of the integrator's table also for the dense solver's codes.
      char* name = MstepGetReturnFlagName(flag);
      FMI_LOG(instance, fmiError, "INTEGRATOR_ERROR: %s() failed with flag = %s", functionName,
              name ? name : "NONE");
      msRelease(name);
      return 1;
    }
  }
  return 0;
}

void integrator_error_handler(int error_code, const char* module, const char* function,
                              const char* message, void* data) {
  ModelInstance* instance = static_cast<ModelInstance*>(data);
  if (instance == nullptr) return;
  char* name = MstepGetReturnFlagName(error_code);
  FMI_LOG(instance, fmiWarning, "%s: %s failed with %s:\n %s", module ? module : "",
          function ? function : "", name ? name : "NONE", message ? message : "");
  msRelease(name);
}

void interpolate_inputs(ModelInstance* instance, double t) {
  IntegratorDriver* d = instance->integrator;
  if (d == nullptr || !d->inputDerValid || d->inputDer == nullptr || d->inputRef == nullptr)
    return;
  // Not reached in this model: it has no inputs, so no input derivatives are
  // ever valid.
  for (std::uint32_t i = 0; i < instance->nu; ++i)
    instance->u[i] = d->inputDer[i] * (t - d->inputRefTime) + d->inputRef[i];
}

// Not reached in this model: it has no inputs.
void update_input_reference(ModelInstance* instance, std::int32_t index) {
  if (instance == nullptr) return;
  IntegratorDriver* d = instance->integrator;
  if (d == nullptr || d->inputRef == nullptr) return;
  if (index < 0 || static_cast<std::uint32_t>(index) >= instance->nu) return;
  d->inputRef[index] = instance->u[index];
}

void begin_integrator_call(IntegratorDriver* driver) {
  assert(driver != nullptr && driver->integratorCallDepth >= 0);
  ++driver->integratorCallDepth;
}

int end_integrator_call(ModelInstance* instance) {
  IntegratorDriver* d = instance->integrator;
  if (d == nullptr) return 1;
  if (d->integratorCallDepth > 0) --d->integratorCallDepth;
  if (d->integratorCallDepth == 0 && d->releasePending) {
    d->releasePending = 0;
    finish_integrator(instance);
    return 1;
  }
  return 0;
}

namespace {

// The two steps of setup_integrator. Each needs a zeroed driver registered
// as instance->integrator and nx >= 1, and returns 0 when done, 1 on failure.
// Guarantees on 1: the failure is logged (nothing for a failed allocation
// from the host); the integrator's memory is in *mem until the driver holds
// its two work vectors, in the driver after that; everything else made is in
// the driver.

// The integrator over the slave's states: tolerances, root functions, the
// dense Jacobian and the limits.
int create_integrator(ModelInstance* instance, IntegratorDriver* d, double rtol, void** mem) {
  // Not reached in this model: a failure of the calls that only store a
  // setting (MstepSetUserData, MstepSetNonlinConvCoef, MstepStepRootInit,
  // MsDlsSetDenseJacFn and the three limits), which refuse only a missing
  // memory or dense solver.
  assert(instance->integrator == d && instance->nx >= 1 && *mem == nullptr);
  const int nx = static_cast<int>(instance->nx);
  int flag = 0;
  d->stateVector = N_VMake_Serial(nx, instance->x);
  if (check_integrator_flag(d->stateVector, "N_VMake_Serial", CS_CHECK_POINTER, instance)) return 1;
  *mem = MstepCreate(MS_BDF, MS_NEWTON);
  if (check_integrator_flag(*mem, "MstepCreate", CS_CHECK_POINTER, instance)) return 1;
  flag = MstepInit(*mem, integrator_derivatives, instance->time, d->stateVector);
  if (check_integrator_flag(&flag, "MstepInit", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepSetUserData(*mem, instance);
  if (check_integrator_flag(&flag, "MstepSetUserData", CS_CHECK_FLAG, instance)) return 1;
  d->absTol = N_VNew_Serial(nx);
  if (check_integrator_flag(d->absTol, "N_VNew_Serial", CS_CHECK_POINTER, instance)) return 1;
  double* atol = N_VGetArrayPointer(d->absTol);
  for (int i = 0; i < nx; ++i) atol[i] = rtol * instance->xNominal[i];
  flag = MstepSVtolerances(*mem, rtol, d->absTol);
  if (check_integrator_flag(&flag, "MstepSVtolerances", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepSetNonlinConvCoef(*mem, CS_NONLIN_CONV_COEF);
  if (check_integrator_flag(&flag, "MstepSetNonlinConvCoef", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepRootInit(*mem, static_cast<int>(instance->ni), integrator_root_functions);
  if (check_integrator_flag(&flag, "MstepRootInit", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepStepRootInit(*mem, integrator_step_event);
  if (check_integrator_flag(&flag, "MstepStepRootInit", CS_CHECK_FLAG, instance)) return 1;
  grouping_used = jacobian_groups[0];
  set_jacobian_group_count(jacobian_groups[0]);
  flag = MsDense(*mem, nx);
  if (check_integrator_flag(&flag, "MsDense", CS_CHECK_FLAG, instance)) return 1;
  flag = MsDlsSetDenseJacFn(*mem, integrator_dense_jacobian);
  if (check_integrator_flag(&flag, "MsDlsSetDenseJacFn", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepSetMaxNumSteps(*mem, CS_MAX_NUM_STEPS);
  if (check_integrator_flag(&flag, "MstepSetMaxNumSteps", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepSetMaxNonlinIters(*mem, CS_MAX_NONLIN_ITERS);
  if (check_integrator_flag(&flag, "MstepSetMaxNonlinIters", CS_CHECK_FLAG, instance)) return 1;
  flag = MstepSetMaxErrTestFails(*mem, CS_MAX_ERR_TEST_FAILS);
  if (check_integrator_flag(&flag, "MstepSetMaxErrTestFails", CS_CHECK_FLAG, instance)) return 1;
  return 0;
}

// The driver's vectors, the integrator handed over with its error handler,
// and the records of the input and output derivatives.
int complete_driver(ModelInstance* instance, IntegratorDriver* d, void** mem) {
  assert(instance->integrator == d && instance->nx >= 1 && *mem != nullptr);
  const int nx = static_cast<int>(instance->nx);
  int flag = 0;
  d->work1 = N_VNew_Serial(nx);
  d->work2 = N_VNew_Serial(nx);
  if (check_integrator_flag(d->work1, "N_VNew_Serial", CS_CHECK_POINTER, instance)) return 1;
  if (check_integrator_flag(d->work2, "N_VNew_Serial", CS_CHECK_POINTER, instance)) return 1;
  d->mstep_mem = *mem;
  *mem = nullptr;
  d->errWeights = N_VNew_Serial(nx);
  if (check_integrator_flag(d->errWeights, "N_VNew_Serial", CS_CHECK_POINTER, instance)) return 1;
  flag = MstepSetErrHandlerFn(d->mstep_mem, integrator_error_handler, instance);
  // Not reached in this model: a failure, as the setter refuses only a
  // missing memory.
  if (check_integrator_flag(&flag, "MstepSetErrHandlerFn", CS_CHECK_FLAG, instance)) return 1;
  instance->intOptions[INT_OPTION_INLINE_SWITCH] = 0;
  d->inputDer = static_cast<double*>(allocate_zeroed(instance, instance->nu + 1, sizeof(double)));
  d->inputRef = static_cast<double*>(allocate_zeroed(instance, instance->nu + 1, sizeof(double)));
  d->prevOutputs = static_cast<double*>(allocate_zeroed(instance, instance->ny + 1, sizeof(double)));
  if (d->inputDer == nullptr || d->inputRef == nullptr || d->prevOutputs == nullptr) return 1;
  // The first output-derivative estimate starts here.
  // Not reached in this model: the copy, as it has no outputs.
  for (std::uint32_t i = 0; i < instance->ny; ++i) d->prevOutputs[i] = instance->y[i];
  d->prevOutputTime = instance->time;
  return 0;
}

}  // namespace

int setup_integrator(ModelInstance* instance, double rtol) {
  // Not reached in this model: it has two states.
  if (instance->nx == 0) {
    // The integrator needs a state: a dummy one that stays 0.
    instance->nx = 1;
    instance->x[0] = 0.0;
    instance->xNominal[0] = 1.0;
  }
  if (!(rtol > 0)) rtol = CS_DEFAULT_RELTOL;
  // Never two drivers: any driver still held goes first.
  free_integrator(instance);

  IntegratorDriver* d =
      static_cast<IntegratorDriver*>(allocate_zeroed(instance, 1, sizeof(IntegratorDriver)));
  if (d == nullptr) return 1;
  instance->integrator = d;

  void* mem = nullptr;  // not the driver's until it holds its work vectors
  if (create_integrator(instance, d, rtol, &mem) != 0 || complete_driver(instance, d, &mem) != 0) {
    MstepFree(&mem);
    finish_integrator(instance);
    return 1;
  }
  d->inputDerValid = 0;
  d->derivativeClock = 0;
  d->jacobianCalls = 0;
  d->indicatorClock = 0;
  d->derivativeCalls = 0;
  d->startClock = static_cast<float>(processor_clock());
  d->standingTime = instance->time;
  return 0;
}

void finish_integrator(ModelInstance* instance) {
  // Not reached in this model: a null instance, as every caller passes one.
  if (instance == nullptr || instance->integrator == nullptr) return;
  IntegratorDriver* d = instance->integrator;
  if (d->integratorCallDepth > 0) {
    d->releasePending = 1;
    return;
  }
  if (d->mstep_mem != nullptr) {
    d->startClock = static_cast<float>((processor_clock() - d->startClock) /
                                       PROCESSOR_CLOCK_TICKS_PER_SECOND);
    d->derivativeClock =
        static_cast<float>(d->derivativeClock / PROCESSOR_CLOCK_TICKS_PER_SECOND);
    d->indicatorClock = static_cast<float>(d->indicatorClock / PROCESSOR_CLOCK_TICKS_PER_SECOND);
    void* mem = d->mstep_mem;
    // Not reached in this model: a failed read, as the driver holds the
    // integrator only once its dense solver is attached, and the getters
    // refuse only a missing memory or dense solver.
    long nonlinIters =
        read_counter(instance, MstepGetNumNonlinSolvIters, mem, "MstepGetNumNonlinSolvIters");
    long convFails = read_counter(instance, MstepGetNumNonlinSolvConvFails, mem,
                                  "MstepGetNumNonlinSolvConvFails");
    long gEvals = read_counter(instance, MstepGetNumGEvals, mem, "MstepGetNumGEvals");
    long jacEvals = read_counter(instance, MsDlsGetNumJacEvals, mem, "MsDlsGetNumJacEvals");
    double tolScale = CS_STATISTIC_UNREAD;
    int flag = MstepGetTolScaleFactor(mem, &tolScale);
    if (check_integrator_flag(&flag, "MstepGetTolScaleFactor", CS_CHECK_FLAG, instance))
      tolScale = CS_STATISTIC_UNREAD;
    // Not reached in this model: "yes" for the grouping, as its table holds
    // no column groups.
    FMI_LOG(instance, fmiOK,
            "Mstep Integrator Statistics\n"
            "    Stop time                                : %.2f s\n"
            "    Simulation time                          : %.2f s\n"
            "    Number of external steps                 : %d\n"
            "    Number of internal steps                 : %d\n"
            "    Number of non-linear iterations          : %ld\n"
            "    Number of non-linear convergence failures: %ld\n"
            "    Number of f function evaluations         : %d (%.2f s)\n"
            "    Number of g function evaluations         : %ld (%.2f s)\n"
            "    Number of Jacobian-evaluations (direct)  : %ld\n"
            "    Number of Jac function evaluations       : %d\n"
            "    Suggested tolerance scale factor         : %.1f\n"
            "    Grouping used                            : %s",
            instance->time, static_cast<double>(d->startClock), static_cast<int>(d->externalSteps),
            static_cast<int>(d->internalSteps), nonlinIters, convFails,
            static_cast<int>(d->derivativeCalls), static_cast<double>(d->derivativeClock), gEvals,
            static_cast<double>(d->indicatorClock), jacEvals, static_cast<int>(d->jacobianCalls),
            tolScale, grouping_used != 0 ? "yes" : "no");
  }
  free_integrator(instance);
}

void free_integrator(ModelInstance* instance) {
  // Not reached in this model: a null instance, as every caller passes one.
  if (instance == nullptr || instance->integrator == nullptr) return;
  IntegratorDriver* d = instance->integrator;
  MstepFree(&d->mstep_mem);
  N_VDestroy_Serial(d->stateVector);
  N_VDestroy_Serial(d->absTol);
  N_VDestroy_Serial(d->errWeights);
  N_VDestroy_Serial(d->work1);
  N_VDestroy_Serial(d->work2);
  for (double* block : {d->prevOutputs, d->inputDer, d->inputRef}) release_block(instance, block);
  instance->freeMemory(d);
  instance->integrator = nullptr;
}

}  // namespace pelvarin
