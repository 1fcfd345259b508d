#include "platform/vcl/VclMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QCursor>
#include <QDrag>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTextBoundaryFinder>
#include <QTextLayout>
#include <QTimer>

#include <algorithm>
#include <cmath>

namespace vcl {

using platform::TextPos;

namespace {

// Word boundaries as a plain text edit finds them ("21.5" is one word).
int wordStartBefore(const QString& line, int column)
{
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, line);
    words.setPosition(column);
    while (words.toPreviousBoundary() > 0 && !(words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) {}
    return std::max(0, int(words.position()));
}

int wordStartAfter(const QString& line, int column)
{
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, line);
    words.setPosition(column);
    while (words.toNextBoundary() >= 0 && words.position() < line.size() &&
           !(words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) {}
    return words.position() < 0 ? int(line.size()) : int(words.position());
}

// A step longer than this is not kept: its text would take the memory of a whole file
// (a text list holds millions of lines), so such an edit ends the history instead.
constexpr qsizetype maxStepChars = qsizetype(1) << 20;

// A wrapped line is laid out in pieces of this many characters, each starting a row.
constexpr int wrapPieceChars = 4096;

// Laid-out lines kept for drawing, in characters; past it the cache starts afresh.
constexpr qsizetype maxCachedLayoutChars = qsizetype(1) << 18;

bool isLineBreak(QChar c) { return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator; }

bool hasLineBreak(const QString& text) { return std::any_of(text.begin(), text.end(), isLineBreak); }

// The place a text without line breaks ends at when it starts at from.
TextPos after(TextPos from, qsizetype length) { return {from.line, from.column + int(length)}; }

// The place text ends at when it starts at from, its line breaks counted as the text
// list counts them (CR LF is one).
TextPos endOf(TextPos from, const QString& text)
{
    TextPos end = from;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isLineBreak(text[i])) {
            ++end.column;
            continue;
        }
        if (text[i] == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        end = {end.line + 1, 0};
    }
    return end;
}

// The captions of a plain text edit's menu, in the application's language.
QString menuText(const char* text, QKeySequence::StandardKey key)
{
    QString caption = QCoreApplication::translate("QWidgetTextControl", text);
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    if (!shortcut.isEmpty())
        caption += QLatin1Char('\t') + shortcut;
    return caption;
}

// The selection as other programs take it: its text is made only when one of them asks
// for it, so that selecting a whole data file costs nothing until it is pasted.
class SelectionData : public QMimeData {
public:
    SelectionData(std::function<QString()> text) : text_(std::move(text)) {}
    QStringList formats() const override { return {QStringLiteral("text/plain")}; }
    bool hasFormat(const QString& mimeType) const override { return mimeType == QLatin1String("text/plain"); }

protected:
    QVariant retrieveData(const QString& mimeType, QMetaType type) const override
    {
        if (mimeType != QLatin1String("text/plain"))
            return QMimeData::retrieveData(mimeType, type);
        const QString text = text_();
        if (type.id() == QMetaType::QByteArray)
            return text.toUtf8();
        return text;
    }

private:
    std::function<QString()> text_;
};

} // namespace

TMemo::TMemo(QWidget* parent) : TControlT<QAbstractScrollArea>(parent)
{
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    setAcceptDrops(true);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    updateMetrics();
    resize(185, 89);
}

TMemo::~TMemo() = default;

QFont TMemo::FixedPitchFont()
{
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies({QStringLiteral("Courier New"), fixed.family()});
    return fixed;
}

// ---- Text

void TMemo::setPlainText(const QString& text)
{
    text_.setText(text);
    textReplaced();
}

void TMemo::SetAnsiText(QByteArray bytes)
{
    text_.setAnsiText(std::move(bytes));
    textReplaced();
}

void TMemo::textReplaced()
{
    caret_ = anchor_ = TextPos{};
    goalX_ = -1;
    top_ = Row{};
    resetLayout();
    horizontalScrollBar()->setValue(0);
    forgetHistory();
    textChanged(false, false);
}

void TMemo::appendPlainText(const QString& text)
{
    const bool follow = showsEnd();
    if (text_.empty())
        replaceText(TextPos{}, text_.end(), text);
    else
        replaceText(text_.end(), text_.end(), QLatin1Char('\n') + text);
    forgetHistory();
    textChanged(follow, false);
}

void TMemo::replaceFromCode(TextPos from, TextPos to, const QString& text)
{
    const bool follow = showsEnd();
    replaceText(from, to, text);
    forgetHistory();
    textChanged(follow, false);
}

TextPos TMemo::replaceText(TextPos from, TextPos to, const QString& text)
{
    from = text_.clamp(from);
    to = text_.clamp(to);
    if (to < from)
        std::swap(from, to);
    const TextPos end = text_.replace(from, to, text);
    linesChanged(from.line, to.line - from.line + 1, end.line - from.line + 1);
    return end;
}

void TMemo::forgetHistory()
{
    undo_.clear();
    redo_.clear();
}

void TMemo::setUndoRedoEnabled(bool enabled)
{
    undoEnabled_ = enabled;
    if (!enabled)
        forgetHistory();
}

void TMemo::setReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    viewport()->update();
}

void TMemo::SetAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    resetLayout();
    updateScrollBars();
    viewport()->update();
}

void TMemo::SetWordWrap(bool wrap)
{
    if (wrap == wrap_)
        return;
    wrap_ = wrap;
    top_.sub = 0;
    resetLayout();
    horizontalScrollBar()->setValue(0);
    updateScrollBars();
    ensureCaretVisible();
    viewport()->update();
}

int TMemo::LineCount() const
{
    if (text_.empty())
        return 0;
    const int blocks = text_.count();
    return text_.length(blocks - 1) == 0 ? blocks - 1 : blocks;
}

QString TMemo::Line(int index) const { return index >= 0 && index < LineCount() ? text_.line(index) : QString(); }

void TMemo::InsertLine(int index, const QString& text)
{
    const int n = LineCount();
    if (index < 0 || index > n)
        return;
    if (index < n)
        replaceFromCode({index, 0}, {index, 0}, text + QLatin1Char('\n'));
    // Each line keeps its line break, so the next line goes after it.
    else if (text_.empty() || text_.length(text_.count() - 1) == 0)
        replaceFromCode(text_.end(), text_.end(), text + QLatin1Char('\n'));
    else
        replaceFromCode(text_.end(), text_.end(), QLatin1Char('\n') + text + QLatin1Char('\n'));
}

void TMemo::DeleteLine(int index)
{
    if (index < 0 || index >= LineCount())
        return;
    if (index + 1 < text_.count())
        replaceFromCode({index, 0}, {index + 1, 0}, QString());
    // The last line has no line break after it: take the one before it.
    else if (index > 0)
        replaceFromCode({index - 1, text_.length(index - 1)}, text_.end(), QString());
    else
        replaceFromCode({}, text_.end(), QString());
}

