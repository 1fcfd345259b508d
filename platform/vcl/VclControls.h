#pragma once
// The class library's standard controls on Qt widgets. Each keeps the class library's
// rules where Qt's differ: which changes from code run a handler, exact captions,
// radio groups that may have none selected, an unclamped up-down position.
//
// Controls are built in code with their parent container; a control created in a
// parent that is already on the screen is shown at once (Visible defaults to true).

#include "platform/vcl/VclCore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStringList>
#include <QTabWidget>
#include <QToolButton>
#include <vector>

class QMenu;
class QToolButton;

namespace vcl {

enum TBevelCut { bvNone, bvLowered, bvRaised };

// Panel: a container for aligned children, with an optional centred caption drawn
// in its font colour. The bevel (raised by default) takes one pixel on each side of
// the area its children are aligned in.
class TPanel : public TControlT<QFrame> {
public:
    explicit TPanel(QWidget* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    void SetBevelOuter(TBevelCut bevel);

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    QString caption_;
};

// Group box with a caption; its radio buttons form one group.
class TGroupBox : public TControlT<QGroupBox> {
public:
    explicit TGroupBox(QWidget* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);

private:
    QString caption_;
};

// Label. Caption returns exactly what was set. OnClick runs on a mouse click.
class TLabel : public TControlT<QLabel> {
public:
    explicit TLabel(QWidget* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TNotifyEvent OnClick;

protected:
    void mouseReleaseEvent(QMouseEvent* e) override;

private:
    QString caption_;
};

// Push button. "&" in the caption marks the accelerator as Qt shows it; Caption()
// returns the text exactly as set. A click first sets the parent form's ModalResult
// to the button's ModalResult (when not mrNone), then runs OnClick. Click() from code
// lets OnClick's error reach its caller; the user's click shows it in the error box.
class TButton : public TControlT<QPushButton> {
public:
    explicit TButton(QWidget* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    void SetModalResult(int result) { modalResult_ = result; }
    // Runs the button's click from code (ModalResult, then OnClick).
    void Click();
    TNotifyEvent OnClick;

protected:
    virtual void DoClick();

private:
    QString caption_;
    int modalResult_ = mrNone;
};

enum TBitBtnKind { bkCustom, bkOK, bkCancel, bkClose };

// Button with a glyph. bkOK gives ModalResult mrOk, bkCancel mrCancel (and the
// caption "OK" / "Anuluj" when none is set); a bkClose button closes its form
// instead of running OnClick, as the class library's does.
class TBitBtn : public TButton {
public:
    explicit TBitBtn(QWidget* parent);
    TBitBtnKind Kind() const { return kind_; }
    void SetKind(TBitBtnKind kind);
    void SetGlyph(const QIcon& glyph) { setIcon(glyph); }

protected:
    void DoClick() override;

private:
    TBitBtnKind kind_ = bkCustom;
};

// Edit. Setting Text from code runs OnChange when the text changes, as a user's edit
// does (an error in it leaves SetText). MaxLength (0 = none) limits what the user
// types; text set from code is kept whole, as the class library keeps it.
class TEdit : public TControlT<QLineEdit> {
public:
    explicit TEdit(QWidget* parent);
    QString Text() const { return text(); }
    void SetText(const QString& text);
    int MaxLength() const { return maxLength_; }
    void SetMaxLength(int length);
    void SetReadOnly(bool readOnly) { setReadOnly(readOnly); }
    TNotifyEvent OnChange;

private:
    int maxLength_ = 0;
};

// Edit with a caption label above it, 3 pixels apart; the label follows the edit's
// position and visibility.
class TLabeledEdit : public TEdit {
public:
    explicit TLabeledEdit(QWidget* parent);
    TLabel* EditLabel() const { return label_; }

protected:
    void moveEvent(QMoveEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

public:
    void setVisible(bool visible) override;

private:
    void placeLabel();
    TLabel* label_;
};

enum TComboBoxStyle { csDropDown, csDropDownList };

// Combo box, editable (csDropDown, the default) or list only (csDropDownList).
// Setting Text or ItemIndex from code runs no handler. OnChange runs when the user
// picks an item (also the one already picked) and on every typed change. OnDropDown
// runs before the list opens, so it may refill the items. Adding items never changes
// the text or the index (Qt would pick the first item).
class TComboBox : public TControlT<QComboBox> {
public:
    explicit TComboBox(QWidget* parent);
    void SetStyle(TComboBoxStyle style);

