#include <winsim/faults.h>
#include <winsim/machine.h>
#include <winsim/spooler/print_registry.h>
#include <winsim/spooler/spooler.h>

#include <mkimage/image.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace {

using winsim::Machine;
using winsim::Platform;
namespace reg = winsim::print_registry;

constexpr DWORD untouched = 0xDEADBEEF;

std::string processor_dll(std::vector<std::string> exports = {"EnumPrintProcessorDatatypesW", "OpenPrintProcessor",
                                                              "PrintDocumentOnPrintProcessor", "ClosePrintProcessor",
                                                              "ControlPrintProcessor"}) {
    mkimage::ImageRecipe recipe;
    recipe.kind = mkimage::ImageKind::pe32;
    recipe.module_name = "ORVPROC";
    recipe.exports = std::move(exports);
    return mkimage::build_image(recipe);
}

char* text(const char* value) { return const_cast<char*>(value); }

std::string processor_directory(const Machine& machine) {
    return machine.is_nt() ? std::string(machine.platform_info().system_directory) + "\\spool\\prtprocs\\w32x86"
                           : std::string(machine.platform_info().system_directory);
}

// The names the spooler lists, sorted: the order is the spooler's own.
std::vector<std::string> enumerated_processors() {
    DWORD needed = 0, returned = 0;
    EnumPrintProcessorsA(nullptr, nullptr, 1, nullptr, 0, &needed, &returned);
    std::vector<BYTE> buffer(needed);
    EXPECT_TRUE(EnumPrintProcessorsA(nullptr, nullptr, 1, buffer.data(), needed, &needed, &returned)) << GetLastError();
    std::vector<std::string> names;
    for (DWORD i = 0; i < returned; ++i) names.push_back(reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(buffer.data())[i].pName);
    std::sort(names.begin(), names.end());
    return names;
}

// Whether another program could replace the file now.
bool writable(const std::string& path) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    CloseHandle(file);
    return true;
}

struct Processors : testing::TestWithParam<Platform> {
    void SetUp() override {
        machine = Machine::create(GetParam());
        directory = processor_directory(*machine);
        installed = directory + "\\orvproc.dll";
    }
    BOOL add(const char* file = "orvproc.dll", const char* name = "Orvana Print Processor") {
        return AddPrintProcessorA(nullptr, nullptr, text(file), text(name));
    }
    void expect_failure(BOOL ok, DWORD code) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(GetLastError(), code);
    }
    // What NT refuses with the code and 95/98 let pass.
    void expect_nt_refuses(BOOL ok, DWORD code) {
        if (machine->is_nt()) {
            expect_failure(ok, code);
        } else {
            EXPECT_TRUE(ok) << GetLastError();
        }
    }
    std::unique_ptr<Machine> machine;
    std::string directory;
    std::string installed;
};

TEST_P(Processors, DirectoryAndTheSizeEachFamilyReports) {
    DWORD needed = untouched;
    SetLastError(untouched);
    expect_failure(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, nullptr, 0, &needed), ERROR_INSUFFICIENT_BUFFER);
    // NT reports and wants the Unicode size (ReactOS' test of the ANSI call); 95/98 the
    // ANSI one (unconfirmed).
    const DWORD expected = static_cast<DWORD>((directory.size() + 1) * (machine->is_nt() ? 2 : 1));
    EXPECT_EQ(needed, expected);
    std::vector<char> buffer(expected + 8, 'x');
    SetLastError(untouched);
    expect_failure(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer.data()), expected - 1, &needed),
                   ERROR_INSUFFICIENT_BUFFER);
    ASSERT_TRUE(GetPrintProcessorDirectoryA(text(""), text(""), 1, reinterpret_cast<LPBYTE>(buffer.data()), expected, &needed));
    EXPECT_EQ(std::string(buffer.data()), directory);
    std::shared_ptr<winsim::FileNode> node = machine->files().node(directory);
    EXPECT_TRUE(node && node->directory) << "a new machine has it";
}

