// Printers taken down so that what lies under them (their port, their driver) can be
// replaced, each held whole so that it can be made again: no printer is lost to a
// failed step.
#pragma once

#include "printer_context.h"

// What puts a user's things back is tried twice, so that one failed call loses nothing.
template <typename Step>
LONG twice(Step step) {
    const LONG first = step();
    return first ? step() : first;
}

// The captured printers' contexts, in the order they were captured; released with it.
class CapturedPrinters {
public:
    CapturedPrinters() = default;
    ~CapturedPrinters();
    CapturedPrinters(const CapturedPrinters&) = delete;
    CapturedPrinters& operator=(const CapturedPrinters&) = delete;

    // Room for `count` printers: false without memory.
    bool reserve(LONG count);
    void add(PrinterContext* context) { contexts_[count_++] = context; }
    LONG count() const { return count_; }
    PrinterContext* operator[](LONG i) const { return contexts_[i]; }

private:
    PrinterContext** contexts_ = nullptr;
    LONG count_ = 0;
};

// Makes one captured printer again, twice if need be; a printer a failed try left
// behind half made (its settings or DEVMODE missing) is completed from the same context.
LONG recreate_printer(PrinterContext* context);

// The default printer's entry, empty when there is none: 0, or the failure to read it,
// which stops whatever would delete the default printer before it could be set again.
constexpr int default_entry_size = 2 * MAX_PATH;
LONG remember_default_printer(LPSTR entry);
// Names the remembered default printer again once the printers made again have settled
// in the spooler: 0, or the failure (after a second try).
LONG restore_default_printer(LPCSTR entry);
