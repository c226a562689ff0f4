// Row-wise writing: the file on disk is complete after every row; rows in
// the text format; the refusals.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "mat_file.h"
#include "result/row_writing.h"

using namespace pelvarin;

// Stream seeks of this program, of which one can be made to fail as a seek
// fails whose flush the disk refuses, before any byte is written.
static bool g_failTheNextSeek = false;

extern "C" int fseek(FILE* stream, long offset, int whence) {
  using Seek = int (*)(FILE*, long, int);
  static const Seek real = reinterpret_cast<Seek>(dlsym(RTLD_NEXT, "fseek"));
  if (g_failTheNextSeek) {
    g_failTheNextSeek = false;
    errno = EIO;
    return -1;
  }
  return real(stream, offset, whence);
}

namespace {

using mat4::Matrix;

std::vector<Matrix> parsed(const char* path) {
  std::vector<Matrix> matrices;
  std::string why;
  EXPECT_TRUE(mat4::parse(mat4::read_file(path), &matrices, &why)) << why;
  return matrices;
}

class RowWise : public ::testing::Test {
 protected:
  void open(const char* path, int format = AMAT_FORMAT_BINARY, int bstruct = binTrans) {
    ASSERT_EQ(amatOk, amatPutOpen(path, format, bstruct, "Atrajectory", "1.1", nullptr, &file_)) << amatMessage;
  }
  void TearDown() override { amatPutClose(&file_); }

