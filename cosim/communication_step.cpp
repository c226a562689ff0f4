#include "cosim/communication_step.h"

#include <cassert>
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

// Counts an event at the current time; every CS_EVENT_RUN events it judges
// the run they form. Events no further apart than the root finding resolves
// event times make no progress, and would keep the step from ever
// returning; a run that covers less than CS_EVENT_RUN_SHARE of what was left
// of the step when it began makes too little, as the step would take more
// than CS_EVENT_RUN / CS_EVENT_RUN_SHARE events. Either gives 1, logged as
// which of the two it is, with the run's times and the step's end; else 0.
// Needs: the slave's integrator.
int event_without_progress(ModelInstance* m) {
  IntegratorDriver* d = m->integrator;
  assert(d != nullptr);
  if (d->eventRunCount == 0) d->eventRunTime = m->time;
  if (++d->eventRunCount < CS_EVENT_RUN) return 0;
  d->eventRunCount = 0;
  const double progress = m->time - d->eventRunTime;
  const double unresolved = CS_EVENT_RUN * CS_EVENT_RESOLUTION * (std::fabs(d->eventRunTime) + 1.0);
  if (progress <= unresolved) {
    FMI_LOG(m, fmiError,
            "fmiDoStep: %d events from t = %.16e to %.16e came no further apart than event times "
            "are resolved: no progress in time, so the step to %.16e stops there",
            CS_EVENT_RUN, d->eventRunTime, m->time, d->stepTarget);
    return 1;
  }
  if (progress <= CS_EVENT_RUN_SHARE * (d->stepTarget - d->eventRunTime)) {
    FMI_LOG(m, fmiError,
            "fmiDoStep: %d events from t = %.16e to %.16e covered less than %g of what was left "
            "of the step to %.16e: too little progress in time, so the step stops there",
            CS_EVENT_RUN, d->eventRunTime, m->time, CS_EVENT_RUN_SHARE, d->stepTarget);
    return 1;
  }
  return 0;
}

// An event at the current time, with the result points around it.
// Needs: the slave's integrator. Returns as cs_event_iteration; fmiError
// with the slave terminated when a run of events makes no progress in time,
// or too little for the step (see event_without_progress).
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
  assert(d != nullptr && d->mstep_mem != nullptr);
  int n = 0;
  int flag = MstepGetNumSteps(d->mstep_mem, &n);
  // Not reached in this model: CS_STATISTIC_UNREAD, as the getter refuses
  // only a missing memory.
  if (check_integrator_flag(&flag, "MstepGetNumSteps", CS_CHECK_FLAG, m)) n = CS_STATISTIC_UNREAD;
  add_to_counter(&d->internalSteps, n);
  flag = MstepReInit(d->mstep_mem, m->time, d->stateVector);
  d->standingTime = m->time;
  // Not reached in this model: 1, as the restart refuses only a memory never
  // initialized or a vector unlike the one it was initialized with, and it
  // gets the very one.
  return check_integrator_flag(&flag, "MstepReInit", CS_CHECK_FLAG, m) ? 1 : 0;
}

fmiStatus cs_event_iteration(ModelInstance* m) {
  fmiEventInfo eventInfo = {};
  fmiStatus r = event_update_core(m, fmiFalse, &eventInfo);
  if (r != fmiOK) return r;
  // Not reached in this model: it never ends the simulation itself.
  if (eventInfo.terminateSimulation) {
    FMI_LOG(m, fmiDiscard, "fmiDoStep: simulation terminated by model");
    m->terminatedByModel = fmiTrue;
    return fmiDiscard;
  }
  // Not reached in this model: nothing sets intOptions[INT_OPTION_INLINE_INTEGRATION].
  if (inline_integration_requested(m)) return fmiOK;
  // Not reached in this model: a failed restart (see reinit_integrator).
  if (reinit_integrator(m) != 0) return terminate_on_error(m);
  return fmiOK;
}

