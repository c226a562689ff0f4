// The smooth transition weight.
#include "source/smooth_step.h"

#include <cmath>

namespace pelvarin {

double smooth_step_weight(double x, double w) {
  if (w < 0) {
    x = -x;
    w = -w;
  }
  if (x <= -w) return 0;
  if (x >= w) return 1;
  // A NaN passes both ends, also of a width of 0.
  if (std::isnan(x)) return x;
  const double h = (x / w) * std::asin(1.0);
  return (std::tanh(std::tan(h)) + 1) / 2;
}

double smooth_step_weight_der(double x, double w, double dx, double dw) {
  if (w < 0) {
    x = -x;
    w = -w;
    dx = -dx;
    dw = -dw;
  }
  if (x <= -w || x >= w) return 0;
  if (std::isnan(x)) return x;
  const double halfPi = std::asin(1.0);
  const double s = x / w;
  const double h = s * halfPi;
  const double c = std::cos(h) * std::cosh(std::tan(h));
  return halfPi * (dx - s * dw) / (2 * w) / (c * c);
}

double smooth_step_der(double pos, double neg, double x, double w, double dpos, double dneg,
                       double dx, double dw) {
  const double y = smooth_step_weight(x, w);
  const double a = y > 0 ? dpos : 0;
  const double b = y < 1 ? dneg : 0;
  const double c = (y > 0 && y < 1) ? smooth_step_weight_der(x, w, dx, dw) * (pos - neg) : 0;
  return y * a + (1 - y) * b + c;
}

}  // namespace pelvarin
