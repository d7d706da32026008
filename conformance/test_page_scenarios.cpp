// The test page on a printer of the product's driver that the library has just made, on
// a printer that does not exist, and after an earlier failure: what insPrintTestPage
// answers, the error text it leaves, and what it drew and asked, seen call by call (see
// drawing_record.h).
#include "drawing_record.h"
#include "printer_facts.h"
#include "scenarios.h"
#include "system_version.h"

#include <string>
#include <utility>
#include <vector>

namespace conformance {

namespace {

// `answers` answer the boxes the library shows. With `keep_error_text` the error text
// is left for the next call to show.
void print(Session& s, const std::string& step, const char* printer, std::vector<int> answers = {},
           bool keep_error_text = false) {
    DrawingRecord record(std::move(answers));
    const LONG result = s.x.print_test_page(nullptr, printer);
    record.stop();
    if (keep_error_text) {
        s.report(step, Facts().number("result", result));
    } else {
        s.result(step, result);
    }
    record.report(s, step);
}

// A monitor that is not there is a failure that sets the error flag: the page is then
// not printed, and the user is asked whether to see the errors instead. Only on NT: 95/98
// answer a module that is not there with a code of their own (1157, as Wine's loader
// tests have it), which winsim does not give yet.
void after_a_failure(Session& s, const char* printer) {
    const LONG failed = s.x.add_monitor("C:\\ORVCONF\\NOMON\\ORVMON.DLL", nullptr);
    s.report("an earlier failure", Facts().number("result", failed));
    print(s, "after it, the errors declined", printer, {IDNO}, true);
    print(s, "after it, the errors seen", printer, {IDYES});
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
    if (system_is_nt()) after_a_failure(s, name);
    remove_printer(name);
    remove_driver_ini_files();
}

}  // namespace

std::vector<Scenario> test_page_scenarios() {
    return {
        {"TestPage", {"insAddPrinter", "insAddMonitor", "insPrintTestPage"}, test_page},
    };
}

}  // namespace conformance
