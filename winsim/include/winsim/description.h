// Machines as they come from the field: a description (TOML) of what a machine
// already has when a setup program first runs on it. Machine::create_from_description
// and Machine::create_from_description_text make one.
//
//   platform = "nt4"                    # required; the names of find_platform
//   default_printer = "Office Laser"    # optional; a printer of the description
//
//   [options]                           # optional, as MachineOptions
//   arch = "x86"                        # "x86" or "x64"
//   administrator = true
//   terminal_services = false
//   setupapi = "present"                # "present", "without-isuseradmin", "absent"
//
//   [[file]]                            # put on the drive first, so monitors find their DLL
//   path = 'C:\WINNT\system32\ACMEMON.DLL'
//   text = "MZ"                         # the file's bytes; empty when left out
//
//   [[file]]                            # or the image a component recipe (mkimage) makes for
//   path = 'C:\WINNT\system32\ORVMON.DLL'   # the machine's arch; the recipe's path is taken
//   recipe = "../components/orvmon.dll.toml"   # from the description's folder
//
//   [[monitor]]
//   name = "Acme Port"
//   dll = "ACMEMON.DLL"
//
//   [[port]]
//   name = "ACME1:"
//   monitor = "Acme Port"               # "Local Port" when left out
//
//   [[print_processor]]
//   name = "AcmeProc"
//   dll = "ACMEPP.DLL"
//   datatypes = ["RAW"]
//
//   [[driver]]
//   name = "Acme Laser 5"
//   file = "ACMEL5.DLL"
//   config_file = "ACMEL5UI.DLL"        # optional, each a file name; the driver file
//   help_file = "ACMEL5.HLP"            # is the configuration and data file when
//   dependent_files = ["ACMEL5.DAT"]    # none is named
//
//   [[printer]]
//   name = "Office Laser"
//   port = "LPT1:"                      # a port, driver and processor the machine has
//   driver = "Acme Laser 5"
//   print_processor = "WinPrint"        # "WinPrint" when left out
//   datatype = "RAW"                    # "RAW" when left out
//   [printer.devmode]                   # each field optional; the rest stays the default
//   paper_size = 9                      # DMPAPER_*
//   orientation = 2                     # DMORIENT_*
//   print_quality = 600
//   y_resolution = 600
//   [printer.settings]                  # values under the printer's PrinterDriverData
//   Resolution = 600                    # a whole number is a REG_DWORD (-1: all bits set)
//   Paper = "Letter"                    # a text is a REG_SZ
//
//   [[device]]                          # what a driver's printers draw on (DeviceProperties);
//   driver = "Orvana Print Driver"      # the driver need not be installed yet
//   resolution = 600                    # each field optional; the rest stays the default
//   margin = 25                         # hundredths of an inch
//   colour = true
//   bit_block_transfers = false
//   proportional_default_font = true
//   charset = 0                         # of the device's own font
//   answers_capabilities = true
//
//   [screen]
//   charset = 0                         # the screen's text character set
//
// The default printer is kept where the platform keeps it: on NT the user's
// "Windows" key, value "Device", as "printer,winspool,Ne00:"; on 95/98 WIN.INI's
// [windows] section, "device=printer,driver,port" with the driver's file name
// without its extension.
#pragma once

#include <stdexcept>
#include <string>

namespace winsim {

// A description refused: the message names the file, the line and the key, as
// "office.toml:12: printer: unknown key 'prot'".
class DescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

}  // namespace winsim
