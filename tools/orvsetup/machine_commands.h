// What orvsetup does to the simulated machine itself, as a person at it would: put a
// file on it, hold a file open as another program would, restart it, look at it.
#pragma once

#include "call_observer.h"

#include <winsim/machine.h>

#include <cstdio>
#include <string>
#include <vector>

namespace orvsetup {

// The commands other than "call", each with its words; `json` asks the views that have
// one for their JSON form. Answers the exit status; what went wrong is said on `err`.
bool is_machine_command(const std::string& word);
int run_machine_command(winsim::Machine& machine, const std::vector<std::string>& words, bool json, std::FILE* out,
                        std::FILE* err);

extern const char* machine_commands_help;

// Tells after each call which services changed state during it, with the machine's
// uptime (a spooler stopped and started around a file copy shows as four lines), then
// the messages broadcast to all windows during it ("WM_WININICHANGE 'devices'"), then
// what programs did ("started C:\ORVANA\orvdaemon.exe", "posted SC_CLOSE to ..."), then
// the message boxes shown, with their caption, text and answer.
CallObserver watch_machine(winsim::Machine& machine);

}  // namespace orvsetup
