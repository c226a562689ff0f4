// Instance-like arrays for calling the model directly through dsblock_, with
// the option arrays registered as instantiation registers them.
#pragma once

#include "model/model_dimensions.h"
#include "source/model_interface.h"
#include "source/evaluation_driver.h"

using namespace pelvarin;

struct ModelArrays {
  double x[MODEL_NX] = {};
  double u[1] = {};
  double p[MODEL_NP] = {};
  double der[MODEL_NX] = {};
  double y[1] = {};
  double w[MODEL_NW] = {};
  double ei[MODEL_NI] = {};
  double realOptions[4] = {0, 1.0, 0, 0};
  int intOptions[11] = {};
  int computedLevel = 0;
  int QiErr = 0;
  double time = 0.0;

  ModelArrays() {
    int unused = 0;
    declare_(x, p, nullptr, &unused);
    runtime_set_options(realOptions, intOptions);
  }
  ~ModelArrays() { runtime_set_options(nullptr, nullptr); }
  ModelArrays(const ModelArrays&) = delete;
  ModelArrays& operator=(const ModelArrays&) = delete;

  // One dsblock_ call at the given demand; returns QiErr.
  int call(int demand) {
    QiErr = 0;
    int d = demand;
    dsblock_(&d, &computedLevel, &time, x, nullptr, u, p, nullptr, nullptr, der, y, w, ei, realOptions,
             intOptions, nullptr, &QiErr);
    return QiErr;
  }

  int initialize(double t = 0.0) {
    time = t;
    return call(DEMAND_INITIALIZE);
  }
};
