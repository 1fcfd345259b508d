// A measurement window's stored runs: the preview of a run recorded on the live road
// and of logs with and without their properties, the run name with its overwrite
// question, the spreadsheet export and the folder of the window's own list; and the
// two faults the preview must not cause: a run log written over, and previewed values
// recorded as samples by another window.

#include "acquisition/SpreadsheetCopy.h"
#include "dialogs/TextListFile.h"
#include "platform/vcl/VclShell.h"
#include "tests/support/FakePrograms.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtInput.h"
#include "tests/windows/WindowFixture.h"

#include <QApplication>
#include <QFileInfo>
#include <QStringEncoder>

using namespace windowtest;
using namespace std::chrono_literals;

namespace {

class StoredRuns : public WindowTest {
protected:
    QString stored(const QString& name, const QByteArray& bytes, int k = 0) const
    {
        const QString path = windowDir(k) + "/" + name;
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
        return path;
    }
    // The user opens the page "Pomiary" and acts on the file of that name in the list.
    static void showList(TForm6* w, const QString& name)
    {
        w->PageControl1->SetActivePageIndex(2);
        w->FileListBox1->Update();
        w->FileListBox1->SetFileName(name);
        ASSERT_GE(w->FileListBox1->ItemIndex(), 0) << name.toStdString();
    }
    static QPoint itemCentre(TForm6* w)
    {
        return w->FileListBox1->visualItemRect(w->FileListBox1->currentItem()).center();
    }
    static void doubleClick(TForm6* w, const QString& name)
    {
        showList(w, name);
        testsupport::MouseDoubleClick(w->FileListBox1->viewport(), itemCentre(w));
    }
    static void click(TForm6* w, const QString& name)
    {
        showList(w, name);
        testsupport::MouseClick(w->FileListBox1->viewport(), itemCentre(w));
    }
    template <class Memo>
    static QStringList lines(Memo* memo)
    {
        return vcl::Lines(memo).ToList();
    }
    static std::vector<double> points(TForm6* w)
    {
        std::vector<double> values;
        for (int i = 0; i < w->Chart1->Series(0).Count(); ++i)
            values.push_back(w->Chart1->Series(0).YValue(i));
        return values;
    }
    static std::vector<std::string> labels(TForm6* w)
    {
        std::vector<std::string> texts;
        for (int i = 0; i < w->Chart1->Series(0).Count(); ++i)
            texts.push_back(w->Chart1->Series(0).Label(i));
        return texts;
    }
    // A run recorded by hand-driven samples: item 1 active, values 21.4 and 21.5.
    TForm6* recordedRun(const QString& name)
    {
        TForm6* w = open(0);
        toggle(w, 0);
        start(w, name + QStringLiteral(".dan"));
        setValues({21.4f});
        sample(w, 1000);
        setValues({21.5f});
        sample(w, 1000);
        w->BitBtn1->Click(); // STOP
        return w;
    }
};

// The window's run recorded from a data logger on a pseudo-terminal.
class StoredRunsOnTheRoad : public StoredRuns {
protected:
    void SetUp() override
    {
        StoredRuns::SetUp();
        Form2->NumerCom->SetText(QString::fromStdString(device.path()));
        Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    }
    testsupport::PtyDevice device;
};

} // namespace

