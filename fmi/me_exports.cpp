// Exports of the functions common to both forms and of model exchange: each
// forwards unchanged to the implementation with the bare FMI name.
#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"

PELVARIN_EXPORT const char* Pelvarin_fmiGetVersion() { return fmiGetVersion(); }
PELVARIN_EXPORT const char* Pelvarin_fmiGetModelTypesPlatform() { return fmiGetTypesPlatform(); }
