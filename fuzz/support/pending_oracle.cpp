#include "support/pending_oracle.h"

#include "support/fuzz_support.h"

namespace fuzz {

namespace {

std::string_view trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    return text;
}

std::string_view without_prefix(std::string_view name, std::string_view prefix) {
    return name.starts_with(prefix) ? name.substr(prefix.size()) : name;
}

// Windows' WININIT reads a line into a buffer of this size and passes over a longer one.
constexpr std::size_t wininit_line_limit = 256;

bool stands_for(const std::string& name, const CleanedFile& file) {
    if (name.empty()) return false;
    if (same_name(name, file.long_form)) return true;
    if (file.short_form.empty()) return false;
    return same_name(name, file.short_form) || same_name(short_form(name), file.short_form);
}

// What an entry acts on: the file it deletes, or the target it moves onto.
const std::string& acted_on(const PendingEntry& entry) { return entry.target.empty() ? entry.source : entry.target; }

}  // namespace

std::vector<PendingEntry> read_pending_pairs(std::string_view list) {
    std::vector<PendingEntry> entries;
    std::size_t at = 0;
    while (at < list.size() && list[at] != '\0') {
        std::size_t source_end = list.find('\0', at);
        if (source_end == std::string_view::npos) break;
        std::size_t target_end = list.find('\0', source_end + 1);
        if (target_end == std::string_view::npos) break;
        PendingEntry entry;
        entry.source = std::string(without_prefix(list.substr(at, source_end - at), "\\??\\"));
        std::string_view target = list.substr(source_end + 1, target_end - source_end - 1);
        entry.target = std::string(without_prefix(without_prefix(target, "!"), "\\??\\"));
        entry.begin = at;
        entry.end = target_end + 1;
        entries.push_back(entry);
        at = target_end + 1;
    }
    return entries;
}

bool is_rename_header(std::string_view line) {
    line = trimmed(line);
    if (line.empty() || line.front() != '[') return false;
    std::size_t close = line.find(']');
    return close != std::string_view::npos && same_name(trimmed(line.substr(1, close - 1)), "rename");
}

std::vector<PendingEntry> read_wininit_entries(std::string_view text) {
    std::vector<PendingEntry> entries;
    bool in_rename = false;
    for (std::size_t begin = 0, end = 0; begin < text.size(); begin = end) {
        std::size_t line_feed = text.find('\n', begin);
        end = line_feed == std::string_view::npos ? text.size() : line_feed + 1;
        std::string_view raw = text.substr(begin, end - begin);
        std::string_view line = trimmed(raw);
        if (!line.empty() && line.front() == '[') {
            in_rename = is_rename_header(line);
            continue;
        }
        std::size_t equals = line.find('=');
        if (!in_rename || equals == std::string_view::npos) continue;
        PendingEntry entry;
        std::string_view left = trimmed(line.substr(0, equals));
        entry.source = std::string(trimmed(line.substr(equals + 1)));
        if (!same_name(left, "NUL")) entry.target = std::string(left);
        entry.begin = begin;
        entry.end = end;
        std::size_t length = line_feed == std::string_view::npos ? raw.size() : raw.size() - 1;
        entry.carried_out = line.front() != ';' && length <= wininit_line_limit;
        entries.push_back(entry);
    }
    return entries;
}

std::vector<bool> concerning(const std::vector<PendingEntry>& entries, const CleanedFile& file) {
    std::vector<bool> marked(entries.size(), false);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (stands_for(acted_on(entries[i]), file)) marked[i] = true;
        if (entries[i].target.empty() || !stands_for(entries[i].source, file)) continue;
        // The file waits to replace this target: the replacement goes whole.
        for (std::size_t j = 0; j < entries.size(); ++j)
            if (same_name(acted_on(entries[j]), entries[i].target)) marked[j] = true;
    }
    return marked;
}

std::string without(std::string_view list, const std::vector<PendingEntry>& entries, const std::vector<bool>& marked) {
    std::string kept;
    std::size_t read = 0;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!marked[i]) continue;
        kept.append(list.substr(read, entries[i].begin - read));
        read = entries[i].end;
    }
    kept.append(list.substr(read));
    return kept;
}

}  // namespace fuzz

namespace fuzz {

PendingScene lay_out_pending_scene(winsim::Machine& machine) {
    char temporary[MAX_PATH];
    DWORD length = GetTempPathA(MAX_PATH, temporary);
    require(length > 0 && length < MAX_PATH, "the machine has no temporary directory");
    const std::string system(machine.platform_info().system_directory);
    PendingScene scene;
    scene.files = {std::string(temporary) + "ORV1.TMP", std::string(temporary) + "ORV2.TMP", system + "\\ORVMON.DLL",
                   "C:\\Program Files\\Orvana Fax\\orvmonitor.dll", "C:\\OTHER\\KEEP.DLL"};
    for (const std::string& file : scene.files) machine.files().write_file(file, file);
    scene.candidates = {scene.files[2], scene.files[3], scene.files[0], "C:\\OTHER\\GONE.DLL"};
    return scene;
}

void require_files_kept(winsim::Machine& machine, const PendingScene& scene, const std::vector<PendingEntry>& entries,
                        const std::vector<bool>& marked) {
    for (std::size_t i = PendingScene::waiting_copies; i < scene.files.size(); ++i)
        require(machine.files().exists(scene.files[i]), "a file outside the temporary directory was deleted", scene.files[i]);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (marked[i]) continue;
        for (const std::string& file : scene.files)
            if (same_name(entries[i].source, file))
                require(machine.files().exists(file), "a file that a kept entry names was deleted", file);
    }
}

}  // namespace fuzz
