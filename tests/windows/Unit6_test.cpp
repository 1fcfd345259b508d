// The measurement window as an object: placement, its folder and channel list, the
// show timer, geometry write-back, closing and reopening, series styling, the remarks,
// the chart's axis fit and the properties page's rows.

#include "tests/windows/WindowFixture.h"

#include "platform/vcl/FontFit.h"
#include "tests/support/FormDump.h"
#include "tests/support/QtInput.h"
#include "tests/support/WaitBreaker.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFontDatabase>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextDocument>
#include <memory>

#include <sys/stat.h>

using namespace windowtest;
using testsupport::TempCwd;

namespace {

int windowObjects()
{
    int n = 0;
    for (QWidget* w : Form1->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        n += dynamic_cast<TForm6*>(w) ? 1 : 0;
    return n;
}

struct PlacementCase {
    int n, k, mainWidth, screenHeight;
    int width, height, left, top;
};

// Main window 1200 x 93 at (0, 0) unless the screen height says otherwise.
const PlacementCase placementCases[] = {
    {1, 0, 1200, 1024, 1200, 800, 0, 93},
    {2, 0, 1200, 1024, 595, 396, 5, 93},
    {2, 1, 1200, 1024, 595, 396, 600, 93},
    {3, 0, 1200, 1024, 400, 266, 0, 93},
    {3, 1, 1200, 1024, 400, 266, 400, 93},
    {3, 2, 1200, 1024, 400, 266, 800, 93},
    {4, 0, 1200, 1024, 595, 435, 0, 93},
    {4, 1, 1200, 1024, 595, 435, 595, 93},
    {4, 2, 1200, 1024, 595, 435, 0, 528},
    {4, 3, 1200, 1024, 595, 435, 595, 528},
    {5, 4, 1200, 1024, 400, 435, 400, 528},
    {6, 2, 1200, 1024, 400, 435, 800, 93},
    {7, 6, 1200, 1024, 300, 435, 600, 528},
    {8, 0, 1200, 1024, 300, 435, 0, 93},
    {8, 3, 1200, 1024, 300, 435, 900, 93},
    {8, 4, 1200, 1024, 300, 435, 0, 528},
    {8, 7, 1200, 1024, 300, 435, 900, 528},
    // F = 300: the free height caps the windows of one row.
    {1, 0, 1200, 453, 1200, 300, 0, 93},
    {3, 1, 1200, 453, 400, 266, 400, 93},
    // F = 200 is below (2 x 400) div 3.
    {3, 1, 1200, 353, 400, 200, 400, 93},
};

} // namespace

TEST(Placement, TilesTheScreenBelowTheMainWindow)
{
    for (const auto& c : placementCases) {
        SCOPED_TRACE(testing::Message() << "n=" << c.n << " k=" << c.k << " SH=" << c.screenHeight);
        const auto p = placeWindow(c.n, c.k, c.mainWidth, 93, 0, 0, c.screenHeight);
        ASSERT_TRUE(p);
        EXPECT_EQ(p->width, c.width);
        EXPECT_EQ(p->height, c.height);
        EXPECT_EQ(p->left, c.left);
        EXPECT_EQ(p->top, c.top);
        EXPECT_EQ(p->splitterPos, 150);
    }
    for (int n : {0, 9, -1})
        EXPECT_FALSE(placeWindow(n, 0, 1200, 93, 0, 0, 1024)) << n;
}

TEST_F(WindowTest, AutomaticPlacementWritesTheRecordAtCreation)
{
    TForm6::screenHeightOverride = 1024;
    Form1->SetBounds(0, 0, 1200, 93);
    Form1->autoPlaceWindows = true;
    for (int n : {1, 2, 3, 4, 8}) {
        Form1->settings.windowCount = n;
        for (int k = 0; k < n; ++k) {
            SCOPED_TRACE(testing::Message() << "n=" << n << " k=" << k);
            // Built and not shown, so no window frame comes into the sizes.
            Form1->nextWindowIndex = k;
            std::unique_ptr<TForm6> w(vcl::CreateForm<TForm6>(Form1));
            const auto expected = placeWindow(n, k, 1200, 93, 0, 0, 1024);
            const auto& r = Form1->settings.windows[k];
            EXPECT_EQ(r.width, expected->width);
            EXPECT_EQ(r.height, expected->height);
            EXPECT_EQ(r.left, expected->left);
            EXPECT_EQ(r.top, expected->top);
            EXPECT_EQ(r.splitterPos, 150);
            EXPECT_EQ(w->Left(), expected->left);
            EXPECT_EQ(w->Top(), expected->top);
            EXPECT_EQ(w->Panel3->Width(), 150);
        }
    }
}

TEST_F(WindowTest, AWindowCountOutsideOneToEightKeepsTheStoredGeometry)
{
    Form1->autoPlaceWindows = true;
    Form1->settings.windowCount = 0;
    TForm6* w = open(0);
    const auto& r = Form1->settings.windows[0];
    EXPECT_EQ(r.width, 500);
    EXPECT_EQ(r.height, 500);
    EXPECT_EQ(r.left, 50);
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(w->Width(), 500);
    EXPECT_EQ(w->Left(), 50);
}

TEST_F(WindowTest, CreationMakesTheWindowFolderAndLeavesItCurrent)
{
    auto& r = Form1->settings.windows[0];
    r.state = 4;
    TForm6* w = open(0);
    ASSERT_NE(w, nullptr);
    EXPECT_TRUE(QFileInfo(windowDir(0)).isDir());
    EXPECT_EQ(QDir::currentPath(), windowDir(0));
    EXPECT_EQ(w->FileListBox1->Directory(), windowDir(0));
    EXPECT_EQ(w->windowName, "Okno1");
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno1  "));
    EXPECT_EQ(r.state, 0);
    EXPECT_EQ(acquisition::getText(Form1->settings.workFolder), workDir);
    const QStringList values = vcl::Lines(w->Memo3).ToList();
    ASSERT_EQ(values.size(), 11);
    EXPECT_EQ(values[0], QString());
    EXPECT_EQ(values[9], platform::cp1250ToUnicode(workDir));
    EXPECT_EQ(values[10], QStringLiteral("."));
    EXPECT_FALSE(w->StatusBar1->Visible());
    EXPECT_EQ(w->BitBtn1->FontColor(), vcl::clGreen);
    EXPECT_FALSE(w->tickArmed);
    EXPECT_TRUE(w->Chart1->Series(0).Active());
    EXPECT_FALSE(w->Chart1->Series(1).Active());
    EXPECT_EQ(w->Chart1->Series(34).Title(), "k35");
}

TEST_F(WindowTest, TheWindowCarriesItsPagesCaptionsItemsAndLimits)
{
    // A new window of slot 0 with no stored run and no channel list of its own.
    TForm6* w = open(0);
    ASSERT_NE(w, nullptr);
    const std::string dump = testsupport::ControlDump(w, {
                                                             {"Okno1", w},
                                                             {"PageControl1", w->PageControl1},
                                                             {"TabSheet1", w->TabSheet1},
                                                             {"Panel3", w->Panel3},
                                                             {"BitBtn1", w->BitBtn1},
                                                             {"Memo1", w->Memo1},
                                                             {"Splitter1", w->Splitter1},
                                                             {"Chart1", w->Chart1},
                                                             {"TabSheet2", w->TabSheet2},
                                                             {"Memo2", w->Memo2},
                                                             {"Memo3", w->Memo3},
                                                             {"Panel5", w->Panel5},
                                                             {"Memo4", w->Memo4},
                                                             {"TabSheet3", w->TabSheet3},
                                                             {"FileListBox1", w->FileListBox1},
                                                             {"LabeledEdit1", w->LabeledEdit1},
                                                             {"GroupBox1", w->GroupBox1},
                                                             {"CheckBox1", w->CheckBox1},
                                                             {"Label1", w->Label1},
                                                             {"Edit1", w->Edit1},
                                                             {"UpDown1", w->UpDown1},
                                                             {"Panel9", w->Panel9},
                                                             {"Panel6", w->Panel6},
                                                             {"UpDown2", w->UpDown2},
                                                             {"Edit2", w->Edit2},
                                                             {"ComboBox2", w->ComboBox2},
                                                             {"Label8", w->Label8},
                                                             {"StatusBar1", w->StatusBar1},
                                                             {"Timer1", w->Timer1},
                                                             {"Timer2", w->Timer2},
                                                         });
    const std::string expected =
        "Okno1 TForm6 caption=\"Okno1  \"\n"
        "PageControl1 TPageControl in=Okno1\n"
        "TabSheet1 TTabSheet in=PageControl1 caption=\"Badanie.\"\n"
        "Panel3 TPanel in=TabSheet1\n"
        "BitBtn1 TBitBtn in=Panel3 caption=\"START\"\n"
        "Memo1 TMemo in=Panel3\n"
        "Splitter1 TSplitter in=TabSheet1\n"
        "Chart1 TChart in=TabSheet1\n"
        "TabSheet2 TTabSheet in=PageControl1 caption=\"Właściwości\"\n"
        "Memo2 TMemo in=TabSheet2 lines=[Nazwa pomiaru:|Start pomiaru:|Koniec pomiaru:|Wartość minimalna:|"
        "Wartość maksymalna:|Średnia temperatura kompieli:|Temperatura kompieli minimalna:|"
        "Temperatura kompieli maksymalna:|Nazwa pliku pomiaru:|Nazwa folderu z pomiarami:|] readonly\n"
        // No run name yet in line 0; the working folder in line 9.
        "Memo3 TMemo in=TabSheet2 lines=[|||||||||" +
        platform::cp1250ToUnicode(workDir).toStdString() +
        "|.]\n"
        "Panel5 TPanel in=TabSheet2 caption=\"  Uwagi:\"\n"
        "Memo4 QPlainTextEdit in=TabSheet2\n"
        "TabSheet3 TTabSheet in=PageControl1 caption=\"Pomiary\"\n"
        "FileListBox1 TFileListBox in=TabSheet3 mask=\"*.dan;\"\n"
        "LabeledEdit1 TLabeledEdit in=TabSheet3 label=\"Nazwa pliku pomiarowego.\" max=79\n"
        "GroupBox1 TGroupBox in=TabSheet3 caption=\" Ustawienia wykresu. \"\n"
        "CheckBox1 TCheckBox in=GroupBox1 caption=\" Dopasuj wykres.\" checked\n"
        "Label1 TLabel in=GroupBox1 caption=\"k\"\n"
        "Edit1 TEdit in=GroupBox1 text=\"1\"\n"
        "UpDown1 TUpDown in=GroupBox1 range=1..9 position=1 associate=Edit1\n"
        "Panel9 TPanel in=GroupBox1 caption=\"Kolor\"\n"
        "Panel6 TPanel in=GroupBox1 caption=\"Grubość: 1\"\n"
        "UpDown2 TUpDown in=GroupBox1 range=1..5 position=1 associate=Edit2\n"
        // The pen width beside its arrows, for reading only.
        "Edit2 TEdit in=GroupBox1 text=\"1\" readonly\n"
        "ComboBox2 TComboBox in=TabSheet3 text=\"Wybierz kanał pomiarowy.\" items=[K1|k2|k3|k4|k5|k6|k7|k8|k9]\n"
        "Label8 TLabel in=TabSheet3\n"
        "StatusBar1 TStatusBar in=Okno1\n"
        "Timer1 TTimer in=Okno1 interval=500 off\n"
        "Timer2 TTimer in=Okno1 interval=400\n";
    EXPECT_EQ(dump, expected);
}

TEST_F(WindowTest, AnExistingFolderIsUsedWithItsChannelListAndStoredRun)
{
    // Twelve items, one marked: line 12 stands for channel 12.
    QByteArray list;
    for (int i = 1; i <= 12; ++i)
        list += "k" + QByteArray::number(i) + (i == 3 ? " Aktywny" : "") + "\r\n";
    cwd.file(QStringLiteral("Okno2/ChanelConfig.confs"), list);
    cwd.file(QStringLiteral("Okno2/old.dan"), "00:00:01  1.0\r\n");
    cwd.file(QStringLiteral("Okno2/notes.txt"), "x");
    auto& r = Form1->settings.windows[1];
    acquisition::setText(r.measurementName, "pomiar7");
    acquisition::setText(r.remarks, "uwaga \xB9\r\ndruga");
    Form1->settings.windowCount = 2;

    TForm6* w = open(1);
    ASSERT_EQ(w->ComboBox2->ItemCount(), 12);
    EXPECT_EQ(w->ComboBox2->itemText(2), QStringLiteral("k3 Aktywny"));
    EXPECT_EQ(w->ComboBox2->itemText(11), QStringLiteral("k12"));
    EXPECT_EQ(w->FileListBox1->Items(), QStringList{QStringLiteral("old.dan")});
    EXPECT_EQ(w->Caption(), QStringLiteral("Okno2  pomiar7"));
    EXPECT_EQ(vcl::Lines(w->Memo3).Get(0), QStringLiteral("pomiar7"));
    EXPECT_EQ(w->LabeledEdit1->Text(), QStringLiteral("pomiar7"));
    EXPECT_EQ(w->Memo4->toPlainText(), QStringLiteral("uwaga ą\ndruga"));
    EXPECT_EQ(acquisition::getText(r.remarks), "uwaga \xB9\r\ndruga") << "loading the remarks stores nothing";
}

// A FIFO under the channel list's name is no list: the window opens at once with the
// list it has without the file, instead of waiting for a writer.
TEST_F(WindowTest, AChannelListThatIsAFifoIsNoList)
{
    Form1->settings.windowCount = 2;
    ASSERT_TRUE(QDir().mkpath(windowDir(1)));
    const std::string fifo = QFile::encodeName(windowDir(1) + QStringLiteral("/ChanelConfig.confs")).toStdString();
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const auto items = [](TForm6* w) {
        QStringList out;
        for (int i = 0; i < w->ComboBox2->ItemCount(); ++i)
            out << w->ComboBox2->itemText(i);
        return out;
    };
    const QStringList withoutFile = items(open(0));
    ASSERT_FALSE(withoutFile.isEmpty());

    testsupport::WaitBreaker breaker([&] { testsupport::VisitFifo(fifo); });
    QElapsedTimer took;
    took.start();
    TForm6* w = open(1);
    EXPECT_LT(took.elapsed(), 2000) << "the window waited on the FIFO";
    ASSERT_NE(w, nullptr);
    EXPECT_EQ(items(w), withoutFile);
}

TEST_F(WindowTest, ChoosingAChannelTogglesItAndSavesTheList)
{
    TForm6* w = open(0);
    const QString file = windowDir(0) + QStringLiteral("/ChanelConfig.confs");

    toggle(w, 1);
    EXPECT_EQ(w->ComboBox2->itemText(1), QStringLiteral("k2 Aktywny"));
    EXPECT_EQ(w->Label8->Caption(), QStringLiteral("Wybrano kanał  2"));
    EXPECT_EQ(w->ComboBox2->Text(), QStringLiteral("Wybierz kanał pomiarowy."));
    EXPECT_EQ(readFile(file), crlfLines({"K1", "k2 Aktywny", "k3", "k4", "k5", "k6", "k7", "k8", "k9"}));

    toggle(w, 1);
    EXPECT_EQ(w->ComboBox2->itemText(1), QStringLiteral("k2"));
    EXPECT_EQ(w->Label8->Caption(), QStringLiteral("Usunięto kanał  2"));
    for (int i = 0; i < 5; ++i) {
        toggle(w, 0);
        toggle(w, 0);
    }
    EXPECT_EQ(w->ComboBox2->itemText(0), QStringLiteral("K1"));
    EXPECT_EQ(readFile(file), crlfLines({"K1", "k2", "k3", "k4", "k5", "k6", "k7", "k8", "k9"}));

    toggle(w, 1);
    toggle(w, 4);
    w->PageControl1->SetActivePageIndex(2);
    EXPECT_EQ(w->Label8->Caption(), QStringLiteral("Wybrany kanał  5"));
    toggle(w, 1);
    toggle(w, 4);
    w->PageControl1->SetActivePageIndex(0);
    w->PageControl1->SetActivePageIndex(2);
    EXPECT_EQ(w->Label8->Caption(), QStringLiteral("Nie wybrano kanału pomiarowego"));
}

TEST_F(WindowTest, TheShowTimerHidesAndShowsOneWindowPerTick)
{
    Form1->settings.windowCount = 3;
    TForm6* w[3] = {open(0), open(1), open(2)};
    w[1]->Close();
    EXPECT_EQ(Form1->settings.windows[1].state, 4);
    EXPECT_FALSE(w[1]->isVisible());

    Form1->windowShowCounter = 0;
    for (TForm6* x : w)
        x->Timer2Timer(x->Timer2);
    for (TForm6* x : w)
        EXPECT_FALSE(x->isVisible());
    EXPECT_EQ(Form1->windowShowCounter, 0);

    Form1->windowShowCounter = 1;
    w[2]->Timer2Timer(w[2]->Timer2);
    EXPECT_TRUE(w[2]->isVisible());
    EXPECT_FALSE(w[0]->isVisible());
    EXPECT_EQ(Form1->windowShowCounter, 2);
    w[1]->Timer2Timer(w[1]->Timer2);
    w[0]->Timer2Timer(w[0]->Timer2);
    EXPECT_EQ(Form1->windowShowCounter, 4);
    for (TForm6* x : w)
        EXPECT_TRUE(x->isVisible());
    EXPECT_EQ(Form1->settings.windows[1].state, 4) << "shown again by the timer, still closed";
    w[0]->Timer2Timer(w[0]->Timer2);
    EXPECT_EQ(Form1->windowShowCounter, 4);
}

TEST_F(WindowTest, OnlyResizesAfterCreationWriteTheGeometry)
{
    auto& r = Form1->settings.windows[0];
    TForm6* w = open(0);
    EXPECT_EQ(r.left, 50) << "applying the record wrote it back mid-way";
    EXPECT_EQ(r.top, 200);
    EXPECT_EQ(w->Left(), 50);
    EXPECT_EQ(w->Top(), 200);
    EXPECT_EQ(r.splitterPos, 40) << "a record never placed gets the 40-pixel panel at show";

    w->SetBounds(70, 80, 420, 380);
    EXPECT_EQ(r.width, 420);
    EXPECT_EQ(r.height, 380);
    EXPECT_EQ(r.left, 70);
    EXPECT_EQ(r.top, 80);
    w->SetLeft(90);
    EXPECT_EQ(r.left, 70) << "a move alone writes nothing";
    w->Panel3->SetWidth(20);
    EXPECT_EQ(r.splitterPos, 20);
    w->Hide();
    w->Show();
    EXPECT_EQ(w->Panel3->Width(), 40);
    EXPECT_EQ(r.splitterPos, 40);
}

TEST_F(WindowTest, ReopeningAClosedSlotShowsTheSameWindow)
{
    Form1->settings.windowCount = 2;
    TForm6* first = open(0);
    open(1);
    first->Close();
    EXPECT_FALSE(first->isVisible());
    EXPECT_EQ(Form1->settings.windows[0].state, 4);

    Form1->ComboBox1DropDown(Form1->ComboBox1);
    EXPECT_EQ(Form1->ComboBox1->Items(), (QStringList{"Okno 1", "----"}));
    Form1->ComboBox1->SetItemIndex(0);
    Form1->ComboBox1Change(Form1->ComboBox1);
    EXPECT_EQ(TForm6::ForSlot(0), first);
    EXPECT_TRUE(first->isVisible());
    EXPECT_EQ(Form1->settings.windows[0].state, 0);
    EXPECT_EQ(Form1->ComboBox1->Text(), QStringLiteral("Dodaj okno"));

    Form2->Button13Click(Form2->Button13); // "Wyświetl  okna."
    EXPECT_EQ(windowObjects(), 2);
    EXPECT_EQ(TForm6::ForSlot(0), first);
    // Placed anew; the window system's frame may add a few pixels once shown.
    EXPECT_NEAR(Form1->settings.windows[1].left, Form1->Left() + Form1->Width() / 2, 6);
}

TEST_F(WindowTest, ASecondObjectForATakenSlotLeavesItsSamplesAlone)
{
    TForm6* w = open(0);
    Form1->nextWindowIndex = 0;
    TForm6* extra = vcl::CreateForm<TForm6>(Form1);
    EXPECT_EQ(TForm6::ForSlot(0), w);
    Form1->settings.windows[0].newSample = 1;
    extra->Timer1Timer(extra->Timer1);
    extra->Timer1Timer(extra->Timer1);
    EXPECT_EQ(Form1->settings.windows[0].newSample, 1);
    delete extra;
    EXPECT_EQ(TForm6::ForSlot(0), w);
}

TEST_F(WindowTest, ColourAndPenWidthGoToTheSelectedSlot)
{
    auto& r = Form1->settings.windows[0];
    TForm6* w = open(0);
    EXPECT_EQ(w->UpDown2->Position(), 1) << "an unstyled slot shows the smallest width";
    EXPECT_EQ(r.penWidths[0], 0);

    w->UpDown1->SetPosition(3);
    dialogs.answerColor(vcl::clBlue);
    w->Panel9Click(w->Panel9);
    EXPECT_EQ(r.seriesColours[2], vcl::clBlue);
    EXPECT_EQ(w->Panel9->FontColor(), vcl::clBlue);
    dialogs.cancel();
    w->Panel9Click(w->Panel9);
    EXPECT_EQ(r.seriesColours[2], vcl::clBlue);

    w->UpDown2->ClickArrow(vcl::btNext);
    EXPECT_EQ(r.penWidths[2], 2);
    EXPECT_EQ(w->Panel6->Caption(), QStringLiteral("Grubość: 2"));

    r.penWidths[2] = 4;
    r.seriesColours[2] = vcl::clRed;
    w->Hide();
    w->Show();
    EXPECT_EQ(w->UpDown2->Position(), 4);
    EXPECT_EQ(w->Panel6->Caption(), QStringLiteral("Grubość: 4"));
    EXPECT_EQ(w->Panel9->FontColor(), vcl::clRed);
    EXPECT_EQ(r.penWidths[2], 4);
}

TEST_F(WindowTest, RemarksAreCutTo120Characters)
{
    auto& r = Form1->settings.windows[0];
    TForm6* w = open(0);
    const QString line = QString(40, QLatin1Char('a'));
    w->Memo4->setPlainText(line + "\n" + line + "\n" + line);
    EXPECT_EQ(w->Memo4->toPlainText(), line + "\n" + line + "\n" + QString(36, QLatin1Char('a')));
    const std::string stored = acquisition::getText(r.remarks);
    EXPECT_EQ(stored.size(), 120u);
    EXPECT_EQ(stored, std::string(40, 'a') + "\r\n" + std::string(40, 'a') + "\r\n" + std::string(36, 'a'));

    w->Memo4->setPlainText(QStringLiteral("zażółć"));
    EXPECT_EQ(acquisition::getText(r.remarks), "za\xBF\xF3\xB3\xE6");
    // A cut that would split a line break keeps no half of it.
    w->Memo4->setPlainText(QString(119, QLatin1Char('b')) + "\nc");
    EXPECT_EQ(acquisition::getText(r.remarks), std::string(119, 'b'));
}

namespace {

struct FitCase {
    const char* name;
    std::vector<std::vector<double>> active;
    std::vector<double> inactive;
    double bottom, top;
};

} // namespace

TEST_F(WindowTest, TheAxisFitFollowsTheActiveSeries)
{
    const FitCase cases[] = {
        {"20 to 22 is widened", {{20, 21, 22}}, {}, 17.46, 32.04},
        {"0 to 100", {{0, 100}}, {}, -2.0, 102.0},
        {"a span of exactly 15 is not widened", {{0, 15}}, {}, -0.3, 15.3},
        {"the inactive series is ignored", {{5, 8}, {30, 31}}, {-100, 100}, 4.48, 31.52},
        {"no active series", {}, {}, 7.7, 9.8},
    };
    TForm6* w = open(0);
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        for (int i = 0; i < w->Chart1->SeriesCount(); ++i) {
            w->Chart1->Series(i).Clear();
            w->Chart1->Series(i).SetActive(false);
        }
        int index = 0;
        for (const auto& values : c.active) {
            auto& s = w->Chart1->Series(index++);
            s.SetActive(true);
            for (double v : values)
                s.Add(v);
        }
        for (double v : c.inactive)
            w->Chart1->Series(index).Add(v);
        w->Dopasuj6WykresExecute(nullptr);
        EXPECT_NEAR(w->Chart1->LeftAxis().Minimum(), c.bottom, 1e-9);
        EXPECT_NEAR(w->Chart1->LeftAxis().Maximum(), c.top, 1e-9);
        EXPECT_NEAR(w->Chart1->RightAxis().Minimum(), c.bottom, 1e-9);
        EXPECT_NEAR(w->Chart1->RightAxis().Maximum(), c.top, 1e-9);
    }
}

