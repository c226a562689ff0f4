// Test host: loads Pelvarin.so by path, finds functions by their exported
// names, records every logger call and counts (or fails) host allocations.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "fmi/fmi_types.h"
#include "tools/library_loader.h"

namespace host {

struct LogRecord {
  fmiComponent component;
  std::string instanceName;
  fmiStatus status;
  std::string category;
  std::string raw;      // the message argument as passed
  std::string message;  // as a printf-treating host shows it
};

// Everything the callbacks saw. Process-wide, as a host's callbacks are.
struct HostRecord {
  std::vector<LogRecord> logs;
  long allocations = 0;      // successful allocateMemory calls
  long frees = 0;            // freeMemory calls with a non-null pointer
  long null_frees = 0;       // freeMemory calls with NULL
  long live_blocks = 0;      // allocations not yet freed
  long fail_at = 0;          // the k-th allocation (1-based) fails; 0: none
  long allocation_calls = 0; // every allocateMemory call, failed or not
};

HostRecord& record();
void reset_record();

void logger(fmiComponent c, fmiString instanceName, fmiStatus status, fmiString category,
            fmiString message, ...);
void* allocate(size_t nobj, size_t size);
void free_block(void* obj);

fmiCallbackFunctions me_callbacks();
fmiCoSimCallbackFunctions cs_callbacks();

// The loaded library; symbols are looked up by name. A failed load or a
// missing symbol fails the test.
class Library {
 public:
  explicit Library(const char* path = PELVARIN_LIBRARY_PATH);

  void* symbol(const char* name) const;

  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(symbol(name));
  }

  void* handle() const { return library_.handle(); }

 private:
  host_tools::LoadedLibrary library_;
};

// An instance this test owns: freed with the free function it was made for
// (the model's or the slave's) when it goes out of scope, so that a failed
// ASSERT does not leak it. A named handle converts to the component it holds.
class Instance {
 public:
  using Free = void (*)(fmiComponent);

  Instance() = default;
  Instance(fmiComponent component, Free free) : component_(component), free_(free) {}
  ~Instance() { reset(); }
  Instance(Instance&& other) noexcept : component_(other.release()), free_(other.free_) {}
  Instance& operator=(Instance&& other) noexcept {
    if (this != &other) {
      reset();
      free_ = other.free_;
      component_ = other.release();
    }
    return *this;
  }
  Instance(const Instance&) = delete;
  Instance& operator=(const Instance&) = delete;

  operator fmiComponent() const& { return component_; }
  operator fmiComponent() const&& = delete;  // a temporary would free it at once
  fmiComponent get() const { return component_; }

  // Hands the component back for a test that frees it itself.
  fmiComponent release() {
    fmiComponent c = component_;
    component_ = nullptr;
    return c;
  }
  // Frees the component now (if any).
  void reset() {
    if (component_ && free_) free_(release());
  }

 private:
  fmiComponent component_ = nullptr;
  Free free_ = nullptr;
};

// Messages recorded so far (as a host shows them) that contain the text.
std::vector<LogRecord> logs_containing(const std::string& text);
std::string all_logs();

}  // namespace host
