// What a person at the machine would see and answer (message boxes), and the messages
// programs broadcast to every top-level window on it.
#pragma once

#include <winsim/windows.h>

#include <deque>
#include <optional>
#include <string>
#include <vector>

namespace winsim {

// A message sent to all top-level windows. For WM_WININICHANGE the lParam is the name
// of the changed section, kept as text; null names none.
struct Broadcast {
    UINT message = 0;
    WPARAM wparam = 0;
    std::optional<std::string> section;
    UINT flags = 0;
    UINT timeout_ms = 0;
};

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

    // Every broadcast sent since the machine was made, oldest first.
    const std::vector<Broadcast>& broadcasts() const { return broadcasts_; }
    void broadcast(Broadcast message) { broadcasts_.push_back(std::move(message)); }

private:
    std::deque<int> answers_;
    std::vector<ShownMessageBox> shown_;
    std::vector<Broadcast> broadcasts_;
};

}  // namespace winsim
