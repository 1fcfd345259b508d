// The viewer's about box: its contents, and the version check, the program download and
// the description download against a local server: the captions they end with, the
// question they ask, and every local file's bytes and permissions afterwards. Also the
// real viewer, started as "./Dalvinter" from its folder, replacing itself.

#include "tests/viewer/ViewerForms.h"

#include "platform/links/UrlDownload.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclShell.h"
#include "tests/support/FileBytes.h"
#include "tests/support/FormDump.h"
#include "tests/support/HttpServer.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/RunningProgram.h"
#include "tests/support/XServer.h"

#include <QPixmap>
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <optional>
#include <sys/stat.h>

namespace {

using testsupport::HttpServer;

using testsupport::FileState;

FileState stateOf(const QString& path) { return testsupport::fileState(path.toStdString()); }

FileState file(const std::string& bytes, unsigned mode) { return std::make_pair(bytes, mode); }

const char* const localFiles[] = {"Dalvinter", "Dalvinter.bak", "mhelp.pdf", "mhelp.bak", "newver.txt"};
const std::string notePath = "/client/Dalvinter/newver.txt";
const std::string programPath = "/client/Dalvinter/Dalvinter.ex_";
const std::string descriptionPath = "/client/Dalvinter/mhelp.pd_";

const QString question = QString::fromLatin1("Software download finished, OK!..\n\n\r"
                                             "Now you can download new program description.\n\r"
                                             "File is '*.pdf' format. You mast have 'Adobe Reader'\n\r"
                                             "Download ?.");

class AboutBox : public ::testing::Test {
protected:
    void SetUp() override
    {
        ::umask(022);
        setServer(server.base());
        put("dalvnow.dan", "DataTime k1\r\n", 0644);
        // A server that stops answering fails the step within a second here, and one
        // that sends a byte now and then within a second or two.
        platform::UrlDownload::stallTimeoutMs = 1000;
        platform::UrlDownload::noteTimeLimitMs = 800;
        platform::UrlDownload::fileTimeLimitMs = 2000;
        testsupport::CreateViewerForms();
    }
    void TearDown() override
    {
        testsupport::DestroyViewerForms();
        qunsetenv("DALVINTER_SERVER");
        platform::UrlDownload::stallTimeoutMs = 30000;
        platform::UrlDownload::noteTimeLimitMs = noteTimeLimit_;
        platform::UrlDownload::fileTimeLimitMs = fileTimeLimit_;
    }

