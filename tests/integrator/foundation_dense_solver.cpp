#include <gtest/gtest.h>

#include <cmath>

#include "foundation_recorder.h"
#include "integrator/allocation.h"

using namespace pelvarin;

using foundation::Recorder;
using foundation::recordReport;
using foundation::valuesOf;
using foundation::vectorOf;

namespace {

// f(y) = (y1, 2 y0) (linear), or with a failure from a given call on.
struct RhsControl {
  int calls = 0;
  int failAtCall = 0;  // 0: never
  int failWith = 1;
};

int swapRhs(double, N_Vector y, N_Vector ydot, void* data) {
  auto* ctl = static_cast<RhsControl*>(data);
  ctl->calls++;
  if (ctl->failAtCall != 0 && ctl->calls >= ctl->failAtCall) return ctl->failWith;
  double* yd = N_VGetArrayPointer(y);
  double* fd = N_VGetArrayPointer(ydot);
  fd[0] = yd[1];
  fd[1] = 2 * yd[0];
  return 0;
}

// f(y) = (y0^2 + y1, sin(y0) * y1): Jacobian ((2 y0, 1), (cos(y0) y1, sin(y0))).
int nonlinearRhs(double, N_Vector y, N_Vector ydot, void*) {
  double* yd = N_VGetArrayPointer(y);
  double* fd = N_VGetArrayPointer(ydot);
  fd[0] = yd[0] * yd[0] + yd[1];
  fd[1] = std::sin(yd[0]) * yd[1];
  return 0;
}

struct JacControl {
  int calls = 0;
  int result = 0;
  double diagonal = 1;
  void* lastData = nullptr;
  bool sawZeroMatrix = true;
};

JacControl* g_jac = nullptr;  // the routine's own record, set per test

int userJac(int N, double, N_Vector, N_Vector, DlsMat J, void* data, N_Vector, N_Vector, N_Vector) {
  g_jac->calls++;
  g_jac->lastData = data;
  for (int j = 0; j < N; j++)
    for (int i = 0; i < N; i++)
      if (J->cols[j][i] != 0) g_jac->sawZeroMatrix = false;
  for (int j = 0; j < N; j++) J->cols[j][j] = g_jac->diagonal;
  return g_jac->result;
}

class FoundationDense : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline = msLiveAllocations();
    g_jac = &jac;
    y0 = vectorOf({1, 1});
    abstol = vectorOf({1e-6, 1e-6});
    mem = MstepCreate(MS_BDF, MS_NEWTON);
    ASSERT_NE(mem, nullptr);
    MstepSetErrHandlerFn(mem, recordReport, &rec);
    MstepSetUserData(mem, &rhs);
    ASSERT_EQ(MstepInit(mem, swapRhs, 0, y0), MS_SUCCESS);
    ASSERT_EQ(MstepSVtolerances(mem, 1e-4, abstol), MS_SUCCESS);
  }
  void TearDown() override {
    MstepFree(&mem);
    N_VDestroy(y0);
    N_VDestroy(abstol);
    g_jac = nullptr;
    EXPECT_EQ(msLiveAllocations(), baseline);
  }
  MstepMem m() { return static_cast<MstepMem>(mem); }
  MsDlsMem dls() { return static_cast<MsDlsMem>(m()->lsMem); }
  void attach(bool user) {
    ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
    if (user) {
      ASSERT_EQ(MsDlsSetDenseJacFn(mem, userJac), MSDLS_SUCCESS);
    }
    ASSERT_EQ(msDenseInit(m()), 0);
    m()->ewtSet(m()->nordsieck[0], m()->ewt, m());
    m()->gamma = m()->gammaPrev = 0.1;
  }
  int setup(int convfail, int* jcur) {
    m()->f(0, m()->nordsieck[0], m()->fTemp, m()->userData);  // f at the prediction
    return msDenseSetup(m(), convfail, m()->nordsieck[0], m()->fTemp, jcur, m()->correction,
                        m()->yWork ? m()->yWork : m()->tempVec, m()->tempVec);
  }

  long baseline = 0;
  Recorder rec;
  RhsControl rhs;
  JacControl jac;
  N_Vector y0 = nullptr;
  N_Vector abstol = nullptr;
  void* mem = nullptr;
};

