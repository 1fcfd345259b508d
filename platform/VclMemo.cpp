#include "platform/VclMemo.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QInputMethodEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QTextBoundaryFinder>

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
    while (words.toPreviousBoundary() > 0 && !(words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) {
    }
    return std::max(0, int(words.position()));
}

int wordStartAfter(const QString& line, int column)
{
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, line);
    words.setPosition(column);
    while (words.toNextBoundary() >= 0 && words.position() < line.size() &&
           !(words.boundaryReasons() & QTextBoundaryFinder::StartOfItem)) {
    }
    return words.position() < 0 ? int(line.size()) : int(words.position());
}

// A step longer than this is not kept: its text would take the memory of a whole file
// (a text list holds millions of lines), so such an edit ends the history instead.
constexpr qsizetype maxStepChars = qsizetype(1) << 20;

bool hasLineBreak(const QString& text)
{
    return std::any_of(text.begin(), text.end(), [](QChar c) {
        return c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::ParagraphSeparator;
    });
}

// The place a text without line breaks ends at when it starts at from.
TextPos after(TextPos from, qsizetype length) { return {from.line, from.column + int(length)}; }

// The captions of a plain text edit's menu, in the application's language.
QString menuText(const char* text, QKeySequence::StandardKey key)
{
    QString caption = QCoreApplication::translate("QWidgetTextControl", text);
    const QString shortcut = QKeySequence(key).toString(QKeySequence::NativeText);
    if (!shortcut.isEmpty())
        caption += QLatin1Char('\t') + shortcut;
    return caption;
}

} // namespace

TMemo::TMemo(QWidget* parent) : TControlT<QAbstractScrollArea>(parent)
{
    // The cells are those of a fixed-pitch font; the class library's memos had Courier New.
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies({QStringLiteral("Courier New"), fixed.family()});
    setFont(fixed);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_InputMethodEnabled);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    viewport()->setAutoFillBackground(true);
    updateMetrics();
    resize(185, 89);
}

// ---- Text

void TMemo::setPlainText(const QString& text)
{
    text_.setText(text);
    caret_ = anchor_ = TextPos{};
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    forgetHistory();
    textChanged(false, false);
}

void TMemo::SetAnsiText(QByteArray bytes)
{
    text_.setAnsiText(std::move(bytes));
    caret_ = anchor_ = TextPos{};
    verticalScrollBar()->setValue(0);
    horizontalScrollBar()->setValue(0);
    forgetHistory();
    textChanged(false, false);
}

void TMemo::appendPlainText(const QString& text)
{
    const bool follow = showsEnd();
    if (text_.empty())
        text_.replace(TextPos{}, text_.end(), text);
    else
        text_.replace(text_.end(), text_.end(), QLatin1Char('\n') + text);
    forgetHistory();
    textChanged(follow, false);
}

void TMemo::replaceFromCode(TextPos from, TextPos to, const QString& text)
{
    const bool follow = showsEnd();
    text_.replace(from, to, text);
    forgetHistory();
    textChanged(follow, false);
}

void TMemo::forgetHistory()
{
    undo_.clear();
    redo_.clear();
}

void TMemo::setReadOnly(bool readOnly)
{
    readOnly_ = readOnly;
    viewport()->update();
}

void TMemo::SetAlignment(Qt::Alignment alignment)
{
    alignment_ = alignment;
    viewport()->update();
}

int TMemo::LineCount() const
{
    if (text_.empty())
        return 0;
    const int blocks = text_.count();
    return text_.length(blocks - 1) == 0 ? blocks - 1 : blocks;
}

QString TMemo::Line(int index) const
{
    return index >= 0 && index < LineCount() ? text_.line(index) : QString();
}

void TMemo::SetLine(int index, const QString& text)
{
    if (index < 0 || index >= LineCount())
        return;
    replaceFromCode({index, 0}, {index, text_.length(index)}, text);
}

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

bool TMemo::showsEnd() const
{
    return verticalScrollBar()->value() >= verticalScrollBar()->maximum();
}

