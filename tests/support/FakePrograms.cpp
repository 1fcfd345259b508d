#include "tests/support/FakePrograms.h"

#include "tests/support/QtTestApp.h"

#include <QDir>
#include <QFile>

namespace testsupport {

FakePrograms::FakePrograms(const QStringList& names, int delayMs, int exitCode)
    : oldPath_(qgetenv("PATH")), hadPath_(qEnvironmentVariableIsSet("PATH"))
{
    for (const QString& name : names) {
        const QString args = dir_.filePath(name + QStringLiteral(".args"));
        // Written aside and renamed, so a reader never sees half the arguments.
        const QString script = QStringLiteral("#!/bin/sh\n"
                                              "/bin/sleep %2\n"
                                              "for a in \"$@\"; do printf '%s\\n' \"$a\"; done > '%1.tmp'\n"
                                              "/bin/mv '%1.tmp' '%1'\n"
                                              "exit %3\n")
                                   .arg(args, QString::number(delayMs / 1000.0), QString::number(exitCode));
        QFile file(path(name));
        if (file.open(QIODevice::WriteOnly)) {
            file.write(script.toUtf8());
            file.close();
            file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                                QFile::ExeGroup);
        }
    }
    qputenv("PATH", QFile::encodeName(dir_.path()));
}

FakePrograms::~FakePrograms()
{
    if (hadPath_)
        qputenv("PATH", oldPath_);
    else
        qunsetenv("PATH");
}

QString FakePrograms::path(const QString& name) const { return dir_.filePath(name); }

std::optional<QStringList> FakePrograms::waitForRun(const QString& name, int timeoutMs) const
{
    const QString args = dir_.filePath(name + QStringLiteral(".args"));
    if (!WaitUntil([&] { return QFile::exists(args); }, timeoutMs))
        return std::nullopt;
    QFile file(args);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    lines.removeLast(); // after the last line break
    return lines;
}

} // namespace testsupport
