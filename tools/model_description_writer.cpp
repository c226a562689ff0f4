// Writes the FMI 1.0 model description of the unit, for model exchange or
// co-simulation, from the model's own variable table, start values (declare_)
// and dimensions. Run by the build for the two archives.
//
//   model_description_writer me|cs path/to/modelDescription.xml
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>

#include "fmi/Pelvarin.h"
#include "fmi/model_description.h"
#include "model/model_dimensions.h"
#include "source/model_interface.h"

using namespace pelvarin;

namespace {

using model_vars::Type;
using model_vars::Variability;
using model_vars::Variable;

std::string escaped(const char* text) {
  std::string out;
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += *c;
    }
  }
  return out;
}

// Shortest text that reads back as the same double, independent of the locale.
std::string number(double value) {
  char text[64];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

const char* variability_text(Variability v) {
  switch (v) {
    case Variability::Parameter: return "parameter";
    case Variability::Discrete: return "discrete";
    case Variability::Continuous: return "continuous";
  }
  return "";
}

struct StartValues {
  double x[MODEL_NX + 1];
  double p[MODEL_NP + 1];
};

// Parameters and states start where declare_ puts them; the rest have no start.
const double* start_of(const Variable& v, const StartValues& s) {
  const unsigned i = vr_index(v.vr);
  switch (vr_category(v.vr)) {
    case VR_CATEGORY_PARAMETER: return &s.p[i];
    case VR_CATEGORY_STATE: return &s.x[i];
    default: return nullptr;
  }
}

bool write_variable(FILE* out, const Variable& v, const StartValues& starts) {
  fprintf(out, "    <ScalarVariable name=\"%s\" valueReference=\"%u\"", escaped(v.name).c_str(),
          static_cast<unsigned>(v.vr));
  if (v.description != nullptr) fprintf(out, " description=\"%s\"", escaped(v.description).c_str());
  fprintf(out, " variability=\"%s\" causality=\"internal\">\n", variability_text(v.variability));
  const char* type = v.type == Type::Integer ? "Integer" : "Real";
  if (const double* start = start_of(v, starts)) {
    if (v.type == Type::Integer && *start != std::floor(*start)) {
      fprintf(stderr, "start value %s of the Integer variable %s is not whole\n", number(*start).c_str(), v.name);
      return false;
    }
    fprintf(out, "      <%s start=\"%s\" fixed=\"%s\"/>\n", type, number(*start).c_str(), v.fixed ? "true" : "false");
  } else {
    fprintf(out, "      <%s/>\n", type);
  }
  fprintf(out, "    </ScalarVariable>\n");
  return true;
}

// What the co-simulation slave does: it takes steps of any size and handles
// time and state events itself; it never rejects a step, has no asynchronous
// fmiDoStep and allows one instance per process. With no inputs and no
// outputs it neither interpolates inputs nor answers output derivatives.
void write_cosimulation(FILE* out) {
  fprintf(out,
          "  <Implementation>\n"
          "    <CoSimulation_StandAlone>\n"
          "      <Capabilities canHandleVariableCommunicationStepSize=\"true\" canHandleEvents=\"true\""
          " canRejectSteps=\"false\" canInterpolateInputs=\"false\" maxOutputDerivativeOrder=\"0\""
          " canRunAsynchronuously=\"false\""
          " canBeInstantiatedOnlyOncePerProcess=\"true\" canNotUseMemoryManagementFunctions=\"false\"/>\n"
          "    </CoSimulation_StandAlone>\n"
          "  </Implementation>\n");
}

bool write_description(FILE* out, bool cosimulation) {
  int nx, unused1, nu, ny, nw, np, nrel, unused7, unused8;
  model_dimensions(&nx, &unused1, &nu, &ny, &nw, &np, &nrel, &unused7, &unused8);
  StartValues starts{};
  int qiErr = 0;
  declare_(starts.x, starts.p, nullptr, &qiErr);

  fprintf(out,
          "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
          "<fmiModelDescription fmiVersion=\"1.0\" modelName=\"%s\" modelIdentifier=\"%s\" guid=\"%s\"\n"
          "  description=\"One-compartment pharmacokinetic model with periodic pulse dosing\"\n"
          "  variableNamingConvention=\"structured\" numberOfContinuousStates=\"%d\" numberOfEventIndicators=\"%d\">\n",
          PELVARIN_MODEL_IDENTIFIER, PELVARIN_MODEL_IDENTIFIER, PELVARIN_GUID, nx, 2 * nrel);
  fprintf(out, "  <DefaultExperiment startTime=\"%s\" stopTime=\"%s\"/>\n",
          number(model_vars::FMI_DEFAULT_START_TIME).c_str(), number(model_vars::FMI_DEFAULT_STOP_TIME).c_str());
  fprintf(out, "  <ModelVariables>\n");
  for (const Variable& v : model_vars::FMI_VARIABLES)
    if (!write_variable(out, v, starts)) return false;
  fprintf(out, "  </ModelVariables>\n");
  if (cosimulation) write_cosimulation(out);
  fprintf(out, "</fmiModelDescription>\n");
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3 || (strcmp(argv[1], "me") != 0 && strcmp(argv[1], "cs") != 0)) {
    fprintf(stderr, "usage: %s me|cs path/to/modelDescription.xml\n", argv[0]);
    return 2;
  }
  FILE* out = fopen(argv[2], "w");
  if (out == nullptr) {
    perror(argv[2]);
    return 1;
  }
  const bool written = write_description(out, strcmp(argv[1], "cs") == 0) && ferror(out) == 0;
  if (fclose(out) != 0 || !written) {
    fprintf(stderr, "%s: not written\n", argv[2]);
    remove(argv[2]);
    return 1;
  }
  return 0;
}
