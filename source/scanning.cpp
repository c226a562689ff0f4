// Environment lookup and scanners for external calls.
#include "source/scanning.h"

#include <cassert>
#include <cstdlib>
#include <cstring>

#include "source/c_locale_text.h"
#include "source/matrixop.h"
#include "source/messages.h"

namespace pelvarin {

namespace {

// Numbers of this many characters or more are refused, not cut.
enum { SCAN_BUFFER_SIZE = 100 };

// Outside an evaluation a full simple-string area reports and returns; the
// caller still gets a text.
const char* new_string(const char* chars, int len) {
  char* s = alloc_empty_string(len);
  if (!s) return "";
  std::memcpy(s, chars, len);
  s[len] = '\0';
  return s;
}

// True when position names a character of the text or its terminator; reads
// nothing beyond the terminator.
bool position_in_text(const char* text, int position) {
  if (!text || position < 1) return false;
  const std::size_t before = (std::size_t)position - 1;
  return strnlen(text, before) == before;
}

char char_at(const char* text, int position) { return text[position - 1]; }

bool is_sign(char c) { return c == '+' || c == '-'; }

// Copies a number's characters into a terminated buffer for conversion.
// Needs 0 < len < SCAN_BUFFER_SIZE, the size of buffer.
void copy_number(char* buffer, const char* text, int position, int len) {
  assert(len > 0 && len < SCAN_BUFFER_SIZE);
  std::memcpy(buffer, text + position - 1, len);
  buffer[len] = '\0';
}

}  // namespace

void convert_to_slash(char* text) {
  if (!text) return;
  for (char* p = text; *p; ++p)
    if (*p == '\\') *p = '/';
}

void ModelicaInternal_getenv(const char* name, int convertSlashes, const char** value,
                             std::int32_t* found) {
  const char* v = name ? std::getenv(name) : nullptr;
  if (!v) {
    *value = new_string("", 0);
    *found = 0;
    return;
  }
  const std::size_t len = std::strlen(v);
  // A value beyond the area is refused by the area's own test.
  char* copy = alloc_empty_string(len < SIMPLESTRING_SIZE ? (int)len : SIMPLESTRING_SIZE);
  if (!copy) {
    *value = "";
    *found = 0;
    return;
  }
  std::memcpy(copy, v, len + 1);
  if (convertSlashes == 1) convert_to_slash(copy);
  *value = copy;
  *found = 1;
}

GetenvResult getenv_wrapper(const char* name, int convertSlashes) {
  FunctionStackEntry entry;
  function_stack_push(&entry, "ModelicaInternal_getenv");
  GetenvResult r;
  ModelicaInternal_getenv(name, convertSlashes, &r.value, &r.found);
  function_stack_pop(&entry);
  return r;
}

int skip_white_space(const char* text, int position) {
  if (!position_in_text(text, position)) return position;
  while (c_isspace((unsigned char)char_at(text, position))) ++position;
  return position;
}

int count_digits(const char* text, int position) {
  if (!position_in_text(text, position)) return 0;
  int n = 0;
  while (c_isdigit((unsigned char)char_at(text, position + n))) ++n;
  return n;
}

void scan_integer(const char* text, int start, int unsignedOnly, std::int32_t* nextPosition,
                  std::int32_t* value) {
  *nextPosition = start;
  *value = 0;
  if (!position_in_text(text, start)) return;
  const int t = skip_white_space(text, start);
  const int sign = is_sign(char_at(text, t)) ? 1 : 0;
  if (unsignedOnly && sign) return;
  const int n = count_digits(text, t + sign);
  if (n == 0 || sign + n >= SCAN_BUFFER_SIZE) return;
  // A real number is not an integer.
  const char after = char_at(text, t + sign + n);
  if (after == '.' || after == 'e' || after == 'E') return;
  char buffer[SCAN_BUFFER_SIZE];
  copy_number(buffer, text, t, sign + n);
  std::int32_t v = 0;
  if (c_scan_int(buffer, &v) != 1) return;
  *nextPosition = t + sign + n;
  *value = v;
}

void scan_real(const char* text, int start, int unsignedOnly, std::int32_t* nextPosition,
               double* value) {
  *nextPosition = start;
  *value = 0.0;
  if (!position_in_text(text, start)) return;
  const int t = skip_white_space(text, start);
  int len = 0;
  if (is_sign(char_at(text, t))) {
    if (unsignedOnly) return;
    len = 1;
  }
  len += count_digits(text, t + len);
  if (char_at(text, t + len) == '.') {
    len += 1;
    len += count_digits(text, t + len);
  }
  const char e = char_at(text, t + len);
  if (e == 'e' || e == 'E') {
    const int k = is_sign(char_at(text, t + len + 1)) ? 2 : 1;
    const int d = count_digits(text, t + len + k);
    if (d == 0) return;
    len += k + d;
  }
  if (len == 0 || len >= SCAN_BUFFER_SIZE) return;
  char buffer[SCAN_BUFFER_SIZE];
  copy_number(buffer, text, t, len);
  // Refuses what only looks like a number: a lone sign or point.
  double v = 0.0;
  if (c_scan_real(buffer, &v) != 1) return;
  *nextPosition = t + len;
  *value = v;
}

void scan_string(const char* text, int start, std::int32_t* nextPosition, const char** value) {
  *nextPosition = start;
  if (position_in_text(text, start)) {
    const int t = skip_white_space(text, start);
    if (char_at(text, t) == '"') {
      int i = t + 1;
      while (char_at(text, i) != '\0' && !(char_at(text, i) == '"' && char_at(text, i - 1) != '\\'))
        ++i;
      const int len = i - t - 1;
      // An empty literal counts as no string.
      if (char_at(text, i) == '"' && len > 0) {
        *value = new_string(text + t, len);
        *nextPosition = i + 1;
        return;
      }
    }
  }
  *value = new_string("", 0);
}

void scan_identifier(const char* text, int start, std::int32_t* nextPosition, const char** value) {
  *nextPosition = start;
  if (position_in_text(text, start)) {
    const int t = skip_white_space(text, start);
    if (c_isalpha((unsigned char)char_at(text, t))) {
      int len = 1;
      for (char c = char_at(text, t + len);
           c_isalpha((unsigned char)c) || c_isdigit((unsigned char)c) || c == '_';
           c = char_at(text, t + len))
        ++len;
      *value = new_string(text + t - 1, len);
      *nextPosition = t + len;
      return;
    }
  }
  *value = new_string("", 0);
}

ScanIntegerResult scan_integer_wrapper(const char* text, int start, int unsignedOnly) {
  ScanIntegerResult r;
  scan_integer(text, start, unsignedOnly, &r.nextPosition, &r.value);
  return r;
}

ScanRealResult scan_real_wrapper(const char* text, int start, int unsignedOnly) {
  ScanRealResult r;
  scan_real(text, start, unsignedOnly, &r.nextPosition, &r.value);
  return r;
}

ScanStringResult scan_string_wrapper(const char* text, int start) {
  ScanStringResult r;
  scan_string(text, start, &r.nextPosition, &r.value);
  return r;
}

ScanStringResult scan_identifier_wrapper(const char* text, int start) {
  ScanStringResult r;
  scan_identifier(text, start, &r.nextPosition, &r.value);
  return r;
}

}  // namespace pelvarin
