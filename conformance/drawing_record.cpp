#include "drawing_record.h"

#ifdef _WIN32
#include "import_table.h"
#endif

#include <cstddef>
#include <cstring>
#include <map>
#include <optional>
#include <utility>

// The calls recorded, each with the module it is imported from.
#define LANE_RECORDED_CALLS(X)                                                                                  \
    X("gdi32.dll", StartDocA) X("gdi32.dll", StartPage) X("gdi32.dll", EndPage) X("gdi32.dll", EndDoc)          \
    X("gdi32.dll", GetDeviceCaps) X("gdi32.dll", CreateFontIndirectA) X("gdi32.dll", SelectObject)            \
    X("gdi32.dll", DeleteObject) X("gdi32.dll", SetMapMode) X("gdi32.dll", StretchBlt)                        \
    X("user32.dll", DrawTextA) X("user32.dll", LoadBitmapA) X("user32.dll", LoadCursorA)                       \
    X("user32.dll", SetCursor) X("user32.dll", MessageBoxA) X("winspool.drv", DeviceCapabilitiesA)

#ifdef _WIN32
#define LANE_HOOK(name) recorded_##name
#define LANE_REAL_AT_START(name) nullptr
#else
// The host program is linked with --wrap=NAME for each (CMakeLists.txt): the library's
// calls reach __wrap_NAME, and __real_NAME is winsim's own function.
#define LANE_HOOK(name) __wrap_##name
#define LANE_REAL_AT_START(name) &__real_##name
#define LANE_DECLARE_REAL(dll, name) decltype(::name) __real_##name;
extern "C" {
LANE_RECORDED_CALLS(LANE_DECLARE_REAL)
}
#endif

