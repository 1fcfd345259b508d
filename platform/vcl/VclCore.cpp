#include "platform/vcl/VclCore.h"

#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

#include <QApplication>
#include <QChildEvent>
#include <QEvent>
#include <QGroupBox>
#include <QMenu>
#include <QSet>
#include <algorithm>
#include <vector>

namespace vcl {

namespace {

const char* const kAlign = "vclAlign";
const char* const kExplicit = "vclExplicitBounds";
const char* const kOrder = "vclCreationOrder";
const char* const kFontColor = "vclFontColor";

qint64 nextOrder = 0;

qint64 creationOrder(const QWidget* w)
{
    const QVariant v = w->property(kOrder);
    return v.isValid() ? v.toLongLong() : 0;
}

void stampOrder(QWidget* w)
{
    if (!w->property(kOrder).isValid())
        w->setProperty(kOrder, ++nextOrder);
}

// Watches containers of aligned children (resize, children leaving) and aligned
// children (shown or hidden), for plain Qt widgets as well as our own.
class AlignWatcher : public QObject {
public:
    static AlignWatcher* instance()
    {
        static AlignWatcher* watcher = new AlignWatcher;
        return watcher;
    }

    void watch(QWidget* w)
    {
        if (!w->property("vclWatched").toBool()) {
            w->setProperty("vclWatched", true);
            w->installEventFilter(this);
        }
    }

protected:
    bool eventFilter(QObject* obj, QEvent* e) override
    {
        auto* w = static_cast<QWidget*>(obj);
        switch (e->type()) {
        case QEvent::Resize:
            if (!dynamic_cast<TControlData*>(w)) // our own controls handle it themselves
                Realign(w);
            break;
        case QEvent::ChildRemoved:
            if (static_cast<QChildEvent*>(e)->child()->isWidgetType())
                Realign(w);
            break;
        case QEvent::ShowToParent:
        case QEvent::HideToParent:
            if (Align(w) != alNone && w->parentWidget())
                Realign(w->parentWidget());
            break;
        default:
            break;
        }
        return false;
    }
};

QSet<QWidget*>& busyParents()
{
    static QSet<QWidget*> busy;
    return busy;
}

QRect alignRect(QWidget* parent) { return parent->contentsRect(); }

bool isEdge(TAlign a) { return a == alTop || a == alBottom || a == alLeft || a == alRight; }
bool isVertical(TAlign a) { return a == alTop || a == alBottom; }

void placeChild(QWidget* child, const QRect& r)
{
    const QSize before = child->size();
    child->setGeometry(r.x(), r.y(), std::max(0, r.width()), std::max(0, r.height()));
    if (child->size() != before)
        detail::Resized(child);
}

} // namespace

QColor ToQColor(TColor color)
{
    if (color == clNone || color == clDefault)
        return QColor();
    const auto bits = std::uint32_t(color);
    if ((bits & 0xFF000000u) == 0xFF000000u) {
        const QPalette pal = QApplication::palette();
        switch (bits & 0xFFu) {
        case 0x05:
            return pal.color(QPalette::Base);
        case 0x08:
            return pal.color(QPalette::Text);
        case 0x0D:
            return pal.color(QPalette::Highlight);
        case 0x0F:
            return pal.color(QPalette::Button);
        case 0x10:
            return pal.color(QPalette::Dark);
        case 0x11:
            return pal.color(QPalette::Disabled, QPalette::Text);
        case 0x12:
            return pal.color(QPalette::ButtonText);
        case 0x18:
            return pal.color(QPalette::ToolTipBase);
        default:
            return pal.color(QPalette::Window);
        }
    }
    return QColor(int(bits & 0xFFu), int((bits >> 8) & 0xFFu), int((bits >> 16) & 0xFFu));
}

TColor FromQColor(const QColor& color)
{
    if (!color.isValid())
        return clNone;
    return RGBColor(color.red(), color.green(), color.blue());
}

Exception::Exception(const QString& message) : std::runtime_error(platform::unicodeToCp1250(message)), message_(message)
{}

QString ExceptionText(std::exception_ptr error)
{
    try {
        std::rethrow_exception(error);
    } catch (const Exception& e) {
        return e.Message();
    } catch (const std::exception& e) {
        return platform::cp1250ToUnicode(e.what());
    } catch (...) {
        return QString();
    }
}

void HandleException(std::exception_ptr error)
{
    const QString text = ExceptionText(error);
    try {
        platform::ShowException(text);
    } catch (...) {
        // The error box itself failed; there is nobody left to tell.
    }
}

TAlign Align(const QWidget* w)
{
    const QVariant v = w->property(kAlign);
    return v.isValid() ? static_cast<TAlign>(v.toInt()) : alNone;
}

void SetAlign(QWidget* w, TAlign align)
{
    const TAlign old = Align(w);
    if (old == align)
        return;
    stampOrder(w);
    const QSize before = w->size();
    if (old == alNone)
        w->setProperty(kExplicit, w->geometry());
    if (isEdge(old) && isEdge(align) && isVertical(old) != isVertical(align))
        w->resize(w->height(), w->width());
    else if (old != alNone && align == alNone && w->property(kExplicit).isValid())
        w->setGeometry(w->property(kExplicit).toRect());
    w->setProperty(kAlign, int(align));
    AlignWatcher::instance()->watch(w);
    if (QWidget* parent = w->parentWidget()) {
        AlignWatcher::instance()->watch(parent);
        Realign(parent);
    }
    if (w->size() != before)
        detail::Resized(w);
}

void Realign(QWidget* parent)
{
    if (!parent || busyParents().contains(parent))
        return;
    std::vector<QWidget*> groups[6];
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w->isWindow() || w->isHidden())
            continue;
        const TAlign a = Align(w);
        if (a != alNone)
            groups[a].push_back(w);
    }
    bool any = false;
    for (const auto& g : groups)
        any = any || !g.empty();
    if (!any)
        return;

    busyParents().insert(parent);
    auto byKey = [](std::vector<QWidget*>& v, auto key) {
        std::stable_sort(v.begin(), v.end(), [&](QWidget* a, QWidget* b) {
            const int ka = key(a), kb = key(b);
            if (ka != kb)
                return ka < kb;
            return creationOrder(a) < creationOrder(b);
        });
    };
    byKey(groups[alTop], [](QWidget* w) { return w->y(); });
    byKey(groups[alBottom], [](QWidget* w) { return -(w->y() + w->height()); });
    byKey(groups[alLeft], [](QWidget* w) { return w->x(); });
    byKey(groups[alRight], [](QWidget* w) { return -(w->x() + w->width()); });
    byKey(groups[alClient], [](QWidget*) { return 0; });

    QRect r = alignRect(parent);
    int top = r.top(), bottom = r.top() + r.height(), left = r.left(), right = r.left() + r.width();
    for (QWidget* w : groups[alTop]) {
        const int h = w->height();
        placeChild(w, QRect(left, top, right - left, h));
        top += h;
    }
    for (QWidget* w : groups[alBottom]) {
        const int h = w->height();
        placeChild(w, QRect(left, bottom - h, right - left, h));
        bottom -= h;
    }
    for (QWidget* w : groups[alLeft]) {
        const int wd = w->width();
        placeChild(w, QRect(left, top, wd, bottom - top));
        left += wd;
    }
    for (QWidget* w : groups[alRight]) {
        const int wd = w->width();
        placeChild(w, QRect(right - wd, top, wd, bottom - top));
        right -= wd;
    }
    for (QWidget* w : groups[alClient])
        placeChild(w, QRect(left, top, right - left, bottom - top));
    busyParents().remove(parent);
}

