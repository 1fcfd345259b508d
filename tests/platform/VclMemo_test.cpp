// The layer's memo as the user meets it: keys and the clipboard edit it as they edit a
// plain text edit, the mouse places the caret where it points, a view at the end
// follows added lines, and a text list of a million lines is shown without delay.

#include "platform/VclMemo.h"
#include "platform/VclLists.h"

#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QPlainTextEdit>
#include <QScrollBar>

#include <functional>

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
        {"Return splits the line", [](QWidget* w) { key(w, Qt::Key_Left); key(w, Qt::Key_Return); }},
        {"Backspace at a line's start joins it to the one before",
         [](QWidget* w) { key(w, Qt::Key_Home); key(w, Qt::Key_Backspace); }},
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
    for (const Qt::Alignment alignment : {Qt::AlignLeft, Qt::AlignRight}) {
        SCOPED_TRACE(alignment == Qt::AlignLeft ? "left" : "right");
        TMemo memo;
        memo.resize(300, 200);
        memo.SetAlignment(alignment);
        memo.show();
        memo.setPlainText(QStringLiteral("DataTime  k1 k2\n2024-03-05 10:00:00 21.5 22.0\nkoniec"));
        QWidget* view = memo.viewport();
        const QPoint half(2, 3);   // inside the character cell that starts at PointOf
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
    // Only the lines in view are decoded and drawn, also of a line far wider than it.
    std::string text;
    for (int i = 0; i < 1000000; ++i)
        text += "2024-03-05 10:00:00 21.5 22.0 23.5\r\n";
    text += std::string(20 << 20, '7');
    TMemo memo;
    memo.resize(400, 300);
    memo.show();
    QElapsedTimer clock;
    clock.start();
    memo.SetAnsiText(QByteArray::fromStdString(text));
    memo.verticalScrollBar()->setValue(memo.verticalScrollBar()->maximum());
    memo.horizontalScrollBar()->setValue(memo.horizontalScrollBar()->maximum() / 2);
    for (int i = 0; i < 20; ++i)
        memo.viewport()->repaint();
    EXPECT_LT(clock.elapsed(), 3000);
    EXPECT_EQ(vcl::Lines(&memo).Count(), 1000001);
    EXPECT_GT(memo.horizontalScrollBar()->maximum(), 20 << 20);
}

} // namespace
