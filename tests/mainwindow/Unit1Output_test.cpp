// The main window's output commands: the chart printed into a PDF file with its title
// and margins, the two clipboard images with the window put back as it was (also when
// the clipboard fails), the chart table in the text list, and the bitmap file.

#include "platform/vcl/Clipboard.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclDialogs.h"
#include "tests/support/FileBytes.h"
#include "tests/support/ProgramForms.h"
#include "tests/support/QtTestApp.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
#include <QScopeGuard>
#include <gtest/gtest.h>

#include <functional>

#include <string>
#include <vector>

using testsupport::TempCwd;

namespace {

// The device data file with a header block that the descriptor's example describes
// (287 bytes): its properties text keeps a CR after the end marker.
std::string exampleDataFile()
{
    std::string s = "VeskSystem measurement file\r\nChannels 3\r\n***End_of_Header***\r\n"
                    "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3\r\n";
    for (int i = 0; i < 5; ++i)
        s += "2024-03-01 12:00:" + std::string(1, char('0' + i)) + "0 21.5 22.0 19.8\r\n";
    return s + "Counter 5\r\n";
}

const char* const exampleColumnLine = "yyyy-mm-dd hh:mm:ss.nnn k1 k2 k3";

struct SeriesData {
    bool active;
    std::vector<double> values;
};

class OutputCommands : public ::testing::Test {
protected:
    // Forms as the program creates them, with a data file opened into the descriptor
    // and the full view on, in which the tool bar's buttons act.
    void SetUp() override
    {
        cwd.file("pomiar.dan", QByteArray::fromStdString(exampleDataFile()));
        cwd.file("inny.dan", QByteArray::fromStdString(exampleDataFile()));
        testsupport::CreateProgramForms();
        Form1->dataFile.fileName = (cwd.path() + "/pomiar.dan").toStdString();
        Form1->WlasciwosciPlikuExecute(nullptr);
        ASSERT_EQ(Form1->dataFile.fileSize, 287u);
        Form1->BitBtn3Click(Form1->BitBtn3);
        Form1->Show();
    }
    void TearDown() override { testsupport::DestroyProgramForms(); }

    // Point j of every series carries the label 12:00:0(j+1).
    void plot(const std::vector<SeriesData>& series)
    {
        for (int i = 0; i < TForm1::seriesCount; ++i) {
            Form1->Chart1->Series(i).Clear();
            Form1->Chart1->Series(i).SetActive(false);
        }
        for (std::size_t i = 0; i < series.size(); ++i) {
            auto& s = Form1->Chart1->Series(int(i));
            for (std::size_t j = 0; j < series[i].values.size(); ++j)
                s.Add(series[i].values[j], "12:00:0" + std::to_string(j + 1));
            s.SetActive(series[i].active);
        }
    }
    QStringList memoLines() const { return vcl::Lines(Form1->Memo1).ToList(); }

