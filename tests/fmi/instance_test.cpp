// Instantiation and release as a host sees them.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "fmi/fmi_functions.h"
#include "fmi/model_instance.h"
#include "me_api.h"
#include "source/evaluation_driver.h"
#include "source/runtime_constants.h"

using namespace pelvarin;

namespace {

const double kStartParameters[10] = {10, 10, 10, 1, -1, 0, 0, 10, 0, 10};

std::vector<host::LogRecord> with_status(fmiStatus status) {
  std::vector<host::LogRecord> out;
  for (const host::LogRecord& r : host::record().logs)
    if (r.status == status) out.push_back(r);
  return out;
}

}  // namespace

TEST(Instance, FreshInstanceHoldsTheStartValues) {
  me::Api api;
  host::Instance c = api.instantiate("first");
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(host::record().logs.size(), 1u);
  const host::LogRecord& done = host::record().logs[0];
  EXPECT_EQ(done.message, "fmiInstantiateModel completed");
  EXPECT_EQ(done.status, fmiOK);
  EXPECT_EQ(done.instanceName, "first");
  EXPECT_EQ(done.category, "");
  EXPECT_EQ(done.component, c);

  for (unsigned i = 0; i < 10; ++i) EXPECT_EQ(api.real(c, me::parameter(i)), kStartParameters[i]) << i;
  EXPECT_EQ(api.real(c, me::state(0)), 0.0);
  EXPECT_EQ(api.real(c, me::state(1)), 0.0);

  double nominal[2] = {0, 0};
  EXPECT_EQ(api.fmiGetNominalContinuousStates(c, nominal, 2), fmiOK);
  EXPECT_EQ(nominal[0], 1.0);
  EXPECT_EQ(nominal[1], 1.0);
  fmiValueReference vrx[2] = {0, 0};
  EXPECT_EQ(api.fmiGetStateValueReferences(c, vrx, 2), fmiOK);
  EXPECT_EQ(vrx[0], 0x02000000u);
  EXPECT_EQ(vrx[1], 0x02000001u);

  api.fmiFreeModelInstance(c.release());
  EXPECT_EQ(host::record().live_blocks, 0);
  EXPECT_EQ(me::count_exact("fmiFreeModelInstance"), 1u);
}

TEST(Instance, OnlyOneInstanceLivesAtATime) {
  me::Api api;
  host::Instance first = api.instantiate("first");
  ASSERT_NE(first, nullptr);
  const long blocks = host::record().live_blocks;

  EXPECT_EQ(api.instantiate("second"), nullptr);
  EXPECT_EQ(api.fmiInstantiateModel(nullptr, PELVARIN_GUID, host::me_callbacks(), fmiFalse), nullptr);
  std::vector<host::LogRecord> refusals = with_status(fmiFatal);
  ASSERT_EQ(refusals.size(), 2u);
  for (const host::LogRecord& r : refusals) {
    EXPECT_EQ(r.message, "fmiInstantiateModel: multiple instances within same process not supported");
    EXPECT_EQ(r.component, first);
  }
  EXPECT_EQ(refusals[0].instanceName, "second");
  EXPECT_EQ(refusals[1].instanceName, "first");  // the live one's name when none is given
  EXPECT_EQ(host::record().live_blocks, blocks);

  EXPECT_EQ(api.set_real(first, me::parameter(me::P_AMPLITUDE), 3.0), fmiOK);
  EXPECT_EQ(api.real(first, me::parameter(me::P_AMPLITUDE)), 3.0);

  api.fmiFreeModelInstance(first.release());
  host::Instance again = api.instantiate("again");
  ASSERT_NE(again, nullptr);
  EXPECT_EQ(api.real(again, me::parameter(me::P_AMPLITUDE)), 10.0);  // start values again
  api.fmiFreeModelInstance(again.release());
  EXPECT_EQ(host::record().live_blocks, 0);
}

TEST(Instance, InstanceNameIsCopiedAndCut) {
  me::Api api;
  host::Instance c{api.fmiInstantiateModel(nullptr, PELVARIN_GUID, host::me_callbacks(), fmiTrue),
                   api.fmiFreeModelInstance};
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(host::record().logs.back().instanceName, "<NULL>");
  c.reset();

  std::string name(2000, 'n');
  name[1023] = 'L';
  c = api.instantiate(name.c_str());
  ASSERT_NE(c, nullptr);
  name[0] = 'X';  // the instance keeps its own copy
  EXPECT_EQ(host::record().logs.back().instanceName, std::string(1023, 'n') + "L");
  EXPECT_EQ(api.fmiSetTime(c, 1.0), fmiOK);
  EXPECT_EQ(host::record().logs.back().instanceName, std::string(1023, 'n') + "L");
  c.reset();

  // The cut keeps whole UTF-8 characters: the euro sign over bytes 1022 to
  // 1024 goes, with all three of its bytes.
  const std::string utf8 = std::string(1022, 'n') + "\xE2\x82\xAC" + "rest";
  c = api.instantiate(utf8.c_str());
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(host::record().logs.back().instanceName, std::string(1022, 'n'));
  c.reset();
  EXPECT_EQ(host::record().live_blocks, 0);
}

