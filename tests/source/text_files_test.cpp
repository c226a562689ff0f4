// Numbered lines of text files with the open-file cache, and directory
// listings through the directory streams.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "source/matrixop.h"
#include "source/text_files.h"
#include "support/runtime_harness.h"

using namespace pelvarin;

using runtime_test::ends_in_model_error;
using runtime_test::LiveInstance;
using Lines = std::vector<std::string>;

namespace {

// A fresh folder per test, removed afterwards.
class TextFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/pelvarin-files-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    folder_ = pattern;
    buffer_reset_all();
    current_time = 0;
  }
  void TearDown() override {
    // A cached file is closed before its folder goes.
    cache_open_file(nullptr, nullptr, 0);
    std::filesystem::remove_all(folder_);
  }

  std::string path(const std::string& name) const { return folder_ + "/" + name; }

  std::string write(const std::string& name, const std::string& content) const {
    const std::string p = path(name);
    std::ofstream(p, std::ios::binary) << content;
    return p;
  }

  std::string folder_;
};

ReadLineResult read(const std::string& file, int line) {
  return read_line_wrapper(file.c_str(), line);
}

// Arguments of the call made inside the trap; the trap's frame keeps no
// object with a destructor.
const char* g_name;
int g_number;
StringArray g_names;
ReadLineResult g_line;

bool read_line_traps(const std::string& file, int line) {
  g_name = file.c_str();
  g_number = line;
  return ends_in_model_error([] { g_line = read_line_wrapper(g_name, g_number); });
}

bool read_directory_traps(const std::string& directory, int nFiles) {
  g_name = directory.c_str();
  g_number = nFiles;
  return ends_in_model_error([] { g_names = read_directory_wrapper(g_name, g_number); });
}

// The same through read_directory itself, which takes any count.
const char* g_files[4];
bool read_directory_itself_traps(const std::string& directory, int nFiles) {
  g_name = directory.c_str();
  g_number = nFiles;
  return ends_in_model_error([] { read_directory(g_name, g_number, g_files); });
}

// A socket's name in the file system, left behind by its closed socket.
bool make_socket_file(const std::string& p) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (p.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, p.c_str(), p.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
  if (fd < 0) return false;
  const bool bound = bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  close(fd);
  return bound;
}

std::vector<std::string> sorted(const StringArray& a) {
  std::vector<std::string> names;
  for (int k = 0; k < array_element_count(a); ++k) names.push_back(a.data[k]);
  std::sort(names.begin(), names.end());
  return names;
}

// Every name a listing hands out, in its order.
std::vector<std::string> listing(DirStream* s) {
  std::vector<std::string> names;
  for (DirEntry* e = dir_read(s); e; e = dir_read(s)) names.push_back(e->name);
  return names;
}

}  // namespace

TEST_F(TextFiles, LinesInTurnAndTheEnd) {
  const std::string f = write("a.txt", "first\n\nthird\nlast without feed");
  struct Case {
    int line;
    const char* text;
    int endOfFile;
  };
  const Case cases[] = {
      {1, "first", 0}, {2, "", 0}, {3, "third", 0}, {4, "last without feed", 0}, {5, "", 1},
      {6, "", 1},      {2, "", 0}, {1, "first", 0}, {4, "last without feed", 0}, {99, "", 1},
      // Line 0 and those before it lie before the text: nothing there, as
      // past the end.
      {0, "", 1},      {1, "first", 0}, {-1, "", 1}, {-3, "", 1}, {INT_MIN, "", 1},
      {3, "third", 0},
  };
  // Read as in an evaluation, where a refusal would leave through the trap.
  for (const Case& c : cases) {
    ASSERT_FALSE(read_line_traps(f, c.line)) << c.line;
    EXPECT_STREQ(g_line.line, c.text) << c.line;
    EXPECT_EQ(g_line.endOfFile, c.endOfFile) << c.line;
  }
  const std::string empty = write("empty.txt", "");
  EXPECT_EQ(read(empty, 1).endOfFile, 1);
  const std::string feed = write("feed.txt", "x\n");
  EXPECT_EQ(read(feed, 2).endOfFile, 1);
}

