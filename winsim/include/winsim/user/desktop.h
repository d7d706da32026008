// What a person at the machine would see and answer: message boxes, so far.
#pragma once

#include <winsim/windows.h>

#include <deque>
#include <string>
#include <vector>

namespace winsim {

struct ShownMessageBox {
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
    int answer = 0;
};

class Desktop {
public:
    // The answer the next message box gets (IDOK, IDYES, ...). A box that only has an
    // OK button is answered IDOK when no answer is queued; any other box without a
    // queued answer stops the process, for nobody is there to click it.
    void answer_next(int answer) { answers_.push_back(answer); }
    const std::vector<ShownMessageBox>& message_boxes() const { return shown_; }

    int show(ShownMessageBox box);

private:
    std::deque<int> answers_;
    std::vector<ShownMessageBox> shown_;
};

}  // namespace winsim
