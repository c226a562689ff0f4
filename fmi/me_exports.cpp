// Exports of the functions common to both forms and of model exchange: each
// forwards unchanged to the implementation with the bare FMI name.
// Instantiation first registers result generation, which lies above the
// interface layer.
#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "result/result_sampling.h"

PELVARIN_EXPORT const char* Pelvarin_fmiGetVersion() { return fmiGetVersion(); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetDebugLogging(fmiComponent c, fmiBoolean loggingOn) {
  return fmiSetDebugLogging(c, loggingOn);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                              fmiReal value[]) {
  return fmiGetReal(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 fmiInteger value[]) {
  return fmiGetInteger(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 fmiBoolean value[]) {
  return fmiGetBoolean(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetString(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                fmiString value[]) {
  return fmiGetString(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                              const fmiReal value[]) {
  return fmiSetReal(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 const fmiInteger value[]) {
  return fmiSetInteger(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 const fmiBoolean value[]) {
  return fmiSetBoolean(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetString(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                const fmiString value[]) {
  return fmiSetString(c, vr, nvr, value);
}

PELVARIN_EXPORT const char* Pelvarin_fmiGetModelTypesPlatform() { return fmiGetTypesPlatform(); }

PELVARIN_EXPORT fmiComponent Pelvarin_fmiInstantiateModel(fmiString instanceName, fmiString GUID,
                                                          fmiCallbackFunctions functions, fmiBoolean loggingOn) {
  register_result_generation();
  return fmiInstantiateModel(instanceName, GUID, functions, loggingOn);
}

PELVARIN_EXPORT void Pelvarin_fmiFreeModelInstance(fmiComponent c) { fmiFreeModelInstance(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetTime(fmiComponent c, fmiReal time) { return fmiSetTime(c, time); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetContinuousStates(fmiComponent c, const fmiReal x[], size_t nx) {
  return fmiSetContinuousStates(c, x, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiInitialize(fmiComponent c, fmiBoolean toleranceControlled,
                                                 fmiReal relativeTolerance, fmiEventInfo* eventInfo) {
  return fmiInitialize(c, toleranceControlled, relativeTolerance, eventInfo);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiEventUpdate(fmiComponent c, fmiBoolean intermediateResults,
                                                  fmiEventInfo* eventInfo) {
  return fmiEventUpdate(c, intermediateResults, eventInfo);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiTerminate(fmiComponent c) { return fmiTerminate(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStateValueReferences(fmiComponent c, fmiValueReference vrx[], size_t nx) {
  return fmiGetStateValueReferences(c, vrx, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetNominalContinuousStates(fmiComponent c, fmiReal x_nominal[], size_t nx) {
  return fmiGetNominalContinuousStates(c, x_nominal, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiCompletedIntegratorStep(fmiComponent c, fmiBoolean* callEventUpdate) {
  return fmiCompletedIntegratorStep(c, callEventUpdate);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetDerivatives(fmiComponent c, fmiReal derivatives[], size_t nx) {
  return fmiGetDerivatives(c, derivatives, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetEventIndicators(fmiComponent c, fmiReal eventIndicators[], size_t ni) {
  return fmiGetEventIndicators(c, eventIndicators, ni);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetContinuousStates(fmiComponent c, fmiReal states[], size_t nx) {
  return fmiGetContinuousStates(c, states, nx);
}
