#include "fmi/logging.h"

#include <cstring>

#include "fmi/fmi_functions.h"
#include "source/c_locale_text.h"
#include "source/evaluation_driver.h"

namespace pelvarin {

namespace {

// Hosts hand the message to printf as its format: every "%" goes out doubled,
// so the host shows the text as meant and no host text becomes a directive.
void send_escaped(fmiCallbackLogger logger, fmiComponent c, fmiString instanceName,
                  fmiStatus status, fmiString category, const char* text) {
  char escaped[2 * FMI_LOG_MAX_TEXT + 1];
  size_t n = 0;
  for (const char* s = text; *s != '\0'; ++s) {
    if (*s == '%') escaped[n++] = '%';
    escaped[n++] = *s;
  }
  escaped[n] = '\0';
  logger(c, instanceName, status, category, escaped);
}

// The length of the first `length` bytes of text without a character that
// they end in the middle of: the last lead byte must have all of its
// continuation bytes. Bytes that are not UTF-8 are kept as they are.
size_t whole_characters(const char* text, size_t length) {
  for (size_t back = 1; back <= 4 && back <= length; ++back) {
    const unsigned char byte = static_cast<unsigned char>(text[length - back]);
    if ((byte & 0xC0) == 0x80) continue;  // a continuation byte
    const size_t size = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    return size > back ? length - back : length;
  }
  return length;
}

// Formats into text, which holds room bytes, and ends a text that had to be
// cut on a character boundary; returns the length, 0 when the format cannot
// be applied.
size_t format_cut(char* text, size_t room, const char* format, va_list args) {
  const int n = c_vsprintf(text, room, format, args);
  size_t length = n > 0 ? static_cast<size_t>(n) : 0;
  if (length + 1 == room) length = whole_characters(text, length);  // maybe cut
  text[length] = '\0';
  return length;
}

// Formats behind the `used` characters already in text; the whole stays
// within FMI_LOG_MAX_TEXT characters. Numbers come out the same whatever
// locale the host has set.
void format_into(char* text, size_t used, const char* format, va_list args) {
  if (used >= FMI_LOG_MAX_TEXT) {
    text[FMI_LOG_MAX_TEXT] = '\0';
    return;
  }
  format_cut(text + used, FMI_LOG_MAX_TEXT + 1 - used, format, args);
}

size_t pending_length(const ModelInstance* instance) {
  if (instance->pendingEnd == nullptr) return 0;
  return static_cast<size_t>(instance->pendingEnd - instance->pendingText);
}

void clear_pending(ModelInstance* instance) {
  instance->pendingEnd = instance->pendingText;
  instance->pendingText[0] = '\0';
}

void runtime_text(const char* text, int isLine) {
  ModelInstance* instance = current_instance;
  if (!instance) return;
  if (isLine) {
    fmi_log(instance, instance->instanceName, fmiOK, "", "%s", text);
  } else {
    // Not reached in this model: the runtime sends pieces of a line only from
    // info_message_format, which the model does not call.
    fmi_log_pending(instance, instance->instanceName, fmiOK, "", "%s", text);
  }
}

}  // namespace

void fmi_log_v(ModelInstance* instance, fmiString instanceName, fmiStatus status,
               fmiString category, const char* format, va_list args) {
  if (instance == nullptr || !fmi_log_passes(instance, status)) return;

  char text[FMI_LOG_BUFFER_SIZE];
  size_t used = pending_length(instance);
  if (used > FMI_PENDING_MAX_TEXT) used = FMI_PENDING_MAX_TEXT;
  memcpy(text, instance->pendingText, used);  // taken as it is, not as a format
  text[used] = '\0';
  format_into(text, used, format, args);

  send_escaped(instance->logger, instance, instanceName, status, category, text);
  clear_pending(instance);
}

void fmi_log(ModelInstance* instance, fmiString instanceName, fmiStatus status, fmiString category,
             const char* format, ...) {
  if (instance == nullptr || !fmi_log_passes(instance, status)) return;
  va_list args;
  va_start(args, format);
  fmi_log_v(instance, instanceName, status, category, format, args);
  va_end(args);
}

void fmi_log_host(fmiCallbackLogger logger, fmiString instanceName, fmiStatus status,
                  fmiString category, const char* format, ...) {
  if (logger == nullptr) return;
  char text[FMI_LOG_BUFFER_SIZE];
  va_list args;
  va_start(args, format);
  format_into(text, 0, format, args);
  va_end(args);
  send_escaped(logger, nullptr, instanceName, status, category, text);
}

// Not reached in this model: it collects the pieces of a line that
// runtime_text passes on, and the runtime sends none (see there).
void fmi_log_pending(ModelInstance* instance, fmiString instanceName, fmiStatus status,
                     fmiString category, const char* format, ...) {
  if (instance == nullptr) return;
  if (!instance->loggingOn && status < fmiError) return;
  if (instance->pendingEnd == nullptr) clear_pending(instance);

  // A piece longer than the whole room is cut there.
  char piece[FMI_PENDING_MAX_TEXT + 1];
  va_list args;
  va_start(args, format);
  const size_t length = format_cut(piece, sizeof piece, format, args);
  va_end(args);
  // Nothing collected is dropped: what cannot be continued goes out first.
  if (pending_length(instance) > 0 &&
      (length == 0 || pending_length(instance) + length > FMI_PENDING_MAX_TEXT)) {
    fmi_log(instance, instanceName, status, category, "%s", "");
    clear_pending(instance);  // what the filter passed has gone out
  }
  memcpy(instance->pendingEnd, piece, length);
  instance->pendingEnd += length;
  *instance->pendingEnd = '\0';
}

void route_runtime_texts_to_logger() { runtime_set_text_callback(runtime_text); }

size_t utf8_cut_length(const char* text, size_t limit) {
  const size_t length = strnlen(text, limit);
  if (length < limit || text[limit] == '\0') return length;  // nothing cut
  return whole_characters(text, length);
}

char* copy_instance_string(const ModelInstance* instance, fmiString text) {
  if (text == nullptr) text = "<NULL>";
  const size_t length = utf8_cut_length(text, INSTANCE_NAME_MAX);
  char* copy = static_cast<char*>(instance->allocateMemory(length + 1, 1));
  if (copy == nullptr) return nullptr;
  memcpy(copy, text, length);
  copy[length] = '\0';
  return copy;
}

fmiStatus fmiSetDebugLogging(fmiComponent c, fmiBoolean loggingOn) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return fmiError;
  instance->loggingOn = loggingOn;
  return fmiOK;
}

}  // namespace pelvarin
