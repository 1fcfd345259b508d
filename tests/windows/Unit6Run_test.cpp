// A measurement window's run: START, samples, STOP and a new run with the run log and
// the properties file compared as bytes; the run name rules; the overwrite question;
// the run's extremes; the log's append, rewrite and failure paths; and one run fed by a
// data logger on a pseudo-terminal.

#include "tests/support/FullDisk.h"
#include "tests/support/PtyDevice.h"
#include "tests/support/QtInput.h"
#include "tests/windows/WindowFixture.h"

#include <QFileInfo>
#include <QScrollBar>
#include <QTimer>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

using namespace windowtest;
using namespace std::chrono_literals;

namespace {

ino_t inodeOf(const QString& path)
{
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_ino : 0;
}

using testsupport::diskRoom;
using testsupport::fullDiskWrite;

class RunTest : public WindowTest {
protected:
    // Window 1 recording items 1 and 3 under "pomiar1" from 10:00:00.
    TForm6* recording()
    {
        TForm6* w = open(0);
        toggle(w, 0);
        toggle(w, 2);
        start(w, QStringLiteral("pomiar1.dan"));
        return w;
    }
    QString log(const QString& name = QStringLiteral("pomiar1")) const { return windowDir() + "/" + name + ".dan"; }
    static QStringList values(TForm6* w) { return vcl::Lines(w->Memo3).ToList(); }
};

} // namespace

TEST_F(RunTest, ARunWritesItsLogAndPropertiesAsBytes)
{
    TForm6* w = open(0);
    toggle(w, 0);
    toggle(w, 2);
    auto& r = Form1->settings.windows[0];
    r.seriesColours[0] = vcl::clTeal;
    r.seriesColours[1] = vcl::clPurple;
    start(w, QStringLiteral("pomiar1.dan"));
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("STOP"));
    EXPECT_EQ(w->BitBtn1->FontColor(), vcl::clRed);
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP")) << "the run started the acquisition";
    EXPECT_FALSE(w->BorderIcons() & vcl::biSystemMenu);
    EXPECT_FALSE(w->FileListBox1->Enabled());
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  pomiar1"));
    EXPECT_EQ(acquisition::getText(r.measurementName), "pomiar1");
    ASSERT_EQ(dialogs.records().size(), 1u);
    EXPECT_EQ(dialogs.records()[0].title, QStringLiteral("Nowa nazwa pliku pomiarowego dla Okna1"));
    EXPECT_EQ(dialogs.records()[0].initialDir, windowDir());
    EXPECT_EQ(dialogs.records()[0].filter, QStringLiteral("Plik danych|*.dan|Wszystkie pliki|*.*"));

    setValues({21.4f, 0, 19.8f});
    sample(w, 1000);
    setValues({21.5f, 0, 19.9f});
    sample(w, 2000);
    setValues({-0.5f, 0, 101.2f});
    sample(w, 2000);
    const QByteArray expectedLog = crlfLines({"00:00:01  21.4 19.8", "00:00:03  21.5 19.9", "00:00:05  -0.5 101.2"});
    EXPECT_EQ(readFile(log()), expectedLog);
    EXPECT_EQ(w->Chart1->Series(0).Count(), 3);
    EXPECT_DOUBLE_EQ(w->Chart1->Series(1).YValue(2), double(101.2f));
    EXPECT_EQ(w->Chart1->Series(0).ValueColor(0), vcl::clTeal);
    EXPECT_EQ(w->Chart1->Series(1).ValueColor(0), vcl::clPurple);
    EXPECT_EQ(w->Chart1->Series(0).Label(1), "00:00:03 ");
    EXPECT_FALSE(w->Chart1->LegendVisible());

    advance(30000);
    w->BitBtn1->Click();
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("Nowy pomiar"));
    EXPECT_EQ(w->BitBtn1->FontColor(), vcl::clBlack);
    EXPECT_TRUE(w->BorderIcons() & vcl::biSystemMenu);
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP")) << "stopping a run leaves the acquisition";
    EXPECT_EQ(readFile(windowDir() + "/pomiar1.txt"),
              crlfLines({"pomiar1", "2024-03-01 10:00", "2024-03-01 10:00", "-0.5", "101.2", "", "", "", "pomiar1.dan",
                         workDir, "."}));

    // Samples after STOP add nothing and leave the file as it is.
    const auto rewrites = w->runLog().rewrites();
    const auto written = w->runLog().bytesWritten();
    sample(w, 500);
    sample(w, 500);
    EXPECT_EQ(readFile(log()), expectedLog);
    EXPECT_EQ(w->runLog().rewrites(), rewrites);
    EXPECT_EQ(w->runLog().bytesWritten(), written);

    w->BitBtn1->Click(); // "Nowy pomiar"
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
    EXPECT_EQ(w->BitBtn1->FontColor(), vcl::clGreen);
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 0);
    EXPECT_EQ(values(w), QStringList(12, QString()));
    for (int j = 0; j < 9; ++j) {
        EXPECT_EQ(w->Chart1->Series(j).Count(), 0);
        EXPECT_FALSE(w->Chart1->Series(j).Active());
    }
    sample(w, 500);
    EXPECT_EQ(readFile(log()), expectedLog) << "an empty memo writes no file";

    start(w, QStringLiteral("pomiar2.dan"));
    const QStringList second = values(w);
    ASSERT_EQ(second.size(), 12);
    EXPECT_EQ(second[0], QStringLiteral("pomiar2"));
    EXPECT_EQ(second[1], QStringLiteral("2024-03-01 10:00"));
    EXPECT_EQ(second[9], platform::cp1250ToUnicode(workDir));
    for (int i : {2, 3, 4, 5, 6, 7, 10, 11})
        EXPECT_EQ(second[i], QString()) << i;
    EXPECT_EQ(second[8], QStringLiteral("pomiar1.dan")) << "the sample between the runs named the last log";
    setValues({1, 0, 2});
    sample(w, 1000);
    EXPECT_EQ(readFile(log(QStringLiteral("pomiar2"))), crlfLines({"00:00:01  1.0 2.0"}));
    EXPECT_EQ(readFile(log()), expectedLog);
}

