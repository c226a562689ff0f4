// Dense column-major matrices with LU factorisation, pivot arrays, and the
// small scalar functions the integrator uses instead of <cmath> directly.
#pragma once

#include <cmath>

namespace pelvarin {

// Storage kinds of a DlsMat.
constexpr int MS_MATRIX_DENSE = 1;
constexpr int MS_MATRIX_BAND = 2;

struct DlsMatRecord {
  int type;
  int M;          // rows
  int N;          // columns
  int ldim;       // leading dimension (M for dense)
  int mu;         // band storage only
  int ml;         // band storage only
  int s_mu;       // band storage only: row of the diagonal inside a column
  double* data;   // M*N entries, column after column
  int ldata;      // M*N
  double** cols;  // cols[j] = data + j*M; entry (i, j) is cols[j][i]
};
typedef DlsMatRecord* DlsMat;

DlsMat NewDenseMat(int M, int N);  // NULL for M <= 0, N <= 0 or no memory
void DestroyMat(DlsMat A);         // NULL is accepted
int* NewIntArray(int N);           // NULL for N <= 0 or no memory
void DestroyArray(void* p);        // NULL is accepted

// LU factors of the m x n columns a in place, row exchanges in p. Returns
// 0, or k+1 when column k has no pivot. Requires m >= n.
int denseGETRF(double** a, int m, int n, int* p);
// b := the solution of A x = b from the factors and pivots of denseGETRF.
void denseGETRS(double** a, int n, int* p, double* b);
void denseCopy(double** a, double** b, int m, int n);  // b := a
void denseScale(double c, double** a, int m, int n);   // a := c a

int DenseGETRF(DlsMat A, int* p);
void DenseGETRS(DlsMat A, int* p, double* b);
void DenseCopy(DlsMat A, DlsMat B);
void DenseScale(double c, DlsMat A);
void AddIdentity(DlsMat A);
void SetToZero(DlsMat A);

double RPowerI(double x, int exponent);
double RPowerR(double x, double exponent);  // 0 for x <= 0
double RSqrt(double x);                     // 0 for x <= 0
double RAbs(double x);

// x / y, with a zero y written out as the quotient the division gives (x
// times the infinity of the zero's sign: an infinity, or NaN for 0 / 0 and
// NaN / 0), for divisors that only extreme problems bring to zero: their
// arithmetic goes on as before, and nothing divides by zero.
inline double msDivide(double x, double y) {
  return (y != 0.0) ? x / y : x * std::copysign(HUGE_VAL, y);
}

}  // namespace pelvarin
