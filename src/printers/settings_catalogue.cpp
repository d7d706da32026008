#include "settings_catalogue.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"
#include "registry/registry_path.h"

namespace {

// ---- value names -----------------------------------------------------------------
constexpr char fax_dialog_loc[] = "Fax Dialog Loc";
constexpr char logfile[] = "Logfile";
constexpr char output_directory[] = "Output Directory";
constexpr char debug_flag[] = "Debug Flag";
constexpr char erase_log_flag[] = "Erase Log Flag";
constexpr char file_type[] = "File Type";
constexpr char mppf_flag[] = "MPPF Flag";
constexpr char output_prefix[] = "Output Prefix";
constexpr char reverse_fill_flag[] = "Reverse Fill Flag";
constexpr char color_mode[] = "Color Mode";
constexpr char dither_pattern[] = "Dither Pattern";
constexpr char nt_dither_pattern[] = "NT DitherPattern";
constexpr char gray_intensity[] = "Gray Intensity";
constexpr char driver_timeout[] = "Driver Timeout";
constexpr char second_timeout[] = "Second Timeout";
constexpr char permission[] = "Permission";
constexpr char server_share_flag[] = "Server share flag";
constexpr char server_share_username[] = "Server share username";
constexpr char server_share_password[] = "Server share password";
constexpr char spawn_in_user_context[] = "Spawn in User Context";
constexpr char separate_vdm[] = "Separate VDM";
constexpr char subfile_type_flag[] = "SubfileType Flag";
constexpr char left_margin[] = "Left Margin";
constexpr char print_mode[] = "Print Mode";
constexpr char jpeg_quality[] = "JPEG Quality";
constexpr char csid_enable[] = "CSID Enable";
constexpr char csid_name[] = "CSID Name";
constexpr char csid_number[] = "CSID Number";
constexpr char prism_second_dialog[] = "Prism Second Dialog";
constexpr char prism_tif_f[] = "Prism Tif-F";
constexpr char prism_filename[] = "Prism Filename";
constexpr char docket_library[] = "Docket Library";

// ---- the names five values take ----------------------------------------------------
constexpr LPCSTR print_modes[] = {"Monochrome", "8-bit color", "24-bit color"};
constexpr LPCSTR color_modes[] = {"Monochrome (faster, less memory)", "Color - Dither from 256 Colors",
                                  "Fast dither using Windows dithering", "Color - All Colors to Black",
                                  "Color - All Colors to White"};
constexpr LPCSTR dither_patterns[] = {"8x8 (65 shades)",   "Big 8x8 (65 shades)", "Circular 4x4 (17 shades)",
                                      "4x4 (17 shades)",   "3x3 (10 shades)",     "Big 2x2 (5 shades)",
                                      "2x2 (5 shades)"};
constexpr LPCSTR nt_dither_patterns[] = {
    "Windows 2x2",   "Windows 2x2 modified",   "Windows 4x4",   "Windows 4x4 modified",
    "Windows 6x6",   "Windows 6x6 modified",   "Windows 8x8",   "Windows 8x8 modified",
    "Windows 10x10", "Windows 10x10 modified", "Windows 12x12", "Windows 12x12 modified",
    "Windows 14x14", "Windows 14x14 modified", "Windows 16x16", "Windows 16x16 modified"};
constexpr LPCSTR file_types[] = {"TIFF Group 3", "Intel DCX",    "ZSoft PCX", "TIFF Group 3 (2D)", "TIFF Group 4",
                                 "TIFF Pack Bits", "Lucent VOXEM", "GIF",      "24-bit BMP",        "JPEG"};
enum FileTypeName { tiff_g3, intel_dcx, zsoft_pcx, tiff_g3_2d, tiff_g4, tiff_pack_bits, lucent_voxem, gif, bmp_24, jpeg };

// ---- defaults ----------------------------------------------------------------------
constexpr char off[] = "0";
constexpr char on[] = "1";
constexpr char unset[] = "-1";
constexpr char empty[] = "";
constexpr char dialog_program[] = "C:\\ORV32DLG.EXE";

constexpr TemplateRow text_row(LPCSTR name, LPCSTR data) { return {name, -1, REG_SZ, data}; }
constexpr TemplateRow number_row(LPCSTR name, LPCSTR data) { return {name, -1, REG_DWORD, data}; }
constexpr TemplateRow end_row = {empty, -1, 0, empty};

// ---- selections --------------------------------------------------------------------
// How a caller's selection becomes a value.
enum class Rule {
    text_unless_empty,        // null or empty leaves the value
    text_unless_null,         // null leaves it; an empty text empties it
    flag_unless_negative,     // negative leaves it; 0 off, above 0 on
    number_from_low,          // below low leaves it; above high leaves it, or is rejected
    number_unless_minus_one,  // -1 leaves it
    on_only_for_one,          // -1 leaves it; 1 on, any other number off
    place_in_list,            // 0 leaves it; 1 to count names the list's entry; else rejected
    file_type_code,           // by the file type codes; else rejected
};

struct SelectionRule {
    LPCSTR value;
    Rule rule;
    LPCSTR INS_PRINTER_DEFINITION::* text = nullptr;
    LONG_PTR INS_PRINTER_DEFINITION::* number = nullptr;
    const LPCSTR* names = nullptr;
    LONG count = 0;
    LONG low = 0;
    LONG high = 0;
    UINT rejection = 0;  // the warning of a rejected selection; 0: never rejected
    bool docket_only = false;
};

template <LONG count>
constexpr SelectionRule list_rule(LPCSTR value, LONG_PTR INS_PRINTER_DEFINITION::* number, const LPCSTR (&names)[count],
                                  UINT rejection) {
    return {.value = value, .rule = Rule::place_in_list, .number = number, .names = names, .count = count, .rejection = rejection};
}
constexpr SelectionRule text_rule(LPCSTR value, Rule rule, LPCSTR INS_PRINTER_DEFINITION::* text, bool docket_only = false) {
    return {.value = value, .rule = rule, .text = text, .docket_only = docket_only};
}
constexpr SelectionRule number_rule(LPCSTR value, Rule rule, LONG_PTR INS_PRINTER_DEFINITION::* number, LONG low = 0,
                                    LONG high = 0, UINT rejection = 0) {
    return {.value = value, .rule = rule, .number = number, .low = low, .high = high, .rejection = rejection};
}

using D = INS_PRINTER_DEFINITION;

// In the order they are applied: it decides which warning a definition with several
// bad selections gets.
constexpr SelectionRule selection_rules[] = {
    text_rule(fax_dialog_loc, Rule::text_unless_empty, &D::pFaxDialogLoc),
    text_rule(output_directory, Rule::text_unless_empty, &D::pOutputDirectory),
    text_rule(output_prefix, Rule::text_unless_empty, &D::pOutputPrefix),
    text_rule(server_share_username, Rule::text_unless_empty, &D::pServerShareUsername),
    text_rule(server_share_password, Rule::text_unless_empty, &D::pServerSharePassword),
    number_rule(spawn_in_user_context, Rule::flag_unless_negative, &D::nSpawnInUserContext),
    number_rule(separate_vdm, Rule::number_from_low, &D::nSeparateVdm, 0, 2),
    number_rule(server_share_flag, Rule::flag_unless_negative, &D::nServerShareFlag),
    number_rule(mppf_flag, Rule::flag_unless_negative, &D::nMppfFlag),
    number_rule(file_type, Rule::file_type_code, &D::nFileType, 0, 0, IDS_INVALID_FILE_TYPE),
    list_rule(print_mode, &D::nPrintMode, print_modes, IDS_INVALID_SELECTION_MADE_FOR_PRINTER_MODE),
    list_rule(color_mode, &D::nColorMode, color_modes, IDS_INVALID_DITHER_MODE_SELECTED_FOR_INSADDPRINTER),
    list_rule(dither_pattern, &D::nDitherPattern, dither_patterns, IDS_INVALID_DITHER_PATTERN_SELECTED_FOR_INSADDPRINTER),
    list_rule(nt_dither_pattern, &D::nNtDitherPattern, nt_dither_patterns, IDS_INVALID_NT_DITHER_PATTERN_SELECTED_FOR),
    number_rule(gray_intensity, Rule::number_from_low, &D::nIntensity, 0, 100, IDS_INVALID_INTENSITY_ENTERED_FOR_INSADDPRINTER),
    number_rule(jpeg_quality, Rule::number_from_low, &D::nJpegQuality, 1, 255, IDS_JPEG_QUALITY_VALUE_OUTSIDE_ALLOWABLE_RANGE),
    number_rule(driver_timeout, Rule::number_unless_minus_one, &D::nDriverTimeout),
    number_rule(second_timeout, Rule::number_unless_minus_one, &D::nSecondTimeout),
    number_rule(left_margin, Rule::number_unless_minus_one, &D::nLeftMargin),
    number_rule(subfile_type_flag, Rule::number_unless_minus_one, &D::nSubfileType),
    number_rule(csid_enable, Rule::on_only_for_one, &D::nCsidEnable),
    text_rule(csid_name, Rule::text_unless_null, &D::pCsidName),
    text_rule(csid_number, Rule::text_unless_null, &D::pCsidNumber),
    text_rule(docket_library, Rule::text_unless_null, &D::pDocketLibrary, true),
};

// What a file type code sets: the name, and the fill order where the code fixes it.
struct FileTypeCode {
    LONG code;
    FileTypeName name;
    LPCSTR reverse_fill;  // null: left as it is
};

constexpr FileTypeCode file_type_codes[] = {
    {0, tiff_g3, on},          {1, tiff_g3, off},         {2, intel_dcx, nullptr},       {3, zsoft_pcx, nullptr},
    {4, tiff_g3_2d, on},       {5, tiff_g3_2d, off},      {6, tiff_g4, on},              {7, tiff_g4, off},
    {8, tiff_pack_bits, off},  {100, tiff_pack_bits, nullptr}, {101, gif, nullptr},    {200, tiff_pack_bits, nullptr},
    {201, bmp_24, nullptr},    {202, jpeg, nullptr},      {869, lucent_voxem, off},
};
constexpr LONG file_type_unchanged = -1;

// A value the settings do not hold (an existing printer's key without it) stays absent.
void set_text(KeyEntry* settings, LPCSTR value, LPCSTR text) { cache_set_value(settings, value, -1, text); }

void set_number(KeyEntry* settings, LPCSTR value, LONG number) {
    char text[dword_text_size];
    dword_to_text(static_cast<DWORD>(number), text);
    set_text(settings, value, text);
}

bool reject(UINT rejection) {
    record_warning(rejection);
    return false;
}

bool apply_file_type(LONG code, KeyEntry* settings, UINT rejection) {
    if (code == file_type_unchanged) return true;
    for (const FileTypeCode& entry : file_type_codes) {
        if (entry.code != code) continue;
        set_text(settings, file_type, file_types[entry.name]);
        if (entry.reverse_fill) set_text(settings, reverse_fill_flag, entry.reverse_fill);
        return true;
    }
    return reject(rejection);
}

// False when the selection is rejected, its warning recorded.
bool apply_rule(const SelectionRule& rule, const INS_PRINTER_DEFINITION& definition, KeyEntry* settings) {
    if (rule.docket_only && static_cast<LONG>(definition.dwKind) != docket_printer) return true;
    const LPCSTR text = rule.text ? definition.*rule.text : nullptr;
    const LONG number = rule.number ? static_cast<LONG>(definition.*rule.number) : 0;
    switch (rule.rule) {
    case Rule::text_unless_empty:
        if (text && *text) set_text(settings, rule.value, text);
        return true;
    case Rule::text_unless_null:
        if (text) set_text(settings, rule.value, text);
        return true;
    case Rule::flag_unless_negative:
        if (number >= 0) set_text(settings, rule.value, number > 0 ? on : off);
        return true;
    case Rule::number_from_low:
        if (number < rule.low) return true;
        if (number > rule.high) return rule.rejection ? reject(rule.rejection) : true;
        set_number(settings, rule.value, number);
        return true;
    case Rule::number_unless_minus_one:
        if (number != -1) set_number(settings, rule.value, number);
        return true;
    case Rule::on_only_for_one:
        if (number != -1) set_text(settings, rule.value, number == 1 ? on : off);
        return true;
    case Rule::place_in_list:
        if (number == 0) return true;
        if (number < 0 || number > rule.count) return reject(rule.rejection);
        set_text(settings, rule.value, rule.names[number - 1]);
        return true;
    case Rule::file_type_code:
        return apply_file_type(number, settings, rule.rejection);
    }
    return true;
}

constexpr char nt5_path_format[] =
    "HKEY_LOCAL_MACHINE/SOFTWARE/Microsoft/Windows NT/CurrentVersion/Print/Printers/%s/PrinterDriverData";
constexpr char path_format[] = "HKEY_LOCAL_MACHINE/SYSTEM/CurrentControlSet/Control/Print/Printers/%s/PrinterDriverData";

}  // namespace

