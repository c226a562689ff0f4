// The slave's states at every communication point against the model's
// closed-form solution, for communication steps from much shorter than a
// pulse to longer than a period.
#include "slave_fixture.h"

using namespace cosim_test;

namespace {

struct Schedule {
  double step;
  double end;
  double startTime = 0.0;  // of the dosing; 0 keeps the model's own
  double tStart = 0.0;
};

class Accuracy : public ::testing::TestWithParam<Schedule> {};

TEST_P(Accuracy, StatesFollowTheClosedFormAtEveryCommunicationPoint) {
  const Schedule run = GetParam();
  SlaveApi api;
  host::Instance c = api.make(fmiFalse);
  ASSERT_NE(nullptr, c);
  ClosedForm model;
  if (run.startTime != 0.0) {
    const fmiValueReference vr = parameter(P_START);
    ASSERT_EQ(fmiOK, api.set_real(c, &vr, 1, &run.startTime));
    model.start = run.startTime;
  }
  ASSERT_EQ(fmiOK, api.initialize(c, run.tStart, fmiTrue, run.end));

  ClosedForm::State expected{0.0, 0.0};
  double t = run.tStart;
  double worst = 0.0;
  const long n = static_cast<long>(std::ceil((run.end - run.tStart) / run.step - 1e-9));
  for (long i = 1; i <= n; ++i) {
    double next = std::fmin(run.tStart + i * run.step, run.end);
    ASSERT_EQ(fmiOK, api.do_step(c, t, next - t, fmiTrue)) << "step " << i << "\n"
                                                            << host::all_logs();
    ASSERT_EQ(next, api.time(c));
    expected = model.solve(expected, t, next);
    t = next;
    const double x0 = api.real(c, VR_X0);
    const double x1 = api.real(c, VR_X1);
    worst = std::fmax(worst, std::fabs(x0 - expected.x0));
    worst = std::fmax(worst, std::fabs(x1 - expected.x1));
    ASSERT_NEAR(expected.x0, x0, 1e-3) << "at t = " << t;
    ASSERT_NEAR(expected.x1, x1, 1e-3) << "at t = " << t;
  }
  RecordProperty("worst_error", std::to_string(worst));
  EXPECT_EQ(fmiOK, api.terminate(c));
  api.free_instance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

INSTANTIATE_TEST_SUITE_P(
    CommunicationSteps, Accuracy,
    ::testing::Values(Schedule{0.001, 3.0}, Schedule{0.01, 5.0}, Schedule{0.037, 5.0},
                      Schedule{0.05, 5.0}, Schedule{0.1, 5.0}, Schedule{0.25, 5.0},
                      Schedule{0.7, 6.0}, Schedule{1.0, 6.0}, Schedule{1.3, 6.5},
                      Schedule{2.5, 7.5}, Schedule{3.3, 10.0},
                      // Dosing that starts later than the run: one more time event,
                      // also one that falls on the initial time.
                      Schedule{0.05, 4.0, 0.35}, Schedule{0.7, 6.0, 1.234},
                      Schedule{2.0, 8.0, 0.5, 0.2}, Schedule{0.1, 4.0, 0.5, 0.5}));

}  // namespace
