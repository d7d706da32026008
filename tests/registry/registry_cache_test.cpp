#include "support/library.h"
#include "support/registry.h"

#include "registry/registry_cache.h"
#include "registry/registry_path.h"

#include <winsim/registry/registry.h>

namespace {

using testing_support::dword_bytes;
using testing_support::stored_value;
using testing_support::StoredValue;
using testing_support::store_value;
using testing_support::text_bytes;
using winsim::Platform;

const TemplateRow port_rows[] = {
    {"Output Prefix", -1, REG_SZ, "AAAA"},
    {"Driver Timeout", -1, REG_DWORD, "60"},
    {"Fax Dialog Loc", 0, REG_SZ, "c:\\orvana\\orv32dlg.exe"},
    {"Blob", 3, REG_BINARY, "\x01\x00\x02"},
    {nullptr, 0, 0, nullptr},
};
const TemplateRow printer_rows[] = {
    {"Output Prefix", -1, REG_SZ, "PRN"},
    {"", 0, 0, nullptr},
};

class RegistryCache : public testing_support::LibraryTest {
protected:
    void SetUp() override { start(Platform::nt4); }
    ValueRecord* find(KeyEntry* cache, int entry, const char* name) {
        for (ValueRecord* r = cache[entry].values; r && r->name; ++r)
            if (lstrcmpiA(r->name, name) == 0) return r;
        return nullptr;
    }
};

TEST_F(RegistryCache, TemplatesAreCopiedIntoBlocksOfTheirOwn) {
    const TemplateKey keys[] = {{"HKLM/Software/Orvana/Port", port_rows}, {"HKLM/Software/Orvana/Printer", printer_rows},
                                {"HKLM/Software/Orvana/Empty", nullptr}, {nullptr, nullptr}};
    KeyEntry* cache = cache_from_template(keys);
    ASSERT_NE(cache, nullptr);
    EXPECT_STREQ(cache[0].key_path, "HKLM/Software/Orvana/Port");
    EXPECT_NE(cache[0].key_path, keys[0].key_path);
    ValueRecord* prefix = find(cache, 0, "Output Prefix");
    ASSERT_NE(prefix, nullptr);
    EXPECT_STREQ(prefix->data, "AAAA");
    EXPECT_NE(prefix->data, port_rows[0].data);
    ValueRecord* dialog = find(cache, 0, "Fax Dialog Loc");
    ASSERT_NE(dialog, nullptr);
    EXPECT_EQ(dialog->data_length, 0);
    ASSERT_NE(dialog->data, nullptr) << "a row of data length 0 is an empty block";
    EXPECT_STREQ(dialog->data, "");
    EXPECT_EQ(std::string(find(cache, 0, "Blob")->data, 3), std::string("\x01\x00\x02", 3));
    EXPECT_EQ(cache[1].values[1].name, nullptr) << "the copy ends with an end record";
    EXPECT_EQ(cache[2].values, nullptr);
    EXPECT_EQ(cache[3].key_path, nullptr);
    EXPECT_EQ(cache_from_template(&keys[3]), nullptr) << "no keys, no cache";
    cache_free(cache);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

// Memory running out at any block of the copy leaves no half cache whose end hides
// blocks from cache_free: the copy is whole, or null with "Memory allocation" recorded
// and nothing left allocated.
TEST_F(RegistryCache, ACopyThatRunsOutOfMemoryLeavesNothingBehind) {
    const TemplateKey keys[] = {{"HKLM/Software/Orvana/Port", port_rows}, {"HKLM/Software/Orvana/Printer", printer_rows},
                                {nullptr, nullptr}};
    for (unsigned nth = 1;; ++nth) {
        std::size_t injected_before = machine->faults().injections().size();
        machine->faults().fail("HeapAlloc", ERROR_NOT_ENOUGH_MEMORY, nth);
        KeyEntry* cache = cache_from_template(keys);
        bool failed = machine->faults().injections().size() > injected_before;
        machine->faults().clear();
        std::string text = take_error_text();
        if (!failed) {
            ASSERT_NE(cache, nullptr);
            cache_free(cache);
            EXPECT_GT(nth, 8u) << "every block of the copy was failed once";
            break;
        }
        // A data block may be missing (its record stays, empty); a name or key path may not.
        if (cache) {
            EXPECT_STREQ(cache[1].key_path, "HKLM/Software/Orvana/Printer") << "allocation " << nth;
            EXPECT_NE(find(cache, 0, "Blob"), nullptr) << "allocation " << nth;
            EXPECT_EQ(text, "") << "allocation " << nth;
            cache_free(cache);
        } else {
            EXPECT_NE(text.find("Printer installer WARNING (Memory allocation): \nerror #8.\n"), std::string::npos)
                << "allocation " << nth << ": " << text;
        }
        EXPECT_EQ(machine->live_heap_blocks(), 0u) << "allocation " << nth;
    }
}

TEST_F(RegistryCache, SaveWritesEveryRecordByItsType) {
    const TemplateKey keys[] = {{"HKLM/Software/Orvana/Port", port_rows}, {"HKLM/Software/Orvana/Empty", nullptr}, {nullptr, nullptr}};
    KeyEntry* cache = cache_from_template(keys);
    EXPECT_EQ(cache_save(cache), 0);
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Output Prefix"), (StoredValue{REG_SZ, text_bytes("AAAA")}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Driver Timeout"), (StoredValue{REG_DWORD, dword_bytes(60)}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Fax Dialog Loc"), (StoredValue{REG_SZ, std::string(1, '\0')}))
        << "REG_SZ is written with its terminator whatever the length says";
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Blob"), (StoredValue{REG_BINARY, std::string("\x01\x00\x02", 3)}));
    EXPECT_TRUE(testing_support::key_exists(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Empty")) << "an entry without values is skipped, its key made";
    cache_free(cache);
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(RegistryCache, ASnapshotTakesEveryTypeAndSaveWritesTheStrangeOnesAsBinary) {
    store_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Text", REG_SZ, text_bytes("hello"));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Number", REG_DWORD, dword_bytes(0xFFFFFFFF));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Expand", REG_EXPAND_SZ, text_bytes("%windir%"));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "None", REG_NONE, "zz");
    // Past RegSetValueExA, which on NT counts in the terminator that follows the text.
    machine->registry().set_value("HKEY_LOCAL_MACHINE\\Software\\Snap", "Unterminated", REG_SZ, "abc");
    char path[] = "HKLM/Software/Snap";
    KeyEntry cache[] = {{path, nullptr}, {nullptr, nullptr}};
    EXPECT_EQ(cache_load(cache), 0);
    ASSERT_NE(cache[0].values, nullptr);
    EXPECT_STREQ(find(cache, 0, "Number")->data, "-1");
    EXPECT_EQ(find(cache, 0, "Number")->data_length, 20);
    EXPECT_EQ(find(cache, 0, "Multi")->type, static_cast<DWORD>(REG_MULTI_SZ));
    EXPECT_EQ(find(cache, 0, "Multi")->data_length, 5);
    EXPECT_EQ(find(cache, 0, "Unterminated")->data_length, 3);
    EXPECT_STREQ(find(cache, 0, "Unterminated")->data, "abc") << "a text without terminator still ends in its block";

    EXPECT_EQ(cache_save(cache), 0);
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Multi"), (StoredValue{REG_BINARY, std::string("a\0b\0\0", 5)}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Expand"), (StoredValue{REG_BINARY, text_bytes("%windir%")}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "None"), (StoredValue{REG_BINARY, "zz"}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Number"), (StoredValue{REG_DWORD, dword_bytes(0xFFFFFFFF)}));
    EXPECT_EQ(stored_value(HKEY_LOCAL_MACHINE, "Software\\Snap", "Unterminated"), (StoredValue{REG_SZ, text_bytes("abc")}));

    // Free the lists the snapshot made; the entry array itself is ours.
    KeyEntry* heap_cache = static_cast<KeyEntry*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof cache));
    heap_cache[0].key_path = static_cast<LPSTR>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof path));
    lstrcpyA(heap_cache[0].key_path, path);
    heap_cache[0].values = cache[0].values;
    cache_free(heap_cache);
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_F(RegistryCache, SetValueChangesOnlyTheFirstRecordOfThatName) {
    const TemplateKey keys[] = {{"HKLM/Software/Orvana/Port", port_rows}, {"HKLM/Software/Orvana/Printer", printer_rows}, {nullptr, nullptr}};
    KeyEntry* cache = cache_from_template(keys);
    EXPECT_EQ(cache_set_value(cache, "output prefix", -1, "FAX"), 1);
    EXPECT_STREQ(find(cache, 0, "Output Prefix")->data, "FAX");
    EXPECT_STREQ(find(cache, 1, "Output Prefix")->data, "PRN");
    EXPECT_EQ(cache_set_value(cache, "Blob", 2, "\x07\x08"), 1);
    EXPECT_EQ(find(cache, 0, "Blob")->data_length, 2);
    EXPECT_EQ(cache_set_value(cache, "Nothing", -1, "x"), 0);
    cache_free(cache);
}

TEST_F(RegistryCache, AnEntryWithoutValuesIsSkippedNotFollowed) {
    const TemplateKey keys[] = {{"HKLM/Software/Orvana/Empty", nullptr}, {"HKLM/Software/Orvana/Printer", printer_rows}, {nullptr, nullptr}};
    KeyEntry* cache = cache_from_template(keys);
    EXPECT_EQ(cache_set_value(cache, "Output Prefix", -1, "NEW"), 1);
    EXPECT_EQ(retrieve_data(cache), 0);
    cache_free(cache);
}

TEST_F(RegistryCache, RetrieveReplacesRecordsOfTheSameTypeOnly) {
    store_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Output Prefix", REG_SZ, text_bytes("ZZZZZZ"));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Driver Timeout", REG_SZ, text_bytes("not a number"));
    store_value(HKEY_LOCAL_MACHINE, "Software\\Orvana\\Port", "Blob", REG_BINARY, "");
    const TemplateKey keys[] = {{"HKLM/Software/Orvana/Port", port_rows}, {nullptr, nullptr}};
    KeyEntry* cache = cache_from_template(keys);
    EXPECT_EQ(retrieve_data(cache), 0);
    EXPECT_STREQ(find(cache, 0, "Output Prefix")->data, "ZZZZZZ");
    EXPECT_EQ(find(cache, 0, "Output Prefix")->data_length, 7);
    EXPECT_STREQ(find(cache, 0, "Driver Timeout")->data, "60") << "a value of another type is left alone";
    EXPECT_EQ(find(cache, 0, "Blob")->data_length, 3) << "an empty value is left alone";
    cache_free(cache);
    EXPECT_EQ(take_error_text(), "");
}

