#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

using winsim::KeySecurity;
using winsim::Machine;
using winsim::MachineOptions;
using winsim::Platform;
using winsim::RegistryValue;

constexpr const char* nt_user = "HKEY_USERS\\S-1-5-21-1004336348-1177238915-682003330-1000";

std::string bytes_of(const char* data, std::size_t size) { return std::string(data, size); }

HKEY open_key(HKEY root, const char* path, REGSAM access = KEY_READ) {
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(root, path, 0, access, &key), ERROR_SUCCESS) << path;
    return key;
}

HKEY create_key(HKEY root, const char* path, DWORD* disposition = nullptr, LPSECURITY_ATTRIBUTES security = nullptr) {
    HKEY key = nullptr;
    EXPECT_EQ(RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS, security, &key, disposition),
              ERROR_SUCCESS)
        << path;
    return key;
}

LONG set_string(HKEY key, const char* name, const char* text) {
    return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text), static_cast<DWORD>(std::strlen(text) + 1));
}

std::vector<std::string> enumerated_subkeys(HKEY key) {
    std::vector<std::string> names;
    char name[256];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        LONG result = RegEnumKeyExA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr);
        if (result == ERROR_NO_MORE_ITEMS) break;
        EXPECT_EQ(result, ERROR_SUCCESS);
        if (result) break;
        names.emplace_back(name, size);
    }
    return names;
}

class Registry : public testing::Test {
protected:
    void SetUp() override { machine = Machine::create(Platform::nt4); }
    std::unique_ptr<Machine> machine;
};

// ---- roots and names ----------------------------------------------------------------

TEST_F(Registry, ClassesRootIsSoftwareClassesOfTheLocalMachine) {
    HKEY key = create_key(HKEY_CLASSES_ROOT, ".orv");
    ASSERT_EQ(set_string(key, "", "Orvana.Document"), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(machine->registry().value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.orv", ""),
              (RegistryValue{REG_SZ, bytes_of("Orvana.Document", 16)}));
    machine->registry().set_dword("HKEY_LOCAL_MACHINE\\Software\\Classes\\CLSID", "n", 7);
    HKEY clsid = open_key(HKEY_CLASSES_ROOT, "CLSID");
    DWORD number = 0, size = sizeof number;
    EXPECT_EQ(RegQueryValueExA(clsid, "n", nullptr, nullptr, reinterpret_cast<LPBYTE>(&number), &size), ERROR_SUCCESS);
    EXPECT_EQ(number, 7u);
    RegCloseKey(clsid);
}

TEST_F(Registry, CurrentUserIsTheUsersKeyUnderUsers) {
    EXPECT_EQ("HKEY_USERS\\" + machine->registry().current_user_key(), nt_user);
    HKEY key = create_key(HKEY_CURRENT_USER, "Software\\Orvana");
    RegCloseKey(key);
    EXPECT_TRUE(machine->registry().key_exists(std::string(nt_user) + "\\Software\\Orvana"));
    EXPECT_TRUE(machine->registry().key_exists("HKEY_CURRENT_USER\\Software\\Orvana"));

    auto win98 = Machine::create(Platform::win98);
    EXPECT_EQ(win98->registry().current_user_key(), ".DEFAULT");
    RegCloseKey(create_key(HKEY_CURRENT_USER, "Software\\Orvana"));
    EXPECT_TRUE(win98->registry().key_exists("HKEY_USERS\\.DEFAULT\\Software\\Orvana"));
}

TEST_F(Registry, ANewMachineHasThePrintKeysOfItsFamily) {
    auto& registry = machine->registry();
    const char* print = "HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print";
    EXPECT_EQ(registry.subkeys(print), (std::vector<std::string>{"Environments", "Monitors", "Printers"}));
    EXPECT_EQ(registry.subkeys(std::string(print) + "\\Environments"), std::vector<std::string>{"Windows NT x86"});
    EXPECT_TRUE(registry.key_exists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Session Manager"));
    EXPECT_TRUE(registry.key_exists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Services"));
    EXPECT_EQ(registry.subkeys("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT\\CurrentVersion"),
              (std::vector<std::string>{"Devices", "PrinterPorts", "Windows"}));

    auto win95 = Machine::create(Platform::win95);
    HKEY system = open_key(HKEY_LOCAL_MACHINE, "");
    EXPECT_EQ(enumerated_subkeys(system), (std::vector<std::string>{"SOFTWARE", "System"}));
    EXPECT_EQ(win95->registry().subkeys("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Print\\Environments"),
              std::vector<std::string>{"Windows 4.0"});
    EXPECT_FALSE(win95->registry().key_exists("HKEY_LOCAL_MACHINE\\System\\CurrentControlSet\\Control\\Session Manager"));
    EXPECT_FALSE(win95->registry().key_exists("HKEY_CURRENT_USER\\Software\\Microsoft\\Windows NT"));
}

TEST_F(Registry, NamesAreFoundWithoutRegardToCaseAndKeepTheirCase) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana\\PrintKit");
    ASSERT_EQ(set_string(key, "InstallDir", "C:\\Orvana"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key, "INSTALLDIR", "D:\\Orvana"), ERROR_SUCCESS) << "the same value, set again";
    RegCloseKey(key);

    HKEY again = open_key(HKEY_LOCAL_MACHINE, "software\\ORVANA\\printkit");
    char text[32];
    DWORD size = sizeof text;
    EXPECT_EQ(RegQueryValueExA(again, "installdir", nullptr, nullptr, reinterpret_cast<LPBYTE>(text), &size), ERROR_SUCCESS);
    EXPECT_STREQ(text, "D:\\Orvana");
    RegCloseKey(again);
    EXPECT_EQ(machine->registry().subkeys("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana"), std::vector<std::string>{"PrintKit"});
    EXPECT_EQ(machine->registry().values("hkey_local_machine\\SOFTWARE\\Orvana\\PrintKit"),
              std::vector<std::string>{"InstallDir"});
}

TEST_F(Registry, EnumerationFollowsCreationOrder) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Order");
    for (const char* name : {"zeta", "Alpha", "mid"}) RegCloseKey(create_key(key, name));
    for (const char* name : {"b", "a", "c"}) ASSERT_EQ(set_string(key, name, name), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key, "a", "changed"), ERROR_SUCCESS) << "a value set again keeps its place";
    ASSERT_EQ(RegDeleteValueA(key, "b"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key, "b", "back"), ERROR_SUCCESS) << "a value made anew goes last";
    EXPECT_EQ(enumerated_subkeys(key), (std::vector<std::string>{"zeta", "Alpha", "mid"}));
    std::vector<std::string> names;
    char name[16];
    for (DWORD index = 0;; ++index) {
        DWORD size = sizeof name;
        if (RegEnumValueA(key, index, name, &size, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, size);
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "c", "b"}));
    RegCloseKey(key);
}

