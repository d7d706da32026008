#include <winsim/machine.h>

#include "core/api.h"

#include <gtest/gtest.h>

namespace {

using winsim::FaultMode;
using winsim::Machine;
using winsim::Platform;

TEST(Faults, TheNthCallFailsWithTheGivenCodeAndOnlyThatOne) {
    auto machine = Machine::create(Platform::win2000);
    machine->faults().fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY, 2);
    void* first = LocalAlloc(LPTR, 8);
    SetLastError(0);
    void* second = LocalAlloc(LPTR, 8);
    DWORD code = GetLastError();
    void* third = LocalAlloc(LPTR, 8);
    EXPECT_NE(first, nullptr);
    EXPECT_EQ(second, nullptr);
    EXPECT_EQ(code, static_cast<DWORD>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_NE(third, nullptr);
    EXPECT_EQ(machine->live_local_blocks(), 2u);
    ASSERT_EQ(machine->faults().injections().size(), 1u);
    EXPECT_EQ(machine->faults().injections()[0].api, "LocalAlloc");
    EXPECT_EQ(machine->faults().injections()[0].call_number, 2u);
    LocalFree(first);
    LocalFree(third);
}

TEST(Faults, FromThenOnEveryLaterCallFails) {
    auto machine = Machine::create(Platform::win2000);
    machine->faults().fail("HeapAlloc", ERROR_OUTOFMEMORY, 2, FaultMode::from_then_on);
    void* first = HeapAlloc(GetProcessHeap(), 0, 1);
    EXPECT_NE(first, nullptr);
    for (int i = 0; i < 3; ++i) EXPECT_EQ(HeapAlloc(GetProcessHeap(), 0, 1), nullptr);
    machine->faults().clear();
    void* after = HeapAlloc(GetProcessHeap(), 0, 1);
    EXPECT_NE(after, nullptr);
    HeapFree(GetProcessHeap(), 0, first);
    HeapFree(GetProcessHeap(), 0, after);
}

TEST(Faults, CountingStartsWhenTheRuleIsMade) {
    auto machine = Machine::create(Platform::nt4);
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    GetVersionExA(&version);
    GetVersionExA(&version);
    machine->faults().fail_always("GetVersionExA", ERROR_ACCESS_DENIED);
    SetLastError(0);
    EXPECT_FALSE(GetVersionExA(&version));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
    EXPECT_EQ(machine->faults().calls("GetVersionExA"), 3u);
}

TEST(Faults, TheWildcardCountsEveryApiInTurn) {
    auto machine = Machine::create(Platform::nt4);
    machine->faults().fail(winsim::Faults::any_api, ERROR_ACCESS_DENIED, 3);
    void* block = LocalAlloc(LPTR, 1);                   // 1
    OSVERSIONINFOA version{};
    version.dwOSVersionInfoSize = sizeof version;
    EXPECT_TRUE(GetVersionExA(&version));                // 2
    EXPECT_EQ(LocalFree(block), block);                  // 3: injected, the block stays
    EXPECT_EQ(LocalFree(block), nullptr);                // 4
    ASSERT_EQ(machine->faults().injections().size(), 1u);
    EXPECT_EQ(machine->faults().injections()[0].api, "LocalFree");
}

TEST(Faults, CallsWinsimMakesToItselfAreNeitherCountedNorFailed) {
    auto machine = Machine::create(Platform::nt4);
    machine->faults().fail_always("GetTickCount", ERROR_ACCESS_DENIED);
    {
        winsim::detail::ApiCall outer("CopyFileA");
        winsim::detail::ApiCall inner("GetTickCount");
        EXPECT_EQ(inner.injected(), 0u);
        {
            // A module's own code, run from inside winsim, is an outside caller again.
            winsim::detail::ForeignCode foreign;
            winsim::detail::ApiCall from_module("GetTickCount");
            EXPECT_EQ(from_module.injected(), static_cast<DWORD>(ERROR_ACCESS_DENIED));
        }
    }
    EXPECT_EQ(machine->faults().calls("CopyFileA"), 1u);
    EXPECT_EQ(machine->faults().calls("GetTickCount"), 1u);
}

TEST(Faults, EveryInjectionIsReportedToTheHook) {
    auto machine = Machine::create(Platform::win98);
    std::vector<std::string> seen;
    machine->faults().on_inject = [&](const winsim::Injection& injection) { seen.push_back(injection.api); };
    machine->faults().fail("LocalAlloc", ERROR_NOT_ENOUGH_MEMORY);
    EXPECT_EQ(LocalAlloc(LPTR, 1), nullptr);
    EXPECT_EQ(seen, std::vector<std::string>{"LocalAlloc"});
}

}  // namespace
