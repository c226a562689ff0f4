// A trajectory: named signals over time, with their descriptions, where
// their values are stored (dataInfo) and the data matrices, written as a
// file of class "Atrajectory" 1.1.
#pragma once

#include <cstdint>

#include "result/matrix_writer.h"

namespace pelvarin {

// Columns of "dataInfo", one row per signal: the data matrix of its values,
// the column in it (signed), the interpolation, the extrapolation.
enum { ATRAJ_DATA_INFO_COLUMNS = 4 };

struct AtrajRecord {
  char* description;
  std::int32_t nData;
  AmatMatrix nameMatrix;         // "name", charMatrix, one text per signal
  AmatMatrix descriptionMatrix;  // "description", charMatrix
  AmatMatrix dataInfoMatrix;     // "dataInfo", integerMatrix, ATRAJ_DATA_INFO_COLUMNS columns
  AmatMatrix* dataMatrices;      // "data_1" ... "data_<nData>", all of one real type
};

// Precision index: the type of every data matrix.
enum {
  ATRAJ_REAL = 0,        // realMatrix
  ATRAJ_DOUBLE = 1,      // doubleMatrix
  ATRAJ_REAL_ROWS = 2,   // realRowMatrix
  ATRAJ_DOUBLE_ROWS = 3, // doubleRowMatrix
};

// Each returns amatOk or amatError, with the reason in amatMessage.
// A record with the named matrices and nData data matrices of the precision's
// type; amatOk for no record. Guarantees on failure: nothing is left
// allocated.
int atrajInit(AtrajRecord* traj, int nData, int precision);
// Gives a record without data matrices nDataNew of them ("data_1" ...), of
// the precision's type; nothing for 0. On failure what was made stays in the
// record, for atrajFree.
int atrajResize(AtrajRecord* traj, int nDataNew, int precision);
// Releases everything the record holds; it can be initialized again.
void atrajFree(AtrajRecord* traj);
// With 0 <= rowIndex < nData, data matrices 1 to rowIndex are written whole,
// number rowIndex + 1 is started row by row and the file stays open; with a
// negative rowIndex (or one of nData or more) the file is written whole and
// closed.
int atrajPutOpen(const char* fileName, AtrajRecord* traj, int rowIndex, int format, AmatPutFile* file);
// Ends the row-wise matrix, writes the data matrices after it, releases the
// data of those up to it and closes the file in every case.
int atrajPutClose(AmatPutFile* file, AtrajRecord* traj, int rowIndex);

// The comment that precedes "dataInfo" in the text format.
extern const char atrajDataInfoComment[];

}  // namespace pelvarin
