#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <iterator>
#include <string>

#include "foundation_recorder.h"
#include "integrator/allocation.h"

using namespace pelvarin;

using foundation::Recorder;
using foundation::recordReport;
using foundation::valuesOf;
using foundation::vectorOf;

namespace {

int decay(double, N_Vector y, N_Vector ydot, void*) {
  N_VScale(-1.0, y, ydot);
  return 0;
}

int failingInit(MstepMem) { return 1; }
int dummySolve(MstepMem, N_Vector, N_Vector, N_Vector, N_Vector) { return 0; }

class FoundationMemory : public ::testing::Test {
 protected:
  void SetUp() override {
    baseline = msLiveAllocations();
    y0 = vectorOf({1, 2});
    abstol = vectorOf({1e-6, 1e-6});
    mem = MstepCreate(MS_BDF, MS_NEWTON);
    ASSERT_NE(mem, nullptr);
    ASSERT_EQ(MstepSetErrHandlerFn(mem, recordReport, &rec), MS_SUCCESS);
  }
  void TearDown() override {
    MstepFree(&mem);
    N_VDestroy(y0);
    N_VDestroy(abstol);
    EXPECT_EQ(msLiveAllocations(), baseline);
  }
  MstepMem m() { return static_cast<MstepMem>(mem); }
  void init() { ASSERT_EQ(MstepInit(mem, decay, 0.0, y0), MS_SUCCESS); }

  long baseline = 0;
  Recorder rec;
  N_Vector y0 = nullptr;
  N_Vector abstol = nullptr;
  void* mem = nullptr;
};

TEST(FoundationMemoryNull, EveryOperationRefusesANullHandleOnStderr) {
  struct Case {
    const char* function;
    const char* module;
    const char* message;
    int code;
    std::function<int()> call;
  };
  N_Vector v = vectorOf({1});
  int i = 0;
  double d = 0;
  const Case cases[] = {
      {"MstepInit", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepInit(nullptr, decay, 0, v); }},
      {"MstepReInit", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepReInit(nullptr, 0, v); }},
      {"MstepSVtolerances", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSVtolerances(nullptr, 0, v); }},
      {"MstepSetErrHandlerFn", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetErrHandlerFn(nullptr, recordReport, nullptr); }},
      {"MstepSetUserData", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetUserData(nullptr, nullptr); }},
      {"MstepSetMaxNumSteps", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetMaxNumSteps(nullptr, 1); }},
      {"MstepSetInitStep", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetInitStep(nullptr, 1); }},
      {"MstepSetMaxErrTestFails", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetMaxErrTestFails(nullptr, 1); }},
      {"MstepSetMaxNonlinIters", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetMaxNonlinIters(nullptr, 1); }},
      {"MstepSetNonlinConvCoef", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepSetNonlinConvCoef(nullptr, 1); }},
      {"MstepGetNumSteps", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetNumSteps(nullptr, &i); }},
      {"MstepGetCurrentStep", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetCurrentStep(nullptr, &d); }},
      {"MstepGetTolScaleFactor", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetTolScaleFactor(nullptr, &d); }},
      {"MstepGetErrWeights", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetErrWeights(nullptr, v); }},
      {"MstepGetNumGEvals", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetNumGEvals(nullptr, &i); }},
      {"MstepGetNumNonlinSolvIters", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetNumNonlinSolvIters(nullptr, &i); }},
      {"MstepGetNumNonlinSolvConvFails", "MSTEP", "mstep_mem = NULL illegal.", MS_MEM_NULL,
       [&] { return MstepGetNumNonlinSolvConvFails(nullptr, &i); }},
      {"MsDense", "MSDENSE", "Integrator memory is NULL.", MSDLS_MEM_NULL,
       [&] { return MsDense(nullptr, 1); }},
      {"MsDlsSetDenseJacFn", "MSDLS", "Integrator memory is NULL.", MSDLS_MEM_NULL,
       [&] { return MsDlsSetDenseJacFn(nullptr, nullptr); }},
      {"MsDlsGetNumJacEvals", "MSDLS", "Integrator memory is NULL.", MSDLS_MEM_NULL,
       [&] { return MsDlsGetNumJacEvals(nullptr, &i); }},
  };
  for (const auto& c : cases) {
    testing::internal::CaptureStderr();
    int code = c.call();
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(code, c.code) << c.function;
    EXPECT_EQ(
        err, std::string("\n[") + c.module + " ERROR]  " + c.function + "\n  " + c.message + "\n\n")
        << c.function;
  }
  N_VDestroy(v);
}