void TMemo::textChanged(bool followEnd, bool byUser)
{
    caret_ = text_.clamp(caret_);
    anchor_ = text_.clamp(anchor_);
    updateScrollBars();
    if (followEnd)
        verticalScrollBar()->setValue(verticalScrollBar()->maximum());
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
    goalColumn_ = -1;
    ensureCaretVisible();
    restartBlink();
    viewport()->update();
}

QString TMemo::SelectedText() const
{
    return textBetween(selectionStart(), selectionEnd());
}

QString TMemo::textBetween(TextPos a, TextPos b) const
{
    if (a.line == b.line)
        return text_.line(a.line).mid(a.column, b.column - a.column);
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

int TMemo::TopLine() const { return verticalScrollBar()->value(); }

double TMemo::lineX(int line) const
{
    double x = TextMargin - horizontalScrollBar()->value();
    if (alignment_ & Qt::AlignRight) {
        const double room = std::max(viewport()->width() - 2.0 * TextMargin, text_.longest() * cellWidth_);
        x += std::max(0.0, room - text_.length(line) * cellWidth_);
    }
    return x;
}

QPoint TMemo::PointOf(TextPos pos) const
{
    const double x = lineX(pos.line) + pos.column * cellWidth_;
    return QPoint(int(std::lround(x)), TextMargin + (pos.line - TopLine()) * lineHeight_);
}

TextPos TMemo::posAt(QPoint point) const
{
    const int line = std::clamp(TopLine() + int(std::floor(double(point.y() - TextMargin) / lineHeight_)), 0,
                                text_.count() - 1);
    const double column = (point.x() - lineX(line)) / cellWidth_;
    return text_.clamp({line, int(std::lround(std::max(0.0, column)))});
}

void TMemo::copy() const
{
    if (hasSelection())
        QGuiApplication::clipboard()->setText(SelectedText());
}

void TMemo::edit(const QString& text, EditKind kind)
{
    if (readOnly_)
        return;
    const bool follow = showsEnd() && caret_.line == text_.count() - 1;
    const TextPos from = selectionStart(), to = selectionEnd();
    // The history keeps what it can hold; a longer edit is done and ends it.
    qsizetype removing = to.column - from.column;
    for (int i = from.line; i < to.line && removing <= maxStepChars; ++i)
        removing += text_.length(i) + 1;
    const bool kept = removing <= maxStepChars && text.size() <= maxStepChars;
    Step step;
    step.from = from;
    step.removedEnd = to;
    if (kept) {
        step.removed = textBetween(from, to);
        step.inserted = text;
    }
    caret_ = anchor_ = step.insertedEnd = text_.replace(from, to, text);
    goalColumn_ = -1;
    if (kept)
        record(step, kind);
    else
        forgetHistory();
    textChanged(follow, true);
    ensureCaretVisible();
    restartBlink();
}

void TMemo::record(const Step& step, EditKind kind)
{
    if (step.removed.isEmpty() && step.inserted.isEmpty())
        return;
    redo_.clear();
    if (!undo_.empty() && kind != EditKind::Other) {
        Step& last = undo_.back();
        const bool plain = !hasLineBreak(step.removed) && !hasLineBreak(step.inserted) &&
                           !hasLineBreak(last.removed) && !hasLineBreak(last.inserted);
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
            if (step.from == last.from) {            // Delete goes on to the right
                last.removed += step.removed;
                last.removedEnd = after(last.from, last.removed.size());
                return;
            }
            if (step.removedEnd == last.from) {      // Backspace goes on to the left
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
    text_.replace(from, to, text);
    caret_ = anchor_ = caret;
    goalColumn_ = -1;
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

TextPos TMemo::moved(TextPos from, Move move) const
{
    const int lines = text_.count();
    TextPos to = from;
    const int goal = goalColumn_ >= 0 ? goalColumn_ : from.column;
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
    case Move::NextLine: to = {from.line + 1, goal}; break;
    case Move::PreviousLine: to = {from.line - 1, goal}; break;
    case Move::NextPage: to = {from.line + std::max(1, rowsInView() - 1), goal}; break;
    case Move::PreviousPage: to = {from.line - std::max(1, rowsInView() - 1), goal}; break;
    case Move::StartOfLine: to.column = 0; break;
    case Move::EndOfLine: to.column = text_.length(from.line); break;
    case Move::StartOfText: to = {}; break;
    case Move::EndOfText: to = text_.end(); break;
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
        const int goal = vertical ? (goalColumn_ >= 0 ? goalColumn_ : caret_.column) : -1;
        caret_ = moved(caret_, m.move);
        if (!m.select)
            anchor_ = caret_;
        goalColumn_ = goal;
        ensureCaretVisible();
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
        edit(QGuiApplication::clipboard()->text());
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
    case Qt::ImEnabled: return !readOnly_;
    case Qt::ImCursorRectangle: return QRect(PointOf(caret_), QSize(1, lineHeight_));
    case Qt::ImCursorPosition: return caret_.column;
    case Qt::ImSurroundingText: return text_.line(caret_.line);
    default: return QAbstractScrollArea::inputMethodQuery(query);
    }
}

void TMemo::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    SetCaretPos(posAt(e->position().toPoint()), e->modifiers() & Qt::ShiftModifier);
}

void TMemo::mouseMoveEvent(QMouseEvent* e)
{
    if (e->buttons() & Qt::LeftButton)
        SetCaretPos(posAt(e->position().toPoint()), true);
}

void TMemo::mouseDoubleClickEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    const TextPos at = posAt(e->position().toPoint());
    const QString line = text_.line(at.line);
    QTextBoundaryFinder words(QTextBoundaryFinder::Word, line);
    words.setPosition(at.column);
    const int begin = words.isAtBoundary() ? at.column : std::max(0, int(words.toPreviousBoundary()));
    words.setPosition(begin);
    const int end = begin < line.size() ? int(words.toNextBoundary()) : begin;
    anchor_ = {at.line, begin};
    caret_ = {at.line, end < 0 ? int(line.size()) : end};
    ensureCaretVisible();
    viewport()->update();
}

void TMemo::contextMenuEvent(QContextMenuEvent* e)
{
    QMenu menu(this);
    const bool selected = hasSelection();
    QAction* undo = menu.addAction(menuText("&Undo", QKeySequence::Undo));
    undo->setEnabled(CanUndo() && !readOnly_);
    QAction* redo = menu.addAction(menuText("&Redo", QKeySequence::Redo));
    redo->setEnabled(CanRedo() && !readOnly_);
    menu.addSeparator();
    QAction* cut = menu.addAction(menuText("Cu&t", QKeySequence::Cut));
    cut->setEnabled(selected && !readOnly_);
    QAction* copyItem = menu.addAction(menuText("&Copy", QKeySequence::Copy));
    copyItem->setEnabled(selected);
    QAction* paste = menu.addAction(menuText("&Paste", QKeySequence::Paste));
    paste->setEnabled(!readOnly_ && !QGuiApplication::clipboard()->text().isEmpty());
    QAction* remove = menu.addAction(QCoreApplication::translate("QWidgetTextControl", "Delete"));
    remove->setEnabled(selected && !readOnly_);
    menu.addSeparator();
    QAction* all = menu.addAction(menuText("Select All", QKeySequence::SelectAll));
    QAction* chosen = menu.exec(e->globalPos());
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
        edit(QGuiApplication::clipboard()->text());
    } else if (chosen == remove) {
        edit(QString());
    } else if (chosen == all) {
        SelectAll();
    }
}

