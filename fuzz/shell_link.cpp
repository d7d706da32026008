// The .lnk files the library has the shell write, for any texts a setup program can
// give: an independent reader (liblnk) finds the target, description, working
// directory and arguments as given, and so does winsim's own reader; nothing stays
// referenced.
#include "support/fuzz_support.h"

#include "daemon/shell_link.h"
#include "kernel/code_page_1252.h"

#include <liblnk.h>

#include <fstream>
#include <optional>
#include <unistd.h>

namespace {

// The five bytes code page 1252 leaves unassigned. Windows' table (and winsim's) maps
// each to the C1 control of its value; liblnk's reads them as U+FFFD.
bool unassigned(unsigned char byte) { return byte == 0x81 || byte == 0x8D || byte == 0x8F || byte == 0x90 || byte == 0x9D; }

// The text as liblnk answers it in UTF-8: read from the file's ANSI form, or from the
// UTF-16 form the NT shell wrote.
std::string utf8_as_liblnk_reads(std::string_view ansi, bool stored_as_ansi) {
    std::string utf8;
    for (char byte : ansi) {
        const auto code = static_cast<unsigned char>(byte);
        const char32_t c = stored_as_ansi && unassigned(code) ? 0xFFFD : winsim::detail::from_1252(code);
        if (c < 0x80) {
            utf8 += static_cast<char>(c);
        } else if (c < 0x800) {
            utf8 += static_cast<char>(0xC0 | c >> 6);
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            utf8 += static_cast<char>(0xE0 | c >> 12);
            utf8 += static_cast<char>(0x80 | (c >> 6 & 0x3F));
            utf8 += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return utf8;
}

struct LinkFields {
    std::optional<std::string> local_path, description, working_directory, arguments;
};

using SizeGetter = int (*)(liblnk_file_t*, size_t*, liblnk_error_t**);
using TextGetter = int (*)(liblnk_file_t*, uint8_t*, size_t, liblnk_error_t**);

// A text field as liblnk reads it; nothing when the file has none.
std::optional<std::string> field(liblnk_file_t* file, SizeGetter size_of, TextGetter text_of, const char* name) {
    size_t size = 0;
    liblnk_error_t* error = nullptr;
    int found = size_of(file, &size, &error);
    if (found == 0) return std::nullopt;
    std::string text(size, '\0');
    if (found < 0 || (size && text_of(file, reinterpret_cast<uint8_t*>(text.data()), size, &error) != 1)) {
        liblnk_error_free(&error);
        fuzz::broken("liblnk cannot read a field", name);
    }
    if (!text.empty()) text.pop_back();
    return text;
}

LinkFields read_with_liblnk(const std::string& bytes) {
    static const std::string path = "/tmp/orv-fuzz-" + std::to_string(getpid()) + ".lnk";
    std::ofstream(path, std::ios::binary | std::ios::trunc).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    liblnk_file_t* file = nullptr;
    liblnk_error_t* error = nullptr;
    fuzz::require(liblnk_file_initialize(&file, &error) == 1, "liblnk does not start");
    liblnk_file_set_ascii_codepage(file, LIBLNK_CODEPAGE_WINDOWS_1252, &error);
    if (liblnk_file_open(file, path.c_str(), LIBLNK_OPEN_READ, &error) != 1) {
        liblnk_error_free(&error);
        liblnk_file_free(&file, nullptr);
        fuzz::broken("liblnk does not read the link");
    }
    LinkFields fields;
    fields.local_path = field(file, liblnk_file_get_utf8_local_path_size, liblnk_file_get_utf8_local_path, "local path");
    fields.description = field(file, liblnk_file_get_utf8_description_size, liblnk_file_get_utf8_description, "description");
    fields.working_directory = field(file, liblnk_file_get_utf8_working_directory_size, liblnk_file_get_utf8_working_directory,
                                     "working directory");
    fields.arguments = field(file, liblnk_file_get_utf8_command_line_arguments_size,
                             liblnk_file_get_utf8_command_line_arguments, "arguments");
    liblnk_file_close(file, nullptr);
    liblnk_file_free(&file, nullptr);
    return fields;
}

// A text the library passes only when given: empty or absent leaves the field out.
void require_field(const std::optional<std::string>& read, const std::string& given, bool stored_as_ansi, const char* name) {
    if (given.empty()) fuzz::require(!read || read->empty(), "a field was written that was not given", name);
    else fuzz::require(read == utf8_as_liblnk_reads(given, stored_as_ansi), "a field reads otherwise than given",
                       std::string(name) + ": " + fuzz::printable(read.value_or("(none)")) + " for " + fuzz::printable(given));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool nt = input.ConsumeBool();
    const std::string target = fuzz::text(input, MAX_PATH);
    const std::string description = fuzz::text(input, 300);
    const std::string working_directory = fuzz::text(input, MAX_PATH);
    const std::string arguments = fuzz::text(input, 300);
    auto machine = fuzz::machine_with_library(nt ? winsim::Platform::nt4 : winsim::Platform::win98);
    const char link[] = "C:\\LINKS\\Orvana Daemon.lnk";
    machine->files().make_directories("C:\\LINKS");
    const fuzz::Holdings before = fuzz::holdings(*machine);

    const HRESULT saved = create_shell_link(target.c_str(), link, description.c_str(),
                                            arguments.empty() ? nullptr : arguments.c_str(),
                                            working_directory.empty() ? nullptr : working_directory.c_str());
    fuzz::require(saved == S_OK, "the link was not saved", std::to_string(saved));
    fuzz::require(fuzz::holdings(*machine) == before && machine->shell().live_com_objects() == 0,
                  "the link's making left an object, a block or a handle behind");
    const std::string bytes = machine->files().read_file(link).value_or("");

    const LinkFields fields = read_with_liblnk(bytes);
    // The target's path is ANSI in every link; the NT shells write the other texts in UTF-16.
    require_field(fields.local_path, target, true, "local path");
    require_field(fields.description, description, !nt, "description");
    require_field(fields.working_directory, working_directory, !nt, "working directory");
    require_field(fields.arguments, arguments, !nt, "arguments");

    const std::optional<winsim::ShellLinkContents> contents = winsim::read_shell_link(bytes);
    fuzz::require(contents.has_value(), "winsim's reader does not read the link");
    fuzz::require(contents->target == target && contents->description == description &&
                      contents->working_directory == working_directory && contents->arguments == arguments,
                  "winsim's reader reads the link otherwise");
    return 0;
}