TEST_F(FoundationDense, AttachInstallsHooks) {
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  EXPECT_EQ(m()->lsInit, msDenseInit);
  EXPECT_EQ(m()->lsSetup, msDenseSetup);
  EXPECT_EQ(m()->lsSolve, msDenseSolve);
  EXPECT_EQ(m()->lsFree, msDenseFree);
  EXPECT_EQ(m()->lsSetupPresent, 1);
  EXPECT_EQ(dls()->useDQJac, 1);
  EXPECT_EQ(dls()->size, 2);
  EXPECT_EQ(dls()->newtonMatrix->M, 2);
}

TEST_F(FoundationDense, Refusals) {
  struct Case {
    const char* name;
    int code;
    const char* module;
    const char* function;
    const char* message;
  };
  int n = 0;
  // Before the solver is attached.
  EXPECT_EQ(MsDlsSetDenseJacFn(mem, userJac), MSDLS_LMEM_NULL);
  EXPECT_EQ(MsDlsGetNumJacEvals(mem, &n), MSDLS_LMEM_NULL);
  // Sizes that the matrices cannot take or that mismatch the vectors.
  EXPECT_EQ(MsDense(mem, 0), MSDLS_MEM_FAIL);
  EXPECT_EQ(MsDense(mem, 3), MSDLS_ILL_INPUT);
  // Before MstepInit.
  void* fresh = MstepCreate(MS_BDF, MS_NEWTON);
  MstepSetErrHandlerFn(fresh, recordReport, &rec);
  EXPECT_EQ(MsDense(fresh, 2), MSDLS_ILL_INPUT);
  MstepFree(&fresh);
  // Vectors without array access.
  m()->tempVec->ops->nvsetarraypointer = nullptr;
  EXPECT_EQ(MsDense(mem, 2), MSDLS_ILL_INPUT);
  m()->tempVec->ops->nvsetarraypointer = N_VSetArrayPointer_Serial;
  // Attached: a NULL out-pointer.
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  EXPECT_EQ(MsDlsGetNumJacEvals(mem, nullptr), MSDLS_ILL_INPUT);

  const Case expected[] = {
      {"setter", MSDLS_LMEM_NULL, "MSDLS", "MsDlsSetDenseJacFn", "Linear solver memory is NULL."},
      {"getter", MSDLS_LMEM_NULL, "MSDLS", "MsDlsGetNumJacEvals", "Linear solver memory is NULL."},
      {"N = 0", MSDLS_MEM_FAIL, "MSDENSE", "MsDense", "A memory request failed."},
      {"N mismatch", MSDLS_ILL_INPUT, "MSDENSE", "MsDense", "Illegal value for N."},
      {"before init", MSDLS_ILL_INPUT, "MSDENSE", "MsDense", "Attempt to call before MstepInit."},
      {"no array access", MSDLS_ILL_INPUT, "MSDENSE", "MsDense",
       "A required vector operation is not implemented."},
      {"null out-pointer", MSDLS_ILL_INPUT, "MSDLS", "MsDlsGetNumJacEvals",
       "njevals = NULL illegal."},
  };
  ASSERT_EQ(rec.reports.size(), std::size(expected));
  for (size_t i = 0; i < std::size(expected); i++) {
    EXPECT_EQ(rec.reports[i].code, expected[i].code) << expected[i].name;
    EXPECT_EQ(rec.reports[i].module, expected[i].module) << expected[i].name;
    EXPECT_EQ(rec.reports[i].function, expected[i].function) << expected[i].name;
    EXPECT_EQ(rec.reports[i].message, expected[i].message) << expected[i].name;
  }
}