TEST_F(RunTest, ValuesAreWrittenWithOneDecimalAndExtremesStartFromTheFirstValue)
{
    TForm6* w = open(0);
    for (int item : {0, 1, 2})
        toggle(w, item);
    start(w, QStringLiteral("format.dan"));
    setValues({5.0f, -0.04f, 123.456f});
    sample(w, 1000);
    EXPECT_EQ(readFile(log(QStringLiteral("format"))), crlfLines({"00:00:01  5.0 -0.0 123.5"}));
    EXPECT_EQ(values(w)[3], QStringLiteral("0.0"));
    EXPECT_EQ(values(w)[4], QStringLiteral("123.5"));
    EXPECT_EQ(values(w)[8], QStringLiteral("format.dan"));

    // Runs entirely below the old seeds' -999 and above 9999 show their real extremes.
    struct Run {
        const char* file;
        float a, b;
        const char *minimum, *maximum;
    };
    for (const Run& run : {Run{"cold.dan", -1500.5f, -1200.0f, "-1500.5", "-1200.0"},
                           Run{"hot.dan", 15000.0f, 12000.0f, "12000.0", "15000.0"}}) {
        SCOPED_TRACE(run.file);
        w->BitBtn1->Click();
        w->BitBtn1->Click();
        start(w, QString::fromLatin1(run.file));
        EXPECT_EQ(values(w)[3], QString());
        setValues({run.a, run.a, run.a});
        sample(w, 1000);
        setValues({run.b, run.b, run.b});
        sample(w, 1000);
        EXPECT_EQ(values(w)[3], QString::fromLatin1(run.minimum));
        EXPECT_EQ(values(w)[4], QString::fromLatin1(run.maximum));
        EXPECT_FLOAT_EQ(w->runMinimum, std::min(run.a, run.b));
        EXPECT_FLOAT_EQ(w->runMaximum, std::max(run.a, run.b));
    }
}

