// Time events proposed by the model reach a host as the next event time.
#include <gtest/gtest.h>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "support/fmu_host.h"
#include "support/model_variables.h"

using namespace pelvarin;

namespace {

struct Host {
  host::Library lib;
  decltype(&fmiInstantiateModel) instantiate =
      lib.get<decltype(&fmiInstantiateModel)>("Pelvarin_fmiInstantiateModel");
  decltype(&fmiSetReal) set_real = lib.get<decltype(&fmiSetReal)>("Pelvarin_fmiSetReal");
  decltype(&fmiInitialize) initialize =
      lib.get<decltype(&fmiInitialize)>("Pelvarin_fmiInitialize");
  decltype(&fmiFreeModelInstance) free_instance =
      lib.get<decltype(&fmiFreeModelInstance)>("Pelvarin_fmiFreeModelInstance");
};

// Initializes at time 0 with one parameter changed; returns the event info.
fmiEventInfo initialize_with(unsigned parameter, double value) {
  Host h;
  fmiEventInfo info{};
  if (!h.instantiate || !h.set_real || !h.initialize || !h.free_instance) {
    ADD_FAILURE() << "missing exports";
    return info;
  }
  host::Instance c{h.instantiate("pk", PELVARIN_GUID, host::me_callbacks(), fmiFalse), h.free_instance};
  EXPECT_NE(c, nullptr);
  if (!c) return info;
  const fmiValueReference vr = model_vars::parameter(parameter);
  EXPECT_EQ(h.set_real(c, &vr, 1, &value), fmiOK);
  EXPECT_EQ(h.initialize(c, fmiFalse, 0, &info), fmiOK);
  return info;
}

}  // namespace

TEST(EventsThroughHost, EarliestProposalIsTheNextEventTime) {
  struct Case {
    const char* what;
    unsigned parameter;
    double value;
    double next;
  };
  const Case cases[] = {
      {"end of the first pulse", 2, 10, 0.1},        // width 10 % of a period of 1
      {"wider pulse", 2, 40, 0.4},
      {"start time ahead comes first", 6, 0.05, 0.05},
      {"start time after the first pulse's end", 6, 0.5, 0.5},
  };
  for (const Case& c : cases) {
    fmiEventInfo info = initialize_with(c.parameter, c.value);
    EXPECT_EQ(info.upcomingTimeEvent, fmiTrue) << c.what;
    EXPECT_DOUBLE_EQ(info.nextEventTime, c.next) << c.what;
  }
}
