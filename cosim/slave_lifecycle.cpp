#include "cosim/slave_lifecycle.h"

#include <cmath>

#include "cosim/integrator_setup.h"
#include "fmi/evaluation.h"
#include "fmi/fmi_functions.h"
#include "fmi/layer_hooks.h"
#include "fmi/logging.h"
#include "fmi/variable_access.h"
#include "fmi/version.h"
#include "source/evaluation_driver.h"
#include "source/model_interface.h"
#include "source/runtime_constants.h"

namespace pelvarin {

ModelInstance* live_slave(fmiComponent c, const char* name) {
  ModelInstance* m = live_instance(c);
  if (m == nullptr || m->isCoSimulation) return m;
  FMI_LOG(m, fmiError, "%s: the instance was not made by fmiInstantiateSlave", name);
  return nullptr;
}

fmiComponent fmiInstantiateSlave(fmiString instanceName, fmiString GUID, fmiString fmuLocation,
                                 fmiString mimeType, fmiReal timeout, fmiBoolean visible,
                                 fmiBoolean interactive, fmiCoSimCallbackFunctions functions,
                                 fmiBoolean loggingOn) {
  const CosimHooks hooks = {fmiTerminateSlave, free_integrator, update_input_reference};
  register_cosim_hooks(hooks);
  (void)fmuLocation;
  (void)mimeType;
  (void)visible;
  fmiCallbackFunctions modelFunctions = {functions.logger, functions.allocateMemory,
                                         functions.freeMemory};
  fmiComponent c = fmiInstantiateModel(instanceName, GUID, modelFunctions, loggingOn);
  if (c == nullptr) return nullptr;
  ModelInstance* m = static_cast<ModelInstance*>(c);
  m->isCoSimulation = fmiTrue;
  if (functions.stepFinished != nullptr)
    FMI_LOG(m, fmiWarning,
            "fmiInstantiateSlave: Callback function stepFinished != NULL but asynchronous "
            "fmiDoStep is not supported");
  if (timeout > 0) FMI_LOG(m, fmiWarning, "fmiInstantiateSlave: timeout != 0 is not supported");
  if (interactive) FMI_LOG(m, fmiWarning, "fmiInstantiateSlave: interactive not supported");
  FMI_LOG(m, fmiOK, "%s", fmi_function_names[FMI_NAME_INSTANTIATE_SLAVE]);
  return c;
}

void fmiFreeSlaveInstance(fmiComponent c) { fmiFreeModelInstance(c); }

fmiStatus initialize_slave_core(ModelInstance* m, fmiReal tStart, fmiBoolean stopTimeDefined,
                                fmiReal tStop) {
  m->terminatedByModel = fmiFalse;
  fmiSetTime(m, tStart);
  fmiEventInfo eventInfo = {};
  fmiStatus r = fmiInitialize(m, fmiFalse, 0.0, &eventInfo);
  if (r != fmiOK) return r;
  m->stopTime = tStop;
  m->stopTimeDefined = stopTimeDefined;
  m->inputsChanged = 0;
  if (!inline_integration_requested(m)) {
    if (setup_integrator(m, CS_RELTOL_UNSET) != 0) return fmiFatal;
  }
  return fmiOK;
}

fmiStatus fmiInitializeSlave(fmiComponent c, fmiReal tStart, fmiBoolean StopTimeDefined,
                             fmiReal tStop) {
  const char* name = fmi_function_names[FMI_NAME_INITIALIZE_SLAVE];
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  FMI_LOG(m, fmiOK, "%s...", name);
  // Refused before anything changes: an initialized slave keeps its time,
  // its integrator and its run, a fresh one stays fresh.
  if (m->state != INSTANCE_INSTANTIATED) {
    FMI_LOG(m, fmiDiscard, "model cannot be initialized in current state(%d)",
            static_cast<int>(m->state));
    return fmiDiscard;
  }
  if (!std::isfinite(tStart)) {
    FMI_LOG(m, fmiError, "%s: tStart = %g is not a finite number", name, tStart);
    return fmiError;
  }
  if (StopTimeDefined && !std::isfinite(tStop)) {
    FMI_LOG(m, fmiError, "%s: tStop = %g is not a finite number", name, tStop);
    return fmiError;
  }
  fmiStatus r = initialize_slave_core(m, tStart, StopTimeDefined, tStop);
  if (r != fmiOK) return r;
  m->state = INSTANCE_INITIALIZED;
  FMI_LOG(m, fmiOK, "%s completed", name);
  // Not reached in this model: nothing sets intOptions[INT_OPTION_INLINE_INTEGRATION].
  if (inline_integration_requested(m)) set_inline_integration(1);
  return fmiOK;
}

fmiStatus fmiTerminateSlave(fmiComponent c) {
  const char* name = fmi_function_names[FMI_NAME_TERMINATE_SLAVE];
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  FMI_LOG(m, fmiOK, "%s...", name);
  if (m->state == INSTANCE_TERMINATED) {
    FMI_LOG(m, fmiWarning, "%s: already terminated, ignoring call", name);
    return fmiWarning;
  }
  if (!inline_integration_requested(m)) finish_integrator(m);
  fmiStatus r = fmiTerminate(m);
  FMI_LOG(m, fmiOK, "%s completed", name);
  return r;
}

fmiStatus fmiResetSlave(fmiComponent c) {
  const char* name = fmi_function_names[FMI_NAME_RESET_SLAVE];
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  FMI_LOG(m, fmiOK, "%s...", name);
  if (m->state == INSTANCE_INSTANTIATED) {
    FMI_LOG(m, fmiOK, "%s: already reset, ignoring call", name);
    return fmiOK;
  }
  fmiStatus status = fmiOK;
  if (m->state == INSTANCE_INITIALIZED) {
    status = fmiTerminateSlave(c);
    // Not reached in this model: fmiTerminateSlave ends an initialized slave
    // with fmiOK.
    if (status != fmiOK && status != fmiWarning) return status;
  }
  if (m->state == INSTANCE_INITIALIZED || m->state == INSTANCE_TERMINATED) {
    // A slave ended by the model-exchange fmiTerminate still holds its integrator.
    free_integrator(m);
    int QiErr = QIERR_OK;
    declare_(m->x, m->p, nullptr, &QiErr);
    // Not reached in this model: its declare_ never reports a QiErr.
    if (QiErr != QIERR_OK) {
      FMI_LOG(m, fmiError, "%s: declare_ failed, QiErr = %d", name, QiErr);
      return terminate_on_error(m);
    }
    m->state = INSTANCE_INSTANTIATED;
  }
  FMI_LOG(m, status, "%s completed", name);
  return status;
}

namespace {

// The checks common to the input and output derivatives: refused with inline
// integration, for nvr of none or more than the model's `count` of `kind`
// ("inputs", "outputs"), for a NULL array and for a slave without its
// integrator. Returns fmiOK when the request may go on, else the refusal's
// status (logged).
fmiStatus check_derivative_request(ModelInstance* m, const char* name, size_t nvr, std::uint32_t count,
                                   const char* kind, bool arraysGiven) {
  // Not reached in this model: nothing sets intOptions[INT_OPTION_INLINE_INTEGRATION].
  if (inline_integration_requested(m)) {
    FMI_LOG(m, fmiWarning, "%s is not suported with inline integration", name);
    return fmiDiscard;
  }
  if (nvr == 0 || nvr > count) {
    FMI_LOG(m, fmiDiscard, "%s: invalid nvr = %zu (number of %s = %u)", name, nvr, kind,
            static_cast<unsigned>(count));
    return fmiDiscard;
  }
  // Not reached in this model: the rest, as it has no inputs and no outputs,
  // so every nvr is refused above.
  if (!arraysGiven) {
    FMI_LOG(m, fmiError, "%s: NULL array argument with nvr = %zu", name, nvr);
    return fmiError;
  }
  if (m->integrator == nullptr) {
    FMI_LOG(m, fmiError, "%s: the slave is not initialized", name);
    return fmiError;
  }
  return fmiOK;
}

}  // namespace

fmiStatus fmiSetRealInputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                     const fmiInteger order[], const fmiReal value[]) {
  const char* name = fmi_function_names[FMI_NAME_SET_REAL_INPUT_DERIVATIVES];
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  fmiStatus refusal = check_derivative_request(m, name, nvr, m->nu, "inputs",
                                               vr != nullptr && order != nullptr && value != nullptr);
  if (refusal != fmiOK) return refusal;
  // Not reached in this model: the rest, as it has no inputs, so every
  // request is refused above.
  IntegratorDriver* d = m->integrator;
  for (size_t i = 0; i < nvr; ++i) {
    if (order[i] != 1) {
      FMI_LOG(m, fmiDiscard, "%s: derivative order %d is not supported", name,
              static_cast<int>(order[i]));
      return fmiDiscard;
    }
    if (vr_category(vr[i]) != VR_CATEGORY_INPUT || vr_index(vr[i]) >= m->nu) {
      FMI_LOG(m, fmiDiscard, "%s: variable is not input", name);
      return fmiDiscard;
    }
    d->inputDer[vr_index(vr[i])] = value[i];
  }
  for (std::uint32_t i = 0; i < m->nu; ++i) d->inputRef[i] = m->u[i];
  d->inputRefTime = m->time;
  d->inputDerValid = 1;
  FMI_LOG(m, fmiOK, "%s", name);
  return fmiOK;
}

