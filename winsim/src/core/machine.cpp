#include "core/api.h"
#include "kernel/deferred_moves.h"
#include "kernel/file_rules.h"
#include "kernel/profiles.h"
#include "registry/registry_store.h"
#include "services/service_persistence.h"
#include "shell/session_persistence.h"
#include "gdi/graphics_persistence.h"
#include "core/state.h"

#include <toml++/toml.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace winsim {

namespace {

Machine* current = nullptr;

constexpr const char* state_file = "machine.toml";
constexpr const char* registry_file = "registry.reg";

using detail::filetime_of;

std::int64_t filetime_value(const FILETIME& time) { return static_cast<std::int64_t>(detail::ticks_of(time)); }

// The process's memory blocks go with it.
void free_process_memory(detail::MachineState& machine) {
    for (const auto& [block, size] : machine.local_blocks) std::free(const_cast<void*>(block));
    for (const auto& [block, size] : machine.heap_blocks) std::free(const_cast<void*>(block));
    machine.local_blocks.clear();
    machine.heap_blocks.clear();
}

template <typename Enum, std::size_t N>
Enum enum_named(const std::string& name, const std::pair<Enum, const char*> (&names)[N], const char* what) {
    for (const auto& [value, text] : names)
        if (name == text) return value;
    throw std::runtime_error(std::string("unknown ") + what + " in machine state: " + name);
}

constexpr std::pair<Arch, const char*> arch_names[] = {{Arch::x86, "x86"}, {Arch::x64, "x64"}};
ShortNameStyle short_name_style(Platform platform) {
    return platform_info(platform).family == Family::nt ? ShortNameStyle::ntfs : ShortNameStyle::vfat;
}

constexpr std::pair<SetupApi, const char*> setupapi_names[] = {
    {SetupApi::present, "present"}, {SetupApi::without_is_user_admin, "without-isuseradmin"}, {SetupApi::absent, "absent"}};

}  // namespace

const char* arch_name(Arch arch) { return arch == Arch::x64 ? "x64" : "x86"; }

const char* setupapi_name(SetupApi setupapi) {
    for (const auto& [value, text] : setupapi_names)
        if (value == setupapi) return text;
    return "present";
}

FILETIME Clock::now() const {
    return detail::filetime_of(boot_time_ + uptime_ms_ * 10000);
}

Machine::Machine(std::unique_ptr<detail::MachineState> state) : state_(std::move(state)) {
    detail::MachineState* machine = state_.get();
    state_->clock.on_advance = [machine] { detail::settle_services(*machine); };
    make_current();
}

Machine::~Machine() {
    // The process ends with its machine: whatever it still held goes with it.
    free_process_memory(*state_);
    if (current == this) current = nullptr;
}

std::unique_ptr<Machine> Machine::create(Platform platform, MachineOptions options, std::filesystem::path folder) {
    auto state = std::make_unique<detail::MachineState>();
    state->platform = platform;
    state->options = options;
    state->folder = std::move(folder);
    state->registry.store().lay_out(platform, options);
    state->files.set_short_name_style(short_name_style(platform));
    detail::lay_out_directories(*state);
    detail::lay_out_services(*state);
    detail::lay_out_spooler(*state);
    detail::lay_out_session(*state);
    return std::unique_ptr<Machine>(new Machine(std::move(state)));
}

bool Machine::exists_in(const std::filesystem::path& folder) {
    return std::filesystem::exists(folder / state_file);
}