QStringList TMemo::LineList() const
{
    QStringList lines;
    const int n = LineCount();
    lines.reserve(n);
    for (int i = 0; i < n; ++i)
        lines << text_.line(i);
    return lines;
}

bool TMemo::showsEnd() const { return verticalScrollBar()->value() >= verticalScrollBar()->maximum(); }

void TMemo::textChanged(bool followEnd, bool byUser)
{
    caret_ = text_.clamp(caret_);
    anchor_ = text_.clamp(anchor_);
    updateScrollBars();
    if (followEnd)
        setTop(lastRow());
    viewport()->update();
    if (byUser)
        Fire(OnChange, this);
    else
        FireFromCode(OnChange, this);
}

// ---- Caret and selection

void TMemo::SetCaretPos(TextPos pos, bool keepAnchor)
{
    caret_ = text_.clamp(pos);
    if (!keepAnchor)
        anchor_ = caret_;
    goalX_ = -1;
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
}

QString TMemo::SelectedText() const { return textBetween(selectionStart(), selectionEnd()); }

qsizetype TMemo::charsBetween(TextPos from, TextPos to) const
{
    // Counted only as far as past maxStepChars: a selection may hold millions of lines.
    qsizetype chars = to.column - from.column;
    for (int i = from.line; i < to.line && chars <= maxStepChars; ++i)
        chars += text_.length(i) + 1;
    return chars;
}

QString TMemo::textBetween(TextPos a, TextPos b) const
{
    a = text_.clamp(a);
    b = text_.clamp(b);
    if (a.line == b.line)
        return text_.slice(a.line, a.column, b.column - a.column);
    QString text = text_.line(a.line).mid(a.column);
    for (int i = a.line + 1; i < b.line; ++i)
        text += QLatin1Char('\n') + text_.line(i);
    return text + QLatin1Char('\n') + text_.line(b.line).left(b.column);
}

void TMemo::SelectAll()
{
    anchor_ = TextPos{};
    caret_ = text_.end();
    viewport()->update();
}

QPoint TMemo::PointOf(TextPos pos) const
{
    pos = text_.clamp(pos);
    const Row row = rowOf(pos);
    const double x = textLeft() + xOf(rowText(row), pos.line, pos.column);
    return QPoint(int(std::lround(x)), rowY(row));
}

TextPos TMemo::posAt(QPoint point) const
{
    // Above the first row and below the last one are the text's start and end, as in a
    // plain text edit.
    const int rows = int(std::floor(double(point.y() - topY()) / lineHeight_));
    int taken = 0;
    const Row row = stepped(top_, rows, &taken);
    if (taken > rows)
        return TextPos{};
    if (taken < rows)
        return text_.end();
    return {row.line, columnAt(rowText(row), row.line, point.x() - textLeft())};
}

void TMemo::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemo::offerSelection() const
{
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!hasSelection() || !clipboard->supportsSelection())
        return;
    // Taken as it reads now: lines may be added or cut before another program pastes
    // it. Only a selection too long to copy at every move of the mouse (a whole data
    // file) is read when it is asked for.
    const TextPos from = selectionStart(), to = selectionEnd();
    if (charsBetween(from, to) <= maxStepChars) {
        auto* data = new QMimeData;
        data->setText(textBetween(from, to));
        clipboard->setMimeData(data, QClipboard::Selection);
        return;
    }
    const QPointer<const TMemo> memo(this);
    clipboard->setMimeData(
        new SelectionData([memo, from, to] { return memo ? memo->textBetween(from, to) : QString(); }),
        QClipboard::Selection);
}

void TMemo::paste(const QMimeData* data)
{
    if (data && data->hasText())
        edit(data->text());
}

void TMemo::edit(const QString& text, EditKind kind)
{
    if (readOnly_)
        return;
    const bool follow = showsEnd() && caret_.line == text_.count() - 1;
    const TextPos from = selectionStart(), to = selectionEnd();
    // The history keeps what it can hold; a longer edit is done and ends it.
    const bool kept = undoEnabled_ && charsBetween(from, to) <= maxStepChars && text.size() <= maxStepChars;
    Step step;
    step.from = from;
    step.removedEnd = to;
    if (kept) {
        step.removed = textBetween(from, to);
        step.inserted = text;
    }
    caret_ = anchor_ = step.insertedEnd = replaceText(from, to, text);
    goalX_ = -1;
    if (kept)
        record(step, kind);
    else
        forgetHistory();
    textChanged(follow, true);
    ensureCaretVisible();
    restartBlink();
}

void TMemo::editRange(TextPos from, TextPos to, const QString& text, TextPos caret, TextPos anchor)
{
    if (readOnly_)
        return;
    // One step of the history, as an edit of the selection from..to.
    anchor_ = from;
    caret_ = to;
    edit(text);
    caret_ = text_.clamp(caret);
    anchor_ = text_.clamp(anchor);
    ensureCaretVisible();
    viewport()->update();
}

void TMemo::record(const Step& step, EditKind kind)
{
    if (step.removed.isEmpty() && step.inserted.isEmpty())
        return;
    redo_.clear();
    if (!undo_.empty() && kind != EditKind::Other) {
        Step& last = undo_.back();
        const bool plain = !hasLineBreak(step.removed) && !hasLineBreak(step.inserted) && !hasLineBreak(last.removed) &&
                           !hasLineBreak(last.inserted);
        if (last.open && plain && kind == EditKind::Typing && !last.inserted.isEmpty() &&
            last.insertedEnd == step.from) {
            last.inserted += step.inserted;
            last.insertedEnd = step.insertedEnd;
            if (last.inserted.size() > maxStepChars)
                forgetHistory();
            return;
        }
        if (last.open && plain && kind == EditKind::Deleting && last.inserted.isEmpty() &&
            last.removed.size() + step.removed.size() <= maxStepChars) {
            if (step.from == last.from) { // Delete goes on to the right
                last.removed += step.removed;
                last.removedEnd = after(last.from, last.removed.size());
                return;
            }
            if (step.removedEnd == last.from) { // Backspace goes on to the left
                last.removed = step.removed + last.removed;
                last.from = last.insertedEnd = step.from;
                return;
            }
        }
    }
    undo_.push_back(step);
    // A line break is a step of its own, as in a plain text edit.
    undo_.back().open = !hasLineBreak(step.inserted);
}

void TMemo::applyStep(TextPos from, TextPos to, const QString& text, TextPos caret)
{
    const bool follow = showsEnd() && caret_.line == text_.count() - 1;
    replaceText(from, to, text);
    caret_ = anchor_ = caret;
    goalX_ = -1;
    textChanged(follow, true);
    ensureCaretVisible();
    restartBlink();
}

