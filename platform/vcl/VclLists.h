#pragma once
// Folder list and file list as the class library has them (both change the process's
// current directory), the text list of the layer's memo, and grid cells on a
// QTableWidget.

#include "platform/vcl/VclCore.h"

#include <QListWidget>
#include <QStringList>
#include <QTableWidget>

namespace vcl {

class TFileListBox;
class TMemo;

// Folder list: the folder shown with its parents above it and its subfolders below;
// a double click (or Enter) on an entry opens that folder. Setting Directory to
// another folder (compared by name or through links; names that differ only in case
// are other folders) makes it the process's current directory, points the linked file
// list at it, then runs OnChange; setting the folder it already shows does none of
// this. A folder that cannot be entered raises vcl::Exception and nothing changes. It
// starts on the current directory.
class TDirectoryListBox : public TControlT<QListWidget> {
public:
    explicit TDirectoryListBox(QWidget* parent);
    // Absolute path, without a trailing separator (except for the root).
    const QString& Directory() const { return directory_; }
    void SetDirectory(const QString& directory);
    void SetFileList(TFileListBox* fileList);
    // Reads the folder's subfolders again.
    void Update();
    TNotifyEvent OnChange;

private:
    void build();
    QString directory_;
    QPointer<TFileListBox> fileList_;
};

// File list: the regular files of Directory whose names match Mask ("*.txt;*.dan;":
// patterns separated by ';', empty ones ignored, matched ignoring case), sorted by
// name ignoring case. Reading the list (Update, a new Directory or Mask) makes
// Directory the process's current directory, as the class library does. Setting the
// folder it already has does nothing. ItemIndex set from code runs no
// handler; OnClick runs when the user selects a file (mouse or keys), OnDblClick on a
// double click.
class TFileListBox : public TControlT<QListWidget> {
public:
    explicit TFileListBox(QWidget* parent);
    const QString& Directory() const { return directory_; }
    void SetDirectory(const QString& directory);
    const QString& Mask() const { return mask_; }
    void SetMask(const QString& mask);
    // Full path of the selected file; empty when none is selected.
    QString FileName() const;
    // Selects the file with that name (a bare name or a path in Directory), or none.
    void SetFileName(const QString& fileName);
    int ItemIndex() const { return currentRow(); }
    void SetItemIndex(int index);
    QStringList Items() const;
    int ItemCount() const { return count(); }
    // Reads the folder again (and makes it current); keeps the selected name if present.
    void Update();
    TNotifyEvent OnClick;
    TNotifyEvent OnDblClick;

protected:
    void keyPressEvent(QKeyEvent* e) override;

private:
    void read();
    QString directory_;
    QString mask_ = QStringLiteral("*.*");
};

// The lines of a memo as the class library's text list has them: a trailing line
// break makes no extra line, an empty memo has no lines. Lines written so are changes
// from code, which the user cannot undo (VclMemo.h).
class TMemoLines {
public:
    explicit TMemoLines(TMemo* memo) : memo_(memo) {}
    int Count() const;
    QString operator[](int index) const { return Get(index); }
    QString Get(int index) const;
    void Add(const QString& text);
    void Insert(int index, const QString& text);
    void Delete(int index);
    void Clear();
    QString Text() const; // lines joined by line feeds, each one ended
    QStringList ToList() const;
    void Assign(const QStringList& lines);

private:
    TMemo* memo_;
};
inline TMemoLines Lines(TMemo* memo) { return TMemoLines(memo); }

// Grid cells addressed (column, row) as the class library does; missing items read
// as empty and are created when written.
QString Cell(const QTableWidget* grid, int col, int row);
void SetCell(QTableWidget* grid, int col, int row, const QString& text);

} // namespace vcl