// Names are found through an index kept beside each key's entries; values and subkeys
// taken out from the middle, in any order, must leave every other entry findable in
// any case and the enumeration in creation order.
TEST_F(Registry, EntriesStayFindableAndInOrderWhileOthersComeAndGo) {
    const std::string path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Churn";
    winsim::Registry& registry = machine->registry();
    std::vector<std::string> values, subkeys;
    auto name_of = [](int i) { return (i % 3 ? "Port" : "port") + std::to_string(i); };
    for (int i = 0; i < 300; ++i) {
        values.push_back(name_of(i));
        registry.set_string(path, values.back(), values.back());
        subkeys.push_back(name_of(i));
        registry.create_key(path + "\\" + subkeys.back());
    }
    for (int round = 0; round < 200; ++round) {
        const std::size_t at = (round * 7919u) % values.size();
        ASSERT_TRUE(registry.delete_value(path, values[at])) << values[at];
        values.erase(values.begin() + static_cast<std::ptrdiff_t>(at));
        ASSERT_TRUE(registry.delete_key(path + "\\" + subkeys[at])) << subkeys[at];
        subkeys.erase(subkeys.begin() + static_cast<std::ptrdiff_t>(at));
        if (round % 4 == 0) {
            values.push_back("Again" + std::to_string(round));
            registry.set_string(path, values.back(), "again");
            subkeys.push_back("Again" + std::to_string(round));
            registry.create_key(path + "\\" + subkeys.back());
        }
    }
    EXPECT_EQ(registry.values(path), values);
    EXPECT_EQ(registry.subkeys(path), subkeys);
    for (const std::string& name : values) {
        std::string shouted = name;
        for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
        EXPECT_TRUE(registry.value(path, shouted)) << name;
        EXPECT_TRUE(registry.key_exists(path + "\\" + shouted)) << name;
    }
    for (int i = 0; i < 300; ++i) {
        const bool kept = std::find(values.begin(), values.end(), name_of(i)) != values.end();
        EXPECT_EQ(registry.value(path, name_of(i)).has_value(), kept) << name_of(i);
        EXPECT_EQ(registry.key_exists(path + "\\" + name_of(i)), kept) << name_of(i);
    }
}

// ---- opening and creating -------------------------------------------------------------

TEST_F(Registry, CreateMakesEveryMissingLevelAndTellsWhetherItDid) {
    DWORD disposition = 0;
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana\\PrintKit\\3.0", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_CREATED_NEW_KEY));
    RegCloseKey(key);
    EXPECT_TRUE(machine->registry().key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\PrintKit\\3.0"));
    key = create_key(HKEY_LOCAL_MACHINE, "software\\orvana\\printkit\\3.0\\", &disposition);
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    RegCloseKey(key);
    EXPECT_EQ(machine->registry().subkeys("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\PrintKit"), std::vector<std::string>{"3.0"});
}

TEST_F(Registry, OpenFindsPathsOfSeveralLevelsAndAnswersTwoForMissingKeys) {
    machine->registry().create_key("HKEY_LOCAL_MACHINE\\SOFTWARE\\A\\B\\C");
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\B\\C", 0, KEY_READ, &key), ERROR_SUCCESS);
    HKEY below = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, "D", 0, KEY_READ, &below), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\A\\X\\C", 0, KEY_READ, &below), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\\\A", 0, KEY_READ, &below), 161) << "two backslashes together";
    EXPECT_EQ(machine->open_handles(), 1u);

    HKEY same = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, nullptr, 0, KEY_READ, &same), ERROR_SUCCESS);
    EXPECT_NE(same, key) << "a new handle to the same key";
    HKEY empty = nullptr;
    EXPECT_EQ(RegOpenKeyExA(key, "", 0, KEY_READ, &empty), ERROR_SUCCESS);
    EXPECT_EQ(machine->open_handles(), 3u);
    HKEY root = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, nullptr, 0, KEY_READ, &root), ERROR_SUCCESS);
    EXPECT_EQ(root, HKEY_LOCAL_MACHINE) << "a predefined key gives itself back";
    for (HKEY open : {key, same, empty}) EXPECT_EQ(RegCloseKey(open), ERROR_SUCCESS);
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Registry, HandlesLeftOpenAreCounted) {
    std::size_t before = machine->open_handles();
    HKEY created = create_key(HKEY_CURRENT_USER, "Software\\Leak");
    HKEY opened = open_key(HKEY_CURRENT_USER, "Software");
    EXPECT_EQ(machine->open_handles(), before + 2);
    RegCloseKey(created);
    EXPECT_EQ(machine->open_handles(), before + 1) << "the open one is still there";
    RegCloseKey(opened);
    EXPECT_EQ(machine->open_handles(), before);
}

