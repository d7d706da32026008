// The driver's private settings of a printer: the values a new printer's
// PrinterDriverData key receives, where that key lies, and how a caller's selections
// become stored values.
#pragma once

#include "orvinstl.h"
#include "platform.h"
#include "registry/registry_cache.h"
#include "registry/registry_path.h"

// The value groups, each ended by a row without a name: every printer of the driver
// gets the main group; a Prism printer the Prism group, a Docket printer the Docket
// group besides, in the same key.
extern const TemplateRow main_settings[];
extern const TemplateRow prism_settings[];
extern const TemplateRow docket_settings[];

// The kinds a definition names.
constexpr LONG docket_printer = 1;
constexpr LONG prism_printer = 2;

// The printer's driver-data key path (the SOFTWARE tree on NT 5, the SYSTEM tree
// elsewhere) in a buffer of printer_key_path_size characters: 0, or for a name that
// does not fit 123, recorded with the name, and nothing written.
LONG printer_settings_path(LPCSTR printer_name, LPSTR path);

// The key list a new printer's settings are made from: the path (which the list
// points to) with the groups of its kind, ended by an entry without a path.
void printer_settings_keys(LPCSTR path, LONG kind, TemplateKey (&keys)[3]);

// Applies the definition's selections to the settings in the catalogue's order. The
// first rejected one records its warning and stops the rest: 0, or
// INS_SELECTION_REJECTED.
LONG apply_selection_rules(const INS_PRINTER_DEFINITION& definition, KeyEntry* settings);
