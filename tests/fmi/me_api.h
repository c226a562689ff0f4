// The model-exchange functions of the loaded library, found by their exported
// names, and the model's value references.
#pragma once

#include <gtest/gtest.h>

#include <string>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "support/fmu_host.h"
#include "support/model_variables.h"

using namespace pelvarin;

namespace me {

using namespace model_vars;

struct Api {
  host::Library lib;
#define ME_FUNCTION(name) decltype(&::name) name = lib.get<decltype(&::name)>("Pelvarin_" #name)
  ME_FUNCTION(fmiGetVersion);
  ME_FUNCTION(fmiSetDebugLogging);
  ME_FUNCTION(fmiGetReal);
  ME_FUNCTION(fmiGetInteger);
  ME_FUNCTION(fmiGetBoolean);
  ME_FUNCTION(fmiGetString);
  ME_FUNCTION(fmiSetReal);
  ME_FUNCTION(fmiSetInteger);
  ME_FUNCTION(fmiSetBoolean);
  ME_FUNCTION(fmiSetString);
  ME_FUNCTION(fmiInstantiateModel);
  ME_FUNCTION(fmiFreeModelInstance);
  ME_FUNCTION(fmiSetTime);
  ME_FUNCTION(fmiSetContinuousStates);
  ME_FUNCTION(fmiInitialize);
  ME_FUNCTION(fmiEventUpdate);
  ME_FUNCTION(fmiTerminate);
  ME_FUNCTION(fmiGetStateValueReferences);
  ME_FUNCTION(fmiGetNominalContinuousStates);
  ME_FUNCTION(fmiCompletedIntegratorStep);
  ME_FUNCTION(fmiGetDerivatives);
  ME_FUNCTION(fmiGetEventIndicators);
  ME_FUNCTION(fmiGetContinuousStates);
#undef ME_FUNCTION
  decltype(&::fmiGetTypesPlatform) fmiGetModelTypesPlatform =
      lib.get<decltype(&::fmiGetTypesPlatform)>("Pelvarin_fmiGetModelTypesPlatform");

  // The instance is freed when the handle goes out of scope.
  host::Instance instantiate(const char* name = "inst", fmiBoolean loggingOn = fmiTrue) {
    return {fmiInstantiateModel(name, PELVARIN_GUID, host::me_callbacks(), loggingOn),
            fmiFreeModelInstance};
  }

  double real(fmiComponent c, fmiValueReference vr) {
    double v = -12345.0;
    EXPECT_EQ(fmiGetReal(c, &vr, 1, &v), fmiOK) << host::all_logs();
    return v;
  }

  fmiStatus set_real(fmiComponent c, fmiValueReference vr, double v) { return fmiSetReal(c, &vr, 1, &v); }
};

// An event record filled with marker values, to see which members are written.
inline fmiEventInfo marked_event_info() {
  fmiEventInfo info;
  info.iterationConverged = 7;
  info.stateValueReferencesChanged = 7;
  info.stateValuesChanged = 7;
  info.terminateSimulation = 7;
  info.upcomingTimeEvent = 7;
  info.nextEventTime = -77.0;
  return info;
}

// Number of recorded messages whose shown text equals text exactly.
inline size_t count_exact(const std::string& text) {
  size_t n = 0;
  for (const host::LogRecord& r : host::record().logs)
    if (r.message == text) ++n;
  return n;
}

inline bool logged(const std::string& text, fmiStatus status) {
  for (const host::LogRecord& r : host::record().logs)
    if (r.message == text && r.status == status) return true;
  return false;
}

}  // namespace me
