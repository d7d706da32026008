// The product's port monitor and its ports, played with the monitor itself: under Wine
// the lane's monitor, which the spooler loads and asks for its ports. The monitor is
// installed, then ports are added on the road the library takes on each system (the
// monitor's channel on 2000, AddPortA on 95/98, a restart of the spooler on NT 3.51 and
// 4.0), a port with two printers on it is moved, and everything is removed again.
#include "printer_facts.h"
#include "product_monitor.h"
#include "scenarios.h"
#include "session.h"
#include "system_version.h"

#include <memory>
#include <string>

namespace conformance {

namespace {

// NT 3.51 names its ports without the colon, the others as given.
const char* port_name(const char* with_colon, const char* without) {
    const OSVERSIONINFOA version = system_version();
    return version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion == 3 ? without : with_colon;
}
const char* settings_port() { return port_name("ORVFAX7:", "ORVFAX7"); }
const char* plain_port() { return port_name("ORVFAX8:", "ORVFAX8"); }

const char first_printer[] = "OrvConformance Port One";
const char second_printer[] = "OrvConformance Port Two";

// The monitor that the spooler says owns the port, and its description, or none.
Facts port_owner(const char* port) {
    DWORD needed = 0;
    DWORD count = 0;
    EnumPortsA(nullptr, 2, nullptr, 0, &needed, &count);
    std::unique_ptr<BYTE[]> block(new BYTE[needed ? needed : 1]);
    if (!EnumPortsA(nullptr, 2, block.get(), needed, &needed, &count)) return Facts().number("enum_error", GetLastError());
    const auto* ports = reinterpret_cast<const PORT_INFO_2A*>(block.get());
    for (DWORD i = 0; i < count; ++i)
        if (lstrcmpiA(ports[i].pPortName, port) == 0)
            return Facts().text("monitor", ports[i].pMonitorName ? ports[i].pMonitorName : "(null)");
    return Facts().word("monitor", "none");
}

void presence(Session& s, const char* step, const char* port) {
    LONG present = untouched;
    const LONG result = s.x.is_port_present(port, &present);
    s.result(step, result, Facts().number("present", present).append(port_owner(port)));
}

// A setting of the port as the monitor keeps it, in the port's own key.
Facts output_prefix(const char* port) {
    const std::string path = std::string("SYSTEM\\CurrentControlSet\\Control\\Print\\Monitors\\") + product_monitor +
                             "\\PortList\\" + port;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS)
        return Facts().word("prefix", "no key");
    char value[64] = "";
    DWORD size = sizeof value;
    const LONG read = RegQueryValueExA(key, "Output Prefix", nullptr, nullptr, reinterpret_cast<LPBYTE>(value), &size);
    RegCloseKey(key);
    return read == ERROR_SUCCESS ? Facts().text("prefix", value) : Facts().number("prefix_error", read);
}

INS_PORT_DEFINITION definition(const char* port, LONG_PTR plain, const char* prefix) {
    INS_PORT_DEFINITION d = INS_PORT_DEFINITION_UNCHANGED;
    d.nPlainPort = plain;
    d.pPortName = port;
    d.pMonitorName = product_monitor;
    d.pOutputPrefix = prefix;
    return d;
}

void add(Session& s, const char* step, const INS_PORT_DEFINITION& d) {
    const LONG result = s.x.add_port(&d);
    s.result(step, result, Facts().number("reboot", s.x.reboot_required()));
}

// The name of the default printer, without the driver and port the entry gives with it.
std::string default_printer_name() {
    char entry[256] = "";
    GetProfileStringA("windows", "device", "", entry, sizeof entry);
    const std::string text = entry;
    return text.substr(0, text.find(','));
}

void clear_all() {
    remove_printer(first_printer, settings_port());
    remove_printer(second_printer, settings_port());
    for (const char* port : {settings_port(), plain_port()}) DeletePortA(nullptr, nullptr, const_cast<char*>(port));
    clear_product_monitor();
}

void monitor_install(Session& s) {
    clear_all();
    LONG present = untouched;
    LONG result = s.x.is_monitor_present(product_monitor, &present);
    s.result("before it is installed", result, Facts().number("present", present));
    install_product_monitor(s, "installed");
    present = untouched;
    result = s.x.is_monitor_present(product_monitor, &present);
    s.result("it is there", result, Facts().number("present", present));
    s.result("removed", s.x.delete_monitor(product_monitor));
    present = untouched;
    result = s.x.is_monitor_present(product_monitor, &present);
    s.result("it is gone", result, Facts().number("present", present));
    s.result("removed when not installed", s.x.delete_monitor(product_monitor));
    clear_all();
}

void move_with_printers(Session& s) {
    const std::string saved_default = default_printer_name();
    s.report("first printer on the port", add_plain_printer(first_printer, settings_port()));
    s.report("second printer on the port", add_plain_printer(second_printer, settings_port()));
    const LONG made_default = s.x.set_default_printer(second_printer);
    s.result("the second made the default", made_default, Facts().text("default", default_printer_name()));
    const INS_PORT_DEFINITION moved = definition(settings_port(), 0, "MOVED");
    const LONG result = s.x.move_port(&moved);
    s.result("the port moved", result, output_prefix(settings_port()).number("reboot", s.x.reboot_required()));
    s.report("first printer after the move", printer_record(first_printer));
    s.report("second printer after the move", printer_record(second_printer));
    s.report("the default after the move", Facts().text("default", default_printer_name()));
    remove_printer(first_printer, settings_port());
    remove_printer(second_printer, settings_port());
    if (!saved_default.empty()) s.x.set_default_printer(saved_default.c_str());
    s.take_error_text();
}

void product_ports(Session& s) {
    clear_all();
    install_product_monitor(s, "the monitor installed");
    presence(s, "a port of it before it is added", settings_port());
    add(s, "a port with settings", definition(settings_port(), 0, "ORVC"));
    presence(s, "it is there", settings_port());
    s.report("its settings", output_prefix(settings_port()));
    add(s, "a plain port", definition(plain_port(), 1, nullptr));
    presence(s, "the plain port is there", plain_port());
    add(s, "the port with settings added again", definition(settings_port(), 0, "AGAIN"));
    s.report("its settings then", output_prefix(settings_port()));
    move_with_printers(s);
    s.result("the plain port deleted", s.x.delete_port(plain_port()));
    presence(s, "the plain port is gone", plain_port());
    s.result("the port with settings deleted", s.x.delete_port(settings_port()));
    presence(s, "it is gone", settings_port());
    s.result("the monitor removed", s.x.delete_monitor(product_monitor));
    clear_all();
}

}  // namespace

std::vector<Scenario> product_port_scenarios() {
    return {
        {"MonitorInstall", {"insIsMonitorPresent", "insAddMonitor", "insDeleteMonitor", "RebootRequired"}, monitor_install},
        {"ProductPorts",
         {"insAddMonitor", "insDeleteMonitor", "insIsPortPresent", "insAddPort", "insMovePort", "insDeletePort",
          "insSetDefaultPrinter", "RebootRequired"},
         product_ports},
    };
}

}  // namespace conformance