const TemplateRow main_settings[] = {
    text_row(fax_dialog_loc, dialog_program),
    text_row(logfile, "C:\\temp\\faxdll.log"),
    text_row(output_directory, "C:\\temp\\"),
    number_row(debug_flag, off),
    number_row(erase_log_flag, off),
    text_row(file_type, file_types[tiff_g3]),
    number_row(mppf_flag, on),
    text_row(output_prefix, "AAAA"),
    number_row(reverse_fill_flag, on),
    text_row(color_mode, color_modes[2]),
    text_row(dither_pattern, dither_patterns[0]),
    text_row(nt_dither_pattern, nt_dither_patterns[5]),
    number_row(gray_intensity, "50"),
    number_row(driver_timeout, "60"),
    number_row(second_timeout, "300"),
    number_row(permission, on),
    number_row(server_share_flag, off),
    text_row(server_share_username, empty),
    text_row(server_share_password, empty),
    number_row(spawn_in_user_context, on),
    number_row(separate_vdm, unset),
    number_row(subfile_type_flag, unset),
    number_row(left_margin, unset),
    text_row(print_mode, print_modes[0]),
    number_row(jpeg_quality, "95"),
    number_row(csid_enable, off),
    text_row(csid_name, empty),
    text_row(csid_number, empty),
    end_row,
};

