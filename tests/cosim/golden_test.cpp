// The slave's results held to the bit: every state at every communication
// point and every line reaching the logger (the clock figures of the
// statistics aside), for communication steps from 1 ms to 2.5 s over the
// default experiment. The digests were recorded with the unit as it was
// before its speed-up; PELVARIN_LIBRARY=<other Pelvarin.so> checks another
// build against them.
#include <gtest/gtest.h>

#include "fmi/Pelvarin.h"
#include "support/digest.h"
#include "support/fmu_host.h"
#include "support/model_variables.h"

namespace {

struct GoldenCase {
  double step;
  const char* states;  // the same with logging on and off
  const char* logs;    // with logging on
};

struct Slave {
  host::Library lib{digest::library_under_test()};
  decltype(&Pelvarin_fmiInstantiateSlave) instantiate =
      lib.get<decltype(&Pelvarin_fmiInstantiateSlave)>("Pelvarin_fmiInstantiateSlave");
  decltype(&Pelvarin_fmiInitializeSlave) initialize =
      lib.get<decltype(&Pelvarin_fmiInitializeSlave)>("Pelvarin_fmiInitializeSlave");
  decltype(&Pelvarin_fmiDoStep) do_step = lib.get<decltype(&Pelvarin_fmiDoStep)>("Pelvarin_fmiDoStep");
  decltype(&Pelvarin_fmiGetReal) get_real = lib.get<decltype(&Pelvarin_fmiGetReal)>("Pelvarin_fmiGetReal");
  decltype(&Pelvarin_fmiTerminateSlave) terminate =
      lib.get<decltype(&Pelvarin_fmiTerminateSlave)>("Pelvarin_fmiTerminateSlave");
  decltype(&Pelvarin_fmiFreeSlaveInstance) free_instance =
      lib.get<decltype(&Pelvarin_fmiFreeSlaveInstance)>("Pelvarin_fmiFreeSlaveInstance");

  // The default experiment at communication step h; digests of the states
  // after every step (with each step's status).
  digest::Digest run(double h, fmiBoolean loggingOn) {
    digest::Digest states;
    fmiCoSimCallbackFunctions cb = {digest::logger, host::allocate, host::free_block, nullptr};
    fmiComponent c = instantiate("golden", PELVARIN_GUID, "", "application/x-fmu-sharedlibrary",
                                 0.0, fmiFalse, fmiFalse, cb, loggingOn);
    EXPECT_NE(nullptr, c);
    if (c == nullptr) return states;
    const double stop = model_vars::kDefaultStopTime;
    EXPECT_EQ(fmiOK, initialize(c, 0.0, fmiTrue, stop));
    const fmiValueReference vr[2] = {model_vars::state(0), model_vars::state(1)};
    const long n = static_cast<long>(stop / h + 0.5);
    double t = 0.0;
    for (long i = 1; i <= n; ++i) {
      const double next = i == n ? stop : static_cast<double>(i) * h;
      const fmiStatus s = do_step(c, t, next - t, fmiTrue);
      states.add(static_cast<double>(s));
      double x[2] = {0.0, 0.0};
      EXPECT_EQ(fmiOK, get_real(c, vr, 2, x));
      states.add(x[0]);
      states.add(x[1]);
      t = next;
    }
    EXPECT_EQ(fmiOK, terminate(c));
    free_instance(c);
    return states;
  }
};

class CoSimulationGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(CoSimulationGolden, StatesAndLogLinesAreThoseRecorded) {
  const GoldenCase& g = GetParam();
  Slave slave;
  ASSERT_NE(nullptr, slave.instantiate);
  digest::logged() = digest::Digest();
  const digest::Digest withLogging = slave.run(g.step, fmiTrue);
  EXPECT_EQ(g.states, withLogging.text()) << "states, logging on, step " << g.step;
  EXPECT_EQ(g.logs, digest::logged().text()) << "log lines, step " << g.step;
  const digest::Digest quiet = slave.run(g.step, fmiFalse);
  EXPECT_EQ(g.states, quiet.text()) << "states, logging off, step " << g.step;
}

INSTANTIATE_TEST_SUITE_P(
    Steps, CoSimulationGolden,
    ::testing::Values(GoldenCase{0.001, "35109346130f8b04/30000", "77ad43032ecb6e85/51921"},
                      GoldenCase{0.01, "e329f48630b15fd2/3000", "003e48961d0b5dc4/6944"},
                      GoldenCase{0.1, "12fcdaa15b51164c/300", "c8dfffefb01c2d32/2450"},
                      GoldenCase{0.25, "d214390c965b9478/120", "0b57c43ee3f2466e/2152"},
                      GoldenCase{1.0, "f313c0c2f6a55dcf/30", "ed23714eef8b7711/2002"},
                      GoldenCase{2.5, "3fe88d7214a2c4fe/12", "f3081567f17e981a/1972"}));

}  // namespace
