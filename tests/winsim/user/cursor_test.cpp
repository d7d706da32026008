#include <winsim/machine.h>

#include <gtest/gtest.h>

namespace {

TEST(Cursors, SystemCursorsAreSharedAndSetCursorAnswersThePreviousOne) {
    auto machine = winsim::Machine::create(winsim::Platform::win98);
    HCURSOR arrow = LoadCursorA(nullptr, IDC_ARROW);
    HCURSOR wait = LoadCursorA(nullptr, IDC_WAIT);
    ASSERT_NE(arrow, nullptr);
    ASSERT_NE(wait, nullptr);
    EXPECT_NE(arrow, wait);
    EXPECT_EQ(LoadCursorA(nullptr, IDC_WAIT), wait) << "one shared cursor for each ID";
    const std::size_t handles = machine->open_handles();
    EXPECT_EQ(machine->desktop().cursor(), arrow) << "a new machine shows the arrow";

    EXPECT_EQ(SetCursor(wait), arrow);
    EXPECT_EQ(machine->desktop().cursor(), wait);
    EXPECT_EQ(SetCursor(arrow), wait);
    EXPECT_EQ(machine->desktop().cursors_set(), (std::vector<HCURSOR>{wait, arrow}));
    EXPECT_EQ(machine->open_handles(), handles) << "shared cursors are no handles of the process";

    SetLastError(0xDEADBEEF);
    EXPECT_EQ(LoadCursorA(nullptr, MAKEINTRESOURCEA(1)), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND)) << "unconfirmed";
}

}  // namespace