void TMemo::Undo()
{
    if (undo_.empty())
        return;
    Step step = std::move(undo_.back());
    undo_.pop_back();
    step.open = false;
    if (!undo_.empty())
        undo_.back().open = false;
    // Taken-back typing leaves the caret where it began, restored text with the caret after it.
    const TextPos caret = step.removed.isEmpty() ? step.from : step.removedEnd;
    const TextPos from = step.from, to = step.insertedEnd;
    const QString removed = step.removed;
    redo_.push_back(std::move(step));
    applyStep(from, to, removed, caret);
}

void TMemo::Redo()
{
    if (redo_.empty())
        return;
    Step step = std::move(redo_.back());
    redo_.pop_back();
    const TextPos from = step.from, to = step.removedEnd, caret = step.insertedEnd;
    const QString inserted = step.inserted;
    undo_.push_back(std::move(step));
    applyStep(from, to, inserted, caret);
}

TextPos TMemo::moved(TextPos from, Move move)
{
    const int lines = text_.count();
    TextPos to = from;
    switch (move) {
    case Move::NextChar:
        if (from.column < text_.length(from.line))
            ++to.column;
        else if (from.line + 1 < lines)
            to = {from.line + 1, 0};
        break;
    case Move::PreviousChar:
        if (from.column > 0)
            --to.column;
        else if (from.line > 0)
            to = {from.line - 1, text_.length(from.line - 1)};
        break;
    case Move::NextWord:
        if (from.column >= text_.length(from.line))
            return moved(from, Move::NextChar);
        to.column = wordStartAfter(text_.line(from.line), from.column);
        break;
    case Move::PreviousWord:
        if (from.column == 0)
            return moved(from, Move::PreviousChar);
        to.column = wordStartBefore(text_.line(from.line), from.column);
        break;
    case Move::NextLine:
    case Move::PreviousLine: {
        // To the row above or below, at the place on it nearest to where the caret
        // stood when it began to move up and down.
        const Row row = rowOf(from);
        if (goalX_ < 0)
            goalX_ = xOf(rowText(row), from.line, from.column);
        int taken = 0;
        const Row next = stepped(row, move == Move::NextLine ? 1 : -1, &taken);
        if (taken == 0)
            return from;
        return {next.line, columnAt(rowText(next), next.line, goalX_)};
    }
    case Move::NextPage:
    case Move::PreviousPage:
        break; // keyPressEvent turns the page
    case Move::StartOfLine:
        to.column = rowText(rowOf(from)).start;
        break;
    case Move::EndOfLine: {
        const RowText row = rowText(rowOf(from));
        to.column = row.start + row.length;
        // The blank a wrapped row ends with is the next row's start; stopping before it
        // keeps the caret on this row.
        if (row.layout && row.length > 0 && to.column < text_.length(from.line) &&
            row.layout->text().at(to.column - 1 - row.pieceStart).isSpace())
            --to.column;
        break;
    }
    case Move::StartOfText:
        to = {};
        break;
    case Move::EndOfText:
        to = text_.end();
        break;
    }
    return text_.clamp(to);
}

// ---- Keys and mouse

void TMemo::keyPressEvent(QKeyEvent* e)
{
    static const struct {
        QKeySequence::StandardKey key;
        Move move;
        bool select;
    } moves[] = {
        {QKeySequence::MoveToNextChar, Move::NextChar, false},
        {QKeySequence::MoveToPreviousChar, Move::PreviousChar, false},
        {QKeySequence::MoveToNextWord, Move::NextWord, false},
        {QKeySequence::MoveToPreviousWord, Move::PreviousWord, false},
        {QKeySequence::MoveToNextLine, Move::NextLine, false},
        {QKeySequence::MoveToPreviousLine, Move::PreviousLine, false},
        {QKeySequence::MoveToNextPage, Move::NextPage, false},
        {QKeySequence::MoveToPreviousPage, Move::PreviousPage, false},
        {QKeySequence::MoveToStartOfLine, Move::StartOfLine, false},
        {QKeySequence::MoveToEndOfLine, Move::EndOfLine, false},
        {QKeySequence::MoveToStartOfDocument, Move::StartOfText, false},
        {QKeySequence::MoveToEndOfDocument, Move::EndOfText, false},
        {QKeySequence::SelectNextChar, Move::NextChar, true},
        {QKeySequence::SelectPreviousChar, Move::PreviousChar, true},
        {QKeySequence::SelectNextWord, Move::NextWord, true},
        {QKeySequence::SelectPreviousWord, Move::PreviousWord, true},
        {QKeySequence::SelectNextLine, Move::NextLine, true},
        {QKeySequence::SelectPreviousLine, Move::PreviousLine, true},
        {QKeySequence::SelectNextPage, Move::NextPage, true},
        {QKeySequence::SelectPreviousPage, Move::PreviousPage, true},
        {QKeySequence::SelectStartOfLine, Move::StartOfLine, true},
        {QKeySequence::SelectEndOfLine, Move::EndOfLine, true},
        {QKeySequence::SelectStartOfDocument, Move::StartOfText, true},
        {QKeySequence::SelectEndOfDocument, Move::EndOfText, true},
    };
    trimLayouts();
    // Whatever the key selected is offered to other programs, as a plain text edit does.
    struct Offer {
        TMemo* memo;
        ~Offer() { memo->offerSelection(); }
    } offer{this};
    if (e->matches(QKeySequence::Undo)) {
        if (!readOnly_)
            Undo();
        return;
    }
    if (e->matches(QKeySequence::Redo)) {
        if (!readOnly_)
            Redo();
        return;
    }
    for (const auto& m : moves) {
        if (!e->matches(m.key))
            continue;
        const bool vertical = m.move == Move::NextLine || m.move == Move::PreviousLine || m.move == Move::NextPage ||
                              m.move == Move::PreviousPage;
        if (!vertical)
            goalX_ = -1;
        const TextPos was = caret_;
        if (m.move == Move::NextPage || m.move == Move::PreviousPage) {
            turnPage(m.move == Move::NextPage);
        } else {
            caret_ = moved(caret_, m.move);
            // Selecting past the first or the last row takes the rest of the text, as in
            // a plain text edit.
            if (m.select && caret_ == was && m.move == Move::NextLine)
                caret_ = text_.end();
            if (m.select && caret_ == was && m.move == Move::PreviousLine)
                caret_ = TextPos{};
            ensureCaretVisible();
        }
        if (!m.select)
            anchor_ = caret_;
        restartBlink();
        viewport()->update();
        return;
    }
    if (e->matches(QKeySequence::SelectAll)) {
        SelectAll();
        return;
    }
    if (e->matches(QKeySequence::Copy)) {
        copy();
        return;
    }
    if (e->matches(QKeySequence::Cut)) {
        if (!readOnly_) {
            copy();
            edit(QString());
        }
        return;
    }
    if (e->matches(QKeySequence::Paste)) {
        QClipboard* clipboard = QGuiApplication::clipboard();
        // Ctrl+Shift+Insert pastes the X11 selection.
        const bool selection = clipboard->supportsSelection() && e->key() == Qt::Key_Insert &&
                               e->modifiers() == (Qt::ControlModifier | Qt::ShiftModifier);
        paste(clipboard->mimeData(selection ? QClipboard::Selection : QClipboard::Clipboard));
        return;
    }
    const struct {
        QKeySequence::StandardKey key;
        Move move;
    } deletions[] = {
        {QKeySequence::DeleteStartOfWord, Move::PreviousWord},
        {QKeySequence::DeleteEndOfWord, Move::NextWord},
        {QKeySequence::Delete, Move::NextChar},
    };
    for (const auto& d : deletions) {
        if (!e->matches(d.key))
            continue;
        const bool selected = hasSelection();
        if (!readOnly_ && !selected)
            anchor_ = moved(caret_, d.move);
        edit(QString(), selected ? EditKind::Other : EditKind::Deleting);
        return;
    }
    if (e->key() == Qt::Key_Backspace && !(e->modifiers() & ~Qt::ShiftModifier)) {
        const bool selected = hasSelection();
        if (!readOnly_ && !selected)
            anchor_ = moved(caret_, Move::PreviousChar);
        edit(QString(), selected ? EditKind::Other : EditKind::Deleting);
        return;
    }
    if (e->key() == Qt::Key_Return || e->key() == Qt::Key_Enter) {
        edit(QStringLiteral("\n"));
        return;
    }
    const QString typed = e->text();
    if (!typed.isEmpty() && (typed[0].isPrint() || typed[0] == QLatin1Char('\t')) &&
        !(e->modifiers() & Qt::ControlModifier)) {
        // Typed over a selection, the text starts a step of its own.
        edit(typed, hasSelection() ? EditKind::Other : EditKind::Typing);
        return;
    }
    e->ignore();
}

