// The model-exchange host program as a user runs it, with standard output and
// standard error sent into one file.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

// A CSV row of numbers with the header's ten columns.
bool is_row(const std::string& line) {
  std::istringstream fields(line);
  int count = 0;
  for (std::string field; std::getline(fields, field, ',');) {
    char* end = nullptr;
    std::strtod(field.c_str(), &end);
    if (field.empty() || *end != '\0') return false;
    ++count;
  }
  return count == 10;
}

TEST(HostPrograms, SummaryFollowsTheWholeTableInACombinedFile) {
  std::string file = (std::filesystem::temp_directory_path() / "pelvarin_me_host_XXXXXX").string();
  const int fd = mkstemp(file.data());
  ASSERT_GE(fd, 0);
  close(fd);
  const std::string command = "'" PELVARIN_ME_HOST "' '" PELVARIN_LIBRARY_PATH "' >'" + file + "' 2>&1";
  const int rc = std::system(command.c_str());
  std::ifstream in(file);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  std::filesystem::remove(file);

  ASSERT_EQ(rc, 0) << command;
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(lines.front(), "time,x[0],x[1],w[0],w[1],w[2],w[3],w[4],w[5],w[6]");
  for (size_t i = 1; i + 1 < lines.size(); ++i) EXPECT_TRUE(is_row(lines[i])) << "line " << i << ": " << lines[i];
  EXPECT_NE(lines.back().find(" time events, "), std::string::npos) << lines.back();
}

}  // namespace
