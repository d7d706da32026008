#include "gdi/text_layout.h"

namespace winsim::detail {

namespace {

// "&x" shows x (underlined), "&&" shows one "&"; a last lone "&" shows nothing.
std::string without_prefixes(std::string_view text) {
    std::string shown;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '&') {
            shown += text[i];
        } else if (i + 1 < text.size()) {
            shown += text[++i];
        }
    }
    return shown;
}

// The paragraphs between line breaks: "\r\n", "\n" and "\r" each end one. A break at
// the very end opens no further line.
std::vector<std::string_view> paragraphs(std::string_view text) {
    std::vector<std::string_view> found;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find_first_of("\r\n", start);
        if (end == std::string_view::npos) {
            found.push_back(text.substr(start));
            return found;
        }
        found.push_back(text.substr(start, end - start));
        start = end + (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n' ? 2 : 1);
    }
    if (found.empty()) found.emplace_back();
    return found;
}

// Breaks one paragraph at spaces: a line takes words while the next one still ends
// inside the width; a word wider than the whole width stands alone on its line, whole
// (it is not broken inside, unlike an edit control's text). The spaces at a break
// belong to neither line.
void break_words(std::string_view paragraph, LONG width, const MeasureRun& measure, std::vector<TextLine>& lines) {
    std::size_t start = 0;
    do {
        std::size_t end = start;  // the end of the last word that fits
        std::size_t scan = start;
        while (scan < paragraph.size()) {
            std::size_t word_end = paragraph.find(' ', paragraph.find_first_not_of(' ', scan));
            if (word_end == std::string_view::npos) word_end = paragraph.size();
            const bool first_word = end == start;
            if (!first_word && measure(paragraph.substr(start, word_end - start)) > width) break;
            end = word_end;
            scan = word_end;
            if (first_word && measure(paragraph.substr(start, end - start)) > width) break;
        }
        std::string_view line = paragraph.substr(start, end - start);
        lines.push_back(TextLine{std::string(line), measure(line)});
        start = paragraph.find_first_not_of(' ', end);
    } while (start != std::string_view::npos && start < paragraph.size());
}

}  // namespace

std::vector<TextLine> lay_out_text(std::string_view text, UINT flags, LONG width, const MeasureRun& measure) {
    const std::string shown = flags & DT_NOPREFIX ? std::string(text) : without_prefixes(text);
    std::vector<TextLine> lines;
    if (flags & DT_SINGLELINE) {
        lines.push_back(TextLine{shown, measure(shown)});
        return lines;
    }
    for (std::string_view paragraph : paragraphs(shown)) {
        if (flags & DT_WORDBREAK && !paragraph.empty()) break_words(paragraph, width, measure, lines);
        else lines.push_back(TextLine{std::string(paragraph), measure(paragraph)});
    }
    return lines;
}

}  // namespace winsim::detail