TEST_F(RunTest, TheFirstTickArmsAndOneTickTakesOneSample)
{
    TForm6* w = open(0);
    toggle(w, 0);
    dialogs.answerFile(QStringLiteral("arm.dan"));
    w->BitBtn1->Click();
    w->Timer1->SetEnabled(false);
    auto& r = Form1->settings.windows[0];
    announce(0);
    w->Timer1Timer(w->Timer1);
    EXPECT_TRUE(w->tickArmed);
    EXPECT_EQ(r.newSample, 1) << "the arming tick leaves the flag";
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 0);
    // Two lines announced before the next tick make one sample.
    announce(0);
    announce(0);
    advance(1000);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(r.newSample, 0);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 1);
    // With no active item a line holds only the time and its blank.
    toggle(w, 0);
    sample(w, 1000);
    EXPECT_EQ(readFile(log(QStringLiteral("arm"))), crlfLines({"00:00:01  0.0", "00:00:02 "}));
}

TEST_F(RunTest, AnExistingLogIsReplacedOnlyAfterOk)
{
    open(0);
    cwd.file(QStringLiteral("Okno1/pomiar1.dan"), "stare\r\n");
    TForm6* w = TForm6::ForSlot(0);
    toggle(w, 0);
    w->PageControl1->SetActivePageIndex(2);
    questionAnswer = platform::IDCANCEL;
    start(w, QStringLiteral("pomiar1.dan"));
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
    EXPECT_EQ(w->PageControl1->ActivePageIndex(), 0);
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  pomiar1"));
    EXPECT_EQ(w->LabeledEdit1->Text(), QStringLiteral("pomiar1"));
    EXPECT_EQ(acquisition::getText(Form1->settings.windows[0].measurementName), "pomiar1");
    EXPECT_TRUE(boxTexts().contains(QStringLiteral("Plik o nazwie 'pomiar1.dan' istnieje.\n"
                                                   "  Wciśnij OK aby usunąć stare pomiary i nadpisać nowe.\n"
                                                   "  Wciśnij 'Anuluj' aby zmienić nazwę pliku!!")));
    sample(w, 1000);
    EXPECT_EQ(readFile(log()), QByteArray("stare\r\n"));

    questionAnswer = platform::IDOK;
    start(w, QStringLiteral("pomiar1.dan"));
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("STOP"));
    EXPECT_EQ(readFile(log()), QByteArray("stare\r\n")) << "START itself deletes nothing";
    setValues({7.5f});
    sample(w, 1000);
    EXPECT_EQ(readFile(log()), crlfLines({"00:00:01  7.5"}));
}

namespace {

struct NameCase {
    const char* chosen; // UTF-8, relative to the window folder
    bool accepted;
    const char* runName; // 8-bit
};

const NameCase nameCases[] = {
    {"pomiar1.dan", true, "pomiar1"},
    {"a.dan", true, "a"},
    {"typed", true, "typed"},
    {"x.da", true, ""},
    {"../elsewhere/p2.dan", true, "p2"},
    {"a..b.dan", true, "a..b"},
    {"..b.dan", true, "..b"},
    {"a...dan", true, "a.."},
    {"..dan", false, ""},
    {"...dan", false, ""},
    {"back\\slash.dan", false, ""},
    {"tab\tname.dan", false, ""},
    {"日本.dan", false, ""},
    {"zażółć.dan", true, "za\xBF\xF3\xB3\xE6"},
};

} // namespace

TEST_F(RunTest, TheRunNameIsAFileNameInTheWindowFolder)
{
    std::vector<NameCase> cases(std::begin(nameCases), std::end(nameCases));
    const std::string longest(83, 'n'), tooLong(84, 'n');
    const std::string longestFile = longest + ".dan", tooLongFile = tooLong + ".dan";
    cases.push_back({longestFile.c_str(), true, longest.c_str()});
    cases.push_back({tooLongFile.c_str(), false, ""});

    TForm6* w = open(0);
    toggle(w, 0);
    auto& r = Form1->settings.windows[0];
    for (const NameCase& c : cases) {
        SCOPED_TRACE(c.chosen);
        acquisition::setText(r.measurementName, "previous");
        boxes.clear();
        start(w, QString::fromUtf8(c.chosen));
        if (!c.accepted) {
            EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
            EXPECT_EQ(acquisition::getText(r.measurementName), "previous");
            ASSERT_EQ(boxesTitled(QStringLiteral("Uwaga!")), 1);
            EXPECT_TRUE(boxes.records().back().text.endsWith(QStringLiteral("Wybierz inną nazwę pliku!!")));
            continue;
        }
        ASSERT_EQ(w->BitBtn1->Caption(), QStringLiteral("STOP"));
        EXPECT_EQ(acquisition::getText(r.measurementName), c.runName);
        sample(w, 1000);
        const std::string file = *c.runName ? c.runName : "Okno1";
        EXPECT_TRUE(QFileInfo::exists(windowDir() + "/" + platform::cp1250ToUnicode(file) + ".dan"));
        EXPECT_EQ(values(w)[0], platform::cp1250ToUnicode(file));
        w->BitBtn1->Click();
        EXPECT_TRUE(QFileInfo::exists(windowDir() + "/" + platform::cp1250ToUnicode(file) + ".txt"));
        w->BitBtn1->Click();
    }
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + "/elsewhere"));
}

