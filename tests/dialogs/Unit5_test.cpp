// The about box and the file-name dialog: their contents, the support page through the
// shell, and the two update buttons that nothing can press.

#include "tests/support/ProgramForms.h"
#include "platform/MessageBox.h"
#include "platform/VclShell.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"

#include <QPixmap>
#include <gtest/gtest.h>

namespace {

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override { testsupport::CreateProgramForms(); }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
};

TEST_F(AboutBox, ShowsNameVersionAndPicture)
{
    EXPECT_EQ(Form5->Caption(), QStringLiteral("O programie"));
    EXPECT_EQ(Form5->ClientWidth(), 341);
    EXPECT_EQ(Form5->ClientHeight(), 290);
    EXPECT_TRUE(Form5->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Form5->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(Form5->Panel1->palette().color(QPalette::Window), vcl::ToQColor(vcl::clSilver));

    EXPECT_EQ(Form5->Label6->Caption(), QStringLiteral("Program wizualizacji danych"));
    EXPECT_EQ(Form5->Label4->Caption(), QStringLiteral("Tazo6 Dalvinter"));
    EXPECT_EQ(Form5->Label4->FontColor(), vcl::clRed);
    EXPECT_EQ(Form5->Label5->Caption(), QStringLiteral("wer. "));
    EXPECT_EQ(Form5->Label7->Caption(), QStringLiteral("1.6.4.12"));
    EXPECT_EQ(Form5->Label1->Caption(), QStringLiteral("VESK"));
    EXPECT_EQ(Form5->Label1->FontColor(), vcl::clRed);
    EXPECT_TRUE(Form5->Label1->FontBold());

    const QPixmap picture = Form5->Image1->pixmap();
    ASSERT_FALSE(picture.isNull()) << "the stored JPEG picture decodes";
    EXPECT_EQ(picture.size(), QSize(120, 90));
}

TEST_F(AboutBox, UpdateButtonsAreDisabledAndKeepTheirCaptions)
{
    const struct {
        vcl::TButton* button;
        const char* caption;
        const char* hint;
        bool enabled;
    } cases[] = {
        {Form5->SpeedButton2, "Otwórz stronę  pomocy technicznej.", "Internetowa pomoc techniczna.", true},
        {Form5->SpeedButton1, "-> Sprawdź nową wersję programu?", "Sprawdź czy jest nowsza wersja programu.", false},
        {Form5->SpeedButton3, " ->Pobierz nową wersję programu.", "Pobierz najnowszą wersję programu z internetu.",
         false},
    };
    platform::ShellScript shell;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.caption);
        EXPECT_EQ(c.button->Caption(), QString::fromUtf8(c.caption));
        EXPECT_EQ(c.button->Hint(), QString::fromUtf8(c.hint));
        EXPECT_EQ(c.button->Enabled(), c.enabled);
        if (!c.enabled) {
            testsupport::MouseClick(c.button);
            EXPECT_EQ(c.button->Caption(), QString::fromUtf8(c.caption));
        }
    }
    EXPECT_TRUE(Form5->SpeedButton2->font().underline());
    EXPECT_TRUE(shell.records().empty());
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(AboutBox, SupportButtonOpensThePageOrReportsTheShellsFailure)
{
    for (const bool shellOk : {true, false}) {
        SCOPED_TRACE(shellOk);
        boxes.clear();
        platform::ShellScript shell;
        shell.answer(shellOk);
        Form5->SpeedButton2->Click();
        ASSERT_EQ(shell.records().size(), 1u);
        EXPECT_EQ(shell.records()[0].operation, QStringLiteral("open"));
        const QUrl url = shell.records()[0].url;
        EXPECT_EQ(url.scheme(), QStringLiteral("http"));
        EXPECT_FALSE(url.host().isEmpty());
        EXPECT_EQ(url.path(), QStringLiteral("/Support/tazodalvinter.html"));
        if (shellOk) {
            EXPECT_TRUE(boxes.records().empty());
        } else {
            ASSERT_EQ(boxes.records().size(), 1u);
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("System WINDOWS zgłosił bląd...."));
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Error..."));
            EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK | platform::MB_ICONERROR));
        }
    }
}

TEST_F(AboutBox, OkClosesTheBox)
{
    vcl::ModalScript modal;
    modal.act([](vcl::TForm&) { Form5->BitBtn1->Click(); });
    EXPECT_EQ(Form5->ShowModal(), vcl::mrOk);
    EXPECT_EQ(modal.shown(), std::vector<QString>{QStringLiteral("O programie")});
    EXPECT_FALSE(Form5->Visible());
}

TEST_F(AboutBox, FileNameDialogHoldsItsDesignedText)
{
    EXPECT_EQ(Form3->Caption(), QStringLiteral("Nowa nazwa pliku pomiarowego"));
    EXPECT_EQ(Form3->ClientWidth(), 587);
    EXPECT_EQ(Form3->ClientHeight(), 160);
    EXPECT_EQ(Form3->Edit1->Text(), QStringLiteral("..."));
    EXPECT_EQ(Form3->BitBtn1->Kind(), vcl::bkOK);
    EXPECT_FALSE(Form3->Visible());
}

} // namespace
