// The FMI 1.0 functions under their bare names. They stay inside the library;
// hosts reach them only through the Pelvarin_ exports.
//
// Common contract: a function that takes a handle needs the live instance
// (live_instance) and refuses any other with fmiError, logging nothing. Host
// input is checked: a refusal is logged and changes nothing unless its line
// says so. fmiError from the model's failure leaves the instance terminated
// (terminate_on_error). A vector function given a length other than the
// model's reports it (fmiWarning) and transfers the smaller one.
#pragma once

#include "fmi/fmi_types.h"

namespace pelvarin {

// Common to both forms.
// "1.0" and "standard32"; need nothing.
const char* fmiGetVersion();
const char* fmiGetTypesPlatform();
// Turns fmiOK and fmiWarning messages on or off; returns fmiOK.
fmiStatus fmiSetDebugLogging(fmiComponent c, fmiBoolean loggingOn);
// Reads nvr values, evaluating the model to the highest level a reference
// asks for (at most the event indicators'). Returns fmiOK; fmiDiscard at the
// first reference that names no variable (the values before it are read) or,
// for reals, when the model refused the evaluation; fmiError for NULL arrays
// with nvr > 0 or a failed evaluation.
fmiStatus fmiGetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiReal value[]);
fmiStatus fmiGetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiInteger value[]);
fmiStatus fmiGetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiBoolean value[]);
// The model has no strings: fmiOK for nvr = 0, else fmiDiscard.
fmiStatus fmiGetString(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiString value[]);
// Stores nvr values; computed variables only before initialization. Every
// stored value makes the computed ones stale and, for a slave, counts as a
// change of inputs. Returns fmiOK; fmiDiscard at the first reference refused
// (the values before it stay); fmiError for NULL arrays with nvr > 0.
fmiStatus fmiSetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiReal value[]);
fmiStatus fmiSetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiInteger value[]);
fmiStatus fmiSetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiBoolean value[]);
fmiStatus fmiSetString(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiString value[]);

// Model exchange.
// The one instance of the process, its start values declared; NULL (logged
// when a logger is known) for a second instance, a missing callback or GUID,
// a wrong GUID or a failed allocation, with nothing left allocated.
fmiComponent fmiInstantiateModel(fmiString instanceName, fmiString GUID, fmiCallbackFunctions functions,
                                 fmiBoolean loggingOn);
// Finishes the result file and releases everything, a slave's integrator
// included; the handle is dead afterwards.
void fmiFreeModelInstance(fmiComponent c);
// A finite time; the computed values become stale. fmiError for any other.
fmiStatus fmiSetTime(fmiComponent c, fmiReal time);
// Stores the states (the computed values become stale).
fmiStatus fmiSetContinuousStates(fmiComponent c, const fmiReal x[], size_t nx);
// Initializes an instantiated instance and reports its next time event.
// fmiWarning when tolerance control is asked for (it is not supported);
// fmiDiscard for an instance not in its instantiated state.
fmiStatus fmiInitialize(fmiComponent c, fmiBoolean toleranceControlled, fmiReal relativeTolerance,
                        fmiEventInfo* eventInfo);
// One event update of an initialized instance, reported into eventInfo;
// fmiDiscard before initialization.
fmiStatus fmiEventUpdate(fmiComponent c, fmiBoolean intermediateResults, fmiEventInfo* eventInfo);
// Ends the run: the result file is finished, the instance is terminated.
fmiStatus fmiTerminate(fmiComponent c);
// The states' references, level 0 and category of the states.
fmiStatus fmiGetStateValueReferences(fmiComponent c, fmiValueReference vrx[], size_t nx);
// The vector getters: nominal values and states as stored, derivatives and
// event indicators evaluated when not current (fmiDiscard when the model
// refuses the evaluation).
fmiStatus fmiGetNominalContinuousStates(fmiComponent c, fmiReal x_nominal[], size_t nx);
// Records a result point; *callEventUpdate tells whether the model asks for
// an event update after the step.
fmiStatus fmiCompletedIntegratorStep(fmiComponent c, fmiBoolean* callEventUpdate);
fmiStatus fmiGetDerivatives(fmiComponent c, fmiReal derivatives[], size_t nx);
fmiStatus fmiGetEventIndicators(fmiComponent c, fmiReal eventIndicators[], size_t ni);
fmiStatus fmiGetContinuousStates(fmiComponent c, fmiReal states[], size_t nx);

// Co-simulation; a model-exchange instance is refused with fmiError.
// An instance made as fmiInstantiateModel makes it, marked as a slave;
// asynchronous stepping, a timeout and interactive use are refused with
// warnings only.
fmiComponent fmiInstantiateSlave(fmiString instanceName, fmiString GUID, fmiString fmuLocation,
                                 fmiString mimeType, fmiReal timeout, fmiBoolean visible,
                                 fmiBoolean interactive, fmiCoSimCallbackFunctions functions,
                                 fmiBoolean loggingOn);
void fmiFreeSlaveInstance(fmiComponent c);
// Initializes an instantiated slave at a finite tStart (and finite tStop when
// defined) with its integrator. fmiDiscard, changing nothing, for a slave not
// in its instantiated state; fmiFatal when the integrator cannot be set up.
fmiStatus fmiInitializeSlave(fmiComponent c, fmiReal tStart, fmiBoolean StopTimeDefined, fmiReal tStop);
// Logs the integrator's statistics, releases it and terminates the slave;
// fmiWarning for a slave already terminated.
fmiStatus fmiTerminateSlave(fmiComponent c);
// Back to the instantiated state with the start values declared again.
fmiStatus fmiResetSlave(fmiComponent c);
// First derivatives of inputs: from now on the inputs are interpolated
// linearly from their values at the slave's time. Refused (fmiDiscard) with
// inline integration, for nvr of none or more than the inputs, another order
// or a reference that is no input (the derivatives before it are stored).
fmiStatus fmiSetRealInputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                     const fmiInteger order[], const fmiReal value[]);
// Output derivatives: first order as the difference quotient since the
// previous integration start (0 with a warning over no time), higher orders
// 0, order 0 refused.
fmiStatus fmiGetRealOutputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                      const fmiInteger order[], fmiReal value[]);
// Advances an initialized slave from currentCommunicationPoint (which must be
// its time, within the tolerance) by communicationStepSize, never past the
// stop time; a step of 0 is an event iteration. Guarantees on fmiOK: the
// slave's time is the step's end. fmiDiscard for a refused request or when
// the model ends the simulation; fmiError for a slave not initialized and,
// with the slave terminated, for one ended before or a failed integration.
fmiStatus fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint, fmiReal communicationStepSize,
                    fmiBoolean newStep);
// Asynchronous stepping is not supported: fmiDiscard, logged.
fmiStatus fmiCancelStep(fmiComponent c);
fmiStatus fmiGetStatus(fmiComponent c, fmiStatusKind s, fmiStatus* value);
// Only fmiLastSuccessfulTime, the slave's time; every other kind fmiDiscard.
fmiStatus fmiGetRealStatus(fmiComponent c, fmiStatusKind s, fmiReal* value);
// No kind is known: fmiDiscard, logged.
fmiStatus fmiGetIntegerStatus(fmiComponent c, fmiStatusKind s, fmiInteger* value);
fmiStatus fmiGetBooleanStatus(fmiComponent c, fmiStatusKind s, fmiBoolean* value);
fmiStatus fmiGetStringStatus(fmiComponent c, fmiStatusKind s, fmiString* value);

}  // namespace pelvarin
