// A setup script: the product's files as they lie in the setup source, and the calls a
// setup program makes to install the product and to remove it, read from TOML:
//
//   title = "Orvana Fax, standard installation"
//   platforms = ["nt4", "win2000"]   # what a step is for unless it says (default: every platform)
//   [sources]
//   folder = 'C:\SETUP'
//   files = ["orvmon.dll", "orvproc.dll"]
//   make = ['C:\ORVANA']          # folders the setup program makes for the product itself
//
//   [[step]]
//   export = "insAddMonitorEx"
//   args = ['C:\SETUP\orvmon.dll', "@out:80", 0]
//   accept = [0, -13]            # results that count as success (default: 0)
//   platforms = ["nt4", "win2000"]   # default: every platform
//   stop = false                 # a failure does not stop the script (default: it does)
//
//   [[step]]
//   export = "insAddPrinter"
//   args = ["@printer"]          # the step's own record, below
//   [step.printer]
//   pPrinterName = "Sales Fax"
//
//   [[uninstall.step]]
//   ...
//
// The words of `args` are those of `orvsetup call`; a number may be written as one.
#pragma once

#include "call_engine.h"

#include "orvinstl.h"

#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace orvsetup {

// A script refused; what() names the file, the line and the key, as
// "standard.toml:12: key 'exprot' is not a key of a step (...)".
class ScriptError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ScriptStep {
    CallRequest call;
    std::string title;                   // what a person calls the step in a table
    std::vector<std::string> platforms;  // empty: every platform
    std::vector<LONG> accepted{INS_OK};
    bool stops_on_failure = true;
    int line = 0;
};

struct SetupScript {
    std::string path;
    std::string title;
    std::string source_folder;              // where the setup source lies on the machine
    std::vector<std::string> source_files;  // the product's files there, by name
    std::vector<std::string> made_folders;  // made by the setup program itself, before the steps
    std::vector<ScriptStep> install;
    std::vector<ScriptStep> uninstall;
};

// `platforms` are the names a step may be for. Throws ScriptError.
SetupScript parse_setup_script(std::string_view text, const std::string& source, std::span<const std::string> platforms);
SetupScript read_setup_script(const std::string& path, std::span<const std::string> platforms);

bool step_is_for(const ScriptStep& step, std::string_view platform);
bool is_accepted(const ScriptStep& step, LONG result);

}  // namespace orvsetup
