#include "gdi/device_geometry.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace winsim::detail {

namespace {

struct PaperSize {
    short id;
    int width;  // tenths of a millimetre, portrait
    int length;
};

// The sheets a driver of these printers knows by number (DMPAPER_*).
constexpr PaperSize paper_sizes[] = {
    {1, 2159, 2794},  // letter
    {5, 2159, 3556},  // legal
    {7, 1842, 2667},  // executive
    {8, 2970, 4200},  // A3
    {9, 2100, 2970},  // A4
    {11, 1480, 2100}, // A5
    {13, 1820, 2570}, // B5 (JIS)
};

LONG dots(int tenths_of_mm, int dpi) { return static_cast<LONG>(std::lround(tenths_of_mm * static_cast<double>(dpi) / 254.0)); }

DEVMODEA header_of(const std::string& devmode) {
    DEVMODEA header{};
    std::memcpy(&header, devmode.data(), std::min(devmode.size(), sizeof header));
    // Fields past the DEVMODE's own size are not its own.
    if (devmode.size() < sizeof header) std::memset(reinterpret_cast<char*>(&header) + devmode.size(), 0, sizeof header - devmode.size());
    return header;
}

}  // namespace

DeviceGeometry printer_geometry(const DeviceProperties& properties, const std::string& devmode) {
    const DEVMODEA mode = header_of(devmode);
    DeviceGeometry device;
    device.properties = properties;
    // A DEVMODE's print quality is a number of dots when positive, a draft level when
    // negative; the device's own resolution stands in for a level.
    device.dpi_x = (mode.dmFields & DM_PRINTQUALITY) && mode.dmPrintQuality > 0 ? mode.dmPrintQuality : properties.resolution;
    device.dpi_y = (mode.dmFields & DM_YRESOLUTION) && mode.dmYResolution > 0 ? mode.dmYResolution : device.dpi_x;

    PaperSize paper = paper_sizes[0];
    if (mode.dmFields & DM_PAPERSIZE)
        for (const PaperSize& known : paper_sizes)
            if (known.id == mode.dmPaperSize) paper = known;
    if ((mode.dmFields & DM_PAPERWIDTH) && mode.dmPaperWidth > 0) paper.width = mode.dmPaperWidth;
    if ((mode.dmFields & DM_PAPERLENGTH) && mode.dmPaperLength > 0) paper.length = mode.dmPaperLength;
    if ((mode.dmFields & DM_ORIENTATION) && mode.dmOrientation == DMORIENT_LANDSCAPE) std::swap(paper.width, paper.length);

    device.paper_width = dots(paper.width, device.dpi_x);
    device.paper_height = dots(paper.length, device.dpi_y);
    device.offset_x = properties.margin * device.dpi_x / 100;
    device.offset_y = properties.margin * device.dpi_y / 100;
    device.printable_width = std::max<LONG>(0, device.paper_width - 2 * device.offset_x);
    device.printable_height = std::max<LONG>(0, device.paper_height - 2 * device.offset_y);
    device.bits_per_pixel = properties.colour ? 24 : 1;
    return device;
}

DeviceGeometry screen_geometry(BYTE charset) {
    DeviceGeometry device;
    device.properties.resolution = 96;
    device.properties.margin = 0;
    device.properties.colour = true;
    device.properties.proportional_default_font = true;
    device.properties.charset = charset;
    device.paper_width = device.printable_width = 1024;
    device.paper_height = device.printable_height = 768;
    device.bits_per_pixel = 32;
    device.printer = false;
    return device;
}

int device_capability(const DeviceGeometry& device, int index) {
    auto millimetres = [](LONG dots, int dpi) { return static_cast<int>(std::lround(dots * 25.4 / dpi)); };
    switch (index) {
    case TECHNOLOGY: return device.printer ? DT_RASPRINTER : DT_RASDISPLAY;
    case HORZSIZE: return millimetres(device.printable_width, device.dpi_x);
    case VERTSIZE: return millimetres(device.printable_height, device.dpi_y);
    case HORZRES: return device.printable_width;
    case VERTRES: return device.printable_height;
    case BITSPIXEL: return device.bits_per_pixel;
    case PLANES: return 1;
    // A device of more than 256 colours has no colour table to count.
    case NUMCOLORS: return device.bits_per_pixel > 8 ? -1 : 2;
    case RASTERCAPS:
        return device.properties.bit_block_transfers ? RC_BITBLT | RC_STRETCHBLT | RC_STRETCHDIB | RC_DIBTODEV : 0;
    case LOGPIXELSX: return device.dpi_x;
    case LOGPIXELSY: return device.dpi_y;
    case PHYSICALWIDTH: return device.printer ? device.paper_width : 0;
    case PHYSICALHEIGHT: return device.printer ? device.paper_height : 0;
    case PHYSICALOFFSETX: return device.printer ? device.offset_x : 0;
    case PHYSICALOFFSETY: return device.printer ? device.offset_y : 0;
    default: return 0;
    }
}

}  // namespace winsim::detail
