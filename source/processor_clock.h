// The processor clock: elapsed time in whole milliseconds, as the platform
// clock this runtime was first written for counts it. The co-simulation
// callbacks read it twice per evaluation, so a reading costs a few
// nanoseconds: the CPU's time-stamp counter, scaled by the monotonic clock
// that it is checked against every few milliseconds.
#pragma once

#include <cstdint>

namespace pelvarin {

constexpr double PROCESSOR_CLOCK_TICKS_PER_SECOND = 1000.0;

// Whole ticks since the first reading in the process; never decreases.
// Differences of readings add up exactly in the f32 sums of the statistics
// for hours. -1 when the platform has no clock.
double processor_clock();

// The same reading in the 32-bit form of the platform clock, which wraps
// after 2^31 ticks; -1 when there is no clock.
std::int32_t processor_clock_ticks();

}  // namespace pelvarin
