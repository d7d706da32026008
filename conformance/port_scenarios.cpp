// Ports through the library, as far as a spooler without the product's monitor takes
// them: the ports every system has, one nobody added, a port of the local monitor that
// the product's monitor does not own, and on Windows 2000 a plain port the local
// monitor adds through its configuration channel.
#include "scenarios.h"
#include "session.h"
#include "system_version.h"

namespace conformance {

namespace {

const char channel_port[] = "ORVCONF1:";

void presence(Session& s, const char* step, const char* name) {
    LONG present = untouched;
    LONG result = s.x.is_port_present(name, &present);
    s.result(step, result, Facts().number("present", present));
}

INS_PORT_DEFINITION port_definition(const char* name, const char* monitor, LONG_PTR plain) {
    INS_PORT_DEFINITION d = INS_PORT_DEFINITION_UNCHANGED;
    d.nPlainPort = plain;
    d.pPortName = name;
    d.pMonitorName = monitor;
    return d;
}

bool poses_as_2000() {
    const OSVERSIONINFOA version = system_version();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 5;
}

// NT 3.51 keeps its port names without the colon, so "LPT1:" is a port it does not
// have; the others find the local monitor's.
bool port_names_keep_colon() {
    const OSVERSIONINFOA version = system_version();
    return !(version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 3);
}

void ports(Session& s) {
    presence(s, "the first parallel port", "LPT1:");
    presence(s, "its name in other letter case", "lpt1:");
    presence(s, "a port nobody added", "ORVNOBODY:");
    s.result("deleting a port nobody added", s.x.delete_port("ORVNOBODY:"));
    LONG moved_result = untouched;
    if (port_names_keep_colon()) {
        const INS_PORT_DEFINITION other = port_definition("LPT1:", "Orvana Fax Port", 0);
        moved_result = s.x.add_port(&other);
        s.result("the local monitor's port for the product's monitor", moved_result);
    }
    s.report("played the other monitor's port", Facts().number("played", moved_result == untouched ? 0 : 1));
    if (!poses_as_2000()) return;

    // Windows 2000's road: the monitor adds the port itself.
    s.x.delete_port(channel_port);
    s.take_error_text();
    const INS_PORT_DEFINITION plain = port_definition(channel_port, "Local Port", 1);
    s.result("a plain port through the local monitor's channel", s.x.add_port(&plain));
    presence(s, "it is there", channel_port);
    s.result("added again", s.x.add_port(&plain));
    s.result("it is deleted", s.x.delete_port(channel_port));
    presence(s, "it is gone", channel_port);
}

}  // namespace

std::vector<Scenario> port_scenarios() {
    return {
        {"Ports", {"insIsPortPresent", "insAddPort", "insDeletePort"}, ports},
    };
}

}  // namespace conformance