TEST_F(TextFiles, FollowingLinesComeFromTheCachedStream) {
  const std::string f = write("a.txt", "1\n2\n3\n4\n");
  EXPECT_STREQ(read(f, 1).line, "1");
  FILE* cached = lineCache.stream;
  ASSERT_NE(cached, nullptr);
  EXPECT_EQ(lineCache.lineNumber, 1);
  EXPECT_STREQ(read(f, 2).line, "2");
  EXPECT_STREQ(read(f, 3).line, "3");
  EXPECT_EQ(lineCache.stream, cached);  // opened once
  EXPECT_EQ(lineCache.lineNumber, 3);
  // Skipping ahead also keeps the stream.
  EXPECT_STREQ(read(f, 4).line, "4");
  EXPECT_EQ(lineCache.stream, cached);
  // A line before the cached one reopens the file.
  EXPECT_STREQ(read(f, 2).line, "2");
  EXPECT_NE(lineCache.stream, cached);
  cached = lineCache.stream;
  EXPECT_STREQ(read(f, 1).line, "1");  // line 1 always opens afresh
  EXPECT_NE(lineCache.stream, cached);
  // Beyond the end the file is closed and not cached.
  EXPECT_EQ(read(f, 9).endOfFile, 1);
  EXPECT_EQ(lineCache.stream, nullptr);
  // Another file takes the cache over.
  const std::string g = write("b.txt", "b1\nb2\n");
  EXPECT_STREQ(read(g, 1).line, "b1");
  EXPECT_STREQ(lineCache.path, g.c_str());
}

TEST_F(TextFiles, ADeletedFileIsAnErrorNotAStaleCacheHit) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  const std::string f = write("gone.txt", "1\n2\n3\n");
  EXPECT_STREQ(read(f, 1).line, "1");
  ASSERT_EQ(std::remove(f.c_str()), 0);
  LiveInstance::clear();
  EXPECT_TRUE(read_line_traps(f, 2));
  EXPECT_EQ(LiveInstance::lines(), (Lines{"The following error was detected at time: 0",
                                          "Not possible to open file \"" + f +
                                              "\" for reading:\nNo such file or directory\n"}));
  EXPECT_EQ(lineCache.stream, nullptr);
}

// A negative skip runs to the end, past the cached line and without
// counting the lines it passes.
TEST_F(TextFiles, ANegativeSkipRunsToTheEnd) {
  const std::string f = write("a.txt", "1\n2\n3\n4\n");
  EXPECT_STREQ(read(f, 2).line, "2");
  FILE* cached = lineCache.stream;
  for (int skip : {-1, -2, INT_MIN}) {
    FILE* stream = open_file_at_line(f.c_str(), skip);
    ASSERT_NE(stream, nullptr) << skip;
    EXPECT_NE(stream, cached) << skip;
    EXPECT_EQ(std::getc(stream), EOF) << skip;
    EXPECT_TRUE(std::feof(stream)) << skip;
    EXPECT_FALSE(std::ferror(stream)) << skip;
    std::fclose(stream);
  }
  // The cached file stays where it was.
  EXPECT_EQ(lineCache.stream, cached);
  EXPECT_STREQ(read(f, 3).line, "3");
  EXPECT_EQ(lineCache.stream, cached);
}

TEST_F(TextFiles, ARewrittenFileIsReadAfresh) {
  const std::string f = write("a.txt", "old 1\nold 2\nold 3\n");
  EXPECT_STREQ(read(f, 1).line, "old 1");
  // Rewritten in place, and replaced by a new file under the same name.
  write("a.txt", "new 1\nnew 2 is longer\nnew 3\n");
  EXPECT_STREQ(read(f, 2).line, "new 2 is longer");
  const std::string other = write("other.txt", "moved 1\nmoved 2\nmoved 3\n");
  ASSERT_EQ(std::rename(other.c_str(), f.c_str()), 0);
  EXPECT_STREQ(read(f, 3).line, "moved 3");
}

