// The about box and the file-name dialog: their contents, the support page through the
// shell, the two update buttons that nothing can press, and what their handlers do when
// called: the captions they end with and every local file afterwards.

#include "platform/links/UrlDownload.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclShell.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FormDump.h"
#include "tests/support/HttpServer.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtInput.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunningProgram.h"

#include <QPixmap>
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <sys/stat.h>

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
    EXPECT_EQ(Form5->ClientWidth(), 341);
    EXPECT_EQ(Form5->ClientHeight(), 290);
    EXPECT_TRUE(Form5->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Form5->palette().color(QPalette::Window), QColor(Qt::black));
    EXPECT_EQ(Form5->Panel1->palette().color(QPalette::Window), vcl::ToQColor(vcl::clSilver));

    TForm5* f = Form5;
    const std::string dump = testsupport::ControlDump(f, {
                                                             {"Form5", f},
                                                             {"Panel1", f->Panel1},
                                                             {"Image1", f->Image1},
                                                             {"Label6", f->Label6},
                                                             {"Label4", f->Label4},
                                                             {"Label5", f->Label5},
                                                             {"Label7", f->Label7},
                                                             {"Label1", f->Label1},
                                                             {"SpeedButton2", f->SpeedButton2},
                                                             {"SpeedButton1", f->SpeedButton1},
                                                             {"SpeedButton3", f->SpeedButton3},
                                                             {"BitBtn1", f->BitBtn1},
                                                         });
    EXPECT_EQ(dump, "Form5 TForm5 caption=\"O programie\"\n"
                    "Panel1 TPanel in=Form5\n"
                    "Image1 QLabel in=Panel1 picture\n"
                    "Label6 TLabel in=Panel1 caption=\"Program wizualizacji danych\"\n"
                    "Label4 TLabel in=Panel1 caption=\"Tazo6 Dalvinter\"\n"
                    "Label5 TLabel in=Panel1 caption=\"wer. \"\n"
                    "Label7 TLabel in=Panel1 caption=\"1.6.4.12\"\n"
                    "Label1 TLabel in=Panel1 caption=\"VESK\"\n"
                    "SpeedButton2 TButton in=Panel1 caption=\"Otwórz stronę  pomocy technicznej.\" "
                    "hint=\"Internetowa pomoc techniczna.\"\n"
                    "SpeedButton1 TButton in=Panel1 caption=\"-> Sprawdź nową wersję programu?\" "
                    "hint=\"Sprawdź czy jest nowsza wersja programu.\" disabled\n"
                    "SpeedButton3 TButton in=Panel1 caption=\" ->Pobierz nową wersję programu.\" "
                    "hint=\"Pobierz najnowszą wersję programu z internetu.\" disabled\n"
                    "BitBtn1 TBitBtn in=Form5 caption=\"OK\" kind=OK\n");
    EXPECT_EQ(Form5->Label4->FontColor(), vcl::clRed);
    EXPECT_EQ(Form5->Label1->FontColor(), vcl::clRed);
    EXPECT_TRUE(Form5->Label1->FontBold());

    const QPixmap picture = Form5->Image1->pixmap();
    ASSERT_FALSE(picture.isNull()) << "the stored JPEG picture decodes";
    EXPECT_EQ(picture.size(), QSize(120, 90));
}