TEST_F(StoredRunsOnTheRoad, ARecordedRunIsPreviewedAsItsFirstItemWithItsProperties)
{
    device.answer("?DAT &", "");
    TForm6* w = open(0);
    toggle(w, 1);
    toggle(w, 4);
    Form1->settings.windows[0].seriesColours[0] = vcl::clTeal;
    start(w, QStringLiteral("rig1.dan"));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    const char* sent[] = {
        "2024-03-01 10:00:01 1.0 21.4 3.0 4.0 19.8",
        "2024-03-01 10:00:02 1.1 21.6 3.1 4.1 -3.5",
        "2024-03-01 10:00:03 1.2 21.5 3.2 4.2 19.9",
    };
    for (const char* line : sent) {
        const int before = Form1->lineCounter;
        device.send(std::string(line) + "\r\n");
        ASSERT_TRUE(testsupport::WaitUntil([&] { return Form1->lineCounter == before + 1; }));
        advance(1000);
        w->Timer1Timer(w->Timer1);
    }
    w->BitBtn1->Click(); // STOP
    w->BitBtn1->Click(); // "Nowy pomiar": the window is empty again
    ASSERT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
    const QStringList log = {"00:00:01  21.4 19.8", "00:00:02  21.6 -3.5", "00:00:03  21.5 19.9"};
    ASSERT_EQ(readFile(windowDir() + "/rig1.dan"),
              crlfLines({log[0].toStdString(), log[1].toStdString(), log[2].toStdString()}));
    const Linia1MG live = Form1->parsedLine;

    doubleClick(w, QStringLiteral("rig1.dan"));
    EXPECT_EQ(lines(w->Memo1), log);
    EXPECT_EQ(lines(w->Memo3), QStringList({"rig1", "2024-03-01 10:00", "2024-03-01 10:00", "-3.5", "21.6", "", "", "",
                                            "rig1.dan", platform::cp1250ToUnicode(workDir), "."}));
    // Item 2 goes to the first series with the first colour, labelled with the elapsed times.
    EXPECT_EQ(points(w), (std::vector<double>{double(21.4f), double(21.6f), double(21.5f)}));
    EXPECT_EQ(labels(w), (std::vector<std::string>{"00:00:01", "00:00:02", "00:00:03"}));
    EXPECT_EQ(w->Chart1->Series(0).ValueColor(0), vcl::clTeal);
    EXPECT_TRUE(w->Chart1->Series(0).Active());
    EXPECT_EQ(w->Chart1->Series(1).Count(), 0);
    EXPECT_EQ(w->PageControl1->ActivePageIndex(), 0);
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("Nowy pomiar"));
    EXPECT_EQ(w->BitBtn1->FontColor(), vcl::clBlack);
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  Podgląd pomiarów: rig1."));
    EXPECT_TRUE(w->StatusBar1->Visible());
    EXPECT_EQ(w->StatusBar1->FontColor(), vcl::clGreen);
    EXPECT_EQ(w->StatusBar1->Panels(1)->Text(), QStringLiteral(" Podgląd pomiarów: rig1."));
    EXPECT_EQ(w->windowName, "Okno1");
    EXPECT_EQ(acquisition::getText(Form1->settings.windows[0].measurementName), "rig1");
    // The main window's line still holds the live reading, names and all.
    EXPECT_EQ(Form1->parsedLine.values, live.values);
    EXPECT_EQ(Form1->parsedLine.names, live.names);
    EXPECT_EQ(Form1->parsedLine.timeText, live.timeText);
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(StoredRuns, ALogWithoutPropertiesIsPreviewedLineByStoredLine)
{
    TForm6* w = open(0);
    // A line recorded with no active item holds only the time; a line that the user
    // typed into the log cannot be read; a long line is one line, however wide.
    std::string wide = "00:00:05 ";
    for (int i = 0; i < 40; ++i)
        wide += " " + std::to_string(30 + i) + ".5";
    stored(QStringLiteral("solo.dan"),
           crlfLines({"00:00:01  21.4", "00:00:02 ", "00:00:03  22.5", "00:00:04  2.2.2", wide}));
    const auto namesBefore = Form1->parsedLine.names;

    doubleClick(w, QStringLiteral("solo.dan"));
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 5);
    EXPECT_EQ(lines(w->Memo3), QStringList{QStringLiteral("Nie odnaleziono pliku parametrów")});
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  Podgląd pomiarów: solo."));
    // The time-only line repeats what the line already held; the unreadable one adds nothing.
    EXPECT_EQ(points(w), (std::vector<double>{double(21.4f), double(21.4f), double(22.5f), 30.5}));
    EXPECT_EQ(labels(w), (std::vector<std::string>{"00:00:01", "00:00:01", "00:00:03", "00:00:05"}));
    EXPECT_EQ(Form1->parsedLine.names, namesBefore) << "the preview renames none of the main window's channels";
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Pominięto linie, których nie można odczytać: 1"));
    EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
    // A window without a run writes the previewed lines under no name of its own.
    w->Timer1Timer(w->Timer1);
    sample(w, 500);
    EXPECT_FALSE(QFile::exists(windowDir() + "/Okno1.dan"));

    // An empty log is previewed too: nothing to plot, the rest as always.
    boxes.clear();
    w->BitBtn1->Click();
    stored(QStringLiteral("pusty.dan"), QByteArray());
    doubleClick(w, QStringLiteral("pusty.dan"));
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 0);
    EXPECT_EQ(w->Chart1->Series(0).Count(), 0);
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  Podgląd pomiarów: pusty."));
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(StoredRuns, ADoubleClickWhileRecordingDoesNothing)
{
    TForm6* w = open(0);
    stored(QStringLiteral("inny.dan"), crlfLines({"00:00:01  555.5"}));
    toggle(w, 0);
    start(w, QStringLiteral("biezacy.dan"));
    boxes.clear(); // the serial port of the test is missing
    setValues({21.0f});
    sample(w, 1000);
    showList(w, QStringLiteral("inny.dan"));
    EXPECT_FALSE(w->FileListBox1->Enabled()) << "the list is disabled while recording";
    w->FileListBox1DblClick(w->FileListBox1);
    EXPECT_EQ(lines(w->Memo1), QStringList{QStringLiteral("00:00:01  21.0")});
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("STOP"));
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  biezacy"));
    EXPECT_EQ(w->PageControl1->ActivePageIndex(), 2);
    EXPECT_FALSE(w->StatusBar1->Visible());
    EXPECT_EQ(w->Chart1->Series(0).Count(), 1);
    EXPECT_TRUE(boxes.records().empty()) << boxTexts().join('|').toStdString();
}