TEST_F(RegistryCache, TraversePathLeavesTheCallersPathAndCreatesKeysForEveryone) {
    char path[] = "HKLM/Software/A/B/C";
    LONG error = -1;
    HKEY key = traverse_path(path, &error);
    EXPECT_EQ(error, 0);
    EXPECT_STREQ(path, "HKLM/Software/A/B/C");
    EXPECT_TRUE(testing_support::key_exists(HKEY_LOCAL_MACHINE, "Software\\A\\B\\C"));
    RegCloseKey(key);
    EXPECT_EQ(machine->open_handles(), 0u);
    EXPECT_EQ(machine->live_local_blocks(), 0u) << "the security descriptor is freed";
    EXPECT_EQ(machine->live_heap_blocks(), 0u);
}

TEST_F(RegistryCache, EveryKeyTheLibraryCreatesOnNtGivesAccessToEveryone) {
    const winsim::KeySecurity open_to_all{true, true};
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Orvana/Settings/Deep", "A", "1", REG_DWORD, 0), 0);
    for (const char* key : {"HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\Settings",
                            "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\Settings\\Deep"})
        EXPECT_EQ(machine->registry().security_descriptor(key), open_to_all) << key;
    EXPECT_NE(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE"), open_to_all)
        << "a key that was there keeps its own";
    start(Platform::win98);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Orvana", "A", "1", REG_DWORD, 0), 0);
    EXPECT_FALSE(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana")) << "95/98 keep none";
}

TEST_F(RegistryCache, AUserWhoIsNoAdministratorIsRefusedOnTheWayThroughTheMachineKeys) {
    // Every key of a path is opened for writing, so a user stops at the first machine key.
    winsim::MachineOptions user;
    user.administrator = false;
    start(Platform::nt4, user);
    EXPECT_EQ(insSetRegistryVal("HKLM/Software/Orvana", "A", "1", REG_DWORD, 0), ERROR_ACCESS_DENIED);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (traverse_path (RegOpenKeyEx)): \nerror #5 for value 'Software'.\nAccess is denied. \n");
    EXPECT_EQ(insSetRegistryVal("HKCU/Software/Orvana", "A", "1", REG_DWORD, 0), 0) << "the user's own keys are open to it";
}

TEST_F(RegistryCache, ConfirmRegValueExistsCreatesNothing) {
    store_value(HKEY_LOCAL_MACHINE, "Software\\Here", "Value", REG_SZ, text_bytes("x"));
    EXPECT_EQ(ConfirmRegValueExists("HKLM/Software/Here", nullptr), 1);
    EXPECT_EQ(ConfirmRegValueExists("HKLM/Software/Here", ""), 1);
    EXPECT_EQ(ConfirmRegValueExists("HKEY_LOCAL_MACHINE/Software/Here", "value"), 1);
    EXPECT_EQ(ConfirmRegValueExists("HKLM/Software/Here", "Other"), 0);
    EXPECT_EQ(ConfirmRegValueExists("HKLM/Software/Nowhere/Deeper", nullptr), 0);
    EXPECT_EQ(ConfirmRegValueExists("HKCU", "anything"), 1) << "a root alone exists";
    EXPECT_FALSE(testing_support::key_exists(HKEY_LOCAL_MACHINE, "Software\\Nowhere"));
    EXPECT_EQ(take_error_text(), "") << "a missing key or value is no error";
    EXPECT_EQ(ConfirmRegValueExists("hkcu/Software", nullptr), 0);
    EXPECT_EQ(take_error_text(),
              "Printer installer WARNING (ConfirmRegValueExists): \nerror #13 for value 'hkcu/Software'.\nThe data is invalid. \n");
}

}  // namespace
