// Small problems and recording callbacks for the tests of the step, the
// integration loop and root finding.
#pragma once

#include <cmath>
#include <string>
#include <vector>

#include "integrator/dense_solver.h"
#include "integrator/error_reporting.h"
#include "integrator/integration_loop.h"
#include "integrator/integrator_memory.h"
#include "integrator/mstep.h"
#include "integrator/root_finding.h"

using namespace pelvarin;

namespace ode {

struct Message {
  int code;
  std::string module;
  std::string function;
  std::string text;
};

inline void recordMessage(int code, const char* module, const char* function, const char* msg,
                          void* data) {
  static_cast<std::vector<Message>*>(data)->push_back({code, module, function, msg});
}

// Right-hand sides and root functions read their parameters from here.
struct Params {
  double lambda = 1.0;       // decay rate, stiffness
  int rhsCalls = 0;
  int rhsFailAt = 0;         // the k-th call fails ...
  int rhsFailValue = 0;      // ... with this result (and every later one when sticky)
  bool rhsFailSticky = false;
  int rootCalls = 0;
  int rootFailAt = 0;
  double next = 0.0;         // event time of the moving root function
  bool armed = true;
  int hookCalls = 0;
  int hookFireAt = 0;        // the hook asks to stop at this call
};

inline int countRhs(Params* p) {
  ++p->rhsCalls;
  if (p->rhsFailAt > 0 && (p->rhsCalls == p->rhsFailAt || (p->rhsFailSticky && p->rhsCalls > p->rhsFailAt)))
    return p->rhsFailValue;
  return 0;
}

inline double* data(N_Vector v) { return N_VGetArrayPointer(v); }

// y' = -lambda y
inline int decayRhs(double, N_Vector y, N_Vector ydot, void* ud) {
  auto* p = static_cast<Params*>(ud);
  data(ydot)[0] = -p->lambda * data(y)[0];
  return countRhs(p);
}
// y' = 1
inline int constantRhs(double, N_Vector, N_Vector ydot, void* ud) {
  data(ydot)[0] = 1.0;
  return countRhs(static_cast<Params*>(ud));
}
// Stiff pair with the smooth solution y1 = y2 = exp(-t):
// y1' = -lambda y1 + (lambda - 1) y2, y2' = -y2.
inline int stiffRhs(double, N_Vector y, N_Vector ydot, void* ud) {
  auto* p = static_cast<Params*>(ud);
  const double* v = data(y);
  data(ydot)[0] = -p->lambda * v[0] + (p->lambda - 1.0) * v[1];
  data(ydot)[1] = -v[1];
  return countRhs(p);
}
inline int stiffJac(int, double, N_Vector, N_Vector, DlsMat J, void* ud, N_Vector, N_Vector,
                    N_Vector) {
  auto* p = static_cast<Params*>(ud);
  J->cols[0][0] = -p->lambda;
  J->cols[1][0] = p->lambda - 1.0;
  J->cols[1][1] = -1.0;
  return 0;
}
// Harmonic oscillator: y1 = sin t, y2 = cos t from (0, 1).
inline int oscillatorRhs(double, N_Vector y, N_Vector ydot, void* ud) {
  data(ydot)[0] = data(y)[1];
  data(ydot)[1] = -data(y)[0];
  return countRhs(static_cast<Params*>(ud));
}
// Non-symmetric linear system y' = A y, A = [[-2, 1], [0, -30]].
inline int upperRhs(double, N_Vector y, N_Vector ydot, void* ud) {
  const double* v = data(y);
  data(ydot)[0] = -2.0 * v[0] + v[1];
  data(ydot)[1] = -30.0 * v[1];
  return countRhs(static_cast<Params*>(ud));
}
inline int upperJac(int, double, N_Vector, N_Vector, DlsMat J, void*, N_Vector, N_Vector,
                    N_Vector) {
  J->cols[0][0] = -2.0;
  J->cols[1][0] = 1.0;
  J->cols[1][1] = -30.0;
  return 0;
}
inline void upperExact(double t, double y1_0, double y2_0, double* y1, double* y2) {
  // y2 = y2_0 e^{-30t}; y1 = (y1_0 + y2_0/28) e^{-2t} - y2_0/28 e^{-30t}
  *y2 = y2_0 * std::exp(-30.0 * t);
  *y1 = (y1_0 + y2_0 / 28.0) * std::exp(-2.0 * t) - y2_0 / 28.0 * std::exp(-30.0 * t);
}

// A fresh integrator with vector tolerances and messages recorded.
struct Ode {
  void* mem = nullptr;
  N_Vector y = nullptr;
  N_Vector atol = nullptr;
  Params params;
  std::vector<Message> messages;

  Ode(MsRhsFn f, std::vector<double> y0, double t0 = 0.0, double rtol = 1e-5, double atolv = 1e-5,
      int lmm = MS_BDF, int iter = MS_NEWTON, bool dense = true) {
    const int n = static_cast<int>(y0.size());
    y = N_VNew_Serial(n);
    atol = N_VNew_Serial(n);
    for (int i = 0; i < n; ++i) data(y)[i] = y0[i];
    N_VConst(atolv, atol);
    mem = MstepCreate(lmm, iter);
    MstepInit(mem, f, t0, y);
    MstepSetUserData(mem, &params);
    MstepSVtolerances(mem, rtol, atol);
    MstepSetErrHandlerFn(mem, recordMessage, &messages);
    if (dense && iter == MS_NEWTON) MsDense(mem, n);
  }
  ~Ode() {
    MstepFree(&mem);
    N_VDestroy(y);
    N_VDestroy(atol);
  }
  Ode(const Ode&) = delete;
  Ode& operator=(const Ode&) = delete;

  MstepMem m() const { return static_cast<MstepMem>(mem); }
  double operator[](int i) const { return data(y)[i]; }
  double& at(int i) { return data(y)[i]; }

  int step(double tout, double* tret, int itask = MS_NORMAL) { return Mstep(mem, tout, y, tret, itask); }

  int count(const std::string& text) const {
    int n = 0;
    for (const Message& msg : messages)
      if (msg.text == text) ++n;
    return n;
  }
  bool hasCode(int code) const {
    for (const Message& msg : messages)
      if (msg.code == code) return true;
    return false;
  }
};

}  // namespace ode