const TemplateRow prism_settings[] = {
    text_row(prism_second_dialog, "C:\\ORV32DLG.EXE /A"),
    number_row(prism_tif_f, "0x0"),
    text_row(prism_filename, "GENERIC.TIF"),
    end_row,
};

const TemplateRow docket_settings[] = {
    text_row(docket_library, "ORV32MM.DLL"),
    end_row,
};

LONG printer_settings_path(LPCSTR printer_name, LPSTR path) {
    LPCSTR format = os_is_nt5 ? nt5_path_format : path_format;
    // The format's "%s" gives way to the name.
    if (lstrlenA(format) - 2 + lstrlenA(printer_name) >= printer_key_path_size)
        return record_error(ERROR_INVALID_NAME, IDS_TRAVERSE_PATH_REGISTRY_KEY_CREATOR, printer_name, 0, 0);
    wsprintfA(path, format, printer_name);
    return 0;
}

void printer_settings_keys(LPCSTR path, LONG kind, TemplateKey (&keys)[3]) {
    keys[0] = {path, main_settings};
    keys[1] = {nullptr, nullptr};
    keys[2] = {nullptr, nullptr};
    if (kind == prism_printer) keys[1] = {path, prism_settings};
    if (kind == docket_printer) keys[1] = {path, docket_settings};
}

LONG apply_selection_rules(const INS_PRINTER_DEFINITION& definition, KeyEntry* settings) {
    for (const SelectionRule& rule : selection_rules)
        if (!apply_rule(rule, definition, settings)) return INS_SELECTION_REJECTED;
    return 0;
}
