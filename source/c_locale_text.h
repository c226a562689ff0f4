// Text routines that work in the "C" locale whatever locale the host has set,
// the printf-style reporting functions, and the stream message path.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace pelvarin {

// Format and raise as a model error (returns only outside an evaluation), or
// hand on as a piece of a message line. Texts are cut at 3999 characters.
void error_message_format(const char* format, ...)
    __attribute__((format(printf, 1, 2)));
void info_message_format(const char* format, ...) __attribute__((format(printf, 1, 2)));

// As the standard functions do in the "C" locale, NULL read as ""; c_atol
// saturates at the 32-bit limits.
std::int32_t c_atol(const char* text);
int c_stricmp(const char* a, const char* b);
int c_isalpha(int c);
int c_isdigit(int c);
int c_isspace(int c);
// As sscanf(text, " %d") and " %lg": 1 when a number was read (stored
// through value unless it is NULL), 0 when none, EOF for an empty text. A
// number beyond 32 bits reads as none. EOF also for NULL and blanks only.
int c_scan_int(const char* text, std::int32_t* value);
int c_scan_real(const char* text, double* value);

// Formats into buffer, which holds size bytes; a longer result is cut and
// always terminated. Returns the number of characters stored, negative when
// the format cannot be applied.
int c_sprintf(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int c_vsprintf(char* buffer, std::size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));
// -1 for a NULL stream or format, else what fprintf returns.
int c_fprintf(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Message types of the stream message path.
enum { MESSAGE_TYPE_INFO = 0, MESSAGE_TYPE_WARNING = 1, MESSAGE_TYPE_ERROR = 2 };

// The stream message path: a text to the context's message callback and to
// its stream for the type (errors and warnings to the error stream), each
// line prefixed when the context asks for it; unprefixed texts also go to
// stdout (info) or stderr, unless that is the stream already.
void output_message(int type, const char* text);
// The same after a banner for warnings and errors, which end with a line feed.
void emit_message(int type, const char* text);
// The first len characters of text (at most 998) as one line of type *type
// (info when NULL).
void emit_message_n(const int* type, const char* text, int len);
// The same as info; returns 0.
int write_message(const char* text, int len);
// Text to the message callback when the context has one, else as info.
void print_runtime_message(const char* text);

}  // namespace pelvarin
