// Registry values in memory: a value record is one value (REG_DWORD data carried as
// signed decimal text), a key entry a key path with its records, a cache a list of
// key entries. Lists end with a record or entry whose name or path is null or empty.
#pragma once

#include "platform.h"

struct ValueRecord {
    LPSTR name;
    LONG data_length;  // -1: data is a NUL-terminated text
    DWORD type;
    LPSTR data;
};

struct KeyEntry {
    LPSTR key_path;
    ValueRecord* values;
};

// The static rows a cache is built from, laid out as the records they become.
struct TemplateRow {
    LPCSTR name;
    LONG data_length;
    DWORD type;
    LPCSTR data;
};

struct TemplateKey {
    LPCSTR key_path;
    const TemplateRow* values;
};

// A cache copied from template keys (every block its own), or null.
KeyEntry* cache_from_template(const TemplateKey* keys);
// Fills each entry with a snapshot of every value of its key: 0, or the recorded code of
// the first key or value that could not be read whole.
LONG cache_load(KeyEntry* cache);
// A record whose data block could not be had holds none, and saving it would write it
// empty over the stored value: 0 when every record has its data, else 8 recorded with
// the first such record's name.
LONG cache_check_whole(const KeyEntry* cache);
// Replaces the data of the first record of that name (without regard to case): 1 when
// one was found, 0 when none; never adds a record.
LONG cache_set_value(KeyEntry* cache, LPCSTR name, LONG data_length, LPCSTR data);
// Makes the first entry's records belong to another key, where the next save writes
// them: 0, or the code recorded for memory.
LONG cache_move_key(KeyEntry* cache, LPCSTR key_path);
// Releases the cache and every block it owns.
void cache_free(KeyEntry* cache);

// Reads each record whose value exists under its key with the same type: 0, or the
// recorded code of the first key that could not be opened or value that could not be
// read (the cache is then not to be saved: it would write defaults over stored values).
LONG retrieve_data(KeyEntry* cache);
// Writes every record of every entry, creating missing keys: 0 or a Windows error code.
LONG cache_save(const KeyEntry* cache);
