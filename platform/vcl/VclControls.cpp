#include "platform/vcl/VclControls.h"

#include "platform/vcl/VclForms.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QCoreApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalBlocker>
#include <QStackedWidget>
#include <QStyle>
#include <QStyleOptionTabWidgetFrame>
#include <QTabBar>
#include <QToolButton>
#include <QVBoxLayout>
#include <QValidator>
#include <algorithm>

namespace vcl {

namespace {

// Limits what the user types without cutting a longer text that code has set: such a
// text may shrink, but typing never makes it longer than it is (or than the limit).
class MaxLengthValidator : public QValidator {
public:
    MaxLengthValidator(QLineEdit* edit, int maxLength) : QValidator(edit), max_(maxLength)
    {
        allowed_ = std::max<qsizetype>(max_, edit->text().size());
        connect(edit, &QLineEdit::textChanged, this,
                [this](const QString& t) { allowed_ = std::max<qsizetype>(max_, std::min(allowed_, t.size())); });
    }
    int max() const { return max_; }
    // Called before code sets a text, which may be longer than the limit.
    void allow(qsizetype length) { allowed_ = std::max<qsizetype>(max_, length); }
    State validate(QString& input, int&) const override { return input.size() > allowed_ ? Invalid : Acceptable; }

private:
    int max_;
    qsizetype allowed_;
};

void applyMaxLength(QLineEdit* edit, int length)
{
    if (auto* old = edit->findChild<MaxLengthValidator*>(QString(), Qt::FindDirectChildrenOnly)) {
        if (edit->validator() == old)
            edit->setValidator(nullptr);
        delete old;
    }
    if (length > 0)
        edit->setValidator(new MaxLengthValidator(edit, length));
}

void setTextFromCode(QLineEdit* edit, const QString& text)
{
    if (auto* v = edit->findChild<MaxLengthValidator*>(QString(), Qt::FindDirectChildrenOnly))
        v->allow(text.size());
    edit->setText(text);
}

TForm* parentForm(QWidget* w) { return dynamic_cast<TForm*>(w->window()); }

} // namespace

// ---- TPanel

TPanel::TPanel(QWidget* parent) : TControlT<QFrame>(parent)
{
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    resize(185, 41);
}

void TPanel::SetCaption(const QString& caption)
{
    caption_ = caption;
    update();
}

void TPanel::SetBevelOuter(TBevelCut bevel)
{
    switch (bevel) {
    case bvNone:
        setFrameStyle(QFrame::NoFrame);
        break;
    case bvLowered:
        setFrameStyle(QFrame::Panel | QFrame::Sunken);
        break;
    case bvRaised:
        setFrameStyle(QFrame::Panel | QFrame::Raised);
        break;
    }
    Realign(this);
}

void TPanel::paintEvent(QPaintEvent* e)
{
    QFrame::paintEvent(e);
    if (caption_.isEmpty())
        return;
    QPainter p(this);
    p.setPen(palette().color(QPalette::WindowText));
    p.drawText(contentsRect(), Qt::AlignCenter | Qt::TextShowMnemonic, caption_);
}

// ---- TGroupBox

TGroupBox::TGroupBox(QWidget* parent) : TControlT<QGroupBox>(parent)
{
    // Children are aligned below the title, as in the class library's group box.
    const int title = fontMetrics().height();
    setContentsMargins(2, title + 2, 2, 2);
    resize(185, 105);
}

void TGroupBox::SetCaption(const QString& caption)
{
    caption_ = caption;
    setTitle(caption);
}

// ---- TLabel

TLabel::TLabel(QWidget* parent) : TControlT<QLabel>(parent)
{
    setTextFormat(Qt::PlainText);
    resize(sizeHint());
}

void TLabel::SetCaption(const QString& caption)
{
    caption_ = caption;
    setText(caption);
    if (Align() == alNone)
        vcl::SetBounds(this, x(), y(), sizeHint().width(), sizeHint().height());
}

void TLabel::mouseReleaseEvent(QMouseEvent* e)
{
    QLabel::mouseReleaseEvent(e);
    if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint()))
        Fire(OnClick, this);
}