// Neither the size nor, for a replacement, the time tells these changes
// apart from the file that was cached.
TEST_F(TextFiles, ASameSizeChangeIsReadAfresh) {
  struct Case {
    const char* change;
    bool replaced;  // by another file of the same size and time; else rewritten, later
  };
  const Case cases[] = {{"rewritten in place with a new time", false},
                        {"replaced by another file of the same time", true}};
  for (const Case& c : cases) {
    const std::string f = write("a.txt", "old 1\nold 2\n");
    EXPECT_STREQ(read(f, 1).line, "old 1") << c.change;
    struct stat cached;
    ASSERT_EQ(stat(f.c_str(), &cached), 0);
    timespec times[2] = {cached.st_atim, cached.st_mtim};
    if (c.replaced) {
      const std::string other = write("other.txt", "new 1\nnew 2\n");
      ASSERT_EQ(utimensat(AT_FDCWD, other.c_str(), times, 0), 0);
      ASSERT_EQ(std::rename(other.c_str(), f.c_str()), 0);
    } else {
      write("a.txt", "new 1\nnew 2\n");
      times[1].tv_sec += 1;
      ASSERT_EQ(utimensat(AT_FDCWD, f.c_str(), times, 0), 0);
    }
    struct stat now;
    ASSERT_EQ(stat(f.c_str(), &now), 0);
    ASSERT_EQ(now.st_size, cached.st_size);
    ASSERT_EQ(now.st_ino != cached.st_ino, c.replaced) << c.change;
    ASSERT_EQ(now.st_mtim.tv_sec == cached.st_mtim.tv_sec &&
                  now.st_mtim.tv_nsec == cached.st_mtim.tv_nsec,
              c.replaced)
        << c.change;
    EXPECT_STREQ(read(f, 2).line, "new 2") << c.change;
  }
}

TEST_F(TextFiles, LongLinesAreReadWhole) {
  const std::string l200(200, 'a');
  const std::string l201 = std::string(200, 'b') + "c";
  const std::string l5000(5000, 'd');
  const std::string f = write("long.txt", l200 + "\n" + l201 + "\n" + l5000 + "\nend\n");
  EXPECT_EQ(read(f, 1).line, l200);
  EXPECT_EQ(read(f, 2).line, l201);
  EXPECT_EQ(read(f, 3).line, l5000);
  EXPECT_STREQ(read(f, 4).line, "end");  // the long line's feed was consumed
  EXPECT_EQ(read(f, 5).endOfFile, 1);
}

TEST_F(TextFiles, LongFileNamesWorkButAreNotCached) {
  const std::string sub(100, 's');
  ASSERT_EQ(mkdir(path(sub).c_str(), 0755), 0);
  const std::string name = sub + "/" + std::string(299 - folder_.size() - sub.size() - 2, 'n');
  const std::string f = write(name, "1\n2\n");
  ASSERT_EQ(f.size(), 299u);
  EXPECT_STREQ(read(f, 1).line, "1");
  EXPECT_EQ(lineCache.stream, nullptr);
  EXPECT_STREQ(read(f, 2).line, "2");
  const std::string shorter = write(name.substr(0, name.size() - 1), "1\n2\n");
  EXPECT_STREQ(read(shorter, 1).line, "1");
  EXPECT_NE(lineCache.stream, nullptr);
}

