#include "printer_context.h"
#include "printer_record.h"
#include "settings_catalogue.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/platform_flags.h"

namespace {

// A settings cache made from the keys, or null with `result` the code of the failed
// allocation. The cache records that failure itself; its code is still the last error.
KeyEntry* settings_from_keys(const TemplateKey* keys, LONG* result) {
    KeyEntry* settings = cache_from_template(keys);
    if (settings) return settings;
    const DWORD code = GetLastError();
    *result = code ? static_cast<LONG>(code) : ERROR_NOT_ENOUGH_MEMORY;
    return nullptr;
}

PrinterContext* allocate_context() { return static_cast<PrinterContext*>(heap_alloc(sizeof(PrinterContext))); }

// The texts a new printer's record gives the spooler; it only reads them.
LPSTR spooler_text(LPCSTR text) { return const_cast<LPSTR>(text); }

constexpr char default_print_processor[] = "WINPRINT";
constexpr char default_datatype[] = "RAW";

}  // namespace

PrinterContext* new_printer_context(const INS_PRINTER_DEFINITION& definition, LONG* result) {
    *result = 0;
    HeapBlock<PrinterContext> context(allocate_context());
    HeapBlock<PRINTER_INFO_2A> info(static_cast<PRINTER_INFO_2A*>(heap_alloc(sizeof(PRINTER_INFO_2A))));
    if (!context.get() || !info.get()) {
        *result = record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        return nullptr;
    }
    char path[printer_key_path_size];
    *result = printer_settings_path(definition.pPrinterName, path);
    if (*result) return nullptr;
    TemplateKey keys[3];
    printer_settings_keys(path, static_cast<LONG>(definition.dwKind), keys);
    context->settings = settings_from_keys(keys, result);
    if (!context->settings) return nullptr;
    context->intensity = new_printer_intensity;

    PRINTER_INFO_2A& record = *info.get();
    record.pPrinterName = spooler_text(definition.pPrinterName);
    record.pShareName = spooler_text("");
    record.pPortName = spooler_text(definition.pPortName);
    record.pDriverName = spooler_text(definition.pDriverName);
    record.pComment = spooler_text("");
    record.pLocation = spooler_text("");
    record.pSepFile = spooler_text("");
    record.pParameters = spooler_text("");
    const bool processor_given = definition.pPrintProcessor && *definition.pPrintProcessor;
    record.pPrintProcessor = spooler_text(processor_given ? definition.pPrintProcessor : default_print_processor);
    record.pDatatype = spooler_text(default_datatype);
    record.Attributes = PRINTER_ATTRIBUTE_LOCAL;
    record.Priority = 1;
    context->info = info.release();
    return context.release();
}

PrinterContext* open_printer_context(LPCSTR printer_name, LONG* result) {
    *result = 0;
    if (error_flag) {
        *result = INS_ERROR_FLAG_SET;
        return nullptr;
    }
    PrinterHandle printer;
    *result = open_printer_for_all_access(printer_name, IDS_OPENPRINTER, printer);
    if (*result) return nullptr;
    return printer_context_from_handle(printer.get(), result);
}

PrinterContext* printer_context_from_handle(HANDLE printer, LONG* result) {
    HeapBlock<PRINTER_INFO_2A> info;
    *result = read_printer_record(printer, nullptr, info);
    if (*result) return nullptr;
    HeapBlock<PrinterContext> context(allocate_context());
    if (!context.get()) {
        *result = record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        return nullptr;
    }
    if (os_is_9x) {
        // Only the product's driver keeps the byte; any other DEVMODE is taken as new.
        const BYTE* stored = intensity_byte(info->pDevMode);
        context->intensity = stored ? *stored : new_printer_intensity;
    }
    char path[printer_key_path_size];
    *result = printer_settings_path(info->pPrinterName, path);
    if (*result) return nullptr;
    const TemplateKey keys[] = {{path, nullptr}, {nullptr, nullptr}};
    context->settings = settings_from_keys(keys, result);
    if (!context->settings) return nullptr;
    // The context stands for the printer when it is made again (moved, its driver
    // updated): settings that could not be read whole would be lost with it, so such a
    // printer is not captured at all.
    *result = cache_load(context->settings);
    if (!*result) *result = cache_check_whole(context->settings);
    if (*result) {
        cache_free(context->settings);
        return nullptr;
    }
    context->info = info.release();
    return context.release();
}

LONG add_printer_from_context(PrinterContext* context) {
    LPCSTR name = context->info->pPrinterName;
    if (LONG code = cache_check_whole(context->settings)) return code;
    HANDLE printer = AddPrinterA(nullptr, 2, reinterpret_cast<LPBYTE>(context->info));
    if (!printer) return record_last_error(IDS_ADDPRINTER, name, 0, 0);
    close_printer(printer);
    if (LONG code = cache_save(context->settings)) return code;
    return prime_printer_devmode(name, context->intensity);
}

LONG update_printer_from_context(PrinterContext* context) {
    LPCSTR name = context->info->pPrinterName;
    if (LONG code = cache_check_whole(context->settings)) return code;
    {
        PrinterHandle printer;
        if (LONG code = open_printer_for_all_access(name, IDS_OPENPRINTER_FOR_UPDATE, printer)) return code;
        if (!SetPrinterA(printer.get(), 2, reinterpret_cast<LPBYTE>(context->info), 0))
            return record_last_error(IDS_SETPRINTER_2_FOR_UPDATE, name, 0, 0);
    }
    if (LONG code = cache_save(context->settings)) return code;
    return prime_printer_devmode(name, context->intensity);
}

void free_printer_context(PrinterContext* context) {
    if (!context) return;
    cache_free(context->settings);
    heap_free(context->info);
    heap_free(context);
}
