// Cost of one model evaluation through dsblock_.
#include <benchmark/benchmark.h>

#include "model/model_interface.h"

namespace {

struct Arrays {
  double x[MODEL_NX] = {};
  double u[1] = {};
  double p[MODEL_NP] = {};
  double der[MODEL_NX] = {};
  double y[1] = {};
  double w[MODEL_NW] = {};
  double ei[MODEL_NI] = {};
  double realOptions[4] = {0, 1.0, 0, 0};
  int intOptions[11] = {};
  int computedLevel = 0;
  int QiErr = 0;
  double time = 0.0;

  Arrays() {
    declare_(x, p, nullptr, &QiErr);
    call(DEMAND_INITIALIZE);
  }
  int call(int demand) {
    QiErr = 0;
    dsblock_(&demand, &computedLevel, &time, x, nullptr, u, p, nullptr, nullptr, der, y, w, ei,
             realOptions, intOptions, nullptr, &QiErr);
    return QiErr;
  }
};

// A host's integrator step: new states, then the derivatives.
void BM_DerivativesAfterStateChange(benchmark::State& state) {
  Arrays a;
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
  Arrays a;
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
