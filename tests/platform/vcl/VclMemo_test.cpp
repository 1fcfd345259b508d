// The layer's memo as the user meets it: keys and the clipboard edit it as they edit a
// plain text edit, the mouse places the caret where it points, a view at the end
// follows added lines, and a text list of a million lines is shown without delay.

#include "platform/vcl/VclLists.h"
#include "platform/vcl/VclMemo.h"

#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/XServer.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDropEvent>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImage>
#include <QLineEdit>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QScrollBar>
#include <QTextBlock>

#include <functional>
#include <map>

using platform::TextPos;
using testsupport::KeyClick;
using vcl::TMemo;

namespace {

void key(QWidget* w, int k, Qt::KeyboardModifiers mods = Qt::NoModifier) { KeyClick(w, k, QString(), mods); }
void undo(QWidget* w) { key(w, Qt::Key_Z, Qt::ControlModifier); }

TEST(VclMemo, KeysEditItAsTheyEditAPlainTextEdit)
{
    // Each step is given to both widgets, which must then hold the same text.
    const struct {
        const char* name;
        std::function<void(QWidget*)> keys;
    } steps[] = {
        {"typing", [](QWidget* w) { testsupport::TypeText(w, QStringLiteral("21.5 łódź")); }},
        {"Return splits the line",
         [](QWidget* w) {
             key(w, Qt::Key_Left);
             key(w, Qt::Key_Return);
         }},
        {"Backspace at a line's start joins it to the one before",
         [](QWidget* w) {
             key(w, Qt::Key_Home);
             key(w, Qt::Key_Backspace);
         }},
        {"Delete at a line's end joins the next",
         [](QWidget* w) {
             key(w, Qt::Key_End);
             key(w, Qt::Key_Return);
             testsupport::TypeText(w, QStringLiteral("k2"));
             key(w, Qt::Key_Up);
             key(w, Qt::Key_End);
             key(w, Qt::Key_Delete);
         }},
        {"up and down keep the column",
         [](QWidget* w) {
             key(w, Qt::Key_End, Qt::ControlModifier);
             key(w, Qt::Key_Return);
             testsupport::TypeText(w, QStringLiteral("x"));
             key(w, Qt::Key_Return);
             testsupport::TypeText(w, QStringLiteral("abcdefghijklmnop"));
             key(w, Qt::Key_Up);
             key(w, Qt::Key_Up);
             testsupport::TypeText(w, QStringLiteral("|"));
         }},
        {"a selection made with Shift is replaced by what is typed",
         [](QWidget* w) {
             key(w, Qt::Key_Home, Qt::ControlModifier);
             key(w, Qt::Key_Right);
             key(w, Qt::Key_Right, Qt::ShiftModifier);
             key(w, Qt::Key_Down, Qt::ShiftModifier);
             testsupport::TypeText(w, QStringLiteral("Z"));
         }},
        {"select all and Delete empty it",
         [](QWidget* w) {
             key(w, Qt::Key_A, Qt::ControlModifier);
             key(w, Qt::Key_Delete);
         }},
        {"pasted lines",
         [](QWidget* w) {
             QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\nc"));
             key(w, Qt::Key_V, Qt::ControlModifier);
             key(w, Qt::Key_Left);
             key(w, Qt::Key_Left, Qt::ShiftModifier);
             key(w, Qt::Key_Left, Qt::ShiftModifier);
             key(w, Qt::Key_X, Qt::ControlModifier);
             key(w, Qt::Key_End, Qt::ControlModifier);
             key(w, Qt::Key_V, Qt::ControlModifier);
         }},
        // What one undo takes back; typing after it shows where it left the caret.
        {"typing is taken back at once, each line break on its own",
         [](QWidget* w) {
             key(w, Qt::Key_Return);
             testsupport::TypeText(w, QStringLiteral("k1 21.5"));
             key(w, Qt::Key_Left);
             key(w, Qt::Key_Right);
             testsupport::TypeText(w, QStringLiteral(" 22"));
             key(w, Qt::Key_Return);
             testsupport::TypeText(w, QStringLiteral("k2"));
             undo(w);
             undo(w);
             testsupport::TypeText(w, QStringLiteral("|"));
             undo(w);
         }},
        {"Backspaces and Deletes in a row are taken back together",
         [](QWidget* w) {
             key(w, Qt::Key_Home);
             key(w, Qt::Key_Delete);
             key(w, Qt::Key_Delete);
             key(w, Qt::Key_End);
             key(w, Qt::Key_Backspace);
             key(w, Qt::Key_Backspace);
             key(w, Qt::Key_Left);
             key(w, Qt::Key_Backspace);
             undo(w);
             testsupport::TypeText(w, QStringLiteral("|"));
         }},
        {"redo does again what undo took back, until the next edit",
         [](QWidget* w) {
             undo(w);
             undo(w);
             undo(w);
             key(w, Qt::Key_Y, Qt::ControlModifier);
             key(w, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
             testsupport::TypeText(w, QStringLiteral("#"));
             key(w, Qt::Key_Y, Qt::ControlModifier);
         }},
        {"typing over a selection and a paste start steps of their own",
         [](QWidget* w) {
             key(w, Qt::Key_Left, Qt::ShiftModifier);
             key(w, Qt::Key_Left, Qt::ShiftModifier);
             testsupport::TypeText(w, QStringLiteral("XY"));
             QGuiApplication::clipboard()->setText(QStringLiteral("2.5"));
             key(w, Qt::Key_V, Qt::ControlModifier);
             testsupport::TypeText(w, QStringLiteral("0"));
             undo(w);
             testsupport::TypeText(w, QStringLiteral("|"));
             undo(w);
             undo(w);
         }},
    };
    QPlainTextEdit plain;
    TMemo memo;
    plain.setFont(memo.font());
    QString pasted;
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        s.keys(&plain);
        const QString cut = QGuiApplication::clipboard()->text();
        if (QString(s.name) == "pasted lines")
            QGuiApplication::clipboard()->setText(QStringLiteral("a\r\nb\nc"));
        s.keys(&memo);
        EXPECT_EQ(memo.toPlainText().toStdString(), plain.toPlainText().toStdString());
        EXPECT_EQ(QGuiApplication::clipboard()->text(), cut);
        if (QString(s.name) == "pasted lines")
            pasted = memo.toPlainText();
    }
    // That step cut "b" and its line break and pasted them at the end.
    EXPECT_EQ(pasted, QStringLiteral("a\ncb\n"));
}

TEST(VclMemo, AReadOnlyMemoTakesNoKeysButCopies)
{
    TMemo memo;
    memo.setPlainText(QStringLiteral("2024-03-05 10:00:00 1 2"));
    memo.setReadOnly(true);
    testsupport::TypeText(&memo, QStringLiteral("xyz"));
    key(&memo, Qt::Key_Delete);
    key(&memo, Qt::Key_End, Qt::ShiftModifier);
    key(&memo, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(memo.toPlainText(), QStringLiteral("2024-03-05 10:00:00 1 2"));
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("2024-03-05 10:00:00 1 2"));
}

TEST(VclMemo, TheMousePlacesTheCaretOnTheCharacterItPoints)
{
    // In cells (a fixed-pitch font) and laid out as a plain text edit lays out its lines.
    for (const QFont& font : {TMemo::FixedPitchFont(), QApplication::font()})
        for (const Qt::Alignment alignment : {Qt::AlignLeft, Qt::AlignRight}) {
            SCOPED_TRACE(alignment == Qt::AlignLeft ? "left" : "right");
            SCOPED_TRACE(font.family().toStdString());
            TMemo memo;
            memo.setFont(font);
            memo.resize(300, 200);
            memo.SetAlignment(alignment);
            memo.show();
            memo.setPlainText(QStringLiteral("DataTime  k1 k2\n2024-03-05 10:00:00 21.5 22.0\nkoniec"));
            QWidget* view = memo.viewport();
            const QPoint half(1, 3); // inside the character that starts at PointOf, left of its middle
            testsupport::MouseClick(view, memo.PointOf({1, 20}) + half);
            EXPECT_EQ(memo.CaretPos(), (TextPos{1, 20}));
            testsupport::MouseDrag(view, memo.PointOf({0, 10}) + half, memo.PointOf({1, 10}) + half);
            EXPECT_EQ(memo.SelectedText(), QStringLiteral("k1 k2\n2024-03-05"));
            testsupport::MouseDoubleClick(view, memo.PointOf({1, 21}) + half);
            EXPECT_EQ(memo.SelectedText(), QStringLiteral("21.5")) << "a number is one word";
            testsupport::MouseClick(view, QPoint(view->width() - 1, view->height() - 1));
            EXPECT_EQ(memo.CaretPos(), (TextPos{2, 6})) << "below the text: its end";
        }
    // Right-aligned lines end at the same place, inside the view.
    TMemo memo;
    memo.resize(300, 200);
    memo.SetAlignment(Qt::AlignRight);
    memo.setPlainText(QStringLiteral("Nazwa pomiaru:\nTemperatura kompieli minimalna:\n"));
    EXPECT_EQ(memo.PointOf({0, 14}).x(), memo.PointOf({1, 31}).x());
    EXPECT_LE(memo.PointOf({1, 31}).x(), memo.viewport()->width() - TMemo::TextMargin);
    EXPECT_GT(memo.PointOf({0, 0}).x(), memo.PointOf({1, 0}).x());
}

TEST(VclMemo, AnEditTooLongForTheHistoryIsDoneAndEndsIt)
{
    // Deleting a file's worth of text keeps no copy of it to undo with.
    TMemo memo;
    memo.SetAnsiText(QByteArray(3 << 20, '7') + "\r\nk1\r\n");
    testsupport::TypeText(&memo, QStringLiteral("x"));
    ASSERT_TRUE(memo.CanUndo());
    key(&memo, Qt::Key_A, Qt::ControlModifier);
    key(&memo, Qt::Key_Delete);
    EXPECT_EQ(memo.toPlainText(), QString());
    EXPECT_FALSE(memo.CanUndo()) << "the typing before it is no longer in the history either";
    testsupport::TypeText(&memo, QStringLiteral("k2"));
    undo(&memo);
    EXPECT_EQ(memo.toPlainText(), QString()) << "edits after it are kept as ever";
}

TEST(VclMemo, AViewAtTheEndFollowsNewLinesAndOneScrolledUpStays)
{
    TMemo memo;
    memo.resize(300, 120);
    memo.show();
    // Lines that arrive into a list that still fits the view are followed as it fills.
    for (int i = 0; i < 100; ++i)
        vcl::Lines(&memo).Add(QString::number(i));
    QScrollBar* bar = memo.verticalScrollBar();
    EXPECT_GT(memo.TopLine(), 90);
    EXPECT_EQ(bar->value(), bar->maximum());
    bar->setValue(10);
    vcl::Lines(&memo).Add(QStringLiteral("new"));
    memo.appendPlainText(QStringLiteral("newer"));
    EXPECT_EQ(memo.TopLine(), 10);
    bar->setValue(bar->maximum());
    vcl::Lines(&memo).Add(QStringLiteral("newest"));
    EXPECT_EQ(bar->value(), bar->maximum());
    const int newest = vcl::Lines(&memo).Count() - 1;
    EXPECT_EQ(vcl::Lines(&memo).Get(newest), QStringLiteral("newest"));
    EXPECT_GE(memo.PointOf({newest, 0}).y(), 0);
    EXPECT_LE(memo.PointOf({newest, 0}).y() + memo.fontMetrics().height(), memo.viewport()->height());
    // A file put into the list is shown from its start.
    memo.SetAnsiText("a\r\nb\r\n");
    EXPECT_EQ(memo.TopLine(), 0);
}

TEST(VclMemo, AMillionLinesAreShownAtOnce)
{
    // Only the lines in view are decoded and drawn, also of a line far wider than it:
    // in cells, and wrapped at the view's width, where a line without blanks of 20 MB
    // is laid out only in the pieces in view.
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "2024-03-05 10:00:00 21.5 22.0 23.5\r\n";
    text += std::string(20 << 20, '7');
    const struct {
        const char* name;
        QFont font;
        bool wrap;
    } cases[] = {
        {"a text list in cells", TMemo::FixedPitchFont(), false},
        {"a console wrapped at its width", QApplication::font(), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TMemo memo;
        memo.setFont(c.font);
        memo.SetWordWrap(c.wrap);
        memo.resize(400, 300);
        memo.show();
        QElapsedTimer clock;
        clock.start();
        memo.SetAnsiText(QByteArray::fromStdString(text));
        memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum());
        memo.horizontalScrollBar()->setValue(memo.horizontalScrollBar()->maximum() / 2);
        for (int i = 0; i < 20; ++i)
            memo.viewport()->repaint();
        // Through the long line's rows and back to the start.
        key(&memo, Qt::Key_End, Qt::ControlModifier);
        for (int i = 0; i < 5; ++i) {
            key(&memo, Qt::Key_PageUp);
            memo.viewport()->repaint();
        }
        memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum() / 2);
        memo.viewport()->repaint();
        key(&memo, Qt::Key_Home, Qt::ControlModifier);
        memo.viewport()->repaint();
        EXPECT_LT(clock.elapsed(), 3000);
        EXPECT_EQ(vcl::Lines(&memo).Count(), 1000001);
        if (c.wrap)
            EXPECT_EQ(memo.horizontalScrollBar()->maximum(), 0) << "nothing scrolls sideways";
        else
            EXPECT_GT(memo.horizontalScrollBar()->maximum(), 20 << 20);
        key(&memo, Qt::Key_End, Qt::ControlModifier);
        const QPoint end = memo.PointOf(memo.Text().end());
        EXPECT_TRUE(memo.viewport()->rect().contains(end)) << "the text's end is in view";
    }
}