TEST_P(Processors, DirectoryLevelsAndEnvironments) {
    char buffer[MAX_PATH * 2];
    DWORD needed = untouched;
    SetLastError(untouched);
    BOOL ok = GetPrintProcessorDirectoryA(nullptr, nullptr, 2, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed);
    // NT checks the level before all else; 95/98 ignore it (Wine's test).
    expect_nt_refuses(ok, ERROR_INVALID_LEVEL);
    if (machine->is_nt()) {
        EXPECT_EQ(needed, untouched);
    }
    SetLastError(untouched);
    expect_failure(GetPrintProcessorDirectoryA(nullptr, text("invalid_env"), 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed),
                   ERROR_INVALID_ENVIRONMENT);
    EXPECT_EQ(needed, 0u) << "ReactOS' test";
    // "Windows 4.0" is good on both families, "Windows NT x86" on NT only (Wine's test).
    EXPECT_TRUE(GetPrintProcessorDirectoryA(nullptr, text("windowS 4.0"), 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed));
    const std::string win40 = machine->is_nt() ? directory.substr(0, directory.rfind('\\')) + "\\win40" : directory;
    EXPECT_EQ(std::string(buffer), win40) << "NT keeps the 95/98 processors apart";
    SetLastError(untouched);
    ok = GetPrintProcessorDirectoryA(nullptr, text("Windows NT x86"), 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed);
    if (machine->is_nt()) {
        EXPECT_TRUE(ok);
    } else {
        expect_failure(ok, ERROR_INVALID_ENVIRONMENT);
    }

    // A null buffer that claims a size, and a null size (Wine's test; 1780 is
    // RPC_X_NULL_REF_POINTER).
    SetLastError(untouched);
    needed = untouched;
    expect_nt_refuses(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, nullptr, sizeof buffer, &needed), ERROR_INVALID_USER_BUFFER);
    if (machine->is_nt()) {
        EXPECT_EQ(needed, 0u) << "ReactOS' test";
    }
    SetLastError(untouched);
    expect_nt_refuses(GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, nullptr), 1780);
}

