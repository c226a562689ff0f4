// Small runtime services for generated code: the homotopy operator, the
// elapsed-time counter with the host's clock hook, memory cells given as
// arrays, the packing of animation shapes and colours, and a scatter of
// values into a column-major matrix.
// Not reached in this model: services for the external functions and
// operators of generated models, and this model calls none; only the clock
// hook is reached, through the exported setTimerCounterCB.
#pragma once

#include <cstdint>

namespace pelvarin {

// The homotopy operator: simplified at lambda 0, actual at lambda 1; marks
// homotopy as used, so that a failed initialization may try it.
double homotopy_blend(double actual, double simplified);

// The host's clock: mode 0 takes a stamp, any other mode answers the seconds
// since the stamp. NULL (the built-in clock) at load.
typedef double (*TimerCounterCallback)(double* stamp, int mode);
// What the exported setTimerCounterCB stores.
void set_timer_counter_callback(TimerCounterCallback callback);

// Mode 0: a stamp in milliseconds, stored through stamp unless it is NULL;
// any other mode: the seconds since *stamp (0 without a stamp).
double timer_counter(double* stamp, int mode);
// Seconds since the first call; 0 on the first.
double elapsed_seconds();
// The processor clock in milliseconds, continued across its 32-bit wrap.
double clock_ticks_unwrapped();
// The same for a given clock reading.
double unwrap_clock_ticks(std::int32_t ticks);

// A memory cell given as a vector: a 1 x 1 argument is a model error (the
// cell is then left alone, 0 returned). getMemory returns the cell;
// putMemory writes value when doWrite and returns 0.
double getMemory(const double* cell, int size1, int size2);
double putMemory(int doWrite, double* cell, int size1, int size2, double value);

// The code of a named animation shape (101 upwards), else 200 plus the
// text's number; 200 for NULL.
double pack_shape_code(const char* text);
// Colour components in [0, 1] and the specular coefficient packed into one
// number, each limited to its digits.
double pack_material_code(double red, double green, double blue, double specular);

// rows holds 1-based row numbers; dst is column-major with leading dimension ld.
void scatter_reals_by_row_index(double* dst, int ld, int unused, const int* rows, const double* src,
                                int n);

}  // namespace pelvarin
