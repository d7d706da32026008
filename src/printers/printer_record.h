// A printer opened for all access and its level 2 record read, as creation needs them:
// each step's failure recorded with its message, everything given back on every path.
#pragma once

#include "platform.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"

// A handle left open keeps a deleted printer listed, pending deletion, with its name
// taken until the process ends, so that it could not be made again: a close that
// failed is tried once more.
inline void close_printer(HANDLE printer) {
    if (!ClosePrinter(printer)) ClosePrinter(printer);
}

// Closes a printer handle when it goes.
class PrinterHandle {
public:
    PrinterHandle() = default;
    ~PrinterHandle() {
        if (handle_) close_printer(handle_);
    }
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* put() { return &handle_; }
    // Closes the printer now, where the order of the clean-up matters.
    void close() {
        if (handle_) close_printer(handle_);
        handle_ = nullptr;
    }

private:
    HANDLE handle_ = nullptr;
};

// A heap block, freed when the guard goes unless it was handed over.
template <typename T>
class HeapBlock {
public:
    explicit HeapBlock(T* block = nullptr) : block_(block) {}
    ~HeapBlock() { heap_free(block_); }
    HeapBlock(const HeapBlock&) = delete;
    HeapBlock& operator=(const HeapBlock&) = delete;
    T* get() const { return block_; }
    T* operator->() const { return block_; }
    T* release() {
        T* block = block_;
        block_ = nullptr;
        return block;
    }
    void reset(T* block) {
        heap_free(block_);
        block_ = block;
    }

private:
    T* block_;
};

// OpenPrinterA with PRINTER_ALL_ACCESS: 0, or the code recorded with `message_id` and
// the printer's name.
LONG open_printer_for_all_access(LPCSTR printer_name, UINT message_id, PrinterHandle& printer);

// Which step of reading a record failed.
enum class RecordStep { none, sizing, allocation, reading };

// The record `read(buffer, size, needed)` fills (GetPrinterA and its kin), in a heap
// block of its own: 0, or the code recorded, `failed` saying where (the size query's
// failure with `sizing_message`, its 122 expected; the read's with `reading_message`,
// both with `value_name`; a failed allocation with the message of memory allocation).
template <typename T, typename Read>
LONG read_sized_record(Read read, UINT sizing_message, UINT reading_message, LPCSTR value_name, HeapBlock<T>& record,
                       RecordStep* failed = nullptr) {
    RecordStep ignored;
    RecordStep& step = failed ? *failed : ignored;
    step = RecordStep::none;
    record.reset(nullptr);
    DWORD needed = 0;
    read(nullptr, 0, &needed);
    const LONG code = record_last_error(sizing_message, value_name, ERROR_INSUFFICIENT_BUFFER, 0);
    if (code != ERROR_INSUFFICIENT_BUFFER) {
        step = RecordStep::sizing;
        return code;
    }
    record.reset(static_cast<T*>(heap_alloc(needed)));
    if (!record.get()) {
        step = RecordStep::allocation;
        return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
    }
    if (!read(reinterpret_cast<LPBYTE>(record.get()), needed, &needed)) {
        record.reset(nullptr);
        step = RecordStep::reading;
        return record_last_error(reading_message, value_name, 0, 0);
    }
    return 0;
}

// The printer's level 2 record in a heap block of its own: 0, or the code recorded
// (the size query's and the read's failures with the message of GetPrinter and
// `value_name`, a failed allocation with the message of memory allocation).
LONG read_printer_record(HANDLE printer, LPCSTR value_name, HeapBlock<PRINTER_INFO_2A>& record);

// The byte of the DEVMODE's private part that holds the driver's intensity.
constexpr DWORD intensity_byte_offset = 206;

// Where the driver keeps the intensity in this DEVMODE, or null when its private part
// does not reach that far (another maker's driver, or none at all).
BYTE* intensity_byte(DEVMODEA* devmode);
