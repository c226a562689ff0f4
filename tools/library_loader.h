// Loads a shared library by path, as a host does, and finds its functions by
// their exported names: the one loader of the host programs, the tests and
// the benchmarks.
#pragma once

#include <dlfcn.h>

#include <string>

namespace host_tools {

// The exported symbol of that name, or NULL (also for a NULL handle).
inline void* find_symbol(void* handle, const char* name) {
  return handle != nullptr ? dlsym(handle, name) : nullptr;
}

// A library loaded for the lifetime of the object.
class LoadedLibrary {
 public:
  explicit LoadedLibrary(const char* path) : handle_(dlopen(path, RTLD_NOW | RTLD_LOCAL)) {
    if (handle_ == nullptr) {
      const char* reason = dlerror();
      error_ = reason != nullptr ? reason : "unknown error";
    }
  }
  ~LoadedLibrary() {
    if (handle_ != nullptr) dlclose(handle_);
  }
  LoadedLibrary(const LoadedLibrary&) = delete;
  LoadedLibrary& operator=(const LoadedLibrary&) = delete;

  // NULL when the load failed; error() tells why.
  void* handle() const { return handle_; }
  const std::string& error() const { return error_; }

  template <typename F>
  F get(const char* name) const {
    return reinterpret_cast<F>(find_symbol(handle_, name));
  }

 private:
  void* handle_;
  std::string error_;
};

}  // namespace host_tools
