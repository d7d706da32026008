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

/* Definitions that change nothing: every text null and every number at the value that
 * leaves its setting as it is (a port of the product's monitor; a plain printer of
 * version 4). A setup program starts from one and fills in what it means to set:
 *     INS_PRINTER_DEFINITION d = INS_PRINTER_DEFINITION_UNCHANGED;
 *     d.pPrinterName = "Fax"; ... */
#define INS_PORT_DEFINITION_UNCHANGED                                                    \
    {                                                                                    \
        0,                 /* nPlainPort */                                              \
        NULL, NULL,        /* pPortName, pMonitorName */                                 \
        NULL, NULL,        /* pFaxDialogLoc, pOutputDirectory */                         \
        NULL, NULL,        /* pOutputPrefix, pOutputExtension */                         \
        -1, -1             /* nSpawnInUserContext, nSeparateVdm */                       \
    }
#define INS_PRINTER_DEFINITION_UNCHANGED                                                 \
    {                                                                                    \
        4, 0,              /* dwVersion, dwKind */                                       \
        NULL, NULL, NULL,  /* pPrinterName, pPortName, pDriverName */                    \
        NULL, NULL,        /* pPrintProcessor, pDatatype */                              \
        NULL, NULL,        /* pFaxDialogLoc, pOutputDirectory */                         \
        NULL, NULL,        /* pOutputPrefix, pOutputExtension */                         \
        NULL, NULL,        /* pServerShareUsername, pServerSharePassword */              \
        -1, -1, -1,        /* nSpawnInUserContext, nSeparateVdm, nServerShareFlag */     \
        -1, -1,            /* nFileType, nMppfFlag */                                    \
        0,                 /* nSpoolMode */                                              \
        0, 0, 0,           /* nColorMode, nDitherPattern, nNtDitherPattern */            \
        -1,                /* nIntensity */                                              \
        -1, -1,            /* nDriverTimeout, nSecondTimeout */                          \
        0, -1, -1,         /* nResolution, nPaperSize, nOrientation */                   \
        NULL,              /* pDocketLibrary */                                          \
        -1, -1,            /* nLeftMargin, nSubfileType */                               \
        0, -1, -1,         /* nPrintMode, nJpegQuality, nCsidEnable */                   \
        NULL, NULL,        /* pCsidName, pCsidNumber */                                  \
        NULL               /* pResourceModule16 */                                       \
    }

/* Opaque cursor of insGetFirstPrinterName. */
typedef struct INS_PRINTER_CURSOR* INS_PRINTER_CURSOR_HANDLE;

/* Contracts. "Guarded" exports answer INS_ERROR_FLAG_SET (-1) while the error flag is
 * set, before they look at their arguments. A required pointer that is null gives
 * ERROR_INVALID_PARAMETER (87) with nothing done and nothing recorded. Names are compared
 * without regard to letter case. */

/* ---- frame ------------------------------------------------------------------------ */
BOOL WINAPI DllMain(HINSTANCE hModule, DWORD reason, LPVOID reserved);
/* Guarded. 0 allowed; INS_PLATFORM_UNSUPPORTED on Windows Me, NT 3.1/3.5, NT 6 and later
 * and Win32s; INS_NOT_ADMINISTRATOR on NT 4.0 when SETUPAPI's IsUserAdmin says no. A
 * refusal sets the error flag. */
LONG WINAPI InstallAllowed(void);
/* INS_EXE_WIN32, INS_EXE_WIN16, INS_EXE_DOS (MS-DOS, or a PIF on NT) or INS_EXE_UNKNOWN
 * (also for a missing file and a null name). */
LONG WINAPI ExeFileBitness(LPCSTR fileName);

/* ---- error state ------------------------------------------------------------------ */
/* 0 when there is no error text, else its length plus 1: the size RetrieveErrorText needs. */
LONG WINAPI ErrorTextLen(void);
/* buffer: at least ErrorTextLen() bytes. Copies the text and empties it: 1; an empty
 * string and 1 when there is none; 0 for a null buffer (the text stays). */
LONG WINAPI RetrieveErrorText(LPSTR buffer);
/* The error flag before the call (1 after a fatal failure), and clears it. */
LONG WINAPI ClearErrorFlag(void);
/* 1 when a file replacement or deletion waits for the next restart, or the spooler could
 * not be stopped or started to see a change; else 0. The flag stays set. */