TEST(FoundationMemoryNull, CreateRefusesBadMethodOrIteration) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(MstepCreate(3, MS_NEWTON), nullptr);
  EXPECT_EQ(
      testing::internal::GetCapturedStderr(),
      "\n[MSTEP ERROR]  MstepCreate\n  Illegal value for lmm. The legal values are MS_ADAMS and "
      "MS_BDF.\n\n");
  testing::internal::CaptureStderr();
  EXPECT_EQ(MstepCreate(MS_BDF, 3), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n[MSTEP ERROR]  MstepCreate\n  Illegal value for iter. The legal values are "
            "MS_FUNCTIONAL and MS_NEWTON.\n\n");
  testing::internal::CaptureStderr();
  msFailAllocationAt(1);
  EXPECT_EQ(MstepCreate(MS_BDF, MS_NEWTON), nullptr);
  msFailAllocationAt(0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n[MSTEP ERROR]  MstepCreate\n  Allocation of mstep_mem failed.\n\n");
}

TEST(FoundationMemoryNull, FreeOfNullHandleDoesNothing) {
  void* none = nullptr;
  MstepFree(&none);
  EXPECT_EQ(none, nullptr);
  MstepFree(nullptr);
}

TEST_F(FoundationMemory, CreateSetsDefaults) {
  MstepMem r = m();
  EXPECT_EQ(r->unitRoundoff, 2.220446049250313e-16);
  EXPECT_EQ(r->maxOrder, 5);
  EXPECT_EQ(r->mxstep, 500);
  EXPECT_EQ(r->maxNonlinIters, 3);
  EXPECT_EQ(r->maxErrTestFails, 7);
  EXPECT_EQ(r->maxConvFails, 10);
  EXPECT_EQ(r->mxhnil, 10);
  EXPECT_EQ(r->nonlinConvCoef, 0.1);
  EXPECT_EQ(r->maxGNullWarnings, 1);
  EXPECT_EQ(r->realWorkspace, 89);
  EXPECT_EQ(r->intWorkspace, 40);
  EXPECT_EQ(r->errFile, stderr);
  EXPECT_EQ(r->initDone, 0);
  EXPECT_EQ(r->ewt, nullptr);
  void* adams = MstepCreate(MS_ADAMS, MS_FUNCTIONAL);
  EXPECT_EQ(static_cast<MstepMem>(adams)->maxOrder, 12);
  MstepFree(&adams);
}

