// The co-simulation slave on top of the model-exchange instance: creation,
// initialization with its integrator, termination, reset and release, the
// input and output derivatives and the refused asynchronous functions. The
// FMI functions themselves are declared in fmi/fmi_functions.h.
#pragma once

#include "fmi/fmi_types.h"
#include "fmi/model_instance.h"
#include "source/runtime_constants.h"

namespace pelvarin {

// The part of fmiInitializeSlave between its entry and completion lines.
fmiStatus initialize_slave_core(ModelInstance* instance, fmiReal tStart, fmiBoolean stopTimeDefined,
                                fmiReal tStop);

// The model asks to integrate itself (inline integration), so that the slave
// needs no integrator of its own.
inline bool inline_integration_requested(const ModelInstance* m) {
  return m->intOptions[INT_OPTION_INLINE_INTEGRATION] != 0;
}

// The instance behind a handle when it is a live slave; a model-exchange
// instance is refused with fmiError "<name>: ...". NULL when refused.
ModelInstance* live_slave(fmiComponent c, const char* name);

}  // namespace pelvarin
