// What a person at the machine would see and answer (message boxes, the mouse
// cursor), and the messages programs broadcast to every top-level window on it.
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

    // The mouse cursor shown, and every cursor a program set, oldest first: a test
    // sees that a wait cursor was put back. A new machine shows the arrow.
    HCURSOR cursor() const { return cursor_; }
    const std::vector<HCURSOR>& cursors_set() const { return cursors_set_; }
    HCURSOR set_cursor(HCURSOR cursor) {
        HCURSOR previous = cursor_;
        cursor_ = cursor;
        cursors_set_.push_back(cursor);
        return previous;
    }
    // The shared cursor Windows has under that ID (IDC_ARROW, IDC_WAIT).
    static HCURSOR system_cursor(WORD id) { return reinterpret_cast<HCURSOR>(static_cast<ULONG_PTR>(0x00010000u + id)); }

    // Every broadcast sent since the machine was made, oldest first.
    const std::vector<Broadcast>& broadcasts() const { return broadcasts_; }
    void broadcast(Broadcast message) { broadcasts_.push_back(std::move(message)); }

private:
    std::deque<int> answers_;
    std::vector<ShownMessageBox> shown_;
    std::vector<Broadcast> broadcasts_;
    HCURSOR cursor_ = system_cursor(32512);
    std::vector<HCURSOR> cursors_set_;
};

}  // namespace winsim
