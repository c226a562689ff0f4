// Test harness for the runtime services: arms the error trap around a call
// as an evaluation does, and keeps a live instance whose logger records.
#pragma once

#include <csetjmp>
#include <string>
#include <vector>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "source/evaluation_driver.h"
#include "source/runtime_state.h"
#include "support/fmu_host.h"

using namespace pelvarin;

namespace runtime_test {

// Runs f with the error trap armed; true when f left through the trap.
// f must keep no object with a destructor in its own frame.
template <typename F>
bool ends_in_model_error(F f) {
  error_trap_active = 1;
  if (setjmp(error_trap) == 0) {
    f();
    error_trap_active = 0;
    return false;
  }
  error_trap_active = 0;
  return true;
}

// A live instance of the linked-in system with logging on; lines() are the
// texts its logger received after construction, as the host shows them.
class LiveInstance {
 public:
  explicit LiveInstance(bool loggingOn = true) {
    host::reset_record();
    component_ = host::Instance{fmiInstantiateModel("runtime", PELVARIN_GUID, host::me_callbacks(),
                                                    loggingOn ? fmiTrue : fmiFalse),
                                fmiFreeModelInstance};
    host::reset_record();
  }

  fmiComponent component() const { return component_; }

  static std::vector<std::string> lines() {
    std::vector<std::string> out;
    for (const host::LogRecord& r : host::record().logs) out.push_back(r.message);
    return out;
  }
  static std::string joined() {
    std::string s;
    for (const std::string& line : lines()) s += line + "\n";
    return s;
  }
  static void clear() { host::reset_record(); }

 private:
  host::Instance component_;
};

}  // namespace runtime_test
