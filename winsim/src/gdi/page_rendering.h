// Printed pages made visible: each page of a job rendered with cairo into a PNG a
// person opens (about 150 dots an inch), and the whole job into a PDF at the sheet's
// true size, in the machine's folder under jobs/<printer>/.
#pragma once

#include <winsim/gdi/printed_jobs.h>

#include <filesystem>

namespace winsim::detail {

// Writes the job's files and notes their paths in it; false when a file could not be
// written (the job printed all the same: the files are the host's, not the machine's).
bool render_job(PrintedJob& job, const std::filesystem::path& machine_folder);

// The PNG's resolution.
inline constexpr int rendered_dpi = 150;

}  // namespace winsim::detail
