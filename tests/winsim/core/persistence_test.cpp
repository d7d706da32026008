#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace {

using winsim::Machine;
using winsim::Platform;

class Persistence : public testing::Test {
protected:
    void SetUp() override {
        folder = std::filesystem::temp_directory_path() /
                 ("winsim-persist-" + std::string(testing::UnitTest::GetInstance()->current_test_info()->name()));
        std::filesystem::remove_all(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(Persistence, AliasesHoldsTheCurrentDirectoryAndTheCdSurvive) {
    std::string alias;
    {
        auto machine = Machine::create(Platform::nt4, {}, folder);
        machine->files().write_file("C:\\Program Files\\Orvana Printer\\One.dll", "1");
        machine->files().write_file("C:\\Program Files\\Orvana Printing\\Two.dll", "2");
        alias = machine->files().node("C:\\Program Files\\Orvana Printing")->short_name;
        ASSERT_EQ(alias, "ORVANA~2");
        // An alias that creation order alone would not give back.
        machine->files().node("C:\\Program Files\\Orvana Printer")->short_name = "ORVANA~3";
        machine->files().add_drive('D', true);
        machine->files().write_file("D:\\SETUP\\ORVSETUP.EXE", "MZ");
        machine->files().set_current_directory("D:\\SETUP");
        machine->files().hold("C:\\Program Files\\Orvana Printer\\One.dll", FILE_SHARE_READ, GENERIC_READ, "setup");
        machine->save();
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(folder / "drive_d" / "SETUP" / "ORVSETUP.EXE"));
    auto machine = Machine::open(folder);
    EXPECT_EQ(machine->files().node("C:\\Program Files\\Orvana Printing")->short_name, alias);
    EXPECT_EQ(machine->files().node("C:\\Program Files\\Orvana Printer")->short_name, "ORVANA~3");
    EXPECT_TRUE(machine->files().exists("C:\\PROGRA~1\\ORVANA~3\\One.dll"));
    EXPECT_TRUE(machine->files().is_read_only('D'));
    EXPECT_EQ(machine->files().read_file("D:\\SETUP\\ORVSETUP.EXE"), "MZ");
    char current[MAX_PATH];
    GetCurrentDirectoryA(sizeof current, current);
    EXPECT_STREQ(current, "D:\\SETUP");
    ASSERT_EQ(machine->files().holds().size(), 1u);
    EXPECT_EQ(machine->files().holds()[0].holder, "setup");
    SetLastError(0);
    EXPECT_EQ(CreateFileA("C:\\Program Files\\Orvana Printer\\One.dll", GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                          OPEN_EXISTING, 0, nullptr),
              INVALID_HANDLE_VALUE)
        << "a tool's hold lasts across runs";
    EXPECT_EQ(GetLastError(), DWORD(ERROR_SHARING_VIOLATION));
}

TEST_F(Persistence, DeferredOperationsWaitInTheSavedMachineForItsRestart) {
    {
        auto machine = Machine::create(Platform::win2000, {}, folder);
        machine->files().write_file("C:\\WINNT\\system32\\ORV1.TMP", "new");
        ASSERT_TRUE(MoveFileExA("C:\\WINNT\\system32\\ORV1.TMP", "C:\\WINNT\\system32\\ORVUI.DLL",
                                MOVEFILE_DELAY_UNTIL_REBOOT | MOVEFILE_REPLACE_EXISTING));
        machine->save();
    }
    auto machine = Machine::open(folder);
    machine->reboot();
    EXPECT_EQ(machine->files().read_file("C:\\WINNT\\system32\\ORVUI.DLL"), "new");
}

}  // namespace
