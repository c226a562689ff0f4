// The functions through which the slave's integrator evaluates the model:
// right-hand side, event indicators as root functions, the per-step event
// hook and the Jacobian by difference quotients.
#pragma once

#include <cstdint>

#include "fmi/model_instance.h"
#include "integrator/mstep.h"

namespace pelvarin {

// Each receives the instance as user data and leaves its time, state array
// and inputs as they were; a slave whose release is pending (a termination
// inside this integrator call) is not evaluated.
// Derivatives at (t, y): 0; 1 for a failed evaluation or a value that is not
// finite (the integrator retries with a smaller step); -1 to stop.
int integrator_derivatives(double t, N_Vector y, N_Vector ydot, void* instance);
// Event indicators at (t, y): 0, or -1 for a failed evaluation or to stop.
int integrator_root_functions(double t, N_Vector y, double* gout, void* instance);
// 1 when the model asks for an event after the step, else 0.
int integrator_step_event(void* instance);
// The Jacobian by difference quotients (grouped where the model has column
// groups): 0; 1 when the increments or a column cannot be computed; -1 to
// stop.
int integrator_dense_jacobian(int N, double t, N_Vector y, N_Vector fy, DlsMat J, void* instance,
                              N_Vector tmp1, N_Vector tmp2, N_Vector tmp3);

// The increments' scale and lower bound for the Jacobian at the current step.
// Needs: the slave's integrator. Returns 0, or 1 when the current step size
// cannot be read.
int jacobian_increments(N_Vector y, ModelInstance* instance, N_Vector fy, double* srur,
                        double* minInc);
// One derivative call per column group; 0 done, 1 a derivative call failed
// or no matrix was given (the caller then builds column by column).
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