// ---- TButton, TBitBtn

TButton::TButton(QWidget* parent) : TControlT<QPushButton>(parent)
{
    setAutoDefault(false);
    resize(75, 25);
    connect(this, &QPushButton::clicked, this, [this] { Guarded([this] { DoClick(); }); });
}

void TButton::SetCaption(const QString& caption)
{
    caption_ = caption;
    setText(caption);
}

void TButton::Click() { DoClick(); }

void TButton::DoClick()
{
    if (TForm* form = parentForm(this))
        form->SetModalResult(modalResult_);
    FireFromCode(OnClick, this);
}

TBitBtn::TBitBtn(QWidget* parent) : TButton(parent) {}

void TBitBtn::SetKind(TBitBtnKind kind)
{
    kind_ = kind;
    switch (kind) {
    case bkOK:
        SetModalResult(mrOk);
        if (Caption().isEmpty())
            SetCaption(QStringLiteral("OK"));
        break;
    case bkCancel:
        SetModalResult(mrCancel);
        if (Caption().isEmpty())
            SetCaption(QStringLiteral("Anuluj"));
        break;
    case bkClose:
    case bkCustom:
        break;
    }
}

void TBitBtn::DoClick()
{
    if (kind_ == bkClose) {
        if (TForm* form = parentForm(this)) {
            form->Close();
            return;
        }
    }
    TButton::DoClick();
}

// ---- TEdit, TLabeledEdit

TEdit::TEdit(QWidget* parent) : TControlT<QLineEdit>(parent)
{
    setMaxLength(32767 * 64); // Qt's default cuts texts set from code at 32767
    resize(121, 21);
    connect(this, &QLineEdit::textEdited, this, [this] { Fire(OnChange, this); });
}

void TEdit::SetText(const QString& t)
{
    if (text() == t)
        return;
    setTextFromCode(this, t);
    FireFromCode(OnChange, this);
}

void TEdit::SetMaxLength(int length)
{
    maxLength_ = std::max(0, length);
    applyMaxLength(this, maxLength_);
}

TLabeledEdit::TLabeledEdit(QWidget* parent) : TEdit(parent), label_(new TLabel(parent))
{
    label_->OnResize = [this](TObject*) { placeLabel(); };
    placeLabel();
}

void TLabeledEdit::placeLabel()
{
    if (!label_)
        return;
    constexpr int spacing = 3;
    label_->move(x(), y() - label_->height() - spacing);
}

void TLabeledEdit::moveEvent(QMoveEvent* e)
{
    TEdit::moveEvent(e);
    placeLabel();
}

void TLabeledEdit::resizeEvent(QResizeEvent* e)
{
    TEdit::resizeEvent(e);
    placeLabel();
}

void TLabeledEdit::setVisible(bool visible)
{
    TEdit::setVisible(visible);
    if (label_ && !isWindow())
        label_->setVisible(visible);
}

// ---- TComboBox

TComboBox::TComboBox(QWidget* parent) : TControlT<QComboBox>(parent)
{
    setInsertPolicy(QComboBox::NoInsert);
    resize(145, 21);
    connect(this, &QComboBox::activated, this, [this] { Fire(OnChange, this); });
    SetStyle(csDropDown);
}

void TComboBox::SetStyle(TComboBoxStyle style)
{
    const bool wasEditable = isEditable() && lineEdit();
    if (style == csDropDownList) {
        setEditable(false);
        return;
    }
    if (wasEditable)
        return;
    setEditable(true);
    setCompleter(nullptr); // completion would rewrite what the user types
    connect(lineEdit(), &QLineEdit::textEdited, this, [this] { Fire(OnChange, this); });
}

void TComboBox::SetText(const QString& t)
{
    const QSignalBlocker block(this);
    if (isEditable()) {
        setTextFromCode(lineEdit(), t);
        return;
    }
    setCurrentIndex(findText(t, Qt::MatchFixedString));
}

int TComboBox::ItemIndex() const
{
    const int current = currentIndex();
    if (!isEditable())
        return current;
    if (current >= 0 && itemText(current) == currentText())
        return current;
    return findText(currentText(), Qt::MatchExactly | Qt::MatchCaseSensitive);
}

