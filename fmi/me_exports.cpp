// Exports of the functions common to both forms and of model exchange: each
// forwards unchanged to the implementation with the bare FMI name.
// Instantiation first registers result generation, which lies above the
// interface layer.
#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "result/result_sampling.h"

PELVARIN_EXPORT const char* Pelvarin_fmiGetVersion() { return pelvarin::fmiGetVersion(); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetDebugLogging(fmiComponent c, fmiBoolean loggingOn) {
  return pelvarin::fmiSetDebugLogging(c, loggingOn);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                              fmiReal value[]) {
  return pelvarin::fmiGetReal(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 fmiInteger value[]) {
  return pelvarin::fmiGetInteger(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 fmiBoolean value[]) {
  return pelvarin::fmiGetBoolean(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetString(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                fmiString value[]) {
  return pelvarin::fmiGetString(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                              const fmiReal value[]) {
  return pelvarin::fmiSetReal(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 const fmiInteger value[]) {
  return pelvarin::fmiSetInteger(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                 const fmiBoolean value[]) {
  return pelvarin::fmiSetBoolean(c, vr, nvr, value);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetString(fmiComponent c, const fmiValueReference vr[], size_t nvr,
                                                const fmiString value[]) {
  return pelvarin::fmiSetString(c, vr, nvr, value);
}

PELVARIN_EXPORT const char* Pelvarin_fmiGetModelTypesPlatform() { return pelvarin::fmiGetTypesPlatform(); }

PELVARIN_EXPORT fmiComponent Pelvarin_fmiInstantiateModel(fmiString instanceName, fmiString GUID,
                                                          fmiCallbackFunctions functions, fmiBoolean loggingOn) {
  pelvarin::register_result_generation();
  return pelvarin::fmiInstantiateModel(instanceName, GUID, functions, loggingOn);
}

PELVARIN_EXPORT void Pelvarin_fmiFreeModelInstance(fmiComponent c) { pelvarin::fmiFreeModelInstance(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetTime(fmiComponent c, fmiReal time) { return pelvarin::fmiSetTime(c, time); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiSetContinuousStates(fmiComponent c, const fmiReal x[], size_t nx) {
  return pelvarin::fmiSetContinuousStates(c, x, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiInitialize(fmiComponent c, fmiBoolean toleranceControlled,
                                                 fmiReal relativeTolerance, fmiEventInfo* eventInfo) {
  return pelvarin::fmiInitialize(c, toleranceControlled, relativeTolerance, eventInfo);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiEventUpdate(fmiComponent c, fmiBoolean intermediateResults,
                                                  fmiEventInfo* eventInfo) {
  return pelvarin::fmiEventUpdate(c, intermediateResults, eventInfo);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiTerminate(fmiComponent c) { return pelvarin::fmiTerminate(c); }

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetStateValueReferences(fmiComponent c, fmiValueReference vrx[], size_t nx) {
  return pelvarin::fmiGetStateValueReferences(c, vrx, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetNominalContinuousStates(fmiComponent c, fmiReal x_nominal[], size_t nx) {
  return pelvarin::fmiGetNominalContinuousStates(c, x_nominal, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiCompletedIntegratorStep(fmiComponent c, fmiBoolean* callEventUpdate) {
  return pelvarin::fmiCompletedIntegratorStep(c, callEventUpdate);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetDerivatives(fmiComponent c, fmiReal derivatives[], size_t nx) {
  return pelvarin::fmiGetDerivatives(c, derivatives, nx);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetEventIndicators(fmiComponent c, fmiReal eventIndicators[], size_t ni) {
  return pelvarin::fmiGetEventIndicators(c, eventIndicators, ni);
}

PELVARIN_EXPORT fmiStatus Pelvarin_fmiGetContinuousStates(fmiComponent c, fmiReal states[], size_t nx) {
  return pelvarin::fmiGetContinuousStates(c, states, nx);
}
