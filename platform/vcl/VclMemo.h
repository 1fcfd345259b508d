#pragma once
// Memo: the class library's multi-line edit. Its lines are kept in a TextLines, one
// byte a character, so that a text list showing a data file of millions of lines costs
// little more than the file; only the lines in view are ever turned into QStrings and
// drawn.
//
// A memo starts with the application's font, as a plain text edit does. In a
// fixed-pitch font and without word wrap every character takes one cell, and only the
// cells in view of a line are drawn, however long the line is. Otherwise the lines in
// view are laid out as a plain text edit lays out its paragraphs. With word wrap (the
// class library's WordWrap) a line takes as many rows as it needs at the view's width;
// the keys, the mouse and the scroll bar go by these rows, and a line that was never in
// view counts as one row until it is, as in a plain text edit. A line of more than a
// few thousand characters is wrapped piece by piece, each piece starting a row of its
// own, so that a file's worth of text on one line costs only the pieces in view.
//
// The text is read and written as in a plain text edit (setPlainText, appendPlainText,
// toPlainText, clear) and as the class library's text list (Lines(memo), VclLists.h).
// The user edits it with the keys and the mouse as in a plain text edit: caret,
// selection, the clipboard commands, the X11 selection (selected text is offered to
// other programs, a middle click pastes theirs), dragging text, undo and redo, and the
// context menu.
//
// Only the user's own edits can be undone. A change from code (a line added, the text
// replaced) ends what the user could undo before it: kept in the history, every line a
// program adds for days would stay in memory, and an undo could take a reading away.

#include "platform/text/TextLines.h"
#include "platform/vcl/VclCore.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QElapsedTimer>
#include <QStringList>

#include <compare>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

class QMimeData;
class QTextLayout;
class QTextLine;

namespace vcl {

class TMemo : public TControlT<QAbstractScrollArea> {
public:
    explicit TMemo(QWidget* parent = nullptr);
    ~TMemo() override;

    // The fixed-pitch font of the forms' text lists and logs: Courier New, as they were
    // designed with, else the system's fixed-pitch font.
    static QFont FixedPitchFont();

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
    // Long lines wrap at the view's width, at a blank where there is one, else anywhere.
    // Off by default: long lines scroll sideways.
    void SetWordWrap(bool wrap);

    // Runs after every change of the text: the user's edits, undo and redo (an error
    // goes to the error box), and changes from code (the error reaches that code).
    TNotifyEvent OnChange;

    // The user's edits taken back and done again, as the keys and the menu do it. On by
    // default, as in a plain text edit; switched off, the history is dropped and the
    // keys and the menu undo nothing.
    void setUndoRedoEnabled(bool enabled);
    bool CanUndo() const { return !undo_.empty(); }
    bool CanRedo() const { return !redo_.empty(); }
    void Undo();
    void Redo();

    // The lines as the class library's text list has them: a final line break makes
    // no extra line, an empty memo has none. Indexes out of range do nothing (and
    // read as empty). A line added at the end is followed into view as above.
    int LineCount() const;
    QString Line(int index) const;
    void InsertLine(int index, const QString& text);
    void DeleteLine(int index);
    QStringList LineList() const;

    // Caret and selection; the selection runs from the anchor to the caret.
    platform::TextPos CaretPos() const { return caret_; }
    void SetCaretPos(platform::TextPos pos, bool keepAnchor = false);
    QString SelectedText() const;
    void SelectAll();
    // The line of the first row in view.
    int TopLine() const { return top_.line; }
    // Where a place in the text is drawn, relative to the viewport (its top left): the
    // left edge of the character that starts there, at the top of its row.
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
    void mouseReleaseEvent(QMouseEvent* e) override;
    void mouseDoubleClickEvent(QMouseEvent* e) override;
    void contextMenuEvent(QContextMenuEvent* e) override;
    void dragEnterEvent(QDragEnterEvent* e) override;
    void dragMoveEvent(QDragMoveEvent* e) override;
    void dragLeaveEvent(QDragLeaveEvent* e) override;
    void dropEvent(QDropEvent* e) override;
    void focusInEvent(QFocusEvent* e) override;
    void focusOutEvent(QFocusEvent* e) override;
    void timerEvent(QTimerEvent* e) override;
    void scrollContentsBy(int dx, int dy) override;
    bool focusNextPrevChild(bool next) override;

private:
    enum class Move {
        NextChar,
        PreviousChar,
        NextWord,
        PreviousWord,
        NextLine,
        PreviousLine,
        NextPage,
        PreviousPage,
        StartOfLine,
        EndOfLine,
        StartOfText,
        EndOfText
    };

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
        bool open = true; // a later edit may join it
    };

