// A memory record for the rules of one step that read and write a few of its
// members (order and step-size choice, stability detection, history and
// coefficient updates): the record as created, with its work vectors, and no
// problem, tolerances, solver or run. Each test sets the members its rule
// reads.
#pragma once

#include "integrator/integrator_memory.h"
#include "integrator/mstep.h"

namespace ode {

using namespace pelvarin;

struct MemoryRecord {
  void* mem = nullptr;

  // Work vectors of n components; the iteration is the one usual for lmm.
  explicit MemoryRecord(int lmm = MS_BDF, int n = 1)
      : mem(MstepCreate(lmm, lmm == MS_ADAMS ? MS_FUNCTIONAL : MS_NEWTON)) {
    N_Vector like = N_VNew_Serial(n);
    if (mem != nullptr && like != nullptr) msAllocWorkVectors(m(), like);
    N_VDestroy(like);
  }
  ~MemoryRecord() { MstepFree(&mem); }
  MemoryRecord(const MemoryRecord&) = delete;
  MemoryRecord& operator=(const MemoryRecord&) = delete;

  MstepMem m() const { return static_cast<MstepMem>(mem); }
};

}  // namespace ode
