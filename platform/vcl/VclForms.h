#pragma once
// Forms: top-level windows whose components are built in code in the constructor.
// The creator (CreateForm or TApplication::CreateForm) runs OnCreate once after the
// constructor; an exception inside it is shown in the error box, the rest of the
// handler is skipped and the form still exists.
//
// Left, Top, Width and Height are the outer window (frame included, where the window
// system reports one); ClientWidth and ClientHeight the inner area, which is also the
// container that aligned children fill. They can be set before and after the form is
// shown; only the window system limits them. Any 32-bit value is taken: positions and
// sizes beyond what a window system can show are brought within +-QWIDGETSIZE_MAX first.

#include "platform/vcl/ScriptChain.h"
#include "platform/vcl/VclCore.h"

#include <deque>
#include <functional>
#include <vector>

namespace vcl {

enum TCloseAction { caNone, caHide, caFree, caMinimize };
enum TFormStyle { fsNormal, fsStayOnTop };
enum TPosition { poDesigned, poScreenCenter };
enum TBorderIcon : unsigned { biSystemMenu = 1, biMinimize = 2, biMaximize = 4 };

class TForm : public TControlT<QWidget> {
public:
    // A form with an owner is destroyed with it (and stays a window of its own).
    explicit TForm(QWidget* owner = nullptr);
    ~TForm() override;

    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);

    int Left() const;
    int Top() const;
    int Width() const;
    int Height() const;
    void SetLeft(int left);
    void SetTop(int top);
    void SetWidth(int width);
    void SetHeight(int height);
    void SetBounds(int left, int top, int width, int height);
    // Moves the form into the screen's available area and shrinks it to fit there,
    // keeping at least minimumWidth x minimumHeight as far as the screen has room.
    void KeepOnScreen(int minimumWidth, int minimumHeight);
    int ClientWidth() const { return width(); }
    int ClientHeight() const { return height(); }
    void SetClientWidth(int width);
    void SetClientHeight(int height);

    bool Visible() const { return isVisible(); }
    void Show();
    void Hide();
    // Asks OnClose with caHide. caNone keeps the form; otherwise the main form ends
    // the application, another form hides (caHide), is destroyed later (caFree) or
    // is minimised. A modal form gets ModalResult mrCancel instead and closes from
    // its modal loop. An error in OnClose leaves Close and the form stays. The window's
    // close box does the same, with the error shown in the error box.
    void Close();
    // Destroys the form once the current handler has returned.
    void Release();

    // Shows the form modally and returns its ModalResult once a button or code sets
    // one (or the form is closed: mrCancel). OnClose runs with caHide before it hides;
    // caNone there, or an error (shown in the error box), keeps it open. See
    // ModalScript for tests.
    int ShowModal();
    int ModalResult() const { return modalResult_; }
    void SetModalResult(int result) { modalResult_ = result; }
    bool Modal() const { return modal_; }

    TFormStyle FormStyle() const { return formStyle_; }
    void SetFormStyle(TFormStyle style);
    TPosition Position() const { return position_; }
    // poScreenCenter centres the form on the screen each time it is shown.
    void SetPosition(TPosition position) { position_ = position; }
    unsigned BorderIcons() const { return borderIcons_; }
    // Without biSystemMenu the window has no close box.
    void SetBorderIcons(unsigned icons);

    TNotifyEvent OnCreate;
    TNotifyEvent OnShow; // each time the form becomes visible
    TNotifyEvent OnHide;
    std::function<void(TObject* Sender, TCloseAction& Action)> OnClose;

    // Runs OnCreate, guarded. Called once by the creator.
    void DoCreate();

protected:
    void showEvent(QShowEvent* e) override;
    void moveEvent(QMoveEvent* e) override;
    void hideEvent(QHideEvent* e) override;
    void closeEvent(QCloseEvent* e) override;

private:
    QSize frameExtra() const;
    void applyWindowFlags();
    bool runOnClose(TCloseAction& action);

    QString caption_;
    int modalResult_ = mrNone;
    bool modal_ = false;
    TFormStyle formStyle_ = fsNormal;
    TPosition position_ = poDesigned;
    unsigned borderIcons_ = biSystemMenu | biMinimize | biMaximize;
    bool reshowing_ = false;
    // Outer sizes asked for before the window system told the frame's size; applied
    // when the form is first shown.
    void applyPendingOuter();
    bool frameKnown_ = false;
    bool firstShowDone_ = false;
    QSize pendingOuter_{-1, -1};
    void resizeClient(int width, int height);
};

// Constructs a form and runs its create handler: new F(args...), then OnCreate.
template <class F, class... A>
F* CreateForm(A&&... args)
{
    F* form = new F(std::forward<A>(args)...);
    form->DoCreate();
    return form;
}

// Lets tests run ShowModal without blocking: while installed, every ShowModal shows
// its form and, once the form is on the screen, runs the next queued action (or
// onShown) on it; when the action leaves no ModalResult, the form gets defaultResult.
class ModalScript : public platform::ScriptChain<ModalScript> {
public:
    void act(std::function<void(TForm&)> action) { actions_.push_back(std::move(action)); }
    std::function<void(TForm&)> onShown;
    int defaultResult = mrCancel;

    // Caption of each form shown modally, in order.
    const std::vector<QString>& shown() const { return shown_; }

    // Internal: acts on a form that ShowModal has put on the screen.
    void run(TForm& form);

private:
    std::deque<std::function<void(TForm&)>> actions_;
    std::vector<QString> shown_;
};

} // namespace vcl
