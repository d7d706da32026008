#include "catalogue.h"
#include "error_state.h"
#include "memory.h"
#include "text_builder.h"

namespace {

constexpr int system_text_size = 1024;
constexpr DWORD line_width = 80;
// Enough empty texts for every insert a system message has after %1.
constexpr int insert_count = 10;

struct Entry {
    char system[system_text_size];
    char note[note_size];
};

// The system's own text for the code, or the catalogue's account of why there is none.
void format_system_text(DWORD code, LPCSTR value_name, LPSTR system) {
    static const char empty[] = "";
    DWORD_PTR arguments[insert_count];
    arguments[0] = reinterpret_cast<DWORD_PTR>(value_name ? value_name : empty);
    for (int i = 1; i < insert_count; ++i) arguments[i] = reinterpret_cast<DWORD_PTR>(empty);
    // Without a value name there is nothing to put into a %1, so inserts are left as they stand.
    DWORD flags = FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ARGUMENT_ARRAY | line_width;
    if (!value_name) flags |= FORMAT_MESSAGE_IGNORE_INSERTS;
    DWORD length = FormatMessageA(flags, nullptr, code, MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), system,
                                  system_text_size, reinterpret_cast<va_list*>(arguments));
    if (length) {
        if (length > system_text_size - 2) length = system_text_size - 2;
        system[length] = '\n';
        system[length + 1] = '\0';
        return;
    }
    DWORD failure = GetLastError();
    char format[entry_format_size];
    load_text(IDS_UNFORMATTABLE_CODE, format, entry_format_size);
    TextArgument argument = number_argument(static_cast<LONG>(failure));
    BuiltText text(format, &argument, 1);
    lstrcpynA(system, text.get() ? text.get() : "", system_text_size);
}

// The note a code carries: why 1801 says little, and, in the error text, what 1722 means.
void load_note(DWORD code, bool spooler_note, LPSTR note) {
    note[0] = '\0';
    if (code == 1801) load_text(IDS_NOTE_GENERIC_PRINTER_FAILURE, note, note_size);
    else if (code == 1722 && spooler_note) load_text(IDS_NOTE_SPOOLER_DOWN, note, note_size);
}

// "Printer installer WARNING (activity): error #code[ for value 'name']." The activity
// is loaded before the heading's format.
BuiltText build_heading(DWORD code, UINT message_id, LPCSTR value_name) {
    char activity[activity_text_size];
    load_text(message_id, activity, activity_text_size);
    char format[entry_format_size];
    load_text(value_name ? IDS_ENTRY_HEADING_WITH_VALUE : IDS_ENTRY_HEADING, format, entry_format_size);
    const TextArgument arguments[] = {text_argument(activity), number_argument(static_cast<LONG>(code)),
                                      text_argument(value_name)};
    return BuiltText(format, arguments, value_name ? 3 : 2);
}

// Appends pieces as one entry, after a line feed when a text is there already. Without
// memory for the longer text, the entry is dropped and the text stays as it was.
void append_entry(const LPCSTR* pieces, int count) {
    SIZE_T entry_length = 0;
    for (int i = 0; i < count; ++i) entry_length += static_cast<SIZE_T>(lstrlenA(pieces[i]));
    SIZE_T old_length = error_text ? static_cast<SIZE_T>(lstrlenA(error_text)) : 0;
    SIZE_T size = error_text ? old_length + 1 + entry_length + 1 : entry_length + 1;
    auto* text = static_cast<LPSTR>(LocalAlloc(LPTR, size));
    if (!text) return;
    if (error_text) {
        lstrcpyA(text, error_text);
        lstrcatA(text, "\n");
    }
    for (int i = 0; i < count; ++i) lstrcatA(text, pieces[i]);
    if (error_text) LocalFree(error_text);
    error_text = text;
}

bool ignored(DWORD code, DWORD ignore1, DWORD ignore2) { return code == 0 || code == ignore1 || code == ignore2; }

}  // namespace

LONG record_error(DWORD code, UINT message_id, LPCSTR value_name, DWORD ignore1, DWORD ignore2) {
    if (ignored(code, ignore1, ignore2)) return static_cast<LONG>(code);
    BuiltText heading = build_heading(code, message_id, value_name);
    Entry entry;
    format_system_text(code, value_name, entry.system);
    load_note(code, true, entry.note);
    if (heading.get()) {
        LPCSTR pieces[] = {heading.get(), entry.system, entry.note};
        append_entry(pieces, 3);
    }
    return static_cast<LONG>(code);
}

LONG record_last_error(UINT message_id, LPCSTR value_name, DWORD ignore1, DWORD ignore2) {
    return record_error(GetLastError(), message_id, value_name, ignore1, ignore2);
}

LONG show_last_error(HWND owner, UINT message_id, LPCSTR value_name, DWORD ignore1, DWORD ignore2) {
    DWORD code = GetLastError();
    if (ignored(code, ignore1, ignore2)) return static_cast<LONG>(code);
    BuiltText heading = build_heading(code, message_id, value_name);
    Entry entry;
    format_system_text(code, value_name, entry.system);
    // A message box is read at once, with no spooler to restart in between: 1722 gets no note.
    load_note(code, false, entry.note);
    char title[box_title_size];
    int length = heading.get() ? lstrlenA(heading.get()) + lstrlenA(entry.system) + lstrlenA(entry.note) : 0;
    LocalBlock text(static_cast<SIZE_T>(length) + 1);
    if (heading.get() && text.get()) {
        lstrcpyA(text.get(), heading.get());
        lstrcatA(text.get(), entry.system);
        lstrcatA(text.get(), entry.note);
        load_text(IDS_BOX_TITLE, title, box_title_size);
        MessageBoxA(owner, text.get(), title, MB_OK | MB_ICONHAND);
    } else {
        load_text(IDS_BOX_TITLE_MEMORY_CRAMP, title, box_title_size);
        MessageBoxA(owner, entry.system, title, MB_OK | MB_ICONHAND);
    }
    return static_cast<LONG>(code);
}

void record_warning(UINT message_id) {
    char prefix[activity_text_size];
    char message[warning_text_size];
    load_text(IDS_WARNING_PREFIX, prefix, activity_text_size);
    load_text(message_id, message, warning_text_size);
    LPCSTR pieces[] = {prefix, message, "\n"};
    append_entry(pieces, 3);
}
