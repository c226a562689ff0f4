// The functions through which the slave's integrator evaluates the model:
// right-hand side, event indicators as root functions, the per-step event
// hook and the Jacobian by difference quotients.
#pragma once

#include <cstdint>

#include "fmi/model_instance.h"
#include "integrator/mstep.h"

namespace pelvarin {

// Each receives the instance as user data and leaves its time, state array
// and inputs as they were.
int integrator_derivatives(double t, N_Vector y, N_Vector ydot, void* instance);
int integrator_root_functions(double t, N_Vector y, double* gout, void* instance);
int integrator_step_event(void* instance);
int integrator_dense_jacobian(int N, double t, N_Vector y, N_Vector fy, DlsMat J, void* instance,
                              N_Vector tmp1, N_Vector tmp2, N_Vector tmp3);

// 0, or 1 when the current step size cannot be read.
int jacobian_increments(N_Vector y, ModelInstance* instance, N_Vector fy, double* srur,
                        double* minInc);
// One derivative call per column group; 0 done, 1 a derivative call failed
// (the caller then builds column by column).
int grouped_dense_jacobian(double t, N_Vector y, N_Vector fy, DlsMat J, double srur,
                           double minInc, const double* ewt, ModelInstance* instance,
                           N_Vector tmp3);

void set_jacobian_group_count(std::int32_t count);

// Column groups of this model's Jacobian: entry 0 is the group count, then
// per group its size and its columns (from 1). This model has none.
extern const std::int32_t jacobian_groups[];
// Per group and row: the column (from 1) that the row's change belongs to.
extern const std::int32_t jacobian_group_rows[];
extern std::int32_t jacobian_group_count;

}  // namespace pelvarin