void TMemo::turnPage(bool down)
{
    // As in a plain text edit: the row that did not fit whole becomes the first (down),
    // or the view goes back by its height (up); the caret goes row by row until it
    // stands as low in the view as before (down) or as high (up). Where the view cannot
    // move, the caret goes to the last or the first row.
    ensureCaretVisible();
    const Row from = rowOf(caret_);
    if (goalX_ < 0)
        goalX_ = xOf(rowText(from), caret_.line, caret_.column);
    const int height = viewport()->height();
    // Pages turned in a row keep the place the caret had in the view before the first.
    if (!pageTurned_ || !(pageCaret_ == caret_))
        pageY_ = rowY(from);
    const int y = pageY_;
    Row to = from;
    if (down) {
        int below = 0;
        stepped(top_, (height - topY()) / lineHeight_, &below);
        // The rest fits with the margin below it: nothing to turn.
        if ((below + 1) * lineHeight_ + TextMargin <= height - topY()) {
            to = lastRow();
        } else {
            setTop(stepped(top_, (height - topY()) / lineHeight_));
            int taken = 0;
            do
                to = stepped(to, 1, &taken);
            while (taken == 1 && rowY(to) < y);
        }
    } else if (top_ == Row{}) {
        to = Row{};
    } else {
        setTop(stepped(top_, -((height + topY()) / lineHeight_)));
        int taken = 0;
        do
            to = stepped(to, -1, &taken);
        while (taken == -1 && rowY(to) > y);
    }
    caret_ = {to.line, columnAt(rowText(to), to.line, goalX_)};
    ensureCaretVisible();
    pageTurned_ = true;
    pageCaret_ = caret_;
}

bool TMemo::focusNextPrevChild(bool next)
{
    // Tab types a tab, as in a plain text edit; a read-only memo passes the focus on.
    return readOnly_ ? QAbstractScrollArea::focusNextPrevChild(next) : false;
}

void TMemo::inputMethodEvent(QInputMethodEvent* e)
{
    if (!e->commitString().isEmpty())
        edit(e->commitString());
    e->accept();
}

