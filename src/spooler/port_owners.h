// The spooler's ports with the monitor that owns each, found for all of them at once: a
// print server lists thousands of ports, and asking for each port and monitor in turn
// would read the whole list once per pair.
#pragma once

#include "platform.h"

class OwnedPorts {
public:
    OwnedPorts() = default;
    ~OwnedPorts();
    OwnedPorts(const OwnedPorts&) = delete;
    OwnedPorts& operator=(const OwnedPorts&) = delete;

    // Reads the ports, in the spooler's order, and for each the index in `monitors` of
    // the first monitor it belongs to, as port_belongs_to_monitor answers it, or -1:
    // 0, or the code recorded for the list or for memory.
    LONG read(const MONITOR_INFO_1A* monitors, LONG monitor_count);
    LONG count() const { return count_; }
    LPCSTR name(LONG i) const;
    LONG owner(LONG i) const { return owners_[i]; }

private:
    LPBYTE list_ = nullptr;  // PORT_INFO_1A, or on the platforms that describe ports PORT_INFO_2A
    LONG* owners_ = nullptr;
    LONG count_ = 0;
};
