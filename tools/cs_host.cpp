// A co-simulation master: loads the model's library by path, runs it as a
// slave over 10 s with communication steps of 10 ms and prints time, states
// and auxiliary variables at every communication point as CSV.
//
//   cs_host path/to/Pelvarin.so
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "fmi/Pelvarin.h"
#include "tools/host_callbacks.h"
#include "tools/library_loader.h"
#include "tools/me_simulation.h"

using host_tools::allocate;
using host_tools::logger;

namespace {

using me_sim::kAuxiliaries;
using me_sim::kStates;
constexpr double kStartTime = model_vars::FMI_DEFAULT_START_TIME;
constexpr double kStopTime = model_vars::FMI_DEFAULT_STOP_TIME;
constexpr int kSteps = 1000;


template <typename F>
bool find(const host_tools::LoadedLibrary& library, const char* name, F* out) {
  *out = library.get<F>(name);
  if (*out == nullptr) fprintf(stderr, "the library does not export %s\n", name);
  return *out != nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s path/to/Pelvarin.so\n", argv[0]);
    return 2;
  }
  host_tools::LoadedLibrary library(argv[1]);
  if (library.handle() == nullptr) {
    fprintf(stderr, "cannot load %s: %s\n", argv[1], library.error().c_str());
    return 1;
  }
  decltype(&Pelvarin_fmiInstantiateSlave) instantiate;
  decltype(&Pelvarin_fmiInitializeSlave) initialize;
  decltype(&Pelvarin_fmiDoStep) do_step;
  decltype(&Pelvarin_fmiGetReal) get_real;
  decltype(&Pelvarin_fmiTerminateSlave) terminate;
  decltype(&Pelvarin_fmiFreeSlaveInstance) free_slave;
  if (!find(library, "Pelvarin_fmiInstantiateSlave", &instantiate) ||
      !find(library, "Pelvarin_fmiInitializeSlave", &initialize) ||
      !find(library, "Pelvarin_fmiDoStep", &do_step) || !find(library, "Pelvarin_fmiGetReal", &get_real) ||
      !find(library, "Pelvarin_fmiTerminateSlave", &terminate) ||
      !find(library, "Pelvarin_fmiFreeSlaveInstance", &free_slave)) {
    return 1;
  }

  const fmiCoSimCallbackFunctions callbacks{logger, allocate, free, nullptr};
  fmiComponent slave = instantiate("pelvarin", me_sim::kGuid, "", "application/x-fmu-sharedlibrary", 0.0,
                                   fmiFalse, fmiFalse, callbacks, fmiFalse);
  if (slave == nullptr) {
    fprintf(stderr, "instantiation failed\n");
    return 1;
  }

  fmiValueReference vr[kStates + kAuxiliaries];
  for (int i = 0; i < kStates; ++i) vr[i] = model_vars::state(i);
  for (int i = 0; i < kAuxiliaries; ++i) vr[kStates + i] = model_vars::auxiliary(i);

  printf("time");
  for (int i = 0; i < kStates; ++i) printf(",x[%d]", i);
  for (int i = 0; i < kAuxiliaries; ++i) printf(",w[%d]", i);
  printf("\n");

  int rc = 0;
  if (initialize(slave, kStartTime, fmiTrue, kStopTime) != fmiOK) {
    fflush(stdout);
    fprintf(stderr, "initialization failed\n");
    rc = 1;
  }
  const double h = (kStopTime - kStartTime) / kSteps;
  for (int k = 0; rc == 0 && k <= kSteps; ++k) {
    const double t = kStartTime + k * h;
    double values[kStates + kAuxiliaries];
    if (get_real(slave, vr, kStates + kAuxiliaries, values) != fmiOK) {
      fflush(stdout);
      fprintf(stderr, "reading the variables at t = %g failed\n", t);
      rc = 1;
      break;
    }
    printf("%.6f", t);
    for (double v : values) printf(",%.9g", v);
    printf("\n");
    // The last step ends exactly at the stop time.
    if (k < kSteps && do_step(slave, t, (k + 1 == kSteps ? kStopTime - t : h), fmiTrue) != fmiOK) {
      fflush(stdout);
      fprintf(stderr, "fmiDoStep at t = %g failed\n", t);
      rc = 1;
    }
  }
  terminate(slave);
  free_slave(slave);
  return rc;
}
