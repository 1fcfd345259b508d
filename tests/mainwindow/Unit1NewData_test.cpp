// The new-data step through the real main window and settings dialog: the cyclic data
// file byte for byte on disk for each cycle and time-stamp option, a header reply, the
// weekly cycle, a date change between readings, a file that cannot be written, and what
// the text list, grid and chart show.

#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"

#include <QDir>
#include <gtest/gtest.h>

#include <vector>

using testsupport::readBytes;

namespace {

const std::string reply1 = "2024-03-05 14:07:09 21.4 22.0 -.- 3.61";
const std::string reply2 = "2024-03-05 14:07:19 21.5 22.1 22.3 3.60";
const std::string header4 = "DataTime  k1 k2 k3 k4\r\n";

QDateTime at(int y, int mo, int d, int h, int mi, int s, int ms = 0)
{
    return QDateTime(QDate(y, mo, d), QTime(h, mi, s, ms));
}

class NewDataStep : public ::testing::Test {
protected:
    void SetUp() override
    {
        testsupport::CreateProgramForms(false);
        // Readings go to the browsed folder, not to the start folder.
        dataDir = cwd.mkdir("dane");
        Form1->DirectoryListBox1->SetDirectory(dataDir);
        Form1->StatusBar1->Panels(0)->SetText(QStringLiteral("panel 0"));
        Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("panel 2"));
        instants = {at(2024, 3, 5, 14, 7, 11), at(2024, 3, 5, 14, 7, 21)};
    }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    void feed(const std::string& line)
    {
        Form1->currentLine = line;
        Form1->NoweDaneExecute(Form1);
    }
    std::string fileBytes(const QString& name) const { return readBytes(QDir(dataDir).filePath(name).toStdString()); }
    QStringList filesInDataDir() const { return QDir(dataDir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot); }
    QStringList memo() const { return vcl::Lines(Form1->Memo1).ToList(); }
    QString panel(int i) const { return Form1->StatusBar1->Panels(i)->Text(); }
    platform::TLineSeries& series(int i) const { return Form1->Chart1->Series(i); }

    testsupport::TempCwd cwd;
    platform::MessageScript boxes;
    QString dataDir;
    // Every reading of the clock takes the next instant; the last one stays.
    std::vector<QDateTime> instants;
    std::size_t clockReads = 0;
    platform::ScopedClock clock{[this] { return instants[std::min(clockReads++, instants.size() - 1)]; }};
};

} // namespace

