// Cost of the integrator per internal step on a stiff pair and on the
// model's own equations, each over 1000 periods.
#include <benchmark/benchmark.h>

#include <cmath>

#include "integrator/integrator_memory.h"  // the step and evaluation counts
#include "integrator/mstep.h"

using namespace pelvarin;

namespace {

constexpr double kTwoPi = 6.283185307179586;
constexpr int kPeriods = 1000;

double* data(N_Vector v) { return N_VGetArrayPointer(v); }

// y1 follows y2 = cos(2 pi t) with rate lambda: y1' = -lambda (y1 - y2),
// y2' = -2 pi sin(2 pi t).
struct StiffPair {
  double lambda = 1e6;
};

int stiffRhs(double t, N_Vector y, N_Vector ydot, void* ud) {
  const double lambda = static_cast<StiffPair*>(ud)->lambda;
  const double* v = data(y);
  data(ydot)[0] = -lambda * (v[0] - v[1]);
  data(ydot)[1] = -kTwoPi * std::sin(kTwoPi * t);
  return 0;
}

int stiffJac(int, double, N_Vector, N_Vector, DlsMat J, void* ud, N_Vector, N_Vector, N_Vector) {
  const double lambda = static_cast<StiffPair*>(ud)->lambda;
  J->cols[0][0] = -lambda;
  J->cols[1][0] = lambda;
  return 0;
}

// The model with its start values: a dose of amplitude 10 during the first
// tenth of every period of 1 into x0, transfer to the compartment x1 with
// coefficient 10 and elimination 10 * x1 / 10:
// x0' = pulse - 10 x0, x1' = 10 x0 - x1.
struct Dosing {
  double amplitude = 10.0;
  double transfer = 10.0;
  double elimination = 10.0;
  double volume = 10.0;
  double period = 1.0;
  double width = 0.1;
  bool on = true;          // the pulse is on
  double periodStart = 0.0;
  double nextSwitch = 0.1;  // the pulse ends, or the next period starts
};

int dosingRhs(double, N_Vector x, N_Vector xdot, void* ud) {
  const Dosing* d = static_cast<Dosing*>(ud);
  const double* v = data(x);
  const double pulse = d->on ? d->amplitude : 0.0;
  data(xdot)[0] = pulse - d->transfer * v[0];
  data(xdot)[1] = d->transfer * v[0] - d->elimination * v[1] / d->volume;
  return 0;
}

int dosingJac(int, double, N_Vector, N_Vector, DlsMat J, void* ud, N_Vector, N_Vector, N_Vector) {
  const Dosing* d = static_cast<Dosing*>(ud);
  J->cols[0][0] = -d->transfer;
  J->cols[0][1] = d->transfer;
  J->cols[1][1] = -d->elimination / d->volume;
  return 0;
}

// The switch of the pulse as a root function.
int dosingRoot(double t, N_Vector, double* g, void* ud) {
  g[0] = t - static_cast<Dosing*>(ud)->nextSwitch;
  return 0;
}

struct Run {
  long steps = 0;
  long rhsEvals = 0;
  long roots = 0;
};

// Integrates to tend as the co-simulation stepper does: restart at every
// root, after the caller's event handling.
template <typename Event>
void integrate(void* mem, N_Vector y, double tend, Run* run, Event onEvent) {
  double t = 0.0;
  while (t < tend) {
    const int flag = Mstep(mem, tend, y, &t, MS_NORMAL);
    const MstepMem m = static_cast<MstepMem>(mem);
    if (flag == MS_ROOT_RETURN) {
      ++run->roots;
      run->steps += m->numSteps;
      run->rhsEvals += m->numRhsEvals;
      onEvent(t);
      MstepReInit(mem, t, y);
      continue;
    }
    if (flag != MS_SUCCESS) break;
    run->steps += m->numSteps;
    run->rhsEvals += m->numRhsEvals;
  }
}

void report(benchmark::State& state, const Run& run) {
  const double iterations = static_cast<double>(state.iterations());
  state.counters["steps"] = run.steps / iterations;
  state.counters["rhs_evals"] = run.rhsEvals / iterations;
  state.counters["roots"] = run.roots / iterations;
  state.counters["time_per_step"] =
      benchmark::Counter(static_cast<double>(run.steps), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}

void BM_StiffPair(benchmark::State& state) {
  StiffPair problem;
  problem.lambda = static_cast<double>(state.range(0));
  N_Vector y = N_VNew_Serial(2);
  N_Vector atol = N_VNew_Serial(2);
  N_VConst(1e-6, atol);
  Run run;
  for (auto _ : state) {
    data(y)[0] = data(y)[1] = 1.0;
    void* mem = MstepCreate(MS_BDF, MS_NEWTON);
    MstepInit(mem, stiffRhs, 0.0, y);
    MstepSetUserData(mem, &problem);
    MstepSVtolerances(mem, 1e-6, atol);
    MsDense(mem, 2);
    MsDlsSetDenseJacFn(mem, stiffJac);
    MstepSetMaxNumSteps(mem, -1);
    integrate(mem, y, kPeriods, &run, [](double) {});
    MstepFree(&mem);
  }
  report(state, run);
  N_VDestroy(y);
  N_VDestroy(atol);
}
BENCHMARK(BM_StiffPair)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_DosingModel(benchmark::State& state) {
  N_Vector x = N_VNew_Serial(2);
  N_Vector atol = N_VNew_Serial(2);
  N_VConst(1e-6, atol);
  Run run;
  for (auto _ : state) {
    Dosing d;
    data(x)[0] = data(x)[1] = 0.0;
    void* mem = MstepCreate(MS_BDF, MS_NEWTON);
    MstepInit(mem, dosingRhs, 0.0, x);
    MstepSetUserData(mem, &d);
    MstepSVtolerances(mem, 1e-6, atol);
    MstepRootInit(mem, 1, dosingRoot);
    MsDense(mem, 2);
    MsDlsSetDenseJacFn(mem, dosingJac);
    MstepSetMaxNumSteps(mem, 100000);
    MstepSetMaxErrTestFails(mem, 15);
    integrate(mem, x, kPeriods, &run, [&d](double t) {
      if (d.on) {
        d.on = false;
        d.nextSwitch = d.periodStart + d.period;
      } else {
        d.on = true;
        d.periodStart = t;
        d.nextSwitch = t + d.width;
      }
    });
    MstepFree(&mem);
  }
  report(state, run);
  N_VDestroy(x);
  N_VDestroy(atol);
}
BENCHMARK(BM_DosingModel)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
