// The model's variables as a host addresses them: value references
// (level << 28 | category << 24 | index) and the parameters by index.
#pragma once

#include "fmi/fmi_types.h"

namespace model_vars {

constexpr fmiValueReference parameter(unsigned i) { return 0x01000000u | i; }
constexpr fmiValueReference state(unsigned i) { return 0x02000000u | i; }
constexpr fmiValueReference derivative(unsigned i) { return 0x23000000u | i; }
constexpr fmiValueReference auxiliary(unsigned i) { return 0x26000000u | i; }
constexpr fmiValueReference input(unsigned i) { return 0x05000000u | i; }
constexpr fmiValueReference output(unsigned i) { return 0x04000000u | i; }

enum {
  P_TRANSFER = 0,
  P_AMPLITUDE = 1,
  P_WIDTH = 2,  // percent of the period
  P_PERIOD = 3,
  P_NPERIOD = 4,
  P_OFFSET = 5,
  P_START = 6,
  P_ELIMINATION = 7,
  P_C0 = 8,
  P_VD = 9,
};

}  // namespace model_vars
