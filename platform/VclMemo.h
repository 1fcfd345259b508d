#pragma once
// Memo: the class library's multi-line edit. Its lines are kept in a TextLines, one
// byte a character, so that a text list showing a data file of millions of lines costs
// little more than the file; only the lines in view are ever turned into QStrings and
// drawn. Lines are not wrapped, and the font is taken as fixed-pitch: every character
// takes the width of one cell.
//
// The text is read and written as in a plain text edit (setPlainText, appendPlainText,
// toPlainText, clear) and as the class library's text list (Lines(memo), VclLists.h).
// The user edits it with the keys and the mouse as in a plain text edit: caret,
// selection, the clipboard commands and the context menu; there is no undo.

#include "platform/TextLines.h"
#include "platform/VclCore.h"

#include <QAbstractScrollArea>
#include <QBasicTimer>
#include <QStringList>

#include <string>
#include <string_view>

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

    // Replaces the selection (or inserts at the caret) with text, as the user's edits do.
    void edit(const QString& text);
    // Replaces a stretch of the text from code; the caret stays within the text.
    void replaceFromCode(platform::TextPos from, platform::TextPos to, const QString& text);
    // After a change of the text: scroll bars, view, caret.
    void textChanged(bool followEnd);
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
    bool caretShown_ = true;
    QBasicTimer blink_;
    double cellWidth_ = 8.0;
    int lineHeight_ = 16;
    int ascent_ = 12;
    static constexpr int margin_ = 4;
};

} // namespace vcl
