#pragma once
// User input for widget tests, delivered as real mouse and key events to the widget
// (no QtTest dependency).

#include <QPoint>
#include <QString>

class QWidget;

namespace testsupport {

// Press and release of a mouse button at pos (the widget's centre by default).
void MouseClick(QWidget* w, QPoint pos = QPoint(-1, -1), Qt::MouseButton button = Qt::LeftButton);
void MouseDoubleClick(QWidget* w, QPoint pos = QPoint(-1, -1));
// Press at from, move to to with the button held, release there.
void MouseDrag(QWidget* w, QPoint from, QPoint to);
// Press and release of one key; text is what it types.
void KeyClick(QWidget* w, int key, const QString& text = QString(), Qt::KeyboardModifiers modifiers = Qt::NoModifier);
// Types each character of text.
void TypeText(QWidget* w, const QString& text);
// Tells the widget the focus left it. Keys sent to a widget without the focus may leave
// its caret showing; hiding it this way changes nothing else of what it shows.
void FocusOut(QWidget* w);

} // namespace testsupport
