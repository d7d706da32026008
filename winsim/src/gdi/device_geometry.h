// The surface a device context draws on: its resolution, its sheet, the part of the
// sheet it can print, its colours and its own font, worked out from the driver's
// device and the DEVMODE the context was made with.
#pragma once

#include <winsim/gdi/devices.h>
#include <winsim/windows.h>

#include <string>

namespace winsim::detail {

struct DeviceGeometry {
    DeviceProperties properties;
    int dpi_x = 96;
    int dpi_y = 96;
    LONG paper_width = 0;  // dots
    LONG paper_height = 0;
    LONG offset_x = 0;  // the printable area's corner on the sheet
    LONG offset_y = 0;
    LONG printable_width = 0;
    LONG printable_height = 0;
    int bits_per_pixel = 1;
    bool printer = true;
};

// A printer's device, drawing with that DEVMODE.
DeviceGeometry printer_geometry(const DeviceProperties& properties, const std::string& devmode);
// The screen: 96 dots per inch, 1024 by 768, in colour.
DeviceGeometry screen_geometry(BYTE charset);

// What GetDeviceCaps answers for an index; 0 for one the device does not know.
int device_capability(const DeviceGeometry& device, int index);

}  // namespace winsim::detail
