// Whole matrices in the writer's text format: header lines, field layouts,
// comments and row comments.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "mat_file.h"
#include "result/matrix_writer.h"

using namespace pelvarin;

namespace {

// The text of a file holding the one matrix.
std::string as_text(AmatMatrix m, const char* comment = nullptr, const char* const* rowComments = nullptr,
                    int indent = 0) {
  ScratchDirectory dir;
  AmatPutFile file;
  EXPECT_EQ(amatOk, amatPutOpen("t.txt", AMAT_FORMAT_TEXT, binTrans, "", nullptr, nullptr, &file));
  EXPECT_EQ(amatOk, amatPutCommented(&file, m, comment, rowComments, indent)) << amatMessage;
  EXPECT_EQ(amatOk, amatPutClose(&file));
  const std::string text = mat4::read_text("t.txt");
  EXPECT_EQ("#1\n", text.substr(0, 3));
  return text.substr(3);
}

TEST(TextFormat, IntegersShareOneWidthWithRoomForTheSign) {
  std::int32_t values[4] = {-5, 3, 120, 0};
  const char* comments[2] = {"first", "second"};
  AmatMatrix m;
  amatSet("I", 2, 2, integerMatrix, values, &m);
  EXPECT_EQ("# c\nint I(2,2)\n   -5  120   # first\n    3    0   # second\n\n", as_text(m, "# c", comments, 4));
  std::int32_t eight[8] = {1, 2, 3, 4, 5, 6, 7, 8};
  EXPECT_EQ("int W(1,8)\n 1 2 3 4 5 6 7\n     8\n\n", as_text(*amatSet("W", 1, 8, integerMatrix, eight, &m)));
  std::int32_t zeros[2] = {0, 0};
  EXPECT_EQ("int Z(2,1)\n 0\n 0\n\n", as_text(*amatSet("Z", 2, 1, integerMatrix, zeros, &m), ""));
}

TEST(TextFormat, RealsTakeTheIntegerFieldOnlyForSmallWholeValues) {
  float values[3] = {3.0f, 0.5f, 1e6f};
  const char* comments[1] = {"x"};
  AmatMatrix m;
  amatSet("F", 1, 3, realMatrix, values, &m);
  // Without an indent the row comment follows the last value directly.
  EXPECT_EQ("float F(1,3)\n       3         5.0000000E-01  1.0000000E+06x\n\n", as_text(m, nullptr, comments, 0));
  float row[3] = {3.0f, 0.5f, 1e6f};
  float* rows[1] = {row};
  EXPECT_EQ("float F(1,3)\n       3         5.0000000E-01  1.0000000E+06\n\n",
            as_text(*amatSet("F", 1, 3, realRowMatrix, rows, &m)));
  float big[2] = {INFINITY, -100000.0f};
  EXPECT_EQ("float B(1,2)\n  3.4028235E+38 -100000       \n\n", as_text(*amatSet("B", 1, 2, realMatrix, big, &m)));
}

TEST(TextFormat, DoubleColumnsOfIntegralValuesAreNarrow) {
  double values[6] = {1, 2, 300, 0.5, 0.5, 0.5};
  AmatMatrix m;
  amatSet("D", 3, 2, doubleMatrix, values, &m);
  EXPECT_EQ(
      "double D(3,2)\n"
      "    1  5.0000000000000000E-01\n"
      "    2  5.0000000000000000E-01\n"
      "  300  5.0000000000000000E-01\n\n",
      as_text(m));
  double mixed[2] = {2.0, 0.5};
  double* rows[1] = {mixed};
  EXPECT_EQ("double M(1,2)\n  2  5.0000000000000000E-01\n\n", as_text(*amatSet("M", 1, 2, doubleRowMatrix, rows, &m)));
  double column[2] = {2.0, 0.5};
  EXPECT_EQ("double C(2,1)\n       2                \n  5.0000000000000000E-01\n\n",
            as_text(*amatSet("C", 2, 1, doubleMatrix, column, &m)));
  // Eight digits are too many for an integer column.
  double digits[2] = {9999999, 10000000};
  EXPECT_EQ("double G(1,2)\n  9999999  1.0000000000000000E+07\n\n", as_text(*amatSet("G", 1, 2, doubleMatrix, digits, &m)));
}

TEST(TextFormat, LongDoubleRowsBreakAfterSeventyCharacters) {
  double values[4] = {0.5, 0.25, 0.125, 1.5};
  AmatMatrix m;
  EXPECT_EQ(
      "double L(1,4)\n"
      "  5.0000000000000000E-01  2.5000000000000000E-01  1.2500000000000000E-01\n"
      "  1.5000000000000000E+00\n\n",
      as_text(*amatSet("L", 1, 4, doubleMatrix, values, &m)));
  // Exactly 70 characters do not break the line.
  double seventy[6] = {0.5, 0.5, 1234567, 1234567, 12, 3};
  EXPECT_EQ("double S(1,6)\n  5.0000000000000000E-01  5.0000000000000000E-01  1234567  1234567  12  3\n\n",
            as_text(*amatSet("S", 1, 6, doubleMatrix, seventy, &m)));
}

TEST(TextFormat, TextsStandOneALineUnpadded) {
  const char* texts[3] = {"ab", nullptr, "xyz"};
  AmatMatrix m;
  EXPECT_EQ("char T(3,3)\nab\n\nxyz\n\n", as_text(*amatSet("T", 3, 0, charMatrix, texts, &m), ""));
  EXPECT_EQ("char T(3,5)\nab\n\nxyz\n\n", as_text(*amatSet("T", 3, 5, charMatrix, texts, &m)));
  EXPECT_EQ("char N(0,0)\n\n", as_text(*amatSet("N", 0, 4, charMatrix, nullptr, &m)));
}

}  // namespace
