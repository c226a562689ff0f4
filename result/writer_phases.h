// The result writer driven by phase codes 1 to 9, and the process-wide output
// context through which the model's output code, running inside declare_
// while a phase is set, declares signals and fills their values.
#pragma once

#include <cstdint>

namespace pelvarin {

struct ResultFile;

// Where the output code finds the instance's variables among the signals:
// one entry per element of p, x, der, y, u and w.
struct ResultOutputIndex {
  std::int32_t indexCount;
  std::int32_t* pIndex;
  std::int32_t* xIndex;
  std::int32_t* derIndex;
  std::int32_t* yIndex;
  std::int32_t* uIndex;
  std::int32_t* wIndex;
};

// The values of the point being written.
struct ResultValues {
  const double* none;
  const double* p;
  const double* x;
  const double* der;
  const double* y;
  const double* u;
  const double* w;
};

extern std::int32_t result_phase;        // 0 when idle
extern std::int32_t result_count_data1;  // signals with a column in "data_1"
extern std::int32_t result_count_extra;  // signals with a name only
extern std::int32_t result_count_data2;  // signals with a column in "data_2"
extern ResultOutputIndex* result_index_block;
extern ResultOutputIndex result_index;
extern const char** result_names;
extern const char** result_descriptions;
extern std::int32_t* result_data_info;
extern std::int32_t result_declared;
extern std::int32_t result_expected;
extern float* result_row;  // "data_1" from phase 5 to 6, the "data_2" row from phase 7 to 8
extern ResultValues result_values;

enum {
  RESULT_PHASE_SIZES = 1,
  RESULT_PHASE_MATRICES = 2,
  RESULT_PHASE_TIME_SIGNAL = 3,
  RESULT_PHASE_CHECK = 4,
  RESULT_PHASE_DATA1 = 5,
  RESULT_PHASE_OPEN = 6,
  RESULT_PHASE_DATA2 = 7,
  RESULT_PHASE_APPEND = 8,
  RESULT_PHASE_CLOSE = 9,
};

// Each returns amatOk or, with the reason in the record's failure text,
// amatError (amatNullPointer for a null record, which only sets
// result_phase to 0).
// Sets result_phase and runs the phase (RESULT_PHASE_); any other value only
// sets result_phase.
int result_writer_phase(int phase, ResultFile* record, double t, double t2, const double* p,
                        const double* x, const double* der, const double* y, const double* u,
                        const double* w);
// Phases 3 to 6: declares the signals, fills "data_1" with the times t and
// t2, creates the file and starts "data_2".
int result_write_header(ResultFile* record, double t, double t2, const double* p, const double* x,
                        const double* der, const double* y, const double* u, const double* w);
// Phase 9: ends and closes the file and releases the writer's arrays.
int result_close(ResultFile* record);
// declare_ on the record's scratch copies of x and p: the model's start
// values must not overwrite the caller's arrays.
void result_declare(ResultFile* record, const double* x, const double* p);

}  // namespace pelvarin
