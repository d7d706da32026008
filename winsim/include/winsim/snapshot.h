// What a machine holds, taken whole so that two states can be compared: every file with
// its bytes and attributes, every registry key with its security and values, and the
// spooler's monitors, ports and printers as it lists them. Times are left out: a file
// written again with the same bytes is the same file to its user.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace winsim {

class Machine;

struct Snapshot {
    // "file C:\WINDOWS\WIN.INI", "key HKEY_LOCAL_MACHINE\...", "value KEY\Name",
    // "printer NAME", ... and what each holds, as text.
    std::map<std::string, std::string> entries;
};

Snapshot take_snapshot(Machine& machine);

// The differences from `before` to `after`, one line each in the order of the entries:
// "+ file C:\X" only after, "- key ..." only before, "~ value ..." changed.
std::vector<std::string> differences(const Snapshot& before, const Snapshot& after);

}  // namespace winsim