int integrate_to(ModelInstance* m, double* tout) {
  assert(m->integrator != nullptr);
  bool initialStepSet = false;
  for (;;) {
    // Too short to integrate: the states stand for the whole stretch.
    if (*tout - m->time <= cs_time_tolerance(m->time)) return CS_INTEGRATE_REACHED;
    IntegratorDriver* d = m->integrator;
    if (evaluate_model(m, DEMAND_OUTPUTS, "fetching current output") == QIERR_OK) {
      // Not reached in this model: the copy, as it has no outputs.
      for (std::uint32_t i = 0; i < m->ny; ++i) d->prevOutputs[i] = m->y[i];
      d->prevOutputTime = m->time;
    }
    const double tstart = m->time;
    double tret = m->time;
    begin_integrator_call(d);
    int flag = Mstep(d->mstep_mem, *tout, d->stateVector, &tret, MS_NORMAL);
    // A termination inside a callback has released the integrator by now.
    if (end_integrator_call(m) != 0) return CS_INTEGRATE_FAILED;

    if (flag == MS_TOO_CLOSE && !initialStepSet) {
      double h = 0.0;
      int f = MstepGetCurrentStep(d->mstep_mem, &h);
      // Not reached in this model: a failure, as the getter refuses only a
      // missing memory.
      if (check_integrator_flag(&f, "MstepGetCurrentStep", CS_CHECK_FLAG, m))
        return CS_INTEGRATE_FAILED;
      if (h == 0.0)
        h = (std::fmax(std::fabs(m->time), std::fabs(*tout)) + 1.0) * CS_INITIAL_STEP_FACTOR;
      FMI_LOG(m, fmiOK,
              "Internal step too small at t = %f, setting initial step size explicitly to %.16e",
              m->time, h);
      f = MstepSetInitStep(d->mstep_mem, h);
      // Not reached in this model: a failure, as the setter refuses only a
      // missing memory or a step that is not finite.
      if (check_integrator_flag(&f, "MstepSetInitStep", CS_CHECK_FLAG, m))
        return CS_INTEGRATE_FAILED;
      initialStepSet = true;
      continue;
    }
    if (flag == MS_ROOT_RETURN) {
      d->inputDerValid = 0;
      fmiSetTime(m, tret);
      if (event_without_progress(m)) return CS_INTEGRATE_FAILED;
      if (m->resultGeneration) result_hooks().store_result_point(m, true);
      fmiEventInfo eventInfo = {};
      // A failed update has terminated the slave and released its integrator.
      if (event_update_core(m, fmiFalse, &eventInfo) != fmiOK) return CS_INTEGRATE_FAILED;
      if (m->resultGeneration) result_hooks().store_result_point(m, true);
      // Not reached in this model: it never ends the simulation itself.
      if (eventInfo.terminateSimulation) return CS_INTEGRATE_TERMINATED;
      // Not reached in this model: a failed restart (see reinit_integrator).
      if (reinit_integrator(m) != 0) return CS_INTEGRATE_FAILED;
      initialStepSet = false;
      // The update may have proposed a time event (the end of the pulse that
      // just began) before *tout: stop there, so that it is handled in time.
      const double nextTimeEvent = m->realOptions[REAL_OPTION_NEXT_TIME_EVENT];
      if (nextTimeEvent < *tout) {
        if (nextTimeEvent <= m->time) {
          *tout = m->time;
          return CS_INTEGRATE_REACHED;
        }
        *tout = nextTimeEvent;
      }
      continue;
    }
    if (flag == MS_SUCCESS) {
      if (std::fabs(tret - *tout) > cs_time_tolerance(tstart)) {
        FMI_LOG(m, fmiError, "Internal step error: tret = %.16e  !=  tout = %.16e", tret, *tout);
        return CS_INTEGRATE_FAILED;
      }
      add_to_counter(&d->externalSteps, 1);
      return CS_INTEGRATE_REACHED;
    }
    check_integrator_flag(&flag, "Mstep", CS_CHECK_FLAG, m);
    // The states are the integrator's last accepted solution: the time goes
    // with them.
    if (tret > m->time && std::isfinite(tret)) fmiSetTime(m, tret);
    return CS_INTEGRATE_FAILED;
  }
}

