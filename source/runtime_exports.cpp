// The runtime's one export: the host's clock for the elapsed-time counter.
#include "fmi/Pelvarin.h"
#include "source/small_services.h"

PELVARIN_EXPORT void setTimerCounterCB(double (*callback)(double* stamp, int mode)) {
  pelvarin::set_timer_counter_callback(callback);
}