// A plain text edit and a memo set up alike, side by side in one window that has the
// focus elsewhere, so that neither draws a blinking caret: what the memo shows is
// compared with what the plain text edit shows.
struct SideBySide {
    QWidget window;
    QLineEdit focus{&window};
    QPlainTextEdit plain{&window};
    TMemo memo{&window};
    SideBySide(const QFont& font, bool wrap, const QString& text, QSize size = QSize(300, 160))
    {
        for (QAbstractScrollArea* w :
             {static_cast<QAbstractScrollArea*>(&plain), static_cast<QAbstractScrollArea*>(&memo)}) {
            w->setFont(font);
            w->resize(size);
        }
        memo.move(size.width(), 0);
        plain.setLineWrapMode(wrap ? QPlainTextEdit::WidgetWidth : QPlainTextEdit::NoWrap);
        memo.SetWordWrap(wrap);
        plain.setPlainText(text);
        memo.setPlainText(text);
        window.resize(2 * size.width(), size.height() + 30);
        focus.move(0, size.height());
        window.show();
        focus.setFocus();
        testsupport::ProcessPending();
    }
    void both(const std::function<void(QWidget*)>& keys)
    {
        keys(&plain);
        keys(&memo);
        testsupport::FocusOut(&plain);
        testsupport::FocusOut(&memo);
        testsupport::ProcessPending();
    }
    // The caret of the plain text edit as a place in the memo's terms.
    TextPos plainCaret() const
    {
        const QTextCursor c = plain.textCursor();
        return TextPos{c.blockNumber(), c.positionInBlock()};
    }
};

