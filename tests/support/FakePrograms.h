#pragma once
// Programs on PATH for a test. While the object lives, PATH is one fresh folder that
// holds executables of the given names and nothing else, so a lookup on PATH finds
// exactly these. Each of them, when started, waits delayMs, writes the arguments it got
// into "<name>.args" beside it, one per line, and ends with exitCode (a program that
// failed when it is not 0); nothing is ever opened.

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <optional>

namespace testsupport {

class FakePrograms {
public:
    explicit FakePrograms(const QStringList& names, int delayMs = 0, int exitCode = 0);
    ~FakePrograms();
    FakePrograms(const FakePrograms&) = delete;
    FakePrograms& operator=(const FakePrograms&) = delete;

    // Where the program of that name lies (whether or not it was made).
    QString path(const QString& name) const;
    // The arguments of the program's run, once it has run; nothing when it has not run
    // within timeoutMs.
    std::optional<QStringList> waitForRun(const QString& name, int timeoutMs = 5000) const;

private:
    QTemporaryDir dir_;
    QByteArray oldPath_;
    bool hadPath_ = false;
};

} // namespace testsupport