    TempCwd cwd;
    platform::MessageScript boxes;
    vcl::DialogScript dialogs;
};

// ---- Chart table.

struct TableCase {
    const char* name;
    const char* propertiesText; // nullptr: as the example file gave it
    std::vector<SeriesData> series;
    double shownFrom, shownTo; // bottom axis range; equal: automatic
    QStringList expected;
};

TEST_F(OutputCommands, ChartTableLines)
{
    const QString col = QString::fromLatin1(exampleColumnLine);
    const QString head = QStringLiteral("VeskSystem measurement fileChannels 3");
    const QString marker = QStringLiteral("***End_of_Header***");
    const TableCase cases[] = {
        {"the example: the last visible point is not written",
         nullptr,
         {{true, {21.5, 21.6, 21.7}}, {true, {3.25, 3.5, 3.75}}},
         0,
         0,
         {head, marker, "", col, "12:00:01 21.50 3.25", "12:00:02 21.60 3.50", "Counter 2"}},
        {"one visible point", nullptr, {{true, {5}}}, 0, 0, {head, marker, "", col, "Counter 0"}},
        {"no Counter: nothing of the header",
         "VeskSystem x\r\n***End_of_Header***\r\r\n",
         {{true, {1, 2}}},
         0,
         0,
         {"", col, "12:00:01 1.00", "Counter 1"}},
        {"ErrorCounter keeps Error",
         "VeskSystem x\r\n***End_of_Header***\r\r\nErrorCounter 0\nCounter 5",
         {{true, {1, 2}}},
         0,
         0,
         {"VeskSystem x", marker, "Error", col, "12:00:01 1.00", "Counter 1"}},
        {"inactive series write no column; two decimals",
         nullptr,
         {{true, {3.14159, 1}}, {false, {7, 7}}, {true, {2, 2.005}}},
         0,
         0,
         {head, marker, "", col, "12:00:01 3.14 2.00", "Counter 1"}},
        {"only the visible range",
         nullptr,
         {{true, {1, 2, 3, 4, 5}}},
         1,
         3,
         {head, marker, "", col, "12:00:02 2.00", "12:00:03 3.00", "Counter 2"}},
        {"a shorter active series writes the missing value",
         nullptr,
         {{true, {1, 2, 3}}, {true, {7}}},
         0,
         0,
         {head, marker, "", col, "12:00:01 1.00 7.00", "12:00:02 2.00 -.-", "Counter 2"}},
        {"the longest later series is the reference",
         nullptr,
         {{true, {1}}, {true, {4, 5, 6}}},
         0,
         0,
         {head, marker, "", col, "12:00:01 1.00 4.00", "12:00:02 -.- 5.00", "Counter 2"}},
    };
    const std::string fromFile = Form1->dataFile.propertiesText;
    for (const TableCase& c : cases) {
        Form1->dataFile.propertiesText = c.propertiesText ? c.propertiesText : fromFile;
        plot(c.series);
        auto& bottom = Form1->Chart1->BottomAxis();
        bottom.SetAutomatic(c.shownFrom == c.shownTo);
        if (c.shownFrom != c.shownTo)
            bottom.SetMinMax(c.shownFrom, c.shownTo);
        Form1->Memo1->setPlainText(QStringLiteral("earlier text\n"));
        Form1->SaveToTableClick(nullptr);
        EXPECT_EQ(memoLines(), c.expected) << c.name;
    }
}

TEST_F(OutputCommands, SecondChartTableStillCarriesTheHeader)
{
    const std::string properties = Form1->dataFile.propertiesText;
    plot({{true, {21.5, 21.6, 21.7}}});
    Form1->SaveToTable->setEnabled(true); // as opening a data file leaves it
    Form1->SaveToTable->trigger();
    const QStringList first = memoLines();
    ASSERT_EQ(first.size(), 7);
    Form1->SaveToTable->trigger();
    EXPECT_EQ(memoLines(), first);
    EXPECT_EQ(Form1->dataFile.propertiesText, properties) << "the settings dialog still shows the whole header";
    EXPECT_TRUE(boxes.records().empty());
}

// ---- Printing.

struct PdfWord {
    double xMin, yMin, xMax, yMax;
    QString text;
};

// The words of the PDF's first page with their boxes, and the page size (poppler).
std::vector<PdfWord> pdfWords(const QString& pdf, double& pageWidth, double& pageHeight)
{
    QProcess p;
    p.start(QStringLiteral("pdftotext"),
            {QStringLiteral("-bbox"), QStringLiteral("-l"), QStringLiteral("1"), pdf, QStringLiteral("-")});
    if (!p.waitForFinished(10000) || p.exitCode() != 0) {
        ADD_FAILURE() << "pdftotext (poppler-utils) could not read " << pdf.toStdString() << ": "
                      << p.errorString().toStdString();
        return {};
    }
    const QString html = QString::fromUtf8(p.readAllStandardOutput());
    const QRegularExpressionMatch page =
        QRegularExpression(QString::fromLatin1(R"re(<page width="([\d.]+)" height="([\d.]+)")re")).match(html);
    pageWidth = page.captured(1).toDouble();
    pageHeight = page.captured(2).toDouble();
    std::vector<PdfWord> words;
    QRegularExpression word(QString::fromLatin1(
        R"re(<word xMin="([\d.]+)" yMin="([\d.]+)" xMax="([\d.]+)" yMax="([\d.]+)">([^<]*)</word>)re"));
    for (auto it = word.globalMatch(html); it.hasNext();) {
        const auto m = it.next();
        words.push_back({m.captured(1).toDouble(), m.captured(2).toDouble(), m.captured(3).toDouble(),
                         m.captured(4).toDouble(), m.captured(5)});
    }
    return words;
}

TEST_F(OutputCommands, PrintWritesTheChartWithItsTitleIntoAPdfFile)
{
    plot({{true, {20, 21, 22, 23, 24}}});
    Form1->FileListBox1->Update();
    Form1->FileListBox1->SetFileName(QStringLiteral("pomiar.dan"));
    // The chart shows another file's data: the title still names the selected one.
    Form1->dataFile.fileName = (cwd.path() + "/inny.dan").toStdString();
    const QString pdf = cwd.path() + "/wydruk.pdf";
    dialogs.answerPrintToPdf(pdf);

    Form1->ToolButton1->click();

    ASSERT_TRUE(boxes.records().empty()) << boxes.records().front().text.toStdString();
    ASSERT_EQ(dialogs.records().size(), 1u);
    EXPECT_EQ(dialogs.records()[0].kind, QStringLiteral("print"));
    EXPECT_EQ(testsupport::readBytes(pdf.toStdString()).substr(0, 5), "%PDF-");
    EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("Koniec wydruku"));
    EXPECT_EQ(Form1->StatusBar1->Panels(2)->Text(), QStringLiteral("Wydruk zapisano do pliku: ") + pdf);
    EXPECT_FALSE(Form1->Chart1->TitleVisible());