QImage shown(QAbstractScrollArea* w) { return w->viewport()->grab().toImage(); }

TEST(VclMemo, ItShowsItsTextAsAPlainTextEditShowsIt)
{
    const QString console = QStringLiteral(
        "Tazo132 v2.4\nk1 T 0.1 Temperatura wody w zbiorniku numer dwa, mierzona co dziesięć sekund\n"
        "k2 T 0.1 Temperatura powietrza\nk3 U 0.01 Napięcie zasilania rejestratora po stronie wtórnej\nM_S 00:00:10");
    QString log;
    for (int i = 0; i < 40; ++i)
        log += QStringLiteral("00:%1:00  21.%2 20.5 -.-\n").arg(i, 2, 10, QLatin1Char('0')).arg(i % 10);
    const auto select = [](QWidget* w) {
        key(w, Qt::Key_Down);
        key(w, Qt::Key_Right);
        key(w, Qt::Key_Down, Qt::ShiftModifier);
        key(w, Qt::Key_Down, Qt::ShiftModifier);
        key(w, Qt::Key_Down, Qt::ShiftModifier);
    };
    const auto toEnd = [](QWidget* w) { key(w, Qt::Key_End, Qt::ControlModifier); };
    const QFont fixed = TMemo::FixedPitchFont();
    const QFont plainFont = QApplication::font();
    const struct {
        const char* name;
        QFont font;
        bool wrap;
        QString text;
        std::function<void(QWidget*)> keys;
    } cases[] = {
        {"a console's lines wrapped at blanks", plainFont, true, console, nullptr},
        {"a word longer than a row wrapped anywhere", plainFont, true,
         QStringLiteral("k1 ") + QString(150, u'7') + QStringLiteral(" koniec"), nullptr},
        {"tab stops and Polish letters", plainFont, true, QStringLiteral("k1\tT\t0.1 żółć\nł\t\tx\tźdźbło"), nullptr},
        {"a selection over wrapped rows and line breaks", plainFont, true, console, select},
        {"scrolled to the end", plainFont, true, console + QLatin1Char('\n') + log, toEnd},
        {"unwrapped lines cut at the view's edge", plainFont, false, console, select},
        {"unwrapped and scrolled to the end", plainFont, false, console + QLatin1Char('\n') + log, toEnd},
        {"a log in a fixed-pitch font", fixed, false, log, nullptr},
        {"a log in a fixed-pitch font, scrolled to the end", fixed, false, log, toEnd},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        SideBySide views(c.font, c.wrap, c.text);
        if (c.keys)
            views.both(c.keys);
        EXPECT_EQ(views.memo.CaretPos(), views.plainCaret());
        EXPECT_TRUE(shown(&views.memo) == shown(&views.plain));
    }
}

