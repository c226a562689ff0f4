// A memory record for the rules of one step that read and write a few of its
// members (order and step-size choice, stability detection, history and
// coefficient updates): the record as created, with its work vectors for one
// component, and no problem, tolerances, solver or run. Each test sets the
// members its rule reads.
#pragma once

#include "integrator/integrator_memory.h"
#include "integrator/mstep.h"

namespace ode {

using namespace pelvarin;

struct MemoryRecord {
  void* mem = nullptr;

  explicit MemoryRecord(int lmm = MS_BDF, int iter = MS_NEWTON) : mem(MstepCreate(lmm, iter)) {
    N_Vector one = N_VNew_Serial(1);
    if (mem != nullptr && one != nullptr) msAllocWorkVectors(m(), one);
    N_VDestroy(one);
  }
  ~MemoryRecord() { MstepFree(&mem); }
  MemoryRecord(const MemoryRecord&) = delete;
  MemoryRecord& operator=(const MemoryRecord&) = delete;

  MstepMem m() const { return static_cast<MstepMem>(mem); }
};

}  // namespace ode