TEST_F(FoundationMemory, RefusalsReachTheHandlerAndChangeNothing) {
  struct Case {
    const char* name;
    bool initialized;
    std::function<int()> call;
    int code;
    const char* function;
    const char* message;
  };
  N_Vector longer = vectorOf({1, 2, 3});
  N_Vector negative = vectorOf({1e-6, -1});
  N_Vector noProd = vectorOf({1, 2});
  noProd->ops->nvprod = nullptr;
  N_Vector noData = N_VNewEmpty_Serial(2);  // the right length, no elements behind it
  const double inf = HUGE_VAL;
  N_Vector infinite = vectorOf({1e-6, inf});
  N_Vector notANumber = vectorOf({NAN, 1e-6});
  int i = 0;
  double t = 0;
  const Case cases[] = {
      {"init without y0", false, [&] { return MstepInit(mem, decay, 0, nullptr); }, MS_ILL_INPUT,
       "MstepInit", "y0 = NULL illegal."},
      {"init without f", false, [&] { return MstepInit(mem, nullptr, 0, y0); }, MS_ILL_INPUT,
       "MstepInit", "f = NULL illegal."},
      {"init without an operation", false, [&] { return MstepInit(mem, decay, 0, noProd); },
       MS_ILL_INPUT, "MstepInit", "A required vector operation is not implemented."},
      {"reinit before init", false, [&] { return MstepReInit(mem, 0, y0); }, MS_NO_MALLOC,
       "MstepReInit", "Attempt to call before MstepInit."},
      {"reinit without y0", true, [&] { return MstepReInit(mem, 0, nullptr); }, MS_ILL_INPUT,
       "MstepReInit", "y0 = NULL illegal."},
      {"reinit with another length", true, [&] { return MstepReInit(mem, 0, longer); },
       MS_ILL_INPUT, "MstepReInit", "y0 has wrong length (illegal)."},
      {"tolerances before init", false, [&] { return MstepSVtolerances(mem, 1e-4, abstol); },
       MS_NO_MALLOC, "MstepSVtolerances", "Attempt to call before MstepInit."},
      {"negative reltol", true, [&] { return MstepSVtolerances(mem, -1, abstol); }, MS_ILL_INPUT,
       "MstepSVtolerances", "reltol < 0 illegal."},
      {"no abstol", true, [&] { return MstepSVtolerances(mem, 1e-4, nullptr); }, MS_ILL_INPUT,
       "MstepSVtolerances", "abstol = NULL illegal."},
      {"abstol of another length", true, [&] { return MstepSVtolerances(mem, 1e-4, longer); },
       MS_ILL_INPUT, "MstepSVtolerances", "abstol has wrong length (illegal)."},
      {"negative abstol", true, [&] { return MstepSVtolerances(mem, 1e-4, negative); },
       MS_ILL_INPUT, "MstepSVtolerances", "abstol has negative component(s) (illegal)."},
      {"infinite reltol", true, [&] { return MstepSVtolerances(mem, inf, abstol); }, MS_ILL_INPUT,
       "MstepSVtolerances", "reltol is not finite (illegal)."},
      {"NaN reltol", true, [&] { return MstepSVtolerances(mem, NAN, abstol); }, MS_ILL_INPUT,
       "MstepSVtolerances", "reltol is not finite (illegal)."},
      {"infinite abstol", true, [&] { return MstepSVtolerances(mem, 1e-4, infinite); },
       MS_ILL_INPUT, "MstepSVtolerances", "abstol has non-finite component(s) (illegal)."},
      {"NaN abstol", true, [&] { return MstepSVtolerances(mem, 1e-4, notANumber); }, MS_ILL_INPUT,
       "MstepSVtolerances", "abstol has non-finite component(s) (illegal)."},
      {"abstol without elements", true, [&] { return MstepSVtolerances(mem, 1e-4, noData); },
       MS_ILL_INPUT, "MstepSVtolerances", "abstol has wrong length (illegal)."},
      {"reinit without elements", true, [&] { return MstepReInit(mem, 0, noData); }, MS_ILL_INPUT,
       "MstepReInit", "y0 has wrong length (illegal)."},
      {"weights into no elements", true, [&] { return MstepGetErrWeights(mem, noData); },
       MS_ILL_INPUT, "MstepGetErrWeights", "eweight has wrong length (illegal)."},
      {"infinite initial step", true, [&] { return MstepSetInitStep(mem, -inf); }, MS_ILL_INPUT,
       "MstepSetInitStep", "hin is not finite (illegal)."},
      {"NaN initial step", true, [&] { return MstepSetInitStep(mem, NAN); }, MS_ILL_INPUT,
       "MstepSetInitStep", "hin is not finite (illegal)."},
      {"weights before init", false, [&] { return MstepGetErrWeights(mem, y0); }, MS_NO_MALLOC,
       "MstepGetErrWeights", "Attempt to call before MstepInit."},
      {"weights into nothing", true, [&] { return MstepGetErrWeights(mem, nullptr); }, MS_ILL_INPUT,
       "MstepGetErrWeights", "eweight = NULL illegal."},
      {"weights into another length", true, [&] { return MstepGetErrWeights(mem, longer); },
       MS_ILL_INPUT, "MstepGetErrWeights", "eweight has wrong length (illegal)."},
      {"steps into nothing", true, [&] { return MstepGetNumSteps(mem, nullptr); }, MS_ILL_INPUT,
       "MstepGetNumSteps", "nsteps = NULL illegal."},
      {"step size into nothing", true, [&] { return MstepGetCurrentStep(mem, nullptr); },
       MS_ILL_INPUT, "MstepGetCurrentStep", "hcur = NULL illegal."},
      {"scale factor into nothing", true, [&] { return MstepGetTolScaleFactor(mem, nullptr); },
       MS_ILL_INPUT, "MstepGetTolScaleFactor", "tolsfac = NULL illegal."},
      {"g evaluations into nothing", true, [&] { return MstepGetNumGEvals(mem, nullptr); },
       MS_ILL_INPUT, "MstepGetNumGEvals", "ngevals = NULL illegal."},
      {"iterations into nothing", true, [&] { return MstepGetNumNonlinSolvIters(mem, nullptr); },
       MS_ILL_INPUT, "MstepGetNumNonlinSolvIters", "nniters = NULL illegal."},
      {"failures into nothing", true, [&] { return MstepGetNumNonlinSolvConvFails(mem, nullptr); },
       MS_ILL_INPUT, "MstepGetNumNonlinSolvConvFails", "nncfails = NULL illegal."},
      {"no tolerances at setup", true, [&] { return MsInitialSetup(m()); }, MS_ILL_INPUT,
       "MsInitialSetup", "No integration tolerances have been specified."},
      // Several bad arguments: the first check reports.
      {"init: y0 before f", false, [&] { return MstepInit(mem, nullptr, 0, nullptr); },
       MS_ILL_INPUT, "MstepInit", "y0 = NULL illegal."},
      {"reinit: state before y0", false, [&] { return MstepReInit(mem, 0, nullptr); },
       MS_NO_MALLOC, "MstepReInit", "Attempt to call before MstepInit."},
      {"tolerances: state before reltol", false,
       [&] { return MstepSVtolerances(mem, -1, negative); }, MS_NO_MALLOC, "MstepSVtolerances",
       "Attempt to call before MstepInit."},
      {"tolerances: reltol before abstol", true,
       [&] { return MstepSVtolerances(mem, -1, negative); }, MS_ILL_INPUT, "MstepSVtolerances",
       "reltol < 0 illegal."},
      {"tolerances: a non-finite reltol before abstol", true,
       [&] { return MstepSVtolerances(mem, NAN, nullptr); }, MS_ILL_INPUT, "MstepSVtolerances",
       "reltol is not finite (illegal)."},
      {"tolerances: length before sign", true, [&] { return MstepSVtolerances(mem, 1e-4, longer); },
       MS_ILL_INPUT, "MstepSVtolerances", "abstol has wrong length (illegal)."},
      {"step: state before yout", false, [&] { return Mstep(mem, 1, nullptr, nullptr, 3); },
       MS_NO_MALLOC, "Mstep", "Attempt to call before MstepInit."},
      {"step: yout before tret", true, [&] { return Mstep(mem, NAN, nullptr, nullptr, 3); },
       MS_ILL_INPUT, "Mstep", "yout = NULL illegal."},
      {"step: yout length before tret", true, [&] { return Mstep(mem, NAN, longer, nullptr, 3); },
       MS_ILL_INPUT, "Mstep", "yout has wrong length (illegal)."},
      {"step: tret before itask", true, [&] { return Mstep(mem, NAN, y0, nullptr, 3); },
       MS_ILL_INPUT, "Mstep", "tret = NULL illegal."},
      {"step: itask before tout", true, [&] { return Mstep(mem, NAN, y0, &t, 3); }, MS_ILL_INPUT,
       "Mstep", "Illegal value for itask."},
      {"interpolation: dky before k", true, [&] { return MstepGetDky(mem, NAN, -1, nullptr); },
       MS_BAD_DKY, "MstepGetDky", "dky = NULL illegal."},
      {"interpolation: k before t", true, [&] { return MstepGetDky(mem, NAN, -1, y0); }, MS_BAD_K,
       "MstepGetDky", "Illegal value for k."},
  };
  for (const auto& c : cases) {
    if (c.initialized && m()->initDone == 0) init();
    if (!c.initialized && m()->initDone == 1) {
      MstepFree(&mem);
      mem = MstepCreate(MS_BDF, MS_NEWTON);
      MstepSetErrHandlerFn(mem, recordReport, &rec);
    }
    rec.reports.clear();
    EXPECT_EQ(c.call(), c.code) << c.name;
    ASSERT_EQ(rec.reports.size(), 1u) << c.name;
    EXPECT_EQ(rec.reports[0].code, c.code) << c.name;
    EXPECT_EQ(rec.reports[0].module, "MSTEP") << c.name;
    EXPECT_EQ(rec.reports[0].function, c.function) << c.name;
    EXPECT_EQ(rec.reports[0].message, c.message) << c.name;
    EXPECT_EQ(m()->tolKind, 0) << c.name;
    EXPECT_EQ(m()->hInit, 0.0) << c.name;
  }
  (void)i;
  for (N_Vector v : {longer, negative, noProd, noData, infinite, notANumber}) N_VDestroy(v);
}

