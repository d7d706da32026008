// Stopping and starting the print spooler service on the NT family, so that a component
// it holds open can be replaced.
#pragma once

#include "platform.h"

// 0 when the spooler has stopped, else the recorded Windows error code. The wait for
// the stop is bounded: a spooler that has not stopped after 120 seconds answers 1053
// and leaves a restart of Windows to finish the job (reboot_flag).
LONG shut_down_spooler_service();

// 0 when the spooler runs (or stays paused), else the recorded Windows error code.
LONG restart_spooler_service();
