// The model description inside each archive, read as a host reads it, against
// the library beside it in the same archive.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

#include "fmi/fmi_functions.h"
#include "fmu_files.h"
#include "support/fmu_host.h"

using namespace pelvarin;

namespace {

// One ScalarVariable as described.
struct Variable {
  std::string name;
  fmiValueReference vr = 0;
  std::string type;  // "Real" or "Integer"
  std::string variability;
  std::string causality;
  bool has_start = false;
  double start = 0.0;
  bool fixed = true;
};

struct Described {
  fmu::Archive archive;
  fmu::Unpacked unpacked;
  fmu::Element root;
  std::vector<Variable> variables;

  explicit Described(const fmu::Archive& a) : archive(a), unpacked(a.path) {
    std::string error;
    if (!fmu::parse_xml(unpacked.description(), &root, &error)) {
      ADD_FAILURE() << archive.path << ": " << error;
      return;
    }
    const fmu::Element* list = root.child("ModelVariables");
    if (list == nullptr) return;
    for (const fmu::Element& e : list->children) {
      Variable v;
      v.name = e["name"];
      v.vr = static_cast<fmiValueReference>(std::stoul(e["valueReference"]));
      v.variability = e["variability"];
      v.causality = e["causality"];
      EXPECT_EQ(e.name, "ScalarVariable");
      EXPECT_EQ(e.children.size(), 1u) << v.name;
      if (e.children.empty()) continue;
      const fmu::Element& type = e.children.front();
      v.type = type.name;
      v.has_start = type.has("start");
      if (v.has_start) v.start = std::stod(type["start"]);
      v.fixed = type["fixed"] != "false";
      variables.push_back(v);
    }
  }

  bool cosimulation() const { return std::string(archive.kind) == "cs"; }
  unsigned count(const char* attribute) const { return static_cast<unsigned>(std::stoul(root[attribute])); }

  const Variable* named(const std::string& name) const {
    for (const Variable& v : variables)
      if (v.name == name) return &v;
    return nullptr;
  }
};

// The library of the archive, its functions found under the described model
// identifier, used in the form the archive is for.
struct Unit {
  explicit Unit(const Described& d)
      : lib(d.unpacked.library().c_str()), prefix(d.root["modelIdentifier"] + "_"), cosimulation(d.cosimulation()) {}

  host::Library lib;
  std::string prefix;
  bool cosimulation;

#define UNIT_FUNCTION(name) decltype(&::name) name = lib.get<decltype(&::name)>((prefix + #name).c_str())
  UNIT_FUNCTION(fmiInstantiateModel);
  UNIT_FUNCTION(fmiFreeModelInstance);
  UNIT_FUNCTION(fmiInitialize);
  UNIT_FUNCTION(fmiSetTime);
  UNIT_FUNCTION(fmiSetContinuousStates);
  UNIT_FUNCTION(fmiGetContinuousStates);
  UNIT_FUNCTION(fmiGetDerivatives);
  UNIT_FUNCTION(fmiGetEventIndicators);
  UNIT_FUNCTION(fmiGetStateValueReferences);
  UNIT_FUNCTION(fmiGetReal);
  UNIT_FUNCTION(fmiGetInteger);
  UNIT_FUNCTION(fmiSetReal);
  UNIT_FUNCTION(fmiSetInteger);
  UNIT_FUNCTION(fmiInstantiateSlave);
  UNIT_FUNCTION(fmiInitializeSlave);
  UNIT_FUNCTION(fmiFreeSlaveInstance);
  UNIT_FUNCTION(fmiDoStep);
  UNIT_FUNCTION(fmiCancelStep);
  UNIT_FUNCTION(fmiGetRealStatus);
  UNIT_FUNCTION(fmiGetRealOutputDerivatives);
#undef UNIT_FUNCTION

  // The instance is freed, in the form it was made in, when the handle goes.
  host::Instance make(const std::string& guid) {
    if (cosimulation)
      return {fmiInstantiateSlave("described", guid.c_str(), "", "application/x-fmu-sharedlibrary", 0.0, fmiFalse,
                                  fmiFalse, host::cs_callbacks(), fmiTrue),
              fmiFreeSlaveInstance};
    return {fmiInstantiateModel("described", guid.c_str(), host::me_callbacks(), fmiTrue), fmiFreeModelInstance};
  }

