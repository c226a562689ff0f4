// The processor clock: elapsed time in milliseconds, as the platform clock
// this runtime was first written for counts it, read through the fast
// monotonic clock (the process CPU clock costs a system call per reading,
// and the co-simulation callbacks read it twice per evaluation).
#pragma once

#include <cstdint>

constexpr double PROCESSOR_CLOCK_TICKS_PER_SECOND = 1000.0;

// Ticks since the first reading in the process, with their fraction; never
// decreases. -1 when the platform has no clock.
double processor_clock();

// The same reading in whole ticks, in the 32-bit form of the platform clock,
// which wraps after 2^31 ticks; -1 when there is no clock.
std::int32_t processor_clock_ticks();
