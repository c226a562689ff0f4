// The trajectory record and the trajectory file in both formats.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "mat_file.h"
#include "result/row_writing.h"
#include "result/trajectory_writer.h"

using namespace pelvarin;

namespace {

using mat4::Matrix;

// One signal, "Time", in double data matrices of two rows and one column each.
struct OneSignal {
  AtrajRecord traj = {};
  const char* names[1] = {"Time"};
  const char* descriptions[1] = {"Time in seconds"};

  explicit OneSignal(int nData) {
    EXPECT_EQ(amatOk, atrajInit(&traj, nData, ATRAJ_DOUBLE)) << amatMessage;
    // The texts are the caller's; the record must not release them.
    traj.nameMatrix.nrow = 1;
    traj.nameMatrix.data = names;
    traj.descriptionMatrix.nrow = 1;
    traj.descriptionMatrix.data = descriptions;
    traj.dataInfoMatrix.nrow = 1;
    traj.dataInfoMatrix.data = malloc(4 * sizeof(std::int32_t));
    const std::int32_t info[4] = {0, 1, 0, -1};
    memcpy(traj.dataInfoMatrix.data, info, sizeof info);
    for (int i = 0; i < traj.nData; ++i) {
      AmatMatrix& m = traj.dataMatrices[i];
      m.nrow = 2;
      m.ncol = 1;
      m.data = malloc(2 * sizeof(double));
      double* d = static_cast<double*>(m.data);
      d[0] = i;
      d[1] = i + 1;
    }
  }
  ~OneSignal() {
    traj.nameMatrix.data = nullptr;
    traj.descriptionMatrix.data = nullptr;
    atrajFree(&traj);
  }
};

TEST(Trajectory, InitMakesNamedEmptyDataMatrices) {
  AtrajRecord traj;
  ASSERT_EQ(amatOk, atrajInit(&traj, 2, ATRAJ_REAL));
  EXPECT_EQ(nullptr, traj.description);
  EXPECT_STREQ("name", traj.nameMatrix.name);
  EXPECT_EQ(charMatrix, traj.nameMatrix.type);
  EXPECT_STREQ("description", traj.descriptionMatrix.name);
  EXPECT_STREQ("dataInfo", traj.dataInfoMatrix.name);
  EXPECT_EQ(integerMatrix, traj.dataInfoMatrix.type);
  EXPECT_EQ(4, traj.dataInfoMatrix.ncol);
  ASSERT_EQ(2, traj.nData);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ("data_" + std::to_string(i + 1), traj.dataMatrices[i].name);
    EXPECT_EQ(realMatrix, traj.dataMatrices[i].type);
    EXPECT_EQ(0, traj.dataMatrices[i].nrow);
    EXPECT_EQ(0, traj.dataMatrices[i].ncol);
    EXPECT_EQ(nullptr, traj.dataMatrices[i].data);
  }
  // A second sizing changes nothing.
  EXPECT_EQ(amatError, atrajResize(&traj, 3, ATRAJ_DOUBLE));
  EXPECT_STREQ("traj->nData (=2) of function atrajResize must be zero.\n", amatMessage);
  EXPECT_EQ(2, traj.nData);
  EXPECT_EQ(realMatrix, traj.dataMatrices[1].type);
  atrajFree(&traj);
  EXPECT_EQ(0, traj.nData);
  EXPECT_EQ(nullptr, traj.dataMatrices);
}

TEST(Trajectory, EveryPrecisionGivesItsType) {
  const AmatType types[4] = {realMatrix, doubleMatrix, realRowMatrix, doubleRowMatrix};
  for (int precision = 0; precision < 4; ++precision) {
    AtrajRecord traj;
    ASSERT_EQ(amatOk, atrajInit(&traj, 1, precision));
    EXPECT_EQ(types[precision], traj.dataMatrices[0].type);
    atrajFree(&traj);
  }
}