namespace {

// Where the step starts: where the stepper left the slave, when the host has
// since set its time within the tolerance that absorbs a communication
// point (so that the step is the same as without that call); else the
// slave's time. Needs: a live slave.
double step_start_time(const ModelInstance* m) {
  const IntegratorDriver* d = m->integrator;
  if (m->state != INSTANCE_INITIALIZED || d == nullptr) return m->time;
  const double moved = std::fabs(m->time - d->standingTime);
  return moved < cs_time_tolerance(d->standingTime) ? d->standingTime : m->time;
}

// The slave's time goes back to the step's start (see step_start_time).
void resume_at(ModelInstance* m, double start) {
  if (m->time == start) return;
  m->time = start;
  m->computedLevel = 0;
}

// Validates a step request against the slave's time (start, from
// step_start_time) and state.
// Needs: a live slave. Guarantees: nothing changes but the log (and a slave
// that the model ended is terminated). Returns fmiOK with *h the step size
// measured from start, else the refusal's status.
fmiStatus validate_request(ModelInstance* m, double start, double currentCommunicationPoint,
                           double communicationStepSize, double* h) {
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

  *h = communicationStepSize;
  const double offset = std::fabs(start - currentCommunicationPoint);
  if (offset > 0) {
    if (offset >= cs_time_tolerance(start)) {
      FMI_LOG(m, fmiDiscard, "fmiDoStep: currentCommunicationPoint = %.16f, expected %.16f",
              currentCommunicationPoint, start);
      return fmiDiscard;
    }
    // The target becomes currentCommunicationPoint + communicationStepSize.
    if (*h != 0) *h += currentCommunicationPoint - start;
    if (*h < 0) *h = 0;
  }

  // Not reached in this model: terminatedByModel, as the model never ends the
  // simulation itself.
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
  return fmiOK;
}

// The end of a step of size h (>= 0) from start, clipped to the stop time.
// Needs: a validated request. Returns fmiOK with *target finite and not
// before start, or fmiDiscard (logged) for a step past the stop time or to
// no finite time.
fmiStatus clip_to_stop_time(ModelInstance* m, double start, double h, double communicationStepSize,
                            double* target) {
  assert(h >= 0);
  *target = start + h;
  if (!std::isfinite(*target)) {
    FMI_LOG(m, fmiDiscard,
            "fmiDoStep: communicationStepSize = %.16e refused: the step ends at no finite time",
            communicationStepSize);
    return fmiDiscard;
  }
  if (m->stopTimeDefined) {
    const double over = *target - m->stopTime;
    if (over > 0) {
      if (over > CS_STOP_TIME_OVERSHOOT * cs_time_tolerance(m->stopTime)) {
        FMI_LOG(m, fmiDiscard, "fmiDoStep: trying to compute past tStop = %f, to %.16f,  at t = %f",
                m->stopTime, *target, start);
        return fmiDiscard;
      }
      FMI_LOG(m, fmiOK, "t = %f: Reducing communicationStepSize %.16e s to avoid passing tStop.\n",
              start, over);
      *target = m->stopTime;
    }
  }
  // The instance time never runs backwards.
  if (*target < start) *target = start;
  return fmiOK;
}

// Not reached in this model: nothing sets intOptions[INT_OPTION_INLINE_INTEGRATION].
// The step of a slave whose model integrates itself: the time jumps to the
// target, where the event update runs.
// Needs: target >= the slave's time. Returns the event update's status.
fmiStatus advance_inline(ModelInstance* m, double target) {
  assert(target >= m->time);
  fmiSetTime(m, target);
  fmiStatus r = cs_event_iteration(m);
  if (m->resultGeneration) result_hooks().store_result_point(m, false);
  if (r != fmiOK) return r;
  FMI_LOG(m, fmiOK, "%s", fmi_function_names[FMI_NAME_DO_STEP]);
  return fmiOK;
}

// Inputs set since the last step go through an event update; otherwise the
// derivatives are evaluated if they are not current.
// Needs: an initialized slave with its integrator. Returns fmiOK,
// cs_event_iteration's status, fmiDiscard when the evaluation fails with a
// model error (logged; the slave goes on), or fmiError with the slave
// terminated.
fmiStatus bring_up_to_date(ModelInstance* m) {
  assert(m->integrator != nullptr);
  // The host moved the time (fmiSetTime) since the last step further than
  // step_start_time absorbs: the integrator starts again from there, as
  // after a write.
  if (m->time != m->integrator->standingTime) m->inputsChanged = 1;
  if (m->inputsChanged) {
    fmiStatus r = cs_event_iteration(m);
    m->inputsChanged = 0;
    if (r != fmiOK) return r;
  } else if (m->computedLevel < DEMAND_DERIVATIVES) {
    int q = evaluate_model(m, DEMAND_DERIVATIVES, fmi_function_names[FMI_NAME_DO_STEP]);
    if (q == QIERR_ERROR) return fmiDiscard;
    // Not reached in this model: a QiErr other than 0 and 1.
    if (q != QIERR_OK) return terminate_on_error(m);
  }
  return fmiOK;
}

// Integrates to the target, stopping at every time event on the way and
// handling it, and at the step events the model asks for.
// Needs: an up-to-date slave with its integrator, a finite target.
// Guarantees on fmiOK: the slave's time has reached the target. Returns
// fmiOK, or the failure's status (logged; the slave ended on fmiError).
fmiStatus advance(ModelInstance* m, double target) {
  assert(m->integrator != nullptr && std::isfinite(target));
  m->integrator->eventRunCount = 0;
  m->integrator->stepTarget = target;
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
    if (r == CS_INTEGRATE_FAILED) {
      FMI_LOG(m, fmiError, "fmiDoStep: integration_step failed");
      return terminate_on_error(m);
    }
    // Not reached in this model: it never ends the simulation itself.
    if (r == CS_INTEGRATE_TERMINATED) {
      FMI_LOG(m, fmiDiscard, "fmiDoStep: simulation terminated by model");
      m->terminatedByModel = fmiTrue;
      return fmiDiscard;
    }
    fmiSetTime(m, tout);
    interpolate_inputs(m, tout);
    // Not reached in this model: nothing sets
    // intOptions[INT_OPTION_EVENT_AFTER_STEP] to anything but 0.
    if (m->intOptions[INT_OPTION_EVENT_AFTER_STEP] != 0) {
      fmiStatus s = handle_event(m);
      if (s != fmiOK) return s;
    }
  }
  return fmiOK;
}