TEST_F(FoundationMemory, SetupRefusals) {
  init();
  ASSERT_EQ(MstepSVtolerances(mem, 0, abstol), MS_SUCCESS);
  // Without a linear solver, Newton iteration cannot start.
  EXPECT_EQ(MsInitialSetup(m()), MS_ILL_INPUT);
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].message, "The linear solver's solve routine is NULL.");
  EXPECT_EQ(rec.reports[0].function, "MsInitialSetup");

  m()->lsSolve = dummySolve;
  m()->lsInit = failingInit;
  EXPECT_EQ(MsInitialSetup(m()), MS_LINIT_FAIL);
  EXPECT_EQ(rec.reports.back().code, MS_LINIT_FAIL);
  EXPECT_EQ(rec.reports.back().message, "The linear solver's init routine failed.");
  m()->lsSolve = nullptr;
  m()->lsInit = nullptr;
}

TEST_F(FoundationMemory, ZeroWeightsAreRefusedAtSetup) {
  // y0 = (0, 2); abstol (0, 0) with reltol 0: every weight is infinite.
  N_Vector y = vectorOf({0, 2});
  ASSERT_EQ(MstepInit(mem, decay, 0, y), MS_SUCCESS);
  N_Vector zero = vectorOf({0, 0});
  ASSERT_EQ(MstepSVtolerances(mem, 0, zero), MS_SUCCESS);
  m()->iter = MS_FUNCTIONAL;
  EXPECT_EQ(MsInitialSetup(m()), MS_ILL_INPUT);
  EXPECT_EQ(rec.reports.back().message, "Initial ewt has component(s) equal to zero (illegal).");

  // reltol > 0 and one abstol component 0: fails exactly when that y0 component is 0.
  N_Vector partial = vectorOf({1e-6, 0});
  ASSERT_EQ(MstepSVtolerances(mem, 1e-3, partial), MS_SUCCESS);
  EXPECT_EQ(MsInitialSetup(m()), MS_SUCCESS);  // component 1 of y0 is 2
  N_Vector partial0 = vectorOf({0, 1e-6});
  ASSERT_EQ(MstepSVtolerances(mem, 1e-3, partial0), MS_SUCCESS);
  EXPECT_EQ(MsInitialSetup(m()), MS_ILL_INPUT);  // component 0 of y0 is 0
  for (N_Vector v : {y, zero, partial, partial0}) N_VDestroy(v);
}

