#include "printers_view.h"

#include "names.h"

#include "json_text.h"

#include <winsim/spooler/print_registry.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <strings.h>

namespace orvsetup {

namespace {

namespace reg = winsim::print_registry;

// Where the product's driver keeps its private byte in the DEVMODE.
constexpr std::size_t intensity_offset = 206;

// The product's drivers by model name; the Docket ones read orvfxb.ini, the others
// orvlotus.ini.
constexpr std::array<std::string_view, 2> docket_models = {"Orvana Docket Driver", "Orvana Win98 Docket Driver"};
constexpr std::array<std::string_view, 2> other_models = {"Orvana Print Driver", "Orvana Win98 Driver"};

template <std::size_t N>
bool one_of(const std::array<std::string_view, N>& names, std::string_view name) {
    return std::any_of(names.begin(), names.end(), [&](std::string_view model) { return same_name(model, name); });
}

std::string without_terminators(std::string text) {
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

std::string text_value(winsim::Machine& machine, const std::string& key, std::string_view name) {
    std::optional<winsim::RegistryValue> value = machine.registry().value(key, name);
    return value ? without_terminators(value->bytes) : std::string();
}

std::uint32_t dword_value(winsim::Machine& machine, const std::string& key, std::string_view name) {
    std::optional<winsim::RegistryValue> value = machine.registry().value(key, name);
    std::uint32_t number = 0;
    if (value && value->bytes.size() >= sizeof number) std::memcpy(&number, value->bytes.data(), sizeof number);
    return number;
}

std::string hex_bytes(std::string_view bytes) {
    std::string text;
    char pair[4];
    for (char byte : bytes) {
        std::snprintf(pair, sizeof pair, "%s%02x", text.empty() ? "" : " ", static_cast<unsigned char>(byte));
        text += pair;
    }
    return text;
}

const char* type_name(DWORD type) {
    switch (type) {
    case REG_SZ: return "REG_SZ";
    case REG_EXPAND_SZ: return "REG_EXPAND_SZ";
    case REG_BINARY: return "REG_BINARY";
    case REG_DWORD: return "REG_DWORD";
    case REG_MULTI_SZ: return "REG_MULTI_SZ";
    default: return "REG_NONE";
    }
}

std::optional<DevmodeView> devmode_of(winsim::Machine& machine, const std::string& key) {
    std::optional<winsim::RegistryValue> value = machine.registry().value(key, reg::printer_devmode);
    if (!value || value->bytes.empty()) return std::nullopt;
    const std::string& bytes = value->bytes;
    DEVMODEA mode{};
    std::memcpy(&mode, bytes.data(), std::min(bytes.size(), sizeof mode));
    DevmodeView view;
    view.size = mode.dmSize;
    view.driver_extra = mode.dmDriverExtra;
    view.paper_size = mode.dmPaperSize;
    view.orientation = mode.dmOrientation;
    view.print_quality = mode.dmPrintQuality;
    view.y_resolution = mode.dmYResolution;
    const std::size_t reach = std::min<std::size_t>(bytes.size(), std::size_t{mode.dmSize} + mode.dmDriverExtra);
    if (machine.is_9x() && reach > intensity_offset) view.intensity = static_cast<unsigned char>(bytes[intensity_offset]);
    return view;
}

// The driver-data key where the library keeps a printer's settings: Windows 2000 has it
// under SOFTWARE, the other platforms beside the printer's spooler entry.
std::string settings_key_of(winsim::Machine& machine, const std::string& printer) {
    const winsim::PlatformInfo& platform = machine.platform_info();
    if (platform.family == winsim::Family::nt && platform.major == 5)
        return "HKEY_LOCAL_MACHINE\\SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\" + printer + "\\" +
               std::string(reg::printer_driver_data);
    return machine.spooler().printer_key(printer) + "\\" + std::string(reg::printer_driver_data);
}

std::vector<SettingView> settings_of(winsim::Machine& machine, const std::string& key) {
    std::vector<SettingView> settings;
    if (!machine.registry().key_exists(key)) return settings;
    for (const std::string& name : machine.registry().values(key)) {
        const winsim::RegistryValue value = *machine.registry().value(key, name);
        SettingView setting{name, type_name(value.type), std::nullopt, {}};
        if (value.type == REG_DWORD && value.bytes.size() == sizeof(std::int32_t)) {
            std::int32_t number = 0;
            std::memcpy(&number, value.bytes.data(), sizeof number);
            setting.number = number;
        } else if (value.type == REG_SZ || value.type == REG_EXPAND_SZ) {
            setting.text = without_terminators(value.bytes);
        } else {
            setting.text = hex_bytes(value.bytes);
        }
        settings.push_back(std::move(setting));
    }
    return settings;
}

// 95/98: the section the product's driver reads in WIN.INI, "printer,port" without the
// port's final colon, and its private ini file in the Windows directory.
void add_9x_files(winsim::Machine& machine, PrinterView& printer) {
    std::string section = printer.name + "," + printer.port;
    if (section.back() == ':') section.pop_back();
    printer.device_entries = machine.win_ini_entries(section);
    printer.device_section = std::move(section);
    const bool docket = one_of(docket_models, printer.driver) ||
                        std::any_of(printer.settings.begin(), printer.settings.end(),
                                    [](const SettingView& setting) { return same_name(setting.name, "Docket Library"); });
    if (!docket && !one_of(other_models, printer.driver)) return;
    const std::string path =
        std::string(machine.platform_info().windows_directory) + "\\" + (docket ? "orvfxb.ini" : "orvlotus.ini");
    if (std::optional<std::string> text = machine.files().read_file(path)) printer.private_ini = PrivateIniView{path, *text};
}

std::string attribute_names(std::uint32_t attributes) {
    static constexpr std::pair<std::uint32_t, const char*> names[] = {
        {PRINTER_ATTRIBUTE_QUEUED, "queued"}, {PRINTER_ATTRIBUTE_DIRECT, "direct"},   {PRINTER_ATTRIBUTE_DEFAULT, "default"},
        {PRINTER_ATTRIBUTE_SHARED, "shared"}, {PRINTER_ATTRIBUTE_NETWORK, "network"}, {PRINTER_ATTRIBUTE_HIDDEN, "hidden"},
        {PRINTER_ATTRIBUTE_LOCAL, "local"},
    };
    std::string text;
    for (const auto& [bit, name] : names)
        if (attributes & bit) text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

std::string status_names(std::uint32_t status) {
    if (!status) return "ready";
    static constexpr std::pair<std::uint32_t, const char*> names[] = {
        {PRINTER_STATUS_PAUSED, "paused"}, {PRINTER_STATUS_ERROR, "error"}, {PRINTER_STATUS_PENDING_DELETION, "pending deletion"}};
    std::string text;
    for (const auto& [bit, name] : names)
        if (status & bit) text += (text.empty() ? "" : ", ") + std::string(name);
    return text;
}

void print_text_lines(std::FILE* out, const std::string& text, const char* indent) {
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::fprintf(out, "%s%s\n", indent, line.c_str());
        start = end + 1;
    }
}

void print_json_number_or_null(std::FILE* out, const std::optional<int>& number) {
    if (number) std::fprintf(out, "%d", *number);
    else std::fputs("null", out);
}

}  // namespace

PrintersView view_printers(winsim::Machine& machine) {
    PrintersView view;
    for (const std::string& name : machine.spooler().printers()) {
        const std::string key = machine.spooler().printer_key(name);
        PrinterView printer;
        printer.name = name;
        printer.port = text_value(machine, key, reg::printer_port);
        printer.driver = text_value(machine, key, reg::printer_driver);
        printer.print_processor = text_value(machine, key, reg::printer_print_processor);
        printer.datatype = text_value(machine, key, reg::printer_datatype);
        printer.attributes = dword_value(machine, key, reg::printer_attributes);
        printer.status = dword_value(machine, key, reg::printer_status);
        printer.devmode = devmode_of(machine, key);
        printer.settings_key = settings_key_of(machine, name);
        printer.settings = settings_of(machine, printer.settings_key);
        if (machine.is_9x()) add_9x_files(machine, printer);
        view.printers.push_back(std::move(printer));
    }
    view.default_printer = machine.win_ini_value("windows", "device");
    return view;
}

void print_printers(std::FILE* out, const PrintersView& view) {
    if (view.printers.empty()) std::fputs("no printers\n", out);
    for (const PrinterView& printer : view.printers) {
        std::fprintf(out, "%s\n", printer.name.c_str());
        std::fprintf(out, "  %-17s %s\n", "port", printer.port.c_str());
        std::fprintf(out, "  %-17s %s\n", "driver", printer.driver.c_str());
        std::fprintf(out, "  %-17s %s\n", "print processor", printer.print_processor.c_str());
        std::fprintf(out, "  %-17s %s\n", "datatype", printer.datatype.c_str());
        const std::string attributes = attribute_names(printer.attributes);
        std::fprintf(out, "  %-17s 0x%08x%s%s\n", "attributes", printer.attributes, attributes.empty() ? "" : " ",
                     attributes.c_str());
        std::fprintf(out, "  %-17s 0x%08x %s\n", "status", printer.status, status_names(printer.status).c_str());
        if (const std::optional<DevmodeView>& mode = printer.devmode) {
            std::fprintf(out, "  %-17s %u bytes and %u private\n", "devmode", mode->size, mode->driver_extra);
            std::fprintf(out, "    %-15s %d\n", "paper size", mode->paper_size);
            std::fprintf(out, "    %-15s %d\n", "orientation", mode->orientation);
            std::fprintf(out, "    %-15s %d\n", "print quality", mode->print_quality);
            std::fprintf(out, "    %-15s %d\n", "y resolution", mode->y_resolution);
            if (mode->intensity) std::fprintf(out, "    %-15s %d\n", "intensity", *mode->intensity);
        } else {
            std::fprintf(out, "  %-17s none\n", "devmode");
        }
        std::fprintf(out, "  %-17s %zu in %s\n", "driver settings", printer.settings.size(), printer.settings_key.c_str());
        std::size_t width = 0;
        for (const SettingView& setting : printer.settings) width = std::max(width, setting.name.size());
        for (const SettingView& setting : printer.settings) {
            std::fprintf(out, "    %-*s  %-9s ", static_cast<int>(width), setting.name.c_str(), setting.type.c_str());
            if (setting.number) std::fprintf(out, "%d\n", *setting.number);
            else if (setting.type == "REG_SZ" || setting.type == "REG_EXPAND_SZ") std::fprintf(out, "\"%s\"\n", setting.text.c_str());
            else std::fprintf(out, "%s\n", setting.text.c_str());
        }
        if (printer.device_section) {
            std::fprintf(out, "  WIN.INI [%s]%s\n", printer.device_section->c_str(), printer.device_entries.empty() ? " none" : "");
            for (const auto& [key, value] : printer.device_entries) std::fprintf(out, "    %s=%s\n", key.c_str(), value.c_str());
        }
        if (printer.private_ini) {
            std::fprintf(out, "  %s\n", printer.private_ini->path.c_str());
            print_text_lines(out, printer.private_ini->text, "    ");
        }
    }
    std::fprintf(out, "default printer: %s\n", view.default_printer ? view.default_printer->c_str() : "none");
}

void print_printers_json(std::FILE* out, const PrintersView& view) {
    for (const PrinterView& printer : view.printers) {
        std::fputs("{\"printer\": ", out);
        print_json_string(out, printer.name);
        print_json_field(out, "port", printer.port);
        print_json_field(out, "driver", printer.driver);
        print_json_field(out, "print_processor", printer.print_processor);
        print_json_field(out, "datatype", printer.datatype);
        std::fprintf(out, ", \"attributes\": %u, \"status\": %u, \"devmode\": ", printer.attributes, printer.status);
        if (const std::optional<DevmodeView>& mode = printer.devmode) {
            std::fprintf(out,
                         "{\"size\": %u, \"driver_extra\": %u, \"paper_size\": %d, \"orientation\": %d, \"print_quality\": %d, "
                         "\"y_resolution\": %d, \"intensity\": ",
                         mode->size, mode->driver_extra, mode->paper_size, mode->orientation, mode->print_quality,
                         mode->y_resolution);
            print_json_number_or_null(out, mode->intensity);
            std::fputc('}', out);
        } else {
            std::fputs("null", out);
        }
        print_json_field(out, "settings_key", printer.settings_key);
        std::fputs(", \"settings\": [", out);
        for (std::size_t i = 0; i < printer.settings.size(); ++i) {
            const SettingView& setting = printer.settings[i];
            std::fputs(i ? ", {\"name\": " : "{\"name\": ", out);
            print_json_string(out, setting.name);
            print_json_field(out, "type", setting.type);
            std::fputs(", \"value\": ", out);
            if (setting.number) std::fprintf(out, "%d", *setting.number);
            else print_json_string(out, setting.text);
            std::fputc('}', out);
        }
        std::fputs("], \"device_section\": ", out);
        if (printer.device_section) {
            std::fputs("{\"name\": ", out);
            print_json_string(out, *printer.device_section);
            std::fputs(", \"entries\": {", out);
            for (std::size_t i = 0; i < printer.device_entries.size(); ++i) {
                if (i) std::fputs(", ", out);
                print_json_string(out, printer.device_entries[i].first);
                std::fputs(": ", out);
                print_json_string(out, printer.device_entries[i].second);
            }
            std::fputs("}}", out);
        } else {
            std::fputs("null", out);
        }
        std::fputs(", \"private_ini\": ", out);
        if (printer.private_ini) {
            std::fputs("{\"path\": ", out);
            print_json_string(out, printer.private_ini->path);
            print_json_field(out, "text", printer.private_ini->text);
            std::fputc('}', out);
        } else {
            std::fputs("null", out);
        }
        std::fputs("}\n", out);
    }
    std::fputs("{\"default_printer\": ", out);
    if (view.default_printer) print_json_string(out, *view.default_printer);
    else std::fputs("null", out);
    std::fputs("}\n", out);
}

}  // namespace orvsetup