    QString Text() const { return currentText(); }
    // Editable: the edit's text. List style: selects the item with that text, or none.
    void SetText(const QString& text);
    // Index of the item shown; for an editable box -1 when the text is no item.
    int ItemIndex() const;
    void SetItemIndex(int index);
    int MaxLength() const;
    void SetMaxLength(int length);

    QStringList Items() const;
    void SetItems(const QStringList& items);
    void AddItem(const QString& item);
    void ClearItems(); // also empties the text, as the class library does
    int ItemCount() const { return count(); }

    TNotifyEvent OnChange;
    TNotifyEvent OnDropDown;

    void showPopup() override;
};

// Check box. Setting Checked from code runs OnClick when the state changes, like a
// user's click (an error in it leaves SetChecked).
class TCheckBox : public TControlT<QCheckBox> {
public:
    explicit TCheckBox(QWidget* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked);
    TNotifyEvent OnClick;

protected:
    void nextCheckState() override;

private:
    QString caption_;
};

// Radio button. Its group is its parent container. Selecting one that was not
// selected (from code or by the user) clears the others of the group and then runs
// its OnClick (from code, an error in it leaves SetChecked); clearing one runs
// nothing; a click on the selected one does nothing. A group may have none selected.
class TRadioButton : public TControlT<QRadioButton> {
public:
    explicit TRadioButton(QWidget* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    bool Checked() const { return isChecked(); }
    void SetChecked(bool checked);
    TNotifyEvent OnClick;

protected:
    void nextCheckState() override;

private:
    QString caption_;
};

enum TUDBtnType { btNext, btPrev };

// Up-down arrows, optionally bound to an edit that shows the position. Position set
// from code is stored as given (not clamped to Min..Max) and runs no handler; it is
// written into the associated edit (whose own OnChange then runs as for any text set
// from code). Reading Position takes a whole number the user typed into the edit when
// it lies within Min..Max. The arrows move by Increment within Min..Max, then run
// OnClick with the direction (btNext up, btPrev down); only they run OnClick.
class TUpDown : public TControlT<QWidget> {
public:
    explicit TUpDown(QWidget* parent);
    int Min() const { return min_; }
    int Max() const { return max_; }
    void SetMin(int v) { min_ = v; }
    void SetMax(int v) { max_ = v; }
    void SetIncrement(int v) { increment_ = v; }
    int Position() const;
    void SetPosition(int position);
    // Binds the edit (nullptr unbinds), places the arrows at its right edge and shows
    // the position in it.
    void SetAssociate(TEdit* edit);
    TEdit* Associate() const { return associate_; }
    // Runs an arrow click from code: the edit's OnChange and OnClick, whose errors
    // reach the caller.
    void ClickArrow(TUDBtnType button);
    std::function<void(TObject* Sender, TUDBtnType Button)> OnClick;

private:
    QToolButton* up_;
    QToolButton* down_;
    QPointer<TEdit> associate_;
    int min_ = 0, max_ = 100, increment_ = 1;
    mutable int position_ = 0;
};

// Track bar. Position is kept within 0..Max; OnChange runs whenever it changes, from
// code (also by a new Max; an error in it leaves the setter) or by the user.
class TTrackBar : public TControlT<QSlider> {
public:
    explicit TTrackBar(QWidget* parent);
    int Max() const { return maximum(); }
    void SetMax(int v);
    int Position() const { return value(); }
    void SetPosition(int v);
    TNotifyEvent OnChange;

private:
    void changeFromCode(const std::function<void()>& change);
};

// Splitter between aligned controls: give it the same Align as its neighbour and
// create it after that neighbour. Dragging it resizes the neighbour it touches (the
// control on its left for alLeft, above for alTop, right for alRight, below for
// alBottom), never below 30 pixels.
class TSplitter : public TControlT<QWidget> {
public:
    explicit TSplitter(QWidget* parent);
    // The neighbour that a drag resizes, or nullptr.
    QWidget* Neighbour() const;
    TNotifyEvent OnMoved;

protected:
    void mousePressEvent(QMouseEvent* e) override;
    void mouseMoveEvent(QMouseEvent* e) override;
    void mouseReleaseEvent(QMouseEvent* e) override;
    void paintEvent(QPaintEvent* e) override;

private:
    void updateCursor();
    static constexpr int minSize = 30;
    bool dragging_ = false;
    QPoint pressPos_;
    int startSize_ = 0;
    QPointer<QWidget> target_;
};

class TStatusBar;

// One panel of a status bar.
class TStatusPanel {
public:
    const QString& Text() const { return text_; }
    void SetText(const QString& text);
    int Width() const { return width_; }
    // Texts set so far: whoever wrote the panel tells from it whether the text is still
    // its own, also when another writer has put up the same words since.
    unsigned Writes() const { return writes_; }

private:
    friend class TStatusBar;
    TStatusBar* bar_ = nullptr;
    QString text_;
    int width_ = 50;
    unsigned writes_ = 0;
};

// Status bar, aligned to the bottom, 19 pixels high. Panels have fixed widths from
// the left; the last one also takes the rest of the bar.
class TStatusBar : public TControlT<QWidget> {
public:
    explicit TStatusBar(QWidget* parent);
    ~TStatusBar() override;
    // Appends a panel of the given width.
    TStatusPanel* AddPanel(int width);
    int PanelCount() const { return static_cast<int>(panels_.size()); }
    TStatusPanel* Panels(int index) const { return panels_.at(static_cast<std::size_t>(index)); }

protected:
    void paintEvent(QPaintEvent* e) override;

private:
    std::vector<TStatusPanel*> panels_;
};

// Tool bar, aligned to the top; its buttons sit left to right in creation order.
class TToolBar : public TControlT<QFrame> {
public:
    explicit TToolBar(QWidget* parent);

protected:
    void childEvent(QChildEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;

private:
    friend class TToolButton;
    void arrange();
};

enum TToolButtonStyle { tbsButton, tbsCheck, tbsDropDown, tbsSeparator };

// Tool button. With Style tbsCheck a click toggles Down, then OnClick runs; Down set
// from code runs nothing. tbsDropDown shows DropdownMenu from its arrow.
class TToolButton : public TControlT<QToolButton> {
public:
    explicit TToolButton(TToolBar* parent);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    TToolButtonStyle Style() const { return style_; }
    void SetStyle(TToolButtonStyle style);
    bool Down() const;
    void SetDown(bool down);
    void SetDropdownMenu(QMenu* menu);
    TNotifyEvent OnClick;

private:
    QString caption_;
    TToolButtonStyle style_ = tbsButton;
    bool down_ = false;
};

class TTabSheet;

// Page control holding tab sheets. SetActivePage / ActivePageIndex count all pages,
// hidden tabs included. Whenever a tab becomes the shown one (from code or by the
// user) its sheet's OnShow runs; OnChange runs after a user's change of tab.
class TPageControl : public TControlT<QTabWidget> {
public:
    explicit TPageControl(QWidget* parent);
    int PageCount() const { return count(); }
    void AfterResize() override;
    TTabSheet* Pages(int index) const;
    void SetActivePage(TTabSheet* page);
    int ActivePageIndex() const { return currentIndex(); }
    void SetActivePageIndex(int index);
    TNotifyEvent OnChange;

private:
    friend class TTabSheet;
    bool settingFromCode_ = false;
    bool layingOut_ = false;
};

// One page of a page control; a container for aligned children.
class TTabSheet : public TControlT<QWidget> {
public:
    explicit TTabSheet(TPageControl* pageControl);
    const QString& Caption() const { return caption_; }
    void SetCaption(const QString& caption);
    int PageIndex() const;
    bool TabVisible() const;
    void SetTabVisible(bool visible);
    TNotifyEvent OnShow;

private:
    QPointer<TPageControl> pageControl_;
    QString caption_;
};

// A menu item of a popup menu: a QAction whose caption is kept exactly as set and
// whose handler runs guarded. The menu owns the action.
QAction* AddMenuItem(QMenu* menu, const QString& caption, TNotifyEvent onClick = {});
// The caption exactly as given to AddMenuItem (or the action's text otherwise).
QString MenuCaption(const QAction* item);

} // namespace vcl
