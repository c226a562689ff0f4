// Exports of the co-simulation functions: each forwards unchanged to the
// implementation with the bare FMI name. Instantiation first registers result
// generation, which lies beside the co-simulation layer.
#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "result/result_sampling.h"

PELVARIN_EXPORT const char* Pelvarin_fmiGetTypesPlatform() { return pelvarin::fmiGetTypesPlatform(); }

PELVARIN_EXPORT fmiComponent Pelvarin_fmiInstantiateSlave(fmiString instanceName, fmiString GUID,
                                                          fmiString fmuLocation, fmiString mimeType,
                                                          fmiReal timeout, fmiBoolean visible,
                                                          fmiBoolean interactive,
                                                          fmiCoSimCallbackFunctions functions,
                                                          fmiBoolean loggingOn) {
  pelvarin::register_result_generation();
  return pelvarin::fmiInstantiateSlave(instanceName, GUID, fmuLocation, mimeType, timeout, visible,
                             interactive, functions, loggingOn);
}

PELVARIN_EXPORT void Pelvarin_fmiFreeSlaveInstance(fmiComponent c) { pelvarin::fmiFreeSlaveInstance(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiInitializeSlave(fmiComponent c, fmiReal tStart,
                                                      fmiBoolean StopTimeDefined, fmiReal tStop) {
  return pelvarin::fmiInitializeSlave(c, tStart, StopTimeDefined, tStop);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiTerminateSlave(fmiComponent c) {
  return pelvarin::fmiTerminateSlave(c);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiResetSlave(fmiComponent c) { return pelvarin::fmiResetSlave(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetRealInputDerivatives(fmiComponent c,
                                                              const fmiValueReference vr[],
                                                              size_t nvr, const fmiInteger order[],
                                                              const fmiReal value[]) {
  return pelvarin::fmiSetRealInputDerivatives(c, vr, nvr, order, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetRealOutputDerivatives(fmiComponent c,
                                                               const fmiValueReference vr[],
                                                               size_t nvr, const fmiInteger order[],
                                                               fmiReal value[]) {
  return pelvarin::fmiGetRealOutputDerivatives(c, vr, nvr, order, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiDoStep(fmiComponent c, fmiReal currentCommunicationPoint,
                                             fmiReal communicationStepSize, fmiBoolean newStep) {
  return pelvarin::fmiDoStep(c, currentCommunicationPoint, communicationStepSize, newStep);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiCancelStep(fmiComponent c) { return pelvarin::fmiCancelStep(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStatus(fmiComponent c, fmiStatusKind s, fmiStatus* value) {
  return pelvarin::fmiGetStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetRealStatus(fmiComponent c, fmiStatusKind s,
                                                    fmiReal* value) {
  return pelvarin::fmiGetRealStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetIntegerStatus(fmiComponent c, fmiStatusKind s,
                                                       fmiInteger* value) {
  return pelvarin::fmiGetIntegerStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetBooleanStatus(fmiComponent c, fmiStatusKind s,
                                                       fmiBoolean* value) {
  return pelvarin::fmiGetBooleanStatus(c, s, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStringStatus(fmiComponent c, fmiStatusKind s,
                                                      fmiString* value) {
  return pelvarin::fmiGetStringStatus(c, s, value);
}
