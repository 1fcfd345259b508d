#pragma once
// A program that is running from a file of the test's choosing: a copy of the system's
// small "sleep" program, started from that file and killed with the object. Linux lets
// nobody open such a file for writing ("text file busy"), as with a program its user
// started.

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QString>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace testsupport {

class RunningProgram {
public:
    explicit RunningProgram(const QString& path) : path_(path)
    {
        QFile source(QStandardPaths::findExecutable(QStringLiteral("sleep")));
        if (!source.open(QIODevice::ReadOnly))
            return;
        bytes_ = source.readAll();
        QFile copy(path);
        if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) || copy.write(bytes_) != bytes_.size())
            return;
        copy.close();
        copy.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadGroup |
                            QFile::ExeGroup | QFile::ReadOther | QFile::ExeOther);
        process_.start(path, {QStringLiteral("60")});
        process_.waitForStarted(5000);
    }
    ~RunningProgram()
    {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished(3000);
        }
    }
    RunningProgram(const RunningProgram&) = delete;
    RunningProgram& operator=(const RunningProgram&) = delete;

    bool running() const { return process_.state() == QProcess::Running; }
    // The program file as it was started.
    const QByteArray& bytes() const { return bytes_; }
    // True while the file cannot be opened for writing because it runs.
    bool busy() const
    {
        const int fd = ::open(QFile::encodeName(path_).constData(), O_WRONLY | O_CLOEXEC);
        if (fd >= 0)
            ::close(fd);
        return fd < 0 && errno == ETXTBSY;
    }

private:
    QString path_;
    QByteArray bytes_;
    QProcess process_;
};

} // namespace testsupport
