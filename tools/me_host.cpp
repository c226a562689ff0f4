// Loads the model's library by path, as a host does, simulates the model with
// the default parameters over 10 s and prints time, states and auxiliary
// variables as CSV.
//
//   me_host path/to/Pelvarin.so
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tools/host_callbacks.h"
#include "tools/library_loader.h"
#include "tools/me_simulation.h"

using host_tools::allocate;
using host_tools::logger;

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
  me_sim::Functions functions;
  std::string missing;
  if (!me_sim::load_functions(library.handle(), &functions, &missing)) {
    fprintf(stderr, "%s does not export %s\n", argv[1], missing.c_str());
    return 1;
  }

  me_sim::Options options;
  me_sim::Result result = me_sim::simulate(functions, fmiCallbackFunctions{logger, allocate, free}, options);

  printf("time");
  for (int i = 0; i < me_sim::kStates; ++i) printf(",x[%d]", i);
  for (int i = 0; i < me_sim::kAuxiliaries; ++i) printf(",w[%d]", i);
  printf("\n");
  for (const me_sim::Sample& s : result.samples) {
    printf("%.6f", s.time);
    for (double v : s.x) printf(",%.9g", v);
    for (double v : s.w) printf(",%.9g", v);
    printf("\n");
  }
  // Whole lines for a user who sends both streams into one file.
  fflush(stdout);
  if (!result.ok) {
    fprintf(stderr, "simulation failed: %s\n", result.error.c_str());
    return 1;
  }
  fprintf(stderr, "%d time events, %d state events\n", result.time_events, result.state_events);
  return 0;
}