QVariant TMemo::inputMethodQuery(Qt::InputMethodQuery query) const
{
    switch (query) {
    case Qt::ImEnabled:
        return !readOnly_;
    case Qt::ImCursorRectangle:
        return QRect(PointOf(caret_), QSize(1, lineHeight_));
    case Qt::ImCursorPosition:
        return caret_.column;
    case Qt::ImSurroundingText:
        return text_.line(caret_.line);
    default:
        return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TMemo::mousePressEvent(QMouseEvent* e)
{
    mightDrag_ = false;
    if (e->button() != Qt::LeftButton)
        return;
    trimLayouts();
    const QPoint point = e->position().toPoint();
    pressPoint_ = point;
    const TextPos at = posAt(point);
    // A third click in a row selects the line with its line break.
    if (doubleClicked_.isValid() && doubleClicked_.elapsed() < QApplication::doubleClickInterval() &&
        (point - doubleClickPoint_).manhattanLength() < QApplication::startDragDistance()) {
        doubleClicked_.invalidate();
        anchor_ = {at.line, 0};
        caret_ = at.line + 1 < text_.count() ? TextPos{at.line + 1, 0} : TextPos{at.line, text_.length(at.line)};
        goalX_ = -1;
        ensureCaretVisible();
        viewport()->update();
        offerSelection();
        return;
    }
    // A press on selected text may start dragging it.
    const RowText row = rowText(rowOf(at));
    const bool onText = point.x() - textLeft() <= xOf(row, at.line, row.start + row.length);
    if (!(e->modifiers() & Qt::ShiftModifier) && hasSelection() && !(at < selectionStart()) && !(selectionEnd() < at) &&
        onText) {
        mightDrag_ = true;
        return;
    }
    pressed_ = true;
    SetCaretPos(at, e->modifiers() & Qt::ShiftModifier);
}

void TMemo::mouseMoveEvent(QMouseEvent* e)
{
    if (!(e->buttons() & Qt::LeftButton))
        return;
    const QPoint point = e->position().toPoint();
    if (mightDrag_) {
        if ((point - pressPoint_).manhattanLength() > QApplication::startDragDistance())
            startDrag();
        return;
    }
    if (!pressed_)
        return;
    // Within the view the selection follows the pointer and the view stays; outside
    // it, the view scrolls towards the pointer while the button is held.
    selectTo(point);
    if (viewport()->rect().contains(point))
        autoScroll_.stop();
    else if (!autoScroll_.isActive())
        autoScroll_.start(100, this);
}

void TMemo::selectTo(QPoint point)
{
    caret_ = posAt(point);
    goalX_ = -1;
    restartBlink();
    viewport()->update();
}

void TMemo::autoScrollStep()
{
    // As a plain text edit does: a row at a time, the sooner the farther the pointer is.
    const QPoint point = viewport()->mapFromGlobal(QCursor::pos());
    const QRect visible = viewport()->rect();
    selectTo(point);
    const int deltaY = std::max(point.y() - visible.top(), visible.bottom() - point.y()) - visible.height();
    const int deltaX = std::max(point.x() - visible.left(), visible.right() - point.x()) - visible.width();
    const int delta = std::max(deltaX, deltaY);
    if (delta < 0)
        return;
    autoScroll_.start(4900 / (std::max(delta, 7) * std::max(delta, 7)), this);
    if (deltaY > 0)
        verticalScrollBar()->triggerAction(point.y() < visible.center().y() ? QAbstractSlider::SliderSingleStepSub
                                                                            : QAbstractSlider::SliderSingleStepAdd);
    if (deltaX > 0)
        horizontalScrollBar()->triggerAction(point.x() < visible.center().x() ? QAbstractSlider::SliderSingleStepSub
                                                                              : QAbstractSlider::SliderSingleStepAdd);
    selectTo(point);
}

void TMemo::mouseReleaseEvent(QMouseEvent* e)
{
    const QPoint point = e->position().toPoint();
    if (e->button() == Qt::LeftButton) {
        if (mightDrag_) {
            // A click on the selection that dragged nothing.
            mightDrag_ = false;
            SetCaretPos(posAt(point));
        }
        autoScroll_.stop();
        if (pressed_) {
            pressed_ = false;
            offerSelection();
        }
        return;
    }
    // The middle button pastes the X11 selection where it points.
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (e->button() == Qt::MiddleButton && !readOnly_ && clipboard->supportsSelection()) {
        trimLayouts();
        caret_ = anchor_ = posAt(point);
        paste(clipboard->mimeData(QClipboard::Selection));
    }
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    mightDrag_ = false;
    pressed_ = false;
    const QPoint point = e->position().toPoint();
    const TextPos at = posAt(point);
    const QString line = text_.line(at.line);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, line);
    words.setPosition(at.column);
    const int begin = words.isAtBoundary() ? at.column : std::max(0, int(words.toPreviousBoundary()));
    words.setPosition(begin);
    const int end = begin < line.size() ? int(words.toNextBoundary()) : begin;
    anchor_ = {at.line, begin};
    caret_ = {at.line, end < 0 ? int(line.size()) : end};
    goalX_ = -1;
    doubleClicked_.start();
    doubleClickPoint_ = point;
    ensureCaretVisible();
    viewport()->update();
    offerSelection();
}

void TMemo::startDrag()
{
    mightDrag_ = false;
    pressed_ = false;
    auto* data = new QMimeData;
    data->setText(SelectedText());
    auto* drag = new QDrag(this);
    drag->setMimeData(data);
    const Qt::DropAction done = readOnly_ ? drag->exec(Qt::CopyAction, Qt::CopyAction)
                                          : drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::MoveAction);
    // Moved into another widget: it is gone from here. Moved within, the drop moved it.
    if (done == Qt::MoveAction && drag->target() != viewport() && drag->target() != this)
        edit(QString());
}

void TMemo::dragEnterEvent(QDragEnterEvent* e)
{
    if (readOnly_ || !e->mimeData()->hasText()) {
        e->ignore();
        return;
    }
    e->acceptProposedAction();
}

void TMemo::dragMoveEvent(QDragMoveEvent* e)
{
    if (readOnly_ || !e->mimeData()->hasText()) {
        e->ignore();
        return;
    }
    dropCaret_ = posAt(e->position().toPoint());
    dropCaretShown_ = true;
    viewport()->update();
    e->acceptProposedAction();
}

void TMemo::dragLeaveEvent(QDragLeaveEvent*)
{
    dropCaretShown_ = false;
    viewport()->update();
}

void TMemo::dropEvent(QDropEvent* e)
{
    dropCaretShown_ = false;
    viewport()->update();
    if (readOnly_ || !e->mimeData()->hasText()) {
        e->ignore();
        return;
    }
    const TextPos at = posAt(e->position().toPoint());
    const QString text = e->mimeData()->text();
    e->acceptProposedAction();
    if (e->dropAction() == Qt::MoveAction && e->source() == this && hasSelection()) {
        // The selection moved within the memo: one change of the stretch from the
        // selection to where it went, taken back by one undo.
        const TextPos from = selectionStart(), to = selectionEnd();
        const QString moving = textBetween(from, to);
        if (at < from) {
            const QString between = textBetween(at, from);
            editRange(at, to, moving + between, endOf(at, moving), endOf(at, moving));
        } else if (to < at) {
            const QString between = textBetween(to, at);
            const TextPos end = endOf(from, between + moving);
            editRange(from, at, between + moving, end, end);
        } else {
            SetCaretPos(to);
        }
        return;
    }
    const TextPos end = endOf(at, text);
    editRange(at, at, text, end, end);
}

void TMemo::contextMenuEvent(QContextMenuEvent* e)
{
    // The entries of a plain text edit's menu; a memo without undo offers none.
    QMenu menu(this);
    const bool selected = hasSelection();
    QAction* undo = nullptr;
    QAction* redo = nullptr;
    QAction* cut = nullptr;
    QAction* paste = nullptr;
    QAction* remove = nullptr;
    if (!readOnly_ && undoEnabled_) {
        undo = menu.addAction(menuText("&Undo", QKeySequence::Undo));
        undo->setEnabled(CanUndo());
        redo = menu.addAction(menuText("&Redo", QKeySequence::Redo));
        redo->setEnabled(CanRedo());
        menu.addSeparator();
    }
    if (!readOnly_) {
        cut = menu.addAction(menuText("Cu&t", QKeySequence::Cut));
        cut->setEnabled(selected);
    }
    QAction* copyItem = menu.addAction(menuText("&Copy", QKeySequence::Copy));
    copyItem->setEnabled(selected);
    if (!readOnly_) {
        paste = menu.addAction(menuText("&Paste", QKeySequence::Paste));
        paste->setEnabled(!QGuiApplication::clipboard()->text().isEmpty());
        remove = menu.addAction(QCoreApplication::translate("QWidgetTextControl", "Delete"));
        remove->setEnabled(selected);
    }
    menu.addSeparator();
    QAction* all = menu.addAction(menuText("Select All", QKeySequence::SelectAll));
    all->setEnabled(!text_.empty());
    QAction* chosen = menu.exec(e->globalPos());
    if (!chosen)
        return;
    if (chosen == undo) {
        Undo();
    } else if (chosen == redo) {
        Redo();
    } else if (chosen == cut) {
        copy();
        edit(QString());
    } else if (chosen == copyItem) {
        copy();
    } else if (chosen == paste) {
        this->paste(QGuiApplication::clipboard()->mimeData());
    } else if (chosen == remove) {
        edit(QString());
    } else if (chosen == all) {
        SelectAll();
        offerSelection();
    }
}

// ---- Rows