TEST(Instance, WrongGuidIsRefusedAndNothingLeaks) {
  me::Api api;
  std::string upper = PELVARIN_GUID;
  for (char& ch : upper) ch = static_cast<char>(toupper(ch));
  EXPECT_EQ(api.fmiInstantiateModel("g", upper.c_str(), host::me_callbacks(), fmiFalse), nullptr);
  EXPECT_TRUE(me::logged("Invalid GUID: " + upper + ", expected " PELVARIN_GUID, fmiError));
  EXPECT_TRUE(me::logged("Instantiation failed", fmiFatal));
  EXPECT_EQ(host::record().logs.back().instanceName, "g");
  EXPECT_EQ(host::record().live_blocks, 0);

  // A corrected call follows at once.
  host::Instance c = api.instantiate("g");
  ASSERT_NE(c, nullptr);
}

TEST(Instance, PercentSignsOfHostTextsReachTheHostAsText) {
  me::Api api;
  const std::string guid = "%s%n%d%%";
  EXPECT_EQ(api.fmiInstantiateModel("p%s", guid.c_str(), host::me_callbacks(), fmiFalse), nullptr);
  const host::LogRecord& refusal = host::record().logs.at(0);
  EXPECT_EQ(refusal.message, "Invalid GUID: %s%n%d%%, expected " PELVARIN_GUID);
  EXPECT_EQ(refusal.raw, "Invalid GUID: %%s%%n%%d%%%%, expected " PELVARIN_GUID);
  EXPECT_EQ(refusal.instanceName, "p%s");
}

TEST(Instance, MissingArgumentsAreRefusedWithoutAllocating) {
  struct Case {
    const char* what;
    fmiString guid;
    fmiCallbackFunctions callbacks;
    bool logs;
  };
  const fmiCallbackFunctions ok = host::me_callbacks();
  const Case cases[] = {
      {"GUID", nullptr, ok, true},
      {"allocateMemory", PELVARIN_GUID, {ok.logger, nullptr, ok.freeMemory}, true},
      {"freeMemory", PELVARIN_GUID, {ok.logger, ok.allocateMemory, nullptr}, true},
      {"logger", PELVARIN_GUID, {nullptr, ok.allocateMemory, ok.freeMemory}, false},
  };
  me::Api api;
  for (const Case& k : cases) {
    host::reset_record();
    EXPECT_EQ(api.fmiInstantiateModel("m", k.guid, k.callbacks, fmiTrue), nullptr) << k.what;
    EXPECT_EQ(host::record().allocation_calls, 0) << k.what;
    if (k.logs) {
      ASSERT_EQ(host::record().logs.size(), 2u) << k.what;
      EXPECT_EQ(host::record().logs[0].message, std::string("fmiInstantiateModel: argument ") + k.what + " is NULL");
      EXPECT_EQ(host::record().logs[0].status, fmiError);
      EXPECT_EQ(host::record().logs[1].message, "Instantiation failed");
      EXPECT_EQ(host::record().logs[1].component, nullptr);
    } else {
      EXPECT_TRUE(host::record().logs.empty());
    }
  }
  host::Instance c = api.instantiate();
  EXPECT_NE(c, nullptr);
}

TEST(Instance, AFailedAllocationAnywhereGivesNullAndLeaksNothing) {
  me::Api api;
  host::reset_record();
  host::Instance c = api.instantiate();
  ASSERT_NE(c, nullptr);
  c.reset();
  const long allocations = host::record().allocation_calls;
  ASSERT_EQ(allocations, 12);  // record, name, two option arrays, eight value arrays

  for (long k = 1; k <= allocations; ++k) {
    host::reset_record();
    host::record().fail_at = k;
    EXPECT_EQ(api.fmiInstantiateModel(k % 2 ? "fail" : nullptr, PELVARIN_GUID, host::me_callbacks(), fmiTrue),
              nullptr)
        << k;
    EXPECT_EQ(host::record().live_blocks, 0) << k;
    if (k == 1) {
      EXPECT_TRUE(host::record().logs.empty());  // no record, so no logger yet
    } else {
      ASSERT_FALSE(host::record().logs.empty()) << k;
      EXPECT_TRUE(me::logged("Instantiation failed", fmiFatal)) << k;
      for (const host::LogRecord& r : host::record().logs) {
        if (r.message == "Instantiation failed") {
          EXPECT_EQ(r.instanceName, k % 2 ? "fail" : "") << k;
        }
      }
    }
  }
  host::reset_record();
  c = api.instantiate();
  ASSERT_NE(c, nullptr);
  c.reset();
  EXPECT_EQ(host::record().live_blocks, 0);
}

