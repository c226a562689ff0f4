#include "fmi/variable_access.h"

#include <cassert>
#include <climits>
#include <cmath>

#include "fmi/evaluation.h"
#include "fmi/fmi_functions.h"
#include "fmi/layer_hooks.h"
#include "fmi/logging.h"
#include "fmi/model_instance.h"
#include "fmi/version.h"
#include "source/runtime_constants.h"

namespace pelvarin {

namespace {

// A read asks for no more than the event indicators' level: anything above
// would make it run an event iteration.
constexpr int FMI_MAX_READ_LEVEL = DEMAND_ALL_SECTIONS;

// The element a reference names, or NULL when its category names no vector or
// its index lies beyond the vector.
double* variable_slot(const ModelInstance* instance, fmiValueReference vr) {
  const std::uint32_t index = vr_index(vr);
  switch (vr_category(vr)) {
    case VR_CATEGORY_PARAMETER: return index < instance->np ? &instance->p[index] : nullptr;
    case VR_CATEGORY_STATE: return index < instance->nx ? &instance->x[index] : nullptr;
    case VR_CATEGORY_DERIVATIVE: return index < instance->nx ? &instance->der[index] : nullptr;
    // Not reached in this model: an element of y or u, as it has no outputs or
    // inputs (the bound refuses every such reference).
    case VR_CATEGORY_OUTPUT: return index < instance->ny ? &instance->y[index] : nullptr;
    case VR_CATEGORY_INPUT: return index < instance->nu ? &instance->u[index] : nullptr;
    case VR_CATEGORY_AUXILIARY: return index < instance->nw ? &instance->w[index] : nullptr;
    default: return nullptr;
  }
}

// Messages take counts as unsigned; a size_t never goes to "%u" itself.
unsigned shown_count(size_t n) { return n > UINT_MAX ? UINT_MAX : static_cast<unsigned>(n); }

// Toward zero; NaN gives 0 and values beyond the 32-bit range saturate, where
// a plain conversion would be undefined.
fmiInteger truncate_to_integer(double v) {
  if (std::isnan(v)) return 0;
  if (v >= static_cast<double>(INT32_MAX)) return INT32_MAX;
  if (v <= static_cast<double>(INT32_MIN)) return INT32_MIN;
  return static_cast<fmiInteger>(v);
}

struct RealType {
  typedef fmiReal Value;
  static constexpr char letter = 'r';
  static constexpr bool discardFailedEvaluation = true;
  static Value from_double(double v) { return v; }
  static double to_double(Value v) { return v; }
};

struct IntegerType {
  typedef fmiInteger Value;
  static constexpr char letter = 'i';
  static constexpr bool discardFailedEvaluation = false;
  static Value from_double(double v) { return truncate_to_integer(v); }
  static double to_double(Value v) { return static_cast<double>(v); }
};

struct BooleanType {
  typedef fmiBoolean Value;
  static constexpr char letter = 'b';
  static constexpr bool discardFailedEvaluation = false;
  // The low byte of the truncated value.
  static Value from_double(double v) {
    return static_cast<Value>(static_cast<unsigned>(truncate_to_integer(v)) & 0xFFu);
  }
  static double to_double(Value v) { return static_cast<double>(static_cast<signed char>(v)); }
};

// The worker of fmiGetReal, fmiGetInteger and fmiGetBoolean: one evaluation
// up to the highest level asked for (never above FMI_MAX_READ_LEVEL), then the
// values in order, each logged. Returns as the getters (fmi_functions.h).
template <typename Type>
fmiStatus get_values(fmiComponent c, const char* name, const fmiValueReference vr[], size_t nvr,
                     typename Type::Value value[]) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  if (nvr > 0 && (vr == nullptr || value == nullptr)) {
    FMI_LOG(instance, fmiError, "%s: argument vr or value is NULL with nvr = %u", name, shown_count(nvr));
    return fmiError;
  }
  int demand = VR_LEVEL_STORED;
  for (size_t i = 0; i < nvr; ++i) {
    const int level = vr_level(vr[i]);
    if (level > demand && level <= FMI_MAX_READ_LEVEL) demand = level;
  }
  // Level-0 values need no evaluation; asking the model for level 0 would be
  // an initialization call.
  if (demand > VR_LEVEL_STORED && instance->computedLevel < demand) {
    int qiErr = evaluate_model(instance, demand, nullptr);
    if (qiErr != QIERR_OK) {
      fmiStatus status = (Type::discardFailedEvaluation && qiErr == QIERR_ERROR) ? fmiDiscard : fmiError;
      FMI_LOG(instance, status, "%s: dsblock_ failed, QiErr = %d", name, qiErr);
      return status == fmiError ? terminate_on_error(instance) : fmiDiscard;
    }
  }
  for (size_t i = 0; i < nvr; ++i) {
    const double* slot = vr_level(vr[i]) <= FMI_MAX_READ_LEVEL ? variable_slot(instance, vr[i]) : nullptr;
    if (slot == nullptr) {
      FMI_LOG(instance, fmiDiscard, "%s: cannot get #%c%u#", name, Type::letter, vr[i]);
      return fmiDiscard;
    }
    value[i] = Type::from_double(*slot);
    FMI_LOG(instance, fmiOK, "%s: #%c%u# = %g", name, Type::letter, vr[i], Type::to_double(value[i]));
  }
  return fmiOK;
}

// What is stored is used from now on: derivatives, event indicators and, for
// a slave, the next step.
void mark_written(ModelInstance* instance) {
  instance->computedLevel = 0;
  instance->inputsChanged = 1;
}

// A refusal after `stored` values: those stay, and count as a write.
fmiStatus refused_after(ModelInstance* instance, size_t stored) {
  if (stored > 0) mark_written(instance);
  return fmiDiscard;
}

// The worker of the setters: the values in order, each logged; a counted
// parameter change, or a slave's input reference, goes with each. Returns as
// the setters (fmi_functions.h).
template <typename Type>
fmiStatus set_values(fmiComponent c, const char* name, const fmiValueReference vr[], size_t nvr,
                     const typename Type::Value value[]) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  if (nvr > 0 && (vr == nullptr || value == nullptr)) {
    FMI_LOG(instance, fmiError, "%s: argument vr or value is NULL with nvr = %u", name, shown_count(nvr));
    return fmiError;
  }
  for (size_t i = 0; i < nvr; ++i) {
    double* slot = variable_slot(instance, vr[i]);
    if (slot == nullptr) {
      FMI_LOG(instance, fmiDiscard, "%s: cannot set #%c%u#  ", name, Type::letter, vr[i]);
      return refused_after(instance, i);
    }
    const int category = vr_category(vr[i]);
    const bool computed = category == VR_CATEGORY_DERIVATIVE || category == VR_CATEGORY_OUTPUT ||
                          category == VR_CATEGORY_AUXILIARY;
    if (computed && instance->state != INSTANCE_INSTANTIATED) {
      FMI_LOG(instance, fmiDiscard, "%s: may not change #%c%u# at this stage", name, Type::letter, vr[i]);
      return refused_after(instance, i);
    }
    const double v = Type::to_double(value[i]);
    *slot = v;
    if (category == VR_CATEGORY_PARAMETER) {
      int& counter = instance->intOptions[INT_OPTION_PARAMETER_CHANGES];
      counter = static_cast<int>(static_cast<unsigned>(counter) + 1u);  // wraps, never overflows
    } else if (category == VR_CATEGORY_INPUT && instance->isCoSimulation) {
      // Not reached in this model: it has no inputs.
      cosim_hooks().update_input_reference(instance, static_cast<std::int32_t>(vr_index(vr[i])));
    }
    FMI_LOG(instance, fmiOK, "%s: #%c%u# = %g", name, Type::letter, vr[i], v);
  }
  mark_written(instance);
  return fmiOK;
}

