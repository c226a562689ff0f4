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

std::int32_t c_atol(const char* text);
int c_stricmp(const char* a, const char* b);
int c_isalpha(int c);
int c_isdigit(int c);
int c_isspace(int c);
int c_scan_int(const char* text, std::int32_t* value);
int c_scan_real(const char* text, double* value);

// Formats into buffer, which holds size bytes; a longer result is cut and
// always terminated. Returns the number of characters stored, negative when
// the format cannot be applied.
int c_sprintf(char* buffer, std::size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
int c_vsprintf(char* buffer, std::size_t size, const char* format, va_list args)
    __attribute__((format(printf, 3, 0)));
int c_fprintf(FILE* stream, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Message types of the stream message path.
enum { MESSAGE_TYPE_INFO = 0, MESSAGE_TYPE_WARNING = 1, MESSAGE_TYPE_ERROR = 2 };

void print_runtime_message(const char* text);
int write_message(const char* text, int len);
void emit_message_n(const int* type, const char* text, int len);
void emit_message(int type, const char* text);
void output_message(int type, const char* text);

}  // namespace pelvarin
