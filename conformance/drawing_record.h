// What the library draws, as the lane compares it: while a DrawingRecord is in force,
// the library's calls of the printing, drawing, cursor and message-box functions are
// seen on their way out of it and passed on to the system. Under Windows they are seen
// through OrvInstl.dll's import table, on winsim through the linker's wrapping of the
// same functions in the host program, so that both sides record the same calls with
// the same code.
//
// Only what is meant to agree is written: the calls, their order, texts, flags and
// results. Coordinates, font heights and the device's own numbers are left out: they
// follow the device's resolution and page, which Wine's PostScript driver takes from a
// data file that is no PPD (0 for both) and winsim from the driver's device.
#pragma once

#include "session.h"

#include <memory>
#include <string>
#include <vector>

namespace conformance {

struct Recording;

class DrawingRecord {
public:
    // Message boxes are not shown (nobody would answer them under Wine): they are
    // answered with `answers` in turn, then with IDOK. The caller's cursor is set to
    // the arrow first, so that the library has one to give back.
    explicit DrawingRecord(std::vector<int> answers = {});
    ~DrawingRecord();
    DrawingRecord(const DrawingRecord&) = delete;
    DrawingRecord& operator=(const DrawingRecord&) = delete;

    // Ends the recording; what was recorded stays.
    void stop();
    // One line for each kind of call, "STEP: document", "STEP: device", "STEP: fonts",
    // "STEP: logo", "STEP: texts", "STEP: boxes" and "STEP: cursor", written also when
    // no such call was made, so that both sides have every line.
    void report(Session& s, const std::string& step) const;

private:
    std::unique_ptr<Recording> recording_;
    bool recording_in_force_ = false;
};

}  // namespace conformance