  fmiStatus initialize(fmiComponent c, double stop) {
    if (cosimulation) return fmiInitializeSlave(c, 0.0, fmiTrue, stop);
    fmiEventInfo info{};
    return fmiInitialize(c, fmiFalse, 0.0, &info);
  }

  // Reads the variable with the type it is described with.
  fmiStatus read(fmiComponent c, const Variable& v, double* value) {
    if (v.type != "Integer") return fmiGetReal(c, &v.vr, 1, value);
    fmiInteger i = 0;
    const fmiStatus s = fmiGetInteger(c, &v.vr, 1, &i);
    *value = i;
    return s;
  }

  fmiStatus write(fmiComponent c, const Variable& v, double value) {
    if (v.type != "Integer") return fmiSetReal(c, &v.vr, 1, &value);
    const fmiInteger i = static_cast<fmiInteger>(value);
    return fmiSetInteger(c, &v.vr, 1, &i);
  }
};

class ModelDescription : public ::testing::TestWithParam<fmu::Archive> {
 protected:
  void SetUp() override { host::reset_record(); }

  Described described{GetParam()};
  Unit unit{described};
  std::string guid = described.root["guid"];
};

TEST_P(ModelDescription, IsAnFmi10DescriptionOfTheUnit) {
  const fmu::Element& root = described.root;
  EXPECT_EQ(root.name, "fmiModelDescription");
  EXPECT_EQ(root["fmiVersion"], "1.0");
  EXPECT_EQ(root["modelName"], "Pelvarin");
  EXPECT_EQ(root["modelIdentifier"], "Pelvarin");
  const fmu::Element* experiment = root.child("DefaultExperiment");
  ASSERT_NE(experiment, nullptr);
  EXPECT_EQ(std::stod((*experiment)["startTime"]), 0.0);
  EXPECT_EQ(std::stod((*experiment)["stopTime"]), 10.0);
  EXPECT_EQ(root.child("Implementation") != nullptr, described.cosimulation());

  std::set<std::string> names;
  std::set<fmiValueReference> references;
  for (const Variable& v : described.variables) {
    SCOPED_TRACE(v.name);
    EXPECT_TRUE(names.insert(v.name).second);
    EXPECT_TRUE(references.insert(v.vr).second);
    EXPECT_TRUE(v.type == "Real" || v.type == "Integer");
    EXPECT_TRUE(v.variability == "parameter" || v.variability == "discrete" || v.variability == "continuous");
    EXPECT_EQ(v.causality, "internal");  // no inputs, no outputs
    if (v.variability == "parameter") {
      EXPECT_TRUE(v.has_start);
    }
  }
  // States, derivatives, parameters and auxiliaries.
  EXPECT_EQ(described.variables.size(), 21u);
}

TEST_P(ModelDescription, GuidIsTheOneTheUnitChecks) {
  std::string other = guid;
  for (char& ch : other)
    if (ch >= 'a' && ch <= 'f') {
      ch = static_cast<char>(ch - 'a' + 'A');
      break;
    }
  EXPECT_EQ(unit.make(other), nullptr);
  ASSERT_EQ(host::logs_containing("Invalid GUID").size(), 1u) << host::all_logs();
  EXPECT_EQ(host::logs_containing("Invalid GUID")[0].message, "Invalid GUID: " + other + ", expected " + guid);

  host::Instance c = unit.make(guid);
  EXPECT_NE(c, nullptr) << host::all_logs();
}

TEST_P(ModelDescription, CountsAreTheOnesTheUnitAccepts) {
  const unsigned nx = described.count("numberOfContinuousStates");
  const unsigned ni = described.count("numberOfEventIndicators");
  host::Instance c = unit.make(guid);
  ASSERT_NE(c, nullptr);
  ASSERT_EQ(unit.initialize(c, 10.0), fmiOK) << host::all_logs();

  std::vector<double> x(nx + 1), der(nx + 1), z(ni + 1);
  std::vector<fmiValueReference> vrx(nx + 1);
  EXPECT_EQ(unit.fmiGetContinuousStates(c, x.data(), nx), fmiOK);
  EXPECT_EQ(unit.fmiGetDerivatives(c, der.data(), nx), fmiOK);
  EXPECT_EQ(unit.fmiGetEventIndicators(c, z.data(), ni), fmiOK);
  EXPECT_EQ(unit.fmiGetStateValueReferences(c, vrx.data(), nx), fmiOK);
  EXPECT_TRUE(host::logs_containing("is incorrect").empty()) << host::all_logs();
  // One more is not the count.
  EXPECT_EQ(unit.fmiGetContinuousStates(c, x.data(), nx + 1), fmiWarning);
  EXPECT_EQ(unit.fmiGetEventIndicators(c, z.data(), ni + 1), fmiWarning);

  // Each state the unit names is described, with its derivative beside it.
  for (unsigned i = 0; i < nx; ++i) {
    const Variable* state = nullptr;
    for (const Variable& v : described.variables)
      if (v.vr == vrx[i]) state = &v;
    ASSERT_NE(state, nullptr) << "state " << i;
    EXPECT_TRUE(state->has_start);
    EXPECT_EQ(state->type, "Real");
    EXPECT_EQ(state->variability, "continuous");
    const Variable* derivative = described.named("der(" + state->name + ")");
    ASSERT_NE(derivative, nullptr) << state->name;
    double value = 0.0;
    EXPECT_EQ(unit.read(c, *derivative, &value), fmiOK);
    EXPECT_EQ(value, der[i]) << derivative->name;
  }
}

// The table over the variables: each is readable with its described type,
// starts at its described start value, and keeps its value between events
// when it is described as a parameter or discrete.
TEST_P(ModelDescription, EveryVariableAgreesWithTheUnit) {
  host::Instance c = unit.make(guid);
  ASSERT_NE(c, nullptr);
  for (const Variable& v : described.variables) {
    if (!v.has_start) continue;
    double value = -1234.5;
    EXPECT_EQ(unit.read(c, v, &value), fmiOK) << v.name;
    EXPECT_EQ(value, v.start) << v.name;
  }

  // No event lies between 0.02 and 0.07: the first pulse ends at 0.1.
  ASSERT_EQ(unit.initialize(c, 10.0), fmiOK) << host::all_logs();
  std::vector<double> early, late;
  const unsigned nx = described.count("numberOfContinuousStates");
  for (double t : {0.02, 0.07}) {
    if (unit.cosimulation) {
      double now = 0.0;
      ASSERT_EQ(unit.fmiGetRealStatus(c, fmiLastSuccessfulTime, &now), fmiOK);
      ASSERT_EQ(unit.fmiDoStep(c, now, t - now, fmiTrue), fmiOK) << host::all_logs();
    } else {
      std::vector<double> x(nx);
      for (unsigned i = 0; i < nx; ++i) x[i] = 1.0 + i + t;
      ASSERT_EQ(unit.fmiSetTime(c, t), fmiOK);
      ASSERT_EQ(unit.fmiSetContinuousStates(c, x.data(), nx), fmiOK);
    }
    std::vector<double>& values = t < 0.05 ? early : late;
    for (const Variable& v : described.variables) {
      double value = -1234.5;
      EXPECT_EQ(unit.read(c, v, &value), fmiOK) << v.name << host::all_logs();
      if (v.type == "Integer") {
        double real = 0.5;
        EXPECT_EQ(unit.fmiGetReal(c, &v.vr, 1, &real), fmiOK);
        EXPECT_EQ(real, value) << v.name << " is not a whole number";
      }
      values.push_back(value);
    }
  }
  for (size_t k = 0; k < described.variables.size(); ++k) {
    const Variable& v = described.variables[k];
    if (v.variability == "parameter" || v.variability == "discrete") {
      EXPECT_EQ(early[k], late[k]) << v.name;
    }
  }
}

// A start value described as fixed is the one initialization uses; one that
// is not fixed is replaced by initialization.
TEST_P(ModelDescription, FixedStartValuesAreKeptByInitialization) {
  for (const Variable& v : described.variables) {
    if (!v.has_start) continue;
    SCOPED_TRACE(v.name);
    host::Instance c = unit.make(guid);
    ASSERT_NE(c, nullptr);
    const double set = v.start + 1.0;
    ASSERT_EQ(unit.write(c, v, set), fmiOK);
    ASSERT_EQ(unit.initialize(c, 10.0), fmiOK) << host::all_logs();
    double value = 0.0;
    EXPECT_EQ(unit.read(c, v, &value), fmiOK);
    if (v.fixed) {
      EXPECT_EQ(value, set);
    } else {
      EXPECT_NE(value, set);
    }
  }
}

// The variables the model's own error reports name are the ones described
// under those names.
TEST_P(ModelDescription, NamesAreTheOnesTheModelReports) {
  struct Case {
    const char* name;
    const char* report;
  };
  for (const Case& k : {Case{"pulse1.period", "(time-pulse1.startTime) / (pulse1.period) = (0) / (0)"},
                        Case{"kompartment1.Vd", "(kompartment1.C0) / (kompartment1.Vd) = (0) / (0)"}}) {
    SCOPED_TRACE(k.name);
    host::reset_record();
    const Variable* v = described.named(k.name);
    ASSERT_NE(v, nullptr);
    host::Instance c = unit.make(guid);
    ASSERT_NE(c, nullptr);
    ASSERT_EQ(unit.write(c, *v, 0.0), fmiOK);
    EXPECT_NE(unit.initialize(c, 10.0), fmiOK);
    EXPECT_FALSE(host::logs_containing(k.report).empty()) << host::all_logs();
  }
}

INSTANTIATE_TEST_SUITE_P(Archives, ModelDescription, ::testing::ValuesIn(fmu::archives()),
                         [](const ::testing::TestParamInfo<fmu::Archive>& info) { return std::string(info.param.kind); });

TEST(ModelDescriptions, BothFormsDescribeTheSameVariables) {
  const std::vector<fmu::Archive> archives = fmu::archives();
  Described me(archives[0]), cs(archives[1]);
  ASSERT_NE(me.root.child("ModelVariables"), nullptr);
  ASSERT_NE(cs.root.child("ModelVariables"), nullptr);
  EXPECT_TRUE(*me.root.child("ModelVariables") == *cs.root.child("ModelVariables"));
  for (const char* attribute : {"guid", "numberOfContinuousStates", "numberOfEventIndicators", "modelIdentifier"})
    EXPECT_EQ(me.root[attribute], cs.root[attribute]) << attribute;
}

// What the co-simulation description says the slave can do, against what it does.
TEST(ModelDescriptions, CapabilitiesSayWhatTheSlaveDoes) {
  host::reset_record();
  Described cs(fmu::archives()[1]);
  const fmu::Element* implementation = cs.root.child("Implementation");
  ASSERT_NE(implementation, nullptr);
  const fmu::Element* standalone = implementation->child("CoSimulation_StandAlone");
  ASSERT_NE(standalone, nullptr);
  const fmu::Element* capabilities = standalone->child("Capabilities");
  ASSERT_NE(capabilities, nullptr);
  const std::map<std::string, std::string> expected = {
      {"canHandleVariableCommunicationStepSize", "true"},
      {"canHandleEvents", "true"},
      {"canRejectSteps", "false"},
      {"canInterpolateInputs", "false"},
      {"maxOutputDerivativeOrder", "0"},
      {"canRunAsynchronuously", "false"},
      {"canBeInstantiatedOnlyOncePerProcess", "true"},
      {"canNotUseMemoryManagementFunctions", "false"},
  };
  EXPECT_EQ(capabilities->attributes, expected);
  // Deprecated in FMI 1.0 and false by default: FMI parsers report it as an error.
  EXPECT_EQ(capabilities->attributes.count("canSignalEvents"), 0u);

  Unit unit(cs);
  const std::string guid = cs.root["guid"];
  host::Instance c = unit.make(guid);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(unit.make(guid), nullptr);  // one instance per process
  ASSERT_EQ(unit.initialize(c, 10.0), fmiOK);
  // Steps of different sizes, across the end of the first pulse (a time
  // event at 0.1) and the start of the second period (a state event at 1).
  double t = 0.0;
  for (double h : {0.01, 0.037, 0.5, 0.953}) {
    EXPECT_EQ(unit.fmiDoStep(c, t, h, fmiTrue), fmiOK) << "step " << h << host::all_logs();
    t += h;
  }
  double reached = 0.0;
  EXPECT_EQ(unit.fmiGetRealStatus(c, fmiLastSuccessfulTime, &reached), fmiOK);
  EXPECT_DOUBLE_EQ(reached, 1.5);
  const Variable* count = cs.named("pulse1.count");
  ASSERT_NE(count, nullptr);
  double periods = 0.0;
  EXPECT_EQ(unit.read(c, *count, &periods), fmiOK);
  EXPECT_EQ(periods, 1.0);
  EXPECT_EQ(unit.fmiCancelStep(c), fmiDiscard);  // nothing runs asynchronously
  // No output has a derivative to give.
  const fmiValueReference vr = count->vr;
  const fmiInteger order = 1;
  double derivative = 0.0;
  EXPECT_EQ(unit.fmiGetRealOutputDerivatives(c, &vr, 1, &order, &derivative), fmiDiscard);
}

}  // namespace
