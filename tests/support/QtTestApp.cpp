#include "tests/support/QtTestApp.h"

#include "platform/vcl/VclApplication.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>

namespace testsupport {

namespace {

class QtTestAppEnvironment : public ::testing::Environment {
public:
    void SetUp() override
    {
        if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
            qputenv("QT_QPA_PLATFORM", "offscreen");
        if (!QCoreApplication::instance())
            app_ = std::make_unique<vcl::TApplication>(argc_, argv_);
    }
    void TearDown() override { app_.reset(); }

private:
    int argc_ = 1;
    char name_[8] = "tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<vcl::TApplication> app_;
};

} // namespace

bool RegisterQtTestApp()
{
    static const bool registered = [] {
        ::testing::AddGlobalTestEnvironment(new QtTestAppEnvironment);
        return true;
    }();
    return registered;
}

bool WaitUntil(const std::function<bool()>& pred, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!pred()) {
        if (deadline.hasExpired())
            return pred();
        QEventLoop loop;
        QTimer tick;
        QObject::connect(&tick, &QTimer::timeout, &loop, &QEventLoop::quit);
        tick.start(5);
        loop.exec();
    }
    return true;
}

void ProcessPending()
{
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TempCwd::TempCwd() : previous_(QDir::currentPath()) { QDir::setCurrent(dir_.path()); }

TempCwd::~TempCwd() { QDir::setCurrent(previous_); }

QString TempCwd::file(const QString& relative, const QByteArray& bytes) const
{
    const QString path = dir_.filePath(relative);
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
    return path;
}

QString TempCwd::mkdir(const QString& relative) const
{
    const QString path = dir_.filePath(relative);
    QDir().mkpath(path);
    return path;
}

} // namespace testsupport
