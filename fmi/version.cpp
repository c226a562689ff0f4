#include "fmi/fmi_functions.h"
#include "fmi/version.h"

namespace pelvarin {

const char* const fmi_function_names[FMI_NAME_COUNT] = {
    "fmiInstantiateModel",        "fmiSetTime",
    "fmiSetContinuousStates",     "fmiInitialize",
    "fmiEventUpdate",             "fmiCompletedIntegratorStep",
    "fmiGetDerivatives",          "fmiGetEventIndicators",
    "fmiGetContinuousStates",     "fmiGetNominalContinuousStates",
    "fmiGetStateValueReferences", "fmiInstantiateSlave",
    "fmiInitializeSlave",         "fmiTerminateSlave",
    "fmiResetSlave",              "fmiSetRealInputDerivatives",
    "fmiGetRealOutputDerivatives", "fmiDoStep",
};

const char* fmiGetVersion() { return "1.0"; }

const char* fmiGetTypesPlatform() { return "standard32"; }

}  // namespace pelvarin
