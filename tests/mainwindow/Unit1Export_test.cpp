// The main window's spreadsheet export and folder explorer through its file list's
// popup menu: the copy on disk byte for byte, the program started with its arguments,
// the failures that keep an earlier copy, the items disabled after every export, and
// the copy as the real office suite reads it with the options the export passes.

#include "acquisition/SpreadsheetCopy.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclDialogs.h"
#include "platform/vcl/VclShell.h"
#include "tests/support/FakePrograms.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"
#include "tests/support/WaitBreaker.h"
#include "tests/support/XServer.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QUrl>
#include <QXmlStreamReader>
#include <gtest/gtest.h>

#include <csignal>
#include <sys/stat.h>

namespace {

// The arguments of the spreadsheet program for a copy: the copy read through the
// copy's own import options.
QStringList calcArguments(const QString& copy)
{
    return {QStringLiteral("--infilter=") + QString::fromLatin1(acquisition::spreadsheetCopyImportFilter), copy};
}

class ExportFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms();
        // The browsed folder, made current by the folder list, has a blank in its name.
        folder = cwd.mkdir(QStringLiteral("dane pomiarowe"));
        Form1->DirectoryListBox1->SetDirectory(folder);
    }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    QString put(const QString& name, const QByteArray& bytes) const
    {
        return cwd.file(QStringLiteral("dane pomiarowe/") + name, bytes);
    }
    // The user's click on a file of the list, which enables both export items.
    void select(const QString& name) const
    {
        Form1->FileListBox1->Update();
        Form1->FileListBox1->SetFileName(name);
        ASSERT_EQ(Form1->FileListBox1->FileName(), folder + "/" + name);
        Form1->MSExel1->setEnabled(true);
        Form1->OpenOffice1->setEnabled(true);
    }
    std::string bytesOf(const QString& path) const
    {
        return testsupport::readBytes(QFile::encodeName(path).toStdString());
    }
    void expectItemsDisabled() const
    {
        EXPECT_FALSE(Form1->MSExel1->isEnabled());
        EXPECT_FALSE(Form1->OpenOffice1->isEnabled());
    }

    testsupport::TempCwd cwd;
    QString folder;
    platform::MessageScript boxes;
};

class Export : public ExportFixture {
protected:
    testsupport::FakePrograms programs{{QStringLiteral("localc"), QStringLiteral("xdg-open")}};
    platform::ShellScript shell;
};

// With the office suite that PATH really holds.
class ExportIntoCalc : public ExportFixture {
protected:
    platform::ShellScript shell;
};

// The program really started, and watched for a short while.
class ExportStartsTheProgram : public ExportFixture {
protected:
    void SetUp() override
    {
        ExportFixture::SetUp();
        platform::startFailureWindowMs = 600;
    }
    void TearDown() override
    {
        platform::startFailureWindowMs = window_;
        ExportFixture::TearDown();
    }

private:
    const int window_ = platform::startFailureWindowMs;
};

} // namespace

