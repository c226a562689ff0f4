// Writer of named matrices into MAT level-4 files (and the writer's own text
// format): open with a class matrix "Aclass", whole matrices, close.
#pragma once

#include <cstdint>
#include <cstdio>

namespace pelvarin {

// Element kinds of a matrix in memory.
enum AmatType : std::int32_t {
  voidMatrix = 0,
  integerMatrix = 1,
  realMatrix = 2,
  doubleMatrix = 3,
  charMatrix = 4,
  realRowMatrix = 5,
  doubleRowMatrix = 6,
};

// Status codes of every writer operation.
enum { amatOk = 0, amatError = 1, amatNullPointer = 4 };

// Storage forms of a binary file: as is, or transposed so that rows can be
// appended one at a time.
enum { binNormal = 0, binTrans = 1 };

// File formats.
enum { AMAT_FORMAT_TEXT = 0, AMAT_FORMAT_BINARY = 1 };

enum { AMAT_MESSAGE_SIZE = 1504 };

// Type codes of the binary format, one per element kind: 1000*M + 100*O +
// 10*P + T with M = 0 (IEEE little-endian), O = 0, P the element kind and T
// 1 for text.
enum {
  AMAT_TYPE_CODE_DOUBLE = 0,    // 64-bit real
  AMAT_TYPE_CODE_REAL = 10,     // 32-bit real
  AMAT_TYPE_CODE_INTEGER = 20,  // signed 32-bit integer
  AMAT_TYPE_CODE_TEXT = 51,     // one byte per character
};

// The header in front of every stored matrix: five signed 32-bit words in
// this order, then the name.
enum {
  AMAT_HEADER_TYPE = 0,
  AMAT_HEADER_MROWS = 1,
  AMAT_HEADER_NCOLS = 2,
  AMAT_HEADER_IMAGF = 3,
  AMAT_HEADER_NAMLEN = 4,
  AMAT_HEADER_WORDS = 5,
  AMAT_HEADER_BYTES = AMAT_HEADER_WORDS * sizeof(std::int32_t),
};

// The largest number a header word holds: the bound of a stored matrix's
// dimensions, of its name's length and of the rows written row-wise.
enum { AMAT_COUNT_MAX = 0x7fffffff };

// Messages of more than one writer.
inline constexpr char AMAT_NULL_POINTER_MESSAGE[] = "Unexpected null-pointer";
inline constexpr char AMAT_WRITE_FAILED_MESSAGE[] =
    "Error when writing matrix \"%.400s(%ld,%ld)\" to file \"%.400s\":\n%.400s\n";
inline constexpr char AMAT_BAD_DIMENSIONS_MESSAGE[] =
    "Error when writing matrix \"%.400s(%ld,%ld)\" to file \"%.400s\":\n"
    "The dimensions of the matrix are negative or too large.\n";

// One matrix in memory; a record filled by amatSet refers to the caller's
// name and data.
struct AmatMatrix {
  const char* name;
  std::int32_t nrow;
  std::int32_t ncol;  // ignored for a charMatrix by the binary writer
  AmatType type;
  // integer/real/double: nrow*ncol elements, column-major; charMatrix: nrow
  // texts; row types: nrow pointers to rows of ncol elements.
  void* data;
};

// One output file.
struct AmatPutFile {
  char* fileName;  // own copy; none for the standard output
  FILE* stream;    // none while closed
  std::int32_t format;
  std::int32_t bstruct;
  std::int32_t openedByPath;               // 0 for the standard output
  std::int32_t header[AMAT_HEADER_WORDS];  // of the last (or the row-wise) matrix
  char* rowName;                           // own copy of the row-wise matrix's name; none when none is open
  long headerPos;                          // where the row-wise matrix's header (or dimension text) stands
  std::int32_t rowType;                    // realMatrix or doubleMatrix
  std::int32_t rowLength;
  std::int32_t rowsWritten;                // text format
};

// Text of the last failure, "No message." until the first one.
extern char amatMessage[AMAT_MESSAGE_SIZE];

// Each returns amatOk, or amatError (amatNullPointer for missing arguments
// or data) with the reason in amatMessage.
// Opens the named file (the standard output for none) and, with a class
// name, writes "Aclass". Guarantees on failure: nothing stays open or
// allocated (a file that was made stays on disk).
int amatPutOpen(const char* fileName, int format, int bstruct, const char* className,
                const char* version, const char* description, AmatPutFile* file);
// Writes one whole matrix; a row-wise matrix in progress refuses it.
int amatPut(AmatPutFile* file, AmatMatrix matrix);
// The comment, the row comments (nrow texts or none) and their indent serve
// the text format only.
int amatPutCommented(AmatPutFile* file, AmatMatrix matrix, const char* comment,
                     const char* const* rowComments, int indent);
// Closes a named file (the standard output is only flushed) and releases the
// copies; nothing for a closed file.
int amatPutClose(AmatPutFile* file);

// Stores the caller's name, sizes, type and data in m, copying nothing.
// Returns m; NULL for a NULL m.
AmatMatrix* amatSet(const char* name, int nrow, int ncol, AmatType type, void* data, AmatMatrix* m);
// Sets every field of m to zero or none (a voidMatrix). Returns m; nothing
// for a NULL m.
AmatMatrix* amatClear(AmatMatrix* m);
// Releases the name and the data of m, the texts of a charMatrix and the rows
// of the row types one by one, then clears m; nothing for a NULL m.
// Needs: everything it points to from malloc or calloc.
void amatFree(AmatMatrix* m);
// Releases the n texts and then the array, emptying each slot; nothing for a
// NULL array. Needs: all of it from malloc.
void amatFreeStrings(char** texts, int n);

// Shared by the writer's own files.
// Formats the text of a failure into amatMessage, in the "C" locale and cut
// to the buffer.
void amat_message(const char* format, ...) __attribute__((format(printf, 1, 2)));
const char* amat_file_name(const AmatPutFile* file);  // "" for the standard output
const char* amat_error_text();                         // the platform's text for errno
char* amat_copy_text(const char* text);                // malloc copy, none when that fails
// Writes the header of a stored matrix of mrows x ncols and its name, and
// keeps the header in file->header. Returns whether both were written.
bool amat_put_header(AmatPutFile* file, std::int32_t code, std::int32_t mrows, std::int32_t ncols,
                     const char* name);
// Whether nrow x ncol elements of elementSize bytes can be described by a
// matrix header and addressed in memory.
bool amat_dimensions_fit(long nrow, long ncol, long elementSize);
// Whether a numeric matrix announces elements, or in the row forms rows, but
// has no data to take them from.
bool amat_data_missing(AmatType type, long nrow, long ncol, const void* data);

}  // namespace pelvarin
