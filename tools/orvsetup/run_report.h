// The report of a run on every platform, for a person to look at rather than read: the
// table as report.json, and report.html, one page that needs nothing but itself.
#pragma once

#include "platform_table.h"

#include <string>

namespace orvsetup {

// Writes report.json and report.html into `folder` (made when missing). Throws
// std::runtime_error when they cannot be written.
void write_report(const std::string& folder, const PlatformTable& table);

// The page alone: each step's result coloured by outcome, its error text and what the
// machine saw on demand, and each platform's test pages as pictures taken into the page.
std::string report_page(const PlatformTable& table);

}  // namespace orvsetup
