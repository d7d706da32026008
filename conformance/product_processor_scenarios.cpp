// The product's print processor installed through the library from the processor
// itself (under Wine the lane's real one), installed again over itself, and removed.
#include "component_files.h"
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <string>

namespace conformance {

namespace {

const char setup_directory[] = "C:\\ORVCONF\\PROC";
const char setup_file[] = "C:\\ORVCONF\\PROC\\orvproc.dll";
const char processor_name[] = "Orvana Print Processor";

std::string processor_directory() {
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    return directory;
}

std::string installed_file() { return processor_directory() + "\\orvproc.dll"; }

// Windows keeps its own processor in the directory, so it is always there; a fresh
// Wine prefix has not made it yet. Made a level at a time, as the parents may be missing.
void make_processor_directory() {
    const std::string directory = processor_directory();
    for (std::size_t end = directory.find('\\', 3); end != std::string::npos; end = directory.find('\\', end + 1))
        make_scratch_directory(directory.substr(0, end).c_str());
    make_scratch_directory(directory.c_str());
}

// The registration under the processor's name or, as Wine keys it, its file's; and
// the files. Wine's prefix keeps what an earlier run left.
void clear_processor() {
    for (const char* environment : {"Windows 4.0", "Windows NT x86", "Windows x64"})
        for (const char* key : {processor_name, "orvproc.dll"})
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, (std::string("SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\") +
                                               environment + "\\Print Processors\\" + key)
                                                  .c_str());
    remove_scratch_file(installed_file().c_str());
    remove_scratch_file(setup_file);
}

void presence(Session& s, const char* step) {
    LONG present = untouched;
    const LONG result = s.x.is_prt_proc_present(processor_name, &present);
    s.result(step, result, Facts().number("present", present));
}

void add(Session& s, const char* step) {
    char name[80] = "#";
    const LONG result = s.x.add_print_proc(setup_file, name);
    s.result(step, result,
             Facts()
                 .text("name", name)
                 .number("installed", read_scratch_file(installed_file().c_str()).empty() ? 0 : 1)
                 .number("reboot", s.x.reboot_required()));
}

void product_processor(Session& s) {
    clear_processor();
    make_processor_directory();
    make_scratch_directory(scratch_directory);
    make_scratch_directory(setup_directory);
    s.report("laid out", Facts().number("laid_out", lay_out_component("orvproc.dll", setup_file) ? 1 : 0));
    presence(s, "before it is installed");
    add(s, "installed");
    presence(s, "it is there");
    add(s, "installed again over itself");
    s.result("removed", s.x.del_print_proc(processor_name));
    presence(s, "it is gone");
    s.result("removed when not installed", s.x.del_print_proc(processor_name));
    clear_processor();
}

}  // namespace

std::vector<Scenario> product_processor_scenarios() {
    return {
        {"ProductProcessor", {"insIsPrtProcPresent", "insAddPrintProc", "insDelPrintProc", "RebootRequired"},
         product_processor},
    };
}

}  // namespace conformance