    // A row on the screen: row `sub` of a line (0 unless the line wraps).
    struct Row {
        int line = 0;
        int sub = 0;
        friend auto operator<=>(const Row&, const Row&) = default;
    };
    // The laid-out piece of a line that holds a row: which piece, the row within it
    // and the rows of the pieces before it.
    struct Piece {
        const QTextLayout* layout = nullptr;
        int piece = 0;
        int row = 0;
        int before = 0;
    };
    // A row's text: its columns in its line and, unless the line is drawn in cells,
    // the layout it is a line of.
    struct RowText {
        const QTextLayout* layout = nullptr;
        int lineInLayout = 0;
        int pieceStart = 0; // the column the layout's text starts at
        int start = 0;
        int length = 0;
    };
    // What is known of a wrapped line that takes more than one row or piece: the rows
    // of each piece once laid out (0 before), and its rows beyond the first.
    struct WrappedLine {
        std::vector<int> pieceRows;
        int extraRows = 0;
    };

    // Replaces the selection (or inserts at the caret) with text, as the user's edits do.
    void edit(const QString& text, EditKind kind = EditKind::Other);
    // Replaces from..to with text as one step of the user's (a drop, a middle click).
    void editRange(platform::TextPos from, platform::TextPos to, const QString& text, platform::TextPos caret,
                   platform::TextPos anchor);
    void record(const Step& step, EditKind kind);
    void applyStep(platform::TextPos from, platform::TextPos to, const QString& text, platform::TextPos caret);
    // Replaces a stretch of the text from code; the caret stays within the text.
    void replaceFromCode(platform::TextPos from, platform::TextPos to, const QString& text);
    // The one way the text changes: the layout learns which lines changed.
    platform::TextPos replaceText(platform::TextPos from, platform::TextPos to, const QString& text);
    // After a change of the text: scroll bars, view, caret, then OnChange.
    void textChanged(bool followEnd, bool byUser);
    // After the whole text was set: the view at its start, no history.
    void textReplaced();
    void forgetHistory();
    QString textBetween(platform::TextPos from, platform::TextPos to) const;
    // The characters from..to, line breaks counted as one, or any number past the
    // longest edit the history keeps.
    qsizetype charsBetween(platform::TextPos from, platform::TextPos to) const;
    bool showsEnd() const;
    platform::TextPos moved(platform::TextPos from, Move move);
    platform::TextPos posAt(QPoint point) const;
    platform::TextPos selectionStart() const { return std::min(anchor_, caret_); }
    platform::TextPos selectionEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
    bool hasSelection() const { return !(anchor_ == caret_); }
    void copy() const;
    // Offers the selection to other programs as the X11 selection, where there is one.
    void offerSelection() const;
    void paste(const QMimeData* data);
    void ensureCaretVisible();
    void updateScrollBars();
    // Has the scroll bars updated after a paint that found rows they lack.
    void postScrollBarUpdate();
    void updateMetrics();
    void restartBlink();

