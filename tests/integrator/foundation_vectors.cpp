#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>

#include "foundation_recorder.h"
#include "integrator/allocation.h"

using namespace pelvarin;

using foundation::lengthOf;
using foundation::valuesOf;
using foundation::vectorOf;

namespace {

N_VectorContent_Serial contentOf(N_Vector v) {
  return static_cast<N_VectorContent_Serial>(v->content);
}

TEST(FoundationVectors, EmptyVectorHasNoArrayAndFreesItsThreeBlocks) {
  long before = msLiveAllocations();
  N_Vector v = N_VNew_Serial(0);
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(msLiveAllocations() - before, 3);  // handle, table, content
  EXPECT_EQ(lengthOf(v), 0);
  EXPECT_EQ(contentOf(v)->own_data, 0);
  EXPECT_EQ(N_VGetArrayPointer(v), nullptr);
  N_VDestroy_Serial(v);
  EXPECT_EQ(msLiveAllocations(), before);
}

TEST(FoundationVectors, DestroyAcceptsNull) {
  N_VDestroy_Serial(nullptr);
  N_VDestroy(nullptr);
}

TEST(FoundationVectors, MadeVectorLeavesCallerArrayAlone) {
  double a[3] = {1, 2, 3};
  N_Vector v = N_VMake_Serial(3, a);
  EXPECT_EQ(N_VGetArrayPointer(v), a);
  EXPECT_EQ(contentOf(v)->own_data, 0);
  N_VConst(7, v);
  N_VDestroy_Serial(v);
  EXPECT_EQ(a[0], 7);
  EXPECT_EQ(a[2], 7);
  a[1] = 5;  // still the caller's, still usable
  EXPECT_EQ(a[1], 5);
}

TEST(FoundationVectors, MadeVectorNeedsAnArrayForItsElements) {
  long before = msLiveAllocations();
  EXPECT_EQ(N_VMake_Serial(2, nullptr), nullptr);
  EXPECT_EQ(msLiveAllocations(), before);
  N_Vector e = N_VMake_Serial(0, nullptr);
  ASSERT_NE(e, nullptr);
  N_VDestroy(e);
}

TEST(FoundationVectors, CloneHasOwnArrayAndTableCopy) {
  N_Vector w = vectorOf({1, 2, 3});
  N_Vector c = N_VClone(w);
  ASSERT_NE(c, nullptr);
  EXPECT_EQ(lengthOf(c), 3);
  EXPECT_EQ(contentOf(c)->own_data, 1);
  EXPECT_NE(N_VGetArrayPointer(c), N_VGetArrayPointer(w));
  EXPECT_NE(c->ops, w->ops);
  EXPECT_EQ(0, std::memcmp(c->ops, w->ops, sizeof(NVectorOps)));
  N_VDestroy(c);
  N_VDestroy(w);
}

TEST(FoundationVectors, EveryTableSlotIsSet) {
  N_Vector v = N_VNew_Serial(2);
  void* const* slots = reinterpret_cast<void* const*>(v->ops);
  for (size_t i = 0; i < sizeof(NVectorOps) / sizeof(void*); i++) EXPECT_NE(slots[i], nullptr) << i;
  EXPECT_EQ(sizeof(NVectorOps) / sizeof(void*), 25u);
  N_VDestroy(v);
}

TEST(FoundationVectors, ConstructorsReleaseEverythingWhenAnAllocationFails) {
  for (long k = 1; k <= 4; k++) {
    long before = msLiveAllocations();
    msFailAllocationAt(k);
    EXPECT_EQ(N_VNew_Serial(4), nullptr) << k;
    msFailAllocationAt(0);
    EXPECT_EQ(msLiveAllocations(), before) << k;
  }
  N_Vector w = vectorOf({1, 2});
  for (long k = 1; k <= 4; k++) {
    long before = msLiveAllocations();
    msFailAllocationAt(k);
    EXPECT_EQ(N_VClone(w), nullptr) << k;
    msFailAllocationAt(0);
    EXPECT_EQ(msLiveAllocations(), before) << k;
  }
  N_VDestroy(w);
}

// Each case: a, b, which vector receives the result, expected z for
// x = (0.1, 3), y = (0.7, -2). The special forms round differently from
// the general formula, so they are compared exactly.
struct LinearSumCase {
  const char* name;
  double a, b;
  char target;  // 'x', 'y' or 'z'
  double z0, z1;
};

TEST(FoundationVectors, LinearSumFollowsCaseTable) {
  const double x0 = 0.1, x1 = 3, y0 = 0.7, y1 = -2;
  const LinearSumCase cases[] = {
      {"y += x", 1, 1, 'y', y0 + x0, y1 + x1},
      {"y -= x", -1, 1, 'y', y0 - x0, y1 - x1},
      {"y += a x", 3, 1, 'y', 3 * x0 + y0, 3 * x1 + y1},
      {"x += y", 1, 1, 'x', x0 + y0, x1 + y1},
      {"x -= y", 1, -1, 'x', x0 - y0, x1 - y1},
      {"x += b y", 1, 5, 'x', 5 * y0 + x0, 5 * y1 + x1},
      {"x + y", 1, 1, 'z', x0 + y0, x1 + y1},
      {"x - y", 1, -1, 'z', x0 - y0, x1 - y1},
      {"y - x", -1, 1, 'z', y0 - x0, y1 - x1},
      {"b y + x", 1, 5, 'z', 5 * y0 + x0, 5 * y1 + x1},
      {"a x + y", 5, 1, 'z', 5 * x0 + y0, 5 * x1 + y1},
      {"b y - x, for a = b = -1", -1, -1, 'z', -1 * y0 - x0, -1 * y1 - x1},
      {"a x - y", 5, -1, 'z', 5 * x0 - y0, 5 * x1 - y1},
      {"a (x + y)", 2, 2, 'z', 2 * (x0 + y0), 2 * (x1 + y1)},
      {"a (x - y)", 3, -3, 'z', 3 * (x0 - y0), 3 * (x1 - y1)},
      {"general", 0.3, 0.7, 'z', 0.3 * x0 + 0.7 * y0, 0.3 * x1 + 0.7 * y1},
  };
  for (const auto& c : cases) {
    N_Vector x = vectorOf({x0, x1});
    N_Vector y = vectorOf({y0, y1});
    N_Vector z = vectorOf({99, 99});
    N_Vector target = c.target == 'x' ? x : c.target == 'y' ? y : z;
    N_VLinearSum(c.a, x, c.b, y, target);
    EXPECT_EQ(valuesOf(target), (std::vector<double>{c.z0, c.z1})) << c.name;
    N_VDestroy(x);
    N_VDestroy(y);
    N_VDestroy(z);
  }
}

TEST(FoundationVectors, LinearSumRoundingFormsDiffer) {
  // a = b and a = -b multiply once: a(x+y) and ax+ay differ in the last bit here.
  const double a = 0.1, x0 = 0.7, y0 = 0.3;
  ASSERT_NE(a * (x0 + y0), a * x0 + a * y0);
  ASSERT_NE(a * (x0 - y0), a * x0 - a * y0);
  N_Vector x = vectorOf({x0});
  N_Vector y = vectorOf({y0});
  N_Vector z = vectorOf({0});
  N_VLinearSum(a, x, a, y, z);
  EXPECT_EQ(valuesOf(z)[0], a * (x0 + y0));
  N_VLinearSum(a, x, -a, y, z);
  EXPECT_EQ(valuesOf(z)[0], a * (x0 - y0));
  N_VDestroy(x);
  N_VDestroy(y);
  N_VDestroy(z);
}

TEST(FoundationVectors, ScaleForms) {
  N_Vector x = vectorOf({2, -3});
  N_Vector z = vectorOf({0, 0});
  N_VScale(1, x, x);
  EXPECT_EQ(valuesOf(x), (std::vector<double>{2, -3}));
  N_VScale(-1, x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{-2, 3}));
  N_VScale(1, x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{2, -3}));
  N_VScale(0.5, x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{1, -1.5}));
  N_VScale(4, x, x);
  EXPECT_EQ(valuesOf(x), (std::vector<double>{8, -12}));
  N_VDestroy(x);
  N_VDestroy(z);
}

