// Whole matrices in the binary MAT level-4 form, byte for byte, the
// writer's refusals, and the writes that a stream cannot take.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "file_size_limit.h"
#include "mat_file.h"
#include "result/matrix_writer.h"
#include "result/row_writing.h"
#include "result/trajectory_writer.h"

using namespace pelvarin;

namespace {

using mat4::Bytes;

// The record's matrix: row 0 = (1, 2, 3), row 1 = (4, 5, 6) in the integer
// form, (4, 5, -0.5) in the real forms; stored column by column.
const Bytes kIntNormal = {HEADER(20, 2, 3, 2), 'M', 0, B4(1), B4(4), B4(2), B4(5), B4(3), B4(6u)};
const Bytes kIntTrans = {HEADER(20, 3, 2, 2), 'M', 0, B4(1), B4(2), B4(3), B4(4), B4(5), B4(6u)};
const Bytes kRealNormal = {HEADER(10, 2, 3, 2), 'M', 0, B4(0x3F800000u), B4(0x40800000u), B4(0x40000000u),
                           B4(0x40A00000u), B4(0x40400000u), B4(0xBF000000u)};
const Bytes kRealTrans = {HEADER(10, 3, 2, 2), 'M', 0, B4(0x3F800000u), B4(0x40000000u), B4(0x40400000u),
                          B4(0x40800000u), B4(0x40A00000u), B4(0xBF000000u)};
const Bytes kDoubleNormal = {HEADER(0, 2, 3, 2), 'M', 0, B8(0x3FF0000000000000ull), B8(0x4010000000000000ull),
                             B8(0x4000000000000000ull), B8(0x4014000000000000ull), B8(0x4008000000000000ull),
                             B8(0xBFE0000000000000ull)};
const Bytes kDoubleTrans = {HEADER(0, 3, 2, 2), 'M', 0, B8(0x3FF0000000000000ull), B8(0x4000000000000000ull),
                            B8(0x4008000000000000ull), B8(0x4010000000000000ull), B8(0x4014000000000000ull),
                            B8(0xBFE0000000000000ull)};

struct Contents {
  std::int32_t ints[6] = {1, 4, 2, 5, 3, 6};
  float reals[6] = {1, 4, 2, 5, 3, -0.5f};
  double doubles[6] = {1, 4, 2, 5, 3, -0.5};
  float realRow0[3] = {1, 2, 3}, realRow1[3] = {4, 5, -0.5f};
  double doubleRow0[3] = {1, 2, 3}, doubleRow1[3] = {4, 5, -0.5};
  float* realRows[2] = {realRow0, realRow1};
  double* doubleRows[2] = {doubleRow0, doubleRow1};

