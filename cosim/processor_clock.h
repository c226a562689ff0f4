// The clock of the integrator statistics. It counts elapsed time, as the
// platform clock this stepper was first written for does, read through the
// fast monotonic clock: the process CPU clock costs a system call per reading,
// and the model callbacks read it twice per evaluation.
#pragma once

constexpr double PROCESSOR_CLOCK_TICKS_PER_SECOND = 1e6;

// Ticks since the first reading in the process.
double processor_clock();
