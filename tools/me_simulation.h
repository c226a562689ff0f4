// A small model-exchange host: finds the model's functions in a loaded
// library by name and integrates the model with its own fixed-step RK4,
// handling time events (nextEventTime) and state events (sign changes of the
// event indicators, located by bisection).
#pragma once

#include <algorithm>
#include <cmath>
#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "fmi/Pelvarin.h"
#include "fmi/model_description.h"
#include "tools/library_loader.h"

namespace me_sim {

// What the model description tells a host about this model.
constexpr const char* kModelIdentifier = PELVARIN_MODEL_IDENTIFIER;
constexpr const char* kGuid = PELVARIN_GUID;
constexpr int kStates = pelvarin::MODEL_NX;
constexpr int kIndicators = pelvarin::MODEL_NI;
constexpr int kAuxiliaries = pelvarin::MODEL_NW;

struct Functions {
  fmiComponent (*instantiate)(fmiString, fmiString, fmiCallbackFunctions, fmiBoolean) = nullptr;
  void (*free_instance)(fmiComponent) = nullptr;
  fmiStatus (*initialize)(fmiComponent, fmiBoolean, fmiReal, fmiEventInfo*) = nullptr;
  fmiStatus (*set_time)(fmiComponent, fmiReal) = nullptr;
  fmiStatus (*set_states)(fmiComponent, const fmiReal[], size_t) = nullptr;
  fmiStatus (*get_states)(fmiComponent, fmiReal[], size_t) = nullptr;
  fmiStatus (*get_derivatives)(fmiComponent, fmiReal[], size_t) = nullptr;
  fmiStatus (*get_event_indicators)(fmiComponent, fmiReal[], size_t) = nullptr;
  fmiStatus (*completed_step)(fmiComponent, fmiBoolean*) = nullptr;
  fmiStatus (*event_update)(fmiComponent, fmiBoolean, fmiEventInfo*) = nullptr;
  fmiStatus (*get_real)(fmiComponent, const fmiValueReference[], size_t, fmiReal[]) = nullptr;
  fmiStatus (*set_real)(fmiComponent, const fmiValueReference[], size_t, const fmiReal[]) = nullptr;
  fmiStatus (*terminate)(fmiComponent) = nullptr;
};

// Looks every function up under the model identifier's prefix; on failure
// `missing` names the first one not found.
inline bool load_functions(void* library, Functions* f, std::string* missing) {
  bool ok = true;
  auto find = [&](auto& slot, const char* name) {
    std::string full = std::string(kModelIdentifier) + "_" + name;
    void* symbol = host_tools::find_symbol(library, full.c_str());
    if (symbol == nullptr && ok) {
      ok = false;
      *missing = full;
    }
    slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(symbol);
  };
  find(f->instantiate, "fmiInstantiateModel");
  find(f->free_instance, "fmiFreeModelInstance");
  find(f->initialize, "fmiInitialize");
  find(f->set_time, "fmiSetTime");
  find(f->set_states, "fmiSetContinuousStates");
  find(f->get_states, "fmiGetContinuousStates");
  find(f->get_derivatives, "fmiGetDerivatives");
  find(f->get_event_indicators, "fmiGetEventIndicators");
  find(f->completed_step, "fmiCompletedIntegratorStep");
  find(f->event_update, "fmiEventUpdate");
  find(f->get_real, "fmiGetReal");
  find(f->set_real, "fmiSetReal");
  find(f->terminate, "fmiTerminate");
  return ok;
}

struct Options {
  double start = model_vars::FMI_DEFAULT_START_TIME;
  double stop = model_vars::FMI_DEFAULT_STOP_TIME;
  double step = 1e-3;             // integrator step
  double output_interval = 0.01;  // a sample at every multiple of it
  std::vector<std::pair<fmiValueReference, double>> parameters;  // set before initialization
};

struct Sample {
  double time;
  double x[kStates];
  double w[kAuxiliaries];
};

struct Result {
  bool ok = false;
  std::string error;
  std::vector<Sample> samples;
  int time_events = 0;
  int state_events = 0;
};

namespace detail {

struct Run {
  const Functions& f;
  fmiComponent c;
  std::string error;

