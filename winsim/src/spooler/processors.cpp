// Print processors: listed from the environment's key, added only from a DLL that lies
// in the processor directory and that the spooler could load, held open by the
// running spooler, refused deletion while a printer prints through one.
#include "images/image_reader.h"
#include "kernel/file_rules.h"
#include "spooler/spooler_internal.h"

#include <algorithm>
#include <cstring>

namespace winsim::detail {

namespace {

namespace reg = print_registry;

// What a processor's DLL exports for the spooler to call.
constexpr std::string_view processor_exports[] = {"EnumPrintProcessorDatatypesW", "OpenPrintProcessor",
                                                  "PrintDocumentOnPrintProcessor", "ClosePrintProcessor",
                                                  "ControlPrintProcessor"};

std::string processor_directory(const MachineState& machine) {
    const Directories where = platform_directories(machine.platform, machine.options.administrator);
    if (!is_nt(machine)) return where.system;  // unconfirmed
    return where.system + "\\spool\\prtprocs\\w32x86";
}

std::string processor_path(const MachineState& machine, const std::string& processor) {
    const std::string dll = read_string(machine, processors_key(machine) + "\\" + processor, reg::processor_driver);
    return dll.empty() ? std::string{} : processor_directory(machine) + "\\" + dll;
}

// Whether the spooler would load the DLL as a processor, or the error it gives.
bool processor_dll_loadable(const MachineState& machine, const std::string& data, DWORD& error) {
    // NT's spooler reports the loader's codes; 95/98 answer 87 for any DLL they cannot
    // take, as their AddMonitorA does (unconfirmed for processors).
    const bool nt = is_nt(machine);
    std::optional<Image> image = Image::parse(data);
    if (!image || !is_native_dll(machine, *image)) {
        error = nt ? ERROR_BAD_EXE_FORMAT : ERROR_INVALID_PARAMETER;
        return false;
    }
    for (std::string_view name : processor_exports)
        if (!image->has_export(name)) {
            error = nt ? ERROR_PROC_NOT_FOUND : ERROR_INVALID_PARAMETER;
            return false;
        }
    return true;
}

}  // namespace

// The running spooler keeps a processor's DLL open for reading from the moment it
// loads it.
void hold_print_processor(MachineState& machine, const std::string& name) {
    const std::string path = processor_path(machine, name);
    if (path.empty() || !machine.files.exists(path)) return;
    machine.files.hold(path, FILE_SHARE_READ, GENERIC_READ, spooler_holder);
    machine.spooler.processors.push_back(path);
}

void load_print_processors(MachineState& machine) {
    if (!machine.registry.key_exists(processors_key(machine))) return;
    for (const std::string& processor : machine.registry.subkeys(processors_key(machine)))
        hold_print_processor(machine, processor);
}

void unload_print_processors(MachineState& machine) {
    for (const std::string& path : machine.spooler.processors) machine.files.release(path, spooler_holder);
    machine.spooler.processors.clear();
}

}  // namespace winsim::detail

namespace {

using winsim::detail::fail;
using winsim::detail::is_nt;
using winsim::detail::same_name;
using winsim::detail::state;
namespace reg = winsim::print_registry;

constexpr DWORD rpc_x_null_ref_pointer = 1780;  // RPC_X_NULL_REF_POINTER

// How the platform names the environment a caller asked for: empty for one it does not
// serve. NT serves the 95/98 environment from a directory of its own (Wine's test: "Windows
// 4.0" is valid for 95/98 and NT); 95/98 know only theirs. An empty name is the default.
std::string environment_named(LPCSTR environment) {
    winsim::detail::MachineState& machine = state();
    const std::string native = winsim::detail::native_environment(machine);
    if (!environment || !*environment) return native;
    if (same_name(environment, native)) return native;
    if (is_nt() && same_name(environment, "Windows NT x86")) return native;
    if (same_name(environment, "Windows 4.0")) return "Windows 4.0";
    return {};
}

// The machine's own processors are all winsim keeps; a call about the other family's
// environment on NT is beyond what the library asks.
bool serves_own_environment(const std::string& environment, std::string_view call) {
    if (environment == winsim::detail::native_environment(state())) return true;
    return winsim::detail::not_simulated(std::string(call) + " for another environment", false);
}

}  // namespace