LONG WINAPI RebootRequired(void);

/* ---- registry --------------------------------------------------------------------- */
/* path: a root name (HKEY_LOCAL_MACHINE or HKLM, HKEY_USERS or HKU, HKEY_CURRENT_USER or
 * HKCU, HKEY_CLASSES_ROOT or HKCR, in exactly these letters) and key names separated by
 * "/"; missing keys are created, on NT with access for everyone. The printer variants
 * take the printer's name for the path of its settings key (at most 400 characters in
 * all, else 123). REG_DWORD values cross as decimal text in both directions.
 * Fetch: path, valueName, type and neededSize required; buffer may be null when
 * bufferSize is 0. 0 with the data, its type and its size (a text with its terminator);
 * 0 too when bufferSize is smaller than the size, with the buffer starting with a NUL and
 * neededSize the size to pass next time; 2 for a missing value (type 0); else a Windows
 * code.
 * Set: type REG_SZ (1), REG_BINARY (3) or REG_DWORD (4) is written, another type writes
 * nothing and answers 0; length -1 for a text with its terminator (not for bytes), below
 * -1 is refused with 87; 13 for a path without a root name. */
LONG WINAPI insFetchRegistryVal(LPCSTR path, LPCSTR valueName, LPBYTE buffer, LPLONG type, LONG bufferSize,
                                LPLONG neededSize);
LONG WINAPI insSetRegistryVal(LPCSTR path, LPCSTR valueName, LPCSTR data, LONG type, LONG length);
LONG WINAPI insFetchPrinterVal(LPCSTR printerName, LPCSTR valueName, LPBYTE buffer, LPLONG type, LONG bufferSize,
                               LPLONG neededSize);
LONG WINAPI insSetPrinterVal(LPCSTR printerName, LPCSTR valueName, LPCSTR data, LONG type, LONG length);

/* ---- port monitors ---------------------------------------------------------------- */
/* Guarded; *present is 0 whatever the answer unless a monitor of that name is registered.
 * 0 with *present 1 or 0, else the enumeration's Windows code (1722 while the NT spooler
 * is stopped). */
LONG WINAPI insIsMonitorPresent(LPCSTR monitorName, LPLONG present);
/* insAddMonitorEx without the companion modules. */
LONG WINAPI insAddMonitor(LPCSTR monitorPath, LPSTR idText);
/* Guarded. monitorPath: the monitor DLL in the installation source (its file name at most
 * 51 characters, else 123). idText: null, or at least 80 characters for the monitor's
 * name (its string 300; a name of 80 characters or more is refused with 123 and sets the
 * error flag). skipCompanions: 0 also copies the companion modules on 95/98.
 * 0 installed, or its file replaced (on NT with the spooler stopped and started; on 95/98
 * at the next restart, RebootRequired then says 1); INS_NOT_PRODUCT_MONITOR (no string 300,
 * error flag set); INS_COMPANIONS_NOT_COPIED; else the failing step's Windows code. */
LONG WINAPI insAddMonitorEx(LPCSTR monitorPath, LPSTR idText, LONG skipCompanions);
/* Guarded. 0 removed, or not registered; the monitor's file stays. */
LONG WINAPI insDeleteMonitor(LPCSTR monitorName);

/* ---- ports ------------------------------------------------------------------------ */
/* Port names are taken the platform's way: Windows 95 ends every one with ":", NT 3.51
 * none, the others take it as it is. A name that does not fit 99 characters that way is
 * refused with 123. All are guarded.
 * 0 with *present 1 or 0 (names compared without regard to case), else the enumeration's
 * Windows code; *present is 0 whatever the answer unless the port exists. */
