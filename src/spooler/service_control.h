// Stopping and starting the print spooler service on the NT family, so that a component
// it holds open can be replaced; and stopping any service the same way.
#pragma once

#include "platform.h"

// 0 when the spooler has stopped, else the recorded Windows error code. The wait for
// the stop is bounded: a spooler that has not stopped after 120 seconds answers 1053
// and leaves a restart of Windows to finish the job (reboot_flag).
LONG shut_down_spooler_service();

// 0 when the spooler runs (or stays paused), else the recorded Windows error code.
LONG restart_spooler_service();

// Asks the service to stop and waits until it has: 0, or the code recorded with
// `message`. The wait is bounded as the spooler's: a service that has not stopped after
// 120 seconds answers 1053 and leaves a restart of Windows to end it (reboot_flag).
LONG stop_service_and_wait(SC_HANDLE service, UINT message);
