#include <gtest/gtest.h>

#include <cmath>

#include "integrator/allocation.h"
#include "integrator/dense_matrix.h"

using namespace pelvarin;

namespace {

// Fills a square matrix from rows.
DlsMat matrixOf(int n, std::initializer_list<double> rowMajor) {
  DlsMat A = NewDenseMat(n, n);
  int k = 0;
  for (double v : rowMajor) {
    A->cols[k % n][k / n] = v;
    k++;
  }
  return A;
}

TEST(FoundationDenseMatrix, ConstructorRefusesEmptySizesAndLaysOutColumns) {
  EXPECT_EQ(NewDenseMat(0, 3), nullptr);
  EXPECT_EQ(NewDenseMat(3, -1), nullptr);
  EXPECT_EQ(NewIntArray(0), nullptr);
  EXPECT_EQ(NewDenseMat(100000, 100000), nullptr);  // more entries than ldata can count
  DlsMat A = NewDenseMat(2, 3);
  ASSERT_NE(A, nullptr);
  EXPECT_EQ(A->type, MS_MATRIX_DENSE);
  EXPECT_EQ(A->ldim, 2);
  EXPECT_EQ(A->ldata, 6);
  EXPECT_EQ(A->cols[0], A->data);
  EXPECT_EQ(A->cols[1], A->cols[0] + 2);
  EXPECT_EQ(A->cols[2], A->data + 4);
  DestroyMat(A);
}

TEST(FoundationDenseMatrix, ConstructorReleasesBlocksWhenMemoryRunsOut) {
  for (long k = 1; k <= 3; k++) {
    long before = msLiveAllocations();
    msFailAllocationAt(k);
    EXPECT_EQ(NewDenseMat(3, 3), nullptr) << k;
    msFailAllocationAt(0);
    EXPECT_EQ(msLiveAllocations(), before) << k;
  }
  msFailAllocationAt(1);
  EXPECT_EQ(NewIntArray(3), nullptr);
  msFailAllocationAt(0);
}

TEST(FoundationDenseMatrix, SingularMatrixReportsColumnWithoutPivot) {
  DlsMat A = matrixOf(2, {1, 2, 2, 4});
  int p[2] = {-1, -1};
  EXPECT_EQ(DenseGETRF(A, p), 2);
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(A->cols[0][1], 0.5);  // multiplier
  EXPECT_EQ(A->cols[1][1], 0.0);
  DestroyMat(A);
}

TEST(FoundationDenseMatrix, EqualMagnitudesKeepTheUpperPivot) {
  DlsMat A = matrixOf(2, {1, 3, -1, 5});
  int p[2];
  EXPECT_EQ(DenseGETRF(A, p), 0);
  EXPECT_EQ(p[0], 0);
  DestroyMat(A);
}

TEST(FoundationDenseMatrix, PermutationSolves) {
  DlsMat A = matrixOf(2, {0, 1, 1, 0});
  int p[2];
  EXPECT_EQ(DenseGETRF(A, p), 0);
  EXPECT_EQ(p[0], 1);
  EXPECT_EQ(p[1], 1);
  double b[2] = {3, 5};
  DenseGETRS(A, p, b);
  EXPECT_EQ(b[0], 5);
  EXPECT_EQ(b[1], 3);
  DestroyMat(A);
}

TEST(FoundationDenseMatrix, OneByOne) {
  DlsMat A = matrixOf(1, {4});
  int p[1];
  EXPECT_EQ(DenseGETRF(A, p), 0);
  EXPECT_EQ(p[0], 0);
  double b[1] = {2};
  DenseGETRS(A, p, b);
  EXPECT_EQ(b[0], 0.5);
  DestroyMat(A);
}

TEST(FoundationDenseMatrix, NonSymmetricSystemNeedsRowExchangesAndColumnOrder) {
  // A solver that mixes up rows and columns solves A^T x = b instead; the
  // solutions of the two differ for this matrix.
  const double rows[3][3] = {{1, 2, 0}, {4, 1, 3}, {2, 5, 1}};
  const double x[3] = {1, -2, 3};
  double b[3];
  for (int i = 0; i < 3; i++) b[i] = rows[i][0] * x[0] + rows[i][1] * x[1] + rows[i][2] * x[2];
  DlsMat A = matrixOf(3, {1, 2, 0, 4, 1, 3, 2, 5, 1});
  int p[3];
  ASSERT_EQ(DenseGETRF(A, p), 0);
  EXPECT_EQ(p[0], 1);  // |4| is the largest entry of column 0
  DenseGETRS(A, p, b);
  for (int i = 0; i < 3; i++) EXPECT_NEAR(b[i], x[i], 1e-14) << i;
  DestroyMat(A);
}

TEST(FoundationDenseMatrix, CopyScaleIdentityZero) {
  DlsMat A = NewDenseMat(2, 2);
  DlsMat B = NewDenseMat(2, 2);
  SetToZero(A);
  AddIdentity(A);
  EXPECT_EQ(A->cols[0][0], 1);
  EXPECT_EQ(A->cols[1][1], 1);
  EXPECT_EQ(A->cols[0][1], 0);
  EXPECT_EQ(A->cols[1][0], 0);
  A->cols[1][0] = 3;
  DenseScale(-2, A);
  DenseCopy(A, B);
  EXPECT_EQ(B->cols[0][0], -2);
  EXPECT_EQ(B->cols[1][0], -6);
  EXPECT_EQ(B->cols[1][1], -2);
  SetToZero(A);
  for (int j = 0; j < 2; j++)
    for (int i = 0; i < 2; i++) EXPECT_EQ(A->cols[j][i], 0);
  DestroyMat(A);
  DestroyMat(B);
}

TEST(FoundationDenseMatrix, PowersAndRoots) {
  struct {
    double x;
    int e;
    double expected;
  } powers[] = {{2, -3, 0.125}, {0, 0, 1}, {-2, 3, -8}, {-2, 2, 4}, {-2, -1, -0.5}, {5, 1, 5}};
  for (const auto& c : powers) EXPECT_EQ(RPowerI(c.x, c.e), c.expected) << c.x << "^" << c.e;
  EXPECT_TRUE(std::isinf(RPowerI(0, -1)));
  EXPECT_EQ(RPowerI(-0.0, -1), -HUGE_VAL);  // 1 / -0
  EXPECT_EQ(RPowerI(-0.0, -2), HUGE_VAL);

  EXPECT_EQ(RPowerR(-8, 1.0 / 3), 0);
  EXPECT_EQ(RPowerR(0, 2), 0);
  EXPECT_EQ(RPowerR(4, 0.5), 2);
  EXPECT_EQ(RSqrt(-4), 0);
  EXPECT_EQ(RSqrt(0), 0);
  EXPECT_EQ(RSqrt(9), 3);
  EXPECT_EQ(RAbs(-2.5), 2.5);
  EXPECT_FALSE(std::signbit(RAbs(-0.0)));
}

TEST(FoundationDenseMatrix, NaNIsNotTurnedIntoZero) {
  // A NaN norm must fail the error test, not pass it as 0.
  EXPECT_TRUE(std::isnan(RSqrt(NAN)));
  EXPECT_TRUE(std::isnan(RPowerR(NAN, 0.5)));
}

}  // namespace
