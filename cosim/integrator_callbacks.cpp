#include "cosim/integrator_callbacks.h"

#include <cassert>
#include <cmath>

#include "cosim/integrator_setup.h"
#include "fmi/fmi_functions.h"
#include "source/runtime_constants.h"

namespace pelvarin {

const std::int32_t jacobian_groups[] = {0};
const std::int32_t jacobian_group_rows[] = {0};
std::int32_t jacobian_group_count = 0;

namespace {

constexpr int CS_COLUMN_TRIES = 5;
constexpr double CS_RETRY_DIVISOR = -5.0;

ModelInstance* as_instance(void* data) { return static_cast<ModelInstance*>(data); }

// A termination noted during this integrator call: stop evaluating.
bool release_pending(const ModelInstance* m) {
  return m->integrator == nullptr || m->integrator->releasePending;
}

enum EvaluationKind { CS_EVALUATE_DERIVATIVES, CS_EVALUATE_INDICATORS };

// Evaluates the model at (t, y) without disturbing the instance's own time,
// states and inputs: the state pointer is swapped to the integrator's vector.
// Needs: the slave's integrator.
fmiStatus evaluate_at(ModelInstance* m, double t, N_Vector y, double* out, EvaluationKind kind) {
  IntegratorDriver* d = m->integrator;
  assert(d != nullptr);
  const double ticks0 = processor_clock();
  double savedTime = m->time;
  double* savedX = m->x;
  m->x = N_VGetArrayPointer(y);
  interpolate_inputs(m, t);
  m->time = t;
  m->computedLevel = 0;
  fmiStatus s = kind == CS_EVALUATE_DERIVATIVES ? fmiGetDerivatives(m, out, m->nx)
                                                : fmiGetEventIndicators(m, out, m->ni);
  interpolate_inputs(m, savedTime);
  m->time = savedTime;
  m->x = savedX;
  // The arrays hold the trial point's values now: nothing is current for
  // the instance's own time and states.
  m->computedLevel = 0;
  const float ticks = static_cast<float>(processor_clock() - ticks0);
  if (kind == CS_EVALUATE_DERIVATIVES) {
    add_to_counter(&d->derivativeCalls, 1);
    d->derivativeClock += ticks;
  } else {
    d->indicatorClock += ticks;
  }
  return s;
}

// The difference quotient's increment of a state of value y and error
// weight ewt, negative for a negative state.
inline double column_increment(double y, double srur, double minInc, double ewt) {
  double inc = std::fmax(srur * std::fabs(y), minInc / ewt);
  if (y < 0) inc = -inc;
  return inc;
}

}  // namespace

int integrator_derivatives(double t, N_Vector y, N_Vector ydot, void* data) {
  ModelInstance* m = as_instance(data);
  if (release_pending(m)) return -1;
  double* out = N_VGetArrayPointer(ydot);
  fmiStatus s = evaluate_at(m, t, y, out, CS_EVALUATE_DERIVATIVES);
  if (release_pending(m)) return -1;
  if (s != fmiOK) return 1;
  // Such a derivative would enter the integrator's history and spoil every
  // later state: the integrator retries with a smaller step instead.
  for (std::uint32_t i = 0; i < m->nx; ++i)
    if (!std::isfinite(out[i])) return 1;
  return 0;
}

int integrator_root_functions(double t, N_Vector y, double* gout, void* data) {
  ModelInstance* m = as_instance(data);
  if (release_pending(m)) return -1;
  fmiStatus s = evaluate_at(m, t, y, gout, CS_EVALUATE_INDICATORS);
  return s != fmiOK ? -1 : 0;
}

int integrator_step_event(void* data) {
  ModelInstance* m = as_instance(data);
  // Not reached in this model: 1, as nothing sets
  // intOptions[INT_OPTION_EVENT_AFTER_STEP] to anything but 0.
  return m->intOptions[INT_OPTION_EVENT_AFTER_STEP] != 0 ? 1 : 0;
}

void set_jacobian_group_count(std::int32_t count) { jacobian_group_count = count; }

int jacobian_increments(N_Vector y, ModelInstance* m, N_Vector fy, double* srur, double* minInc) {
  (void)y;
  IntegratorDriver* d = m->integrator;
  MstepGetErrWeights(d->mstep_mem, d->errWeights);
  *srur = MsDlsIncrementScale();
  double fnorm = N_VWrmsNorm(fy, d->errWeights);
  double h = 0.0;
  int flag = MstepGetCurrentStep(d->mstep_mem, &h);
  // Not reached in this model: 1, as the getter refuses only a missing memory.
  if (check_integrator_flag(&flag, "MstepGetCurrentStep", CS_CHECK_FLAG, m)) return 1;
  *minInc = MsDlsLeastIncrement(h, static_cast<int>(m->nx), fnorm);
  return 0;
}

// Not reached in this model: it has no column groups, so
// jacobian_group_count stays 0.
int grouped_dense_jacobian(double t, N_Vector y, N_Vector fy, DlsMat J, double srur,
                           double minInc, const double* ewt, ModelInstance* m, N_Vector tmp3) {
  // Only the matrix form is ever asked for.
  if (J == nullptr) return 1;
  IntegratorDriver* d = m->integrator;
  const int nx = static_cast<int>(m->nx);
  double* tmp3Data = N_VGetArrayPointer(tmp3);
  for (int j = 0; j < J->N; ++j) {
    N_VSetArrayPointer(J->cols[j], tmp3);
    N_VConst(0.0, tmp3);
  }
  N_VSetArrayPointer(tmp3Data, tmp3);

  double* yd = N_VGetArrayPointer(y);
  double* saved = N_VGetArrayPointer(d->work2);
  double* f1 = N_VGetArrayPointer(d->work1);
  const double* f0 = N_VGetArrayPointer(fy);
  int pos = 1;
  for (int g = 0; g < jacobian_group_count; ++g) {
    const int n = jacobian_groups[pos];
    const std::int32_t* columns = &jacobian_groups[pos + 1];
    for (int c = 0; c < n; ++c) {
      const int k = columns[c] - 1;
      saved[k] = yd[k];
      const double inc = column_increment(yd[k], srur, minInc, ewt[k]);
      yd[k] += inc;
      tmp3Data[k] = yd[k] - saved[k];
    }
    int r = integrator_derivatives(t, y, d->work1, m);
    for (int c = 0; c < n; ++c) yd[columns[c] - 1] = saved[columns[c] - 1];
    if (r != 0) return 1;
    for (int i = 0; i < nx; ++i) {
      const int k = jacobian_group_rows[g * nx + i];
      if (k > 0) J->cols[k - 1][i] = (f1[i] - f0[i]) / tmp3Data[k - 1];
    }
    pos += n + 1;
  }
  return 0;
}

int integrator_dense_jacobian(int N, double t, N_Vector y, N_Vector fy, DlsMat J, void* data,
                              N_Vector tmp1, N_Vector tmp2, N_Vector tmp3) {
  ModelInstance* m = as_instance(data);
  if (release_pending(m)) return -1;
  IntegratorDriver* d = m->integrator;
  double* tmp2Data = N_VGetArrayPointer(tmp2);
  double srur = 0.0;
  double minInc = 0.0;
  int result = 0;

  // Not reached in this model: a failure of jacobian_increments (see there).
  if (jacobian_increments(y, m, fy, &srur, &minInc) != 0) {
    result = 1;
  } else {
    const double* ewt = N_VGetArrayPointer(d->errWeights);
    m->intOptions[INT_OPTION_JACOBIAN] = 1;
    bool done = false;
    // Not reached in this model: it has no column groups.
    if (jacobian_group_count != 0 &&
        grouped_dense_jacobian(t, y, fy, J, srur, minInc, ewt, m, tmp3) == 0)
      done = true;
    double* yd = N_VGetArrayPointer(y);
    for (int j = 0; !done && j < N; ++j) {
      N_VSetArrayPointer(J->cols[j], tmp2);
      const double yj = yd[j];
      double inc = column_increment(yj, srur, minInc, ewt[j]);
      int r = 1;
      for (int attempt = 0; attempt < CS_COLUMN_TRIES; ++attempt) {
        yd[j] = yj + inc;
        inc = yd[j] - yj;  // the increment actually representable
        r = integrator_derivatives(t, y, tmp1, m);
        if (r == 0 || release_pending(m)) break;
        inc = inc / CS_RETRY_DIVISOR;
      }
      yd[j] = yj;
      if (r != 0) {
        result = release_pending(m) ? -1 : 1;
        break;
      }
      // A vanished increment (a step of zero) gives no quotient.
      const double incInv = msDivide(1.0, inc);
      N_VLinearSum(incInv, tmp1, -incInv, fy, tmp2);
    }
  }

  m->intOptions[INT_OPTION_JACOBIAN] = 0;
  N_VSetArrayPointer(tmp2Data, tmp2);
  if (m->integrator != nullptr) add_to_counter(&m->integrator->jacobianCalls, 1);
  return result;
}

}  // namespace pelvarin
