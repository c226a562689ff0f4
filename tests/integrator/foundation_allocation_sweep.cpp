#include <gtest/gtest.h>

#include "foundation_recorder.h"
#include "integrator/allocation.h"

using namespace pelvarin;

using foundation::Recorder;
using foundation::recordReport;
using foundation::vectorOf;

namespace {

int decay(double, N_Vector y, N_Vector ydot, void*) {
  N_VScale(-1.0, y, ydot);
  return 0;
}

int jacobian(int, double, N_Vector, N_Vector, DlsMat J, void*, N_Vector, N_Vector, N_Vector) {
  J->cols[0][0] = J->cols[1][1] = -1;
  return 0;
}

// The set-up sequence of an integrator with the k-th allocation failing:
// each step either succeeds or fails with its memory flag, and after the
// release nothing is left.
TEST(FoundationAllocationSweep, EveryAllocationFailureIsReportedAndLeaksNothing) {
  N_Vector y0 = vectorOf({1, 2});
  N_Vector abstol = vectorOf({1e-6, 1e-6});
  const long baseline = msLiveAllocations();
  Recorder rec;
  bool completed = false;
  int failedAt[6] = {};
  for (long k = 1; k < 500 && !completed; k++) {
    rec.reports.clear();
    testing::internal::CaptureStderr();
    msFailAllocationAt(k);
    int step = 0;
    void* mem = MstepCreate(MS_BDF, MS_NEWTON);
    if (mem != nullptr) {
      step = 1;
      MstepSetErrHandlerFn(mem, recordReport, &rec);
      int flag = MstepInit(mem, decay, 0, y0);
      if (flag == MS_SUCCESS) {
        step = 2;
        flag = MstepSVtolerances(mem, 1e-4, abstol);
      }
      if (flag == MS_SUCCESS) {
        step = 3;
        flag = MsDense(mem, 2);
        if (flag != MSDLS_SUCCESS) {
          EXPECT_EQ(flag, MSDLS_MEM_FAIL) << k;
        }
      } else {
        EXPECT_EQ(flag, MS_MEM_FAIL) << k;
      }
      if (flag == MS_SUCCESS) {
        step = 4;
        flag = MsDlsSetDenseJacFn(mem, jacobian);
        EXPECT_EQ(flag, MSDLS_SUCCESS) << k;
        completed = msAllocationCount() < k;  // no allocation was refused
        if (completed) step = 5;
      }
      if (!completed) {
        ASSERT_EQ(rec.reports.size(), 1u) << k;
        EXPECT_EQ(rec.reports[0].message, "A memory request failed.") << k;
      }
    }
    MstepFree(&mem);
    EXPECT_EQ(mem, nullptr);
    msFailAllocationAt(0);
    std::string err = testing::internal::GetCapturedStderr();
    if (step == 0) {
      EXPECT_EQ(err, "\n[MSTEP ERROR]  MstepCreate\n  Allocation of mstep_mem failed.\n\n") << k;
    }
    failedAt[step]++;
    EXPECT_EQ(msLiveAllocations(), baseline) << "leak with allocation " << k << " failing";
  }
  EXPECT_TRUE(completed);
  EXPECT_EQ(failedAt[0], 1);   // the record
  EXPECT_GT(failedAt[1], 10);  // every block of every work vector
  EXPECT_EQ(failedAt[2], 4);   // the tolerance copy
  EXPECT_EQ(failedAt[3], 8);   // solver record, two matrices, pivots
  EXPECT_EQ(failedAt[4], 0);   // the Jacobian setter allocates nothing
  N_VDestroy(y0);
  N_VDestroy(abstol);
}

}  // namespace