TEST_F(StoredRuns, AFileThatIsNotThereIsReportedAndNothingChanges)
{
    TForm6* w = open(0);
    const QString gone = stored(QStringLiteral("znikniety.dan"), crlfLines({"00:00:01  5.0"}));
    for (const bool selected : {false, true}) {
        SCOPED_TRACE(selected);
        boxes.clear();
        if (selected) {
            showList(w, QStringLiteral("znikniety.dan"));
            ASSERT_TRUE(QFile::remove(gone));
        } else {
            w->FileListBox1->SetItemIndex(-1);
        }
        w->FileListBox1DblClick(w->FileListBox1);
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Nie odnaleziono pliku lub plik jest pusty !!"));
        EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
        EXPECT_EQ(boxes.records()[0].flags, unsigned(platform::MB_OK));
        EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
        EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  "));
        EXPECT_FALSE(w->StatusBar1->Visible());
        EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 0);
    }
}

TEST_F(StoredRuns, APreviewIsNeverWrittenOverARunLog)
{
    TForm6* w = recordedRun(QStringLiteral("pomiar1"));
    const QByteArray ownLog = readFile(windowDir() + "/pomiar1.dan");
    ASSERT_EQ(ownLog, crlfLines({"00:00:01  21.4", "00:00:02  21.5"}));
    const QByteArray other = crlfLines({"00:00:01  555.5", "00:00:02  556.5"});
    stored(QStringLiteral("inny.dan"), other);

    doubleClick(w, QStringLiteral("inny.dan"));
    sample(w, 500);
    sample(w, 500);
    EXPECT_EQ(readFile(windowDir() + "/pomiar1.dan"), ownLog) << "the last run's log keeps its own lines";
    EXPECT_EQ(readFile(windowDir() + "/inny.dan"), other);
    // A new run name while the preview is shown names no file for the previewed lines.
    w->PageControl1->SetActivePageIndex(2);
    w->LabeledEdit1->SetText(QStringLiteral("nowy"));
    w->LabeledEdit1Exit(w->LabeledEdit1);
    sample(w, 500);
    EXPECT_FALSE(QFile::exists(windowDir() + "/nowy.dan"));
    EXPECT_EQ(QDir(windowDir()).entryList({QStringLiteral("*.dan")}, QDir::Files),
              QStringList({QStringLiteral("inny.dan"), QStringLiteral("pomiar1.dan")}));

    // "Nowy pomiar" ends the preview: the window names its last log again, and the next
    // run writes its own.
    w->BitBtn1->Click();
    sample(w, 500);
    EXPECT_EQ(lines(w->Memo3).value(8), QStringLiteral("nowy.dan"));
    start(w, QStringLiteral("pomiar2.dan"));
    setValues({7.0f});
    sample(w, 1000);
    EXPECT_EQ(readFile(windowDir() + "/pomiar2.dan"), crlfLines({"00:00:01  7.0"}));
    EXPECT_EQ(readFile(windowDir() + "/pomiar1.dan"), ownLog);
}