TEST_F(FoundationMemory, WeightsAreReciprocalTolerances) {
  init();
  N_Vector atol = vectorOf({0.5, 0.25});
  ASSERT_EQ(MstepSVtolerances(mem, 0.25, atol), MS_SUCCESS);
  m()->iter = MS_FUNCTIONAL;
  ASSERT_EQ(MsInitialSetup(m()), MS_SUCCESS);
  EXPECT_EQ(m()->ewtSetData, m());
  N_Vector w = vectorOf({0, 0});
  ASSERT_EQ(MstepGetErrWeights(mem, w), MS_SUCCESS);
  // 1 / (0.25 * |y| + atol) for y0 = (1, 2)
  EXPECT_EQ(valuesOf(w), (std::vector<double>{1 / 0.75, 1 / 0.75}));

  // The scalar form, and no weights at all for an unknown kind.
  m()->tolKind = 1;
  m()->abstolScalar = 0.5;
  ASSERT_EQ(msErrWeights(y0, w, m()), 0);
  EXPECT_EQ(valuesOf(w), (std::vector<double>{1 / 0.75, 1 / 1.0}));
  m()->abstolScalar = -0.25;
  EXPECT_EQ(msErrWeights(y0, w, m()), -1);
  EXPECT_EQ(valuesOf(w), (std::vector<double>{1 / 0.75, 1 / 1.0}));
  m()->tolKind = 7;
  EXPECT_EQ(msErrWeights(y0, w, m()), 0);
  EXPECT_EQ(valuesOf(w), (std::vector<double>{1 / 0.75, 1 / 1.0}));
  m()->tolKind = 2;
  N_VDestroy(atol);
  N_VDestroy(w);
}

TEST_F(FoundationMemory, TolerancesKeepTheirCopyAndARefusalKeepsThePrevious) {
  init();
  ASSERT_EQ(MstepSVtolerances(mem, 1e-4, abstol), MS_SUCCESS);
  N_Vector copy = m()->abstol;
  EXPECT_NE(copy, abstol);
  EXPECT_EQ(m()->abstolAllocated, 1);
  N_Vector other = vectorOf({3, 4});
  ASSERT_EQ(MstepSVtolerances(mem, 1e-3, other), MS_SUCCESS);
  EXPECT_EQ(m()->abstol, copy);
  EXPECT_EQ(valuesOf(copy), (std::vector<double>{3, 4}));
  EXPECT_EQ(m()->tolKind, 2);

  N_Vector negative = vectorOf({-1, 4});
  EXPECT_EQ(MstepSVtolerances(mem, 5, negative), MS_ILL_INPUT);
  EXPECT_EQ(m()->reltol, 1e-3);
  EXPECT_EQ(valuesOf(copy), (std::vector<double>{3, 4}));
  N_VDestroy(other);
  N_VDestroy(negative);
}

