// Laying out the files a scenario reads, with plain Win32 on both sides, under one
// folder of drive C: that the scenarios clear before and after they play.
#pragma once

#include <string>
#include <string_view>

namespace conformance {

inline constexpr const char scratch_directory[] = "C:\\ORVCONF";

// Makes the folder (its parent must be there). True when the folder is there afterwards.
bool make_scratch_directory(const char* path);
// Writes the file whole, replacing what was there.
bool write_scratch_file(const char* path, std::string_view bytes);
// Makes sure no file of that name is there, read-only or not.
bool remove_scratch_file(const char* path);
// The file's bytes, or nothing when it cannot be read.
std::string read_scratch_file(const char* path);

}  // namespace conformance
