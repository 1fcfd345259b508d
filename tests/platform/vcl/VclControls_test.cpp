// Up-down, track bar, buttons, tool buttons, labels, page control and menu items.

#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclForms.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <QApplication>
#include <QMenu>
#include <QTabBar>
#include <QToolButton>
#include <gtest/gtest.h>
#include <memory>

using namespace vcl;

namespace {

struct VclControls : ::testing::Test {
    std::unique_ptr<TForm> form = std::make_unique<TForm>();
};

struct PageUpDown {
    TEdit* edit;
    TUpDown* upDown;
    std::vector<TUDBtnType> clicks;
    PageUpDown(QWidget* parent)
    {
        edit = new TEdit(parent);
        edit->SetBounds(10, 10, 60, 21);
        upDown = new TUpDown(parent);
        upDown->SetMin(1000);
        upDown->SetMax(40000);
        upDown->SetIncrement(1000);
        upDown->SetAssociate(edit);
        upDown->SetPosition(5000);
        upDown->OnClick = [this](TObject*, TUDBtnType b) { clicks.push_back(b); };
    }
};

} // namespace

TEST_F(VclControls, UpDownPositionFromCodeIsNotClampedAndRunsNothing)
{
    PageUpDown u(form.get());
    int edits = 0;
    u.edit->OnChange = [&](TObject*) { ++edits; };
    for (int position : {300, 500, 5000, 50000, -7}) {
        u.upDown->SetPosition(position);
        EXPECT_EQ(u.upDown->Position(), position);
        EXPECT_EQ(u.edit->Text(), QString::number(position));
    }
    EXPECT_TRUE(u.clicks.empty());
    EXPECT_EQ(edits, 5); // the edit's text changed each time, as the class library's does
    EXPECT_EQ(u.upDown->geometry(), QRect(70, 10, u.upDown->width(), 21));
}

TEST_F(VclControls, UpDownArrowsStepWithinRangeAndRunOnClick)
{
    PageUpDown u(form.get());
    struct Case {
        int from;
        TUDBtnType button;
        int to;
    };
    const Case cases[] = {
        {5000, btNext, 6000}, {5000, btPrev, 4000}, {40000, btNext, 40000},
        {1000, btPrev, 1000}, {500, btNext, 1500},  {39500, btNext, 40000},
    };
    for (const Case& c : cases) {
        u.upDown->SetPosition(c.from);
        u.clicks.clear();
        u.upDown->ClickArrow(c.button);
        EXPECT_EQ(u.upDown->Position(), c.to) << c.from;
        EXPECT_EQ(u.edit->Text(), QString::number(c.to));
        EXPECT_EQ(u.clicks, std::vector<TUDBtnType>{c.button});
    }
    // The arrows themselves, by the mouse.
    const auto arrows = u.upDown->findChildren<QToolButton*>();
    ASSERT_EQ(arrows.size(), 2);
    u.upDown->SetPosition(5000);
    u.clicks.clear();
    testsupport::MouseClick(arrows[0]);
    testsupport::MouseClick(arrows[1]);
    testsupport::MouseClick(arrows[1]);
    EXPECT_EQ(u.upDown->Position(), 4000);
    EXPECT_EQ(u.clicks, (std::vector<TUDBtnType>{btNext, btPrev, btPrev}));
}

TEST_F(VclControls, UpDownReadsANumberTypedIntoItsEditWhenInRange)
{
    PageUpDown u(form.get());
    struct Case {
        const char* typed;
        int position;
    };
    for (const Case c : {Case{"7000", 7000}, Case{"abc", 7000}, Case{"50", 7000}, Case{" 12000 ", 12000}}) {
        u.edit->selectAll();
        testsupport::TypeText(u.edit, QString::fromUtf8(c.typed));
        EXPECT_EQ(u.upDown->Position(), c.position) << c.typed;
    }
    EXPECT_TRUE(u.clicks.empty());
}