void TMemo::resetLayout()
{
    layouts_.clear();
    layoutChars_ = 0;
    wrapped_.clear();
    extraRows_ = 0;
    widest_ = 0;
    layoutWidth_ = viewport()->width();
    if (wrap_ && text_.longest() > wrapPieceChars)
        noteLongLines(0, text_.count());
}

void TMemo::forgetRows()
{
    // What stays known is which lines are long enough to be wrapped in pieces.
    layouts_.clear();
    layoutChars_ = 0;
    widest_ = 0;
    layoutWidth_ = viewport()->width();
    extraRows_ = 0;
    for (auto it = wrapped_.begin(); it != wrapped_.end();) {
        WrappedLine& line = it->second;
        if (line.pieceRows.size() < 2) {
            it = wrapped_.erase(it);
            continue;
        }
        std::fill(line.pieceRows.begin(), line.pieceRows.end(), 0);
        line.extraRows = int(line.pieceRows.size()) - 1;
        extraRows_ += line.extraRows;
        ++it;
    }
    top_.sub = 0;
}

void TMemo::noteLongLines(int first, int count)
{
    for (int i = first; i < first + count; ++i) {
        const int length = text_.length(i);
        if (length <= wrapPieceChars)
            continue;
        const int pieces = (length + wrapPieceChars - 1) / wrapPieceChars;
        WrappedLine& line = wrapped_[i];
        extraRows_ += pieces - 1 - line.extraRows;
        line.pieceRows.assign(std::size_t(pieces), 0);
        line.extraRows = pieces - 1;
    }
}

void TMemo::noteRows(int line, int piece, int rows) const
{
    auto it = wrapped_.find(line);
    if (it == wrapped_.end()) {
        if (rows <= 1)
            return;
        it = wrapped_.emplace(line, WrappedLine{{0}, 0}).first;
    }
    int& known = it->second.pieceRows[std::size_t(piece)];
    const int change = rows - std::max(1, known);
    known = rows;
    it->second.extraRows += change;
    extraRows_ += change;
    if (change != 0)
        rowsChanged_ = true;
}

void TMemo::linesChanged(int first, int removed, int inserted)
{
    // The changed lines are laid out again when they are drawn; those after them keep
    // their layouts under their new numbers.
    const int shift = inserted - removed;
    std::vector<decltype(layouts_)::node_type> kept;
    for (auto it = layouts_.lower_bound({first, 0}); it != layouts_.end();) {
        auto next = std::next(it);
        if (it->first.first < first + removed) {
            layoutChars_ -= it->second->text().size();
            layouts_.erase(it);
        } else {
            kept.push_back(layouts_.extract(it));
        }
        it = next;
    }
    for (auto& node : kept) {
        node.key().first += shift;
        layouts_.insert(std::move(node));
    }
    std::vector<std::pair<int, WrappedLine>> later;
    for (auto it = wrapped_.lower_bound(first); it != wrapped_.end(); it = wrapped_.erase(it)) {
        if (it->first < first + removed)
            extraRows_ -= it->second.extraRows;
        else
            later.emplace_back(it->first + shift, std::move(it->second));
    }
    for (auto& [line, rows] : later)
        wrapped_.emplace(line, std::move(rows));
    if (wrap_)
        noteLongLines(first, inserted);
    // The view stays at its row number, as in a plain text edit.
    top_.line = std::min(top_.line, text_.count() - 1);
}

int TMemo::pieceCount(int line) const
{
    if (!wrap_)
        return 1;
    const auto it = wrapped_.find(line);
    return it == wrapped_.end() ? 1 : int(it->second.pieceRows.size());
}

int TMemo::rowsBefore(int line, int piece) const
{
    if (piece <= 0)
        return 0;
    const std::vector<int>& rows = wrapped_.at(line).pieceRows;
    int before = 0;
    for (int k = 0; k < piece; ++k)
        before += std::max(1, rows[std::size_t(k)]);
    return before;
}

const QTextLayout& TMemo::pieceLayout(int line, int piece) const
{
    const auto key = std::make_pair(line, piece);
    if (const auto it = layouts_.find(key); it != layouts_.end())
        return *it->second;
    // Laid out as a plain text edit lays out a paragraph.
    const QString text = wrap_ ? text_.slice(line, piece * wrapPieceChars, wrapPieceChars) : text_.line(line);
    auto layout = std::make_unique<QTextLayout>(text, font(), viewport());
    QTextOption option(alignment_ & Qt::AlignRight ? Qt::AlignRight : Qt::AlignLeft);
    option.setWrapMode(wrap_ ? QTextOption::WrapAtWordBoundaryOrAnywhere : QTextOption::NoWrap);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    const double width = std::max(1, viewport()->width() - 2 * TextMargin);
    int rows = 0;
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLeadingIncluded(true);
        row.setLineWidth(width);
        row.setPosition(QPointF(0, rows * lineHeight_));
        if (!wrap_ && row.naturalTextWidth() > widest_) {
            widest_ = row.naturalTextWidth();
            rowsChanged_ = true;
        }
        ++rows;
    }
    layout->endLayout();
    if (wrap_)
        noteRows(line, piece, rows);
    layoutChars_ += text.size();
    return *layouts_.emplace(key, std::move(layout)).first->second;
}

void TMemo::trimLayouts() const
{
    if (layoutChars_ <= maxCachedLayoutChars)
        return;
    layouts_.clear();
    layoutChars_ = 0;
}

TMemo::Piece TMemo::pieceFor(Row row) const
{
    // A piece not yet laid out counts as one row; the one the row falls in is laid out.
    const int pieces = pieceCount(row.line);
    const auto it = pieces > 1 ? wrapped_.find(row.line) : wrapped_.end();
    int before = 0;
    for (int k = 0;; ++k) {
        const int known = it == wrapped_.end() ? 0 : it->second.pieceRows[std::size_t(k)];
        if (row.sub < before + std::max(1, known) || k == pieces - 1) {
            const QTextLayout& layout = pieceLayout(row.line, k);
            return Piece{&layout, k, std::clamp(row.sub - before, 0, layout.lineCount() - 1), before};
        }
        before += std::max(1, known);
    }
}

int TMemo::rowIndex(Row row) const
{
    int index = row.line + row.sub;
    if (wrap_)
        for (auto it = wrapped_.begin(); it != wrapped_.end() && it->first < row.line; ++it)
            index += it->second.extraRows;
    return index;
}

TMemo::Row TMemo::rowAtIndex(int index) const
{
    index = std::max(0, index);
    int extra = 0; // rows beyond their lines' first ones, before the line looked at
    if (wrap_) {
        for (const auto& [line, rows] : wrapped_) {
            const int first = line + extra;
            if (index < first)
                break;
            if (index <= first + rows.extraRows)
                return Row{line, index - first};
            extra += rows.extraRows;
        }
    }
    const int line = index - extra;
    return line < text_.count() ? Row{line, 0} : lastRow();
}