TEST_F(RunTest, ACancelledRunNameDialogStartsNoRun)
{
    TForm6* w = open(0);
    toggle(w, 0);
    auto& r = Form1->settings.windows[0];
    acquisition::setText(r.measurementName, "previous");
    dialogs.cancel();
    w->BitBtn1->Click();
    w->Timer1->SetEnabled(false);
    ASSERT_EQ(dialogs.records().size(), 1u) << "the dialog was shown";
    EXPECT_EQ(w->BitBtn1->Caption(), QStringLiteral("START"));
    EXPECT_EQ(w->BitBtn1->FontColor(), vcl::clGreen);
    EXPECT_TRUE(w->BorderIcons() & vcl::biSystemMenu);
    EXPECT_TRUE(w->FileListBox1->Enabled());
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  "));
    EXPECT_EQ(acquisition::getText(r.measurementName), "previous");
    EXPECT_EQ(Form1->BitBtn4->Caption(), QStringLiteral("STOP")) << "the acquisition started before the dialog";

    // Samples that arrive afterwards record nothing and write no file.
    setValues({4.5f});
    w->Timer1Timer(w->Timer1);
    sample(w, 1000);
    sample(w, 1000);
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 0);
    EXPECT_EQ(QDir(windowDir()).entryList(QDir::Files), QStringList{QStringLiteral("ChanelConfig.confs")});
}

TEST_F(RunTest, SamplesAppendAndOtherChangesReplaceTheLogWhole)
{
    TForm6* w = recording();
    setValues({1, 0, 2});
    sample(w, 1000);
    const ino_t first = inodeOf(log());
    ASSERT_NE(first, 0u);
    for (int i = 0; i < 20; ++i)
        sample(w, 500);
    EXPECT_EQ(inodeOf(log()), first) << "a sample is appended, not written whole";
    EXPECT_EQ(w->runLog().rewrites(), 1u);
    EXPECT_EQ(w->runLog().bytesWritten(), static_cast<std::uint64_t>(QFileInfo(log()).size()));

    // The user's edit of the memo is saved whole, through a new file.
    w->Memo1->setPlainText(QStringLiteral("notatka ą"));
    sample(w, 500);
    EXPECT_NE(inodeOf(log()), first);
    EXPECT_EQ(readFile(log()), QByteArray("notatka \xB9\r\n00:00:11  1.0 2.0\r\n"));
    EXPECT_EQ(w->runLog().rewrites(), 2u);
    EXPECT_FALSE(QFileInfo::exists(log() + ".tmp"));

    // A log removed by someone else is written again at the next sample.
    QFile::remove(log());
    sample(w, 500);
    EXPECT_EQ(readFile(log()), QByteArray("notatka \xB9\r\n00:00:11  1.0 2.0\r\n00:00:12  1.0 2.0\r\n"));
}