TEST(VclMemo, KeysAndTheMouseGoOverWrappedRowsAsInAPlainTextEdit)
{
    // Each step is given to both; then the caret, the selection and where the caret
    // stands in the view must be the same.
    QString text = QStringLiteral(
        "Tazo132 v2.4\nk1 T 0.1 Temperatura wody w zbiorniku numer dwa, mierzona co dziesięć sekund przez "
        "czujnik na dnie\n");
    for (int i = 2; i < 30; ++i)
        text += QStringLiteral("k%1 T 0.1 %2\n")
                    .arg(i)
                    .arg(i % 4 ? QStringLiteral("Temperatura")
                               : QStringLiteral("Napięcie zasilania rejestratora "
                                                "po stronie wtórnej i pierwotnej"));
    text += QString(140, u'7') + QStringLiteral(" koniec");
    SideBySide views(QApplication::font(), true, text);
    const auto keys = [](std::vector<std::pair<int, Qt::KeyboardModifiers>> list) {
        return [list](QWidget* w) {
            for (const auto& [k, mods] : list)
                key(w, k, mods);
        };
    };
    const Qt::KeyboardModifiers none = Qt::NoModifier, shift = Qt::ShiftModifier, ctrl = Qt::ControlModifier;
    // A click in both at a place of the text as the memo draws it.
    const auto click = [&](TextPos at, bool dragFromCaret = false) {
        const QPoint point = views.memo.PointOf(at) + QPoint(1, 3);
        const QPoint from = views.memo.PointOf(views.memo.CaretPos()) + QPoint(1, 3);
        return [point, from, dragFromCaret](QWidget* w) {
            QWidget* view = static_cast<QAbstractScrollArea*>(w)->viewport();
            if (dragFromCaret)
                testsupport::MouseDrag(view, from, point);
            else
                testsupport::MouseClick(view, point);
        };
    };
    const struct {
        const char* name;
        std::function<std::function<void(QWidget*)>()> step;
    } steps[] = {
        {"down into a wrapped line's rows",
         [&] {
             return keys({{Qt::Key_Down, none}, {Qt::Key_Right, none}, {Qt::Key_Right, none}, {Qt::Key_Down, none}});
         }},
        {"End stops before the blank the row ends with",
         [&] {
             return keys({{Qt::Key_End, none}});
         }},
        {"Home goes to the row's start",
         [&] {
             return keys({{Qt::Key_Home, none}});
         }},
        {"up and down keep the place across rows",
         [&] {
             return keys({{Qt::Key_End, none}, {Qt::Key_Down, none}, {Qt::Key_Down, none}, {Qt::Key_Up, none}});
         }},
        {"Shift+End and Shift+Down select by rows",
         [&] {
             return keys({{Qt::Key_End, shift}, {Qt::Key_Down, shift}});
         }},
        {"page down",
         [&] {
             return keys({{Qt::Key_PageDown, none}});
         }},
        {"page down again",
         [&] {
             return keys({{Qt::Key_PageDown, none}});
         }},
        {"page up with Shift",
         [&] {
             return keys({{Qt::Key_PageUp, shift}});
         }},
        {"page up",
         [&] {
             return keys({{Qt::Key_PageUp, none}, {Qt::Key_PageUp, none}, {Qt::Key_PageUp, none}});
         }},
        {"to the end and up the long word's rows",
         [&] {
             return keys({{Qt::Key_End, ctrl}, {Qt::Key_Up, none}, {Qt::Key_Up, none}, {Qt::Key_End, none}});
         }},
        {"Shift+Down on the last row selects to the end",
         [&] {
             return keys({{Qt::Key_Down, shift}, {Qt::Key_Down, shift}, {Qt::Key_Down, shift}});
         }},
        {"a click on a wrapped line's second row",
         [&] {
             return click({28, 60});
         }},
        {"a drag from there over rows",
         [&] {
             return click({26, 5}, true);
         }},
        {"page down to the end",
         [&] {
             return keys({{Qt::Key_PageDown, none}, {Qt::Key_PageDown, none}});
         }},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        views.both(s.step());
        EXPECT_EQ(views.memo.CaretPos(), views.plainCaret());
        EXPECT_EQ(views.memo.SelectedText(),
                  views.plain.textCursor().selectedText().replace(QChar::ParagraphSeparator, u'\n'));
        // Where the caret stands in the view (a plain text edit may draw a row inside a
        // wrapped line a pixel lower).
        EXPECT_NEAR(views.memo.PointOf(views.memo.CaretPos()).y(), views.plain.cursorRect().y(), 1);
        EXPECT_NEAR(views.memo.PointOf(views.memo.CaretPos()).x(), views.plain.cursorRect().x(), 1);
        EXPECT_EQ(views.memo.verticalScrollBar()->value(), views.plain.verticalScrollBar()->value());
    }
}

