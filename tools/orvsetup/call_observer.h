// What the machine around the setup program saw during the last call, a line each for
// a person (a service stopped and started again); none where nobody watches.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace orvsetup {

using CallObserver = std::function<std::vector<std::string>()>;

}  // namespace orvsetup
