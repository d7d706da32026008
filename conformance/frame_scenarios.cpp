// The frame's scenarios: the platform met, InstallAllowed, the error text, and the
// executable type of images written for the purpose.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <mkimage/headers.h>

namespace conformance {

namespace {

// ---- frame ------------------------------------------------------------------------

// Which system the scenarios met: every other line means something only when this one
// agrees, and under Wine it shows that the version chosen for the program took effect.
void platform(Session& s) {
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    BOOL ok = GetVersionExA(&version);
    s.report("GetVersionExA", Facts()
                                  .number("ok", ok ? 1 : 0)
                                  .number("platform_id", static_cast<long long>(version.dwPlatformId))
                                  .number("major", static_cast<long long>(version.dwMajorVersion))
                                  .number("minor", static_cast<long long>(version.dwMinorVersion))
                                  .hex("build", version.dwBuildNumber)
                                  .text("csd", version.szCSDVersion));
}

void install_allowed(Session& s) {
    s.result("first call", s.x.install_allowed());
    s.result("second call", s.x.install_allowed());
    s.result("ClearErrorFlag", s.x.clear_error_flag());
    s.result("ClearErrorFlag again", s.x.clear_error_flag());
    s.result("call after clearing", s.x.install_allowed());
    s.result("RebootRequired", s.x.reboot_required());
}

// The error text can only be reached through what the exports record; the refusals
// of InstallAllowed are what records one without any setting up.
void error_text(Session& s) {
    s.report("length before anything", Facts().number("result", s.x.error_text_len()));
    std::string buffer(16, '#');
    LONG retrieved = s.x.retrieve_error_text(buffer.data());
    s.report("retrieve with nothing recorded", Facts().number("result", retrieved).text("buffer", buffer));
    s.report("InstallAllowed", Facts().number("result", s.x.install_allowed()));
    LONG length = s.x.error_text_len();
    s.report("length after InstallAllowed", Facts().number("result", length));
    s.report("retrieve into null", Facts().number("result", s.x.retrieve_error_text(nullptr)));
    s.report("length after retrieve into null", Facts().number("result", s.x.error_text_len()));
    std::string text(length > 0 ? static_cast<std::size_t>(length) : 1, '#');
    retrieved = s.x.retrieve_error_text(text.data());
    s.report("retrieve", Facts().number("result", retrieved).text("buffer", text));
    s.report("length after retrieve", Facts().number("result", s.x.error_text_len()));
}

struct ImageCase {
    const char* step;
    const char* file;  // under scratch_directory; null for a null name
    std::string bytes;
    bool written;
};

void exe_file_bitness(Session& s) {
    const ImageCase cases[] = {
        {"PE32", "pe32.exe", mkimage::pe32(), true},
        {"NE", "ne.exe", mkimage::ne(), true},
        {"LE", "le.exe", mkimage::le(), true},
        {"MZ only", "mzonly.exe", mkimage::mz_only(), true},
        {"PE32+", "pe32plus.exe", mkimage::pe32_plus(), true},
        {"1 byte", "onebyte.exe", "M", true},
        {"empty", "empty.exe", "", true},
        {"missing", "missing.exe", "", false},
        {"null name", nullptr, "", false},
    };
    if (!make_scratch_directory(scratch_directory)) {
        s.report("prepare", Facts().word("failed", "the scratch folder cannot be made"));
        return;
    }
    for (const ImageCase& c : cases) {
        std::string path = c.file ? std::string(scratch_directory) + "\\" + c.file : std::string();
        bool prepared = !c.file || (c.written ? write_scratch_file(path.c_str(), c.bytes) : remove_scratch_file(path.c_str()));
        if (!prepared) {
            s.report(c.step, Facts().word("failed", "the file cannot be prepared"));
            continue;
        }
        s.result(c.step, s.x.exe_file_bitness(c.file ? path.c_str() : nullptr));
    }
}

}  // namespace

std::vector<Scenario> frame_scenarios() {
    return {
        {"Platform", {}, platform},
        {"InstallAllowed", {"InstallAllowed", "ClearErrorFlag", "RebootRequired"}, install_allowed},
        {"ErrorText", {"InstallAllowed"}, error_text},
        {"ExeFileBitness", {"ExeFileBitness"}, exe_file_bitness},
    };
}

}  // namespace conformance