TEST_F(FoundationDense, JacobianReuseDecisionTable) {
  const struct {
    const char* name;
    int numSteps;
    int stepsAtLastJac;
    int convfail;
    double gammaRatio;
    bool evaluates;
  } cases[] = {
      {"first step", 0, 0, MS_CONVFAIL_NONE, 1.0, true},
      {"50 steps later", 60, 10, MS_CONVFAIL_NONE, 1.0, false},
      {"51 steps later", 61, 10, MS_CONVFAIL_NONE, 1.0, true},
      {"stale, gamma +10%", 20, 10, MS_CONVFAIL_BAD_JAC, 1.1, true},
      {"stale, gamma +25%", 20, 10, MS_CONVFAIL_BAD_JAC, 1.25, false},
      {"other failure", 20, 10, MS_CONVFAIL_OTHER, 1.0, true},
      {"other failure, gamma +25%", 20, 10, MS_CONVFAIL_OTHER, 1.25, true},
      {"no failure", 20, 10, MS_CONVFAIL_NONE, 1.25, false},
  };
  attach(true);
  for (const auto& c : cases) {
    // A saved Jacobian to reuse.
    m()->numSteps = 0;
    int jcur = -1;
    ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
    m()->numSteps = c.numSteps;
    dls()->stepsAtLastJac = c.stepsAtLastJac;
    m()->gammaPrev = 0.1;
    m()->gamma = 0.1 * c.gammaRatio;
    int before = dls()->numJacEvals;
    jac.diagonal = 2;  // a new evaluation would be seen in the matrix
    EXPECT_EQ(setup(c.convfail, &jcur), 0) << c.name;
    EXPECT_EQ(jcur, c.evaluates ? 1 : 0) << c.name;
    EXPECT_EQ(dls()->numJacEvals - before, c.evaluates ? 1 : 0) << c.name;
    // The factored matrix is I - gamma J with the J used: diagonal 1 - gamma d.
    double d = c.evaluates ? 2 : 1;
    EXPECT_DOUBLE_EQ(dls()->newtonMatrix->cols[0][0], 1 - m()->gamma * d) << c.name;
    if (c.evaluates) {
      EXPECT_EQ(dls()->stepsAtLastJac, c.numSteps) << c.name;
    }
    jac.diagonal = 1;
  }
  int n = 0;
  EXPECT_EQ(MsDlsGetNumJacEvals(mem, &n), MSDLS_SUCCESS);
  EXPECT_EQ(n, dls()->numJacEvals);
  EXPECT_TRUE(jac.sawZeroMatrix);
}

TEST_F(FoundationDense, JacobianFailures) {
  attach(true);
  int jcur = -1;
  jac.result = 1;
  EXPECT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 1);
  EXPECT_EQ(dls()->lastFlag, MSDLS_JAC_RECOVERABLE);
  EXPECT_EQ(dls()->numJacEvals, 1);
  EXPECT_TRUE(rec.reports.empty());

  jac.result = -1;
  EXPECT_EQ(setup(MS_CONVFAIL_NONE, &jcur), -1);
  EXPECT_EQ(dls()->lastFlag, MSDLS_JAC_UNRECOVERABLE);
  EXPECT_EQ(dls()->numJacEvals, 2);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].code, MSDLS_JAC_UNRECOVERABLE);
  EXPECT_EQ(rec.reports[0].module, "MSDENSE");
  EXPECT_EQ(rec.reports[0].function, "msDenseSetup");
  EXPECT_EQ(rec.reports[0].message, "The Jacobian routine failed in an unrecoverable manner.");
}

TEST_F(FoundationDense, SingularNewtonMatrixIsRecoverable) {
  attach(true);
  jac.diagonal = 2;
  m()->gamma = m()->gammaPrev = 0.5;  // I - 0.5 * 2I = 0
  int jcur = -1;
  EXPECT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 1);
  EXPECT_EQ(dls()->lastFlag, 1);
}

