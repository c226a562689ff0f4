#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "foundation_recorder.h"
#include "integrator/allocation.h"

using namespace pelvarin;

using foundation::Recorder;
using foundation::recordReport;
using foundation::vectorOf;

namespace {

std::string nameOf(int flag) {
  char* name = MstepGetReturnFlagName(flag);
  std::string s = name != nullptr ? name : "<null>";
  msRelease(name);
  return s;
}

TEST(FoundationErrorReporting, FlagNames) {
  const struct {
    int flag;
    const char* name;
  } cases[] = {
      {0, "MS_SUCCESS"},
      {1, "MS_TSTOP_RETURN"},
      {2, "MS_ROOT_RETURN"},
      {-1, "MS_TOO_MUCH_WORK"},
      {-2, "MS_TOO_MUCH_ACC"},
      {-3, "MS_ERR_FAILURE"},
      {-4, "MS_CONV_FAILURE"},
      {-5, "MS_LINIT_FAIL"},
      {-6, "MS_LSETUP_FAIL"},
      {-7, "MS_LSOLVE_FAIL"},
      {-8, "MS_RHSFUNC_FAIL"},
      {-9, "MS_FIRST_RHSFUNC_ERR"},
      {-10, "MS_REPTD_RHSFUNC_ERR"},
      {-11, "MS_UNREC_RHSFUNC_ERR"},
      {-12, "MS_RTFUNC_FAIL"},
      {-13, "NONE"},
      {-19, "NONE"},
      {-20, "MS_MEM_FAIL"},
      {-21, "MS_MEM_NULL"},
      {-22, "MS_ILL_INPUT"},
      {-23, "MS_NO_MALLOC"},
      {-24, "MS_BAD_K"},
      {-25, "MS_BAD_T"},
      {-26, "MS_BAD_DKY"},
      {-27, "MS_TOO_CLOSE"},
      {-28, "NONE"},
      {3, "NONE"},
      {99, "NONE"},
  };
  for (const auto& c : cases) EXPECT_EQ(nameOf(c.flag), c.name) << c.flag;
}

TEST(FoundationErrorReporting, EveryNameIsANewText) {
  long before = msLiveAllocations();
  char* a = MstepGetReturnFlagName(-27);
  char* b = MstepGetReturnFlagName(-27);
  EXPECT_NE(a, b);
  EXPECT_EQ(msLiveAllocations() - before, 2);
  msRelease(a);
  msRelease(b);
  EXPECT_EQ(msLiveAllocations(), before);
}

TEST(FoundationErrorReporting, FailedNameAllocationGivesNull) {
  msFailAllocationAt(1);
  EXPECT_EQ(MstepGetReturnFlagName(-4), nullptr);
  msFailAllocationAt(0);
}

class FoundationReporting : public ::testing::Test {
 protected:
  void SetUp() override {
    mem = MstepCreate(MS_BDF, MS_NEWTON);
    ASSERT_NE(mem, nullptr);
  }
  void TearDown() override { MstepFree(&mem); }
  MstepMem m() { return static_cast<MstepMem>(mem); }
  void* mem = nullptr;
};

// What the default handler writes, read back from a file in its place.
std::string defaultHandlerOutput(MstepMem mem, int code, const char* text) {
  FILE* f = std::tmpfile();
  mem->errFile = f;
  msReportError(mem, code, "MSTEP", "Mstep", "%s", text);
  mem->errFile = stderr;
  std::rewind(f);
  std::string out;
  char buf[512];
  size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
  std::fclose(f);
  return out;
}

TEST_F(FoundationReporting, DefaultHandlerLayout) {
  EXPECT_EQ(defaultHandlerOutput(m(), MS_WARNING, "Internal t = 1 and h = 0 are such"),
            "\n[MSTEP WARNING]  Mstep\n  Internal t = 1 and h = 0 are such\n\n");
  EXPECT_EQ(defaultHandlerOutput(m(), MS_TOO_MUCH_WORK,
                                 "At t = 2, mxstep steps taken before reaching tout."),
            "\n[MSTEP ERROR]  Mstep\n  At t = 2, mxstep steps taken before reaching tout.\n\n");
  EXPECT_EQ(defaultHandlerOutput(m(), 1, "x"), "\n[MSTEP ERROR]  Mstep\n  x\n\n");
}

TEST_F(FoundationReporting, LongMessagesAreCutAtTheBuffer) {
  Recorder rec;
  MstepSetErrHandlerFn(mem, recordReport, &rec);
  std::string longText(400, 'a');
  msReportError(m(), MS_ILL_INPUT, "MSTEP", "MstepInit", "%s|%s", longText.c_str(),
                longText.c_str());
  ASSERT_EQ(rec.reports.size(), 1u);
  EXPECT_EQ(rec.reports[0].message, std::string(255, 'a'));
}

TEST_F(FoundationReporting, StepFailureMessages) {
  Recorder rec;
  MstepSetErrHandlerFn(mem, recordReport, &rec);
  m()->tcur = 1.5;
  m()->h = 0.25;
  const struct {
    int flag;
    const char* message;
  } cases[] = {
      {MS_ERR_FAILURE,
       "At t = 1.5 and h = 0.25, the error test failed repeatedly or with |h| = hmin."},
      {MS_CONV_FAILURE,
       "At t = 1.5 and h = 0.25, the corrector convergence test failed repeatedly or with |h| = "
       "hmin."},
      {MS_LSETUP_FAIL, "At t = 1.5, the setup routine failed in an unrecoverable manner."},
      {MS_LSOLVE_FAIL, "At t = 1.5, the solve routine failed in an unrecoverable manner."},
      {MS_RHSFUNC_FAIL,
       "At t = 1.5, the right-hand side routine failed in an unrecoverable manner."},
      {MS_REPTD_RHSFUNC_ERR, "At t = 1.5 repeated recoverable right-hand side function errors."},
      {MS_UNREC_RHSFUNC_ERR,
       "At t = 1.5, the right-hand side failed in a recoverable manner, but no recovery is "
       "possible."},
      {MS_TOO_CLOSE, "tout too close to t0 to start integration."},
  };
  for (const auto& c : cases) {
    rec.reports.clear();
    EXPECT_EQ(msReportStepFailure(m(), c.flag), c.flag);
    ASSERT_EQ(rec.reports.size(), 1u) << c.flag;
    EXPECT_EQ(rec.reports[0].code, c.flag);
    EXPECT_EQ(rec.reports[0].module, "MSTEP");
    EXPECT_EQ(rec.reports[0].function, "Mstep");
    EXPECT_EQ(rec.reports[0].message, c.message);
  }
  // %lg prints six significant digits.
  rec.reports.clear();
  m()->tcur = 1.0 / 3;
  msReportStepFailure(m(), MS_RHSFUNC_FAIL);
  EXPECT_EQ(rec.reports[0].message,
            "At t = 0.333333, the right-hand side routine failed in an unrecoverable manner.");
}

TEST(FoundationErrorReportingNull, InitWithNullHandleWritesToStderr) {
  N_Vector y = vectorOf({1});
  testing::internal::CaptureStderr();
  EXPECT_EQ(MstepInit(nullptr, nullptr, 0, y), MS_MEM_NULL);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "\n[MSTEP ERROR]  MstepInit\n  mstep_mem = NULL illegal.\n\n");
  N_VDestroy(y);
}

}  // namespace
