// The configuration switch of result generation, set for one test.
#pragma once

#include <stdlib.h>

#include <string>

class ResultSwitch {
 public:
  explicit ResultSwitch(const char* value) {
    const char* old = getenv(kName);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value != nullptr) {
      setenv(kName, value, 1);
    } else {
      unsetenv(kName);
    }
  }
  ~ResultSwitch() {
    if (had_) {
      setenv(kName, old_.c_str(), 1);
    } else {
      unsetenv(kName);
    }
  }
  ResultSwitch(const ResultSwitch&) = delete;
  ResultSwitch& operator=(const ResultSwitch&) = delete;

 private:
  static constexpr const char* kName = "PELVARIN_RESULT_FILE";
  bool had_ = false;
  std::string old_;
};
