// The stepper's integrator callbacks, flag checks and set-up seen from
// inside: the core archive is linked directly, so the driver and the
// integrator can be looked at and provoked.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "cosim/communication_step.h"
#include "cosim/integrator_callbacks.h"
#include "cosim/integrator_setup.h"
#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "fmi/model_instance.h"
#include "integrator/allocation.h"
#include "integrator/dense_solver.h"
#include "support/fmu_host.h"

using namespace pelvarin;

namespace {

const char* const STATISTICS = "Mstep Integrator Statistics";

long count_logs(const std::string& text) {
  return static_cast<long>(host::logs_containing(text).size());
}

// A slave of the linked core, freed when the handle goes.
host::Instance instantiate_linked_slave() {
  return {fmiInstantiateSlave("linked", PELVARIN_GUID, "", "", 0.0, fmiFalse, fmiFalse,
                              host::cs_callbacks(), fmiTrue),
          fmiFreeSlaveInstance};
}

// A slave of the linked core, initialized at 0 and stepped to tNow.
struct LinkedSlave {
  host::Instance c;
  ModelInstance* m = nullptr;

  explicit LinkedSlave(double tNow = 0.0) {
    c = instantiate_linked_slave();
    m = static_cast<ModelInstance*>(c.get());
    EXPECT_NE(nullptr, m);
    EXPECT_EQ(fmiOK, fmiInitializeSlave(c, 0.0, fmiFalse, 0.0));
    if (tNow > 0) {
      EXPECT_EQ(fmiOK, fmiDoStep(c, 0.0, tNow, fmiTrue));
    }
  }
  IntegratorDriver* driver() const { return m->integrator; }
};

struct Vector {
  N_Vector v;
  explicit Vector(int n, double fill = 0.0) : v(N_VNew_Serial(n)) { N_VConst(fill, v); }
  ~Vector() { N_VDestroy_Serial(v); }
  double& operator[](int i) { return N_VGetArrayPointer(v)[i]; }
};

TEST(ModelCallbacks, EvaluateAtTheIntegratorsPointAndRestoreTheInstance) {
  LinkedSlave s(0.05);  // inside the first pulse
  double* x = s.m->x;
  const double time = s.m->time;
  const double x0 = x[0];
  Vector y(2), ydot(2);
  y[0] = 0.25;
  y[1] = 0.5;
  const int calls = s.driver()->derivativeCalls;
  EXPECT_EQ(0, integrator_derivatives(0.07, y.v, ydot.v, s.m));
  EXPECT_DOUBLE_EQ(10.0 - 10.0 * 0.25, ydot[0]);  // dose minus transfer
  EXPECT_DOUBLE_EQ(10.0 * 0.25 - 0.5, ydot[1]);   // transfer minus elimination
  EXPECT_EQ(calls + 1, s.driver()->derivativeCalls);
  EXPECT_EQ(x, s.m->x);
  EXPECT_EQ(time, s.m->time);
  EXPECT_EQ(x0, x[0]);

  double g[2] = {0, 0};
  EXPECT_EQ(0, integrator_root_functions(0.07, y.v, g, s.m));
  EXPECT_LT(g[0], 0.0);  // between two period starts
  EXPECT_GT(g[1], 0.0);
  EXPECT_EQ(x, s.m->x);
  EXPECT_EQ(time, s.m->time);

  // A failing evaluation restores as well.
  s.m->p[9] = 0.0;  // the compartment volume divides
  EXPECT_EQ(1, integrator_derivatives(0.07, y.v, ydot.v, s.m));
  EXPECT_EQ(-1, integrator_root_functions(0.07, y.v, g, s.m));
  EXPECT_EQ(x, s.m->x);
  EXPECT_EQ(time, s.m->time);
  s.m->p[9] = 10.0;
}

TEST(ModelCallbacks, InputsAreInterpolatedDuringTheEvaluationOnly) {
  LinkedSlave s(0.05);
  // The model has no inputs; its one spare input slot stands in for one.
  s.m->nu = 1;
  IntegratorDriver* d = s.driver();
  d->inputDer[0] = 2.0;
  d->inputRef[0] = 3.0;
  d->inputRefTime = 0.0;
  d->inputDerValid = 1;
  interpolate_inputs(s.m, 0.05);
  EXPECT_DOUBLE_EQ(3.1, s.m->u[0]);
  Vector y(2, 0.1), ydot(2);
  EXPECT_EQ(0, integrator_derivatives(1.0, y.v, ydot.v, s.m));
  EXPECT_DOUBLE_EQ(3.1, s.m->u[0]);  // back at the instance time
  s.m->u[0] = 7.0;
  update_input_reference(s.m, 0);
  EXPECT_EQ(7.0, d->inputRef[0]);
  update_input_reference(s.m, 1);  // beyond the inputs: nothing
  d->inputDerValid = 0;
  interpolate_inputs(s.m, 2.0);
  EXPECT_EQ(7.0, s.m->u[0]);
  s.m->nu = 0;
}

TEST(ModelCallbacks, StepEventFollowsTheModelsRequest) {
  LinkedSlave s;
  EXPECT_EQ(0, integrator_step_event(s.m));
  s.m->intOptions[6] = 1;
  EXPECT_EQ(1, integrator_step_event(s.m));
  s.m->intOptions[6] = 0;
}

struct JacobianCall {
  Vector y{2}, fy{2}, t1{2}, t2{2}, t3{2};
  DlsMat J = NewDenseMat(2, 2);
  ~JacobianCall() { DestroyMat(J); }
};

// A callback leaves the trial point's values in the instance's arrays: the
// next read evaluates the instance's own point again.
TEST(ModelCallbacks, AReadAfterACallbackSeesTheInstancesOwnPoint) {
  enum Callback { DERIVATIVES, ROOTS, JACOBIAN };
  for (Callback callback : {DERIVATIVES, ROOTS, JACOBIAN}) {
    SCOPED_TRACE(callback);
    LinkedSlave s(0.05);
    const fmiValueReference concentration = 0x26000000;  // x[1] / Vd
    double own = -1.0, der[2];
    ASSERT_EQ(fmiOK, fmiGetReal(s.c, &concentration, 1, &own));
    ASSERT_EQ(fmiOK, fmiGetDerivatives(s.c, der, 2));
    JacobianCall j;
    j.y[0] = 0.25;
    j.y[1] = 0.5;
    double g[2];
    if (callback == ROOTS) {
      EXPECT_EQ(0, integrator_root_functions(0.07, j.y.v, g, s.m));
    } else {
      ASSERT_EQ(0, integrator_derivatives(0.07, j.y.v, j.fy.v, s.m));
    }
    if (callback == JACOBIAN) {
      EXPECT_EQ(0, integrator_dense_jacobian(2, 0.07, j.y.v, j.fy.v, j.J, s.m, j.t1.v, j.t2.v, j.t3.v));
    }
    double again = -1.0, derAgain[2];
    ASSERT_EQ(fmiOK, fmiGetReal(s.c, &concentration, 1, &again));
    ASSERT_EQ(fmiOK, fmiGetDerivatives(s.c, derAgain, 2));
    EXPECT_EQ(own, again);
    EXPECT_EQ(s.m->x[1] / 10.0, again);
    EXPECT_EQ(der[0], derAgain[0]);
    EXPECT_EQ(der[1], derAgain[1]);
  }
}

// A derivative that is no finite number would enter the integrator's
// history; it fails the evaluation instead, so that the step is retried.
TEST(ModelCallbacks, ANonFiniteDerivativeIsAFailedEvaluation) {
  LinkedSlave s(0.05);
  Vector y(2), ydot(2);
  y[0] = 1e308;  // -10 * x0 overflows
  EXPECT_EQ(1, integrator_derivatives(0.07, y.v, ydot.v, s.m));
  y[0] = 0.25;
  s.m->p[1] = NAN;  // the pulse amplitude
  EXPECT_EQ(1, integrator_derivatives(0.07, y.v, ydot.v, s.m));
  s.m->p[1] = 10.0;
  EXPECT_EQ(0, integrator_derivatives(0.07, y.v, ydot.v, s.m));
  EXPECT_DOUBLE_EQ(10.0 - 2.5, ydot[0]);
}

TEST(Jacobian, DifferenceQuotientsOfTheLinearModelCostTwoDerivativeCalls) {
  LinkedSlave s(0.3);
  JacobianCall j;
  j.y[0] = 0.4;
  j.y[1] = -0.2;  // a negative state takes a negative increment
  ASSERT_EQ(0, integrator_derivatives(0.3, j.y.v, j.fy.v, s.m));
  const int calls = s.driver()->derivativeCalls;
  const int jacobians = s.driver()->jacobianCalls;
  double* t2data = N_VGetArrayPointer(j.t2.v);

  EXPECT_EQ(0, integrator_dense_jacobian(2, 0.3, j.y.v, j.fy.v, j.J, s.m, j.t1.v, j.t2.v, j.t3.v));
  EXPECT_NEAR(-10.0, j.J->cols[0][0], 1e-6);
  EXPECT_NEAR(10.0, j.J->cols[0][1], 1e-6);
  EXPECT_NEAR(0.0, j.J->cols[1][0], 1e-6);
  EXPECT_NEAR(-1.0, j.J->cols[1][1], 1e-6);
  EXPECT_EQ(calls + 2, s.driver()->derivativeCalls);
  EXPECT_EQ(jacobians + 1, s.driver()->jacobianCalls);
  EXPECT_EQ(0, s.m->intOptions[3]);
  EXPECT_EQ(t2data, N_VGetArrayPointer(j.t2.v));
  EXPECT_EQ(0.4, j.y[0]);
  EXPECT_EQ(-0.2, j.y[1]);
}

TEST(Jacobian, AColumnWhoseFiveDerivativeCallsFailGivesUpWithTheStateRestored) {
  LinkedSlave s(0.3);
  JacobianCall j;
  j.y[0] = 0.4;
  j.y[1] = 0.2;
  ASSERT_EQ(0, integrator_derivatives(0.3, j.y.v, j.fy.v, s.m));
  const int calls = s.driver()->derivativeCalls;
  const int jacobians = s.driver()->jacobianCalls;
  s.m->p[9] = 0.0;
  EXPECT_EQ(1, integrator_dense_jacobian(2, 0.3, j.y.v, j.fy.v, j.J, s.m, j.t1.v, j.t2.v, j.t3.v));
  EXPECT_EQ(calls + 5, s.driver()->derivativeCalls);
  EXPECT_EQ(jacobians + 1, s.driver()->jacobianCalls);
  EXPECT_EQ(0, s.m->intOptions[3]);
  EXPECT_EQ(0.4, j.y[0]);
  EXPECT_EQ(0.2, j.y[1]);
  s.m->p[9] = 10.0;
}

TEST(Jacobian, IncrementsFromTheErrorWeightsAndTheStep) {
  LinkedSlave s(0.3);
  Vector y(2), fy(2, 0.0);
  double srur = 0, minInc = 0;
  EXPECT_EQ(0, jacobian_increments(y.v, s.m, fy.v, &srur, &minInc));
  EXPECT_EQ(0x1p-26, srur);
  EXPECT_EQ(1.0, minInc);  // a zero right-hand side
  EXPECT_EQ(0, jacobian_group_count);
}

// An integration that fails after some progress leaves the last accepted
// solution in the states, and the time they belong to.
TEST(FailedIntegration, LeavesTheStatesWithTheirTime) {
  LinkedSlave s(0.3);
  ASSERT_EQ(0, MstepSetMaxNumSteps(s.driver()->mstep_mem, 3));  // too few to reach 0.9
  EXPECT_EQ(fmiError, fmiDoStep(s.c, 0.3, 0.6, fmiTrue));
  EXPECT_EQ(1, count_logs("INTEGRATOR_ERROR: Mstep() failed with flag = MS_TOO_MUCH_WORK"));
  EXPECT_GT(s.m->time, 0.3);
  EXPECT_LT(s.m->time, 0.9);
  // The model's closed form: a decay after the pulse has ended at 0.1.
  const double x0at03 = (1.0 - std::exp(-1.0)) * std::exp(-10.0 * 0.2);
  EXPECT_NEAR(x0at03 * std::exp(-10.0 * (s.m->time - 0.3)), s.m->x[0], 1e-4);
}

TEST(Statistics, CountersOfAVeryLongRunStopAtTheirLimit) {
  LinkedSlave s(0.3);
  IntegratorDriver* d = s.driver();
  d->derivativeCalls = INT32_MAX;
  d->jacobianCalls = INT32_MAX;
  d->externalSteps = INT32_MAX;
  d->internalSteps = INT32_MAX;
  // Over a period start and a pulse end: derivatives, Jacobians, restarts.
  ASSERT_EQ(fmiOK, fmiDoStep(s.c, 0.3, 1.0, fmiTrue));
  EXPECT_EQ(INT32_MAX, d->derivativeCalls);
  EXPECT_EQ(INT32_MAX, d->jacobianCalls);
  EXPECT_EQ(INT32_MAX, d->externalSteps);
  EXPECT_EQ(INT32_MAX, d->internalSteps);
  ASSERT_EQ(fmiOK, fmiTerminateSlave(s.c));
  EXPECT_EQ(1, count_logs("    Number of external steps                 : 2147483647\n"));
  EXPECT_EQ(1, count_logs("    Number of Jac function evaluations       : 2147483647\n"));
}

struct FlagCase {
  int kind;
  bool nullPointer;
  int flag;
  const char* name;
  int result;
  const char* message;  // nullptr: nothing logged
};

class FlagCheck : public ::testing::TestWithParam<FlagCase> {};

TEST_P(FlagCheck, LogsFailuresAndReleasesTheFlagNames) {
  const FlagCase& tc = GetParam();
  LinkedSlave s;
  const size_t before = host::record().logs.size();
  const long live = msLiveAllocations();
  int dummy = 0;
  const void* value = tc.kind == CS_CHECK_POINTER ? (tc.nullPointer ? nullptr : &dummy)
                                                  : static_cast<const void*>(&tc.flag);
  EXPECT_EQ(tc.result, check_integrator_flag(value, tc.name, tc.kind, s.m));
  EXPECT_EQ(live, msLiveAllocations());
  if (tc.message) {
    ASSERT_EQ(before + 1, host::record().logs.size());
    EXPECT_EQ(tc.message, host::record().logs.back().message);
    EXPECT_EQ(fmiError, host::record().logs.back().status);
  } else {
    EXPECT_EQ(before, host::record().logs.size());
  }
}

INSTANTIATE_TEST_SUITE_P(
    Stepper, FlagCheck,
    ::testing::Values(
        FlagCase{CS_CHECK_POINTER, true, 0, "MstepCreate", 1,
                 "INTEGRATOR_ERROR: MstepCreate() failed - returned NULL pointer"},
        FlagCase{CS_CHECK_POINTER, false, 0, "MstepCreate", 0, nullptr},
        FlagCase{CS_CHECK_FLAG, false, -27, "Mstep", 1,
                 "INTEGRATOR_ERROR: Mstep() failed with flag = MS_TOO_CLOSE"},
        FlagCase{CS_CHECK_FLAG, false, -3, "MsDense", 1,
                 "INTEGRATOR_ERROR: MsDense() failed with flag = MS_ERR_FAILURE"},
        FlagCase{CS_CHECK_FLAG, false, -15, "Mstep", 1,
                 "INTEGRATOR_ERROR: Mstep() failed with flag = NONE"},
        FlagCase{CS_CHECK_FLAG, false, 0, "Mstep", 0, nullptr},
        FlagCase{CS_CHECK_FLAG, false, 2, "Mstep", 0, nullptr},
        FlagCase{2, false, -1, "Mstep", 0, nullptr}));

TEST(ErrorHandler, ForwardsTheIntegratorsMessagesAsWarnings) {
  LinkedSlave s;
  const long live = msLiveAllocations();
  integrator_error_handler(MS_WARNING, "MSTEP", "Mstep", "t + h = t", s.m);
  integrator_error_handler(MS_CONV_FAILURE, "MSTEP", "Mstep", "no convergence", s.m);
  EXPECT_EQ(live, msLiveAllocations());
  ASSERT_EQ(1, count_logs("MSTEP: Mstep failed with NONE:\n t + h = t"));
  ASSERT_EQ(1, count_logs("MSTEP: Mstep failed with MS_CONV_FAILURE:\n no convergence"));
  EXPECT_EQ(fmiWarning, host::record().logs.back().status);
}

TEST(DeferredRelease, ATerminationInsideAnIntegratorCallWaitsForItsReturn) {
  LinkedSlave s(0.3);
  IntegratorDriver* d = s.driver();
  begin_integrator_call(d);
  EXPECT_EQ(fmiOK, fmiTerminateSlave(s.c));
  // The integrator is still there for the call in progress, which now stops.
  EXPECT_EQ(d, s.m->integrator);
  EXPECT_NE(nullptr, d->mstep_mem);
  EXPECT_EQ(INSTANCE_TERMINATED, s.m->state);
  EXPECT_EQ(0, count_logs(STATISTICS));
  Vector y(2, 0.1), ydot(2);
  EXPECT_LT(integrator_derivatives(0.3, y.v, ydot.v, s.m), 0);
  EXPECT_EQ(1, end_integrator_call(s.m));
  EXPECT_EQ(nullptr, s.m->integrator);
  EXPECT_EQ(1, count_logs(STATISTICS));
}

TEST(DeferredRelease, NothingIsHeldBackOutsideAnIntegratorCall) {
  LinkedSlave s(0.3);
  begin_integrator_call(s.driver());
  EXPECT_EQ(0, end_integrator_call(s.m));
  EXPECT_NE(nullptr, s.m->integrator);
  EXPECT_EQ(fmiOK, fmiTerminateSlave(s.c));
  EXPECT_EQ(nullptr, s.m->integrator);
}

TEST(Setup, FreeingAnInitializedSlaveReleasesItsIntegrator) {
  const long live = msLiveAllocations();
  {
    LinkedSlave s(1.5);
    EXPECT_GT(msLiveAllocations(), live);
  }
  EXPECT_EQ(live, msLiveAllocations());
  EXPECT_EQ(0, host::record().live_blocks);
}

// The model has no inputs or outputs; its one spare slot of each stands in
// for one, so that the derivative functions get past their count check.
TEST(SlaveDerivatives, RefusedWithoutADriverAndForWrongReferencesOrOrders) {
  struct Case {
    const char* what;
    bool input;  // fmiSetRealInputDerivatives, else fmiGetRealOutputDerivatives
    bool initialized;
    double tStart, step;  // the set-up and the step taken after it, if any
    fmiValueReference vr;
    const fmiInteger* order;
    fmiStatus expected;
    const char* message;  // logged once
  };
  static const fmiInteger zero = 0, one = 1, two = 2;
  const fmiValueReference input = 0x05000000, output = 0x04000000;
  const Case cases[] = {
      {"input, not initialized", true, false, 0.0, 0.0, input, &one, fmiError,
       "fmiSetRealInputDerivatives: the slave is not initialized"},
      {"input, no orders", true, true, 0.0, 0.0, input, nullptr, fmiError,
       "fmiSetRealInputDerivatives: NULL array argument with nvr = 1"},
      {"input, beyond the inputs", true, true, 0.0, 0.0, 0x05000001, &one, fmiDiscard,
       "fmiSetRealInputDerivatives: variable is not input"},
      {"input, a state", true, true, 0.0, 0.0, 0x02000000, &one, fmiDiscard,
       "fmiSetRealInputDerivatives: variable is not input"},
      {"input, order 2", true, true, 0.0, 0.0, input, &two, fmiDiscard,
       "fmiSetRealInputDerivatives: derivative order 2 is not supported"},
      {"output, not initialized", false, false, 0.0, 0.0, output, &one, fmiError,
       "fmiGetRealOutputDerivatives: the slave is not initialized"},
      {"output, order 0", false, true, 2.0, 0.5, output, &zero, fmiDiscard,
       "fmiGetRealOutputDerivatives: derivative order 0 is not allowed"},
      {"output, beyond the outputs", false, true, 2.0, 0.5, 0x04000001, &one, fmiDiscard,
       "fmiGetRealOutputDerivatives: variable is not output"},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    host::reset_record();
    host::Instance c = instantiate_linked_slave();
    ModelInstance* m = static_cast<ModelInstance*>(c.get());
    ASSERT_NE(nullptr, m);
    if (!k.input) m->ny = 1;
    if (k.initialized) {
      ASSERT_EQ(fmiOK, fmiInitializeSlave(c, k.tStart, fmiFalse, 0.0));
      if (k.step > 0) {
        ASSERT_EQ(fmiOK, fmiDoStep(c, k.tStart, k.step, fmiTrue));
      }
    }
    if (k.input) m->nu = 1;
    double value = 4.0;
    const fmiStatus r = k.input ? fmiSetRealInputDerivatives(c, &k.vr, 1, k.order, &value)
                                : fmiGetRealOutputDerivatives(c, &k.vr, 1, k.order, &value);
    EXPECT_EQ(k.expected, r);
    EXPECT_EQ(1, count_logs(k.message)) << host::all_logs();
    if (k.input && k.initialized) {
      EXPECT_EQ(0, m->integrator->inputDerValid);
    }
    m->nu = 0;
    m->ny = 0;
  }
}

TEST(InputDerivatives, ApplyToTheNextStepAndEndWithIt) {
  host::Instance c = instantiate_linked_slave();
  ModelInstance* m = static_cast<ModelInstance*>(c.get());
  ASSERT_EQ(fmiOK, fmiInitializeSlave(c, 0.0, fmiFalse, 0.0));
  m->nu = 1;
  IntegratorDriver* d = m->integrator;
  const fmiValueReference input = 0x05000000;
  const fmiInteger order = 1;
  const double value = 4.0;
  m->u[0] = 1.5;
  EXPECT_EQ(fmiOK, fmiSetRealInputDerivatives(c, &input, 1, &order, &value));
  EXPECT_EQ(1, d->inputDerValid);
  EXPECT_EQ(4.0, d->inputDer[0]);
  EXPECT_EQ(1.5, d->inputRef[0]);
  EXPECT_EQ(0.0, d->inputRefTime);
  // A step applies them and then ends them.
  EXPECT_EQ(fmiOK, fmiDoStep(c, 0.0, 0.05, fmiTrue));
  EXPECT_DOUBLE_EQ(1.5 + 4.0 * 0.05, m->u[0]);
  EXPECT_EQ(0, d->inputDerValid);
  m->nu = 0;
  fmiFreeSlaveInstance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

// The first estimate starts from the outputs and the time of the set-up.
TEST(OutputDerivatives, EstimatedFromTheOutputsAtTheLastSegmentStart) {
  host::Instance c = instantiate_linked_slave();
  ModelInstance* m = static_cast<ModelInstance*>(c.get());
  m->ny = 1;
  const fmiValueReference output = 0x04000000;
  fmiInteger order = 1;
  double value = 9.0;
  m->y[0] = 3.0;
  ASSERT_EQ(fmiOK, fmiInitializeSlave(c, 2.0, fmiFalse, 0.0));
  EXPECT_EQ(2.0, m->integrator->prevOutputTime);
  EXPECT_EQ(3.0, m->integrator->prevOutputs[0]);
  EXPECT_EQ(fmiOK, fmiGetRealOutputDerivatives(c, &output, 1, &order, &value));
  EXPECT_EQ(0.0, value);
  EXPECT_EQ(1, count_logs(
                   "fmiGetRealOutputDerivatives: time interval for estimate is 0.000000, returning 0"));
  ASSERT_EQ(fmiOK, fmiDoStep(c, 2.0, 0.5, fmiTrue));
  m->y[0] = m->integrator->prevOutputs[0] + 2.0 * (m->time - m->integrator->prevOutputTime);
  m->computedLevel = 1;  // keep the value set above
  value = 0.0;
  EXPECT_EQ(fmiOK, fmiGetRealOutputDerivatives(c, &output, 1, &order, &value));
  EXPECT_DOUBLE_EQ(2.0, value);
  order = 3;
  EXPECT_EQ(fmiOK, fmiGetRealOutputDerivatives(c, &output, 1, &order, &value));
  EXPECT_EQ(0.0, value);
  m->ny = 0;
}

TEST(Setup, AModelWithoutStatesGetsOneDummyStateAndADenseSolverOfThatSize) {
  host::Instance c = instantiate_linked_slave();
  ModelInstance* m = static_cast<ModelInstance*>(c.get());
  m->nx = 0;
  ASSERT_EQ(fmiOK, fmiInitializeSlave(c, 0.0, fmiFalse, 0.0));
  EXPECT_EQ(1u, m->nx);
  EXPECT_EQ(0.0, m->x[0]);
  EXPECT_EQ(1.0, m->xNominal[0]);
  EXPECT_EQ(1, static_cast<N_VectorContent_Serial>(m->integrator->stateVector->content)->length);
  const MstepMem mem = static_cast<MstepMem>(m->integrator->mstep_mem);
  EXPECT_EQ(1, static_cast<MsDlsMem>(mem->lsMem)->size);
  fmiFreeSlaveInstance(c.release());
  EXPECT_EQ(0, host::record().live_blocks);
}

TEST(Setup, ADriverForThisModel) {
  LinkedSlave s;
  IntegratorDriver* d = s.driver();
  ASSERT_NE(nullptr, d);
  EXPECT_EQ(2u, s.m->nx);
  EXPECT_EQ(2u, s.m->ni);
  EXPECT_EQ(N_VGetArrayPointer(d->stateVector), s.m->x);
  EXPECT_EQ(1e-5, N_VGetArrayPointer(d->absTol)[0]);
  EXPECT_EQ(1e-5, N_VGetArrayPointer(d->absTol)[1]);
  EXPECT_EQ(0, grouping_used);
  EXPECT_EQ(nullptr, d->storedJacobian);
  EXPECT_EQ(0, s.m->intOptions[4]);
}

TEST(Setup, EveryIntegratorAllocationFailureIsFatalAndReleasesEverything) {
  bool createFailureSeen = false;
  for (long k = 1; k < 200; ++k) {
    SCOPED_TRACE(k);
    host::reset_record();
    host::Instance c = instantiate_linked_slave();
    ModelInstance* m = static_cast<ModelInstance*>(c.get());
    ASSERT_NE(nullptr, m);
    const long live = msLiveAllocations();
    msFailAllocationAt(k);
    fmiStatus r = fmiInitializeSlave(c, 0.0, fmiFalse, 0.0);
    msFailAllocationAt(0);
    if (r == fmiOK) {
      EXPECT_GT(k, 5);
      fmiFreeSlaveInstance(c.release());
      EXPECT_EQ(live, msLiveAllocations());
      break;
    }
    EXPECT_EQ(fmiFatal, r);
    EXPECT_EQ(nullptr, m->integrator);
    EXPECT_EQ(INSTANCE_INSTANTIATED, m->state);
    EXPECT_EQ(live, msLiveAllocations());
    if (count_logs("INTEGRATOR_ERROR: MstepCreate() failed - returned NULL pointer") == 1) {
      createFailureSeen = true;
      EXPECT_EQ(0, count_logs(STATISTICS));
    }
    fmiFreeSlaveInstance(c.release());
    EXPECT_EQ(0, host::record().live_blocks);
  }
  EXPECT_TRUE(createFailureSeen);
}

}  // namespace
