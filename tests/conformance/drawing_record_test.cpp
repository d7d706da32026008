// The lane's record of what the library draws, on winsim, where the linker sends the
// calls through it: what it writes of a call, that it leaves the call's own answer and
// last error to the caller, and that it stops seeing calls once stopped.
#include "drawing_record.h"

#include <winsim/machine.h>

#include <gtest/gtest.h>

#include <cctype>
#include <cstdio>
#include <memory>
#include <string>

namespace {

// The lines the record writes under the step "step".
std::string lines_of(const conformance::DrawingRecord& record) {
    std::FILE* out = std::tmpfile();
    conformance::Session session("Record", conformance::Exports{}, out);
    record.report(session, "step");
    std::string text;
    std::rewind(out);
    for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
    std::fclose(out);
    return text;
}

class DrawingRecordTest : public testing::Test {
protected:
    void SetUp() override { machine_->make_current(); }
    std::unique_ptr<winsim::Machine> machine_ = winsim::Machine::create(winsim::Platform::win2000);
};

TEST_F(DrawingRecordTest, WritesEveryKindOfLineWhenNothingWasCalled) {
    conformance::DrawingRecord record;
    record.stop();
    const std::string text = lines_of(record);
    for (const char* kind : {"document", "device", "fonts", "logo", "texts", "boxes"})
        EXPECT_NE(text.find(std::string("Record\tstep: ") + kind + "\tcalls=none\n"), std::string::npos) << kind << "\n" << text;
    // Setting the caller's cursor is the record's own doing, not the library's.
    EXPECT_NE(text.find("Record\tstep: cursor\tcalls=none\n"), std::string::npos) << text;
}

// A failed call is written with the code it set, and the caller reads that same code.
TEST_F(DrawingRecordTest, WritesAFailureWithItsCodeAndLeavesTheCodeToTheCaller) {
    conformance::DrawingRecord record;
    SetLastError(0xDEADBEEF);
    EXPECT_EQ(StartPage(nullptr), SP_ERROR);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_HANDLE));  // winsim's documents.cpp
    record.stop();
    EXPECT_NE(lines_of(record).find("step: document\tStartPage=failed error=6\n"), std::string::npos) << lines_of(record);
}

TEST_F(DrawingRecordTest, AnswersBoxesInTurnThenWithOkAndShowsNone) {
    conformance::DrawingRecord record({IDNO, IDYES});
    EXPECT_EQ(MessageBoxA(nullptr, "First?", "Caption", MB_YESNO), IDNO);
    EXPECT_EQ(MessageBoxA(nullptr, "Second?", "Caption", MB_YESNO), IDYES);
    EXPECT_EQ(MessageBoxA(nullptr, "Third.", "Caption", MB_OK), IDOK);
    record.stop();
    EXPECT_TRUE(machine_->desktop().message_boxes().empty());
    EXPECT_NE(lines_of(record).find("step: boxes\tcaption=\"Caption\" text=\"First?\" type=0x00000004 answer=7 "
                                    "caption=\"Caption\" text=\"Second?\" type=0x00000004 answer=6 "
                                    "caption=\"Caption\" text=\"Third.\" type=0x00000000 answer=1\n"),
              std::string::npos)
        << lines_of(record);
}

TEST_F(DrawingRecordTest, SeesNoCallOnceStopped) {
    conformance::DrawingRecord record;
    record.stop();
    EXPECT_EQ(StartPage(nullptr), SP_ERROR);
    machine_->desktop().answer_next(IDOK);
    EXPECT_EQ(MessageBoxA(nullptr, "Shown.", "Caption", MB_OK), IDOK);
    EXPECT_EQ(machine_->desktop().message_boxes().size(), 1U);
    const std::string text = lines_of(record);
    EXPECT_NE(text.find("step: document\tcalls=none\n"), std::string::npos) << text;
    EXPECT_NE(text.find("step: boxes\tcalls=none\n"), std::string::npos) << text;
}

// The face a text was drawn with follows the fonts selected into its context, and the
// device's own font once the previous one is selected back; paths in the driver
// directory are written with the directory named, whatever its case.
TEST_F(DrawingRecordTest, WritesEachTextWithItsFaceAndTheDriverDirectoryNamed) {
    HDC screen = GetDC(nullptr);
    ASSERT_NE(screen, nullptr);
    char directory[MAX_PATH] = "";
    DWORD needed = 0;
    ASSERT_TRUE(GetPrinterDriverDirectoryA(nullptr, nullptr, 1, reinterpret_cast<LPBYTE>(directory), sizeof directory, &needed));
    std::string lower = directory;
    for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));

    conformance::DrawingRecord record;
    LOGFONTA wanted{};
    wanted.lfWeight = FW_BOLD;
    std::snprintf(wanted.lfFaceName, sizeof wanted.lfFaceName, "Times New Roman");
    HFONT font = CreateFontIndirectA(&wanted);
    HGDIOBJ previous = SelectObject(screen, font);
    RECT box{0, 0, 400, 400};
    DrawTextA(screen, "In Times", -1, &box, DT_WORDBREAK);
    SelectObject(screen, previous);
    DrawTextA(screen, (lower + "\\3\\ORVDRV.DLL").c_str(), -1, &box, DT_WORDBREAK);
    DeleteObject(font);
    record.stop();
    ReleaseDC(nullptr, screen);

    const std::string text = lines_of(record);
    EXPECT_NE(text.find("step: fonts\tface=\"Times New Roman\" weight=700 charset=0 quality=0 selected=1 deleted=1\n"),
              std::string::npos)
        << text;
    EXPECT_NE(text.find("step: texts\tface=\"Times New Roman\" flags=0x00000010 text=\"In Times\" "
                        "face=device flags=0x00000010 text=\"<driver directory>\\\\3\\\\ORVDRV.DLL\"\n"),
              std::string::npos)
        << text;
}

}  // namespace
