#include "registry_cache.h"
#include "registry_path.h"

#include "frame/catalogue.h"
#include "frame/error_state.h"
#include "frame/memory.h"

namespace {

bool ends_list(LPCSTR name) { return !name || !*name; }

// A copy of `length` bytes, or of the text with its terminator when length is -1. A
// copy of no bytes still holds a terminator, so that it reads as an empty text.
LPSTR copy_data(LPCSTR data, LONG length) {
    SIZE_T size = value_data_size(data, length);
    auto* copy = static_cast<LPSTR>(heap_alloc(size ? size : 1));
    if (copy && data) {
        for (SIZE_T i = 0; i < size; ++i) copy[i] = data[i];
    }
    return copy;
}

// A record's REG_DWORD value in its 20-byte text block; data stays null when the read fails.
// A record's REG_DWORD value as its decimal text: 0, or the failure recorded, the record
// then without data.
LONG read_dword(HKEY key, ValueRecord& record) {
    heap_free(record.data);
    record.data = nullptr;
    record.data_length = dword_text_size;
    DWORD value = 0;
    if (LONG code = query_dword(key, record.name, &value)) return code;
    record.data = static_cast<LPSTR>(heap_alloc(dword_text_size));
    if (!record.data)
        return record_error(ERROR_NOT_ENOUGH_MEMORY, IDS_ALLOCATING_MEMORY_FOR_REGISTRY_DATA_CACHE, record.name, 0, 0);
    dword_to_text(value, record.data);
    return ERROR_SUCCESS;
}

// A record's value of any other type, in a block of the size the registry reports and
// one byte more: a text stored without its terminator still ends inside its block.
// 0, or the failure recorded, the record then without data.
LONG read_bytes(HKEY key, ValueRecord& record, DWORD size) {
    heap_free(record.data);
    record.data = static_cast<LPSTR>(heap_alloc(static_cast<SIZE_T>(size) + 1));
    record.data_length = static_cast<LONG>(size);
    if (!record.data)
        return record_error(ERROR_NOT_ENOUGH_MEMORY, IDS_ALLOCATING_MEMORY_FOR_REGISTRY_DATA_CACHE, record.name, 0, 0);
    LONG code = RegQueryValueExA(key, record.name, nullptr, nullptr, reinterpret_cast<LPBYTE>(record.data), &size);
    if (!code) return ERROR_SUCCESS;
    heap_free(record.data);
    record.data = nullptr;
    return record_error(static_cast<DWORD>(code), IDS_RETRIEVE_DATA_REGVALUEQUERYEX_REG_SZ, record.name, 0, 0);
}

void free_records(ValueRecord* records) {
    if (!records) return;
    for (ValueRecord* record = records; record->name; ++record) {
        heap_free(record->name);
        heap_free(record->data);
    }
    heap_free(records);
}

// The rows as a record list of their own (null for no rows); false when memory ran
// out, with the failure recorded and nothing left allocated. A record without its
// name would end the list early and hide the records behind it from every walk.
bool copy_template_rows(const TemplateRow* rows, ValueRecord** copy) {
    *copy = nullptr;
    if (!rows || ends_list(rows[0].name)) return true;
    int count = 0;
    while (!ends_list(rows[count].name)) ++count;
    auto* records = static_cast<ValueRecord*>(heap_alloc(sizeof(ValueRecord) * static_cast<SIZE_T>(count + 1)));
    if (!records) {
        record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        return false;
    }
    for (int i = 0; i < count; ++i) {
        records[i].name = copy_text(rows[i].name);
        if (!records[i].name) {
            record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
            free_records(records);
            return false;
        }
        records[i].data_length = rows[i].data_length;
        records[i].type = rows[i].type;
        records[i].data = copy_data(rows[i].data, rows[i].data_length);
    }
    *copy = records;  // the end record is the zero-filled last element
    return true;
}

// Writes one record as its type says; answers the registry's code.
LONG save_record(HKEY key, const ValueRecord& record) {
    LPCSTR data = record.data ? record.data : "";
    switch (record.type) {
    case REG_SZ: {
        LONG code = RegSetValueExA(key, record.name, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                                   static_cast<DWORD>(lstrlenA(data)) + 1);
        return code ? record_error(static_cast<DWORD>(code), IDS_SAVE_REGISTRY_DATA_REGSETVALUEEX_REG_SZ, record.name, 0, 0) : 0;
    }
    case REG_DWORD: {
        LONG value = dword_from_text(data);
        LONG code = RegSetValueExA(key, record.name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
        return code ? record_error(static_cast<DWORD>(code), IDS_SAVE_REGISTRY_DATA_REGSETVALUEEX_REG_DWORD, record.name, 0, 0) : 0;
    }
    default: {
        // A text record of another type knows its length only by its terminator.
        DWORD length = static_cast<DWORD>(value_data_size(data, record.data_length));
        LONG code = RegSetValueExA(key, record.name, 0, REG_BINARY, reinterpret_cast<const BYTE*>(data), record.data ? length : 0);
        return code ? record_error(static_cast<DWORD>(code), IDS_SAVE_REGISTRY_DATA_REGSETVALUEEX_REG_BINARY, record.name, 0, 0) : 0;
    }
    }
}

// Takes every value of an open key into a new record list of the entry.
LONG snapshot_key(HKEY key, KeyEntry& entry) {
    DWORD values = 0, longest_name = 0, longest_data = 0;
    LONG code = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &values, &longest_name,
                                 &longest_data, nullptr, nullptr);
    if (code) return record_error(static_cast<DWORD>(code), IDS_REGQUERYKEYINFO, entry.key_path, 0, 0);
    // A snapshot replaces what the entry held; the old records are the cache's own.
    free_records(entry.values);
    auto* records = static_cast<ValueRecord*>(heap_alloc(sizeof(ValueRecord) * (static_cast<SIZE_T>(values) + 1)));
    entry.values = records;
    if (!records) return record_last_error(IDS_ALLOCATING_MEMORY_FOR_REGISTRY_DATA_CACHE, entry.key_path, 0, 0);
    DWORD taken = 0;
    for (DWORD index = 0; index < values; ++index) {
        // A snapshot stands for the key when it is written again elsewhere: a value it
        // could not take would be lost there, so the snapshot fails instead.
        auto* name = static_cast<LPSTR>(heap_alloc(static_cast<SIZE_T>(longest_name) + 1));
        if (!name) return record_last_error(IDS_ALLOCATING_MEMORY_FOR_REGISTRY_DATA_CACHE, entry.key_path, 0, 0);
        DWORD name_size = longest_name + 1;
        DWORD type = REG_NONE;
        DWORD size = 0;
        code = RegEnumValueA(key, index, name, &name_size, nullptr, &type, nullptr, &size);
        if (code == ERROR_NO_MORE_ITEMS) {
            heap_free(name);
            break;
        }
        if (code) {
            record_error(static_cast<DWORD>(code), IDS_RETRIEVE_DATA_REGQUERYVALUEEX, name, 0, 0);
            heap_free(name);
            return code;
        }
        ValueRecord& record = records[taken++];
        record.name = name;
        record.type = type;
        code = type == REG_DWORD ? read_dword(key, record) : read_bytes(key, record, size);
        if (code) return code;
    }
    return ERROR_SUCCESS;
}

}  // namespace

