#pragma once
// The class library's common ground for our Qt widgets: handler types, the enums the
// forms use, colours, where an error raised in a handler goes, and the control
// properties (bounds, Align, Visible, Enabled, Hint, font) that every control shares.
//
// Alignment is done by the layer, not by Qt layouts: a Qt layout squeezes children
// when the window shrinks, while the class library keeps each aligned control's own
// size (an edge panel keeps its height or width) and lets the rest overlap.

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QPointer>
#include <QRect>
#include <QResizeEvent>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <exception>
#include <functional>
#include <initializer_list>
#include <stdexcept>
#include <utility>

class QMenu;

namespace vcl {

using TObject = QObject;
// Handlers take the sender, as the program's handlers do.
using TNotifyEvent = std::function<void(TObject* Sender)>;

enum TAlign { alNone, alTop, alBottom, alLeft, alRight, alClient };

enum TModalResult : int {
    mrNone = 0,
    mrOk = 1,
    mrCancel = 2,
    mrAbort = 3,
    mrRetry = 4,
    mrIgnore = 5,
    mrYes = 6,
    mrNo = 7,
    mrClose = 8,
};

// Colours as the class library stores them: 0x00BBGGRR for plain colours; the high
// byte 0xFF marks a system colour (its low byte is the index); two special values.
using TColor = std::int32_t;

constexpr TColor RGBColor(int r, int g, int b) { return TColor((r & 0xFF) | ((g & 0xFF) << 8) | ((b & 0xFF) << 16)); }

constexpr TColor clBlack = 0x000000;
constexpr TColor clMaroon = 0x000080;
constexpr TColor clGreen = 0x008000;
constexpr TColor clOlive = 0x008080;
constexpr TColor clNavy = 0x800000;
constexpr TColor clPurple = 0x800080;
constexpr TColor clTeal = 0x808000;
constexpr TColor clGray = 0x808080;
constexpr TColor clSilver = 0xC0C0C0;
constexpr TColor clRed = 0x0000FF;
constexpr TColor clLime = 0x00FF00;
constexpr TColor clYellow = 0x00FFFF;
constexpr TColor clBlue = 0xFF0000;
constexpr TColor clFuchsia = 0xFF00FF;
constexpr TColor clAqua = 0xFFFF00;
constexpr TColor clWhite = 0xFFFFFF;
constexpr TColor clNone = 0x1FFFFFFF;
// "No colour of its own": a chart point added with it is drawn in its series' colour.
constexpr TColor clDefault = 0x20000000;
constexpr TColor clWindow = TColor(0xFF000005u);
constexpr TColor clWindowText = TColor(0xFF000008u);
constexpr TColor clHighlight = TColor(0xFF00000Du);
constexpr TColor clBtnFace = TColor(0xFF00000Fu);
constexpr TColor clBtnShadow = TColor(0xFF000010u);
constexpr TColor clGrayText = TColor(0xFF000011u);
constexpr TColor clBtnText = TColor(0xFF000012u);
constexpr TColor clInfoBk = TColor(0xFF000018u);

// clNone and clDefault give an invalid QColor; system colours come from the palette.
QColor ToQColor(TColor color);
// An invalid QColor gives clNone; the alpha channel is dropped.
TColor FromQColor(const QColor& color);

// Mouse buttons and the shift state of the class library's mouse events.
enum TMouseButton { mbLeft, mbRight, mbMiddle };

enum TShiftStateFlag : unsigned {
    ssShift = 1u << 0,
    ssAlt = 1u << 1,
    ssCtrl = 1u << 2,
    ssLeft = 1u << 3,
    ssRight = 1u << 4,
    ssMiddle = 1u << 5,
    ssDouble = 1u << 6,
};

class TShiftState {
public:
    constexpr TShiftState() = default;
    constexpr TShiftState(std::initializer_list<TShiftStateFlag> flags)
    {
        for (TShiftStateFlag f : flags)
            bits_ |= f;
    }
    constexpr TShiftState& Include(TShiftStateFlag flag)
    {
        bits_ |= flag;
        return *this;
    }
    friend constexpr bool operator==(TShiftState a, TShiftState b) { return a.bits_ == b.bits_; }

private:
    unsigned bits_ = 0;
};

// An error raised by our own code with a Unicode message. what() holds it in code page
// 1250, as the runtime's errors (std::exception with 8-bit cp1250 text in what()) do.
class Exception : public std::runtime_error {
public:
    explicit Exception(const QString& message);
    const QString& Message() const { return message_; }

private:
    QString message_;
};

// Text of an exception for the error box: vcl::Exception's message as is, any other
// std::exception's what() decoded from cp1250, an unknown one empty.
QString ExceptionText(std::exception_ptr error);
// Shows the exception in the error box (platform::ShowException); the program goes on.
void HandleException(std::exception_ptr error);

// Runs f; an exception that leaves it is shown in the error box and swallowed.
// Returns false when f ended by an exception.
template <class F>
bool Guarded(F&& f) noexcept
{
    try {
        std::forward<F>(f)();
        return true;
    } catch (...) {
        HandleException(std::current_exception());
        return false;
    }
}

// Where an error raised in a handler goes depends on what ran the handler, as in the
// class library:
// - an event from the user or a timer (a click, a typed key, a tick): the error box
//   shows it and the program goes on (Fire). Every way from Qt's event delivery into a
//   handler is guarded so, and no exception crosses Qt's own frames (TApplication's
//   notify is only the last catch).
// - code that set a control (SetText, SetChecked, SetPosition, Click, Close...): the
//   error leaves the setter, and the code that set the control stops there unless it
//   catches it (FireFromCode).
// A form's create, show and hide handlers, a tab's show handler and resize handlers
// show their errors whoever started them, as the class library does.

// Runs a handler (when set) with its sender, guarded.
inline void Fire(const TNotifyEvent& handler, TObject* sender)
{
    if (handler)
        Guarded([&] { handler(sender); });
}

// Runs a handler (when set) with its sender; its exception reaches the caller.
inline void FireFromCode(const TNotifyEvent& handler, TObject* sender)
{
    if (handler)
        handler(sender);
}

// ---- Control properties on any QWidget (layer controls and plain Qt widgets alike).

TAlign Align(const QWidget* w);
// Changing between a top/bottom and a left/right alignment swaps width and height, and
// a return to alNone restores the bounds the control had before it was aligned, as the
// class library does. The parent is realigned at once.
void SetAlign(QWidget* w, TAlign align);
// Lays out the aligned, visible children of parent in the class library's order: all
// alTop (by Top, then creation), then alBottom (by bottom edge, from the bottom), then
// alLeft (by Left), alRight (by right edge, from the right), and alClient fills what is
// left. Each keeps its own height (top/bottom) or width (left/right); nothing squeezes.
// Children that are containers are realigned in turn, so sizes are right before show.
void Realign(QWidget* parent);

// Bounds relative to the parent. Setting them realigns the parent when the control is
// aligned (the aligned edge size sticks; the stretched size comes from the parent).
void SetBounds(QWidget* w, int left, int top, int width, int height);
void SetLeft(QWidget* w, int left);
void SetTop(QWidget* w, int top);
void SetWidth(QWidget* w, int width);
void SetHeight(QWidget* w, int height);

// The control's own Visible flag (not whether its window is on the screen).
bool Visible(const QWidget* w);
void SetVisible(QWidget* w, bool visible);
// The control's own Enabled flag (a child of a disabled parent still reports its own).
bool Enabled(const QWidget* w);
void SetEnabled(QWidget* w, bool enabled);

// The control's own background colour (the class library's Color), painted behind its
// children. clNone and clDefault give the control's default colour.
void SetColor(QWidget* w, TColor color);

// Font colour (text colour of the control) and style. clNone and clDefault give the
// control's default text colour; FontColor reads back the value as set.
void SetFontColor(QWidget* w, TColor color);
TColor FontColor(const QWidget* w);
void SetFontBold(QWidget* w, bool bold);
bool FontBold(const QWidget* w);
void SetFontName(QWidget* w, const QString& family);
void SetFontSize(QWidget* w, int points);

// The control's popup menu, shown on a right click (nullptr removes it).
void SetPopupMenu(QWidget* w, QMenu* menu);

// What the layer keeps beside each of its own controls.
class TControlData {
public:
    virtual ~TControlData() = default;
    // Runs when the control's size changes: from code (synchronously, also while the
    // window is hidden), by alignment, by a splitter or by the window system.
    TNotifyEvent OnResize;