TEST_F(WindowTest, AMissingWorkingFolderLeavesTheWindowFolderInTheCurrentOne)
{
    const QString elsewhere = cwd.mkdir(QStringLiteral("elsewhere"));
    QDir::setCurrent(elsewhere);
    Form1->workDir = workDir + "/gone";
    TForm6* w = open(0);
    EXPECT_EQ(w->FileListBox1->Directory(), elsewhere + QStringLiteral("/Okno1"));
    EXPECT_TRUE(QFileInfo(elsewhere + QStringLiteral("/Okno1")).isDir());
    EXPECT_FALSE(QFileInfo::exists(cwd.path() + QStringLiteral("/gone")));
    EXPECT_EQ(acquisition::getText(Form1->settings.workFolder), workDir + "/gone");
}

TEST_F(WindowTest, PropertyLabelsKeepOneLineEachLevelWithTheirValues)
{
    TForm6* w = open(0);
    ASSERT_NE(w, nullptr);
    w->SetBounds(0, 0, 900, 500);
    vcl::Lines(w->Memo3).Assign({QStringLiteral("Pomiar_1"), QStringLiteral("2024-03-05 14:07:09"),
                                 QStringLiteral("2024-03-05 15:07:09"), QStringLiteral("19.8"), QStringLiteral("23.4"),
                                 QStringLiteral("21.46"), QStringLiteral("19.8"), QStringLiteral("23.4"),
                                 QStringLiteral("Pomiar_1.dan"), QStringLiteral("/home/pomiary/Okno1"),
                                 QStringLiteral(".")});
    w->PageControl1->SetActivePageIndex(1);
    QApplication::processEvents();

    vcl::TMemo* labels = w->Memo2;
    vcl::TMemo* values = w->Memo3;
    ASSERT_EQ(labels->width(), 210) << "the designed width";
    const int inside = labels->viewport()->width();
    const int rightEdge = labels->PointOf({0, int(vcl::Lines(labels)[0].size())}).x();
    for (int i = 0; i < 10; ++i) {
        const std::string label = vcl::Lines(labels)[i].toStdString();
        const std::string value = vcl::Lines(values)[i].toStdString();
        // Where the label's first character starts and its last one ends.
        const QPoint first = labels->PointOf({i, 0});
        const QPoint last = labels->PointOf({i, int(vcl::Lines(labels)[i].size())});
        EXPECT_EQ(first.y(), last.y()) << label << " wraps";
        EXPECT_GE(first.x(), 0) << label << " is cut";
        EXPECT_LE(last.x(), inside) << label << " is cut";
        EXPECT_EQ(last.x(), rightEdge) << label << " stands apart from the column's right edge";
        // Value i stands on the same row as label i.
        const int labelRow = labels->viewport()->mapTo(w, first).y();
        const int valueRow = values->viewport()->mapTo(w, values->PointOf({i, 0})).y();
        EXPECT_EQ(labelRow, valueRow) << label << " beside " << value;
    }
}