TEST_F(AboutBox, UpdateButtonsAreDisabledAndKeepTheirCaptions)
{
    platform::ShellScript shell;
    for (vcl::TButton* button : {Form5->SpeedButton1, Form5->SpeedButton3}) {
        const QString caption = button->Caption();
        SCOPED_TRACE(caption.toStdString());
        EXPECT_FALSE(button->Enabled());
        testsupport::MouseClick(button);
        EXPECT_EQ(button->Caption(), caption);
    }
    EXPECT_TRUE(Form5->SpeedButton2->Enabled());
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
        EXPECT_EQ(url.scheme(), QStringLiteral("https"));
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

// ---- Version check and program download, called from code.

using testsupport::HttpServer;

using testsupport::FileState;

FileState stateOf(const QString& path) { return testsupport::fileState(path.toStdString()); }

const char* const updateFiles[] = {"Tazo6Dalvinter", "Tazo6Dalvinter.bak", "newver.txt"};

class AboutBoxUpdate : public AboutBox {
protected:
    void SetUp() override
    {
        ::umask(022);
        qputenv("TAZO6DALVINTER_SERVER", QByteArray::fromStdString(server.base()));
        // A server that stops answering fails the step within a second here.
        platform::UrlDownload::stallTimeoutMs = 1000;
        AboutBox::SetUp();
    }
    void TearDown() override
    {
        AboutBox::TearDown();
        qunsetenv("TAZO6DALVINTER_SERVER");
        platform::UrlDownload::stallTimeoutMs = 30000;
    }

    std::map<std::string, FileState> files() const
    {
        return testsupport::fileStates(cwd.path().toStdString(), updateFiles);
    }
    void put(const std::string& name, const std::string& bytes, unsigned mode)
    {
        testsupport::writeFile(cwd.path().toStdString() + '/' + name, bytes, mode);
    }
    // Clicks from code and waits until the button's caption leaves its waiting text.
    void clickAndWait(vcl::TButton* button, const QString& waiting)
    {
        button->Click();
        EXPECT_EQ(button->Caption(), waiting) << "shown while the transfer runs";
        EXPECT_TRUE(testsupport::WaitUntil([&] { return button->Caption() != waiting; }));
    }

    HttpServer server;
};

const std::string longNote = "Tazo6Dalvinter 1.6.5.0 z 2026-11-30, poprawki odczytu TCP";

TEST_F(AboutBoxUpdate, VersionCheckShowsTheNotesFirstLineOrWhatFailed)
{
    const struct {
        const char* name;
        std::optional<HttpServer::Answer> answer; // nullopt: the server is down
        const char* caption;
    } cases[] = {
        {"long note", HttpServer::ok(longNote + "\r\nsecond line\r\n"), "Tazo6Dalvinter 1.6.5.0 z 2026-11-30, po"},
        {"short note, 8-bit text", HttpServer::ok("Nowa wersja 1.6.5 \xb9\xea\x9c\n"), "Nowa wersja 1.6.5 ąęś"},
        {"empty note", HttpServer::ok(""), ""},
        {"no note on the server", HttpServer::notFound(), "  Błąd pobierania"},
        {"note cut short", HttpServer::cutShort(longNote, 10), "  Błąd pobierania"},
        {"server down", std::nullopt, "  Błąd pobierania"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        put("newver.txt", "left from an earlier check", 0644);
        put("Tazo6Dalvinter", "running program", 0755);
        auto before = files();
        HttpServer s;
        if (c.answer)
            s.answer("/client/Tazo6Dalvinter/newver.txt", *c.answer);
        qputenv("TAZO6DALVINTER_SERVER", QByteArray::fromStdString(c.answer ? s.base() : s.downBase()));

        clickAndWait(Form5->SpeedButton1, QStringLiteral("  Wait !!"));
        EXPECT_EQ(Form5->SpeedButton1->Caption(), QString::fromUtf8(c.caption));
        // The old note is gone before the check, the new one after it is read.
        before["newver.txt"] = std::nullopt;
        EXPECT_EQ(files(), before);
        EXPECT_EQ(s.requests(), c.answer ? std::vector<std::string>{"/client/Tazo6Dalvinter/newver.txt"}
                                         : std::vector<std::string>{});
    }
}

TEST_F(AboutBoxUpdate, ProgramReplacesTheOldOneOnlyWhenCompleteAndTheOldOneBecomesTheBackup)
{
    const std::string fresh(20000, 'N');
    const struct {
        const char* name;
        std::function<std::string(HttpServer&)> serve; // the server base address to use
        bool hadProgram;
        bool ok;
    } cases[] = {
        {"complete",
         [&](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::ok(fresh));
             return s.base();
         },
         true, true},
        {"complete, no program before",
         [&](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::ok(fresh));
             return s.base();
         },
         false, true},
        {"not found", [](HttpServer& s) { return s.base(); }, true, false},
        {"cut short",
         [&](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::cutShort(fresh, 12000));
             return s.base();
         },
         true, false},
        {"server down", [](HttpServer& s) { return s.downBase(); }, true, false},
        {"plain HTTP to another machine", [](HttpServer&) { return std::string("http://192.0.2.7"); }, true, false},
        {"redirect to plain HTTP elsewhere",
         [](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::redirect("http://192.0.2.7/x"));
             return s.base();
         },
         true, false},
        {"redirect to a server that never answers",
         [](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::redirect(s.base() + "/mirror"));
             s.answer("/mirror", HttpServer::silence());
             return s.base();
         },
         true, false},
        {"3 GiB announced",
         [](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::streamed(std::uint64_t(3) << 30));
             return s.base();
         },
         true, false},
        {"no length",
         [&](HttpServer& s) {
             s.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__",
                      HttpServer::framed(HttpServer::Length::undeclared, fresh));
             return s.base();
         },
         true, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ::unlink((cwd.path() + "/Tazo6Dalvinter").toStdString().c_str());
        if (c.hadProgram)
            put("Tazo6Dalvinter", "running program", 0750);
        put("Tazo6Dalvinter.bak", "older program", 0750);
        const auto before = files();
        HttpServer s;
        qputenv("TAZO6DALVINTER_SERVER", QByteArray::fromStdString(c.serve(s)));

        clickAndWait(Form5->SpeedButton3, QStringLiteral("  Wait!! "));
        auto expected = before;
        if (c.ok) {
            EXPECT_EQ(Form5->SpeedButton3->Caption(), QStringLiteral("Download completed: OK!"));
            expected["Tazo6Dalvinter"] = std::make_pair(fresh, c.hadProgram ? 0750u : 0755u);
            if (c.hadProgram)
                expected["Tazo6Dalvinter.bak"] = std::make_pair(std::string("running program"), 0750u);
        } else {
            EXPECT_EQ(Form5->SpeedButton3->Caption(), QStringLiteral("  Download error !."));
        }
        EXPECT_EQ(files(), expected);
    }
}