    double width = 0, height = 0;
    const std::vector<PdfWord> words = pdfWords(pdf, width, height);
    ASSERT_FALSE(words.empty());
    QStringList texts;
    for (const PdfWord& w : words)
        texts << w.text;
    const QString all = texts.join(' ');
    EXPECT_TRUE(all.contains(QStringLiteral("Pomiary z pliku: pomiar.dan"))) << all.toStdString();
    EXPECT_TRUE(all.contains(QStringLiteral("12:00:0"))) << "the chart's point labels: " << all.toStdString();
    // Margins of 2 % left, top and right and 5 % at the bottom, and the chart not kept
    // in its screen shape: it reaches down to the bottom margin.
    double lowest = 0;
    for (const PdfWord& w : words) {
        EXPECT_GE(w.xMin, width * 0.02) << w.text.toStdString();
        EXPECT_LE(w.xMax, width * 0.98) << w.text.toStdString();
        EXPECT_GE(w.yMin, height * 0.02) << w.text.toStdString();
        EXPECT_LE(w.yMax, height * 0.95) << w.text.toStdString();
        lowest = std::max(lowest, w.yMax);
        if (w.text == QStringLiteral("Pomiary")) {
            EXPECT_LT(w.yMin, height * 0.15) << "the title stands on top";
        }
    }
    EXPECT_GT(lowest, height * 0.85);
}

TEST_F(OutputCommands, PrintCancelledOrFailedLeavesTheTitleHidden)
{
    plot({{true, {20, 21}}});
    dialogs.cancel();
    Form1->ToolButton1->click();
    EXPECT_TRUE(Form1->StatusBar1->Panels(0)->Text().isEmpty());
    EXPECT_FALSE(Form1->Chart1->TitleVisible());

    const QString pdf = cwd.path() + "/no such folder/wydruk.pdf";
    dialogs.answerPrintToPdf(pdf);
    Form1->ToolButton1->click();
    ASSERT_EQ(boxes.records().size(), 1u);
    EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Nie można wydrukować wykresu do pliku: ") + pdf);
    EXPECT_FALSE(Form1->Chart1->TitleVisible());
    EXPECT_EQ(Form1->StatusBar1->Panels(0)->Text(), QStringLiteral("Błąd wydruku"));
}

// ---- Clipboard images.

std::vector<std::pair<QRect, bool>> layoutOf(const TForm1& f)
{
    std::vector<std::pair<QRect, bool>> out;
    for (const QWidget* w : std::initializer_list<const QWidget*>{f.Panel2, f.Panel1, f.Splitter1, f.Panel8, f.Chart1,
                                                                  f.Splitter2, f.Panel4, f.StatusBar1})
        out.emplace_back(w->geometry(), vcl::Visible(w));
    return out;
}

