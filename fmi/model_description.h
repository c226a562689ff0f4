// What the model description tells a host about the model: its default
// experiment and one row per variable the unit serves, with the value
// reference a host uses for it. The generated modelDescription.xml, the tests
// and the host programs all take the variables from here; start values come
// from declare_, counts from the model's dimensions.
#pragma once

#include <cstddef>

#include "fmi/variable_access.h"
#include "model/model_dimensions.h"
#include "source/runtime_constants.h"

namespace model_vars {

// The table is read by hosts outside the library's namespace.
using pelvarin::DEMAND_DERIVATIVES;
using pelvarin::make_vr;
using pelvarin::vr_category;
using pelvarin::vr_index;
using pelvarin::VR_CATEGORY_AUXILIARY;
using pelvarin::VR_CATEGORY_DERIVATIVE;
using pelvarin::VR_CATEGORY_INPUT;
using pelvarin::VR_CATEGORY_OUTPUT;
using pelvarin::VR_CATEGORY_PARAMETER;
using pelvarin::VR_CATEGORY_STATE;
using pelvarin::VR_LEVEL_STORED;

// Parameters and states are held by the instance; derivatives and auxiliaries
// are current only once the dynamics are evaluated (demand level 2).
constexpr fmiValueReference parameter(unsigned i) { return make_vr(VR_LEVEL_STORED, VR_CATEGORY_PARAMETER, i); }
constexpr fmiValueReference state(unsigned i) { return make_vr(VR_LEVEL_STORED, VR_CATEGORY_STATE, i); }
constexpr fmiValueReference derivative(unsigned i) {
  return make_vr(DEMAND_DERIVATIVES, VR_CATEGORY_DERIVATIVE, i);
}
constexpr fmiValueReference auxiliary(unsigned i) {
  return make_vr(DEMAND_DERIVATIVES, VR_CATEGORY_AUXILIARY, i);
}

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

constexpr double FMI_DEFAULT_START_TIME = 0.0;
constexpr double FMI_DEFAULT_STOP_TIME = 10.0;

enum class Type { Real, Integer };
enum class Variability { Parameter, Discrete, Continuous };

struct Variable {
  fmiValueReference vr;
  const char* name;
  const char* description;  // nullptr: none
  Type type;
  Variability variability;
  // For parameters and states: false when initialization computes the value,
  // so that a start value set by the host is only a guess.
  bool fixed;
};

constexpr Variable FMI_VARIABLES[] = {
    {state(0), "kompartment1.depot", "State fed by the pulse source", Type::Real, Variability::Continuous,
     true},
    {state(1), "kompartment1.C", "Compartment state; initialization sets it to kompartment1.C0 / kompartment1.Vd",
     Type::Real, Variability::Continuous, false},
    {derivative(0), "der(kompartment1.depot)", nullptr, Type::Real, Variability::Continuous, true},
    {derivative(1), "der(kompartment1.C)", nullptr, Type::Real, Variability::Continuous, true},
    {parameter(P_TRANSFER), "kompartment1.transfer",
     "Transfer coefficient from kompartment1.depot to kompartment1.C", Type::Real, Variability::Parameter, true},
    {parameter(P_AMPLITUDE), "pulse1.amplitude", "Pulse amplitude", Type::Real, Variability::Parameter, true},
    {parameter(P_WIDTH), "pulse1.width", "Pulse width in percent of the period", Type::Real,
     Variability::Parameter, true},
    {parameter(P_PERIOD), "pulse1.period", "Period", Type::Real, Variability::Parameter, true},
    {parameter(P_NPERIOD), "pulse1.nperiod", "Number of periods: below 0 unlimited, 0 no pulse at all",
     Type::Integer, Variability::Parameter, true},
    {parameter(P_OFFSET), "pulse1.offset", "Offset added to the pulse", Type::Real, Variability::Parameter, true},
    {parameter(P_START), "pulse1.startTime", "Start time of the pulses", Type::Real, Variability::Parameter, true},
    {parameter(P_ELIMINATION), "kompartment1.elimination", "Elimination coefficient", Type::Real,
     Variability::Parameter, true},
    {parameter(P_C0), "kompartment1.C0", nullptr, Type::Real, Variability::Parameter, true},
    {parameter(P_VD), "kompartment1.Vd", nullptr, Type::Real, Variability::Parameter, true},
    {auxiliary(0), "kompartment1.concentration", "kompartment1.C / kompartment1.Vd", Type::Real,
     Variability::Continuous, true},
    {auxiliary(1), "kompartment1.transferRate", "-kompartment1.depot * kompartment1.transfer", Type::Real,
     Variability::Continuous, true},
    {auxiliary(2), "pulse1.y", "Pulse source output: pulse1.offset plus the pulse", Type::Real,
     Variability::Continuous, true},
    {auxiliary(3), "pulse1.widthTime", "Pulse width in time units", Type::Real, Variability::Discrete, true},
    {auxiliary(4), "pulse1.periodStart", "Start time of the current period", Type::Real, Variability::Discrete,
     true},
    {auxiliary(5), "pulse1.count", "Period counter", Type::Integer, Variability::Discrete, true},
    {auxiliary(6), "kompartment1.eliminationRate", "kompartment1.concentration * kompartment1.elimination",
     Type::Real, Variability::Continuous, true},
};

constexpr std::size_t FMI_VARIABLE_COUNT = sizeof FMI_VARIABLES / sizeof FMI_VARIABLES[0];

namespace detail {

constexpr unsigned rows_in(int category) {
  unsigned n = 0;
  for (const Variable& v : FMI_VARIABLES) n += vr_category(v.vr) == category ? 1u : 0u;
  return n;
}

// Every index of every vector exactly once.
constexpr bool indices_complete(int category, unsigned count) {
  for (unsigned i = 0; i < count; ++i) {
    unsigned seen = 0;
    for (const Variable& v : FMI_VARIABLES) seen += vr_category(v.vr) == category && vr_index(v.vr) == i ? 1u : 0u;
    if (seen != 1) return false;
  }
  return rows_in(category) == count;
}

}  // namespace detail

using pelvarin::MODEL_NP;
using pelvarin::MODEL_NU;
using pelvarin::MODEL_NW;
using pelvarin::MODEL_NX;
using pelvarin::MODEL_NY;
static_assert(detail::indices_complete(VR_CATEGORY_STATE, MODEL_NX), "one row per state");
static_assert(detail::indices_complete(VR_CATEGORY_DERIVATIVE, MODEL_NX), "one row per derivative");
static_assert(detail::indices_complete(VR_CATEGORY_PARAMETER, MODEL_NP), "one row per parameter");
static_assert(detail::indices_complete(VR_CATEGORY_AUXILIARY, MODEL_NW), "one row per auxiliary");
static_assert(detail::rows_in(VR_CATEGORY_INPUT) == MODEL_NU && detail::rows_in(VR_CATEGORY_OUTPUT) == MODEL_NY,
              "one row per input and output");
static_assert(FMI_VARIABLE_COUNT == 2 * MODEL_NX + MODEL_NP + MODEL_NW + MODEL_NU + MODEL_NY, "no other rows");

}  // namespace model_vars
