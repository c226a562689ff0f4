#include "result/trajectory_writer.h"

#include <cstdlib>
#include <cstring>

#include "result/row_writing.h"
#include "source/c_locale_text.h"

namespace pelvarin {

const char atrajDataInfoComment[] =
    "\n"
    "# Matrix with 4 columns defining the data of the signals:\n"
    "#\n"
    "# dataInfo(i,1)=    j: name i data is stored in matrix \"data_j\".\n"
    "#                      (1,1)=0, means that name(1) is used as abscissa\n"
    "#                      for ALL data matrices!\n"
    "#\n"
    "# dataInfo(i,2)=    k: name i data is stored in column abs(k) of matrix\n"
    "#                      data_j with sign(k) used as sign.\n"
    "#\n"
    "# dataInfo(i,3)=    0: Linear interpolation of the column data\n"
    "#              = 1..4: Piecewise convex hermite spline interpolation\n"
    "#                      of the column data. Curve is differentiable upto\n"
    "#                      order 1..4. The spline is defined by a polygon.\n"
    "#                      It touches the polygon in the middle of every segment\n"
    "#                      and at the beginning and final point. Between such\n"
    "#                      points the spline is convex. The polygon is also the\n"
    "#                      convex envelope of the spline.\n"
    "#\n"
    "# dataInfo(i,4)=   -1: name i is not defined outside of the defined time range\n"
    "#              =    0: Keep first/last value outside of time range\n"
    "#              =    1: Linear interpolation through first/last two points outside\n"
    "#                      of time range.\n"
    "#";

namespace {

const char ATRAJ_NO_STORAGE_MESSAGE[] = "Not possible to allocate enough storage for a trajectory:\n%.400s\n";
const char ATRAJ_NEGATIVE_MESSAGE[] = "Input argument %.400s=%ld of function %.400s must be >= 0.\n";

// By precision index.
const AmatType ATRAJ_PRECISION_TYPES[] = {realMatrix, doubleMatrix, realRowMatrix, doubleRowMatrix};

// Room for the name of a data matrix, "data_<n>".
enum { ATRAJ_NAME_SIZE = 1000 };

// In the text format the names follow the rows of "dataInfo" as comments,
// behind three blanks and "# ".
enum { ATRAJ_ROW_COMMENT_INDENT = 4 };

// Clears m and gives it the type and its own copy of name. False when the
// copy fails.
bool named(AmatMatrix* m, const char* name, AmatType type) {
  amatClear(m);
  m->type = type;
  m->name = amat_copy_text(name);
  return m->name != nullptr;
}

// The named matrices of a cleared record and its data matrices.
// Guarantees on false: the reason is in amatMessage, and whatever was made
// is in the record, for atrajFree.
bool set_up_matrices(AtrajRecord* traj, int nData, int precision) {
  if (!named(&traj->nameMatrix, "name", charMatrix) ||
      !named(&traj->descriptionMatrix, "description", charMatrix) ||
      !named(&traj->dataInfoMatrix, "dataInfo", integerMatrix)) {
    amat_message(ATRAJ_NO_STORAGE_MESSAGE, amat_error_text());
    return false;
  }
  traj->dataInfoMatrix.ncol = ATRAJ_DATA_INFO_COLUMNS;
  return atrajResize(traj, nData, precision) == amatOk;
}

// Closes the file after a failure whose message is in amatMessage; returns
// amatError.
int close_failed(AmatPutFile* file) {
  amatPutClose(file);
  return amatError;
}

}  // namespace

int atrajInit(AtrajRecord* traj, int nData, int precision) {
  // Not reached in this model: result generation passes its own record.
  if (traj == nullptr) return amatOk;
  traj->description = nullptr;
  traj->nData = 0;
  traj->dataMatrices = nullptr;
  amatClear(&traj->nameMatrix);
  amatClear(&traj->descriptionMatrix);
  amatClear(&traj->dataInfoMatrix);
  // Not reached in this model: result generation asks for two data
  // matrices.
  if (nData < 0) {
    amat_message(ATRAJ_NEGATIVE_MESSAGE, "nData", static_cast<long>(nData), "atrajInit");
    return amatError;
  }
  if (!set_up_matrices(traj, nData, precision)) {
    atrajFree(traj);
    return amatError;
  }
  return amatOk;
}

int atrajResize(AtrajRecord* traj, int nDataNew, int precision) {
  if (precision < ATRAJ_REAL || precision > ATRAJ_DOUBLE_ROWS) {
    amat_message("Input argument %.400s=%ld of function %.400s must be 0, 1, 2 or 3.\n", "precision",
                 static_cast<long>(precision), "atrajResize");
    return amatError;
  }
  // Not reached in this model: its one caller, atrajInit, passes a record.
  if (traj == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatError;
  }
  // Not reached in this model: result generation asks for two data
  // matrices.
  if (nDataNew == 0) return amatOk;
  // Not reached in this model: its one caller, atrajInit, refuses a negative
  // count first.
  if (nDataNew < 0) {
    amat_message(ATRAJ_NEGATIVE_MESSAGE, "nDataNew", static_cast<long>(nDataNew), "atrajResize");
    return amatError;
  }
  // Not reached in this model: its one caller, atrajInit, empties the record
  // first.
  if (traj->nData != 0) {
    amat_message("traj->nData (=%ld) of function %.400s must be zero.\n", static_cast<long>(traj->nData),
                 "atrajResize");
    return amatError;
  }
  traj->dataMatrices = static_cast<AmatMatrix*>(calloc(static_cast<size_t>(nDataNew), sizeof(AmatMatrix)));
  if (traj->dataMatrices == nullptr) {
    amat_message(ATRAJ_NO_STORAGE_MESSAGE, amat_error_text());
    return amatError;
  }
  traj->nData = nDataNew;
  for (int i = 0; i < nDataNew; ++i)
    amatSet(nullptr, 0, 0, ATRAJ_PRECISION_TYPES[precision], nullptr, &traj->dataMatrices[i]);
  for (int i = 0; i < nDataNew; ++i) {
    char name[ATRAJ_NAME_SIZE];
    c_sprintf(name, sizeof name, "data_%d", i + 1);
    traj->dataMatrices[i].name = amat_copy_text(name);
    if (traj->dataMatrices[i].name == nullptr) {
      amat_message(ATRAJ_NO_STORAGE_MESSAGE, amat_error_text());
      return amatError;
    }
  }
  return amatOk;
}

void atrajFree(AtrajRecord* traj) {
  // Not reached in this model: result generation passes its own record.
  if (traj == nullptr) return;
  free(traj->description);
  traj->description = nullptr;
  amatFree(&traj->nameMatrix);
  amatFree(&traj->descriptionMatrix);
  amatFree(&traj->dataInfoMatrix);
  for (std::int32_t i = 0; traj->dataMatrices != nullptr && i < traj->nData; ++i) amatFree(&traj->dataMatrices[i]);
  free(traj->dataMatrices);
  traj->dataMatrices = nullptr;
  traj->nData = 0;
}

int atrajPutOpen(const char* fileName, AtrajRecord* traj, int rowIndex, int format, AmatPutFile* file) {
  // Not reached in this model: result generation passes its own record.
  if (traj == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return amatError;
  }
  if (amatPutOpen(fileName, format, rowIndex >= 0 ? binTrans : binNormal, "Atrajectory", "1.1",
                  traj->description, file) != amatOk) {
    return amatError;
  }
  // The names serve as row comments only when there is one for every row.
  const AmatMatrix& names = traj->nameMatrix;
  const char* const* rowComments =
      names.nrow >= traj->dataInfoMatrix.nrow ? static_cast<const char* const*>(names.data) : nullptr;
  if (amatPut(file, traj->nameMatrix) != amatOk || amatPut(file, traj->descriptionMatrix) != amatOk ||
      amatPutCommented(file, traj->dataInfoMatrix, atrajDataInfoComment, rowComments,
                       ATRAJ_ROW_COMMENT_INDENT) != amatOk) {
    return close_failed(file);
  }
  const int whole = rowIndex < 0 ? traj->nData : (rowIndex < traj->nData ? rowIndex : traj->nData);
  for (int i = 0; i < whole; ++i)
    if (amatPut(file, traj->dataMatrices[i]) != amatOk) return close_failed(file);
  // Not reached in this model: result generation writes "data_2" row by
  // row.
  if (rowIndex < 0 || rowIndex >= traj->nData) return amatPutClose(file);
  const AmatMatrix& rows = traj->dataMatrices[rowIndex];
  if (amatPutRinit(file, rows.name, rows.ncol, rows.type) != amatOk) return close_failed(file);
  return amatOk;
}

int atrajPutClose(AmatPutFile* file, AtrajRecord* traj, int rowIndex) {
  // Not reached in this model: result generation passes its own record.
  if (traj == nullptr) {
    amat_message(AMAT_NULL_POINTER_MESSAGE);
    return close_failed(file);
  }
  if (rowIndex < 0 || rowIndex >= traj->nData) {
    amat_message("Input argument %.400s=%ld of function %.400s must be >= 0 and < nData (= %ld).\n", "rowIndex",
                 static_cast<long>(rowIndex), "atrajPutClose", static_cast<long>(traj->nData));
    return close_failed(file);
  }
  if (amatPutRclose(file) != amatOk) return close_failed(file);
  // Not reached in this model: "data_2", written row by row, is the last
  // data matrix.
  for (int i = rowIndex + 1; i < traj->nData; ++i)
    if (amatPut(file, traj->dataMatrices[i]) != amatOk) return close_failed(file);
  for (int i = 0; i <= rowIndex; ++i) {
    const char* name = traj->dataMatrices[i].name;
    traj->dataMatrices[i].name = nullptr;
    amatFree(&traj->dataMatrices[i]);
    traj->dataMatrices[i].name = name;
  }
  return amatPutClose(file);
}

}  // namespace pelvarin