    static void setServer(const std::string& base) { qputenv("DALVINTER_SERVER", QByteArray::fromStdString(base)); }
    std::map<std::string, FileState> files() const
    {
        return testsupport::fileStates(cwd.path().toStdString(), localFiles);
    }
    void put(const std::string& name, const std::string& bytes, unsigned mode)
    {
        testsupport::writeFile(cwd.path().toStdString() + '/' + name, bytes, mode);
    }
    // The files a user has before the update: the running program with its backup and
    // the description with its backup.
    void putInstalledFiles()
    {
        put("Dalvinter", "running program", 0755);
        put("Dalvinter.bak", "older program", 0755);
        put("mhelp.pdf", "%PDF description", 0644);
        put("mhelp.bak", "%PDF older description", 0644);
    }
    // Clicks from code and waits until the button's caption leaves its waiting text.
    void clickAndWait(vcl::TButton* button, const QString& waiting)
    {
        button->Click();
        EXPECT_EQ(button->Caption(), waiting) << "shown while the transfer runs";
        EXPECT_TRUE(testsupport::WaitUntil([&] { return button->Caption() != waiting; }));
    }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    vcl::DialogScript dialogs;
    platform::ShellScript shell;
    HttpServer server;

private:
    const int noteTimeLimit_ = platform::UrlDownload::noteTimeLimitMs;
    const int fileTimeLimit_ = platform::UrlDownload::fileTimeLimitMs;
};

TEST_F(AboutBox, ShowsNameVersionPictureAndTheTwoUpdateButtons)
{
    EXPECT_EQ(Form4->ClientWidth(), 331);
    EXPECT_EQ(Form4->ClientHeight(), 249);
    EXPECT_TRUE(Form4->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(Form4->Panel1->palette().color(QPalette::Window), vcl::ToQColor(vcl::clSilver));

    TForm4* f = Form4;
    const std::string dump = testsupport::ControlDump(f, {
                                                             {"Form4", f},
                                                             {"Panel1", f->Panel1},
                                                             {"Image1", f->Image1},
                                                             {"Label1", f->Label1},
                                                             {"Label3", f->Label3},
                                                             {"Label4", f->Label4},
                                                             {"Label5", f->Label5},
                                                             {"Label7", f->Label7},
                                                             {"Label6", f->Label6},
                                                             {"SpeedButton1", f->SpeedButton1},
                                                             {"SpeedButton3", f->SpeedButton3},
                                                             {"BitBtn1", f->BitBtn1},
                                                         });
    EXPECT_EQ(dump, "Form4 TForm4 caption=\"O programie\"\n"
                    "Panel1 TPanel in=Form4\n"
                    "Image1 QLabel in=Panel1 picture\n"
                    "Label1 TLabel in=Panel1 caption=\"VESK\"\n"
                    "Label3 TLabel in=Panel1 caption=\"Program\"\n"
                    "Label4 TLabel in=Panel1 caption=\"VESK Dalvinter\"\n"
                    "Label5 TLabel in=Panel1 caption=\"wer. \"\n"
                    "Label7 TLabel in=Panel1 caption=\" 2.5.1.18 \"\n"
                    "Label6 TLabel in=Panel1 caption=\"Program wizualizacji danych\"\n"
                    "SpeedButton1 TButton in=Panel1 caption=\"-> Sprawdź nową wersję programu?\" "
                    "hint=\"Sprawdź czy jest nowsza wersja programu.\"\n"
                    "SpeedButton3 TButton in=Panel1 caption=\" ->Pobierz nową wersję programu.\" "
                    "hint=\"Pobierz najnowszą wersję programu z internetu.\"\n"
                    "BitBtn1 TBitBtn in=Form4 caption=\"OK\" kind=OK\n");
    const struct {
        vcl::TLabel* label;
        vcl::TColor colour;
    } labels[] = {
        {Form4->Label1, vcl::clRed},   {Form4->Label3, vcl::clBlack}, {Form4->Label4, vcl::clRed},
        {Form4->Label5, vcl::clBlack}, {Form4->Label7, vcl::clBlack}, {Form4->Label6, vcl::clBlack},
    };
    for (const auto& l : labels) {
        SCOPED_TRACE(l.label->Caption().toStdString());
        EXPECT_EQ(l.label->FontColor(), l.colour);
    }
    EXPECT_TRUE(Form4->Label1->FontBold());
    EXPECT_FALSE(Form4->Image1->pixmap().isNull()) << "the stored picture decodes";
    for (vcl::TButton* b : {Form4->SpeedButton1, Form4->SpeedButton3}) {
        SCOPED_TRACE(b->Caption().toStdString());
        EXPECT_TRUE(b->isFlat());
        EXPECT_EQ(b->Width(), 200);
    }
}

TEST_F(AboutBox, OkClosesTheBoxAndTheCaptionsStay)
{
    server.answer(notePath, HttpServer::ok("2.5.2.0\r\n"));
    clickAndWait(Form4->SpeedButton1, QStringLiteral("  Wait !!"));
    vcl::ModalScript modal;
    modal.act([](vcl::TForm&) { Form4->BitBtn1->Click(); });
    EXPECT_EQ(Form4->ShowModal(), vcl::mrOk);
    EXPECT_FALSE(Form4->Visible());
    EXPECT_EQ(Form4->SpeedButton1->Caption(), QStringLiteral("2.5.2.0"));
}

const std::string longNote = "Dalvinter 2.5.2.0 z 2026-11-30: wczytywanie dopisywanych plikow";

TEST_F(AboutBox, VersionCheckShowsTheNotesFirstLineOrWhatFailed)
{
    const struct {
        const char* name;
        std::optional<HttpServer::Answer> answer; // nullopt: the server is down
        const char* caption;
        bool noteRead; // the note was downloaded and is gone
    } cases[] = {
        {"long note", HttpServer::ok(longNote + "\r\nsecond line\r\n"), "Dalvinter 2.5.2.0 z 2026-11-30: wczytyw",
         true},
        {"line of 39 and CR LF", HttpServer::ok(longNote.substr(0, 39) + "\r\n"),
         "Dalvinter 2.5.2.0 z 2026-11-30: wczytyw", true},
        {"8-bit text, LF", HttpServer::ok("Nowa wersja 2.5.2 \xb9\xea\x9c\nx"), "Nowa wersja 2.5.2 ąęś", true},
        {"empty note", HttpServer::ok(""), "", true},
        {"no note on the server", HttpServer::notFound(), "  Błąd pobierania", false},
        {"note cut short", HttpServer::cutShort(longNote, 10), "  Błąd pobierania", false},
        {"server down", std::nullopt, "  Błąd pobierania", false},
        {"3 GiB announced", HttpServer::streamed(std::uint64_t(3) << 30), "  Błąd pobierania", false},
        {"endless, no length", HttpServer::streamed(std::uint64_t(3) << 30, HttpServer::Length::undeclared),
         "  Błąd pobierania", false},
        {"no length", HttpServer::framed(HttpServer::Length::undeclared, "2.5.2.0\r\n"), "  Błąd pobierania", false},
        {"chunks", HttpServer::framed(HttpServer::Length::chunked, "2.5.2.0\r\n"), "  Błąd pobierania", false},
        {"no answer", HttpServer::silence(), "  Błąd pobierania", false},
        {"a byte every 200 ms", HttpServer::drip("2.5.2.0\r\n", 200), "  Błąd pobierania", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        putInstalledFiles();
        put("newver.txt", "left from an earlier check", 0644);
        auto expected = files();
        HttpServer s;
        if (c.answer)
            s.answer(notePath, *c.answer);
        setServer(c.answer ? s.base() : s.downBase());

        clickAndWait(Form4->SpeedButton1, QStringLiteral("  Wait !!"));
        EXPECT_EQ(Form4->SpeedButton1->Caption(), QString::fromUtf8(c.caption));
        if (c.noteRead)
            expected["newver.txt"] = std::nullopt;
        EXPECT_EQ(files(), expected);
        EXPECT_EQ(s.asked(), c.answer ? std::vector<std::string>{notePath} : std::vector<std::string>{});
        EXPECT_TRUE(boxes.records().empty());
    }
}

// What the server does with the program and the description, the answer to the
// question, and what the box and the files show afterwards.
struct DownloadCase {
    const char* name;
    std::function<std::string(HttpServer&)> serve; // returns the server base address to use
    std::optional<int> answer;                     // the question's answer; nullopt: no question
    const char* caption;
    bool programReplaced;
    bool descriptionReplaced;
};

const std::string newProgram(30000, 'P');
const std::string newDescription = "%PDF-1.4 new description";

HttpServer::Answer cutProgram() { return HttpServer::cutShort(newProgram, 20000); }

const DownloadCase downloadCases[] = {
    {"program, then No",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::ok(newProgram));
         return s.base();
     },
     platform::IDNO, "Download completed: OK!", true, false},
    {"program and description",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::ok(newProgram));
         s.answer(descriptionPath, HttpServer::ok(newDescription));
         return s.base();
     },
     platform::IDYES, "Download completed: OK!", true, true},
    {"program, description missing",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::ok(newProgram));
         return s.base();
     },
     platform::IDYES, "  Download error !.", true, false},
    {"program, description cut short",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::ok(newProgram));
         s.answer(descriptionPath, HttpServer::cutShort(newDescription, 5));
         return s.base();
     },
     platform::IDYES, "  Download error !.", true, false},
    {"program missing", [](HttpServer& s) { return s.base(); }, std::nullopt, "  Download error !.", false, false},
    {"program cut short",
     [](HttpServer& s) {
         s.answer(programPath, cutProgram());
         return s.base();
     },
     std::nullopt, "  Download error !.", false, false},
    {"server down", [](HttpServer& s) { return s.downBase(); }, std::nullopt, "  Download error !.", false, false},
    {"plain HTTP to another machine", [](HttpServer&) { return std::string("http://192.0.2.7"); }, std::nullopt,
     "  Download error !.", false, false},
    {"redirect to plain HTTP elsewhere",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::redirect("http://192.0.2.7/x"));
         return s.base();
     },
     std::nullopt, "  Download error !.", false, false},
    {"redirect on this machine",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::redirect(s.base() + "/mirror/Dalvinter.ex_"));
         s.answer("/mirror/Dalvinter.ex_", HttpServer::ok(newProgram));
         return s.base();
     },
     platform::IDNO, "Download completed: OK!", true, false},
    {"redirect to a server that never answers",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::redirect(s.base() + "/mirror/Dalvinter.ex_"));
         s.answer("/mirror/Dalvinter.ex_", HttpServer::silence());
         return s.base();
     },
     std::nullopt, "  Download error !.", false, false},
    {"program of 3 GiB announced",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::streamed(std::uint64_t(3) << 30));
         return s.base();
     },
     std::nullopt, "  Download error !.", false, false},
    {"program a byte every 200 ms",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::drip(newProgram, 200));
         return s.base();
     },
     std::nullopt, "  Download error !.", false, false},
    {"description a byte every 200 ms",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::ok(newProgram));
         s.answer(descriptionPath, HttpServer::drip(newDescription, 200));
         return s.base();
     },
     platform::IDYES, "  Download error !.", true, false},
    {"program without a length",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::framed(HttpServer::Length::undeclared, newProgram));
         return s.base();
     },
     std::nullopt, "  Download error !.", false, false},
    {"description without a length",
     [](HttpServer& s) {
         s.answer(programPath, HttpServer::ok(newProgram));
         s.answer(descriptionPath, HttpServer::framed(HttpServer::Length::undeclared, newDescription));
         return s.base();
     },
     platform::IDYES, "  Download error !.", true, false},
};

