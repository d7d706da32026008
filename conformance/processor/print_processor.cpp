// The product's print processor as the lane installs it under Wine: a processor of
// the one datatype "RAW", which hands a job's bytes to the printer as they are.
#include <windows.h>
#include <winspool.h>
#include <winsplp.h>

#include <string>

namespace {

const wchar_t raw[] = L"RAW";

// One open document: the printer it goes to, and whether it was cancelled or paused.
struct Document {
    std::wstring printer;
    HANDLE resume = nullptr;  // signalled while the document may go on
    volatile LONG cancelled = 0;
};

bool copy_job(Document& document, LPWSTR job_name) {
    HANDLE job = nullptr;
    HANDLE printer = nullptr;
    if (!OpenPrinterW(job_name, &job, nullptr)) return false;
    if (!OpenPrinterW(document.printer.data(), &printer, nullptr)) {
        ClosePrinter(job);
        return false;
    }
    DOC_INFO_1W info{job_name, nullptr, const_cast<LPWSTR>(raw)};
    bool copied = StartDocPrinterW(printer, 1, reinterpret_cast<LPBYTE>(&info)) != 0;
    BYTE chunk[4096];
    DWORD read = 0;
    while (copied && !document.cancelled && ReadPrinter(job, chunk, sizeof chunk, &read) && read) {
        WaitForSingleObject(document.resume, INFINITE);
        DWORD written = 0;
        copied = WritePrinter(printer, chunk, read, &written) && written == read;
    }
    if (copied) EndDocPrinter(printer);
    ClosePrinter(printer);
    ClosePrinter(job);
    return copied && !document.cancelled;
}

}  // namespace

extern "C" {

BOOL WINAPI EnumPrintProcessorDatatypesW(LPWSTR, LPWSTR, DWORD level, LPBYTE buffer, DWORD size, LPDWORD needed,
                                         LPDWORD returned) {
    if (!needed || !returned) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    *returned = 0;
    if (level != 1) {
        SetLastError(ERROR_INVALID_LEVEL);
        return FALSE;
    }
    *needed = sizeof(DATATYPES_INFO_1W) + sizeof raw;
    if (!buffer || size < *needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    auto* info = reinterpret_cast<DATATYPES_INFO_1W*>(buffer);
    auto* name = reinterpret_cast<wchar_t*>(buffer + sizeof(DATATYPES_INFO_1W));
    CopyMemory(name, raw, sizeof raw);
    info->pName = name;
    *returned = 1;
    return TRUE;
}

HANDLE WINAPI OpenPrintProcessor(LPWSTR printer_name, PPRINTPROCESSOROPENDATA data) {
    if (!printer_name || !data || !data->pDatatype || lstrcmpiW(data->pDatatype, raw) != 0) {
        SetLastError(ERROR_INVALID_DATATYPE);
        return nullptr;
    }
    auto* document = new Document{printer_name};
    document->resume = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    if (!document->resume) {
        delete document;
        return nullptr;
    }
    return document;
}

BOOL WINAPI PrintDocumentOnPrintProcessor(HANDLE processor, LPWSTR document_name) {
    if (!processor || !document_name) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return copy_job(*static_cast<Document*>(processor), document_name) ? TRUE : FALSE;
}

BOOL WINAPI ControlPrintProcessor(HANDLE processor, DWORD command) {
    auto* document = static_cast<Document*>(processor);
    if (!document) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    switch (command) {
    case JOB_CONTROL_PAUSE:
        return ResetEvent(document->resume);
    case JOB_CONTROL_RESUME:
        return SetEvent(document->resume);
    case JOB_CONTROL_CANCEL:
        InterlockedExchange(&document->cancelled, 1);
        return SetEvent(document->resume);
    default:
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
}

BOOL WINAPI ClosePrintProcessor(HANDLE processor) {
    auto* document = static_cast<Document*>(processor);
    if (!document) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    CloseHandle(document->resume);
    delete document;
    return TRUE;
}

// One copy a page, in order: what a processor that does not lay pages out offers.
DWORD WINAPI GetPrintProcessorCapabilities(LPTSTR datatype, DWORD, LPBYTE data, DWORD size, LPDWORD needed) {
    if (!needed) return ERROR_INVALID_PARAMETER;
    *needed = sizeof(PRINTPROCESSOR_CAPS_1);
    if (!datatype || lstrcmpiW(reinterpret_cast<LPCWSTR>(datatype), raw) != 0) return ERROR_INVALID_DATATYPE;
    if (!data || size < sizeof(PRINTPROCESSOR_CAPS_1)) return ERROR_INSUFFICIENT_BUFFER;
    PRINTPROCESSOR_CAPS_1 caps{};
    caps.dwLevel = 1;
    caps.dwNupOptions = 1;
    caps.dwPageOrderFlags = NORMAL_PRINT;
    caps.dwNumberOfCopies = 1;
    CopyMemory(data, &caps, sizeof caps);
    return ERROR_SUCCESS;
}

}  // extern "C"
