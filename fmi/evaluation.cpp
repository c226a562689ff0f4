#include "fmi/evaluation.h"

#include <cassert>
#include <cmath>

#include "fmi/fmi_functions.h"
#include "fmi/layer_hooks.h"
#include "fmi/logging.h"
#include "fmi/version.h"
#include "source/evaluation_driver.h"
#include "source/model_interface.h"
#include "source/runtime_constants.h"

namespace pelvarin {

namespace {

// dsblock_ may rewrite the demand it is given: hand it a copy.
int call_model(ModelInstance* instance, int demand) {
  int qiErr = QIERR_OK;
  dsblock_(&demand, &instance->computedLevel, &instance->time, instance->x, nullptr, instance->u,
           instance->p, nullptr, nullptr, instance->der, instance->y, instance->w,
           instance->eventIndicators, instance->realOptions, instance->intOptions, nullptr, &qiErr);
  return qiErr;
}

// The end of a run: the result file is finished, the model's work arrays are
// reset and the instance is terminated. Returns fmiOK.
fmiStatus terminate_instance(ModelInstance* instance) {
  if (!instance->isCoSimulation) FMI_LOG(instance, fmiOK, "fmiTerminateModel");
  if (instance->resultGeneration) result_hooks().finish_result_generation(instance);
  model_reset_work_arrays();
  instance->state = INSTANCE_TERMINATED;
  return fmiOK;
}

const int FMI_EVENT_UPDATE_DEMANDS[2] = {DEMAND_EVENT_FIRST_PASS, DEMAND_EVENT_UPDATE};

}  // namespace

int evaluate_model(ModelInstance* instance, int demand, const char* callerName) {
  if (instance->state != INSTANCE_INSTANTIATED) set_iteration_phase(ITERATION_PHASE_CONVERGE);
  int qiErr = call_model(instance, demand);
  if (qiErr != QIERR_OK) {
    // The model raises the level as it goes; after a failure nothing it
    // computed is current, and the next read must evaluate again.
    instance->computedLevel = 0;
    if (callerName != nullptr) FMI_LOG(instance, fmiError, "%s: dsblock_ failed, QiErr = %d", callerName, qiErr);
  }
  return qiErr;
}

fmiStatus terminate_on_error(ModelInstance* instance) {
  if (instance->state == INSTANCE_INSTANTIATED) {
    instance->state = INSTANCE_TERMINATED;
  } else if (instance->state != INSTANCE_TERMINATED) {
    if (instance->isCoSimulation) {
      cosim_hooks().fmiTerminateSlave(instance);
    } else {
      terminate_instance(instance);
    }
  }
  assert(instance->state == INSTANCE_TERMINATED);
  return fmiError;
}

fmiStatus fmiSetTime(fmiComponent c, fmiReal time) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[FMI_NAME_SET_TIME];
  // No event, relation or step could ever be decided at such a time.
  if (!std::isfinite(time)) {
    FMI_LOG(instance, fmiError, "%s: time = %g is not a finite number", name, time);
    return fmiError;
  }
  instance->time = time;
  instance->computedLevel = 0;
  FMI_LOG(instance, fmiOK, "%s to %g", name, time);
  return fmiOK;
}

fmiStatus initialize_model(ModelInstance* instance, fmiBoolean toleranceControlled,
                           fmiReal /*relativeTolerance*/) {
  if (instance->state != INSTANCE_INSTANTIATED) {
    FMI_LOG(instance, fmiDiscard, "model cannot be initialized in current state(%d)", instance->state);
    return fmiDiscard;
  }
  fmiStatus result = fmiOK;
  if (toleranceControlled == fmiTrue) {
    FMI_LOG(instance, fmiWarning, "fmiInitialize: tolerance control not supported");
    result = fmiWarning;
  }
  reset_instance_options(instance->realOptions, instance->intOptions);
  instance->computedLevel = -1;
  set_iteration_phase(ITERATION_PHASE_CONVERGE);
  int qiErr = evaluate_model(instance, DEMAND_INITIALIZE, nullptr);
  if (qiErr != QIERR_OK) {
    FMI_LOG(instance, fmiError, "fmiInitialize: dsblock_ failed, QiErr = %d", qiErr);
    FMI_LOG(instance, fmiError,
            "Unless otherwise indicated by error messages, possible errors are (non-exhaustive):\n"
            "The model references external data that is not present on the target machine, at "
            "least not with the same location.\n");
    return terminate_on_error(instance);
  }
  if (instance->resultGeneration) result_hooks().setup_result_generation(instance);
  return result;
}

fmiStatus fmiInitialize(fmiComponent c, fmiBoolean toleranceControlled, fmiReal relativeTolerance,
                        fmiEventInfo* eventInfo) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[FMI_NAME_INITIALIZE];
  if (eventInfo == nullptr) {
    FMI_LOG(instance, fmiError, "%s: argument eventInfo is NULL", name);
    return fmiError;
  }
  if (!instance->isCoSimulation) FMI_LOG(instance, fmiOK, "%s...", name);

  fmiStatus result = initialize_model(instance, toleranceControlled, relativeTolerance);
  if (result != fmiOK && result != fmiWarning) return result;

  eventInfo->terminateSimulation = fmiFalse;
  const double nextTimeEvent = instance->realOptions[REAL_OPTION_NEXT_TIME_EVENT];
  eventInfo->upcomingTimeEvent = nextTimeEvent < FMI_INITIAL_TIME_EVENT_BOUND ? fmiTrue : fmiFalse;
  if (eventInfo->upcomingTimeEvent) eventInfo->nextEventTime = nextTimeEvent;

  if (!instance->isCoSimulation) {
    instance->state = INSTANCE_INITIALIZED;
    FMI_LOG(instance, fmiOK, "%s completed", name);
  }
  instance->eventIterationStarted = 0;
  FMI_LOG(instance, fmiOK, "%s", name);
  return result;
}

