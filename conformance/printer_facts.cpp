#include "printer_facts.h"

#include "product_driver.h"
#include "scratch_files.h"
#include "system_version.h"

#include <algorithm>
#include <cstddef>
#include <cstring>
#include <memory>

namespace conformance {

namespace {

// The library keeps Windows 2000's printer settings under SOFTWARE.
bool is_nt5() { return system_is_nt() && system_version().dwMajorVersion == 5; }

const char nt5_printers[] = "SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Print\\Printers\\";
const char printers[] = "SYSTEM\\CurrentControlSet\\Control\\Print\\Printers\\";

// The printer's level 2 record in a block of its own, or null.
std::unique_ptr<BYTE[]> printer_info(const char* name) {
    PrinterHandle printer;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ACCESS_USE};
    if (!OpenPrinterA(const_cast<char*>(name), &printer.handle, &defaults)) return nullptr;
    std::unique_ptr<BYTE[]> block;
    read_record(printer.handle, block);
    return block;
}

std::string text_of(const char* text) { return text ? text : "(null)"; }

// A value's data as the line shows it: a DWORD in hex, a text as text.
Facts value_facts(DWORD type, const BYTE* data, DWORD size) {
    Facts facts;
    facts.number("type", type);
    if (type == REG_DWORD && size == sizeof(DWORD)) {
        DWORD number = 0;
        std::memcpy(&number, data, sizeof number);
        return facts.hex("data", number);
    }
    return facts.text("data", std::string(reinterpret_cast<const char*>(data), size));
}

}  // namespace

INS_PRINTER_DEFINITION unchanged_definition(const char* name, Kind kind, const char* port) {
    INS_PRINTER_DEFINITION d{};
    d.dwVersion = 3;
    d.dwKind = kind;
    d.pPrinterName = name;
    d.pPortName = port;
    d.pDriverName = kind == docket ? product_models().docket : product_models().plain;
    d.nSpawnInUserContext = d.nSeparateVdm = d.nServerShareFlag = d.nFileType = d.nMppfFlag = -1;
    d.nIntensity = d.nDriverTimeout = d.nSecondTimeout = d.nPaperSize = d.nOrientation = -1;
    d.nLeftMargin = d.nSubfileType = d.nJpegQuality = d.nCsidEnable = -1;
    return d;
}

DEVMODEA* read_record(HANDLE printer, std::unique_ptr<BYTE[]>& block) {
    block.reset();
    DWORD needed = 0;
    GetPrinterA(printer, 2, nullptr, 0, &needed);
    if (needed == 0) return nullptr;
    auto read = std::make_unique<BYTE[]>(needed);
    if (!GetPrinterA(printer, 2, read.get(), needed, &needed)) return nullptr;
    block = std::move(read);
    return reinterpret_cast<PRINTER_INFO_2A*>(block.get())->pDevMode;
}

std::string settings_key(const char* name) {
    return std::string(is_nt5() ? nt5_printers : printers) + name + "\\PrinterDriverData";
}

std::string driver_ini_path(const char* file) {
    char windows[MAX_PATH];
    GetWindowsDirectoryA(windows, sizeof windows);
    std::string path = windows;
    if (path.back() != '\\') path += '\\';
    return path + file;
}

void remove_driver_ini_files() {
    for (const char* file : {plain_ini, docket_ini}) remove_scratch_file(driver_ini_path(file).c_str());
}

std::string device_section(const char* name, const char* port) {
    std::string section = std::string(name) + "," + port;
    if (section.back() == ':') section.pop_back();
    return section;
}

void remove_printer(const char* name, const char* port) {
    PrinterHandle printer;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (OpenPrinterA(const_cast<char*>(name), &printer.handle, &defaults)) DeletePrinter(printer.handle);
    const std::string key = std::string(nt5_printers) + name;
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (key + "\\PrinterDriverData").c_str());
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    WriteProfileStringA(device_section(name, port).c_str(), nullptr, nullptr);
}

Facts add_plain_printer(const char* name, const char* port) {
    PRINTER_INFO_2A info{};
    info.pPrinterName = const_cast<char*>(name);
    info.pPortName = const_cast<char*>(port);
    info.pDriverName = const_cast<char*>(product_models().plain);
    info.pPrintProcessor = const_cast<char*>("WinPrint");
    info.pDatatype = const_cast<char*>("RAW");
    info.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    info.Priority = 1;
    SetLastError(0xDEADBEEF);
    PrinterHandle printer;
    printer.handle = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(&info));
    Facts facts;
    facts.number("added", printer.handle ? 1 : 0);
    if (!printer.handle) facts.number("error", GetLastError());
    return facts;
}

Facts printer_record(const char* name) {
    std::unique_ptr<BYTE[]> block = printer_info(name);
    if (!block) return Facts().number("present", 0);
    const auto* info = reinterpret_cast<const PRINTER_INFO_2A*>(block.get());
    return Facts()
        .number("present", 1)
        .text("port", text_of(info->pPortName))
        .text("driver", text_of(info->pDriverName))
        .text("processor", text_of(info->pPrintProcessor))
        .text("datatype", text_of(info->pDatatype))
        .hex("attributes", info->Attributes);
}

Facts printer_devmode(const char* name) {
    std::unique_ptr<BYTE[]> block = printer_info(name);
    if (!block) return Facts().number("present", 0);
    const DEVMODEA* mode = reinterpret_cast<const PRINTER_INFO_2A*>(block.get())->pDevMode;
    if (!mode) return Facts().word("devmode", "none");
    Facts facts;
    facts.number("paper", mode->dmPaperSize)
        .number("orientation", mode->dmOrientation)
        .number("quality", mode->dmPrintQuality)
        .number("y_resolution", mode->dmYResolution)
        .hex("fields", mode->dmFields);
    if (!system_is_nt()) {
        if (reaches_intensity(*mode))
            facts.number("intensity", reinterpret_cast<const BYTE*>(mode)[intensity_offset]);
        else
            facts.word("intensity", "none");
    }
    return facts;
}

void report_settings(Session& s, const std::string& step, const char* name) {
    HKEY key = nullptr;
    LONG opened = RegOpenKeyExA(HKEY_LOCAL_MACHINE, settings_key(name).c_str(), 0, KEY_READ, &key);
    if (opened != ERROR_SUCCESS) {
        s.report(step, Facts().number("settings_key", opened));
        return;
    }
    struct Value {
        std::string name;
        Facts facts;
    };
    std::vector<Value> values;
    for (DWORD index = 0;; ++index) {
        char value_name[256];
        DWORD name_size = sizeof value_name;
        BYTE data[1024];
        DWORD data_size = sizeof data;
        DWORD type = 0;
        if (RegEnumValueA(key, index, value_name, &name_size, nullptr, &type, data, &data_size) != ERROR_SUCCESS) break;
        values.push_back({std::string(value_name, name_size), value_facts(type, data, data_size)});
    }
    RegCloseKey(key);
    std::sort(values.begin(), values.end(),
              [](const Value& a, const Value& b) { return lstrcmpiA(a.name.c_str(), b.name.c_str()) < 0; });
    s.report(step, Facts().number("values", static_cast<long long>(values.size())));
    for (const Value& value : values) s.report(step + ": " + value.name, value.facts);
}

}  // namespace conformance