void TComboBox::SetItemIndex(int index)
{
    const QSignalBlocker block(this);
    if (index < 0 || index >= count()) {
        setCurrentIndex(-1);
        if (isEditable())
            lineEdit()->clear();
        return;
    }
    setCurrentIndex(index);
    if (isEditable())
        setTextFromCode(lineEdit(), itemText(index));
}

int TComboBox::MaxLength() const
{
    const auto* v = isEditable() ? lineEdit()->findChild<MaxLengthValidator*>() : nullptr;
    return v ? v->max() : 0;
}

void TComboBox::SetMaxLength(int length)
{
    if (isEditable()) {
        lineEdit()->setMaxLength(32767 * 64);
        applyMaxLength(lineEdit(), length);
    }
}

QStringList TComboBox::Items() const
{
    QStringList items;
    for (int i = 0; i < count(); ++i)
        items << itemText(i);
    return items;
}

void TComboBox::SetItems(const QStringList& items)
{
    const QString text = currentText();
    {
        const QSignalBlocker block(this);
        clear();
        addItems(items);
        setCurrentIndex(-1);
    }
    // The class library keeps an editable box's text when its items are replaced.
    if (isEditable())
        setTextFromCode(lineEdit(), text);
}

void TComboBox::AddItem(const QString& item)
{
    const QSignalBlocker block(this);
    const int index = currentIndex();
    const QString text = currentText();
    addItem(item);
    if (currentIndex() != index)
        setCurrentIndex(index);
    if (isEditable() && lineEdit()->text() != text)
        setTextFromCode(lineEdit(), text);
}

void TComboBox::ClearItems()
{
    const QSignalBlocker block(this);
    clear();
    if (isEditable())
        lineEdit()->clear();
}

void TComboBox::showPopup()
{
    Fire(OnDropDown, this);
    QComboBox::showPopup();
}

// ---- TCheckBox

TCheckBox::TCheckBox(QWidget* parent) : TControlT<QCheckBox>(parent) { resize(97, 17); }

void TCheckBox::SetCaption(const QString& caption)
{
    caption_ = caption;
    setText(caption);
}

void TCheckBox::SetChecked(bool checked)
{
    if (isChecked() == checked)
        return;
    setChecked(checked);
    FireFromCode(OnClick, this);
}

void TCheckBox::nextCheckState()
{
    QCheckBox::nextCheckState();
    Fire(OnClick, this);
}

// ---- TRadioButton

TRadioButton::TRadioButton(QWidget* parent) : TControlT<QRadioButton>(parent)
{
    // Exclusivity is ours: Qt's exclusive groups cannot have none selected.
    setAutoExclusive(false);
    resize(113, 17);
}

void TRadioButton::SetCaption(const QString& caption)
{
    caption_ = caption;
    setText(caption);
}

void TRadioButton::SetChecked(bool checked)
{
    if (isChecked() == checked)
        return;
    setChecked(checked);
    if (!checked)
        return;
    if (QWidget* group = parentWidget()) {
        for (auto* other : group->findChildren<TRadioButton*>(QString(), Qt::FindDirectChildrenOnly)) {
            if (other != this && other->isChecked())
                other->setChecked(false);
        }
    }
    FireFromCode(OnClick, this);
}

void TRadioButton::nextCheckState()
{
    // A click selects; a click on the selected one leaves it as it is.
    if (!isChecked())
        Guarded([this] { SetChecked(true); });
}

// ---- TUpDown