  bool check(fmiStatus s, const char* what) {
    if (s == fmiOK || s == fmiWarning) return true;
    if (error.empty()) error = std::string(what) + " failed with status " + std::to_string(static_cast<int>(s));
    return false;
  }

  bool derivatives(double t, const double* x, double* dx) {
    return check(f.set_time(c, t), "fmiSetTime") && check(f.set_states(c, x, kStates), "fmiSetContinuousStates") &&
           check(f.get_derivatives(c, dx, kStates), "fmiGetDerivatives");
  }

  // One classical Runge-Kutta step of size h from (t, x).
  bool rk4(double t, const double* x, double h, double* out) {
    double k1[kStates], k2[kStates], k3[kStates], k4[kStates], y[kStates];
    if (!derivatives(t, x, k1)) return false;
    for (int i = 0; i < kStates; ++i) y[i] = x[i] + 0.5 * h * k1[i];
    if (!derivatives(t + 0.5 * h, y, k2)) return false;
    for (int i = 0; i < kStates; ++i) y[i] = x[i] + 0.5 * h * k2[i];
    if (!derivatives(t + 0.5 * h, y, k3)) return false;
    for (int i = 0; i < kStates; ++i) y[i] = x[i] + h * k3[i];
    if (!derivatives(t + h, y, k4)) return false;
    for (int i = 0; i < kStates; ++i) out[i] = x[i] + h / 6.0 * (k1[i] + 2.0 * k2[i] + 2.0 * k3[i] + k4[i]);
    return true;
  }

  // Sets time and states and reads the event indicators there.
  bool indicators_at(double t, const double* x, double* z) {
    return check(f.set_time(c, t), "fmiSetTime") && check(f.set_states(c, x, kStates), "fmiSetContinuousStates") &&
           check(f.get_event_indicators(c, z, kIndicators), "fmiGetEventIndicators");
  }

