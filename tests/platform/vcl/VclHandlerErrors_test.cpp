// Where an error raised in a handler goes: to the code that set the control, which
// stops there, or, when the user's input ran the handler, into the error box, after
// which the program goes on.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclForms.h"
#include "platform/vcl/VclLists.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <QDir>
#include <QListWidgetItem>
#include <QToolButton>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

using namespace vcl;

namespace {

const QString failure = QStringLiteral("Błąd w obsłudze");

[[noreturn]] void fail(TObject*) { throw Exception(failure); }

// One control with a failing handler, and the two ways its handler runs.
struct Ways {
    std::function<void()> fromCode;
    std::function<void()> byUser;
};

struct HandlerCase {
    const char* name;
    // Builds a fresh control on form, its handler failing.
    std::function<Ways(TForm& form)> build;
};

void PrintTo(const HandlerCase& c, std::ostream* os) { *os << c.name; }

const HandlerCase handlerCases[] = {
    {"edit",
     [](TForm& form) {
         auto* edit = new TEdit(&form);
         edit->OnChange = fail;
         return Ways{[edit] { edit->SetText(QStringLiteral("4000")); },
                     [edit] { testsupport::TypeText(edit, QStringLiteral("7")); }};
     }},
    {"check box",
     [](TForm& form) {
         auto* box = new TCheckBox(&form);
         box->SetCaption(QStringLiteral("Dopisz sekundy")); // a click hits the box or its caption
         box->OnClick = fail;
         return Ways{[box] { box->SetChecked(true); }, [box] { testsupport::MouseClick(box); }};
     }},
    {"radio button",
     [](TForm& form) {
         auto* radio = new TRadioButton(&form);
         radio->SetCaption(QStringLiteral("Serial com.."));
         radio->OnClick = fail;
         return Ways{[radio] { radio->SetChecked(true); }, [radio] { testsupport::MouseClick(radio); }};
     }},
    {"button",
     [](TForm& form) {
         auto* button = new TButton(&form);
         button->OnClick = fail;
         return Ways{[button] { button->Click(); }, [button] { testsupport::MouseClick(button); }};
     }},
    {"up-down",
     [](TForm& form) {
         auto* edit = new TEdit(&form);
         auto* upDown = new TUpDown(&form);
         upDown->SetAssociate(edit);
         upDown->OnClick = [](TObject* s, TUDBtnType) { fail(s); };
         QToolButton* up = upDown->findChildren<QToolButton*>().value(0);
         // Its position from code runs no handler of its own, but the edit's.
         return Ways{[upDown, edit] {
                         edit->OnChange = fail;
                         upDown->SetPosition(12);
                     },
                     [up] { testsupport::MouseClick(up); }};
     }},
    {"track bar",
     [](TForm& form) {
         auto* bar = new TTrackBar(&form);
         bar->OnChange = fail;
         return Ways{[bar] { bar->SetPosition(3); }, [bar] { testsupport::KeyClick(bar, Qt::Key_Right); }};
     }},
    {"close button",
     [](TForm& form) {
         auto* button = new TBitBtn(&form);
         button->SetKind(bkClose);
         form.OnClose = [](TObject* s, TCloseAction&) { fail(s); };
         return Ways{[button] { button->Click(); }, [button] { testsupport::MouseClick(button); }};
     }},
    {"form",
     [](TForm& form) {
         form.OnClose = [](TObject* s, TCloseAction&) { fail(s); };
         // QWidget::close is the window system's close box.
         return Ways{[&form] { form.Close(); }, [&form] { form.close(); }};
     }},
    {"folder list",
     [](TForm& form) {
         auto* list = new TDirectoryListBox(&form);
         list->OnChange = fail;
         const QString parent = QDir(list->Directory()).absoluteFilePath(QStringLiteral(".."));
         return Ways{[list, parent] { list->SetDirectory(parent); },
                     [list] { emit list->itemActivated(list->item(0)); }};
     }},
};

class HandlerErrors : public ::testing::TestWithParam<HandlerCase> {
protected:
    void SetUp() override { form.Show(); }

    testsupport::TempCwd cwd; // the folder list changes the current directory
    platform::MessageScript boxes;
    TForm form;
};

TEST_P(HandlerErrors, CodeThatSetTheControlGetsTheError)
{
    const Ways ways = GetParam().build(form);
    try {
        ways.fromCode();
        ADD_FAILURE() << "the error did not reach the code";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), failure);
    }
    EXPECT_TRUE(boxes.records().empty()) << "no error box for the code's own error";
    EXPECT_TRUE(form.Visible());
}

TEST_P(HandlerErrors, UsersInputShowsTheErrorAndGoesOn)
{
    const Ways ways = GetParam().build(form);
    EXPECT_NO_THROW(ways.byUser());
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Error"));
    EXPECT_EQ(boxes.records()[0].text, failure);
    EXPECT_TRUE(form.Visible());
}

INSTANTIATE_TEST_SUITE_P(Controls, HandlerErrors, ::testing::ValuesIn(handlerCases), [](const auto& info) {
    std::string name = info.param.name;
    for (char& c : name)
        if (c == ' ' || c == '-')
            c = '_';
    return name;
});

// A user's click whose handler sets a control that fails: the click's handler stops at
// that control, and the error is shown once.
TEST(HandlerErrorsNested, AnErrorFromASetControlStopsTheUsersHandlerAndIsShownOnce)
{
    platform::MessageScript boxes;
    TForm form;
    auto* port = new TEdit(&form);
    port->OnChange = fail;
    auto* button = new TButton(&form);
    bool afterThePort = false;
    button->OnClick = [&](TObject*) {
        port->SetText(QStringLiteral("70000"));
        afterThePort = true;
    };
    form.Show();
    testsupport::MouseClick(button);
    EXPECT_FALSE(afterThePort);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, failure);
}

} // namespace
