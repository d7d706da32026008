// Making a machine from a description of what it already has (see description.h).
// Everything is laid out through the control API, in the order a machine in the field
// got it: files, monitors and their ports, processors, drivers, printers, and last the
// default printer, so that each entry finds what it refers to.
#include "core/names.h"
#include "gdi/printer_devmodes.h"
#include "kernel/profiles.h"
#include "spooler/spooler_internal.h"

#include <winsim/description.h>
#include <winsim/machine.h>

#include <mkimage/recipe_file.h>
#include <toml++/toml.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

namespace {

namespace reg = print_registry;


// Where a key of the table is written, or the table itself when the key is left out.
const toml::source_region& where(const toml::table& table, std::string_view key) {
    const toml::node* node = table.get(key);
    return node ? node->source() : table.source();
}

// Reads the description's tables, refusing what it cannot take with the file, the
// line and the key named.
class Reader {
public:
    explicit Reader(std::string source) : source_(std::move(source)) {}

    // Files a description names (component recipes) are found beside it.
    std::filesystem::path beside(const std::string& name) const {
        return std::filesystem::path(source_).parent_path() / name;
    }

    [[noreturn]] void refuse(const toml::source_region& where, const std::string& message) const {
        throw DescriptionError(source_ + ":" + std::to_string(where.begin.line) + ": " + message);
    }

    // Every key of the table is one of `known`.
    void only(const toml::table& table, std::string_view what, std::initializer_list<std::string_view> known) const {
        for (const auto& [key, node] : table)
            if (std::find(known.begin(), known.end(), key.str()) == known.end())
                refuse(key.source(), std::string(what) + ": unknown key '" + std::string(key.str()) + "'");
    }

