// Small runtime services for generated code.
#include "source/small_services.h"

#include <cstring>

#include "source/c_locale_text.h"
#include "source/evaluation_driver.h"
#include "source/messages.h"
#include "source/processor_clock.h"
#include "source/runtime_state.h"

namespace pelvarin {

namespace {

// The processor clock counts milliseconds in 32 bits; this is added at each
// wrap.
constexpr double CLOCK_WRAP_SPAN = 4294967296.0;
constexpr double SECONDS_PER_CLOCK_TICK = 0.001;

// Codes of the animation shapes: the named ones from the first code on, the
// tire apart, and the base of a shape given by its number.
enum { SHAPE_CODE_FIRST = 101, SHAPE_CODE_TIRE = 112, SHAPE_CODE_OTHER = 200 };
// Levels of a colour component (two decimal digits) and of the specular
// coefficient (one digit) in a packed material code.
enum {
  MATERIAL_COLOUR_LEVELS = 100,
  MATERIAL_COLOUR_MAX = 99,
  MATERIAL_SPECULAR_LEVELS = 10,
  MATERIAL_SPECULAR_MAX = 9,
};

}  // namespace

TimerCounterCallback timer_callback = nullptr;

void set_timer_counter_callback(TimerCounterCallback callback) { timer_callback = callback; }
double elapsed_start_stamp = 0.0;
int elapsed_started = 0;
std::int32_t clock_last_ticks = 0;
double clock_wrap_offset = 0.0;

double homotopy_blend(double actual, double simplified) {
  homotopy_used = 1;
  return (1 - homotopy_lambda) * simplified + actual * homotopy_lambda;
}

double timer_counter(double* stamp, int mode) {
  if (timer_callback) return timer_callback(stamp, mode);
  if (mode == 0) {
    const double t = clock_ticks_unwrapped();
    if (stamp) *stamp = t;
    return t;
  }
  if (!stamp) return 0.0;
  return (clock_ticks_unwrapped() - *stamp) * SECONDS_PER_CLOCK_TICK;
}

double elapsed_seconds() {
  // The first call only takes the stamp: its reading is milliseconds, not
  // seconds since anything.
  if (!elapsed_started) {
    timer_counter(&elapsed_start_stamp, 0);
    elapsed_started = 1;
    return 0.0;
  }
  return timer_counter(&elapsed_start_stamp, 1);
}

double unwrap_clock_ticks(std::int32_t ticks) {
  if (ticks < clock_last_ticks) {
    if (ticks == -1) return 0.0;
    clock_wrap_offset += CLOCK_WRAP_SPAN;
  }
  clock_last_ticks = ticks;
  return ticks + clock_wrap_offset;
}

double clock_ticks_unwrapped() { return unwrap_clock_ticks(processor_clock_ticks()); }

namespace {

// A memory cell must come as a vector; outside an evaluation the refusal
// returns and the cell is left alone.
bool memory_argument_valid(int size1, int size2, const char* message) {
  if (size1 == 1 && size2 == 1) {
    raise_model_error(message);
    return false;
  }
  return true;
}

// v truncated toward zero and limited to 0..limit; the limits are applied
// first, so NaN and huge values never reach the conversion (NaN gives 0).
int truncated_in_range(double v, int limit) {
  if (!(v > 0)) return 0;
  if (v >= limit) return limit;
  return static_cast<int>(v);
}

}  // namespace

double getMemory(const double* cell, int size1, int size2) {
  if (!memory_argument_valid(size1, size2, "Memory argument to getMemory must be a vector."))
    return 0.0;
  return *cell;
}

double putMemory(int doWrite, double* cell, int size1, int size2, double value) {
  if (memory_argument_valid(size1, size2, "Memory argument to putMemory must be a vector.") &&
      doWrite != 0)
    *cell = value;
  return 0.0;
}

double pack_shape_code(const char* text) {
  static const char* const shapes[] = {"box",    "sphere",       "cylinder", "cone",
                                       "pipe",   "beam",         "wirebox",  "gearwheel",
                                       "vector", "pipecylinder", "spring"};
  if (!text) return SHAPE_CODE_OTHER;
  for (int i = 0; i < (int)(sizeof shapes / sizeof shapes[0]); ++i)
    if (std::strcmp(text, shapes[i]) == 0) return SHAPE_CODE_FIRST + i;
  if (std::strcmp(text, "tire") == 0 || std::strcmp(text, "tyre") == 0) return SHAPE_CODE_TIRE;
  return static_cast<double>(c_atol(text)) + SHAPE_CODE_OTHER;
}

double pack_material_code(double red, double green, double blue, double specular) {
  const int r = truncated_in_range(red * MATERIAL_COLOUR_LEVELS - 0.5, MATERIAL_COLOUR_MAX);
  const int g = truncated_in_range(green * MATERIAL_COLOUR_LEVELS - 0.5, MATERIAL_COLOUR_MAX);
  const int b = truncated_in_range(blue * MATERIAL_COLOUR_LEVELS - 0.5, MATERIAL_COLOUR_MAX);
  const int s =
      truncated_in_range(specular * MATERIAL_SPECULAR_LEVELS - 0.5, MATERIAL_SPECULAR_MAX);
  return ((r * MATERIAL_COLOUR_LEVELS + g) * MATERIAL_COLOUR_LEVELS + b) *
             MATERIAL_SPECULAR_LEVELS +
         s;
}

void scatter_reals_by_row_index(double* dst, int ld, int, const int* rows, const double* src,
                                int n) {
  for (int i = 0; i < n; ++i) dst[(rows[i] - 1) + static_cast<long long>(i) * ld] = src[i];
}

}  // namespace pelvarin
