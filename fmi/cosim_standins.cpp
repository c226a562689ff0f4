// Stand-ins for the co-simulation stepper, used while it is not built:
// nothing makes an instance a slave then, so they are never reached.
#include "fmi/cosim_hooks.h"

void update_input_reference(ModelInstance*, std::int32_t) {}

fmiStatus fmiTerminateSlave(fmiComponent c) { return fmiTerminate(c); }
