#include <gtest/gtest.h>

#include <cmath>

#include "foundation_recorder.h"

namespace {

// A stiff pair: y0' = -y0, y1' = -100 (y1 - cos y0).
int stiffRhs(double, N_Vector y, N_Vector ydot, void*) {
  double* a = N_VGetArrayPointer(y);
  double* d = N_VGetArrayPointer(ydot);
  d[0] = -a[0];
  d[1] = -100 * (a[1] - std::cos(a[0]));
  return 0;
}

struct UserData {
  int jacobianCalls = 0;
};

int stiffJacobian(int, double, N_Vector y, N_Vector, DlsMat J, void* data, N_Vector, N_Vector,
                  N_Vector) {
  auto* ud = static_cast<UserData*>(data);
  ud->jacobianCalls++;
  double* a = N_VGetArrayPointer(y);
  J->cols[0][0] = -1;
  J->cols[0][1] = -100 * std::sin(a[0]);
  J->cols[1][1] = -100;
  return 0;
}

// Integrates to t = 3 with the dense solver, with the built-in or the
// caller's Jacobian; returns y0 there.
double integrate(bool userJacobian, UserData& ud, int& jacobianEvals) {
  double x[2] = {1, 1};
  N_Vector y = N_VMake_Serial(2, x);
  N_Vector atol = N_VNew_Serial(2);
  N_VConst(1e-10, atol);
  void* mem = MstepCreate(MS_BDF, MS_NEWTON);
  EXPECT_EQ(MstepInit(mem, stiffRhs, 0, y), MS_SUCCESS);
  EXPECT_EQ(MstepSetUserData(mem, &ud), MS_SUCCESS);
  EXPECT_EQ(MstepSVtolerances(mem, 1e-8, atol), MS_SUCCESS);
  EXPECT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  if (userJacobian) {
    EXPECT_EQ(MsDlsSetDenseJacFn(mem, stiffJacobian), MSDLS_SUCCESS);
  }
  EXPECT_EQ(MstepSetMaxNumSteps(mem, 100000), MS_SUCCESS);
  double t = 0;
  EXPECT_EQ(Mstep(mem, 3.0, y, &t, MS_NORMAL), MS_SUCCESS);
  EXPECT_EQ(t, 3.0);
  MsDlsGetNumJacEvals(mem, &jacobianEvals);
  MstepFree(&mem);
  N_VDestroy_Serial(y);
  N_VDestroy_Serial(atol);
  return x[0];
}

TEST(FoundationNewtonIntegration, BothJacobiansIntegrateAStiffProblem) {
  UserData builtIn, user;
  int evalsBuiltIn = 0, evalsUser = 0;
  double a = integrate(false, builtIn, evalsBuiltIn);
  double b = integrate(true, user, evalsUser);
  EXPECT_NEAR(a, std::exp(-3.0), 1e-6);
  EXPECT_NEAR(b, std::exp(-3.0), 1e-6);
  EXPECT_EQ(builtIn.jacobianCalls, 0);
  EXPECT_GT(evalsBuiltIn, 0);
  EXPECT_EQ(user.jacobianCalls, evalsUser);
  EXPECT_GT(evalsUser, 0);
}

}  // namespace