fmiStatus fmiGetRealOutputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                      const fmiInteger order[], fmiReal value[]) {
  const char* name = fmi_function_names[FMI_NAME_GET_REAL_OUTPUT_DERIVATIVES];
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  fmiStatus refusal = check_derivative_request(m, name, nvr, m->ny, "outputs",
                                               vr != nullptr && order != nullptr && value != nullptr);
  if (refusal != fmiOK) return refusal;
  // Not reached in this model: the rest, as it has no outputs, so every
  // request is refused above.
  if (evaluate_model(m, DEMAND_OUTPUTS, name) != QIERR_OK) return terminate_on_error(m);
  IntegratorDriver* d = m->integrator;
  const double dt = m->time - d->prevOutputTime;
  for (size_t i = 0; i < nvr; ++i) {
    if (order[i] == 1) {
      if (vr_category(vr[i]) != VR_CATEGORY_OUTPUT || vr_index(vr[i]) >= m->ny) {
        FMI_LOG(m, fmiDiscard, "%s: variable is not output", name);
        return fmiDiscard;
      }
      if (!(dt > 0)) {
        FMI_LOG(m, fmiWarning, "%s: time interval for estimate is %f, returning 0", name, dt);
        value[i] = 0.0;
      } else {
        const std::uint32_t k = vr_index(vr[i]);
        value[i] = (m->y[k] - d->prevOutputs[k]) / dt;
      }
    } else if (order[i] >= 2) {
      value[i] = 0.0;
    } else {
      FMI_LOG(m, fmiDiscard, "%s: derivative order 0 is not allowed", name);
      return fmiDiscard;
    }
  }
  FMI_LOG(m, fmiOK, "%s", name);
  return fmiOK;
}