TEST_F(AboutBox, ProgramAndDescriptionReplaceTheOldOnesOnlyWhenComplete)
{
    for (const DownloadCase& c : downloadCases) {
        SCOPED_TRACE(c.name);
        putInstalledFiles();
        auto expected = files();
        HttpServer s;
        setServer(c.serve(s));
        boxes.clear();
        if (c.answer)
            boxes.answer(*c.answer);

        clickAndWait(Form4->SpeedButton3, QStringLiteral("  Wait!! "));
        EXPECT_EQ(Form4->SpeedButton3->Caption(), QString::fromUtf8(c.caption));
        if (c.answer) {
            ASSERT_EQ(boxes.records().size(), 1u);
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Warning!"));
            EXPECT_EQ(boxes.records()[0].text, question);
            EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_YESNO | platform::MB_SERVICE_NOTIFICATION));
        } else {
            EXPECT_TRUE(boxes.records().empty());
        }
        if (c.programReplaced) {
            expected["Dalvinter"] = file(newProgram, 0755);
            expected["Dalvinter.bak"] = file("running program", 0755);
        }
        if (c.descriptionReplaced) {
            expected["mhelp.pdf"] = file(newDescription, 0644);
            expected["mhelp.bak"] = file("%PDF description", 0644);
        }
        EXPECT_EQ(files(), expected);
        const bool askedDescription = c.answer == platform::IDYES;
        const auto asked = s.asked();
        EXPECT_EQ(std::count(asked.begin(), asked.end(), descriptionPath), askedDescription ? 1 : 0);
    }
}

