// Value references: level in bits 28-31, category in bits 24-27, index in
// bits 0-23.
#pragma once

#include <cstdint>

#include "fmi/fmi_types.h"

namespace pelvarin {

// The level of a value the instance holds: a read needs no evaluation.
constexpr int VR_LEVEL_STORED = 0;

enum {
  VR_CATEGORY_PARAMETER = 1,
  VR_CATEGORY_STATE = 2,
  VR_CATEGORY_DERIVATIVE = 3,
  VR_CATEGORY_OUTPUT = 4,
  VR_CATEGORY_INPUT = 5,
  VR_CATEGORY_AUXILIARY = 6,
};

constexpr int vr_level(fmiValueReference vr) { return static_cast<int>(vr >> 28); }
constexpr int vr_category(fmiValueReference vr) { return static_cast<int>((vr >> 24) & 0xFu); }
constexpr std::uint32_t vr_index(fmiValueReference vr) { return vr & 0xFFFFFFu; }
constexpr fmiValueReference make_vr(int level, int category, std::uint32_t index) {
  return (static_cast<fmiValueReference>(level) << 28) |
         (static_cast<fmiValueReference>(category) << 24) | (index & 0xFFFFFFu);
}

}  // namespace pelvarin