TEST_F(VclControls, TrackBarOnChangeRunsForEveryChangeFromCodeAndUser)
{
    auto* bar = new TTrackBar(form.get());
    bar->SetMax(2147483647);
    bar->SetPosition(32767);
    std::vector<int> seen;
    bar->OnChange = [&](TObject*) { seen.push_back(bar->Position()); };
    bar->SetPosition(32767); // no change
    bar->SetMax(12);         // the position follows the new maximum
    bar->SetPosition(0);
    bar->SetPosition(3);
    testsupport::KeyClick(bar, Qt::Key_Right);
    EXPECT_EQ(seen, (std::vector<int>{12, 0, 3, 4}));
}

TEST_F(VclControls, CaptionsComeBackExactlyAsSet)
{
    const QString captions[] = {"&Zamknij", "[_][_]", "_", "|", "START", "Wyświetl  okna.", "a&&b", " "};
    for (const QString& caption : captions) {
        auto* button = new TBitBtn(form.get());
        button->SetCaption(caption);
        auto* label = new TLabel(form.get());
        label->SetCaption(caption);
        auto* panel = new TPanel(form.get());
        panel->SetCaption(caption);
        auto* tool = new TToolButton(new TToolBar(form.get()));
        tool->SetCaption(caption);
        EXPECT_EQ(button->Caption(), caption);
        EXPECT_EQ(label->Caption(), caption);
        EXPECT_EQ(panel->Caption(), caption);
        EXPECT_EQ(tool->Caption(), caption);
        EXPECT_EQ(button->text(), caption); // Qt draws the accelerator from it
    }
    QMenu menu;
    QAction* item = AddMenuItem(&menu, QStringLiteral("MS Eksplorator"));
    EXPECT_EQ(MenuCaption(item), QStringLiteral("MS Eksplorator"));
    EXPECT_TRUE(AddMenuItem(&menu, QStringLiteral("-"))->isSeparator());
}

TEST_F(VclControls, ButtonSetsTheFormsModalResultBeforeItsHandler)
{
    struct Case {
        int buttonResult;
        int before;
        int seenInHandler;
    };
    for (const Case c : {Case{mrOk, mrNone, mrOk}, Case{mrNone, mrCancel, mrNone}, Case{mrCancel, mrNone, mrCancel}}) {
        auto* button = new TButton(form.get());
        button->SetModalResult(c.buttonResult);
        form->SetModalResult(c.before);
        int seen = -1;
        button->OnClick = [&](TObject* sender) {
            EXPECT_EQ(sender, button);
            seen = form->ModalResult();
        };
        testsupport::MouseClick(button);
        EXPECT_EQ(seen, c.seenInHandler);
    }
    auto* ok = new TBitBtn(form.get());
    ok->SetKind(bkOK);
    form->SetModalResult(mrNone);
    testsupport::MouseClick(ok);
    EXPECT_EQ(form->ModalResult(), mrOk);
    EXPECT_EQ(ok->Caption(), QStringLiteral("OK"));
}

TEST_F(VclControls, ButtonLooksAndFlags)
{
    auto* bar = new TPanel(form.get());
    auto* start = new TBitBtn(bar);
    start->SetCaption(QStringLiteral("START"));
    start->SetFontColor(clGreen);
    start->SetFontBold(true);
    start->SetHint(QStringLiteral("Połącz / rozłącz z urządzeniem.."));
    EXPECT_EQ(start->FontColor(), clGreen);
    EXPECT_EQ(start->palette().color(QPalette::ButtonText), QColor(0, 128, 0));
    EXPECT_TRUE(start->FontBold());
    EXPECT_EQ(start->Hint(), QStringLiteral("Połącz / rozłącz z urządzeniem.."));
    EXPECT_EQ(start->toolTip(), start->Hint());

    // Enabled and Visible are the control's own flags, not its parent's.
    bar->SetEnabled(false);
    EXPECT_TRUE(start->Enabled());
    EXPECT_FALSE(start->isEnabled());
    start->SetEnabled(false);
    bar->SetEnabled(true);
    EXPECT_FALSE(start->Enabled());
    EXPECT_TRUE(start->Visible());
    start->SetVisible(false);
    EXPECT_FALSE(start->Visible());

    int clicks = 0;
    start->OnClick = [&](TObject*) { ++clicks; };
    start->SetVisible(true);
    testsupport::MouseClick(start); // disabled: the user cannot click it
    EXPECT_EQ(clicks, 0);
    start->Click(); // code still can
    EXPECT_EQ(clicks, 1);
}