TEST_F(RunTest, WhatTheUserTypesIntoTheLogIsWrittenAsTyped)
{
    TForm6* w = recording();
    setValues({1, 0, 2});
    sample(w, 1000);
    // A note below the first line, with a slip taken back by Backspace. The log keeps no
    // undo history: Ctrl+Z takes nothing back, before a recorded line or after it.
    vcl::TMemo* memo = w->Memo1;
    testsupport::KeyClick(memo, Qt::Key_End, QString(), Qt::ControlModifier);
    testsupport::TypeText(memo, QStringLiteral("notatka ąx"));
    testsupport::KeyClick(memo, Qt::Key_Backspace);
    testsupport::TypeText(memo, QStringLiteral(" źle"));
    testsupport::KeyClick(memo, Qt::Key_Z, QString(), Qt::ControlModifier);
    sample(w, 1000);
    EXPECT_EQ(readFile(log()), QByteArray("00:00:01  1.0 2.0\r\nnotatka \xB9 \x9F"
                                          "le\r\n00:00:02  1.0 2.0\r\n"));
    testsupport::KeyClick(memo, Qt::Key_Z, QString(), Qt::ControlModifier);
    sample(w, 1000);
    EXPECT_EQ(readFile(log()), QByteArray("00:00:01  1.0 2.0\r\nnotatka \xB9 \x9F"
                                          "le\r\n00:00:02  1.0 2.0\r\n"
                                          "00:00:03  1.0 2.0\r\n"));
}

TEST_F(RunTest, AFullDiskIsReportedOnceAndTheLogCatchesUpLater)
{
    TForm6* w = recording();
    setValues({1, 0, 2});
    sample(w, 1000);
    sample(w, 1000);
    const QByteArray before = readFile(log());
    ASSERT_EQ(before, crlfLines({"00:00:01  1.0 2.0", "00:00:02  1.0 2.0"}));

    TForm6::logWrite = fullDiskWrite;
    diskRoom = 5; // half a line fits
    for (int i = 0; i < 4; ++i)
        sample(w, 1000);
    EXPECT_EQ(readFile(log()), before) << "the log is as it was, without half a line";
    EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 1);
    EXPECT_TRUE(boxes.records().back().text.contains(QStringLiteral("pomiar1.dan")));
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 6);

    // An edit while the disk is full: the whole text cannot be written, the old file stays.
    w->Memo1->setPlainText(vcl::Lines(w->Memo1).Text());
    diskRoom = 30;
    sample(w, 1000);
    EXPECT_EQ(readFile(log()), before);
    EXPECT_FALSE(QFileInfo::exists(log() + ".tmp"));
    EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 1);

    TForm6::logWrite = nullptr;
    sample(w, 1000);
    QByteArray all;
    for (int s = 1; s <= 8; ++s)
        all += QByteArray("00:00:0") + QByteArray::number(s) + "  1.0 2.0\r\n";
    EXPECT_EQ(readFile(log()), all);
    EXPECT_EQ(values(w)[8], QStringLiteral("pomiar1.dan"));

    // A later failure is a new one and is reported again.
    TForm6::logWrite = fullDiskWrite;
    diskRoom = 0;
    sample(w, 1000);
    EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 2);
}

// The window's own timer drives the ticks here, as in the program; the box stays open
// (its answer waits) while the ticks go on.
TEST_F(RunTest, SamplesGoOnWhileTheFullDiskBoxWaitsForItsAnswer)
{
    TForm6* w = recording();
    setValues({1, 0, 2});
    sample(w, 1000);
    TForm6::logWrite = fullDiskWrite;
    diskRoom = 0;

    // The live loop: the next sample, a second later, once the window took the last one.
    QTimer live;
    live.setInterval(20);
    QObject::connect(&live, &QTimer::timeout, [this] {
        auto& r = Form1->settings.windows[0];
        if (r.newSample == 0) {
            advance(1000);
            announce(0);
        }
    });
    const auto lines = [w] { return vcl::Lines(w->Memo1).Count(); };
    int shownAt = -1;
    int answeredAt = -1;
    bool stalled = false;
    QByteArray fileWhileOpen;
    boxes.onMessage = [&](const platform::MessageRecord& r) {
        if (r.title != QStringLiteral("Error"))
            return;
        // Two ticks on a full disk, then two with room again, while nobody answers.
        shownAt = lines();
        stalled = !testsupport::WaitUntil([&] { return lines() >= shownAt + 2; }, 8000);
        if (stalled)
            return;
        TForm6::logWrite = nullptr;
        stalled = !testsupport::WaitUntil([&] { return lines() >= shownAt + 4; }, 8000);
        if (stalled)
            return;
        fileWhileOpen = readFile(log());
        answeredAt = lines();
    };
    w->Timer1->SetEnabled(true);
    live.start();
    testsupport::WaitUntil([&] { return answeredAt >= 0 || stalled; }, 20000);
    w->Timer1->SetEnabled(false);
    live.stop();
    ASSERT_GE(answeredAt, 0) << "the box was shown after " << shownAt << " lines and the run stopped there";

    EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 1);
    QByteArray all;
    for (int s = 1; s <= answeredAt; ++s)
        all += QByteArray("00:00:") + QByteArray::number(s).rightJustified(2, '0') + "  1.0 2.0\r\n";
    EXPECT_EQ(fileWhileOpen, all) << "every sample reached the file before the box was answered";
    EXPECT_EQ(w->Chart1->Series(0).Count(), answeredAt);
    EXPECT_EQ(w->Chart1->Series(1).Count(), answeredAt);
}

