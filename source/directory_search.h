// The platform's directory search, on Linux: a search started on a pattern
// made of a directory, a separator and "*", fetching one entry at a time.
// Not reached in this model: it serves the directory listing of the
// utilities for the external functions of generated models, and this model
// calls none.
#pragma once

#include <climits>
#include <cstdint>

namespace pelvarin {

// The entry found last.
struct FindData {
  char name[NAME_MAX + 1];
};

// Results of find_first and find_next: an entry, no further entry, or a
// failure of the search with errno set.
enum { FIND_FOUND = 0, FIND_NONE = 1, FIND_FAILED = -1 };

// On FIND_FOUND the open search's handle is stored; otherwise it is -1.
int find_first(const char* pattern, FindData* data, std::intptr_t* handle);
int find_next(std::intptr_t handle, FindData* data);
// 0, or -1 with errno set.
int find_close(std::intptr_t handle);

}  // namespace pelvarin
