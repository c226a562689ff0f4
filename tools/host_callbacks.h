// The callbacks the command-line hosts give the library: warnings and
// failures to standard error (the message is a printf format), memory from
// calloc and free.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

#include "fmi/fmi_types.h"

namespace host_tools {

inline void logger(fmiComponent, fmiString instanceName, fmiStatus status, fmiString, fmiString message,
                   ...) {
  if (status == fmiOK || message == nullptr) return;
  fflush(stdout);  // whole lines when both streams go into one file
  va_list args;
  va_start(args, message);
  fprintf(stderr, "%s [%d]: ", instanceName ? instanceName : "", static_cast<int>(status));
  vfprintf(stderr, message, args);
  fputc('\n', stderr);
  va_end(args);
}

inline void* allocate(size_t nobj, size_t size) { return calloc(nobj, size); }

}  // namespace host_tools
