// A model-exchange host's run held to the bit: every sample of time, states
// and auxiliary variables and every line reaching the logger, recorded with
// the unit as it was before its speed-up. PELVARIN_LIBRARY=<other
// Pelvarin.so> checks another build against them.
#include <gtest/gtest.h>

#include "support/digest.h"
#include "support/fmu_host.h"
#include "tools/me_simulation.h"

namespace {

decltype(me_sim::Functions::instantiate) g_instantiate = nullptr;

// The host program's run, with logging on.
fmiComponent instantiate_logging(fmiString name, fmiString guid, fmiCallbackFunctions callbacks,
                                 fmiBoolean) {
  return g_instantiate(name, guid, callbacks, fmiTrue);
}

TEST(ModelExchangeGolden, SamplesAndLogLinesAreThoseRecorded) {
  host::Library lib(digest::library_under_test());
  me_sim::Functions f;
  std::string missing;
  ASSERT_TRUE(me_sim::load_functions(lib.handle(), &f, &missing)) << missing;
  g_instantiate = f.instantiate;
  f.instantiate = instantiate_logging;

  me_sim::Options options;  // the default experiment, 1 ms steps, samples every 10 ms
  const fmiCallbackFunctions callbacks = {digest::logger, host::allocate, host::free_block};
  const me_sim::Result result = me_sim::simulate(f, callbacks, options, "golden");
  ASSERT_TRUE(result.ok) << result.error;

  digest::Digest samples;
  for (const me_sim::Sample& s : result.samples) {
    samples.add(s.time);
    for (double v : s.x) samples.add(v);
    for (double v : s.w) samples.add(v);
  }
  EXPECT_EQ("ab516c6ad4aed445/10010", samples.text());
  EXPECT_EQ("9663264be82f596a/171805", digest::logged().text());
  EXPECT_EQ(10, result.time_events);
  EXPECT_EQ(9, result.state_events);
}

}  // namespace
