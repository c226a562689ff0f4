#include "fmi/layer_hooks.h"

#include "fmi/fmi_functions.h"

namespace pelvarin {

namespace {

void no_integrator(ModelInstance*) {}
void no_input_reference(ModelInstance*, std::int32_t) {}
void no_result(ModelInstance*) {}
void no_result_point(ModelInstance*, bool) {}

// Initialized with constants, so that nothing runs at load; registration
// overwrites them.
CosimHooks registered_cosim_hooks = {fmiTerminate, no_integrator, no_input_reference};
ResultHooks registered_result_hooks = {no_result, no_result_point, no_result};

}  // namespace

void register_cosim_hooks(const CosimHooks& hooks) { registered_cosim_hooks = hooks; }

void register_result_hooks(const ResultHooks& hooks) { registered_result_hooks = hooks; }

const CosimHooks& cosim_hooks() { return registered_cosim_hooks; }

const ResultHooks& result_hooks() { return registered_result_hooks; }

}  // namespace pelvarin
