// Laying out the files a scenario reads: the one place where the scenarios do not go
// through Win32 on both sides. winsim's CreateFileA opens files for reading only, so
// on the host the files are put onto the simulated drive C: through winsim's control
// API; on Windows they are written with CreateFileA and WriteFile. Once winsim writes
// files, this seam can become plain Win32 like the rest.
#pragma once

#include <string_view>

namespace conformance {

// Makes the folder; on winsim, writing a file makes its folders anyway. True when the
// folder is there afterwards.
bool make_scratch_directory(const char* path);
// Writes the file whole, replacing what was there.
bool write_scratch_file(const char* path, std::string_view bytes);
// Makes sure no file of that name is there.
bool remove_scratch_file(const char* path);

}  // namespace conformance
