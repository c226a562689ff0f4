// Exports of the co-simulation functions: each forwards unchanged to the
// implementation with the bare FMI name. Instantiation first registers result
// generation, which lies beside the co-simulation layer.
#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "result/result_sampling.h"

PELVARIN_EXPORT const char* Pelvarin_fmiGetTypesPlatform() { return fmiGetTypesPlatform(); }

PELVARIN_EXPORT fmiComponent Pelvarin_fmiInstantiateSlave(fmiString instanceName, fmiString GUID,
                                                          fmiString fmuLocation, fmiString mimeType,
                                                          fmiReal timeout, fmiBoolean visible,
                                                          fmiBoolean interactive,
                                                          fmiCoSimCallbackFunctions functions,
                                                          fmiBoolean loggingOn) {
  register_result_generation();
  return fmiInstantiateSlave(instanceName, GUID, fmuLocation, mimeType, timeout, visible,
                             interactive, functions, loggingOn);
}

PELVARIN_EXPORT void Pelvarin_fmiFreeSlaveInstance(fmiComponent c) { fmiFreeSlaveInstance(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiInitializeSlave(fmiComponent c, fmiReal tStart,
                                                      fmiBoolean StopTimeDefined, fmiReal tStop) {
  return fmiInitializeSlave(c, tStart, StopTimeDefined, tStop);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiTerminateSlave(fmiComponent c) {
  return fmiTerminateSlave(c);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiResetSlave(fmiComponent c) { return fmiResetSlave(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetRealInputDerivatives(fmiComponent c,
                                                              const fmiValueReference vr[],
                                                              size_t nvr, const fmiInteger order[],
                                                              const fmiReal value[]) {
  return fmiSetRealInputDerivatives(c, vr, nvr, order, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetRealOutputDerivatives(fmiComponent c,
                                                               const fmiValueReference vr[],
                                                               size_t nvr, const fmiInteger order[],
                                                               fmiReal value[]) {
  return fmiGetRealOutputDerivatives(c, vr, nvr, order, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint,
                                             fmiReal communicationStepSize, fmiBoolean newStep) {
  return fmiDoStep(c, currentCommunicationPoint, communicationStepSize, newStep);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiCancelStep(fmiComponent c) { return fmiCancelStep(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStatus(fmiComponent c, fmiStatusKind s, fmiStatus* value) {
  return fmiGetStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetRealStatus(fmiComponent c, fmiStatusKind s,
                                                    fmiReal* value) {
  return fmiGetRealStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetIntegerStatus(fmiComponent c, fmiStatusKind s,
                                                       fmiInteger* value) {
  return fmiGetIntegerStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetBooleanStatus(fmiComponent c, fmiStatusKind s,
                                                       fmiBoolean* value) {
  return fmiGetBooleanStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStringStatus(fmiComponent c, fmiStatusKind s,
                                                      fmiString* value) {
  return fmiGetStringStatus(c, s, value);
}