// Text dropped from another program, as the window system delivers it to the view.
bool drop(QAbstractScrollArea* w, QPoint at, const QString& text)
{
    QMimeData data;
    data.setText(text);
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->viewport(), &enter);
    QDragMoveEvent move(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->viewport(), &move);
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w->viewport(), &dropped);
    return dropped.isAccepted();
}

TEST(VclMemo, TextDroppedIntoItGoesWhereItIsLetGo)
{
    SideBySide views(QApplication::font(), true, QStringLiteral("k1 T 0.1\nk2 T 0.1"));
    const QPoint at = views.memo.PointOf({1, 3}) + QPoint(1, 3);
    views.both([&](QWidget* w) {
        EXPECT_TRUE(drop(static_cast<QAbstractScrollArea*>(w), at, QStringLiteral("U 0.01\nk3 ")));
    });
    EXPECT_EQ(views.memo.toPlainText(), QStringLiteral("k1 T 0.1\nk2 U 0.01\nk3 T 0.1"));
    EXPECT_EQ(views.memo.toPlainText(), views.plain.toPlainText());
    EXPECT_EQ(views.memo.CaretPos(), views.plainCaret()) << "after the dropped text";
    views.both(undo);
    EXPECT_EQ(views.memo.toPlainText(), QStringLiteral("k1 T 0.1\nk2 T 0.1")) << "one undo takes it back";
    // Nothing drops into a memo that cannot be edited.
    views.memo.setReadOnly(true);
    EXPECT_FALSE(drop(&views.memo, at, QStringLiteral("x")));
    EXPECT_EQ(views.memo.toPlainText(), QStringLiteral("k1 T 0.1\nk2 T 0.1"));
}