TMemo::Row TMemo::rowOf(TextPos pos) const
{
    if (!wrap_)
        return Row{pos.line, 0};
    const int piece = std::min(pos.column / wrapPieceChars, pieceCount(pos.line) - 1);
    const QTextLayout& layout = pieceLayout(pos.line, piece);
    const QTextLine line = layout.lineForTextPosition(pos.column - piece * wrapPieceChars);
    return Row{pos.line, rowsBefore(pos.line, piece) + (line.isValid() ? line.lineNumber() : 0)};
}

TMemo::Row TMemo::lastRowOf(int line) const
{
    if (!wrap_)
        return Row{line, 0};
    const int last = pieceCount(line) - 1;
    const QTextLayout& layout = pieceLayout(line, last);
    return Row{line, rowsBefore(line, last) + layout.lineCount() - 1};
}

TMemo::Row TMemo::stepped(Row row, int n, int* taken) const
{
    if (!wrap_) {
        const int line = std::clamp(row.line + n, 0, text_.count() - 1);
        if (taken)
            *taken = line - row.line;
        return Row{line, 0};
    }
    Piece at = pieceFor(row);
    row.sub = at.before + at.row;
    int steps = 0;
    for (; steps < n; ++steps) {
        if (at.row + 1 < at.layout->lineCount()) {
            ++at.row;
            ++row.sub;
        } else if (at.piece + 1 < pieceCount(row.line)) {
            row.sub = at.before + at.layout->lineCount();
            at = pieceFor(row);
        } else if (row.line + 1 < text_.count()) {
            row = Row{row.line + 1, 0};
            at = pieceFor(row);
        } else {
            break;
        }
    }
    for (; steps > n; --steps) {
        if (at.row > 0) {
            --at.row;
            --row.sub;
            continue;
        }
        if (at.piece > 0) {
            const QTextLayout& previous = pieceLayout(row.line, at.piece - 1);
            at = Piece{&previous, at.piece - 1, previous.lineCount() - 1, rowsBefore(row.line, at.piece - 1)};
            row.sub = at.before + at.row;
        } else if (row.line > 0) {
            row = lastRowOf(row.line - 1);
            at = pieceFor(row);
        } else {
            break;
        }
    }
    if (taken)
        *taken = steps;
    return row;
}

TMemo::RowText TMemo::rowText(Row row) const
{
    if (inCells())
        return RowText{nullptr, 0, 0, 0, text_.length(row.line)};
    const Piece at = pieceFor(row);
    const QTextLine line = at.layout->lineAt(at.row);
    const int pieceStart = at.piece * wrapPieceChars;
    return RowText{at.layout, at.row, pieceStart, pieceStart + line.textStart(), line.textLength()};
}

double TMemo::cellOffset(int line) const
{
    if (!(alignment_ & Qt::AlignRight))
        return 0;
    const double room = std::max(viewport()->width() - 2.0 * TextMargin, text_.longest() * cellWidth_);
    return std::max(0.0, room - text_.length(line) * cellWidth_);
}

double TMemo::xOf(const RowText& row, int line, int column) const
{
    if (!row.layout)
        return cellOffset(line) + column * cellWidth_;
    return row.layout->lineAt(row.lineInLayout).cursorToX(column - row.pieceStart);
}

int TMemo::columnAt(const RowText& row, int line, double x) const
{
    if (!row.layout) {
        const double column = (x - cellOffset(line)) / cellWidth_;
        return std::clamp(int(std::lround(std::max(0.0, column))), 0, row.length);
    }
    return row.pieceStart + row.layout->lineAt(row.lineInLayout).xToCursor(x, QTextLine::CursorBetweenCharacters);
}

double TMemo::textLeft() const { return TextMargin - horizontalScrollBar()->value(); }

// ---- View

void TMemo::updateMetrics()
{
    const QFontMetricsF metrics(font());
    cellWidth_ = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, int(std::ceil(metrics.height())));
    ascent_ = metrics.ascent();
    // Cells hold a font whose characters are all as wide as each other.
    const QString sample = QStringLiteral("iW.: ");
    cells_ = std::all_of(sample.begin(), sample.end(), [&](QChar c) {
        return metrics.horizontalAdvance(c) == metrics.horizontalAdvance(QLatin1Char('0'));
    });
    resetLayout();
    updateScrollBars();
}

int TMemo::topY() const { return top_ == Row{} ? TextMargin : 0; }

int TMemo::rowY(Row row) const { return topY() + (rowIndex(row) - rowIndex(top_)) * lineHeight_; }

int TMemo::lastPageRows() const
{
    // As a plain text edit counts them: the rows that fit above the margin below the last.
    return std::max(1, (viewport()->height() - 2 * TextMargin - 1) / lineHeight_);
}

TMemo::Row TMemo::lastPageTop() const { return stepped(lastRow(), -(lastPageRows() - 1)); }

void TMemo::updateScrollBars()
{
    trimLayouts();
    const int rows = lastPageRows();
    // The lines of the last page without wrap are laid out for the width of the widest,
    // as a plain text edit does.
    if (!inCells() && !wrap_)
        for (int i = std::max(0, text_.count() - rows); i < text_.count(); ++i)
            pieceLayout(i, 0);
    const Row pageTop = lastPageTop();
    if (pageTop < top_)
        top_ = pageTop;
    QScrollBar* v = verticalScrollBar();
    syncingBar_ = true;
    v->setRange(0, rowIndex(pageTop));
    v->setPageStep(rows);
    v->setSingleStep(1);
    v->setValue(rowIndex(top_));
    syncingBar_ = false;
    QScrollBar* h = horizontalScrollBar();
    const double wide = inCells() ? text_.longest() * cellWidth_ + 2 * TextMargin
                        : wrap_   ? 0.0
                                  : widest_ + 2 * TextMargin;
    const double room = viewport()->width();
    // Ranges and steps as a plain text edit has them.
    h->setRange(0, std::max(0, int(std::min(double(INT_MAX / 2), wide)) - int(room)));
    h->setPageStep(std::max(1, viewport()->width()));
    h->setSingleStep(20);
    rowsChanged_ = false;
}

void TMemo::postScrollBarUpdate()
{
    if (rowsUpdatePosted_)
        return;
    rowsUpdatePosted_ = true;
    QTimer::singleShot(0, this, [this] {
        rowsUpdatePosted_ = false;
        updateScrollBars();
    });
}

void TMemo::setTop(Row top)
{
    const Row pageTop = lastPageTop();
    top_ = pageTop < top ? pageTop : top;
    syncingBar_ = true;
    verticalScrollBar()->setValue(rowIndex(top_));
    syncingBar_ = false;
    viewport()->update();
}

