// The product's printer driver as the lane lays it out under Wine: the configuration
// part a spooler loads when a printer is added, making the printer's DEVMODE as the
// product's driver does, and answering what the printer can do. Its public part is the platform's DEVMODE version; behind it
// the driver keeps a private part of 96 bytes, which holds the intensity byte at
// offset 206 of the DEVMODE as the library reads it.
#include <windows.h>

#include <cstddef>
#include <cstring>

namespace {

// The first argument a spooler passes when it only wants the DEVMODE, not the sheets.
struct DocumentPropertyHeader {
    WORD cbSize;
    WORD Reserved;
    HANDLE hPrinter;
    LPWSTR pszPrinterName;
    DEVMODEW* pdmIn;
    DEVMODEW* pdmOut;
    DWORD cbOut;
    DWORD fMode;
};

constexpr WORD private_size = 96;

// The public part of the DEVMODE of the system the driver runs on, in its Unicode form
// (64 bytes more than the 8-bit one for the two names).
void public_version(WORD& spec_version, WORD& size) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion >= 5) {
        spec_version = 0x0401;
        size = 220;
    } else if (version.dwPlatformId == VER_PLATFORM_WIN32_NT && version.dwMajorVersion < 4) {
        spec_version = 0x0320;
        size = 188;
    } else {
        spec_version = 0x0400;
        size = 212;
    }
}

// The printer's first DEVMODE: letter, portrait, 300 dpi, one copy at full scale, the
// private part zero-filled.
void default_devmode(BYTE* out, LPCWSTR printer) {
    WORD spec_version = 0;
    WORD size = 0;
    public_version(spec_version, size);
    std::memset(out, 0, size + private_size);
    DEVMODEW mode{};
    if (printer) lstrcpynW(mode.dmDeviceName, printer, CCHDEVICENAME);
    mode.dmSpecVersion = spec_version;
    mode.dmDriverVersion = 0x0100;
    mode.dmSize = size;
    mode.dmDriverExtra = private_size;
    mode.dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_SCALE | DM_COPIES | DM_PRINTQUALITY;
    mode.dmOrientation = DMORIENT_PORTRAIT;
    mode.dmPaperSize = DMPAPER_LETTER;
    mode.dmScale = 100;
    mode.dmCopies = 1;
    mode.dmPrintQuality = 300;
    std::memcpy(out, &mode, size);
}

// A caller's DEVMODE over the driver's own: the public settings the two share, and the
// private part only when the caller's is the driver's size; the name, versions and sizes
// stay the driver's.
void merge_devmode(BYTE* own, const DEVMODEW& given) {
    auto* mode = reinterpret_cast<DEVMODEW*>(own);
    const auto* given_bytes = reinterpret_cast<const BYTE*>(&given);
    const std::size_t settings = offsetof(DEVMODEW, dmFields);
    const std::size_t shared = given.dmSize < mode->dmSize ? given.dmSize : mode->dmSize;
    if (shared > settings) std::memcpy(own + settings, given_bytes + settings, shared - settings);
    if (given.dmDriverExtra == private_size) std::memcpy(own + mode->dmSize, given_bytes + given.dmSize, private_size);
}

}  // namespace

extern "C" {

// Without property sheets to show (null sheet info) the spooler asks for the size of the
// DEVMODE (no mode) or for the DEVMODE itself, over the caller's when one is given.
LONG WINAPI DrvDocumentPropertySheets(void* sheet_info, LPARAM parameter) {
    auto* header = reinterpret_cast<DocumentPropertyHeader*>(parameter);
    if (sheet_info || !header) return -1;
    WORD spec_version = 0;
    WORD size = 0;
    public_version(spec_version, size);
    const DWORD whole = DWORD{size} + private_size;
    if (header->fMode == 0 || !header->pdmOut) {
        header->cbOut = whole;
        return static_cast<LONG>(whole);
    }
    BYTE devmode[512];
    default_devmode(devmode, header->pszPrinterName);
    if ((header->fMode & DM_IN_BUFFER) && header->pdmIn && header->pdmIn->dmSize >= 188)
        merge_devmode(devmode, *header->pdmIn);
    std::memcpy(header->pdmOut, devmode, header->cbOut < whole ? header->cbOut : whole);
    return IDOK;
}

// What the printer can do, as applications ask through DeviceCapabilities: the
// DEVMODE's make-up, letter and A4 paper, one copy, portrait turned to landscape by 90
// degrees. An unknown question gets GDI_ERROR.
DWORD WINAPI DrvDeviceCapabilities(HANDLE, PWSTR, WORD capability, PVOID output, PDEVMODEW) {
    WORD spec_version = 0;
    WORD size = 0;
    public_version(spec_version, size);
    switch (capability) {
    case DC_FIELDS:
        return DM_ORIENTATION | DM_PAPERSIZE | DM_SCALE | DM_COPIES | DM_PRINTQUALITY;
    case DC_SIZE:
        return size;
    case DC_EXTRA:
        return private_size;
    case DC_VERSION:
        return spec_version;
    case DC_DRIVER:
        return 0x0100;
    case DC_COPIES:
        return 1;
    case DC_ORIENTATION:
        return 90;
    case DC_PAPERS: {
        static const WORD papers[] = {DMPAPER_LETTER, DMPAPER_A4};
        if (output) std::memcpy(output, papers, sizeof papers);
        return sizeof papers / sizeof papers[0];
    }
    default:
        return GDI_ERROR;
    }
}

}  // extern "C"