TEST_F(FoundationMemory, FailedToleranceCopyChangesNothing) {
  init();
  long live = msLiveAllocations();
  msFailAllocationAt(1);
  EXPECT_EQ(MstepSVtolerances(mem, 1e-4, abstol), MS_MEM_FAIL);
  msFailAllocationAt(0);
  EXPECT_EQ(rec.reports.back().message, "A memory request failed.");
  EXPECT_EQ(rec.reports.back().function, "MstepSVtolerances");
  EXPECT_EQ(m()->tolKind, 0);
  EXPECT_EQ(m()->abstol, nullptr);
  EXPECT_EQ(m()->abstolAllocated, 0);
  EXPECT_EQ(msLiveAllocations(), live);
  // And it can be given later.
  EXPECT_EQ(MstepSVtolerances(mem, 1e-4, abstol), MS_SUCCESS);
}

TEST_F(FoundationMemory, SettersAndDefaults) {
  EXPECT_EQ(MstepSetMaxNumSteps(mem, 0), MS_SUCCESS);
  EXPECT_EQ(m()->mxstep, 500);
  MstepSetMaxNumSteps(mem, -1);
  EXPECT_EQ(m()->mxstep, -1);
  MstepSetMaxNumSteps(mem, 100000);
  EXPECT_EQ(m()->mxstep, 100000);

  MstepSetMaxNonlinIters(mem, 0);
  EXPECT_EQ(m()->maxNonlinIters, 3);
  MstepSetMaxNonlinIters(mem, -4);
  EXPECT_EQ(m()->maxNonlinIters, 3);
  MstepSetMaxNonlinIters(mem, 5);
  EXPECT_EQ(m()->maxNonlinIters, 5);

  MstepSetMaxErrTestFails(mem, 15);
  EXPECT_EQ(m()->maxErrTestFails, 15);
  MstepSetNonlinConvCoef(mem, 0.2);
  EXPECT_EQ(m()->nonlinConvCoef, 0.2);
  MstepSetInitStep(mem, 1e-3);
  EXPECT_EQ(m()->hInit, 1e-3);
  int token = 0;
  EXPECT_EQ(MstepSetUserData(mem, &token), MS_SUCCESS);  // on a memory never initialized
  EXPECT_EQ(m()->userData, &token);

  EXPECT_EQ(MstepSetErrHandlerFn(mem, nullptr, &token), MS_SUCCESS);
  EXPECT_EQ(m()->errHandler, msDefaultErrHandler);
  EXPECT_EQ(m()->errHandlerData, mem);
}

TEST_F(FoundationMemory, InitAndReInitStartAfresh) {
  MstepSetInitStep(mem, 1e-3);
  init();
  MstepMem r = m();
  EXPECT_EQ(r->initDone, 1);
  EXPECT_EQ(r->f, decay);
  EXPECT_EQ(r->vecRealWords, 2);
  EXPECT_EQ(r->vecIntWords, 1);
  EXPECT_EQ(r->realWorkspace, 89 + 10 * 2);
  EXPECT_EQ(r->intWorkspace, 40 + 10);
  EXPECT_EQ(valuesOf(r->nordsieck[0]), (std::vector<double>{1, 2}));
  EXPECT_NE(r->nordsieck[5], nullptr);
  EXPECT_EQ(r->nordsieck[6], nullptr);
  double h = -1, sf = -1;
  EXPECT_EQ(MstepGetCurrentStep(mem, &h), MS_SUCCESS);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(MstepGetTolScaleFactor(mem, &sf), MS_SUCCESS);
  EXPECT_EQ(sf, 1);

  // Pretend a run happened.
  r->numSteps = 7;
  r->numRhsEvals = 20;
  r->q = 3;
  r->hNext = 0.5;
  r->tolScaleFactor = 4;
  r->rootReturned = 1;
  r->stabData[2][3] = 1;
  N_Vector y1 = vectorOf({5, 6});
  EXPECT_EQ(MstepReInit(mem, 2.5, y1), MS_SUCCESS);
  EXPECT_EQ(r->tcur, 2.5);
  EXPECT_EQ(r->numSteps, 0);
  EXPECT_EQ(r->numRhsEvals, 0);
  EXPECT_EQ(r->q, 1);
  EXPECT_EQ(r->rootReturned, 0);
  EXPECT_EQ(r->stabData[2][3], 0);
  EXPECT_EQ(r->hInit, 1e-3);  // kept for every restart
  EXPECT_EQ(valuesOf(r->nordsieck[0]), (std::vector<double>{5, 6}));
  MstepGetCurrentStep(mem, &h);
  EXPECT_EQ(h, 0);
  MstepGetTolScaleFactor(mem, &sf);
  EXPECT_EQ(sf, 1);
  int n = -1;
  MstepGetNumSteps(mem, &n);
  EXPECT_EQ(n, 0);
  N_VDestroy(y1);
}

