// The shell opener's programs: which program starts with which arguments for the
// spreadsheet programs (with and without an import filter), documents and folders,
// chosen by what PATH holds; a real start that hands a path with blanks and a filter
// with blanks over as one argument each and does not wait.

#include "platform/vcl/VclShell.h"
#include "tests/support/FakePrograms.h"
#include "tests/support/QtTestApp.h"

#include <QElapsedTimer>
#include <QFile>
#include <QScopeGuard>
#include <gtest/gtest.h>

using testsupport::FakePrograms;

TEST(VclShellPrograms, TheSpreadsheetIsCalcElseTheDesktopsOpener)
{
    testsupport::TempCwd tmp;
    const QString document = tmp.file(QStringLiteral("Nowy folder/P 2022.dan.txt"), "x");
    // Blanks and commas inside the filter's one argument stay as they are.
    const QString filter = QStringLiteral("Text - txt - csv (StarCalc):9,34,33,1,,1045");
    const QString infilter = QStringLiteral("--infilter=") + filter;
    struct Case {
        QStringList onPath;
        const char* program; // empty: the desktop services
        QStringList arguments;
        QStringList withFilter; // the arguments when an import filter is asked for
    } cases[] = {
        {{"localc", "libreoffice", "xdg-open"}, "localc", {document}, {infilter, document}},
        {{"libreoffice", "xdg-open"}, "libreoffice", {"--calc", document}, {"--calc", infilter, document}},
        {{"xdg-open"}, "xdg-open", {document}, {document}},
        {{}, "", {}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.onPath.join(' ').toStdString());
        FakePrograms programs(c.onPath);
        for (const char* spreadsheet : {"Excel.exe", "scalc.exe"}) {
            for (const bool filtered : {false, true}) {
                platform::ShellScript shell;
                // The document is one parameter, blanks and all; the working folder is not asked for.
                EXPECT_TRUE(platform::ShellExecute(QStringLiteral("open"), QString::fromLatin1(spreadsheet), document,
                                                   {}, filtered ? filter : QString()));
                ASSERT_EQ(shell.records().size(), 1u);
                const platform::ShellRequest& r = shell.records()[0];
                EXPECT_EQ(r.program, *c.program ? programs.path(QString::fromLatin1(c.program)) : QString());
                EXPECT_EQ(r.arguments, filtered ? c.withFilter : c.arguments);
                EXPECT_EQ(r.url, QUrl::fromLocalFile(document));
            }
        }
    }
}

TEST(VclShellPrograms, DocumentsFoldersAndPagesGoToTheDesktopsOpener)
{
    testsupport::TempCwd tmp;
    FakePrograms programs({QStringLiteral("localc"), QStringLiteral("xdg-open")});
    const QString folder = tmp.mkdir(QStringLiteral("Okno 1"));
    struct Case {
        const char* operation;
        QString file;
        QString directory;
        bool ok;
        QStringList arguments; // of xdg-open; none when nothing starts
    } cases[] = {
        {"explore", folder, {}, true, {folder}},
        {"explore", QStringLiteral("Okno 1"), {}, true, {folder}},
        {"explore", tmp.path() + QStringLiteral("/gone"), {}, false, {}},
        {"explore", tmp.file(QStringLiteral("plik.dan")), {}, false, {}},
        {"open", QStringLiteral("pomoc.pdf"), folder, true, {folder + QStringLiteral("/pomoc.pdf")}},
        {"open", QStringLiteral("https://example.org/Support/"), {}, true, {"https://example.org/Support/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file.toStdString());
        platform::ShellScript shell;
        EXPECT_EQ(platform::ShellExecute(QString::fromLatin1(c.operation), c.file, {}, c.directory), c.ok);
        ASSERT_EQ(shell.records().size(), 1u);
        EXPECT_EQ(shell.records()[0].program, c.arguments.isEmpty() ? QString() : programs.path("xdg-open"));
        EXPECT_EQ(shell.records()[0].arguments, c.arguments);
    }
}

TEST(VclShellPrograms, AStartedProgramGetsThePathAsOneArgumentAndIsNotWaitedFor)
{
    testsupport::TempCwd tmp;
    // The program takes its time before it answers; the start does not wait for it.
    FakePrograms programs({QStringLiteral("localc")}, 700);
    const QString document = tmp.file(QStringLiteral("dane pomiarowe/P 2022 03.dan.txt"), "x");
    QElapsedTimer clock;
    clock.start();
    const QString filter = QStringLiteral("Text - txt - csv (StarCalc):9,34,33,1,,1045");
    ASSERT_TRUE(platform::ShellExecute(QStringLiteral("open"), QStringLiteral("scalc.exe"), document, {}, filter));
    EXPECT_LT(clock.elapsed(), 500);
    EXPECT_FALSE(programs.waitForRun(QStringLiteral("localc"), 0).has_value());
    const auto arguments = programs.waitForRun(QStringLiteral("localc"));
    ASSERT_TRUE(arguments.has_value()) << "the program was not started";
    EXPECT_EQ(*arguments, QStringList({QStringLiteral("--infilter=") + filter, document}));
}

// A started program is watched for a while: when it ends with an error in that time it
// did not open the document, and that is told once, later; a program that ends well, or
// still runs when the watch ends, opened it. A program that cannot be started at all is
// refused at once and told nothing later.
TEST(VclShellPrograms, AProgramThatFailsAtOnceIsToldLater)
{
    testsupport::TempCwd tmp;
    const QString document = tmp.file(QStringLiteral("P 2022.dan.txt"), "x");
    const int window = platform::startFailureWindowMs;
    const auto restore = qScopeGuard([window] { platform::startFailureWindowMs = window; });
    platform::startFailureWindowMs = 600;
    struct Case {
        const char* what;
        int delayMs, exitCode;
        bool opened;
    } cases[] = {
        {"ends with an error at once", 0, 1, false},
        {"ends well at once", 0, 0, true},
        {"ends with an error after the watch", 1500, 3, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        FakePrograms programs({QStringLiteral("localc")}, c.delayMs, c.exitCode);
        std::vector<bool> told;
        ASSERT_TRUE(platform::ShellExecute(QStringLiteral("open"), QStringLiteral("scalc.exe"), document, {}, {},
                                           [&](bool opened) { told.push_back(opened); }));
        EXPECT_TRUE(told.empty()) << "the start waited for the program";
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !told.empty(); }, 5000)) << "the watch never ended";
        EXPECT_EQ(told, std::vector<bool>{c.opened});
        ASSERT_TRUE(programs.waitForRun(QStringLiteral("localc")).has_value());
        EXPECT_FALSE(testsupport::WaitUntil([&] { return told.size() > 1; }, 300)) << "told twice";
    }

    FakePrograms programs({QStringLiteral("localc")});
    QFile broken(programs.path(QStringLiteral("localc")));
    ASSERT_TRUE(broken.open(QIODevice::WriteOnly | QIODevice::Truncate));
    broken.write("#!/nonexistent/interpreter\n");
    broken.close();
    bool told = false;
    EXPECT_FALSE(platform::ShellExecute(QStringLiteral("open"), QStringLiteral("scalc.exe"), document, {}, {},
                                        [&](bool) { told = true; }));
    EXPECT_FALSE(testsupport::WaitUntil([&] { return told; }, 300));
}
