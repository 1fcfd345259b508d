#pragma once
// Memo: the class library's multi-line edit. Its lines are kept in a TextLines, one
// byte a character, so that a text list showing a data file of millions of lines costs
// little more than the file; only the lines in view are ever turned into QStrings and
// drawn. Lines are not wrapped, and the font is taken as fixed-pitch: every character
// takes the width of one cell. A memo starts with the system's fixed-pitch font.
//
// The text is read and written as in a plain text edit (setPlainText, appendPlainText,
// toPlainText, clear) and as the class library's text list (Lines(memo), VclLists.h).
// The user edits it with the keys and the mouse as in a plain text edit: caret,
// selection, the clipboard commands, undo and redo, and the context menu.
//
// Only the user's own edits can be undone. A change from code (a line added, the text
// replaced) ends what the user could undo before it: kept in the history, every line a
// program adds for days would stay in memory, and an undo could take a reading away.

#include "platform/TextLines.h"
#include "platform/VclCore.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace vcl {

class TMemo : public TControlT<QAbstractScrollArea> {
public:
    explicit TMemo(QWidget* parent = nullptr);

    // The lines joined by line feeds.
    QString toPlainText() const { return text_.text(); }
    // Replaces the text; the view goes back to its start.
    void setPlainText(const QString& text);
    // Adds text as a new paragraph after the last one (into an empty memo as its
    // first). A view that showed the end goes on showing it.
    void appendPlainText(const QString& text);
    void clear() { setPlainText(QString()); }
    // Replaces the text with 8-bit text (code page 1250) as a file holds it, keeping
    // the bytes as they are (see TextLines::setAnsiText).
    void SetAnsiText(QByteArray bytes);
    // Line index's 8-bit text (see TextLines::ansiLine).
    std::string_view AnsiLine(int index, std::string& scratch) const { return text_.ansiLine(index, scratch); }
    const platform::TextLines& Text() const { return text_; }

    bool isReadOnly() const { return readOnly_; }
    void setReadOnly(bool readOnly);
    // Lines stand at the left edge (Qt::AlignLeft, the default) or the right one.
    Qt::Alignment Alignment() const { return alignment_; }
    void SetAlignment(Qt::Alignment alignment);

    // Runs after every change of the text: the user's edits, undo and redo (an error
    // goes to the error box), and changes from code (the error reaches that code).
    TNotifyEvent OnChange;

    // The user's edits taken back and done again, as the keys and the menu do it.
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    void Undo();
    void Redo();

    // The lines as the class library's text list has them: a final line break makes
    // no extra line, an empty memo has none. Indexes out of range do nothing (and
    // read as empty). A line added at the end is followed into view as above.
    int LineCount() const;
    QString Line(int index) const;
    void SetLine(int index, const QString& text);
    void InsertLine(int index, const QString& text);
    void DeleteLine(int index);
    QStringList LineList() const;

    // Caret and selection; the selection runs from the anchor to the caret.
    platform::TextPos CaretPos() const { return caret_; }
    void SetCaretPos(platform::TextPos pos, bool keepAnchor = false);
    QString SelectedText() const;
    void SelectAll();
    // First line in view.
    int TopLine() const;
    // Where a place in the text is drawn, relative to the viewport (its top left).
    QPoint PointOf(platform::TextPos pos) const;
    // Room left blank around the text inside the viewport, in pixels.
    static constexpr int TextMargin = 4;

protected:
    void paintEvent(QPaintEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void changeEvent(QEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;
    void inputMethodEvent(QInputMethodEvent* e) override;
    QVariant inputMethodQuery(Qt::InputMethodQuery query) const override;
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    enum class Move { NextChar, PreviousChar, NextWord, PreviousWord, NextLine, PreviousLine, NextPage,
                      PreviousPage, StartOfLine, EndOfLine, StartOfText, EndOfText };

    // How a user's edit joins the one before it in the history, as in a plain text edit:
    // typing (with nothing selected) goes on the step it continues, Backspace and Delete
    // on the deletion they continue; anything else starts a step of its own, which
    // typing may then go on.
    enum class EditKind { Typing, Deleting, Other };
    // One step of the history: removed was replaced by inserted at from. The ends are
    // those of the removed text before the step and of the inserted one after it.
    struct Step {
        platform::TextPos from, removedEnd, insertedEnd;
        QString removed, inserted;
        bool open = true;   // a later edit may join it
    };

    // Replaces the selection (or inserts at the caret) with text, as the user's edits do.
    void edit(const QString& text, EditKind kind = EditKind::Other);
    void record(const Step& step, EditKind kind);
    void applyStep(platform::TextPos from, platform::TextPos to, const QString& text, platform::TextPos caret);
    // Replaces a stretch of the text from code; the caret stays within the text.
    void replaceFromCode(platform::TextPos from, platform::TextPos to, const QString& text);
    // After a change of the text: scroll bars, view, caret, then OnChange.
    void textChanged(bool followEnd, bool byUser);
    void forgetHistory();
    QString textBetween(platform::TextPos from, platform::TextPos to) const;
    // Where column 0 of a line is drawn, relative to the viewport.
    double lineX(int line) const;
    bool showsEnd() const;
    platform::TextPos moved(platform::TextPos from, Move move) const;
    platform::TextPos posAt(QPoint point) const;
    platform::TextPos selectionStart() const { return std::min(anchor_, caret_); }
    platform::TextPos selectionEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
    bool hasSelection() const { return !(anchor_ == caret_); }
    void copy() const;
    void ensureCaretVisible();
    void updateScrollBars();
    void updateMetrics();
    void restartBlink();
    int rowsInView() const;

    platform::TextLines text_;
    platform::TextPos caret_;
    platform::TextPos anchor_;
    int goalColumn_ = -1;   // column kept while the caret moves up and down
    bool readOnly_ = false;
    Qt::Alignment alignment_ = Qt::AlignLeft;
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    bool caretShown_ = true;
    QBasicTimer blink_;
    double cellWidth_ = 8.0;
    int lineHeight_ = 16;
    int ascent_ = 12;
};

} // namespace vcl