TEST(Instance, HandlesThatAreNotTheLiveInstanceAreRefused) {
  me::Api api;
  host::Instance old = api.instantiate("old");
  ASSERT_NE(old, nullptr);
  const fmiComponent stale = old.release();
  api.fmiFreeModelInstance(stale);
  int foreign_object = 0;

  double r[2] = {0, 0};
  fmiInteger i[2] = {0, 0};
  fmiBoolean b[2] = {0, 0};
  fmiString s[2] = {nullptr, nullptr};
  fmiValueReference vr[2] = {me::state(0), me::state(1)};
  fmiEventInfo info = me::marked_event_info();
  fmiBoolean call = 0;
  const std::vector<std::function<fmiStatus(fmiComponent)>> calls = {
      [&](fmiComponent c) { return api.fmiSetDebugLogging(c, fmiTrue); },
      [&](fmiComponent c) { return api.fmiGetReal(c, vr, 2, r); },
      [&](fmiComponent c) { return api.fmiGetInteger(c, vr, 2, i); },
      [&](fmiComponent c) { return api.fmiGetBoolean(c, vr, 2, b); },
      [&](fmiComponent c) { return api.fmiGetString(c, vr, 2, s); },
      [&](fmiComponent c) { return api.fmiSetReal(c, vr, 2, r); },
      [&](fmiComponent c) { return api.fmiSetInteger(c, vr, 2, i); },
      [&](fmiComponent c) { return api.fmiSetBoolean(c, vr, 2, b); },
      [&](fmiComponent c) { return api.fmiSetString(c, vr, 2, s); },
      [&](fmiComponent c) { return api.fmiSetTime(c, 1.0); },
      [&](fmiComponent c) { return api.fmiSetContinuousStates(c, r, 2); },
      [&](fmiComponent c) { return api.fmiInitialize(c, fmiFalse, 0.0, &info); },
      [&](fmiComponent c) { return api.fmiEventUpdate(c, fmiFalse, &info); },
      [&](fmiComponent c) { return api.fmiTerminate(c); },
      [&](fmiComponent c) { return api.fmiGetStateValueReferences(c, vr, 2); },
      [&](fmiComponent c) { return api.fmiGetNominalContinuousStates(c, r, 2); },
      [&](fmiComponent c) { return api.fmiCompletedIntegratorStep(c, &call); },
      [&](fmiComponent c) { return api.fmiGetDerivatives(c, r, 2); },
      [&](fmiComponent c) { return api.fmiGetEventIndicators(c, r, 2); },
      [&](fmiComponent c) { return api.fmiGetContinuousStates(c, r, 2); },
  };

  // With no instance alive, and again with a new one alive at another address.
  for (int round = 0; round < 2; ++round) {
    host::Instance live = round == 1 ? api.instantiate("new") : host::Instance();
    host::reset_record();
    for (fmiComponent bad : {static_cast<fmiComponent>(nullptr), stale, static_cast<fmiComponent>(&foreign_object)}) {
      if (bad == live) continue;
      for (size_t k = 0; k < calls.size(); ++k) EXPECT_EQ(calls[k](bad), fmiError) << "call " << k;
      api.fmiFreeModelInstance(bad);
    }
    EXPECT_TRUE(host::record().logs.empty()) << host::all_logs();
    EXPECT_EQ(host::record().frees, 0);
    EXPECT_EQ(info.nextEventTime, -77.0);
    if (live) {
      EXPECT_EQ(api.fmiSetTime(live, 2.0), fmiOK);  // the live one is untouched
    }
  }
  EXPECT_EQ(foreign_object, 0);
}