TEST(VclMemo, UndoSwitchedOffTakesNothingBack)
{
    // Switched off, as a plain text edit's undo is: Ctrl+Z and Ctrl+Y do nothing, and
    // what could be undone before is gone.
    for (const bool enabled : {true, false}) {
        SCOPED_TRACE(enabled ? "undo on" : "undo off");
        SideBySide views(QApplication::font(), false, QStringLiteral("k1 T 0.1"));
        views.both([](QWidget* w) {
            key(w, Qt::Key_End, Qt::ControlModifier);
            testsupport::TypeText(w, QStringLiteral(" Temperatura"));
        });
        views.plain.setUndoRedoEnabled(enabled);
        views.memo.setUndoRedoEnabled(enabled);
        views.both([](QWidget* w) {
            testsupport::TypeText(w, QStringLiteral(" wody"));
            undo(w);
        });
        EXPECT_EQ(views.memo.toPlainText(), views.plain.toPlainText());
        // With undo, the typing goes back as one step.
        EXPECT_EQ(views.memo.toPlainText(),
                  enabled ? QStringLiteral("k1 T 0.1") : QStringLiteral("k1 T 0.1 Temperatura wody"));
        views.both([](QWidget* w) {
            undo(w);
            key(w, Qt::Key_Y, Qt::ControlModifier);
        });
        EXPECT_EQ(views.memo.toPlainText(), views.plain.toPlainText());
        EXPECT_EQ(views.memo.CanUndo(), enabled);
    }
}

