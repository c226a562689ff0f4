#include "result/result_sampling.h"

#include <cassert>
#include <cstdio>
#include <cstring>

#include "fmi/logging.h"
#include "fmi/layer_hooks.h"
#include "source/model_interface.h"

namespace pelvarin {

namespace {

const char RESULT_MESSAGE_PREFIX[] = "Result generation:";
const int RESULT_VALUE_ARRAYS = 6;  // p, x, der, y, u, w
// A step point closer than 1 ms to the newest buffered one is dropped.
constexpr double RESULT_MILLISECONDS_PER_SECOND = 1000.0;
// The second time of "data_1"; the first is the start time. It is 1e-9
// whatever the start, so for a start above 1e-9 it lies before the first.
constexpr double RESULT_DATA1_SECOND_TIME = 1e-9;
// Room for the file name, "<instance name>.mat".
enum { RESULT_NAME_SIZE = 256 };
// Bytes of the instance name that the warning on a name too long shows.
enum { RESULT_SHOWN_NAME_MAX = 200 };

// Value array k of a point, by address: p, x, der, y, u, w in this order.
double** point_array(ResultPoint* point, int k) {
  assert(k >= 0 && k < RESULT_VALUE_ARRAYS);
  double** arrays[RESULT_VALUE_ARRAYS] = {&point->p, &point->x, &point->der, &point->y, &point->u, &point->w};
  return arrays[k];
}

// The instance's value array k and its length, in the order of point_array.
const double* instance_array(const ModelInstance* c, int k) {
  const double* arrays[RESULT_VALUE_ARRAYS] = {c->p, c->x, c->der, c->y, c->u, c->w};
  return arrays[k];
}

std::uint32_t array_length(const ModelInstance* c, int k) {
  const std::uint32_t lengths[RESULT_VALUE_ARRAYS] = {c->np, c->nx, c->nx, c->ny, c->nu, c->nw};
  return lengths[k];
}

// The slot k places after the oldest buffered point. Needs: allocated slots.
std::int32_t slot(const ResultFile* r, std::int32_t k) {
  assert(r->allocatedSlots > 0 && k >= 0);
  return (r->readIndex + k) % r->allocatedSlots;
}

ResultPoint* point_at(ResultFile* r, std::int32_t k) { return r->points[slot(r, k)]; }

// Releases the value arrays of the slots from `from` up to allocatedSlots and
// empties their pointers; the slots and allocatedSlots stay.
void result_free_item_arrays(ModelInstance* c, std::int32_t from) {
  ResultFile* r = c->result;
  for (std::int32_t s = from; s < r->allocatedSlots; ++s) {
    for (int k = 0; k < RESULT_VALUE_ARRAYS; ++k) {
      release_block(c, *point_array(r->points[s], k));
      *point_array(r->points[s], k) = nullptr;
    }
  }
}

// Value arrays for the next two slots. Arrays of no elements are not
// requested: the host's answer to such a request means nothing.
bool result_extend_buffer(ModelInstance* c) {
  ResultFile* r = c->result;
  const std::int32_t first = r->allocatedSlots;
  if (first + 2 > RESULT_RING_SLOTS) return false;
  for (std::int32_t s = first; s < first + 2; ++s) {
    ResultPoint* point = r->points[s];
    for (int k = 0; k < RESULT_VALUE_ARRAYS; ++k) *point_array(point, k) = nullptr;
    r->allocatedSlots += 1;
    for (int k = 0; k < RESULT_VALUE_ARRAYS; ++k) {
      const std::uint32_t n = array_length(c, k);
      if (n == 0) continue;
      *point_array(point, k) = static_cast<double*>(allocate_zeroed(c, n, sizeof(double)));
      if (*point_array(point, k) == nullptr) {
        result_free_item_arrays(c, first);
        r->allocatedSlots = first;
        return false;
      }
    }
  }
  r->writeIndex = slot(r, r->bufferedCount);
  return true;
}

// Copies the instance's time and values into the next free slot.
// Needs: a free slot.
void result_buffer_point(ModelInstance* c) {
  ResultFile* r = c->result;
  assert(r->bufferedCount < r->allocatedSlots);
  ResultPoint* point = r->points[r->writeIndex];
  point->time = c->time;
  for (int k = 0; k < RESULT_VALUE_ARRAYS; ++k) {
    const std::uint32_t n = array_length(c, k);
    if (n > 0) memcpy(*point_array(point, k), instance_array(c, k), n * sizeof(double));
  }
  r->lastBufferedTime = c->time;
  r->hasBuffered = true;
  r->bufferedCount += 1;
  r->writeIndex = slot(r, r->bufferedCount);
}

// The writer's failure text as a warning, once per run.
void warn_file_failure(ModelInstance* c) {
  ResultFile* r = c->result;
  if (r->fileFailureWarned) return;
  r->fileFailureWarned = 1;
  FMI_LOG(c, fmiWarning, "%s %s", RESULT_MESSAGE_PREFIX, r->failure);
}

// Writes a point as a row of "data_2" through phases 7 and 8, with declare_
// in between on copies of its x and p. A failure is warned about once per
// run.
void write_point(ModelInstance* c, ResultPoint* point) {
  ResultFile* r = c->result;
  int status = result_writer_phase(RESULT_PHASE_DATA2, r, point->time, 0.0, point->p, point->x, point->der,
                                   point->y, point->u, point->w);
  result_declare(r, point->x, point->p);
  if (status == amatOk)
    status = result_writer_phase(RESULT_PHASE_APPEND, r, point->time, 0.0, point->p, point->x, point->der,
                                 point->y, point->u, point->w);
  if (status != amatOk) warn_file_failure(c);
}

// Writes the two oldest buffered points and frees their slots; nothing with
// fewer than two.
void result_flush_two(ModelInstance* c) {
  ResultFile* r = c->result;
  if (r->bufferedCount < 2) return;
  write_point(c, point_at(r, 0));
  write_point(c, point_at(r, 1));
  r->lastWrittenTime = point_at(r, 1)->time;
  r->hasWritten = true;
  r->readIndex = slot(r, 2);
  r->bufferedCount -= 2;
  r->writeIndex = slot(r, r->bufferedCount);
}

// Writes every buffered point, oldest first, and empties the ring;
// lastWrittenTime becomes the newest one's. Nothing for an empty ring.
void result_flush_all(ModelInstance* c) {
  ResultFile* r = c->result;
  if (r->bufferedCount == 0) return;
  for (std::int32_t k = 0; k < r->bufferedCount; ++k) write_point(c, point_at(r, k));
  r->lastWrittenTime = point_at(r, r->bufferedCount - 1)->time;
  r->hasWritten = true;
  r->readIndex = 0;
  r->writeIndex = 0;
  r->bufferedCount = 0;
}

// Drops the buffered points later than t, the newest in any case.
void roll_back(ResultFile* r, double t) {
  if (r->bufferedCount > 0) {
    r->bufferedCount -= 1;
    while (r->bufferedCount > 0 && point_at(r, r->bufferedCount - 1)->time > t) r->bufferedCount -= 1;
  }
  r->writeIndex = slot(r, r->bufferedCount);
  r->hasBuffered = r->bufferedCount > 0;
  if (r->hasBuffered) r->lastBufferedTime = point_at(r, r->bufferedCount - 1)->time;
}

// The record, its ring of points, the trajectory's matrices, the file and
// the first point. Guarantees on false: whatever was made hangs from
// c->result, for finish_result_generation; the writer's reason, if any, is in
// its failure text.
bool set_up(ModelInstance* c) {
  ResultFile* r = static_cast<ResultFile*>(allocate_zeroed(c, 1, sizeof(ResultFile)));
  if (r == nullptr) return false;
  c->result = r;
  r->points = static_cast<ResultPoint**>(allocate_zeroed(c, RESULT_RING_SLOTS, sizeof(ResultPoint*)));
  if (r->points == nullptr) return false;
  for (int s = 0; s < RESULT_RING_SLOTS; ++s) {
    r->points[s] = static_cast<ResultPoint*>(allocate_zeroed(c, 1, sizeof(ResultPoint)));
    if (r->points[s] == nullptr) return false;
  }
  if (!result_extend_buffer(c)) return false;

  result_phase = 0;
  declare_(nullptr, nullptr, nullptr, nullptr);
  if (result_writer_phase(RESULT_PHASE_SIZES, r, 0.0, 0.0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != amatOk)
    return false;
  declare_(nullptr, nullptr, nullptr, nullptr);
  if (result_writer_phase(RESULT_PHASE_MATRICES, r, 0.0, 0.0, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) !=
      amatOk)
    return false;

  char name[RESULT_NAME_SIZE];
  const int length = snprintf(name, sizeof name, "%s.mat", c->instanceName[0] != '\0' ? c->instanceName : "dres");
  if (length < 0 || length >= static_cast<int>(sizeof name)) {
    const int shown = static_cast<int>(utf8_cut_length(c->instanceName, RESULT_SHOWN_NAME_MAX));
    snprintf(r->failure, sizeof r->failure, "Result file name of instance %.*s... is too long", shown, c->instanceName);
    return false;
  }
  // The file is written where the host runs, whatever the name says.
  for (char* ch = name; *ch != '\0'; ++ch)
    if (*ch == '/' || *ch == '\\' || *ch == ':') *ch = '_';
  r->path = copy_instance_string(c, name);
  if (r->path == nullptr) return false;

  if (result_write_header(r, c->time, RESULT_DATA1_SECOND_TIME, c->p, c->x, c->der, c->y, c->u, c->w) != amatOk)
    return false;
  store_result_point(c, false);
  return true;
}

}  // namespace

void setup_result_generation(ModelInstance* c) {
  // A slave whose initialization failed after the set-up may be initialized again.
  if (c->result != nullptr) finish_result_generation(c);
  FMI_LOG(c, fmiOK, "Setting up result generation");
  if (set_up(c)) return;
  if (c->result != nullptr && c->result->failure[0] != '\0')
    FMI_LOG(c, fmiWarning, "%s %s", RESULT_MESSAGE_PREFIX, c->result->failure);
  FMI_LOG(c, fmiWarning, "Failed to setup result generation, skipping it");
  finish_result_generation(c);
  c->resultGeneration = fmiFalse;
}

void store_result_point(ModelInstance* c, bool isEvent) {
  ResultFile* r = c->result;
  if (r == nullptr || r->allocatedSlots == 0) return;
  const double t = c->time;

  if (r->hasWritten && (r->lastWrittenTime > t || (r->lastWrittenTime == t && !isEvent))) {
    if (!r->hasDuplicateWarning || r->lastWrittenTime > r->duplicateWarnTime) {
      FMI_LOG(c, fmiWarning, "%s: duplicate sample point at t = %.4f (and others at t < %f) neglected.",
              RESULT_MESSAGE_PREFIX, t, r->lastWrittenTime);
      r->duplicateWarnTime = r->lastWrittenTime;
      r->hasDuplicateWarning = true;
    }
    return;
  }
  if (r->hasBuffered && r->lastBufferedTime > t) roll_back(r, t);
  if (!isEvent && r->hasBuffered && (t - r->lastBufferedTime) * RESULT_MILLISECONDS_PER_SECOND < 1.0) return;

  if (r->bufferedCount == r->allocatedSlots) {
    if (r->allocatedSlots == RESULT_RING_SLOTS) {
      if (!r->bufferFullWarned && c->isCoSimulation) {
        FMI_LOG(c, fmiWarning,
                "%s: buffer full at t = %.4f, forcing file output for interval t = %.4f ... %.4f. To avoid this for "
                "FMI 2, set SetFMUStatePriorToCurrentPoint = fmiTrue in fmiDoStep. Will not warn about this again.",
                RESULT_MESSAGE_PREFIX, t, point_at(r, 0)->time, point_at(r, 1)->time);
        r->bufferFullWarned = 1;
      }
      result_flush_two(c);
    } else if (!result_extend_buffer(c)) {
      FMI_LOG(c, fmiWarning, "%s: buffer extension failed at t = %.4f, forcing file output for interval t = %.4f ... %.4f",
              RESULT_MESSAGE_PREFIX, t, point_at(r, 0)->time, point_at(r, r->bufferedCount - 1)->time);
      result_flush_two(c);
    }
  }
  result_buffer_point(c);
}

void finish_result_generation(ModelInstance* c) {
  ResultFile* r = c->result;
  if (r == nullptr) return;
  if (r->fileOpen && (!r->hasBuffered || c->time > r->lastBufferedTime)) {
    // The final point is not subject to the spacing.
    r->hasBuffered = false;
    store_result_point(c, false);
  }
  if (r->fileOpen) result_flush_all(c);
  if (result_close(r) != amatOk) warn_file_failure(c);

  release_block(c, r->path);
  if (r->points != nullptr) {
    for (int s = 0; s < RESULT_RING_SLOTS; ++s) {
      if (r->points[s] == nullptr) continue;
      for (int k = 0; k < RESULT_VALUE_ARRAYS; ++k) release_block(c, *point_array(r->points[s], k));
      release_block(c, r->points[s]);
    }
    release_block(c, r->points);
  }
  c->result = nullptr;
  release_block(c, r);
}

void register_result_generation() {
  const ResultHooks hooks = {setup_result_generation, store_result_point, finish_result_generation};
  register_result_hooks(hooks);
}

}  // namespace pelvarin
