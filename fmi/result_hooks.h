// Calls into result generation, made only while the instance's
// resultGeneration flag is set; their failures end in warnings.
#pragma once

#include "fmi/model_instance.h"

void setup_result_generation(ModelInstance* instance);
void store_result_point(ModelInstance* instance, bool isEvent);
void finish_result_generation(ModelInstance* instance);
