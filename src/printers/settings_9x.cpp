// On 95/98 the product's 16-bit driver takes its working settings from initialization
// files rather than from the driver-data key: the printer's device section in WIN.INI and
// the driver's own ini file in the Windows directory. A printer's creation writes both.
#include "printer_context.h"
#include "profile_text.h"
#include "short_path.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"

namespace {

constexpr LONG docket_kind = 1;
constexpr LONG unchanged = -1;
constexpr LONG highest_intensity = 200;
// The names of the ini file and its sections are read into buffers of this size, from
// the 16-bit module or the library's own strings alike.
constexpr int ini_name_size = 40;
constexpr char thunk_module[] = "brg32res.dll";
constexpr char thunk_function[] = "LoadString32_16";

typedef int(WINAPI* LoadString32_16Function)(LPCSTR module_path, UINT id, LPSTR buffer, int buffer_size);

struct IniNames {
    char file[ini_name_size];
    char owner[ini_name_size];
    char debug[ini_name_size];
    char csid[ini_name_size];
    char docket[ini_name_size];  // Docket printers only
};

struct NameSource {
    UINT module_id;       // in the 16-bit module's string table
    UINT docket_message;  // the library's own text for a Docket printer
    UINT other_message;   // for any other printer; 0 when it has none
    char (IniNames::*name)[ini_name_size];
};

// In the order the 16-bit module is asked.
const NameSource name_sources[] = {
    {520, IDS_ORVFXB_INI, IDS_ORVLOTUS_INI, &IniNames::file},
    {521, IDS_OWNER_145, IDS_OWNER, &IniNames::owner},
    {522, IDS_DEBUG_146, IDS_DEBUG, &IniNames::debug},
    {525, IDS_CSID, IDS_CSID_153, &IniNames::csid},
    {523, IDS_DOCKET, 0, &IniNames::docket},
};

bool wanted(const NameSource& source, bool docket) { return docket || source.other_message; }

// The names as the 16-bit module holds them, through the resource thunk; false when the
// thunk cannot be reached.
bool names_from_module(LPCSTR module16, bool docket, IniNames* names) {
    HMODULE thunk = LoadLibraryA(thunk_module);
    if (!thunk) return false;
    auto load = reinterpret_cast<LoadString32_16Function>(
        reinterpret_cast<void (*)()>(GetProcAddress(thunk, thunk_function)));
    if (load)
        for (const NameSource& source : name_sources)
            if (wanted(source, docket)) load(module16, source.module_id, names->*source.name, ini_name_size);
    FreeLibrary(thunk);
    return load != nullptr;
}

void names_from_library(bool docket, IniNames* names) {
    for (const NameSource& source : name_sources)
        if (wanted(source, docket))
            load_text(docket ? source.docket_message : source.other_message, names->*source.name, ini_name_size);
}

bool given(LPCSTR text) { return text && *text; }

// The printer's device section: its name and port, less one colon that ends the port.
// False when no block could be had.
bool device_section_name(LPCSTR printer, LPCSTR port, ProfileText& section) {
    if (!section.join(printer ? printer : "", port ? port : "")) return false;
    LPSTR name = section.get();
    if (name[section.length() - 1] == ':') name[section.length() - 1] = '\0';
    return true;
}

void write_device_section(const INS_PRINTER_DEFINITION& definition) {
    ProfileText section;
    if (!device_section_name(definition.pPrinterName, definition.pPortName, section)) return;
    LPCSTR name = section.get();
    WriteProfileStringA(name, "Y Resolution", "196");
    WriteProfileStringA(name, "Paper Size", "1");
    WriteProfileStringA(name, "Orientation", "1");
}

// The Windows directory with the file name; a bare name, which the profile calls look
// for in the Windows directory, when the directory cannot be had.
void ini_file_path(LPCSTR file_name, LPSTR path /* MAX_PATH + ini_name_size */) {
    UINT length = GetWindowsDirectoryA(path, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) length = 0;
    else if (path[length - 1] != '\\') path[length++] = '\\';
    lstrcpyA(path + length, file_name);
}

// The settings of one ini file. A key that is read is always written back, so that a
// missing one is created with its default; a value is written whole whatever its length.
class DriverIniFile {
public:
    explicit DriverIniFile(LPCSTR path) : path_(path) {}