TEST_F(Export, ADanFileIsCopiedByteForByteAndCalcOpensTheCopy)
{
    EXPECT_FALSE(Form1->MSExel1->isEnabled()) << "disabled in the form";
    EXPECT_FALSE(Form1->OpenOffice1->isEnabled());
    const QString data =
        put(QStringLiteral("P 20220301.dan"), "DataTime  k1 k2\r\n2022-03-01  12:00:05   21.46  -3.2 .5\r\n");
    const QString copy = folder + QStringLiteral("/P 20220301.dan.txt");
    const std::string header = "&Plik:\t" + QFile::encodeName(data).toStdString() + "\n";

    select(QStringLiteral("P 20220301.dan"));
    // Another list read since has made its own folder current: the copy still goes
    // beside the data file.
    QDir::setCurrent(cwd.path());
    Form1->MSExel1->trigger();
    EXPECT_EQ(bytesOf(copy), header + "DataTime\tk1\tk2\n2022-03-01\t12:00:05\t21,46\t-3,2\t.5\n");
    EXPECT_FALSE(QFile::exists(cwd.path() + QStringLiteral("/P 20220301.dan.txt")));
    ASSERT_EQ(shell.records().size(), 1u);
    EXPECT_EQ(shell.records()[0].program, programs.path(QStringLiteral("localc")));
    EXPECT_EQ(shell.records()[0].arguments, calcArguments(copy)) << "the copy is one argument, blanks and all";
    expectItemsDisabled();
    EXPECT_TRUE(Form1->FileListBox1->Items().contains(QStringLiteral("P 20220301.dan.txt")))
        << "the list was read again";
    Form1->OpenOffice1->trigger();
    EXPECT_EQ(shell.records().size(), 1u) << "one click on a file allows one export";

    // A second export of the changed file replaces the copy.
    put(QStringLiteral("P 20220301.dan"), "1.5  2.25\r\n");
    select(QStringLiteral("P 20220301.dan"));
    Form1->OpenOffice1->trigger();
    EXPECT_EQ(bytesOf(copy), header + "1,5\t2,25\n");
    ASSERT_EQ(shell.records().size(), 2u);
    EXPECT_EQ(shell.records()[1].arguments, calcArguments(copy));
    expectItemsDisabled();
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(Export, OtherFilesGoToTheProgramAsTheyAre)
{
    for (const char* name : {"P 2022.DAN", "pomiary 1.txt"}) {
        SCOPED_TRACE(name);
        const QString data = put(QString::fromLatin1(name), "1.5  2.25\r\n");
        select(QString::fromLatin1(name));
        const std::size_t before = shell.records().size();
        Form1->MSExel1->trigger();
        ASSERT_EQ(shell.records().size(), before + 1);
        EXPECT_EQ(shell.records().back().program, programs.path(QStringLiteral("localc")));
        EXPECT_EQ(shell.records().back().arguments, QStringList{data});
        EXPECT_FALSE(QFile::exists(data + QStringLiteral(".txt"))) << "no copy";
        expectItemsDisabled();
    }
}

TEST_F(Export, AnUnreadableDataFileKeepsTheEarlierCopyAndStartsNothing)
{
    const QString data = put(QStringLiteral("P.dan"), "1.5\r\n");
    select(QStringLiteral("P.dan"));
    Form1->MSExel1->trigger();
    const std::string earlier = bytesOf(folder + QStringLiteral("/P.dan.txt"));
    ASSERT_FALSE(earlier.empty());

    // The file goes while it is still selected in the list.
    select(QStringLiteral("P.dan"));
    ASSERT_TRUE(QFile::remove(data));
    Form1->MSExel1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Błąd otwarcia pliku.."));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd..."));
    EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK));
    EXPECT_EQ(bytesOf(folder + QStringLiteral("/P.dan.txt")), earlier) << "the earlier copy is not emptied";
    EXPECT_EQ(shell.records().size(), 1u) << "nothing is started";
    expectItemsDisabled();
    EXPECT_FALSE(Form1->FileListBox1->Items().contains(QStringLiteral("P.dan"))) << "the list was read again";
}

// The selected data file was replaced by a FIFO: the export neither waits for a writer
// nor writes a copy, it says the file cannot be opened.
TEST_F(Export, ADataFileThatBecameAFifoIsRefusedAtOnce)
{
    const QString data = put(QStringLiteral("P.dan"), "1.5\r\n");
    select(QStringLiteral("P.dan"));
    ASSERT_TRUE(QFile::remove(data));
    const std::string fifo = QFile::encodeName(data).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    testsupport::WaitBreaker breaker([&] { testsupport::VisitFifo(fifo); });
    QElapsedTimer took;
    took.start();
    Form1->MSExel1->trigger();
    EXPECT_LT(took.elapsed(), 2000) << "the export waited on the FIFO";
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Błąd otwarcia pliku.."));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd..."));
    EXPECT_FALSE(QFile::exists(folder + QStringLiteral("/P.dan.txt"))) << "no copy is written";
    EXPECT_TRUE(shell.records().empty()) << "nothing is started";
    expectItemsDisabled();
}

