// Control API of the machine's graphics: the devices its printer drivers draw on, the
// screen's text character set, and every document printed.
#pragma once

#include <winsim/gdi/devices.h>
#include <winsim/gdi/printed_jobs.h>

#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace winsim {

class Graphics {
public:
    // The device of every printer of the driver (by its model name); a driver nobody
    // set has the default one.
    void set_device(std::string_view driver, const DeviceProperties& properties);
    DeviceProperties device(std::string_view driver) const;
    const std::map<std::string, DeviceProperties, std::less<>>& devices() const { return devices_; }

    // The character set of the screen's text (GetTextCharset of GetDC(NULL)).
    BYTE screen_charset() const { return screen_charset_; }
    void set_screen_charset(BYTE charset) { screen_charset_ = charset; }

    // Every document started on the machine's printers, oldest first.
    const std::vector<PrintedJob>& jobs() const { return jobs_; }
    std::vector<PrintedJob>& jobs() { return jobs_; }
    // The last job sent to a printer; throws std::out_of_range when it printed none.
    const PrintedJob& last_job(std::string_view printer) const;

private:
    std::map<std::string, DeviceProperties, std::less<>> devices_;
    BYTE screen_charset_ = ANSI_CHARSET;
    std::vector<PrintedJob> jobs_;
};

}  // namespace winsim
