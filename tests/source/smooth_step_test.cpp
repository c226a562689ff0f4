// The smooth-step weight and its derivatives at and around the two ends.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "source/smooth_step.h"

using namespace pelvarin;

namespace {

const double kPi = std::acos(-1.0);
const double kInf = std::numeric_limits<double>::infinity();

}  // namespace

TEST(SmoothStep, WeightAtAndAroundTheEnds) {
  struct Case {
    double x, w, s;
  };
  const Case cases[] = {
      {0, 1, 0.5},    {1, 1, 1}, {2, 1, 1},  {-1, 1, 0},  {-2, 1, 0}, {0, 0, 0},    {-1e-300, 0, 0},
      {1e-300, 0, 1}, {5, 0, 1}, {-5, 0, 0}, {-1, -1, 1}, {1, -1, 0}, {0, -1, 0.5},
  };
  for (const Case& c : cases) EXPECT_EQ(smooth_step_weight(c.x, c.w), c.s) << c.x << ", " << c.w;
  EXPECT_EQ(smooth_step_weight(0.5, -1), smooth_step_weight(-0.5, 1));
  // Just inside the ends the weight is already at its limit or close to it,
  // and never leaves [0, 1].
  for (double x : {-1 + 1e-12, -0.999, -0.5, 0.5, 0.999, 1 - 1e-12}) {
    const double s = smooth_step_weight(x, 1);
    EXPECT_GE(s, 0) << x;
    EXPECT_LE(s, 1) << x;
    EXPECT_NEAR(s + smooth_step_weight(-x, 1), 1, 1e-15) << x;  // symmetric about 0
  }
  EXPECT_LT(smooth_step_weight(-0.999, 1), 1e-12);
  EXPECT_LT(smooth_step_weight(-0.5, 1), smooth_step_weight(-0.25, 1));
}

TEST(SmoothStep, WeightDerivative) {
  EXPECT_DOUBLE_EQ(smooth_step_weight_der(0, 1, 1, 0), kPi / 4);
  for (double x : {-2.0, -1.0, 1.0, 2.0}) EXPECT_EQ(smooth_step_weight_der(x, 1, 1, 1), 0) << x;
  EXPECT_EQ(smooth_step_weight_der(0, 0, 1, 1), 0);
  // Against a difference quotient of the weight along x(t) = 0.3 + t,
  // w(t) = 1.2 + 0.5 t, inside the transition.
  const double h = 1e-6;
  const double quotient =
      (smooth_step_weight(0.3 + h, 1.2 + 0.5 * h) - smooth_step_weight(0.3 - h, 1.2 - 0.5 * h)) /
      (2 * h);
  EXPECT_NEAR(smooth_step_weight_der(0.3, 1.2, 1, 0.5), quotient, 1e-7);
  // A negative width mirrors the derivative of the mirrored weight.
  EXPECT_DOUBLE_EQ(smooth_step_weight_der(0.3, -1.2, 1, -0.5),
                   smooth_step_weight_der(-0.3, 1.2, -1, 0.5));
}

TEST(SmoothStep, BlendDerivativeDropsInputsWithoutWeight) {
  // x at or beyond an end: only the weighted input's derivative counts, and
  // an infinite derivative of the other never makes the result undefined.
  EXPECT_EQ(smooth_step_der(1, 2, -1, 1, kInf, 3, 1, 0), 3);
  EXPECT_EQ(smooth_step_der(1, 2, -5, 1, NAN, 3, 1, 0), 3);
  EXPECT_EQ(smooth_step_der(1, 2, 1, 1, 4, kInf, 1, 0), 4);
  EXPECT_EQ(smooth_step_der(1, 2, 5, 1, 4, NAN, 1, 0), 4);
  // Inside: both derivatives and the motion of the weight.
  const double expected = 0.5 * 4 + 0.5 * 3 + (kPi / 4) * (1 - 2);
  EXPECT_DOUBLE_EQ(smooth_step_der(1, 2, 0, 1, 4, 3, 1, 0), expected);
}

// A NaN argument lies at neither end, whatever the width; with a width of 0
// there is nothing to divide by, and the answer is still NaN.
TEST(SmoothStep, ANaNArgumentGivesNaNForEveryWidth) {
  const double kNaN = std::numeric_limits<double>::quiet_NaN();
  for (double w : {0.0, -0.0, 1.0, -1.0, kInf}) {
    EXPECT_TRUE(std::isnan(smooth_step_weight(kNaN, w))) << w;
    EXPECT_TRUE(std::isnan(smooth_step_weight_der(kNaN, w, 1, 1))) << w;
    EXPECT_TRUE(std::isnan(smooth_step_der(1, 2, kNaN, w, 4, 3, 1, 0))) << w;
  }
}
