// The smooth transition weight between two values and its time derivatives.
// Not reached in this model: utilities for the external functions of
// generated models, and this model calls none.
#pragma once

namespace pelvarin {

// Weight s in [0, 1]: 0 for x <= -|w|, 1 for x >= |w|, smooth in between;
// NaN for a NaN x, also with w = 0, as its derivatives.
double smooth_step_weight(double x, double w);
// Time derivative of the weight, given the derivatives of x and w.
double smooth_step_weight_der(double x, double w, double dx, double dw);
// Time derivative of s*pos + (1 - s)*neg. A derivative whose weight is zero
// is left out, so an undefined derivative of an unweighted input stays out.
double smooth_step_der(double pos, double neg, double x, double w, double dpos, double dneg,
                       double dx, double dw);

}  // namespace pelvarin