// The common start of the vector transfers: a NULL array with a non-zero
// length is refused; a length other than the model's is reported and the
// smaller one is used. Returns fmiOK, fmiWarning or fmiError.
fmiStatus check_vector(ModelInstance* instance, const char* name, const char* arrayName,
                       const char* argument, const void* array, size_t* n, std::uint32_t expected) {
  if (*n > 0 && array == nullptr) {
    FMI_LOG(instance, fmiError, "%s: argument %s is NULL with %s = %u", name, arrayName, argument,
            shown_count(*n));
    return fmiError;
  }
  if (*n == expected) return fmiOK;
  FMI_LOG(instance, fmiWarning, "%s: argument %s = %u is incorrect, should be %u", name, argument,
          shown_count(*n), expected);
  if (*n > expected) *n = expected;
  return fmiWarning;
}

// The worker of the vector getters: after the checks of check_vector, the
// values (derivatives, event indicators: computed ones, demand above
// VR_LEVEL_STORED) are evaluated when not current, then copied out.
// Needs: `source` one of the instance's value arrays, `count` its length.
// Guarantees: no more than the smaller of n and the model's length is
// written. Returns check_vector's fmiOK or fmiWarning; fmiError for a NULL
// array or, with the instance terminated, a failed evaluation; fmiDiscard
// when the model refused the evaluation.
fmiStatus get_vector(fmiComponent c, int nameIndex, const char* arrayName, const char* argument,
                     fmiReal out[], size_t n, double* ModelInstance::*source,
                     std::uint32_t ModelInstance::*count, int demand) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[nameIndex];
  fmiStatus result = check_vector(instance, name, arrayName, argument, out, &n, instance->*count);
  if (result == fmiError) return result;
  assert(n <= instance->*count && instance->*source != nullptr);
  if (demand > VR_LEVEL_STORED && instance->computedLevel < demand) {
    int qiErr = evaluate_model(instance, demand, name);
    if (qiErr == QIERR_ERROR) return fmiDiscard;
    if (qiErr != QIERR_OK) return terminate_on_error(instance);
  }
  const double* values = instance->*source;
  for (size_t i = 0; i < n; ++i) out[i] = values[i];
  FMI_LOG(instance, fmiOK, "%s", name);
  return result;
}

}  // namespace

