// Not reached in this model: result generation writes binary files only.
#include "result/text_format.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "source/c_locale_text.h"

namespace pelvarin {

namespace {

// Values per line of an integer row.
enum { AMAT_TEXT_INTEGERS_PER_LINE = 7 };
// A row of doubles is broken once its line holds more characters.
enum { AMAT_TEXT_LINE_LIMIT = 70 };
// Integral values up to this size are written in the short integer field.
constexpr double AMAT_TEXT_SHORT_INTEGRAL_MAX = 100000.0;
// A column of doubles is written as integers when all its values are
// integral and below this size.
constexpr double AMAT_TEXT_INTEGER_COLUMN_LIMIT = 1e7;

// Text going to the file; the first failure sticks. count is the number of
// characters on the current line.
struct Out {
  FILE* stream;
  bool ok;
  long count;
};

// Writes text and keeps the count of the current line; nothing after a
// failure.
void emit(Out& o, const char* text) {
  if (!o.ok) return;
  o.ok = fputs(text, o.stream) >= 0;
  const char* line = strrchr(text, '\n');
  o.count = line != nullptr ? static_cast<long>(strlen(line + 1)) : o.count + static_cast<long>(strlen(text));
}

// emit of a formatted text, in the "C" locale; fields are short enough for
// the buffer.
void emitf(Out& o, const char* format, ...) __attribute__((format(printf, 2, 3)));
void emitf(Out& o, const char* format, ...) {
  char text[128];
  va_list args;
  va_start(args, format);
  c_vsprintf(text, sizeof text, format, args);
  va_end(args);
  emit(o, text);
}

// The checks and the lines before the rows (comment, header line with
// shownCols as the width). Returns amatOk with o ready for the rows, or the
// writers' status for a refusal, with nothing written.
int begin(AmatPutFile* file, const AmatMatrix& m, const char* comment, const char* word, long shownCols,
          Out* o) {
  if (file == nullptr || m.name == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  // Bounded as a matrix of the widest elements.
  if (!amat_dimensions_fit(m.nrow, m.ncol, sizeof(double))) {
    amat_message(AMAT_BAD_DIMENSIONS_MESSAGE, m.name, static_cast<long>(m.nrow), static_cast<long>(m.ncol),
                 amat_file_name(file));
    return amatError;
  }
  if (amat_data_missing(m.type, m.nrow, m.ncol, m.data)) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  *o = Out{file->stream, true, 0};
  if (comment != nullptr && comment[0] != '\0') {
    emit(*o, comment);
    emit(*o, "\n");
  }
  emit(*o, word);
  emit(*o, " ");
  emit(*o, m.name);
  emitf(*o, "(%ld,%ld)\n", static_cast<long>(m.nrow), shownCols);
  return amatOk;
}

// The empty line after the rows. Returns amatOk, or amatError with the
// message when any write failed.
int finish(AmatPutFile* file, const AmatMatrix& m, Out& o) {
  emit(o, "\n");
  if (o.ok) return amatOk;
  amat_message(AMAT_WRITE_FAILED_MESSAGE, m.name, static_cast<long>(m.nrow), static_cast<long>(m.ncol),
               amat_file_name(file), amat_error_text());
  return amatError;
}

// The end of row r: its comment, when there are row comments, and the line
// break.
void end_row(Out& o, const char* const* rowComments, long r, int indent) {
  if (rowComments != nullptr) {
    if (indent > 0) {
      for (int i = 1; i < indent; ++i) emit(o, " ");
      emit(o, "# ");
    }
    emit(o, rowComments[r] != nullptr ? rowComments[r] : "");
  }
  emit(o, "\n");
}

// Element (r, c) of a real or double matrix, contiguous or by rows.
double real_element(const AmatMatrix& m, long r, long c) {
  switch (m.type) {
    case realMatrix: return static_cast<const float*>(m.data)[r + c * m.nrow];
    case doubleMatrix: return static_cast<const double*>(m.data)[r + c * m.nrow];
    case realRowMatrix: return static_cast<const float* const*>(m.data)[r][c];
    default: return static_cast<const double* const*>(m.data)[r][c];
  }
}

// Infinities become the largest finite value; NaN stays.
double limited(double v, double bound) { return v >= bound ? bound : (v <= -bound ? -bound : v); }

// Whether v takes the short integer field: integral and within
// AMAT_TEXT_SHORT_INTEGRAL_MAX either way.
bool small_integral(double v) {
  return v == std::trunc(v) && v >= -AMAT_TEXT_SHORT_INTEGRAL_MAX && v <= AMAT_TEXT_SHORT_INTEGRAL_MAX;
}

// The decimal digits of v; 1 for 0. Needs: v >= 0.
int decimal_digits(long long v) {
  int digits = 1;
  while (v >= 10) {
    v /= 10;
    ++digits;
  }
  return digits;
}

}  // namespace

int amatPutTextInt(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                   const char* const* rowComments, int indent) {
  Out o;
  int status = begin(file, m, comment, "int", m.ncol, &o);
  if (status != amatOk) return status;
  const std::int32_t* data = static_cast<const std::int32_t*>(m.data);
  const long count = static_cast<long>(m.nrow) * m.ncol;
  long long largest = 0;
  bool negative = false;
  for (long i = 0; i < count; ++i) {
    largest = std::max(largest, std::llabs(static_cast<long long>(data[i])));
    negative = negative || data[i] < 0;
  }
  const int width = decimal_digits(largest) + (negative ? 1 : 0);
  for (long r = 0; r < m.nrow; ++r) {
    for (long c = 0; c < m.ncol; ++c) {
      emitf(o, " %*ld", width, static_cast<long>(data[r + c * m.nrow]));
      if ((c + 1) % AMAT_TEXT_INTEGERS_PER_LINE == 0 && c + 1 < m.ncol) emit(o, "\n    ");
    }
    end_row(o, rowComments, r, indent);
  }
  return finish(file, m, o);
}

namespace {

// Real matrices, contiguous or by rows (m.type tells the layout): each value
// limited to the float range, in the short integer field or as " %14.7E".
// Returns as the text writers.
int put_text_reals(AmatPutFile* file, const AmatMatrix& m, const char* comment, const char* const* rowComments,
                   int indent) {
  Out o;
  int status = begin(file, m, comment, "float", m.ncol, &o);
  if (status != amatOk) return status;
  for (long r = 0; r < m.nrow; ++r) {
    for (long c = 0; c < m.ncol; ++c) {
      const double v = limited(real_element(m, r, c), FLT_MAX);
      if (small_integral(v)) {
        emitf(o, " %7ld       ", static_cast<long>(v));
      } else {
        emitf(o, " %14.7E", v);
      }
      if ((c + 1) % AMAT_TEXT_REALS_PER_LINE == 0 && c + 1 < m.ncol) emit(o, "\n    ");
    }
    end_row(o, rowComments, r, indent);
  }
  return finish(file, m, o);
}

// Double matrices, contiguous or by rows (m.type tells the layout): a column
// of integral values below AMAT_TEXT_INTEGER_COLUMN_LIMIT as integers of the
// column's width, any other value in the short integer field or as
// " %23.16E"; a line is broken after AMAT_TEXT_LINE_LIMIT characters.
// Returns as the text writers; amatError also when the widths cannot be
// allocated.
int put_text_doubles(AmatPutFile* file, const AmatMatrix& m, const char* comment, const char* const* rowComments,
                     int indent) {
  Out o;
  int status = begin(file, m, comment, "double", m.ncol, &o);
  if (status != amatOk) return status;
  int* widths = nullptr;
  if (m.ncol > 0) {
    widths = static_cast<int*>(calloc(static_cast<size_t>(m.ncol), sizeof(int)));
    if (widths == nullptr) {
      amat_message(AMAT_WRITE_FAILED_MESSAGE, m.name, static_cast<long>(m.nrow), static_cast<long>(m.ncol),
                   amat_file_name(file), "not enough memory\n");
      return amatError;
    }
  }
  // A column of integral values below 10^7 is written as integers of one width.
  for (long c = 0; c < m.ncol; ++c) {
    for (long r = 0; r < m.nrow; ++r) {
      const double v = real_element(m, r, c);
      if (!(v == std::trunc(v)) || std::fabs(v) >= AMAT_TEXT_INTEGER_COLUMN_LIMIT) {
        widths[c] = 0;
        break;
      }
      widths[c] = std::max(widths[c], decimal_digits(static_cast<long long>(std::fabs(v))));
    }
  }
  for (long r = 0; r < m.nrow; ++r) {
    o.count = 0;
    for (long c = 0; c < m.ncol; ++c) {
      const double v = limited(real_element(m, r, c), DBL_MAX);
      if (widths[c] > 0) {
        emitf(o, " %*ld", widths[c] + 1, static_cast<long>(v));
      } else if (small_integral(v)) {
        emitf(o, " %7ld                ", static_cast<long>(v));
      } else {
        emitf(o, " %23.16E", v);
      }
      if (o.count > AMAT_TEXT_LINE_LIMIT && c + 1 < m.ncol) {
        emit(o, "\n");
        o.count = 0;
      }
    }
    end_row(o, rowComments, r, indent);
  }
  free(widths);
  return finish(file, m, o);
}

}  // namespace

int amatPutTextReal(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                    const char* const* rowComments, int indent) {
  return put_text_reals(file, m, comment, rowComments, indent);
}

int amatPutTextRealRow(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                       const char* const* rowComments, int indent) {
  return put_text_reals(file, m, comment, rowComments, indent);
}

int amatPutTextDouble(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                      const char* const* rowComments, int indent) {
  return put_text_doubles(file, m, comment, rowComments, indent);
}

int amatPutTextDoubleRow(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                         const char* const* rowComments, int indent) {
  return put_text_doubles(file, m, comment, rowComments, indent);
}

int amatPutTextChar(AmatPutFile* file, const AmatMatrix& m, const char* comment) {
  const char* const* texts = static_cast<const char* const*>(m.data);
  long width = m.ncol;
  if (m.nrow == 0 || m.ncol == 0) {
    size_t longest = 0;
    for (long r = 0; texts != nullptr && r < m.nrow; ++r)
      if (texts[r] != nullptr) longest = std::max(longest, strlen(texts[r]));
    width = static_cast<long>(longest);
  }
  Out o;
  int status = begin(file, m, comment, "char", width, &o);
  if (status != amatOk) return status;
  for (long r = 0; texts != nullptr && r < m.nrow; ++r) {
    emit(o, texts[r] != nullptr ? texts[r] : "");
    emit(o, "\n");
  }
  return finish(file, m, o);
}

}  // namespace pelvarin
