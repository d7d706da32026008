#include "signatures.h"

#include <type_traits>
#include <utility>

namespace orvsetup {

namespace {

template <typename T>
constexpr ParameterKind kind_of() {
    if constexpr (std::is_same_v<T, LPCSTR>) return ParameterKind::text;
    else if constexpr (std::is_same_v<T, LONG> || std::is_same_v<T, DWORD>) return ParameterKind::number;
    else if constexpr (std::is_same_v<T, LPLONG>) return ParameterKind::out_long;
    else if constexpr (std::is_same_v<T, LPSTR> || std::is_same_v<T, LPBYTE>) return ParameterKind::out_buffer;
    else if constexpr (std::is_same_v<T, HWND> || std::is_same_v<T, HINSTANCE> || std::is_same_v<T, LPVOID>) return ParameterKind::window;
    else if constexpr (std::is_same_v<T, INS_PRINTER_CURSOR_HANDLE>) return ParameterKind::cursor;
    else if constexpr (std::is_same_v<T, const INS_PORT_DEFINITION*>) return ParameterKind::port_record;
    else if constexpr (std::is_same_v<T, const INS_PRINTER_DEFINITION*>) return ParameterKind::printer_record;
    else static_assert(!sizeof(T), "a parameter type orvsetup does not know");
}

template <typename R>
constexpr ResultKind result_of() {
    if constexpr (std::is_same_v<R, LONG>) return ResultKind::number;
    else if constexpr (std::is_same_v<R, INS_PRINTER_CURSOR_HANDLE>) return ResultKind::cursor;
    else if constexpr (std::is_same_v<R, BOOL>) return ResultKind::boolean;
    else static_assert(!sizeof(R), "a result type orvsetup does not know");
}

template <typename T>
T argument_as(Argument& argument) {
    if constexpr (std::is_same_v<T, LPCSTR>) return argument.null ? nullptr : argument.text.c_str();
    else if constexpr (std::is_same_v<T, LONG> || std::is_same_v<T, DWORD>) return static_cast<T>(argument.number);
    else if constexpr (std::is_same_v<T, LPLONG>) return argument.null ? nullptr : &argument.out_long;
    else if constexpr (std::is_same_v<T, LPSTR>) return argument.null ? nullptr : argument.buffer.get();
    else if constexpr (std::is_same_v<T, LPBYTE>) return argument.null ? nullptr : reinterpret_cast<LPBYTE>(argument.buffer.get());
    else if constexpr (std::is_pointer_v<T>) return static_cast<T>(argument.pointer);
    else static_assert(!sizeof(T), "an argument type orvsetup does not know");
}

template <typename R>
CallResult as_result(R value) {
    CallResult result;
    if constexpr (std::is_pointer_v<R>) result.pointer = value;
    else result.number = static_cast<LONG_PTR>(value);
    return result;
}

template <typename R, typename... A, std::size_t... I>
CallResult call_typed(FARPROC address, std::vector<Argument>& arguments, std::index_sequence<I...>) {
    auto function = reinterpret_cast<R(WINAPI*)(A...)>(reinterpret_cast<void (*)()>(address));
    return as_result<R>(function(argument_as<A>(arguments[I])...));
}

template <typename R, typename... A>
CallResult invoke(FARPROC address, std::vector<Argument>& arguments) {
    return call_typed<R, A...>(address, arguments, std::index_sequence_for<A...>{});
}

// Only the type of the declaration is used: the library is found at run time, as a
// setup program finds it.
template <typename R, typename... A>
Signature signature(std::string_view name, R(WINAPI*)(A...)) {
    return Signature{name, result_of<R>(), {kind_of<A>()...}, &invoke<R, A...>};
}

#define ORV_EXPORT(function) signature(#function, static_cast<decltype(&function)>(nullptr))

}  // namespace

const std::vector<Signature>& export_signatures() {
    static const std::vector<Signature> signatures = {
        ORV_EXPORT(DllMain),
        ORV_EXPORT(InstallAllowed),
        ORV_EXPORT(ExeFileBitness),
        ORV_EXPORT(ErrorTextLen),
        ORV_EXPORT(RetrieveErrorText),
        ORV_EXPORT(ClearErrorFlag),
        ORV_EXPORT(RebootRequired),
        ORV_EXPORT(insFetchRegistryVal),
        ORV_EXPORT(insSetRegistryVal),
        ORV_EXPORT(insFetchPrinterVal),
        ORV_EXPORT(insSetPrinterVal),
        ORV_EXPORT(insIsMonitorPresent),
        ORV_EXPORT(insAddMonitor),
        ORV_EXPORT(insAddMonitorEx),
        ORV_EXPORT(insDeleteMonitor),
        ORV_EXPORT(insIsPortPresent),
        ORV_EXPORT(insAddPort),
        ORV_EXPORT(insAddPortEx),
        ORV_EXPORT(insDeletePort),
        ORV_EXPORT(insDeletePortEx),
        ORV_EXPORT(insMovePort),
        ORV_EXPORT(insIsPrtProcPresent),
        ORV_EXPORT(insAddPrintProc),
        ORV_EXPORT(insDelPrintProc),
        ORV_EXPORT(insIsPrintDriverPresent),
        ORV_EXPORT(insIsPrintDriverPresentEx),
        ORV_EXPORT(insAddPrintDriver),
        ORV_EXPORT(insAddPrintDriverEx),
        ORV_EXPORT(insDelPrintDriver),
        ORV_EXPORT(insSafeFileCopy),
        ORV_EXPORT(insFileDelete),
        ORV_EXPORT(insGetFirstPrinterName),
        ORV_EXPORT(insGetNextPrinterName),
        ORV_EXPORT(insFinishPrinterName),
        ORV_EXPORT(insIsPrinterPresent),
        ORV_EXPORT(insAddPrinter),
        ORV_EXPORT(insAddPrinterEx),
        ORV_EXPORT(insNukePrinter),
        ORV_EXPORT(insReplicatePrinter),
        ORV_EXPORT(insGetDefaultPrinter),
        ORV_EXPORT(insSetDefaultPrinter),
        ORV_EXPORT(insPrintTestPage),
        ORV_EXPORT(insDelPrinter),
        ORV_EXPORT(insAddDaemonProcess),
        ORV_EXPORT(insDeleteDaemonProcess),
        ORV_EXPORT(insAddDaemonService),
        ORV_EXPORT(insDeleteDaemonService),
    };
    return signatures;
}

const Signature* find_signature(std::string_view name) {
    for (const Signature& signature : export_signatures())
        if (signature.name == name) return &signature;
    return nullptr;
}

const char* kind_name(ParameterKind kind) {
    switch (kind) {
    case ParameterKind::text: return "text";
    case ParameterKind::number: return "number";
    case ParameterKind::out_long: return "out 32-bit value (@long)";
    case ParameterKind::out_buffer: return "out buffer (@out:N)";
    case ParameterKind::window: return "window";
    case ParameterKind::cursor: return "printer cursor ($K)";
    case ParameterKind::port_record: return "port definition (@port:FILE)";
    case ParameterKind::printer_record: return "printer definition (@printer:FILE)";
    }
    return "?";
}

}  // namespace orvsetup
