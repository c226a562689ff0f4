// The writer's text format for whole matrices: a comment, a header line with
// type word, name and dimensions, the rows, an empty line.
// Not reached in this model: result generation writes binary files only.
#pragma once

#include "result/matrix_writer.h"

namespace pelvarin {

// Values per line of a real row, whole matrix or row-wise; a longer row goes
// on after a line break and four blanks.
enum { AMAT_TEXT_REALS_PER_LINE = 5 };

// The text writers, one per element type. Each writes the comment (none for
// NULL or ""), the header line "<type word> <name>(<nrow>,<ncol>)", the rows
// and an empty line; a numeric row ends in its row comment when rowComments
// (nrow texts) is given, behind indent - 1 blanks and "# " for indent > 0.
// Returns amatOk; amatNullPointer for a NULL file or name, or no data for the
// elements the sizes announce; amatError, with the message, for dimensions
// negative or too large (nothing written) or a failed write.
// Integers right-aligned in the width of the largest, seven to a line.
int amatPutTextInt(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                   const char* const* rowComments, int indent);
// Reals, contiguous or by rows, in 15-character fields, AMAT_TEXT_REALS_PER_LINE
// to a line.
int amatPutTextReal(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                    const char* const* rowComments, int indent);
int amatPutTextRealRow(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                       const char* const* rowComments, int indent);
// Doubles, contiguous or by rows: a column of small integral values as
// integers of one width, the others in 24-character fields; long lines are
// broken. amatError also when the widths cannot be allocated.
int amatPutTextDouble(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                      const char* const* rowComments, int indent);
int amatPutTextDoubleRow(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                         const char* const* rowComments, int indent);
// The texts one to a line, unpadded (a NULL text as an empty line); the
// header shows ncol, or the longest text's length when nrow or ncol is 0.
int amatPutTextChar(AmatPutFile* file, const AmatMatrix& m, const char* comment);

}  // namespace pelvarin
