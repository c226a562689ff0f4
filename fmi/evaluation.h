// The bridge between the FMI functions and the generated model: evaluation,
// the way out after a failure, initialization and event update.
#pragma once

#include "fmi/fmi_types.h"
#include "fmi/model_instance.h"

namespace pelvarin {

// Evaluates the model at the demand level; returns QiErr. With a caller name
// a failure is logged as "<name>: dsblock_ failed, QiErr = <n>". Guarantees
// on failure: computedLevel is 0, so that the next read evaluates again.
int evaluate_model(ModelInstance* instance, int demand, const char* callerName);

// Ends a failed instance (state 3, through fmiTerminate or fmiTerminateSlave
// when it was initialized). Guarantees: the instance is terminated. Returns
// fmiError.
fmiStatus terminate_on_error(ModelInstance* instance);

// The model's initialization call, then the result set-up; refuses
// (fmiDiscard) an instance that is not in state 0. Returns fmiOK, fmiWarning
// when tolerance control is asked for, or fmiError with the instance
// terminated.
fmiStatus initialize_model(ModelInstance* instance, fmiBoolean toleranceControlled,
                           fmiReal relativeTolerance);

// One event update (passes at demand 3 and 5) reported into eventInfo.
// Needs: eventInfo. Returns fmiOK (terminateSimulation set when the model
// ends the run), or fmiError with the instance terminated.
fmiStatus event_update_core(ModelInstance* instance, fmiBoolean intermediateResults,
                            fmiEventInfo* eventInfo);

// Next-event bounds: initialization reports a time event below the first,
// the event update one below the second; the model's "none" is TIME_EVENT_NONE.
constexpr double FMI_INITIAL_TIME_EVENT_BOUND = 1e36;
constexpr double FMI_EVENT_UPDATE_TIME_EVENT_BOUND = 1e37;

}  // namespace pelvarin