  void* data(AmatType type) {
    switch (type) {
      case integerMatrix: return ints;
      case realMatrix: return reals;
      case doubleMatrix: return doubles;
      case realRowMatrix: return realRows;
      default: return doubleRows;
    }
  }
};

struct Golden {
  const char* label;
  AmatType type;
  const Bytes* normal;
  const Bytes* trans;
};

const Golden kGoldens[] = {
    {"integer", integerMatrix, &kIntNormal, &kIntTrans},
    {"real", realMatrix, &kRealNormal, &kRealTrans},
    {"double", doubleMatrix, &kDoubleNormal, &kDoubleTrans},
    {"real_rows", realRowMatrix, &kRealNormal, &kRealTrans},
    {"double_rows", doubleRowMatrix, &kDoubleNormal, &kDoubleTrans},
};

// Opens path without a class matrix, writes m and closes.
Bytes write_one(const char* path, int bstruct, AmatMatrix m) {
  AmatPutFile file;
  EXPECT_EQ(amatOk, amatPutOpen(path, AMAT_FORMAT_BINARY, bstruct, "", nullptr, nullptr, &file)) << amatMessage;
  EXPECT_EQ(amatOk, amatPut(&file, m)) << amatMessage;
  EXPECT_EQ(amatOk, amatPutClose(&file)) << amatMessage;
  return mat4::read_file(path);
}

class NumericGolden : public ::testing::TestWithParam<Golden> {};

TEST_P(NumericGolden, BothStorageFormsAreWrittenByteForByte) {
  ScratchDirectory dir;
  Contents contents;
  AmatMatrix m;
  amatSet("M", 2, 3, GetParam().type, contents.data(GetParam().type), &m);
  EXPECT_EQ(*GetParam().normal, write_one("normal.mat", binNormal, m));
  EXPECT_EQ(*GetParam().trans, write_one("trans.mat", binTrans, m));
}

INSTANTIATE_TEST_SUITE_P(Types, NumericGolden, ::testing::ValuesIn(kGoldens),
                         [](const ::testing::TestParamInfo<Golden>& info) { return std::string(info.param.label); });

TEST(MatrixWriter, TextMatricesArePaddedByTheirStorageForm) {
  ScratchDirectory dir;
  const char* texts[3] = {"ab", nullptr, "xyz"};
  AmatMatrix m;
  amatSet("T", 3, 0, charMatrix, texts, &m);
  // binNormal: a text shorter than the widest ends in one NUL, then blanks.
  const Bytes normal = {HEADER(51, 3, 3, 2), 'T', 0, 'a', 0, 'x', 'b', ' ', 'y', 0, ' ', 'z'};
  // binTrans: each text followed by blanks, no NUL.
  const Bytes trans = {HEADER(51, 3, 3, 2), 'T', 0, 'a', 'b', ' ', ' ', ' ', ' ', 'x', 'y', 'z'};
  EXPECT_EQ(normal, write_one("normal.mat", binNormal, m));
  EXPECT_EQ(trans, write_one("trans.mat", binTrans, m));

  // The binary writer takes the width from the texts, whatever ncol says.
  const char* two[2] = {"ab", "xyz"};
  for (int ncol : {7, -4}) {
    SCOPED_TRACE(ncol);
    amatSet("T", 2, ncol, charMatrix, two, &m);
    EXPECT_EQ((Bytes{HEADER(51, 2, 3, 2), 'T', 0, 'a', 'x', 'b', 'y', 0, 'z'}), write_one("two.mat", binNormal, m));
    EXPECT_EQ((Bytes{HEADER(51, 3, 2, 2), 'T', 0, 'a', 'b', ' ', 'x', 'y', 'z'}), write_one("two_t.mat", binTrans, m));
  }
}

TEST(MatrixWriter, EmptyMatricesHaveAHeaderAndANameOnly) {
  ScratchDirectory dir;
  double none[1] = {0};
  AmatMatrix m;
  amatSet("E", 0, 3, doubleMatrix, none, &m);
  EXPECT_EQ((Bytes{HEADER(0, 0, 3, 2), 'E', 0}), write_one("rows.mat", binNormal, m));
  EXPECT_EQ((Bytes{HEADER(0, 3, 0, 2), 'E', 0}), write_one("rows_t.mat", binTrans, m));
  const char* blank[2] = {"", nullptr};
  amatSet("C", 2, 0, charMatrix, blank, &m);
  EXPECT_EQ((Bytes{HEADER(51, 2, 0, 2), 'C', 0}), write_one("chars.mat", binNormal, m));
}

TEST(MatrixWriter, TheClassMatrixOfATrajectoryFile) {
  ScratchDirectory dir;
  AmatPutFile file;
  ASSERT_EQ(amatOk, amatPutOpen("t.mat", AMAT_FORMAT_BINARY, binTrans, "Atrajectory", "1.1", nullptr, &file));
  EXPECT_EQ(binTrans, file.bstruct);
  EXPECT_EQ(amatOk, amatPutClose(&file));
  // Rows "Atrajectory", "1.1", " ", "binTrans", not transposed, column by column.
  const std::string chars("A1 b" "t.\0i" "r1 n" "a\0 T" "j  r" "e  a" "c  n" "t  s" "o  \0" "r   " "y   ", 44);
  Bytes expected = {HEADER(51, 4, 11, 7), 'A', 'c', 'l', 'a', 's', 's', 0};
  expected.insert(expected.end(), chars.begin(), chars.end());
  EXPECT_EQ(expected, mat4::read_file("t.mat"));
}

TEST(MatrixWriter, TheClassMatrixOfATextFileHasNoStorageWord) {
  ScratchDirectory dir;
  AmatPutFile file;
  ASSERT_EQ(amatOk, amatPutOpen("t.txt", AMAT_FORMAT_TEXT, binTrans, "Atrajectory", "1.1", "run", &file));
  EXPECT_EQ(amatOk, amatPutClose(&file));
  EXPECT_EQ("#1\nchar Aclass(3,11)\nAtrajectory\n1.1\nrun\n\n", mat4::read_text("t.txt"));
}

TEST(MatrixWriter, WithoutAClassNameTheFileHasNoClassMatrix) {
  ScratchDirectory dir;
  AmatPutFile file;
  ASSERT_EQ(amatOk, amatPutOpen("t.mat", AMAT_FORMAT_BINARY, binNormal, "", "1.1", nullptr, &file));
  EXPECT_EQ(amatOk, amatPutClose(&file));
  EXPECT_TRUE(mat4::read_file("t.mat").empty());
}

TEST(MatrixWriter, ASuccessLeavesTheMessageAsItWas) {
  ScratchDirectory dir;
  strcpy(amatMessage, "earlier");
  Contents contents;
  AmatMatrix m;
  write_one("t.mat", binTrans, *amatSet("M", 2, 3, realMatrix, contents.reals, &m));
  EXPECT_STREQ("earlier", amatMessage);
}

struct Refusal {
  const char* label;
  AmatMatrix matrix;
  int status;
  const char* message;
};

std::int32_t kSomeInts[4] = {1, 2, 3, 4};

const Refusal kRefusals[] = {
    {"void", {"V", 2, 2, voidMatrix, kSomeInts}, amatError,
     "Error when writing matrix \"V(2,2)\" to file \"r.mat\":\nThe datatype of the matrix is not specified "
     "(matrix.type = voidMatrix).\n"},
    {"type_7", {"V", 2, 2, static_cast<AmatType>(7), kSomeInts}, amatError,
     "Error should never occur when writing matrix \"V(2,2)\" to\nfile \"r.mat\" (matrix.type = 7)\n"},
    {"negative_rows", {"N", -1, 2, integerMatrix, kSomeInts}, amatError,
     "Error when writing matrix \"N(-1,2)\" to file \"r.mat\":\nThe dimensions of the matrix are negative or too "
     "large.\n"},
    {"negative_columns", {"N", 2, -3, doubleMatrix, kSomeInts}, amatError,
     "Error when writing matrix \"N(2,-3)\" to file \"r.mat\":\nThe dimensions of the matrix are negative or too "
     "large.\n"},
    {"overflowing", {"H", INT_MAX, INT_MAX, doubleMatrix, kSomeInts}, amatError,
     "Error when writing matrix \"H(2147483647,2147483647)\" to file \"r.mat\":\nThe dimensions of the matrix are "
     "negative or too large.\n"},
    {"negative_text_rows", {"C", -2, 0, charMatrix, nullptr}, amatError,
     "Error when writing matrix \"C(-2,0)\" to file \"r.mat\":\nThe dimensions of the matrix are negative or too "
     "large.\n"},
    {"null_name", {nullptr, 2, 2, integerMatrix, kSomeInts}, amatNullPointer, "Unexpected null-pointer"},
    {"null_data", {"D", 2, 2, integerMatrix, nullptr}, amatNullPointer, "Unexpected null-pointer"},
    {"null_rows", {"R", 2, 0, doubleRowMatrix, nullptr}, amatNullPointer, "Unexpected null-pointer"},
};

class MatrixRefusal : public ::testing::TestWithParam<Refusal> {};

TEST_P(MatrixRefusal, IsReportedAndWritesNothing) {
  ScratchDirectory dir;
  for (int form = 0; form < 4; ++form) {
    const int format = form / 2 == 0 ? AMAT_FORMAT_BINARY : AMAT_FORMAT_TEXT;
    const int bstruct = form % 2 == 0 ? binNormal : binTrans;
    SCOPED_TRACE(form);
    AmatPutFile file;
    ASSERT_EQ(amatOk, amatPutOpen("r.mat", format, bstruct, "", nullptr, nullptr, &file));
    ASSERT_EQ(0, fflush(file.stream));
    const long before = ftell(file.stream);
    EXPECT_EQ(GetParam().status, amatPut(&file, GetParam().matrix));
    EXPECT_STREQ(GetParam().message, amatMessage);
    EXPECT_EQ(before, ftell(file.stream));
    EXPECT_EQ(amatOk, amatPutClose(&file));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, MatrixRefusal, ::testing::ValuesIn(kRefusals),
                         [](const ::testing::TestParamInfo<Refusal>& info) { return std::string(info.param.label); });

TEST(MatrixWriter, OpenRefusesFormatsAndStorageFormsItDoesNotKnow) {
  ScratchDirectory dir;
  AmatPutFile file;
  EXPECT_EQ(amatError, amatPutOpen("f.mat", 2, binNormal, "A", nullptr, nullptr, &file));
  EXPECT_STREQ(
      "Wrong argument \"format\" (= 2) in function amatPutOpen,\nwhen opening file \"f.mat\".\n"
      "(format = 0 (text) or 1 (binary) required).\n",
      amatMessage);
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_EQ(amatError, amatPutOpen("f.mat", AMAT_FORMAT_BINARY, 5, "A", nullptr, nullptr, &file));
  EXPECT_NE(nullptr, strstr(amatMessage, "Wrong argument \"bstruct\" (= 5)"));
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_FALSE(mat4::exists("f.mat"));
  EXPECT_EQ(amatNullPointer, amatPutOpen("f.mat", AMAT_FORMAT_BINARY, binNormal, "A", nullptr, nullptr, nullptr));
  EXPECT_STREQ("Unexpected null-pointer", amatMessage);
}

TEST(MatrixWriter, AFileThatCannotBeOpenedIsReported) {
  ScratchDirectory dir;
  std::filesystem::create_directory("taken.mat");
  AmatPutFile file;
  EXPECT_EQ(amatError, amatPutOpen("taken.mat", AMAT_FORMAT_BINARY, binNormal, "A", nullptr, nullptr, &file));
  EXPECT_EQ(std::string("Error opening file \"taken.mat\": ") + strerror(EISDIR) + "\n", amatMessage);
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_EQ(nullptr, file.fileName);
  EXPECT_EQ(amatOk, amatPutClose(&file));
}

TEST(MatrixWriter, TheStandardOutputIsFlushedButNeverClosed) {
  AmatPutFile file;
  ASSERT_EQ(amatOk, amatPutOpen("", AMAT_FORMAT_BINARY, binNormal, "", nullptr, nullptr, &file));
  EXPECT_EQ(stdout, file.stream);
  EXPECT_EQ(0, file.openedByPath);
  EXPECT_EQ(amatOk, amatPutClose(&file));
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_NE(-1, fcntl(STDOUT_FILENO, F_GETFD));
  EXPECT_EQ(0, fflush(stdout));
  EXPECT_GE(fputs("", stdout), 0);
  // Nothing further to close.
  EXPECT_EQ(amatOk, amatPutClose(&file));
}

TEST(MatrixWriter, AFailedCloseIsReported) {
  ScratchDirectory dir;
  FileSizeLimit small(64);
  ASSERT_TRUE(small.on());
  AmatPutFile file;
  ASSERT_EQ(amatOk, amatPutOpen("big.mat", AMAT_FORMAT_BINARY, binNormal, "", nullptr, nullptr, &file));
  std::vector<double> values(64, 1.0);
  AmatMatrix m;
  EXPECT_EQ(amatOk, amatPut(&file, *amatSet("B", 8, 8, doubleMatrix, values.data(), &m)));  // still buffered
  const int closed = amatPutClose(&file);
  small.lift();
  EXPECT_EQ(amatError, closed);
  EXPECT_EQ(std::string("Error closing file \"big.mat\":\n") + strerror(EFBIG) + "\n", amatMessage);
  EXPECT_EQ(nullptr, file.stream);
  EXPECT_EQ(nullptr, file.fileName);
}

// Writes that the stream cannot take: into the device that is always full,
// or into a file whose descriptor becomes that device once its row-wise
// matrix is open. The whole matrices are larger than the stream's buffer, so
// that their failure shows in the call that writes them.
struct WriteFailure {
  const char* label;
  int (*call)(AmatPutFile* file);  // opens the file and makes the failing call
  int status;
  const char* message;  // the platform's error text follows it
  bool closed;          // whether the call leaves the file closed
};

const int kLarge = 4096;  // elements, more than a stream buffers

int put_large(AmatPutFile* file, int format, int bstruct, AmatType type) {
  static double values[2 * kLarge];
  if (amatPutOpen("/dev/full", format, bstruct, "", nullptr, nullptr, file) != amatOk) return -1;
  AmatMatrix m;
  if (type == charMatrix) {
    static const char* texts[kLarge];
    for (const char*& text : texts) text = "abc";
    return amatPut(file, *amatSet("C", kLarge, 0, charMatrix, texts, &m));
  }
  return amatPut(file, *amatSet("M", kLarge, 2, type, values, &m));
}

// A row-wise matrix of ncol values in r.mat, then the full device under it.
bool rows_into_the_full_device(AmatPutFile* file, int ncol) {
  if (amatPutOpen("r.mat", AMAT_FORMAT_BINARY, binTrans, "Atrajectory", "1.1", nullptr, file) != amatOk ||
      amatPutRinit(file, "R", ncol, realMatrix) != amatOk)
    return false;
  const int full = open("/dev/full", O_WRONLY);
  const bool swapped = full >= 0 && dup2(full, fileno(file->stream)) >= 0;
  if (full >= 0) close(full);
  return swapped;
}

int put_row(AmatPutFile* file, int ncol) {
  static float row[kLarge];
  return rows_into_the_full_device(file, ncol) ? amatPutRrow(file, row) : -1;
}

// A trajectory of one signal whose "data_1" has rows1 rows, its "data_2"
// written row by row.
int open_trajectory(AmatPutFile* file, int rows1) {
  static double data1[kLarge];
  static const char* names[1] = {"Time"};
  static std::int32_t info[4] = {0, 1, 0, -1};
  AtrajRecord traj;
  if (atrajInit(&traj, 2, ATRAJ_DOUBLE) != amatOk) return -1;
  amatSet(traj.nameMatrix.name, 1, 0, charMatrix, names, &traj.nameMatrix);
  amatSet(traj.descriptionMatrix.name, 1, 0, charMatrix, names, &traj.descriptionMatrix);
  amatSet(traj.dataInfoMatrix.name, 1, 4, integerMatrix, info, &traj.dataInfoMatrix);
  amatSet(traj.dataMatrices[0].name, rows1, 1, doubleMatrix, data1, &traj.dataMatrices[0]);
  amatSet(traj.dataMatrices[1].name, 1, 1, doubleMatrix, nullptr, &traj.dataMatrices[1]);
  const int status = atrajPutOpen("/dev/full", &traj, 1, AMAT_FORMAT_BINARY, file);
  // The arrays are this function's; only the names are the record's.
  for (AmatMatrix* m : {&traj.nameMatrix, &traj.descriptionMatrix, &traj.dataInfoMatrix, &traj.dataMatrices[0]})
    m->data = nullptr;
  atrajFree(&traj);
  return status;
}

const WriteFailure kWriteFailures[] = {
    {"put_contiguous",
     [](AmatPutFile* f) { return put_large(f, AMAT_FORMAT_BINARY, binNormal, doubleMatrix); }, amatError,
     "Error when writing matrix \"M(4096,2)\" to file \"/dev/full\":\n", false},
    {"put_transposed",
     [](AmatPutFile* f) { return put_large(f, AMAT_FORMAT_BINARY, binTrans, integerMatrix); }, amatError,
     "Error when writing matrix \"M(4096,2)\" to file \"/dev/full\":\n", false},
    {"put_texts", [](AmatPutFile* f) { return put_large(f, AMAT_FORMAT_BINARY, binNormal, charMatrix); },
     amatError, "Error when writing matrix \"C(4096,0)\" to file \"/dev/full\":\n", false},
    {"put_text_format",
     [](AmatPutFile* f) { return put_large(f, AMAT_FORMAT_TEXT, binNormal, doubleMatrix); }, amatError,
     "Error when writing matrix \"M(4096,2)\" to file \"/dev/full\":\n", false},
    {"row", [](AmatPutFile* f) { return put_row(f, 1); }, amatError,
     "Error when writing row 1 of matrix \"R\" row-wise\nto file \"r.mat\": ", false},
    {"large_row", [](AmatPutFile* f) { return put_row(f, kLarge); }, amatError,
     "Error when writing row 1 of matrix \"R\" row-wise\nto file \"r.mat\": ", false},
    {"row_close",
     [](AmatPutFile* f) { return rows_into_the_full_device(f, 1) ? amatPutRclose(f) : -1; }, amatError,
     "Error when writing matrix \"R\" row-wise to file \"r.mat\":\n", false},
    {"trajectory_rows", [](AmatPutFile* f) { return open_trajectory(f, 2); }, amatError,
     "Error when writing matrix \"data_2\" row-wise to file \"/dev/full\":\n", true},
    {"trajectory_data", [](AmatPutFile* f) { return open_trajectory(f, kLarge); }, amatError,
     "Error when writing matrix \"data_1(4096,1)\" to file \"/dev/full\":\n", true},
};

class WriteFailed : public ::testing::TestWithParam<WriteFailure> {};

TEST_P(WriteFailed, GivesTheMessageAndTheStatus) {
  ScratchDirectory dir;
  AmatPutFile file = {};
  EXPECT_EQ(GetParam().status, GetParam().call(&file));
  EXPECT_EQ(std::string(GetParam().message) + strerror(ENOSPC) + "\n", amatMessage);
  EXPECT_EQ(GetParam().closed, file.stream == nullptr);
  amatPutClose(&file);
}

INSTANTIATE_TEST_SUITE_P(Calls, WriteFailed, ::testing::ValuesIn(kWriteFailures),
                         [](const ::testing::TestParamInfo<WriteFailure>& info) { return std::string(info.param.label); });

TEST(MatrixWriter, FreeReleasesEveryForm) {
  // Run under the sanitizer, a leak or a double release fails the test.
  AmatMatrix m;
  char** texts = static_cast<char**>(malloc(2 * sizeof(char*)));
  texts[0] = amat_copy_text("a");
  texts[1] = nullptr;
  amatSet(amat_copy_text("T"), 2, 0, charMatrix, texts, &m);
  amatFree(&m);
  EXPECT_EQ(nullptr, m.name);
  EXPECT_EQ(nullptr, m.data);
  EXPECT_EQ(voidMatrix, m.type);

  double** rows = static_cast<double**>(malloc(2 * sizeof(double*)));
  rows[0] = static_cast<double*>(malloc(sizeof(double)));
  rows[1] = static_cast<double*>(malloc(sizeof(double)));
  amatSet(amat_copy_text("R"), 2, 1, doubleRowMatrix, rows, &m);
  amatFree(&m);
  amatSet(amat_copy_text("D"), 1, 1, doubleMatrix, malloc(sizeof(double)), &m);
  amatFree(&m);
  amatFree(nullptr);
  amatFreeStrings(nullptr, 3);
  EXPECT_EQ(nullptr, amatSet("x", 1, 1, realMatrix, nullptr, nullptr));
  EXPECT_EQ(nullptr, amatClear(nullptr));
}

}  // namespace
