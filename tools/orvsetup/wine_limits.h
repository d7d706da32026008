// The steps Wine cannot play as Windows does: its spooler, service manager and printing
// answer some of the library's calls otherwise, as the Windows lane has shown
// (conformance/known-differences.txt). The player under Wine still plays such a step;
// its line says why the answer is Wine's and not Windows', the run is not held to it,
// and its failure does not stop the script.
#pragma once

#include <string>
#include <string_view>

namespace orvsetup {

// Why Wine cannot play the export on the platform as Windows does; "" when it can.
std::string wine_cannot_play(std::string_view export_name, std::string_view platform);

}  // namespace orvsetup
