// Forms: create handler and its errors, closing, showing, geometry, window styles and
// modal runs.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclApplication.h"
#include "platform/vcl/VclControls.h"
#include "platform/vcl/VclForms.h"
#include "tests/support/QtTestApp.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>

using namespace vcl;

namespace {

// A form as the program writes them: components built in the constructor, the create
// handler bound to a member.
class SampleForm : public TForm {
public:
    enum class Failure { None, Runtime8Bit, Ours, Unknown };
    explicit SampleForm(Failure failure = Failure::None, QWidget* owner = nullptr) : TForm(owner), failure_(failure)
    {
        Button1 = new TButton(this);
        Button1->SetCaption(QStringLiteral("OK"));
        Button1->SetModalResult(mrOk);
        OnCreate = [this](TObject* sender) { FormCreate(sender); };
    }
    void FormCreate(TObject* sender)
    {
        ++creates;
        sender_ = sender;
        buttonExisted = Button1 != nullptr;
        globalSeen = global;
        switch (failure_) {
        case Failure::None:
            break;
        case Failure::Runtime8Bit:
            throw std::runtime_error("B\xb3\xb9"
                                     "d odczytu");
        case Failure::Ours:
            throw Exception(QStringLiteral("Błąd portu"));
        case Failure::Unknown:
            throw 42;
        }
        afterFailurePoint = true;
    }

    static SampleForm* global;
    TButton* Button1 = nullptr;
    int creates = 0;
    TObject* sender_ = nullptr;
    bool buttonExisted = false;
    bool afterFailurePoint = false;
    SampleForm* globalSeen = nullptr;

private:
    Failure failure_;
};
SampleForm* SampleForm::global = nullptr;

struct VclForms : ::testing::Test {
    void TearDown() override { Application->Restart(); }
};

} // namespace

TEST_F(VclForms, CreateHandlerRunsOnceAfterTheConstructorAndErrorsAreShown)
{
    using F = SampleForm::Failure;
    struct Case {
        F failure;
        const char* shown;
    };
    const Case cases[] = {
        {F::None, nullptr},
        {F::Runtime8Bit, "Błąd odczytu"},
        {F::Ours, "Błąd portu"},
        {F::Unknown, ""},
    };
    for (const Case& c : cases) {
        platform::MessageScript boxes;
        std::unique_ptr<SampleForm> form(CreateForm<SampleForm>(c.failure));
        ASSERT_NE(form, nullptr);
        EXPECT_EQ(form->creates, 1);
        EXPECT_EQ(form->sender_, form.get());
        EXPECT_TRUE(form->buttonExisted);
        EXPECT_EQ(form->afterFailurePoint, c.shown == nullptr);
        if (!c.shown) {
            EXPECT_TRUE(boxes.records().empty());
            continue;
        }
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].text, QString::fromUtf8(c.shown));
        EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Error"));
        EXPECT_FALSE(form->Visible());
    }
}

TEST_F(VclForms, ApplicationCreatesFormsWithTheGlobalSetAndTheFirstAsMainForm)
{
    SampleForm* second = nullptr;
    Application->CreateForm(SampleForm::global);
    Application->CreateForm(second);
    EXPECT_EQ(SampleForm::global->globalSeen, SampleForm::global);
    EXPECT_EQ(Application->MainForm(), SampleForm::global);
    QPointer<SampleForm> first(SampleForm::global);
    delete second;
    delete SampleForm::global;
    EXPECT_EQ(Application->MainForm(), nullptr);
    SampleForm::global = nullptr;
}

TEST_F(VclForms, CloseActionsOfASecondaryForm)
{
    struct Case {
        TCloseAction action;
        bool visible;
        bool destroyed;
    };
    const Case cases[] = {
        {caHide, false, false},
        {caNone, true, false},
        {caFree, false, true},
        {caMinimize, true, false},
    };
    for (const Case& c : cases) {
        QPointer<TForm> form(new TForm);
        int asked = 0;
        form->OnClose = [&](TObject*, TCloseAction& action) {
            EXPECT_EQ(action, caHide);
            action = c.action;
            ++asked;
        };
        form->Show();
        form->Close();
        EXPECT_EQ(asked, 1);
        EXPECT_EQ(form->Visible(), c.visible) << c.action;
        if (c.action == caMinimize) {
            EXPECT_TRUE(form->isMinimized());
        }
        testsupport::ProcessPending();
        EXPECT_EQ(form.isNull(), c.destroyed) << c.action;
        // The window's close box asks the same way.
        if (form && c.action != caMinimize) {
            form->Show();
            form->close();
            EXPECT_EQ(asked, 2);
            EXPECT_EQ(form->Visible(), c.visible);
        }
        delete form.data();
    }
}

TEST_F(VclForms, ClosingTheMainFormEndsTheApplicationUnlessRefused)
{
    SampleForm* main = nullptr;
    Application->CreateForm(main);
    TCloseAction answer = caNone;
    main->OnClose = [&](TObject*, TCloseAction& action) { action = answer; };
    main->Show();
    main->close();
    EXPECT_FALSE(Application->Terminated());
    EXPECT_TRUE(main->Visible());
    answer = caHide;
    main->Close();
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(Application->Run(), 0); // returns at once once terminated
    delete main;
}

TEST_F(VclForms, AnErrorInAModalFormsOnCloseIsShownAndKeepsItOpen)
{
    platform::MessageScript boxes;
    TForm form;
    int closes = 0;
    form.OnClose = [&](TObject*, TCloseAction&) {
        if (++closes == 1)
            throw Exception(QStringLiteral("nie"));
    };
    ModalScript modal;
    modal.act([](TForm& f) {
        f.SetModalResult(mrOk);
        // The next try, once the failed one has been shown.
        QTimer::singleShot(0, &f, [&f] {
            EXPECT_TRUE(f.Visible());
            f.SetModalResult(mrOk);
        });
    });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_EQ(closes, 2);
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("nie"));
}

