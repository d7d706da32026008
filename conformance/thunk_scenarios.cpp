// The resource thunk brg32res.dll read as the library reads it on 95/98: loaded by
// name, its export called on a 16-bit driver's resource module laid out for the
// scenario, and on files that are no such module.
#include "resource_module.h"
#include "scenarios.h"
#include "scratch_files.h"
#include "session.h"

#include <brg32res.h>
#include <mkimage/image.h>

#include <cstring>
#include <string>

namespace conformance {

namespace {

const std::string folder = std::string(scratch_directory) + "\\THUNK";
const std::string driver_path = folder + "\\orvfax16.drv";
const std::string short_path = folder + "\\short.drv";
const std::string pe_path = folder + "\\orvfax32.dll";

std::string pe_module() {
    mkimage::ImageRecipe recipe;
    recipe.strings[520] = "orvfax32.ini";
    return mkimage::build_image(recipe);
}

bool lay_out_modules() {
    const std::string driver = driver_resource_module();
    return make_scratch_directory(scratch_directory) && make_scratch_directory(folder.c_str()) &&
           write_scratch_file(driver_path.c_str(), driver) &&
           write_scratch_file(short_path.c_str(), std::string_view(driver).substr(0, driver.size() / 2)) &&
           write_scratch_file(pe_path.c_str(), pe_module());
}

void clear_modules() {
    for (const std::string& path : {driver_path, short_path, pe_path}) remove_scratch_file(path.c_str());
    RemoveDirectoryA(folder.c_str());
}

// One call into a buffer of `size` bytes: its result and what the buffer then holds,
// or that the first byte was left alone.
Facts loaded_string(LoadString32_16Function load, const std::string& path, UINT id, int size) {
    char buffer[64];
    std::memset(buffer, 0x7F, sizeof buffer);
    int result = load(path.c_str(), id, buffer, size);
    Facts facts;
    facts.number("result", result);
    if (buffer[0] == 0x7F) return facts.word("buffer", "untouched");
    return facts.text("text", std::string_view(buffer, strnlen(buffer, sizeof buffer)));
}

void strings_of_a_driver(Session& s) {
    clear_modules();
    if (!lay_out_modules()) {
        s.report("lay out", Facts().word("failed", "the scratch modules cannot be written"));
        clear_modules();
        return;
    }
    SetLastError(0);
    HMODULE thunk = LoadLibraryA("brg32res.dll");
    if (!thunk) {
        s.report("load", Facts().word("module", "none").number("error", static_cast<long long>(GetLastError())));
        clear_modules();
        return;
    }
    auto load = reinterpret_cast<LoadString32_16Function>(reinterpret_cast<void (*)()>(GetProcAddress(thunk, "LoadString32_16")));
    s.report("load", Facts().word("module", "loaded").word("function", load ? "found" : "missing"));
    if (load) {
        // The library's buffers hold 40 characters.
        for (UINT id = 519; id <= 526; ++id) s.report("string " + std::to_string(id), loaded_string(load, driver_path, id, 40));
        s.report("string 70056", loaded_string(load, driver_path, 70056, 40));
        for (int size : {-1, 0, 1, 2, 15, 16, 17})
            s.report("string 522 into " + std::to_string(size), loaded_string(load, driver_path, 522, size));
        s.report("cut short", loaded_string(load, short_path, 525, 40));
        s.report("32-bit module", loaded_string(load, pe_path, 520, 40));
        s.report("missing module", loaded_string(load, folder + "\\absent.drv", 520, 40));
        s.report("folder", loaded_string(load, folder, 520, 40));
    }
    FreeLibrary(thunk);
    clear_modules();
}

}  // namespace

std::vector<Scenario> thunk_scenarios() {
    return {
        {"ThunkDriverStrings", {}, strings_of_a_driver},
    };
}

}  // namespace conformance
