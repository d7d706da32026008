// Resources read from any image, through the calls the library makes: the version
// calls fill a block of the size they measured without reading or writing past it,
// and every value VerQueryValueA answers starts inside that block; LoadStringA and the image reader read only the
// image's own bytes, and cut their texts to the buffer.
#include "support/fuzz_support.h"

#include "images/image_reader.h"

namespace {

const char image_path[] = "C:\\ORVANA\\ORVMON.DLL";

void query_version_block() {
    DWORD handle = 0xDEADBEEF;
    const DWORD size = GetFileVersionInfoSizeA(image_path, &handle);
    if (!size) return;
    fuzz::require(size < (1u << 24), "a version block larger than any file here", std::to_string(size));
    std::vector<char> block(size);
    if (!GetFileVersionInfoA(image_path, 0, size, block.data())) return;
    const char* sub_blocks[] = {"\\", "\\VarFileInfo\\Translation", "\\StringFileInfo\\040904E4\\FileVersion",
                                "\\StringFileInfo\\040904B0\\CompanyName", "\\StringFileInfo"};
    for (const char* sub_block : sub_blocks) {
        void* value = nullptr;
        UINT length = 0;
        if (!VerQueryValueA(block.data(), sub_block, &value, &length)) continue;
        // The length is the one the node records, as Windows answers it, and may reach
        // past a broken node; where the value starts is the call's own doing.
        const char* at = static_cast<const char*>(value);
        fuzz::require(at >= block.data() && at <= block.data() + block.size(), "a version value starts outside its block",
                      sub_block);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool nt = input.ConsumeBool();
    const UINT string_id = input.ConsumeIntegral<std::uint16_t>();
    const int buffer_size = input.ConsumeIntegralInRange<int>(1, 300);
    const std::string bytes = input.ConsumeRemainingBytesAsString();

    if (std::optional<winsim::detail::Image> image = winsim::detail::Image::parse(bytes)) {
        image->load_string(string_id);
        for (WORD type : {winsim::detail::resource_type_bitmap, winsim::detail::resource_type_string,
                          winsim::detail::resource_type_version})
            image->find_resource(type, static_cast<WORD>(string_id));
    }

    auto machine = fuzz::machine_with_library(nt ? winsim::Platform::nt4 : winsim::Platform::win98);
    machine->files().write_file(image_path, bytes);
    query_version_block();
    if (HMODULE module = LoadLibraryExA(image_path, nullptr, LOAD_LIBRARY_AS_DATAFILE)) {
        // The buffer is exactly its size, so that a write past it is seen.
        std::vector<char> buffer(static_cast<std::size_t>(buffer_size));
        const int length = LoadStringA(module, string_id, buffer.data(), buffer_size);
        fuzz::require(length >= 0 && length < buffer_size, "a string longer than its buffer",
                      std::to_string(length));
        FreeLibrary(module);
    }
    return 0;
}