TEST_F(Registry, InvalidAndClosedHandlesAnswerSix) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Closed");
    ASSERT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    for (HKEY bad : {key, static_cast<HKEY>(nullptr), reinterpret_cast<HKEY>(std::uintptr_t{0x4444})}) {
        HKEY result = nullptr;
        DWORD size = 0;
        char name[8];
        DWORD name_size = sizeof name;
        EXPECT_EQ(RegCloseKey(bad), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegOpenKeyExA(bad, "x", 0, KEY_READ, &result), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegCreateKeyExA(bad, "x", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryValueExA(bad, "x", nullptr, nullptr, nullptr, &size), ERROR_INVALID_HANDLE);
        EXPECT_EQ(set_string(bad, "x", "y"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegQueryInfoKeyA(bad, nullptr, nullptr, nullptr, &size, nullptr, nullptr, nullptr, nullptr, nullptr,
                                   nullptr, nullptr),
                  ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumValueA(bad, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegEnumKeyExA(bad, 0, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteValueA(bad, "x"), ERROR_INVALID_HANDLE);
        EXPECT_EQ(RegDeleteKeyA(bad, "x"), ERROR_INVALID_HANDLE);
    }
    machine->files().write_file("C:\\f.txt", "x");
    HANDLE file = CreateFileA("C:\\f.txt", GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    EXPECT_EQ(RegCloseKey(reinterpret_cast<HKEY>(file)), ERROR_INVALID_HANDLE) << "a file is no key";
    EXPECT_TRUE(CloseHandle(file));
}

TEST_F(Registry, ClosingARootKeySucceedsAndLeavesItUsable) {
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
    HKEY key = open_key(HKEY_LOCAL_MACHINE, "SOFTWARE");
    EXPECT_NE(key, nullptr);
    RegCloseKey(key);
}

// ---- values ---------------------------------------------------------------------------

TEST_F(Registry, QueryAnswersSizesAsStored) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Sizes");
    ASSERT_EQ(set_string(key, "path", "C:\\Orvana"), ERROR_SUCCESS);
    const DWORD stored = 10;

    DWORD type = 0xDEADBEEF, size = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
    EXPECT_EQ(size, stored) << "a null buffer asks for the size";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    char buffer[32];
    std::memset(buffer, 'x', sizeof buffer);
    size = stored;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size), ERROR_SUCCESS);
    EXPECT_EQ(size, stored);
    EXPECT_EQ(std::string(buffer, size), bytes_of("C:\\Orvana", 10));

    size = stored - 1;
    type = 0;
    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size), ERROR_MORE_DATA);
    EXPECT_EQ(size, stored) << "the size needed";
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));

    EXPECT_EQ(RegQueryValueExA(key, "path", nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), nullptr), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(RegQueryValueExA(key, "missing", nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegQueryValueExA(key, nullptr, nullptr, nullptr, nullptr, &size), ERROR_FILE_NOT_FOUND)
        << "no default value was set";
    RegCloseKey(key);
}

// NT stores the bytes it is given, except that its ANSI entry counts in a terminator
// that the size left out when the byte after the text is one (Wine's registry.c,
// test_set_value "off-by-one size" and test_string_termination).
TEST_F(Registry, NtStoresStringsAsGivenAndNinetyFiveEndsThem) {
    HKEY key = create_key(HKEY_CURRENT_USER, "Software\\Strings");
    ASSERT_EQ(RegSetValueExA(key, "cut", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdef"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "short", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "path", 0, REG_EXPAND_SZ, reinterpret_cast<const BYTE*>("%a%"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "bytes", 0, REG_BINARY, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "empty", 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 0), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "none", 0, REG_NONE, nullptr, 0), ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "cut"), (RegistryValue{REG_SZ, "abc"}))
        << "the byte after the size is no terminator";
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "short"), (RegistryValue{REG_SZ, bytes_of("abc", 4)}));
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "path"),
              (RegistryValue{REG_EXPAND_SZ, bytes_of("%a%", 4)}));
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "bytes"), (RegistryValue{REG_BINARY, "abc"}));
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "empty"), (RegistryValue{REG_SZ, ""}))
        << "a text of no bytes stays empty";
    EXPECT_EQ(machine->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "none"), (RegistryValue{REG_NONE, ""}));

    auto win95 = Machine::create(Platform::win95);
    key = create_key(HKEY_CURRENT_USER, "Software\\Strings");
    ASSERT_EQ(RegSetValueExA(key, "bare", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "ended", 0, REG_SZ, reinterpret_cast<const BYTE*>("abc"), 4), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "cut", 0, REG_SZ, reinterpret_cast<const BYTE*>("abcdef"), 3), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "bin", 0, REG_BINARY, reinterpret_cast<const BYTE*>("abc"), 3), ERROR_SUCCESS);
    EXPECT_EQ(RegSetValueExA(key, "", 0, REG_DWORD, reinterpret_cast<const BYTE*>("abcd"), 4), ERROR_INVALID_PARAMETER)
        << "95 keeps only strings as the default value";
    RegCloseKey(key);
    EXPECT_EQ(win95->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "bare"), (RegistryValue{REG_SZ, bytes_of("abc", 4)}));
    EXPECT_EQ(win95->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "ended"), (RegistryValue{REG_SZ, bytes_of("abc", 4)}));
    EXPECT_EQ(win95->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "cut"), (RegistryValue{REG_SZ, bytes_of("abcdef", 7)}))
        << "95 takes a text by its terminator, whatever size it is given";
    EXPECT_EQ(win95->registry().value("HKEY_CURRENT_USER\\Software\\Strings", "bin"), (RegistryValue{REG_BINARY, "abc"}));
}

