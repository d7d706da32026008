#include "result_words.h"

#include <iterator>

namespace orvsetup {

namespace {

struct ResultMeaning {
    LONG result;
    const char* meaning;
};

// The library's own outcomes by their names in orvinstl.h, then the Windows codes its
// exports pass on.
constexpr ResultMeaning meanings[] = {
    {INS_OK, "done"},
    {INS_ERROR_FLAG_SET, "error flag set by an earlier failure"},
    {INS_NOT_PRODUCT_MONITOR, "not the product's port monitor"},
    {INS_PLATFORM_UNSUPPORTED, "platform not supported"},
    {INS_NOT_ADMINISTRATOR, "user is not an administrator"},
    {INS_NOT_PRODUCT_PROCESSOR, "not the product's print processor"},
    {INS_BAD_DEFINITION_VERSION, "definition version not 1 to 4"},
    {INS_SELECTION_REJECTED, "selection rejected"},
    {INS_PORT_OF_OTHER_MONITOR, "port of another monitor"},
    {INS_NOT_PRODUCT_DRIVER, "not the product's driver"},
    {INS_NO_SUCH_PRINTER, "no such printer"},
    {INS_INSTALLED_NOT_OLDER, "installed file is not older"},
    {INS_DEFERRED_TO_RESTART, "replacement waits for the restart"},
    {INS_TARGET_PRINTER_EXISTS, "target printer exists"},
    {INS_NO_DEVICE_CONTEXT, "no device context"},
    {INS_TEST_PAGE_NOT_PRINTED, "test page not printed"},
    {INS_COMPANIONS_NOT_COPIED, "companion modules not copied"},
    {ERROR_FILE_NOT_FOUND, "file not found"},
    {ERROR_PATH_NOT_FOUND, "path not found"},
    {ERROR_ACCESS_DENIED, "access denied"},
    {ERROR_SHARING_VIOLATION, "file in use"},
    {ERROR_NOT_SUPPORTED, "not supported"},
    {ERROR_INVALID_PARAMETER, "invalid parameter"},
    {ERROR_CALL_NOT_IMPLEMENTED, "call not implemented"},
    {ERROR_INSUFFICIENT_BUFFER, "buffer too small"},
    {ERROR_INVALID_NAME, "invalid name"},
    {ERROR_INVALID_LEVEL, "invalid level"},
    {ERROR_BUSY, "in use"},
    {ERROR_ALREADY_EXISTS, "already exists"},
    {ERROR_MOD_NOT_FOUND, "module not found"},
    {ERROR_PROC_NOT_FOUND, "procedure not found"},
    {ERROR_BAD_EXE_FORMAT, "not a valid program"},
    {ERROR_CAN_NOT_COMPLETE, "cannot complete (in use)"},
    {ERROR_SERVICE_DOES_NOT_EXIST, "no such service"},
    {ERROR_SERVICE_ALREADY_RUNNING, "service already running"},
    {ERROR_SERVICE_NOT_ACTIVE, "service not running"},
    {ERROR_SERVICE_MARKED_FOR_DELETE, "service marked for deletion"},
    {ERROR_SERVICE_EXISTS, "service exists"},
    {ERROR_UNKNOWN_PORT, "unknown port"},
    {ERROR_UNKNOWN_PRINTER_DRIVER, "unknown printer driver"},
    {ERROR_UNKNOWN_PRINTPROCESSOR, "unknown print processor"},
    {ERROR_INVALID_PRINTER_NAME, "printer-name error"},
    {ERROR_PRINTER_ALREADY_EXISTS, "printer exists"},
    {ERROR_INVALID_DATATYPE, "invalid datatype"},
    {ERROR_PRINTER_DRIVER_IN_USE, "printer driver in use"},
    {ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED, "print processor already installed"},
    {ERROR_PRINT_MONITOR_ALREADY_INSTALLED, "port monitor already installed"},
    {ERROR_INVALID_PRINT_MONITOR, "invalid port monitor"},
    {ERROR_PRINT_MONITOR_IN_USE, "port monitor in use"},
    {ERROR_PRINTER_HAS_JOBS_QUEUED, "printer has jobs queued"},
};

}  // namespace

const char* result_meaning(LONG result) {
    for (const ResultMeaning& entry : meanings)
        if (entry.result == result) return entry.meaning;
    return "";
}

std::string result_in_words(LONG result) {
    std::string words = std::to_string(result);
    const char* meaning = result_meaning(result);
    return *meaning ? words + " " + meaning : words;
}

}  // namespace orvsetup
