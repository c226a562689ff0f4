// Calls of the model-exchange layer into the co-simulation stepper. The
// stepper implements them; without it, stand-ins serve.
#pragma once

#include <cstdint>

#include "fmi/fmi_functions.h"  // fmiTerminateSlave(fmiComponent)
#include "fmi/model_instance.h"

// A setter stored input `index` of a slave: it becomes the reference value of
// that input's interpolation.
void update_input_reference(ModelInstance* instance, std::int32_t index);

// Releases a slave's integrator and driver, without the statistics report;
// nothing when there is none.
void free_integrator(ModelInstance* instance);