TEST_F(VclForms, OnShowRunsEachTimeTheFormBecomesVisible)
{
    TForm form;
    int shows = 0, hides = 0;
    form.OnShow = [&](TObject*) { ++shows; };
    form.OnHide = [&](TObject*) { ++hides; };
    form.Show();
    form.Show();
    form.Hide();
    form.Show();
    EXPECT_EQ(shows, 2);
    EXPECT_EQ(hides, 1);
    // Changing the window's style re-creates it without a second show.
    form.SetFormStyle(fsStayOnTop);
    EXPECT_TRUE(form.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(form.Visible());
    EXPECT_EQ(shows, 2);
    form.SetBorderIcons(biMinimize);
    EXPECT_FALSE(form.windowFlags() & Qt::WindowCloseButtonHint);
    form.SetBorderIcons(biSystemMenu | biMinimize | biMaximize);
    EXPECT_EQ(shows, 2);
    form.Hide();
}

TEST_F(VclForms, GeometrySetFromCodeBeforeAndAfterShowIsKeptUnclamped)
{
    struct Case {
        int left, top, width, height;
    };
    const Case cases[] = {{0, 0, 1200, 93}, {50, 200, 500, 500}, {3, 5, 40, 10}, {10, 10, 1472, 661}};
    for (bool shown : {false, true}) {
        for (const Case& c : cases) {
            TForm form;
            auto* strip = new TPanel(&form);
            strip->SetHeight(35);
            strip->SetAlign(alTop);
            if (shown)
                form.Show();
            form.SetWidth(c.width);
            form.SetHeight(c.height);
            form.SetLeft(c.left);
            form.SetTop(c.top);
            EXPECT_EQ(form.Left(), c.left);
            EXPECT_EQ(form.Top(), c.top);
            EXPECT_EQ(form.Width(), c.width);
            EXPECT_EQ(form.Height(), c.height);
            EXPECT_EQ(strip->width(), form.ClientWidth());
            if (!shown) {
                form.Show();
                testsupport::ProcessPending();
                EXPECT_EQ(form.Width(), c.width);
                EXPECT_EQ(form.Height(), c.height);
                EXPECT_EQ(form.Left(), c.left);
            }
        }
    }
    TForm client;
    client.SetClientWidth(608);
    client.SetClientHeight(355);
    EXPECT_EQ(client.ClientWidth(), 608);
    EXPECT_EQ(client.ClientHeight(), 355);
}

TEST_F(VclForms, CentredFormIsPlacedInTheMiddleOfTheScreen)
{
    TForm form;
    form.SetPosition(poScreenCenter);
    form.SetWidth(200);
    form.SetHeight(100);
    form.SetLeft(0);
    form.Show();
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    EXPECT_EQ(form.Left(), area.x() + (area.width() - 200) / 2);
    EXPECT_EQ(form.Top(), area.y() + (area.height() - 100) / 2);
    form.Hide();
}

TEST_F(VclForms, ShowModalReturnsTheResultOfTheButtonTheScriptPresses)
{
    ModalScript script;
    SampleForm form;
    form.SetCaption(QStringLiteral("Ustawienia"));
    std::vector<TCloseAction> closes;
    form.OnClose = [&](TObject*, TCloseAction& action) { closes.push_back(action); };
    int shows = 0;
    form.OnShow = [&](TObject*) { ++shows; };
    script.act([](TForm& f) {
        EXPECT_TRUE(f.Visible());
        static_cast<SampleForm&>(f).Button1->Click();
    });
    script.act([](TForm&) {}); // leaves no result: the script's default
    script.act([](TForm& f) { f.Close(); });
    EXPECT_EQ(form.ShowModal(), mrOk);
    EXPECT_EQ(form.ShowModal(), mrCancel);
    script.defaultResult = mrOk;
    EXPECT_EQ(form.ShowModal(), mrCancel);
    EXPECT_FALSE(form.Visible());
    EXPECT_FALSE(form.Modal());
    EXPECT_EQ(shows, 3);
    EXPECT_EQ(closes, (std::vector<TCloseAction>{caHide, caHide, caHide}));
    EXPECT_EQ(script.shown(), (std::vector<QString>{"Ustawienia", "Ustawienia", "Ustawienia"}));
    EXPECT_EQ(form.ModalResult(), mrCancel);
}

TEST_F(VclForms, ModalFormRefusingToCloseStaysUntilTheNextResult)
{
    ModalScript script;
    SampleForm form;
    int asked = 0;
    form.OnClose = [&](TObject*, TCloseAction& action) {
        if (++asked == 1)
            action = caNone;
    };
    script.act([](TForm& f) {
        f.SetModalResult(mrOk);
        QTimer::singleShot(0, &f, [&f] {
            EXPECT_TRUE(f.Visible());
            EXPECT_EQ(f.ModalResult(), mrNone);
            f.SetModalResult(mrYes);
        });
    });
    EXPECT_EQ(form.ShowModal(), mrYes);
    EXPECT_EQ(asked, 2);
}

TEST_F(VclForms, ShowModalRunsARealLoopWithoutAScript)
{
    SampleForm form;
    QTimer::singleShot(10, &form, [&form] { form.Button1->Click(); });
    EXPECT_EQ(form.ShowModal(), mrOk);

    form.Show();
    EXPECT_THROW(form.ShowModal(), Exception);
    form.Hide();

    QTimer::singleShot(0, &form, [] { Application->Terminate(); });
    EXPECT_EQ(form.ShowModal(), mrCancel);
}