TEST_F(Registry, QueryInfoCountsAndMeasures) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Info");
    RegCloseKey(create_key(key, "short"));
    RegCloseKey(create_key(key, "the longest"));
    ASSERT_EQ(set_string(key, "name", "a longer string"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key, "longer name", "x"), ERROR_SUCCESS);
    DWORD subkeys = 0, longest_subkey = 0, values = 0, longest_name = 0, longest_data = 0;
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest_subkey, nullptr, &values, &longest_name,
                               &longest_data, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(subkeys, 2u);
    EXPECT_EQ(longest_subkey, 11u);
    EXPECT_EQ(values, 2u);
    EXPECT_EQ(longest_name, 11u);
    EXPECT_EQ(longest_data, 16u);
    RegCloseKey(key);

    auto win98 = Machine::create(Platform::win98);
    key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Info");
    RegCloseKey(create_key(key, "the longest"));
    EXPECT_EQ(RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, &subkeys, &longest_subkey, nullptr, nullptr, nullptr,
                               nullptr, nullptr, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(longest_subkey, 12u) << "95/98 count the terminator";
    RegCloseKey(key);
}

TEST_F(Registry, EnumValueSizesNameAndDataAsWindows) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Enum");
    ASSERT_EQ(set_string(key, "Driver", "ORVPS.DLL"), ERROR_SUCCESS);
    char name[16];
    BYTE data[16];
    DWORD name_size = 6, type = 0, data_size = sizeof data;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, data, &data_size), ERROR_MORE_DATA)
        << "the name's buffer holds its terminator too";
    name_size = 7;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, data, &data_size), ERROR_SUCCESS);
    EXPECT_EQ(name_size, 6u);
    EXPECT_STREQ(name, "Driver");
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data_size, 10u);

    name_size = sizeof name;
    data_size = 9;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, data, &data_size), ERROR_MORE_DATA);
    EXPECT_EQ(data_size, 10u);
    name_size = sizeof name;
    data_size = 0;
    EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, nullptr, &data_size), ERROR_SUCCESS);
    EXPECT_EQ(data_size, 10u) << "no buffer asks for the size";

    name_size = sizeof name;
    EXPECT_EQ(RegEnumValueA(key, 1, name, &name_size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

// ---- texts without their terminator, and what a call too small leaves -------------------

class RegistryOnEveryPlatform : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = Machine::create(GetParam());
        // Laid down past RegSetValueExA, which ends every text on 95/98.
        machine->registry().set_value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Texts", "bare", REG_SZ, "FullStri");
        key = open_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Texts", KEY_ALL_ACCESS);
    }
    void TearDown() override { RegCloseKey(key); }
    std::unique_ptr<Machine> machine;
    HKEY key = nullptr;
};

// Wine's registry.c, test_string_termination: a text without its terminator comes back
// as stored when it fills the buffer, and terminated when there is room; the size
// answered is the stored one. 95/98 are taken to do the same (unconfirmed).
TEST_P(RegistryOnEveryPlatform, AnUnterminatedTextIsTerminatedWhenTheBufferHasRoom) {
    for (DWORD buffer_size : {8u, 9u, 16u}) {
        SCOPED_TRACE(buffer_size);
        char buffer[20];
        std::memset(buffer, '#', sizeof buffer);
        DWORD size = buffer_size, type = 0xDEADBEEF;
        EXPECT_EQ(RegQueryValueExA(key, "bare", nullptr, &type, reinterpret_cast<LPBYTE>(buffer), &size), ERROR_SUCCESS);
        EXPECT_EQ(size, 8u);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(std::string(buffer, 10), buffer_size > 8 ? bytes_of("FullStri\0#", 10) : std::string("FullStri##"));

        std::memset(buffer, '#', sizeof buffer);
        char name[8];
        DWORD name_size = sizeof name;
        size = buffer_size;
        EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, nullptr, reinterpret_cast<LPBYTE>(buffer), &size),
                  ERROR_SUCCESS);
        EXPECT_EQ(size, 8u);
        EXPECT_EQ(std::string(buffer, 10), buffer_size > 8 ? bytes_of("FullStri\0#", 10) : std::string("FullStri##"));
    }
}