TEST_F(NewDataStep, CyclicFileBytesForEachCycleAndTimeStamp)
{
    struct Case {
        vcl::TRadioButton* TForm2::*cycle;
        bool fromComputer, withDate, withSeconds;
        QString prefix;
        QString name;
        std::string lines;
    } cases[] = {
        {&TForm2::CyklDzienny, true, true, true, "P", "P20240305.dan",
         "2024-03-05  14:07:11  21.4 22.0 -.- 3.61\r\n2024-03-05  14:07:21  21.5 22.1 22.3 3.60\r\n"},
        {&TForm2::CyklDzienny, true, true, false, "P", "P20240305.dan",
         "2024-03-05  14:07  21.4 22.0 -.- 3.61\r\n2024-03-05  14:07  21.5 22.1 22.3 3.60\r\n"},
        {&TForm2::CyklMiesieczny, true, false, true, "P", "P202403.dan",
         "  14:07:11  21.4 22.0 -.- 3.61\r\n  14:07:21  21.5 22.1 22.3 3.60\r\n"},
        {&TForm2::CyklMiesieczny, true, false, false, "Halą", "Halą202403.dan",
         "  14:07  21.4 22.0 -.- 3.61\r\n  14:07  21.5 22.1 22.3 3.60\r\n"},
        {&TForm2::CyklStaly, false, true, true, "P", "P.dan", reply1 + "\r\n" + reply2 + "\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name.toStdString());
        (Form2->*c.cycle)->SetChecked(true);
        Form2->GodzinaZkomputera->SetChecked(c.fromComputer);
        Form2->RadioButton10->SetChecked(!c.fromComputer);
        Form2->DopiszDate->SetChecked(c.withDate);
        Form2->DopiszSekundy->SetChecked(c.withSeconds);
        Form2->nazwaPlikuLabel->SetText(c.prefix);

        feed("  " + reply1 + " \r");
        EXPECT_EQ(Form1->currentLine, reply1) << "trimmed in place";
        feed(reply2);

        EXPECT_EQ(filesInDataDir(), QStringList{c.name});
        EXPECT_EQ(fileBytes(c.name), header4 + c.lines);
        // The text list holds the same lines, and the chart points carry the stamp.
        const QStringList lines = platform::cp1250ToUnicode(c.lines).split("\r\n", Qt::SkipEmptyParts);
        EXPECT_EQ(memo(), lines);
        ASSERT_EQ(series(0).Count(), 2);
        EXPECT_EQ(series(0).Label(1), Form1->timeLabel);
        EXPECT_EQ(Form1->timeLabel.empty(), !c.fromComputer);
        EXPECT_EQ(panel(0), "Zapis do pliku " + c.name);
        EXPECT_EQ(panel(2), "Zapisano do pliku: " + c.name);
        EXPECT_TRUE(Form1->FileListBox1->Items().contains(c.name)) << "listed in the browser";
        EXPECT_TRUE(boxes.records().empty());

        QFile::remove(QDir(dataDir).filePath(c.name));
        vcl::Lines(Form1->Memo1).Clear();
        Form1->parsedLine.resetPending = true;
        for (int i = 0; i < 4; ++i)
            series(i).Clear();
        clockReads = 0;
    }
}

TEST_F(NewDataStep, HeaderReplyNamesTheGridAndAppendsAnEmptyLine)
{
    feed("DataTime  T1 T2");
    EXPECT_EQ(fileBytes("P20240305.dan"), "DataTime  T1 T2\r\n\r\n");
    EXPECT_TRUE(memo().isEmpty());
    EXPECT_EQ(Form1->StringGrid1->columnCount(), 2);
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 1, 0), QStringLiteral("T2"));
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 1, 1), QString());
    EXPECT_EQ(series(0).Count(), 0);
    EXPECT_EQ(Form1->timeLabel, "");

    feed("2024-03-05 14:07:09 1 2");
    feed("DataTime  T1 T2");
    EXPECT_EQ(fileBytes("P20240305.dan"), "DataTime  T1 T2\r\n\r\n2024-03-05  14:07:21  1 2\r\n\r\n");
    EXPECT_EQ(memo(), QStringList{"2024-03-05  14:07:21  1 2"});
    EXPECT_EQ(series(1).Title(), "T2");
    EXPECT_EQ(series(1).Count(), 1);
}

