// A limit on the size of the files that this process writes, set for a part
// of one test: a write past it fails with EFBIG instead of raising SIGXFSZ.
#pragma once

#include <signal.h>
#include <sys/resource.h>

class FileSizeLimit {
 public:
  explicit FileSizeLimit(long bytes) {
    signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &previous_);
    rlimit limit = previous_;
    limit.rlim_cur = static_cast<rlim_t>(bytes);
    on_ = setrlimit(RLIMIT_FSIZE, &limit) == 0;
  }
  ~FileSizeLimit() { lift(); }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

  // Whether the limit was set.
  bool on() const { return on_; }
  void lift() {
    if (on_) setrlimit(RLIMIT_FSIZE, &previous_);
    on_ = false;
  }

 private:
  rlimit previous_;
  bool on_ = false;
};
