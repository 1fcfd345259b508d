#pragma once
// The shell opener: opens a document, a folder or a web address with the desktop's
// opener, and starts the spreadsheet program with a document. Programs are started
// with an argument list, never through a shell command line, and run on their own:
// nothing waits for them. Tests install a ShellScript, which records every request
// with the program and arguments it would start, and answers it without starting
// anything; the programs are looked up on PATH, so a test chooses them by its PATH.

#include "platform/vcl/ScriptChain.h"
#include <QString>
#include <QStringList>
#include <QUrl>
#include <deque>
#include <functional>
#include <vector>

namespace platform {

// operation "open" opens file (a document, folder or URL such as "https://...");
// "explore" opens a folder in the file manager, and fails when it is no folder.
// Relative paths follow directory, else the current directory. The Windows program
// names "Excel.exe" and "scalc.exe" with a document in parameters start LibreOffice
// Calc ("localc", else "libreoffice --calc") with that document, else hand it to the
// desktop's opener; any other program name hands its document to the opener. The
// parameters are one document, blanks included, never split into several. The
// desktop's opener is "xdg-open", or Qt's desktop services where there is none.
// importFilter, when given, is the import filter with its options ("Text - txt - csv
// (StarCalc):...") that Calc reads the document with, so that it neither asks nor
// guesses how; the desktop's opener cannot be told one and goes without it.
// Returns true when the program or the desktop took the request.
//
// A program started so is watched for startFailureWindowMs: when it ends with an error
// in that time (as an office suite without its desktop part does, or an opener that
// finds no program for the document), it did not open the document. watched, when
// given, runs once on this thread when the watch ends: false for such an end, true when
// the program ended well or still runs. It is not called when ShellExecute returns
// false, under a ShellScript, nor for a request that the desktop services took (there is
// no program to watch).
// Nothing waits: the program runs in a session of its own and outlives this one.
bool ShellExecute(const QString& operation, const QString& file, const QString& parameters = {},
                  const QString& directory = {}, const QString& importFilter = {},
                  std::function<void(bool opened)> watched = {});

// How long a started program is watched for a failure; tests shorten it.
extern int startFailureWindowMs;

struct ShellRequest {
    QString operation;
    QString file;
    QString parameters;
    QString directory;
    QString importFilter;  // Calc's import filter for the document; empty: none
    QUrl url;              // what would be opened
    QString program;       // the program that would be started (as found on PATH);
                           // empty when the desktop services open url
    QStringList arguments; // its arguments, each one whole
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
QUrl ShellTarget(const QString& operation, const QString& file, const QString& parameters, const QString& directory);

// The whole request as ShellExecute would carry it out: what it opens and the program
// with the arguments it starts, looked up on PATH now.
ShellRequest ShellResolve(const QString& operation, const QString& file, const QString& parameters,
                          const QString& directory, const QString& importFilter = {});

} // namespace platform
