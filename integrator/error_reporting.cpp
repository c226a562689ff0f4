#include "integrator/error_reporting.h"

#include <cassert>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "integrator/allocation.h"
#include "integrator/integrator_memory.h"

namespace pelvarin {

void msReportError(MstepMemRecord* mem, int error_code, const char* module, const char* function,
                   const char* format, ...) {
  if (mem == nullptr) {
    // No memory, so no handler: the texts reported this way carry no
    // conversions, and the format is written as it stands.
    std::fprintf(stderr, "\n[%s ERROR]  %s\n  ", module, function);
    std::fputs(format, stderr);
    std::fputs("\n\n", stderr);
    return;
  }
  char msg[MS_MSG_BUFFER];
  va_list ap;
  va_start(ap, format);
  std::vsnprintf(msg, sizeof msg, format, ap);  // cut at the buffer
  va_end(ap);
  mem->errHandler(error_code, module, function, msg, mem->errHandlerData);
}

void msDefaultErrHandler(int error_code, const char* module, const char* function, const char* msg,
                         void* data) {
  MstepMem mem = static_cast<MstepMem>(data);
  const char* kind = (error_code == MS_WARNING) ? "WARNING" : "ERROR";
  FILE* out = (mem != nullptr) ? mem->errFile : stderr;
  if (out == nullptr) return;
  std::fprintf(out, "\n[%s %s]  %s\n", module, kind, function);
  std::fprintf(out, "  %s\n\n", msg);
  std::fflush(out);
}

int msReportStepFailure(MstepMemRecord* mem, int flag) {
  assert(mem != nullptr);
  const double t = mem->tcur;
  const double h = mem->h;
  switch (flag) {
    case MS_ERR_FAILURE:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg and h = %lg, the error test failed repeatedly or with |h| = hmin.",
                    t, h);
      break;
    case MS_CONV_FAILURE:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg and h = %lg, the corrector convergence test failed repeatedly or "
                    "with |h| = hmin.",
                    t, h);
      break;
    case MS_LSETUP_FAIL:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg, the setup routine failed in an unrecoverable manner.", t);
      break;
    case MS_LSOLVE_FAIL:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg, the solve routine failed in an unrecoverable manner.", t);
      break;
    case MS_RHSFUNC_FAIL:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg, the right-hand side routine failed in an unrecoverable manner.",
                    t);
      break;
    case MS_REPTD_RHSFUNC_ERR:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg repeated recoverable right-hand side function errors.", t);
      break;
    case MS_UNREC_RHSFUNC_ERR:
      msReportError(mem, flag, "MSTEP", "Mstep",
                    "At t = %lg, the right-hand side failed in a recoverable manner, but no "
                    "recovery is possible.",
                    t);
      break;
    case MS_TOO_CLOSE:
      msReportError(mem, flag, "MSTEP", "Mstep", "tout too close to t0 to start integration.");
      break;
    default:
      break;
  }
  return flag;
}

namespace {

const char* flagName(int flag) {
  switch (flag) {
    case MS_SUCCESS:
      return "MS_SUCCESS";
    case MS_TSTOP_RETURN:
      return "MS_TSTOP_RETURN";
    case MS_ROOT_RETURN:
      return "MS_ROOT_RETURN";
    case MS_TOO_MUCH_WORK:
      return "MS_TOO_MUCH_WORK";
    case MS_TOO_MUCH_ACC:
      return "MS_TOO_MUCH_ACC";
    case MS_ERR_FAILURE:
      return "MS_ERR_FAILURE";
    case MS_CONV_FAILURE:
      return "MS_CONV_FAILURE";
    case MS_LINIT_FAIL:
      return "MS_LINIT_FAIL";
    case MS_LSETUP_FAIL:
      return "MS_LSETUP_FAIL";
    case MS_LSOLVE_FAIL:
      return "MS_LSOLVE_FAIL";
    case MS_RHSFUNC_FAIL:
      return "MS_RHSFUNC_FAIL";
    case MS_FIRST_RHSFUNC_ERR:
      return "MS_FIRST_RHSFUNC_ERR";
    case MS_REPTD_RHSFUNC_ERR:
      return "MS_REPTD_RHSFUNC_ERR";
    case MS_UNREC_RHSFUNC_ERR:
      return "MS_UNREC_RHSFUNC_ERR";
    case MS_RTFUNC_FAIL:
      return "MS_RTFUNC_FAIL";
    case MS_MEM_FAIL:
      return "MS_MEM_FAIL";
    case MS_MEM_NULL:
      return "MS_MEM_NULL";
    case MS_ILL_INPUT:
      return "MS_ILL_INPUT";
    case MS_NO_MALLOC:
      return "MS_NO_MALLOC";
    case MS_BAD_K:
      return "MS_BAD_K";
    case MS_BAD_T:
      return "MS_BAD_T";
    case MS_BAD_DKY:
      return "MS_BAD_DKY";
    case MS_TOO_CLOSE:
      return "MS_TOO_CLOSE";
    default:
      return "NONE";
  }
}

}  // namespace

char* MstepGetReturnFlagName(int flag) {
  char* name = static_cast<char*>(msAllocate(MS_FLAG_NAME_SIZE));
  if (name == nullptr) return nullptr;
  std::snprintf(name, MS_FLAG_NAME_SIZE, "%s", flagName(flag));
  return name;
}

}  // namespace pelvarin
