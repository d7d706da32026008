// File operations put off to the next restart, and carrying them out when the machine
// restarts. NT keeps them in PendingFileRenameOperations, which the session manager
// works through before any program runs; 95/98 have no MoveFileExA and read the
// [rename] section of WININIT.INI instead, in real mode, before long names exist.
#include "core/names.h"
#include "core/api.h"
#include "kernel/deferred_moves.h"
#include "kernel/file_rules.h"
#include "kernel/short_names.h"

#include <algorithm>
#include <cctype>

namespace winsim::detail {

namespace {

constexpr std::string_view session_manager = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager";
constexpr std::string_view pending_value = "PendingFileRenameOperations";
// The session manager's own name space, in which the value names files.
constexpr std::string_view nt_prefix = "\\??\\";
// WININIT reads a line into a buffer of this size; a longer line is not read as an
// entry at all (unconfirmed: the limit is chosen, the real one is not documented).
constexpr std::size_t wininit_line_limit = 256;


std::string_view trimmed(std::string_view text) {
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.front()))) text.remove_prefix(1);
    while (!text.empty() && std::isspace(static_cast<unsigned char>(text.back()))) text.remove_suffix(1);
    return text;
}

std::string_view without_nt_prefix(std::string_view path) {
    if (path.substr(0, nt_prefix.size()) == nt_prefix) path.remove_prefix(nt_prefix.size());
    return path;
}

// Deletes a file, or an empty directory, as the restart does: without asking anyone.
void delete_at_restart(const std::string& path) {
    DWORD error = 0;
    std::optional<Resolved> target = resolve(path.c_str(), error);
    if (!target || !target->node) return;
    if (target->node->directory) {
        if (target->node->children.empty() && target->node->parent) state().files.unlink(target->node);
        return;
    }
    delete_file(*target);
}

void move_at_restart(const std::string& from, const std::string& to, bool replace) {
    DWORD error = 0;
    std::optional<Resolved> source = resolve(from.c_str(), error);
    std::optional<Resolved> target = resolve(to.c_str(), error);
    if (!source || !source->node || !target || target->path.components.empty()) return;
    if (source->path.drive != target->path.drive) return;
    move_node(*source, *target, replace);
}

}  // namespace

// Each pair is carried out in the order it was written. A failed operation is passed
// over silently, as the session manager does: a move onto a file that exists without
// the "!" of MOVEFILE_REPLACE_EXISTING leaves both files as they were, and a
// read-only file is neither replaced nor deleted.
void carry_out_pending_renames(MachineState& machine) {
    std::optional<RegistryValue> value = machine.registry.value(session_manager, pending_value);
    if (!value) return;
    const std::string& bytes = value->bytes;
    std::size_t at = 0;
    auto next_string = [&]() {
        std::size_t end = bytes.find('\0', at);
        if (end == std::string::npos) end = bytes.size();
        std::string text = bytes.substr(at, end - at);
        at = std::min(bytes.size(), end + 1);
        return text;
    };
    while (at < bytes.size()) {
        std::string source = next_string();
        if (source.empty()) break;  // the empty string that ends the list
        std::string target = next_string();
        std::string from(without_nt_prefix(source));
        if (target.empty()) {
            delete_at_restart(from);
            continue;
        }
        bool replace = target.front() == '!';
        std::string to(without_nt_prefix(std::string_view(target).substr(replace ? 1 : 0)));
        move_at_restart(from, to, replace);
    }
    machine.registry.delete_value(session_manager, pending_value);
}