TEST_F(FoundationDense, SolveCompensatesAChangedGammaForBDFOnly) {
  attach(true);
  m()->gamma = m()->gammaPrev = 0.5;  // I - 0.5 I = 0.5 I: the solve doubles b
  int jcur = -1;
  ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
  const struct {
    int lmm;
    double ratio;
    double factor;
  } cases[] = {{MS_BDF, 0.5, 2 / 1.5}, {MS_BDF, 1.0, 1.0}, {MS_ADAMS, 0.5, 1.0}};
  for (const auto& c : cases) {
    m()->lmm = c.lmm;
    m()->gammaRatio = c.ratio;
    N_Vector b = vectorOf({1, 3});
    EXPECT_EQ(msDenseSolve(m(), b, m()->ewt, m()->tempVec, m()->fTemp), 0);
    EXPECT_EQ(valuesOf(b), (std::vector<double>{2 * c.factor, 6 * c.factor}))
        << c.lmm << " " << c.ratio;
    N_VDestroy(b);
  }
  EXPECT_DOUBLE_EQ(2 / 1.5, 1.3333333333333333);
}

TEST_F(FoundationDense, NoSolveWithoutTheFactorsOfACompletedSetup) {
  // Freshly attached, and after a setup that failed: the solve asks for a
  // new setup (recoverable) and leaves b alone.
  attach(true);
  N_Vector b = vectorOf({1, 3});
  EXPECT_EQ(msDenseSolve(m(), b, m()->ewt, m()->tempVec, m()->fTemp), 1);
  EXPECT_EQ(valuesOf(b), (std::vector<double>{1, 3}));
  int jcur = -1;
  ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
  EXPECT_EQ(msDenseSolve(m(), b, m()->ewt, m()->tempVec, m()->fTemp), 0);
  jac.result = 1;
  ASSERT_EQ(setup(MS_CONVFAIL_OTHER, &jcur), 1);
  EXPECT_EQ(msDenseSolve(m(), b, m()->ewt, m()->tempVec, m()->fTemp), 1);
  N_VDestroy(b);
}

TEST_F(FoundationDense, DifferenceQuotientsOfALinearRhs) {
  attach(false);
  int jcur = -1;
  m()->numSteps = 0;
  ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
  DlsMat J = dls()->savedJac;
  EXPECT_NEAR(J->cols[0][0], 0, 1e-6);
  EXPECT_NEAR(J->cols[0][1], 2, 1e-6);
  EXPECT_NEAR(J->cols[1][0], 1, 1e-6);
  EXPECT_NEAR(J->cols[1][1], 0, 1e-6);
  EXPECT_EQ(dls()->numRhsEvalsDQ, 2);
  EXPECT_EQ(dls()->jacData, mem);
}

TEST_F(FoundationDense, DifferenceQuotientsMatchAnAnalyticJacobian) {
  m()->f = nonlinearRhs;
  attach(false);
  double* y = N_VGetArrayPointer(m()->nordsieck[0]);
  y[0] = 0.7;
  y[1] = -1.3;
  m()->ewtSet(m()->nordsieck[0], m()->ewt, m());
  m()->h = 1e-3;
  N_Vector fy = vectorOf({0, 0});
  nonlinearRhs(0, m()->nordsieck[0], fy, nullptr);
  DlsMat J = NewDenseMat(2, 2);
  SetToZero(J);
  N_Vector tmp1 = N_VClone(fy), tmp2 = N_VClone(fy);
  double* own = N_VGetArrayPointer(tmp2);
  ASSERT_EQ(msDenseDQJac(2, 0, m()->nordsieck[0], fy, J, m(), tmp1, tmp2, nullptr), 0);
  EXPECT_EQ(N_VGetArrayPointer(tmp2), own);
  EXPECT_NEAR(J->cols[0][0], 2 * 0.7, 1e-6);
  EXPECT_NEAR(J->cols[1][0], 1, 1e-6);
  EXPECT_NEAR(J->cols[0][1], std::cos(0.7) * -1.3, 1e-6);
  EXPECT_NEAR(J->cols[1][1], std::sin(0.7), 1e-6);
  EXPECT_EQ(y[0], 0.7);
  EXPECT_EQ(y[1], -1.3);
  DestroyMat(J);
  for (N_Vector v : {fy, tmp1, tmp2}) N_VDestroy(v);
}

