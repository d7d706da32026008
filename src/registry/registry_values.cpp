// The exported registry functions: single values under slash paths, and a printer's
// private settings, with REG_DWORD values crossing as decimal text both ways.
#include "orvinstl.h"
#include "registry_path.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"

namespace {

const char printer_key_prefix[] = "HKLM/SYSTEM/CurrentControlSet/Control/Print/Printers/";
const char printer_key_suffix[] = "/PrinterDriverData";

// The printer's settings key path, or false when it would not fit its buffer.
bool printer_key_path(LPCSTR printer, LPSTR path) {
    int length = lstrlenA(printer_key_prefix) + lstrlenA(printer) + lstrlenA(printer_key_suffix);
    if (length >= printer_key_path_size) return false;
    lstrcpyA(path, printer_key_prefix);
    lstrcatA(path, printer);
    lstrcatA(path, printer_key_suffix);
    return true;
}

// The size a text takes in the caller's buffer: its stored size, and one byte more when
// it was stored without its terminator, which the caller gets added. Telling the two
// apart takes the text itself; without memory to read it into, the larger size is
// answered, which is always enough.
LONG needed_text_size(HKEY key, LPCSTR name, DWORD size, DWORD* needed) {
    *needed = size + 1;
    auto* text = static_cast<LPBYTE>(heap_alloc(size));
    if (!text) return ERROR_SUCCESS;
    DWORD read = size;
    LONG code = RegQueryValueExA(key, name, nullptr, nullptr, text, &read);
    if (code == ERROR_SUCCESS && read > 0 && text[read - 1] == '\0') *needed = read;
    // A text that grew since its size was asked for is measured again by the caller's
    // next call.
    if (code == ERROR_MORE_DATA) code = ERROR_SUCCESS;
    heap_free(text);
    return code;
}

// Reads a text into the caller's buffer, always terminated: a text stored without its
// terminator gets one when the buffer has room, or counts as too long. Too long, the
// buffer is emptied and needed size tells what it takes.
LONG fetch_text(HKEY key, LPCSTR name, LPBYTE buffer, DWORD size, LONG buffer_size, LPLONG needed_size) {
    const DWORD capacity = buffer_size > 0 ? static_cast<DWORD>(buffer_size) : 0;
    DWORD read = capacity;
    LONG code = capacity >= size ? RegQueryValueExA(key, name, nullptr, nullptr, buffer, &read) : ERROR_MORE_DATA;
    DWORD needed = 0;
    if (code == ERROR_SUCCESS && (read == 0 || buffer[read - 1] == '\0')) return ERROR_SUCCESS;
    if (code == ERROR_SUCCESS && read < capacity) {
        buffer[read] = '\0';
        return ERROR_SUCCESS;
    }
    if (code == ERROR_SUCCESS) needed = read + 1;
    else if (code == ERROR_MORE_DATA) code = needed_text_size(key, name, size, &needed);
    if (code) return record_error(static_cast<DWORD>(code), IDS_RETRIEVE_DATA_REGVALUEQUERYEX_REG_SZ, name, 0, 0);
    *needed_size = static_cast<LONG>(needed);
    if (capacity > 0) buffer[0] = '\0';
    return ERROR_SUCCESS;
}

LONG fetch_value(HKEY key, LPCSTR name, LPBYTE buffer, DWORD type, DWORD size, LONG buffer_size, LPLONG needed_size) {
    DWORD capacity = buffer_size > 0 ? static_cast<DWORD>(buffer_size) : 0;
    switch (type) {
    case REG_SZ:
        return fetch_text(key, name, buffer, size, buffer_size, needed_size);
    case REG_BINARY: {
        *needed_size = static_cast<LONG>(size);
        if (capacity < size) return ERROR_SUCCESS;
        LONG code = RegQueryValueExA(key, name, nullptr, nullptr, buffer, &capacity);
        return code ? record_error(static_cast<DWORD>(code), IDS_RETRIEVE_DATA_REGVALUEQUERYEX_REG_BINARY, name, 0, 0) : 0;
    }
    case REG_DWORD: {
        DWORD value = 0;
        if (LONG code = query_dword(key, name, &value)) return code;
        char text[dword_text_size];
        dword_to_text(value, text);
        LONG length = lstrlenA(text) + 1;
        if (length <= buffer_size) lstrcpyA(reinterpret_cast<LPSTR>(buffer), text);
        *needed_size = length;
        return ERROR_SUCCESS;
    }
    default:
        return ERROR_SUCCESS;
    }
}

}  // namespace

