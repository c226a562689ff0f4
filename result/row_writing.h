// Row-wise writing: the last matrix of a file grows one row at a time, and
// after every row the file on disk is complete.
#pragma once

#include "result/matrix_writer.h"

namespace pelvarin {

// Starts the matrix; type realMatrix or doubleMatrix (or their row forms).
// The file must be a named file opened with binTrans.
int amatPutRinit(AmatPutFile* file, const char* name, int ncol, AmatType type);
// Appends one row of rowLength elements: floats for a realMatrix, doubles for
// a doubleMatrix. A failed row ends the row-wise matrix, so that nothing is
// written behind a partial row; in the binary format the file then ends
// after the rows that its header counts.
int amatPutRrow(AmatPutFile* file, const void* row);
// Ends the matrix; the file stays open.
int amatPutRclose(AmatPutFile* file);

}  // namespace pelvarin
