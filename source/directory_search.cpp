// The directory search over the platform's directory streams.
#include "source/directory_search.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <dirent.h>

namespace pelvarin {

namespace {

int next_entry(DIR* dir, FindData* data) {
  errno = 0;
  const dirent* e = readdir(dir);
  if (!e) return errno == 0 ? FIND_NONE : FIND_FAILED;
  std::strncpy(data->name, e->d_name, sizeof data->name - 1);
  data->name[sizeof data->name - 1] = '\0';
  return FIND_FOUND;
}

}  // namespace

int find_first(const char* pattern, FindData* data, std::intptr_t* handle) {
  *handle = -1;
  const std::size_t len = pattern ? std::strlen(pattern) : 0;
  // Every pattern is a directory followed by "*"; the directory keeps its
  // separator, so opening it opens the directory itself.
  if (len < 2 || pattern[len - 1] != '*') {
    errno = EINVAL;
    return FIND_FAILED;
  }
  char* directory = static_cast<char*>(std::malloc(len));
  if (!directory) {
    errno = ENOMEM;
    return FIND_FAILED;
  }
  std::memcpy(directory, pattern, len - 1);
  directory[len - 1] = '\0';
  DIR* dir = opendir(directory);
  const int openError = errno;
  std::free(directory);
  if (!dir) {
    errno = openError;
    return FIND_FAILED;
  }
  const int r = next_entry(dir, data);
  if (r != FIND_FOUND) {
    const int error = errno;
    closedir(dir);
    errno = error;
    return r;
  }
  *handle = reinterpret_cast<std::intptr_t>(dir);
  return FIND_FOUND;
}

int find_next(std::intptr_t handle, FindData* data) {
  if (handle == -1) {
    errno = EBADF;
    return FIND_FAILED;
  }
  return next_entry(reinterpret_cast<DIR*>(handle), data);
}

int find_close(std::intptr_t handle) {
  if (handle == -1) {
    errno = EBADF;
    return -1;
  }
  return closedir(reinterpret_cast<DIR*>(handle));
}

}  // namespace pelvarin