    // ---- Rows
    // Lines are drawn in cells when the font is fixed-pitch and nothing wraps.
    bool inCells() const { return cells_ && !wrap_; }
    // Forgets every line's layout and rows (a new text, font, alignment or wrap).
    void resetLayout();
    // Forgets the rows the lines were laid out in (a new width).
    void forgetRows();
    // Lines first..first+removed-1 became lines first..first+inserted-1.
    void linesChanged(int first, int removed, int inserted);
    void noteLongLines(int first, int count);
    void noteRows(int line, int piece, int rows) const;
    int pieceCount(int line) const;
    // Rows of the pieces of a line before the piece given, as far as they are known.
    int rowsBefore(int line, int piece) const;
    Piece pieceFor(Row row) const;
    const QTextLayout& pieceLayout(int line, int piece) const;
    // The row's place among all rows: what the vertical scroll bar counts.
    int rowIndex(Row row) const;
    Row rowAtIndex(int index) const;
    Row rowOf(platform::TextPos pos) const;
    Row lastRowOf(int line) const;
    Row lastRow() const { return lastRowOf(text_.count() - 1); }
    // The row n rows below (above, for n < 0), within the text; taken tells how many
    // rows it went.
    Row stepped(Row row, int n, int* taken = nullptr) const;
    RowText rowText(Row row) const;
    // Where a column of a row is drawn, relative to the text's left edge, and back.
    double xOf(const RowText& row, int line, int column) const;
    int columnAt(const RowText& row, int line, double x) const;
    // How far right a line in cells stands (right alignment).
    double cellOffset(int line) const;
    // The text's left edge relative to the viewport.
    double textLeft() const;
    // Where the first row in view is drawn: below the margin at the text's start, at the
    // view's top edge further down, as in a plain text edit; and where a row is drawn.
    int topY() const;
    int rowY(Row row) const;
    // The rows of the last page, and the row it starts at.
    int lastPageRows() const;
    Row lastPageTop() const;
    // The view starts at row top (at most the last page's first).
    void setTop(Row top);
    void turnPage(bool down);
    // The mouse with the button held: the caret goes where it points.
    void selectTo(QPoint point);
    void autoScrollStep();
    void startDrag();
    void trimLayouts() const;

    platform::TextLines text_;
    platform::TextPos caret_;
    platform::TextPos anchor_;
    double goalX_ = -1; // where the caret goes on other rows as it moves up and down
    bool readOnly_ = false;
    bool undoEnabled_ = true;
    bool wrap_ = false;
    bool cells_ = false; // the font is fixed-pitch
    Qt::Alignment alignment_ = Qt::AlignLeft;
    std::vector<Step> undo_;
    std::vector<Step> redo_;
    bool caretShown_ = true;
    QBasicTimer blink_;
    double cellWidth_ = 8.0;
    int lineHeight_ = 16;
    double ascent_ = 12; // the baseline below a row's top, where a plain text edit puts it

    Row top_;
    bool syncingBar_ = false;
    // Where the caret stood in the view when pages began to turn, and where the last
    // turn left it.
    bool pageTurned_ = false;
    int pageY_ = 0;
    platform::TextPos pageCaret_;
    // The pieces of lines laid out, by line and piece; a bounded cache.
    mutable std::map<std::pair<int, int>, std::unique_ptr<QTextLayout>> layouts_;
    mutable qsizetype layoutChars_ = 0;
    // Wrapped lines known to take more than one row, and those of more than one piece.
    mutable std::map<int, WrappedLine> wrapped_;
    mutable int extraRows_ = 0;
    mutable double widest_ = 0;        // the widest line laid out without wrap
    mutable bool rowsChanged_ = false; // laying out found rows the scroll bars lack
    bool rowsUpdatePosted_ = false;
    int layoutWidth_ = -1; // the viewport's width the lines were laid out for

    // The mouse: a press in the selection may start dragging it; a third click in a row
    // selects the line.
    bool pressed_ = false;
    QBasicTimer autoScroll_;
    bool mightDrag_ = false;
    QPoint pressPoint_;
    QElapsedTimer doubleClicked_;
    QPoint doubleClickPoint_;
    bool dropCaretShown_ = false;
    platform::TextPos dropCaret_;
};

} // namespace vcl