TEST_F(StoredRuns, PreviewedValuesNeverReachARecordingWindow)
{
    Form1->settings.windowCount = 2;
    TForm6* recorder = open(0);
    TForm6* viewer = open(1);
    toggle(recorder, 0);
    toggle(recorder, 1);
    start(recorder, QStringLiteral("zywy.dan"));
    viewer->Timer1Timer(viewer->Timer1);
    stored(QStringLiteral("stary.dan"), crlfLines({"00:00:01  555.5 666.5", "DataTime  a b", "00:00:02  557.5 667.5"}),
           1);
    setValues({21.0f, 22.0f});
    const Linia1MG live = Form1->parsedLine;

    doubleClick(viewer, QStringLiteral("stary.dan"));
    ASSERT_EQ(viewer->Chart1->Series(0).Count(), 3);
    sample(recorder, 1000);
    EXPECT_EQ(readFile(windowDir(0) + "/zywy.dan"), crlfLines({"00:00:01  21.0 22.0"}));
    EXPECT_EQ(Form1->parsedLine.values, live.values);
    EXPECT_EQ(Form1->parsedLine.names, live.names);
    EXPECT_EQ(Form1->parsedLine.channelCount, live.channelCount);
    EXPECT_EQ(Form1->parsedLine.resetPending, live.resetPending);
}

TEST_F(StoredRuns, TheRunNameIsSetOnlyWhenNoFileIsInTheWayOrOverwritingIsConfirmed)
{
    TForm6* w = open(0);
    stored(QStringLiteral("stary.dan"), crlfLines({"00:00:01  1.0"}));
    acquisition::setText(Form1->settings.windows[0].measurementName, "poprzedni");
    const QString question = QStringLiteral("Plik o takiej nazwie istnieje.\n"
                                            "  Wciśnij OK aby usunąć stare pomiary i natpisać nowe.\n"
                                            "  Wciśnij 'Anuluj' aby zmienić nazwę pliku!!");
    struct Case {
        const char* typed;
        int answer;
        const char* box;     // the question, a refusal, or none
        const char* runName; // in the record afterwards
        const char* caption;
        int leaveTo = 2; // the page the user goes to; a refused name brings back page 2
    } cases[] = {
        {"nowy", platform::IDOK, nullptr, "nowy", "Okno1  nowy"},
        {"stary", platform::IDCANCEL, "question", "nowy", "Okno1  nowy"},
        {"stary", platform::IDCANCEL, "question", "nowy", "Okno1  nowy", 0},
        {"stary", platform::IDOK, "question", "stary", "Okno1  stary"},
        {"../poza", platform::IDOK, "refusal", "stary", "Okno1  stary"},
        {"a\\b", platform::IDOK, "refusal", "stary", "Okno1  stary"},
        {"..", platform::IDOK, "refusal", "stary", "Okno1  stary"},
        {"a..b", platform::IDOK, nullptr, "a..b", "Okno1  a..b"},
        {"", platform::IDOK, nullptr, "", "Okno1  "},
    };
    // The user leaves the name field for another control of the window.
    w->show();
    w->activateWindow();
    ASSERT_TRUE(testsupport::WaitUntil([&] { return w->isActiveWindow(); }));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        boxes.clear();
        questionAnswer = c.answer;
        w->PageControl1->SetActivePageIndex(2);
        w->LabeledEdit1->setFocus(Qt::MouseFocusReason);
        ASSERT_TRUE(testsupport::WaitUntil([&] { return w->LabeledEdit1->hasFocus(); }));
        w->LabeledEdit1->SetText(QString::fromUtf8(c.typed));
        if (c.leaveTo == 2)
            w->CheckBox1->setFocus(Qt::MouseFocusReason);
        else
            testsupport::MouseClick(w->PageControl1->tabBar(), w->PageControl1->tabBar()->tabRect(c.leaveTo).center());
        ASSERT_TRUE(testsupport::WaitUntil([&] { return !w->LabeledEdit1->hasFocus(); }));
        if (!c.box) {
            EXPECT_TRUE(boxes.records().empty());
        } else {
            ASSERT_EQ(boxes.records().size(), 1u);
            EXPECT_EQ(boxes.records()[0].title, QStringLiteral("Uwaga!"));
            if (std::string(c.box) == "question")
                EXPECT_EQ(boxes.records()[0].text, question);
            else
                EXPECT_TRUE(boxes.records()[0].text.endsWith(QStringLiteral("\n  Wybierz inną nazwę pliku!!")));
        }
        const bool refused = c.answer != platform::IDOK || (c.box && std::string(c.box) == "refusal");
        EXPECT_EQ(w->PageControl1->ActivePageIndex(), refused ? 2 : c.leaveTo);
        EXPECT_EQ(acquisition::getText(Form1->settings.windows[0].measurementName), c.runName);
        EXPECT_EQ(w->Caption(), QString::fromUtf8(c.caption));
        EXPECT_EQ(w->LabeledEdit1->Text(), QString::fromUtf8(c.typed)) << "the field keeps the typed text";
    }
    // No file was moved, made or removed.
    EXPECT_EQ(QDir(windowDir()).entryList(QDir::Files), QStringList{QStringLiteral("stary.dan")});
}