TEST_F(OutputCommands, CopiesPutTheWindowImageAndBringTheWindowBack)
{
    plot({{true, {20, 21, 22}}});
    struct Case {
        const char* name;
        vcl::TToolButton* button;
        bool rightLayout;
        bool clipboardFails;
    };
    const Case cases[] = {
        {"Kopiuj całość..", Form1->ToolButton9, false, false},
        {"Kopiuj wykres..", Form1->ToolButton11, false, false},
        {"Kopiuj wykres.., right layout", Form1->ToolButton11, true, false},
        {"Kopiuj całość.., clipboard taken", Form1->ToolButton9, false, true},
        {"Kopiuj wykres.., clipboard taken", Form1->ToolButton11, true, true},
    };
    for (const Case& c : cases) {
        if ((Form1->layoutRight == 1) != c.rightLayout)
            Form1->BitBtn2Click(nullptr);
        const auto before = layoutOf(*Form1);
        QGuiApplication::clipboard()->setImage(QImage(1, 1, QImage::Format_RGB32));
        platform::ClipboardScript clipboard;
        if (c.clipboardFails)
            clipboard.failNext(QStringLiteral("Schowek jest zajęty."));
        boxes.clear();

        c.button->click();

        if (c.clipboardFails) {
            ASSERT_EQ(boxes.records().size(), 1u) << c.name;
            EXPECT_EQ(boxes.records()[0].text, QStringLiteral("Schowek jest zajęty.")) << c.name;
            EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(1, 1)) << c.name;
        } else {
            EXPECT_TRUE(boxes.records().empty()) << c.name;
            EXPECT_EQ(clipboard.copies(), 1) << c.name;
            EXPECT_EQ(QGuiApplication::clipboard()->image().size(), QSize(Form1->ClientWidth(), Form1->ClientHeight()))
                << c.name;
        }
        EXPECT_EQ(layoutOf(*Form1), before) << c.name;
        EXPECT_TRUE(Form1->BitBtn4->isVisible()) << c.name << ": START stays reachable";
        EXPECT_TRUE(Form1->BitBtn1->isVisible()) << c.name << ": &Zamknij stays reachable";
        EXPECT_EQ(Form1->StatusBar1->geometry().bottom(), Form1->ClientHeight() - 1) << c.name;
    }
}

// ---- Bitmap.

TEST_F(OutputCommands, BitmapFileIsAnImageOfTheChartsSize)
{
    plot({{true, {20, 21, 22}}});
    Form1->SaveToFile->setEnabled(true); // as opening a data file leaves it
    dialogs.answerFile(QStringLiteral("wykres"));
    Form1->SaveToFile->trigger();

    ASSERT_EQ(dialogs.records().size(), 1u);
    EXPECT_EQ(dialogs.records()[0].filter, QStringLiteral("Plik graficzny|*.bmp"));
    EXPECT_EQ(dialogs.records()[0].defaultExt, QStringLiteral("*.bmp"));
    const QString path = cwd.path() + "/wykres.bmp";
    EXPECT_EQ(testsupport::readBytes(path.toStdString()).substr(0, 2), "BM");
    const QImage image(path, "BMP");
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.size(), Form1->Chart1->size());
    EXPECT_TRUE(boxes.records().empty());

    // A folder that does not exist: the error reaches the user, the name in its own
    // letters, and nothing is written.
    for (const QString& folder : {QStringLiteral("no such folder"), QStringLiteral("brak folderu żółć")}) {
        boxes.clear();
        dialogs.answerFile(folder + QStringLiteral("/wykres.bmp"));
        Form1->SaveToFile->trigger();
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_TRUE(boxes.records()[0].text.contains(folder + QStringLiteral("/wykres.bmp")))
            << boxes.records()[0].text.toStdString();
        EXPECT_FALSE(QFile::exists(cwd.path() + "/" + folder));
    }
}

