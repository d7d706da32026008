// What a printer driver makes of its device: the properties a driver reports through
// GetDeviceCaps and the rest, chosen per driver by a test or a machine description.
#pragma once

#include <winsim/windows.h>

namespace winsim {

struct DeviceProperties {
    // Dots per inch, where the printer's DEVMODE asks for no resolution of its own
    // (no DM_PRINTQUALITY, or a draft level instead of a number of dots).
    int resolution = 300;
    // The margin the device cannot print in, on every side, in hundredths of an inch.
    int margin = 25;
    bool colour = false;
    // RC_BITBLT in RASTERCAPS: the device takes bitmaps.
    bool bit_block_transfers = true;
    // The device's own font: fixed pitch ("Courier"-like) unless proportional.
    bool proportional_default_font = false;
    BYTE charset = ANSI_CHARSET;
    // DeviceCapabilitiesA answers from the driver's DEVMODE; a driver that does not
    // answers -1.
    bool answers_capabilities = true;
};

}  // namespace winsim