TEST_F(NewDataStep, WeeklyCycleStoresNothingAndClaimsNoSave)
{
    Form2->CyklTygodniowy->SetChecked(true);
    ASSERT_FALSE(Form2->CyklDzienny->Checked());
    feed(reply1);
    EXPECT_TRUE(filesInDataDir().isEmpty());
    EXPECT_TRUE(QDir(cwd.path()).entryList({"*.dan"}, QDir::Files).isEmpty());
    EXPECT_EQ(panel(2), QStringLiteral("Nie zapisano do pliku: wybrany cykl archiwizacji nie tworzy nazwy pliku"));
    EXPECT_EQ(panel(0), QStringLiteral("panel 0"));
    EXPECT_EQ(memo().size(), 1) << "the reading is still shown";
    EXPECT_EQ(series(0).Count(), 1);
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(NewDataStep, AReadingLandsInTheFileOfItsOwnDate)
{
    // The clock moves on with every reading of it: a step that read it more than once
    // would stamp one day and file under the next.
    struct Case {
        vcl::TRadioButton* TForm2::*cycle;
        QDateTime before, after;
        QString firstName, secondName;
        std::string firstLine, secondLine;
    } cases[] = {
        {&TForm2::CyklDzienny, at(2024, 3, 5, 23, 59, 59, 999), at(2024, 3, 6, 0, 0, 0, 1), "P20240305.dan",
         "P20240306.dan", "2024-03-05  23:59:59  1 2\r\n", "2024-03-06  00:00:00  3 4\r\n"},
        {&TForm2::CyklMiesieczny, at(2024, 3, 31, 23, 59, 59, 999), at(2024, 4, 1, 0, 0, 0, 1), "P202403.dan",
         "P202404.dan", "2024-03-31  23:59:59  1 2\r\n", "2024-04-01  00:00:00  3 4\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.firstName.toStdString());
        (Form2->*c.cycle)->SetChecked(true);
        instants = {c.before, c.after, c.after.addSecs(10)};
        clockReads = 0;
        feed("2024-03-05 23:59:58 1 2");
        feed("2024-03-06 00:00:08 3 4");
        EXPECT_EQ(filesInDataDir(), (QStringList{c.firstName, c.secondName}));
        EXPECT_EQ(fileBytes(c.firstName), "DataTime  k1 k2\r\n" + c.firstLine);
        EXPECT_EQ(fileBytes(c.secondName), "DataTime  k1 k2\r\n" + c.secondLine);
        QDir(dataDir).removeRecursively();
        QDir().mkpath(dataDir);
    }
}

TEST_F(NewDataStep, AFileThatCannotBeWrittenIsReportedInTheStatusBarOnly)
{
    // A folder stands where the file should be; then the browsed folder is gone.
    ASSERT_TRUE(QDir(dataDir).mkdir("P20240305.dan"));
    feed(reply1);
    EXPECT_EQ(panel(2), QStringLiteral("Błąd zapisu do pliku: P20240305.dan"));
    EXPECT_EQ(panel(0), QStringLiteral("panel 0"));
    EXPECT_EQ(memo().size(), 1) << "the reading stays in the text list";
    EXPECT_EQ(series(0).Count(), 1);
    EXPECT_TRUE(boxes.records().empty());

    ASSERT_TRUE(QDir(dataDir).rmdir("P20240305.dan"));
    feed(reply2);
    EXPECT_EQ(fileBytes("P20240305.dan"), header4 + "2024-03-05  14:07:21  21.5 22.1 22.3 3.60\r\n");
    EXPECT_EQ(panel(2), QStringLiteral("Zapisano do pliku: P20240305.dan"));

    ASSERT_TRUE(QDir(dataDir).removeRecursively());
    feed(reply2);
    EXPECT_EQ(panel(2), QStringLiteral("Błąd zapisu do pliku: P20240305.dan"));
    EXPECT_TRUE(QDir(cwd.path()).entryList({"*.dan"}, QDir::Files).isEmpty()) << "nothing lands elsewhere";
    EXPECT_TRUE(boxes.records().empty());
}

TEST_F(NewDataStep, MoreChannelsThanSeriesUseThirtyFive)
{
    std::string values, names;
    for (int i = 1; i <= 40; ++i) {
        values += ' ' + std::to_string(i);
        if (i <= 35)
            names += " k" + std::to_string(i);
    }
    feed("2024-03-05 14:07:09" + values);
    EXPECT_EQ(Form1->parsedLine.channelCount, 35);
    EXPECT_EQ(Form1->StringGrid1->columnCount(), 35);
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 34, 1), QStringLiteral("35"));
    EXPECT_EQ(series(34).Count(), 1);
    EXPECT_DOUBLE_EQ(series(34).YValue(0), 35.0);
    EXPECT_EQ(fileBytes("P20240305.dan"), "DataTime " + names + "\r\n2024-03-05  14:07:11 " + values + "\r\n");
}

