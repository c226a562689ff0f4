// The writer's text format for whole matrices: a comment, a header line with
// type word, name and dimensions, the rows, an empty line.
#pragma once

#include "result/matrix_writer.h"

namespace pelvarin {

// Values per line of a real row, whole matrix or row-wise; a longer row goes
// on after a line break and four blanks.
enum { AMAT_TEXT_REALS_PER_LINE = 5 };

// integerMatrix.
int amatPutTextInt(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                   const char* const* rowComments, int indent);
int amatPutTextReal(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                    const char* const* rowComments, int indent);
int amatPutTextRealRow(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                       const char* const* rowComments, int indent);
int amatPutTextDouble(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                      const char* const* rowComments, int indent);
int amatPutTextDoubleRow(AmatPutFile* file, const AmatMatrix& m, const char* comment,
                         const char* const* rowComments, int indent);
int amatPutTextChar(AmatPutFile* file, const AmatMatrix& m, const char* comment);

}  // namespace pelvarin