// The [rename] section, in file order: "NUL=file" deletes the file, "dest=source"
// moves the source onto the destination, replacing it. Both must be written in 8.3
// form: a line naming a long name is passed over, as WININIT.EXE cannot read long
// names. Afterwards WININIT.INI becomes WININIT.BAK, replacing an older one.
void carry_out_wininit(MachineState& machine) {
    const Directories where = platform_directories(machine.platform, machine.options.administrator);
    const std::string ini = where.windows + "\\WININIT.INI";
    DWORD error = 0;
    std::optional<Resolved> file = resolve(ini.c_str(), error);
    if (!file || !file->node || file->node->directory) return;
    const std::string text = file->node->data;
    bool in_rename = false;
    std::size_t at = 0;
    while (at < text.size()) {
        std::size_t end = text.find('\n', at);
        if (end == std::string::npos) end = text.size();
        std::string_view raw = std::string_view(text).substr(at, end - at);
        at = end + 1;
        if (raw.size() > wininit_line_limit) continue;
        std::string_view line = trimmed(raw);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            std::size_t close = line.find(']');
            in_rename = close != std::string_view::npos && same_name(trimmed(line.substr(1, close - 1)), "rename");
            continue;
        }
        if (!in_rename) continue;
        std::size_t equals = line.find('=');
        if (equals == std::string_view::npos) continue;
        std::string destination(trimmed(line.substr(0, equals)));
        std::string source(trimmed(line.substr(equals + 1)));
        DWORD parse_error = 0;
        std::optional<WindowsPath> source_path = FileSystem::parse(source, parse_error);
        if (source.empty() || !source_path || !is_short_path(*source_path)) continue;
        if (same_name(destination, "NUL")) {
            delete_at_restart(source);
            continue;
        }
        std::optional<WindowsPath> destination_path = FileSystem::parse(destination, parse_error);
        if (!destination_path || !is_short_path(*destination_path)) continue;
        move_at_restart(source, destination, true);
    }
    const std::string bak = where.windows + "\\WININIT.BAK";
    std::optional<Resolved> backup = resolve(bak.c_str(), error);
    if (!backup) return;
    if (backup->node) machine.files.unlink(backup->node);
    machine.files.unlink(file->node);
    machine.files.link(*backup->directory, file->node, "WININIT.BAK");
}

}  // namespace winsim::detail

namespace {

using winsim::detail::Resolved;
using winsim::detail::fail;
using winsim::detail::state;

constexpr DWORD error_not_same_device = 17;

}  // namespace

// On NT a delayed operation is written, not done: the source as "\??\C:\path", then
// the destination as "\??\C:\path", with a "!" before it when MOVEFILE_REPLACE_EXISTING
// is given, or an empty string for a deletion (no new name), each with its
// terminator; after the last pair comes the empty string that ends a REG_MULTI_SZ.
// A new pair goes before that end, so the list grows in the order of the calls. The
// paths are full paths with the letters the caller gave.
BOOL WINAPI MoveFileExA(LPCSTR lpExistingFileName, LPCSTR lpNewFileName, DWORD dwFlags) {
    WINSIM_API("MoveFileExA", FALSE);
    if (!winsim::detail::is_nt()) return fail(ERROR_CALL_NOT_IMPLEMENTED, FALSE);
    if (!lpExistingFileName) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const bool delay = dwFlags & MOVEFILE_DELAY_UNTIL_REBOOT;
    const bool replace = dwFlags & MOVEFILE_REPLACE_EXISTING;
    if (delay && (dwFlags & MOVEFILE_COPY_ALLOWED)) return fail(ERROR_INVALID_PARAMETER, FALSE);
    DWORD error = 0;
    // Unconfirmed for the delayed form: the source must be there when the call is made.
    std::optional<Resolved> source = winsim::detail::resolve_existing(lpExistingFileName, error);
    if (!source) return fail(error, FALSE);
    if (delay) {
        std::string target;
        if (lpNewFileName) {
            std::optional<winsim::WindowsPath> parsed = state().files.full_path(lpNewFileName, error);
            if (!parsed) return fail(error, FALSE);
            target = (replace ? "!" : "") + std::string(winsim::detail::nt_prefix) + parsed->text();
        }
        // Only administrators may write under the session manager's key.
        if (!state().options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
        std::string list;
        std::optional<winsim::RegistryValue> value =
            state().registry.value(winsim::detail::session_manager, winsim::detail::pending_value);
        if (value && value->type == REG_MULTI_SZ) {
            list = value->bytes;
            if (!list.empty() && list.back() == '\0') list.pop_back();  // the list's end, put back below
        }
        list += std::string(winsim::detail::nt_prefix) + source->path.text();
        list += '\0';
        list += target;
        list += '\0';
        list += '\0';
        state().registry.set_value(winsim::detail::session_manager, winsim::detail::pending_value, REG_MULTI_SZ, list);
        return TRUE;
    }
    if (!lpNewFileName) return fail(ERROR_INVALID_PARAMETER, FALSE);
    std::optional<Resolved> target = winsim::detail::resolve(lpNewFileName, error);
    if (!target) return fail(error, FALSE);
    if (target->path.components.empty()) return fail(ERROR_ACCESS_DENIED, FALSE);
    if (target->path.drive != source->path.drive) {
        if (!(dwFlags & MOVEFILE_COPY_ALLOWED)) return fail(error_not_same_device, FALSE);
        return winsim::detail::not_simulated("MoveFileExA copying across drives", FALSE);
    }
    if (DWORD refused = winsim::detail::move_node(*source, *target, replace)) return fail(refused, FALSE);
    return TRUE;
}