TEST_F(NewDataStep, TextListKeepsItsLineLimitOneLinePerStep)
{
    Form2->MaxLini->SetPosition(12);
    for (int i = 1; i <= 14; ++i)
        feed("2024-03-05 14:07:09 " + std::to_string(i));
    ASSERT_EQ(memo().size(), 12);
    EXPECT_TRUE(memo().first().endsWith("  3"));
    // A lower limit drops the oldest line on each step, not the surplus at once.
    Form2->MaxLini->SetPosition(10);
    feed("2024-03-05 14:07:09 15");
    ASSERT_EQ(memo().size(), 12);
    EXPECT_TRUE(memo().first().endsWith("  4"));
    EXPECT_TRUE(memo().last().endsWith("  15"));
}

TEST_F(NewDataStep, StatusChannelIsPlottedThenHiddenUntilTheNextReset)
{
    feed("2024-03-05 14:07:09 21.4 Bat 3.61 22.0");
    feed("2024-03-05 14:07:19 21.5 Bat 3.60 22.1");
    EXPECT_EQ(series(1).Title(), "Bat");
    EXPECT_EQ(series(1).Count(), 2);
    EXPECT_FALSE(series(1).Active());
    EXPECT_TRUE(series(0).Active());
    EXPECT_TRUE(series(2).Active());
    EXPECT_FALSE(series(3).Active()) << "no channel";

    Form1->parsedLine.resetPending = true;
    feed("2024-03-05 14:07:29 21.6 U 5.1 22.2");
    EXPECT_TRUE(series(1).Active());
    EXPECT_EQ(series(1).Title(), "U");
    EXPECT_EQ(series(1).Count(), 3);
}

TEST_F(NewDataStep, AutomaticAppendingOffWritesNoFileAndNoStatus)
{
    Form2->zapiszDoPliku->SetChecked(false);
    feed(reply1);
    EXPECT_TRUE(filesInDataDir().isEmpty());
    EXPECT_EQ(panel(0), QStringLiteral("panel 0"));
    EXPECT_EQ(panel(2), QStringLiteral("panel 2"));
    EXPECT_EQ(memo().size(), 1);
}

TEST_F(NewDataStep, ParseErrorLeavesEverythingAndReachesTheCaller)
{
    feed(reply1);
    const std::string bytes = fileBytes("P20240305.dan");
    const QStringList lines = memo();
    const QString p0 = panel(0), p2 = panel(2);
    EXPECT_THROW(feed("2024-03-05 14:07:19 1 -- 2"), rtl::EConvertError);
    EXPECT_EQ(fileBytes("P20240305.dan"), bytes);
    EXPECT_EQ(memo(), lines);
    EXPECT_EQ(vcl::Cell(Form1->StringGrid1, 0, 1), QStringLiteral("21.4"));
    EXPECT_EQ(series(0).Count(), 1);
    EXPECT_EQ(panel(0), p0);
    EXPECT_EQ(panel(2), p2);
}

TEST_F(NewDataStep, DataLineFitsTheAxesAndTheServerRoadLeavesThem)
{
    feed("2024-03-05 14:07:09 0 100");
    EXPECT_DOUBLE_EQ(Form1->Chart1->LeftAxis().Minimum(), -2.0);
    EXPECT_DOUBLE_EQ(Form1->Chart1->LeftAxis().Maximum(), 102.0);
    EXPECT_DOUBLE_EQ(Form1->Chart1->RightAxis().Maximum(), 102.0);

    // The TCP server receiver's road: its own text stays in panel 2, the axes stay.
    Form1->StatusBar1->Panels(2)->SetText(QStringLiteral("System: Tazo132"));
    Form1->currentLine = "2024-03-05 14:07:19 -50 300";
    Form1->runNewDataStep(Form1, {false, false});
    EXPECT_EQ(series(1).Count(), 2);
    EXPECT_DOUBLE_EQ(Form1->Chart1->LeftAxis().Maximum(), 102.0);
    EXPECT_EQ(panel(2), QStringLiteral("System: Tazo132"));
    EXPECT_EQ(panel(0), QStringLiteral("Zapis do pliku P20240305.dan"));
    EXPECT_EQ(fileBytes("P20240305.dan"),
              "DataTime  k1 k2\r\n2024-03-05  14:07:11  0 100\r\n2024-03-05  14:07:21  -50 300\r\n");
}
