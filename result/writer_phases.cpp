#include "result/writer_phases.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "result/result_sampling.h"
#include "result/row_writing.h"
#include "source/c_locale_text.h"
#include "source/model_interface.h"

namespace pelvarin {

std::int32_t result_phase = 0;
std::int32_t result_count_data1 = 0;
std::int32_t result_count_extra = 0;
std::int32_t result_count_data2 = 0;
ResultOutputIndex* result_index_block = nullptr;
ResultOutputIndex result_index = {};
const char** result_names = nullptr;
const char** result_descriptions = nullptr;
std::int32_t* result_data_info = nullptr;
std::int32_t result_declared = 0;
std::int32_t result_expected = 0;
float* result_row = nullptr;
ResultValues result_values = {};

namespace {

// The trajectory holds "data_1", written whole at the open, and "data_2",
// written row by row: the data matrix of index 1.
enum { RESULT_DATA_MATRICES = 2, RESULT_ROW_WISE_INDEX = 1 };
// "data_1" holds two rows: the start time and the second time t2.
enum { RESULT_DATA1_ROWS = 2 };

// The reason goes to the record; with the matrix writer's text behind it
// when the writer failed.
int fail(ResultFile* r, bool withWriterText, const char* format, ...) __attribute__((format(printf, 3, 4)));
int fail(ResultFile* r, bool withWriterText, const char* format, ...) {
  va_list args;
  va_start(args, format);
  c_vsprintf(r->failure, sizeof r->failure, format, args);
  va_end(args);
  if (withWriterText) {
    size_t used = strlen(r->failure);
    c_sprintf(r->failure + used, sizeof r->failure - used, ": %s", amatMessage);
    used = strlen(r->failure);
    while (used > 0 && r->failure[used - 1] == '\n') r->failure[--used] = '\0';
  }
  return amatError;
}

// Shows the output code the record's outputIndex: its address and a copy.
void expose_index(ResultFile* r) {
  result_index_block = &r->outputIndex;
  result_index = r->outputIndex;
}

// Clears every pointer of the output context, so that none outlives what it
// points into.
void hide_context() {
  result_index_block = nullptr;
  result_index = ResultOutputIndex{};
  result_names = nullptr;
  result_descriptions = nullptr;
  result_data_info = nullptr;
  result_row = nullptr;
  result_values = ResultValues{};
}

// An array of n elements; one element for n = 0, so that none is NULL.
template <typename T>
T* zeroed_array(std::int64_t n) {
  return static_cast<T*>(calloc(static_cast<size_t>(n > 0 ? n : 1), sizeof(T)));
}

// Phase 1: the signal counts set to 0, the index arrays and declare_'s
// scratch copies sized by the model's dimensions, the index exposed.
// Returns amatOk, or amatError ("Out of memory") with whatever was made
// held by the record, for result_close.
int phase_sizes(ResultFile* r) {
  r->fileOpen = 0;
  r->matricesAllocated = 0;
  result_count_data1 = 0;
  result_count_extra = 0;
  result_count_data2 = 0;
  int nx = 0, unused1 = 0, nu = 0, ny = 0, nw = 0, np = 0, nrel = 0, unused7 = 0, unused8 = 0;
  model_dimensions(&nx, &unused1, &nu, &ny, &nw, &np, &nrel, &unused7, &unused8);
  ResultOutputIndex& index = r->outputIndex;
  index.indexCount = 0;
  index.pIndex = zeroed_array<std::int32_t>(np);
  index.xIndex = zeroed_array<std::int32_t>(nx);
  index.derIndex = zeroed_array<std::int32_t>(nx);
  index.yIndex = zeroed_array<std::int32_t>(ny);
  index.uIndex = zeroed_array<std::int32_t>(nu);
  index.wIndex = zeroed_array<std::int32_t>(nw);
  r->nx = nx;
  r->np = np;
  r->scratchX = zeroed_array<double>(nx);
  r->scratchP = zeroed_array<double>(np);
  if (!index.pIndex || !index.xIndex || !index.derIndex || !index.yIndex || !index.uIndex || !index.wIndex ||
      !r->scratchX || !r->scratchP) {
    return fail(r, false, "Out of memory");
  }
  expose_index(r);
  return amatOk;
}

// Phase 2: the trajectory, and the arrays of its matrices sized from the
// counts the output code set, bound to the matrices. Returns amatOk, or
// amatError ("Out of memory", or "Internal error" for counts out of range)
// with whatever was made held by the record, for result_close.
int phase_matrices(ResultFile* r) {
  if (atrajInit(&r->traj, RESULT_DATA_MATRICES, ATRAJ_REAL) != amatOk) return fail(r, true, "Out of memory");
  // From here on the trajectory owns the names, "dataInfo" and the data.
  r->matricesAllocated = 1;
  const std::int64_t c1 = result_count_data1, c2 = result_count_data2;
  const std::int64_t count = 1 + c1 + result_count_extra + c2;
  if (c1 < 0 || c2 < 0 || result_count_extra < 0 || count > AMAT_COUNT_MAX / ATRAJ_DATA_INFO_COLUMNS)
    return fail(r, false, "Internal error");
  r->variableCount = static_cast<std::int32_t>(count);
  const std::int32_t n = r->variableCount;
  r->nameTexts = zeroed_array<const char*>(n);
  r->descriptionTexts = zeroed_array<const char*>(n);
  r->dataInfoValues = zeroed_array<std::int32_t>(ATRAJ_DATA_INFO_COLUMNS * count);
  r->data1Values = zeroed_array<float>(RESULT_DATA1_ROWS * (c1 + 1));
  r->data2Row = zeroed_array<float>(c2 + 1);
  AtrajRecord& traj = r->traj;
  amatSet(traj.nameMatrix.name, n, 0, charMatrix, r->nameTexts, &traj.nameMatrix);
  amatSet(traj.descriptionMatrix.name, n, 0, charMatrix, r->descriptionTexts, &traj.descriptionMatrix);
  amatSet(traj.dataInfoMatrix.name, n, ATRAJ_DATA_INFO_COLUMNS, integerMatrix, r->dataInfoValues,
          &traj.dataInfoMatrix);
  amatSet(traj.dataMatrices[0].name, RESULT_DATA1_ROWS, static_cast<int>(c1 + 1), realMatrix, r->data1Values,
          &traj.dataMatrices[0]);
  amatSet(traj.dataMatrices[1].name, 1, static_cast<int>(c2 + 1), realMatrix, r->data2Row, &traj.dataMatrices[1]);
  if (!r->nameTexts || !r->descriptionTexts || !r->dataInfoValues || !r->data1Values || !r->data2Row)
    return fail(r, false, "Out of memory");
  return amatOk;
}

// Phase 3: the time signal in slot 0 of the names, descriptions and
// dataInfo, and these arrays shown to the output code, which declares the
// other signals. Returns amatOk, or amatError ("Internal error") before
// phase 2 has made them.
int phase_time_signal(ResultFile* r) {
  if (!r->matricesAllocated || !r->nameTexts || !r->descriptionTexts || !r->dataInfoValues)
    return fail(r, false, "Internal error");
  expose_index(r);
  const std::int32_t n = r->variableCount;
  result_expected = n;
  r->nameTexts[0] = "Time";
  r->descriptionTexts[0] = "Time in seconds";
  // The abscissa of all data matrices, column 1, linear, undefined outside.
  r->dataInfoValues[0] = 0;
  r->dataInfoValues[n] = 1;
  r->dataInfoValues[2 * n] = 0;
  r->dataInfoValues[3 * n] = -1;
  result_data_info = r->dataInfoValues;
  result_names = r->nameTexts;
  result_descriptions = r->descriptionTexts;
  result_declared = 1;
  return amatOk;
}

// Phases 5 and 7: row ("data_1", or the row of "data_2") shown to the output
// code with t as its first value, and the point's values. Returns amatOk, or
// amatError ("Internal error") for no row.
int phase_row(ResultFile* r, float* row, double t, const double* p, const double* x, const double* der,
              const double* y, const double* u, const double* w) {
  if (row == nullptr) return fail(r, false, "Internal error");
  expose_index(r);
  result_row = row;
  result_row[0] = static_cast<float>(t);
  result_values = ResultValues{nullptr, p, x, der, y, u, w};
  return amatOk;
}

// Phase 6: the context cleared, t2 the second time of "data_1", then the file
// created with every matrix before "data_2", which is started row by row.
// Returns amatOk with fileOpen set; amatError, with no file left behind,
// when there is no path or the file cannot be written.
int phase_open(ResultFile* r, double t2) {
  result_index = ResultOutputIndex{};
  result_values = ResultValues{};
  result_row = nullptr;
  if (r->data1Values == nullptr) return fail(r, false, "Internal error");
  r->data1Values[1] = static_cast<float>(t2);
  // Not reached in this model: set-up names the path before it writes the
  // header.
  if (r->path == nullptr) return fail(r, false, "Result file path is NULL");
  if (atrajPutOpen(r->path, &r->traj, RESULT_ROW_WISE_INDEX, AMAT_FORMAT_BINARY, &r->file) != amatOk) {
    // The writer made the file (it keeps openedByPath after the close), but
    // it is not a readable result: no file rather than a broken one.
    if (r->file.openedByPath) remove(r->path);
    return fail(r, true, "Failed to open result %s", r->path);
  }
  r->fileOpen = 1;
  return amatOk;
}

// Phase 8: the context cleared and the row of "data_2" appended. Returns
// amatOk; amatError when the file is not open or the row was not written.
int phase_append(ResultFile* r) {
  result_values = ResultValues{};
  result_index = ResultOutputIndex{};
  result_row = nullptr;
  if (!r->fileOpen) return fail(r, false, "Internal error");
  if (amatPutRrow(&r->file, r->data2Row) != amatOk) return fail(r, true, "Failed to write result %s", r->path);
  return amatOk;
}

}  // namespace

int result_writer_phase(int phase, ResultFile* record, double t, double t2, const double* p,
                        const double* x, const double* der, const double* y, const double* u,
                        const double* w) {
  // Not reached in this model: result generation passes its own record.
  if (record == nullptr) {
    result_phase = 0;
    return amatNullPointer;
  }
  result_phase = phase;
  switch (phase) {
    case RESULT_PHASE_SIZES: return phase_sizes(record);
    case RESULT_PHASE_MATRICES: return phase_matrices(record);
    case RESULT_PHASE_TIME_SIGNAL: return phase_time_signal(record);
    case RESULT_PHASE_CHECK:
      // Not reached in this model: the failure, as this model's declare_
      // declares no signal and leaves result_declared at result_expected.
      return result_declared != result_expected ? fail(record, false, "Internal error") : amatOk;
    case RESULT_PHASE_DATA1: return phase_row(record, record->data1Values, t, p, x, der, y, u, w);
    case RESULT_PHASE_OPEN: return phase_open(record, t2);
    case RESULT_PHASE_DATA2: return phase_row(record, record->data2Row, t, p, x, der, y, u, w);
    case RESULT_PHASE_APPEND: return phase_append(record);
    // Not reached in this model: the finish calls result_close itself, and no
    // other phase is asked for.
    case RESULT_PHASE_CLOSE: return result_close(record);
    default: return amatOk;
  }
}

void result_declare(ResultFile* record, const double* x, const double* p) {
  double* scratchX = nullptr;
  double* scratchP = nullptr;
  if (x != nullptr && record->scratchX != nullptr) {
    memcpy(record->scratchX, x, static_cast<size_t>(record->nx) * sizeof(double));
    scratchX = record->scratchX;
  }
  if (p != nullptr && record->scratchP != nullptr) {
    memcpy(record->scratchP, p, static_cast<size_t>(record->np) * sizeof(double));
    scratchP = record->scratchP;
  }
  declare_(scratchX, scratchP, nullptr, nullptr);
}

int result_write_header(ResultFile* record, double t, double t2, const double* p, const double* x,
                        const double* der, const double* y, const double* u, const double* w) {
  // Not reached in this model: result generation passes its own record.
  if (record == nullptr) {
    result_phase = 0;
    return amatNullPointer;
  }
  int status = result_writer_phase(RESULT_PHASE_TIME_SIGNAL, record, t, t2, p, x, der, y, u, w);
  if (status != amatOk) return status;
  result_declare(record, x, p);
  status = result_writer_phase(RESULT_PHASE_CHECK, record, t, t2, p, x, der, y, u, w);
  if (status == amatOk) status = result_writer_phase(RESULT_PHASE_DATA1, record, t, t2, p, x, der, y, u, w);
  if (status != amatOk) return status;
  result_declare(record, x, p);
  return result_writer_phase(RESULT_PHASE_OPEN, record, t, t2, p, x, der, y, u, w);
}

int result_close(ResultFile* record) {
  // Not reached in this model: result generation passes its own record.
  if (record == nullptr) {
    result_phase = 0;
    return amatNullPointer;
  }
  result_phase = RESULT_PHASE_CLOSE;
  int status = amatOk;
  if (record->fileOpen) {
    if (atrajPutClose(&record->file, &record->traj, RESULT_ROW_WISE_INDEX) != amatOk)
      status = fail(record, true, "Failed to close result %s", record->path);
    record->fileOpen = 0;
  }
  // The texts are not the writer's: only the arrays holding them are.
  free(record->nameTexts);
  free(record->descriptionTexts);
  if (record->matricesAllocated) {
    record->traj.nameMatrix.data = nullptr;
    record->traj.descriptionMatrix.data = nullptr;
    atrajFree(&record->traj);
    record->matricesAllocated = 0;
  }
  record->nameTexts = nullptr;
  record->descriptionTexts = nullptr;
  record->dataInfoValues = nullptr;
  record->data1Values = nullptr;
  record->data2Row = nullptr;
  ResultOutputIndex& index = record->outputIndex;
  for (std::int32_t* a : {index.pIndex, index.xIndex, index.derIndex, index.yIndex, index.uIndex, index.wIndex})
    free(a);
  index = ResultOutputIndex{};
  free(record->scratchX);
  free(record->scratchP);
  record->scratchX = nullptr;
  record->scratchP = nullptr;
  hide_context();
  result_phase = 0;
  return status;
}

}  // namespace pelvarin