TUpDown::TUpDown(QWidget* parent) : TControlT<QWidget>(parent)
{
    up_ = new QToolButton(this);
    down_ = new QToolButton(this);
    up_->setArrowType(Qt::UpArrow);
    down_->setArrowType(Qt::DownArrow);
    for (QToolButton* b : {up_, down_}) {
        b->setAutoRepeat(true);
        b->setFocusPolicy(Qt::NoFocus);
        b->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(up_);
    layout->addWidget(down_);
    connect(up_, &QToolButton::clicked, this, [this] { Guarded([this] { ClickArrow(btNext); }); });
    connect(down_, &QToolButton::clicked, this, [this] { Guarded([this] { ClickArrow(btPrev); }); });
    resize(17, 21);
}

int TUpDown::Position() const
{
    // The up-down reads its edit, so a number the user typed there counts.
    if (associate_) {
        bool ok = false;
        const int typed = associate_->text().trimmed().toInt(&ok);
        if (ok && typed >= min_ && typed <= max_)
            position_ = typed;
    }
    return position_;
}

void TUpDown::SetPosition(int position)
{
    position_ = position;
    if (associate_)
        associate_->SetText(QString::number(position));
}

void TUpDown::SetAssociate(TEdit* edit)
{
    associate_ = edit;
    if (!edit)
        return;
    if (edit->parentWidget() == parentWidget())
        vcl::SetBounds(this, edit->x() + edit->width(), edit->y(), width(), edit->height());
    edit->SetText(QString::number(position_));
}

void TUpDown::ClickArrow(TUDBtnType button)
{
    const int from = Position();
    const long long step = button == btNext ? increment_ : -static_cast<long long>(increment_);
    const long long to = std::clamp<long long>(from + step, min_, std::max(min_, max_));
    SetPosition(static_cast<int>(to));
    if (OnClick)
        OnClick(this, button);
}

// ---- TTrackBar

TTrackBar::TTrackBar(QWidget* parent) : TControlT<QSlider>(Qt::Horizontal, parent)
{
    setRange(0, 10);
    resize(150, 45);
    // Signals are blocked while code changes the bar, so this is the user's move.
    connect(this, &QSlider::valueChanged, this, [this] { Fire(OnChange, this); });
}

void TTrackBar::SetMax(int v)
{
    changeFromCode([&] { setMaximum(v); });
}

void TTrackBar::SetPosition(int v)
{
    changeFromCode([&] { setValue(v); });
}

void TTrackBar::changeFromCode(const std::function<void()>& change)
{
    const int before = value();
    {
        const QSignalBlocker block(this);
        change();
    }
    if (value() != before)
        FireFromCode(OnChange, this);
}

// ---- TSplitter

TSplitter::TSplitter(QWidget* parent) : TControlT<QWidget>(parent)
{
    resize(3, 100);
    vcl::SetAlign(this, alLeft);
    updateCursor();
}

void TSplitter::updateCursor()
{
    const TAlign a = Align();
    setCursor(a == alTop || a == alBottom ? Qt::SplitVCursor : Qt::SplitHCursor);
}

QWidget* TSplitter::Neighbour() const
{
    QWidget* parent = parentWidget();
    const TAlign a = Align();
    if (!parent || a == alNone || a == alClient)
        return nullptr;
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w == this || w->isWindow() || w->isHidden() || vcl::Align(w) != a)
            continue;
        const bool touches = (a == alLeft && w->x() + w->width() == x()) || (a == alRight && w->x() == x() + width()) ||
                             (a == alTop && w->y() + w->height() == y()) || (a == alBottom && w->y() == y() + height());
        if (touches)
            return w;
    }
    return nullptr;
}

void TSplitter::mousePressEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton)
        return;
    target_ = Neighbour();
    if (!target_)
        return;
    updateCursor();
    dragging_ = true;
    pressPos_ = e->globalPosition().toPoint();
    const TAlign a = Align();
    startSize_ = (a == alLeft || a == alRight) ? target_->width() : target_->height();
}

