// Text routines in the "C" locale, the printf-style reporting functions and
// the stream message path.
#include "source/c_locale_text.h"

#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>
#include <ctype.h>
#include <locale.h>
#include <strings.h>

#include "source/evaluation_driver.h"
#include "source/messages.h"
#include "source/runtime_state.h"

namespace pelvarin {

namespace {

// Created on first use and kept until the process ends; not retried when the
// creation fails (the routines then work in the process's locale).
locale_t c_locale_object = (locale_t)0;
int c_locale_first_use = 1;

locale_t c_locale() {
  if (c_locale_first_use) {
    c_locale_object = newlocale(LC_ALL_MASK, "C", (locale_t)0);
    c_locale_first_use = 0;
  }
  return c_locale_object;
}

// The standard library has no locale-taking printf or scanf: switch the
// calling thread's locale for the one call. The process locale is untouched.
locale_t enter_c_locale() {
  locale_t c = c_locale();
  return c ? uselocale(c) : (locale_t)0;
}

void leave_c_locale(locale_t previous) {
  if (previous) uselocale(previous);
}

// Not reached in this model: the character classes serve only the
// utilities' scanners.
// Character-class argument as the classification functions accept it: a
// plain char with the high bit set arrives negative.
int class_argument(int c) {
  if (c == EOF) return EOF;
  if (c < 0 && c >= CHAR_MIN) return (unsigned char)c;
  return c;
}

// Not reached in this model: the character classes serve only the
// utilities' scanners.
// One character class in the "C" locale (in_c_locale), or in the process's
// when there is none (in_process_locale). A value no classification function
// accepts is in no class.
int classify(int ch, int (*in_c_locale)(int, locale_t), int (*in_process_locale)(int)) {
  ch = class_argument(ch);
  if (ch > UCHAR_MAX || ch < EOF) return 0;
  locale_t c = c_locale();
  return c ? in_c_locale(ch, c) : in_process_locale(ch);
}

}  // namespace

int c_vsprintf(char* buffer, std::size_t size, const char* format, va_list args) {
  if (!buffer || size == 0) return -1;
  if (!format) {
    buffer[0] = '\0';
    return -1;
  }
  locale_t previous = enter_c_locale();
  int r = vsnprintf(buffer, size, format, args);
  leave_c_locale(previous);
  if (r < 0) {
    buffer[0] = '\0';
    return r;
  }
  return (std::size_t)r < size ? r : (int)(size - 1);
}

int c_sprintf(char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int r = c_vsprintf(buffer, size, format, args);
  va_end(args);
  return r;
}

// Not reached in this model: only the result writer's text format calls it,
// and the result file is binary.
int c_fprintf(FILE* stream, const char* format, ...) {
  if (!stream || !format) return -1;
  va_list args;
  va_start(args, format);
  locale_t previous = enter_c_locale();
  int r = vfprintf(stream, format, args);
  leave_c_locale(previous);
  va_end(args);
  return r;
}

// Not reached in this model: only the small services' shape code calls it.
std::int32_t c_atol(const char* text) {
  if (!text) return 0;
  locale_t c = c_locale();
  long v = c ? strtol_l(text, nullptr, 10, c) : std::strtol(text, nullptr, 10);
  // Out-of-range texts saturate rather than wrap.
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return (std::int32_t)v;
}

// Not reached in this model: nothing calls it.
int c_stricmp(const char* a, const char* b) {
  if (!a) a = "";
  if (!b) b = "";
  locale_t c = c_locale();
  return c ? strcasecmp_l(a, b, c) : strcasecmp(a, b);
}

// Not reached in this model: only the utilities' scanners call it.
int c_isalpha(int ch) { return classify(ch, isalpha_l, isalpha); }

// Not reached in this model: only the utilities' scanners call it.
int c_isdigit(int ch) { return classify(ch, isdigit_l, isdigit); }

// Not reached in this model: only the utilities' scanners call it.
int c_isspace(int ch) { return classify(ch, isspace_l, isspace); }

// Not reached in this model: only the utilities' scanners call it.
int c_scan_int(const char* text, std::int32_t* value) {
  if (!text) return EOF;
  while (c_isspace((unsigned char)*text)) ++text;
  if (*text == '\0') return EOF;
  // Read as " %d" reads, but a number beyond 32 bits stores nothing instead
  // of wrapping into another number.
  locale_t c = c_locale();
  char* end = nullptr;
  errno = 0;
  long v = c ? strtol_l(text, &end, 10, c) : std::strtol(text, &end, 10);
  if (end == text || errno == ERANGE || v > INT32_MAX || v < INT32_MIN) return 0;
  if (value) *value = (std::int32_t)v;
  return 1;
}

// Not reached in this model: only the utilities' scanners call it.
int c_scan_real(const char* text, double* value) {
  if (!text) return EOF;
  double v = 0.0;
  locale_t previous = enter_c_locale();
  int r = std::sscanf(text, " %lg", &v);
  leave_c_locale(previous);
  if (r == 1 && value) *value = v;
  return r;
}

// Not reached in this model: only the text-file and directory utilities call
// it.
void error_message_format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_vformat_error(format, args);
  va_end(args);
}