TEST_F(TextFiles, ReadingErrorsWithTheirTexts) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  const std::string f = write("a.txt", "1\n2\n");
  const std::string fifo = path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0644), 0);
  const std::string socketFile = path("socket");
  ASSERT_TRUE(make_socket_file(socketFile));
  const auto notRegular = [](const std::string& file) {
    return "Not possible to open file \"" + file + "\" for reading:\nNot a regular file\n";
  };
  struct Case {
    std::string file;
    int line;
    std::string text;
  };
  const Case cases[] = {
      {path("missing.txt"), 1,
       "Not possible to open file \"" + path("missing.txt") +
           "\" for reading:\nNo such file or directory\n"},
      // Line 0 and those before it of a missing file are still open errors.
      {path("missing.txt"), 0,
       "Not possible to open file \"" + path("missing.txt") +
           "\" for reading:\nNo such file or directory\n"},
      {path("missing.txt"), -1,
       "Not possible to open file \"" + path("missing.txt") +
           "\" for reading:\nNo such file or directory\n"},
      {folder_, 1, "Error when reading line 1 from file\n\"" + folder_ + "\":\nIs a directory"},
      // Only regular files and directories are opened: what else a path can
      // name may never end (a device without line feeds) or block in the open
      // (a FIFO without a writer), whatever the line.
      {socketFile, 1, notRegular(socketFile)},
      {"/dev/null", 1, notRegular("/dev/null")},
      {"/dev/null", 0, notRegular("/dev/null")},
      {"/dev/zero", 1, notRegular("/dev/zero")},
      {"/dev/zero", 3, notRegular("/dev/zero")},
      {"/dev/zero", INT_MAX, notRegular("/dev/zero")},
      {"/dev/zero", -1, notRegular("/dev/zero")},
      {fifo, 1, notRegular(fifo)},
      {fifo, 0, notRegular(fifo)},
      // A read error ends the skipping at once, not after every line asked to skip.
      {folder_, INT_MAX,
       "Error when reading line 2147483647 from file\n\"" + folder_ + "\":\nIs a directory"},
  };
  for (const Case& c : cases) {
    LiveInstance::clear();
    EXPECT_TRUE(read_line_traps(c.file, c.line)) << c.line;
    EXPECT_EQ(LiveInstance::lines(),
              (Lines{"The following error was detected at time: 0", c.text}));
  }
  EXPECT_EQ(lineCache.stream, nullptr);
  // Outside an evaluation the refusal returns an empty line at the end.
  ReadLineResult r = read(fifo, 1);
  EXPECT_STREQ(r.line, "");
  EXPECT_EQ(r.endOfFile, 1);
  EXPECT_EQ(open_file_at_line(fifo.c_str(), -1), nullptr);
  EXPECT_EQ(open_file_at_line("/dev/zero", 5), nullptr);
  // A directory opens, and before its text it answers as a file does.
  for (int line : {0, -1, INT_MIN}) {
    LiveInstance::clear();
    r = read(folder_, line);
    EXPECT_STREQ(r.line, "") << line;
    EXPECT_EQ(r.endOfFile, 1) << line;
    EXPECT_EQ(LiveInstance::lines(), Lines{}) << line;
  }
}

TEST_F(TextFiles, AFullStringAreaIsAReadingError) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  const std::string f = write("a.txt", "abc\n");
  ASSERT_NE(alloc_simple_string(SIMPLESTRING_SIZE - 4), nullptr);
  char* before = stringmark;
  LiveInstance::clear();
  EXPECT_TRUE(read_line_traps(f, 1));
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 0",
                   "Error when reading line 1 from file\n\"" + f + "\":\nCannot allocate memory"}));
  EXPECT_EQ(stringmark, before);
  EXPECT_EQ(lineCache.stream, nullptr);
}