TEST_P(Processors, EnumerationSizingAndItsRefusals) {
    EXPECT_EQ(enumerated_processors(), std::vector<std::string>{"WinPrint"});
    DWORD needed = untouched, returned = untouched;
    SetLastError(untouched);
    expect_failure(EnumPrintProcessorsA(nullptr, nullptr, 1, nullptr, 0, &needed, &returned), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(needed, sizeof(PRINTPROCESSOR_INFO_1A) + sizeof "WinPrint");
    EXPECT_EQ(returned, 0u);
    std::vector<BYTE> buffer(needed);
    SetLastError(untouched);
    expect_failure(EnumPrintProcessorsA(nullptr, nullptr, 1, buffer.data(), needed - 1, &needed, &returned), ERROR_INSUFFICIENT_BUFFER);
    SetLastError(untouched);
    expect_failure(EnumPrintProcessorsA(nullptr, nullptr, 2, buffer.data(), needed, &needed, &returned), ERROR_INVALID_LEVEL);

    // An unknown environment: 2000 refuses it, NT 4.0 lists its own, 95/98 answer 87
    // (Wine's test; NT 3.51 unconfirmed, taken as NT 4.0).
    SetLastError(untouched);
    BOOL ok = EnumPrintProcessorsA(nullptr, text("invalid_env"), 1, buffer.data(), needed, &needed, &returned);
    if (!machine->is_nt()) {
        expect_failure(ok, ERROR_INVALID_PARAMETER);
    } else if (GetParam() == Platform::win2000) {
        expect_failure(ok, ERROR_INVALID_ENVIRONMENT);
    } else {
        EXPECT_TRUE(ok);
    }

    // NT wants both out-values; 95/98 do without (Wine's test).
    SetLastError(untouched);
    ok = EnumPrintProcessorsA(nullptr, nullptr, 1, buffer.data(), needed, nullptr, &returned);
    expect_nt_refuses(ok, 1780);  // RPC_X_NULL_REF_POINTER
}

TEST_P(Processors, AddedFromTheDirectoryRegisteredAndHeld) {
    machine->files().write_file(installed, processor_dll());
    ASSERT_TRUE(add()) << GetLastError();
    EXPECT_EQ(enumerated_processors(), (std::vector<std::string>{"Orvana Print Processor", "WinPrint"}));
    const std::string key = machine->spooler().processor_key("Orvana Print Processor");
    EXPECT_EQ(key, machine->spooler().root() + "\\Environments\\" + machine->spooler().environment() +
                       "\\Print Processors\\Orvana Print Processor");
    EXPECT_EQ(machine->registry().value(key, reg::processor_driver)->bytes, std::string("orvproc.dll", 12));
    EXPECT_FALSE(writable(installed)) << "the spooler loaded it";
    SetLastError(untouched);
    expect_failure(add("orvproc.dll", "orvana print processor"), ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED);

    // Saved with the machine, and loaded again by the spooler of the machine opened again.
    const std::filesystem::path folder = std::filesystem::temp_directory_path() /
                                         ("processors-" + std::string(machine->platform_info().name));
    std::filesystem::remove_all(folder);
    auto saved = Machine::create(GetParam(), {}, folder);
    saved->files().write_file(installed, processor_dll());
    ASSERT_TRUE(add());
    saved->save();
    saved.reset();
    auto reopened = Machine::open(folder);
    EXPECT_EQ(enumerated_processors(), (std::vector<std::string>{"Orvana Print Processor", "WinPrint"}));
    EXPECT_FALSE(writable(installed));
    reopened.reset();
    std::filesystem::remove_all(folder);
}

TEST_P(Processors, ReplacingTheFileNeedsTheSpoolerGone) {
    machine->files().write_file(installed, processor_dll());
    ASSERT_TRUE(add());
    ASSERT_FALSE(writable(installed));
    if (machine->is_nt()) {
        machine->services().set_stopped("Spooler");
        EXPECT_TRUE(writable(installed)) << "a stopped spooler lets go";
        machine->services().set_running("Spooler");
    } else {
        machine->reboot();
        machine->make_current();
        EXPECT_FALSE(writable(installed)) << "95/98's spooler loads it again at start";
        return;
    }
    EXPECT_FALSE(writable(installed)) << "and holds it again when it starts";
}

TEST_P(Processors, OneRegisteredThroughTheControlApiIsLoadedToo) {
    machine->files().write_file(installed, processor_dll());
    machine->spooler().add_print_processor("Orvana Print Processor", "orvproc.dll", {"RAW"});
    EXPECT_FALSE(writable(installed));
}

TEST_P(Processors, AddRefusals) {
    machine->files().make_directories("C:\\SETUP");
    machine->files().write_file("C:\\SETUP\\orvproc.dll", processor_dll());
    // The spooler loads from its directory only. NT gives the loader's codes
    // (unconfirmed); 95/98 give 87 for every DLL they cannot take, as their AddMonitorA
    // does (platform-facts; unconfirmed for processors).
    const bool nt = machine->is_nt();
    SetLastError(untouched);
    expect_failure(add("C:\\SETUP\\orvproc.dll"), nt ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
    SetLastError(untouched);
    expect_failure(add(), nt ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER);
    machine->files().write_file(installed, "not an image");
    SetLastError(untouched);
    expect_failure(add(), nt ? ERROR_BAD_EXE_FORMAT : ERROR_INVALID_PARAMETER);
    machine->files().write_file(installed, processor_dll({"OpenPrintProcessor"}));
    SetLastError(untouched);
    expect_failure(add(), nt ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_PARAMETER);
    machine->files().write_file(installed, processor_dll());
    SetLastError(untouched);
    expect_failure(add("orvproc.dll", ""), ERROR_INVALID_PARAMETER);
    SetLastError(untouched);
    expect_failure(AddPrintProcessorA(nullptr, text("invalid_env"), text("orvproc.dll"), text("Orvana")), ERROR_INVALID_ENVIRONMENT);
    EXPECT_EQ(enumerated_processors(), std::vector<std::string>{"WinPrint"}) << "nothing was registered";
    EXPECT_TRUE(writable(installed));
    // A path into the directory is the same as the bare name.
    EXPECT_TRUE(add(installed.c_str())) << GetLastError();
}

TEST_P(Processors, DeletionRefusedWhileAPrinterUsesIt) {
    machine->files().write_file(installed, processor_dll());
    ASSERT_TRUE(add());
    machine->spooler().add_driver("Orvana Print Driver");
    machine->spooler().add_printer("Fax", "LPT1:", "Orvana Print Driver", "Orvana Print Processor");
    SetLastError(untouched);
    // Microsoft's MS-RPRN, RpcDeletePrintProcessor: ERROR_CAN_NOT_COMPLETE.
    expect_failure(DeletePrintProcessorA(nullptr, nullptr, text("ORVANA PRINT PROCESSOR")), ERROR_CAN_NOT_COMPLETE);

    // A printer waiting for its deletion still prints through it.
    machine->spooler().queue_job("Fax");
    HANDLE printer = nullptr;
    PRINTER_DEFAULTSA all{nullptr, nullptr, PRINTER_ALL_ACCESS};
    ASSERT_TRUE(OpenPrinterA(text("Fax"), &printer, &all));
    ASSERT_TRUE(DeletePrinter(printer));
    ClosePrinter(printer);
    ASSERT_TRUE(machine->spooler().has_printer("Fax"));
    SetLastError(untouched);
    expect_failure(DeletePrintProcessorA(nullptr, nullptr, text("Orvana Print Processor")), ERROR_CAN_NOT_COMPLETE);

    machine->spooler().finish_job("Fax", machine->spooler().jobs("Fax").front().id);
    ASSERT_FALSE(machine->spooler().has_printer("Fax"));
    ASSERT_TRUE(DeletePrintProcessorA(nullptr, nullptr, text("orvana print processor"))) << GetLastError();
    EXPECT_EQ(enumerated_processors(), std::vector<std::string>{"WinPrint"});
    EXPECT_TRUE(machine->files().exists(installed)) << "the file stays";
    EXPECT_TRUE(writable(installed)) << "and is no longer loaded";
    SetLastError(untouched);
    expect_failure(DeletePrintProcessorA(nullptr, nullptr, text("Orvana Print Processor")), ERROR_UNKNOWN_PRINTPROCESSOR);
}

TEST_P(Processors, NtAsksForAnAdministrator) {
    winsim::MachineOptions user;
    user.administrator = false;
    machine = Machine::create(GetParam(), user);
    machine->files().write_file(installed, processor_dll());
    SetLastError(untouched);
    BOOL ok = add();
    if (!machine->is_nt()) {
        EXPECT_TRUE(ok) << "95/98 have no administrators";
        return;
    }
    expect_failure(ok, ERROR_ACCESS_DENIED);
    SetLastError(untouched);
    expect_failure(DeletePrintProcessorA(nullptr, nullptr, text("WinPrint")), ERROR_ACCESS_DENIED);
}

TEST_P(Processors, EveryCallFailsWhenToldAndWithoutTheSpooler) {
    machine->files().write_file(installed, processor_dll());
    char buffer[MAX_PATH * 2];
    DWORD needed = 0, returned = 0;
    const std::vector<std::pair<std::string, std::function<BOOL()>>> calls{
        {"EnumPrintProcessorsA", [&] { return EnumPrintProcessorsA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed, &returned); }},
        {"GetPrintProcessorDirectoryA", [&] { return GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(buffer), sizeof buffer, &needed); }},
        {"AddPrintProcessorA", [&] { return add(); }},
        {"DeletePrintProcessorA", [&] { return DeletePrintProcessorA(nullptr, nullptr, text("Orvana Print Processor")); }},
    };
    for (const auto& [api, call] : calls) {
        SCOPED_TRACE(api);
        machine->faults().fail(api, ERROR_NOT_ENOUGH_MEMORY);
        SetLastError(untouched);
        expect_failure(call(), ERROR_NOT_ENOUGH_MEMORY);
        EXPECT_TRUE(call()) << GetLastError();
    }
    EXPECT_EQ(enumerated_processors(), std::vector<std::string>{"WinPrint"}) << "added once, deleted once";

    // NT's spooler stopped answers none of them.
    if (!machine->is_nt()) return;
    machine->services().set_stopped("Spooler");
    for (const auto& [api, call] : calls) {
        SCOPED_TRACE(api);
        SetLastError(untouched);
        expect_failure(call(), RPC_S_SERVER_UNAVAILABLE);
    }
}

INSTANTIATE_TEST_SUITE_P(Platforms, Processors,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

}  // namespace
