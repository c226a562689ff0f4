// The FMI 1.0 functions under their bare names. They stay inside the library;
// hosts reach them only through the Pelvarin_ exports.
#pragma once

#include "fmi/fmi_types.h"

namespace pelvarin {

// Common to both forms.
const char* fmiGetVersion();
const char* fmiGetTypesPlatform();
fmiStatus fmiSetDebugLogging(fmiComponent c, fmiBoolean loggingOn);
fmiStatus fmiGetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiReal value[]);
fmiStatus fmiGetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiInteger value[]);
fmiStatus fmiGetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiBoolean value[]);
fmiStatus fmiGetString(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiString value[]);
fmiStatus fmiSetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiReal value[]);
fmiStatus fmiSetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiInteger value[]);
fmiStatus fmiSetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiBoolean value[]);
fmiStatus fmiSetString(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiString value[]);

// Model exchange.
fmiComponent fmiInstantiateModel(fmiString instanceName, fmiString GUID, fmiCallbackFunctions functions,
                                 fmiBoolean loggingOn);
void fmiFreeModelInstance(fmiComponent c);
fmiStatus fmiSetTime(fmiComponent c, fmiReal time);
fmiStatus fmiSetContinuousStates(fmiComponent c, const fmiReal x[], size_t nx);
fmiStatus fmiInitialize(fmiComponent c, fmiBoolean toleranceControlled, fmiReal relativeTolerance,
                        fmiEventInfo* eventInfo);
fmiStatus fmiEventUpdate(fmiComponent c, fmiBoolean intermediateResults, fmiEventInfo* eventInfo);
fmiStatus fmiTerminate(fmiComponent c);
fmiStatus fmiGetStateValueReferences(fmiComponent c, fmiValueReference vrx[], size_t nx);
fmiStatus fmiGetNominalContinuousStates(fmiComponent c, fmiReal x_nominal[], size_t nx);
fmiStatus fmiCompletedIntegratorStep(fmiComponent c, fmiBoolean* callEventUpdate);
fmiStatus fmiGetDerivatives(fmiComponent c, fmiReal derivatives[], size_t nx);
fmiStatus fmiGetEventIndicators(fmiComponent c, fmiReal eventIndicators[], size_t ni);
fmiStatus fmiGetContinuousStates(fmiComponent c, fmiReal states[], size_t nx);

// Co-simulation.
fmiComponent fmiInstantiateSlave(fmiString instanceName, fmiString GUID, fmiString fmuLocation,
                                 fmiString mimeType, fmiReal timeout, fmiBoolean visible,
                                 fmiBoolean interactive, fmiCoSimCallbackFunctions functions,
                                 fmiBoolean loggingOn);
void fmiFreeSlaveInstance(fmiComponent c);
fmiStatus fmiInitializeSlave(fmiComponent c, fmiReal tStart, fmiBoolean StopTimeDefined, fmiReal tStop);
fmiStatus fmiTerminateSlave(fmiComponent c);
fmiStatus fmiResetSlave(fmiComponent c);
fmiStatus fmiSetRealInputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                     const fmiInteger order[], const fmiReal value[]);
fmiStatus fmiGetRealOutputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                      const fmiInteger order[], fmiReal value[]);
fmiStatus fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint, fmiReal communicationStepSize,
                    fmiBoolean newStep);
fmiStatus fmiCancelStep(fmiComponent c);
fmiStatus fmiGetStatus(fmiComponent c, fmiStatusKind s, fmiStatus* value);
fmiStatus fmiGetRealStatus(fmiComponent c, fmiStatusKind s, fmiReal* value);
fmiStatus fmiGetIntegerStatus(fmiComponent c, fmiStatusKind s, fmiInteger* value);
fmiStatus fmiGetBooleanStatus(fmiComponent c, fmiStatusKind s, fmiBoolean* value);
fmiStatus fmiGetStringStatus(fmiComponent c, fmiStatusKind s, fmiString* value);

}  // namespace pelvarin