TEST_F(Export, ACopyThatCannotBeWrittenIsReported)
{
    put(QStringLiteral("P.dan"), "1.5\r\n");
    // Something that is no file holds the copy's name.
    cwd.mkdir(QStringLiteral("dane pomiarowe/P.dan.txt"));
    select(QStringLiteral("P.dan"));
    Form1->OpenOffice1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Błąd, Zmień nazwę lub zamknij plik Arkusza kalkulacyjnego"));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd..."));
    EXPECT_TRUE(shell.records().empty());
    expectItemsDisabled();
    EXPECT_EQ(QDir(folder).entryList(QDir::Files), QStringList{QStringLiteral("P.dan")}) << "no temporary file is left";
}

TEST_F(Export, TheCopyNeverReplacesTheOpenDataFile)
{
    // "P.dan.txt" was opened as the data file; exporting "P.dan" would write its copy there.
    const QString opened = put(QStringLiteral("P.dan.txt"), "otwarty 1.5\r\n");
    put(QStringLiteral("P.dan"), "1.5\r\n");
    Form1->openDataFile(opened);
    boxes.clear();
    select(QStringLiteral("P.dan"));
    Form1->OpenOffice1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Błąd, Zmień nazwę lub zamknij plik Arkusza kalkulacyjnego"));
    EXPECT_EQ(bytesOf(opened), "otwarty 1.5\r\n");
    EXPECT_TRUE(shell.records().empty());
    expectItemsDisabled();
}

TEST_F(Export, TheExplorerOpensTheBrowsedFolderOrSaysItCannot)
{
    Form1->MSEksplorer1->trigger();
    ASSERT_EQ(shell.records().size(), 1u);
    EXPECT_EQ(shell.records()[0].operation, QStringLiteral("explore"));
    EXPECT_EQ(shell.records()[0].program, programs.path(QStringLiteral("xdg-open")));
    EXPECT_EQ(shell.records()[0].arguments, QStringList{folder});
    EXPECT_TRUE(boxes.records().empty());

    shell.answer(false);
    Form1->MSEksplorer1->trigger();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Dostęp zabroniony!"));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
    EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK));
}

// Where no spreadsheet program opens the document, the user is told so in a box that
// names the file to open by hand: when there is none to start, at once; when the one
// started ends with an error at once, when it has. Where one opens it, nothing is said.
TEST_F(ExportStartsTheProgram, NoProgramThatOpensTheDocumentIsTold)
{
    const QString copy = folder + QStringLiteral("/P.dan.txt");
    const QString text = put(QStringLiteral("pomiary.txt"), "1.5\r\n");
    put(QStringLiteral("P.dan"), "1.5\r\n");
    struct Case {
        const char* what;
        QStringList onPath;
        int exitCode;
        const char* file;
        QString document; // named in the box; empty: no box
    } cases[] = {
        {"Calc ends with an error at once", {"localc", "xdg-open"}, 1, "P.dan", copy},
        {"the opener finds no program", {"xdg-open"}, 3, "pomiary.txt", text},
        {"nothing to start", {}, 0, "P.dan", copy},
        {"Calc opens the copy", {"localc"}, 0, "P.dan", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        boxes.clear();
        testsupport::FakePrograms programs(c.onPath, 0, c.exitCode);
        select(QString::fromLatin1(c.file));
        Form1->OpenOffice1->trigger();
        expectItemsDisabled();
        if (!c.onPath.isEmpty()) {
            ASSERT_TRUE(programs.waitForRun(c.onPath[0]).has_value()) << "nothing was started";
        }
        if (c.document.isEmpty()) {
            EXPECT_FALSE(testsupport::WaitUntil([&] { return !boxes.records().empty(); }, 1000));
            continue;
        }
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !boxes.records().empty(); }, 5000)) << "nothing was said";
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Błąd"));
        EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Nie można uruchomić arkusza kalkulacyjnego.\n"
                                                          "Plik %1 można otworzyć samodzielnie.")
                                               .arg(c.document));
        EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK | platform::MB_ICONERROR));
    }
}

