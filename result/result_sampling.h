// Result generation of one instance: its variables sampled at steps and
// around events into a ring of four points, written two at a time (and all at
// the finish) as rows of "data_2" of the trajectory file "<instance>.mat".
#pragma once

#include <cstdint>

#include "fmi/model_instance.h"
#include "result/trajectory_writer.h"
#include "result/writer_phases.h"

namespace pelvarin {

// A copy of the instance's time and values; the arrays come from the host.
struct ResultPoint {
  double time;
  double* p;
  double* x;
  double* der;
  double* y;
  double* u;
  double* w;
};

enum {
  RESULT_RING_SLOTS = 4,
  RESULT_FAILURE_SIZE = 2048,
};

// From the host's allocateMemory; the arrays the writer phases make come
// zero-filled from calloc, since the matrix writer releases them with free.
struct ResultFile {
  AtrajRecord traj;
  const char** nameTexts;         // data of "name"
  const char** descriptionTexts;  // data of "description"
  std::int32_t* dataInfoValues;   // variableCount x 4, column-major
  float* data1Values;             // 2 x (C1 + 1), column-major
  float* data2Row;                // C2 + 1 values
  std::int32_t variableCount;
  ResultOutputIndex outputIndex;
  char* path;  // host allocator
  AmatPutFile file;
  std::int32_t fileOpen;
  std::int32_t matricesAllocated;

  // declare_ works on these copies, never on the instance's or a point's arrays.
  std::int32_t nx;
  std::int32_t np;
  double* scratchX;
  double* scratchP;

  // Each time means something only while its flag is set: any time,
  // negative included, is a valid sample time.
  bool hasBuffered;
  double lastBufferedTime;  // the newest buffered (or, after a flush, recorded) point
  bool hasWritten;
  double lastWrittenTime;
  bool hasDuplicateWarning;
  double duplicateWarnTime;  // lastWrittenTime at the last duplicate warning

  ResultPoint** points;         // RESULT_RING_SLOTS slots
  std::int32_t allocatedSlots;  // slots from 0 on with value arrays: 2, or 4 after the extension
  // The ring runs over the allocated slots only.
  std::int32_t readIndex;
  std::int32_t writeIndex;
  std::int32_t bufferedCount;
  unsigned char bufferFullWarned;
  unsigned char fileFailureWarned;  // a failed append or close has been reported

  char failure[RESULT_FAILURE_SIZE];  // the writer's reason for its last failure
};

// Result generation of an instance whose resultGeneration flag is set: the
// set-up after the initial evaluation, a point at a step (or around an event)
// and the finish at terminate. Failures end in warnings to the host.
// The record, the file with every matrix before "data_2" and the first
// point; a record left from an earlier set-up is finished first. On failure
// nothing is kept and resultGeneration is cleared.
void setup_result_generation(ModelInstance* instance);
// A point at the instance's time: dropped before the last written time and,
// unless isEvent, at it or within 1 ms after the newest buffered point (the
// buffered points later than it are rolled back first); the two oldest are
// written when the ring is full. Nothing without a record.
void store_result_point(ModelInstance* instance, bool isEvent);
// The final point (when later than the newest buffered one), every buffered
// point written, the file closed and everything released; the instance's
// result is NULL afterwards. Nothing without a record.
void finish_result_generation(ModelInstance* instance);

// Registers the three with the interface layer, which calls them from then on.
void register_result_generation();

}  // namespace pelvarin
