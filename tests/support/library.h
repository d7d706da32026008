// A fresh machine with the library loaded on it, as a setup program would have it.
#pragma once

#include <winsim/machine.h>

#include "orvinstl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

namespace testing_support {

class LibraryTest : public testing::Test {
protected:
    // A machine with a folder keeps what it writes there (printed pages, for one).
    void start(winsim::Platform platform, winsim::MachineOptions options = {}, std::filesystem::path folder = {}) {
        machine = winsim::Machine::create(platform, options, std::move(folder));
        library = LoadLibraryA("OrvInstl.dll");
        ASSERT_NE(library, nullptr);
    }

    // Takes the error text as a setup program does: its length, then the text.
    std::string take_error_text() {
        LONG size = ErrorTextLen();
        if (size == 0) return {};
        std::string buffer(static_cast<std::size_t>(size) + 16, '#');
        EXPECT_EQ(RetrieveErrorText(buffer.data()), 1);
        EXPECT_EQ(buffer[static_cast<std::size_t>(size) - 1], '\0') << "the length counts the terminator";
        EXPECT_EQ(buffer[static_cast<std::size_t>(size)], '#') << "nothing written past the length";
        return buffer.substr(0, static_cast<std::size_t>(size) - 1);
    }

    std::unique_ptr<winsim::Machine> machine;
    HMODULE library = nullptr;
};

}  // namespace testing_support