TEST_F(RunTest, AFailureThatComesBackWhileTheBoxIsOpenIsToldAfterTheAnswer)
{
    TForm6* w = recording();
    setValues({1, 0, 2});
    TForm6::logWrite = fullDiskWrite;
    // What the disk does while the first box waits: room, then full again or not.
    for (const bool fullAgain : {true, false}) {
        SCOPED_TRACE(fullAgain);
        boxes.clear();
        diskRoom = 0;
        int seen = 0;
        boxes.onMessage = [&](const platform::MessageRecord& r) {
            if (r.title != QStringLiteral("Error") || ++seen > 1)
                return;
            sample(w, 1000);
            diskRoom = 1000;
            sample(w, 1000);
            EXPECT_EQ(readFile(log()), vcl::Lines(w->Memo1).Text().replace('\n', "\r\n").toLatin1());
            diskRoom = fullAgain ? 0 : 1000;
            sample(w, 1000);
            EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 1) << "one box at a time";
        };
        sample(w, 1000);
        QCoreApplication::sendPostedEvents(w, QEvent::MetaCall);
        EXPECT_EQ(boxesTitled(QStringLiteral("Error")), fullAgain ? 2 : 1);
        diskRoom = 1000;
        sample(w, 1000);
    }
    EXPECT_EQ(readFile(log()), vcl::Lines(w->Memo1).Text().replace('\n', "\r\n").toLatin1());
}

TEST_F(RunTest, TheLogFollowsItsNewestLineUnlessTheUserScrolledAway)
{
    TForm6* w = recording();
    w->SetBounds(0, 0, 640, 400);
    w->Panel3->SetWidth(220);
    w->Show();
    ASSERT_TRUE(testsupport::WaitUntil([w] { return w->Memo1->viewport()->width() > 100; }));
    setValues({1, 0, 2});
    QScrollBar* bar = w->Memo1->verticalScrollBar();
    // Where the memo shows a line, if at all: the first and the last of its characters.
    const auto shown = [w](int line) {
        const auto at = [&](int column) {
            return QRect(w->Memo1->PointOf({line, column}), QSize(1, w->Memo1->fontMetrics().height()));
        };
        const QRect area = w->Memo1->viewport()->rect();
        return area.contains(at(0)) && area.contains(at(int(vcl::Lines(w->Memo1)[line].size())));
    };
    const auto newest = [w] { return vcl::Lines(w->Memo1).Count() - 1; };

    for (int i = 0; i < 60; ++i)
        sample(w, 1000);
    ASSERT_GT(bar->maximum(), 0) << "the log is longer than the memo";
    EXPECT_TRUE(shown(newest()));
    EXPECT_FALSE(shown(0));

    // The user reads back: new lines leave the view where it is.
    bar->setValue(0);
    for (int i = 0; i < 5; ++i)
        sample(w, 1000);
    EXPECT_TRUE(shown(0));
    EXPECT_FALSE(shown(newest()));

    // Back at the end, the view follows again; also while the window is hidden.
    bar->setValue(bar->maximum());
    sample(w, 1000);
    EXPECT_TRUE(shown(newest()));
    w->Hide();
    for (int i = 0; i < 20; ++i)
        sample(w, 1000);
    w->Show();
    ASSERT_TRUE(testsupport::WaitUntil([w] { return w->Memo1->isVisible(); }));
    EXPECT_TRUE(shown(newest()));
    EXPECT_EQ(vcl::Lines(w->Memo1)[newest()], QStringLiteral("00:01:26  1.0 2.0"));
}

