// The record behind fmiComponent, the one live instance of the process and
// the instance's states.
#pragma once

#include <cassert>
#include <cstddef>
#include <cstdint>

#include "fmi/fmi_types.h"

namespace pelvarin {

struct IntegratorDriver;  // co-simulation integrator driver
struct ResultFile;        // result generation record

// Values of ModelInstance::state.
enum {
  INSTANCE_INSTANTIATED = 0,  // instantiated or reset, not initialized
  INSTANCE_INITIALIZED = 2,
  INSTANCE_TERMINATED = 3,
};

enum {
  INSTANCE_PENDING_SIZE = 256,  // room of the pending text
};

// All memory of the record and of every array it points to comes from the
// host's allocateMemory, whose blocks need not arrive zero-filled: the record
// is cleared as soon as it is allocated and every array comes through
// allocate_zeroed, so what instantiation does not set starts as zero, false
// or NULL.
struct ModelInstance {
  fmiBoolean stopTimeDefined;  // the co-simulation master gave a stop time
  double stopTime;
  fmiBoolean isCoSimulation;  // created by fmiInstantiateSlave
  char* instanceName;         // own copy; passed to every logger call
  fmiBoolean loggingOn;       // while false, fmiOK and fmiWarning messages are dropped

  std::uint32_t nx;  // continuous states
  std::uint32_t nu;  // inputs
  std::uint32_t ny;  // outputs
  std::uint32_t nw;  // auxiliary variables
  std::uint32_t np;  // real parameters
  std::uint32_t ni;  // event indicators: two per relation

  // Each value array has one element more than its count, so that it exists
  // even for a count of zero.
  double* x;
  double* p;
  double* der;
  double* u;
  double* y;
  double* w;
  double* eventIndicators;
  double* xNominal;

  fmiCallbackLogger logger;
  fmiCallbackAllocateMemory allocateMemory;
  fmiCallbackFreeMemory freeMemory;

  double time;
  // Highest demand level evaluated for the present time, states and inputs;
  // every write of those sets it back to 0.
  std::int32_t computedLevel;

  char pendingText[INSTANCE_PENDING_SIZE];  // partial text sent before the next message
  char* pendingEnd;                         // == pendingText when nothing is pending

  std::int32_t state;  // INSTANCE_INSTANTIATED, INSTANCE_INITIALIZED or INSTANCE_TERMINATED
  fmiBoolean terminatedByModel;  // the model stopped a co-simulation step
  fmiBoolean resultGeneration;   // PELVARIN_RESULT_FILE at instantiation
  ResultFile* result;

  double* realOptions;  // REAL_OPTIONS_LENGTH doubles, registered with the runtime
  int* intOptions;      // INT_OPTIONS_LENGTH ints, registered with the runtime

  IntegratorDriver* integrator;  // co-simulation only; owned by the slave life cycle
  std::uint32_t inputsChanged;   // a setter ran since the last communication step
  std::uint32_t eventIterationStarted;  // an event iteration with intermediate results runs
};

// The one live instance, or NULL. Set at the end of a successful
// instantiation, cleared when the instance is freed.
extern ModelInstance* current_instance;

// count x size bytes from the host's allocateMemory, zero-filled here: a
// host's allocator need not zero its blocks, and the records kept in them
// start from zero. NULL when the host gives none.
void* allocate_zeroed(ModelInstance* instance, size_t count, size_t size);

// Gives a block back to the host's freeMemory; deliberately never NULL,
// which a host's freeMemory need not accept.
void release_block(ModelInstance* instance, void* block);

// Whether the record holds everything a successful instantiation gives it.
inline bool instance_is_complete(const ModelInstance* m) {
  return m->instanceName != nullptr && m->realOptions != nullptr && m->intOptions != nullptr &&
         m->x != nullptr && m->p != nullptr && m->der != nullptr && m->u != nullptr &&
         m->y != nullptr && m->w != nullptr && m->eventIndicators != nullptr &&
         m->xNominal != nullptr && m->logger != nullptr && m->allocateMemory != nullptr &&
         m->freeMemory != nullptr;
}

// The instance behind a handle, or NULL when the handle is not the live
// instance (NULL, freed, or never ours). Every FMI function that takes a
// handle refuses it with fmiError when this gives NULL. Guarantees: the
// instance given is complete.
inline ModelInstance* live_instance(fmiComponent c) {
  if (c == nullptr || c != static_cast<void*>(current_instance)) return nullptr;
  assert(instance_is_complete(current_instance));
  return current_instance;
}

}  // namespace pelvarin