// The communication point: exactly the target, with its result point.
fmiStatus finish_step(ModelInstance* m, double target) {
  m->time = target;
  if (m->integrator != nullptr) m->integrator->standingTime = target;
  if (m->resultGeneration) result_hooks().store_result_point(m, false);
  if (m->integrator != nullptr) m->integrator->inputDerValid = 0;
  FMI_LOG(m, fmiOK, "%s", fmi_function_names[FMI_NAME_DO_STEP]);
  return fmiOK;
}

}  // namespace

fmiStatus fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint,
                    fmiReal communicationStepSize, fmiBoolean newStep) {
  ModelInstance* m = live_slave(c, fmi_function_names[FMI_NAME_DO_STEP]);
  if (m == nullptr) return fmiError;

  const double start = step_start_time(m);
  double h = 0.0;
  fmiStatus r = validate_request(m, start, currentCommunicationPoint, communicationStepSize, &h);
  if (r != fmiOK) return r;
  // A step of size 0 is an event iteration at the communication point.
  if (communicationStepSize == 0) {
    resume_at(m, start);
    return cs_event_iteration(m);
  }
  if (!newStep) {
    FMI_LOG(m, fmiDiscard, "fmiDoStep: newStep = fmiFalse not supported");
    return fmiDiscard;
  }

  double target = 0.0;
  r = clip_to_stop_time(m, start, h, communicationStepSize, &target);
  if (r != fmiOK) return r;
  resume_at(m, start);
  // Not reached in this model: nothing sets intOptions[INT_OPTION_INLINE_INTEGRATION].
  if (inline_integration_requested(m)) return advance_inline(m, target);

  r = bring_up_to_date(m);
  if (r != fmiOK) return r;
  r = advance(m, target);
  if (r != fmiOK) return r;
  return finish_step(m, target);
}

}  // namespace pelvarin