TEST_F(OutputCommands, TheBitmapIsOfferedItsOwnNameAndAsksBeforeItReplacesAFile)
{
    const QString opened = cwd.path() + "/pomiar.dan";
    const QString other = cwd.path() + "/inny.dan";
    const QString bitmap = cwd.path() + "/wykres.bmp";
    const QByteArray data = QByteArray::fromStdString(exampleDataFile());
    const auto cleanUp = qScopeGuard([] { vcl::SetFileInUse({}); });
    const QString question = QStringLiteral("Plik %1 już istnieje.\nCzy zamienić go?");

    struct Case {
        const char* name;
        bool bitmapThere;         // "wykres.bmp" is there before
        QStringList answers;      // the dialog's answers in turn; then it is cancelled
        std::vector<int> replies; // to the boxes in turn
        QStringList boxes;
        bool saved; // "wykres.bmp" holds the chart afterwards
    } cases[] = {
        {"the data file that is open",
         false,
         {opened},
         {},
         {QStringLiteral("Plik %1 jest otwarty w programie.\nZapisz pod inną nazwą.").arg(opened)},
         false},
        {"another data file, No", false, {other}, {platform::IDNO}, {question.arg(other)}, false},
        {"another data file, No, then a new name",
         false,
         {other, "wykres"},
         {platform::IDNO},
         {question.arg(other)},
         true},
        {"an existing bitmap, No", true, {"wykres"}, {platform::IDNO}, {question.arg(bitmap)}, false},
        {"an existing bitmap, Yes", true, {"wykres"}, {platform::IDYES}, {question.arg(bitmap)}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QFile::remove(bitmap);
        if (c.bitmapThere)
            testsupport::writeBytes(bitmap.toStdString(), "stary");
        Form1->openDataFile(opened);
        ASSERT_TRUE(Form1->SaveToFile->isEnabled());
        vcl::DialogScript dialogs;
        for (const QString& a : c.answers)
            dialogs.answerFile(a);
        boxes.clear();
        for (const int r : c.replies)
            boxes.answer(r);
        Form1->SaveToFile->trigger();

        ASSERT_FALSE(dialogs.records().empty());
        // The dialog holds the opened file's name for "Do pliku"; the bitmap is offered
        // that name as a bitmap, and a cancel gives the data file's name back.
        EXPECT_EQ(dialogs.records()[0].fileName, QStringLiteral("pomiar.bmp"));
        if (!c.saved) {
            EXPECT_EQ(Form1->SaveDialog1->FileName(), QStringLiteral("pomiar.dan"));
        }
        QStringList texts;
        for (const platform::MessageRecord& r : boxes.records())
            texts << r.text;
        EXPECT_EQ(texts, c.boxes);
        EXPECT_EQ(testsupport::ReadFileBytes(opened), data);
        EXPECT_EQ(testsupport::ReadFileBytes(other), data);
        const std::string after = testsupport::readBytes(bitmap.toStdString());
        if (c.saved)
            EXPECT_EQ(after.substr(0, 2), "BM");
        else
            EXPECT_EQ(after, c.bitmapThere ? "stary" : "");
    }
}

// Every command that writes a file chosen in a dialog refuses the data file that is
// open, and the dialog comes back for another name (here cancelled).
TEST_F(OutputCommands, NoSaveWritesOverTheOpenDataFile)
{
    const QString opened = cwd.path() + "/pomiar.dan";
    const QByteArray data = QByteArray::fromStdString(exampleDataFile());
    Form1->openDataFile(opened);
    const auto cleanUp = qScopeGuard([] { vcl::SetFileInUse({}); });
    vcl::Lines(Form2->Memo1).Assign({QStringLiteral("konsola")});
    plot({{true, {20, 21, 22}}});
    const struct {
        const char* name;
        std::function<void()> save;
        bool print;
    } saves[] = {
        {"Zapisz wykres jako *.bmp", [] { Form1->SaveToFile->trigger(); }, false},
        {"Do pliku", [] { Form1->ToolButton5->click(); }, false},
        {"the console's save", [] { Form2->Button7->click(); }, false},
        {"print into a file", [] { Form1->ToolButton1->click(); }, true},
    };
    for (const auto& s : saves) {
        SCOPED_TRACE(s.name);
        vcl::DialogScript dialogs;
        if (s.print)
            dialogs.answerPrintToPdf(opened);
        else
            dialogs.answerFile(opened);
        boxes.clear();
        s.save();
        EXPECT_EQ(dialogs.records().size(), 2u) << "the dialog came back";
        ASSERT_EQ(boxes.records().size(), 1u);
        EXPECT_EQ(boxes.records()[0].text,
                  QStringLiteral("Plik %1 jest otwarty w programie.\nZapisz pod inną nazwą.").arg(opened));
        EXPECT_EQ(testsupport::ReadFileBytes(opened), data);
    }
}

} // namespace