void SetBounds(QWidget* w, int left, int top, int width, int height)
{
    const QSize before = w->size();
    w->setGeometry(left, top, std::max(0, width), std::max(0, height));
    if (Align(w) != alNone && w->parentWidget())
        Realign(w->parentWidget());
    if (w->size() != before)
        detail::Resized(w);
}

void SetLeft(QWidget* w, int left) { SetBounds(w, left, w->y(), w->width(), w->height()); }
void SetTop(QWidget* w, int top) { SetBounds(w, w->x(), top, w->width(), w->height()); }
void SetWidth(QWidget* w, int width) { SetBounds(w, w->x(), w->y(), width, w->height()); }
void SetHeight(QWidget* w, int height) { SetBounds(w, w->x(), w->y(), w->width(), height); }

bool Visible(const QWidget* w) { return w->isWindow() ? w->isVisible() : !w->isHidden(); }

void SetVisible(QWidget* w, bool visible)
{
    if (Visible(w) == visible)
        return;
    w->setVisible(visible);
    if (Align(w) != alNone && w->parentWidget())
        Realign(w->parentWidget());
}

bool Enabled(const QWidget* w) { return !w->testAttribute(Qt::WA_ForceDisabled); }

void SetEnabled(QWidget* w, bool enabled) { w->setEnabled(enabled); }

