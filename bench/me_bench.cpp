// Model exchange as a host's integrator drives it, and the cost of messages.
#include <benchmark/benchmark.h>

#include <cstdlib>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "fmi/logging.h"
#include "fmi/model_instance.h"

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

// One right-hand-side evaluation of a host's integrator, between pulses.
void BM_ModelExchangeCycle(benchmark::State& state) {
  Instance m(fmiFalse);
  double x[2] = {0.1, 0.2}, dx[2], z[2];
  double t = 0.2;
  for (auto _ : state) {
    t = t < 0.9 ? t + 1e-6 : 0.2;
    x[0] += 1e-9;
    fmiSetTime(m.c, t);
    fmiSetContinuousStates(m.c, x, 2);
    fmiGetDerivatives(m.c, dx, 2);
    fmiGetEventIndicators(m.c, z, 2);
    benchmark::DoNotOptimize(dx);
    benchmark::DoNotOptimize(z);
  }
}
BENCHMARK(BM_ModelExchangeCycle);

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
