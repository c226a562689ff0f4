// Cost of one model evaluation through dsblock_.
#include <benchmark/benchmark.h>

#include "support/model_arrays.h"

namespace {

// A host's integrator step: new states, then the derivatives.
void BM_DerivativesAfterStateChange(benchmark::State& state) {
  ModelArrays a;
  a.initialize();
  double step = 0;
  for (auto _ : state) {
    step += 1e-9;
    a.x[0] = step;
    a.time = step;
    a.computedLevel = 0;
    a.call(DEMAND_DERIVATIVES);
    benchmark::DoNotOptimize(a.der);
  }
  if (a.QiErr != 0) state.SkipWithError("evaluation failed");
}
BENCHMARK(BM_DerivativesAfterStateChange);

// fmiGetEventIndicators: every section recomputed.
void BM_AllSections(benchmark::State& state) {
  ModelArrays a;
  a.initialize();
  a.time = 0.05;
  for (auto _ : state) {
    a.call(DEMAND_ALL_SECTIONS);
    benchmark::DoNotOptimize(a.ei);
  }
  if (a.QiErr != 0) state.SkipWithError("evaluation failed");
}
BENCHMARK(BM_AllSections);

}  // namespace

BENCHMARK_MAIN();
