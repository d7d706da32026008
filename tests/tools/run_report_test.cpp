// The report of a run on every platform, opened in a real browser: the page must show
// the outcome, each result coloured, the error texts, and the test pages, from itself alone.
#include "support/temp_path.h"
#include "platform_table.h"
#include "run_program.h"
#include "run_report.h"

#include <gtest/gtest.h>


#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace {

bool has_chromium() { return testing_support::run_program("command -v chromium").status == 0; }

// The page as Chromium has it once its script ran.
std::string rendered(const std::filesystem::path& page) {
    return testing_support::run_program("timeout 120 chromium --headless --no-sandbox --disable-gpu --dump-dom file://" +
                                        page.string() + " 2>/dev/null")
        .output;
}

std::string contents(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t count(const std::string& text, const std::string& part) {
    std::size_t found = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++found;
    return found;
}

orvsetup::StepOutcome done(LONG result, bool accepted, std::string error_text = {}) {
    orvsetup::StepOutcome cell;
    cell.result = result;
    cell.accepted = accepted;
    cell.error_text = std::move(error_text);
    return cell;
}

class RunReport : public testing::Test {
protected:
    void SetUp() override {
        if (!has_chromium()) GTEST_SKIP() << "chromium is not installed (Debian's chromium; scripts/install-deps installs it)";
        // Tests may run side by side in processes of their own.
        folder = testing_support::temp_path("orvsetup-report");
        std::filesystem::remove_all(folder);
        std::filesystem::create_directories(folder);
    }
    void TearDown() override { std::filesystem::remove_all(folder); }
    std::filesystem::path folder;
};

TEST_F(RunReport, ThePageShowsEachOutcomeTheErrorTextsAndTheTestPages) {
    // A picture of two pixels stands for a printed test page.
    const char png[] = "\x89\x50\x4e\x47\x0d\x0a\x1a\x0a\x00\x00\x00\x0d\x49\x48\x44\x52\x00\x00\x00\x02\x00\x00\x00\x01\x08\x02"
                       "\x00\x00\x00\x7b\x40\xe8\xdd\x00\x00\x00\x0d\x49\x44\x41\x54\x78\x9c\x63\xf8\xcf\x00\x04\xff\x01\x07"
                       "\x00\x01\xff\xe2\x23\x9e\x59\x00\x00\x00\x00\x49\x45\x4e\x44\xae\x42\x60\x82";
    const std::filesystem::path picture = folder / "nt4-page.png";
    std::ofstream(picture, std::ios::binary).write(png, sizeof png - 1);

    orvsetup::PlatformTable table;
    table.script = "fax.toml";
    table.title = "Fax <setup>";
    table.platforms = {"win98", "nt4"};
    table.rows.push_back({"install", "InstallAllowed", "InstallAllowed", {done(0, true), done(0, true)}});
    orvsetup::StepOutcome skipped;
    skipped.state = orvsetup::StepState::not_for_platform;
    table.rows.push_back({"install", "insAddPrinter Fax", "insAddPrinter",
                          {skipped, done(1801, false, "Printer installer ERROR: <Fax> & more")}});
    orvsetup::MachineRun win98;
    win98.platform = "win98";
    orvsetup::MachineRun nt4;
    nt4.platform = "nt4";
    nt4.install.test_pages.push_back(picture.string());
    table.runs = {win98, nt4};

    orvsetup::write_report(folder.string(), table);
    const std::string json = contents(folder / "report.json");
    EXPECT_EQ(json.rfind("{\"script\": \"fax.toml\", \"title\": \"Fax <setup>\", \"platforms\": [\"win98\", \"nt4\"]", 0), 0u) << json;
    EXPECT_NE(json.find("\"nt4\": {\"result\": 1801, \"result_words\": \"1801 printer-name error\", \"accepted\": false"),
              std::string::npos)
        << json;

    const std::string html = contents(folder / "report.html");
    EXPECT_EQ(html.find("http"), std::string::npos) << "the page fetches nothing";
    const std::string page = rendered(folder / "report.html");
    EXPECT_NE(page.find("<p id=\"summary\">1 result not accepted on 2 platforms.</p>"), std::string::npos) << page;
    EXPECT_EQ(count(page, "<td class=\"accepted\">"), 2u);
    EXPECT_EQ(count(page, "<td class=\"refused\">"), 1u);
    EXPECT_EQ(count(page, "<td class=\"not-for\">"), 1u);
    EXPECT_NE(page.find("<h1>Fax &lt;setup&gt;</h1>"), std::string::npos);
    EXPECT_NE(page.find("<pre class=\"error-text\">Printer installer ERROR: &lt;Fax&gt; &amp; more</pre>"), std::string::npos);
    EXPECT_NE(page.find("data-width=\"2\""), std::string::npos) << "the test page shows, from the page itself";
    EXPECT_NE(page.find("<section class=\"machine\" id=\"machine-win98\"><h2>win98</h2>\n<p>No test page was printed.</p>"),
              std::string::npos);
}

TEST_F(RunReport, TheStandardSetupOnEveryPlatformIsAllAccepted) {
    const testing_support::ProgramOutput run = testing_support::run_program(
        std::string(ORVSETUP_PATH) + " run " + ORV_SOURCE_DIR + "/samples/setups/standard.toml --all-platforms --report " +
        folder.string());
    ASSERT_EQ(run.status, 0) << run.output;
    EXPECT_NE(run.output.find("report: " + folder.string() + "/report.html\n"), std::string::npos);
    const std::string page = rendered(folder / "report.html");
    EXPECT_NE(page.find("Every step gave an accepted result on 5 platforms."), std::string::npos) << page;
    EXPECT_EQ(count(page, "<td class=\"refused\">"), 0u);
}

}  // namespace
