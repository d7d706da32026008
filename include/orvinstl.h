/* OrvInstl.dll: installation support for the Orvana fax and imaging printer driver.
 *
 * A setup program loads the library with LoadLibraryA and calls these exports one at a
 * time, from one thread. Every result is a signed 32-bit value: 0 is success, the
 * negative values below are the library's own outcomes, positive values are Windows
 * error codes. After a failure the setup program reads the error text with
 * ErrorTextLen and RetrieveErrorText; at the end it asks RebootRequired.
 */
#ifndef ORVINSTL_H
#define ORVINSTL_H

#ifdef _WIN32
#include <windows.h>
#else
#include <winsim/windows.h>
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- results ---------------------------------------------------------------------- */
#define INS_OK 0
#define INS_ERROR_FLAG_SET (-1)          /* a fatal failure blocks operations until ClearErrorFlag */
#define INS_NOT_PRODUCT_MONITOR (-2)     /* the port monitor file carries no name string */
#define INS_PLATFORM_UNSUPPORTED (-3)
#define INS_NOT_ADMINISTRATOR (-4)       /* Windows NT 4.0 and the user is not an administrator */
#define INS_NOT_PRODUCT_PROCESSOR (-5)
#define INS_BAD_DEFINITION_VERSION (-6)  /* a printer definition version other than 1 to 4 */
#define INS_SELECTION_REJECTED (-7)
#define INS_PORT_OF_OTHER_MONITOR (-8)
#define INS_NOT_PRODUCT_DRIVER (-9)
#define INS_NO_SUCH_PRINTER (-10)
#define INS_INSTALLED_NOT_OLDER (-12)    /* the installed file is not older: nothing copied */
#define INS_DEFERRED_TO_RESTART (-13)    /* the replacement or deletion waits for the next restart */
#define INS_TARGET_PRINTER_EXISTS (-14)
#define INS_NO_DEVICE_CONTEXT (-15)
#define INS_TEST_PAGE_NOT_PRINTED (-16)  /* earlier failures were shown instead of the test page */
#define INS_COMPANIONS_NOT_COPIED (-17)

/* ExeFileBitness */
#define INS_EXE_WIN32 32
#define INS_EXE_WIN16 16
#define INS_EXE_DOS (-16)
#define INS_EXE_UNKNOWN 0

/* ---- records ---------------------------------------------------------------------- */
/* Records are sequences of pointer-sized words: numbers are read as signed 32-bit
 * values, texts are pointers to NUL-terminated 8-bit strings. The library only reads
 * them. */

/* Passed to insAddPort, insAddPortEx and insMovePort. */
typedef struct INS_PORT_DEFINITION {
    LONG_PTR nPlainPort;           /* nonzero: a plain port without settings */
    LPCSTR pPortName;
    LPCSTR pMonitorName;
    LPCSTR pFaxDialogLoc;          /* null: unchanged or default */
    LPCSTR pOutputDirectory;       /* null: unchanged or default */
    LPCSTR pOutputPrefix;          /* null: unchanged or default */
    LPCSTR pOutputExtension;       /* null: unchanged or default */
    LONG_PTR nSpawnInUserContext;  /* 0 off, positive on, negative unchanged */
    LONG_PTR nSeparateVdm;         /* 0 off, positive on, negative unchanged */
} INS_PORT_DEFINITION;

/* Passed to insAddPrinter and insAddPrinterEx. dwVersion says how many words are read:
 * 23 (version 1), 31 (2), 36 (3) or 37 (4). */
typedef struct INS_PRINTER_DEFINITION {
    DWORD_PTR dwVersion;
    LONG_PTR dwKind;               /* 1 Docket, 2 Prism, other plain */
    LPCSTR pPrinterName;
    LPCSTR pPortName;
    LPCSTR pDriverName;
    LPCSTR pPrintProcessor;
    LPCSTR pDatatype;
    LPCSTR pFaxDialogLoc;
    LPCSTR pOutputDirectory;
    LPCSTR pOutputPrefix;
    LPCSTR pOutputExtension;
    LPCSTR pServerShareUsername;
    LPCSTR pServerSharePassword;
    LONG_PTR nSpawnInUserContext;
    LONG_PTR nSeparateVdm;
    LONG_PTR nServerShareFlag;
    LONG_PTR nFileType;
    LONG_PTR nMppfFlag;
    LONG_PTR nSpoolMode;
    LONG_PTR nColorMode;
    LONG_PTR nDitherPattern;
    LONG_PTR nNtDitherPattern;
    LONG_PTR nIntensity;
    /* version 2 */
    LONG_PTR nDriverTimeout;
    LONG_PTR nSecondTimeout;
    LONG_PTR nResolution;
    LONG_PTR nPaperSize;
    LONG_PTR nOrientation;
    LPCSTR pDocketLibrary;
    LONG_PTR nLeftMargin;
    LONG_PTR nSubfileType;
    /* version 3 */
    LONG_PTR nPrintMode;
    LONG_PTR nJpegQuality;
    LONG_PTR nCsidEnable;
    LPCSTR pCsidName;
    LPCSTR pCsidNumber;
    /* version 4 */
    LPCSTR pResourceModule16;
} INS_PRINTER_DEFINITION;

#define INS_PORT_DEFINITION_WORDS 9
#define INS_PRINTER_DEFINITION_WORDS 37

/* Opaque cursor of insGetFirstPrinterName. */
typedef struct INS_PRINTER_CURSOR* INS_PRINTER_CURSOR_HANDLE;

