// What the host-level benchmarks share: the library they load, which is
// PELVARIN_LIBRARY when set (so that one benchmark build times the library
// of another commit) or else the one built with them, and the minimum over
// repetitions, the figure by which two builds are compared.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <vector>

inline const char* bench_library_path() {
  const char* other = std::getenv("PELVARIN_LIBRARY");
  return other && *other ? other : PELVARIN_LIBRARY_PATH;
}

inline double bench_minimum(const std::vector<double>& v) {
  return v.empty() ? 0.0 : *std::min_element(v.begin(), v.end());
}
