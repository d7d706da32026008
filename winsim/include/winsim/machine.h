// winsim's control API: how tests and tools build a simulated Windows machine, make
// its calls fail, move its clock, and look at what the library did to it.
#pragma once

#include <winsim/windows.h>
#include <winsim/platforms.h>
#include <winsim/user/desktop.h>
#include <winsim/faults.h>
#include <winsim/gdi/graphics.h>
#include <winsim/kernel/filesystem.h>
#include <winsim/registry/registry.h>
#include <winsim/services/services.h>
#include <winsim/shell/shell.h>
#include <winsim/spooler/spooler.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace winsim {

enum class Arch { x86, x64 };
enum class SetupApi { present, without_is_user_admin, absent };

const char* arch_name(Arch arch);
const char* setupapi_name(SetupApi setupapi);

struct MachineOptions {
    Arch arch = Arch::x86;
    bool administrator = true;
    bool terminal_services = false;
    SetupApi setupapi = SetupApi::present;
    // Program Manager (or, after NT 3.x, the shell standing in for it) answers DDE.
    bool program_manager = true;
};

// The machine's own time. Nothing in winsim really sleeps: Sleep and every time-out
// move this clock, so a test of a five-minute wait runs in microseconds.
class Clock {
public:
    // Milliseconds since the machine was switched on (what GetTickCount reports).
    std::uint64_t uptime_ms() const { return uptime_ms_; }
    void advance(std::uint64_t ms) {
        uptime_ms_ += ms;
        if (on_advance) on_advance();
    }
    // What runs on the machine's time (its services) catches up after every move.
    std::function<void()> on_advance;
    // Wall time as a FILETIME (100 ns units since 1601), UTC.
    FILETIME now() const;
    std::uint64_t boot_time() const { return boot_time_; }
    void set_state(std::uint64_t boot_time, std::uint64_t uptime_ms) {
        boot_time_ = boot_time;
        uptime_ms_ = uptime_ms;
    }

private:
    // 1999-07-01 09:00:00 UTC: every new machine starts at the same instant, so runs repeat.
    std::uint64_t boot_time_ = 125749908000000000ULL;
    std::uint64_t uptime_ms_ = 0;
};

namespace detail {
struct MachineState;
}

// One simulated Windows machine, and the one process that runs on it. Creating a
// machine makes it current: every Win32 call of winsim acts on the current machine.
// A new machine is a new process, so a library loaded on it attaches afresh.
class Machine {
public:
    // A new machine of the given platform. With a folder, save() keeps it there.
    static std::unique_ptr<Machine> create(Platform platform, MachineOptions options = {},
                                           std::filesystem::path folder = {});
    // A machine saved earlier in `folder`. Throws std::runtime_error when the folder
    // holds no machine or its state cannot be read.
    static std::unique_ptr<Machine> open(const std::filesystem::path& folder);
    static bool exists_in(const std::filesystem::path& folder);
    // A new machine laid out as a description says (see description.h), from its file
    // or from its text (`source` names it in messages). Throws DescriptionError for a
    // description it refuses, and std::runtime_error when the file cannot be read.
    static std::unique_ptr<Machine> create_from_description(const std::filesystem::path& description,
                                                            std::filesystem::path folder = {});
    static std::unique_ptr<Machine> create_from_description_text(std::string_view text, std::string_view source,
                                                                 std::filesystem::path folder = {});

    ~Machine();
    Machine(const Machine&) = delete;
    Machine& operator=(const Machine&) = delete;

    // Writes the drives and the machine's state into its folder.
    void save() const;

    // Restarts the machine: the process ends (its handles, views, blocks, modules and
    // every other process's holds go), the operations put off to the restart are
    // carried out (PendingFileRenameOperations on NT, WININIT.INI on 95/98), the clock
    // starts a new uptime, and a new process runs, in which a library loaded again
    // attaches afresh. The machine stays current and usable through this object.
    void reboot();
    const std::filesystem::path& folder() const;

    Platform platform() const;
    const PlatformInfo& platform_info() const;
    const MachineOptions& options() const;
    bool is_nt() const;
    bool is_9x() const;

    Clock& clock();
    Faults& faults();
    FileSystem& files();
    Desktop& desktop();
    // The devices of the printer drivers, the screen, and every document printed.
    Graphics& graphics();
    Registry& registry();
    // The service control manager (NT) and the print spooler.
    Services services();
    Spooler spooler();
    // Program Manager's groups, the Startup folders' links, the programs started.
    Shell shell();
    // WIN.INI as the platform keeps it: on NT the sections Windows maps to the user's
    // registry ("Windows", "Devices", ...) are read there, the rest from the file.
    std::optional<std::string> win_ini_value(std::string_view section, std::string_view key) const;
    std::vector<std::pair<std::string, std::string>> win_ini_entries(std::string_view section) const;

    // What is left allocated or open by the process: a test asserts these are as they
    // were before an operation, so that nothing leaks.
    std::size_t live_local_blocks() const;
    std::size_t live_heap_blocks() const;
    std::size_t open_handles() const;
    std::size_t loaded_modules() const;

    void make_current();
    detail::MachineState& state() { return *state_; }

private:
    explicit Machine(std::unique_ptr<detail::MachineState> state);
    std::unique_ptr<detail::MachineState> state_;
};

// The current machine. Calling a Win32 function of winsim without one is a fault of
// the caller and stops the process with a message.
Machine& current_machine();
bool has_current_machine();

}  // namespace winsim
