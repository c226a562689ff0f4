// Instance-like arrays for calling the model directly, and a live instance
// whose logger records what the runtime emits.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "fmi/model_instance.h"
#include "model/model_interface.h"
#include "source/evaluation_driver.h"
#include "support/fmu_host.h"

struct ModelArrays {
  double x[MODEL_NX] = {};
  double u[1] = {};
  double p[MODEL_NP] = {};
  double der[MODEL_NX] = {};
  double y[1] = {};
  double w[MODEL_NW] = {};
  double ei[MODEL_NI] = {};
  double realOptions[4] = {};
  int intOptions[11] = {};
  int computedLevel = 0;
  int QiErr = 0;
  double time = 0.0;

  ModelArrays() {
    int unused = 0;
    declare_(x, p, nullptr, &unused);
    realOptions[1] = 1.0;
    runtime_set_options(realOptions, intOptions);  // as instantiation does
  }
  ~ModelArrays() { runtime_set_options(nullptr, nullptr); }
  ModelArrays(const ModelArrays&) = delete;
  ModelArrays& operator=(const ModelArrays&) = delete;

  // One dsblock_ call at the given demand; returns QiErr.
  int call(int demand) {
    QiErr = 0;
    int d = demand;
    dsblock_(&d, &computedLevel, &time, x, nullptr, u, p, nullptr, nullptr, der, y, w, ei,
             realOptions, intOptions, nullptr, &QiErr);
    return QiErr;
  }

  int initialize(double t = 0.0) {
    time = t;
    return call(DEMAND_INITIALIZE);
  }
};

// Makes current_instance a live instance that logs everything to the
// recording host logger.
class LiveInstance {
 public:
  LiveInstance() {
    std::memset(&instance_, 0, sizeof instance_);
    instance_.instanceName = name_;
    instance_.loggingOn = fmiTrue;
    instance_.logger = host::logger;
    instance_.allocateMemory = host::allocate;
    instance_.freeMemory = host::free_block;
    instance_.pendingEnd = instance_.pendingText;
    current_instance = &instance_;
    host::reset_record();
  }
  ~LiveInstance() { current_instance = nullptr; }

  // Every logged message, one per element, as a host shows it.
  static std::vector<std::string> messages() {
    std::vector<std::string> out;
    for (const host::LogRecord& r : host::record().logs) out.push_back(r.message);
    return out;
  }
  static std::string joined() {
    std::string s;
    for (const std::string& m : messages()) s += m + "\n";
    return s;
  }

 private:
  char name_[8] = "model";
  ModelInstance instance_;
};
