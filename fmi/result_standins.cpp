// Stand-ins for result generation: nothing sets an instance's
// resultGeneration flag, so they are never reached.
#include "fmi/result_hooks.h"

void setup_result_generation(ModelInstance*) {}
void store_result_point(ModelInstance*, bool) {}
void finish_result_generation(ModelInstance*) {}
