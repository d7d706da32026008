// What the user's session keeps: Program Manager's groups, the programs started and
// how a test asked them to misbehave (saved with the machine), and the process's DDE
// instances and COM initialisation (gone with the process).
#pragma once

#include "core/names.h"

#include <winsim/shell/shell.h>

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace winsim::detail {

struct MachineState;

struct ProgramRefusal {
    DWORD start_code = 0;
    bool close = false;
};

// One DDEML instance of the process: its strings and conversations by handle, and its
// last error, which DdeGetLastError hands out once.
struct DdeInstance {
    UINT last_error = DMLERR_NO_ERROR;
    std::map<std::uintptr_t, std::string> strings;
    std::vector<std::uintptr_t> conversations;
    // Data handles made and not yet given to a transaction.
    std::map<std::uintptr_t, std::string> data;
};

// The group Program Manager's commands act on: the one last created or shown.
struct GroupChoice {
    std::string name;
    bool common = false;
};

struct SessionRun {
    std::vector<ProgramGroup> program_groups;
    std::optional<GroupChoice> current_group;
    std::vector<StartedProcess> processes;
    DWORD next_process_id = 0x48;
    std::map<std::string, ProgramRefusal, LessNoCase> refusals;
    std::vector<ProgramEvent> events;

    std::map<DWORD, DdeInstance> dde_instances;
    DWORD next_dde_instance = 1;
    std::uintptr_t next_dde_handle = 0xC000;
    // The conversation's own handle, and the instance it belongs to.
    std::map<std::uintptr_t, DWORD> conversations;
    int com_initialised = 0;
    // Link objects not yet released.
    int com_objects = 0;
};

// A new machine's Startup folders (and NT 3.51's Program Manager groups).
void lay_out_session(MachineState& machine);
// The common Startup group's folder and the user's, as the platform's shell keeps them;
// empty on NT 3.51.
std::vector<std::string> startup_folders(const MachineState& machine);
// The folder of a Start Menu group of that name: the All Users tree for a common group
// where the platform has one, the user's otherwise.
std::string group_folder(const MachineState& machine, std::string_view group, bool common);
// At a restart every program ends.
void end_session(MachineState& machine);
void note_program_event(MachineState& machine, std::string what);
// A link's file as this platform's shell writes it, with what the target file has.
std::string shell_link_bytes(MachineState& machine, const ShellLinkContents& link);

// Carries out one execute string of Program Manager's command language; false when a
// command was not carried out (Program Manager answers the transaction "not processed").
bool execute_program_manager_commands(MachineState& machine, std::string_view commands);

}  // namespace winsim::detail
