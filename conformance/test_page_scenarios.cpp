// The test page on a printer of the product's driver that the library has just made,
// and on a printer that does not exist: what insPrintTestPage answers, the error text it
// leaves, and what it drew, seen call by call (see drawing_record.h).
#include "drawing_record.h"
#include "printer_facts.h"
#include "scenarios.h"

#include <string>

namespace conformance {

namespace {

void print(Session& s, const std::string& step, const char* printer) {
    DrawingRecord record;
    const LONG result = s.x.print_test_page(nullptr, printer);
    record.stop();
    s.result(step, result);
    record.report(s, step);
}

void test_page(Session& s) {
    remove_driver_ini_files();
    const char name[] = "OrvConformance Test Page";
    remove_printer(name);
    const INS_PRINTER_DEFINITION definition = unchanged_definition(name, plain);
    const LONG added = s.x.add_printer(&definition);
    s.result("the printer added", added, printer_record(name));
    print(s, "printed", name);
    print(s, "a printer that does not exist", "OrvConformance Nobody's Printer");
    remove_printer(name);
    remove_driver_ini_files();
}

}  // namespace

std::vector<Scenario> test_page_scenarios() {
    return {
        {"TestPage", {"insAddPrinter", "insPrintTestPage"}, test_page},
    };
}

}  // namespace conformance