// The reading stops once the line cannot fit the room left in the area, not
// at its line feed: in a file of a terabyte without one (sparse, it takes
// no disk) that would be hours. A line that fills the room exactly is read.
TEST_F(TextFiles, ALineMustFitTheRoomLeftInTheArea) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  const std::string huge = write("huge.bin", "");
  ASSERT_EQ(truncate(huge.c_str(), off_t{1} << 40), 0);
  LiveInstance::clear();
  EXPECT_TRUE(read_line_traps(huge, 1));
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 0",
                   "Error when reading line 1 from file\n\"" + huge +
                       "\":\nCannot allocate memory"}));
  EXPECT_EQ(lineCache.stream, nullptr);

  const int taken = SIMPLESTRING_SIZE - 20;
  ASSERT_NE(alloc_simple_string(taken), nullptr);
  const int room = (int)(Endsimplestring - stringmark) - 2;  // a string and its terminator fit
  const std::string f =
      write("a.txt", std::string(room, 'a') + "\n" + std::string(room + 1, 'b') + "\n");
  EXPECT_EQ(read(f, 1).line, std::string(room, 'a'));
  buffer_reset_all();
  ASSERT_NE(alloc_simple_string(taken), nullptr);
  LiveInstance::clear();
  EXPECT_TRUE(read_line_traps(f, 2));
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 0",
                   "Error when reading line 2 from file\n\"" + f + "\":\nCannot allocate memory"}));
}

TEST_F(TextFiles, DirectoryListedWholeWithoutDotEntries) {
  // Only "." and ".." are left out, not other names that begin with a dot.
  for (const char* name : {"a", "b", "c.txt", ".hidden", "..x", "..."}) write(name, "");
  ASSERT_EQ(mkdir(path("sub").c_str(), 0755), 0);
  const std::vector<std::string> names{"...", "..x", ".hidden", "a", "b", "c.txt", "sub"};
  StringArray a = read_directory_wrapper(folder_.c_str(), 7);
  ASSERT_EQ(a.ndims, 1);
  EXPECT_EQ(a.dims[0], 7);
  EXPECT_EQ(sorted(a), names);
  for (int k = 0; k < 7; ++k) {
    EXPECT_GE(a.data[k], simplestring);
    EXPECT_LT(a.data[k], Endsimplestring);
  }
  // With a trailing separator the same names.
  const std::string slash = folder_ + "/";
  EXPECT_EQ(sorted(read_directory_wrapper(slash.c_str(), 7)), names);
  const std::string emptyDir = path("sub");
  EXPECT_EQ(array_element_count(read_directory_wrapper(emptyDir.c_str(), 0)), 0);
}

TEST_F(TextFiles, DirectoryListingErrorsWithTheirTexts) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  write("a", "");
  write("b", "");
  const std::string file = path("a");
  const std::string missing = path("none");
  const std::string prefix = "Not possible to get file names of \"" + folder_ + "\":\n";
  // Beside the folder, so that the folder's own names stay a and b.
  const std::string emptyDir = folder_ + "-empty";
  ASSERT_EQ(mkdir(emptyDir.c_str(), 0755), 0);
  const std::string emptyPrefix = "Not possible to get file names of \"" + emptyDir + "\":\n";
  struct Case {
    std::string directory;
    int nFiles;
    std::string text;
    bool itself = false;  // through read_directory, not its wrapper
  };
  const Case cases[] = {
      {folder_, 3, prefix + "Less files (= 2) found as defined by argument nNames (= 3)"},
      {folder_, 1, prefix + "More files in this directory as reported by nFiles (= 1)"},
      {folder_, 0, prefix + "More files in this directory as reported by nFiles (= 0)"},
      // The wrapper refuses a negative count before it takes storage for it;
      // to read_directory it is too few for any name, and for none.
      {folder_, -1, prefix + "Invalid argument"},
      {folder_, -1, prefix + "More files in this directory as reported by nFiles (= -1)", true},
      {folder_, INT_MIN,
       prefix + "More files in this directory as reported by nFiles (= -2147483648)", true},
      {emptyDir, -1,
       emptyPrefix + "Less files (= 0) found as defined by argument nNames (= -1)", true},
      {folder_, 3, prefix + "Less files (= 2) found as defined by argument nNames (= 3)", true},
      {file, 2, "1: Not possible to get file names of \"" + file + "\":\nNot a directory"},
      {missing, 2,
       "1: Not possible to get file names of \"" + missing + "\":\nNo such file or directory"},
      {"", 2, "1: Not possible to get file names of \"\":\nNot a directory"},
  };
  for (const Case& c : cases) {
    LiveInstance::clear();
    EXPECT_TRUE(c.itself ? read_directory_itself_traps(c.directory, c.nFiles)
                         : read_directory_traps(c.directory, c.nFiles))
        << c.text;
    EXPECT_EQ(LiveInstance::lines(),
              (Lines{"The following error was detected at time: 0", c.text}));
  }
  rmdir(emptyDir.c_str());
}

