// orvsetup: a setup program for the library, run on a simulated Windows machine.
//
//   orvsetup [machine options] [--json] call EXPORT [ARG...] [call EXPORT [ARG...]]...
//   orvsetup [machine options] [--json] run SCRIPT [--uninstall] [--all-platforms] ...
//   orvsetup [--json] run SCRIPT --engine wine --platform NAME [--uninstall]    (the real DLL under Wine)
//   orvsetup [--machine DIR] --from FILE.toml [command]
#include "call_engine.h"
#include "machine_commands.h"
#include "run_command.h"

#include <winsim/machine.h>

#include <CLI/CLI.hpp>

#include <cstdio>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

struct Options {
    std::string machine_folder;
    std::string description;
    std::string platform = "win2000";
    bool user = false;
    bool terminal_server = false;
    bool no_setupapi = false;
    bool no_program_manager = false;
    bool setupapi_without_is_user_admin = false;
    bool json = false;
};

const char* commands_help =
    "Commands:\n"
    "  call EXPORT [ARG...]   calls an export of OrvInstl.dll; several calls run in one process.\n"
    "                         ARG is typed by the export's parameter: text as written (@text:WORD for\n"
    "                         any word), a number, null (the null pointer), @out:N (an out buffer of\n"
    "                         N bytes; @out:0 is a real buffer of none), @long (an out 32-bit value),\n"
    "                         $K (the result of the K-th call), @printer:FILE.toml or @port:FILE.toml (an\n"
    "                         INS_PRINTER_DEFINITION or INS_PORT_DEFINITION), @list:A,B,C for a text\n"
    "                         (the NUL-separated list ended by an empty entry that insAddPrintDriverEx\n"
    "                         takes as its dependent files). Each call's answer is\n"
    "                         printed as soon as it returns.\n"
    "                         A definition file sets fields by their names in orvinstl.h, a text for a\n"
    "                         p... field and a whole number of 32 bits for the others:\n"
    "                           dwVersion = 4\n"
    "                           dwKind = 2\n"
    "                           pPrinterName = \"Orvana Fax\"\n"
    "                           nFileType = 5\n"
    "                         A field left out leaves its setting unchanged (texts null, numbers as\n"
    "                         INS_PRINTER_DEFINITION_UNCHANGED and INS_PORT_DEFINITION_UNCHANGED give\n"
    "                         them: version 4, a plain printer, a port of the product's monitor).\n";

std::unique_ptr<winsim::Machine> machine_for(const Options& options) {
    if (!options.description.empty()) {
        // Laying a description over a machine that has lived would lose what it did.
        if (!options.machine_folder.empty() && winsim::Machine::exists_in(options.machine_folder))
            throw std::runtime_error(options.machine_folder + " holds a machine already; --from makes a new one");
        return winsim::Machine::create_from_description(options.description, options.machine_folder);
    }
    std::optional<winsim::Platform> platform = winsim::find_platform(options.platform);
    if (!platform) throw std::runtime_error("unknown platform " + options.platform);
    winsim::MachineOptions machine_options;
    machine_options.administrator = !options.user;
    machine_options.terminal_services = options.terminal_server;
    machine_options.program_manager = !options.no_program_manager;
    if (options.no_setupapi) machine_options.setupapi = winsim::SetupApi::absent;
    else if (options.setupapi_without_is_user_admin) machine_options.setupapi = winsim::SetupApi::without_is_user_admin;
    if (!options.machine_folder.empty() && winsim::Machine::exists_in(options.machine_folder))
        return winsim::Machine::open(options.machine_folder);
    return winsim::Machine::create(*platform, machine_options, options.machine_folder);
}

// Splits "call A x y call B z" into its calls.
std::vector<orvsetup::CallRequest> calls_of(const std::vector<std::string>& words) {
    std::vector<orvsetup::CallRequest> calls;
    for (const std::string& word : words) {
        if (word == "call") {
            calls.emplace_back();
            continue;
        }
        if (calls.empty()) throw CLI::ValidationError("unknown command " + word);
        if (calls.back().export_name.empty()) calls.back().export_name = word;
        else calls.back().words.push_back(word);
    }
    for (const orvsetup::CallRequest& call : calls)
        if (call.export_name.empty()) throw CLI::ValidationError("call needs an export name");
    return calls;
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app{"Installs and removes the Orvana printer driver through OrvInstl.dll, on a simulated Windows machine."};
    app.footer(std::string(commands_help) + orvsetup::run_command_help + orvsetup::machine_commands_help);
    Options options;
    std::string platforms;
    for (const winsim::PlatformInfo& info : winsim::all_platforms()) platforms += (platforms.empty() ? "" : ", ") + std::string(info.name);
    app.add_option("--machine", options.machine_folder,
                   "folder of the machine: opened when it holds one, else a new machine is made there; saved afterwards");
    CLI::Option* from = app.add_option("--from", options.description,
                                       "a TOML description of what a new machine already has (printers, ports, drivers, ...), "
                                       "made in the --machine folder or for this run; it names the platform and options");
    app.add_option("--platform", options.platform, "platform of a new machine: " + platforms)->capture_default_str()->excludes(from);
    app.add_flag("--user", options.user, "the user of a new machine is not an administrator")->excludes(from);
    app.add_flag("--terminal-server", options.terminal_server, "a new machine runs terminal services")->excludes(from);
    app.add_flag("--no-setupapi", options.no_setupapi, "a new machine has no SETUPAPI.DLL")->excludes(from);
    app.add_flag("--no-program-manager", options.no_program_manager,
                 "nothing on a new machine answers Program Manager's DDE conversation")
        ->excludes(from);
    app.add_flag("--setupapi-without-isuseradmin", options.setupapi_without_is_user_admin,
                 "a new machine's SETUPAPI.DLL lacks IsUserAdmin")
        ->excludes(from);
    app.add_flag("--json", options.json, "print one JSON object per call, or per printer or service of the printers and services views");
    std::vector<std::string> command;
    app.prefix_command();
    try {
        app.parse(argc, argv);
        command = app.remaining();
        if (command.empty() && options.description.empty()) throw CLI::RequiredError("a command");
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    }
    try {
        std::unique_ptr<winsim::Machine> machine;
        int status = 0;
        if (command.empty()) {
            machine = machine_for(options);
        } else if (command[0] == "run") {
            orvsetup::RunOptions run;
            if (app.count("--platform")) run.platform = options.platform;
            if (int refused = orvsetup::parse_run_options(command, options.json, run, stderr)) return refused;
            if (run.engine == "wine" && (!options.machine_folder.empty() || !options.description.empty())) {
                std::fputs("orvsetup: run: --engine wine makes a Wine prefix of its own: no --machine, no --from\n", stderr);
                return 2;
            }
            if (!run.platform.empty()) options.platform = run.platform;
            return orvsetup::run_script(run, [&options] { return machine_for(options); }, stdout, stderr);
        } else if (orvsetup::is_machine_command(command[0])) {
            machine = machine_for(options);
            status = orvsetup::run_machine_command(*machine, command, options.json, stdout, stderr);
        } else {
            std::vector<orvsetup::CallRequest> calls = calls_of(command);
            std::string problem = orvsetup::check_calls(calls);
            if (!problem.empty()) throw CLI::ValidationError(problem);
            machine = machine_for(options);
            status = orvsetup::run_calls(calls, options.json, stdout, stderr, orvsetup::watch_machine(*machine));
        }
        if (!options.machine_folder.empty()) machine->save();
        return status;
    } catch (const CLI::ParseError& error) {
        return app.exit(error);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "orvsetup: %s\n", error.what());
        return 1;
    }
}