BOOL WINAPI EnumPrintProcessorsA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pPrintProcessorInfo, DWORD cbBuf,
                                 LPDWORD pcbNeeded, LPDWORD pcReturned) {
    WINSIM_API("EnumPrintProcessorsA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("EnumPrintProcessorsA of another server", FALSE);
    // Only level 1 exists; 95/98 crash on another (Wine's test), taken here as 124.
    if (Level != 1) return fail(ERROR_INVALID_LEVEL, FALSE);
    std::string environment = environment_named(pEnvironment);
    if (environment.empty()) {
        // 2000 refuses an unknown environment, NT 4.0 (and, unconfirmed, 3.51) lists its
        // own, 95/98 answer 87 (Wine's test).
        const winsim::PlatformInfo& platform = winsim::platform_info(state().platform);
        if (!is_nt()) return fail(ERROR_INVALID_PARAMETER, FALSE);
        if (platform.major >= 5) return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
        environment = winsim::detail::native_environment(state());
    }
    if (!serves_own_environment(environment, "EnumPrintProcessorsA")) return FALSE;
    // NT insists on both out-values; 95/98 do without them (Wine's test).
    if (is_nt() && (!pcbNeeded || !pcReturned)) return fail(rpc_x_null_ref_pointer, FALSE);
    if (!pPrintProcessorInfo && cbBuf) return fail(is_nt() ? ERROR_INVALID_USER_BUFFER : ERROR_INVALID_PARAMETER, FALSE);
    winsim::detail::MachineState& machine = state();
    const std::string key = winsim::detail::processors_key(machine);
    const std::vector<std::string> names = machine.registry.key_exists(key) ? machine.registry.subkeys(key) : std::vector<std::string>{};
    const std::size_t fixed = names.size() * sizeof(PRINTPROCESSOR_INFO_1A);
    auto pack = [&](LPBYTE base) {
        winsim::detail::Packer packer(base, fixed);
        for (std::size_t i = 0; i < names.size(); ++i) {
            char* name = packer.string(names[i]);
            if (base) reinterpret_cast<PRINTPROCESSOR_INFO_1A*>(base)[i].pName = name;
        }
        return static_cast<DWORD>(packer.size());
    };
    const DWORD needed = pack(nullptr);
    if (pcbNeeded) *pcbNeeded = needed;
    if (pcReturned) *pcReturned = 0;
    if (cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    pack(pPrintProcessorInfo);
    if (pcReturned) *pcReturned = static_cast<DWORD>(names.size());
    return TRUE;
}

BOOL WINAPI GetPrintProcessorDirectoryA(LPSTR pName, LPSTR pEnvironment, DWORD Level, LPBYTE pPrintProcessorInfo,
                                        DWORD cbBuf, LPDWORD pcbNeeded) {
    WINSIM_API("GetPrintProcessorDirectoryA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("GetPrintProcessorDirectoryA of another server", FALSE);
    // NT looks at the level before anything else and leaves the size alone; 95/98 do
    // not look at it (Wine's and ReactOS' tests).
    if (is_nt() && Level != 1) return fail(ERROR_INVALID_LEVEL, FALSE);
    if (is_nt() && !pcbNeeded) return fail(rpc_x_null_ref_pointer, FALSE);
    winsim::detail::MachineState& machine = state();
    const std::string environment = environment_named(pEnvironment);
    if (environment.empty()) {
        if (pcbNeeded) *pcbNeeded = 0;
        return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    }
    std::string directory = winsim::detail::processor_directory(machine);
    // NT keeps the 95/98 processors it serves beside its own, in prtprocs\win40.
    if (environment != winsim::detail::native_environment(machine))
        directory.replace(directory.rfind('\\') + 1, std::string::npos, "win40");
    // NT's spooler answers in Unicode and the ANSI call reports the Unicode size, and
    // wants a buffer of it (ReactOS' test: "cbNeeded will be the same as for
    // GetPrintProcessorDirectoryW"); 95/98 count the ANSI bytes (unconfirmed).
    const DWORD needed = static_cast<DWORD>((directory.size() + 1) * (is_nt() ? 2 : 1));
    // NT refuses a null buffer that claims a size, whatever the size, and reports a size
    // of 0 (ReactOS' test).
    if (is_nt() && !pPrintProcessorInfo && cbBuf) {
        *pcbNeeded = 0;
        return fail(ERROR_INVALID_USER_BUFFER, FALSE);
    }
    if (pcbNeeded) *pcbNeeded = needed;
    if (cbBuf < needed) return fail(ERROR_INSUFFICIENT_BUFFER, FALSE);
    // 95/98 answer a null buffer of the right size with success and write nothing
    // (Wine's test: "9x: res != 0").
    if (!pPrintProcessorInfo) return TRUE;
    std::memcpy(pPrintProcessorInfo, directory.c_str(), directory.size() + 1);
    return TRUE;
}

BOOL WINAPI AddPrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPathName, LPSTR pPrintProcessorName) {
    WINSIM_API("AddPrintProcessorA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("AddPrintProcessorA on another server", FALSE);
    winsim::detail::MachineState& machine = state();
    if (is_nt() && !machine.options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    const std::string environment = environment_named(pEnvironment);
    if (environment.empty()) return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    if (!serves_own_environment(environment, "AddPrintProcessorA")) return FALSE;
    if (!pPrintProcessorName || !*pPrintProcessorName || !pPathName || !*pPathName) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const std::string key = winsim::detail::processors_key(machine);
    if (winsim::detail::find_subkey(machine, key, pPrintProcessorName)) return fail(ERROR_PRINT_PROCESSOR_ALREADY_INSTALLED, FALSE);
    // The spooler loads the DLL from its processor directory, whatever directory the
    // caller names: a file elsewhere is a module it cannot find (NT: the loader's 126;
    // 95/98: 87, as for a monitor's DLL, unconfirmed).
    std::string_view path = pPathName;
    const std::string dll(path.substr(path.find_last_of("\\/") + 1));
    const std::string installed = winsim::detail::processor_directory(machine) + "\\" + dll;
    DWORD error = 0;
    std::shared_ptr<winsim::FileNode> node = machine.files.find(installed, error);
    if (!node || node->directory) return fail(is_nt() ? ERROR_MOD_NOT_FOUND : ERROR_INVALID_PARAMETER, FALSE);
    if (!winsim::detail::processor_dll_loadable(machine, node->data, error)) return fail(error, FALSE);
    const std::string processor = key + "\\" + pPrintProcessorName;
    machine.registry.set_string(processor, reg::processor_driver, dll);
    // Windows asks the DLL which data types it takes; winsim cannot run it, and gives
    // it the one every processor takes.
    machine.registry.set_value(processor, reg::processor_datatypes, REG_MULTI_SZ, std::string("RAW\0\0", 5));
    winsim::detail::hold_print_processor(machine, pPrintProcessorName);
    return TRUE;
}

BOOL WINAPI DeletePrintProcessorA(LPSTR pName, LPSTR pEnvironment, LPSTR pPrintProcessorName) {
    WINSIM_API("DeletePrintProcessorA", FALSE);
    if (!winsim::detail::spooler_answers()) return FALSE;
    if (pName && *pName) return winsim::detail::not_simulated("DeletePrintProcessorA on another server", FALSE);
    winsim::detail::MachineState& machine = state();
    if (is_nt() && !machine.options.administrator) return fail(ERROR_ACCESS_DENIED, FALSE);
    const std::string environment = environment_named(pEnvironment);
    if (environment.empty()) return fail(ERROR_INVALID_ENVIRONMENT, FALSE);
    if (!serves_own_environment(environment, "DeletePrintProcessorA")) return FALSE;
    if (!pPrintProcessorName || !*pPrintProcessorName) return fail(ERROR_INVALID_PARAMETER, FALSE);
    const std::string key = winsim::detail::processors_key(machine);
    std::optional<std::string> name = winsim::detail::find_subkey(machine, key, pPrintProcessorName);
    if (!name) return fail(ERROR_UNKNOWN_PRINTPROCESSOR, FALSE);
    // Refused while any printer prints through it, one pending deletion included
    // (Microsoft, MS-RPRN RpcDeletePrintProcessor: ERROR_CAN_NOT_COMPLETE; 95/98
    // unconfirmed, taken the same).
    const std::string printers = winsim::detail::printers_key(machine);
    for (const std::string& printer : winsim::detail::printer_names(machine))
        if (same_name(winsim::detail::read_string(machine, printers + "\\" + printer, reg::printer_print_processor), *name))
            return fail(ERROR_CAN_NOT_COMPLETE, FALSE);
    // The spooler lets go of the DLL with the processor (unconfirmed); the file stays.
    const std::string path = winsim::detail::processor_path(machine, *name);
    auto& loaded = machine.spooler.processors;
    if (auto held = std::find_if(loaded.begin(), loaded.end(), [&](const std::string& p) { return same_name(p, path); });
        held != loaded.end()) {
        machine.files.release(*held, winsim::detail::spooler_holder);
        loaded.erase(held);
    }
    machine.registry.delete_key(key + "\\" + *name);
    return TRUE;
}
