#include "integrator/dense_matrix.h"

#include <cassert>
#include <climits>
#include <cmath>
#include <cstddef>

#include "integrator/allocation.h"

namespace pelvarin {

DlsMat NewDenseMat(int M, int N) {
  if (M <= 0 || N <= 0) return nullptr;
  // ldata must hold the number of entries.
  if (static_cast<long long>(M) * N > INT_MAX) return nullptr;
  DlsMat A = static_cast<DlsMat>(msAllocate(sizeof(DlsMatRecord)));
  if (A == nullptr) return nullptr;
  A->data = static_cast<double*>(msAllocate(sizeof(double) * size_t(M) * size_t(N)));
  A->cols = (A->data != nullptr) ? static_cast<double**>(msAllocate(sizeof(double*) * size_t(N)))
                                 : nullptr;
  if (A->cols == nullptr) {
    DestroyMat(A);
    return nullptr;
  }
  for (int j = 0; j < N; j++) A->cols[j] = A->data + size_t(j) * size_t(M);
  A->M = M;
  A->N = N;
  A->ldim = M;
  A->ldata = M * N;
  A->type = MS_MATRIX_DENSE;
  return A;
}

void DestroyMat(DlsMat A) {
  if (A == nullptr) return;
  msRelease(A->data);
  msRelease(A->cols);
  msRelease(A);
}

int* NewIntArray(int N) {
  if (N <= 0) return nullptr;
  return static_cast<int*>(msAllocate(sizeof(int) * size_t(N)));
}

void DestroyArray(void* p) { msRelease(p); }

int denseGETRF(double** a, int m, int n, int* p) {
  assert(m >= n);
  for (int k = 0; k < n; k++) {
    double* col_k = a[k];

    // Only a strictly larger magnitude moves the pivot.
    int l = k;
    for (int i = k + 1; i < m; i++)
      if (RAbs(col_k[i]) > RAbs(col_k[l])) l = i;
    p[k] = l;

    if (col_k[l] == 0.0) return k + 1;

    if (l != k) {
      for (int j = 0; j < n; j++) {
        double t = a[j][l];
        a[j][l] = a[j][k];
        a[j][k] = t;
      }
    }

    double r = 1.0 / col_k[k];
    for (int i = k + 1; i < m; i++) col_k[i] *= r;

    for (int j = k + 1; j < n; j++) {
      double* col_j = a[j];
      double t = col_j[k];
      if (t != 0.0)
        for (int i = k + 1; i < m; i++) col_j[i] -= t * col_k[i];
    }
  }
  return 0;
}

void denseGETRS(double** a, int n, int* p, double* b) {
  for (int k = 0; k < n; k++) {
    int pk = p[k];
    if (pk != k) {
      double t = b[k];
      b[k] = b[pk];
      b[pk] = t;
    }
  }
  for (int k = 0; k < n - 1; k++) {
    double* col_k = a[k];
    double bk = b[k];
    for (int i = k + 1; i < n; i++) b[i] -= col_k[i] * bk;
  }
  for (int k = n - 1; k > 0; k--) {
    double* col_k = a[k];
    b[k] /= col_k[k];
    double bk = b[k];
    for (int i = 0; i < k; i++) b[i] -= col_k[i] * bk;
  }
  b[0] /= a[0][0];
}

void denseCopy(double** a, double** b, int m, int n) {
  for (int j = 0; j < n; j++)
    for (int i = 0; i < m; i++) b[j][i] = a[j][i];
}

void denseScale(double c, double** a, int m, int n) {
  for (int j = 0; j < n; j++)
    for (int i = 0; i < m; i++) a[j][i] *= c;
}

int DenseGETRF(DlsMat A, int* p) { return denseGETRF(A->cols, A->M, A->N, p); }

void DenseGETRS(DlsMat A, int* p, double* b) { denseGETRS(A->cols, A->N, p, b); }

void DenseCopy(DlsMat A, DlsMat B) { denseCopy(A->cols, B->cols, A->M, A->N); }

void DenseScale(double c, DlsMat A) { denseScale(c, A->cols, A->M, A->N); }

void AddIdentity(DlsMat A) {
  if (A->type == MS_MATRIX_DENSE) {
    for (int j = 0; j < A->N; j++) A->cols[j][j] += 1.0;
  } else if (A->type == MS_MATRIX_BAND) {
    // Not reached in this model: its matrices are dense.
    for (int j = 0; j < A->M; j++) A->cols[j][A->s_mu] += 1.0;
  }
}

void SetToZero(DlsMat A) {
  if (A->type == MS_MATRIX_DENSE) {
    for (int j = 0; j < A->N; j++)
      for (int i = 0; i < A->M; i++) A->cols[j][i] = 0.0;
  } else if (A->type == MS_MATRIX_BAND) {
    // Not reached in this model: its matrices are dense.
    int first = A->s_mu - A->mu;
    int count = A->mu + A->ml + 1;
    for (int j = 0; j < A->M; j++)
      for (int i = 0; i < count; i++) A->cols[j][first + i] = 0.0;
  }
}

double RPowerI(double x, int exponent) {
  // Widened so that the magnitude of the smallest int is representable.
  long long n = exponent < 0 ? -static_cast<long long>(exponent) : exponent;
  double prod = 1.0;
  for (long long i = 0; i < n; i++) prod *= x;
  if (exponent >= 0) return prod;
  return msDivide(1.0, prod);
}

// Zero and negative arguments give 0; anything else, NaN included, reaches
// the math function, so a NaN is never turned into a harmless 0.
double RPowerR(double x, double exponent) {
  if (x <= 0.0) return 0.0;
  return std::pow(x, exponent);
}

double RSqrt(double x) {
  if (x <= 0.0) return 0.0;
  return std::sqrt(x);
}

double RAbs(double x) { return std::fabs(x); }

}  // namespace pelvarin
