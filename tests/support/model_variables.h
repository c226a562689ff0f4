// The model's variables as the tests address them: the unit's own table, and
// references to the inputs and outputs that this model does not have.
#pragma once

#include "fmi/model_description.h"

namespace model_vars {

constexpr fmiValueReference input(unsigned i) { return make_vr(0, VR_CATEGORY_INPUT, i); }
constexpr fmiValueReference output(unsigned i) { return make_vr(0, VR_CATEGORY_OUTPUT, i); }

// The default experiment's stop time under the tests' own name.
constexpr double kDefaultStopTime = FMI_DEFAULT_STOP_TIME;

}  // namespace model_vars