KeyEntry* cache_from_template(const TemplateKey* keys) {
    int count = 0;
    while (!ends_list(keys[count].key_path)) ++count;
    if (!count) return nullptr;
    auto* cache = static_cast<KeyEntry*>(heap_alloc(sizeof(KeyEntry) * static_cast<SIZE_T>(count + 1)));
    if (!cache) {
        record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
        return nullptr;
    }
    // A copy cut short would leave entries no walk reaches: it goes whole or not at all.
    for (int i = 0; i < count; ++i) {
        cache[i].key_path = copy_text(keys[i].key_path);
        if (!cache[i].key_path) {
            record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
            cache_free(cache);
            return nullptr;
        }
        if (!copy_template_rows(keys[i].values, &cache[i].values)) {
            cache_free(cache);
            return nullptr;
        }
    }
    return cache;
}

LONG cache_load(KeyEntry* cache) {
    for (KeyEntry* entry = cache; !ends_list(entry->key_path); ++entry) {
        LONG error = 0;
        HKEY key = traverse_path(entry->key_path, &error);
        if (error) return error;
        error = snapshot_key(key, *entry);
        RegCloseKey(key);
        if (error) return error;
    }
    return ERROR_SUCCESS;
}

LONG cache_check_whole(const KeyEntry* cache) {
    for (const KeyEntry* entry = cache; !ends_list(entry->key_path); ++entry)
        for (const ValueRecord* record = entry->values; record && !ends_list(record->name); ++record)
            if (!record->data) return record_error(ERROR_NOT_ENOUGH_MEMORY, IDS_MEMORY_ALLOCATION, record->name, 0, 0);
    return ERROR_SUCCESS;
}