TEST_F(TextFiles, AFullStringAreaStopsTheListing) {
  LiveInstance instance;
  ASSERT_NE(instance.component(), nullptr);
  write("abcdef", "");
  ASSERT_NE(alloc_simple_string(SIMPLESTRING_SIZE - 6), nullptr);
  LiveInstance::clear();
  EXPECT_TRUE(read_directory_traps(folder_, 1));
  EXPECT_EQ(LiveInstance::lines(),
            (Lines{"The following error was detected at time: 0",
                   "Not possible to get file names of \"" + folder_ + "\":\nNot enough storage"}));
}

TEST_F(TextFiles, DirectoryStreamPositions) {
  for (const char* name : {"a", "b", "c"}) write(name, "");
  DirStream* s = dir_open(folder_.c_str());
  ASSERT_NE(s, nullptr);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(dir_tell(s), 0);
  EXPECT_EQ(s->searchHandle, -1);  // no search before the first read
  const std::vector<std::string> all = listing(s);
  ASSERT_EQ(all.size(), 5u);  // with "." and ".."
  std::vector<std::string> names = all;
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{".", "..", "a", "b", "c"}));
  EXPECT_EQ(dir_tell(s), -1);
  EXPECT_EQ(errno, 0);  // the end is no error
  EXPECT_EQ(dir_read(s), nullptr);

  dir_rewind(s);
  EXPECT_EQ(dir_tell(s), 0);
  for (int k = 1; k <= 5; ++k) {
    DirEntry* e = dir_read(s);
    ASSERT_NE(e, nullptr);
    EXPECT_EQ(e->name, all[k - 1]);
    EXPECT_EQ(e->nameLength, all[k - 1].size());
    EXPECT_EQ(e->fileNumber, 0);
    EXPECT_EQ(e->recordLength, 0);
    EXPECT_EQ(dir_tell(s), k);
  }
  dir_seek(s, 2);
  EXPECT_EQ(dir_tell(s), 2);
  DirEntry* third = dir_read(s);
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->name, all[2]);
  dir_seek(s, 0);
  EXPECT_EQ(dir_read(s)->name, all[0]);
  dir_seek(s, 40);  // beyond the end: the listing has ended
  EXPECT_EQ(dir_tell(s), -1);
  dir_seek(s, 4);
  EXPECT_EQ(dir_tell(s), 4);
  dir_seek(s, -1);
  EXPECT_EQ(dir_tell(s), -1);
  EXPECT_EQ(s->searchHandle, -1);
  dir_seek(s, -2);
  EXPECT_EQ(errno, EINVAL);
  EXPECT_EQ(dir_tell(s), -1);
  EXPECT_EQ(dir_close(s), 0);
}

