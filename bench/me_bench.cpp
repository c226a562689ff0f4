// Model exchange as a host's integrator drives it, and the cost of messages.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "fmi/logging.h"
#include "fmi/model_instance.h"
#include "host_library.h"
#include "tools/library_loader.h"

using namespace pelvarin;

namespace {

void quiet_logger(fmiComponent, fmiString, fmiStatus, fmiString, fmiString, ...) {}
void* allocate(size_t n, size_t size) { return calloc(n, size); }

struct Instance {
  fmiComponent c;
  explicit Instance(fmiBoolean loggingOn) {
    c = fmiInstantiateModel("bench", PELVARIN_GUID, fmiCallbackFunctions{quiet_logger, allocate, free}, loggingOn);
    fmiEventInfo info;
    fmiInitialize(c, fmiFalse, 0.0, &info);
  }
  ~Instance() {
    fmiTerminate(c);
    fmiFreeModelInstance(c);
  }
};

// The library as a host loads it, with the functions of one cycle.
struct LoadedModel {
  host_tools::LoadedLibrary lib{bench_library_path()};
  template <typename F>
  F find(const char* name) const {
    return lib.get<F>(name);
  }
  decltype(&Pelvarin_fmiInstantiateModel) instantiate = find<decltype(instantiate)>("Pelvarin_fmiInstantiateModel");
  decltype(&Pelvarin_fmiInitialize) initialize = find<decltype(initialize)>("Pelvarin_fmiInitialize");
  decltype(&Pelvarin_fmiSetTime) set_time = find<decltype(set_time)>("Pelvarin_fmiSetTime");
  decltype(&Pelvarin_fmiSetContinuousStates) set_states =
      find<decltype(set_states)>("Pelvarin_fmiSetContinuousStates");
  decltype(&Pelvarin_fmiGetDerivatives) get_derivatives =
      find<decltype(get_derivatives)>("Pelvarin_fmiGetDerivatives");
  decltype(&Pelvarin_fmiGetEventIndicators) get_indicators =
      find<decltype(get_indicators)>("Pelvarin_fmiGetEventIndicators");
  decltype(&Pelvarin_fmiTerminate) terminate = find<decltype(terminate)>("Pelvarin_fmiTerminate");
  decltype(&Pelvarin_fmiFreeModelInstance) free_instance =
      find<decltype(free_instance)>("Pelvarin_fmiFreeModelInstance");
  bool ok() const {
    return instantiate && initialize && set_time && set_states && get_derivatives && get_indicators &&
           terminate && free_instance;
  }
};

// One right-hand-side evaluation of a host's integrator, between pulses:
// set time, set states, get derivatives, get event indicators.
void BM_ModelExchangeCycle(benchmark::State& state) {
  LoadedModel f;
  if (!f.ok()) {
    state.SkipWithError("cannot load the library (PELVARIN_LIBRARY)");
    return;
  }
  fmiComponent c = f.instantiate("bench", PELVARIN_GUID, fmiCallbackFunctions{quiet_logger, allocate, free}, fmiFalse);
  fmiEventInfo info;
  f.initialize(c, fmiFalse, 0.0, &info);
  double x[2] = {0.1, 0.2}, dx[2], z[2];
  double t = 0.2;
  for (auto _ : state) {
    t = t < 0.9 ? t + 1e-6 : 0.2;
    x[0] += 1e-9;
    f.set_time(c, t);
    f.set_states(c, x, 2);
    f.get_derivatives(c, dx, 2);
    f.get_indicators(c, z, 2);
    benchmark::DoNotOptimize(dx);
    benchmark::DoNotOptimize(z);
  }
  f.terminate(c);
  f.free_instance(c);
}
BENCHMARK(BM_ModelExchangeCycle)->ComputeStatistics("min", bench_minimum);

// A message the filter drops costs no formatting.
void BM_DroppedMessage(benchmark::State& state) {
  Instance m(fmiFalse);
  ModelInstance* inst = static_cast<ModelInstance*>(m.c);
  for (auto _ : state) {
    fmi_log(inst, inst->instanceName, fmiOK, "", "%s: #r%u# = %g", "fmiGetReal", 0x26000000u, 3.25);
  }
}
BENCHMARK(BM_DroppedMessage);

// For comparison: the same message formatted and sent.
void BM_SentMessage(benchmark::State& state) {
  Instance m(fmiTrue);
  ModelInstance* inst = static_cast<ModelInstance*>(m.c);
  for (auto _ : state) {
    fmi_log(inst, inst->instanceName, fmiOK, "", "%s: #r%u# = %g", "fmiGetReal", 0x26000000u, 3.25);
  }
}
BENCHMARK(BM_SentMessage);

}  // namespace

BENCHMARK_MAIN();
