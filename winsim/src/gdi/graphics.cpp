// The control API of the machine's graphics, and what a test reads of a printed page.
#include <winsim/gdi/graphics.h>

#include "core/names.h"

#include <stdexcept>

namespace winsim {

void Graphics::set_device(std::string_view driver, const DeviceProperties& properties) {
    for (auto& [name, device] : devices_)
        if (detail::same_name(name, driver)) {
            device = properties;
            return;
        }
    devices_.emplace(std::string(driver), properties);
}

DeviceProperties Graphics::device(std::string_view driver) const {
    for (const auto& [name, device] : devices_)
        if (detail::same_name(name, driver)) return device;
    return DeviceProperties{};
}

const PrintedJob& Graphics::last_job(std::string_view printer) const {
    for (auto it = jobs_.rbegin(); it != jobs_.rend(); ++it)
        if (detail::same_name(it->printer, printer)) return *it;
    throw std::out_of_range("no document was printed on " + std::string(printer));
}

std::vector<PrintedText> PrintedPage::texts() const {
    std::vector<PrintedText> found;
    for (const PrintedItem& item : items)
        if (const auto* text = std::get_if<PrintedText>(&item)) found.push_back(*text);
    return found;
}

std::vector<PrintedBitmap> PrintedPage::bitmaps() const {
    std::vector<PrintedBitmap> found;
    for (const PrintedItem& item : items)
        if (const auto* bitmap = std::get_if<PrintedBitmap>(&item)) found.push_back(*bitmap);
    return found;
}

std::vector<std::string> PrintedPage::lines() const {
    std::vector<std::string> found;
    for (const PrintedText& text : texts())
        for (const PrintedLine& line : text.lines) found.push_back(line.text);
    return found;
}

}  // namespace winsim