namespace {

// The refusal of a function that only asynchronous stepping would need.
fmiStatus refuse_asynchronous(fmiComponent c, const char* name) {
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  FMI_LOG(m, fmiDiscard, "%s: not supported since asynchronous execution of fmiDoStep is not supported",
          name);
  return fmiDiscard;
}

// The refusal of a status kind that the function does not know.
fmiStatus refuse_status_kind(fmiComponent c, const char* name, fmiStatusKind s) {
  ModelInstance* m = live_slave(c, name);
  if (m == nullptr) return fmiError;
  FMI_LOG(m, fmiDiscard, "%s: fmiStatusKind %d unknown", name, static_cast<int>(s));
  return fmiDiscard;
}

}  // namespace

fmiStatus fmiCancelStep(fmiComponent c) {
  ModelInstance* m = live_slave(c, "fmiCancelStep");
  if (m == nullptr) return fmiError;
  FMI_LOG(m, fmiDiscard, "fmiCancelStep: asynchronous execution of fmiDoStep is not supported");
  return fmiDiscard;
}

fmiStatus fmiGetStatus(fmiComponent c, fmiStatusKind, fmiStatus*) {
  return refuse_asynchronous(c, "fmiGetStatus");
}

fmiStatus fmiGetRealStatus(fmiComponent c, fmiStatusKind s, fmiReal* value) {
  if (s != fmiLastSuccessfulTime) return refuse_status_kind(c, "fmiGetRealStatus", s);
  ModelInstance* m = live_slave(c, "fmiGetRealStatus");
  if (m == nullptr) return fmiError;
  if (value == nullptr) {
    FMI_LOG(m, fmiError, "fmiGetRealStatus: value = NULL");
    return fmiError;
  }
  *value = m->time;
  return fmiOK;
}

fmiStatus fmiGetIntegerStatus(fmiComponent c, fmiStatusKind s, fmiInteger*) {
  return refuse_status_kind(c, "fmiGetIntegerStatus", s);
}

fmiStatus fmiGetBooleanStatus(fmiComponent c, fmiStatusKind s, fmiBoolean*) {
  return refuse_status_kind(c, "fmiGetBooleanStatus", s);
}

fmiStatus fmiGetStringStatus(fmiComponent c, fmiStatusKind, fmiString*) {
  return refuse_asynchronous(c, "fmiGetStringStatus");
}

}  // namespace pelvarin