TEST(FoundationVectors, WeightedNormsWithAndWithoutMask) {
  N_Vector x = vectorOf({3, 4});
  N_Vector w = vectorOf({1, 1});
  N_Vector id = vectorOf({1, 0});
  EXPECT_EQ(N_VWrmsNorm(x, w), 3.5355339059327378);
  EXPECT_EQ(x->ops->nvwrmsnormmask(x, w, id), 2.1213203435596424);
  EXPECT_EQ(x->ops->nvwl2norm(x, w), 5.0);
  EXPECT_EQ(x->ops->nvl1norm(x), 7.0);
  EXPECT_EQ(x->ops->nvdotprod(x, w), 7.0);
  N_VDestroy(x);
  N_VDestroy(w);
  N_VDestroy(id);
}

// Every length gives the bits of sqrt(sum / n), the mean formed by the
// quotient, also for tiny and huge sums.
TEST(FoundationVectors, WeightedNormIsTheQuotientsRootForEveryLength) {
  for (int n = 1; n <= 9; ++n) {
    for (double scale : {1.0, 1e-160, 1e150, 0.37}) {
      N_Vector x = N_VNew_Serial(n);
      N_Vector w = N_VNew_Serial(n);
      double* xd = N_VGetArrayPointer(x);
      double* wd = N_VGetArrayPointer(w);
      double sum = 0.0;
      for (int i = 0; i < n; ++i) {
        xd[i] = scale * (0.1 + 0.7 * i) / (1.0 + i * i);
        wd[i] = 1.0 / (1e-5 + 1e-5 * i);
        const double prod = xd[i] * wd[i];
        sum += prod * prod;
      }
      const double expected = std::sqrt(sum / n);
      const double actual = N_VWrmsNorm(x, w);
      EXPECT_EQ(0, std::memcmp(&expected, &actual, sizeof expected)) << "n " << n << ", scale " << scale;
      N_VDestroy(x);
      N_VDestroy(w);
    }
  }
}

