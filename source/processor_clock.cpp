#include "source/processor_clock.h"

#include <ctime>

#if defined(__x86_64__)
#include <cpuid.h>
#include <x86intrin.h>
#endif

namespace pelvarin {

namespace {

constexpr double TICKS_PER_NS = PROCESSOR_CLOCK_TICKS_PER_SECOND / 1e9;
// The counter's rate is taken once this much monotonic time has passed ...
constexpr long long CALIBRATION_NS = 1000000;
// ... and counter readings are checked against the monotonic clock again
// after this many counts (a few milliseconds).
constexpr unsigned long long COUNTS_PER_CHECK = 1ull << 24;
// The CPUID leaf of the power-management features, and its bit for a
// time-stamp counter of constant rate that keeps ticking in sleep states.
constexpr unsigned CPUID_POWER_LEAF = 0x80000007u;
constexpr unsigned CPUID_INVARIANT_COUNTER_BIT = 1u << 8;
// Readings from here on lie far beyond any process's lifetime.
constexpr double TICKS_LIMIT = 0x1p62;

// Zero-initialized: loading the library runs none of our code.
struct ClockState {
  int started;
  int counterUsable;               // a counter of constant rate, ticking on
  long long originNs;              // monotonic clock at the first reading
  unsigned long long originCount;  // the counter then
  double anchorTicks;              // elapsed ticks at the last check ...
  unsigned long long anchorCount;  // ... and the counter then
  double ticksPerCount;            // 0 until the rate is known
  double lastTicks;                // no reading goes below the one before
} state;

unsigned long long read_counter() {
#if defined(__x86_64__)
  return __rdtsc();
#else
  return 0;
#endif
}

bool counter_has_constant_rate() {
#if defined(__x86_64__)
  unsigned a = 0, b = 0, c = 0, d = 0;
  return __get_cpuid(CPUID_POWER_LEAF, &a, &b, &c, &d) != 0 &&
         (d & CPUID_INVARIANT_COUNTER_BIT) != 0;
#else
  return false;
#endif
}

// Elapsed ticks from the monotonic clock, re-anchoring and re-measuring the
// counter; false when there is no clock.
bool checked_elapsed(double* elapsed) {
  timespec ts;
  if (clock_gettime(CLOCK_MONOTONIC, &ts) != 0) return false;
  const unsigned long long count = read_counter();
  const long long ns = static_cast<long long>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
  if (!state.started) {
    state.started = 1;
    state.counterUsable = counter_has_constant_rate() ? 1 : 0;
    state.originNs = ns;
    state.originCount = count;
  }
  const long long elapsedNs = ns - state.originNs;
  *elapsed = static_cast<double>(elapsedNs) * TICKS_PER_NS;
  state.anchorTicks = *elapsed;
  state.anchorCount = count;
  if (state.counterUsable && elapsedNs >= CALIBRATION_NS) {
    if (count > state.originCount)
      state.ticksPerCount = *elapsed / static_cast<double>(count - state.originCount);
    else
      state.counterUsable = 0;  // a counter that stood still or ran back
  }
  if (!state.counterUsable) state.ticksPerCount = 0.0;
  return true;
}

}  // namespace

double processor_clock() {
  double elapsed = 0.0;
  const unsigned long long since = read_counter() - state.anchorCount;
  if (state.ticksPerCount > 0.0 && since < COUNTS_PER_CHECK) {
    elapsed = state.anchorTicks + static_cast<double>(since) * state.ticksPerCount;
  } else if (!checked_elapsed(&elapsed)) {
    return -1.0;
  }
  double ticks = static_cast<double>(static_cast<long long>(elapsed));  // whole ticks
  if (ticks < state.lastTicks) ticks = state.lastTicks;
  state.lastTicks = ticks;
  return ticks;
}

// Not reached in this model: only the small services' elapsed-time counter
// reads the 32-bit form.
std::int32_t processor_clock_ticks() {
  const double ticks = processor_clock();
  // Refused rather than converted.
  if (!(ticks >= 0.0 && ticks < TICKS_LIMIT)) return -1;
  return static_cast<std::int32_t>(static_cast<std::uint32_t>(static_cast<std::uint64_t>(ticks)));
}

}  // namespace pelvarin