// ---- View

void TMemo::updateMetrics()
{
    const QFontMetricsF metrics(font());
    cellWidth_ = std::max(1.0, metrics.horizontalAdvance(QLatin1Char('0')));
    lineHeight_ = std::max(1, int(std::ceil(metrics.height())));
    ascent_ = int(std::ceil(metrics.ascent()));
    updateScrollBars();
}

int TMemo::rowsInView() const { return std::max(1, (viewport()->height() - TextMargin) / lineHeight_); }

void TMemo::updateScrollBars()
{
    QScrollBar* v = verticalScrollBar();
    const int rows = rowsInView();
    v->setRange(0, std::max(0, text_.count() - rows));
    v->setPageStep(rows);
    v->setSingleStep(1);
    QScrollBar* h = horizontalScrollBar();
    const double wide = text_.longest() * cellWidth_ + 2 * TextMargin;
    const double room = viewport()->width();
    h->setRange(0, int(std::min(double(INT_MAX / 2), std::max(0.0, std::ceil(wide - room)))));
    h->setPageStep(std::max(1, viewport()->width()));
    h->setSingleStep(std::max(1, int(cellWidth_)));
}

void TMemo::ensureCaretVisible()
{
    QScrollBar* v = verticalScrollBar();
    const int rows = rowsInView();
    if (caret_.line < v->value())
        v->setValue(caret_.line);
    else if (caret_.line >= v->value() + rows)
        v->setValue(caret_.line - rows + 1);
    QScrollBar* h = horizontalScrollBar();
    // The caret's place in the whole width of the text.
    const int x = PointOf(caret_).x() + h->value();
    if (x - TextMargin < h->value())
        h->setValue(x - TextMargin);
    else if (x + TextMargin > h->value() + viewport()->width())
        h->setValue(x + TextMargin - viewport()->width());
}

