#include "result/row_writing.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "result/stream_platform.h"
#include "result/text_format.h"
#include "source/c_locale_text.h"

namespace pelvarin {

namespace {

const char AMAT_ROW_FAILED_MESSAGE[] =
    "Error when writing row %ld of matrix \"%.400s\" row-wise\nto file \"%.400s\": %.400s\n";
const char AMAT_ROW_WISE_FAILED_MESSAGE[] =
    "Error when writing matrix \"%.400s\" row-wise to file \"%.400s\":\n%.400s\n";
const char AMAT_UNKNOWN_FORMAT_MESSAGE[] =
    "Error should never occur when writing matrix \"%.400s\" to\nfile \"%.400s\" (file.format = %ld)\n";
const char AMAT_NO_ROW_MATRIX_MESSAGE[] =
    "Not possible to write matrix rows to file \"%.400s\":\n"
    "no matrix is being written row-wise (function amatPutRinit).\n";

// Ends the row-wise matrix: its name is released, and nothing more is
// appended to it.
void end_row_matrix(AmatPutFile* file) {
  free(file->rowName);
  file->rowName = nullptr;
}

bool flush(AmatPutFile* file) { return fflush(file->stream) == 0; }

// Writes the header (binary) or the dimension text (text) anew at headerPos
// and returns to the end. False, with errno, when any step failed.
bool rewrite_dimensions(AmatPutFile* file) {
  errno = 0;
  FILE* stream = file->stream;
  const long end = ftell(stream);
  bool ok = end >= 0 && fseek(stream, file->headerPos, SEEK_SET) == 0;
  if (file->format == AMAT_FORMAT_BINARY) {
    ok = ok && fwrite(file->header, sizeof file->header[0], AMAT_HEADER_WORDS, stream) == AMAT_HEADER_WORDS;
  } else {
    // Not reached in this model: result generation writes binary files only.
    char text[64];
    c_sprintf(text, sizeof text, "(%ld,%ld) ", static_cast<long>(file->rowsWritten),
              static_cast<long>(file->rowLength));
    ok = ok && fputs(text, stream) >= 0;
  }
  return ok && fseek(stream, end, SEEK_SET) == 0 && flush(file);
}

// A failed rewrite or end of the row-wise matrix, with errno's text, into
// amatMessage.
void report_row_wise_failure(const AmatPutFile* file) {
  amat_message(AMAT_ROW_WISE_FAILED_MESSAGE, file->rowName, amat_file_name(file), amat_error_text());
}

// Where the binary row-wise matrix ends by its header; false when that is
// past what a stream position holds.
bool binary_rows_end(const AmatPutFile* file, long* end) {
  const long elementSize = static_cast<long>(file->rowType == doubleMatrix ? sizeof(double) : sizeof(float));
  const long column = static_cast<long>(file->header[AMAT_HEADER_MROWS]) * elementSize;
  const long columns = file->header[AMAT_HEADER_NCOLS];
  const long namlen = file->header[AMAT_HEADER_NAMLEN];
  if (file->headerPos < 0 || file->headerPos > LONG_MAX - AMAT_HEADER_BYTES - namlen) return false;
  const long data = file->headerPos + AMAT_HEADER_BYTES + namlen;
  if (column > 0 && columns > (LONG_MAX - data) / column) return false;
  *end = data + column * columns;
  return true;
}

// After a failed write: the file ends where its header says the matrix ends,
// nothing behind that waits in the stream's buffer, and the stream stands at
// that end. errno stays that of the failure.
void keep_counted_rows(AmatPutFile* file) {
  const int failure = errno;
  stream_drop_unwritten(file->stream);
  long end = 0;
  if (binary_rows_end(file, &end)) {
    stream_cut_file(file->stream, end);
    fseek(file->stream, end, SEEK_SET);
  }
  errno = failure;
}

// The binary start of the row-wise matrix: its header, with no columns yet,
// and its name at the stream's position, which headerPos keeps; flushed.
// False, with errno, when a step failed.
bool start_binary(AmatPutFile* file) {
  errno = 0;
  file->headerPos = ftell(file->stream);
  const std::int32_t code = file->rowType == doubleMatrix ? AMAT_TYPE_CODE_DOUBLE : AMAT_TYPE_CODE_REAL;
  return file->headerPos >= 0 && amat_put_header(file, code, file->rowLength, 0, file->rowName) &&
         flush(file);
}

// Not reached in this model: result generation writes binary files only.
// The text start of the row-wise matrix: the type word, the name and
// " (0,<rowLength>)" with room behind it; headerPos keeps where the
// dimension text begins. Flushed. False, with errno, when a step failed.
bool start_text(AmatPutFile* file) {
  errno = 0;
  bool ok = fputs(file->rowType == doubleMatrix ? "double " : "float ", file->stream) >= 0 &&
            fputs(file->rowName, file->stream) >= 0;
  file->headerPos = ok ? ftell(file->stream) : -1;
  // The blanks leave room for the dimension text to grow.
  return ok && file->headerPos >= 0 &&
         c_fprintf(file->stream, " (0,%ld)                             \n", static_cast<long>(file->rowLength)) >= 0 &&
         flush(file);
}

// Not reached in this model: result generation writes binary files only.
// One row of rowLength values in the text format, AMAT_TEXT_REALS_PER_LINE
// to a line, and the line break. False, with errno, when a write failed.
bool put_text_row(AmatPutFile* file, const void* row) {
  bool ok = true;
  for (std::int32_t i = 0; ok && i < file->rowLength; ++i) {
    const double v = file->rowType == doubleMatrix ? static_cast<const double*>(row)[i]
                                                   : static_cast<const float*>(row)[i];
    ok = c_fprintf(file->stream, " %14.7E", v) >= 0;
    if (ok && (i + 1) % AMAT_TEXT_REALS_PER_LINE == 0 && i + 1 < file->rowLength)
      ok = fputs("\n    ", file->stream) >= 0;
  }
  return ok && fputs("\n", file->stream) >= 0;
}

}  // namespace

int amatPutRinit(AmatPutFile* file, const char* name, int ncol, AmatType type) {
  // Not reached in this model: result generation passes its own file and
  // the name "data_2".
  if (file == nullptr || name == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  if (file->stream == nullptr) {
    amat_message("Not possible to write matrix \"%.400s\" row-wise: the file is not open.\n", name);
    return amatError;
  }
  // Not reached in this model: result generation always names its file.
  if (!file->openedByPath) {
    amat_message(
        "Not possible to use functions amatPutRxxx, in order to write\n"
        "matrix \"%.400s\" row-wise, because output stream is no file, but stdout.\n",
        name);
    return amatError;
  }
  AmatType rowType = type;
  // Not reached in this model: result generation starts "data_2", a
  // realMatrix.
  if (type == realRowMatrix) rowType = realMatrix;
  if (type == doubleRowMatrix) rowType = doubleMatrix;
  // Not reached in this model: result generation starts "data_2", a
  // realMatrix.
  if (rowType != realMatrix && rowType != doubleMatrix) {
    amat_message(
        "Wrong argument \"type\" (= %ld) in function amatPutRinit,\n"
        "when initializing writing of matrix \"%.400s\" to file \"%.400s\".\n"
        "(type = realMatrix or doubleMatrix required).\n",
        static_cast<long>(type), name, amat_file_name(file));
    return amatError;
  }
  // Not reached in this model: result generation opens its file with
  // binTrans.
  if (file->bstruct != binTrans) {
    amat_message(
        "In order to write matrix \"%.400s\" row-wise to file \"%.400s\",\n"
        "the file has to be opened with \"bstruct = binTrans\" and not\n"
        "with \"bstruct = binNormal\" (function amatPutOpen).\n",
        name, amat_file_name(file));
    return amatError;
  }
  if (file->rowName != nullptr) {
    amat_message(
        "Not possible to write matrix \"%.400s\" row-wise to file \"%.400s\":\n"
        "matrix \"%.400s\" is still being written row-wise.\n",
        name, amat_file_name(file), file->rowName);
    return amatError;
  }
  if (ncol < 0) {
    amat_message(
        "Wrong argument \"ncol\" (= %ld) in function amatPutRinit,\n"
        "when initializing writing of matrix \"%.400s\" to file \"%.400s\".\n"
        "(ncol >= 0 required).\n",
        static_cast<long>(ncol), name, amat_file_name(file));
    return amatError;
  }
  file->rowName = amat_copy_text(name);
  if (file->rowName == nullptr) {
    amat_message(
        "Not possible to allocate enough storage in order to open\n"
        "file \"%.400s\" for writing of matrix \"%.400s\":\n%.400s\n",
        amat_file_name(file), name, amat_error_text());
    return amatError;
  }
  file->rowLength = ncol;
  file->rowType = rowType;
  file->rowsWritten = 0;
  bool started = false;
  if (file->format == AMAT_FORMAT_TEXT) {
    // Not reached in this model: result generation writes binary files only.
    started = start_text(file);
  } else if (file->format == AMAT_FORMAT_BINARY) {
    started = start_binary(file);
  } else {
    // Not reached in this model: amatPutOpen takes formats 0 and 1 only.
    amat_message(AMAT_UNKNOWN_FORMAT_MESSAGE, name, amat_file_name(file), static_cast<long>(file->format));
    end_row_matrix(file);
    return amatError;
  }
  if (!started) {
    amat_message(AMAT_ROW_WISE_FAILED_MESSAGE, name, amat_file_name(file), amat_error_text());
    end_row_matrix(file);
    return amatError;
  }
  return amatOk;
}

int amatPutRrow(AmatPutFile* file, const void* row) {
  // Not reached in this model: result generation passes its own file.
  if (file == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  if (file->stream == nullptr || file->rowName == nullptr) {
    amat_message(AMAT_NO_ROW_MATRIX_MESSAGE, amat_file_name(file));
    return amatError;
  }
  if (row == nullptr && file->rowLength > 0) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  // Not reached in this model: amatPutOpen takes formats 0 and 1 only.
  if (file->format != AMAT_FORMAT_TEXT && file->format != AMAT_FORMAT_BINARY) {
    amat_message(AMAT_UNKNOWN_FORMAT_MESSAGE, file->rowName, amat_file_name(file), static_cast<long>(file->format));
    return amatError;
  }
  const bool binary = file->format == AMAT_FORMAT_BINARY;
  const long rows = binary ? file->header[AMAT_HEADER_NCOLS] : file->rowsWritten;
  if (rows == AMAT_COUNT_MAX) {
    amat_message(AMAT_ROW_FAILED_MESSAGE, rows + 1, file->rowName, amat_file_name(file), "too many rows");
    return amatError;
  }
  errno = 0;
  bool ok;
  if (binary) {
    const size_t size = file->rowType == doubleMatrix ? sizeof(double) : sizeof(float);
    const size_t count = static_cast<size_t>(file->header[AMAT_HEADER_MROWS]);
    ok = (count == 0 || fwrite(row, size, count, file->stream) == count) && flush(file);
  } else {
    // Not reached in this model: result generation writes binary files only.
    ok = put_text_row(file, row) && flush(file);
  }
  if (!ok) {
    amat_message(AMAT_ROW_FAILED_MESSAGE, rows + 1, file->rowName, amat_file_name(file), amat_error_text());
    // A part of the row may have reached the file.
    if (binary) keep_counted_rows(file);
    end_row_matrix(file);
    return amatError;
  }
  // The row is on disk; only now may the header count it.
  if (binary) {
    file->header[AMAT_HEADER_NCOLS] += 1;
  } else {
    // Not reached in this model: result generation writes binary files only.
    file->rowsWritten += 1;
  }
  if (!rewrite_dimensions(file)) {
    report_row_wise_failure(file);
    if (binary) {
      // The header on disk may still count only the rows before this one:
      // the row is cut off again, and the header is written once more with
      // that count.
      file->header[AMAT_HEADER_NCOLS] -= 1;
      keep_counted_rows(file);
      if (!rewrite_dimensions(file)) keep_counted_rows(file);
    }
    end_row_matrix(file);
    return amatError;
  }
  return amatOk;
}

int amatPutRclose(AmatPutFile* file) {
  // Not reached in this model: result generation ends the row-wise matrix
  // of an open file only.
  if (file == nullptr || file->stream == nullptr) return amatOk;
  if (file->rowName == nullptr) {
    amat_message(AMAT_NO_ROW_MATRIX_MESSAGE, amat_file_name(file));
    return amatError;
  }
  bool ok;
  if (file->format == AMAT_FORMAT_BINARY) {
    ok = rewrite_dimensions(file);
    if (!ok) report_row_wise_failure(file);
  } else if (file->format == AMAT_FORMAT_TEXT) {
    // Not reached in this model: result generation writes binary files only.
    errno = 0;
    ok = fputs("\n", file->stream) >= 0 && rewrite_dimensions(file);
    if (!ok) report_row_wise_failure(file);
  } else {
    // Not reached in this model: amatPutOpen takes formats 0 and 1 only.
    amat_message(AMAT_UNKNOWN_FORMAT_MESSAGE, file->rowName, amat_file_name(file), static_cast<long>(file->format));
    ok = false;
  }
  end_row_matrix(file);
  return ok ? amatOk : amatError;
}

}  // namespace pelvarin