// Keeps the state of each right-hand-side call: the perturbed y shows the
// increment the built-in routine chose for that column.
struct ProbeRhs {
  int calls = 0;
  double seen[2][2] = {};
};

int probeRhs(double, N_Vector y, N_Vector ydot, void* data) {
  auto* p = static_cast<ProbeRhs*>(data);
  const double* yd = N_VGetArrayPointer(y);
  if (p->calls < 2) {
    p->seen[p->calls][0] = yd[0];
    p->seen[p->calls][1] = yd[1];
  }
  p->calls++;
  N_VConst(0, ydot);
  return 0;
}

TEST_F(FoundationDense, DifferenceQuotientIncrements) {
  // inc_j = max(minInc / ewt_j, sqrt(uround) |y_j|) with minInc = |h| 1000 uround N ||fy||
  // (1 when ||fy|| = 0). y = (0, 1e6): column 0 takes the first form, column 1 the second.
  const double uround = 2.220446049250313e-16;
  const double srur = 1.4901161193847656e-08;
  const struct {
    const char* name;
    double fy0, fy1;  // with ewt (ewt0, 128): ||fy|| = sqrt(12.5) or 0
    double ewt0;
    double inc0;
  } cases[] = {
      {"weighted norm of fy", 3, 0.03125, 1, 0.5 * 1000 * uround * 2 * 3.5355339059327378},
      {"fy = 0", 0, 0, 4, 0.25},
  };
  for (const auto& c : cases) {
    ProbeRhs probe;
    m()->f = probeRhs;
    m()->userData = &probe;
    m()->h = -0.5;
    double* y = N_VGetArrayPointer(m()->nordsieck[0]);
    y[0] = 0;
    y[1] = 1e6;
    double* w = N_VGetArrayPointer(m()->ewt);
    w[0] = c.ewt0;
    w[1] = 128;
    N_Vector fy = vectorOf({c.fy0, c.fy1});
    N_Vector tmp1 = N_VClone(fy), tmp2 = N_VClone(fy);
    DlsMat J = NewDenseMat(2, 2);
    SetToZero(J);
    EXPECT_EQ(msDenseDQJac(2, 0, m()->nordsieck[0], fy, J, m(), tmp1, tmp2, nullptr), 0);
    ASSERT_EQ(probe.calls, 2) << c.name;
    EXPECT_DOUBLE_EQ(probe.seen[0][0], c.inc0) << c.name;
    EXPECT_EQ(probe.seen[0][1], 1e6) << c.name;
    EXPECT_EQ(probe.seen[1][0], 0) << c.name;
    EXPECT_EQ(probe.seen[1][1], 1e6 + srur * 1e6) << c.name;
    // Column j is (f(y + inc e_j) - fy) / inc with f = 0 here.
    EXPECT_DOUBLE_EQ(J->cols[0][0], -c.fy0 / c.inc0) << c.name;
    EXPECT_EQ(y[0], 0) << c.name;
    EXPECT_EQ(y[1], 1e6) << c.name;
    DestroyMat(J);
    for (N_Vector v : {fy, tmp1, tmp2}) N_VDestroy(v);
  }
}

TEST_F(FoundationDense, RhsFailureStopsTheDifferenceQuotients) {
  attach(false);
  N_Vector fy = vectorOf({1, 2});
  N_Vector tmp1 = N_VClone(fy), tmp2 = N_VClone(fy);
  double* own = N_VGetArrayPointer(tmp2);
  DlsMat J = NewDenseMat(2, 2);
  SetToZero(J);
  double* y = N_VGetArrayPointer(m()->nordsieck[0]);
  rhs.calls = 0;
  rhs.failAtCall = 2;  // column 1
  rhs.failWith = -3;
  EXPECT_EQ(msDenseDQJac(2, 0, m()->nordsieck[0], fy, J, m(), tmp1, tmp2, nullptr), -3);
  EXPECT_EQ(rhs.calls, 2);
  EXPECT_EQ(y[1], 1);  // restored
  EXPECT_EQ(N_VGetArrayPointer(tmp2), own);
  EXPECT_EQ(J->cols[1][0], 0);
  EXPECT_EQ(J->cols[1][1], 0);
  DestroyMat(J);
  for (N_Vector v : {fy, tmp1, tmp2}) N_VDestroy(v);
}

