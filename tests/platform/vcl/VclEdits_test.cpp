// Which changes run a handler: edits, combo boxes, check boxes and radio groups, from
// code and from the user.

#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclForms.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <array>
#include <gtest/gtest.h>
#include <memory>

using namespace vcl;
using testsupport::KeyClick;
using testsupport::TypeText;

namespace {

struct FormFixture : ::testing::Test {
    std::unique_ptr<TForm> form = std::make_unique<TForm>();
};

using VclEdit = FormFixture;
using VclCombo = FormFixture;
using VclCheck = FormFixture;
using VclRadioBase = FormFixture;

} // namespace

TEST_F(VclEdit, TextSetFromCodeRunsOnChangeOnlyWhenItChanges)
{
    struct Case {
        const char* start;
        const char* set;
        int runs;
    };
    const Case cases[] = {
        {"", "00:00:10", 1}, {"00:00:10", "00:00:10", 0}, {"P", "p", 1}, {"abc", "", 1}, {"", "", 0},
    };
    for (const Case& c : cases) {
        auto* edit = new TEdit(form.get());
        edit->SetText(QString::fromUtf8(c.start));
        int runs = 0;
        QString seen;
        edit->OnChange = [&](TObject* sender) {
            EXPECT_EQ(sender, edit);
            ++runs;
            seen = edit->Text();
        };
        edit->SetText(QString::fromUtf8(c.set));
        EXPECT_EQ(runs, c.runs) << c.start << " -> " << c.set;
        if (c.runs) {
            EXPECT_EQ(seen, QString::fromUtf8(c.set));
        }
    }
}

TEST_F(VclEdit, TypingRunsOnChangeForEveryChange)
{
    auto* edit = new TEdit(form.get());
    QStringList seen;
    edit->OnChange = [&](TObject*) { seen << edit->Text(); };
    TypeText(edit, QStringLiteral("39ł"));
    KeyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(seen, (QStringList{"3", "39", "39ł", "39"}));
}

TEST_F(VclEdit, MaxLengthLimitsTypingButKeepsTextSetFromCode)
{
    auto* edit = new TEdit(form.get());
    edit->SetMaxLength(5);
    TypeText(edit, QStringLiteral("1234567"));
    EXPECT_EQ(edit->Text(), QStringLiteral("12345"));

    edit->SetText(QStringLiteral("192.168.100.200"));
    EXPECT_EQ(edit->Text(), QStringLiteral("192.168.100.200"));
    edit->end(false);
    TypeText(edit, QStringLiteral("9"));
    EXPECT_EQ(edit->Text(), QStringLiteral("192.168.100.200"));
    KeyClick(edit, Qt::Key_Backspace);
    EXPECT_EQ(edit->Text(), QStringLiteral("192.168.100.20"));
    EXPECT_EQ(edit->MaxLength(), 5);
}

TEST_F(VclEdit, LabeledEditCarriesItsCaptionAboveAndFollowsVisibility)
{
    auto* edit = new TLabeledEdit(form.get());
    edit->EditLabel()->SetCaption(QStringLiteral("Okres [hh:mm:ss]"));
    edit->SetBounds(20, 40, 120, 21);
    form->Show();
    EXPECT_EQ(edit->EditLabel()->Caption(), QStringLiteral("Okres [hh:mm:ss]"));
    EXPECT_EQ(edit->EditLabel()->x(), 20);
    EXPECT_EQ(edit->EditLabel()->y() + edit->EditLabel()->height() + 3, 40);
    edit->SetVisible(false);
    EXPECT_FALSE(edit->EditLabel()->isVisible());
    edit->SetVisible(true);
    EXPECT_TRUE(edit->EditLabel()->isVisible());
    form->Hide();
}