TEST_F(StoredRuns, TheListsPopupExportsAFileAndOpensTheFolder)
{
    testsupport::FakePrograms programs({QStringLiteral("localc"), QStringLiteral("xdg-open")});
    platform::ShellScript shell;
    TForm6* w = recordedRun(QStringLiteral("pomiar 1"));
    boxes.clear(); // the serial port of the test is missing
    EXPECT_FALSE(w->MSExel6->isEnabled()) << "disabled in the form";
    EXPECT_FALSE(w->OpenOffice6->isEnabled());

    click(w, QStringLiteral("pomiar 1.dan"));
    EXPECT_TRUE(w->MSExel6->isEnabled());
    EXPECT_TRUE(w->OpenOffice6->isEnabled());
    w->OpenOffice6->trigger();
    const QString log = windowDir() + QStringLiteral("/pomiar 1.dan");
    const QString copy = log + QStringLiteral(".txt");
    EXPECT_EQ(readFile(copy), QFile::encodeName("&Plik:\t" + log) + "\n00:00:01\t21,4\n00:00:02\t21,5\n");
    ASSERT_EQ(shell.records().size(), 1u);
    EXPECT_EQ(shell.records()[0].program, programs.path(QStringLiteral("localc")));
    EXPECT_EQ(
        shell.records()[0].arguments,
        QStringList(
            {QStringLiteral("--infilter=") + QString::fromLatin1(acquisition::spreadsheetCopyImportFilter), copy}));
    EXPECT_FALSE(w->MSExel6->isEnabled());
    EXPECT_FALSE(w->OpenOffice6->isEnabled());

    w->MSEksplorer1->trigger();
    ASSERT_EQ(shell.records().size(), 2u);
    EXPECT_EQ(shell.records()[1].operation, QStringLiteral("explore"));
    EXPECT_EQ(shell.records()[1].arguments, QStringList{windowDir()});

    // Only the ".dan" mask exists; the two other mask items do nothing.
    const QStringList listed = w->FileListBox1->Items();
    EXPECT_EQ(listed, QStringList{QStringLiteral("pomiar 1.dan")});
    for (QAction* item : {w->Showfilestxt1, w->Wszystkiepliki1, w->Showfilesdan1}) {
        item->trigger();
        EXPECT_EQ(w->FileListBox1->Mask(), QStringLiteral("*.dan;"));
        EXPECT_EQ(w->FileListBox1->Items(), listed);
    }
    stored(QStringLiteral("nowy.dan"), QByteArray());
    w->Showfilesdan1->trigger();
    EXPECT_EQ(w->FileListBox1->Items(), QStringList({QStringLiteral("nowy.dan"), QStringLiteral("pomiar 1.dan")}))
        << "the list was read again";
    EXPECT_TRUE(boxes.records().empty()) << boxTexts().join('|').toStdString();
}

