#include "tests/support/QtInput.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QWidget>

namespace testsupport {

namespace {

QPoint at(QWidget* w, QPoint pos) { return pos == QPoint(-1, -1) ? w->rect().center() : pos; }

// origin is the widget's place on the screen when the gesture began: a widget that a
// drag moves must not move the pointer with it.
void mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held, QPoint origin)
{
    QMouseEvent e(type, QPointF(pos), QPointF(origin + pos), button, held, Qt::NoModifier);
    QApplication::sendEvent(w, &e);
}

void mouse(QWidget* w, QEvent::Type type, QPoint pos, Qt::MouseButton button, Qt::MouseButtons held)
{
    mouse(w, type, pos, button, held, w->mapToGlobal(QPoint(0, 0)));
}

} // namespace

void MouseClick(QWidget* w, QPoint pos, Qt::MouseButton button)
{
    pos = at(w, pos);
    mouse(w, QEvent::MouseButtonPress, pos, button, button);
    mouse(w, QEvent::MouseButtonRelease, pos, button, Qt::NoButton);
}

void MouseDoubleClick(QWidget* w, QPoint pos)
{
    pos = at(w, pos);
    MouseClick(w, pos);
    mouse(w, QEvent::MouseButtonDblClick, pos, Qt::LeftButton, Qt::LeftButton);
    mouse(w, QEvent::MouseButtonRelease, pos, Qt::LeftButton, Qt::NoButton);
}

void MouseDrag(QWidget* w, QPoint from, QPoint to)
{
    const QPoint origin = w->mapToGlobal(QPoint(0, 0));
    mouse(w, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton, origin);
    mouse(w, QEvent::MouseMove, (from + to) / 2, Qt::NoButton, Qt::LeftButton, origin);
    mouse(w, QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton, origin);
    mouse(w, QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton, origin);
}

void KeyClick(QWidget* w, int key, const QString& text, Qt::KeyboardModifiers modifiers)
{
    QKeyEvent press(QEvent::KeyPress, key, modifiers, text);
    QApplication::sendEvent(w, &press);
    QKeyEvent release(QEvent::KeyRelease, key, modifiers, text);
    QApplication::sendEvent(w, &release);
}

void TypeText(QWidget* w, const QString& text)
{
    for (QChar c : text)
        KeyClick(w, c.isLetterOrNumber() ? int(c.toUpper().unicode()) : int(Qt::Key_unknown), QString(c));
}

void FocusOut(QWidget* w)
{
    QFocusEvent out(QEvent::FocusOut, Qt::OtherFocusReason);
    QApplication::sendEvent(w, &out);
}

} // namespace testsupport
