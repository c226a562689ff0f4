// Bit-exact digests of a run's results and of what reached its logger, so
// that a build can be held to the results an earlier build gave.
#pragma once

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <regex>
#include <string>

#include "fmi/fmi_types.h"

namespace digest {

// FNV-1a over the bytes added, with a count of the items.
struct Digest {
  std::uint64_t hash = 14695981039346656037ull;
  long items = 0;

  void bytes(const void* data, size_t n) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    for (size_t i = 0; i < n; ++i) hash = (hash ^ p[i]) * 1099511628211ull;
  }
  void add(double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    bytes(&bits, sizeof bits);
    ++items;
  }
  void add(const std::string& s) {
    bytes(s.c_str(), s.size() + 1);
    ++items;
  }
  std::string text() const {
    char buf[40];
    std::snprintf(buf, sizeof buf, "%016llx/%ld", static_cast<unsigned long long>(hash), items);
    return buf;
  }
};

// The statistics report's processor-clock figures vary from run to run.
inline std::string without_clock_figures(const std::string& message) {
  static const std::regex seconds("\\(-?[0-9.]+ s\\)");
  static const std::regex elapsed("(Simulation time +: )-?[0-9.]+ s");
  return std::regex_replace(std::regex_replace(message, seconds, "(_ s)"), elapsed, "$1_ s");
}

// What a printf-treating host shows, one line per logger call.
inline std::string log_line(fmiString instanceName, fmiStatus status, fmiString category,
                            fmiString message, va_list args) {
  char text[8192] = "";
  if (message) std::vsnprintf(text, sizeof text, message, args);
  std::string line = std::to_string(status) + "|" + (instanceName ? instanceName : "(null)") + "|" +
                     (category ? category : "(null)") + "|" + text;
  return without_clock_figures(line);
}

// The lines the logger below received since the last reset.
inline Digest& logged() {
  static Digest lines;
  return lines;
}

// A host's logger that keeps only the digest of what it is shown.
inline void logger(fmiComponent, fmiString instanceName, fmiStatus status, fmiString category,
                   fmiString message, ...) {
  va_list args;
  va_start(args, message);
  logged().add(log_line(instanceName, status, category, message, args));
  va_end(args);
}

// The library under test: PELVARIN_LIBRARY when set (another build, to
// compare with), else the one this tree built.
inline const char* library_under_test() {
  const char* other = std::getenv("PELVARIN_LIBRARY");
  return other && *other ? other : PELVARIN_LIBRARY_PATH;
}

}  // namespace digest