TEST_F(StoredRuns, TheCopyLandsBesideItsRunWhileAnotherWindowRecords)
{
    testsupport::FakePrograms programs({QStringLiteral("localc")});
    platform::ShellScript shell;
    Form1->settings.windowCount = 2;
    TForm6* windows[2] = {open(0), open(1)};
    for (TForm6* w : windows)
        toggle(w, 0);
    start(windows[0], QStringLiteral("piec_A.dan"));
    start(windows[1], QStringLiteral("piec_B.dan"));
    setValues({21.5f});
    for (TForm6* w : windows)
        sample(w, 1000);
    boxes.clear(); // the serial port of the test is missing
    const QString log = windowDir(0) + QStringLiteral("/piec_A.dan");
    const QString copy = log + QStringLiteral(".txt");
    const auto expectCopyBesideTheRun = [&](const QByteArray& lines) {
        EXPECT_EQ(readFile(copy).toStdString(), (QFile::encodeName("&Plik:\t" + log) + "\n" + lines).toStdString());
        const QStringList inWindow2 = QDir(windowDir(1)).entryList({QStringLiteral("piec_A*")}, QDir::Files);
        EXPECT_TRUE(inWindow2.isEmpty()) << inWindow2.join(' ').toStdString();
        ASSERT_FALSE(shell.records().empty());
        EXPECT_EQ(shell.records().back().arguments.last(), copy);
    };

    // Both windows record. The main window's browser shows the first window's folder,
    // and its run log is picked there; then the second window's tick reads its own
    // list, which makes that window's folder current, before the export is chosen.
    Form1->DirectoryListBox1->SetDirectory(windowDir(0));
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(QStringLiteral("piec_A.dan"));
    Form1->FileListBox1Click(Form1->FileListBox1);
    setValues({22.5f});
    sample(windows[1], 1000);
    sample(windows[0]);
    sample(windows[1]);
    ASSERT_EQ(QDir::currentPath(), windowDir(1));
    Form1->OpenOffice1->trigger();
    expectCopyBesideTheRun("00:00:01\t21,5\n00:00:03\t22,5\n");
    EXPECT_TRUE(Form1->FileListBox1->Items().contains(QStringLiteral("piec_A.dan.txt")))
        << "the list it was chosen from shows the copy";

    // The first window stops; its own list offers the run, and the second window,
    // still recording, ticks in between.
    windows[0]->BitBtn1->Click();
    click(windows[0], QStringLiteral("piec_A.dan"));
    sample(windows[1], 1000);
    ASSERT_EQ(QDir::currentPath(), windowDir(1));
    windows[0]->MSExel6->trigger();
    expectCopyBesideTheRun("00:00:01\t21,5\n00:00:03\t22,5\n");
    EXPECT_EQ(shell.records().size(), 2u);
    EXPECT_EQ(windows[1]->BitBtn1->Caption(), QStringLiteral("STOP")) << "the second window still records";
    EXPECT_TRUE(boxes.records().empty()) << boxTexts().join('|').toStdString();
}

// A stored run opened in the window's preview, the same file opened whole in the main
// window's browser and loaded into the console: three loads, one reading of the file.
TEST_F(StoredRuns, ThePreviewTheBrowserAndTheConsoleReadATextFileAlike)
{
    TForm6* w = open(0);
    const QString mark = QString(QChar(0xFEFF));
    const QStringList run{QStringLiteral("00:00:01  21.4"), QStringLiteral("00:00:02  22.5")};
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"code page", crlfLines({"00:00:01  21.4", "00:00:02  22.5"}), run},
        {"utf-8", "\xEF\xBB\xBF" + crlfLines({"00:00:01  21.4", "00:00:02  22.5"}), run},
        {"utf-16", "\xFF\xFE" + QStringEncoder(QStringConverter::Utf16LE)(run.join("\r\n") + "\r\n"), run},
        {"utf-8 that begins with a mark",
         "\xEF\xBB\xBF\xEF\xBB\xBF" + crlfLines({"00:00:01  21.4"}),
         {mark + QStringLiteral("00:00:01  21.4")}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const QString path = stored(QStringLiteral("zapis.dan"), c.bytes);
        w->BitBtn1->Click(); // a new run after the last preview
        doubleClick(w, QStringLiteral("zapis.dan"));
        EXPECT_EQ(lines(w->Memo1), c.lines);

        Form1->openDataFile(path);
        EXPECT_EQ(lines(Form1->Memo1), c.lines);

        dialogs.answerFile(path);
        Form2->Button6->click();
        EXPECT_EQ(lines(Form2->Memo1), c.lines);
        // Saved and loaded again, twice: the file keeps its bytes.
        const QString copy = windowDir() + QStringLiteral("/kopia.txt");
        for (int round = 1; round <= 2; ++round) {
            QFile::remove(copy);
            dialogs.answerFile(copy);
            Form2->Button7->click();
            EXPECT_EQ(readFile(copy), c.bytes) << "save " << round;
            dialogs.answerFile(copy);
            Form2->Button6->click();
        }
    }

    // A file over the size limit is refused by the preview and the console alike, and
    // they keep what they showed. (The browser's limit follows the memory the machine
    // has free, with a message of its own.) The file has a hole: it takes no room on
    // the disk.
    const QString large = stored(QStringLiteral("duzy.dan"), crlfLines({"00:00:01  21.4"}));
    ASSERT_TRUE(QFile(large).resize(dialogs::maxTextFileBytes + 1));
    const QString refusal = QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości.").arg(large);
    boxes.clear();
    w->BitBtn1->Click();
    doubleClick(w, QStringLiteral("duzy.dan"));
    EXPECT_TRUE(lines(w->Memo1).isEmpty());
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
    const QStringList console = lines(Form2->Memo1);
    dialogs.answerFile(large);
    Form2->Button6->click();
    EXPECT_EQ(lines(Form2->Memo1), console);
    EXPECT_EQ(boxTexts(), QStringList(2, refusal));
}
