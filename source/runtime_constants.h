// The numbers the runtime, the generated model and the layers above share:
// demand levels, QiErr codes, the slots of the two option arrays, the log
// flags of the log slot and the phases of an event iteration.
#pragma once

namespace pelvarin {

// Demand levels of dsblock_: how far one call evaluates.
enum {
  DEMAND_INITIALIZE = 0,
  DEMAND_OUTPUTS = 1,
  DEMAND_DERIVATIVES = 2,
  DEMAND_EVENT_FIRST_PASS = 3,
  DEMAND_ALL_SECTIONS = 4,  // every section, whatever computedLevel says
  DEMAND_EVENT_UPDATE = 5,
  DEMAND_EVENT_FORCED = 7,  // event mode as 5; nothing passes it
};

// QiErr codes of dsblock_ and declare_.
enum {
  QIERR_OK = 0,
  QIERR_ERROR = 1,
  QIERR_FAILURE_LAST = 4,  // QIERR_ERROR up to this: the failures that may start homotopy
  QIERR_HOMOTOPY_CONTINUE = -996,
  QIERR_HOMOTOPY_START = -997,
  QIERR_STATUS_998 = -998,
  QIERR_TERMINATE = -999,  // the model asked to stop the simulation
};

// Lengths of the option arrays.
enum { REAL_OPTIONS_LENGTH = 4, INT_OPTIONS_LENGTH = 11 };

// Slots of realOptions.
enum {
  REAL_OPTION_UNUSED = 0,
  REAL_OPTION_STEP_FACTOR = 1,      // step factor of event anticipation
  REAL_OPTION_NEXT_TIME_EVENT = 2,  // TIME_EVENT_NONE when there is none
  REAL_OPTION_TIME_SCALE = 3,       // added to |time| in every event tolerance
};

// The next time event when none is proposed.
constexpr double TIME_EVENT_NONE = 1e100;
// A next time event at or beyond this is none yet: the driver's reset to
// TIME_EVENT_NONE, not a proposal.
constexpr double TIME_EVENT_NONE_BOUND = 1e30;

// Slots of intOptions.
enum {
  INT_OPTION_ANTICIPATION = 0,        // event anticipation for fixed-step integration
  INT_OPTION_LOG_FLAGS = 1,           // LOG_FLAG_ bits
  INT_OPTION_JACOBIAN = 3,            // 1 while the stepper builds a Jacobian
  INT_OPTION_INLINE_SWITCH = 4,       // combined with inline integration into an unread argument
  INT_OPTION_INLINE_INTEGRATION = 5,  // inline integration wanted
  INT_OPTION_EVENT_AFTER_STEP = 6,    // the model asks for an event update after the step
  INT_OPTION_PARAMETER_CHANGES = 8,   // counter of parameter writes and initializations; wraps
  INT_OPTION_EVENT_MODE = 9,          // copy of the driver's event_mode
  INT_OPTION_NO_START_VALUES = 10,    // suppresses the start-value equations of the initialization
};

// intOptions[INT_OPTION_ANTICIPATION] that also scales the derivatives.
enum { ANTICIPATION_SCALES_DERIVATIVES = 1 };

// Bits of intOptions[INT_OPTION_LOG_FLAGS].
enum {
  LOG_FLAG_EVENTS = 2,         // event iterations, changes of discrete values and integer()s
  LOG_FLAG_INIT_INTEGERS = 4,  // integer() changes also in the initialization call
  LOG_FLAG_QUIET = 0x400,      // no error reports and notices
};

// iteration_phase: how an event iteration is spread over dsblock_ calls.
enum {
  ITERATION_PHASE_CONVERGE = 0,  // iterate to convergence within the call
  ITERATION_PHASE_FIRST = 2,     // first call of an iteration spread over calls
  ITERATION_PHASE_CONTINUE = 3,  // a later call of it
  ITERATION_PHASE_LAST = 4,      // its last call, which goes on to convergence
  ITERATION_PHASE_EVALUATE = 5,  // straight to the evaluation, without a pass start
};

}  // namespace pelvarin