// The runtime keeps the option arrays of the live instance; after the
// release it must hold no pointer into the freed blocks.
TEST(InstanceInProcess, FreeingClearsTheRuntimeOptionPointers) {
  fmiComponent c = fmiInstantiateModel("in", PELVARIN_GUID, host::me_callbacks(), fmiFalse);
  ASSERT_NE(c, nullptr);
  ModelInstance* instance = static_cast<ModelInstance*>(c);
  EXPECT_EQ(current_instance, instance);
  EXPECT_EQ(runtime_real_options(), instance->realOptions);
  EXPECT_EQ(runtime_int_options(), instance->intOptions);
  EXPECT_EQ(instance->state, INSTANCE_INSTANTIATED);
  EXPECT_EQ(instance->time, 0.0);
  EXPECT_EQ(instance->computedLevel, 0);
  EXPECT_EQ(instance->nx, 2u);
  EXPECT_EQ(instance->ni, 2u);
  EXPECT_EQ(instance->pendingEnd, instance->pendingText);
  EXPECT_FALSE(instance->stopTimeDefined);
  EXPECT_FALSE(instance->resultGeneration);
  EXPECT_EQ(instance->integrator, nullptr);
  EXPECT_EQ(instance->result, nullptr);
  EXPECT_NE(instance->u, nullptr);  // no inputs, still an array
  EXPECT_NE(instance->y, nullptr);

  fmiFreeModelInstance(c);
  EXPECT_EQ(current_instance, nullptr);
  EXPECT_EQ(runtime_real_options(), nullptr);
  EXPECT_EQ(runtime_int_options(), nullptr);

  // A failed instantiation past the option arrays leaves nothing registered either.
  host::reset_record();
  host::record().fail_at = 6;
  EXPECT_EQ(fmiInstantiateModel("in", PELVARIN_GUID, host::me_callbacks(), fmiFalse), nullptr);
  EXPECT_EQ(runtime_real_options(), nullptr);
  EXPECT_EQ(host::record().live_blocks, 0);
}

namespace {

long null_frees = 0;
long dirty_live = 0;

// A host allocator that does not clear its blocks, and a release that counts
// what it is handed.
void* dirty_allocate(size_t nobj, size_t size) {
  void* p = malloc(nobj * size == 0 ? 1 : nobj * size);
  if (p) memset(p, 0xAB, nobj * size);
  ++dirty_live;
  return p;
}

void counting_free(void* p) {
  if (p == nullptr) {
    ++null_frees;
    return;
  }
  --dirty_live;
  free(p);
}

}  // namespace

TEST(InstanceInProcess, BlocksOfAnAllocatorThatDoesNotClearStartZeroed) {
  const fmiCallbackFunctions callbacks = {host::logger, dirty_allocate, counting_free};
  fmiComponent c = fmiInstantiateModel("dirty", PELVARIN_GUID, callbacks, fmiFalse);
  ASSERT_NE(c, nullptr);
  ModelInstance* inst = static_cast<ModelInstance*>(c);
  EXPECT_FALSE(inst->resultGeneration);
  EXPECT_FALSE(inst->isCoSimulation);
  EXPECT_FALSE(inst->terminatedByModel);
  EXPECT_EQ(inst->integrator, nullptr);
  EXPECT_EQ(inst->result, nullptr);
  EXPECT_EQ(inst->inputsChanged, 0u);
  EXPECT_EQ(inst->eventIterationStarted, 0u);
  EXPECT_EQ(inst->u[0], 0.0);
  EXPECT_EQ(inst->der[0], 0.0);
  for (int i = 0; i < INT_OPTIONS_LENGTH; ++i) EXPECT_EQ(inst->intOptions[i], 0) << i;
  fmiFreeModelInstance(c);
  EXPECT_EQ(dirty_live, 0);
}

// The release hands the host only blocks it gave out, also after a failure
// part-way through the instantiation. A deliberate choice: a host's
// freeMemory need not accept NULL, so none is ever passed.
TEST(InstanceInProcess, ReleaseNeverHandsNullToTheHost) {
  const fmiCallbackFunctions callbacks = {host::logger, host::allocate, counting_free};
  for (long k = 2; k <= 12; ++k) {
    host::reset_record();
    host::record().fail_at = k;
    EXPECT_EQ(fmiInstantiateModel("nf", PELVARIN_GUID, callbacks, fmiFalse), nullptr) << k;
  }
  EXPECT_EQ(null_frees, 0);
}

namespace {

int foreign_records[2];
std::vector<void*> freed_blocks;

void recording_free(void* p) {
  freed_blocks.push_back(p);
  if (p != &foreign_records[0] && p != &foreign_records[1]) host::free_block(p);
}

}  // namespace

// The result record has its own life cycle: the release gives back only the
// instance's own blocks. (A slave's driver goes with the instance; the
// co-simulation tests free slaves both ways.)
TEST(InstanceInProcess, ReleaseLeavesTheResultRecordAlone) {
  const fmiCallbackFunctions callbacks = {host::logger, host::allocate, recording_free};
  fmiComponent c = fmiInstantiateModel("own", PELVARIN_GUID, callbacks, fmiFalse);
  ASSERT_NE(c, nullptr);
  ModelInstance* inst = static_cast<ModelInstance*>(c);
  inst->result = reinterpret_cast<ResultFile*>(&foreign_records[1]);
  fmiFreeModelInstance(c);
  EXPECT_EQ(freed_blocks.size(), 12u);
  for (void* p : freed_blocks) {
    EXPECT_NE(p, static_cast<void*>(&foreign_records[0]));
    EXPECT_NE(p, static_cast<void*>(&foreign_records[1]));
  }
  EXPECT_EQ(host::record().live_blocks, 0);
  EXPECT_EQ(current_instance, nullptr);
}
