#include "platform/vcl/VclForms.h"

#include "platform/vcl/VclApplication.h"

#include <QCloseEvent>
#include <QEventLoop>
#include <QGuiApplication>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>

#include <algorithm>

namespace vcl {

namespace {

// Stored geometry may hold any 32-bit value. Within these bounds every sum of a position
// and a size, here and in the window system's own rectangles, stays far inside an int.
int position(int value) { return std::clamp(value, -QWIDGETSIZE_MAX, QWIDGETSIZE_MAX); }
int extent(int value) { return std::clamp(value, 0, QWIDGETSIZE_MAX); }

} // namespace

TForm::TForm(QWidget* owner) : TControlT<QWidget>(owner, Qt::Window)
{
    // A size of its own keeps Qt from fitting the window to its contents at show.
    resize(640, 480);
}

TForm::~TForm()
{
    if (Application)
        Application->formDestroyed(this);
}

void TForm::SetCaption(const QString& caption)
{
    caption_ = caption;
    setWindowTitle(caption);
}

QSize TForm::frameExtra() const { return frameGeometry().size() - geometry().size(); }

int TForm::Left() const { return x(); }
int TForm::Top() const { return y(); }
int TForm::Width() const { return width() + frameExtra().width(); }
int TForm::Height() const { return height() + frameExtra().height(); }

void TForm::SetLeft(int left) { move(position(left), y()); }
void TForm::SetTop(int top) { move(x(), position(top)); }

void TForm::resizeClient(int w, int h)
{
    resize(std::max(0, w), std::max(0, h));
    detail::Resized(this);
}

void TForm::SetWidth(int w)
{
    w = extent(w);
    if (!frameKnown_)
        pendingOuter_.setWidth(w);
    resizeClient(w - frameExtra().width(), height());
}

void TForm::SetHeight(int h)
{
    h = extent(h);
    if (!frameKnown_)
        pendingOuter_.setHeight(h);
    resizeClient(width(), h - frameExtra().height());
}

void TForm::SetBounds(int left, int top, int w, int h)
{
    w = extent(w);
    h = extent(h);
    move(position(left), position(top));
    if (!frameKnown_)
        pendingOuter_ = QSize(w, h);
    const QSize extra = frameExtra();
    resizeClient(w - extra.width(), h - extra.height());
}

void TForm::KeepOnScreen(int minimumWidth, int minimumHeight)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    const int w = std::clamp(Width(), std::min(minimumWidth, area.width()), area.width());
    const int h = std::clamp(Height(), std::min(minimumHeight, area.height()), area.height());
    if (w != Width())
        SetWidth(w);
    if (h != Height())
        SetHeight(h);
    // A frame the window system adds may still leave the form a little larger than the area.
    const int l = std::clamp(Left(), area.left(), std::max(area.left(), area.left() + area.width() - Width()));
    const int t = std::clamp(Top(), area.top(), std::max(area.top(), area.top() + area.height() - Height()));
    if (l != Left())
        SetLeft(l);
    if (t != Top())
        SetTop(t);
}

void TForm::SetClientWidth(int w)
{
    pendingOuter_.setWidth(-1);
    resizeClient(w, height());
}

void TForm::SetClientHeight(int h)
{
    pendingOuter_.setHeight(-1);
    resizeClient(width(), h);
}

void TForm::Show()
{
    if (position_ == poScreenCenter) {
        if (QScreen* screen = QGuiApplication::primaryScreen()) {
            const QRect area = screen->availableGeometry();
            move(area.x() + (area.width() - Width()) / 2, area.y() + (area.height() - Height()) / 2);
        }
    }
    show();
    raise();
}

void TForm::Hide() { hide(); }

bool TForm::runOnClose(TCloseAction& action)
{
    if (!OnClose)
        return true;
    if (!Guarded([&] { OnClose(this, action); })) {
        action = caNone;
        return false;
    }
    return true;
}

void TForm::Close()
{
    if (modal_) {
        modalResult_ = mrCancel;
        return;
    }
    TCloseAction action = caHide;
    // An error in OnClose reaches the code that closed the form, which stays.
    if (OnClose)
        OnClose(this, action);
    if (action == caNone)
        return;
    if (Application && Application->MainForm() == this) {
        Application->Terminate();
        return;
    }
    switch (action) {
    case caHide:
        hide();
        break;
    case caMinimize:
        showMinimized();
        break;
    case caFree:
        hide();
        Release();
        break;
    case caNone:
        break;
    }
}