namespace conformance {

struct Recording {
    struct Font {
        std::string face;
        LONG weight = 0;
        int charset = 0;
        int quality = 0;
        bool made = true;
        int selections = 0;
        std::optional<BOOL> deleted;
    };
    std::string driver_directory;
    std::vector<int> answers;
    std::size_t answered = 0;
    std::map<HCURSOR, std::string> cursor_names;
    Facts document, device, logo, texts, boxes, cursor;
    std::string capabilities_asked;
    std::vector<Font> fonts;
    std::map<HGDIOBJ, std::size_t> font_of_handle;
    // The face of the library's font selected into each context it selected one into;
    // "" for the device's own, selected back.
    std::map<HDC, std::string> faces;
    // The face and flags the texts written last were drawn with.
    std::optional<std::pair<std::string, UINT>> text_style;
    HBITMAP logo_bitmap = nullptr;
};

namespace {

struct RealCalls {
#define LANE_REAL_MEMBER(dll, name) decltype(&::name) name = LANE_REAL_AT_START(name);
    LANE_RECORDED_CALLS(LANE_REAL_MEMBER)
#undef LANE_REAL_MEMBER
};
RealCalls real;
Recording* in_force = nullptr;

// Records after the real call, leaving the last error as the call left it for the
// library, which may read it next.
template <typename Note>
void note(Note&& write) {
    if (!in_force) return;
    const DWORD error = GetLastError();
    write(*in_force, error);
    SetLastError(error);
}

void outcome(Facts& facts, const char* call, bool succeeded, DWORD error) {
    if (succeeded) {
        facts.word(call, "ok");
    } else {
        facts.word(call, "failed").number("error", error);
    }
}

std::string upper(std::string text) {
    for (char& c : text)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return text;
}

// The lane's Wine is an x64 machine with its own Windows directory, winsim's machines
// are x86: the driver directory is named rather than spelled out, and what follows it
// is still compared.
std::string with_driver_directory_named(std::string text, const std::string& directory) {
    if (directory.empty()) return text;
    const std::string wanted = upper(directory);
    const std::string name = "<driver directory>";
    for (std::size_t at = upper(text).find(wanted); at != std::string::npos; at = upper(text).find(wanted, at + name.size()))
        text.replace(at, directory.size(), name);
    return text;
}

std::string capability_name(int index) {
    switch (index) {
    case LOGPIXELSX: return "LOGPIXELSX";
    case LOGPIXELSY: return "LOGPIXELSY";
    case RASTERCAPS: return "RASTERCAPS";
    default: return std::to_string(index);
    }
}

std::string cursor_name(LPCSTR name) {
    if (!IS_INTRESOURCE(name)) return name;
    if (name == IDC_WAIT) return "wait";
    if (name == IDC_ARROW) return "arrow";
    return std::to_string(reinterpret_cast<ULONG_PTR>(name));
}

}  // namespace

// ---- the hooks --------------------------------------------------------------------

extern "C" {

int WINAPI LANE_HOOK(StartDocA)(HDC dc, const DOCINFOA* document) {
    const int job = real.StartDocA(dc, document);
    note([&](Recording& r, DWORD error) {
        outcome(r.document, "StartDocA", job > 0, error);
        if (document && document->lpszDocName) r.document.text("name", document->lpszDocName);
    });
    return job;
}

int WINAPI LANE_HOOK(StartPage)(HDC dc) {
    const int result = real.StartPage(dc);
    note([&](Recording& r, DWORD error) { outcome(r.document, "StartPage", result > 0, error); });
    return result;
}

int WINAPI LANE_HOOK(EndPage)(HDC dc) {
    const int result = real.EndPage(dc);
    note([&](Recording& r, DWORD error) { outcome(r.document, "EndPage", result > 0, error); });
    return result;
}

int WINAPI LANE_HOOK(EndDoc)(HDC dc) {
    const int result = real.EndDoc(dc);
    note([&](Recording& r, DWORD error) { outcome(r.document, "EndDoc", result > 0, error); });
    return result;
}

// Which numbers are asked, in order; of the answers only whether the device takes
// bitmaps, which chooses the page's layout.
int WINAPI LANE_HOOK(GetDeviceCaps)(HDC dc, int index) {
    const int answer = real.GetDeviceCaps(dc, index);
    note([&](Recording& r, DWORD) {
        if (!r.capabilities_asked.empty()) r.capabilities_asked += ' ';
        r.capabilities_asked += capability_name(index);
        if (index == RASTERCAPS) r.device.number("bitblt", answer & RC_BITBLT ? 1 : 0);
    });
    return answer;
}

int WINAPI LANE_HOOK(DeviceCapabilitiesA)(LPCSTR device, LPCSTR port, WORD capability, LPSTR output, const DEVMODEA* mode) {
    const int answer = real.DeviceCapabilitiesA(device, port, capability, output, mode);
    note([&](Recording& r, DWORD error) {
        const std::string name = capability == DC_VERSION ? "DC_VERSION" : "capability_" + std::to_string(capability);
        if (answer == -1) {
            r.device.word(name, "failed").number("error", error);
        } else {
            r.device.hex(name, static_cast<unsigned long>(answer));
        }
    });
    return answer;
}

// The height asked is left out: it follows the device's resolution.
HFONT WINAPI LANE_HOOK(CreateFontIndirectA)(const LOGFONTA* wanted) {
    HFONT font = real.CreateFontIndirectA(wanted);
    note([&](Recording& r, DWORD) {
        if (!wanted) return;
        Recording::Font made;
        made.face = wanted->lfFaceName;
        made.weight = wanted->lfWeight;
        made.charset = wanted->lfCharSet;
        made.quality = wanted->lfQuality;
        made.made = font != nullptr;
        r.fonts.push_back(made);
        if (font) r.font_of_handle[font] = r.fonts.size() - 1;
    });
    return font;
}

HGDIOBJ WINAPI LANE_HOOK(SelectObject)(HDC dc, HGDIOBJ object) {
    HGDIOBJ previous = real.SelectObject(dc, object);
    note([&](Recording& r, DWORD) {
        if (!previous || previous == HGDI_ERROR) return;
        auto font = r.font_of_handle.find(object);
        if (font != r.font_of_handle.end()) {
            ++r.fonts[font->second].selections;
            r.faces[dc] = r.fonts[font->second].face;
        } else if (r.faces.count(dc)) {
            // What was there before the library's font: the device's own.
            r.faces[dc] = "";
        }
    });
    return previous;
}

BOOL WINAPI LANE_HOOK(DeleteObject)(HGDIOBJ object) {
    const BOOL deleted = real.DeleteObject(object);
    note([&](Recording& r, DWORD error) {
        auto font = r.font_of_handle.find(object);
        if (font != r.font_of_handle.end()) {
            r.fonts[font->second].deleted = deleted;
            r.font_of_handle.erase(font);
        } else if (object && object == r.logo_bitmap) {
            outcome(r.logo, "DeleteObject", deleted, error);
            r.logo_bitmap = nullptr;
        }
    });
    return deleted;
}

HBITMAP WINAPI LANE_HOOK(LoadBitmapA)(HINSTANCE instance, LPCSTR name) {
    HBITMAP bitmap = real.LoadBitmapA(instance, name);
    note([&](Recording& r, DWORD error) {
        if (IS_INTRESOURCE(name)) {
            r.logo.number("LoadBitmapA", static_cast<long long>(reinterpret_cast<ULONG_PTR>(name)));
        } else {
            r.logo.text("LoadBitmapA", name);
        }
        outcome(r.logo, "loaded", bitmap != nullptr, error);
        if (bitmap) r.logo_bitmap = bitmap;
    });
    return bitmap;
}

int WINAPI LANE_HOOK(SetMapMode)(HDC dc, int mode) {
    const int previous = real.SetMapMode(dc, mode);
    note([&](Recording& r, DWORD) { r.logo.number("SetMapMode", mode).number("previous", previous); });
    return previous;
}

// The destination in the library's own logical units and the bitmap's part in its
// pixels: neither depends on the device.
BOOL WINAPI LANE_HOOK(StretchBlt)(HDC target, int x, int y, int width, int height, HDC source, int source_x, int source_y,
                                  int source_width, int source_height, DWORD operation) {
    const BOOL drawn = real.StretchBlt(target, x, y, width, height, source, source_x, source_y, source_width, source_height, operation);
    note([&](Recording& r, DWORD error) {
        outcome(r.logo, "StretchBlt", drawn, error);
        r.logo.word("to", std::to_string(x) + "," + std::to_string(y) + "+" + std::to_string(width) + "x" + std::to_string(height))
            .word("from", std::to_string(source_x) + "," + std::to_string(source_y) + "+" + std::to_string(source_width) + "x" +
                              std::to_string(source_height))
            .hex("rop", operation);
    });
    return drawn;
}

// The text as drawn, with the face and flags it was drawn with written where they
// change; the rectangle and the height drawn are the device's.
int WINAPI LANE_HOOK(DrawTextA)(HDC dc, LPCSTR text, int count, LPRECT rectangle, UINT flags) {
    const int height = real.DrawTextA(dc, text, count, rectangle, flags);
    note([&](Recording& r, DWORD error) {
        auto selected = r.faces.find(dc);
        const std::string face = selected == r.faces.end() ? "" : selected->second;
        if (!r.text_style || *r.text_style != std::make_pair(face, flags)) {
            if (face.empty()) {
                r.texts.word("face", "device");
            } else {
                r.texts.text("face", face);
            }
            r.texts.hex("flags", flags);
            r.text_style = std::make_pair(face, flags);
        }
        const std::string drawn = text ? std::string(text, count < 0 ? std::strlen(text) : static_cast<std::size_t>(count)) : "";
        r.texts.text("text", with_driver_directory_named(drawn, r.driver_directory));
        if (!height) r.texts.word("drawn", "no").number("error", error);
    });
    return height;
}

HCURSOR WINAPI LANE_HOOK(LoadCursorA)(HINSTANCE instance, LPCSTR name) {
    HCURSOR cursor = real.LoadCursorA(instance, name);
    note([&](Recording& r, DWORD error) {
        r.cursor.word("LoadCursorA", cursor_name(name));
        if (cursor) {
            r.cursor_names[cursor] = cursor_name(name);
        } else {
            r.cursor.word("loaded", "no").number("error", error);
        }
    });
    return cursor;
}

HCURSOR WINAPI LANE_HOOK(SetCursor)(HCURSOR cursor) {
    HCURSOR previous = real.SetCursor(cursor);
    note([&](Recording& r, DWORD) {
        auto name = r.cursor_names.find(cursor);
        r.cursor.word("SetCursor", !cursor ? "none" : name == r.cursor_names.end() ? "unknown" : name->second);
    });
    return previous;
}

// Answered here, never shown.
int WINAPI LANE_HOOK(MessageBoxA)(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    if (!in_force) return real.MessageBoxA(owner, text, caption, type);
    Recording& r = *in_force;
    const int answer = r.answered < r.answers.size() ? r.answers[r.answered++] : IDOK;
    r.boxes.text("caption", caption ? caption : "").text("text", with_driver_directory_named(text ? text : "", r.driver_directory));
    r.boxes.hex("type", type).number("answer", answer);
    return answer;
}

}  // extern "C"

// ---- the record -------------------------------------------------------------------

namespace {

#ifdef _WIN32
struct Replaced {
    const char* dll;
    const char* name;
    void* original;
};
std::vector<Replaced> replaced;

template <typename Function>
void replace(HMODULE library, const char* dll, const char* name, Function hook, Function& real_call) {
    void* original = replace_import(library, dll, name, reinterpret_cast<void*>(hook));
    real_call = reinterpret_cast<Function>(original);
    if (original) replaced.push_back({dll, name, original});
}

void replace_imports() {
    HMODULE library = GetModuleHandleA("OrvInstl.dll");
    if (!library) return;
#define LANE_REPLACE(dll, name) replace(library, dll, #name, &LANE_HOOK(name), real.name);
    LANE_RECORDED_CALLS(LANE_REPLACE)
#undef LANE_REPLACE
}

void restore_imports() {
    if (HMODULE library = GetModuleHandleA("OrvInstl.dll"))
        for (const Replaced& entry : replaced) replace_import(library, entry.dll, entry.name, entry.original);
    replaced.clear();
}
#endif

}  // namespace

DrawingRecord::DrawingRecord(std::vector<int> answers) : recording_(std::make_unique<Recording>()) {
    recording_->answers = std::move(answers);
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    if (GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed))
        recording_->driver_directory = directory;
    if (HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW)) {
        SetCursor(arrow);
        recording_->cursor_names[arrow] = "arrow";
    }