void TSplitter::mouseMoveEvent(QMouseEvent* e)
{
    if (!dragging_ || !target_)
        return;
    const QPoint d = e->globalPosition().toPoint() - pressPos_;
    const TAlign a = Align();
    const bool horizontal = a == alLeft || a == alRight;
    int size = startSize_;
    switch (a) {
    case alLeft:
        size += d.x();
        break;
    case alRight:
        size -= d.x();
        break;
    case alTop:
        size += d.y();
        break;
    case alBottom:
        size -= d.y();
        break;
    default:
        break;
    }
    // Room left for the neighbour: the parent's extent less the other edge controls
    // of the same direction, keeping MinSize for the rest.
    QWidget* parent = parentWidget();
    int room = horizontal ? parent->contentsRect().width() : parent->contentsRect().height();
    for (QObject* o : parent->children()) {
        auto* w = qobject_cast<QWidget*>(o);
        if (!w || w == target_ || w->isWindow() || w->isHidden())
            continue;
        const TAlign wa = vcl::Align(w);
        if (horizontal && (wa == alLeft || wa == alRight))
            room -= w->width();
        if (!horizontal && (wa == alTop || wa == alBottom))
            room -= w->height();
    }
    size = std::max(minSize, std::min(size, room - minSize));
    if (horizontal)
        vcl::SetWidth(target_, size);
    else
        vcl::SetHeight(target_, size);
}

void TSplitter::mouseReleaseEvent(QMouseEvent* e)
{
    if (e->button() != Qt::LeftButton || !dragging_)
        return;
    dragging_ = false;
    if (target_) {
        const TAlign a = Align();
        const int size = (a == alLeft || a == alRight) ? target_->width() : target_->height();
        if (size != startSize_)
            Fire(OnMoved, this);
    }
    target_ = nullptr;
}

void TSplitter::paintEvent(QPaintEvent*) { updateCursor(); }

// ---- TStatusBar

void TStatusPanel::SetText(const QString& text)
{
    text_ = text;
    ++writes_;
    if (bar_)
        bar_->update();
}

TStatusBar::TStatusBar(QWidget* parent) : TControlT<QWidget>(parent)
{
    resize(400, 19);
    vcl::SetAlign(this, alBottom);
}

TStatusBar::~TStatusBar()
{
    for (TStatusPanel* p : panels_)
        delete p;
}

TStatusPanel* TStatusBar::AddPanel(int width)
{
    auto* panel = new TStatusPanel;
    panel->bar_ = this;
    panel->width_ = width;
    panels_.push_back(panel);
    update();
    return panel;
}

void TStatusBar::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    int x = 0;
    for (std::size_t i = 0; i < panels_.size(); ++i) {
        const bool last = i + 1 == panels_.size();
        const int w = last ? std::max(panels_[i]->width_, width() - x) : panels_[i]->width_;
        const QRect cell(x, 0, w - 2, height() - 1);
        p.setPen(palette().color(QPalette::Mid));
        p.drawRect(cell);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(cell.adjusted(3, 0, -2, 0), Qt::AlignVCenter | Qt::AlignLeft, panels_[i]->text_);
        x += w;
    }
}

// ---- TToolBar, TToolButton

TToolBar::TToolBar(QWidget* parent) : TControlT<QFrame>(parent)
{
    resize(400, 29);
    vcl::SetAlign(this, alTop);
}

void TToolBar::childEvent(QChildEvent* e)
{
    TControlT<QFrame>::childEvent(e);
    if (e->removed())
        arrange();
}

void TToolBar::resizeEvent(QResizeEvent* e)
{
    TControlT<QFrame>::resizeEvent(e);
    arrange();
}

void TToolBar::arrange()
{
    int x = contentsRect().left();
    const int h = contentsRect().height();
    for (QObject* o : children()) {
        auto* b = dynamic_cast<TToolButton*>(o);
        if (!b || b->isHidden())
            continue;
        int w = 23;
        if (b->Style() == tbsSeparator)
            w = 8;
        else if (b->icon().isNull() && !b->Caption().isEmpty())
            w = std::max(23, b->sizeHint().width());
        if (b->Style() == tbsDropDown)
            w += 12;
        b->setGeometry(x, contentsRect().top(), w, h);
        x += w;
    }
}

TToolButton::TToolButton(TToolBar* parent) : TControlT<QToolButton>(parent)
{
    setAutoRaise(true);
    connect(this, &QToolButton::clicked, this, [this] { Fire(OnClick, this); });
    if (parent)
        parent->arrange();
}

void TToolButton::SetCaption(const QString& caption)
{
    caption_ = caption;
    setText(caption);
    if (auto* bar = dynamic_cast<TToolBar*>(parentWidget()))
        bar->arrange();
}