TEST(FoundationVectors, NaNReachesTheNormInsteadOfVanishing) {
  N_Vector x = vectorOf({NAN, 1});
  N_Vector w = vectorOf({1, 1});
  EXPECT_TRUE(std::isnan(N_VWrmsNorm(x, w)));
  N_VDestroy(x);
  N_VDestroy(w);
}

TEST(FoundationVectors, EmptyVectorNormsAndMinimumReadNothing) {
  N_Vector e = N_VNew_Serial(0);
  EXPECT_EQ(N_VMaxNorm(e), 0.0);
  EXPECT_EQ(N_VWrmsNorm(e, e), 0.0);
  EXPECT_EQ(e->ops->nvl1norm(e), 0.0);
  EXPECT_EQ(N_VMin(e), DBL_MAX);
  EXPECT_EQ(e->ops->nvminquotient(e, e), DBL_MAX);
  N_VDestroy(e);
}

TEST(FoundationVectors, MaxNormMinAndElementwise) {
  N_Vector x = vectorOf({-3, 2});
  N_Vector z = vectorOf({0, 0});
  EXPECT_EQ(N_VMaxNorm(x), 3.0);
  EXPECT_EQ(N_VMin(x), -3.0);
  N_VAbs(x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{3, 2}));
  N_VInv(x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{-1.0 / 3, 0.5}));
  N_VAddConst(x, 1, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{-2, 3}));
  N_VDiv(x, x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{1, 1}));
  x->ops->nvprod(x, x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{9, 4}));
  N_VDestroy(x);
  N_VDestroy(z);
}

TEST(FoundationVectors, CompareInvTestAndMinQuotient) {
  N_Vector x = vectorOf({2, -1, -2});
  N_Vector z = vectorOf({5, 5, 5});
  x->ops->nvcompare(2, x, z);
  EXPECT_EQ(valuesOf(z), (std::vector<double>{1, 0, 1}));

  N_Vector t = vectorOf({2, 0, 4});
  N_Vector r = vectorOf({9, 9, 9});
  EXPECT_EQ(t->ops->nvinvtest(t, r), 0);
  EXPECT_EQ(valuesOf(r), (std::vector<double>{0.5, 9, 9}));

  N_Vector num = vectorOf({1, 6, -4});
  N_Vector zeros = vectorOf({0, 0, 0});
  N_Vector den = vectorOf({0, 3, 2});
  EXPECT_EQ(num->ops->nvminquotient(num, zeros), 1.7976931348623157e308);
  EXPECT_EQ(num->ops->nvminquotient(num, den), -2.0);
  for (N_Vector v : {x, z, t, r, num, zeros, den}) N_VDestroy(v);
}

TEST(FoundationVectors, ConstraintMaskTable) {
  // c, x, failing?
  const double c[] = {1.5, 2, 0.5, -1, 0, -2, 1};
  const double x[] = {0, 0, -1, 1, -5, -1, 0};
  const double fails[] = {0, 1, 0, 1, 0, 0, 0};
  N_Vector cv = N_VNew_Serial(7), xv = N_VNew_Serial(7), m = N_VNew_Serial(7);
  std::memcpy(N_VGetArrayPointer(cv), c, sizeof c);
  std::memcpy(N_VGetArrayPointer(xv), x, sizeof x);
  N_VConst(7, m);
  EXPECT_EQ(cv->ops->nvconstrmask(cv, xv, m), 0);
  for (int i = 0; i < 7; i++) EXPECT_EQ(N_VGetArrayPointer(m)[i], fails[i]) << i;
  N_VConst(1, xv);
  N_VConst(1, cv);
  EXPECT_EQ(cv->ops->nvconstrmask(cv, xv, m), 1);
  for (N_Vector v : {cv, xv, m}) N_VDestroy(v);
}

TEST(FoundationVectors, SpaceAndArrayRedirection) {
  N_Vector v = N_VNew_Serial(5);
  int lrw = 0, liw = 0;
  N_VSpace(v, &lrw, &liw);
  EXPECT_EQ(lrw, 5);
  EXPECT_EQ(liw, 1);
  double* own = N_VGetArrayPointer(v);
  double other[5] = {};
  N_VSetArrayPointer(other, v);
  EXPECT_EQ(N_VGetArrayPointer(v), other);
  EXPECT_EQ(contentOf(v)->own_data, 1);
  N_VSetArrayPointer(own, v);
  N_VDestroy(v);

  double keep[1] = {4};
  N_Vector e = N_VMake_Serial(0, keep);
  EXPECT_EQ(N_VGetArrayPointer(e), nullptr);
  N_VSetArrayPointer(keep, e);
  EXPECT_EQ(N_VGetArrayPointer(e), nullptr);
  N_VDestroy(e);
}

}  // namespace