#ifdef _WIN32
    replace_imports();
#endif
    in_force = recording_.get();
    recording_in_force_ = true;
}

DrawingRecord::~DrawingRecord() { stop(); }

void DrawingRecord::stop() {
    if (!recording_in_force_) return;
#ifdef _WIN32
    restore_imports();
#endif
    in_force = nullptr;
    recording_in_force_ = false;
}

void DrawingRecord::report(Session& s, const std::string& step) const {
    const Recording& r = *recording_;
    auto write = [&](const char* kind, const Facts& facts) {
        s.report(step + ": " + kind, facts.str().empty() ? Facts().word("calls", "none") : facts);
    };
    write("document", r.document);
    Facts device;
    if (!r.capabilities_asked.empty()) device.text("GetDeviceCaps", r.capabilities_asked);
    write("device", device.append(r.device));
    Facts fonts;
    for (const Recording::Font& font : r.fonts) {
        fonts.text("face", font.face).number("weight", font.weight).number("charset", font.charset).number("quality", font.quality);
        if (!font.made) {
            fonts.number("made", 0);
            continue;
        }
        fonts.number("selected", font.selections);
        if (font.deleted) {
            fonts.number("deleted", *font.deleted);
        } else {
            fonts.word("deleted", "never");
        }
    }
    write("fonts", fonts);
    Facts logo = r.logo;
    if (r.logo_bitmap) logo.word("DeleteObject", "never");
    write("logo", logo);
    write("texts", r.texts);
    write("boxes", r.boxes);
    write("cursor", r.cursor);
}

}  // namespace conformance
