// The test page: a one-page report on a newly installed printer, and the one operation
// that speaks to the user itself. It shows the hourglass while it works, shows its
// failures in boxes owned by the setup program's window, and, when the installation
// failed earlier, offers those errors instead of a page.
#include "orvinstl.h"
#include "page_lines.h"
#include "printer_record.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"
#include "frame/text_builder.h"

namespace {

constexpr int question_size = 200;
constexpr int box_caption_size = 60;
constexpr int document_name_size = 200;

// The cursor the caller had, set again on every way out and before every box.
class WaitCursor {
public:
    WaitCursor() : previous_(SetCursor(LoadCursorA(nullptr, IDC_WAIT))) {}
    ~WaitCursor() { restore(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
    void restore() {
        if (previous_) SetCursor(previous_);
    }

private:
    HCURSOR previous_;
};

// A failure the system gave no code for is still no page: it is a general failure (31),
// recorded as such, so that it never reads as 0 and the answer has its entry.
void set_failure_code(DWORD code) { SetLastError(code ? code : ERROR_GEN_FAILURE); }

LONG offer_earlier_errors(HWND owner) {
    char question[question_size];
    char caption[box_caption_size];
    load_text(IDS_UNRECOVERABLE_ERRORS_OCCURRED_EARLIER_IN_THE, question, question_size);
    load_text(IDS_ERROR_PRINTING_TEST_PAGE, caption, box_caption_size);
    if (MessageBoxA(owner, question, caption, MB_YESNO | MB_ICONHAND) != IDYES) return INS_ERROR_FLAG_SET;
    MessageBoxA(owner, error_text ? error_text : "", caption, MB_OK | MB_ICONHAND);
    return INS_TEST_PAGE_NOT_PRINTED;
}

// Message 115 is built as long as the printer's name needs.
void show_missing_device_context(HWND owner, LPCSTR printer_name) {
    char format[entry_format_size];
    char caption[box_caption_size];
    load_text(IDS_UNABLE_TO_CREATE_DEVICE_CONTEXT_FOR, format, entry_format_size);
    load_text(IDS_ERROR_PRINTING_TEST_PAGE, caption, box_caption_size);
    const TextArgument name = text_argument(printer_name);
    BuiltText text(format, &name, 1);
    MessageBoxA(owner, text.get() ? text.get() : format, caption, MB_OK | MB_ICONHAND);
}

// The logo, stretched into a square inch half an inch in from the corner.
void draw_logo(HDC printer) {
    HBITMAP logo = LoadBitmapA(module_handle, MAKEINTRESOURCEA(IDB_LOGO));
    if (!logo) return;
    const int saved = SaveDC(printer);
    BITMAPCOREHEADER size{};
    size.bcSize = sizeof size;
    GetDIBits(printer, logo, 0, 0, nullptr, reinterpret_cast<LPBITMAPINFO>(&size), DIB_PAL_COLORS);
    if (HDC memory = CreateCompatibleDC(printer)) {
        HGDIOBJ previous = SelectObject(memory, logo);
        const int across = GetDeviceCaps(printer, LOGPIXELSX);
        const int down = GetDeviceCaps(printer, LOGPIXELSY);
        // 100 logical units to the inch, the origin half an inch in from the corner.
        SetMapMode(printer, MM_ANISOTROPIC);
        SetWindowOrgEx(printer, 0, 0, nullptr);
        SetWindowExtEx(printer, 100, 100, nullptr);
        SetViewportExtEx(printer, across, down, nullptr);
        SetViewportOrgEx(printer, across / 2, down / 2, nullptr);
        StretchBlt(printer, 0, 0, 100, 100, memory, 0, 0, size.bcWidth, size.bcHeight, SRCCOPY);
        SelectObject(memory, previous);
        DeleteDC(memory);
    }
    DeleteObject(logo);
    if (saved) RestoreDC(printer, saved);
}

}  // namespace

// The logo and the heading beside it where the device can take bitmaps; otherwise the
// heading alone, centred, in the device's own font. Leaves the layout where the body starts.
int draw_page_heading(HDC printer, HDC screen, RECT* layout) {
    layout->right -= half_inch_across(printer);
    int drawn = 0;
    if (GetDeviceCaps(printer, RASTERCAPS) & RC_BITBLT) {
        draw_logo(printer);
        HFONT heading_font = nullptr;
        HGDIOBJ previous = select_message_font(printer, screen, IDS_TIMES_NEW_ROMAN, 36, &heading_font);
        layout->top = half_inch_down(printer);
        layout->left = 2 * GetDeviceCaps(printer, LOGPIXELSX);
        // The character 0 ends the text after its second line.
        drawn = draw_message_line(printer, layout, 0, IDS_TEST_PAGE_HEADING, 0);
        restore_message_font(printer, previous, heading_font);
        layout->left = half_inch_across(printer);
        layout->top = 2 * GetDeviceCaps(printer, LOGPIXELSY);
    } else {
        layout->top = half_inch_down(printer);
        drawn = draw_message_line(printer, layout, DT_CENTER, IDS_TEST_PAGE_HEADING, '\n');
        layout->left = half_inch_across(printer);
    }
    return drawn;
}

// The printer's and its driver's particulars, one line each: 0, or the code recorded.
LONG draw_driver_report(LPCSTR printer_name, HANDLE printer, HDC device, HDC screen, RECT* layout) {
    HeapBlock<PRINTER_INFO_2A> record;
    LONG code = read_sized_record<PRINTER_INFO_2A>(
        [&](LPBYTE buffer, DWORD size, DWORD* needed) { return GetPrinterA(printer, 2, buffer, size, needed); },
        IDS_GETPRINTERDATA_2, IDS_GETPRINTERDATA_2, printer_name, record);
    if (code) return code;
    // NT 3.51 knows no level 3; level 2 is the same record without the dependent files.
    const DWORD level = os_is_nt351 ? 2 : 3;
    HeapBlock<DRIVER_INFO_3A> driver;
    code = read_sized_record<DRIVER_INFO_3A>(
        [&](LPBYTE buffer, DWORD size, DWORD* needed) { return GetPrinterDriverA(printer, nullptr, level, buffer, size, needed); },
        IDS_GETPRINTERDATA_2, IDS_GETPRINTERDATA_2, printer_name, driver);
    if (code) return code;

    // The device's own font serves when it is of fixed pitch and in the screen's characters.
    TEXTMETRICA metrics{};
    const bool own_font_serves = GetTextMetricsA(device, &metrics) && !(metrics.tmPitchAndFamily & TMPF_FIXED_PITCH) &&
                                 GetTextCharset(screen) == GetTextCharset(device);
    HFONT body_font = nullptr;
    HGDIOBJ previous = own_font_serves ? nullptr : select_message_font(device, screen, IDS_COURIER_NEW, 10, &body_font);

    int drawn = draw_message_line(device, layout, 0, IDS_CONGRATULATIONS);
    drawn &= draw_message_line(device, layout, 0, IDS_IF_YOU_CAN_READ_THIS_INFORMATION, record->pDriverName);
    drawn &= draw_message_line(device, layout, 0, IDS_PRINTER_NAME, printer_name);
    drawn &= draw_message_line(device, layout, 0, IDS_PRINTER_MODEL, record->pDriverName);
    drawn &= draw_file_name_line(device, driver->pDriverPath, layout, IDS_DRIVER_NAME);
    drawn &= draw_file_line(device, layout, driver->pDriverPath);
    if (lstrcmpiA(driver->pDataFile, driver->pDriverPath))
        drawn &= draw_file_name_line(device, driver->pDataFile, layout, IDS_DATA_FILE);
    if (lstrcmpiA(driver->pConfigFile, driver->pDriverPath))
        drawn &= draw_file_name_line(device, driver->pConfigFile, layout, IDS_CONFIG_FILE);
    const int devmode_version = DeviceCapabilitiesA(record->pPrinterName, record->pPortName, DC_VERSION, nullptr, nullptr);
    if (devmode_version != -1)
        drawn &= draw_message_line(device, layout, 0, IDS_DEVMODE_VERSION, (devmode_version >> 8) & 0xFF, devmode_version & 0xFF);
    drawn &= draw_message_line(device, layout, 0, is_colour_device(device) ? IDS_COLOR_SUPPORT_YES : IDS_COLOR_SUPPORT_NO);
    drawn &= draw_message_line(device, layout, 0, IDS_PORT_NAME, record->pPortName);
    drawn &= draw_message_line(device, layout, 0, IDS_DATA_FORMAT, record->pDatatype);
    if (!os_is_nt351 && driver->pDependentFiles && *driver->pDependentFiles) {
        drawn &= draw_message_line(device, layout, 0, IDS_FILES_USED_BY_THIS_DRIVER);
        for (LPCSTR file = driver->pDependentFiles; *file; file += lstrlenA(file) + 1)
            drawn &= draw_file_line(device, layout, file);
    }
    drawn &= draw_message_line(device, layout, 0, IDS_THIS_IS_THE_END_OF_THE);
    restore_message_font(device, previous, body_font);
    if (drawn) return INS_OK;
    set_failure_code(GetLastError());
    return record_last_error(IDS_ATTEMPTING_TO_PRINT_TEST_PAGE, printer_name, 0, 0);
}

// 0 printed; -1 or -16 with error_flag set (earlier errors declined or shown); -10 no
// device context; 87 for a null name; otherwise the code of the failure shown.
LONG WINAPI insPrintTestPage(HWND owner, LPCSTR printerName) {
    WaitCursor cursor;
    if (error_flag) {
        cursor.restore();
        return offer_earlier_errors(owner);
    }
    if (!printerName) return ERROR_INVALID_PARAMETER;
    HDC device = CreateDCA(nullptr, printerName, nullptr, nullptr);
    if (!device) {
        cursor.restore();
        show_missing_device_context(owner, printerName);
        return INS_NO_SUCH_PRINTER;
    }
    PrinterHandle printer;
    PRINTER_DEFAULTSA defaults{nullptr, nullptr, PRINTER_ALL_ACCESS};
    if (!OpenPrinterA(const_cast<LPSTR>(printerName), printer.put(), &defaults)) {
        const DWORD code = GetLastError();
        DeleteDC(device);
        cursor.restore();
        set_failure_code(code);
        return show_last_error(owner, IDS_OPENPRINTER, printerName, 0, 0);
    }
    char document_name[document_name_size];
    load_text(IDS_ORVANA_PRINTER_TEST_PAGE_118, document_name, document_name_size);
    DOCINFOA document{};
    document.cbSize = sizeof document;
    document.lpszDocName = document_name;
    RECT layout{};
    GetClipBox(device, &layout);
    if (StartDocA(device, &document) <= 0) {
        const DWORD code = GetLastError();
        printer.close();
        DeleteDC(device);
        cursor.restore();
        set_failure_code(code);
        return show_last_error(owner, IDS_ATTEMPTING_TO_START_DOCUMENT, printerName, 0, 0);
    }
    HDC screen = GetDC(nullptr);
    // A page that was never started, or a job that was not ended, printed nothing: that
    // is a failure like a line not drawn, not a page printed. The first failure is the one shown.
    bool printed = true;
    DWORD failure_code = 0;
    auto step = [&](bool went_well) {
        if (printed && !went_well) {
            printed = false;
            failure_code = GetLastError();
        }
    };
    step(StartPage(device) > 0);
    // The report is drawn even under a heading that failed: what can be printed is. Each
    // failure is taken with its own code, before later calls can change the last error.
    step(draw_page_heading(device, screen, &layout) != 0);
    if (const LONG report = draw_driver_report(printerName, printer.get(), device, screen, &layout)) {
        SetLastError(static_cast<DWORD>(report));
        step(false);
    }
    if (screen) ReleaseDC(nullptr, screen);
    step(EndPage(device) > 0);
    step(EndDoc(device) > 0);
    printer.close();
    DeleteDC(device);
    cursor.restore();
    if (printed) return INS_OK;
    set_failure_code(failure_code);
    return show_last_error(owner, IDS_ATTEMPTING_TO_PRINT_TEST_PAGE, printerName, 0, 0);
}
