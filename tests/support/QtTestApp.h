#pragma once
// One offscreen application object for a whole test program, created by a gtest
// Environment before the first test and destroyed after the last. Including this
// header registers it. Also: waiting on events with a deadline, and a temporary
// working folder that is made current and restored.

#include <QDir>
#include <QString>
#include <QTemporaryDir>
#include <functional>

#include "tests/support/QtPrint.h" // readable QString values in test failures

namespace testsupport {

// Registers the environment (once per program); the inline variable below makes every
// test file that includes this header call it.
bool RegisterQtTestApp();
inline const bool qtTestAppRegistered = RegisterQtTestApp();

// Runs the event loop until pred() holds or timeoutMs passes; returns pred().
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 5000);
// Runs the event loop for the events already posted (and those they post), without waiting.
void ProcessPending();

// A fresh temporary folder made the current directory; the previous one comes back
// when it goes out of scope.
class TempCwd {
public:
    TempCwd();
    ~TempCwd();
    TempCwd(const TempCwd&) = delete;
    TempCwd& operator=(const TempCwd&) = delete;
    QString path() const { return dir_.path(); }
    // Creates a file (and its folders) under the temporary folder; returns its path.
    QString file(const QString& relative, const QByteArray& bytes = {}) const;
    QString mkdir(const QString& relative) const;

private:
    QString previous_;
    QTemporaryDir dir_;
};

} // namespace testsupport
