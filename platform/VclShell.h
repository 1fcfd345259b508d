#pragma once
// The shell opener: opens a document, a folder or a web address with the desktop's
// handler (QDesktopServices), never through a shell command line. Tests install a
// ShellScript, which records every request and answers it without opening anything.

#include "platform/ScriptChain.h"
#include <QString>
#include <QUrl>
#include <deque>
#include <vector>

namespace platform {

// operation "open" opens file (a document, folder or URL such as "https://...");
// "explore" opens a folder in the file manager. A program name such as "Excel.exe"
// or "scalc.exe" with a document in parameters opens that document with the
// desktop's handler for it (the Windows programs do not exist here). Relative paths
// follow directory, else the current directory. Returns true when the desktop took it.
bool ShellExecute(const QString& operation, const QString& file,
                  const QString& parameters = {}, const QString& directory = {});

struct ShellRequest {
    QString operation;
    QString file;
    QString parameters;
    QString directory;
    QUrl url;   // what would be opened
};

class ShellScript : public platform::ScriptChain<ShellScript> {
public:
    // Result of the next request (true when none is queued).
    void answer(bool ok) { answers_.push_back(ok); }
    const std::vector<ShellRequest>& records() const { return records_; }

    // Internal.
    bool take(const ShellRequest& request);

private:
    std::deque<bool> answers_;
    std::vector<ShellRequest> records_;
};

// The URL that ShellExecute would open for these arguments (empty when none).
QUrl ShellTarget(const QString& operation, const QString& file, const QString& parameters,
                 const QString& directory);

} // namespace platform
