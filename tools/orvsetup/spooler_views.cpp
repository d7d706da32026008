#include "spooler_views.h"

#include "json_text.h"

#include <winsim/spooler/print_registry.h>

namespace orvsetup {

namespace pr = winsim::print_registry;

namespace {

std::string value_text(const winsim::RegistryValue& value) {
    const std::string& bytes = value.bytes;
    if (value.type == REG_DWORD && bytes.size() == 4) {
        unsigned number = 0;
        for (int i = 3; i >= 0; --i) number = number << 8 | static_cast<unsigned char>(bytes[static_cast<std::size_t>(i)]);
        return std::to_string(number);
    }
    if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) return bytes.substr(0, bytes.find('\0'));
    if (value.type == REG_MULTI_SZ) {
        std::string list;
        std::size_t start = 0;
        while (start < bytes.size()) {
            std::size_t end = bytes.find('\0', start);
            if (end == std::string::npos) end = bytes.size();
            if (end == start) break;
            list += (list.empty() ? "" : ", ") + bytes.substr(start, end - start);
            start = end + 1;
        }
        return list;
    }
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

// A key the machine has not made yet holds nothing.
std::vector<std::string> subkeys_of(const winsim::Registry& registry, const std::string& key) {
    return registry.key_exists(key) ? registry.subkeys(key) : std::vector<std::string>{};
}

std::vector<std::string> value_names_of(const winsim::Registry& registry, const std::string& key) {
    return registry.key_exists(key) ? registry.values(key) : std::vector<std::string>{};
}

std::vector<NamedValue> values_of(const winsim::Registry& registry, const std::string& key) {
    std::vector<NamedValue> values;
    for (const std::string& name : value_names_of(registry, key))
        if (std::optional<winsim::RegistryValue> value = registry.value(key, name)) values.emplace_back(name, value_text(*value));
    return values;
}

std::string environments_key(winsim::Machine& machine) {
    return pr::print_root(machine.is_nt()) + "\\" + std::string(pr::environments);
}

void print_values_json(std::FILE* out, const char* key, const std::vector<NamedValue>& values) {
    std::fprintf(out, ", \"%s\": {", key);
    for (std::size_t i = 0; i < values.size(); ++i) {
        if (i) std::fputs(", ", out);
        print_json_string(out, values[i].first);
        std::fputs(": ", out);
        print_json_string(out, values[i].second);
    }
    std::fputc('}', out);
}

void print_values(std::FILE* out, const std::vector<NamedValue>& values) {
    for (const auto& [name, text] : values) std::fprintf(out, "    %-22s %s\n", name.c_str(), text.c_str());
}

}  // namespace

std::vector<MonitorView> view_monitors(winsim::Machine& machine) {
    const std::string root = pr::print_root(machine.is_nt()) + "\\" + std::string(pr::monitors);
    std::vector<MonitorView> monitors;
    for (const std::string& name : subkeys_of(machine.registry(), root)) {
        std::optional<winsim::RegistryValue> dll = machine.registry().value(root + "\\" + name, pr::monitor_driver);
        monitors.push_back({name, dll ? value_text(*dll) : ""});
    }
    return monitors;
}

std::vector<PortView> view_ports(winsim::Machine& machine) {
    const winsim::Registry& registry = machine.registry();
    const std::string root = pr::print_root(machine.is_nt()) + "\\" + std::string(pr::monitors);
    std::vector<PortView> ports;
    for (const std::string& monitor : subkeys_of(registry, root)) {
        const std::string key = root + "\\" + monitor;
        for (const std::string& port : value_names_of(registry, key + "\\" + std::string(pr::monitor_ports))) ports.push_back({port, monitor, {}});
        const std::string list = key + "\\" + std::string(pr::monitor_port_list);
        for (const std::string& port : subkeys_of(registry, list)) ports.push_back({port, monitor, values_of(registry, list + "\\" + port)});
    }
    if (machine.platform() == winsim::Platform::nt351)
        for (const std::string& port : value_names_of(registry, std::string(pr::nt351_local_ports))) ports.push_back({port, "Local Port", {}});
    return ports;
}

std::vector<DriverView> view_drivers(winsim::Machine& machine) {
    const winsim::Registry& registry = machine.registry();
    const std::string root = environments_key(machine);
    std::vector<DriverView> drivers;
    for (const std::string& environment : subkeys_of(registry, root)) {
        const std::string key = root + "\\" + environment + "\\" + std::string(pr::drivers);
        for (const std::string& sub : subkeys_of(registry, key)) {
            // NT keeps its drivers a level deeper, under their driver version.
            if (machine.is_nt() && sub.rfind("Version-", 0) == 0) {
                for (const std::string& name : subkeys_of(registry, key + "\\" + sub))
                    drivers.push_back({name, environment, sub, values_of(registry, key + "\\" + sub + "\\" + name)});
            } else {
                drivers.push_back({sub, environment, "", values_of(registry, key + "\\" + sub)});
            }
        }
    }
    return drivers;
}

std::vector<ProcessorView> view_processors(winsim::Machine& machine) {
    const winsim::Registry& registry = machine.registry();
    const std::string root = environments_key(machine);
    std::vector<ProcessorView> processors;
    for (const std::string& environment : subkeys_of(registry, root)) {
        const std::string key = root + "\\" + environment + "\\" + std::string(pr::print_processors);
        for (const std::string& name : subkeys_of(registry, key))
            processors.push_back({name, environment, values_of(registry, key + "\\" + name)});
    }
    return processors;
}

void print_monitors(std::FILE* out, const std::vector<MonitorView>& monitors, bool json) {
    for (const MonitorView& monitor : monitors) {
        if (json) {
            std::fputs("{\"monitor\": ", out);
            print_json_string(out, monitor.name);
            print_json_field(out, "dll", monitor.dll);
            std::fputs("}\n", out);
        } else {
            std::fprintf(out, "%-24s %s\n", monitor.name.c_str(), monitor.dll.c_str());
        }
    }
    if (monitors.empty() && !json) std::fputs("no port monitors\n", out);
}

void print_ports(std::FILE* out, const std::vector<PortView>& ports, bool json) {
    for (const PortView& port : ports) {
        if (json) {
            std::fputs("{\"port\": ", out);
            print_json_string(out, port.name);
            print_json_field(out, "monitor", port.monitor);
            print_values_json(out, "settings", port.settings);
            std::fputs("}\n", out);
        } else {
            std::fprintf(out, "%-16s monitor %s\n", port.name.c_str(), port.monitor.c_str());
            print_values(out, port.settings);
        }
    }
    if (ports.empty() && !json) std::fputs("no ports\n", out);
}

void print_drivers(std::FILE* out, const std::vector<DriverView>& drivers, bool json) {
    for (const DriverView& driver : drivers) {
        if (json) {
            std::fputs("{\"driver\": ", out);
            print_json_string(out, driver.name);
            print_json_field(out, "environment", driver.environment);
            print_json_field(out, "version_key", driver.version_key);
            print_values_json(out, "values", driver.values);
            std::fputs("}\n", out);
        } else {
            std::fprintf(out, "%s (%s%s%s)\n", driver.name.c_str(), driver.environment.c_str(),
                         driver.version_key.empty() ? "" : ", ", driver.version_key.c_str());
            print_values(out, driver.values);
        }
    }
    if (drivers.empty() && !json) std::fputs("no printer drivers\n", out);
}

void print_processors(std::FILE* out, const std::vector<ProcessorView>& processors, bool json) {
    for (const ProcessorView& processor : processors) {
        if (json) {
            std::fputs("{\"print_processor\": ", out);
            print_json_string(out, processor.name);
            print_json_field(out, "environment", processor.environment);
            print_values_json(out, "values", processor.values);
            std::fputs("}\n", out);
        } else {
            std::fprintf(out, "%s (%s)\n", processor.name.c_str(), processor.environment.c_str());
            print_values(out, processor.values);
        }
    }
    if (processors.empty() && !json) std::fputs("no print processors\n", out);
}

}  // namespace orvsetup