std::unique_ptr<Machine> Machine::open(const std::filesystem::path& folder) {
    if (!exists_in(folder)) throw std::runtime_error("no machine in " + folder.string());
    toml::table table;
    try {
        table = toml::parse_file((folder / state_file).string());
    } catch (const toml::parse_error& error) {
        throw std::runtime_error("machine state " + (folder / state_file).string() + ": " + std::string(error.description()));
    }
    auto state = std::make_unique<detail::MachineState>();
    std::string platform_name = table["platform"].value_or(std::string{});
    std::optional<Platform> platform = find_platform(platform_name);
    if (!platform) throw std::runtime_error("unknown platform in machine state: " + platform_name);
    state->platform = *platform;
    state->folder = folder;
    state->options.arch = enum_named(table["arch"].value_or(std::string("x86")), arch_names, "architecture");
    state->options.administrator = table["administrator"].value_or(true);
    state->options.terminal_services = table["terminal_services"].value_or(false);
    state->options.setupapi = enum_named(table["setupapi"].value_or(std::string("present")), setupapi_names, "SETUPAPI option");
    state->options.program_manager = table["program_manager"].value_or(true);
    state->clock.set_state(static_cast<std::uint64_t>(table["clock"]["boot_time"].value_or(std::int64_t{125749908000000000})),
                           static_cast<std::uint64_t>(table["clock"]["uptime_ms"].value_or(std::int64_t{0})));

    state->files.set_short_name_style(short_name_style(state->platform));
    if (const toml::array* drives = table["drive"].as_array()) {
        for (const toml::node& entry : *drives) {
            const toml::table* drive = entry.as_table();
            std::string letter = drive ? (*drive)["letter"].value_or(std::string{}) : std::string{};
            if (letter.size() != 1 || state->files.has_drive(letter[0]))
                throw std::runtime_error("bad drive in machine state: " + letter);
            state->files.add_drive(letter[0], (*drive)["read_only"].value_or(false));
        }
    }
    std::vector<std::string> order;
    if (const toml::array* files = table["file"].as_array())
        for (const toml::node& entry : *files)
            if (const toml::table* file = entry.as_table()) order.push_back((*file)["path"].value_or(std::string{}));
    state->files.load_from(folder, order);
    if (const toml::array* files = table["file"].as_array()) {
        for (const toml::node& entry : *files) {
            const toml::table* file = entry.as_table();
            if (!file) continue;
            std::shared_ptr<FileNode> node = state->files.node((*file)["path"].value_or(std::string{}));
            if (!node) continue;  // removed from the folder by hand
            node->attributes = static_cast<DWORD>((*file)["attributes"].value_or(std::int64_t{node->attributes}));
            node->creation_time = filetime_of(static_cast<std::uint64_t>((*file)["created"].value_or(std::int64_t{0})));
            node->last_access_time = filetime_of(static_cast<std::uint64_t>((*file)["accessed"].value_or(std::int64_t{0})));
            node->last_write_time = filetime_of(static_cast<std::uint64_t>((*file)["written"].value_or(std::int64_t{0})));
            // A saved alias wins over the one made on loading; a file added by hand
            // keeps the one it was given.
            if (std::optional<std::string> alias = (*file)["short"].value<std::string>()) node->short_name = *alias;
        }
    }
    if (std::optional<std::string> saved_directory = table["current_directory"].value<std::string>()) {
        try {
            state->files.set_current_directory(*saved_directory);
        } catch (const std::invalid_argument&) {
            // The directory was removed from the folder by hand: the drive's root stands in.
        }
    }
    if (const toml::array* holds = table["hold"].as_array()) {
        for (const toml::node& entry : *holds) {
            const toml::table* held = entry.as_table();
            if (!held) continue;
            std::string path = (*held)["path"].value_or(std::string{});
            if (!state->files.exists(path)) continue;
            state->files.hold(path, static_cast<DWORD>((*held)["share"].value_or(std::int64_t{0})),
                              static_cast<DWORD>((*held)["access"].value_or(std::int64_t{GENERIC_READ})),
                              (*held)["holder"].value_or(std::string(FileHold::other_program)));
        }
    }
    // A machine saved before it had a registry file gets a new machine's registry.
    state->registry.store().lay_out(state->platform, state->options);
    if (std::filesystem::exists(folder / registry_file)) {
        std::ifstream in(folder / registry_file, std::ios::binary);
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        if (!in && !in.eof()) throw std::runtime_error("cannot read " + (folder / registry_file).string());
        state->registry.store().read_text(text);
    }
    detail::read_services(*state, table);
    detail::read_spooler(*state, table);
    detail::read_session(*state, table);
    detail::read_graphics(*state, table);
    return std::unique_ptr<Machine>(new Machine(std::move(state)));
}