fmiStatus event_update_core(ModelInstance* instance, fmiBoolean intermediateResults,
                            fmiEventInfo* eventInfo) {
  assert(eventInfo != nullptr);
  const bool intermediate = intermediateResults == fmiTrue;
  bool converged = false;
  for (int pass = intermediate ? 1 : 0; pass < 2; ++pass) {
    if (pass == 1) {
      if (intermediate) {
        // Not reached in this model: updates run on initialized instances
        // only, whose calls all have ITERATION_PHASE_CONVERGE, which the
        // runtime keeps; so every update converges, and eventIterationStarted
        // is 0 when the next one begins.
        if (instance->eventIterationStarted) {
          set_iteration_phase(ITERATION_PHASE_CONTINUE);
        } else {
          set_iteration_phase(ITERATION_PHASE_FIRST);
          instance->eventIterationStarted = 1;
        }
      } else {
        // Not reached in this model: ITERATION_PHASE_LAST, as
        // eventIterationStarted is 0 here (see above).
        set_iteration_phase(instance->eventIterationStarted ? ITERATION_PHASE_LAST
                                                            : ITERATION_PHASE_CONVERGE);
      }
      instance->computedLevel = 0;
    }
    if (instance->state != INSTANCE_INSTANTIATED) set_iteration_phase(ITERATION_PHASE_CONVERGE);
    int qiErr = call_model(instance, FMI_EVENT_UPDATE_DEMANDS[pass]);
    converged = get_iteration_phase() == ITERATION_PHASE_CONVERGE;
    set_iteration_phase(ITERATION_PHASE_CONVERGE);
    eventInfo->terminateSimulation = fmiFalse;
    // Not reached in this model: its runtime never reports QIERR_TERMINATE, as
    // the model calls no terminate().
    if (qiErr == QIERR_TERMINATE) {
      FMI_LOG(instance, fmiOK, "event updating: simulation terminated by model");
      eventInfo->terminateSimulation = fmiTrue;
      return fmiOK;
    }
    if (qiErr != QIERR_OK) {
      instance->computedLevel = 0;
      FMI_LOG(instance, fmiError, "event updating: dsblock_ failed, QiErr = %d", qiErr);
      return terminate_on_error(instance);
    }
  }

  // Not reached in this model: fmiFalse, as every update converges (see
  // above).
  eventInfo->iterationConverged = converged ? fmiTrue : fmiFalse;
  if (converged) instance->eventIterationStarted = 0;
  eventInfo->stateValueReferencesChanged = fmiFalse;
  eventInfo->stateValuesChanged = instance->nx > 0 ? fmiTrue : fmiFalse;
  const double nextTimeEvent = instance->realOptions[REAL_OPTION_NEXT_TIME_EVENT];
  eventInfo->upcomingTimeEvent = nextTimeEvent < FMI_EVENT_UPDATE_TIME_EVENT_BOUND ? fmiTrue : fmiFalse;
  if (eventInfo->upcomingTimeEvent) eventInfo->nextEventTime = nextTimeEvent;
  return fmiOK;
}

fmiStatus fmiEventUpdate(fmiComponent c, fmiBoolean intermediateResults, fmiEventInfo* eventInfo) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[FMI_NAME_EVENT_UPDATE];
  if (eventInfo == nullptr) {
    FMI_LOG(instance, fmiError, "%s: argument eventInfo is NULL", name);
    return fmiError;
  }
  FMI_LOG(instance, fmiOK, "%s...", name);
  if (instance->state != INSTANCE_INITIALIZED) {
    FMI_LOG(instance, fmiDiscard, "%s: initialization must be done before event updating is allowed", name);
    return fmiDiscard;
  }
  if (instance->resultGeneration) result_hooks().store_result_point(instance, true);
  fmiStatus result = event_update_core(instance, intermediateResults, eventInfo);
  if (result == fmiError) return terminate_on_error(instance);
  FMI_LOG(instance, fmiOK, "%s completed", name);
  return result;
}

fmiStatus fmiCompletedIntegratorStep(fmiComponent c, fmiBoolean* callEventUpdate) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[FMI_NAME_COMPLETED_INTEGRATOR_STEP];
  if (callEventUpdate == nullptr) {
    FMI_LOG(instance, fmiError, "%s: argument callEventUpdate is NULL", name);
    return fmiError;
  }
  if (instance->resultGeneration) result_hooks().store_result_point(instance, false);
  // Not reached in this model: fmiTrue, as nothing sets
  // intOptions[INT_OPTION_EVENT_AFTER_STEP] to anything but 0.
  *callEventUpdate = instance->intOptions[INT_OPTION_EVENT_AFTER_STEP] != 0 ? fmiTrue : fmiFalse;
  FMI_LOG(instance, fmiOK, "%s", name);
  return fmiOK;
}

fmiStatus fmiTerminate(fmiComponent c) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  return terminate_instance(instance);
}

}  // namespace pelvarin