TEST_F(AboutBoxUpdate, TheRunningProgramIsReplacedAndBecomesTheBackup)
{
    const std::string fresh(20000, 'N');
    server.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::ok(fresh));
    testsupport::RunningProgram running(cwd.path() + QStringLiteral("/Tazo6Dalvinter"));
    ASSERT_TRUE(running.busy()) << "the program runs from its file";
    clickAndWait(Form5->SpeedButton3, QStringLiteral("  Wait!! "));
    EXPECT_EQ(Form5->SpeedButton3->Caption(), QStringLiteral("Download completed: OK!"));
    // Compared as a whole: a failure must not print a program's bytes.
    EXPECT_TRUE(stateOf(cwd.path() + "/Tazo6Dalvinter") == std::make_pair(fresh, 0755u))
        << "the new program is in place";
    const FileState backup = stateOf(cwd.path() + "/Tazo6Dalvinter.bak");
    ASSERT_TRUE(backup.has_value());
    EXPECT_TRUE(QByteArray::fromStdString(backup->first) == running.bytes()) << "the running program is the backup";
    EXPECT_TRUE(running.running());
}

TEST_F(AboutBoxUpdate, AClickDuringATransferStartsNothing)
{
    server.answer("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__", HttpServer::slow(std::string(8000, 'N')));
    put("Tazo6Dalvinter", "running program", 0755);
    Form5->SpeedButton3->Click();
    ASSERT_TRUE(server.waitForRequest("/client/Tazo6Dalvinter/Tazo6Dalvinter.e__"));
    testsupport::ProcessPending();
    Form5->SpeedButton1->Click();
    Form5->SpeedButton3->Click();
    EXPECT_EQ(Form5->SpeedButton1->Caption(), QStringLiteral("-> Sprawdź nową wersję programu?"));
    EXPECT_EQ(Form5->SpeedButton3->Caption(), QStringLiteral("  Wait!! "));
    EXPECT_EQ(stateOf(cwd.path() + "/Tazo6Dalvinter"), std::make_pair(std::string("running program"), 0755u));
    server.release();
    ASSERT_TRUE(testsupport::WaitUntil([] { return Form5->SpeedButton3->Caption() != QStringLiteral("  Wait!! "); }));
    EXPECT_EQ(Form5->SpeedButton3->Caption(), QStringLiteral("Download completed: OK!"));
    EXPECT_EQ(server.requests(), std::vector<std::string>{"/client/Tazo6Dalvinter/Tazo6Dalvinter.e__"});
    EXPECT_EQ(stateOf(cwd.path() + "/Tazo6Dalvinter"), std::make_pair(std::string(8000, 'N'), 0755u));
}

TEST_F(AboutBoxUpdate, TheSupportPageLiesOnTheConfiguredServer)
{
    platform::ShellScript shell;
    Form5->SpeedButton2->Click();
    ASSERT_EQ(shell.records().size(), 1u);
    EXPECT_EQ(shell.records()[0].url.toString().toStdString(), server.base() + "/Support/tazodalvinter.html");
}

} // namespace
