#include "run_report.h"

#include "result_words.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>

namespace orvsetup {

namespace {

std::string escaped(const std::string& text) {
    std::string html;
    for (char c : text) {
        switch (c) {
        case '&': html += "&amp;"; break;
        case '<': html += "&lt;"; break;
        case '>': html += "&gt;"; break;
        case '"': html += "&quot;"; break;
        default: html += c;
        }
    }
    return html;
}

std::string base64(const std::string& bytes) {
    static const char digits[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        unsigned group = static_cast<unsigned char>(bytes[i]) << 16;
        if (i + 1 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 1]) << 8;
        if (i + 2 < bytes.size()) group |= static_cast<unsigned char>(bytes[i + 2]);
        text += digits[(group >> 18) & 63];
        text += digits[(group >> 12) & 63];
        text += i + 1 < bytes.size() ? digits[(group >> 6) & 63] : '=';
        text += i + 2 < bytes.size() ? digits[group & 63] : '=';
    }
    return text;
}

// The picture taken into the page, so that the page shows it wherever it is opened.
std::string picture(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return "<p class=\"missing\">test page " + escaped(path) + " cannot be read</p>";
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return "<img class=\"test-page\" alt=\"test page\" src=\"data:image/png;base64," + base64(bytes) + "\">";
}

const char* outcome_class(const StepOutcome& cell) {
    switch (cell.state) {
    case StepState::not_for_platform: return "not-for";
    case StepState::not_run: return "not-run";
    case StepState::done: break;
    }
    return cell.accepted ? "accepted" : "refused";
}

std::string cell_html(const StepOutcome& cell) {
    std::string html = "<td class=\"" + std::string(outcome_class(cell)) + "\">";
    if (cell.state != StepState::done) return html + escaped(cell_text(cell)) + "</td>";
    html += "<span class=\"result\">" + escaped(result_in_words(cell.result)) + "</span>";
    if (!cell.error_text.empty() || !cell.seen.empty() || !cell.out.empty()) {
        html += "<details><summary>more</summary>";
        if (!cell.error_text.empty()) html += "<pre class=\"error-text\">" + escaped(cell.error_text) + "</pre>";
        for (const std::string& value : cell.out) html += "<div class=\"out\">out: " + escaped(value) + "</div>";
        for (const std::string& line : cell.seen) html += "<div class=\"seen\">seen: " + escaped(line) + "</div>";
        html += "</details>";
    }
    return html + "</td>";
}

const char page_style[] = R"(
body { font-family: sans-serif; margin: 1.5em; color: #222; }
table { border-collapse: collapse; }
th, td { border: 1px solid #bbb; padding: 0.3em 0.6em; vertical-align: top; text-align: left; }
td.accepted { background: #d8f0d8; }
td.refused { background: #f6cccc; }
td.not-for { background: #eee; color: #888; }
td.not-run { background: #f6e7c0; }
tr.part th { background: #dde; }
pre.error-text { white-space: pre-wrap; max-width: 36em; }
.seen, .out { font-size: 0.85em; color: #444; }
img.test-page { max-width: 24em; border: 1px solid #888; }
)";

// Counts what the table shows once the page is open, so the heading tells the outcome
// at a glance.
const char page_script[] = R"(
const refused = document.querySelectorAll('td.refused').length;
const platforms = document.querySelectorAll('thead th.platform').length;
document.getElementById('summary').textContent = refused === 0
  ? 'Every step gave an accepted result on ' + platforms + ' platforms.'
  : refused + (refused === 1 ? ' result' : ' results') + ' not accepted on ' + platforms + ' platforms.';
// A picture that shows says so, for whoever checks the page.
for (const picture of document.querySelectorAll('img.test-page')) {
  const mark = () => { picture.dataset.width = picture.naturalWidth; };
  if (picture.complete) mark(); else picture.addEventListener('load', mark);
}
)";

}  // namespace

std::string report_page(const PlatformTable& table) {
    std::ostringstream page;
    std::string title = table.title.empty() ? table.script : table.title;
    page << "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>" << escaped(title) << "</title><style>"
         << page_style << "</style></head><body>\n";
    page << "<h1>" << escaped(title) << "</h1>\n<p>" << escaped(table.script) << "</p>\n<p id=\"summary\"></p>\n";
    page << "<table id=\"steps\"><thead><tr><th>step</th>";
    for (const std::string& platform : table.platforms) page << "<th class=\"platform\">" << escaped(platform) << "</th>";
    page << "</tr></thead><tbody>\n";
    std::string part;
    for (const TableRow& row : table.rows) {
        if (row.part != part)
            page << "<tr class=\"part\"><th colspan=\"" << table.platforms.size() + 1 << "\">" << escaped(row.part) << "</th></tr>\n";
        part = row.part;
        page << "<tr><th>" << escaped(row.title) << "</th>";
        for (const StepOutcome& cell : row.cells) page << cell_html(cell);
        page << "</tr>\n";
    }
    page << "<tr class=\"restart\"><th>restart required</th>";
    for (const MachineRun& run : table.runs) page << "<td>" << (run.install.restart_required ? "yes" : "no") << "</td>";
    page << "</tr>\n</tbody></table>\n";
    for (std::size_t i = 0; i < table.runs.size(); ++i) {
        const MachineRun& run = table.runs[i];
        page << "<section class=\"machine\" id=\"machine-" << escaped(table.platforms[i]) << "\"><h2>"
             << escaped(table.platforms[i]) << "</h2>\n";
        if (!run.install.problem.empty()) page << "<p class=\"problem\">" << escaped(run.install.problem) << "</p>\n";
        if (run.install.test_pages.empty()) page << "<p>No test page was printed.</p>\n";
        for (const std::string& test_page : run.install.test_pages) page << picture(test_page) << "\n";
        if (table.with_uninstall) {
            if (run.left_behind.empty()) page << "<p>The uninstall left nothing behind.</p>\n";
            else {
                page << "<p>Left behind after the uninstall:</p><ul class=\"left-behind\">";
                for (const std::string& entry : run.left_behind) page << "<li>" << escaped(entry) << "</li>";
                page << "</ul>\n";
            }
        }
        page << "</section>\n";
    }
    page << "<script>" << page_script << "</script>\n</body></html>\n";
    return page.str();
}

void write_report(const std::string& folder, const PlatformTable& table) {
    std::filesystem::create_directories(folder);
    const std::string json_path = folder + "/report.json";
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> json(std::fopen(json_path.c_str(), "w"), &std::fclose);
    if (!json) throw std::runtime_error("cannot write " + json_path);
    print_table_json(json.get(), table);
    std::ofstream html(folder + "/report.html", std::ios::binary);
    html << report_page(table);
    if (!html) throw std::runtime_error("cannot write " + folder + "/report.html");
}

}  // namespace orvsetup
