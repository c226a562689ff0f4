#include "source/processor_clock.h"

#include <ctime>

namespace {

// 0 until the first reading; keeps the readings small enough for the f32
// sums of the statistics.
double clock_origin = 0.0;

}  // namespace

double processor_clock() {
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return -1.0;
  const double now = static_cast<double>(ts.tv_sec) + 1e-9 * static_cast<double>(ts.tv_nsec);
  if (clock_origin == 0.0) clock_origin = now;
  return (now - clock_origin) * PROCESSOR_CLOCK_TICKS_PER_SECOND;
}

std::int32_t processor_clock_ticks() {
  const double ticks = processor_clock();
  // Far beyond any process's lifetime; refused rather than converted.
  if (!(ticks >= 0.0 && ticks < 0x1p62)) return -1;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks)));
}
