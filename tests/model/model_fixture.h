// The model called directly, with a live instance whose logger records what
// the runtime emits.
#pragma once

#include <gtest/gtest.h>

#include "support/model_arrays.h"
#include "support/runtime_harness.h"

using runtime_test::LiveInstance;
