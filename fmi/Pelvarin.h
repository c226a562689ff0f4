// Public header of Pelvarin.so: the exported FMI 1.0 functions, the model
// identifier that prefixes their names and the model's GUID.
#pragma once

#include "fmi/fmi_types.h"

#define PELVARIN_MODEL_IDENTIFIER "Pelvarin"
#define PELVARIN_GUID "{5e0c6a3d-2f41-4b8e-9c17-a8d2f6b04e93}"

#define PELVARIN_EXPORT extern "C" __attribute__((visibility("default")))

PELVARIN_EXPORT const char* Pelvarin_fmiGetVersion();
PELVARIN_EXPORT const char* Pelvarin_fmiGetModelTypesPlatform();
PELVARIN_EXPORT const char* Pelvarin_fmiGetTypesPlatform();
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetDebugLogging(fmiComponent c, fmiBoolean loggingOn);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiReal value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiInteger value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiBoolean value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetString(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiString value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiReal value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiInteger value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiBoolean value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetString(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiString value[]);
PELVARIN_EXPORT fmiComponent Pelvarin_fmiInstantiateModel(fmiString instanceName, fmiString GUID,
                                                          fmiCallbackFunctions functions, fmiBoolean loggingOn);
PELVARIN_EXPORT void Pelvarin_fmiFreeModelInstance(fmiComponent c);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetTime(fmiComponent c, fmiReal time);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetContinuousStates(fmiComponent c, const fmiReal x[], size_t nx);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiInitialize(fmiComponent c, fmiBoolean toleranceControlled,
                                                 fmiReal relativeTolerance, fmiEventInfo* eventInfo);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiEventUpdate(fmiComponent c, fmiBoolean intermediateResults, fmiEventInfo* eventInfo);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiTerminate(fmiComponent c);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStateValueReferences(fmiComponent c, fmiValueReference vrx[], size_t nx);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetNominalContinuousStates(fmiComponent c, fmiReal x_nominal[], size_t nx);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiCompletedIntegratorStep(fmiComponent c, fmiBoolean* callEventUpdate);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetDerivatives(fmiComponent c, fmiReal derivatives[], size_t nx);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetEventIndicators(fmiComponent c, fmiReal eventIndicators[], size_t ni);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetContinuousStates(fmiComponent c, fmiReal states[], size_t nx);

PELVARIN_EXPORT fmiComponent Pelvarin_fmiInstantiateSlave(fmiString instanceName, fmiString GUID, fmiString fmuLocation,
                                                          fmiString mimeType, fmiReal timeout, fmiBoolean visible,
                                                          fmiBoolean interactive, fmiCoSimCallbackFunctions functions,
                                                          fmiBoolean loggingOn);
PELVARIN_EXPORT void Pelvarin_fmiFreeSlaveInstance(fmiComponent c);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiInitializeSlave(fmiComponent c, fmiReal tStart, fmiBoolean StopTimeDefined, fmiReal tStop);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiTerminateSlave(fmiComponent c);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiResetSlave(fmiComponent c);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetRealInputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                              const fmiInteger order[], const fmiReal value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetRealOutputDerivatives(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                               const fmiInteger order[], fmiReal value[]);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint,
                                             fmiReal communicationStepSize, fmiBoolean newStep);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiCancelStep(fmiComponent c);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStatus(fmiComponent c, fmiStatusKind s, fmiStatus* value);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetRealStatus(fmiComponent c, fmiStatusKind s, fmiReal* value);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetIntegerStatus(fmiComponent c, fmiStatusKind s, fmiInteger* value);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetBooleanStatus(fmiComponent c, fmiStatusKind s, fmiBoolean* value);
PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStringStatus(fmiComponent c, fmiStatusKind s, fmiString* value);

// The host's clock for the runtime's elapsed-time counter: mode 0 takes a
// stamp, any other mode answers the seconds since the stamp. NULL restores
// the built-in clock.
PELVARIN_EXPORT void setTimerCounterCB(double (*callback)(double* stamp, int mode));
