#include "cosim/processor_clock.h"

#include <ctime>

namespace {

double seconds_now() {
  timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
}

// 0 until the first reading; keeps the readings small enough for the f32
// sums of the statistics.
double clock_origin = 0.0;

}  // namespace

double processor_clock() {
  const double now = seconds_now();
  if (clock_origin == 0.0) clock_origin = now;
  return (now - clock_origin) * PROCESSOR_CLOCK_TICKS_PER_SECOND;
}
