// A host allocator need not zero its blocks: a slave set up from blocks full
// of stale bytes counts its steps as one set up from zeroed blocks, and gives
// every block back.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "support/fmu_host.h"

using namespace pelvarin;

namespace {

void* dirty_allocate(size_t nobj, size_t size) {
  void* block = host::allocate(nobj, size);
  if (block != nullptr) memset(block, 0xA5, (nobj == 0 ? 1 : nobj) * (size == 0 ? 1 : size));
  return block;
}

// The step counts of the statistics that termination logs.
std::string step_counts(fmiCoSimCallbackFunctions functions) {
  host::reset_record();
  fmiComponent c = fmiInstantiateSlave("dirty", PELVARIN_GUID, "", "", 0.0, fmiFalse, fmiFalse, functions,
                                       fmiTrue);
  EXPECT_NE(nullptr, c);
  if (c == nullptr) return "";
  EXPECT_EQ(fmiOK, fmiInitializeSlave(c, 0.0, fmiFalse, 0.0));
  double t = 0.0;
  for (int i = 1; i <= 300; ++i) {
    const double next = i * 0.01;
    EXPECT_EQ(fmiOK, fmiDoStep(c, t, next - t, fmiTrue)) << "step " << i;
    t = next;
  }
  EXPECT_EQ(fmiOK, fmiTerminateSlave(c));
  fmiFreeSlaveInstance(c);
  EXPECT_EQ(0, host::record().live_blocks);
  const std::vector<host::LogRecord> stats = host::logs_containing("Mstep Integrator Statistics");
  EXPECT_EQ(1u, stats.size());
  if (stats.size() != 1) return "";
  const std::string& text = stats[0].message;
  const size_t from = text.find("Number of external steps");
  const size_t to = text.find("Number of non-linear iterations");
  return from == std::string::npos || to == std::string::npos ? "" : text.substr(from, to - from);
}

TEST(DirtyAllocator, StepsCountAsWithZeroedBlocksAndEveryBlockIsFreed) {
  const std::string zeroed = step_counts(host::cs_callbacks());
  fmiCoSimCallbackFunctions dirty = host::cs_callbacks();
  dirty.allocateMemory = dirty_allocate;
  const std::string stale = step_counts(dirty);
  ASSERT_NE("", zeroed);
  EXPECT_EQ(zeroed, stale);
}

}  // namespace
