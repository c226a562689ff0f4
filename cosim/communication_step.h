// One communication step of the slave (fmiDoStep, declared in
// fmi/fmi_functions.h) and the operations it is built from.
#pragma once

#include <cmath>

#include "fmi/fmi_types.h"
#include "fmi/model_instance.h"
#include "integrator/mstep.h"

namespace pelvarin {

// Tolerance factor of time comparisons, and of the explicit initial step.
constexpr double CS_TIME_TOLERANCE = 0x1p-50;
constexpr double CS_INITIAL_STEP_FACTOR = 0x1p-51;
// A target past the stop time by no more than this many time tolerances of
// the stop time is cut back to it; one further past is refused.
constexpr double CS_STOP_TIME_OVERSHOOT = 2.0;
// A step's events are looked at in runs of CS_EVENT_RUN: a run that moves the
// time by no more than the root finding resolves, (|t| + 1) *
// CS_EVENT_RESOLUTION for each event, makes no progress and ends the step.
// So does a run that covers less than CS_EVENT_RUN_SHARE of what is left of
// the step: events computed from numbers larger than the time (a start time
// far before it) are resolved more coarsely, and the step would take more
// than CS_EVENT_RUN / CS_EVENT_RUN_SHARE of them.
constexpr int CS_EVENT_RUN = 1000;
constexpr double CS_EVENT_RESOLUTION = 100 * MS_UNIT_ROUNDOFF;
constexpr double CS_EVENT_RUN_SHARE = 1e-9;

// Two times closer than this are the same time for the stepper.
inline double cs_time_tolerance(double t) { return (std::fabs(t) + 1.0) * CS_TIME_TOLERANCE; }

// Results of integrate_to.
enum {
  CS_INTEGRATE_REACHED = 0,     // *tout reached
  CS_INTEGRATE_FAILED = 1,      // already logged
  CS_INTEGRATE_TERMINATED = 2,  // the model asked to stop the simulation
};

// Event update at the current time followed by an integrator restart.
// Needs: an initialized slave (with its integrator unless the model
// integrates itself). Returns fmiOK; fmiDiscard (logged, terminatedByModel
// set) when the model ends the simulation; fmiError with the slave
// terminated.
fmiStatus cs_event_iteration(ModelInstance* instance);

// Integrates up to *tout, handling state events on the way. A state event
// whose update proposes a time event before *tout ends the integration at
// that time event instead: *tout is then lowered to it, so that the caller
// handles it in time. A stretch too short to integrate is reached at once.
// Needs: the slave's integrator. Returns CS_INTEGRATE_REACHED (the states
// stand at *tout), CS_INTEGRATE_FAILED (logged; the integrator may be
// released) or CS_INTEGRATE_TERMINATED.
int integrate_to(ModelInstance* instance, double* tout);

// Restarts the integrator at the slave's time and states, after adding its
// steps so far to the driver's count. Needs: the slave's integrator.
// Returns 0 on success, 1 on failure (logged).
int reinit_integrator(ModelInstance* instance);

}  // namespace pelvarin