LONG WINAPI insIsPortPresent(LPCSTR portName, LPLONG present);
/* insAddPortEx without a dialog source. */
LONG WINAPI insAddPort(const INS_PORT_DEFINITION* definition);
/* definition: pPortName and pMonitorName required. dialogSource: null, or the dialog
 * program in the installation source, copied with its modules to pFaxDialogLoc for a port
 * of the product's monitor. On Windows 2000 the monitor adds the port through its
 * configuration channel (an existing port of the monitor is left as it is, and no
 * settings are written); elsewhere the port's settings (or the plain port's value) are
 * written to the monitor's keys and the spooler told: 95/98 and terminal servers ask the
 * monitor (AddPortA), NT 3.51 and 4.0 restart the spooler (a spooler that will not stop or
 * start leaves RebootRequired saying 1). An existing product port keeps every setting the
 * definition does not give; an existing plain port is left as it is.
 * 0 done; INS_PORT_OF_OTHER_MONITOR the port exists under another monitor (nothing
 * changed); INS_COMPANIONS_NOT_COPIED the port is there but the dialog program or a
 * module failed to copy; else the failing step's Windows code or the monitor's status. */
LONG WINAPI insAddPortEx(const INS_PORT_DEFINITION* definition, LPCSTR dialogSource);
/* insDeletePortEx(portName, 0, 0). */
LONG WINAPI insDeletePort(LPCSTR portName);
/* The two numbers are not used. 0 deleted, or not there; else the Windows code. */
LONG WINAPI insDeletePortEx(LPCSTR portName, LONG unused1, LONG unused2);
/* Makes the port anew from the definition under the printers that print to it alone:
 * they are captured, deleted with the port, and made again with their settings on the
 * new port, in the spooler's order. A port that is not there is added (insAddPortEx
 * without a dialog source). When a step fails after a printer was deleted, the port is
 * put back and the deleted printers made again before the failure is returned.
 * 0 done, else the failing step's code. */
LONG WINAPI insMovePort(const INS_PORT_DEFINITION* definition);

/* ---- print processors ------------------------------------------------------------- */
/* Guarded; *present is 0 whatever the answer unless a processor of that name is installed
 * for the platform's environment. 0 with *present 1 or 0, else the enumeration's Windows
 * code. */
LONG WINAPI insIsPrtProcPresent(LPCSTR processorName, LPLONG present);
/* Guarded. dllPath: the processor DLL in the installation source (the spooler's processor
 * directory, "\" and its file name at most 259 characters, else 206). processorName: null,
 * or at least 80 characters for the processor's name (its string 700; a name of 80
 * characters or more is refused with 123 and sets the error flag).
 * 0 copied into the processor directory and registered (a copy waiting for the restart
 * counts, RebootRequired then says 1), or the file of an installed processor replaced (on
 * NT with the spooler stopped and started, unless terminal services run);
 * INS_NOT_PRODUCT_PROCESSOR (no string 700, error flag set); INS_INSTALLED_NOT_OLDER on NT
 * when the installed processor's file is newer (95/98 answer 0); INS_PLATFORM_UNSUPPORTED;
 * else the failing step's Windows code (the DLL not loadable, a failed spooler stop or
 * start, or a failed registration also set the error flag). */
LONG WINAPI insAddPrintProc(LPCSTR dllPath, LPSTR processorName);
/* Guarded. Deletes the printers that print through the processor (the name matched with
 * its letter case; printers pending deletion skipped), then the registration; its file
 * stays. 0 removed, or not installed; else the failing step's code, and the printers after
 * a printer that could not be deleted stay. */
LONG WINAPI insDelPrintProc(LPCSTR processorName);

/* ---- printer drivers -------------------------------------------------------------- */
/* Guarded; the same as insIsPrintDriverPresentEx(driverName, NULL, present, NULL). */
LONG WINAPI insIsPrintDriverPresent(LPCSTR driverName, LPLONG present);
/* Guarded; *present is 0 and installedName "" whatever the answer unless a driver of the
 * platform's environment has that name (without regard to case) or was registered from a
 * file whose name without its last extension equals driverFile's (with its case; NULL or
 * "" matches no file): then *present is 1 and installedName (NULL, or 64 characters) gets
 * that driver's name. 0 with the answer; 87 for a NULL name or present; else the
 * enumeration's Windows code. */
