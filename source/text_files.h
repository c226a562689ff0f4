// Utility functions for external calls: numbered lines of text files, with
// the last file kept open, and the names in a directory through a small
// directory-stream layer. Errors are model errors; the directory streams
// report through errno instead.
// Not reached in this model: utilities for the external functions of
// generated models, and this model calls none.
#pragma once

#include <cstdint>
#include <cstdio>
#include <ctime>
#include <sys/types.h>

#include "source/directory_search.h"
#include "source/matrixop.h"

namespace pelvarin {

// The file read last, standing at the start of the line after lineNumber.
// The file's identity when it was cached tells whether the stream still
// reads what the path names.
struct LineCache {
  FILE* stream;  // NULL: empty
  char path[300];
  int lineNumber;
  dev_t device;
  ino_t inode;
  off_t size;
  timespec modified;
};
extern LineCache lineCache;

struct ReadLineResult {
  const char* line;
  std::int32_t endOfFile;  // 1 at the end of the file, else 0
};

// Line numbers count from 1; line 0 and those before it lie before the
// text. Returns the line as a new simple string, *endOfFile 0; before the
// text and past the end "" and *endOfFile 1. A file that does not open, a
// read error or a line longer than the area's room is a model error
// (outside an evaluation "" and *endOfFile 1). The stream stays cached after
// a line is read.
const char* read_line(const char* fileName, int lineNumber, std::int32_t* endOfFile);
ReadLineResult read_line_wrapper(const char* fileName, int lineNumber);
// The file open at the start of the line after skip lines, from the cache
// when it still reads the same file and has not passed that line; a
// negative skip runs to the end of the file. Only a regular file or a
// directory is opened: anything else, or a file that does not open, is a
// model error (outside an evaluation NULL). The caller owns the stream.
FILE* open_file_at_line(const char* fileName, int skip);
// Takes over stream (NULL: none) as the cached file, standing after line
// lineNumber; closes it when it cannot be cached. The stream cached before
// is closed, unless it is this one.
void cache_open_file(FILE* stream, const char* fileName, int lineNumber);

struct DirEntry {
  std::int32_t fileNumber;     // always 0
  std::uint16_t recordLength;  // always 0
  std::uint16_t nameLength;
  char* name;  // the name field of the stream's own find data
};

// From dir_open to dir_close. The search pattern follows the record.
struct DirStream {
  FindData findData;
  DirEntry entry;
  std::intptr_t searchHandle;  // -1 while no search is open
  std::int16_t position;       // 0 not started, k entries handed out, -1 ended
};

// Each sets errno to 0 first, then to EFAULT, ENOENT, ENOMEM, ENOTDIR or
// EINVAL on a refusal, to EOVERFLOW when a listing would count past 32,767
// entries, and to the platform's error when the search itself fails.
DirStream* dir_open(const char* path);
DirEntry* dir_read(DirStream* stream);
int dir_close(DirStream* stream);
void dir_rewind(DirStream* stream);
std::int32_t dir_tell(DirStream* stream);
void dir_seek(DirStream* stream, std::int32_t target);
const char* dir_pattern(const DirStream* stream);

// Fills files with the nFiles names of the directory, "." and ".." left out,
// as new simple strings. A directory that cannot be listed, or that holds
// another number of names (any number, for a negative nFiles), is a model
// error; the listing is closed first.
void read_directory(const char* directory, int nFiles, const char** files);
// The same into a new string array of nFiles elements ("" where no name was
// filled in); a negative count is refused before any storage is taken, with
// an empty array.
StringArray read_directory_wrapper(const char* directory, int nFiles);

}  // namespace pelvarin
