// A printer opened for all access and its level 2 record read, as creation needs them:
// each step's failure recorded with its message, everything given back on every path.
#pragma once

#include "platform.h"

#include "frame/memory.h"

// Closes a printer handle when it goes.
class PrinterHandle {
public:
    PrinterHandle() = default;
    ~PrinterHandle() {
        if (handle_) ClosePrinter(handle_);
    }
    PrinterHandle(const PrinterHandle&) = delete;
    PrinterHandle& operator=(const PrinterHandle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE* put() { return &handle_; }

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

// The printer's level 2 record in a heap block of its own: 0, or the code recorded
// (the size query's and the read's failures with the message of GetPrinter and
// `value_name`, a failed allocation with the message of memory allocation).
LONG read_printer_record(HANDLE printer, LPCSTR value_name, HeapBlock<PRINTER_INFO_2A>& record);

// The byte of the DEVMODE's private part that holds the driver's intensity.
constexpr DWORD intensity_byte_offset = 206;

// Where the driver keeps the intensity in this DEVMODE, or null when its private part
// does not reach that far (another maker's driver, or none at all).
BYTE* intensity_byte(DEVMODEA* devmode);