/* ---- frame ------------------------------------------------------------------------ */
BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved);
LONG WINAPI InstallAllowed(void);
LONG WINAPI ExeFileBitness(LPCSTR fileName);

/* ---- error state ------------------------------------------------------------------ */
LONG WINAPI ErrorTextLen(void);
LONG WINAPI RetrieveErrorText(LPSTR buffer);
LONG WINAPI ClearErrorFlag(void);
LONG WINAPI RebootRequired(void);

/* ---- registry --------------------------------------------------------------------- */
LONG WINAPI insFetchRegistryVal(LPCSTR path, LPCSTR valueName, LPBYTE buffer, LPLONG type, LONG bufferSize,
                                LPLONG neededSize);
LONG WINAPI insSetRegistryVal(LPCSTR path, LPCSTR valueName, LPCSTR data, LONG type, LONG length);
LONG WINAPI insFetchPrinterVal(LPCSTR printerName, LPCSTR valueName, LPBYTE buffer, LPLONG type, LONG bufferSize,
                               LPLONG neededSize);
LONG WINAPI insSetPrinterVal(LPCSTR printerName, LPCSTR valueName, LPCSTR data, LONG type, LONG length);

/* ---- port monitors ---------------------------------------------------------------- */
LONG WINAPI insIsMonitorPresent(LPCSTR monitorName, LPLONG present);
LONG WINAPI insAddMonitor(LPCSTR monitorPath, LPSTR idText);
LONG WINAPI insAddMonitorEx(LPCSTR monitorPath, LPSTR idText, LONG skipCompanions);
LONG WINAPI insDeleteMonitor(LPCSTR monitorName);

/* ---- ports ------------------------------------------------------------------------ */
LONG WINAPI insIsPortPresent(LPCSTR portName, LPLONG present);
LONG WINAPI insAddPort(const INS_PORT_DEFINITION* definition);
LONG WINAPI insAddPortEx(const INS_PORT_DEFINITION* definition, LPCSTR dialogSource);
LONG WINAPI insDeletePort(LPCSTR portName);
LONG WINAPI insDeletePortEx(LPCSTR portName, LONG unused1, LONG unused2);
LONG WINAPI insMovePort(const INS_PORT_DEFINITION* definition);

/* ---- print processors ------------------------------------------------------------- */
LONG WINAPI insIsPrtProcPresent(LPCSTR processorName, LPLONG present);
LONG WINAPI insAddPrintProc(LPCSTR dllPath, LPSTR processorName);
LONG WINAPI insDelPrintProc(LPCSTR processorName);

/* ---- printer drivers -------------------------------------------------------------- */
LONG WINAPI insIsPrintDriverPresent(LPCSTR driverName, LPLONG present);
LONG WINAPI insIsPrintDriverPresentEx(LPCSTR driverName, LPCSTR driverFile, LPLONG present, LPSTR installedName);
LONG WINAPI insAddPrintDriver(LPCSTR driverFile, LPCSTR configFile, LPSTR modelName);
/* dependentFiles: NUL-terminated names ended by an empty one (the REG_MULTI_SZ layout). */
LONG WINAPI insAddPrintDriverEx(LPCSTR driverFile, LPCSTR configFile, LPCSTR helpFile, LPCSTR dependentFiles,
                                LPSTR modelName);
LONG WINAPI insDelPrintDriver(LPCSTR driverName);

/* ---- files ------------------------------------------------------------------------ */
LONG WINAPI insSafeFileCopy(LPCSTR source, LPCSTR destination, LONG copyAlways);
LONG WINAPI insFileDelete(LPCSTR path);

/* ---- printers --------------------------------------------------------------------- */
INS_PRINTER_CURSOR_HANDLE WINAPI insGetFirstPrinterName(LPSTR buffer, LONG bufferSize, LPLONG result);
LONG WINAPI insGetNextPrinterName(INS_PRINTER_CURSOR_HANDLE cursor, LPSTR buffer, LONG bufferSize);
LONG WINAPI insFinishPrinterName(INS_PRINTER_CURSOR_HANDLE cursor);
LONG WINAPI insIsPrinterPresent(LPCSTR printerName, LPLONG present);
LONG WINAPI insAddPrinter(const INS_PRINTER_DEFINITION* definition);
LONG WINAPI insAddPrinterEx(const INS_PRINTER_DEFINITION* definition, LPCSTR sourcePath);
LONG WINAPI insNukePrinter(LPCSTR printerName);
LONG WINAPI insReplicatePrinter(LPCSTR existingPrinter, LPCSTR newPrinter, LPCSTR portName);
LONG WINAPI insGetDefaultPrinter(LPSTR buffer, DWORD bufferSize);
LONG WINAPI insSetDefaultPrinter(LPCSTR printer);
LONG WINAPI insPrintTestPage(HWND owner, LPCSTR printerName);
LONG WINAPI insDelPrinter(LPCSTR printerName);

/* ---- daemon ----------------------------------------------------------------------- */
LONG WINAPI insAddDaemonProcess(LPCSTR entryName, LPCSTR programPath);
LONG WINAPI insDeleteDaemonProcess(LPCSTR entryName);
LONG WINAPI insAddDaemonService(LPCSTR serviceName, LPCSTR programPath, LPCSTR accountName, LPCSTR password);
LONG WINAPI insDeleteDaemonService(LPCSTR serviceName);

#ifdef __cplusplus
}
#endif

#endif /* ORVINSTL_H */