TEST_F(WindowTest, ItsMemosShowWhatPlainTextEditsInTheirPlacesShow)
{
    // The run log, the property labels and the property values, each beside a plain text
    // edit made as the window's memos were: without wrap; the log in the fixed-pitch
    // font and without undo; the labels right-aligned, read-only, in the application's
    // font fitted to the widest label in the designed column; the values in the labels'
    // font and without undo. Both get the same text and the same keys.
    // A window placed before, its log as wide as designed; the note typed at the end of
    // a line goes past the log's right edge.
    Form1->settings.windows[0].splitterPos = 150;
    TForm6* w = open(0);
    ASSERT_NE(w, nullptr);
    w->SetBounds(0, 0, 900, 500);
    for (int i = 0; i < 3; ++i)
        vcl::Lines(w->Memo1).Add(QStringLiteral("00:00:0%1  21.5 22.0").arg(i));
    w->Show();
    QPlainTextEdit labelsColumn;
    labelsColumn.resize(210, 100);
    QString widest;
    for (const QString& label : vcl::Lines(w->Memo2).ToList())
        if (labelsColumn.fontMetrics().horizontalAdvance(label) > labelsColumn.fontMetrics().horizontalAdvance(widest))
            widest = label;
    const QFont labelFont = platform::FontFitting(labelsColumn.font(), widest, labelsColumn.contentsRect().width() - 8);
    QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    fixed.setFamilies({QStringLiteral("Courier New"), fixed.family()});
    const auto typeAndUndo = [](QWidget* memo) {
        testsupport::KeyClick(memo, Qt::Key_End, QString(), Qt::ControlModifier);
        testsupport::TypeText(memo, QStringLiteral("uwaga: czujnik k2 wymieniony o 10:40"));
        testsupport::KeyClick(memo, Qt::Key_Z, QString(), Qt::ControlModifier);
        testsupport::FocusOut(memo);
    };
    const struct {
        const char* name;
        int page;
        vcl::TMemo* memo;
        QFont font;
        bool readOnly;
        bool undo;
        Qt::Alignment alignment;
    } memos[] = {
        {"the run log", 0, w->Memo1, fixed, false, false, Qt::AlignLeft},
        {"the property labels", 1, w->Memo2, labelFont, true, false, Qt::AlignRight},
        {"the property values", 1, w->Memo3, labelFont, false, false, Qt::AlignLeft},
    };
    for (const auto& m : memos) {
        SCOPED_TRACE(m.name);
        w->PageControl1->SetActivePageIndex(m.page);
        QPlainTextEdit plain(m.memo->parentWidget());
        plain.setGeometry(m.memo->geometry());
        plain.setVerticalScrollBarPolicy(m.memo->verticalScrollBarPolicy());
        plain.setLineWrapMode(QPlainTextEdit::NoWrap);
        plain.setFont(m.font);
        plain.setReadOnly(m.readOnly);
        QTextOption option = plain.document()->defaultTextOption();
        option.setAlignment(m.alignment);
        plain.document()->setDefaultTextOption(option);
        plain.setPlainText(m.memo->toPlainText());
        plain.setUndoRedoEnabled(m.undo);
        plain.show();
        w->BitBtn1->setFocus();
        typeAndUndo(m.memo);
        typeAndUndo(&plain);
        QApplication::processEvents();
        EXPECT_EQ(m.memo->font(), plain.font());
        EXPECT_EQ(m.memo->toPlainText(), plain.toPlainText());
        EXPECT_TRUE(m.memo->viewport()->grab().toImage() == plain.viewport()->grab().toImage());
    }
}