TEST_F(AboutBox, ANewProgramIsExecutableAndAnOldBackupStaysWhenThereWasNoProgram)
{
    put("Dalvinter.bak", "older program", 0755);
    server.answer(programPath, HttpServer::ok(newProgram));
    boxes.answer(platform::IDNO);
    clickAndWait(Form4->SpeedButton3, QStringLiteral("  Wait!! "));
    EXPECT_EQ(Form4->SpeedButton3->Caption(), QStringLiteral("Download completed: OK!"));
    EXPECT_EQ(stateOf(cwd.path() + "/Dalvinter"), file(newProgram, 0755));
    EXPECT_EQ(stateOf(cwd.path() + "/Dalvinter.bak"), file("older program", 0755));
}

TEST_F(AboutBox, TheRunningViewerIsReplacedAndBecomesTheBackup)
{
    put("mhelp.pdf", "%PDF description", 0644);
    testsupport::RunningProgram running(cwd.path() + QStringLiteral("/Dalvinter"));
    ASSERT_TRUE(running.busy()) << "the viewer runs from its file";
    server.answer(programPath, HttpServer::ok(newProgram));
    boxes.answer(platform::IDNO);
    clickAndWait(Form4->SpeedButton3, QStringLiteral("  Wait!! "));
    EXPECT_EQ(Form4->SpeedButton3->Caption(), QStringLiteral("Download completed: OK!"));
    // Compared as a whole: a failure must not print a program's bytes.
    EXPECT_TRUE(stateOf(cwd.path() + "/Dalvinter") == file(newProgram, 0755)) << "the new program is in place";
    const FileState backup = stateOf(cwd.path() + "/Dalvinter.bak");
    ASSERT_TRUE(backup.has_value());
    EXPECT_TRUE(QByteArray::fromStdString(backup->first) == running.bytes()) << "the running program is the backup";
    EXPECT_EQ(backup->second, 0755u);
    EXPECT_TRUE(running.running());
}

