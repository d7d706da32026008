// ExeFileBitness over any file: one of its four answers, a file without the MS-DOS
// signature is never an executable, the file is left as it was and nothing stays open.
// 95/98 read the headers in the library; NT asks the system, whose reading is held to
// the same.
#include "support/fuzz_support.h"

#include "orvinstl.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider input(data, size);
    const bool nt = input.ConsumeBool();
    const std::string image = input.ConsumeRemainingBytesAsString();
    auto machine = fuzz::machine_with_library(nt ? winsim::Platform::nt4 : winsim::Platform::win98);
    const char path[] = "C:\\SETUP\\PROGRAM.EXE";
    machine->files().write_file(path, image);
    const fuzz::Holdings before = fuzz::holdings(*machine);

    const LONG bitness = ExeFileBitness(path);
    fuzz::require(bitness == INS_EXE_WIN32 || bitness == INS_EXE_WIN16 || bitness == INS_EXE_DOS || bitness == INS_EXE_UNKNOWN,
                  "an answer outside the four", std::to_string(bitness));
    fuzz::require(fuzz::holdings(*machine) == before, "the reading left a handle, a view or a block behind");
    fuzz::require(machine->files().read_file(path) == image, "the file changed");
    const bool mz = image.size() >= 2 && image[0] == 'M' && image[1] == 'Z';
    // Only a .COM or .PIF is known by its name alone; this is an .EXE.
    if (!mz) fuzz::require(bitness == INS_EXE_UNKNOWN, "a file without \"MZ\" counted as an executable");
    return 0;
}