void TMemo::scrollContentsBy(int, int) { viewport()->update(); }

void TMemo::resizeEvent(QResizeEvent* e)
{
    TControlT<QAbstractScrollArea>::resizeEvent(e);
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
    QPainter painter(viewport());
    painter.setFont(font());
    const QPalette& pal = palette();
    const int top = TopLine();
    const int columns = int(std::ceil(viewport()->width() / cellWidth_)) + 2;
    const int firstRow = std::max(0, (e->rect().top() - TextMargin) / lineHeight_);
    const int lastRow = (e->rect().bottom() - TextMargin) / lineHeight_;
    const TextPos selFrom = selectionStart(), selTo = selectionEnd();
    for (int row = firstRow; row <= lastRow; ++row) {
        const int line = top + row;
        if (line >= text_.count())
            break;
        // Only the characters in view are decoded: a line may be millions of them long.
        const double lineLeft = lineX(line);
        const int firstColumn = std::max(0, int(std::floor(-lineLeft / cellWidth_)));
        const double x0 = lineLeft + firstColumn * cellWidth_;
        const int y = TextMargin + row * lineHeight_;
        QString shown = text_.slice(line, firstColumn, columns);
        shown.replace(QLatin1Char('\t'), QLatin1Char(' '));
        painter.setPen(pal.color(QPalette::Text));
        painter.drawText(QPointF(x0, y + ascent_), shown);
        if (hasSelection() && line >= selFrom.line && line <= selTo.line) {
            const int from = std::max(line == selFrom.line ? selFrom.column : 0, firstColumn);
            // A selected line break shows as one cell after the line's end.
            const int to = std::min(line == selTo.line ? selTo.column : text_.length(line) + 1, firstColumn + columns);
            if (from < to) {
                const QRectF band(x0 + (from - firstColumn) * cellWidth_, y, (to - from) * cellWidth_, lineHeight_);
                painter.fillRect(band, pal.color(QPalette::Highlight));
                painter.setPen(pal.color(QPalette::HighlightedText));
                painter.drawText(QPointF(band.left(), y + ascent_), shown.mid(from - firstColumn, to - from));
            }
        }
    }
    if (hasFocus() && caretShown_ && !readOnly_ && caret_.line >= top) {
        const QPoint at = PointOf(caret_);
        painter.fillRect(QRect(at.x(), at.y(), 1, lineHeight_), pal.color(QPalette::Text));
    }
}

} // namespace vcl