TEST_F(FoundationDense, UserRoutineNeverReceivesTheIntegratorMemory) {
  // Initialized with the built-in routine, switched to the user's before
  // the next restart: the user's routine still gets the user data.
  attach(false);
  EXPECT_EQ(dls()->jacData, mem);
  ASSERT_EQ(MsDlsSetDenseJacFn(mem, userJac), MSDLS_SUCCESS);
  int jcur = -1;
  m()->numSteps = 0;
  ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
  EXPECT_EQ(jac.calls, 1);
  EXPECT_EQ(jac.lastData, &rhs);
  // And back: a NULL routine means the built-in one from now on.
  ASSERT_EQ(MsDlsSetDenseJacFn(mem, nullptr), MSDLS_SUCCESS);
  ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
  EXPECT_EQ(jac.calls, 1);
  EXPECT_EQ(dls()->jacData, mem);
}

TEST_F(FoundationDense, InitResetsCountersAndPicksData) {
  attach(true);
  int jcur;
  setup(MS_CONVFAIL_NONE, &jcur);
  EXPECT_EQ(dls()->numJacEvals, 1);
  EXPECT_EQ(MstepReInit(mem, 0, y0), MS_SUCCESS);
  int n = -1;
  MsDlsGetNumJacEvals(mem, &n);
  EXPECT_EQ(n, 1);  // until the solver is initialized again
  ASSERT_EQ(MsInitialSetup(m()), MS_SUCCESS);
  MsDlsGetNumJacEvals(mem, &n);
  EXPECT_EQ(n, 0);
  EXPECT_EQ(dls()->jacData, &rhs);
}

TEST_F(FoundationDense, FailedReattachKeepsThePreviousSolver) {
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  ASSERT_EQ(MsDlsSetDenseJacFn(mem, userJac), MSDLS_SUCCESS);
  MsDlsMem previous = dls();
  for (long k = 1; k <= 8; k++) {
    long live = msLiveAllocations();
    msFailAllocationAt(k);
    EXPECT_EQ(MsDense(mem, 2), MSDLS_MEM_FAIL) << k;
    msFailAllocationAt(0);
    EXPECT_EQ(msLiveAllocations(), live) << k;
    EXPECT_EQ(dls(), previous) << k;
    EXPECT_EQ(dls()->useDQJac, 0) << k;
  }
  // A successful second attach replaces (and releases) the first.
  long live = msLiveAllocations();
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  EXPECT_EQ(msLiveAllocations(), live);
  EXPECT_EQ(dls()->useDQJac, 1);
}

TEST_F(FoundationDense, NewtonStepSolvesTheLinearSystem) {
  // (I - gamma J) x = b with J = [[0, 1], [2, 0]], gamma = 0.25.
  attach(false);
  m()->gamma = m()->gammaPrev = 0.25;
  m()->gammaRatio = 1;
  int jcur = -1;
  ASSERT_EQ(setup(MS_CONVFAIL_NONE, &jcur), 0);
  N_Vector b = vectorOf({1, 0});
  msDenseSolve(m(), b, m()->ewt, m()->tempVec, m()->fTemp);
  // [[1, -0.25], [-0.5, 1]]^-1 (1, 0) = (1, 0.5) / 0.875
  EXPECT_NEAR(N_VGetArrayPointer(b)[0], 1 / 0.875, 1e-7);
  EXPECT_NEAR(N_VGetArrayPointer(b)[1], 0.5 / 0.875, 1e-7);
  N_VDestroy(b);
}

}  // namespace