int rootFn(double, N_Vector, double* g, void*) {
  g[0] = g[1] = 1.0;
  return 0;
}
int stepRootFn(void*) { return 0; }

using FieldCheck = std::function<bool(const MstepMemRecord&, const MstepMemRecord&)>;

template <typename T>
FieldCheck same(T MstepMemRecord::*field) {
  return [field](const MstepMemRecord& a, const MstepMemRecord& b) { return a.*field == b.*field; };
}

TEST_F(FoundationMemory, ReInitKeepsEverySettingOfTheProblem) {
  init();
  int token = 0;
  ASSERT_EQ(MstepSetUserData(mem, &token), MS_SUCCESS);
  ASSERT_EQ(MstepSVtolerances(mem, 1e-3, abstol), MS_SUCCESS);
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  ASSERT_EQ(MstepRootInit(mem, 2, rootFn), MS_SUCCESS);
  ASSERT_EQ(MstepStepRootInit(mem, stepRootFn), MS_SUCCESS);
  ASSERT_EQ(MstepSetMaxNumSteps(mem, 123), MS_SUCCESS);
  ASSERT_EQ(MstepSetMaxNonlinIters(mem, 5), MS_SUCCESS);
  ASSERT_EQ(MstepSetMaxErrTestFails(mem, 15), MS_SUCCESS);
  ASSERT_EQ(MstepSetNonlinConvCoef(mem, 0.2), MS_SUCCESS);
  ASSERT_EQ(MstepSetInitStep(mem, 1e-3), MS_SUCCESS);
  MstepMem r = m();
  r->maxConvFails = 4;  // no setter of their own
  r->mxhnil = 3;
  r->hmin = 1e-9;
  r->hmaxInv = 0.5;
  r->tstopSet = 1;
  r->tstop = 9.0;
  r->gActive[1] = 0;
  const MstepMemRecord before = *r;

  ASSERT_EQ(MstepReInit(mem, 2.0, y0), MS_SUCCESS);
  const struct {
    const char* name;
    FieldCheck kept;
  } fields[] = {
      {"f", same(&MstepMemRecord::f)},
      {"userData", same(&MstepMemRecord::userData)},
      {"lmm", same(&MstepMemRecord::lmm)},
      {"iter", same(&MstepMemRecord::iter)},
      {"tolKind", same(&MstepMemRecord::tolKind)},
      {"reltol", same(&MstepMemRecord::reltol)},
      {"abstol", same(&MstepMemRecord::abstol)},
      {"ewtSet", same(&MstepMemRecord::ewtSet)},
      {"ewt", same(&MstepMemRecord::ewt)},
      {"correction", same(&MstepMemRecord::correction)},
      {"tempVec", same(&MstepMemRecord::tempVec)},
      {"fTemp", same(&MstepMemRecord::fTemp)},
      {"mxstep", same(&MstepMemRecord::mxstep)},
      {"maxNonlinIters", same(&MstepMemRecord::maxNonlinIters)},
      {"maxErrTestFails", same(&MstepMemRecord::maxErrTestFails)},
      {"maxConvFails", same(&MstepMemRecord::maxConvFails)},
      {"mxhnil", same(&MstepMemRecord::mxhnil)},
      {"nonlinConvCoef", same(&MstepMemRecord::nonlinConvCoef)},
      {"hInit", same(&MstepMemRecord::hInit)},
      {"hmin", same(&MstepMemRecord::hmin)},
      {"hmaxInv", same(&MstepMemRecord::hmaxInv)},
      {"tstopSet", same(&MstepMemRecord::tstopSet)},
      {"tstop", same(&MstepMemRecord::tstop)},
      {"errHandler", same(&MstepMemRecord::errHandler)},
      {"errHandlerData", same(&MstepMemRecord::errHandlerData)},
      {"lsInit", same(&MstepMemRecord::lsInit)},
      {"lsSetup", same(&MstepMemRecord::lsSetup)},
      {"lsSolve", same(&MstepMemRecord::lsSolve)},
      {"lsFree", same(&MstepMemRecord::lsFree)},
      {"lsMem", same(&MstepMemRecord::lsMem)},
      {"lsSetupPresent", same(&MstepMemRecord::lsSetupPresent)},
      {"g", same(&MstepMemRecord::g)},
      {"numRootFns", same(&MstepMemRecord::numRootFns)},
      {"gLow", same(&MstepMemRecord::gLow)},
      {"gActive", same(&MstepMemRecord::gActive)},
      {"rootDirection", same(&MstepMemRecord::rootDirection)},
      {"stepRootFn", same(&MstepMemRecord::stepRootFn)},
      {"history vectors",
       [](const MstepMemRecord& a, const MstepMemRecord& b) {
         return std::equal(std::begin(a.nordsieck), std::end(a.nordsieck), std::begin(b.nordsieck));
       }},
  };
  for (const auto& f : fields) EXPECT_TRUE(f.kept(before, *r)) << f.name;
  EXPECT_EQ(r->gActive[1], 0);
  EXPECT_EQ(r->tcur, 2.0);
}

