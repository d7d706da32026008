// One printer of the product's driver as the library holds it while it creates, updates,
// moves or replicates it: the spooler's description, the private intensity byte, and the
// driver's settings.
#pragma once

#include "orvinstl.h"
#include "platform.h"
#include "registry/registry_cache.h"

// The intensity a new printer's DEVMODE is given.
constexpr LONG new_printer_intensity = 160;

struct PrinterContext {
    // One heap block: a new printer's zero-filled record, or an existing printer's record
    // as GetPrinterA level 2 gave it, texts and DEVMODE included.
    PRINTER_INFO_2A* info;
    // Its low byte goes into the DEVMODE's private part on 95/98; unused on NT.
    LONG intensity;
    // The printer's driver-data key: from the templates for a new printer, from the
    // registry for an existing one.
    KeyEntry* settings;
};

// The caller's definition with every field of the latest version: the words of the
// caller's version are copied (never one more), the others take the values that leave
// their settings unchanged. False for a version other than 1 to 4.
bool read_printer_definition(const INS_PRINTER_DEFINITION* caller, INS_PRINTER_DEFINITION* full);

// A new printer's context: its record filled from the definition (port, driver and
// processor as given, the spooler's defaults elsewhere), its settings from the
// catalogue's groups for its kind, intensity 160. Null with `result` the recorded code
// on failure (123 for a name too long for its settings key path).
PrinterContext* new_printer_context(const INS_PRINTER_DEFINITION& definition, LONG* result);
// Opens an existing printer's context: null with `result` the recorded code on failure.
PrinterContext* open_printer_context(LPCSTR printer_name, LONG* result);
PrinterContext* printer_context_from_handle(HANDLE printer, LONG* result);
// Creates the printer the context describes, saves its settings and primes its DEVMODE.
LONG add_printer_from_context(PrinterContext* context);
// Applies the context to the existing printer of its name, likewise.
LONG update_printer_from_context(PrinterContext* context);
// Releases the settings, the record and the context; null is allowed.
void free_printer_context(PrinterContext* context);

// Makes the printer's first device context, so that its driver writes the DEVMODE, and
// on 95/98 stores the intensity byte in it: 0, -15 or the recorded code.
LONG prime_printer_devmode(LPCSTR printer_name, LONG intensity);
// The caller's resolution pair, paper size and orientation in the printer's DEVMODE.
LONG set_devmode_defaults(LPCSTR printer_name, LONG resolution, LONG paper_size, LONG orientation);

// The choices the public part of `chosen` records (paper, orientation, copies, quality
// and the like, each where its field bit is set) put into the DEVMODE the printer's
// driver made, whose private part stays the driver's own: 0, or the recorded code.
LONG carry_devmode_choices(LPCSTR printer_name, const DEVMODEA* chosen);

// 95/98: the printer's WIN.INI device section and the 16-bit driver's ini file, and the
// context's intensity; 0, or -7 when the intensity is rejected.
LONG write_9x_driver_settings(const INS_PRINTER_DEFINITION& definition, PrinterContext* context);
// 95/98: takes the printer's WIN.INI device section (of its name and port) away with it.
void remove_device_section(LPCSTR printer_name, LPCSTR port_name);
// Rebuilds a default output file name (MAX_PATH characters in `path`) from the parts
// given; stores it in its short form.
void make_default_file_name(LPSTR path, LPCSTR directory, LPCSTR name, LPCSTR extension);
