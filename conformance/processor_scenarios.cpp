// The product's print processor through the library: the processor every spooler has,
// one nobody installed, a DLL that is not the product's, and a processor installed from
// a DLL the scenario writes and then removed again.
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <mkimage/image.h>

#include <string>

namespace conformance {

namespace {

const char processor_directory[] = "C:\\ORVCONF\\PROC";
const char processor_dll[] = "C:\\ORVCONF\\PROC\\orvcproc.dll";
const char nameless_dll[] = "C:\\ORVCONF\\PROC\\nameless.dll";
const char processor_name[] = "OrvConformance Processor";

// A module the program itself can load: the library reads the processor's name from
// it with LoadLibraryA. winsim's machines of the lane are x86.
std::string processor_image(const char* name) {
    mkimage::ImageRecipe recipe;
#if defined(_WIN32)
    recipe.kind = sizeof(void*) == 8 ? mkimage::ImageKind::pe32_plus : mkimage::ImageKind::pe32;
#else
    recipe.kind = mkimage::ImageKind::pe32;
#endif
    recipe.module_name = "ORVCPROC";
    recipe.exports = {"EnumPrintProcessorDatatypesW", "OpenPrintProcessor", "PrintDocumentOnPrintProcessor",
                       "ClosePrintProcessor", "ControlPrintProcessor"};
    if (name) recipe.strings[700] = name;
    return mkimage::build_image(recipe);
}

std::string spooler_processor_directory() {
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    GetPrintProcessorDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed);
    return directory;
}

std::string installed_path() { return spooler_processor_directory() + "\\orvcproc.dll"; }

// Windows keeps its own processor in that directory, so it is always there; a fresh
// Wine prefix has not made it yet. Made a level at a time, as the parents may be missing.
void make_processor_directory() {
    const std::string directory = spooler_processor_directory();
    for (std::size_t end = directory.find('\\', 3); end != std::string::npos; end = directory.find('\\', end + 1))
        make_scratch_directory(directory.substr(0, end).c_str());
    make_scratch_directory(directory.c_str());
}

// What the spooler keeps of the processor: its registration, under its name or, as
// some spoolers key it, under its file's name. Cleared before and after, since a Wine
// prefix keeps what an earlier run left.
void clear_processor() {
    for (const char* environment : {"Windows 4.0", "Windows NT x86", "Windows x64"})
        for (const char* key : {processor_name, "orvcproc.dll"}) {
            std::string path = std::string("SYSTEM\\CurrentControlSet\\Control\\Print\\Environments\\") + environment +
                               "\\Print Processors\\" + key;
            RegDeleteKeyA(HKEY_LOCAL_MACHINE, path.c_str());
        }
    remove_scratch_file(installed_path().c_str());
    remove_scratch_file(processor_dll);
    remove_scratch_file(nameless_dll);
}

void presence(Session& s, const char* step, const char* name) {
    LONG present = untouched;
    LONG result = s.x.is_prt_proc_present(name, &present);
    s.result(step, result, Facts().number("present", present));
}

void add(Session& s, const char* step, const char* path) {
    char name[80] = "#";
    LONG result = s.x.add_print_proc(path, name);
    Facts facts = Facts().text("name", name).number("installed", read_scratch_file(installed_path().c_str()).empty() ? 0 : 1);
    s.result(step, result, facts.number("reboot", s.x.reboot_required()));
}

void print_processors(Session& s) {
    clear_processor();
    presence(s, "the system's own processor", "WinPrint");
    presence(s, "its name in other letter case", "WINPRINT");
    presence(s, "a processor nobody installed", processor_name);
    s.result("deleting a processor nobody installed", s.x.del_print_proc(processor_name));

    make_processor_directory();
    make_scratch_directory(scratch_directory);
    make_scratch_directory(processor_directory);
    write_scratch_file(nameless_dll, processor_image(nullptr));
    add(s, "a DLL without the processor's name", nameless_dll);
    s.report("the flag it set", Facts().number("cleared", s.x.clear_error_flag()));

    write_scratch_file(processor_dll, processor_image(processor_name));
    add(s, "the processor installed", processor_dll);
    presence(s, "it is there", processor_name);
    s.result("it is removed", s.x.del_print_proc(processor_name));
    presence(s, "it is gone", processor_name);
    clear_processor();
}

}  // namespace

std::vector<Scenario> processor_scenarios() {
    return {
        {"PrintProcessors", {"insIsPrtProcPresent", "insAddPrintProc", "insDelPrintProc", "ClearErrorFlag", "RebootRequired"},
         print_processors},
    };
}

}  // namespace conformance