TEST_F(FoundationMemory, SecondInitReleasesWhatTheFirstMade) {
  init();
  ASSERT_EQ(MstepSVtolerances(mem, 1e-4, abstol), MS_SUCCESS);
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  N_Vector y3 = vectorOf({1, 2, 3});
  long afterFirst = msLiveAllocations();
  ASSERT_EQ(MstepInit(mem, decay, 1.0, y3), MS_SUCCESS);
  // Tolerances and solver of the first problem are gone with its vectors.
  EXPECT_EQ(m()->lsMem, nullptr);
  EXPECT_EQ(m()->lsSolve, nullptr);
  EXPECT_EQ(m()->abstolAllocated, 0);
  EXPECT_EQ(m()->tolKind, 0);
  EXPECT_EQ(m()->vecRealWords, 3);
  EXPECT_EQ(m()->realWorkspace, 89 + 10 * 3);
  // Same number of work vectors; the tolerance copy (4 blocks) and the
  // solver (record, two matrices of 3 blocks, pivots) are released.
  EXPECT_EQ(msLiveAllocations(), afterFirst - 4 - 8);
  N_Vector abstol3 = vectorOf({1, 1, 1});
  EXPECT_EQ(MstepSVtolerances(mem, 1e-4, abstol3), MS_SUCCESS);
  N_VDestroy(y3);
  N_VDestroy(abstol3);
}

TEST_F(FoundationMemory, FailedSecondInitKeepsTheFirstProblem) {
  init();
  N_Vector first = m()->ewt;
  N_Vector y3 = vectorOf({1, 2, 3});
  msFailAllocationAt(5);
  EXPECT_EQ(MstepInit(mem, decay, 1.0, y3), MS_MEM_FAIL);
  msFailAllocationAt(0);
  EXPECT_EQ(m()->ewt, first);
  EXPECT_EQ(m()->vecRealWords, 2);
  EXPECT_EQ(m()->initDone, 1);
  EXPECT_EQ(MstepReInit(mem, 0, y0), MS_SUCCESS);
  N_VDestroy(y3);
}

TEST_F(FoundationMemory, FreeReleasesASolverAttachedUnderFunctionalIteration) {
  init();
  ASSERT_EQ(MsDense(mem, 2), MSDLS_SUCCESS);
  m()->iter = MS_FUNCTIONAL;
  // TearDown checks that nothing is left.
}

TEST_F(FoundationMemory, FreeReleasesRootArrays) {
  init();
  MstepMem r = m();
  r->numRootFns = 2;
  r->gLow = static_cast<double*>(msAllocate(2 * sizeof(double)));
  r->gHigh = static_cast<double*>(msAllocate(2 * sizeof(double)));
  r->rootsFound = static_cast<int*>(msAllocate(2 * sizeof(int)));
  // gRoot, rootDirection and gActive missing: only what exists is released.
}

}  // namespace
