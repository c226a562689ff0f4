// FMI 1.0 types shared by model exchange and co-simulation.
#pragma once

#include <cstddef>
#include <cstdint>

typedef void* fmiComponent;
typedef std::uint32_t fmiValueReference;
typedef double fmiReal;
typedef std::int32_t fmiInteger;
typedef char fmiBoolean;
typedef const char* fmiString;

#define fmiTrue ((fmiBoolean)1)
#define fmiFalse ((fmiBoolean)0)
#define fmiUndefinedValueReference ((fmiValueReference)(-1))

typedef enum { fmiOK = 0, fmiWarning = 1, fmiDiscard = 2, fmiError = 3, fmiFatal = 4 } fmiStatus;

typedef enum { fmiDoStepStatus = 0, fmiPendingStatus = 1, fmiLastSuccessfulTime = 2 } fmiStatusKind;

typedef void (*fmiCallbackLogger)(fmiComponent c, fmiString instanceName, fmiStatus status,
                                  fmiString category, fmiString message, ...);
typedef void* (*fmiCallbackAllocateMemory)(size_t nobj, size_t size);
typedef void (*fmiCallbackFreeMemory)(void* obj);
typedef void (*fmiStepFinished)(fmiComponent c, fmiStatus status);

// Model-exchange form of the host callbacks.
typedef struct {
  fmiCallbackLogger logger;
  fmiCallbackAllocateMemory allocateMemory;
  fmiCallbackFreeMemory freeMemory;
} fmiCallbackFunctions;

// Co-simulation form: the same three members followed by stepFinished.
typedef struct {
  fmiCallbackLogger logger;
  fmiCallbackAllocateMemory allocateMemory;
  fmiCallbackFreeMemory freeMemory;
  fmiStepFinished stepFinished;
} fmiCoSimCallbackFunctions;

typedef struct {
  fmiBoolean iterationConverged;
  fmiBoolean stateValueReferencesChanged;
  fmiBoolean stateValuesChanged;
  fmiBoolean terminateSimulation;
  fmiBoolean upcomingTimeEvent;
  fmiReal nextEventTime;
} fmiEventInfo;