void SetFontColor(QWidget* w, TColor color)
{
    w->setProperty(kFontColor, uint(color));
    QPalette p = w->palette();
    const QColor c = ToQColor(color);
    const QPalette standard = QApplication::palette(w);
    for (QPalette::ColorGroup g : {QPalette::Active, QPalette::Inactive}) {
        for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::ButtonText, QPalette::Text})
            p.setColor(g, role, c.isValid() ? c : standard.color(g, role));
    }
    w->setPalette(p);
    w->update();
}

void SetColor(QWidget* w, TColor color)
{
    QPalette p = w->palette();
    const QColor c = ToQColor(color);
    p.setColor(QPalette::Window, c.isValid() ? c : QApplication::palette(w).color(QPalette::Window));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

TColor FontColor(const QWidget* w)
{
    const QVariant v = w->property(kFontColor);
    if (v.isValid())
        return TColor(v.toUInt());
    return FromQColor(w->palette().color(QPalette::Active, w->foregroundRole()));
}

void SetFontBold(QWidget* w, bool bold)
{
    QFont f = w->font();
    f.setBold(bold);
    w->setFont(f);
}

bool FontBold(const QWidget* w) { return w->font().bold(); }

void SetFontName(QWidget* w, const QString& family)
{
    QFont f = w->font();
    f.setFamily(family);
    w->setFont(f);
}

void SetFontSize(QWidget* w, int points)
{
    QFont f = w->font();
    f.setPointSize(points);
    w->setFont(f);
}

void SetPopupMenu(QWidget* w, QMenu* menu)
{
    // One connection per control, replaced when the menu changes.
    if (auto* old = w->findChild<QObject*>(QStringLiteral("vclPopupLink"), Qt::FindDirectChildrenOnly))
        delete old;
    if (!menu) {
        w->setContextMenuPolicy(Qt::DefaultContextMenu);
        return;
    }
    auto* link = new QObject(w);
    link->setObjectName(QStringLiteral("vclPopupLink"));
    w->setContextMenuPolicy(Qt::CustomContextMenu);
    QPointer<QMenu> target(menu);
    QObject::connect(w, &QWidget::customContextMenuRequested, link, [w, target](const QPoint& pos) {
        if (target)
            target->popup(w->mapToGlobal(pos));
    });
}

namespace detail {

void InitControl(QWidget* w)
{
    stampOrder(w);
    // The class library's controls are visible unless hidden; Qt hides a child added
    // to a parent that is already on the screen.
    if (!w->isWindow() && w->parentWidget() && w->parentWidget()->isVisible())
        w->show();
}

void Resized(QWidget* w)
{
    Realign(w);
    if (auto* data = dynamic_cast<TControlData*>(w)) {
        if (data->notifiedSize_ != w->size()) {
            data->notifiedSize_ = w->size();
            data->AfterResize();
            Fire(data->OnResize, w);
        }
    }
}

} // namespace detail

} // namespace vcl
