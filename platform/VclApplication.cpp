#include "platform/VclApplication.h"

#include <QGuiApplication>
#include <QScreen>
#include <algorithm>

namespace vcl {

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    Application = this;
    // The program ends by Terminate (or its main form closing), not when its last
    // window hides: measurement windows and dialogs hide, they do not end it.
    setQuitOnLastWindowClosed(false);
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
    return exec();
}

void TApplication::Terminate()
{
    terminated_ = true;
    quit();
}

void TApplication::Restart()
{
    terminated_ = false;
    mainForm_ = nullptr;
}

void TApplication::ProcessMessages()
{
    processEvents();
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

int Screen::Width()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().width() : 0;
}

int Screen::Height()
{
    QScreen* s = QGuiApplication::primaryScreen();
    return s ? s->geometry().height() : 0;
}

} // namespace vcl