LONG cache_set_value(KeyEntry* cache, LPCSTR name, LONG data_length, LPCSTR data) {
    for (KeyEntry* entry = cache; !ends_list(entry->key_path); ++entry) {
        if (!entry->values) continue;
        for (ValueRecord* record = entry->values; !ends_list(record->name); ++record) {
            if (lstrcmpiA(record->name, name) != 0) continue;
            heap_free(record->data);
            record->data = copy_data(data, data_length);
            record->data_length = data_length;
            return 1;
        }
    }
    return 0;
}

LONG cache_move_key(KeyEntry* cache, LPCSTR key_path) {
    LPSTR copy = copy_text(key_path);
    if (!copy) return record_last_error(IDS_MEMORY_ALLOCATION, nullptr, 0, 0);
    heap_free(cache->key_path);
    cache->key_path = copy;
    return ERROR_SUCCESS;
}

void cache_free(KeyEntry* cache) {
    if (!cache) return;
    for (KeyEntry* entry = cache; entry->key_path; ++entry) {
        heap_free(entry->key_path);
        free_records(entry->values);
    }
    heap_free(cache);
}

LONG retrieve_data(KeyEntry* cache) {
    for (KeyEntry* entry = cache; !ends_list(entry->key_path); ++entry) {
        LONG error = 0;
        HKEY key = traverse_path(entry->key_path, &error);
        if (error) return error;
        for (ValueRecord* record = entry->values; record && !ends_list(record->name); ++record) {
            DWORD type = REG_NONE;
            DWORD size = 0;
            LONG code = RegQueryValueExA(key, record->name, nullptr, &type, nullptr, &size);
            if (code == ERROR_FILE_NOT_FOUND) continue;
            // A stored value that cannot be read would be written over with the record's
            // default: the cache is not to be saved then.
            if (code) code = record_error(static_cast<DWORD>(code), IDS_RETRIEVE_DATA_REGQUERYVALUEEX, record->name, 0, 0);
            else if (size == 0 || type != record->type) continue;
            else if (type == REG_SZ || type == REG_BINARY) code = read_bytes(key, *record, size);
            else if (type == REG_DWORD) code = read_dword(key, *record);
            if (code) {
                RegCloseKey(key);
                return code;
            }
        }
        RegCloseKey(key);
    }
    return ERROR_SUCCESS;
}

LONG cache_save(const KeyEntry* cache) {
    for (const KeyEntry* entry = cache; !ends_list(entry->key_path); ++entry) {
        LONG error = 0;
        HKEY key = traverse_path(entry->key_path, &error);
        if (error) return error;
        LONG pending = ERROR_SUCCESS;
        for (const ValueRecord* record = entry->values; record && !ends_list(record->name); ++record) {
            LONG code = save_record(key, *record);
            if (code) pending = code;
        }
        RegCloseKey(key);
        if (pending) return pending;
    }
    return ERROR_SUCCESS;
}
