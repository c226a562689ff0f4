// Co-simulation of the dosing model over 10 s as a master drives it, at a
// short and a long communication step, with logging off.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "fmi/Pelvarin.h"
#include "host_library.h"
#include "tools/library_loader.h"

namespace {

constexpr double END_TIME = 10.0;
constexpr double PERIOD = 1.0;  // the model's dosing period

std::string g_statistics;

void logger(fmiComponent, fmiString, fmiStatus, fmiString, fmiString message, ...) {
  if (message && std::strstr(message, "Mstep Integrator Statistics")) g_statistics = message;
}
void* allocate(size_t n, size_t size) { return std::calloc(n ? n : 1, size ? size : 1); }
void release(void* p) { std::free(p); }

struct Slave {
  host_tools::LoadedLibrary lib{bench_library_path()};
  decltype(&Pelvarin_fmiInstantiateSlave) instantiate =
      lib.get<decltype(instantiate)>("Pelvarin_fmiInstantiateSlave");
  decltype(&Pelvarin_fmiInitializeSlave) initialize =
      lib.get<decltype(initialize)>("Pelvarin_fmiInitializeSlave");
  decltype(&Pelvarin_fmiDoStep) do_step = lib.get<decltype(do_step)>("Pelvarin_fmiDoStep");
  decltype(&Pelvarin_fmiTerminateSlave) terminate =
      lib.get<decltype(terminate)>("Pelvarin_fmiTerminateSlave");
  decltype(&Pelvarin_fmiFreeSlaveInstance) free_instance =
      lib.get<decltype(free_instance)>("Pelvarin_fmiFreeSlaveInstance");

  bool ok() const { return instantiate && initialize && do_step && terminate && free_instance; }

  // One run from 0 to END_TIME; false when a call fails.
  bool run(double h, fmiBoolean loggingOn) {
    fmiCoSimCallbackFunctions cb = {logger, allocate, release, nullptr};
    fmiComponent c = instantiate("bench", PELVARIN_GUID, "", "", 0.0, fmiFalse, fmiFalse, cb,
                                 loggingOn);
    if (!c) return false;
    bool good = initialize(c, 0.0, fmiTrue, END_TIME) == fmiOK;
    const long n = static_cast<long>(END_TIME / h + 0.5);
    double t = 0.0;
    for (long i = 1; good && i <= n; ++i) {
      const double next = i == n ? END_TIME : i * h;
      good = do_step(c, t, next - t, fmiTrue) == fmiOK;
      t = next;
    }
    good = terminate(c) == fmiOK && good;
    free_instance(c);
    return good;
  }
};

long statistic(const char* label) {
  const char* p = std::strstr(g_statistics.c_str(), label);
  if (!p) return -1;
  p = std::strchr(p, ':');
  return p ? std::strtol(p + 1, nullptr, 10) : -1;
}

void BM_CoSimulation10s(benchmark::State& state) {
  const double h = static_cast<double>(state.range(0)) / 1000.0;
  Slave slave;
  if (!slave.ok()) {
    state.SkipWithError("cannot load the library (PELVARIN_LIBRARY)");
    return;
  }
  // One run with logging on yields the integrator's statistics.
  g_statistics.clear();
  if (!slave.run(h, fmiTrue)) {
    state.SkipWithError("the co-simulation failed");
    return;
  }
  const double internalSteps = static_cast<double>(statistic("Number of internal steps"));
  const double rhsCalls = static_cast<double>(statistic("Number of f function evaluations"));
  for (auto _ : state) {
    if (!slave.run(h, fmiFalse)) {
      state.SkipWithError("the co-simulation failed");
      return;
    }
  }
  const double communicationSteps = END_TIME / h;
  const double periods = END_TIME / PERIOD;
  using benchmark::Counter;
  state.counters["s_per_comm_step"] =
      Counter(communicationSteps, Counter::kIsIterationInvariantRate | Counter::kInvert);
  state.counters["s_per_internal_step"] =
      Counter(internalSteps, Counter::kIsIterationInvariantRate | Counter::kInvert);
  state.counters["internal_steps_per_period"] = internalSteps / periods;
  state.counters["rhs_calls_per_period"] = rhsCalls / periods;
}

// Communication steps in milliseconds: 1 ms and 1 s.
BENCHMARK(BM_CoSimulation10s)
    ->Arg(1)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->ComputeStatistics("min", bench_minimum);

}  // namespace

BENCHMARK_MAIN();