    std::optional<std::string> text(const toml::table& table, std::string_view what, std::string_view key) const {
        const toml::node* node = table.get(key);
        if (!node) return std::nullopt;
        if (!node->is_string()) refuse(node->source(), std::string(what) + ": '" + std::string(key) + "' must be a text");
        return node->value<std::string>();
    }
    std::string required_text(const toml::table& table, std::string_view what, std::string_view key) const {
        std::optional<std::string> value = text(table, what, key);
        if (!value) refuse(table.source(), std::string(what) + ": '" + std::string(key) + "' is missing");
        return *value;
    }
    std::optional<bool> flag(const toml::table& table, std::string_view what, std::string_view key) const {
        const toml::node* node = table.get(key);
        if (!node) return std::nullopt;
        if (!node->is_boolean()) refuse(node->source(), std::string(what) + ": '" + std::string(key) + "' must be true or false");
        return node->value<bool>();
    }
    // A whole number within [low, high].
    std::optional<std::int64_t> number(const toml::table& table, std::string_view what, std::string_view key, std::int64_t low,
                                       std::int64_t high) const {
        const toml::node* node = table.get(key);
        if (!node) return std::nullopt;
        std::optional<std::int64_t> value = node->value_exact<std::int64_t>();
        if (!value || *value < low || *value > high)
            refuse(node->source(), std::string(what) + ": '" + std::string(key) + "' must be a whole number from " +
                                       std::to_string(low) + " to " + std::to_string(high));
        return value;
    }
    std::vector<std::string> texts(const toml::table& table, std::string_view what, std::string_view key) const {
        std::vector<std::string> list;
        const toml::node* node = table.get(key);
        if (!node) return list;
        const toml::array* array = node->as_array();
        if (!array || !array->is_homogeneous(toml::node_type::string))
            refuse(node->source(), std::string(what) + ": '" + std::string(key) + "' must be a list of texts");
        for (const toml::node& item : *array) list.push_back(*item.value<std::string>());
        return list;
    }
    const toml::table* subtable(const toml::table& table, std::string_view what, std::string_view key) const {
        const toml::node* node = table.get(key);
        if (node && !node->is_table()) refuse(node->source(), std::string(what) + ": '" + std::string(key) + "' must be a table");
        return node ? node->as_table() : nullptr;
    }
    // The entries of an array of tables such as [[printer]].
    std::vector<const toml::table*> entries(const toml::table& table, std::string_view key) const {
        std::vector<const toml::table*> list;
        const toml::node* node = table.get(key);
        if (!node) return list;
        const toml::array* array = node->as_array();
        if (!array || !array->is_array_of_tables())
            refuse(node->source(), "'" + std::string(key) + "' must be written [[" + std::string(key) + "]]");
        for (const toml::node& item : *array) list.push_back(item.as_table());
        return list;
    }

private:
    std::string source_;
};

template <typename Enum>
Enum option_named(const Reader& reader, const toml::table& options, std::string_view key, Enum fallback,
                  std::initializer_list<Enum> choices, const char* (*name_of)(Enum)) {
    std::optional<std::string> name = reader.text(options, "options", key);
    if (!name) return fallback;
    for (Enum choice : choices)
        if (*name == name_of(choice)) return choice;
    std::string known;
    for (Enum choice : choices) known += std::string(known.empty() ? "" : ", ") + name_of(choice);
    reader.refuse(where(options, key), "options: unknown " + std::string(key) + " '" + *name + "' (" + known + ")");
}

MachineOptions read_options(const Reader& reader, const toml::table& description) {
    MachineOptions options;
    const toml::table* table = reader.subtable(description, "description", "options");
    if (!table) return options;
    reader.only(*table, "options", {"arch", "administrator", "terminal_services", "setupapi"});
    options.arch = option_named(reader, *table, "arch", options.arch, {Arch::x86, Arch::x64}, arch_name);
    options.administrator = reader.flag(*table, "options", "administrator").value_or(options.administrator);
    options.terminal_services = reader.flag(*table, "options", "terminal_services").value_or(options.terminal_services);
    options.setupapi = option_named(reader, *table, "setupapi", options.setupapi,
                                    {SetupApi::present, SetupApi::without_is_user_admin, SetupApi::absent}, setupapi_name);
    return options;
}

// The DEVMODE the printer has, with the fields the description sets. A printer of the
// product's driver in the field has been used: it has the DEVMODE its driver makes.
void set_devmode(const Reader& reader, Machine& machine, const std::string& printer, const std::string& driver,
                 const toml::table& devmode) {
    const std::string what = "printer '" + printer + "' devmode";
    reader.only(devmode, what, {"paper_size", "orientation", "print_quality", "y_resolution"});
    std::string bytes = detail::stored_devmode(machine.state(), printer)
                            .value_or(detail::driver_devmode(machine.state(), printer, driver));
    DEVMODEA mode{};
    std::memcpy(&mode, bytes.data(), std::min(bytes.size(), sizeof mode));
    const auto field = [&](std::string_view name, short& member, DWORD flag) {
        if (std::optional<std::int64_t> value = reader.number(devmode, what, name, -32768, 32767)) {
            member = static_cast<short>(*value);
            mode.dmFields |= flag;
        }
    };
    field("paper_size", mode.dmPaperSize, DM_PAPERSIZE);
    field("orientation", mode.dmOrientation, DM_ORIENTATION);
    field("print_quality", mode.dmPrintQuality, DM_PRINTQUALITY);
    field("y_resolution", mode.dmYResolution, DM_YRESOLUTION);
    std::memcpy(bytes.data(), &mode, std::min(bytes.size(), sizeof mode));
    detail::store_devmode(machine.state(), printer, bytes);
}

// The devices of printer drivers, the product's among them before it is installed,
// and the screen's character set.
void set_devices(const Reader& reader, Machine& machine, const toml::table& description) {
    for (const toml::table* entry : reader.entries(description, "device")) {
        reader.only(*entry, "device",
                    {"driver", "resolution", "margin", "colour", "bit_block_transfers", "proportional_default_font", "charset",
                     "answers_capabilities"});
        const std::string driver = reader.required_text(*entry, "device", "driver");
        const std::string what = "device of '" + driver + "'";
        DeviceProperties device;
        device.resolution = static_cast<int>(reader.number(*entry, what, "resolution", 1, 9600).value_or(device.resolution));
        device.margin = static_cast<int>(reader.number(*entry, what, "margin", 0, 200).value_or(device.margin));
        device.colour = reader.flag(*entry, what, "colour").value_or(device.colour);
        device.bit_block_transfers = reader.flag(*entry, what, "bit_block_transfers").value_or(device.bit_block_transfers);
        device.proportional_default_font =
            reader.flag(*entry, what, "proportional_default_font").value_or(device.proportional_default_font);
        device.charset = static_cast<BYTE>(reader.number(*entry, what, "charset", 0, 255).value_or(device.charset));
        device.answers_capabilities = reader.flag(*entry, what, "answers_capabilities").value_or(device.answers_capabilities);
        machine.graphics().set_device(driver, device);
    }
    if (const toml::table* screen = reader.subtable(description, "description", "screen")) {
        reader.only(*screen, "screen", {"charset"});
        machine.graphics().set_screen_charset(static_cast<BYTE>(reader.number(*screen, "screen", "charset", 0, 255).value_or(ANSI_CHARSET)));
    }
}

void set_driver_settings(const Reader& reader, Machine& machine, const std::string& printer, const toml::table& settings) {
    const std::string key = machine.spooler().printer_key(printer) + "\\" + std::string(reg::printer_driver_data);
    for (const auto& [name, node] : settings) {
        if (std::optional<std::int64_t> number = node.value_exact<std::int64_t>()) {
            if (*number < -2147483648LL || *number > 0xFFFFFFFFLL)
                reader.refuse(node.source(), "printer '" + printer + "' settings: '" + std::string(name.str()) +
                                                 "' does not fit in 32 bits");
            machine.registry().set_dword(key, name.str(), static_cast<DWORD>(*number));
        } else if (std::optional<std::string> text = node.value_exact<std::string>()) {
            machine.registry().set_string(key, name.str(), *text);
        } else {
            reader.refuse(node.source(), "printer '" + printer + "' settings: '" + std::string(name.str()) +
                                             "' must be a whole number or a text");
        }
    }
}

// The spooler keeps one of each name: a second would be laid over the first.
void refuse_second(const Reader& reader, const toml::table& entry, bool exists, const std::string& what) {
    if (exists) reader.refuse(where(entry, "name"), what + ": the machine has one of that name already");
}

void add_printer(const Reader& reader, Machine& machine, const toml::table& entry) {
    reader.only(entry, "printer", {"name", "port", "driver", "print_processor", "datatype", "devmode", "settings"});
    const std::string name = reader.required_text(entry, "printer", "name");
    const std::string what = "printer '" + name + "'";
    const std::string port = reader.required_text(entry, what, "port");
    const std::string driver = reader.required_text(entry, what, "driver");
    const std::string processor = reader.text(entry, what, "print_processor").value_or("WinPrint");
    const std::string datatype = reader.text(entry, what, "datatype").value_or("RAW");
    const toml::table* devmode = reader.subtable(entry, what, "devmode");
    const toml::table* settings = reader.subtable(entry, what, "settings");
    refuse_second(reader, entry, machine.spooler().has_printer(name), what);
    // The spooler takes a printer only where its port, driver and processor exist.
    const detail::MachineState& state = machine.state();
    if (!detail::monitor_of_port(state, port)) reader.refuse(where(entry, "port"), what + ": no port named '" + port + "'");
    if (!detail::find_subkey(state, detail::drivers_key(state), driver))
        reader.refuse(where(entry, "driver"), what + ": no driver named '" + driver + "'");
    if (!detail::find_subkey(state, detail::processors_key(state), processor))
        reader.refuse(where(entry, "print_processor"), what + ": no print processor named '" + processor + "'");
    machine.spooler().add_printer(name, port, driver, processor, datatype);
    if (devmode) set_devmode(reader, machine, name, driver, *devmode);
    if (settings) set_driver_settings(reader, machine, name, *settings);
}

void set_default_printer(const Reader& reader, Machine& machine, const toml::table& description) {
    std::optional<std::string> printer = reader.text(description, "description", "default_printer");
    if (!printer) return;
    if (!machine.spooler().has_printer(*printer))
        reader.refuse(where(description, "default_printer"), "default_printer: no printer named '" + *printer + "'");
    // The default names the printer as its "Devices" entry does, in WIN.INI's [windows]
    // section, which NT keeps in the user's registry.
    std::optional<std::string> device = detail::win_ini_value(machine.state(), "Devices", *printer);
    detail::write_win_ini(machine.state(), "windows", machine.is_nt() ? "Device" : "device",
                          *printer + "," + device.value_or(""));
}

// The product's component as its recipe makes it for the machine's architecture, so a
// machine in the field holds the very image the product ships.
std::string component_image(const Reader& reader, const Machine& machine, const toml::table& file, const std::string& what,
                            const std::string& recipe) {
    try {
        const mkimage::RecipeFile component = mkimage::read_recipe(reader.beside(recipe));
        const char* arch = arch_name(machine.options().arch);
        const std::optional<mkimage::ImageKind> kind = component.kind_for_arch(arch);
        if (!kind) reader.refuse(where(file, "recipe"), what + ": recipe '" + recipe + "' makes no image for " + arch);
        return mkimage::build_image(component.for_kind(*kind));
    } catch (const mkimage::RecipeError& error) {
        reader.refuse(where(file, "recipe"), what + ": " + error.what());
    }
}

void lay_out(const Reader& reader, Machine& machine, const toml::table& description) {
    const detail::MachineState& state = machine.state();
    for (const toml::table* file : reader.entries(description, "file")) {
        reader.only(*file, "file", {"path", "text", "recipe"});
        const std::string path = reader.required_text(*file, "file", "path");
        const std::string what = "file '" + path + "'";
        std::optional<std::string> text = reader.text(*file, what, "text");
        if (std::optional<std::string> recipe = reader.text(*file, what, "recipe")) {
            if (text) reader.refuse(where(*file, "recipe"), what + ": 'text' and 'recipe' exclude each other");
            text = component_image(reader, machine, *file, what, *recipe);
        }
        const std::size_t slash = path.rfind('\\');
        if (slash != std::string::npos && slash > 2) machine.files().make_directories(path.substr(0, slash));
        machine.files().write_file(path, text.value_or(""));
    }
    for (const toml::table* monitor : reader.entries(description, "monitor")) {
        reader.only(*monitor, "monitor", {"name", "dll"});
        const std::string name = reader.required_text(*monitor, "monitor", "name");
        refuse_second(reader, *monitor, detail::find_subkey(state, detail::monitors_key(state), name).has_value(), "monitor '" + name + "'");
        machine.spooler().add_monitor(name, reader.required_text(*monitor, "monitor '" + name + "'", "dll"));
    }
    for (const toml::table* port : reader.entries(description, "port")) {
        reader.only(*port, "port", {"name", "monitor"});
        const std::string name = reader.required_text(*port, "port", "name");
        const std::string monitor = reader.text(*port, "port '" + name + "'", "monitor").value_or("Local Port");
        refuse_second(reader, *port, detail::monitor_of_port(state, name).has_value(), "port '" + name + "'");
        if (!detail::find_subkey(state, detail::monitors_key(state), monitor))
            reader.refuse(where(*port, "monitor"), "port '" + name + "': no monitor named '" + monitor + "'");
        machine.spooler().add_port(monitor, name);
    }
    for (const toml::table* processor : reader.entries(description, "print_processor")) {
        reader.only(*processor, "print_processor", {"name", "dll", "datatypes"});
        const std::string name = reader.required_text(*processor, "print_processor", "name");
        const std::string what = "print_processor '" + name + "'";
        refuse_second(reader, *processor, detail::find_subkey(state, detail::processors_key(state), name).has_value(), what);
        machine.spooler().add_print_processor(name, reader.required_text(*processor, what, "dll"), reader.texts(*processor, what, "datatypes"));
    }
    for (const toml::table* driver : reader.entries(description, "driver")) {
        reader.only(*driver, "driver", {"name", "file", "config_file", "help_file", "dependent_files"});
        const std::string name = reader.required_text(*driver, "driver", "name");
        const std::string what = "driver '" + name + "'";
        refuse_second(reader, *driver, detail::find_subkey(state, detail::drivers_key(state), name).has_value(), what);
        Spooler::DriverFiles more{reader.text(*driver, what, "config_file").value_or(""),
                                  reader.text(*driver, what, "help_file").value_or(""), reader.texts(*driver, what, "dependent_files")};
        machine.spooler().add_driver(name, reader.required_text(*driver, what, "file"), more);
    }
    for (const toml::table* printer : reader.entries(description, "printer")) add_printer(reader, machine, *printer);
    set_default_printer(reader, machine, description);
    set_devices(reader, machine, description);
}

}  // namespace

std::unique_ptr<Machine> Machine::create_from_description_text(std::string_view text, std::string_view source,
                                                               std::filesystem::path folder) {
    const Reader reader{std::string(source)};
    toml::table description;
    try {
        description = toml::parse(text, source);
    } catch (const toml::parse_error& error) {
        reader.refuse(error.source(), std::string(error.description()));
    }
    reader.only(description, "description",
                {"platform", "default_printer", "options", "file", "monitor", "port", "print_processor", "driver", "printer", "device",
                 "screen"});
    const std::string platform_name = reader.required_text(description, "description", "platform");
    std::optional<Platform> platform = find_platform(platform_name);
    if (!platform) reader.refuse(where(description, "platform"), "unknown platform '" + platform_name + "'");
    std::unique_ptr<Machine> machine = create(*platform, read_options(reader, description), std::move(folder));
    lay_out(reader, *machine, description);
    return machine;
}

std::unique_ptr<Machine> Machine::create_from_description(const std::filesystem::path& description, std::filesystem::path folder) {
    std::ifstream in(description, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + description.string());
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return create_from_description_text(text, description.string(), std::move(folder));
}

}  // namespace winsim