// Wine's registry.c, test_enum_value: data that does not fit leaves the name and the
// data alone; a name that does not fit is cut to its buffer while the data is written
// (XP alone writes neither); either way the name's size stays as it was and the type
// and the data's size are answered.
TEST_P(RegistryOnEveryPlatform, EnumValueAnswersTypeAndSizeWhenTheNameOrTheDataOverflows) {
    ASSERT_EQ(RegDeleteValueA(key, "bare"), ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, "Test", 0, REG_SZ, reinterpret_cast<const BYTE*>("foobar"), 7), ERROR_SUCCESS);
    struct Case {
        const char* what;
        DWORD name_size;
        DWORD data_size;
        const char* name;
        const char* data;
    } cases[] = {
        {"both overflow", 2, 2, "xxxxxxxxxx", "xxxxxxxxxx"},
        {"the name overflows", 3, 20, "Te", "foobar"},
        {"an empty name buffer", 0, 20, "xxxxxxxxxx", "foobar"},
        {"the data overflows", 20, 2, "xxxxxxxxxx", "xxxxxxxxxx"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        char name[20] = "xxxxxxxxxx";
        char data[20] = "xxxxxxxxxx";
        DWORD name_size = c.name_size, data_size = c.data_size, type = 0xDEADBEEF;
        EXPECT_EQ(RegEnumValueA(key, 0, name, &name_size, nullptr, &type, reinterpret_cast<LPBYTE>(data), &data_size),
                  ERROR_MORE_DATA);
        EXPECT_EQ(name_size, c.name_size);
        EXPECT_EQ(data_size, 7u);
        EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
        EXPECT_STREQ(name, c.name);
        EXPECT_STREQ(data, c.data);
    }
}

// Wine's registry.c, test_query_value_ex in its form with the 95/98 branch: asked for
// the size of a missing value, NT answers 0, 95/98 leave the size and answer a type of
// 0; NT writes a type of its own, which winsim takes as Wine's 0 (unconfirmed). With a
// buffer the size stays as it was.
TEST_P(RegistryOnEveryPlatform, AMissingValueAnswersPerFamily) {
    const bool nt = machine->is_nt();
    DWORD type = 0xDEADBEEF, size = 0xDEADBEEF;
    EXPECT_EQ(RegQueryValueExA(key, "Nonexistent Value", nullptr, &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, nt ? 0u : 0xDEADBEEFu);
    EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
    BYTE buffer[10];
    type = 0xDEADBEEF;
    size = sizeof buffer;
    EXPECT_EQ(RegQueryValueExA(key, "Nonexistent Value", nullptr, &type, buffer, &size), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(size, sizeof buffer);
    EXPECT_EQ(type, static_cast<DWORD>(REG_NONE));
}

INSTANTIATE_TEST_SUITE_P(Platforms, RegistryOnEveryPlatform,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000),
                         [](const auto& param_info) { return std::string(winsim::platform_info(param_info.param).name); });

TEST_F(Registry, EnumKeyStopsAtTheEndAndRefusesShortBuffers) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Keys");
    RegCloseKey(create_key(key, "Monitor"));
    char name[16];
    DWORD size = 7;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_MORE_DATA);
    size = 8;
    EXPECT_EQ(RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
    EXPECT_EQ(size, 7u);
    EXPECT_STREQ(name, "Monitor");
    size = sizeof name;
    EXPECT_EQ(RegEnumKeyExA(key, 1, name, &size, nullptr, nullptr, nullptr, nullptr), ERROR_NO_MORE_ITEMS);
    RegCloseKey(key);
}

// ---- deleting -------------------------------------------------------------------------

TEST_F(Registry, NtRefusesToDeleteAKeyWithSubkeys) {
    machine->registry().create_key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree\\Leaf");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Missing"), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Leaf"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(machine->registry().key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree"));
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED) << "a root stays";
}

TEST_F(Registry, NinetyEightDeletesTheWholeTree) {
    auto win98 = Machine::create(Platform::win98);
    win98->registry().create_key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree\\Branch\\Leaf");
    HKEY leaf = open_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree\\Branch\\Leaf");
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Tree"), ERROR_SUCCESS);
    EXPECT_FALSE(win98->registry().key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Tree"));
    EXPECT_EQ(set_string(leaf, "x", "y"), ERROR_BADKEY) << "the handle's key is gone";
    EXPECT_EQ(RegCloseKey(leaf), ERROR_SUCCESS);
}

TEST_F(Registry, HandlesToADeletedKeyAnswerKeyDeletedOnNt) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed");
    ASSERT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Doomed"), ERROR_SUCCESS);
    DWORD size = 0;
    EXPECT_EQ(set_string(key, "x", "y"), ERROR_KEY_DELETED);
    EXPECT_EQ(RegQueryValueExA(key, "x", nullptr, nullptr, nullptr, &size), ERROR_KEY_DELETED);
    HKEY result = nullptr;
    EXPECT_EQ(RegCreateKeyExA(key, "below", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &result, nullptr), ERROR_KEY_DELETED);
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(machine->open_handles(), 0u);
}

TEST_F(Registry, DeleteValueRemovesOnlyThatValue) {
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Values");
    ASSERT_EQ(set_string(key, "keep", "1"), ERROR_SUCCESS);
    ASSERT_EQ(set_string(key, "go", "2"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "GO"), ERROR_SUCCESS);
    EXPECT_EQ(RegDeleteValueA(key, "go"), ERROR_FILE_NOT_FOUND);
    RegCloseKey(key);
    EXPECT_EQ(machine->registry().values("HKEY_LOCAL_MACHINE\\SOFTWARE\\Values"), std::vector<std::string>{"keep"});
}

// ---- security -------------------------------------------------------------------------

struct NullDacl {
    NullDacl() {
        EXPECT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
        EXPECT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
        attributes.nLength = sizeof attributes;
        attributes.lpSecurityDescriptor = &descriptor;
        attributes.bInheritHandle = FALSE;
    }
    SECURITY_DESCRIPTOR descriptor;
    SECURITY_ATTRIBUTES attributes;
};

