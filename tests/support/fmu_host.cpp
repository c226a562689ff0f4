#include "support/fmu_host.h"

#include <gtest/gtest.h>

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace host {

HostRecord& record() {
  static HostRecord r;
  return r;
}

void reset_record() { record() = HostRecord(); }

void logger(fmiComponent c, fmiString instanceName, fmiStatus status, fmiString category,
            fmiString message, ...) {
  LogRecord rec;
  rec.component = c;
  rec.instanceName = instanceName ? instanceName : "(null)";
  rec.status = status;
  rec.category = category ? category : "(null)";
  rec.raw = message ? message : "(null)";
  // A typical FMI 1.0 host treats the message as a printf format.
  if (message) {
    va_list ap;
    va_start(ap, message);
    char buf[8192];
    vsnprintf(buf, sizeof buf, message, ap);
    va_end(ap);
    rec.message = buf;
  }
  record().logs.push_back(rec);
}

void* allocate(size_t nobj, size_t size) {
  HostRecord& r = record();
  ++r.allocation_calls;
  if (r.fail_at != 0 && r.allocation_calls == r.fail_at) return nullptr;
  void* p = calloc(nobj == 0 ? 1 : nobj, size == 0 ? 1 : size);
  if (p) {
    ++r.allocations;
    ++r.live_blocks;
  }
  return p;
}

void free_block(void* obj) {
  HostRecord& r = record();
  if (!obj) {
    ++r.null_frees;
    return;
  }
  ++r.frees;
  --r.live_blocks;
  free(obj);
}

fmiCallbackFunctions me_callbacks() { return fmiCallbackFunctions{logger, allocate, free_block}; }

fmiCoSimCallbackFunctions cs_callbacks() {
  return fmiCoSimCallbackFunctions{logger, allocate, free_block, nullptr};
}

Library::Library(const char* path) : library_(path) {
  if (!library_.handle()) ADD_FAILURE() << "dlopen(" << path << ") failed: " << library_.error();
}

void* Library::symbol(const char* name) const {
  if (!library_.handle()) return nullptr;
  void* s = host_tools::find_symbol(library_.handle(), name);
  if (!s) ADD_FAILURE() << "no exported symbol " << name;
  return s;
}

std::vector<LogRecord> logs_containing(const std::string& text) {
  std::vector<LogRecord> out;
  for (const LogRecord& r : record().logs)
    if (r.message.find(text) != std::string::npos) out.push_back(r);
  return out;
}

std::string all_logs() {
  std::string s;
  for (const LogRecord& r : record().logs) {
    s += "[" + std::to_string(static_cast<int>(r.status)) + "] " + r.message + "\n";
  }
  return s;
}

}  // namespace host
