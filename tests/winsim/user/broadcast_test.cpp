#include <winsim/machine.h>

#include <gtest/gtest.h>

namespace {

using winsim::Platform;

struct Broadcasts : testing::TestWithParam<Platform> {};

INSTANTIATE_TEST_SUITE_P(All, Broadcasts,
                         testing::Values(Platform::win95, Platform::win98, Platform::nt351, Platform::nt4, Platform::win2000));

TEST_P(Broadcasts, ReachEveryWindowAndAreKeptForTheWatcher) {
    auto machine = winsim::Machine::create(GetParam());
    DWORD_PTR result = 0xDEADBEEF;
    EXPECT_NE(SendMessageTimeoutA(HWND_BROADCAST, WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("devices"), SMTO_BLOCK, 1000, &result), 0);
    EXPECT_EQ(result, 1u);  // Windows lane: Wine answers 1 on every pose
    // All bits set is taken as a broadcast too (Wine's user32 does the same).
    EXPECT_NE(SendMessageTimeoutA(HWND_TOPMOST, WM_WININICHANGE, 0, 0, SMTO_NORMAL, 1000, nullptr), 0);

    const std::vector<winsim::Broadcast>& seen = machine->desktop().broadcasts();
    ASSERT_EQ(seen.size(), 2u);
    EXPECT_EQ(seen[0].message, static_cast<UINT>(WM_WININICHANGE));
    EXPECT_EQ(seen[0].section, "devices");
    EXPECT_EQ(seen[0].flags, static_cast<UINT>(SMTO_BLOCK));
    EXPECT_EQ(seen[0].timeout_ms, 1000u);
    EXPECT_EQ(seen[1].section, std::nullopt) << "a null lParam names no section";
}

TEST_P(Broadcasts, AWindowThatDoesNotExistGetsNothing) {
    auto machine = winsim::Machine::create(GetParam());
    DWORD_PTR result = 0xDEADBEEF;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(SendMessageTimeoutA(reinterpret_cast<HWND>(0x1234), WM_WININICHANGE, 0, reinterpret_cast<LPARAM>("devices"),
                                  SMTO_BLOCK, 1000, &result),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_WINDOW_HANDLE));
    EXPECT_EQ(result, 0u) << "cleared before the window is looked for (Windows lane: Wine)";
    EXPECT_TRUE(machine->desktop().broadcasts().empty());
}

}  // namespace