LONG WINAPI insIsPrintDriverPresentEx(LPCSTR driverName, LPCSTR driverFile, LPLONG present, LPSTR installedName);
/* The same as insAddPrintDriverEx(driverFile, configFile, NULL, NULL, modelName). */
LONG WINAPI insAddPrintDriver(LPCSTR driverFile, LPCSTR configFile, LPSTR modelName);
/* Guarded. driverFile: on NT the 32-bit driver (its string 800 is the model name; the second
 * number of its file version the driver version the spooler is told, else 1 on NT 3.51, 2 on
 * NT 4.0, 3 on 2000), on 95/98 the 16-bit driver (its string 1 read through brg32res.dll,
 * else "Orvana Print Driver" on 95, "Orvana Win98 Driver" on 98). configFile: the
 * configuration DLL, required on NT, unused on 95/98. helpFile: registered as given (NULL
 * for none); the library does not copy it, so name it among the dependent files too.
 * dependentFiles: NULL, or NUL-terminated names ended by an empty one (the REG_MULTI_SZ
 * layout); each is copied by its name from driverFile's directory into the driver
 * directory, whatever directory the entry names, and a failed copy does not stop the
 * installation. modelName: NULL, or at least 80 characters for the model name.
 * The files are copied into the spooler's driver directory (a copy waiting for the restart
 * counts and sets RebootRequired), then the driver is registered. A driver registered
 * already under that name, or from a file of that name, is updated: its printers are
 * captured, deleted and made again on the new driver with their ports and settings, the
 * default printer is set again (2 seconds later), and RebootRequired says 1. A printer that
 * cannot be opened or captured stays on the old driver; when the new driver cannot be
 * registered, the old one is registered again with its printers, and the failure is still
 * answered. On 95/98 a driver registered from the same file under another name keeps its
 * installed file and is registered under the new name with its printers.
 * 0 done; INS_NOT_PRODUCT_DRIVER (no model name; error flag set); 123 a model name of 80
 * characters or more (error flag set); INS_INSTALLED_NOT_OLDER (an installed file is not
 * older: nothing registered); INS_PLATFORM_UNSUPPORTED; 87 a NULL driverFile (or configFile
 * on NT); else the failing step's Windows code (the driver file not loadable on NT also
 * sets the error flag); after an update, the codes of the steps that failed OR-ed. */
LONG WINAPI insAddPrintDriverEx(LPCSTR driverFile, LPCSTR configFile, LPCSTR helpFile, LPCSTR dependentFiles,
                                LPSTR modelName);
/* Guarded. Deletes the printers of the driver (name without regard to case), then the
 * driver; its files stay. 0 removed, or not installed; 87 for NULL; else the failing
 * step's code, and the printers after one that could not be deleted stay, with the driver. */
LONG WINAPI insDelPrintDriver(LPCSTR driverName);

/* ---- files ------------------------------------------------------------------------ */
/* destination: a file path, a directory ending in a backslash (the source's name is taken) or a
 * name without extension (the source's is taken). copyAlways: nonzero skips the
 * comparison. 0 copied; INS_INSTALLED_NOT_OLDER (higher version or later time installed);
 * INS_DEFERRED_TO_RESTART (the destination is in use: the new file waits and its
 * replacement is scheduled; RebootRequired is not set by this export); 2 the source cannot
 * be read; 206 a path longer than 259 characters; 123 a path Windows refuses for its
 * characters; else a Windows code. */
LONG WINAPI insSafeFileCopy(LPCSTR source, LPCSTR destination, LONG copyAlways);
/* 0 deleted, or not there; INS_DEFERRED_TO_RESTART its deletion is scheduled for the next
 * restart (the file is in use); else a Windows code (a deletion that cannot be scheduled
 * answers the scheduling's code). */
LONG WINAPI insFileDelete(LPCSTR path);

/* ---- printers --------------------------------------------------------------------- */
/* The printer cursor works while the error flag is set. First: a cursor and the first
 * local printer's name, cut to bufferSize (empty when there is none), *result 0 or the
 * enumeration's code; a null buffer gives no cursor and *result 87 (result may be null).
 * Next: the next name, empty after the last and for a null cursor; always 0. Finish:
 * frees the cursor (null is allowed); always 0. A cursor finished already, or a value
 * never handed out, is answered as the null cursor (nothing is read or freed through it).
 * At most 256 walks are open at once: First then gives no cursor, an empty name and
 * *result ERROR_NO_MORE_SEARCH_HANDLES (113). */