TEST(VclColours, ConvertToAndFromQtColours)
{
    // Plain colours keep red in the low byte, both ways.
    const struct {
        TColor colour;
        QColor q;
    } plain[] = {
        {clRed, QColor(255, 0, 0)},
        {clBlue, QColor(0, 0, 255)},
        {clLime, QColor(0, 255, 0)},
        {clNavy, QColor(0, 0, 128)},
        {clGreen, QColor(0, 128, 0)},
        {clWhite, QColor(255, 255, 255)},
        {RGBColor(10, 20, 30), QColor(10, 20, 30)},
        {0x00332211, QColor(0x11, 0x22, 0x33)},
    };
    for (const auto& c : plain) {
        EXPECT_EQ(ToQColor(c.colour), c.q) << std::hex << c.colour;
        EXPECT_EQ(FromQColor(c.q), c.colour) << std::hex << c.colour;
    }
    EXPECT_EQ(FromQColor(QColor(1, 2, 3, 4)), RGBColor(1, 2, 3)) << "alpha dropped";

    // System colours are the desktop's.
    const QPalette desktop = QApplication::palette();
    const struct {
        TColor colour;
        QColor q;
    } system[] = {
        {clWindow, desktop.color(QPalette::Base)},
        {clWindowText, desktop.color(QPalette::Text)},
        {clHighlight, desktop.color(QPalette::Highlight)},
        {clBtnFace, desktop.color(QPalette::Button)},
        {clBtnShadow, desktop.color(QPalette::Dark)},
        {clGrayText, desktop.color(QPalette::Disabled, QPalette::Text)},
        {clBtnText, desktop.color(QPalette::ButtonText)},
        {clInfoBk, desktop.color(QPalette::ToolTipBase)},
    };
    for (const auto& c : system)
        EXPECT_EQ(ToQColor(c.colour), c.q) << std::hex << c.colour;

    // The two special values are no colour at all.
    EXPECT_FALSE(ToQColor(clNone).isValid());
    EXPECT_FALSE(ToQColor(clDefault).isValid());
    EXPECT_EQ(FromQColor(QColor()), clNone);
}

TEST_F(VclControls, FontAndBackColoursShowSystemColoursAndKeepTheValueSet)
{
    auto* label = new TLabel(form.get());
    const QPalette standard = QApplication::palette(label);
    const struct {
        TColor colour;
        QColor shown;
    } cases[] = {
        {clTeal, QColor(0, 128, 128)},
        {clBtnText, QApplication::palette().color(QPalette::ButtonText)},
        {clHighlight, QApplication::palette().color(QPalette::Highlight)},
        {clDefault, standard.color(QPalette::WindowText)},
        {clNone, standard.color(QPalette::WindowText)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.colour);
        label->SetFontColor(c.colour);
        EXPECT_EQ(label->FontColor(), c.colour);
        EXPECT_EQ(label->palette().color(QPalette::WindowText), c.shown);
    }
    auto* panel = new TPanel(form.get());
    SetColor(panel, clBtnFace);
    EXPECT_EQ(panel->palette().color(QPalette::Window), QApplication::palette().color(QPalette::Button));
    SetColor(panel, clDefault);
    EXPECT_EQ(panel->palette().color(QPalette::Window), QApplication::palette(panel).color(QPalette::Window));
}

TEST_F(VclControls, CloseKindButtonClosesItsForm)
{
    auto* close = new TBitBtn(form.get());
    close->SetKind(bkClose);
    int clicks = 0;
    close->OnClick = [&](TObject*) { ++clicks; };
    form->Show();
    testsupport::MouseClick(close);
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(clicks, 0);
}

TEST_F(VclControls, ToolButtonDownFromCodeRunsNothingAndACheckClickToggles)
{
    auto* bar = new TToolBar(form.get());
    auto* fit = new TToolButton(bar);
    fit->SetStyle(tbsCheck);
    fit->SetDown(true);
    auto* plain = new TToolButton(bar);
    plain->SetDown(true);
    std::vector<bool> seen;
    fit->OnClick = [&](TObject*) { seen.push_back(fit->Down()); };
    fit->SetDown(false);
    fit->SetDown(true);
    EXPECT_TRUE(seen.empty());
    testsupport::MouseClick(fit);
    testsupport::MouseClick(fit);
    EXPECT_EQ(seen, (std::vector<bool>{false, true}));
    EXPECT_TRUE(plain->Down());
    EXPECT_EQ(bar->Align(), alTop);
    EXPECT_LT(fit->x(), plain->x());
}

