#include "result/matrix_writer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cstring>

#include "result/text_format.h"
#include "source/c_locale_text.h"

namespace pelvarin {

// The binary layout is little-endian; the writer stores memory as it is.
#if __BYTE_ORDER__ != __ORDER_LITTLE_ENDIAN__
#error "the MAT writer needs a little-endian platform"
#endif

char amatMessage[AMAT_MESSAGE_SIZE] = "No message.";

namespace {

// Fills the columns of the shorter texts of a text matrix.
const char AMAT_PAD_CHARACTER = ' ';

// Type code, element size and whether data holds row pointers.
struct BinaryKind {
  std::int32_t code;
  long size;
  bool rows;
};

// The type code, element size and layout of a numeric type; a doubleMatrix
// for any other. Needs: a numeric type.
BinaryKind binary_kind(AmatType type) {
  switch (type) {
    case integerMatrix: return {AMAT_TYPE_CODE_INTEGER, sizeof(std::int32_t), false};
    case realMatrix: return {AMAT_TYPE_CODE_REAL, sizeof(float), false};
    // Not reached in this model: result generation writes no row-pointer or
    // double matrix.
    case realRowMatrix: return {AMAT_TYPE_CODE_REAL, sizeof(float), true};
    case doubleRowMatrix: return {AMAT_TYPE_CODE_DOUBLE, sizeof(double), true};
    default: return {AMAT_TYPE_CODE_DOUBLE, sizeof(double), false};
  }
}

// count items of size bytes; true when all of them were written, and for
// none.
bool put(AmatPutFile* file, const void* data, size_t size, size_t count) {
  return count == 0 || fwrite(data, size, count, file->stream) == count;
}

// Whether namlen, the name's length with its NUL, fits a header word.
bool name_fits(const char* name) { return strlen(name) < AMAT_COUNT_MAX; }

// The binary writer of integer, real and double matrices, contiguous or as
// row pointers: header, name and the elements in the file's storage form
// (each row of the matrix as a stored column for binTrans). Returns amatOk;
// amatNullPointer for a NULL file or name, or no data for the elements the
// sizes announce; amatError, with the message, for dimensions or a name that
// a header cannot hold (nothing written) or a short write (what was written
// stays).
int put_binary_numeric(AmatPutFile* file, const char* name, long nrow, long ncol, const void* data,
                       AmatType type) {
  // Not reached in this model: result generation passes its own file and
  // named matrices.
  if (file == nullptr || name == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  const BinaryKind kind = binary_kind(type);
  if (!amat_dimensions_fit(nrow, ncol, kind.size) || !name_fits(name)) {
    amat_message(AMAT_BAD_DIMENSIONS_MESSAGE, name, nrow, ncol, amat_file_name(file));
    return amatError;
  }
  if (amat_data_missing(type, nrow, ncol, data)) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  const bool normal = file->bstruct != binTrans;
  const std::int32_t rows32 = static_cast<std::int32_t>(nrow), cols32 = static_cast<std::int32_t>(ncol);
  bool ok = amat_put_header(file, kind.code, normal ? rows32 : cols32, normal ? cols32 : rows32, name);
  const size_t size = static_cast<size_t>(kind.size);
  if (!kind.rows) {
    const char* elements = static_cast<const char*>(data);
    if (normal) {
      // Not reached in this model: result generation writes its numeric
      // matrices into a file opened with binTrans.
      ok = ok && put(file, elements, size, static_cast<size_t>(nrow * ncol));
    } else {
      for (long r = 0; ok && r < nrow; ++r)
        for (long c = 0; ok && c < ncol; ++c) ok = put(file, elements + (r + c * nrow) * kind.size, size, 1);
    }
  } else {
    // Not reached in this model: result generation writes no row-pointer matrix.
    const char* const* rows = static_cast<const char* const*>(data);
    if (normal) {
      for (long c = 0; ok && c < ncol; ++c)
        for (long r = 0; ok && r < nrow; ++r) ok = put(file, rows[r] + c * kind.size, size, 1);
    } else {
      for (long r = 0; ok && r < nrow; ++r) ok = put(file, rows[r], size, static_cast<size_t>(ncol));
    }
  }
  if (!ok) {
    amat_message(AMAT_WRITE_FAILED_MESSAGE, name, nrow, ncol, amat_file_name(file), amat_error_text());
    return amatError;
  }
  return amatOk;
}

// The binary writers, one per element type: put_binary_numeric for it.
int amatPutBinInt(AmatPutFile* file, const char* name, int nrow, int ncol, const void* data) {
  return put_binary_numeric(file, name, nrow, ncol, data, integerMatrix);
}
int amatPutBinReal(AmatPutFile* file, const char* name, int nrow, int ncol, const void* data) {
  return put_binary_numeric(file, name, nrow, ncol, data, realMatrix);
}
// Not reached in this model: result generation writes no double matrix.
int amatPutBinDouble(AmatPutFile* file, const char* name, int nrow, int ncol, const void* data) {
  return put_binary_numeric(file, name, nrow, ncol, data, doubleMatrix);
}
// Not reached in this model: result generation writes no row-pointer matrix.
int amatPutBinRealRow(AmatPutFile* file, const char* name, int nrow, int ncol, const void* data) {
  return put_binary_numeric(file, name, nrow, ncol, data, realRowMatrix);
}
// Not reached in this model: result generation writes no row-pointer matrix.
int amatPutBinDoubleRow(AmatPutFile* file, const char* name, int nrow, int ncol, const void* data) {
  return put_binary_numeric(file, name, nrow, ncol, data, doubleRowMatrix);
}

// The length of text r; 0 for no texts or a NULL text.
size_t text_length(const char* const* texts, long r) {
  return (texts == nullptr || texts[r] == nullptr) ? 0 : strlen(texts[r]);
}

// The binary writer of a charMatrix: the nrow texts as an nrow x W matrix of
// characters, W the longest text's length (a NULL text counts as empty),
// transposed for binTrans; a shorter text ends in one NUL and pad
// characters, or in pad characters alone when transposed. ncol serves only
// the messages (0 for no rows). Returns as put_binary_numeric.
int amatPutBinChar(AmatPutFile* file, const char* name, int nrow, int ncol, const void* data, char pad) {
  // Not reached in this model: result generation passes its own file and
  // named matrices.
  if (file == nullptr || name == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  const long rows = nrow;
  const long shownCols = rows == 0 ? 0 : ncol;
  const char* const* texts = static_cast<const char* const*>(data);
  size_t width = 0;
  for (long r = 0; r < rows; ++r) width = std::max(width, text_length(texts, r));
  if (!amat_dimensions_fit(rows, static_cast<long>(width), 1) || !name_fits(name)) {
    amat_message(AMAT_BAD_DIMENSIONS_MESSAGE, name, rows, shownCols, amat_file_name(file));
    return amatError;
  }
  const std::int32_t w = static_cast<std::int32_t>(width);
  const bool normal = file->bstruct != binTrans;
  bool ok = amat_put_header(file, AMAT_TYPE_CODE_TEXT, normal ? nrow : w, normal ? w : nrow, name);
  if (normal) {
    // Column j of the stored matrix: character j of every text.
    for (size_t j = 0; ok && j < width; ++j) {
      for (long r = 0; ok && r < rows; ++r) {
        const char* text = texts == nullptr ? nullptr : texts[r];
        const size_t known = text == nullptr ? 0 : strnlen(text, j + 1);
        const char ch = known > j ? text[j] : (known == j ? '\0' : pad);
        ok = put(file, &ch, 1, 1);
      }
    }
  } else {
    for (long r = 0; ok && r < rows; ++r) {
      const size_t length = text_length(texts, r);
      ok = put(file, length == 0 ? "" : texts[r], 1, length);
      for (size_t j = length; ok && j < width; ++j) ok = put(file, &pad, 1, 1);
    }
  }
  if (!ok) {
    amat_message(AMAT_WRITE_FAILED_MESSAGE, name, rows, shownCols, amat_file_name(file), amat_error_text());
    return amatError;
  }
  return amatOk;
}

// Not reached in this model: result generation writes binary files only.
// The text writer of the matrix's type. Needs: a type of AmatType other than
// voidMatrix.
int put_text(AmatPutFile* file, const AmatMatrix& m, const char* comment, const char* const* rowComments,
             int indent) {
  switch (m.type) {
    case integerMatrix: return amatPutTextInt(file, m, comment, rowComments, indent);
    case realMatrix: return amatPutTextReal(file, m, comment, rowComments, indent);
    case realRowMatrix: return amatPutTextRealRow(file, m, comment, rowComments, indent);
    case doubleMatrix: return amatPutTextDouble(file, m, comment, rowComments, indent);
    case doubleRowMatrix: return amatPutTextDoubleRow(file, m, comment, rowComments, indent);
    default: return amatPutTextChar(file, m, comment);
  }
}

// The binary writer of the matrix's type. Needs: a type of AmatType other
// than voidMatrix.
int put_binary(AmatPutFile* file, const AmatMatrix& m, char pad) {
  switch (m.type) {
    case integerMatrix: return amatPutBinInt(file, m.name, m.nrow, m.ncol, m.data);
    case realMatrix: return amatPutBinReal(file, m.name, m.nrow, m.ncol, m.data);
    // Not reached in this model: result generation writes no double or
    // row-pointer matrix.
    case doubleMatrix: return amatPutBinDouble(file, m.name, m.nrow, m.ncol, m.data);
    case realRowMatrix: return amatPutBinRealRow(file, m.name, m.nrow, m.ncol, m.data);
    case doubleRowMatrix: return amatPutBinDoubleRow(file, m.name, m.nrow, m.ncol, m.data);
    default: return amatPutBinChar(file, m.name, m.nrow, m.ncol, m.data, pad);
  }
}

// Hands the matrix to the writer of the file's format and the matrix's type:
// pad fills the texts of a binary charMatrix; comment, rowComments and
// indent serve the text format. Returns the writer's status; amatNullPointer
// for a NULL file; amatError, with nothing written, for a voidMatrix, a type
// outside AmatType, a closed file or one whose row-wise matrix is still
// open.
int amatPutDispatch(AmatPutFile* file, const AmatMatrix& m, char pad, const char* comment,
                    const char* const* rowComments, int indent) {
  // Not reached in this model: result generation passes its own file.
  if (file == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  const char* name = m.name != nullptr ? m.name : "";
  // Not reached in this model: result generation writes typed matrices only.
  if (m.type == voidMatrix) {
    amat_message(
        "Error when writing matrix \"%.400s(%ld,%ld)\" to file \"%.400s\":\n"
        "The datatype of the matrix is not specified (matrix.type = voidMatrix).\n",
        name, static_cast<long>(m.nrow), static_cast<long>(m.ncol), amat_file_name(file));
    return amatError;
  }
  // Not reached in this model: result generation writes typed matrices only.
  if (m.type < voidMatrix || m.type > doubleRowMatrix) {
    amat_message(
        "Error should never occur when writing matrix \"%.400s(%ld,%ld)\" to\n"
        "file \"%.400s\" (matrix.type = %ld)\n",
        name, static_cast<long>(m.nrow), static_cast<long>(m.ncol), amat_file_name(file),
        static_cast<long>(m.type));
    return amatError;
  }
  if (file->stream == nullptr) {
    amat_message("Error when writing matrix \"%.400s(%ld,%ld)\": the file is not open.\n", name,
                 static_cast<long>(m.nrow), static_cast<long>(m.ncol));
    return amatError;
  }
  if (file->rowName != nullptr) {
    // The row-wise matrix must stay the last one of the file.
    amat_message(
        "Not possible to write matrix \"%.400s\" to file \"%.400s\":\n"
        "matrix \"%.400s\" is being written row-wise.\n",
        name, amat_file_name(file), file->rowName);
    return amatError;
  }
  errno = 0;
  // Not reached in this model: result generation writes binary files only.
  if (file->format == AMAT_FORMAT_TEXT) return put_text(file, m, comment, rowComments, indent);
  return put_binary(file, m, pad);
}

}  // namespace

void amat_message(const char* format, ...) {
  va_list args;
  va_start(args, format);
  c_vsprintf(amatMessage, sizeof amatMessage, format, args);
  va_end(args);
}

const char* amat_file_name(const AmatPutFile* file) {
  return (file == nullptr || file->fileName == nullptr) ? "" : file->fileName;
}

const char* amat_error_text() { return errno != 0 ? strerror(errno) : "unknown error"; }

char* amat_copy_text(const char* text) {
  const size_t length = strlen(text) + 1;
  char* copy = static_cast<char*>(malloc(length));
  if (copy != nullptr) memcpy(copy, text, length);
  return copy;
}

bool amat_put_header(AmatPutFile* file, std::int32_t code, std::int32_t mrows, std::int32_t ncols,
                     const char* name) {
  const size_t namlen = strlen(name) + 1;
  file->header[AMAT_HEADER_TYPE] = code;
  file->header[AMAT_HEADER_MROWS] = mrows;
  file->header[AMAT_HEADER_NCOLS] = ncols;
  file->header[AMAT_HEADER_IMAGF] = 0;
  file->header[AMAT_HEADER_NAMLEN] = static_cast<std::int32_t>(namlen);
  return put(file, file->header, sizeof(std::int32_t), AMAT_HEADER_WORDS) && put(file, name, 1, namlen);
}

bool amat_dimensions_fit(long nrow, long ncol, long elementSize) {
  if (nrow < 0 || ncol < 0 || nrow > AMAT_COUNT_MAX || ncol > AMAT_COUNT_MAX) return false;
  // nrow * ncol * elementSize stays within what memory and files address.
  return ncol == 0 || nrow <= (LONG_MAX / elementSize) / ncol;
}

bool amat_data_missing(AmatType type, long nrow, long ncol, const void* data) {
  if (data != nullptr || type == charMatrix) return false;
  const bool rows = type == realRowMatrix || type == doubleRowMatrix;
  return rows ? nrow > 0 : nrow * ncol > 0;
}

int amatPutOpen(const char* fileName, int format, int bstruct, const char* className,
                const char* version, const char* description, AmatPutFile* file) {
  // Not reached in this model: result generation passes its own file record.
  if (file == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatNullPointer;
  }
  file->fileName = nullptr;
  file->stream = nullptr;
  file->format = format;
  file->bstruct = binNormal;
  file->openedByPath = 0;
  file->rowName = nullptr;
  file->headerPos = 0;
  file->rowType = 0;
  file->rowLength = 0;
  file->rowsWritten = 0;
  const bool named = fileName != nullptr && fileName[0] != '\0';
  const char* shownName = named ? fileName : "";

  if (format != AMAT_FORMAT_TEXT && format != AMAT_FORMAT_BINARY) {
    amat_message(
        "Wrong argument \"format\" (= %ld) in function amatPutOpen,\nwhen opening file \"%.400s\".\n"
        "(format = 0 (text) or 1 (binary) required).\n",
        static_cast<long>(format), shownName);
    return amatError;
  }
  if (bstruct != binNormal && bstruct != binTrans) {
    amat_message(
        "Wrong argument \"bstruct\" (= %ld) in function amatPutOpen,\nwhen opening file \"%.400s\".\n"
        "(bstruct = binNormal or binTrans required).\n",
        static_cast<long>(bstruct), shownName);
    return amatError;
  }
  if (named) {
    // Copied first, so that a failed copy leaves no file behind.
    file->fileName = amat_copy_text(fileName);
    if (file->fileName == nullptr) {
      amat_message(
          "Not possible to allocate enough storage in order to open\n"
          "file \"%.400s\" for writing of matrices:\n%.400s\n",
          fileName, amat_error_text());
      return amatError;
    }
    errno = 0;
    file->stream = fopen(fileName, format == AMAT_FORMAT_BINARY ? "wb" : "w");
    if (file->stream == nullptr) {
      amat_message("Error opening file \"%.400s\": %.400s\n", fileName, amat_error_text());
      free(file->fileName);
      file->fileName = nullptr;
      return amatError;
    }
    file->openedByPath = 1;
  } else {
    // Not reached in this model: result generation always names its file.
    file->stream = stdout;
  }

  errno = 0;
  bool ok = true;
  // Not reached in this model: result generation writes binary files only.
  if (format == AMAT_FORMAT_TEXT) ok = fputs("#1\n", file->stream) >= 0;
  // Not reached in this model: the trajectory writer always gives its class.
  if (ok && (className == nullptr || className[0] == '\0')) {
    file->bstruct = bstruct;
    return amatOk;
  }
  if (ok) {
    const char* rows[4] = {className, version != nullptr ? version : " ",
                           description != nullptr ? description : " ",
                           bstruct == binTrans ? "binTrans" : "binNormal"};
    AmatMatrix aclass;
    amatSet("Aclass", format == AMAT_FORMAT_BINARY ? 4 : 3, 0, charMatrix, rows, &aclass);
    ok = amatPut(file, aclass) == amatOk;
  }
  if (!ok) {
    // The writer's own message gives way to the one naming the class.
    amat_message("Error writing class description of class \"%.400s\" to\nfile \"%.400s\":\n%.400s\n",
                 className != nullptr ? className : "", shownName, amat_error_text());
    amatPutClose(file);
    return amatError;
  }
  file->bstruct = bstruct;
  return amatOk;
}

int amatPut(AmatPutFile* file, AmatMatrix matrix) {
  return amatPutDispatch(file, matrix, AMAT_PAD_CHARACTER, nullptr, nullptr, 0);
}

int amatPutCommented(AmatPutFile* file, AmatMatrix matrix, const char* comment,
                     const char* const* rowComments, int indent) {
  return amatPutDispatch(file, matrix, AMAT_PAD_CHARACTER, comment, rowComments, indent);
}

int amatPutClose(AmatPutFile* file) {
  // Not reached in this model: result generation closes an open file only.
  if (file == nullptr || file->stream == nullptr) return amatOk;
  errno = 0;
  // Not reached in this model: the flush, as result generation never writes
  // to the standard output.
  const bool ok = file->openedByPath ? fclose(file->stream) == 0 : fflush(file->stream) == 0;
  if (!ok) amat_message("Error closing file \"%.400s\":\n%.400s\n", amat_file_name(file), amat_error_text());
  free(file->fileName);
  free(file->rowName);
  file->stream = nullptr;
  file->fileName = nullptr;
  file->rowName = nullptr;
  return ok ? amatOk : amatError;
}

AmatMatrix* amatSet(const char* name, int nrow, int ncol, AmatType type, void* data, AmatMatrix* m) {
  // Not reached in this model: every caller passes its own record.
  if (m == nullptr) return nullptr;
  m->name = name;
  m->nrow = nrow;
  m->ncol = ncol;
  m->type = type;
  m->data = data;
  return m;
}

AmatMatrix* amatClear(AmatMatrix* m) {
  if (m != nullptr) amatSet(nullptr, 0, 0, voidMatrix, nullptr, m);
  return m;
}

void amatFree(AmatMatrix* m) {
  // Not reached in this model: every caller passes its own record.
  if (m == nullptr) return;
  free(const_cast<char*>(m->name));
  if (m->type == charMatrix) {
    amatFreeStrings(static_cast<char**>(m->data), m->nrow);
  } else if (m->type == realRowMatrix || m->type == doubleRowMatrix) {
    // Not reached in this model: result generation keeps no row-pointer matrix.
    void** rows = static_cast<void**>(m->data);
    if (rows != nullptr)
      for (std::int32_t r = 0; r < m->nrow; ++r) free(rows[r]);
    free(rows);
  } else {
    free(m->data);
  }
  amatClear(m);
}

void amatFreeStrings(char** texts, int n) {
  if (texts == nullptr) return;
  // Not reached in this model: result generation's texts are not the
  // writer's, and it takes them from the matrices before their release.
  for (int i = 0; i < n; ++i) {
    free(texts[i]);
    texts[i] = nullptr;
  }
  free(texts);
}

}  // namespace pelvarin