// Not reached in this model: nothing calls it.
void info_message_format(const char* format, ...) {
  va_list args;
  va_start(args, format);
  report_vformat_message(format, args);
  va_end(args);
}

// --- stream message path -------------------------------------------------
// Not reached in this model: all of the path, to the end of the file; nothing
// calls print_runtime_message or the functions below it.

namespace {

const char* message_prefix(const RuntimeContext* ctx) {
  return ctx->messagePrefix ? ctx->messagePrefix : "";
}

void write_prefix(FILE* stream, const char* prefix) {
  std::fputs(prefix, stream);
  std::fputs(" | ", stream);
}

}  // namespace

void output_message(int type, const char* text) {
  if (!text) text = "";
  RuntimeContext* ctx = active_runtime_context();
  if (ctx->messageCallback) ctx->messageCallback(type, text);
  FILE* stream = (type == MESSAGE_TYPE_WARNING || type == MESSAGE_TYPE_ERROR) ? ctx->errorStream
                                                                               : ctx->messageStream;
  if (!stream) return;
  if (ctx->prefixLines) {
    const char* prefix = message_prefix(ctx);
    write_prefix(stream, prefix);
    for (const char* p = text; *p; ++p) {
      std::fputc(*p, stream);
      if (*p == '\n' && p[1] != '\0') write_prefix(stream, prefix);
    }
    return;
  }
  std::fputs(text, stream);
  if (type == MESSAGE_TYPE_INFO) {
    if (stream != stdout) std::fputs(text, stdout);
  } else if (stream != stderr) {
    std::fputs(text, stderr);
  }
}

void emit_message(int type, const char* text) {
  const RuntimeContext* ctx = active_runtime_context();
  char banner[500];
  if (type == MESSAGE_TYPE_WARNING) {
    c_sprintf(banner, sizeof banner, "\n... Warning message from %s\n", message_prefix(ctx));
    output_message(type, banner);
  } else if (type == MESSAGE_TYPE_ERROR) {
    c_sprintf(banner, sizeof banner, "\n... Error message from %s\n", message_prefix(ctx));
    output_message(type, banner);
  }
  output_message(type, text);
  if (type != MESSAGE_TYPE_INFO) output_message(type, "\n");
}

void emit_message_n(const int* type, const char* text, int len) {
  enum { LINE_LIMIT = 998 };
  char line[1000];
  int n = len < LINE_LIMIT ? len : LINE_LIMIT;
  if (n < 0) n = 0;
  int k = 0;
  if (text) {
    for (; k < n && text[k] != '\0'; ++k) line[k] = text[k];
  }
  // A text shorter than len ends at its own terminator, before the line feed.
  for (; k < n; ++k) line[k] = '\0';
  line[n] = '\n';
  line[n + 1] = '\0';
  emit_message(type ? *type : MESSAGE_TYPE_INFO, line);
}

int write_message(const char* text, int len) {
  const int type = MESSAGE_TYPE_INFO;
  emit_message_n(&type, text, len);
  return 0;
}

void print_runtime_message(const char* text) {
  if (!text) text = "";
  RuntimeContext* ctx = active_runtime_context();
  if (ctx->messageCallback) {
    ctx->messageCallback(MESSAGE_TYPE_INFO, text);
    return;
  }
  std::size_t len = std::strlen(text);
  write_message(text, len > INT_MAX ? INT_MAX : (int)len);
}

}  // namespace pelvarin
