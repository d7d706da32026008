// What the player can see of the machine around a call on Windows: the services that
// came, went or changed state between before and after it (a service stopped and started
// again within the call looks unchanged from outside).
#pragma once

#include "call_observer.h"

namespace orvsetup {

// Takes the services as they are now, and answers what changed at each call after.
CallObserver watch_services();

}  // namespace orvsetup