TEST_F(WindowTest, AWindowShownAgainWhenNotRecordingMovesToTheCurrentWorkingFolder)
{
    Form1->settings.windowCount = 2;
    TForm6* idle = open(0);
    TForm6* busy = open(1);
    toggle(busy, 0);
    start(busy, QStringLiteral("rec.dan"));
    setValues({1.5f});
    sample(busy, 1000);
    const QString busyLog = windowDir(1) + QStringLiteral("/rec.dan");

    struct Command {
        const char* name;
        std::function<void()> run;
    } commands[] = {
        {"Dodaj okno",
         [&] {
             idle->Close();
             Form1->ComboBox1DropDown(Form1->ComboBox1);
             Form1->ComboBox1->SetItemIndex(0);
             Form1->ComboBox1Change(Form1->ComboBox1);
         }},
        {"Wyświetl  okna.", [] { Form2->Button13Click(Form2->Button13); }},
    };
    int round = 0;
    for (const Command& c : commands) {
        SCOPED_TRACE(c.name);
        const QString n = QString::number(++round);
        // A finished run stays on screen, in the folder the window was set up in.
        toggle(idle, 1);
        start(idle, QStringLiteral("old") + n + QStringLiteral(".dan"));
        setValues({0, 7.5f});
        sample(idle, 1000);
        idle->BitBtn1->Click(); // STOP
        ASSERT_EQ(idle->BitBtn1->Caption(), QStringLiteral("Nowy pomiar"));
        const QString oldLog = idle->FileListBox1->Directory() + QStringLiteral("/old") + n + QStringLiteral(".dan");
        const QByteArray oldBytes = readFile(oldLog);
        ASSERT_FALSE(oldBytes.isEmpty());

        // "Folder roboczy." chooses another working folder.
        const QString folder = cwd.mkdir(QStringLiteral("praca") + n);
        dialogs.answerFile(folder + QStringLiteral("/x.dan"));
        Form2->BitBtn2Click(Form2->BitBtn2);
        ASSERT_EQ(Form1->workDir, platform::unicodeToCp1250(folder));

        const int busyLines = vcl::Lines(busy->Memo1).Count();
        c.run();
        EXPECT_EQ(TForm6::ForSlot(0), idle) << "one window object per slot";
        EXPECT_TRUE(idle->isVisible());
        EXPECT_EQ(Form1->settings.windows[0].state, 0);
        EXPECT_EQ(idle->FileListBox1->Directory(), folder + QStringLiteral("/Okno1"));
        EXPECT_EQ(QDir::currentPath(), folder + QStringLiteral("/Okno1"));
        EXPECT_EQ(acquisition::getText(Form1->settings.workFolder), platform::unicodeToCp1250(folder));
        EXPECT_EQ(idle->Caption(), QStringLiteral("Okno1  old") + n);
        QStringList values(11, QString());
        values[0] = QStringLiteral("old") + n;
        values[9] = folder;
        values[10] = QStringLiteral(".");
        EXPECT_EQ(vcl::Lines(idle->Memo3).ToList(), values);
        EXPECT_EQ(idle->ComboBox2->Items(), (QStringList{"K1", "k2", "k3", "k4", "k5", "k6", "k7", "k8", "k9"}))
            << "the new folder holds no channel list yet";
        EXPECT_EQ(idle->BitBtn1->Caption(), QStringLiteral("START"));
        EXPECT_EQ(idle->BitBtn1->FontColor(), vcl::clGreen);
        EXPECT_EQ(vcl::Lines(idle->Memo1).Count(), 0);
        EXPECT_EQ(idle->Chart1->Series(0).Count(), 0);
        EXPECT_TRUE(idle->Chart1->Series(0).Active());
        EXPECT_EQ(idle->Chart1->Series(1).Count(), 0);
        EXPECT_FALSE(idle->Chart1->Series(1).Active());
        EXPECT_FALSE(idle->Timer1->Enabled());

        // Its next run is recorded in the new folder; the old run stays as it was.
        toggle(idle, 0);
        start(idle, QStringLiteral("new") + n + QStringLiteral(".dan"));
        setValues({2.5f});
        sample(idle, 1000);
        EXPECT_EQ(readFile(folder + QStringLiteral("/Okno1/new") + n + QStringLiteral(".dan")),
                  crlfLines({"00:00:01  2.5"}));
        sample(idle, 1000);
        EXPECT_EQ(readFile(oldLog), oldBytes);
        idle->BitBtn1->Click(); // STOP
        idle->BitBtn1->Click(); // "Nowy pomiar"

        // The recording window goes on recording where it was.
        EXPECT_EQ(busy->BitBtn1->Caption(), QStringLiteral("STOP"));
        EXPECT_EQ(busy->Caption(), QStringLiteral("Okno2  rec"));
        EXPECT_EQ(busy->FileListBox1->Directory(), windowDir(1));
        EXPECT_EQ(vcl::Lines(busy->Memo1).Count(), busyLines);
        sample(busy, 1000);
        EXPECT_EQ(vcl::Lines(busy->Memo1).Count(), busyLines + 1);
        EXPECT_EQ(readFile(busyLog).count('\n'), busyLines + 1);
    }
}