INS_PRINTER_CURSOR_HANDLE WINAPI insGetFirstPrinterName(LPSTR buffer, LONG bufferSize, LPLONG result);
LONG WINAPI insGetNextPrinterName(INS_PRINTER_CURSOR_HANDLE cursor, LPSTR buffer, LONG bufferSize);
LONG WINAPI insFinishPrinterName(INS_PRINTER_CURSOR_HANDLE cursor);
/* Guarded, as insIsMonitorPresent, for local printers. */
LONG WINAPI insIsPrinterPresent(LPCSTR printerName, LPLONG present);
/* Guarded. Creates a printer of the product's driver, or reconfigures the local printer
 * of that name; insAddPrinter is insAddPrinterEx with a null sourcePath. definition and
 * its pPrinterName are required; only dwVersion's words are read. sourcePath may be
 * null: given, with a non-empty pFaxDialogLoc, the dialog program and its companion
 * modules are copied from sourcePath's directory to pFaxDialogLoc's. 0 done;
 * INS_BAD_DEFINITION_VERSION for a version other than 1 to 4 (nothing recorded);
 * 123 for a printer name too long for its settings key path (400 characters in all);
 * INS_SELECTION_REJECTED for a spool mode or selection out of range (the first one's
 * warning recorded, nothing changed; on Windows 95/98 WIN.INI and the driver's ini file
 * are written already); INS_NO_DEVICE_CONTEXT when the printer's driver gives no device
 * context; INS_COMPANIONS_NOT_COPIED when the copy failed (the printer stays); else the
 * Windows code of the step that failed (1801 from the spooler, for example). A printer
 * without a default DEVMODE keeps it so and gets a warning only. */
LONG WINAPI insAddPrinter(const INS_PRINTER_DEFINITION* definition);
LONG WINAPI insAddPrinterEx(const INS_PRINTER_DEFINITION* definition, LPCSTR sourcePath);
/* Guarded. Deletes the printer and what no other printer still uses: its driver with the
 * driver's files and dependent files (those no other driver lists), its print processor
 * and the processor's file (never "winprint"), its ports, and the monitors that served only
 * those ports with their other ports and their DLL (never "Local Port" or its ports, nor a
 * port no monitor owns). Printers pending deletion count as gone. A file in use is deleted
 * at the next restart (RebootRequired then says 1). 0 done, or no such printer; 87 for a
 * null name; else the code of the first step that failed, recorded, and nothing after it
 * is done (what went before stays done; the printer is gone once deleted). */
LONG WINAPI insNukePrinter(LPCSTR printerName);
/* Guarded through its presence tests. Makes newPrinter on portName as a copy of
 * existingPrinter: driver, processor, datatype, DEVMODE, comment, location, priorities,
 * other attributes and its driver settings (written to the new printer's key; the
 * existing printer's stay as they are); never shared, offline or bidirectional. All three
 * texts are required (87). 0 made; INS_NO_SUCH_PRINTER (-10) no existing printer;
 * INS_TARGET_PRINTER_EXISTS (-14) the new name is taken (nothing made); else the code of
 * the failing step, recorded (1796 for a port the spooler does not know). */
LONG WINAPI insReplicatePrinter(LPCSTR existingPrinter, LPCSTR newPrinter, LPCSTR portName);
/* The default printer is WIN.INI's [Windows] Device entry, "printer,driver,port" (NT keeps
 * the section in the user's registry).
 * insGetDefaultPrinter: guarded. The whole entry, cut to bufferSize characters (terminator
 * included). 0 a default printer is set; INS_NO_SUCH_PRINTER (-10) none: the buffer holds
 * ",," (empty for an empty entry); 87 for a null buffer; ERROR_INSUFFICIENT_BUFFER (122)
 * for a bufferSize under 3, recorded; otherwise the code of the failed read, recorded.
 * insSetDefaultPrinter: not guarded. `printer` is a printer name, or any text that starts
 * with one and a comma (an entry from insGetDefaultPrinter can be passed back); the text
 * from the first comma on is ignored. The entry written is the name, a comma and the
 * printer's [Devices] value (its driver and port, whole), and WM_WININICHANGE is broadcast
 * (95/98 with the section "Windows", NT with none). 0 written; INS_NO_SUCH_PRINTER (-10)
 * with a warning when [Devices] does not list the printer, nothing written or broadcast;
 * 87 for a null text; ERROR_INVALID_NAME (123), recorded, for a name of 260 characters or
 * more; otherwise the code of the failed read, recorded. */
