// Shared by the foundation tests: an error handler that records what the
// integrator reports, and small vector helpers.
#pragma once

#include <string>
#include <vector>

#include "integrator/dense_solver.h"
#include "integrator/error_reporting.h"
#include "integrator/integration_loop.h"
#include "integrator/integrator_memory.h"
#include "integrator/mstep.h"
#include "integrator/root_finding.h"

using namespace pelvarin;

namespace foundation {

struct Report {
  int code;
  std::string module;
  std::string function;
  std::string message;
};

struct Recorder {
  std::vector<Report> reports;
};

inline void recordReport(int code, const char* module, const char* function, const char* msg,
                         void* data) {
  static_cast<Recorder*>(data)->reports.push_back({code, module, function, msg});
}

inline N_Vector vectorOf(std::initializer_list<double> values) {
  N_Vector v = N_VNew_Serial(static_cast<int>(values.size()));
  double* d = N_VGetArrayPointer(v);
  int i = 0;
  for (double x : values) d[i++] = x;
  return v;
}

inline std::vector<double> valuesOf(N_Vector v) {
  auto* c = static_cast<N_VectorContent_Serial>(v->content);
  return std::vector<double>(c->data, c->data + c->length);
}

inline int lengthOf(N_Vector v) { return static_cast<N_VectorContent_Serial>(v->content)->length; }

}  // namespace foundation