// ---- On an X server, as the user meets it: the X11 selection and dragging text, in
// the memo and in a plain text edit, each in a program of its own (memo_peer), with
// another program that holds or reads the selection.

class MemoOnX : public ::testing::TestWithParam<const char*> {
protected:
    void SetUp() override { ASSERT_TRUE(x.running()) << x.error().toStdString(); }
    void TearDown() override
    {
        for (QProcess* p : {&shown, &other}) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(3000);
            }
        }
    }
    // Shows text in the widget of the test's parameter; false when no window came.
    bool show(const QString& text)
    {
        if (!x.start(shown, QStringLiteral(MEMO_PEER), {QString::fromLatin1(GetParam()), text}, cwd.path()))
            return false;
        window = x.waitForWindow(shown.processId(), QStringLiteral("^memo-peer$"));
        const QString at = told(shown, QStringLiteral("at:"));
        for (const QString& pair : at.split(QLatin1Char(' '), Qt::SkipEmptyParts))
            places << QPoint(pair.section(QLatin1Char(','), 0, 0).toInt(),
                             pair.section(QLatin1Char(','), 1, 1).toInt());
        return !window.isEmpty() && !places.isEmpty();
    }
    // A point inside the first line, just right of where column starts.
    QPoint inside(int column) const { return places.value(column) + QPoint(1, 6); }
    // The rest of the first line the program tells that starts with prefix, once it
    // has; null when it does not within 5 s.
    QString told(QProcess& program, const QString& prefix, const QString& expected = QString())
    {
        QString found;
        testsupport::WaitUntil([&] {
            heard[&program] += QString::fromUtf8(program.readAllStandardError());
            for (const QString& line : heard[&program].split(QLatin1Char('\n'))) {
                if (line.startsWith(prefix) && (expected.isNull() || line.mid(prefix.size()) == expected)) {
                    found = line.mid(prefix.size());
                    return true;
                }
            }
            return false;
        });
        return found;
    }
    // The text the widget shows after its last change.
    QString lastText()
    {
        heard[&shown] += QString::fromUtf8(shown.readAllStandardError());
        const qsizetype at = heard[&shown].lastIndexOf(QLatin1String("text:"));
        return at < 0 ? QString() : heard[&shown].mid(at + 5).section(QLatin1Char('\n'), 0, 0);
    }
    // What another program pastes from the X11 selection, once the widget offered it.
    QString selection()
    {
        told(shown, QStringLiteral("offered"));
        heard[&shown].replace(QLatin1String("offered"), QLatin1String("-"));
        QProcess reader;
        if (!x.start(reader, QStringLiteral(MEMO_PEER), {QStringLiteral("read")}, cwd.path()))
            return QStringLiteral("(no reader)");
        reader.waitForFinished(5000);
        const QString out = QString::fromUtf8(reader.readAllStandardError());
        return out.section(QLatin1String("selection:"), 1).section(QLatin1Char('\n'), 0, 0);
    }

    testsupport::TempCwd cwd;
    testsupport::XServer x;
    QProcess shown;
    QProcess other;
    QString window;
    QList<QPoint> places;
    std::map<QProcess*, QString> heard;
};