TEST_F(Registry, SecurityDescriptorsAreBuiltAsOnNt) {
    SECURITY_DESCRIPTOR descriptor;
    std::memset(&descriptor, 0xAB, sizeof descriptor);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, 2));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));
    ASSERT_TRUE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(descriptor.Revision, 1);
    EXPECT_EQ(descriptor.Control, 0);
    EXPECT_EQ(descriptor.Dacl, nullptr);
    ACL acl{};
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, &acl, TRUE));
    EXPECT_EQ(descriptor.Control, SE_DACL_PRESENT | SE_DACL_DEFAULTED);
    EXPECT_EQ(descriptor.Dacl, &acl);
    ASSERT_TRUE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_EQ(descriptor.Control, SE_DACL_PRESENT);
    EXPECT_EQ(descriptor.Dacl, nullptr);
    descriptor.Revision = 0;
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(SetSecurityDescriptorDacl(&descriptor, TRUE, nullptr, FALSE));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_UNKNOWN_REVISION));

    auto win98 = Machine::create(Platform::win98);
    SetLastError(0xDEADBEEF);
    EXPECT_FALSE(InitializeSecurityDescriptor(&descriptor, SECURITY_DESCRIPTOR_REVISION));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_CALL_NOT_IMPLEMENTED));
}

