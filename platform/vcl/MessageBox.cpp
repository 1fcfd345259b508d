#include "platform/vcl/MessageBox.h"

#include <QApplication>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScopeGuard>
#include <QThread>

#include <cstdio>
#include <mutex>

namespace platform {

namespace {

std::mutex scriptMutex;
MessageScript* currentScript = nullptr;

struct ButtonSpec {
    QMessageBox::StandardButton button;
    int result;
    const char* caption; // as a Polish system labels it
};

std::vector<ButtonSpec> buttonsFor(unsigned flags)
{
    const ButtonSpec ok{QMessageBox::Ok, IDOK, "OK"};
    const ButtonSpec cancel{QMessageBox::Cancel, IDCANCEL, "Anuluj"};
    const ButtonSpec yes{QMessageBox::Yes, IDYES, "&Tak"};
    const ButtonSpec no{QMessageBox::No, IDNO, "&Nie"};
    const ButtonSpec abort{QMessageBox::Abort, IDABORT, "&Przerwij"};
    const ButtonSpec retry{QMessageBox::Retry, IDRETRY, "&Ponów próbę"};
    const ButtonSpec ignore{QMessageBox::Ignore, IDIGNORE, "&Zignoruj"};
    switch (flags & MB_TYPEMASK) {
    case MB_OKCANCEL:
        return {ok, cancel};
    case MB_ABORTRETRYIGNORE:
        return {abort, retry, ignore};
    case MB_YESNOCANCEL:
        return {yes, no, cancel};
    case MB_YESNO:
        return {yes, no};
    case MB_RETRYCANCEL:
        return {retry, cancel};
    default:
        return {ok};
    }
}

QMessageBox::Icon iconFor(unsigned flags)
{
    switch (flags & MB_ICONMASK) {
    case MB_ICONERROR:
        return QMessageBox::Critical;
    case MB_ICONQUESTION:
        return QMessageBox::Question;
    case MB_ICONWARNING:
        return QMessageBox::Warning;
    case MB_ICONINFORMATION:
        return QMessageBox::Information;
    default:
        return QMessageBox::NoIcon;
    }
}

int consoleBox(const QString& text, const QString& title, unsigned flags)
{
    const int answer = FirstButton(flags);
    const QByteArray out = (title + QStringLiteral(": ") + text + QLatin1Char('\n')).toUtf8();
    std::fwrite(out.constData(), 1, static_cast<std::size_t>(out.size()), stderr);
    std::fflush(stderr);
    return answer;
}

int modalBox(const QString& text, const QString& title, unsigned flags)
{
    // On the heap: the owner may close for good while the box is open and take it along.
    QPointer<QMessageBox> box = new QMessageBox(iconFor(flags), title, text, QMessageBox::NoButton, DialogOwner());
    const auto drop = qScopeGuard([&] { delete box.data(); });
    box->setWindowModality(Qt::ApplicationModal);
    if (flags & (MB_TOPMOST | MB_SERVICE_NOTIFICATION))
        box->setWindowFlag(Qt::WindowStaysOnTopHint);
    const std::vector<ButtonSpec> specs = buttonsFor(flags);
    for (const ButtonSpec& spec : specs)
        box->addButton(spec.button)->setText(QString::fromUtf8(spec.caption));
    box->setDefaultButton(specs.front().button);
    // Escape answers as the system's box does: Cancel when there is one, OK when it is alone.
    const bool hasCancel = box->button(QMessageBox::Cancel) != nullptr;
    if (hasCancel)
        box->setEscapeButton(box->button(QMessageBox::Cancel));
    else if (specs.size() == 1)
        box->setEscapeButton(box->button(specs.front().button));
    box->exec();
    const QAbstractButton* clicked = box ? box->clickedButton() : nullptr;
    for (const ButtonSpec& spec : specs) {
        if (clicked && clicked == box->button(spec.button))
            return spec.result;
    }
    return hasCancel ? IDCANCEL : specs.front().result;
}

int realBox(const QString& text, const QString& title, unsigned flags)
{
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    if (!app)
        return consoleBox(text, title, flags);
    if (QThread::currentThread() != app->thread()) {
        int answer = 0;
        QMetaObject::invokeMethod(
            app, [&] { answer = modalBox(text, title, flags); }, Qt::BlockingQueuedConnection);
        return answer;
    }
    return modalBox(text, title, flags);
}

QString applicationTitle()
{
    QString name = QCoreApplication::applicationName();
    if (name.isEmpty()) {
        // Before a QCoreApplication exists Qt knows no name; the kernel does.
        QFile comm(QStringLiteral("/proc/self/comm"));
        if (comm.open(QIODevice::ReadOnly))
            name = QString::fromLocal8Bit(comm.readAll()).trimmed();
    }
    return name;
}

} // namespace

QWidget* DialogOwner()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return nullptr;
    if (QWidget* modal = QApplication::activeModalWidget())
        return modal;
    return QApplication::activeWindow();
}

int FirstButton(unsigned flags) { return buttonsFor(flags).front().result; }

MessageScript::MessageScript()
{
    std::lock_guard lock(scriptMutex);
    previous_ = currentScript;
    currentScript = this;
}

MessageScript::~MessageScript()
{
    std::lock_guard lock(scriptMutex);
    if (currentScript == this) {
        currentScript = previous_;
        return;
    }
    // Destroyed out of order: unlink it from the chain of newer scripts.
    for (MessageScript* s = currentScript; s; s = s->previous_) {
        if (s->previous_ == this) {
            s->previous_ = previous_;
            break;
        }
    }
}

int MessageBox(const QString& text, const QString& title, unsigned flags)
{
    std::unique_lock lock(scriptMutex);
    MessageScript* script = currentScript;
    if (!script) {
        lock.unlock();
        return realBox(text, title, flags);
    }
    const std::size_t index = script->records_.size();
    script->records_.push_back({title, text, flags, 0});
    const MessageRecord seen = script->records_.back();
    // The callback may queue an answer or show further boxes, so it runs unlocked.
    if (script->onMessage) {
        lock.unlock();
        script->onMessage(seen);
        lock.lock();
    }
    int answer = FirstButton(flags);
    if (!script->answers_.empty()) {
        answer = script->answers_.front();
        script->answers_.pop_front();
    }
    if (index < script->records_.size())
        script->records_[index].answer = answer;
    return answer;
}

void ShowMessage(const QString& text) { MessageBox(text, applicationTitle(), MB_OK); }

void ShowException(const QString& text) { MessageBox(text, QStringLiteral("Error"), MB_OK | MB_ICONERROR); }

} // namespace platform