    // Internal: last size reported through OnResize, and a hook for controls that
    // must lay out their own parts when their size changes.
    QSize notifiedSize_{-1, -1};
    virtual void AfterResize() {}
};

namespace detail {
void InitControl(QWidget* w);
// Called after the control's size may have changed: realigns its children and runs
// OnResize when the size differs from the last one reported.
void Resized(QWidget* w);
} // namespace detail

// Mixin giving a Qt widget the class library's control properties. The names are the
// class library's (capitalised) so they never clash with Qt's own members.
template <class QtBase>
class TControlT : public QtBase, public TControlData {
public:
    template <class... A>
    explicit TControlT(A&&... args) : QtBase(std::forward<A>(args)...)
    {
        detail::InitControl(this);
    }

    int Left() const { return this->x(); }
    int Top() const { return this->y(); }
    int Width() const { return this->width(); }
    int Height() const { return this->height(); }
    void SetLeft(int v) { vcl::SetLeft(this, v); }
    void SetTop(int v) { vcl::SetTop(this, v); }
    void SetWidth(int v) { vcl::SetWidth(this, v); }
    void SetHeight(int v) { vcl::SetHeight(this, v); }
    void SetBounds(int l, int t, int w, int h) { vcl::SetBounds(this, l, t, w, h); }

    TAlign Align() const { return vcl::Align(this); }
    void SetAlign(TAlign a) { vcl::SetAlign(this, a); }

    bool Visible() const { return vcl::Visible(this); }
    void SetVisible(bool v) { vcl::SetVisible(this, v); }
    bool Enabled() const { return vcl::Enabled(this); }
    void SetEnabled(bool v) { vcl::SetEnabled(this, v); }

    QString Hint() const { return this->toolTip(); }
    void SetHint(const QString& hint) { this->setToolTip(hint); }

    TColor FontColor() const { return vcl::FontColor(this); }
    void SetFontColor(TColor c) { vcl::SetFontColor(this, c); }
    bool FontBold() const { return vcl::FontBold(this); }
    void SetFontBold(bool b) { vcl::SetFontBold(this, b); }
    void SetFontName(const QString& family) { vcl::SetFontName(this, family); }
    void SetFontSize(int points) { vcl::SetFontSize(this, points); }

    void SetPopupMenu(QMenu* menu) { vcl::SetPopupMenu(this, menu); }

protected:
    void resizeEvent(QResizeEvent* e) override
    {
        QtBase::resizeEvent(e);
        detail::Resized(this);
    }
};

} // namespace vcl
