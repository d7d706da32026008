#include "registry_store.h"
#include "state.h"

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
constexpr const char* drive_c_folder = "drive_c";
constexpr const char* registry_file = "registry.reg";

std::int64_t filetime_value(const FILETIME& time) {
    return static_cast<std::int64_t>((static_cast<std::uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime);
}

FILETIME filetime_of(std::int64_t value) {
    auto bits = static_cast<std::uint64_t>(value);
    return FILETIME{static_cast<DWORD>(bits), static_cast<DWORD>(bits >> 32)};
}

template <typename Enum, std::size_t N>
Enum enum_named(const std::string& name, const std::pair<Enum, const char*> (&names)[N], const char* what) {
    for (const auto& [value, text] : names)
        if (name == text) return value;
    throw std::runtime_error(std::string("unknown ") + what + " in machine state: " + name);
}

constexpr std::pair<Arch, const char*> arch_names[] = {{Arch::x86, "x86"}, {Arch::x64, "x64"}};
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
    std::uint64_t time = boot_time_ + uptime_ms_ * 10000;
    return FILETIME{static_cast<DWORD>(time), static_cast<DWORD>(time >> 32)};
}

Machine::Machine(std::unique_ptr<detail::MachineState> state) : state_(std::move(state)) { make_current(); }

Machine::~Machine() {
    // The process ends with its machine: whatever it still held goes with it.
    for (const auto& [block, size] : state_->local_blocks) std::free(const_cast<void*>(block));
    for (const auto& [block, size] : state_->heap_blocks) std::free(const_cast<void*>(block));
    if (current == this) current = nullptr;
}

std::unique_ptr<Machine> Machine::create(Platform platform, MachineOptions options, std::filesystem::path folder) {
    auto state = std::make_unique<detail::MachineState>();
    state->platform = platform;
    state->options = options;
    state->folder = std::move(folder);
    state->registry.store().lay_out(platform, options);
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
    state->clock.set_state(static_cast<std::uint64_t>(table["clock"]["boot_time"].value_or(std::int64_t{125749908000000000})),
                           static_cast<std::uint64_t>(table["clock"]["uptime_ms"].value_or(std::int64_t{0})));

    std::vector<std::string> order;
    if (const toml::array* files = table["file"].as_array())
        for (const toml::node& entry : *files)
            if (const toml::table* file = entry.as_table()) order.push_back((*file)["path"].value_or(std::string{}));
    state->files.load_from(folder / drive_c_folder, order);
    if (const toml::array* files = table["file"].as_array()) {
        for (const toml::node& entry : *files) {
            const toml::table* file = entry.as_table();
            if (!file) continue;
            std::shared_ptr<FileNode> node = state->files.node((*file)["path"].value_or(std::string{}));
            if (!node) continue;  // removed from the folder by hand
            node->attributes = static_cast<DWORD>((*file)["attributes"].value_or(std::int64_t{node->attributes}));
            node->creation_time = filetime_of((*file)["created"].value_or(std::int64_t{0}));
            node->last_access_time = filetime_of((*file)["accessed"].value_or(std::int64_t{0}));
            node->last_write_time = filetime_of((*file)["written"].value_or(std::int64_t{0}));
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
    return std::unique_ptr<Machine>(new Machine(std::move(state)));
}

void Machine::save() const {
    if (state_->folder.empty()) throw std::logic_error("this machine has no folder to be saved in");
    std::filesystem::create_directories(state_->folder);
    state_->files.save_to(state_->folder / drive_c_folder);

    toml::table table{
        {"platform", std::string(platform_info().name)},
        {"arch", arch_name(state_->options.arch)},
        {"administrator", state_->options.administrator},
        {"terminal_services", state_->options.terminal_services},
        {"setupapi", setupapi_name(state_->options.setupapi)},
        {"clock",
         toml::table{{"boot_time", static_cast<std::int64_t>(state_->clock.boot_time())},
                     {"uptime_ms", static_cast<std::int64_t>(state_->clock.uptime_ms())}}},
    };
    toml::array files;
    for (const auto& [path, node] : state_->files.walk()) {
        if (!node->parent) continue;  // the root of the drive has nothing of its own
        files.push_back(toml::table{{"path", path},
                                    {"attributes", static_cast<std::int64_t>(node->attributes)},
                                    {"created", filetime_value(node->creation_time)},
                                    {"accessed", filetime_value(node->last_access_time)},
                                    {"written", filetime_value(node->last_write_time)}});
    }
    table.insert("file", std::move(files));
    std::ofstream out(state_->folder / state_file);
    out << "# A simulated Windows machine; drive C: is the folder beside this file.\n" << table << "\n";
    if (!out) throw std::runtime_error("cannot write the machine state in " + state_->folder.string());
    std::ofstream registry_out(state_->folder / registry_file, std::ios::binary);
    registry_out << state_->registry.store().write_text();
    if (!registry_out) throw std::runtime_error("cannot write the registry in " + state_->folder.string());
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
Registry& Machine::registry() { return state_->registry; }
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
