#pragma once
// The one message-box service. The programs call it as they would the system's
// message box; tests install a script that records each box and answers it, so no
// test ever blocks on a modal box.
//
// Texts come as Unicode. The system's 8-bit texts, error texts in what() among them,
// are code page 1250 and are decoded on their way here (fromAnsi, vcl::ExceptionText).

#include <QString>
#include <deque>
#include <functional>
#include <vector>

class QWidget;

namespace platform {

// Button and icon flags and results, with the system's values so callers read alike.
enum MessageFlags : unsigned {
    MB_OK = 0x0,
    MB_OKCANCEL = 0x1,
    MB_ABORTRETRYIGNORE = 0x2,
    MB_YESNOCANCEL = 0x3,
    MB_YESNO = 0x4,
    MB_RETRYCANCEL = 0x5,
    MB_ICONERROR = 0x10,
    MB_ICONQUESTION = 0x20,
    MB_ICONWARNING = 0x30,
    MB_ICONINFORMATION = 0x40,
    MB_TYPEMASK = 0xF,
    MB_ICONMASK = 0xF0,
    // Kept above every other window.
    MB_TOPMOST = 0x40000,
    MB_SERVICE_NOTIFICATION = 0x200000,
};
enum MessageResult : int { IDOK = 1, IDCANCEL = 2, IDABORT = 3, IDRETRY = 4, IDIGNORE = 5, IDYES = 6, IDNO = 7 };

struct MessageRecord {
    QString title;
    QString text;
    unsigned flags = 0;
    int answer = 0;
};

// The window that a box or dialog shown now belongs to: the modal window the user is in,
// else the active window; null when there is neither. The window manager keeps a
// dialog above its owner, also when the owner stays on top of other windows.
QWidget* DialogOwner();

// Shows a modal box (or asks the script) and returns the button chosen. The box belongs
// to DialogOwner() and blocks the whole application until answered. Called from a
// thread other than the user-interface thread it is shown there, and this thread
// waits. Without a QApplication (a console program) the box is written to stderr and
// answered with its first button.
int MessageBox(const QString& text, const QString& title, unsigned flags);
// The class library's plain message: OK only (MB_OK, no icon), the application's name as title.
void ShowMessage(const QString& text);
// The application's error box for an exception that escaped a handler: title "Error",
// MB_OK | MB_ICONERROR, the text unchanged.
void ShowException(const QString& text);
// The button a box with these flags shows first (IDOK for MB_OK and MB_OKCANCEL,
// IDABORT, IDYES, IDYES, IDRETRY for the others).
int FirstButton(unsigned flags);

// While a script is installed, no box is shown: each call is recorded and answered
// with the next queued answer, or with the box's first button when none is queued.
class MessageScript {
public:
    MessageScript();
    ~MessageScript();
    MessageScript(const MessageScript&) = delete;
    MessageScript& operator=(const MessageScript&) = delete;

    void answer(int result) { answers_.push_back(result); }
    // Called for every box before it is answered (may queue an answer or act).
    std::function<void(const MessageRecord&)> onMessage;

    const std::vector<MessageRecord>& records() const { return records_; }
    void clear() { records_.clear(); }

private:
    friend int MessageBox(const QString&, const QString&, unsigned);
    std::deque<int> answers_;
    std::vector<MessageRecord> records_;
    MessageScript* previous_ = nullptr;
};

} // namespace platform