TEST_F(AboutBox, TheStepsUseTheStartFolderWhateverFolderIsCurrent)
{
    putInstalledFiles();
    const QString elsewhere = cwd.mkdir(QStringLiteral("elsewhere"));
    server.answer(programPath, HttpServer::slow(newProgram));
    boxes.answer(platform::IDNO);
    Form4->SpeedButton3->Click();
    ASSERT_TRUE(server.waitForRequest(programPath));
    QDir::setCurrent(elsewhere); // the user opened a file in another folder meanwhile
    server.release();
    ASSERT_TRUE(testsupport::WaitUntil([] { return Form4->SpeedButton3->Caption() != QStringLiteral("  Wait!! "); }));
    EXPECT_EQ(stateOf(cwd.path() + "/Dalvinter"), file(newProgram, 0755));
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

TEST_F(AboutBox, AClickDuringATransferStartsNothing)
{
    putInstalledFiles();
    server.answer(programPath, HttpServer::slow(newProgram));
    server.answer(notePath, HttpServer::ok("2.5.2.0"));
    boxes.answer(platform::IDNO);
    Form4->SpeedButton3->Click();
    ASSERT_TRUE(server.waitForRequest(programPath));
    testsupport::ProcessPending();
    Form4->SpeedButton3->Click();
    Form4->SpeedButton1->Click();
    EXPECT_EQ(Form4->SpeedButton1->Caption(), QStringLiteral("-> Sprawdź nową wersję programu?"));
    EXPECT_EQ(Form4->SpeedButton3->Caption(), QStringLiteral("  Wait!! "));
    EXPECT_EQ(stateOf(cwd.path() + "/Dalvinter"), file("running program", 0755));
    server.release();
    ASSERT_TRUE(testsupport::WaitUntil([] { return Form4->SpeedButton3->Caption() != QStringLiteral("  Wait!! "); }));
    EXPECT_EQ(Form4->SpeedButton3->Caption(), QStringLiteral("Download completed: OK!"));
    EXPECT_EQ(server.requests(), std::vector<std::string>{programPath});
    EXPECT_EQ(boxes.records().size(), 1u);
}

// The real viewer, copied into a folder of its own and started there as "./Dalvinter",
// downloads its new program from the about box while it runs.
class RealViewerUpdate : public testsupport::RealProgramTest {
protected:
    void TearDown() override
    {
        RealProgramTest::TearDown();
        qunsetenv("DALVINTER_SERVER");
    }
    HttpServer server;
};

TEST_F(RealViewerUpdate, ReplacesItsOwnRunningFileAndTheNewProgramRunsAtTheNextStart)
{
#ifndef DALVINTER_EXECUTABLE
    GTEST_SKIP() << "the viewer is not built";
#else
    QFile built(QStringLiteral(DALVINTER_EXECUTABLE));
    ASSERT_TRUE(built.open(QIODevice::ReadOnly));
    const QByteArray viewer = built.readAll();
    const std::string folder = cwd.path().toStdString();
    testsupport::writeFile(folder + "/Dalvinter", viewer.toStdString(), 0755);
    cwd.file(QStringLiteral("pomiar.dan"), "DataTime k1\r\n2024-03-01 12:00:00 21.5\r\n");
    // The new program leaves a sign that it ran.
    const std::string next = "#!/bin/sh\necho started > next-start.txt\n";
    server.answer(programPath, HttpServer::ok(next));
    qputenv("DALVINTER_SERVER", QByteArray::fromStdString(server.base()));

    const QString window =
        startProgram(QStringLiteral("./Dalvinter"), {QStringLiteral("pomiar.dan")}, QStringLiteral("^VESK  Dalvinter"));
    ASSERT_FALSE(window.isEmpty()) << "no chart window";
    // "&Plik", then right to "&Pomoc", then "O &programie".
    ASSERT_TRUE(x.pressKeys(window, QStringLiteral("alt+p Right Right p")));
    const QString about = x.waitForWindow(program.processId(), QStringLiteral("^O programie$"));
    ASSERT_FALSE(about.isEmpty()) << "no about box";
    // " ->Pobierz nową wersję programu." in the middle of its 200-pixel button.
    ASSERT_TRUE(x.click(about, 8 + 57 + 100, 8 + 150 + 11));
    const QString question = x.waitForWindow(program.processId(), QStringLiteral("^Warning!$"), 10000);
    ASSERT_FALSE(question.isEmpty()) << "no question after the download: it failed";
    ASSERT_TRUE(x.pressKeys(question, QStringLiteral("Escape")));

    // Compared as a whole: a failure must not print the viewer's bytes.
    EXPECT_TRUE(testsupport::fileState(folder + "/Dalvinter") == file(next, 0755)) << "the new program is in place";
    const FileState backup = testsupport::fileState(folder + "/Dalvinter.bak");
    ASSERT_TRUE(backup.has_value());
    EXPECT_TRUE(QByteArray::fromStdString(backup->first) == viewer) << "the running viewer is the backup";
    EXPECT_EQ(program.state(), QProcess::Running) << "the viewer goes on from its old file";

    QProcess again;
    again.setWorkingDirectory(cwd.path());
    again.start(QStringLiteral("./Dalvinter"), {});
    ASSERT_TRUE(again.waitForFinished(5000));
    EXPECT_EQ(testsupport::readBytes(folder + "/next-start.txt"), "started\n");
#endif
}

} // namespace
