// The generated model's dimensions.
#pragma once

namespace pelvarin {

enum {
  MODEL_NX = 2,
  MODEL_NU = 0,
  MODEL_NY = 0,
  MODEL_NW = 7,
  MODEL_NP = 10,
  MODEL_NREL = 1,
  MODEL_NI = 2 * MODEL_NREL,
};

}  // namespace pelvarin