fmiStatus fmiGetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiReal value[]) {
  return get_values<RealType>(c, "fmiGetReal", vr, nvr, value);
}

fmiStatus fmiGetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiInteger value[]) {
  return get_values<IntegerType>(c, "fmiGetInteger", vr, nvr, value);
}

fmiStatus fmiGetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiBoolean value[]) {
  return get_values<BooleanType>(c, "fmiGetBoolean", vr, nvr, value);
}

fmiStatus fmiSetReal(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiReal value[]) {
  return set_values<RealType>(c, "fmiSetReal", vr, nvr, value);
}

fmiStatus fmiSetInteger(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiInteger value[]) {
  return set_values<IntegerType>(c, "fmiSetInteger", vr, nvr, value);
}

fmiStatus fmiSetBoolean(fmiComponent c, const fmiValueReference vr[], size_t nvr, const fmiBoolean value[]) {
  return set_values<BooleanType>(c, "fmiSetBoolean", vr, nvr, value);
}

// The model has no strings; asking for none of them is no request at all.
fmiStatus fmiGetString(fmiComponent c, const fmiValueReference[], size_t nvr, fmiString[]) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  if (nvr == 0) return fmiOK;
  FMI_LOG(instance, fmiWarning, "fmiGetString: not supported");
  return fmiDiscard;
}

fmiStatus fmiSetString(fmiComponent c, const fmiValueReference[], size_t nvr, const fmiString[]) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  if (nvr == 0) return fmiOK;
  FMI_LOG(instance, fmiWarning, "fmiSetString: not supported");
  return fmiDiscard;
}

fmiStatus fmiGetDerivatives(fmiComponent c, fmiReal derivatives[], size_t nx) {
  return get_vector(c, FMI_NAME_GET_DERIVATIVES, "derivatives", "nx", derivatives, nx, &ModelInstance::der,
                    &ModelInstance::nx, DEMAND_DERIVATIVES);
}

fmiStatus fmiGetEventIndicators(fmiComponent c, fmiReal eventIndicators[], size_t ni) {
  return get_vector(c, FMI_NAME_GET_EVENT_INDICATORS, "eventIndicators", "ni", eventIndicators, ni,
                    &ModelInstance::eventIndicators, &ModelInstance::ni, DEMAND_ALL_SECTIONS);
}

fmiStatus fmiSetContinuousStates(fmiComponent c, const fmiReal x[], size_t nx) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[FMI_NAME_SET_CONTINUOUS_STATES];
  fmiStatus result = check_vector(instance, name, "x", "nx", x, &nx, instance->nx);
  if (result == fmiError) return result;
  FMI_LOG(instance, fmiOK, "%s", name);
  for (size_t i = 0; i < nx; ++i) instance->x[i] = x[i];
  mark_written(instance);
  return result;
}

fmiStatus fmiGetContinuousStates(fmiComponent c, fmiReal states[], size_t nx) {
  return get_vector(c, FMI_NAME_GET_CONTINUOUS_STATES, "states", "nx", states, nx, &ModelInstance::x,
                    &ModelInstance::nx, VR_LEVEL_STORED);
}

fmiStatus fmiGetNominalContinuousStates(fmiComponent c, fmiReal x_nominal[], size_t nx) {
  return get_vector(c, FMI_NAME_GET_NOMINAL_CONTINUOUS_STATES, "x_nominal", "nx", x_nominal, nx,
                    &ModelInstance::xNominal, &ModelInstance::nx, VR_LEVEL_STORED);
}

fmiStatus fmiGetStateValueReferences(fmiComponent c, fmiValueReference vrx[], size_t nx) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  const char* name = fmi_function_names[FMI_NAME_GET_STATE_VALUE_REFERENCES];
  fmiStatus result = check_vector(instance, name, "vrx", "nx", vrx, &nx, instance->nx);
  if (result == fmiError) return result;
  for (size_t i = 0; i < nx; ++i) vrx[i] = make_vr(VR_LEVEL_STORED, VR_CATEGORY_STATE, static_cast<std::uint32_t>(i));
  FMI_LOG(instance, fmiOK, "%s", name);
  return result;
}

}  // namespace pelvarin