void TForm::Release() { deleteLater(); }

int TForm::ShowModal()
{
    if (modal_ || isVisible())
        throw Exception(QStringLiteral("Cannot make a visible window modal"));
    modal_ = true;
    modalResult_ = mrNone;
    setWindowModality(Qt::ApplicationModal);
    Show();
    if (ModalScript::current()) {
        QPointer<TForm> self(this);
        QTimer::singleShot(0, this, [self] {
            if (self && self->modal_ && ModalScript::current())
                ModalScript::current()->run(*self);
        });
    }
    QEventLoop loop;
    for (;;) {
        if (Application && Application->Terminated()) {
            modalResult_ = mrCancel;
            break;
        }
        if (!isVisible() && modalResult_ == mrNone)
            modalResult_ = mrCancel; // hidden from code: the class library's cancel
        if (modalResult_ != mrNone) {
            TCloseAction action = caHide;
            runOnClose(action);
            if (action != caNone)
                break;
            modalResult_ = mrNone;
            if (!isVisible())
                Show();
        }
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    hide();
    setWindowModality(Qt::NonModal);
    modal_ = false;
    return modalResult_;
}

void TForm::applyWindowFlags()
{
    Qt::WindowFlags flags = Qt::Window;
    const unsigned all = biSystemMenu | biMinimize | biMaximize;
    if ((borderIcons_ & all) != all) {
        flags |= Qt::CustomizeWindowHint | Qt::WindowTitleHint;
        if (borderIcons_ & biSystemMenu)
            flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
        if (borderIcons_ & biMinimize)
            flags |= Qt::WindowMinimizeButtonHint;
        if (borderIcons_ & biMaximize)
            flags |= Qt::WindowMaximizeButtonHint;
    }
    if (formStyle_ == fsStayOnTop)
        flags |= Qt::WindowStaysOnTopHint;
    if (windowFlags() == flags)
        return;
    const bool wasVisible = isVisible();
    const QPoint at = pos();
    setWindowFlags(flags); // Qt hides the window to change them
    move(at);
    if (wasVisible) {
        reshowing_ = true;
        show();
        reshowing_ = false;
    }
}

void TForm::SetFormStyle(TFormStyle style)
{
    formStyle_ = style;
    applyWindowFlags();
}

void TForm::SetBorderIcons(unsigned icons)
{
    borderIcons_ = icons;
    applyWindowFlags();
}

void TForm::DoCreate() { Fire(OnCreate, this); }

void TForm::applyPendingOuter()
{
    if (frameKnown_ || !isVisible())
        return;
    const QSize extra = frameExtra();
    // Some window systems tell the frame only after the show; until they do, the outer
    // sizes set before the show stay pending, so the frame is never added on top.
    if (extra.isEmpty() && !firstShowDone_) {
        firstShowDone_ = true;
        return;
    }
    frameKnown_ = true;
    const int w = pendingOuter_.width() >= 0 ? pendingOuter_.width() - extra.width() : width();
    const int h = pendingOuter_.height() >= 0 ? pendingOuter_.height() - extra.height() : height();
    pendingOuter_ = QSize(-1, -1);
    if (QSize(w, h) != size())
        resizeClient(w, h);
}

void TForm::moveEvent(QMoveEvent* e)
{
    TControlT<QWidget>::moveEvent(e);
    if (!frameExtra().isEmpty())
        applyPendingOuter();
}

void TForm::showEvent(QShowEvent* e)
{
    TControlT<QWidget>::showEvent(e);
    applyPendingOuter();
    if (!e->spontaneous() && !reshowing_)
        Fire(OnShow, this);
}

void TForm::hideEvent(QHideEvent* e)
{
    TControlT<QWidget>::hideEvent(e);
    if (!e->spontaneous() && !reshowing_)
        Fire(OnHide, this);
}

void TForm::closeEvent(QCloseEvent* e)
{
    // The window's close box asks the form, which decides (OnClose) whether it goes.
    e->ignore();
    Guarded([this] { Close(); });
}

void ModalScript::run(TForm& form)
{
    shown_.push_back(form.Caption());
    std::function<void(TForm&)> action;
    if (!actions_.empty()) {
        action = std::move(actions_.front());
        actions_.pop_front();
    } else {
        action = onShown;
    }
    QPointer<TForm> alive(&form);
    if (action)
        Guarded([&] { action(form); });
    if (alive && form.Modal() && form.ModalResult() == mrNone)
        form.SetModalResult(defaultResult);
}

} // namespace vcl