TEST_F(VclCombo, TextAndIndexSetFromCodeRunNoHandler)
{
    for (TComboBoxStyle style : {csDropDown, csDropDownList}) {
        auto* combo = new TComboBox(form.get());
        combo->SetStyle(style);
        combo->SetItems({"2400", "4800", "9600"});
        int runs = 0;
        combo->OnChange = [&](TObject*) { ++runs; };
        combo->SetItemIndex(2);
        EXPECT_EQ(combo->ItemIndex(), 2);
        EXPECT_EQ(combo->Text(), QStringLiteral("9600"));
        combo->SetText(QStringLiteral("4800"));
        EXPECT_EQ(combo->ItemIndex(), 1);
        EXPECT_EQ(combo->Text(), QStringLiteral("4800"));
        combo->SetItemIndex(-1);
        EXPECT_EQ(combo->ItemIndex(), -1);
        EXPECT_EQ(runs, 0) << style;
    }
    auto* editable = new TComboBox(form.get());
    editable->SetItems({"com1", "com2"});
    editable->SetText(QStringLiteral("com3"));
    EXPECT_EQ(editable->Text(), QStringLiteral("com3"));
    EXPECT_EQ(editable->ItemIndex(), -1);
}

TEST_F(VclCombo, AddingItemsKeepsTextAndIndex)
{
    auto* combo = new TComboBox(form.get());
    combo->SetText(QStringLiteral("Dodaj okno"));
    combo->AddItem(QStringLiteral("----"));
    combo->AddItem(QStringLiteral("Okno 2"));
    EXPECT_EQ(combo->Text(), QStringLiteral("Dodaj okno"));
    EXPECT_EQ(combo->ItemIndex(), -1);
    EXPECT_EQ(combo->Items(), (QStringList{"----", "Okno 2"}));

    auto* list = new TComboBox(form.get());
    list->SetStyle(csDropDownList);
    list->AddItem(QStringLiteral("Tazo32  Tazo132"));
    EXPECT_EQ(list->ItemIndex(), -1);

    combo->ClearItems();
    EXPECT_EQ(combo->ItemCount(), 0);
    EXPECT_EQ(combo->Text(), QString());
}

TEST_F(VclCombo, DropDownRunsFirstAndAUsersChoiceRunsOnChange)
{
    auto* combo = new TComboBox(form.get());
    form->Show();
    int drops = 0;
    combo->OnDropDown = [&](TObject*) {
        ++drops;
        EXPECT_FALSE(combo->view()->isVisible());
        combo->ClearItems();
        combo->AddItem(QStringLiteral("----"));
        combo->AddItem(QStringLiteral("Okno 2"));
        combo->AddItem(QStringLiteral("----"));
        combo->SetText(QStringLiteral("Dodaj okno"));
    };
    std::vector<int> chosen;
    combo->OnChange = [&](TObject*) { chosen.push_back(combo->ItemIndex()); };
    for (int pick : {1, 2, 2}) {
        combo->showPopup();
        ASSERT_TRUE(combo->view()->isVisible());
        EXPECT_EQ(combo->Text(), QStringLiteral("Dodaj okno"));
        combo->view()->setCurrentIndex(combo->model()->index(pick, 0));
        KeyClick(combo->view(), Qt::Key_Return);
        EXPECT_TRUE(testsupport::WaitUntil([&] { return !combo->view()->isVisible(); }));
    }
    EXPECT_EQ(drops, 3);
    EXPECT_EQ(chosen, (std::vector<int>{1, 2, 2}));
    form->Hide();
}

TEST_F(VclCombo, TypingRunsOnChangeAndATypedTextThatIsNoItemHasNoIndex)
{
    auto* combo = new TComboBox(form.get());
    combo->SetItems({"Tazo32  Tazo132", "Tazo154  Kelt", "Kovra51"});
    std::vector<std::pair<QString, int>> seen;
    combo->OnChange = [&](TObject*) { seen.emplace_back(combo->Text(), combo->ItemIndex()); };
    TypeText(combo->lineEdit(), QStringLiteral("Kovra5"));
    TypeText(combo->lineEdit(), QStringLiteral("1"));
    ASSERT_EQ(seen.size(), 7u);
    EXPECT_EQ(seen[5], std::make_pair(QStringLiteral("Kovra5"), -1));
    EXPECT_EQ(seen[6], std::make_pair(QStringLiteral("Kovra51"), 2));
    // Nothing completes or inserts what was typed.
    KeyClick(combo->lineEdit(), Qt::Key_Return);
    EXPECT_EQ(combo->ItemCount(), 3);

    combo->SetMaxLength(3);
    combo->SetText(QString());
    TypeText(combo->lineEdit(), QStringLiteral("com12"));
    EXPECT_EQ(combo->Text(), QStringLiteral("com"));
}

