// The routines that report the integrator's failures (the flags and their
// names are in integrator/mstep.h).
#pragma once

#include "integrator/mstep.h"

namespace pelvarin {

struct MstepMemRecord;

// Longest formatted message, terminator included; longer texts are cut.
constexpr int MS_MSG_BUFFER = 256;
// Size of a flag-name text.
constexpr int MS_FLAG_NAME_SIZE = 24;

// Formats the message (printf conventions) and hands it to the memory's
// error handler; without a memory the module, function and the format text
// itself go to the standard error stream.
void msReportError(MstepMemRecord* mem, int error_code, const char* module, const char* function,
                   const char* format, ...) __attribute__((format(printf, 5, 6)));

// The handler a new memory starts with; data is that memory.
void msDefaultErrHandler(int error_code, const char* module, const char* function, const char* msg,
                         void* data);

// Needs: a memory. Reports the message of a failed internal step or
// first-step estimate under "MSTEP"/"Mstep" and returns flag unchanged.
int msReportStepFailure(MstepMemRecord* mem, int flag);

}  // namespace pelvarin