void Machine::save() const {
    if (state_->folder.empty()) throw std::logic_error("this machine has no folder to be saved in");
    std::filesystem::create_directories(state_->folder);
    state_->files.save_to(state_->folder);

    toml::table table{
        {"platform", std::string(platform_info().name)},
        {"arch", arch_name(state_->options.arch)},
        {"administrator", state_->options.administrator},
        {"terminal_services", state_->options.terminal_services},
        {"setupapi", setupapi_name(state_->options.setupapi)},
        {"program_manager", state_->options.program_manager},
        {"clock",
         toml::table{{"boot_time", static_cast<std::int64_t>(state_->clock.boot_time())},
                     {"uptime_ms", static_cast<std::int64_t>(state_->clock.uptime_ms())}}},
    };
    table.insert("current_directory", state_->files.current_directory());
    toml::array drives;
    for (char letter : state_->files.drive_letters())
        if (letter != 'C') drives.push_back(toml::table{{"letter", std::string(1, letter)}, {"read_only", state_->files.is_read_only(letter)}});
    table.insert("drive", std::move(drives));
    toml::array files;
    for (const auto& [path, node] : state_->files.walk()) {
        if (!node->parent) continue;  // the root of the drive has nothing of its own
        toml::table file{{"path", path},
                         {"attributes", static_cast<std::int64_t>(node->attributes)},
                         {"created", filetime_value(node->creation_time)},
                         {"accessed", filetime_value(node->last_access_time)},
                         {"written", filetime_value(node->last_write_time)}};
        if (!node->short_name.empty()) file.insert("short", node->short_name);
        files.push_back(std::move(file));
    }
    table.insert("file", std::move(files));
    toml::array holds;
    for (const FileHold& held : state_->files.holds())
        holds.push_back(toml::table{{"path", held.path},
                                    {"share", static_cast<std::int64_t>(held.share)},
                                    {"access", static_cast<std::int64_t>(held.access)},
                                    {"holder", held.holder}});
    table.insert("hold", std::move(holds));
    detail::write_services(*state_, table);
    detail::write_spooler(*state_, table);
    detail::write_graphics(*state_, table);
    detail::write_session(*state_, table);
    std::ofstream out(state_->folder / state_file);
    out << "# A simulated Windows machine; drive C: is the folder beside this file.\n" << table << "\n";
    if (!out) throw std::runtime_error("cannot write the machine state in " + state_->folder.string());
    std::ofstream registry_out(state_->folder / registry_file, std::ios::binary);
    registry_out << state_->registry.store().write_text();
    if (!registry_out) throw std::runtime_error("cannot write the registry in " + state_->folder.string());
}

void Machine::reboot() {
    make_current();
    detail::MachineState& machine = *state_;
    // The process ends as ExitProcess ends it: its DLLs are told, then everything it
    // had open or allocated goes. Every other program ends too, and their holds with them.
    for (auto& [base, module] : machine.modules) {
        if (!module.entry_called || !module.program || !module.program->entry) continue;
        detail::ForeignCode foreign;
        module.program->entry(reinterpret_cast<HINSTANCE>(base), DLL_PROCESS_DETACH, nullptr);
    }
    machine.modules.clear();
    machine.next_module_base = 0x10000000;
    detail::write_back_views(machine);
    machine.views.clear();
    machine.handles.clear();
    machine.next_handle = 0x100;
    free_process_memory(machine);
    machine.files.release_all();
    detail::end_session(machine);

    // The system starts again: what was put off to the restart is done before any
    // program runs.
    machine.clock.set_state(detail::ticks_of(machine.clock.now()), 0);
    if (is_nt()) detail::carry_out_pending_renames(machine);
    else if (is_9x()) detail::carry_out_wininit(machine);
    // Then the auto-start services start: the spooler among them, which loads its
    // monitors and so holds their files. 95/98 load their spooler without a service.
    detail::restart_services(machine);

    // A new process: it starts in the root of drive C:, with no error set.
    machine.files.set_current_path(WindowsPath{});
    machine.last_error = 0;
}

const std::filesystem::path& Machine::folder() const { return state_->folder; }
Platform Machine::platform() const { return state_->platform; }
const PlatformInfo& Machine::platform_info() const { return winsim::platform_info(state_->platform); }
const MachineOptions& Machine::options() const { return state_->options; }
bool Machine::is_nt() const { return platform_info().family == Family::nt; }
bool Machine::is_9x() const { return platform_info().family == Family::win9x; }
Clock& Machine::clock() { return state_->clock; }
Faults& Machine::faults() { return state_->faults; }
FileSystem& Machine::files() { return state_->files; }
Desktop& Machine::desktop() { return state_->desktop; }
Graphics& Machine::graphics() { return state_->graphics; }
Registry& Machine::registry() { return state_->registry; }
Services Machine::services() { return Services(*state_); }
Spooler Machine::spooler() { return Spooler(*state_); }
Shell Machine::shell() { return Shell(*state_); }

std::optional<std::string> Machine::win_ini_value(std::string_view section, std::string_view key) const {
    return detail::win_ini_value(*state_, section, key);
}

std::vector<std::pair<std::string, std::string>> Machine::win_ini_entries(std::string_view section) const {
    return detail::win_ini_entries(*state_, section);
}
std::size_t Machine::live_local_blocks() const { return state_->local_blocks.size(); }
std::size_t Machine::live_heap_blocks() const { return state_->heap_blocks.size(); }
std::size_t Machine::open_handles() const { return state_->handles.size(); }
std::size_t Machine::loaded_modules() const { return state_->modules.size(); }
void Machine::make_current() { current = this; }

Machine& current_machine() {
    if (!current) {
        std::fputs("winsim: a Win32 call was made with no machine\n", stderr);
        std::abort();
    }
    return *current;
}

bool has_current_machine() { return current != nullptr; }

namespace detail {
MachineState& state() { return current_machine().state(); }
}  // namespace detail

}  // namespace winsim
