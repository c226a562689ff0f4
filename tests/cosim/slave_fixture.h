// A co-simulation master as the tests need it: the library loaded by path,
// the co-simulation functions found by their exported names, and the model's
// closed-form solution to compare with.
#pragma once

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "fmi/Pelvarin.h"
#include "support/fmu_host.h"
#include "support/model_variables.h"

namespace cosim_test {

using namespace model_vars;

constexpr fmiValueReference VR_X0 = state(0);  // state fed by the pulse
constexpr fmiValueReference VR_X1 = state(1);  // compartment state

struct SlaveApi {
  host::Library lib;
  decltype(&Pelvarin_fmiInstantiateSlave) instantiate =
      lib.get<decltype(&Pelvarin_fmiInstantiateSlave)>("Pelvarin_fmiInstantiateSlave");
  decltype(&Pelvarin_fmiFreeSlaveInstance) free_instance =
      lib.get<decltype(&Pelvarin_fmiFreeSlaveInstance)>("Pelvarin_fmiFreeSlaveInstance");
  decltype(&Pelvarin_fmiInitializeSlave) initialize =
      lib.get<decltype(&Pelvarin_fmiInitializeSlave)>("Pelvarin_fmiInitializeSlave");
  decltype(&Pelvarin_fmiTerminateSlave) terminate =
      lib.get<decltype(&Pelvarin_fmiTerminateSlave)>("Pelvarin_fmiTerminateSlave");
  decltype(&Pelvarin_fmiResetSlave) reset =
      lib.get<decltype(&Pelvarin_fmiResetSlave)>("Pelvarin_fmiResetSlave");
  decltype(&Pelvarin_fmiDoStep) do_step = lib.get<decltype(&Pelvarin_fmiDoStep)>("Pelvarin_fmiDoStep");
  decltype(&Pelvarin_fmiSetRealInputDerivatives) set_input_derivatives =
      lib.get<decltype(&Pelvarin_fmiSetRealInputDerivatives)>("Pelvarin_fmiSetRealInputDerivatives");
  decltype(&Pelvarin_fmiGetRealOutputDerivatives) get_output_derivatives =
      lib.get<decltype(&Pelvarin_fmiGetRealOutputDerivatives)>(
          "Pelvarin_fmiGetRealOutputDerivatives");
  decltype(&Pelvarin_fmiCancelStep) cancel_step =
      lib.get<decltype(&Pelvarin_fmiCancelStep)>("Pelvarin_fmiCancelStep");
  decltype(&Pelvarin_fmiGetStatus) get_status =
      lib.get<decltype(&Pelvarin_fmiGetStatus)>("Pelvarin_fmiGetStatus");
  decltype(&Pelvarin_fmiGetRealStatus) get_real_status =
      lib.get<decltype(&Pelvarin_fmiGetRealStatus)>("Pelvarin_fmiGetRealStatus");
  decltype(&Pelvarin_fmiGetIntegerStatus) get_integer_status =
      lib.get<decltype(&Pelvarin_fmiGetIntegerStatus)>("Pelvarin_fmiGetIntegerStatus");
  decltype(&Pelvarin_fmiGetBooleanStatus) get_boolean_status =
      lib.get<decltype(&Pelvarin_fmiGetBooleanStatus)>("Pelvarin_fmiGetBooleanStatus");
  decltype(&Pelvarin_fmiGetStringStatus) get_string_status =
      lib.get<decltype(&Pelvarin_fmiGetStringStatus)>("Pelvarin_fmiGetStringStatus");
  decltype(&Pelvarin_fmiGetReal) get_real = lib.get<decltype(&Pelvarin_fmiGetReal)>("Pelvarin_fmiGetReal");
  decltype(&Pelvarin_fmiSetReal) set_real = lib.get<decltype(&Pelvarin_fmiSetReal)>("Pelvarin_fmiSetReal");
  decltype(&Pelvarin_fmiSetInteger) set_integer =
      lib.get<decltype(&Pelvarin_fmiSetInteger)>("Pelvarin_fmiSetInteger");
  decltype(&Pelvarin_fmiSetBoolean) set_boolean =
      lib.get<decltype(&Pelvarin_fmiSetBoolean)>("Pelvarin_fmiSetBoolean");
  decltype(&Pelvarin_fmiSetTime) set_time = lib.get<decltype(&Pelvarin_fmiSetTime)>("Pelvarin_fmiSetTime");

  // The slave is freed when the handle goes out of scope.
  host::Instance make(fmiBoolean loggingOn = fmiTrue, const char* name = "slave") {
    return {instantiate(name, PELVARIN_GUID, "", "application/x-fmu-sharedlibrary", 0.0, fmiFalse,
                        fmiFalse, host::cs_callbacks(), loggingOn),
            free_instance};
  }

  double real(fmiComponent c, fmiValueReference vr) {
    double v = NAN;
    EXPECT_EQ(fmiOK, get_real(c, &vr, 1, &v));
    return v;
  }
  void set(fmiComponent c, fmiValueReference vr, double v) {
    EXPECT_EQ(fmiOK, set_real(c, &vr, 1, &v));
  }
  double time(fmiComponent c) {
    double t = NAN;
    EXPECT_EQ(fmiOK, get_real_status(c, fmiLastSuccessfulTime, &t));
    return t;
  }
};

inline long count_logs(const std::string& text) {
  return static_cast<long>(host::logs_containing(text).size());
}

// The model's pulse and dynamics, solved in closed form: x0' = pulse - a*x0,
// x1' = a*x0 - b*x1 with a = transfer, b = elimination / volume. Both are
// linear with a piecewise-constant input, so each piece is exponential.
struct ClosedForm {
  double a = 10.0;
  double b = 1.0;
  double amplitude = 10.0;
  double width = 0.1;  // in time units
  double period = 1.0;
  double start = 0.0;

  struct State {
    double x0, x1;
  };

  // Advances (x0, x1) over dt under a constant input.
  State advance(State s, double input, double dt) const {
    const double A = input / a;          // level x0 tends to
    const double x1inf = a * A / b;      // level x1 tends to
    const double C = a * (s.x0 - A) / (b - a);
    const double D = s.x1 - x1inf - C;
    return {A + (s.x0 - A) * std::exp(-a * dt),
            x1inf + C * std::exp(-a * dt) + D * std::exp(-b * dt)};
  }

  // The state at t1 from the state s at t0, piece by piece of the pulse.
  State solve(State s, double t0, double t1) const {
    if (t0 < start) {
      const double end = std::fmin(start, t1);
      s = advance(s, 0.0, end - t0);
      t0 = end;
    }
    for (long k = static_cast<long>(std::floor((t0 - start) / period)) - 1; t0 < t1; ++k) {
      const double on = start + k * period;
      const double off = on + width;
      const double next = on + period;
      if (off > t0) {  // dosing part of period k
        const double end = std::fmin(off, t1);
        s = advance(s, amplitude, end - std::fmax(t0, on));
        t0 = end;
      }
      if (next > t0 && t0 < t1) {  // rest of period k
        const double end = std::fmin(next, t1);
        s = advance(s, 0.0, end - std::fmax(t0, off));
        t0 = end;
      }
    }
    return s;
  }
};

}  // namespace cosim_test