    // Writes back `chosen`, or the value read when it is null.
    void rewrite(LPCSTR section, LPCSTR key, LPCSTR fallback, LPCSTR chosen) {
        ProfileText value;
        const bool whole = value.read(path_, section, key, fallback);
        if (chosen) write(section, key, chosen);
        else if (whole) write(section, key, value.get());
    }
    // Writes back the value read as `change` leaves it; a value that could not be read
    // whole is left alone.
    template <typename Rebuild>
    void rebuild(LPCSTR section, LPCSTR key, LPCSTR fallback, Rebuild change) {
        ProfileText value;
        if (!value.read(path_, section, key, fallback)) return;
        change(value);
        write(section, key, value.get());
    }
    void write(LPCSTR section, LPCSTR key, LPCSTR value) { WritePrivateProfileStringA(section, key, value, path_); }

private:
    LPCSTR path_;
};

// A number's decimal text, or null when the number leaves its setting unchanged.
class NumberText {
public:
    explicit NumberText(LONG_PTR number) : given_(static_cast<LONG>(number) != unchanged) {
        wsprintfA(text_, "%d", static_cast<LONG>(number));
    }
    LPCSTR get() const { return given_ ? text_ : nullptr; }

private:
    bool given_;
    char text_[12];
};

void write_ini_file(const INS_PRINTER_DEFINITION& definition, const IniNames& names, bool docket) {
    char path[MAX_PATH + ini_name_size];
    ini_file_path(names.file, path);
    DriverIniFile ini(path);

    char dialog[MAX_PATH];
    const bool dialog_known = given(definition.pFaxDialogLoc) && short_path_of(definition.pFaxDialogLoc, dialog);
    ini.rewrite(names.owner, "ControlDialogEXE", "c:\\temp\\orv16dlg.exe", dialog_known ? dialog : nullptr);
    ini.rebuild(names.owner, "DefaultFileName", "c:\\temp\\aaaa.tif", [&](ProfileText& value) {
        // A name too long for a path is not one Windows could open: it stays as read.
        if (value.length() >= MAX_PATH) return;
        make_default_file_name(value.get(), definition.pOutputDirectory, definition.pOutputPrefix,
                               definition.pOutputExtension);
    });
    const LONG mppf = static_cast<LONG>(definition.nMppfFlag);
    ini.rewrite(names.owner, "BreakPages", "0", mppf < 0 ? nullptr : mppf == 0 ? "1" : "0");
    ini.rewrite(names.owner, "FileType", "0", NumberText(definition.nFileType).get());
    ini.rewrite(names.owner, "LeftMargin", "0", NumberText(definition.nLeftMargin).get());
    ini.rewrite(names.owner, "ForceSubType", "0", NumberText(definition.nSubfileType).get());
    ini.rewrite(names.csid, "Enable", "0", NumberText(definition.nCsidEnable).get());
    ini.rewrite(names.csid, "OwnerName", "", given(definition.pCsidName) ? definition.pCsidName : nullptr);
    ini.rewrite(names.csid, "OwnerNumber", "", given(definition.pCsidNumber) ? definition.pCsidNumber : nullptr);
    // An empty library name is the caller's choice too.
    if (docket) ini.rewrite(names.docket, "LibraryName", "ORV16MM.DLL", definition.pDocketLibrary);
    ini.write(names.owner, "OverwriteIfFileExist", "1");
    ini.write(names.owner, "padLines", "0");
    ini.write(names.owner, "ShadowFile", "0");
    ini.write(names.owner, "DelayedCancel", "0");
    ini.write(names.debug, "DisplayStatus", "0");
}

}  // namespace

LONG write_9x_driver_settings(const INS_PRINTER_DEFINITION& definition, PrinterContext* context) {
    write_device_section(definition);
    const bool docket = static_cast<LONG>(definition.dwKind) == docket_kind;
    IniNames names{};
    if (!definition.pResourceModule16 || !names_from_module(definition.pResourceModule16, docket, &names))
        names_from_library(docket, &names);
    write_ini_file(definition, names, docket);
    // The files stay written when the intensity is rejected.
    const LONG intensity = static_cast<LONG>(definition.nIntensity);
    if (intensity < 0) return INS_OK;
    if (intensity > highest_intensity) {
        record_warning(IDS_INVALID_INTENSITY_ENTERED_FOR_INSADDPRINTER);
        return INS_SELECTION_REJECTED;
    }
    context->intensity = intensity;
    return INS_OK;
}

void remove_device_section(LPCSTR printer_name, LPCSTR port_name) {
    ProfileText section;
    if (device_section_name(printer_name, port_name, section)) WriteProfileStringA(section.get(), nullptr, nullptr);
}
