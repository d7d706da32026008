// How the library's operations under many printers grow with a print server: each is
// timed on servers of 500, 1,000 and 2,000 printers (twice as many ports, 20 monitors),
// with the spooler and registry calls it makes, as winsim counts them, beside the fewest
// it could make: one listing of each list it reads, and the calls its own changes need.
#include "orvinstl.h"

#include <winsim/machine.h>

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>

#include <sys/resource.h>

namespace {

const std::set<std::string, std::less<>> spooler_calls = {
    "AddMonitorA",     "AddPortA",          "AddPrintProcessorA", "AddPrinterA",         "AddPrinterDriverA",
    "ClosePrinter",    "DeleteMonitorA",    "DeletePortA",        "DeletePrintProcessorA", "DeletePrinter",
    "DeletePrinterDriverA", "EnumMonitorsA", "EnumPortsA",        "EnumPrintProcessorsA", "EnumPrinterDriversA",
    "EnumPrintersA",   "GetPrintProcessorDirectoryA", "GetPrinterA", "GetPrinterDriverA", "GetPrinterDriverDirectoryA",
    "OpenPrinterA",    "SetPrinterA",       "XcvDataW"};

// The calls that list a whole list: the fewest an operation needs is two (its size, then
// the list) for each list it reads.
const std::set<std::string, std::less<>> listings = {"EnumMonitorsA", "EnumPortsA", "EnumPrintProcessorsA",
                                                     "EnumPrinterDriversA", "EnumPrintersA"};

bool counted(const std::string& api) { return api.starts_with("Reg") || spooler_calls.count(api); }

using Counts = std::map<std::string, unsigned, std::less<>>;

// What one operation called: the counts since `before`.
Counts since(const Counts& before, const Counts& now) {
    Counts made;
    for (const auto& [api, count] : now) {
        const auto earlier = before.find(api);
        const unsigned delta = count - (earlier == before.end() ? 0 : earlier->second);
        if (delta && counted(api)) made[api] = delta;
    }
    return made;
}

unsigned total(const Counts& counts) {
    unsigned sum = 0;
    for (const auto& [api, count] : counts) sum += count;
    return sum;
}

// The fewest calls that make the same changes: one listing of each list read, and every
// other call but the listings' repeats (each change, each record read, each handle
// opened and closed for them is needed once; the library makes them once).
unsigned minimum(const Counts& counts) {
    unsigned fewest = 0;
    for (const auto& [api, count] : counts) fewest += listings.count(api) ? 2 : count;
    return fewest;
}

struct Server {
    std::unique_ptr<winsim::Machine> machine;
    HMODULE library = nullptr;
    explicit Server(int printers) {
        const std::string name = printers == 2000 ? "print-server.toml" : "print-server-" + std::to_string(printers) + ".toml";
        machine = winsim::Machine::create_from_description(std::string(ORV_PRINT_SERVERS_DIR) + "/" + name);
        library = LoadLibraryA("OrvInstl.dll");
    }
};

std::string queue(int number) {
    char name[24];
    std::snprintf(name, sizeof name, "Queue %04d", number);
    return name;
}
std::string port(int number) { return "KNET_" + std::to_string(number) + ":"; }
std::string monitor_of(int port_number) { return "Kestrel Network Port " + std::to_string(1 + port_number % 20); }

// The pages the process was given since it began: memory the operation touched for the
// first time, which costs time the instruction counts do not show.
long minor_page_faults() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_minflt;
}

// Runs `operation(i)` once an iteration, on the i-th printer of the server, and reports
// the counts of the last one with the time. Never inlined, so that callgrind can count
// the instructions of the timed part alone (--toggle-collect='*measure*').
template <typename Operation>
[[gnu::noinline]] void measure(benchmark::State& state, Server& server, Operation operation) {
    Counts made;
    int i = 0;
    long page_faults = 0;
    for (auto _ : state) {
        const Counts before = server.machine->faults().counts();
        const long faults_before = minor_page_faults();
        const LONG result = operation(++i);
        page_faults = minor_page_faults() - faults_before;
        made = since(before, server.machine->faults().counts());
        if (result != 0) state.SkipWithError(("the operation answered " + std::to_string(result)).c_str());
    }
    state.counters["printers"] = static_cast<double>(state.range(0));
    state.counters["page_faults"] = static_cast<double>(page_faults);
    state.counters["calls"] = total(made);
    state.counters["minimum_calls"] = minimum(made);
}

void nuke_printer(benchmark::State& state) {
    Server server(static_cast<int>(state.range(0)));
    measure(state, server, [](int i) { return insNukePrinter(queue(i).c_str()); });
}

void replicate_printer(benchmark::State& state) {
    Server server(static_cast<int>(state.range(0)));
    // Onto the ports no printer uses (the odd ones).
    measure(state, server, [](int i) {
        return insReplicatePrinter(queue(i).c_str(), ("Copy " + std::to_string(i)).c_str(), port(2 * i - 1).c_str());
    });
}

void move_port(benchmark::State& state) {
    Server server(static_cast<int>(state.range(0)));
    measure(state, server, [](int i) {
        const std::string name = port(2 * i);
        const std::string monitor = monitor_of(2 * i);
        INS_PORT_DEFINITION definition = INS_PORT_DEFINITION_UNCHANGED;
        definition.pPortName = name.c_str();
        definition.pMonitorName = monitor.c_str();
        return insMovePort(&definition);
    });
}

std::string component(const char* name) {
    std::ifstream in(std::string(ORV_SAMPLE_COMPONENTS_DIR) + "/x86/" + name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

// The product's driver under 50 printers of the server, updated with a newer file.
void update_driver(benchmark::State& state) {
    Server server(static_cast<int>(state.range(0)));
    const char* files[] = {"orvdrv.dll", "orvdrvui.dll"};
    auto lay_out = [&] {
        for (const char* file : files) server.machine->files().write_file(std::string("C:\\SETUP\\") + file, component(file));
    };
    auto install = [] { return insAddPrintDriverEx("C:\\SETUP\\orvdrv.dll", "C:\\SETUP\\orvdrvui.dll", nullptr, nullptr, nullptr); };
    lay_out();
    if (install() != 0) state.SkipWithError("the driver was not installed");
    for (int i = 1; i <= 50; ++i) {
        INS_PRINTER_DEFINITION printer = INS_PRINTER_DEFINITION_UNCHANGED;
        const std::string name = "Fax " + std::to_string(i);
        const std::string on = port(2 * i - 1);
        printer.pPrinterName = name.c_str();
        printer.pPortName = on.c_str();
        printer.pDriverName = "Orvana Print Driver";
        if (insAddPrinter(&printer) != 0) state.SkipWithError("a printer was not made");
    }
    measure(state, server, [&](int) {
        // A newer file each time: the copy replaces only an older one.
        Sleep(5000);
        lay_out();
        return install();
    });
}

// Few iterations: each takes a printer or a port of the server, and the servers are
// made anew for each benchmark.
BENCHMARK(nuke_printer)->Arg(500)->Arg(1000)->Arg(2000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(move_port)->Arg(500)->Arg(1000)->Arg(2000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(replicate_printer)->Arg(500)->Arg(1000)->Arg(2000)->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(update_driver)->Arg(500)->Arg(1000)->Arg(2000)->Iterations(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
