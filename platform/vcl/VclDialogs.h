#pragma once
// The common dialogs: open and save file, colour and print. Execute() shows the
// dialog and returns true when the user confirmed it. Tests install a DialogScript:
// no dialog is shown, each Execute is recorded and answered from the script's queue
// (cancel when the queue is empty).
//
// A save never replaces a file unasked: the save dialog asks before it accepts an
// existing file (unless the program asks its own question), and neither the save nor
// the print dialog accepts the file in use (see SetFileInUse). Either way the dialog
// comes back for another name, as the system's save dialog does; under a script the
// next queued answer is that other name.

#include "platform/vcl/ScriptChain.h"
#include "platform/vcl/VclCore.h"

#include <QObject>
#include <QString>
#include <deque>
#include <vector>

class QPrinter;

namespace vcl {

// Shared by TOpenDialog and TSaveDialog.
class TFileDialogBase : public QObject {
public:
    explicit TFileDialogBase(QObject* owner, bool save);
    QString InitialDir() const { return initialDir_; }
    void SetInitialDir(const QString& dir) { initialDir_ = dir; }
    // The chosen file (full path after a confirmed Execute); a name or pattern before.
    QString FileName() const { return fileName_; }
    void SetFileName(const QString& name) { fileName_ = name; }
    // "Name|*.ext;*.ext2|Name|*.ext" as the class library writes it.
    void SetFilter(const QString& filter) { filter_ = filter; }
    int FilterIndex() const { return filterIndex_; } // 1-based
    void SetFilterIndex(int index) { filterIndex_ = index; }
    // Appended (after a dot) to a chosen name that has no extension; "*.bmp" and
    // ".bmp" add "bmp" as "bmp" does.
    void SetDefaultExt(const QString& ext) { defaultExt_ = ext; }
    void SetTitle(const QString& title) { title_ = title; }
    // Save dialogs only: ask "Plik ... już istnieje. Czy zamienić go?" before an
    // existing file is accepted (on by default). Off for a save that asks its own question.
    void SetOverwritePrompt(bool on) { overwritePrompt_ = on; }

    bool Execute();

    // The Qt form of a class-library filter: "Name (*.ext *.ext2);;Name (*.ext)".
    static QString QtFilter(const QString& filter);

private:
    // One showing of the dialog: the chosen path, default extension added; empty when
    // the user cancelled.
    QString choose();
    // Whether a save may write the chosen file; says why not when it may not.
    bool mayWrite(const QString& path) const;

    bool save_;
    bool overwritePrompt_ = true;
    QString initialDir_, fileName_, filter_, defaultExt_, title_;
    int filterIndex_ = 1;
};

class TOpenDialog : public TFileDialogBase {
public:
    explicit TOpenDialog(QObject* owner = nullptr) : TFileDialogBase(owner, false) {}
};

class TSaveDialog : public TFileDialogBase {
public:
    explicit TSaveDialog(QObject* owner = nullptr) : TFileDialogBase(owner, true) {}
};

class TColorDialog : public QObject {
public:
    explicit TColorDialog(QObject* owner = nullptr) : QObject(owner) {}
    TColor Color() const { return color_; }
    void SetColor(TColor color) { color_ = color; }
    bool Execute();

private:
    TColor color_ = clBlack;
};

// The file the program has open and reads from (the data file the browser opened);
// empty: none. No save or print dialog accepts it, and the program's other writers ask
// IsFileInUse before they replace a file.
void SetFileInUse(const QString& path);
// Whether path names the file in use, also through a link or another spelling.
bool IsFileInUse(const QString& path);

// The program-wide printer that print dialogs set up and printing paints on.
QPrinter* Printer();

class TPrintDialog : public QObject {
public:
    explicit TPrintDialog(QObject* owner = nullptr) : QObject(owner) {}
    bool Execute();
    QPrinter* Printer() const { return vcl::Printer(); }
};

struct DialogRecord {
    QString kind; // "open", "save", "color", "print"
    QString title;
    QString initialDir;
    QString fileName; // as it was before the dialog
    QString filter;
    QString defaultExt;
};

class DialogScript : public platform::ScriptChain<DialogScript> {
public:
    // The next file dialog is confirmed with this file (then DefaultExt applies).
    void answerFile(const QString& path);
    // The next colour dialog is confirmed with this colour.
    void answerColor(TColor color);
    // The next print dialog is confirmed and the printer writes a PDF file to path.
    void answerPrintToPdf(const QString& path);
    // The next dialog of any kind is cancelled.
    void cancel();

    const std::vector<DialogRecord>& records() const { return records_; }

    // Internal.
    struct Answer {
        bool accept = false;
        QString text;
        TColor color = clBlack;
    };
    Answer take(const DialogRecord& record);

private:
    std::deque<Answer> answers_;
    std::vector<DialogRecord> records_;
};

} // namespace vcl
