// The spooler's parts of a machine as its registry holds them, for a setup author who
// checks what an installation registered: the port monitors, their ports with their
// settings, the printer drivers with their files, and the print processors.
#pragma once

#include <winsim/machine.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

namespace orvsetup {

// A registry value as a person reads it: a text, a number, a list ("a, b") or bytes in hex.
using NamedValue = std::pair<std::string, std::string>;

struct MonitorView {
    std::string name;
    std::string dll;
};

struct PortView {
    std::string name;
    std::string monitor;
    std::vector<NamedValue> settings;  // a port a monitor keeps with settings of its own
};

struct DriverView {
    std::string name;
    std::string environment;
    std::string version_key;  // "Version-2" on NT; empty on 95/98
    std::vector<NamedValue> values;  // the files, the version, the dependent files, ...
};

struct ProcessorView {
    std::string name;
    std::string environment;
    std::vector<NamedValue> values;
};

std::vector<MonitorView> view_monitors(winsim::Machine& machine);
std::vector<PortView> view_ports(winsim::Machine& machine);
std::vector<DriverView> view_drivers(winsim::Machine& machine);
std::vector<ProcessorView> view_processors(winsim::Machine& machine);

// Aligned for a person, or one JSON object a line.
void print_monitors(std::FILE* out, const std::vector<MonitorView>& monitors, bool json);
void print_ports(std::FILE* out, const std::vector<PortView>& ports, bool json);
void print_drivers(std::FILE* out, const std::vector<DriverView>& drivers, bool json);
void print_processors(std::FILE* out, const std::vector<ProcessorView>& processors, bool json);

}  // namespace orvsetup