TEST_F(Registry, NtKeepsTheDescriptorOfANewKey) {
    NullDacl everyone;
    HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared\\Spool", nullptr, &everyone.attributes);
    RegCloseKey(key);
    EXPECT_EQ(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared\\Spool"), (KeySecurity{true, true}));
    EXPECT_EQ(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared"), (KeySecurity{true, true}))
        << "each level made by the call";
    EXPECT_EQ(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE"), std::nullopt);

    ACL acl{};
    SECURITY_DESCRIPTOR with_acl;
    InitializeSecurityDescriptor(&with_acl, SECURITY_DESCRIPTOR_REVISION);
    SetSecurityDescriptorDacl(&with_acl, TRUE, &acl, FALSE);
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &with_acl, FALSE};
    RegCloseKey(create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", nullptr, &attributes));
    EXPECT_EQ(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded"), (KeySecurity{true, false}));

    DWORD disposition = 0;
    RegCloseKey(create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Guarded", &disposition, &everyone.attributes));
    EXPECT_EQ(disposition, static_cast<DWORD>(REG_OPENED_EXISTING_KEY));
    EXPECT_EQ(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Guarded"), (KeySecurity{true, false}))
        << "an existing key keeps its descriptor";
}

TEST_F(Registry, NinetyFiveIgnoresSecurityAttributes) {
    auto win95 = Machine::create(Platform::win95);
    SECURITY_DESCRIPTOR descriptor{};
    descriptor.Revision = SECURITY_DESCRIPTOR_REVISION;
    descriptor.Control = SE_DACL_PRESENT;
    SECURITY_ATTRIBUTES attributes{sizeof attributes, &descriptor, FALSE};
    RegCloseKey(create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Shared", nullptr, &attributes));
    EXPECT_EQ(win95->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Shared"), std::nullopt);
}

class NonAdministrator : public testing::Test {
protected:
    std::unique_ptr<Machine> machine_of(Platform platform) {
        MachineOptions options;
        options.administrator = false;
        return Machine::create(platform, options);
    }
};

TEST_F(NonAdministrator, NtRefusesWritingTheLocalMachine) {
    auto machine = machine_of(Platform::win2000);
    HKEY key = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_SET_VALUE, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_ALL_ACCESS, &key), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana", 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana", 0, nullptr, 0, KEY_READ, nullptr, &key, nullptr),
              ERROR_ACCESS_DENIED)
        << "making a key is writing its parent";
    EXPECT_FALSE(machine->registry().key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana"));
    EXPECT_EQ(set_string(HKEY_LOCAL_MACHINE, "x", "y"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Classes"), ERROR_ACCESS_DENIED);
    EXPECT_EQ(machine->open_handles(), 0u);

    key = open_key(HKEY_LOCAL_MACHINE, "SOFTWARE", KEY_READ);
    ASSERT_NE(key, nullptr) << "reading is for everyone";
    EXPECT_EQ(set_string(key, "x", "y"), ERROR_ACCESS_DENIED) << "a handle opened for reading";
    RegCloseKey(key);

    HKEY mine = create_key(HKEY_CURRENT_USER, "Software\\Orvana");
    EXPECT_EQ(set_string(mine, "x", "y"), ERROR_SUCCESS) << "the user's own keys are the user's";
    RegCloseKey(mine);
}

TEST_F(NonAdministrator, NtLetsAnyoneWriteUnderANullDacl) {
    auto machine = machine_of(Platform::nt4);
    machine->registry().create_key("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\Shared");
    machine->registry().set_security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\Shared", KeySecurity{true, true});
    HKEY key = open_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana\\Shared", KEY_ALL_ACCESS);
    ASSERT_NE(key, nullptr);
    EXPECT_EQ(set_string(key, "Port", "LPT1:"), ERROR_SUCCESS);
    HKEY child = create_key(key, "Printer");
    ASSERT_NE(child, nullptr) << "a null DACL lets anyone add keys";
    EXPECT_EQ(set_string(child, "Name", "Orvana PS"), ERROR_SUCCESS);
    RegCloseKey(child);
    RegCloseKey(key);
    HKEY guarded = nullptr;
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana", 0, KEY_WRITE, &guarded), ERROR_ACCESS_DENIED)
        << "the null DACL is the key's, not its parent's";
}

TEST_F(NonAdministrator, NinetyFiveAndNinetyEightCheckNothing) {
    for (Platform platform : {Platform::win95, Platform::win98}) {
        auto machine = machine_of(platform);
        HKEY key = create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana");
        ASSERT_NE(key, nullptr);
        EXPECT_EQ(set_string(key, "x", "y"), ERROR_SUCCESS);
        RegCloseKey(key);
        key = open_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana", KEY_READ);
        EXPECT_EQ(set_string(key, "x", "z"), ERROR_SUCCESS) << "95/98 handles carry no rights";
        RegCloseKey(key);
    }
}

// ---- fault injection ------------------------------------------------------------------

TEST_F(Registry, InjectedFaultsAreReturnedAsTheCode) {
    machine->faults().fail("RegOpenKeyExA", ERROR_NOT_ENOUGH_MEMORY);
    HKEY key = reinterpret_cast<HKEY>(std::uintptr_t{0x1234});
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(key, reinterpret_cast<HKEY>(std::uintptr_t{0x1234})) << "nothing opened";
    EXPECT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE", 0, KEY_READ, &key), ERROR_SUCCESS) << "only the first call";

    machine->faults().fail("RegSetValueExA", ERROR_ACCESS_DENIED);
    EXPECT_EQ(set_string(key, "x", "y"), ERROR_ACCESS_DENIED);
    EXPECT_FALSE(machine->registry().value("HKEY_LOCAL_MACHINE\\SOFTWARE", "x"));
    machine->faults().fail("RegCloseKey", ERROR_INVALID_HANDLE);
    EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
    EXPECT_EQ(machine->open_handles(), 1u) << "a failed close closes nothing";
    EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
    EXPECT_EQ(machine->faults().calls("RegOpenKeyExA"), 2u);
    EXPECT_EQ(machine->faults().calls("RegCloseKey"), 2u);
}

// ---- persistence ----------------------------------------------------------------------

class SavedRegistry : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("winsim-registry-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::string file_text() const {
        std::ifstream in(folder / "registry.reg", std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        return text.str();
    }
    std::filesystem::path folder;
};

TEST_F(SavedRegistry, EveryValueComesBackByteForByte) {
    const char* key_path = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\Every Type";
    std::string long_binary;
    for (int i = 0; i < 100; ++i) long_binary += static_cast<char>(i * 7);
    std::vector<std::pair<std::string, RegistryValue>> values = {
        {"", {REG_SZ, bytes_of("default", 8)}},
        {"path", {REG_SZ, bytes_of("C:\\Program Files\\\"Orvana\"", 26)}},
        {"bare", {REG_SZ, "no terminator"}},
        {"inner", {REG_SZ, bytes_of("a\0b\0", 4)}},
        {"empty string", {REG_SZ, bytes_of("", 1)}},
        {"zero length", {REG_SZ, ""}},
        {"lines", {REG_SZ, bytes_of("one\r\ntwo", 9)}},
        {"expand", {REG_EXPAND_SZ, bytes_of("%SystemRoot%\\system32", 22)}},
        {"multi", {REG_MULTI_SZ, bytes_of("LPT1:\0COM1:\0\0", 13)}},
        {"number", {REG_DWORD, bytes_of("\x2a\0\0\0", 4)}},
        {"short dword", {REG_DWORD, "\x01\x02"}},
        {"big endian", {REG_DWORD_BIG_ENDIAN, bytes_of("\0\0\0\x2a", 4)}},
        {"binary", {REG_BINARY, long_binary}},
        {"nothing", {REG_NONE, ""}},
        {"odd type", {0x12345, "\xff"}},
        {"quote\"and\\slash", {REG_BINARY, "\x01\x02"}},
    };
    {
        auto machine = Machine::create(Platform::nt4, {}, folder);
        for (const auto& [name, value] : values) machine->registry().set_value(key_path, name, value.type, value.bytes);
        machine->registry().create_key("HKEY_CURRENT_USER\\Software\\Empty Key");
        NullDacl everyone;
        RegCloseKey(create_key(HKEY_LOCAL_MACHINE, "SOFTWARE\\Orvana\\Shared", nullptr, &everyone.attributes));
        machine->save();
    }
    std::string first = file_text();
    auto machine = Machine::open(folder);
    for (const auto& [name, value] : values) EXPECT_EQ(machine->registry().value(key_path, name), value) << name;
    EXPECT_EQ(machine->registry().values(key_path).size(), values.size());
    EXPECT_EQ(machine->registry().values(key_path)[1], "path") << "values keep their order";
    EXPECT_TRUE(machine->registry().key_exists("HKEY_CURRENT_USER\\Software\\Empty Key"));
    EXPECT_EQ(machine->registry().security_descriptor("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana\\Shared"), (KeySecurity{true, true}));
    machine->save();
    EXPECT_EQ(file_text(), first);
}

// A line break in a name would end the line that holds it: such names come back whole,
// and every line of the file still reads as REGEDIT4.
TEST_F(SavedRegistry, NamesWithLineBreaksComeBackWhole) {
    const std::string parent = "HKEY_LOCAL_MACHINE\\SOFTWARE\\Two\nLines";
    const std::string child = parent + "\\and\r\nmore";
    {
        auto machine = Machine::create(Platform::nt4, {}, folder);
        machine->registry().set_string(child, "first\nsecond", "text\n");
        machine->registry().set_string(child, "plain", "kept");
        machine->registry().set_dword(parent, "\n", 7);
        machine->save();
    }
    const std::string first = file_text();
    std::istringstream lines(first);
    for (std::string line; std::getline(lines, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        EXPECT_TRUE(line.empty() || line == "REGEDIT4" || line.front() == '[' || line.front() == ';' ||
                    line.front() == '"' || line.front() == '@' || line.front() == ' ')
            << "a name's break ended a line early: " << line;
    }
    auto machine = Machine::open(folder);
    EXPECT_EQ(machine->registry().subkeys(parent), std::vector<std::string>{"and\r\nmore"});
    EXPECT_EQ(machine->registry().values(child), (std::vector<std::string>{"first\nsecond", "plain"}));
    EXPECT_EQ(machine->registry().value(child, "first\nsecond"), (RegistryValue{REG_SZ, bytes_of("text\n", 6)}));
    EXPECT_EQ(machine->registry().value(child, "plain"), (RegistryValue{REG_SZ, bytes_of("kept", 5)}));
    EXPECT_EQ(machine->registry().value(parent, "\n"), (RegistryValue{REG_DWORD, bytes_of("\x07\0\0\0", 4)}));
    EXPECT_FALSE(machine->registry().key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Two Lines")) << "the line's spelling is not a key";
    machine->save();
    EXPECT_EQ(file_text(), first);
}

TEST_F(SavedRegistry, TheFileIsRegeditText) {
    {
        auto machine = Machine::create(Platform::win98, {}, folder);
        auto& registry = machine->registry();
        registry.set_string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "", "default");
        registry.set_string("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "Dir", "C:\\Orvana \"PS\"");
        registry.set_dword("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "n", 42);
        registry.set_value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "b", REG_BINARY, "\x01\x02");
        registry.set_value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "m", REG_MULTI_SZ, bytes_of("a\0\0", 3));
        registry.set_value("HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana", "long", REG_BINARY, std::string(40, '\xab'));
        machine->save();
    }
    std::string text = file_text();
    EXPECT_TRUE(text.starts_with("REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE]\r\n\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE]\r\n\r\n"));
    std::string long_line = "\"long\"=hex:";
    for (int i = 0; i < 22; ++i) long_line += "ab,";
    // 22 bytes fill the first line, with its name, to 78 columns.
    long_line += "\\\r\n  ab";
    for (int i = 1; i < 18; ++i) long_line += ",ab";
    EXPECT_NE(text.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Orvana]\r\n"
                        "@=\"default\"\r\n"
                        "\"Dir\"=\"C:\\\\Orvana \\\"PS\\\"\"\r\n"
                        "\"n\"=dword:0000002a\r\n"
                        "\"b\"=hex:01,02\r\n"
                        "\"m\"=hex(7):61,00,00\r\n" +
                        long_line + "\r\n\r\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("[HKEY_USERS\\.DEFAULT\\Software]\r\n\r\n"), std::string::npos) << "empty keys are written";
    // Only a key's path may run past regedit's width: hex data is broken into lines.
    for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
        if (text[start] != '[') {
            EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
        }
}

TEST_F(SavedRegistry, AFileThatIsNotRegeditTextIsRefused) {
    Machine::create(Platform::nt4, {}, folder)->save();
    std::string text = file_text();
    std::ofstream(folder / "registry.reg", std::ios::binary) << text << "[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n\"v\"=hex:1,2\r\n";
    try {
        Machine::open(folder);
        ADD_FAILURE() << "a broken registry file was read";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("line "), std::string::npos) << error.what();
    }
    std::ofstream(folder / "registry.reg", std::ios::binary) << "Windows Registry Editor Version 5.00\r\n";
    EXPECT_THROW(Machine::open(folder), std::runtime_error);
    std::ofstream(folder / "registry.reg", std::ios::binary)
        << text << "; winsim-value-name: 61,0a,62\r\n[HKEY_LOCAL_MACHINE\\SOFTWARE\\X]\r\n";
    EXPECT_THROW(Machine::open(folder), std::runtime_error) << "a value's whole name given to a key";
}

TEST_F(SavedRegistry, AMachineSavedWithoutARegistryGetsANewOne) {
    Machine::create(Platform::nt4, {}, folder)->save();
    std::filesystem::remove(folder / "registry.reg");
    auto machine = Machine::open(folder);
    EXPECT_TRUE(machine->registry().key_exists("HKEY_LOCAL_MACHINE\\SYSTEM\\CurrentControlSet\\Control\\Print\\Printers"));
}

// ---- the control API ------------------------------------------------------------------

TEST_F(Registry, TheControlApiIsNeitherCountedNorChecked) {
    machine->faults().fail_always("*", ERROR_ACCESS_DENIED);
    auto& registry = machine->registry();
    registry.set_string("HKEY_CLASSES_ROOT\\.orv", "", "doc");
    EXPECT_TRUE(registry.key_exists("HKEY_LOCAL_MACHINE\\SOFTWARE\\Classes\\.orv"));
    EXPECT_TRUE(registry.delete_value("HKEY_CLASSES_ROOT\\.orv", ""));
    EXPECT_FALSE(registry.delete_value("HKEY_CLASSES_ROOT\\.orv", ""));
    EXPECT_TRUE(registry.delete_key("HKEY_CLASSES_ROOT\\.orv"));
    EXPECT_FALSE(registry.delete_key("HKEY_CLASSES_ROOT\\.orv"));
    EXPECT_EQ(machine->faults().total_calls(), 0u);
    EXPECT_THROW(registry.key_exists("HKEY_NOWHERE\\x"), std::invalid_argument);
    EXPECT_THROW(registry.subkeys("HKEY_LOCAL_MACHINE\\Missing"), std::invalid_argument);
    EXPECT_THROW(registry.delete_key("HKEY_LOCAL_MACHINE"), std::invalid_argument);
}

}  // namespace
