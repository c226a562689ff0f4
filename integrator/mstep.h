// Everything a user of the integrator needs: vectors, matrices, flags,
// callback types, the public operations and msRelease for returned texts.
#pragma once

#include "integrator/allocation.h"
#include "integrator/dense_matrix.h"
#include "integrator/dense_solver.h"
#include "integrator/error_reporting.h"
#include "integrator/integration_loop.h"  // Mstep, MstepGetDky, MstepStepRootInit
#include "integrator/integrator_memory.h"
#include "integrator/nvector_serial.h"
#include "integrator/root_finding.h"  // MstepRootInit