// Reads one value under a slash path into the caller's buffer: REG_SZ as stored,
// REG_BINARY as bytes, REG_DWORD as decimal text. 0 also when the buffer is too small
// (the buffer then starts with a NUL and needed size says what it takes); 2 when the
// value is missing; else the Windows code of the failing step. Creates missing keys.
LONG WINAPI insFetchRegistryVal(LPCSTR path, LPCSTR valueName, LPBYTE buffer, LPLONG type, LONG bufferSize,
                                LPLONG neededSize) {
    if (!path || !valueName || !buffer || !type || !neededSize) return ERROR_INVALID_PARAMETER;
    if (bufferSize > 0) buffer[0] = '\0';
    LONG error = 0;
    HKEY key = traverse_path(path, &error);
    if (error) {
        *type = REG_NONE;
        return error;
    }
    DWORD value_type = REG_NONE;
    DWORD size = 0;
    LONG result = RegQueryValueExA(key, valueName, nullptr, &value_type, nullptr, &size);
    if (result == ERROR_FILE_NOT_FOUND) {
        value_type = REG_NONE;
    } else if (result) {
        result = record_error(static_cast<DWORD>(result), IDS_RETRIEVE_DATA_REGQUERYVALUEEX, valueName, 0, 0);
        value_type = REG_NONE;
    } else if (size > 0) {
        result = fetch_value(key, valueName, buffer, value_type, size, bufferSize, neededSize);
    }
    RegCloseKey(key);
    *type = static_cast<LONG>(value_type);
    return result;
}

// Writes one value under a slash path, creating missing keys: type 1 text (length -1
// for the text and its terminator), 3 bytes, 4 a number as decimal text. Any other
// type writes nothing and answers 0.
LONG WINAPI insSetRegistryVal(LPCSTR path, LPCSTR valueName, LPCSTR data, LONG type, LONG length) {
    if (!path || !valueName || !data) return ERROR_INVALID_PARAMETER;
    // Only a text knows its own length; any other negative length would read past the data.
    if (length < -1 || (length == -1 && type == REG_BINARY)) return ERROR_INVALID_PARAMETER;
    LONG error = 0;
    HKEY key = traverse_path(path, &error);
    if (error) return error;
    LONG code = ERROR_SUCCESS;
    UINT activity = 0;
    if (type == REG_SZ) {
        DWORD size = static_cast<DWORD>(value_data_size(data, length));
        code = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data), size);
        activity = IDS_SET_VALUE_SZ;
    } else if (type == REG_BINARY) {
        code = RegSetValueExA(key, valueName, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data), static_cast<DWORD>(length));
        activity = IDS_SET_VALUE_BINARY;
    } else if (type == REG_DWORD) {
        LONG value = dword_from_text(data);
        code = RegSetValueExA(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        activity = IDS_SET_VALUE_DWORD;
    }
    if (code) code = record_error(static_cast<DWORD>(code), activity, valueName, 0, 0);
    RegCloseKey(key);
    return code;
}

// insFetchRegistryVal on the printer's settings key
// HKLM/SYSTEM/CurrentControlSet/Control/Print/Printers/<printer>/PrinterDriverData;
// a printer name too long for that path is refused with 123.
LONG WINAPI insFetchPrinterVal(LPCSTR printerName, LPCSTR valueName, LPBYTE buffer, LPLONG type, LONG bufferSize,
                               LPLONG neededSize) {
    if (!printerName || !valueName || !buffer || !type || !neededSize) return ERROR_INVALID_PARAMETER;
    char path[printer_key_path_size];
    if (!printer_key_path(printerName, path))
        return record_error(ERROR_INVALID_NAME, IDS_TRAVERSE_PATH_REGISTRY_KEY_CREATOR, printerName, 0, 0);
    return insFetchRegistryVal(path, valueName, buffer, type, bufferSize, neededSize);
}

// insSetRegistryVal on the printer's settings key, as insFetchPrinterVal names it.
LONG WINAPI insSetPrinterVal(LPCSTR printerName, LPCSTR valueName, LPCSTR data, LONG type, LONG length) {
    if (!printerName || !valueName || !data) return ERROR_INVALID_PARAMETER;
    char path[printer_key_path_size];
    if (!printer_key_path(printerName, path))
        return record_error(ERROR_INVALID_NAME, IDS_TRAVERSE_PATH_REGISTRY_KEY_CREATOR, printerName, 0, 0);
    return insSetRegistryVal(path, valueName, data, type, length);
}