TEST_F(VclCheck, CheckedFromCodeRunsOnClickWhenItChangesAndAClickToggles)
{
    auto* box = new TCheckBox(form.get());
    box->SetCaption(QStringLiteral("Dopisz   date"));
    std::vector<bool> seen;
    box->OnClick = [&](TObject*) { seen.push_back(box->Checked()); };
    box->SetChecked(true);
    box->SetChecked(true);
    box->SetChecked(false);
    box->click(); // as the mouse does
    EXPECT_EQ(seen, (std::vector<bool>{true, false, true}));
    EXPECT_EQ(box->Caption(), QStringLiteral("Dopisz   date"));
}

namespace {

struct VclRadio : VclRadioBase {
    TGroupBox* group = nullptr;
    std::array<TRadioButton*, 3> r{};
    TRadioButton* elsewhere = nullptr;
    std::vector<int> clicks;

    void SetUp() override
    {
        group = new TGroupBox(form.get());
        group->SetBounds(0, 0, 200, 120);
        for (int i = 0; i < 3; ++i) {
            r[i] = new TRadioButton(group);
            r[i]->SetBounds(8, 20 + 20 * i, 150, 17);
            r[i]->SetCaption(QStringLiteral("r%1").arg(i));
            r[i]->OnClick = [this, i](TObject* sender) {
                EXPECT_EQ(sender, r[i]);
                clicks.push_back(i);
            };
        }
        auto* other = new TPanel(form.get());
        other->SetBounds(0, 130, 200, 40);
        elsewhere = new TRadioButton(other);
        elsewhere->SetChecked(true);
        form->Show();
    }
    void TearDown() override { form->Hide(); }
    std::array<bool, 3> state() const { return {r[0]->Checked(), r[1]->Checked(), r[2]->Checked()}; }
    void userClick(int i) { testsupport::MouseClick(r[i], QPoint(6, r[i]->height() / 2)); }
};

} // namespace

TEST_F(VclRadio, SelectingClearsTheGroupAndRunsOnClickClearingRunsNothing)
{
    enum Op { Set, Clear, User };
    struct Step {
        Op op;
        int which;
        std::array<bool, 3> after;
        int clicked;
    };
    const Step steps[] = {
        {Set, 0, {true, false, false}, 0},     {Set, 1, {false, true, false}, 1},
        {Set, 1, {false, true, false}, -1},                                         // already selected: nothing
        {Clear, 1, {false, false, false}, -1},                                      // none selected is allowed
        {User, 2, {false, false, true}, 2},    {User, 2, {false, false, true}, -1}, // a click on the selected one
        {User, 0, {true, false, false}, 0},    {Clear, 2, {true, false, false}, -1},
    };
    for (const Step& s : steps) {
        clicks.clear();
        switch (s.op) {
        case Set:
            r[s.which]->SetChecked(true);
            break;
        case Clear:
            r[s.which]->SetChecked(false);
            break;
        case User:
            userClick(s.which);
            break;
        }
        EXPECT_EQ(state(), s.after) << "step on r" << s.which;
        if (s.clicked < 0) {
            EXPECT_TRUE(clicks.empty());
        } else {
            EXPECT_EQ(clicks, std::vector<int>{s.clicked});
        }
        EXPECT_TRUE(elsewhere->Checked());
    }
}

// The settings dialog loads its archive cycle radios from bytes in order; each click
// handler rewrites every byte from the radios, so the last set byte wins.
TEST_F(VclRadio, HandlerSeesTheOthersAlreadyCleared)
{
    std::array<int, 3> bytes{1, 0, 1};
    for (int i = 0; i < 3; ++i) {
        r[i]->OnClick = [this, &bytes](TObject*) {
            for (int k = 0; k < 3; ++k)
                bytes[k] = r[k]->Checked() ? 1 : 0;
        };
    }
    const std::array<int, 3> stored = bytes;
    for (int i = 0; i < 3; ++i)
        r[i]->SetChecked(stored[i] != 0);
    EXPECT_EQ(state(), (std::array<bool, 3>{false, false, true}));
    EXPECT_EQ(bytes, (std::array<int, 3>{0, 0, 1}));
}