void TToolButton::SetStyle(TToolButtonStyle style)
{
    const bool down = Down();
    style_ = style;
    setCheckable(style == tbsCheck);
    if (style == tbsCheck) {
        const QSignalBlocker block(this);
        setChecked(down);
    }
    setPopupMode(style == tbsDropDown ? QToolButton::MenuButtonPopup : QToolButton::DelayedPopup);
    if (style == tbsSeparator) {
        setEnabled(false);
        setText(QString());
    }
    if (auto* bar = dynamic_cast<TToolBar*>(parentWidget()))
        bar->arrange();
}

bool TToolButton::Down() const { return isCheckable() ? isChecked() : down_; }

void TToolButton::SetDown(bool down)
{
    down_ = down;
    if (isCheckable()) {
        const QSignalBlocker block(this);
        setChecked(down);
    } else {
        setDown(down);
    }
}

void TToolButton::SetDropdownMenu(QMenu* menu) { setMenu(menu); }

// ---- TPageControl, TTabSheet

TPageControl::TPageControl(QWidget* parent) : TControlT<QTabWidget>(parent)
{
    resize(289, 193);
    connect(this, &QTabWidget::currentChanged, this, [this](int index) {
        if (TTabSheet* sheet = Pages(index))
            Fire(sheet->OnShow, sheet);
        if (!settingFromCode_)
            Fire(OnChange, this);
    });
}

TTabSheet* TPageControl::Pages(int index) const { return dynamic_cast<TTabSheet*>(widget(index)); }

void TPageControl::SetActivePage(TTabSheet* page) { SetActivePageIndex(indexOf(page)); }

void TPageControl::SetActivePageIndex(int index)
{
    if (index < 0 || index >= count() || index == currentIndex())
        return;
    settingFromCode_ = true;
    setCurrentIndex(index);
    settingFromCode_ = false;
}

void TPageControl::AfterResize()
{
    if (layingOut_ || count() == 0)
        return;
    layingOut_ = true;
    // Qt places the pages only once the control is on the screen; the forms read the
    // sizes of aligned controls on the pages before that, so place them now as Qt will.
    QStyleOptionTabWidgetFrame option;
    initStyleOption(&option);
    const QRect contents = style()->subElementRect(QStyle::SE_TabWidgetTabContents, &option, this);
    if (QWidget* stack = widget(0)->parentWidget()) {
        if (stack != this)
            stack->setGeometry(contents);
        for (int i = 0; i < count(); ++i)
            vcl::SetBounds(widget(i), 0, 0, contents.width(), contents.height());
    }
    layingOut_ = false;
}

TTabSheet::TTabSheet(TPageControl* pageControl) : pageControl_(pageControl)
{
    if (pageControl) {
        pageControl->settingFromCode_ = true;
        pageControl->addTab(this, QString());
        pageControl->settingFromCode_ = false;
        pageControl->AfterResize();
    }
}

void TTabSheet::SetCaption(const QString& caption)
{
    caption_ = caption;
    if (pageControl_)
        pageControl_->setTabText(pageControl_->indexOf(this), caption);
}

int TTabSheet::PageIndex() const { return pageControl_ ? pageControl_->indexOf(this) : -1; }

bool TTabSheet::TabVisible() const { return pageControl_ && pageControl_->isTabVisible(PageIndex()); }

void TTabSheet::SetTabVisible(bool visible)
{
    if (!pageControl_)
        return;
    pageControl_->settingFromCode_ = true;
    pageControl_->setTabVisible(PageIndex(), visible);
    pageControl_->settingFromCode_ = false;
}

// ---- Menus

QAction* AddMenuItem(QMenu* menu, const QString& caption, TNotifyEvent onClick)
{
    if (caption == QLatin1String("-"))
        return menu->addSeparator();
    QAction* item = menu->addAction(caption);
    item->setProperty("vclCaption", caption);
    QObject::connect(item, &QAction::triggered, item, [item, onClick] { Fire(onClick, item); });
    return item;
}

QString MenuCaption(const QAction* item)
{
    const QVariant v = item->property("vclCaption");
    return v.isValid() ? v.toString() : item->text();
}

} // namespace vcl