TEST_P(MemoOnX, SelectedTextIsTheSelectionOtherProgramsPaste)
{
    ASSERT_TRUE(show(QStringLiteral("k1 T 0.1 Temperatura wody")));
    ASSERT_TRUE(x.drag(window, inside(3), inside(8)));
    EXPECT_EQ(selection(), QStringLiteral("T 0.1")) << "selected with the mouse";
    ASSERT_TRUE(x.click(window, inside(12).x(), inside(12).y(), 2));
    EXPECT_EQ(selection(), QStringLiteral("Temperatura")) << "a word taken by a double click";
    ASSERT_TRUE(x.pressKeys(window, QStringLiteral("ctrl+Home shift+End")));
    EXPECT_EQ(selection(), QStringLiteral("k1 T 0.1 Temperatura wody")) << "selected with the keys";
}

TEST_P(MemoOnX, TheSelectionPastedIsTheTextSelectedThoughLinesCameSince)
{
    ASSERT_TRUE(show(QStringLiteral("k1 T 0.1 Temperatura wody")));
    ASSERT_TRUE(x.drag(window, inside(3), inside(8)));
    told(shown, QStringLiteral("offered"));
    shown.write("k0 S 1.0 Cisnienie\n");
    ASSERT_FALSE(told(shown, QStringLiteral("text:"), QStringLiteral("k0 S 1.0 Cisnienie\\nk1 T 0.1 Temperatura wody"))
                     .isNull());
    EXPECT_EQ(selection(), QStringLiteral("T 0.1"));
}

TEST_P(MemoOnX, AMiddleClickPastesTheSelectionOfAnotherProgram)
{
    ASSERT_TRUE(x.start(other, QStringLiteral(MEMO_PEER), {QStringLiteral("own"), QStringLiteral("21.5")}, cwd.path()));
    ASSERT_FALSE(told(other, QStringLiteral("owned")).isNull());
    ASSERT_TRUE(show(QStringLiteral("k1 T\nk2")));
    ASSERT_TRUE(x.click(window, inside(2).x(), inside(2).y(), 1, 2));
    EXPECT_FALSE(told(shown, QStringLiteral("text:"), QStringLiteral("k121.5 T\\nk2")).isNull())
        << lastText().toStdString();
}

TEST_P(MemoOnX, SelectedTextIsDraggedToWhereItIsLetGo)
{
    ASSERT_TRUE(show(QStringLiteral("alfa beta gamma")));
    ASSERT_TRUE(x.pressKeys(window, QStringLiteral("ctrl+Home ctrl+Right shift+ctrl+Right")));
    ASSERT_EQ(selection(), QStringLiteral("beta "));
    ASSERT_TRUE(x.drag(window, inside(6), inside(15) + QPoint(4, 0)));
    EXPECT_FALSE(told(shown, QStringLiteral("text:"), QStringLiteral("alfa gammabeta ")).isNull())
        << lastText().toStdString();
    // One undo takes the move back.
    ASSERT_TRUE(x.pressKeys(window, QStringLiteral("ctrl+z")));
    EXPECT_FALSE(told(shown, QStringLiteral("text:"), QStringLiteral("alfa beta gamma")).isNull())
        << lastText().toStdString();
}

// The plain text edit shows what the memo must do.
INSTANTIATE_TEST_SUITE_P(Widgets, MemoOnX, ::testing::Values("plain", "memo"));

} // namespace
