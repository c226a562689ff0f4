// Return flags of the integrator and the routines that report its failures.
#pragma once

struct MstepMemRecord;

constexpr int MS_SUCCESS = 0;
constexpr int MS_TSTOP_RETURN = 1;
constexpr int MS_ROOT_RETURN = 2;
constexpr int MS_TOO_MUCH_WORK = -1;
constexpr int MS_TOO_MUCH_ACC = -2;
constexpr int MS_ERR_FAILURE = -3;
constexpr int MS_CONV_FAILURE = -4;
constexpr int MS_LINIT_FAIL = -5;
constexpr int MS_LSETUP_FAIL = -6;
constexpr int MS_LSOLVE_FAIL = -7;
constexpr int MS_RHSFUNC_FAIL = -8;
constexpr int MS_FIRST_RHSFUNC_ERR = -9;
constexpr int MS_REPTD_RHSFUNC_ERR = -10;
constexpr int MS_UNREC_RHSFUNC_ERR = -11;
constexpr int MS_RTFUNC_FAIL = -12;
constexpr int MS_MEM_FAIL = -20;
constexpr int MS_MEM_NULL = -21;
constexpr int MS_ILL_INPUT = -22;
constexpr int MS_NO_MALLOC = -23;
constexpr int MS_BAD_K = -24;
constexpr int MS_BAD_T = -25;
constexpr int MS_BAD_DKY = -26;
constexpr int MS_TOO_CLOSE = -27;
// Code handed to the error handler with a warning; never returned.
constexpr int MS_WARNING = 99;

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

// Reports the message of a failed internal step or first-step estimate under
// "MSTEP"/"Mstep" and returns flag unchanged.
int msReportStepFailure(MstepMemRecord* mem, int flag);

// A new text holding the flag's name ("NONE" for unknown values), or NULL
// when it cannot be allocated. The caller releases it with msRelease (or
// free) and should print "NONE" for NULL.
char* MstepGetReturnFlagName(int flag);
