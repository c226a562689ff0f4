// Event services for generated code.
#include "source/event_services.h"

#include <cassert>
#include <cmath>
#include <limits>

#include "source/c_locale_text.h"
#include "source/evaluation_driver.h"
#include "source/messages.h"
#include "source/model_interface.h"
#include "source/runtime_constants.h"
#include "source/runtime_state.h"

namespace pelvarin {

double time_event_candidate = 0.0;

double anticipation_step = 0.0;
double anticipation_event_time = 0.0;
double anticipation_last_time = 0.0;
double anticipation_step_start = 0.0;
double anticipation_shift_time = 0.0;
double anticipation_fraction = 0.0;
double anticipation_fraction_before = 0.0;
double anticipation_best = 0.0;
double anticipation_next_factor = 0.0;
double anticipation_window_start = 0.0;
double anticipation_window_end = 0.0;

namespace {

// Six units of the last place: proposals this close count as one event.
constexpr double TIME_EVENT_TOLERANCE = 6.0 * 0x1p-52;
// Relative distance at which a sample instant counts as reached.
constexpr double SAMPLE_TOLERANCE = 5e-14;

// Event anticipation's stand-in for a time not seen yet: ahead of every time
// for the last event-mode call (no step is measured from it), before every
// time for the previous call, the last history shift and the window.
constexpr double ANTICIPATION_NO_TIME = 1e30;
// Crossings and time events are looked for this many steps ahead, and the
// shortened step and the stretched one after it add up to as many.
constexpr double ANTICIPATION_HORIZON = 2;
// Margins of the straight-line and the quadratic estimate of a crossing:
// each estimate is put its margin less one step later, so that the
// shortened step ends just past the crossing, and a straight line counts as
// a candidate when it reaches zero within its margin times the horizon.
constexpr double ANTICIPATION_LINEAR_MARGIN = 1.2;
constexpr double ANTICIPATION_QUADRATIC_MARGIN = 1.04;
// Allowance for the curvature of the quadratic estimate: smaller when the
// function has moved towards zero for two steps.
constexpr double ANTICIPATION_CURVATURE_STEADY = 0.4;
constexpr double ANTICIPATION_CURVATURE_NEW = 0.7;
// A quadratic estimate outside these fractions of a step is not taken.
constexpr double ANTICIPATION_ROOT_LOW = -0.5;
constexpr double ANTICIPATION_ROOT_HIGH = 2.5;
// The window of the stretched step, in steps after the analysis: just short
// of one and of two steps, so that the next grid point falls inside it and
// the one after that does not.
constexpr double ANTICIPATION_WINDOW_START = 0.9999999999;
constexpr double ANTICIPATION_WINDOW_END = 1.9999999999;

// Not reached in this model: it has no sample operators.
// The model's sample arrays hold model_sample_slots entries; any other index
// would address memory that is not theirs. Outside an evaluation the refusal
// returns, so the caller must still stop.
bool sample_index_valid(int index) {
  const bool valid = index >= 0 && index < model_sample_slots;
  check_assertion(valid, "(index>=0)&&(index<nSamples)", "Sample index out of range");
  return valid;
}

// Not reached in this model: it has no sample operators.
// Where both sample operators start counting: the count of the first
// instant not before the later of t and start.
void start_sample(double* realOptions, double t, double start, double interval, int index,
                  int init) {
  assert(index >= 0 && index < model_sample_slots);
  if (realOptions) {
    double& scale = realOptions[REAL_OPTION_TIME_SCALE];
    scale = std::fmax(scale, std::fabs(start));
  }
  double m = start < t ? t : start;
  double k = ceil_periods(m, start, interval);
  if (init != 0 || sample_counters[index] < k) sample_counters[index] = k;
}

// Not reached in this model: it has no sample operators.
// Advances *count past every instant up to t and returns the next instant.
// The loop ends also when the instants stop growing, which finite doubles
// reach long before any count would take forever.
double advance_samples(double t, double start, double interval, double scale, double* count,
                       int* fired) {
  // No instant follows from an interval that is no usable step.
  if (!(interval > 0.0) || !std::isfinite(interval)) return std::nan("");
  double next = *count * interval + start;
  while (t + (std::fabs(t) + scale) * SAMPLE_TOLERANCE >= next) {
    double grown = *count + 1.0;
    double later = grown * interval + start;
    if (!(grown > *count) || !(later > next)) break;
    *count = grown;
    next = later;
    *fired = 1;
  }
  return next;
}

}  // namespace

void register_time_event(double t) {
  double* realOptions = runtime_real_options();
  if (!realOptions) return;
  double& next = realOptions[REAL_OPTION_NEXT_TIME_EVENT];
  double eps = (std::fabs(t) + realOptions[REAL_OPTION_TIME_SCALE]) * TIME_EVENT_TOLERANCE;
  if (next >= TIME_EVENT_NONE_BOUND) time_event_candidate = next;
  if (t >= next + eps) return;
  if (time_event_candidate > t) {
    time_event_candidate = t;
    if (t + eps < next) next = t;
  } else if (t <= time_event_candidate + eps) {
    if (next < t) next = t;
  }
}

void integer_expression_update(const char* text, RoundFunction roundFunction, double value,
                               double* currentInteger, double* hysteresisOut, double hysteresis,
                               int, int, int, int init, int logFlags, int* iterateFlag, int,
                               double, int) {
  double r = roundFunction ? roundFunction(value) : std::floor(value);
  if (hysteresisOut) *hysteresisOut = hysteresis;
  if (!currentInteger) return;
  if (!(*currentInteger == r)) {
    if (init == 0 && iterateFlag) *iterateFlag = 1;
    if ((logFlags & LOG_FLAG_EVENTS) && (init == 0 || (logFlags & LOG_FLAG_INIT_INTEGERS))) {
      char line[1000];
      c_sprintf(line, sizeof line, "Expression %.400s became %g ( unrounded = %.12g )",
                text ? text : "", r, value);
      emit_message_line(line);
    }
  }
  *currentInteger = r;
}

// Not reached in this model: it has no sample operators.
double ceil_periods(double t, double start, double interval) {
  const double span = t - start;
  // The quotient by zero as IEEE gives it, without dividing by zero.
  if (interval == 0.0) {
    if (span == 0.0 || std::isnan(span)) return std::numeric_limits<double>::quiet_NaN();
    return std::copysign(HUGE_VAL, span) * std::copysign(1.0, interval);
  }
  return std::ceil(span / interval);
}

// Not reached in this model: it has no sample operators.
int sample_event(double t, double start, double interval, int index, int init, int active) {
  if (!sample_index_valid(index)) return 0;
  int fired = 0;
  double* realOptions = runtime_real_options();
  if (init != 0 || (active != 0 && sample_started[index] == 0))
    start_sample(realOptions, t, start, interval, index, init);
  if (active != 0) {
    double scale = realOptions ? realOptions[REAL_OPTION_TIME_SCALE] : 0.0;
    double next = advance_samples(t, start, interval, scale, &sample_counters[index], &fired);
    sample_next[index] = sample_counters[index];
    sample_evaluated[index] = 1;
    if (std::isfinite(next)) register_time_event(next);
  }
  return fired;
}

// Not reached in this model: it has no sample operators.
int sample_event_checked(double t, double start, double interval, int index, int init,
                         int active) {
  int fired = 0;
  if (!(interval > 0.0)) {
    raise_model_error("Sample did not have positive sample interval");
    return 0;  // reached only outside an evaluation
  }
  if (!sample_index_valid(index)) return 0;
  double* realOptions = runtime_real_options();
  if (init != 0 || (active != 0 && sample_counters[index] == 0.0)) {
    if (init == 2) return 0;
    start_sample(realOptions, t, start, interval, index, init);
  }
  if (active != 0) {
    double scale = realOptions ? realOptions[REAL_OPTION_TIME_SCALE] : 0.0;
    sample_next[index] = sample_counters[index];
    double next = advance_samples(t, start, interval, scale, &sample_next[index], &fired);
    sample_evaluated[index] = 1;
    if (std::isfinite(next)) register_time_event(next);
  }
  return fired;
}

namespace {

// Not reached in this model: nothing sets intOptions[INT_OPTION_ANTICIPATION].
// Has the function moved towards zero between the older and the newer value?
bool moved_towards_zero(double reference, double newer, double older) {
  return reference > 0 ? newer < older : newer > older;
}

// Not reached in this model: nothing sets intOptions[INT_OPTION_ANTICIPATION].
// Fraction of a step after which relation i's crossing function is expected
// to reach zero; 0 when it is no candidate.
double anticipated_crossing(int i, double g, const double* eventIndicators) {
  int j = i / 2;
  double d = (g - crossing_prev[i]) / anticipation_fraction;
  if (!((g + ANTICIPATION_HORIZON * ANTICIPATION_LINEAR_MARGIN * d) * g < 0)) return 0.0;
  if (relation_evaluated[j + 1] == 0) return 0.0;
  if (!(eventIndicators[2 * j] * eventIndicators[2 * j + 1] > 0)) return 0.0;
  double s = -g / d + (ANTICIPATION_LINEAR_MARGIN - 1.0);
  if (anticipation_shift_time > -ANTICIPATION_NO_TIME &&
      moved_towards_zero(crossing_prev[i], crossing_prev[i], crossing_prev2[i])) {
    double f1 = anticipation_fraction;
    double f2 = anticipation_fraction_before;
    double F = f1 + f2;
    double D = f1 * F * f2;
    double p1 = crossing_prev[i] - g;
    double p2 = crossing_prev2[i] - g;
    double b = (F * F * p1 - f1 * f1 * p2) / D;
    double A = 4 * g * (-F * p1 + f1 * p2) / D;
    double c = moved_towards_zero(crossing_prev[i], crossing_prev2[i], crossing_prev3[i])
                   ? ANTICIPATION_CURVATURE_STEADY
                   : ANTICIPATION_CURVATURE_NEW;
    A = A > 0 ? A * (1 + c) : A * (1 - c);
    double disc = b * b - A;
    if (disc >= 0) {
      double q = disc > 0 ? std::sqrt(disc) : 0.0;
      double sigma = b > 0 ? 1.0 : -1.0;
      double root = -(2 * g) / (-b - sigma * q) + (ANTICIPATION_QUADRATIC_MARGIN - 1.0);
      if (ANTICIPATION_ROOT_LOW < root && root < ANTICIPATION_ROOT_HIGH) s = root;
    }
  }
  return (0 < s && s < ANTICIPATION_HORIZON) ? s : 0.0;
}

}  // namespace

// Not reached in this model: nothing sets intOptions[INT_OPTION_ANTICIPATION].
void anticipate_events_fixed_step(double t, int init, int eventMode, double* eventIndicators,
                                  int count, double* der, int n, double* realOptions, int*) {
  // The history arrays hold the model's relations; more cannot be watched.
  if (count < 0) count = 0;
  if (count > model_relations) count = model_relations;
  if (!eventIndicators) count = 0;
  const int watched = 2 * count;
  assert(watched <= 2 * model_relations);
  double& h = anticipation_step;
  double& wStart = anticipation_window_start;
  double& wEnd = anticipation_window_end;

  if (init) {
    h = 0;
    anticipation_event_time = ANTICIPATION_NO_TIME;
    wStart = wEnd = -ANTICIPATION_NO_TIME;
    anticipation_step_start = t;
    anticipation_last_time = -ANTICIPATION_NO_TIME;
    anticipation_shift_time = t;
    anticipation_fraction_before = 1.0;
    anticipation_best = 1.0;
    anticipation_next_factor = 1.0;
    anticipation_fraction = 1.0;
  }
  if (h == 0 && anticipation_event_time < t) h = t - anticipation_event_time;
  if (eventMode) anticipation_event_time = t;

  if (anticipation_last_time < t) {
    anticipation_shift_time = anticipation_last_time;
    anticipation_fraction_before = anticipation_fraction;
    if (h != 0) {
      anticipation_fraction = (wStart <= t && t < wEnd) ? (wStart - anticipation_step_start) / h
                                                        : (t - anticipation_step_start) / h;
    }
    for (int i = 0; i < watched; ++i) {
      crossing_prev3[i] = crossing_prev2[i];
      crossing_prev2[i] = crossing_prev[i];
      crossing_prev[i] = crossing_now[i];
    }
  }
  for (int i = 0; i < watched; ++i)
    crossing_now[i] = relation_evaluated[i / 2 + 1] != 0 ? eventIndicators[i] : 0.0;

  if (h != 0 && wEnd <= t) {
    double best = 0;
    if (realOptions) {
      double r = (realOptions[REAL_OPTION_NEXT_TIME_EVENT] - t) / h;
      if (0 < r && r < ANTICIPATION_HORIZON && best < r) best = r;
    }
    for (int i = 0; i < watched; ++i) {
      double s = anticipated_crossing(i, eventIndicators[i], eventIndicators);
      if (s != 0 && best < s) best = s;
    }
    anticipation_best = best;
    if (best != 0 && best < 1) {
      anticipation_next_factor = ANTICIPATION_HORIZON - best;
      wStart = t + ANTICIPATION_WINDOW_START * h;
      wEnd = t + ANTICIPATION_WINDOW_END * h;
    } else {
      anticipation_next_factor = 1;
      wStart = wEnd = t;
    }
  }

  anticipation_last_time = t;
  anticipation_step_start = t;
  if (realOptions) realOptions[REAL_OPTION_STEP_FACTOR] = 1.0;
  if (!der) n = 0;
  if (t < wStart) {
    if (realOptions) realOptions[REAL_OPTION_STEP_FACTOR] = anticipation_best;
    for (int i = 0; i < n; ++i) der[i] *= anticipation_best;
  } else if (t < wEnd) {
    if (realOptions) realOptions[REAL_OPTION_STEP_FACTOR] = anticipation_next_factor;
    for (int i = 0; i < n; ++i) der[i] *= anticipation_next_factor;
    anticipation_step_start = wStart;
  }
}

// Not reached in this model: nothing calls it.
double get_initial_time() { return initialization_time; }

}  // namespace pelvarin