void TMemo::ensureCaretVisible()
{
    // As a plain text edit does: a caret above the view becomes its first row; one whose
    // row does not end above the view's bottom becomes its last row.
    const Row caret = rowOf(caret_);
    top_ = stepped(top_, 0);
    const int height = viewport()->height();
    if (caret < top_) {
        setTop(caret);
    } else if (rowY(caret) + lineHeight_ >= height) {
        const int rows = std::max(1, height / lineHeight_);
        int taken = 0;
        Row top = stepped(caret, -(rows - 1), &taken);
        // At the text's start the margin above the first row takes room too.
        if (top == Row{} && (1 - taken) * lineHeight_ + TextMargin > height)
            top = stepped(top, 1);
        setTop(top);
    }
    // A caret out of view sideways comes to the view's middle.
    QScrollBar* h = horizontalScrollBar();
    const int x = PointOf(caret_).x();
    if (x < 0 || x > viewport()->width() - 1)
        h->setValue(x + h->value() - viewport()->width() / 2);
}

void TMemo::scrollContentsBy(int, int dy)
{
    if (dy != 0 && !syncingBar_)
        top_ = rowAtIndex(verticalScrollBar()->value());
    viewport()->update();
}

void TMemo::resizeEvent(QResizeEvent* e)
{
    TControlT<QAbstractScrollArea>::resizeEvent(e);
    if (!inCells() && viewport()->width() != layoutWidth_)
        forgetRows();
    updateScrollBars();
}

void TMemo::changeEvent(QEvent* e)
{
    TControlT<QAbstractScrollArea>::changeEvent(e);
    if (e->type() == QEvent::FontChange) {
        updateMetrics();
        viewport()->update();
    }
}

void TMemo::focusInEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusInEvent(e);
    restartBlink();
    viewport()->update();
}

void TMemo::focusOutEvent(QFocusEvent* e)
{
    QAbstractScrollArea::focusOutEvent(e);
    blink_.stop();
    viewport()->update();
}

void TMemo::restartBlink()
{
    caretShown_ = true;
    const int flash = QApplication::cursorFlashTime();
    if (hasFocus() && flash > 0)
        blink_.start(flash / 2, this);
    else
        blink_.stop();
}

void TMemo::timerEvent(QTimerEvent* e)
{
    if (e->timerId() == autoScroll_.timerId()) {
        autoScrollStep();
        return;
    }
    if (e->timerId() != blink_.timerId()) {
        QAbstractScrollArea::timerEvent(e);
        return;
    }
    caretShown_ = !caretShown_;
    const QPoint at = PointOf(caret_);
    viewport()->update(QRect(at.x() - 1, at.y(), 3, lineHeight_));
}

void TMemo::paintEvent(QPaintEvent* e)
{
    trimLayouts();
    if (!inCells() && viewport()->width() != layoutWidth_)
        forgetRows();
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette& pal = palette();
    const TextPos selFrom = selectionStart(), selTo = selectionEnd();
    if (inCells()) {
        const int top = top_.line;
        const int columns = int(std::ceil(viewport()->width() / cellWidth_)) + 2;
        const int firstRow = std::max(0, (e->rect().top() - topY()) / lineHeight_);
        const int lastRow = (e->rect().bottom() - topY()) / lineHeight_;
        for (int row = firstRow; row <= lastRow; ++row) {
            const int line = top + row;
            if (line >= text_.count())
                break;
            // Only the characters in view are decoded: a line may be millions of them long.
            const double lineLeft = textLeft() + cellOffset(line);
            const int firstColumn = std::max(0, int(std::floor(-lineLeft / cellWidth_)));
            const double x0 = lineLeft + firstColumn * cellWidth_;
            const int y = topY() + row * lineHeight_;
            QString shown = text_.slice(line, firstColumn, columns);
            shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
            painter.setPen(pal.color(QPalette::Text));
            painter.drawText(QPointF(x0, y + ascent_), shown);
            if (hasSelection() && line >= selFrom.line && line <= selTo.line) {
                const int from = std::max(line == selFrom.line ? selFrom.column : 0, firstColumn);
                // A selected line break shows as one cell after the line's end.
                const int to =
                    std::min(line == selTo.line ? selTo.column : text_.length(line) + 1, firstColumn + columns);
                if (from < to) {
                    const QRectF band(x0 + (from - firstColumn) * cellWidth_, y, (to - from) * cellWidth_, lineHeight_);
                    painter.fillRect(band, pal.color(QPalette::Highlight));
                    painter.setPen(pal.color(QPalette::HighlightedText));
                    painter.drawText(QPointF(band.left(), y + ascent_), shown.mid(from - firstColumn, to - from));
                }
            }
        }
    } else {
        // Piece by piece from the first row in view, as a plain text edit draws its
        // paragraphs, the selection with them.
        painter.setPen(pal.color(QPalette::Text));
        const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
        QTextCharFormat selected;
        selected.setBackground(pal.brush(group, QPalette::Highlight));
        selected.setForeground(pal.brush(group, QPalette::HighlightedText));
        top_ = stepped(top_, 0);
        Row row = top_;
        int y = topY();
        while (y <= e->rect().bottom()) {
            const Piece at = pieceFor(row);
            const int rows = at.layout->lineCount();
            const int pieceTop = y - at.row * lineHeight_;
            const bool lastPiece = at.piece + 1 == pieceCount(row.line);
            QList<QTextLayout::FormatRange> selections;
            if (hasSelection() && row.line >= selFrom.line && row.line <= selTo.line) {
                const int start = at.piece * wrapPieceChars;
                const int length = int(at.layout->text().size());
                // A selected line break is drawn after the line's last row.
                const int end =
                    row.line == selTo.line ? std::min(selTo.column - start, length) : length + (lastPiece ? 1 : 0);
                const int from = std::max(row.line == selFrom.line ? selFrom.column - start : 0, 0);
                if (from < end)
                    selections.append({from, end - from, selected});
            }
            if (pieceTop + rows * lineHeight_ > e->rect().top())
                at.layout->draw(&painter, QPointF(textLeft(), pieceTop), selections, QRectF(e->rect()));
            y = pieceTop + rows * lineHeight_;
            if (!lastPiece)
                row = Row{row.line, at.before + rows};
            else if (row.line + 1 < text_.count())
                row = Row{row.line + 1, 0};
            else
                break;
        }
    }
    if (dropCaretShown_) {
        const QPoint at = PointOf(dropCaret_);
        painter.fillRect(QRect(at.x(), at.y(), 1, lineHeight_), pal.color(QPalette::Text));
    }
    if (hasFocus() && caretShown_ && !readOnly_ && !(rowOf(caret_) < top_)) {
        const QPoint at = PointOf(caret_);
        painter.fillRect(QRect(at.x(), at.y(), 1, lineHeight_), pal.color(QPalette::Text));
    }
    if (rowsChanged_)
        postScrollBarUpdate();
}

} // namespace vcl
