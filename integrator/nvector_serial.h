// Vectors of the integrator: a handle with its own table of operations, and
// the serial kind (one contiguous array of doubles).
#pragma once

namespace pelvarin {

typedef struct NVectorHandle* N_Vector;
typedef struct NVectorOps* N_Vector_Ops;
typedef struct NVectorSerialContent* N_VectorContent_Serial;

struct NVectorHandle {
  void* content;
  N_Vector_Ops ops;
};

struct NVectorSerialContent {
  int length;
  int own_data;  // 1: data belongs to the vector and goes with it
  double* data;  // NULL when length <= 0
};

// The 25 slots, in table order.
struct NVectorOps {
  N_Vector (*nvclone)(N_Vector w);
  N_Vector (*nvcloneempty)(N_Vector w);
  void (*nvdestroy)(N_Vector v);
  void (*nvspace)(N_Vector v, int* lrw, int* liw);
  double* (*nvgetarraypointer)(N_Vector v);
  void (*nvsetarraypointer)(double* v_data, N_Vector v);
  void (*nvlinearsum)(double a, N_Vector x, double b, N_Vector y, N_Vector z);
  void (*nvconst)(double c, N_Vector z);
  void (*nvprod)(N_Vector x, N_Vector y, N_Vector z);
  void (*nvdiv)(N_Vector x, N_Vector y, N_Vector z);
  void (*nvscale)(double c, N_Vector x, N_Vector z);
  void (*nvabs)(N_Vector x, N_Vector z);
  void (*nvinv)(N_Vector x, N_Vector z);
  void (*nvaddconst)(N_Vector x, double b, N_Vector z);
  double (*nvdotprod)(N_Vector x, N_Vector y);
  double (*nvmaxnorm)(N_Vector x);
  double (*nvwrmsnorm)(N_Vector x, N_Vector w);
  double (*nvwrmsnormmask)(N_Vector x, N_Vector w, N_Vector id);
  double (*nvmin)(N_Vector x);
  double (*nvwl2norm)(N_Vector x, N_Vector w);
  double (*nvl1norm)(N_Vector x);
  void (*nvcompare)(double c, N_Vector x, N_Vector z);
  int (*nvinvtest)(N_Vector x, N_Vector z);
  int (*nvconstrmask)(N_Vector c, N_Vector x, N_Vector m);
  double (*nvminquotient)(N_Vector num, N_Vector denom);
};

// Construction and destruction of serial vectors (NULL when memory runs out).
N_Vector N_VNewEmpty_Serial(int length);
N_Vector N_VNew_Serial(int length);
N_Vector N_VMake_Serial(int length, double* v_data);  // NULL also for length > 0 without v_data
void N_VDestroy_Serial(N_Vector v);                   // NULL is accepted

// The serial operations of the table.
N_Vector N_VClone_Serial(N_Vector w);
N_Vector N_VCloneEmpty_Serial(N_Vector w);
void N_VSpace_Serial(N_Vector v, int* lrw, int* liw);
double* N_VGetArrayPointer_Serial(N_Vector v);
void N_VSetArrayPointer_Serial(double* v_data, N_Vector v);
void N_VLinearSum_Serial(double a, N_Vector x, double b, N_Vector y, N_Vector z);
void N_VConst_Serial(double c, N_Vector z);
void N_VProd_Serial(N_Vector x, N_Vector y, N_Vector z);
void N_VDiv_Serial(N_Vector x, N_Vector y, N_Vector z);
void N_VScale_Serial(double c, N_Vector x, N_Vector z);
void N_VAbs_Serial(N_Vector x, N_Vector z);
void N_VInv_Serial(N_Vector x, N_Vector z);
void N_VAddConst_Serial(N_Vector x, double b, N_Vector z);
double N_VDotProd_Serial(N_Vector x, N_Vector y);
double N_VMaxNorm_Serial(N_Vector x);
double N_VWrmsNorm_Serial(N_Vector x, N_Vector w);
double N_VWrmsNormMask_Serial(N_Vector x, N_Vector w, N_Vector id);
double N_VMin_Serial(N_Vector x);
double N_VWL2Norm_Serial(N_Vector x, N_Vector w);
double N_VL1Norm_Serial(N_Vector x);
void N_VCompare_Serial(double c, N_Vector x, N_Vector z);
int N_VInvTest_Serial(N_Vector x, N_Vector z);
int N_VConstrMask_Serial(N_Vector c, N_Vector x, N_Vector m);
double N_VMinQuotient_Serial(N_Vector num, N_Vector denom);

// The serial content itself, for the integrator's loops that run over
// several of its own vectors at once.
inline int N_VLength_Serial(N_Vector v) {
  return static_cast<N_VectorContent_Serial>(v->content)->length;
}
inline double* N_VData_Serial(N_Vector v) {
  return static_cast<N_VectorContent_Serial>(v->content)->data;
}

// Generic functions: dispatch through the table of the vector named in the
// comment. N_VDestroy accepts NULL.
N_Vector N_VClone(N_Vector w);                                              // w
void N_VDestroy(N_Vector v);                                                // v
void N_VSpace(N_Vector v, int* lrw, int* liw);                              // v
double* N_VGetArrayPointer(N_Vector v);                                     // v
void N_VSetArrayPointer(double* v_data, N_Vector v);                        // v
void N_VLinearSum(double a, N_Vector x, double b, N_Vector y, N_Vector z);  // z
void N_VConst(double c, N_Vector z);                                        // z
void N_VDiv(N_Vector x, N_Vector y, N_Vector z);                            // z
void N_VScale(double c, N_Vector x, N_Vector z);                            // z
void N_VAbs(N_Vector x, N_Vector z);                                        // z
void N_VInv(N_Vector x, N_Vector z);                                        // z
void N_VAddConst(N_Vector x, double b, N_Vector z);                         // z
double N_VMaxNorm(N_Vector x);                                              // x
double N_VWrmsNorm(N_Vector x, N_Vector w);                                 // x
double N_VMin(N_Vector x);                                                  // x

}  // namespace pelvarin
