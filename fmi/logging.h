// Every text of the system reaches the host's logger through here.
#pragma once

#include <cstdarg>
#include <cstddef>

#include "fmi/fmi_types.h"
#include "fmi/model_instance.h"

namespace pelvarin {

enum {
  FMI_LOG_BUFFER_SIZE = 4096,                   // one message's buffer
  FMI_LOG_MAX_TEXT = FMI_LOG_BUFFER_SIZE - 2,   // characters of text a message keeps
  FMI_PENDING_MAX_TEXT = INSTANCE_PENDING_SIZE - 2,
  INSTANCE_NAME_MAX = 1024,                     // longest copied instance name
};

// Formats the message (behind any pending text) and hands it to the
// instance's logger as logger(instance, instanceName, status, category, text).
// While logging is off, fmiOK and fmiWarning messages are dropped unformatted.
// Every "%" of the finished text reaches the logger doubled, since hosts treat
// the message argument as a printf format.
void fmi_log(ModelInstance* instance, fmiString instanceName, fmiStatus status, fmiString category,
             const char* format, ...) __attribute__((format(printf, 5, 6)));
void fmi_log_v(ModelInstance* instance, fmiString instanceName, fmiStatus status,
               fmiString category, const char* format, va_list args)
    __attribute__((format(printf, 5, 0)));

// Collects a piece of text that goes out in front of the next message.
// A piece that is empty or does not fit first sends what is pending; a piece
// longer than the room is cut there.
void fmi_log_pending(ModelInstance* instance, fmiString instanceName, fmiStatus status,
                     fmiString category, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// The same formatting for a logger that has no instance yet (c is NULL).
void fmi_log_host(fmiCallbackLogger logger, fmiString instanceName, fmiStatus status,
                  fmiString category, const char* format, ...)
    __attribute__((format(printf, 5, 6)));

// Sends the runtime's texts to the live instance's logger from now on, as
// fmiOK messages under its name (pieces of a line wait for the rest); while
// no instance lives they are dropped.
void route_runtime_texts_to_logger();

// A copy of text ("<NULL>" for NULL), cut to at most INSTANCE_NAME_MAX bytes
// on a character boundary, from the instance's allocateMemory; NULL when that
// fails.
char* copy_instance_string(const ModelInstance* instance, fmiString text);

// The length of text cut to at most limit bytes, ending on a UTF-8 character
// boundary: a cut never leaves a lead byte without its continuation bytes.
// A text no longer than limit keeps its length, whatever bytes it holds.
size_t utf8_cut_length(const char* text, size_t limit);

// Whether fmi_log passes a message of this status on to the logger.
inline bool fmi_log_passes(const ModelInstance* instance, fmiStatus status) {
  return instance->logger != nullptr && (instance->loggingOn || status >= fmiDiscard);
}

// Shorthand for a message of the instance under its own name. The filter is
// asked first: a message it drops costs no call.
#define FMI_LOG(instance, status, ...)                                          \
  do {                                                                          \
    if (fmi_log_passes((instance), (status)))                                   \
      fmi_log((instance), (instance)->instanceName, (status), "", __VA_ARGS__); \
  } while (0)

}  // namespace pelvarin