  bool sample(double t, const double* x, Sample* s) {
    s->time = t;
    for (int i = 0; i < kStates; ++i) s->x[i] = x[i];
    fmiValueReference vr[kAuxiliaries];
    for (int i = 0; i < kAuxiliaries; ++i) vr[i] = model_vars::auxiliary(i);
    return check(f.get_real(c, vr, kAuxiliaries, s->w), "fmiGetReal");
  }
};

inline bool sign_changed(const double* before, const double* after) {
  for (int i = 0; i < kIndicators; ++i)
    if ((before[i] > 0.0) != (after[i] > 0.0)) return true;
  return false;
}

}  // namespace detail

// Instantiates, initializes and integrates the model from options.start to
// options.stop, sampling time, states and auxiliary variables.
inline Result simulate(const Functions& f, fmiCallbackFunctions callbacks, const Options& options,
                       const char* instanceName = "me_host") {
  Result result;
  fmiComponent c = f.instantiate(instanceName, kGuid, callbacks, fmiFalse);
  if (c == nullptr) {
    result.error = "fmiInstantiateModel failed";
    return result;
  }
  detail::Run run{f, c, std::string()};
  fmiEventInfo info{};
  double t = options.start;
  double x[kStates] = {0.0, 0.0};
  double z[kIndicators] = {0.0, 0.0};
  bool ok = true;

  for (const auto& p : options.parameters)
    ok = ok && run.check(f.set_real(c, &p.first, 1, &p.second), "fmiSetReal");
  ok = ok && run.check(f.set_time(c, t), "fmiSetTime") && run.check(f.initialize(c, fmiFalse, 0.0, &info), "fmiInitialize") &&
       run.check(f.get_states(c, x, kStates), "fmiGetContinuousStates") &&
       run.check(f.get_event_indicators(c, z, kIndicators), "fmiGetEventIndicators");
  Sample s;
  ok = ok && run.sample(t, x, &s);
  if (ok) result.samples.push_back(s);

  long output_index = 1;
  const double eps = 1e-12;
  const int max_steps = static_cast<int>((options.stop - options.start) / options.step) * 4 + 1000;
  for (int steps = 0; ok && t < options.stop - eps && steps < max_steps; ++steps) {
    const double next_output = options.start + static_cast<double>(output_index) * options.output_interval;
    // A full step, unless the stop time, an output point or the next time
    // event comes first (or lies within rounding of the step's end).
    double targets[3] = {options.stop, next_output,
                         info.upcomingTimeEvent && info.nextEventTime > t ? info.nextEventTime : options.stop};
    std::sort(targets, targets + 3);
    double t_end = t + options.step;
    for (double target : targets) {
      if (target > t && t_end >= target - 1e-9 * options.step) {
        t_end = target;
        break;
      }
    }

    double x_end[kStates], z_end[kIndicators];
    ok = run.rk4(t, x, t_end - t, x_end) && run.indicators_at(t_end, x_end, z_end);
    bool state_event = false;
    if (ok && detail::sign_changed(z, z_end)) {
      // Narrow [t, t_end] down to the first crossing; end just past it.
      double lo = t, hi = t_end;
      for (int k = 0; ok && k < 200 && hi - lo > 1e-13 * std::max(1.0, std::fabs(hi)); ++k) {
        const double mid = 0.5 * (lo + hi);
        double x_mid[kStates], z_mid[kIndicators];
        ok = run.rk4(t, x, mid - t, x_mid) && run.indicators_at(mid, x_mid, z_mid);
        if (ok && detail::sign_changed(z, z_mid)) {
          hi = mid;
        } else {
          lo = mid;
        }
      }
      t_end = hi;
      ok = ok && run.rk4(t, x, t_end - t, x_end) && run.indicators_at(t_end, x_end, z_end);
      state_event = true;
    }
    if (!ok) break;
    t = t_end;
    for (int i = 0; i < kStates; ++i) x[i] = x_end[i];

    fmiBoolean call_event_update = fmiFalse;
    ok = run.check(f.completed_step(c, &call_event_update), "fmiCompletedIntegratorStep");
    const bool time_event = info.upcomingTimeEvent && t >= info.nextEventTime - eps;
    if (ok && (state_event || time_event || call_event_update)) {
      if (state_event) ++result.state_events;
      if (time_event) ++result.time_events;
      info.iterationConverged = fmiFalse;
      for (int k = 0; ok && k < 100 && !info.iterationConverged; ++k)
        ok = run.check(f.event_update(c, fmiFalse, &info), "fmiEventUpdate");
      if (ok && !info.iterationConverged) {
        run.error = "fmiEventUpdate did not converge";
        ok = false;
      }
      if (!ok || info.terminateSimulation) break;
      if (info.stateValuesChanged) ok = run.check(f.get_states(c, x, kStates), "fmiGetContinuousStates");
      ok = ok && run.check(f.get_event_indicators(c, z, kIndicators), "fmiGetEventIndicators");
    } else {
      for (int i = 0; i < kIndicators; ++i) z[i] = z_end[i];
    }
    if (ok && t >= next_output - eps) {
      ok = run.sample(t, x, &s);
      if (ok) result.samples.push_back(s);
      ++output_index;
    }
  }

  if (ok && t < options.stop - eps && !info.terminateSimulation) {
    run.error = "step limit reached before the stop time";
    ok = false;
  }
  if (ok) ok = run.check(f.terminate(c), "fmiTerminate");
  f.free_instance(c);
  result.ok = ok;
  result.error = run.error;
  return result;
}

}  // namespace me_sim
