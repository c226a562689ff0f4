// Utility functions for external calls: the environment lookup and the
// scanners of integers, reals, quoted strings and identifiers. Texts they
// return are new simple strings, valid until the work areas are reset.
// Not reached in this model: utilities for the external functions of
// generated models, and this model calls none.
#pragma once

#include <cstdint>

namespace pelvarin {

struct GetenvResult {
  const char* value;
  std::int32_t found;  // 1 found, 0 not found
};
struct ScanIntegerResult {
  std::int32_t nextPosition;
  std::int32_t value;
};
struct ScanRealResult {
  std::int32_t nextPosition;
  double value;
};
struct ScanStringResult {
  std::int32_t nextPosition;
  const char* value;
};

// With slash switch 1 every backslash of the value becomes a slash.
void ModelicaInternal_getenv(const char* name, int convertSlashes, const char** value,
                             std::int32_t* found);
GetenvResult getenv_wrapper(const char* name, int convertSlashes);
void convert_to_slash(char* text);

// Positions are 1-based. On success the next position follows the token; on
// failure it is the start position and the value 0, 0.0 or an empty string.
// A start outside the text (below 1, or beyond the position of its
// terminator) fails without reading the text.
void scan_integer(const char* text, int start, int unsignedOnly, std::int32_t* nextPosition,
                  std::int32_t* value);
void scan_real(const char* text, int start, int unsignedOnly, std::int32_t* nextPosition,
               double* value);
void scan_string(const char* text, int start, std::int32_t* nextPosition, const char** value);
void scan_identifier(const char* text, int start, std::int32_t* nextPosition, const char** value);

ScanIntegerResult scan_integer_wrapper(const char* text, int start, int unsignedOnly);
ScanRealResult scan_real_wrapper(const char* text, int start, int unsignedOnly);
ScanStringResult scan_string_wrapper(const char* text, int start);
ScanStringResult scan_identifier_wrapper(const char* text, int start);

// The first position at or after the given one that is not white space (the
// terminator is not); the number of decimal digits starting at a position.
// Both answer for a position outside the text as for the terminator.
int skip_white_space(const char* text, int position);
int count_digits(const char* text, int position);

}  // namespace pelvarin