LONG WINAPI insGetDefaultPrinter(LPSTR buffer, DWORD bufferSize);
LONG WINAPI insSetDefaultPrinter(LPCSTR printer);
/* Not guarded: with error_flag set it prints nothing and asks the user (a box owned by
 * `owner`, which may be null) whether to see the earlier errors: INS_TEST_PAGE_NOT_PRINTED
 * (-16) when the user saw them, INS_ERROR_FLAG_SET (-1) when not. Otherwise prints one page
 * on the printer (logo, heading, the printer's name, model, driver files with versions,
 * DEVMODE version, colour support, port, data format and the driver's files), showing the
 * wait cursor meanwhile and restoring the caller's on every path. 0 printed;
 * INS_NO_SUCH_PRINTER (-10) no device context for the name (a box says so; nothing
 * recorded); 87 for a null name; otherwise the code of the failure (opening the printer,
 * starting the document, reading its records, drawing a line), shown in a box and, for the
 * report's failures, recorded too; ERROR_GEN_FAILURE (31) when such a failure came without
 * a code. A page whose line failed is still ended and spooled. */
LONG WINAPI insPrintTestPage(HWND owner, LPCSTR printerName);
/* Guarded. 0 deleted, or never there; its jobs are discarded first, and a refused purge
 * (5 for a user without the right) leaves the printer. A printer still open elsewhere
 * stays listed, pending deletion, until its last handle goes. */
LONG WINAPI insDelPrinter(LPCSTR printerName);

/* ---- daemon ----------------------------------------------------------------------- */
/* Not guarded.
 * insAddDaemonProcess: puts the daemon into the common Startup group as entryName and
 * starts programPath (detached, shown on WinSta0\Default). On NT 3.51 through Program
 * Manager's DDE commands (the old item removed, the new one added); elsewhere as the link
 * WINDIR\Profiles\All Users\Start Menu\Programs\Startup\entryName.lnk (NT 4.0, 2000)
 * or WINDIR\Start Menu\Programs\Startup\entryName.lnk, written over one of that name,
 * with the program's directory as working directory. 0 started; else the start's Windows
 * code, recorded (the entry stays); on NT 3.51 the DDE code when DDE cannot be started
 * (recorded, nothing done). A command or link that fails is recorded only.
 * insDeleteDaemonProcess: posts SC_CLOSE to the daemon's window when one is open (without
 * waiting) and takes the entry out through Program Manager's DDE commands on every
 * platform. 0, or the DDE code when DDE cannot be started (recorded).
 * Both: 87 for a null text, nothing recorded. */
LONG WINAPI insAddDaemonProcess(LPCSTR entryName, LPCSTR programPath);
LONG WINAPI insDeleteDaemonProcess(LPCSTR entryName);
/* Not guarded; the NT family (95/98 have no service control manager: 120, recorded).
 * insAddDaemonService: copies programPath into the system directory, whatever the
 * versions, and registers it there as the service serviceName (its display name too):
 * its own interactive process, auto-start, not started now. accountName and password may
 * be null (LocalSystem); an interactive service under another account is refused (87,
 * recorded). 0 registered; INS_DEFERRED_TO_RESTART when the program of the service
 * already there is in use: the new one takes effect at the next restart (warning,
 * RebootRequired set, the registration kept); 1073 the service exists (the program is
 * copied all the same); else the copy's result or the Windows code, recorded; 87 for a
 * null name or path, nothing recorded.
 * insDeleteDaemonService: stops the service, waiting up to 120 seconds (then 1053,
 * recorded, RebootRequired set), deletes it and deletes its program file (at the next
 * restart when it is in use, without RebootRequired). 0 removed, or not installed
 * (nothing recorded); 1062 the service was not running (it stays installed); else the
 * Windows code, recorded; 87 for a null name. A configuration that cannot be read is
 * recorded and the service removed without its file. */
LONG WINAPI insAddDaemonService(LPCSTR serviceName, LPCSTR programPath, LPCSTR accountName, LPCSTR password);
LONG WINAPI insDeleteDaemonService(LPCSTR serviceName);

#ifdef __cplusplus
}
#endif

#endif /* ORVINSTL_H */
