#include "platform/vcl/VclApplication.h"

#include <QGuiApplication>
#include <QLibraryInfo>
#include <QScreen>
#include <QTranslator>
#include <algorithm>

namespace vcl {

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    Application = this;
    // The program ends by Terminate (or its main form closing), not when its last
    // window hides: measurement windows and dialogs hide, they do not end it.
    setQuitOnLastWindowClosed(false);
    // The program speaks Polish whatever the system's language; without Qt's own
    // translations its file, colour, print and folder dialogs would speak English.
    auto* qtTexts = new QTranslator(this);
    if (qtTexts->load(QStringLiteral("qtbase_pl"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        installTranslator(qtTexts);
}

TApplication::~TApplication()
{
    while (!forms_.empty()) {
        TForm* form = forms_.back();
        forms_.pop_back();
        delete form;
    }
    if (Application == this)
        Application = nullptr;
}

void TApplication::adopt(TForm* form)
{
    forms_.push_back(form);
    if (!mainForm_)
        mainForm_ = form;
}

void TApplication::formDestroyed(TForm* form)
{
    forms_.erase(std::remove(forms_.begin(), forms_.end(), form), forms_.end());
    if (mainForm_ == form)
        mainForm_ = nullptr;
}

int TApplication::Run()
{
    if (mainForm_ && !terminated_)
        mainForm_->Show();
    if (terminated_)
        return 0;
    running_ = true;
    const int result = exec();
    running_ = false;
    return result;
}

void TApplication::Terminate()
{
    terminated_ = true;
    // quit() would ask every window to close first, running the forms' close handlers
    // (the main form's question among them), and one refusal would cancel the end.
    // exit() ends the running loops and asks no window. Outside Run it would also stop
    // every loop started later (tests run one program start after another), so only
    // the flag counts there.
    if (running_)
        exit(0);
}

void TApplication::Restart()
{
    terminated_ = false;
    mainForm_ = nullptr;
}

bool TApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

int Screen::Height()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

} // namespace vcl
