#include "system_version.h"

namespace conformance {

OSVERSIONINFOA system_version() {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    return version;
}

}  // namespace conformance
