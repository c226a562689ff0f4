#include "integrator/nvector_serial.h"

#include <cfloat>
#include <cstddef>

#include "integrator/allocation.h"
#include "integrator/dense_matrix.h"

namespace pelvarin {

namespace {

inline N_VectorContent_Serial content(N_Vector v) {
  return static_cast<N_VectorContent_Serial>(v->content);
}
inline int length(N_Vector v) { return content(v)->length; }
inline double* data(N_Vector v) { return content(v)->data; }

void fillSerialOps(N_Vector_Ops ops) {
  ops->nvclone = N_VClone_Serial;
  ops->nvcloneempty = N_VCloneEmpty_Serial;
  ops->nvdestroy = N_VDestroy_Serial;
  ops->nvspace = N_VSpace_Serial;
  ops->nvgetarraypointer = N_VGetArrayPointer_Serial;
  ops->nvsetarraypointer = N_VSetArrayPointer_Serial;
  ops->nvlinearsum = N_VLinearSum_Serial;
  ops->nvconst = N_VConst_Serial;
  ops->nvprod = N_VProd_Serial;
  ops->nvdiv = N_VDiv_Serial;
  ops->nvscale = N_VScale_Serial;
  ops->nvabs = N_VAbs_Serial;
  ops->nvinv = N_VInv_Serial;
  ops->nvaddconst = N_VAddConst_Serial;
  ops->nvdotprod = N_VDotProd_Serial;
  ops->nvmaxnorm = N_VMaxNorm_Serial;
  ops->nvwrmsnorm = N_VWrmsNorm_Serial;
  ops->nvwrmsnormmask = N_VWrmsNormMask_Serial;
  ops->nvmin = N_VMin_Serial;
  ops->nvwl2norm = N_VWL2Norm_Serial;
  ops->nvl1norm = N_VL1Norm_Serial;
  ops->nvcompare = N_VCompare_Serial;
  ops->nvinvtest = N_VInvTest_Serial;
  ops->nvconstrmask = N_VConstrMask_Serial;
  ops->nvminquotient = N_VMinQuotient_Serial;
}

// Handle, table and empty content of the given length; the table is
// either the serial one or a copy of tmpl's.
N_Vector newEmpty(int len, N_Vector_Ops tmpl) {
  N_Vector v = static_cast<N_Vector>(msAllocate(sizeof(NVectorHandle)));
  if (v == nullptr) return nullptr;
  N_Vector_Ops ops = static_cast<N_Vector_Ops>(msAllocate(sizeof(NVectorOps)));
  if (ops == nullptr) {
    msRelease(v);
    return nullptr;
  }
  if (tmpl != nullptr)
    *ops = *tmpl;
  else
    fillSerialOps(ops);
  N_VectorContent_Serial c =
      static_cast<N_VectorContent_Serial>(msAllocate(sizeof(NVectorSerialContent)));
  if (c == nullptr) {
    msRelease(ops);
    msRelease(v);
    return nullptr;
  }
  c->length = len;
  c->own_data = 0;
  c->data = nullptr;
  v->content = c;
  v->ops = ops;
  return v;
}

// Gives v an array of its own; false (v destroyed) when there is no memory.
bool attachOwnArray(N_Vector v) {
  int len = length(v);
  if (len <= 0) return true;
  double* d = static_cast<double*>(msAllocate(sizeof(double) * size_t(len)));
  if (d == nullptr) {
    N_VDestroy_Serial(v);
    return false;
  }
  content(v)->data = d;
  content(v)->own_data = 1;
  return true;
}

}  // namespace

N_Vector N_VNewEmpty_Serial(int length) { return newEmpty(length, nullptr); }

N_Vector N_VNew_Serial(int length) {
  N_Vector v = N_VNewEmpty_Serial(length);
  if (v == nullptr) return nullptr;
  return attachOwnArray(v) ? v : nullptr;
}

N_Vector N_VMake_Serial(int length, double* v_data) {
  // A vector of elements without their array would fail at its first use.
  if (length > 0 && v_data == nullptr) return nullptr;
  N_Vector v = N_VNewEmpty_Serial(length);
  if (v == nullptr) return nullptr;
  if (length > 0) content(v)->data = v_data;
  return v;
}

void N_VDestroy_Serial(N_Vector v) {
  if (v == nullptr) return;
  N_VectorContent_Serial c = content(v);
  if (c != nullptr) {
    if (c->own_data == 1) msRelease(c->data);
    msRelease(c);
  }
  msRelease(v->ops);
  msRelease(v);
}

N_Vector N_VCloneEmpty_Serial(N_Vector w) {
  if (w == nullptr) return nullptr;
  return newEmpty(length(w), w->ops);
}

N_Vector N_VClone_Serial(N_Vector w) {
  N_Vector v = N_VCloneEmpty_Serial(w);
  if (v == nullptr) return nullptr;
  return attachOwnArray(v) ? v : nullptr;
}

void N_VSpace_Serial(N_Vector v, int* lrw, int* liw) {
  *lrw = length(v);
  *liw = 1;
}

double* N_VGetArrayPointer_Serial(N_Vector v) { return data(v); }

void N_VSetArrayPointer_Serial(double* v_data, N_Vector v) {
  if (length(v) > 0) content(v)->data = v_data;
}

void N_VLinearSum_Serial(double a, N_Vector x, double b, N_Vector y, N_Vector z) {
  const int n = length(x);
  double* xd = data(x);
  double* yd = data(y);
  double* zd = data(z);

  // The special forms round differently; the first form that fits decides.
  if (b == 1.0 && z == y) {
    if (a == 1.0)
      for (int i = 0; i < n; i++) yd[i] = yd[i] + xd[i];
    else if (a == -1.0)
      for (int i = 0; i < n; i++) yd[i] = yd[i] - xd[i];
    else
      for (int i = 0; i < n; i++) yd[i] = a * xd[i] + yd[i];
    return;
  }
  if (a == 1.0 && z == x) {
    if (b == 1.0)
      for (int i = 0; i < n; i++) xd[i] = xd[i] + yd[i];
    else if (b == -1.0)
      for (int i = 0; i < n; i++) xd[i] = xd[i] - yd[i];
    else
      for (int i = 0; i < n; i++) xd[i] = b * yd[i] + xd[i];
    return;
  }
  if (a == 1.0 && b == 1.0) {
    for (int i = 0; i < n; i++) zd[i] = xd[i] + yd[i];
  } else if (a == 1.0 && b == -1.0) {
    for (int i = 0; i < n; i++) zd[i] = xd[i] - yd[i];
  } else if (a == -1.0 && b == 1.0) {
    for (int i = 0; i < n; i++) zd[i] = yd[i] - xd[i];
  } else if (a == 1.0) {
    for (int i = 0; i < n; i++) zd[i] = b * yd[i] + xd[i];
  } else if (b == 1.0) {
    for (int i = 0; i < n; i++) zd[i] = a * xd[i] + yd[i];
  } else if (a == -1.0) {
    for (int i = 0; i < n; i++) zd[i] = b * yd[i] - xd[i];
  } else if (b == -1.0) {
    for (int i = 0; i < n; i++) zd[i] = a * xd[i] - yd[i];
  } else if (a == b) {
    for (int i = 0; i < n; i++) zd[i] = a * (xd[i] + yd[i]);
  } else if (a == -b) {
    for (int i = 0; i < n; i++) zd[i] = a * (xd[i] - yd[i]);
  } else {
    for (int i = 0; i < n; i++) zd[i] = a * xd[i] + b * yd[i];
  }
}

void N_VConst_Serial(double c, N_Vector z) {
  const int n = length(z);
  double* zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = c;
}

// Not reached in this model: the integrator never asks for it.
void N_VProd_Serial(N_Vector x, N_Vector y, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *yd = data(y), *zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = xd[i] * yd[i];
}

// A zero divisor gives the quotient written out (msDivide).
void N_VDiv_Serial(N_Vector x, N_Vector y, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *yd = data(y), *zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = msDivide(xd[i], yd[i]);
}

void N_VScale_Serial(double c, N_Vector x, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *zd = data(z);
  if (z == x) {
    for (int i = 0; i < n; i++) xd[i] *= c;
  } else if (c == 1.0) {
    for (int i = 0; i < n; i++) zd[i] = xd[i];
  } else if (c == -1.0) {
    for (int i = 0; i < n; i++) zd[i] = -xd[i];
  } else {
    for (int i = 0; i < n; i++) zd[i] = c * xd[i];
  }
}

void N_VAbs_Serial(N_Vector x, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = RAbs(xd[i]);
}

// A zero element gives the infinity of its sign (msDivide).
void N_VInv_Serial(N_Vector x, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = msDivide(1.0, xd[i]);
}

// Not reached in this model: the integrator never asks for it.
void N_VAddConst_Serial(N_Vector x, double b, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = xd[i] + b;
}

// Not reached in this model: the integrator never asks for it.
double N_VDotProd_Serial(N_Vector x, N_Vector y) {
  const int n = length(x);
  double *xd = data(x), *yd = data(y);
  double sum = 0.0;
  for (int i = 0; i < n; i++) sum += xd[i] * yd[i];
  return sum;
}

double N_VMaxNorm_Serial(N_Vector x) {
  const int n = length(x);
  double* xd = data(x);
  double max = 0.0;
  for (int i = 0; i < n; i++)
    if (RAbs(xd[i]) > max) max = RAbs(xd[i]);
  return max;
}

// The mean of a sum over n elements. For n a power of two the product with
// 1/n, which is exact and does not wait for the sum, gives the quotient's
// bits with a multiplication's latency.
inline double mean(double sum, int n) {
  return (n & (n - 1)) == 0 ? sum * (1.0 / n) : sum / n;
}

// An empty vector has norm 0 rather than the NaN of 0/0.
double N_VWrmsNorm_Serial(N_Vector x, N_Vector w) {
  const int n = length(x);
  if (n <= 0) return 0.0;
  double *xd = data(x), *wd = data(w);
  double sum = 0.0;
  for (int i = 0; i < n; i++) {
    double prod = xd[i] * wd[i];
    sum += prod * prod;
  }
  return RSqrt(mean(sum, n));
}

// Not reached in this model: the integrator never asks for it.
double N_VWrmsNormMask_Serial(N_Vector x, N_Vector w, N_Vector id) {
  const int n = length(x);
  if (n <= 0) return 0.0;
  double *xd = data(x), *wd = data(w), *idd = data(id);
  double sum = 0.0;
  for (int i = 0; i < n; i++) {
    if (idd[i] > 0.0) {
      double prod = xd[i] * wd[i];
      sum += prod * prod;
    }
  }
  return RSqrt(sum / n);
}

// An empty vector has no smallest element; the largest double keeps every
// "minimum <= 0" test of the callers from failing on it.
double N_VMin_Serial(N_Vector x) {
  const int n = length(x);
  if (n <= 0) return DBL_MAX;
  double* xd = data(x);
  double min = xd[0];
  for (int i = 1; i < n; i++)
    if (xd[i] < min) min = xd[i];
  return min;
}

// Not reached in this model: the integrator never asks for it.
double N_VWL2Norm_Serial(N_Vector x, N_Vector w) {
  const int n = length(x);
  double *xd = data(x), *wd = data(w);
  double sum = 0.0;
  for (int i = 0; i < n; i++) {
    double prod = xd[i] * wd[i];
    sum += prod * prod;
  }
  return RSqrt(sum);
}

// Not reached in this model: the integrator never asks for it.
double N_VL1Norm_Serial(N_Vector x) {
  const int n = length(x);
  double* xd = data(x);
  double sum = 0.0;
  for (int i = 0; i < n; i++) sum += RAbs(xd[i]);
  return sum;
}

// Not reached in this model: the integrator never asks for it.
void N_VCompare_Serial(double c, N_Vector x, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *zd = data(z);
  for (int i = 0; i < n; i++) zd[i] = (RAbs(xd[i]) >= c) ? 1.0 : 0.0;
}

// Not reached in this model: the integrator never asks for it.
int N_VInvTest_Serial(N_Vector x, N_Vector z) {
  const int n = length(x);
  double *xd = data(x), *zd = data(z);
  for (int i = 0; i < n; i++) {
    if (xd[i] == 0.0) return 0;
    zd[i] = 1.0 / xd[i];
  }
  return 1;
}

// Not reached in this model: the integrator never asks for it.
int N_VConstrMask_Serial(N_Vector c, N_Vector x, N_Vector m) {
  const int n = length(c);
  double *cd = data(c), *xd = data(x), *md = data(m);
  int ok = 1;
  for (int i = 0; i < n; i++) {
    md[i] = 0.0;
    double ci = cd[i];
    if (ci == 0.0) continue;
    bool fails = false;
    if (ci > 1.5 || ci < -1.5)
      fails = xd[i] * ci <= 0.0;
    else if (ci > 0.5 || ci < -0.5)
      fails = xd[i] * ci < 0.0;
    if (fails) {
      md[i] = 1.0;
      ok = 0;
    }
  }
  return ok;
}

// Not reached in this model: the integrator never asks for it.
double N_VMinQuotient_Serial(N_Vector num, N_Vector denom) {
  const int n = length(num);
  double *nd = data(num), *dd = data(denom);
  bool notEvenOnce = true;
  double min = DBL_MAX;
  for (int i = 0; i < n; i++) {
    if (dd[i] == 0.0) continue;
    double q = nd[i] / dd[i];
    if (notEvenOnce) {
      min = q;
      notEvenOnce = false;
    } else {
      min = (min < q) ? min : q;
    }
  }
  return min;
}

namespace {

// Serial vectors, the only kind this system makes, are served by a direct
// call, which the compiler may inline; any other table is called as it is.
template <typename Slot, typename... Args>
inline auto dispatch(Slot slot, Slot serial, Args... args) {
  return slot == serial ? serial(args...) : slot(args...);
}

}  // namespace

N_Vector N_VClone(N_Vector w) { return w->ops->nvclone(w); }

void N_VDestroy(N_Vector v) {
  if (v == nullptr) return;
  v->ops->nvdestroy(v);
}

void N_VSpace(N_Vector v, int* lrw, int* liw) { dispatch(v->ops->nvspace, N_VSpace_Serial, v, lrw, liw); }

double* N_VGetArrayPointer(N_Vector v) {
  return dispatch(v->ops->nvgetarraypointer, N_VGetArrayPointer_Serial, v);
}

void N_VSetArrayPointer(double* v_data, N_Vector v) {
  dispatch(v->ops->nvsetarraypointer, N_VSetArrayPointer_Serial, v_data, v);
}

void N_VLinearSum(double a, N_Vector x, double b, N_Vector y, N_Vector z) {
  dispatch(z->ops->nvlinearsum, N_VLinearSum_Serial, a, x, b, y, z);
}

void N_VConst(double c, N_Vector z) { dispatch(z->ops->nvconst, N_VConst_Serial, c, z); }

void N_VDiv(N_Vector x, N_Vector y, N_Vector z) { dispatch(z->ops->nvdiv, N_VDiv_Serial, x, y, z); }

void N_VScale(double c, N_Vector x, N_Vector z) { dispatch(z->ops->nvscale, N_VScale_Serial, c, x, z); }

void N_VAbs(N_Vector x, N_Vector z) { dispatch(z->ops->nvabs, N_VAbs_Serial, x, z); }

void N_VInv(N_Vector x, N_Vector z) { dispatch(z->ops->nvinv, N_VInv_Serial, x, z); }

// Not reached in this model: the integrator never asks for it.
void N_VAddConst(N_Vector x, double b, N_Vector z) {
  dispatch(z->ops->nvaddconst, N_VAddConst_Serial, x, b, z);
}

double N_VMaxNorm(N_Vector x) { return dispatch(x->ops->nvmaxnorm, N_VMaxNorm_Serial, x); }

double N_VWrmsNorm(N_Vector x, N_Vector w) {
  return dispatch(x->ops->nvwrmsnorm, N_VWrmsNorm_Serial, x, w);
}

double N_VMin(N_Vector x) { return dispatch(x->ops->nvmin, N_VMin_Serial, x); }

}  // namespace pelvarin
