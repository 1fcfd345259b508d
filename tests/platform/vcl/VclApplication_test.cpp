// The application object: how Terminate ends the program, and the language of Qt's
// own texts.

#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclApplication.h"
#include "platform/vcl/VclForms.h"
#include "tests/support/QtTestApp.h"

#include <QColorDialog>
#include <QDialogButtonBox>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <functional>
#include <gtest/gtest.h>

using namespace vcl;

namespace {

struct VclApplication : ::testing::Test {
    void TearDown() override { Application->Restart(); }
};

} // namespace

// "&Zamknij" terminates from wherever it runs, even with a modal form and a message
// box open: every loop ends, and no form is asked to close.
TEST_F(VclApplication, TerminateEndsEveryLoopAtOnceWithoutAskingAnyForm)
{
    TForm* main = nullptr;
    Application->CreateForm(main);
    int mainAsked = 0, otherAsked = 0, dialogAsked = 0;
    main->OnClose = [&](TObject*, TCloseAction& action) {
        ++mainAsked;
        action = caNone; // the close box's question answered with Cancel
    };
    auto* other = new TForm(main);
    other->OnClose = [&](TObject*, TCloseAction&) { ++otherAsked; };
    auto* dialog = new TForm(main);
    dialog->OnClose = [&](TObject*, TCloseAction&) { ++dialogAsked; };
    other->Show();

    int boxAnswer = 0, modalResult = mrNone;
    QTimer::singleShot(0, main, [&] {
        QTimer::singleShot(0, main, [&] {
            QTimer::singleShot(0, main, [] { Application->Terminate(); });
            boxAnswer = platform::MessageBox(QStringLiteral("Zamykanie programu."), QStringLiteral("Uwaga!"),
                                             platform::MB_OKCANCEL);
        });
        modalResult = dialog->ShowModal();
    });
    // A program that did not end would hang here; this ends the test instead.
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
    guard.start(5000);

    EXPECT_EQ(Application->Run(), 0);
    EXPECT_TRUE(Application->Terminated());
    EXPECT_EQ(boxAnswer, platform::IDCANCEL);
    EXPECT_EQ(modalResult, mrCancel);
    EXPECT_EQ(mainAsked, 0);
    EXPECT_EQ(otherAsked, 0);
    EXPECT_EQ(dialogAsked, 0);
    delete main;
}

// Tests run one program start after another in one process: outside Run, Terminate
// must leave later event loops working.
TEST_F(VclApplication, TerminateOutsideRunOnlyMarksTheApplication)
{
    Application->Terminate();
    EXPECT_TRUE(Application->Terminated());
    QEventLoop loop;
    bool ticked = false;
    QTimer::singleShot(0, &loop, [&] {
        ticked = true;
        loop.exit(7);
    });
    EXPECT_EQ(loop.exec(), 7);
    EXPECT_TRUE(ticked);
}

TEST_F(VclApplication, QtsOwnDialogsSpeakPolish)
{
    QFileDialog files;
    files.setOption(QFileDialog::DontUseNativeDialog);
    files.setAcceptMode(QFileDialog::AcceptOpen);
    QColorDialog colours;
    colours.setOption(QColorDialog::DontUseNativeDialog);
    QDialogButtonBox buttons(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);

    const struct {
        const char* what;
        std::function<QString()> text;
        const char* polish;
    } cases[] = {
        {"file dialog title", [&] { return files.windowTitle(); }, "Otwórz"},
        {"look in", [&] { return files.findChild<QLabel*>(QStringLiteral("lookInLabel"))->text(); }, "Szukaj w:"},
        {"file name", [&] { return files.findChild<QLabel*>(QStringLiteral("fileNameLabel"))->text(); },
         "Nazwa &pliku:"},
        {"red",
         [&] {
             for (QLabel* l : colours.findChildren<QLabel*>())
                 if (l->text().startsWith(QStringLiteral("&Cz")) || l->text() == QStringLiteral("&Red:"))
                     return l->text();
             return QString();
         },
         "&Czerwień:"},
        {"cancel button", [&] { return buttons.button(QDialogButtonBox::Cancel)->text(); }, "Anuluj"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(c.text(), QString::fromUtf8(c.polish)) << c.what;
}
