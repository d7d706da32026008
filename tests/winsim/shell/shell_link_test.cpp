#include "lnkinfo.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <string>

namespace {

using winsim::Platform;

constexpr CLSID shell_link_class = {0x00021401, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID shell_link_interface = {0x000214EE, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID persist_file_interface = {0x0000010B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
constexpr IID storage_interface = {0x0000000B, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

std::u16string wide(const std::string& text) { return std::u16string(text.begin(), text.end()); }

class ShellLinkObject : public testing::TestWithParam<Platform> {
protected:
    void SetUp() override {
        machine = winsim::Machine::create(GetParam());
        machine->files().write_file("C:\\ORVANA\\orvdaemon.exe", std::string(1234, 'x'));
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
    }
    void TearDown() override {
        CoUninitialize();
        EXPECT_EQ(machine->shell().live_com_objects(), 0);
    }
    // Makes a link with those texts and saves it at `path`; the save's result.
    HRESULT save(const std::string& target, const std::string& path, const char* arguments = nullptr) {
        IShellLinkA* link = nullptr;
        EXPECT_EQ(CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, shell_link_interface,
                                   reinterpret_cast<void**>(&link)),
                  S_OK);
        if (!link) return E_POINTER;
        // A target that is not there is kept, and said so.
        EXPECT_EQ(link->SetPath(target.c_str()), machine->files().exists(target) ? S_OK : S_FALSE);
        EXPECT_EQ(link->SetDescription("Orvana Daemon"), S_OK);
        EXPECT_EQ(link->SetWorkingDirectory("C:\\ORVANA"), S_OK);
        if (arguments) {
            EXPECT_EQ(link->SetArguments(arguments), S_OK);
        }
        IPersistFile* file = nullptr;
        EXPECT_EQ(link->QueryInterface(persist_file_interface, reinterpret_cast<void**>(&file)), S_OK);
        const std::u16string name = wide(path);
        const HRESULT result = file ? file->Save(reinterpret_cast<LPCOLESTR>(name.c_str()), TRUE) : E_POINTER;
        if (file) file->Release();
        link->Release();
        return result;
    }
    std::unique_ptr<winsim::Machine> machine;
};

INSTANTIATE_TEST_SUITE_P(Platforms, ShellLinkObject, testing::Values(Platform::win95, Platform::nt4, Platform::win2000));

TEST_P(ShellLinkObject, SavesALinkThatAnotherParserReadsBack) {
    const std::string path = machine->shell().startup_folders().front() + "\\Orvana Daemon.lnk";
    ASSERT_EQ(save("C:\\ORVANA\\orvdaemon.exe", path, "/quiet"), S_OK);
    std::optional<std::string> bytes = machine->files().read_file(path);
    ASSERT_TRUE(bytes);
    std::map<std::string, std::string> fields = testing_support::lnkinfo_fields(*bytes);
    ASSERT_FALSE(fields.empty()) << "lnkinfo (liblnk-utils) read nothing";
    EXPECT_EQ(fields["Local path"], "C:\\ORVANA\\orvdaemon.exe");
    EXPECT_EQ(fields["Description"], "Orvana Daemon");
    EXPECT_EQ(fields["Working directory"], "C:\\ORVANA");
    EXPECT_EQ(fields["Command line arguments"], "/quiet");
    EXPECT_EQ(fields["File size"], "1234 bytes");

    // Saved again over itself, to a missing target: one file, the new target.
    ASSERT_EQ(save("C:\\ORVANA\\gone.exe", path), S_OK);
    std::optional<winsim::ShellLinkContents> link = winsim::read_shell_link(*machine->files().read_file(path));
    ASSERT_TRUE(link);
    EXPECT_EQ(link->target, "C:\\ORVANA\\gone.exe");
    EXPECT_EQ(link->arguments, "");
    ASSERT_EQ(machine->shell().startup_links().size(), 1u);
    EXPECT_EQ(machine->shell().startup_links()[0].contents->description, "Orvana Daemon");
}

TEST_P(ShellLinkObject, SavingWhereNoFolderIsFailsAsCreateFileDoes) {
    EXPECT_EQ(save("C:\\ORVANA\\orvdaemon.exe", "C:\\NOWHERE\\Startup\\a.lnk"), HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND));
    EXPECT_EQ(static_cast<DWORD>(HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)), 0x80070003u);
    EXPECT_FALSE(machine->files().exists("C:\\NOWHERE"));
    // A file held without sharing cannot be written over.
    machine->files().write_file("C:\\held.lnk", "old");
    machine->files().hold("C:\\held.lnk", 0);
    EXPECT_EQ(save("C:\\ORVANA\\orvdaemon.exe", "C:\\held.lnk"), HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(machine->files().read_file("C:\\held.lnk"), "old");
}

TEST_P(ShellLinkObject, AnswersCreationAndInterfacesAsCom) {
    void* object = reinterpret_cast<void*>(0x1);
    const CLSID other_class = {0x12345678, 0, 0, {0, 0, 0, 0, 0, 0, 0, 1}};
    EXPECT_EQ(CoCreateInstance(other_class, nullptr, CLSCTX_INPROC_SERVER, shell_link_interface, &object), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(object, nullptr);
    IUnknown* outer = nullptr;
    EXPECT_EQ(CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, storage_interface, &object), E_NOINTERFACE);
    ASSERT_EQ(CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, persist_file_interface,
                               reinterpret_cast<void**>(&outer)),
              S_OK);
    EXPECT_EQ(CoCreateInstance(shell_link_class, outer, CLSCTX_INPROC_SERVER, shell_link_interface, &object),
              CLASS_E_NOAGGREGATION);
    EXPECT_EQ(machine->shell().live_com_objects(), 1);
    EXPECT_EQ(outer->Release(), 0u);
    // Initialised twice, COM answers S_FALSE and wants two uninitialisations.
    EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
    CoUninitialize();
    CoUninitialize();
    EXPECT_EQ(CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, shell_link_interface, &object),
              CO_E_NOTINITIALIZED);
    ASSERT_EQ(CoInitialize(nullptr), S_OK);
}

TEST(ShellLinkFormat, NtWritesUnicodeStringsAnd9xAnsiOnes) {
    for (Platform platform : {Platform::win98, Platform::nt4}) {
        auto machine = winsim::Machine::create(platform);
        ASSERT_EQ(CoInitialize(nullptr), S_OK);
        IShellLinkA* link = nullptr;
        ASSERT_EQ(CoCreateInstance(shell_link_class, nullptr, CLSCTX_INPROC_SERVER, shell_link_interface,
                                   reinterpret_cast<void**>(&link)),
                  S_OK);
        link->SetPath("C:\\Caf\xe9\\x.exe");
        link->SetDescription("Caf\xe9");
        IPersistFile* file = nullptr;
        ASSERT_EQ(link->QueryInterface(persist_file_interface, reinterpret_cast<void**>(&file)), S_OK);
        ASSERT_EQ(file->Save(u"C:\\x.lnk", TRUE), S_OK);
        file->Release();
        link->Release();
        CoUninitialize();
        const std::string bytes = *machine->files().read_file("C:\\x.lnk");
        const bool unicode = static_cast<unsigned char>(bytes[20]) & 0x80;
        EXPECT_EQ(unicode, platform == Platform::nt4);
        EXPECT_EQ(winsim::read_shell_link(bytes)->description, "Caf\xe9");
        EXPECT_EQ(winsim::read_shell_link(bytes)->target, "C:\\Caf\xe9\\x.exe");
        // Whatever is cut off is no link.
        for (std::size_t length : {std::size_t{0}, std::size_t{40}, bytes.size() - 6})
            EXPECT_FALSE(winsim::read_shell_link(bytes.substr(0, length))) << length;
    }
}

}  // namespace