namespace {

struct Cell {
    QString type;  // office:value-type: "string", "float", "date", ...
    QString value; // office:value of a number
    QString text;  // the shown text
};

// The cells of the first sheet of a flat spreadsheet file, row by row; empty cells at
// the end of a row are left out.
std::vector<std::vector<Cell>> sheetRows(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    std::vector<std::vector<Cell>> rows;
    QXmlStreamReader xml(&file);
    int repeat = 0;
    bool inText = false;
    while (!xml.atEnd()) {
        xml.readNext();
        const QStringView name = xml.name();
        if (name == QLatin1String("p"))
            inText = xml.isStartElement();
        if (xml.isStartElement() && name == QLatin1String("table-row")) {
            rows.emplace_back();
        } else if (xml.isStartElement() && name == QLatin1String("table-cell") && !rows.empty()) {
            const QXmlStreamAttributes a = xml.attributes();
            repeat = std::max(1, a.value(QLatin1String("table:number-columns-repeated")).toInt());
            rows.back().push_back({a.value(QLatin1String("office:value-type")).toString(),
                                   a.value(QLatin1String("office:value")).toString(),
                                   {}});
        } else if (xml.isCharacters() && inText && !rows.empty() && !rows.back().empty()) {
            rows.back().back().text += xml.text();
        } else if (xml.isEndElement() && name == QLatin1String("table-cell") && !rows.empty()) {
            const Cell cell = rows.back().back();
            for (int i = 1; i < repeat && !cell.type.isEmpty(); ++i)
                rows.back().push_back(cell);
        } else if (xml.isEndElement() && name == QLatin1String("table")) {
            break;
        }
    }
    for (auto& row : rows)
        while (!row.empty() && row.back().type.isEmpty())
            row.pop_back();
    return rows;
}

} // namespace

// The office suite started as the export starts it, the same program with the same
// arguments, only headless and converting the copy into a flat spreadsheet file: the
// decimal commas are numbers and the Polish letters of the path and the header whole.
TEST_F(ExportIntoCalc, CalcReadsDecimalCommasAsNumbersAndPolishLettersWhole)
{
    if (QStandardPaths::findExecutable(QStringLiteral("localc")).isEmpty() &&
        QStandardPaths::findExecutable(QStringLiteral("libreoffice")).isEmpty())
        GTEST_SKIP() << "LibreOffice Calc is not installed (Debian package libreoffice-calc, "
                        "which `make test` installs)";
    const QString polish = cwd.mkdir(QStringLiteral("pomiary łódź"));
    Form1->DirectoryListBox1->SetDirectory(polish);
    // The data file's own text is 8-bit: "Temperatura żółć" in code page 1250.
    const QString data = cwd.file(QStringLiteral("pomiary łódź/pięć.dan"),
                                  "Temperatura \xBF\xF3\xB3\xE6  k2\r\n2022-03-01  12:00:05  1.5  2.25\r\n"
                                  "2022-03-01  12:00:06  -3.2  10\r\n");
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(QStringLiteral("pięć.dan"));
    Form1->OpenOffice1->setEnabled(true);
    Form1->OpenOffice1->trigger();
    ASSERT_EQ(shell.records().size(), 1u);
    const platform::ShellRequest request = shell.records()[0];
    ASSERT_FALSE(request.program.isEmpty());

    QTemporaryDir profile, out;
    QProcess office;
    office.setProcessChannelMode(QProcess::MergedChannels);
    office.start(request.program,
                 QStringList{QStringLiteral("-env:UserInstallation=") + QUrl::fromLocalFile(profile.path()).toString(),
                             QStringLiteral("--headless"), QStringLiteral("--convert-to"), QStringLiteral("fods"),
                             QStringLiteral("--outdir"), out.path()} +
                     request.arguments);
    ASSERT_TRUE(office.waitForFinished(100000)) << "the conversion did not end";
    const QString output = QString::fromLocal8Bit(office.readAll());
    const QStringList converted = QDir(out.path()).entryList({QStringLiteral("*.fods")});
    ASSERT_EQ(converted.size(), 1) << output.toStdString();

    const auto rows = sheetRows(out.path() + QLatin1Char('/') + converted[0]);
    ASSERT_EQ(rows.size(), 4u) << output.toStdString();
    ASSERT_EQ(rows[0].size(), 2u);
    EXPECT_EQ(rows[0][0].text, QStringLiteral("&Plik:"));
    EXPECT_EQ(rows[0][1].text, data);
    ASSERT_EQ(rows[1].size(), 3u);
    EXPECT_EQ(rows[1][0].text, QStringLiteral("Temperatura"));
    EXPECT_EQ(rows[1][1].text, QStringLiteral("żółć"));
    EXPECT_EQ(rows[1][2].text, QStringLiteral("k2"));
    const struct {
        std::size_t row;
        const char* first;
        const char* second;
    } numbers[] = {{2, "1.5", "2.25"}, {3, "-3.2", "10"}};
    for (const auto& n : numbers) {
        SCOPED_TRACE(n.row);
        ASSERT_EQ(rows[n.row].size(), 4u) << "one cell per column";
        EXPECT_EQ(rows[n.row][2].type, QStringLiteral("float"));
        EXPECT_EQ(rows[n.row][2].value, QString::fromLatin1(n.first));
        EXPECT_EQ(rows[n.row][3].type, QStringLiteral("float"));
        EXPECT_EQ(rows[n.row][3].value, QString::fromLatin1(n.second));
    }
}

