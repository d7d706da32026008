// The English message texts of the system's table. A caller that shows them to a
// user, or a test that compares a report byte for byte, sees what Windows shows, so
// a text goes in only when it is known exactly; a code the table lacks answers
// ERROR_MR_MID_NOT_FOUND, which is honest. Every platform gets the same texts.
#include "kernel/system_messages.h"

#include <algorithm>
#include <iterator>

namespace {

struct SystemMessage {
    DWORD code;
    const char* text;
};

// Sorted by code. Each text ends in CR LF because the message compiler ends every
// line of a definition so, and the width handling of FormatMessageA has to see it.
// Where Windows later reworded a text (8: "...memory resources..."), the wording of
// the Windows NT line up to XP is kept, the platforms winsim simulates.
constexpr SystemMessage kMessages[] = {
    {0, "The operation completed successfully.\r\n"},
    {1, "Incorrect function.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough storage is available to process this command.\r\n"},
    {13, "The data is invalid.\r\n"},
    {14, "Not enough storage is available to complete this operation.\r\n"},
    {15, "The system cannot find the drive specified.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {53, "The network path was not found.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {120, "This function is not supported on this system.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {126, "The specified module could not be found.\r\n"},
    {127, "The specified procedure could not be found.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {193, "%1 is not a valid Win32 application.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {317, "The system cannot find message text for message number 0x%1 in the message file for %2.\r\n"},
    {487, "Attempt to access invalid address.\r\n"},
    {1006, "The volume for a file has been externally altered so that the opened file is no longer valid.\r\n"},
    {1053, "The service did not respond to the start or control request in a timely fashion.\r\n"},
    {1056, "An instance of the service is already running.\r\n"},
    {1060, "The specified service does not exist as an installed service.\r\n"},
    {1062, "The service has not been started.\r\n"},
    {1073, "The specified service already exists.\r\n"},
    {1114, "A dynamic link library (DLL) initialization routine failed.\r\n"},
    {1132, "The base address or the file offset specified does not have the proper alignment.\r\n"},
    {1332, "No mapping between account names and security IDs was done.\r\n"},
    {1337, "The security ID structure is invalid.\r\n"},
    {1722, "The RPC server is unavailable.\r\n"},
    {1796, "The specified port is unknown.\r\n"},
    {1797, "The printer driver is unknown.\r\n"},
    {1798, "The print processor is unknown.\r\n"},
    {1801, "The printer name is invalid.\r\n"},
    {1802, "The printer already exists.\r\n"},
    {1804, "The specified datatype is invalid.\r\n"},
    {1812, "The specified image file did not contain a resource section.\r\n"},
    {1813, "The specified resource type cannot be found in the image file.\r\n"},
    {1814, "The specified resource name cannot be found in the image file.\r\n"},
    {1815, "The specified resource language ID cannot be found in the image file.\r\n"},
    {3000, "The specified print monitor is unknown.\r\n"},
    {3001, "The specified printer driver is currently in use.\r\n"},
    {3006, "The specified print monitor has already been installed.\r\n"},
    {3008, "The specified print monitor is currently in use.\r\n"},
};

constexpr bool sorted_by_code() {
    for (std::size_t i = 1; i < std::size(kMessages); ++i)
        if (kMessages[i - 1].code >= kMessages[i].code) return false;
    return true;
}
static_assert(sorted_by_code(), "the lookup is a binary search");

}  // namespace

namespace winsim::detail {

const char* system_message_text(DWORD code) {
    // An HRESULT that carries a Windows error (facility 7, as COM reports them) has that
    // error's text.
    if ((code & 0xFFFF0000u) == 0x80070000u) code &= 0xFFFFu;
    const auto* end = std::end(kMessages);
    const auto* it = std::lower_bound(std::begin(kMessages), end, code,
                                      [](const SystemMessage& m, DWORD c) { return m.code < c; });
    return it != end && it->code == code ? it->text : nullptr;
}

}  // namespace winsim::detail
