// The spooler service as Windows NT has it before any setup program runs: started.
#pragma once

namespace conformance {

#ifdef _WIN32
// Starts the spooler service unless it runs already, and waits (at most 30 seconds)
// until it does. 0, or a Windows code.
unsigned long start_spooler_service();
#endif

}  // namespace conformance
