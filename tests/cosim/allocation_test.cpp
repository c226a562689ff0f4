// Once a slave is set up, its steps take no memory: neither from the host's
// allocator nor from the integrator's, over a thousand communication steps
// with the events of ten dosing periods on the way.
#include <gtest/gtest.h>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "integrator/allocation.h"
#include "support/fmu_host.h"

using namespace pelvarin;

namespace {

struct AllocationCase {
  double step;
  fmiBoolean loggingOn;
};

class StepsAllocate : public ::testing::TestWithParam<AllocationCase> {};

TEST_P(StepsAllocate, NothingAcrossAThousandSteps) {
  const AllocationCase& tc = GetParam();
  host::reset_record();
  host::Instance c{fmiInstantiateSlave("allocation", PELVARIN_GUID, "", "", 0.0, fmiFalse, fmiFalse,
                                       host::cs_callbacks(), tc.loggingOn),
                   fmiFreeSlaveInstance};
  ASSERT_NE(nullptr, c);
  ASSERT_EQ(fmiOK, fmiInitializeSlave(c, 0.0, fmiFalse, 0.0));
  const long hostCalls = host::record().allocation_calls;
  const long integratorCalls = msAllocationCount();
  double t = 0.0;
  for (int i = 1; i <= 1000; ++i) {
    const double next = i * tc.step;
    ASSERT_EQ(fmiOK, fmiDoStep(c, t, next - t, fmiTrue)) << "step " << i;
    t = next;
  }
  EXPECT_EQ(hostCalls, host::record().allocation_calls);
  EXPECT_EQ(integratorCalls, msAllocationCount());
  EXPECT_EQ(fmiOK, fmiTerminateSlave(c));
}

INSTANTIATE_TEST_SUITE_P(Steps, StepsAllocate,
                         ::testing::Values(AllocationCase{0.001, fmiFalse}, AllocationCase{0.01, fmiFalse},
                                           AllocationCase{0.01, fmiTrue}));

}  // namespace