// "OpenOffice" as the user meets it, on a display: the office suite that is installed
// opens a window on the copy.
TEST_F(ExportStartsTheProgram, CalcOpensAWindowOnTheCopy)
{
    if (QStandardPaths::findExecutable(QStringLiteral("localc")).isEmpty() &&
        QStandardPaths::findExecutable(QStringLiteral("libreoffice")).isEmpty())
        GTEST_SKIP() << "LibreOffice Calc is not installed (Debian package libreoffice-calc, "
                        "which `make test` installs)";
    testsupport::XServer x;
    ASSERT_TRUE(x.running()) << x.error().toStdString();
    // Calc gets this program's environment: the test's display, and a home of the test's
    // own for the office suite's profile.
    const QByteArray display = qgetenv("DISPLAY"), home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] {
        qputenv("DISPLAY", display);
        qputenv("HOME", home);
    });
    qputenv("DISPLAY", x.display().toLocal8Bit());
    qputenv("HOME", QFile::encodeName(cwd.mkdir(QStringLiteral("home"))));

    put(QStringLiteral("P 2022.dan"), "DataTime  k1\r\n2022-03-01  12:00:05  1.5\r\n");
    select(QStringLiteral("P 2022.dan"));
    Form1->OpenOffice1->trigger();
    // A first start makes the profile and takes its time; an office suite that cannot
    // show a window ends at once, and the export says so.
    QString window;
    testsupport::WaitUntil(
        [&] {
            window = x.windows(0, QStringLiteral("^P 2022\\.dan\\.txt")).value(0);
            return !window.isEmpty() || !boxes.records().empty();
        },
        40000);
    ASSERT_FALSE(window.isEmpty()) << "no window on the copy; "
                                   << (boxes.records().empty() ? "nothing was said"
                                                               : boxes.records()[0].text.toStdString());
    const qint64 calc = x.pid(window);
    ASSERT_GT(calc, 0);
    ::kill(pid_t(calc), SIGTERM);
    EXPECT_TRUE(testsupport::WaitUntil([&] { return ::kill(pid_t(calc), 0) != 0; }, 10000)) << "Calc did not end";
    EXPECT_TRUE(boxes.records().empty());
}