  ScratchDirectory dir_;
  AmatPutFile file_ = {};
};

TEST_F(RowWise, TheBinaryFileIsCompleteAfterEveryRow) {
  open("r.mat");
  ASSERT_EQ(amatOk, amatPutRinit(&file_, "data_2", 3, realMatrix)) << amatMessage;
  std::vector<Matrix> matrices = parsed("r.mat");
  ASSERT_EQ(2u, matrices.size());
  EXPECT_EQ("data_2", matrices[1].name);
  EXPECT_EQ(10, matrices[1].type);
  EXPECT_EQ(3, matrices[1].mrows);
  EXPECT_EQ(0, matrices[1].ncols);

  std::vector<double> expected;
  for (int k = 1; k <= 4; ++k) {
    const float row[3] = {static_cast<float>(k), 0.5f * k, -1.0f * k};
    ASSERT_EQ(amatOk, amatPutRrow(&file_, row)) << amatMessage;
    expected.insert(expected.end(), row, row + 3);
    matrices = parsed("r.mat");
    ASSERT_EQ(2u, matrices.size());
    EXPECT_EQ(k, matrices[1].ncols);
    EXPECT_EQ(expected, matrices[1].values());
  }
  EXPECT_EQ(amatOk, amatPutRclose(&file_));
  EXPECT_EQ(amatOk, amatPutClose(&file_));
  EXPECT_EQ(4, parsed("r.mat")[1].ncols);
}

TEST_F(RowWise, ADoubleMatrixTakesRowsOfDoubles) {
  open("d.mat");
  ASSERT_EQ(amatOk, amatPutRinit(&file_, "D", 2, doubleRowMatrix));
  EXPECT_EQ(doubleMatrix, file_.rowType);
  const double rows[2][2] = {{0.1, 1e300}, {-2.5, 1.0 / 3.0}};
  EXPECT_EQ(amatOk, amatPutRrow(&file_, rows[0]));
  EXPECT_EQ(amatOk, amatPutRrow(&file_, rows[1]));
  EXPECT_EQ(amatOk, amatPutRclose(&file_));
  EXPECT_EQ(amatOk, amatPutClose(&file_));
  const std::vector<Matrix> matrices = parsed("d.mat");
  ASSERT_EQ(2u, matrices.size());
  EXPECT_EQ(0, matrices[1].type);
  EXPECT_EQ(2, matrices[1].mrows);
  EXPECT_EQ(2, matrices[1].ncols);
  EXPECT_EQ((std::vector<double>{0.1, 1e300, -2.5, 1.0 / 3.0}), matrices[1].values());
}

TEST_F(RowWise, ARowOfNoValuesStillCounts) {
  open("z.mat");
  ASSERT_EQ(amatOk, amatPutRinit(&file_, "Z", 0, realRowMatrix));
  EXPECT_EQ(realMatrix, file_.rowType);
  EXPECT_EQ(amatOk, amatPutRrow(&file_, nullptr));
  EXPECT_EQ(amatOk, amatPutRrow(&file_, nullptr));
  EXPECT_EQ(2, file_.header[2]);
  EXPECT_EQ(2, parsed("z.mat")[1].ncols);
}

TEST_F(RowWise, TextRowsAndTheirGrowingDimensions) {
  open("r.txt", AMAT_FORMAT_TEXT);
  ASSERT_EQ(amatOk, amatPutRinit(&file_, "R", 7, realMatrix));
  const std::string start = "#1\nchar Aclass(3,11)\nAtrajectory\n1.1\n \n\n";
  const std::string blanks(29, ' ');
  EXPECT_EQ(start + "float R (0,7)" + blanks + "\n", mat4::read_text("r.txt"));
  const float row[7] = {1.5f, -2.25f, 3, 4, 5, 6, 7};
  const std::string rowText =
      "  1.5000000E+00 -2.2500000E+00  3.0000000E+00  4.0000000E+00  5.0000000E+00\n"
      "      6.0000000E+00  7.0000000E+00\n";
  ASSERT_EQ(amatOk, amatPutRrow(&file_, row));
  EXPECT_EQ(start + "float R(1,7) " + blanks + "\n" + rowText, mat4::read_text("r.txt"));
  ASSERT_EQ(amatOk, amatPutRrow(&file_, row));
  EXPECT_EQ(amatOk, amatPutRclose(&file_));
  EXPECT_EQ(amatOk, amatPutClose(&file_));
  EXPECT_EQ(start + "float R(2,7) " + blanks + "\n" + rowText + rowText + "\n", mat4::read_text("r.txt"));
}

TEST_F(RowWise, RefusalsWriteNothing) {
  struct Case {
    const char* label;
    int bstruct;
    AmatType type;
    int ncol;
    const char* message;
  };
  const Case cases[] = {
      {"binNormal", binNormal, realMatrix, 2,
       "In order to write matrix \"R\" row-wise to file \"f.mat\",\nthe file has to be opened with \"bstruct = "
       "binTrans\" and not\nwith \"bstruct = binNormal\" (function amatPutOpen).\n"},
      {"integer", binTrans, integerMatrix, 2,
       "Wrong argument \"type\" (= 1) in function amatPutRinit,\nwhen initializing writing of matrix \"R\" to file "
       "\"f.mat\".\n(type = realMatrix or doubleMatrix required).\n"},
      {"negative", binTrans, realMatrix, -1,
       "Wrong argument \"ncol\" (= -1) in function amatPutRinit,\nwhen initializing writing of matrix \"R\" to file "
       "\"f.mat\".\n(ncol >= 0 required).\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    AmatPutFile file;
    ASSERT_EQ(amatOk, amatPutOpen("f.mat", AMAT_FORMAT_BINARY, c.bstruct, "A", nullptr, nullptr, &file));
    fflush(file.stream);
    const long before = ftell(file.stream);
    EXPECT_EQ(amatError, amatPutRinit(&file, "R", c.ncol, c.type));
    EXPECT_STREQ(c.message, amatMessage);
    EXPECT_EQ(nullptr, file.rowName);
    EXPECT_EQ(before, ftell(file.stream));
    EXPECT_EQ(amatError, amatPutRrow(&file, "abcd"));
    amatPutClose(&file);
  }
}

TEST_F(RowWise, TheStandardOutputCannotGrowRowByRow) {
  AmatPutFile file;
  ASSERT_EQ(amatOk, amatPutOpen(nullptr, AMAT_FORMAT_BINARY, binTrans, "", nullptr, nullptr, &file));
  EXPECT_EQ(amatError, amatPutRinit(&file, "R", 1, realMatrix));
  EXPECT_STREQ(
      "Not possible to use functions amatPutRxxx, in order to write\nmatrix \"R\" row-wise, because output stream "
      "is no file, but stdout.\n",
      amatMessage);
  EXPECT_EQ(amatOk, amatPutClose(&file));
}

TEST_F(RowWise, RowCallsWithoutAnOpenRowMatrixAreRefused) {
  open("n.mat");
  const float row[1] = {1};
  const char* noRows =
      "Not possible to write matrix rows to file \"n.mat\":\nno matrix is being written row-wise (function "
      "amatPutRinit).\n";
  EXPECT_EQ(amatError, amatPutRrow(&file_, row));
  EXPECT_STREQ(noRows, amatMessage);
  EXPECT_EQ(amatError, amatPutRclose(&file_));
  ASSERT_EQ(amatOk, amatPutRinit(&file_, "R", 1, realMatrix));
  // One row-wise matrix at a time, and it stays the last of the file.
  EXPECT_EQ(amatError, amatPutRinit(&file_, "S", 1, realMatrix));
  EXPECT_NE(nullptr, strstr(amatMessage, "matrix \"R\" is still being written row-wise"));
  AmatMatrix m;
  EXPECT_EQ(amatError, amatPut(&file_, *amatSet("W", 1, 1, realMatrix, const_cast<float*>(row), &m)));
  EXPECT_NE(nullptr, strstr(amatMessage, "matrix \"R\" is being written row-wise"));
  EXPECT_EQ(amatOk, amatPutRrow(&file_, row));
  EXPECT_EQ(amatOk, amatPutRclose(&file_));
  EXPECT_EQ(amatError, amatPutRrow(&file_, row));
  EXPECT_STREQ(noRows, amatMessage);
  EXPECT_EQ(amatOk, amatPutClose(&file_));
  EXPECT_EQ(amatError, amatPutRrow(&file_, row));
  EXPECT_EQ(amatNullPointer, amatPutRrow(nullptr, row));
  EXPECT_EQ(amatNullPointer, amatPutRinit(nullptr, "R", 1, realMatrix));
  const std::vector<Matrix> matrices = parsed("n.mat");
  ASSERT_EQ(2u, matrices.size());
  EXPECT_EQ(1, matrices[1].ncols);
}

TEST_F(RowWise, ARowWhoseHeaderCannotBeRewrittenIsCutOffAgain) {
  open("h.mat");
  ASSERT_EQ(amatOk, amatPutRinit(&file_, "R", 1, realMatrix));
  const float rows[2] = {1, 2};
  ASSERT_EQ(amatOk, amatPutRrow(&file_, &rows[0]));
  const long size = ftell(file_.stream);
  g_failTheNextSeek = true;
  EXPECT_EQ(amatError, amatPutRrow(&file_, &rows[1]));
  EXPECT_FALSE(g_failTheNextSeek);
  EXPECT_EQ(std::string("Error when writing matrix \"R\" row-wise to file \"h.mat\":\n") + strerror(EIO) + "\n",
            amatMessage);
  EXPECT_EQ(nullptr, file_.rowName);
  EXPECT_EQ(size, ftell(file_.stream));
  EXPECT_EQ(amatOk, amatPutClose(&file_));
  // The whole file: the header counts the first row, and nothing follows it.
  const std::vector<Matrix> matrices = parsed("h.mat");
  ASSERT_EQ(2u, matrices.size());
  EXPECT_EQ(1, matrices[1].ncols);
  EXPECT_EQ((std::vector<double>{1}), matrices[1].values());
  EXPECT_EQ(static_cast<size_t>(size), mat4::read_file("h.mat").size());
}

}  // namespace
