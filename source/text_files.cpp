// Numbered lines of text files and directory listings for external calls.
#include "source/text_files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "source/c_locale_text.h"

namespace pelvarin {

LineCache lineCache;

namespace {

enum { LOCAL_LINE_SIZE = 200, CACHED_PATH_LIMIT = 299 };

const char* shown(const char* text) { return text ? text : ""; }

// Outside an evaluation a full area reports and returns; callers still get
// a text.
const char* new_empty_string() {
  const char* s = alloc_empty_string(0);
  return s ? s : "";
}

void close_keeping_errno(FILE* stream) {
  const int error = errno;
  std::fclose(stream);
  errno = error;
}

void empty_line_cache() {
  FILE* stream = lineCache.stream;
  lineCache.stream = nullptr;
  if (stream) std::fclose(stream);
}

bool same_time(const timespec& a, const timespec& b) {
  return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec;
}

// The path still names the file the cached stream reads, unchanged: a file
// deleted or rewritten since must not be served from the old stream.
bool cached_file_unchanged(const char* fileName) {
  struct stat now;
  return stat(fileName, &now) == 0 && now.st_dev == lineCache.device &&
         now.st_ino == lineCache.inode && now.st_size == lineCache.size &&
         same_time(now.st_mtim, lineCache.modified);
}

// A line too long for the local buffer is read again, straight into its
// result, and its line feed after it.
bool read_again(FILE* stream, long start, char* line, long long n) {
  errno = 0;
  if (start < 0 || std::fseek(stream, start, SEEK_SET) != 0 ||
      std::fread(line, 1, n, stream) != (std::size_t)n) {
    if (errno == 0) errno = EIO;
    return false;
  }
  std::getc(stream);
  return true;
}

void raise_read_error(int lineNumber, const char* fileName) {
  error_message_format("Error when reading line %i from file\n\"%s\":\n%s", lineNumber,
                       shown(fileName), std::strerror(errno));
}

// Outside an evaluation the refusal returns, and so does this: NULL.
FILE* refuse_open(const char* fileName, const char* reason) {
  error_message_format("Not possible to open file \"%s\" for reading:\n%s\n", shown(fileName),
                       reason);
  return nullptr;
}

// A FIFO, a device or a socket may never end, or wait in the open itself
// for a writer; a directory opens and fails at its first read.
bool readable_kind(mode_t mode) { return S_ISREG(mode) || S_ISDIR(mode); }

// The path is looked at before the open, so that no device is opened at
// all, and the opened file again, since the path may name another by then:
// O_NONBLOCK keeps such a FIFO's open from waiting. The stream then reads as
// any other.
FILE* open_for_reading(const char* fileName) {
  static const char* const notRegular = "Not a regular file";
  if (!fileName) return refuse_open(fileName, std::strerror(EFAULT));
  struct stat st;
  if (stat(fileName, &st) != 0) return refuse_open(fileName, std::strerror(errno));
  if (!readable_kind(st.st_mode)) return refuse_open(fileName, notRegular);
  const int fd = open(fileName, O_RDONLY | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return refuse_open(fileName, std::strerror(errno));
  const char* reason = nullptr;
  FILE* stream = nullptr;
  int flags = 0;
  if (fstat(fd, &st) != 0)
    reason = std::strerror(errno);
  else if (!readable_kind(st.st_mode))
    reason = notRegular;
  else if ((flags = fcntl(fd, F_GETFL)) == -1 || fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == -1 ||
           !(stream = fdopen(fd, "r")))
    reason = std::strerror(errno);
  if (stream) return stream;
  close(fd);
  return refuse_open(fileName, reason);
}

}  // namespace

void cache_open_file(FILE* stream, const char* fileName, int lineNumber) {
  // The cached stream itself is re-cached, not closed under its caller.
  if (lineCache.stream == stream)
    lineCache.stream = nullptr;
  else
    empty_line_cache();
  if (!stream) return;
  struct stat st;
  if (fileName && strnlen(fileName, CACHED_PATH_LIMIT) < CACHED_PATH_LIMIT &&
      fstat(fileno(stream), &st) == 0) {
    std::strcpy(lineCache.path, fileName);
    lineCache.stream = stream;
    lineCache.lineNumber = lineNumber;
    lineCache.device = st.st_dev;
    lineCache.inode = st.st_ino;
    lineCache.size = st.st_size;
    lineCache.modified = st.st_mtim;
  } else {
    std::fclose(stream);
  }
}

FILE* open_file_at_line(const char* fileName, int skip) {
  FILE* stream = nullptr;
  if (lineCache.stream && skip != 0 && skip >= lineCache.lineNumber && fileName &&
      std::strncmp(fileName, lineCache.path, sizeof lineCache.path) == 0) {
    if (cached_file_unchanged(fileName)) {
      stream = lineCache.stream;
      lineCache.stream = nullptr;
      skip -= lineCache.lineNumber;
    } else {
      empty_line_cache();
    }
  }
  if (!stream) stream = open_for_reading(fileName);
  if (!stream) return nullptr;
  // A negative skip runs to the end of the file; it is not counted, since
  // counting it down would pass INT_MIN. A read error ends the skipping: it
  // would repeat for every line, and the reader reports it from the stream's
  // error flag.
  const bool toTheEnd = skip < 0;
  for (; (toTheEnd || skip != 0) && !std::feof(stream) && !std::ferror(stream);
       skip -= toTheEnd ? 0 : 1) {
    int c;
    do c = std::getc(stream);
    while (c != EOF && c != '\n');
  }
  return stream;
}

namespace {

// What reading the line at a stream's position gave.
enum LineOutcome { LINE_READ, LINE_NONE, LINE_FAILED };

// Reads the line at the stream's position into the simple-string area
// (*line, terminated) and the stream past its line feed. LINE_NONE at the
// end of the file; LINE_FAILED with errno set on a read error or no room.
LineOutcome read_current_line(FILE* stream, char** line) {
  if (std::feof(stream)) return LINE_NONE;
  const long start = std::ftell(stream);
  // The longest line the area still takes: reading on past it could go on
  // for ever in a file without line feeds, for a line that cannot be kept.
  const long long room = (long long)(Endsimplestring - stringmark) - 2;
  char local[LOCAL_LINE_SIZE];
  long long n = 0;
  int c;
  while ((c = std::getc(stream)) != EOF && c != '\n') {
    if (n >= room) {
      errno = ENOMEM;
      return LINE_FAILED;
    }
    if (n < LOCAL_LINE_SIZE) local[n] = (char)c;
    ++n;
  }
  // A read error is no end of the line.
  if (std::ferror(stream) != 0) return LINE_FAILED;
  if (n == 0 && c == EOF) return LINE_NONE;
  char* text = try_alloc_empty_string((int)n);
  if (!text) {
    errno = ENOMEM;
    return LINE_FAILED;
  }
  if (n <= LOCAL_LINE_SIZE) std::memcpy(text, local, n);
  else if (!read_again(stream, start, text, n)) return LINE_FAILED;
  text[n] = '\0';
  *line = text;
  return LINE_READ;
}

}  // namespace

const char* read_line(const char* fileName, int lineNumber, std::int32_t* endOfFile) {
  *endOfFile = 1;
  // Line 0 and those before it lie before the first line: the file must
  // open, but it has no text there, as for a line past its end. Nothing is
  // skipped for them, so a directory answers as a file does.
  const bool beforeTheText = lineNumber <= 0;
  FILE* stream = open_file_at_line(fileName, beforeTheText ? 0 : lineNumber - 1);
  if (!stream) return "";
  char* line = nullptr;
  const LineOutcome outcome = beforeTheText ? LINE_NONE : read_current_line(stream, &line);
  // The one place the stream is given up: kept for the next line, or closed
  // (before an error leaves through the trap).
  switch (outcome) {
    case LINE_READ:
      cache_open_file(stream, fileName, lineNumber);
      *endOfFile = 0;
      return line;
    case LINE_NONE:
      std::fclose(stream);
      return new_empty_string();
    case LINE_FAILED:
      break;
  }
  close_keeping_errno(stream);
  raise_read_error(lineNumber, fileName);
  return "";
}

ReadLineResult read_line_wrapper(const char* fileName, int lineNumber) {
  ReadLineResult r;
  r.line = read_line(fileName, lineNumber, &r.endOfFile);
  return r;
}

// --- directory streams ------------------------------------------------------

namespace {

void end_search(DirStream* stream) {
  if (stream->searchHandle != -1) find_close(stream->searchHandle);
  stream->searchHandle = -1;
}

}  // namespace

const char* dir_pattern(const DirStream* stream) {
  return reinterpret_cast<const char*>(stream + 1);
}

DirStream* dir_open(const char* path) {
  errno = 0;
  if (!path) {
    errno = EFAULT;
    return nullptr;
  }
  if (path[0] == '\0') {
    errno = ENOTDIR;
    return nullptr;
  }
  struct stat st;
  if (stat(path, &st) != 0) {
    errno = ENOENT;
    return nullptr;
  }
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return nullptr;
  }
  std::size_t len = std::strlen(path);
  // Room for a separator, "*" and the terminator.
  DirStream* stream = static_cast<DirStream*>(std::malloc(sizeof(DirStream) + len + 3));
  if (!stream) {
    errno = ENOMEM;
    return nullptr;
  }
  char* pattern = reinterpret_cast<char*>(stream + 1);
  std::memcpy(pattern, path, len);
  // The platform's separator, unless the path ends in one of either kind.
  if (path[len - 1] != '/' && path[len - 1] != '\\') pattern[len++] = '/';
  pattern[len++] = '*';
  pattern[len] = '\0';
  stream->findData.name[0] = '\0';
  stream->entry.fileNumber = 0;
  stream->entry.recordLength = 0;
  stream->entry.nameLength = 0;
  stream->entry.name = stream->findData.name;
  stream->searchHandle = -1;
  stream->position = 0;
  return stream;
}

DirEntry* dir_read(DirStream* stream) {
  errno = 0;
  if (!stream) {
    errno = EFAULT;
    return nullptr;
  }
  if (stream->entry.name != stream->findData.name) {
    errno = EINVAL;
    return nullptr;
  }
  if (stream->position < 0) return nullptr;
  // Stopped at the limit by an earlier read (its search is closed): stays so.
  if (stream->position == INT16_MAX && stream->searchHandle == -1) {
    errno = EOVERFLOW;
    return nullptr;
  }
  const int r = stream->position == 0
                    ? find_first(dir_pattern(stream), &stream->findData, &stream->searchHandle)
                    : find_next(stream->searchHandle, &stream->findData);
  if (r != FIND_FOUND) {
    // The end of the listing is no error; a failed search is.
    const int error = r == FIND_FAILED ? errno : 0;
    end_search(stream);
    stream->position = -1;
    errno = error;
    return nullptr;
  }
  // The count cannot go on: the listing stops here, for good, rather than wrap.
  if (stream->position == INT16_MAX) {
    end_search(stream);
    errno = EOVERFLOW;
    return nullptr;
  }
  stream->position = (std::int16_t)(stream->position + 1);
  stream->entry.nameLength = (std::uint16_t)std::strlen(stream->findData.name);
  return &stream->entry;
}

int dir_close(DirStream* stream) {
  errno = 0;
  if (!stream) {
    errno = EFAULT;
    return -1;
  }
  const int r = stream->searchHandle != -1 ? find_close(stream->searchHandle) : 0;
  std::free(stream);
  return r;
}

void dir_rewind(DirStream* stream) {
  errno = 0;
  if (!stream) {
    errno = EFAULT;
    return;
  }
  end_search(stream);
  stream->position = 0;
}

std::int32_t dir_tell(DirStream* stream) {
  errno = 0;
  if (!stream) {
    errno = EFAULT;
    return -1;
  }
  return stream->position;
}

void dir_seek(DirStream* stream, std::int32_t target) {
  errno = 0;
  if (!stream) {
    errno = EFAULT;
    return;
  }
  if (target < -1) {
    errno = EINVAL;
    return;
  }
  if (target == -1) {
    end_search(stream);
    stream->position = -1;
    return;
  }
  dir_rewind(stream);
  while (stream->position < target && dir_read(stream)) {
  }
}

// --- directory listing --------------------------------------------------------

namespace {

void raise_listing_error(const char* directory, const char* detail) {
  error_message_format("Not possible to get file names of \"%s\":\n%s", shown(directory), detail);
}

// Hands the names of an open listing out into files, "." and ".." left out.
// Returns NULL when exactly nFiles were there, else what went wrong (in
// detail, of size bytes, where it needs a text of its own). A negative
// nFiles takes no name, and an empty listing does not match it either.
const char* list_names(DirStream* stream, int nFiles, const char** files, char* detail,
                       std::size_t size) {
  errno = 0;
  int count = 0;
  for (const DirEntry* e = dir_read(stream); e; e = dir_read(stream)) {
    if (std::strcmp(e->name, ".") == 0 || std::strcmp(e->name, "..") == 0) continue;
    if (count >= nFiles) {
      c_sprintf(detail, size, "More files in this directory as reported by nFiles (= %i)", nFiles);
      return detail;
    }
    char* s = try_alloc_empty_string(e->nameLength);
    if (!s) return errno == 0 ? "Not enough storage" : std::strerror(errno);
    std::memcpy(s, e->name, (std::size_t)e->nameLength + 1);
    files[count++] = s;
  }
  if (errno != 0) return std::strerror(errno);
  if (count != nFiles) {
    c_sprintf(detail, size, "Less files (= %d) found as defined by argument nNames (= %d)", count,
              nFiles);
    return detail;
  }
  return nullptr;
}

}  // namespace

void read_directory(const char* directory, int nFiles, const char** files) {
  DirStream* stream = dir_open(directory);
  if (!stream) {
    error_message_format("1: Not possible to get file names of \"%s\":\n%s", shown(directory),
                         std::strerror(errno));
    return;
  }
  char detail[200];
  const char* failure = list_names(stream, nFiles, files, detail, sizeof detail);
  // The one place the stream is closed, before an error leaves through the trap.
  const int closed = dir_close(stream);
  if (failure)
    raise_listing_error(directory, failure);
  else if (closed != 0)
    raise_listing_error(directory, std::strerror(errno));
}

StringArray read_directory_wrapper(const char* directory, int nFiles) {
  // Refused before any storage is taken for it.
  if (nFiles < 0) {
    raise_listing_error(directory, std::strerror(EINVAL));
    return string_array_dims(1, 0);
  }
  buffer_push_mark();
  StringArray a = string_array_dims(1, nFiles);
  const WorkMark mark = buffer_push_mark();
  string_array_fill(a, "");
  if (a.data) read_directory(directory, nFiles, a.data);
  buffer_pop_mark(mark);
  return a;
}

}  // namespace pelvarin
