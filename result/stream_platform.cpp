#include "result/stream_platform.h"

#include <sys/types.h>
#include <unistd.h>

#if __has_include(<stdio_ext.h>)
#include <stdio_ext.h>  // glibc, musl
#define PELVARIN_PURGE __fpurge
#else
#define PELVARIN_PURGE fpurge  // the BSDs
#endif

namespace pelvarin {

void stream_drop_unwritten(FILE* stream) { PELVARIN_PURGE(stream); }

bool stream_cut_file(FILE* stream, long length) {
  const int fd = fileno(stream);
  return fd >= 0 && ftruncate(fd, static_cast<off_t>(length)) == 0;
}

}  // namespace pelvarin
