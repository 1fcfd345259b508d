#pragma once
// The system clipboard as the copy commands use it: one image at a time. Tests
// install a ClipboardScript, which can make the next copy fail the way a clipboard
// held by another program does.

#include "platform/vcl/ScriptChain.h"

#include <QImage>
#include <QString>
#include <deque>

namespace platform {

// Puts image on the clipboard. Raises vcl::Exception when there is no clipboard, the
// image is empty, or a script says the clipboard is taken; the clipboard then keeps
// what it held.
void SetClipboardImage(const QImage& image);

class ClipboardScript : public ScriptChain<ClipboardScript> {
public:
    // The next copy raises vcl::Exception with this message.
    void failNext(const QString& message) { failures_.push_back(message); }
    // Copies that reached the clipboard while the script was installed.
    int copies() const { return copies_; }

    // Internal: raises the next queued failure, or counts the copy.
    void take();

private:
    std::deque<QString> failures_;
    int copies_ = 0;
};

} // namespace platform
