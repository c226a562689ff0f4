#include <benchmark/benchmark.h>

#include "fmi/fmi_functions.h"

static void BM_GetVersion(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(fmiGetVersion());
}
BENCHMARK(BM_GetVersion);

BENCHMARK_MAIN();