TEST_F(TextFiles, DirectoryStreamRefusals) {
  const std::string file = write("f", "");
  const std::string missing = path("none");
  struct Case {
    const char* path;
    int error;
  };
  const Case cases[] = {
      {nullptr, EFAULT}, {"", ENOTDIR}, {file.c_str(), ENOTDIR}, {missing.c_str(), ENOENT}};
  for (const Case& c : cases) {
    errno = 0;
    EXPECT_EQ(dir_open(c.path), nullptr);
    EXPECT_EQ(errno, c.error) << (c.path ? c.path : "(null)");
  }
  EXPECT_EQ(dir_read(nullptr), nullptr);
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(dir_tell(nullptr), -1);
  EXPECT_EQ(errno, EFAULT);
  dir_rewind(nullptr);
  EXPECT_EQ(errno, EFAULT);
  dir_seek(nullptr, 0);
  EXPECT_EQ(errno, EFAULT);
  EXPECT_EQ(dir_close(nullptr), -1);
  EXPECT_EQ(errno, EFAULT);

  DirStream* s = dir_open(folder_.c_str());
  ASSERT_NE(s, nullptr);
  char* name = s->entry.name;
  s->entry.name = nullptr;
  EXPECT_EQ(dir_read(s), nullptr);
  EXPECT_EQ(errno, EINVAL);
  s->entry.name = name;
  EXPECT_NE(dir_read(s), nullptr);
  EXPECT_EQ(dir_close(s), 0);
}

TEST_F(TextFiles, PatternsGetOneSeparator) {
  ASSERT_EQ(mkdir(path("d").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(path("e\\").c_str(), 0755), 0);
  const std::string cases[][2] = {
      {path("d"), path("d") + "/*"},
      {path("d") + "/", path("d") + "/*"},
      {path("e\\"), path("e\\") + "*"},
  };
  for (const auto& c : cases) {
    DirStream* s = dir_open(c[0].c_str());
    ASSERT_NE(s, nullptr) << c[0];
    EXPECT_STREQ(dir_pattern(s), c[1].c_str());
    std::vector<std::string> names = listing(s);
    EXPECT_EQ(names.size(), 2u) << c[0];  // "." and ".." of the empty folder
    EXPECT_EQ(errno, 0);
    dir_close(s);
  }
}

// The count of handed-out entries stops at its limit instead of wrapping
// into a position that would read as the end of the listing.
TEST_F(TextFiles, PositionsNeverWrap) {
  write("a", "");
  DirStream* s = dir_open(folder_.c_str());
  ASSERT_NE(s, nullptr);
  ASSERT_NE(dir_read(s), nullptr);
  s->position = INT16_MAX;
  EXPECT_EQ(dir_read(s), nullptr);
  EXPECT_EQ(errno, EOVERFLOW);
  EXPECT_EQ(dir_tell(s), INT16_MAX);
  EXPECT_EQ(dir_read(s), nullptr);
  EXPECT_EQ(errno, EOVERFLOW);
  dir_rewind(s);
  EXPECT_NE(dir_read(s), nullptr);
  // A listing that ends exactly at the limit ends as any other.
  dir_rewind(s);
  ASSERT_EQ(listing(s).size(), 3u);
  dir_rewind(s);
  for (int k = 0; k < 3; ++k) ASSERT_NE(dir_read(s), nullptr);
  s->position = INT16_MAX;
  EXPECT_EQ(dir_read(s), nullptr);
  EXPECT_EQ(errno, 0);
  EXPECT_EQ(dir_tell(s), -1);
  EXPECT_EQ(dir_close(s), 0);
}

// A directory that goes away between the open and the first read is an
// error, not an empty listing.
TEST_F(TextFiles, AFailedSearchIsAnError) {
  const std::string d = path("d");
  ASSERT_EQ(mkdir(d.c_str(), 0755), 0);
  DirStream* s = dir_open(d.c_str());
  ASSERT_NE(s, nullptr);
  ASSERT_EQ(rmdir(d.c_str()), 0);
  EXPECT_EQ(dir_read(s), nullptr);
  EXPECT_EQ(errno, ENOENT);
  EXPECT_EQ(dir_tell(s), -1);
  EXPECT_EQ(dir_close(s), 0);
}
