// Calls of the interface layer into the layers above it, through tables of
// function pointers that those layers register in a call, never at load. The
// co-simulation stepper registers its table in fmiInstantiateSlave, before
// the slave exists, so every slave has it; result generation registers its
// own in the exported instantiation functions, before an instance reads its
// switch. Until then stand-ins serve: a slave ends as a model-exchange
// instance does, and the other calls do nothing.
#pragma once

#include <cstdint>

#include "fmi/fmi_types.h"
#include "fmi/model_instance.h"

namespace pelvarin {

struct CosimHooks {
  // Ends an initialized slave: the integrator's statistics, its release and
  // the instance's termination.
  fmiStatus (*fmiTerminateSlave)(fmiComponent c);
  // Releases a slave's integrator and driver, without the statistics report;
  // nothing when there is none.
  void (*free_integrator)(ModelInstance* instance);
  // A setter stored input `index` of a slave: it becomes the reference value
  // of that input's interpolation.
  void (*update_input_reference)(ModelInstance* instance, std::int32_t index);
};

// Called only while the instance's resultGeneration flag is set; their
// failures end in warnings.
struct ResultHooks {
  void (*setup_result_generation)(ModelInstance* instance);
  void (*store_result_point)(ModelInstance* instance, bool isEvent);
  void (*finish_result_generation)(ModelInstance* instance);
};

void register_cosim_hooks(const CosimHooks& hooks);
void register_result_hooks(const ResultHooks& hooks);

const CosimHooks& cosim_hooks();
const ResultHooks& result_hooks();

}  // namespace pelvarin
