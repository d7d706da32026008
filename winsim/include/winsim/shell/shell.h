// Control API of what a user's session on the machine runs: Program Manager's groups
// (NT 3.51 keeps its Startup group there), the Startup folders of the shell that
// answers Program Manager's commands everywhere else, the links in them, and the
// programs started on the machine with their windows.
#pragma once

#include <winsim/windows.h>

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

namespace detail {
struct MachineState;
}

struct ProgramItem {
    std::string name;
    std::string command_line;
};

struct ProgramGroup {
    std::string name;
    bool common = false;  // a group of every user of the machine
    std::vector<ProgramItem> items;
};

// What a link file holds, as the shell reads it back.
struct ShellLinkContents {
    std::string target;
    std::string description;
    std::string working_directory;
    std::string arguments;
};

struct StartupLink {
    std::string path;
    std::optional<ShellLinkContents> contents;  // none when the file is no link
};

// A program CreateProcessA started, with what it was started with.
struct StartedProcess {
    DWORD id = 0;
    std::string program;
    std::string command_line;
    DWORD creation_flags = 0;
    std::string desktop;
    DWORD startup_flags = 0;
    WORD show_window = 0;
    std::string window_class;  // the class of its window, empty when it has none
    bool running = true;
};

// Something a program did to another, at the machine's uptime, in the words a person
// watching would use ("started C:\ORVANA\orvdaemon.exe").
struct ProgramEvent {
    std::uint64_t uptime_ms = 0;
    std::string what;
};

// The product's daemon is known by the class of the window it opens, which its string
// table holds as string 1.
inline constexpr const char* daemon_window_class = "OrvanaDaemonClass";
inline constexpr UINT daemon_class_string = 1;

class Shell {
public:
    explicit Shell(detail::MachineState& machine) : machine_(machine) {}

    // Program Manager's groups, as it keeps them (on NT 3.51; elsewhere none).
    const std::vector<ProgramGroup>& program_groups() const;
    // The folders whose links start with every logon, the common one first; none on
    // NT 3.51, whose Startup group is Program Manager's.
    std::vector<std::string> startup_folders() const;
    // The files in those folders, each read as a link.
    std::vector<StartupLink> startup_links() const;

    // Ends or starts again what answers Program Manager's conversation (the machine's
    // option of that name).
    void run_program_manager(bool running);

    const std::vector<StartedProcess>& processes() const;
    // CreateProcessA of that program fails with `code` while set (0 lets it start).
    void refuse_start(std::string_view program, DWORD code);
    // The program's window ignores SC_CLOSE while set.
    void refuse_close(std::string_view program, bool refuse = true);
    // What programs did since this process began, oldest first.
    const std::vector<ProgramEvent>& events() const;
    // COM objects of the process not yet released, and its open DDE instances: a test
    // asserts both are 0 after an operation.
    int live_com_objects() const;
    std::size_t live_dde_instances() const;

private:
    detail::MachineState& machine_;
};

// A link in the documented binary format, or nothing when the bytes hold none.
std::optional<ShellLinkContents> read_shell_link(std::string_view bytes);

}  // namespace winsim