TEST_F(VclControls, LabelClickRunsOnClick)
{
    auto* label = new TLabel(form.get());
    label->SetCaption(QStringLiteral("/home/pomiary"));
    int clicks = 0;
    label->OnClick = [&](TObject* sender) {
        EXPECT_EQ(sender, label);
        ++clicks;
    };
    testsupport::MouseClick(label);
    testsupport::MouseClick(label, QPoint(1, 1), Qt::RightButton);
    EXPECT_EQ(clicks, 1);
}

namespace {

struct VclPages : ::testing::Test {
    std::unique_ptr<TForm> form = std::make_unique<TForm>();
    TPageControl* pc = nullptr;
    TTabSheet* sheets[4]{};
    std::vector<int> shown;
    int changes = 0;
    void SetUp() override
    {
        form->SetClientWidth(608);
        form->SetClientHeight(355);
        pc = new TPageControl(form.get());
        pc->SetAlign(alClient);
        const char* captions[] = {"pomiaru.", "komunikacja.", "systemu.", "okien."};
        for (int i = 0; i < 4; ++i) {
            sheets[i] = new TTabSheet(pc);
            sheets[i]->SetCaption(QString::fromUtf8(captions[i]));
            sheets[i]->OnShow = [this, i](TObject* sender) {
                EXPECT_EQ(sender, sheets[i]);
                shown.push_back(i);
            };
        }
        pc->OnChange = [this](TObject*) { ++changes; };
    }
};

} // namespace

TEST_F(VclPages, OnShowRunsWhenATabBecomesTheShownOneAlsoFromCode)
{
    pc->SetActivePageIndex(2);
    pc->SetActivePage(sheets[2]);
    pc->SetActivePage(sheets[0]);
    EXPECT_EQ(shown, (std::vector<int>{2, 0}));
    EXPECT_EQ(changes, 0);
    EXPECT_EQ(pc->ActivePageIndex(), 0);

    form->Show();
    auto* tabs = pc->findChild<QTabBar*>();
    ASSERT_NE(tabs, nullptr);
    shown.clear();
    testsupport::MouseClick(tabs, tabs->tabRect(3).center());
    EXPECT_EQ(pc->ActivePageIndex(), 3);
    EXPECT_EQ(shown, std::vector<int>{3});
    EXPECT_EQ(changes, 1);
    form->Hide();
}

TEST_F(VclPages, HiddenTabsKeepTheirIndexAndHidingTheShownOneShowsAnother)
{
    pc->SetActivePageIndex(2);
    shown.clear();
    sheets[1]->SetTabVisible(false);
    EXPECT_FALSE(sheets[1]->TabVisible());
    EXPECT_TRUE(shown.empty());
    sheets[2]->SetTabVisible(false);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_NE(shown[0], 1);
    EXPECT_NE(shown[0], 2);
    EXPECT_EQ(pc->ActivePageIndex(), shown[0]);
    EXPECT_EQ(sheets[3]->PageIndex(), 3);
    EXPECT_EQ(pc->PageCount(), 4);
    sheets[2]->SetTabVisible(true);
    EXPECT_TRUE(sheets[2]->TabVisible());
    EXPECT_EQ(changes, 0);
}

TEST_F(VclPages, SheetsAreLaidOutBeforeTheFormIsShown)
{
    auto* inner = new TPanel(sheets[0]);
    inner->SetAlign(alClient);
    ASSERT_FALSE(form->isVisible());
    EXPECT_GT(sheets[0]->width(), 500);
    EXPECT_GT(sheets[0]->height(), 250);
    EXPECT_EQ(inner->size(), sheets[0]->size());
    form->SetClientHeight(635);
    EXPECT_GT(inner->height(), 500);
    // Qt's own placement at show agrees with ours.
    const QSize before = inner->size();
    form->Show();
    testsupport::ProcessPending();
    EXPECT_EQ(inner->size(), before);
    EXPECT_EQ(sheets[0]->size(), before);
    form->Hide();
}