TEST_F(RunTest, AMissingWindowFolderIsReportedOnceAndRecordingGoesOn)
{
    TForm6* w = recording();
    setValues({1, 0, 2});
    sample(w, 1000);
    ASSERT_TRUE(QDir(windowDir()).removeRecursively());
    sample(w, 1000);
    sample(w, 1000);
    EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 1);
    EXPECT_EQ(vcl::Lines(w->Memo1).Count(), 3);
    ASSERT_TRUE(QDir().mkpath(windowDir()));
    sample(w, 1000);
    EXPECT_EQ(readFile(log()),
              crlfLines({"00:00:01  1.0 2.0", "00:00:02  1.0 2.0", "00:00:03  1.0 2.0", "00:00:04  1.0 2.0"}));
}

TEST_F(RunTest, AChannelListLongerThanTheSeriesAndColoursStaysInBounds)
{
    QByteArray list;
    for (int i = 1; i <= 70; ++i)
        list += "k" + QByteArray::number(i) + " Aktywny\r\n";
    cwd.file(QStringLiteral("Okno1/ChanelConfig.confs"), list);
    TForm6* w = open(0);
    ASSERT_EQ(w->ComboBox2->ItemCount(), 70);
    start(w, QStringLiteral("wide.dan"));
    for (std::size_t i = 0; i < Form1->liveSample.values.size(); ++i)
        Form1->liveSample.values[i] = float(i);
    sample(w, 1000);
    const QByteArray line = readFile(log(QStringLiteral("wide")));
    EXPECT_EQ(line.count(' ') - 1, 64) << "one value per channel of the measurement line";
    EXPECT_TRUE(line.endsWith(" 63.0\r\n"));
    EXPECT_EQ(w->Chart1->Series(34).Count(), 1);
    EXPECT_EQ(w->Chart1->Series(9).ValueColor(0), vcl::clDefault);
    boxes.clear();
    w->BitBtn1->Click();
    w->BitBtn1->Click();
    EXPECT_EQ(boxesTitled(QStringLiteral("Error")), 0);
    EXPECT_EQ(w->Chart1->Series(34).Count(), 0);
}

TEST_F(RunTest, StartingASecondRunDoesNotRestartTheAcquisition)
{
    Form1->settings.windowCount = 2;
    TForm6* a = open(0);
    TForm6* b = open(1);
    const QString wrongPort = QStringLiteral("Niewłaściwa nazwa portu lub port jest aktywny.");
    start(a, QStringLiteral("a1.dan"));
    EXPECT_TRUE(Form1->acquisitionRunning);
    EXPECT_EQ(boxTexts().count(wrongPort), 1) << "the run tried to open the port";
    start(b, QStringLiteral("b1.dan"));
    EXPECT_EQ(boxTexts().count(wrongPort), 1);
    EXPECT_EQ(b->BitBtn1->Caption(), QStringLiteral("STOP"));
}

TEST_F(RunTest, ALiveLineFromTheDeviceReachesTheLog)
{
    testsupport::PtyDevice device;
    Form2->NumerCom->SetText(QString::fromStdString(device.path()));
    Form2->czestoscPomiaru->SetText(QStringLiteral("00:00:01"));
    device.answer("?DAT &", "2024-03-05 14:07:09 21.4 22.0 19.5\r\n");
    TForm6* w = open(0);
    toggle(w, 1);
    start(w, QStringLiteral("live.dan"));
    ASSERT_TRUE(device.waitForReceived("?DAT &", 2000ms));
    ASSERT_TRUE(testsupport::WaitUntil([] { return Form1->settings.windows[0].newSample == 1; }));
    advance(1000);
    w->Timer1Timer(w->Timer1);
    EXPECT_EQ(readFile(log(QStringLiteral("live"))), crlfLines({"00:00:01  22.0"}));
}
