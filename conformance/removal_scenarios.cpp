// A printer copied onto another port through the library, and printers removed with
// what only they used: here a copy whose driver, processor and port others still use,
// so that the removal takes the printer alone.
#include "printer_facts.h"
#include "scenarios.h"
#include "session.h"

namespace conformance {

namespace {

const char source_printer[] = "OrvConformance Source";
const char copy_printer[] = "OrvConformance Copy";

void replicate(Session& s, const char* step, const char* existing, const char* created, const char* port) {
    const LONG result = s.x.replicate_printer(existing, created, port);
    // The record is read after the call, not beside it.
    s.result(step, result, printer_record(created));
}

void replication_and_removal(Session& s) {
    remove_printer(copy_printer, "FILE:");
    remove_printer(source_printer);
    const INS_PRINTER_DEFINITION source = unchanged_definition(source_printer, plain);
    const LONG added = s.x.add_printer(&source);
    s.result("the source printer", added, printer_record(source_printer));

    replicate(s, "copied onto FILE:", source_printer, copy_printer, "FILE:");
    report_settings(s, "the copy's settings", copy_printer);
    replicate(s, "copied onto a name taken", source_printer, copy_printer, "LPT1:");
    replicate(s, "copied from a printer that is not there", "OrvConformance Nobody", "OrvConformance Nobody Copy", "FILE:");

    const LONG removed = s.x.nuke_printer(copy_printer);
    s.result("the copy removed with what only it used", removed, printer_record(copy_printer));
    s.report("the source after it", printer_record(source_printer));
    s.result("a printer that is not there removed", s.x.nuke_printer("OrvConformance Nobody"));

    remove_printer(copy_printer, "FILE:");
    remove_printer(source_printer);
    remove_driver_ini_files();
    s.take_error_text();
}

}  // namespace

std::vector<Scenario> removal_scenarios() {
    return {
        {"PrinterRemoval", {"insAddPrinter", "insReplicatePrinter", "insNukePrinter"}, replication_and_removal},
    };
}

}  // namespace conformance
