#pragma once
// A private X server for tests that must see what the window system shows (window
// titles, what is on the screen) and use the real program as its user does (keys,
// clicks): Xvfb on a display it picks itself, ended with the object. Windows are found,
// read and driven with xdotool and xprop; the screen is read from the frame buffer that
// Xvfb keeps in a file.
//
// A window manager can be started on it for tests of how windows stack; without one,
// nothing frames, stacks or moves the windows but the programs themselves.
//
// A test that needs it fails when it cannot be started: CI installs Xvfb (and the
// window manager). Its waits
// run the event loop of the test's application object (QtTestApp).

#include "tests/support/QtTestApp.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRect>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

class XServer {
public:
    XServer();
    ~XServer();
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;

    // False when the server did not come up; error() says why.
    bool running() const { return !display_.isEmpty(); }
    const QString& error() const { return error_; }
    // The display name, e.g. ":3".
    const QString& display() const { return display_; }
    // Starts a window manager (openbox) on the server and waits until it manages windows;
    // false when it did not come up within 5 s. It ends with the server.
    bool startWindowManager();
    // The environment of a program shown on this server: the test's own, with DISPLAY
    // and the xcb platform.
    QProcessEnvironment environment() const;
    // Starts a program shown on this server in folder, its standard output thrown away
    // and its standard error kept for readAllStandardError(); false when it did not
    // start within 5 s.
    bool start(QProcess& program, const QString& executable, const QStringList& args, const QString& folder) const;

    // Visible windows of process pid (0: of any program) whose title matches the regular
    // expression, as X window ids.
    QStringList windows(qint64 pid, const QString& titlePattern) const;
    // Waits until there is such a window and returns the first; empty after the time-out.
    QString waitForWindow(qint64 pid, const QString& titlePattern, int timeoutMs = 5000) const;
    // Waits until the process has exactly count such windows.
    bool waitForWindowCount(qint64 pid, const QString& titlePattern, int count, int timeoutMs = 5000) const;

    // The window's title as window managers show it (_NET_WM_NAME) and as older ones
    // do (WM_NAME); null when the window has none.
    QString title(const QString& window) const;
    QString legacyTitle(const QString& window) const;

    // Gives the window the keyboard focus, then presses the keys (xdotool's names,
    // e.g. "alt+z" or "Return"; several apart by blanks, e.g. "alt+p Right p").
    bool pressKeys(const QString& window, const QString& keys) const;
    // Clicks a button (1 the left, 2 the middle one) at x, y of the window's inside,
    // count times in a row (2: a double click).
    bool click(const QString& window, int x, int y, int count = 1, int button = 1) const;
    // Presses the left button at from, moves the pointer to to in steps with the button
    // held, and lets it go there (both in the window's inside).
    bool drag(const QString& window, QPoint from, QPoint to) const;

    // Moves the pointer to the screen's bottom right corner, where it is in no picture of
    // a window (the server draws it into the screen).
    bool parkPointer() const;

    // The process that shows the window, as the window tells (_NET_WM_PID); 0 when it does not.
    qint64 pid(const QString& window) const;
    // The window that the window is a transient of (WM_TRANSIENT_FOR); empty when none.
    QString transientFor(const QString& window) const;
    // The managed windows from the bottom of the stack to the top, as the window manager
    // tells them (_NET_CLIENT_LIST_STACKING).
    QStringList stacking() const;
    // The window that the window manager made active (_NET_ACTIVE_WINDOW); empty when none.
    QString activeWindow() const;

    // Where the window's inside is on the screen; null when the window is gone.
    QRect geometry(const QString& window) const;
    // What the screen shows where the window's inside is; null when it cannot be read.
    QImage picture(const QString& window) const;

private:
    // Runs an X tool on this display; its standard output, or a null string when it failed.
    QString tool(const QString& program, const QStringList& args) const;
    QString property(const QString& window, const QString& name) const;
    // The window ids of a property of type WINDOW, as decimal numbers (xdotool's form).
    QStringList windowList(const QStringList& xpropTarget, const QString& name) const;

    QTemporaryDir frameBuffer_;
    QProcess server_;
    QProcess windowManager_;
    QString display_;
    QString error_;
};

// A test of a real program on its own X server: the program runs in the test's folder
// and is killed at the end when it is still running.
class RealProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(x.running()) << x.error().toStdString(); }
    void TearDown() override
    {
        if (program.state() != QProcess::NotRunning) {
            program.kill();
            program.waitForFinished(3000);
        }
    }
    // Starts the executable in the test's folder and gives its first window whose title
    // matches the pattern; empty when none came.
    QString startProgram(const QString& executable, const QStringList& args, const QString& titlePattern)
    {
        if (!x.start(program, executable, args, cwd.path()))
            return {};
        return x.waitForWindow(program.processId(), titlePattern);
    }

    TempCwd cwd;
    XServer x;
    QProcess program;
};

} // namespace testsupport
