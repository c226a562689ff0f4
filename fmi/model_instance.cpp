#include "fmi/model_instance.h"

#include <cstdlib>
#include <cstring>

#include "fmi/Pelvarin.h"
#include "fmi/fmi_functions.h"
#include "fmi/layer_hooks.h"
#include "fmi/logging.h"
#include "fmi/version.h"
#include "source/evaluation_driver.h"
#include "source/model_interface.h"
#include "source/runtime_constants.h"

namespace pelvarin {

ModelInstance* current_instance = nullptr;

void* allocate_zeroed(ModelInstance* instance, size_t count, size_t size) {
  void* block = instance->allocateMemory(count, size);
  if (block != nullptr) memset(block, 0, count * size);
  return block;
}

void release_block(ModelInstance* instance, void* block) {
  if (block != nullptr) instance->freeMemory(block);
}

namespace {

double* allocate_values(ModelInstance* instance, std::uint32_t count) {
  return static_cast<double*>(allocate_zeroed(instance, static_cast<size_t>(count) + 1, sizeof(double)));
}

// Gives back everything the instance holds from the host, the record last.
// The co-simulation driver and the result record belong to their own life
// cycles and are not touched.
void release_instance(ModelInstance* instance) {
  fmi_log(instance, instance->instanceName != nullptr ? instance->instanceName : "", fmiOK, "",
          "fmiFreeModelInstance");
  if (runtime_real_options() == instance->realOptions ||
      runtime_int_options() == instance->intOptions) {
    runtime_set_options(nullptr, nullptr);  // nothing may point into freed memory
  }
  void* blocks[] = {instance->instanceName, instance->realOptions, instance->intOptions,
                    instance->x,            instance->der,         instance->p,
                    instance->u,            instance->y,           instance->w,
                    instance->eventIndicators, instance->xNominal};
  for (void* block : blocks) release_block(instance, block);
  if (current_instance == instance) current_instance = nullptr;
  instance->freeMemory(instance);
}

// The configuration switch of result generation: set to anything but "" or "0".
fmiBoolean result_file_requested() {
  const char* value = getenv("PELVARIN_RESULT_FILE");
  return (value != nullptr && value[0] != '\0' && strcmp(value, "0") != 0) ? fmiTrue : fmiFalse;
}

const char* missing_argument(fmiString GUID, const fmiCallbackFunctions& functions) {
  if (functions.logger == nullptr) return "logger";
  if (functions.allocateMemory == nullptr) return "allocateMemory";
  if (functions.freeMemory == nullptr) return "freeMemory";
  if (GUID == nullptr) return "GUID";
  return nullptr;
}

// Fills a zeroed record that holds the host's callbacks: the name, the
// options, the value arrays and the model's start values.
// Guarantees on false: the reason is logged (nothing for a failed
// allocation) and whatever was allocated is referenced by the record, for
// release_instance. Returns true when the instance is ready.
bool set_up_instance(ModelInstance* instance, fmiString instanceName, fmiString GUID,
                     fmiBoolean loggingOn) {
  const char* name = fmi_function_names[FMI_NAME_INSTANTIATE_MODEL];
  const char* shownName = instanceName != nullptr ? instanceName : "";
  instance->instanceName = copy_instance_string(instance, instanceName);
  if (instance->instanceName == nullptr) return false;
  instance->loggingOn = loggingOn;

  if (strcmp(GUID, PELVARIN_GUID) != 0) {
    fmi_log(instance, shownName, fmiError, "", "Invalid GUID: %s, expected %s", GUID, PELVARIN_GUID);
    return false;
  }

  instance->realOptions =
      static_cast<double*>(allocate_zeroed(instance, 1, REAL_OPTIONS_LENGTH * sizeof(double)));
  instance->intOptions = static_cast<int*>(allocate_zeroed(instance, 1, INT_OPTIONS_LENGTH * sizeof(int)));
  if (instance->realOptions == nullptr || instance->intOptions == nullptr) return false;
  runtime_set_options(instance->realOptions, instance->intOptions);

  int nx = 0, unused1 = 0, nu = 0, ny = 0, nw = 0, np = 0, nrel = 0, unused7 = 0, unused8 = 0;
  model_dimensions(&nx, &unused1, &nu, &ny, &nw, &np, &nrel, &unused7, &unused8);
  instance->nx = static_cast<std::uint32_t>(nx);
  instance->nu = static_cast<std::uint32_t>(nu);
  instance->ny = static_cast<std::uint32_t>(ny);
  instance->nw = static_cast<std::uint32_t>(nw);
  instance->np = static_cast<std::uint32_t>(np);
  instance->ni = 2u * static_cast<std::uint32_t>(nrel);

  instance->x = allocate_values(instance, instance->nx);
  instance->der = allocate_values(instance, instance->nx);
  instance->p = allocate_values(instance, instance->np);
  instance->u = allocate_values(instance, instance->nu);
  instance->y = allocate_values(instance, instance->ny);
  instance->w = allocate_values(instance, instance->nw);
  instance->eventIndicators = allocate_values(instance, instance->ni);
  instance->xNominal = allocate_values(instance, instance->nx);
  if (!instance->x || !instance->der || !instance->p || !instance->u || !instance->y || !instance->w ||
      !instance->eventIndicators || !instance->xNominal) {
    return false;
  }
  for (std::uint32_t i = 0; i < instance->nx; ++i) instance->xNominal[i] = 1.0;

  instance->state = INSTANCE_INSTANTIATED;
  instance->resultGeneration = result_file_requested();
  instance->integrator = nullptr;

  int qiErr = QIERR_OK;
  declare_(instance->x, instance->p, nullptr, &qiErr);
  // Not reached in this model: its declare_ never reports a QiErr.
  if (qiErr != QIERR_OK) {
    FMI_LOG(instance, fmiError, "%s: declare_ failed, QiErr = %d", name, qiErr);
    return false;
  }
  instance->stopTimeDefined = fmiFalse;
  instance->stopTime = 0.0;
  return true;
}

}  // namespace

fmiComponent fmiInstantiateModel(fmiString instanceName, fmiString GUID, fmiCallbackFunctions functions,
                                 fmiBoolean loggingOn) {
  const char* name = fmi_function_names[FMI_NAME_INSTANTIATE_MODEL];
  const char* shownName = instanceName != nullptr ? instanceName : "";
  route_runtime_texts_to_logger();

  if (current_instance != nullptr) {
    fmi_log(current_instance, instanceName != nullptr ? instanceName : current_instance->instanceName,
            fmiFatal, "", "%s: multiple instances within same process not supported", name);
    return nullptr;
  }
  if (const char* missing = missing_argument(GUID, functions)) {
    fmi_log_host(functions.logger, shownName, fmiError, "", "%s: argument %s is NULL", name, missing);
    fmi_log_host(functions.logger, shownName, fmiFatal, "", "Instantiation failed");
    return nullptr;
  }

  ModelInstance* instance = static_cast<ModelInstance*>(functions.allocateMemory(1, sizeof(ModelInstance)));
  if (instance == nullptr) return nullptr;
  memset(instance, 0, sizeof(ModelInstance));
  instance->pendingEnd = instance->pendingText;
  instance->logger = functions.logger;
  instance->allocateMemory = functions.allocateMemory;
  instance->freeMemory = functions.freeMemory;

  if (!set_up_instance(instance, instanceName, GUID, loggingOn)) {
    fmi_log(instance, shownName, fmiFatal, "", "Instantiation failed");
    release_instance(instance);
    return nullptr;
  }

  current_instance = instance;
  FMI_LOG(instance, fmiOK, "%s completed", name);
  return instance;
}

void fmiFreeModelInstance(fmiComponent c) {
  ModelInstance* instance = live_instance(c);
  if (instance == nullptr) return;
  // A run freed without terminate still gets its buffered points written,
  // and a slave freed here, or without termination, still holds its
  // integrator.
  if (instance->resultGeneration) result_hooks().finish_result_generation(instance);
  cosim_hooks().free_integrator(instance);
  release_instance(instance);
}

}  // namespace pelvarin