TEST(Trajectory, BadArgumentsAreRefusedAndLeaveTheRecordEmpty) {
  struct Case {
    int nData, precision;
    const char* message;
  };
  const Case cases[] = {
      {-1, ATRAJ_REAL, "Input argument nData=-1 of function atrajInit must be >= 0.\n"},
      {2, 4, "Input argument precision=4 of function atrajResize must be 0, 1, 2 or 3.\n"},
      {2, -1, "Input argument precision=-1 of function atrajResize must be 0, 1, 2 or 3.\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    AtrajRecord traj;
    EXPECT_EQ(amatError, atrajInit(&traj, c.nData, c.precision));
    EXPECT_STREQ(c.message, amatMessage);
    EXPECT_EQ(0, traj.nData);
    EXPECT_EQ(nullptr, traj.dataMatrices);
    EXPECT_EQ(nullptr, traj.nameMatrix.name);
    atrajFree(&traj);
  }
  AtrajRecord traj;
  ASSERT_EQ(amatOk, atrajInit(&traj, 0, ATRAJ_REAL));
  EXPECT_EQ(amatError, atrajResize(&traj, -2, ATRAJ_REAL));
  EXPECT_STREQ("Input argument nDataNew=-2 of function atrajResize must be >= 0.\n", amatMessage);
  EXPECT_EQ(amatError, atrajResize(nullptr, 1, ATRAJ_REAL));
  EXPECT_STREQ("Unexpected null-pointer", amatMessage);
  atrajFree(&traj);
  EXPECT_EQ(amatOk, atrajInit(nullptr, 1, ATRAJ_REAL));
}

TEST(Trajectory, WithARowIndexTheFileStaysOpenForTheRows) {
  ScratchDirectory dir;
  OneSignal one(2);
  AmatPutFile file;
  ASSERT_EQ(amatOk, atrajPutOpen("t.mat", &one.traj, 1, AMAT_FORMAT_BINARY, &file)) << amatMessage;
  EXPECT_NE(nullptr, file.stream);
  const double row[1] = {7.5};
  EXPECT_EQ(amatOk, amatPutRrow(&file, row));
  EXPECT_EQ(amatOk, amatPutRrow(&file, row));
  EXPECT_EQ(amatOk, atrajPutClose(&file, &one.traj, 1));
  EXPECT_EQ(nullptr, file.stream);
  // The data up to the row-wise matrix is released, the names stay.
  EXPECT_EQ(nullptr, one.traj.dataMatrices[0].data);
  EXPECT_EQ(nullptr, one.traj.dataMatrices[1].data);
  EXPECT_STREQ("data_1", one.traj.dataMatrices[0].name);
  EXPECT_STREQ("data_2", one.traj.dataMatrices[1].name);

  std::vector<Matrix> matrices;
  std::string why;
  ASSERT_TRUE(mat4::parse(mat4::read_file("t.mat"), &matrices, &why)) << why;
  ASSERT_EQ(6u, matrices.size());
  const char* names[6] = {"Aclass", "name", "description", "dataInfo", "data_1", "data_2"};
  for (int i = 0; i < 6; ++i) EXPECT_EQ(names[i], matrices[i].name);
  EXPECT_EQ("Time", matrices[1].column(0));
  EXPECT_EQ(4, matrices[3].mrows);  // transposed: one column per signal
  EXPECT_EQ((std::vector<double>{0, 1, 0, -1}), matrices[3].values());
  EXPECT_EQ(1, matrices[4].mrows);
  EXPECT_EQ((std::vector<double>{0, 1}), matrices[4].values());
  EXPECT_EQ((std::vector<double>{7.5, 7.5}), matrices[5].values());
}

TEST(Trajectory, WithoutARowIndexEverythingIsWrittenAndClosed) {
  for (int rowIndex : {-1, 2}) {
    SCOPED_TRACE(rowIndex);
    ScratchDirectory dir;
    OneSignal one(2);
    AmatPutFile file;
    ASSERT_EQ(amatOk, atrajPutOpen("t.mat", &one.traj, rowIndex, AMAT_FORMAT_BINARY, &file)) << amatMessage;
    EXPECT_EQ(nullptr, file.stream);
    std::vector<Matrix> matrices;
    std::string why;
    ASSERT_TRUE(mat4::parse(mat4::read_file("t.mat"), &matrices, &why)) << why;
    ASSERT_EQ(6u, matrices.size());
    // Without a row index nothing is transposed.
    EXPECT_EQ(rowIndex < 0 ? "binNormal" : "binTrans", matrices[0].row_text(3));
    EXPECT_EQ(rowIndex < 0 ? 2 : 1, matrices[5].mrows);
    EXPECT_EQ((std::vector<double>{1, 2}), matrices[5].values());
  }
}

TEST(Trajectory, TheTextFileCarriesTheDataInfoComment) {
  ScratchDirectory dir;
  OneSignal one(1);
  AmatPutFile file;
  ASSERT_EQ(amatOk, atrajPutOpen("t.txt", &one.traj, -1, AMAT_FORMAT_TEXT, &file)) << amatMessage;
  const std::string expected =
      "#1\n"
      "char Aclass(3,11)\nAtrajectory\n1.1\n \n\n"
      "char name(1,4)\nTime\n\n"
      "char description(1,15)\nTime in seconds\n\n"
      "\n"
      "# Matrix with 4 columns defining the data of the signals:\n"
      "#\n"
      "# dataInfo(i,1)=    j: name i data is stored in matrix \"data_j\".\n"
      "#                      (1,1)=0, means that name(1) is used as abscissa\n"
      "#                      for ALL data matrices!\n"
      "#\n"
      "# dataInfo(i,2)=    k: name i data is stored in column abs(k) of matrix\n"
      "#                      data_j with sign(k) used as sign.\n"
      "#\n"
      "# dataInfo(i,3)=    0: Linear interpolation of the column data\n"
      "#              = 1..4: Piecewise convex hermite spline interpolation\n"
      "#                      of the column data. Curve is differentiable upto\n"
      "#                      order 1..4. The spline is defined by a polygon.\n"
      "#                      It touches the polygon in the middle of every segment\n"
      "#                      and at the beginning and final point. Between such\n"
      "#                      points the spline is convex. The polygon is also the\n"
      "#                      convex envelope of the spline.\n"
      "#\n"
      "# dataInfo(i,4)=   -1: name i is not defined outside of the defined time range\n"
      "#              =    0: Keep first/last value outside of time range\n"
      "#              =    1: Linear interpolation through first/last two points outside\n"
      "#                      of time range.\n"
      "#\n"
      "int dataInfo(1,4)\n  0  1  0 -1   # Time\n\n"
      "double data_1(2,1)\n  0\n  1\n\n";
  EXPECT_EQ(expected, mat4::read_text("t.txt"));
}

TEST(Trajectory, FewerNamesThanSignalsGiveTheTextFileNoRowComments) {
  ScratchDirectory dir;
  OneSignal one(1);
  const std::int32_t info[8] = {0, 0, 1, 2, 0, 0, -1, -1};
  one.traj.dataInfoMatrix.nrow = 2;
  one.traj.dataInfoMatrix.data = realloc(one.traj.dataInfoMatrix.data, sizeof info);
  memcpy(one.traj.dataInfoMatrix.data, info, sizeof info);
  AmatPutFile file;
  ASSERT_EQ(amatOk, atrajPutOpen("t.txt", &one.traj, -1, AMAT_FORMAT_TEXT, &file)) << amatMessage;
  const std::string text = mat4::read_text("t.txt");
  const std::string tail = std::string(atrajDataInfoComment) + "\n" +
                           "int dataInfo(2,4)\n  0  1  0 -1\n  0  2  0 -1\n\n" + "double data_1(2,1)\n  0\n  1\n\n";
  ASSERT_GE(text.size(), tail.size());
  EXPECT_EQ(tail, text.substr(text.size() - tail.size()));
}

TEST(Trajectory, AFailedOpenClosesTheFileAndReportsWhatFailed) {
  ScratchDirectory dir;
  OneSignal one(2);
  FileSizeLimit small(30);  // the class matrix does not fit
  ASSERT_TRUE(small.on());
  AmatPutFile file;
  const int status = atrajPutOpen("t.mat", &one.traj, 1, AMAT_FORMAT_BINARY, &file);
  const std::string message = amatMessage;
  small.lift();
  EXPECT_EQ(amatError, status);
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_EQ(std::string("Error when writing matrix \"data_2\" row-wise to file \"t.mat\":\n") + strerror(EFBIG) + "\n",
            message);
}

TEST(Trajectory, CloseRefusesARowIndexWithoutARowWiseMatrixAndStillCloses) {
  ScratchDirectory dir;
  OneSignal one(2);
  AmatPutFile file;
  ASSERT_EQ(amatOk, atrajPutOpen("t.mat", &one.traj, 1, AMAT_FORMAT_BINARY, &file));
  EXPECT_EQ(amatError, atrajPutClose(&file, &one.traj, 2));
  EXPECT_STREQ("Input argument rowIndex=2 of function atrajPutClose must be >= 0 and < nData (= 2).\n", amatMessage);
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_EQ(amatError, atrajPutOpen("t.mat", nullptr, 1, AMAT_FORMAT_BINARY, &file));
  EXPECT_STREQ("Unexpected null-pointer", amatMessage);
}

}  // namespace
