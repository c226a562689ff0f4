// The host program's simulation against the model's closed-form solution.
// The model is linear with a piecewise-constant pulse input u:
//   x0' = u - a x0,   x1' = a x0 - k x1,   a = transfer, k = elimination / Vd,
// so on each stretch of constant u the solution is a sum of exponentials.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "fmi/Pelvarin.h"
#include "me_api.h"
#include "tools/me_simulation.h"

namespace {

struct Model {
  double a = 10, amplitude = 10, width = 10, period = 1, nperiod = -1, offset = 0, start = 0;
  double elimination = 10, c0 = 0, vd = 10;

  double k() const { return elimination / vd; }

  bool pulse_on(double t) const {
    if (t < start || nperiod == 0) return false;
    const double n = std::floor((t - start) / period);
    if (nperiod > 0 && n >= nperiod) return false;
    return t < start + n * period + width / 100.0 * period;
  }

  // Every time at which u changes, up to `until`.
  std::vector<double> switches(double until) const {
    std::vector<double> out;
    for (int n = 0; start + n * period <= until; ++n) {
      if (nperiod >= 0 && n >= nperiod) break;
      out.push_back(start + n * period);
      out.push_back(start + n * period + width / 100.0 * period);
    }
    return out;
  }

  void exact(double t, double* x) const {
    double x0 = 0.0, x1 = c0 / vd, t0 = 0.0;
    std::vector<double> edges = switches(t);
    edges.push_back(t);
    for (double edge : edges) {
      if (edge <= t0) continue;
      const double te = std::min(edge, t);
      const double u = offset + (pulse_on(0.5 * (t0 + te)) ? amplitude : 0.0);
      const double s = te - t0;
      const double b = (a * x0 - u) / (k() - a);
      const double nx0 = u / a + (x0 - u / a) * std::exp(-a * s);
      const double nx1 = u / k() + b * std::exp(-a * s) + (x1 - u / k() - b) * std::exp(-k() * s);
      x0 = nx0;
      x1 = nx1;
      t0 = te;
      if (te >= t) break;
    }
    x[0] = x0;
    x[1] = x1;
  }
};

struct Loaded {
  host::Library library;
  me_sim::Functions f;
  Loaded() {
    std::string missing;
    EXPECT_TRUE(me_sim::load_functions(library.handle(), &f, &missing)) << missing;
  }
};

void expect_closed_form(const Model& model, const me_sim::Result& result) {
  ASSERT_TRUE(result.ok) << result.error << host::all_logs();
  ASSERT_GT(result.samples.size(), 100u);
  double worst = 0.0;
  for (const me_sim::Sample& s : result.samples) {
    double x[2];
    model.exact(s.time, x);
    for (int i = 0; i < 2; ++i) worst = std::max(worst, std::fabs(s.x[i] - x[i]));
    EXPECT_NEAR(s.x[0], x[0], 1e-6) << "t = " << s.time;
    EXPECT_NEAR(s.x[1], x[1], 1e-6) << "t = " << s.time;
    EXPECT_NEAR(s.w[0], s.x[1] / model.vd, 1e-12) << "t = " << s.time;
  }
  EXPECT_LT(worst, 1e-6);
}

// The library's own functions, for stand-ins that fail in their place.
me_sim::Functions library_functions;

// Refuses the first read only; later ones succeed.
int get_real_calls = 0;
fmiStatus first_get_real_refused(fmiComponent c, const fmiValueReference vr[], size_t nvr, fmiReal value[]) {
  if (get_real_calls++ == 0) return fmiError;
  return library_functions.get_real(c, vr, nvr, value);
}

fmiStatus never_converging_event_update(fmiComponent c, fmiBoolean intermediate, fmiEventInfo* info) {
  const fmiStatus s = library_functions.event_update(c, intermediate, info);
  info->iterationConverged = fmiFalse;
  return s;
}

}  // namespace

TEST(MeSimulation, TheHostKnowsTheModelsGuid) { EXPECT_STREQ(me_sim::kGuid, PELVARIN_GUID); }

TEST(MeSimulation, DefaultDosingCurveFollowsTheClosedForm) {
  Loaded lib;
  me_sim::Options options;
  me_sim::Result result = me_sim::simulate(lib.f, host::me_callbacks(), options);
  Model model;
  expect_closed_form(model, result);
  EXPECT_EQ(result.samples.size(), 1001u);  // 0 to 10 s every 10 ms
  EXPECT_DOUBLE_EQ(result.samples.back().time, 10.0);
  EXPECT_EQ(result.time_events, 10);  // the end of every pulse
  EXPECT_EQ(result.state_events, 9);  // the start of every period after the first
  EXPECT_EQ(result.samples.back().w[5], 9.0);  // the period counter
  EXPECT_EQ(host::record().live_blocks, 0);

  // Spot checks at several times, in and between pulses.
  for (double t : {0.05, 0.1, 0.5, 1.05, 2.3, 5.0, 9.99}) {
    auto it = std::find_if(result.samples.begin(), result.samples.end(),
                           [t](const me_sim::Sample& s) { return std::fabs(s.time - t) < 1e-9; });
    ASSERT_NE(it, result.samples.end()) << t;
    double x[2];
    model.exact(t, x);
    EXPECT_NEAR(it->x[1], x[1], 1e-7) << t;
  }
}

TEST(MeSimulation, OtherParametersFollowTheClosedFormToo) {
  Loaded lib;
  Model model;
  model.amplitude = 5;
  model.width = 30;
  model.period = 2;
  model.nperiod = 3;
  model.offset = 0.2;
  model.start = 0.5;
  model.elimination = 5;
  model.c0 = 3;
  me_sim::Options options;
  options.stop = 9.0;
  options.parameters = {{me::parameter(me::P_AMPLITUDE), model.amplitude},
                        {me::parameter(me::P_WIDTH), model.width},
                        {me::parameter(me::P_PERIOD), model.period},
                        {me::parameter(me::P_NPERIOD), model.nperiod},
                        {me::parameter(me::P_OFFSET), model.offset},
                        {me::parameter(me::P_START), model.start},
                        {me::parameter(me::P_ELIMINATION), model.elimination},
                        {me::parameter(me::P_C0), model.c0}};
  me_sim::Result result = me_sim::simulate(lib.f, host::me_callbacks(), options);
  expect_closed_form(model, result);
  EXPECT_NEAR(result.samples.front().x[1], 0.3, 1e-15);  // C0 / Vd
  EXPECT_EQ(result.samples.back().w[2], 0.2);            // after the last pulse: the offset
}

// A host run that could not do its work never passes for a success.
TEST(MeSimulation, AFailureOnTheWayIsReportedAsAFailure) {
  Loaded lib;
  library_functions = lib.f;
  struct Case {
    const char* what;
    void (*spoil)(me_sim::Functions*);
    const char* error;
  };
  const Case cases[] = {
      {"the first sample cannot be read", [](me_sim::Functions* f) { f->get_real = first_get_real_refused; },
       "fmiGetReal failed with status 3"},
      {"an event iteration never converges",
       [](me_sim::Functions* f) { f->event_update = never_converging_event_update; }, "fmiEventUpdate did not converge"},
  };
  for (const Case& k : cases) {
    host::reset_record();
    me_sim::Functions f = lib.f;
    k.spoil(&f);
    me_sim::Options options;
    options.stop = 2.0;
    const me_sim::Result result = me_sim::simulate(f, host::me_callbacks(), options);
    EXPECT_FALSE(result.ok) << k.what;
    EXPECT_EQ(result.error, k.error) << k.what;
    EXPECT_EQ(host::record().live_blocks, 0) << k.what;
  }
}
