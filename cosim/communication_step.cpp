#include "cosim/communication_step.h"

#include <cmath>

#include "cosim/integrator_setup.h"
#include "cosim/slave_lifecycle.h"
#include "fmi/evaluation.h"
#include "fmi/fmi_functions.h"
#include "fmi/layer_hooks.h"
#include "fmi/logging.h"
#include "fmi/version.h"
#include "source/runtime_constants.h"

namespace pelvarin {

namespace {

// Counts an event at the current time: 1 (logged) when the run it ends has
// made no progress in time, since events that no longer move the time would
// keep the step from ever returning.
int event_without_progress(ModelInstance* m) {
  IntegratorDriver* d = m->integrator;
  if (d->eventRunCount == 0) d->eventRunTime = m->time;
  if (++d->eventRunCount < CS_EVENT_RUN) return 0;
  d->eventRunCount = 0;
  const double resolved = CS_EVENT_RUN * CS_EVENT_RESOLUTION * (std::fabs(d->eventRunTime) + 1.0);
  if (m->time - d->eventRunTime > resolved) return 0;
  FMI_LOG(m, fmiError, "fmiDoStep: no progress in time over %d events from t = %.16e to %.16e",
          CS_EVENT_RUN, d->eventRunTime, m->time);
  return 1;
}

// An event at the current time, with the result points around it.
fmiStatus handle_event(ModelInstance* m) {
  if (event_without_progress(m)) return terminate_on_error(m);
  if (m->resultGeneration) result_hooks().store_result_point(m, true);
  fmiStatus r = cs_event_iteration(m);
  if (r != fmiOK) return r;
  if (m->resultGeneration) result_hooks().store_result_point(m, true);
  return fmiOK;
}

}  // namespace

int reinit_integrator(ModelInstance* m) {
  IntegratorDriver* d = m->integrator;
  int n = 0;
  int flag = MstepGetNumSteps(d->mstep_mem, &n);
  if (check_integrator_flag(&flag, "MstepGetNumSteps", CHECK_FLAG, m)) n = -1;
  add_to_counter(&d->internalSteps, n);
  flag = MstepReInit(d->mstep_mem, m->time, d->stateVector);
  return check_integrator_flag(&flag, "MstepReInit", CHECK_FLAG, m) ? 1 : 0;
}

fmiStatus cs_event_iteration(ModelInstance* m) {
  fmiEventInfo eventInfo = {};
  fmiStatus r = event_update_core(m, fmiFalse, &eventInfo);
  if (r != fmiOK) return r;
  if (eventInfo.terminateSimulation) {
    FMI_LOG(m, fmiDiscard, "fmiDoStep: simulation terminated by model");
    m->terminatedByModel = fmiTrue;
    return fmiDiscard;
  }
  if (inline_integration_requested(m)) return fmiOK;
  if (reinit_integrator(m) != 0) return terminate_on_error(m);
  return fmiOK;
}

int integrate_to(ModelInstance* m, double* tout) {
  bool initialStepSet = false;
  for (;;) {
    // Too short to integrate: the states stand for the whole stretch.
    if (*tout - m->time <= cs_time_tolerance(m->time)) return INTEGRATE_REACHED;
    IntegratorDriver* d = m->integrator;
    if (evaluate_model(m, DEMAND_OUTPUTS, "fetching current output") == QIERR_OK) {
      for (std::uint32_t i = 0; i < m->ny; ++i) d->prevOutputs[i] = m->y[i];
      d->prevOutputTime = m->time;
    }
    const double tstart = m->time;
    double tret = m->time;
    begin_integrator_call(d);
    int flag = Mstep(d->mstep_mem, *tout, d->stateVector, &tret, MS_NORMAL);
    // A termination inside a callback has released the integrator by now.
    if (end_integrator_call(m) != 0) return INTEGRATE_FAILED;

    if (flag == MS_TOO_CLOSE && !initialStepSet) {
      double h = 0.0;
      int f = MstepGetCurrentStep(d->mstep_mem, &h);
      if (check_integrator_flag(&f, "MstepGetCurrentStep", CHECK_FLAG, m)) return INTEGRATE_FAILED;
      if (h == 0.0)
        h = (std::fmax(std::fabs(m->time), std::fabs(*tout)) + 1.0) * CS_INITIAL_STEP_FACTOR;
      FMI_LOG(m, fmiOK,
              "Internal step too small at t = %f, setting initial step size explicitly to %.16e",
              m->time, h);
      f = MstepSetInitStep(d->mstep_mem, h);
      if (check_integrator_flag(&f, "MstepSetInitStep", CHECK_FLAG, m)) return INTEGRATE_FAILED;
      initialStepSet = true;
      continue;
    }
    if (flag == MS_ROOT_RETURN) {
      d->inputDerValid = 0;
      fmiSetTime(m, tret);
      if (event_without_progress(m)) return INTEGRATE_FAILED;
      if (m->resultGeneration) result_hooks().store_result_point(m, true);
      fmiEventInfo eventInfo = {};
      // A failed update has terminated the slave and released its integrator.
      if (event_update_core(m, fmiFalse, &eventInfo) != fmiOK) return INTEGRATE_FAILED;
      if (m->resultGeneration) result_hooks().store_result_point(m, true);
      if (eventInfo.terminateSimulation) return INTEGRATE_TERMINATED;
      if (reinit_integrator(m) != 0) return INTEGRATE_FAILED;
      initialStepSet = false;
      // The update may have proposed a time event (the end of the pulse that
      // just began) before *tout: stop there, so that it is handled in time.
      const double nextTimeEvent = m->realOptions[REAL_OPTION_NEXT_TIME_EVENT];
      if (nextTimeEvent < *tout) {
        if (nextTimeEvent <= m->time) {
          *tout = m->time;
          return INTEGRATE_REACHED;
        }
        *tout = nextTimeEvent;
      }
      continue;
    }
    if (flag == MS_SUCCESS) {
      if (std::fabs(tret - *tout) > cs_time_tolerance(tstart)) {
        FMI_LOG(m, fmiError, "Internal step error: tret = %.16e  !=  tout = %.16e", tret, *tout);
        return INTEGRATE_FAILED;
      }
      add_to_counter(&d->externalSteps, 1);
      return INTEGRATE_REACHED;
    }
    check_integrator_flag(&flag, "Mstep", CHECK_FLAG, m);
    // The states are the integrator's last accepted solution: the time goes
    // with them.
    if (tret > m->time && std::isfinite(tret)) fmiSetTime(m, tret);
    return INTEGRATE_FAILED;
  }
}

fmiStatus fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint,
                    fmiReal communicationStepSize, fmiBoolean newStep) {
  ModelInstance* m = live_slave(c, fmi_function_names[FMI_NAME_DO_STEP]);
  if (m == nullptr) return fmiError;

  if (!std::isfinite(currentCommunicationPoint)) {
    FMI_LOG(m, fmiDiscard, "fmiDoStep: currentCommunicationPoint = %f is not a finite number",
            currentCommunicationPoint);
    return fmiDiscard;
  }
  if (!std::isfinite(communicationStepSize) || communicationStepSize < 0) {
    FMI_LOG(m, fmiDiscard,
            "fmiDoStep: communicationStepSize = %.16e refused: it must be finite and not negative",
            communicationStepSize);
    return fmiDiscard;
  }

  double h = communicationStepSize;
  const double offset = std::fabs(m->time - currentCommunicationPoint);
  if (offset > 0) {
    if (offset >= cs_time_tolerance(m->time)) {
      FMI_LOG(m, fmiDiscard, "fmiDoStep: currentCommunicationPoint = %.16f, expected %.16f",
              currentCommunicationPoint, m->time);
      return fmiDiscard;
    }
    // The target becomes currentCommunicationPoint + communicationStepSize.
    if (h != 0) h += currentCommunicationPoint - m->time;
    if (h < 0) h = 0;
  }

  if (m->state == INSTANCE_TERMINATED || m->terminatedByModel) {
    FMI_LOG(m, fmiError, "fmiDoStep: model terminated in previous step");
    return terminate_on_error(m);
  }
  if (m->state != INSTANCE_INITIALIZED ||
      (!inline_integration_requested(m) && m->integrator == nullptr)) {
    FMI_LOG(m, fmiError, "fmiDoStep: slave is not initialized (state %d), call fmiInitializeSlave first",
            static_cast<int>(m->state));
    return fmiError;
  }

  if (communicationStepSize == 0) return cs_event_iteration(m);

  if (!newStep) {
    FMI_LOG(m, fmiDiscard, "fmiDoStep: newStep = fmiFalse not supported");
    return fmiDiscard;
  }

  double target = m->time + h;
  if (!std::isfinite(target)) {
    FMI_LOG(m, fmiDiscard,
            "fmiDoStep: communicationStepSize = %.16e refused: the step ends at no finite time",
            communicationStepSize);
    return fmiDiscard;
  }
  if (m->stopTimeDefined) {
    const double over = target - m->stopTime;
    if (over > 0) {
      if (over > 2.0 * cs_time_tolerance(m->stopTime)) {
        FMI_LOG(m, fmiDiscard, "fmiDoStep: trying to compute past tStop = %f, to %.16f,  at t = %f",
                m->stopTime, target, m->time);
        return fmiDiscard;
      }
      FMI_LOG(m, fmiOK, "t = %f: Reducing communicationStepSize %.16e s to avoid passing tStop.\n",
              m->time, over);
      target = m->stopTime;
    }
  }
  // The instance time never runs backwards.
  if (target < m->time) target = m->time;

  if (inline_integration_requested(m)) {
    fmiSetTime(m, target);
    fmiStatus r = cs_event_iteration(m);
    if (m->resultGeneration) result_hooks().store_result_point(m, false);
    if (r != fmiOK) return r;
    FMI_LOG(m, fmiOK, "%s", fmi_function_names[FMI_NAME_DO_STEP]);
    return fmiOK;
  }

  if (m->inputsChanged) {
    fmiStatus r = cs_event_iteration(m);
    m->inputsChanged = 0;
    if (r != fmiOK) return r;
  } else if (m->computedLevel < DEMAND_DERIVATIVES) {
    int q = evaluate_model(m, DEMAND_DERIVATIVES, fmi_function_names[FMI_NAME_DO_STEP]);
    if (q == QIERR_ERROR) return fmiDiscard;
    if (q != QIERR_OK) return terminate_on_error(m);
  }

  m->integrator->eventRunCount = 0;
  // A due time event is handled once per point: should an update leave it
  // in place, integration goes on rather than handling it again and again.
  bool eventHandled = false;
  double eventHandledAt = 0.0;
  while (target > m->time) {
    const double tnext = m->realOptions[REAL_OPTION_NEXT_TIME_EVENT];
    if (tnext <= m->time && !(eventHandled && eventHandledAt == m->time)) {
      // Handled where the slave stands, never at an earlier time.
      fmiSetTime(m, m->time);
      fmiStatus r = handle_event(m);
      if (r != fmiOK) return r;
      eventHandled = true;
      eventHandledAt = m->time;
      continue;
    }
    double tout = (tnext > m->time && tnext < target) ? tnext : target;
    int r = integrate_to(m, &tout);
    if (r == INTEGRATE_FAILED) {
      FMI_LOG(m, fmiError, "fmiDoStep: integration_step failed");
      return terminate_on_error(m);
    }
    if (r == INTEGRATE_TERMINATED) {
      FMI_LOG(m, fmiDiscard, "fmiDoStep: simulation terminated by model");
      m->terminatedByModel = fmiTrue;
      return fmiDiscard;
    }
    fmiSetTime(m, tout);
    interpolate_inputs(m, tout);
    if (m->intOptions[INT_OPTION_EVENT_AFTER_STEP] != 0) {
      fmiStatus s = handle_event(m);
      if (s != fmiOK) return s;
    }
  }

  m->time = target;
  if (m->resultGeneration) result_hooks().store_result_point(m, false);
  if (m->integrator != nullptr) m->integrator->inputDerValid = 0;
  FMI_LOG(m, fmiOK, "%s", fmi_function_names[FMI_NAME_DO_STEP]);
  return fmiOK;
}

}  // namespace pelvarin
