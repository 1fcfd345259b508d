#include "mainwindow/Unit1.h"

#include "acquisition/PortCom.h"
#include "dialogs/Unit2.h"
#include "platform/links/Threads.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/FontFit.h"
#include "platform/vcl/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QScreen>
#include <QStyle>

#include <algorithm>

using platform::fromAnsi;
using platform::toAnsi;

TForm1* Form1 = nullptr;
std::function<void(TForm1&)> TForm1::createMeasurementWindow;

using namespace vcl;

namespace {

bool folderExists(const std::string& ansiPath) { return !ansiPath.empty() && QFileInfo(fromAnsi(ansiPath)).isDir(); }

// The buttons of the top bar stand in one row.
TBitBtn* topButton(TPanel* bar, const QString& caption, const QString& hint, int left, int width)
{
    return NewButton<TBitBtn>(bar, caption, left, 4, width, 27, hint);
}

} // namespace

TForm1::TForm1(QWidget* Owner) : TForm(Owner)
{
    buildComponents();
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    OnResize = [this](TObject* s) { FormResize(s); };
}

TForm1::~TForm1() = default;

void TForm1::buildComponents()
{
    SetCaption(QStringLiteral("VESK Tazo6xDalvinter 2022"));
    SetFontName(QStringLiteral("Tahoma"));
    SetClientWidth(1472);
    SetClientHeight(661);

    // Top bar.
    Panel2 = new TPanel(this);
    Panel2->SetHeight(35);
    Panel2->SetAlign(alTop);
    Panel6 = new TPanel(Panel2);
    Panel6->SetBevelOuter(bvNone);
    Panel6->SetWidth(5);
    Panel6->SetAlign(alLeft);
    Label1 = new TLabel(Panel6);
    Label1->SetCaption(QStringLiteral("Nazwa pliku"));
    Label1->SetVisible(false);
    Edit1 = new TEdit(Panel6);
    Edit1->SetVisible(false);

    BitBtn4 = topButton(Panel2, QStringLiteral("START"), QStringLiteral("Połącz / rozłącz z urządzeniem.."), 8, 90);
    BitBtn4->SetFontBold(true);
    BitBtn4->SetFontColor(clGreen);
    BitBtn3 = topButton(Panel2, QStringLiteral("[_][_]"), QStringLiteral("Okno główne / okna pomiarowe..."), 104, 56);
    BitBtn2 = topButton(Panel2, QStringLiteral("_"), QStringLiteral("Zmień ustawienie okien.."), 164, 36);
    BitBtn2->SetEnabled(false);
    ComboBox1 = new TComboBox(Panel2);
    ComboBox1->SetBounds(206, 7, 130, 22);
    ComboBox1->SetText(QStringLiteral("Dodaj okno"));
    ComboBox1->SetHint(QStringLiteral("Dodaj usunięte okna..."));
    BitBtn5 = topButton(Panel2, QString(), QStringLiteral("Ustawienia programu.."), 342, 32);
    BitBtn5->SetGlyph(style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    BitBtn6 = topButton(Panel2, QString(), QStringLiteral("O programie..."), 378, 32);
    BitBtn6->SetGlyph(style()->standardIcon(QStyle::SP_MessageBoxInformation));
    BitBtn1 = new TBitBtn(Panel2);
    BitBtn1->SetCaption(QStringLiteral("&Zamknij"));
    BitBtn1->SetWidth(96);
    BitBtn1->SetAlign(alRight);

    // The tool bar is hidden in the form and never shown.
    ToolBar1 = new TToolBar(Panel2);
    ToolBar1->SetBounds(420, 2, 420, 30);
    ToolButton1 = NewToolButton(ToolBar1, QString(), QString());
    ToolButton3 = NewToolButton(ToolBar1, QString(), QStringLiteral("Czytaj pomiary.."));
    ToolButton5 = NewToolButton(ToolBar1, QString(), QStringLiteral("Do pliku"), tbsDropDown);
    ToolButton7 = NewToolButton(ToolBar1, QString(), QStringLiteral("Nowe pomiary.."));
    ToolButton9 = NewToolButton(ToolBar1, QString(), QStringLiteral("Kopiuj całość.."));
    ToolButton15 = NewToolButton(ToolBar1, QString(), QStringLiteral("Czytaj jeden pomiar."), tbsDropDown);
    ToolButton13 = NewToolButton(ToolBar1, QString(), QStringLiteral("Czytaj pomiary z ustawioną częstością.."));
    ToolButton18 = NewToolButton(ToolBar1, QString(), QStringLiteral("Stop czytania pomiarów."));
    ToolButton20 = NewToolButton(ToolBar1, QString(), QStringLiteral("Widok 3D"), tbsCheck);
    ToolButton27 = NewToolButton(ToolBar1, QString(), QStringLiteral("Pokaż etykiety."), tbsCheck);
    ToolButton33 = NewToolButton(ToolBar1, QString(), QStringLiteral("Pokaż wartości wykresów.."), tbsCheck);
    ToolButton29 = NewToolButton(ToolBar1, QString(), QString(), tbsCheck);
    ToolButton29->SetDown(true);
    ToolButton31 = NewToolButton(ToolBar1, QString(), QStringLiteral("Wyłącz/włącz wybrany wykres.."), tbsCheck);
    ToolButton11 = NewToolButton(ToolBar1, QString(), QStringLiteral("Kopiuj wykres.."));
    ToolBar1->SetVisible(false);
    ToolButton29->OnClick = [this](TObject* s) { ToolButton29Click(s); };
    ToolButton20->OnClick = [this](TObject* s) { ToolButton20Click(s); };
    ToolButton31->OnClick = [this](TObject* s) { ToolButton31Click(s); };
    ToolButton27->OnClick = [this](TObject* s) { ToolButton27Click(s); };
    ToolButton33->OnClick = [this](TObject* s) { ToolButton33Click(s); };
    ToolButton1->OnClick = [this](TObject* s) { ToolButton1Click(s); };
    ToolButton9->OnClick = [this](TObject* s) { ToolButton9Click(s); };
    ToolButton11->OnClick = [this](TObject* s) { ToolButton11Click(s); };

    // Status bar before the lower panel, so it stays the bottom-most.
    StatusBar1 = new TStatusBar(this);
    StatusBar1->AddPanel(220);
    StatusBar1->AddPanel(100);
    StatusBar1->AddPanel(100);

    // Left panel: folder list over file list.
    Panel1 = new TPanel(this);
    Panel1->SetWidth(185);
    Panel1->SetAlign(alLeft);
    DirectoryListBox1 = new TDirectoryListBox(Panel1);
    DirectoryListBox1->SetHeight(176);
    DirectoryListBox1->SetAlign(alTop);
    Splitter3 = new TSplitter(Panel1);
    Splitter3->SetHeight(3);
    Splitter3->SetAlign(alTop);
    FileListBox1 = new TFileListBox(Panel1);
    FileListBox1->SetMask(QStringLiteral("*.txt;*.dan;"));
    FileListBox1->SetAlign(alClient);
    DirectoryListBox1->SetFileList(FileListBox1);
    Splitter1 = new TSplitter(this);
    Splitter1->SetWidth(3);
    Splitter1->SetAlign(alLeft);

    // Paged-view controls above the chart, hidden until a file is paged.
    Panel8 = new TPanel(this);
    Panel8->SetHeight(30);
    Panel8->SetAlign(alTop);
    TrackBar1 = new TTrackBar(Panel8);
    TrackBar1->SetBounds(4, 2, 400, 26);
    TrackBar1->SetMax(2147483647);
    TrackBar1->SetPosition(32767);
    Edit2 = NewEdit(Panel8, QString(), 410, 4, 70, 22);
    UpDown1 = new TUpDown(Panel8);
    UpDown1->SetMin(1000);
    UpDown1->SetMax(40000);
    UpDown1->SetIncrement(1000);
    UpDown1->SetAssociate(Edit2);
    UpDown1->SetPosition(5000);
    Edit3 = NewEdit(Panel8, QStringLiteral("5000"), 500, 4, 120, 22);
    Panel8->SetVisible(false);

    // Grid and text list: at the bottom, or at the right of the chart.
    Panel4 = new TPanel(this);
    Panel4->SetHeight(263);
    Panel4->SetAlign(alBottom);
    Splitter2 = new TSplitter(this);
    Splitter2->SetHeight(3);
    Splitter2->SetTop(Panel4->Top() - 3);
    Splitter2->SetAlign(alBottom);
    Panel7 = new TPanel(Panel4);
    Panel7->SetHeight(64);
    Panel7->SetAlign(alTop);
    constexpr int gridColumnWidth = 38;
    StringGrid1 = new QTableWidget(2, seriesCount, Panel7);
    StringGrid1->horizontalHeader()->setVisible(false);
    StringGrid1->verticalHeader()->setVisible(false);
    StringGrid1->horizontalHeader()->setMinimumSectionSize(10);
    StringGrid1->horizontalHeader()->setDefaultSectionSize(gridColumnWidth);
    StringGrid1->verticalHeader()->setMinimumSectionSize(10);
    StringGrid1->verticalHeader()->setDefaultSectionSize(18);
    // A value of the usual width (up to five digits and a point) stands whole in its
    // cell, not as "21…": the cell gives its text the column less the grid line and the
    // style's margin at both sides.
    const int cellMargin = StringGrid1->style()->pixelMetric(QStyle::PM_FocusFrameHMargin, nullptr, StringGrid1) + 1;
    const int cellText = gridColumnWidth - (StringGrid1->showGrid() ? 1 : 0) - 2 * cellMargin;
    StringGrid1->setFont(platform::FontFitting(StringGrid1->font(), QStringLiteral("000.00"), cellText));
    vcl::SetAlign(StringGrid1, alClient);
    Memo1 = new vcl::TMemo(Panel4);
    QFont mono = vcl::TMemo::FixedPitchFont();
    // Its 8-bit text needs no shaping, and without it a long line lays out in a fraction of the time.
    mono.setStyleStrategy(QFont::PreferNoShaping);
    Memo1->setFont(mono);
    // It shows files and readings; what the user types there is not taken back.
    Memo1->setUndoRedoEnabled(false);
    vcl::SetAlign(Memo1, alClient);

    Chart1 = new platform::TChart(seriesCount, this);
    for (int i = 0; i < seriesCount; ++i) {
        auto& s = Chart1->Series(i);
        s.SetTitle("k" + std::to_string(i + 1));
        s.SetActive(false);
    }
    Chart1->SetTitleVisible(false);
    Chart1->SetLegendAlignment(platform::laBottom);
    Chart1->LeftAxis().SetAutomatic(false);
    Chart1->RightAxis().SetAutomatic(false);
    Chart1->SetView3D(false);
    vcl::SetAlign(Chart1, alClient);
    Chart1->OnClickSeries = [this](platform::TChart& c, platform::TLineSeries& s, int i, vcl::TMouseButton b,
                                   vcl::TShiftState sh, QPoint p) { Chart1ClickSeries(c, s, i, b, sh, p); };
    Chart1->OnClickLegend = [this](platform::TChart& c, vcl::TMouseButton b, vcl::TShiftState sh, int item, QPoint p) {
        Chart1ClickLegend(c, b, sh, item, p);
    };

    Timer1 = new TTimer(this);
    Timer1->SetEnabled(false);
    Timer1->SetInterval(10000);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    Timer2 = new TTimer(this);
    Timer2->SetEnabled(false);
    Timer2->SetInterval(4500);
    Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };

    IdTCPClient1 = std::make_unique<platform::TcpClient>();
    // A connect waits as long as the system lets it, as a device behind a modem may be
    // slow to answer; the stop button ends a connect that waits.
    IdTCPClient1->ConnectTimeout = 0;
    IdTCPClient1->Port = 0;
    IdTCPClient1->OnStatus = [this](const std::string& text) {
        platform::queueCall(this, [this, text] { IdTCPClient1Status(text); });
    };
    IdTCPServer1 = std::make_unique<platform::TcpServer>();
    IdTCPServer1->DefaultPort = 3999;
    const platform::TcpLineHandler toUiThread = platform::TcpServer::handToThreadOf(
        this, [this](const platform::TcpPeerPtr& peer, const std::string& line, bool truncated) {
            IdTCPServer1Execute(peer, line, truncated);
        });
    IdTCPServer1->OnExecute = [this, toUiThread](const platform::TcpPeerPtr& peer, const std::string& line,
                                                 bool truncated) {
        ++tcpLinesReceived;
        toUiThread(peer, line, truncated);
    };
    IdTCPServer1->OnStatus = [this](const platform::TcpPeerPtr&, const std::string& text) {
        platform::queueCall(this, [this, text] { IdTCPServer1Status(text); });
    };

    PopupMenu1 = new QMenu(this);
    Czytajpami1 =
        AddMenuItem(PopupMenu1, QStringLiteral("Czytaj pamięć."), [this](TObject* s) { Czytajpami1Click(s); });
    test = AddMenuItem(PopupMenu1, QStringLiteral("Czytaj etykiety.."), [this](TObject* s) { testClick(s); });
    Czytaj1 = AddMenuItem(PopupMenu1, QStringLiteral("Czytaj."), [this](TObject* s) { Czytaj1Click(s); });
    Czytaj1->setEnabled(false);
    ToolButton15->SetDropdownMenu(PopupMenu1);

    LadujToArkuszy1 = new QMenu(this);
    MSExel1 = AddMenuItem(LadujToArkuszy1, QStringLiteral("MS Exel"), [this](TObject* s) { MSExel1Click(s); });
    MSExel1->setEnabled(false);
    OpenOffice1 =
        AddMenuItem(LadujToArkuszy1, QStringLiteral("OpenOffice"), [this](TObject* s) { OpenOffice1Click(s); });
    OpenOffice1->setEnabled(false);
    LadujToArkuszy1->addSeparator();
    MSEksplorer1 =
        AddMenuItem(LadujToArkuszy1, QStringLiteral("MS Eksplorator"), [this](TObject* s) { MSEksplorer1Click(s); });
    LadujToArkuszy1->addSeparator();
    Showfilesdan1 = AddMenuItem(LadujToArkuszy1, QStringLiteral("Plik typu (*.dan)"),
                                [this](TObject* s) { Showfilesdan1Click(s); });
    Plikitekstowetxtdan1 = AddMenuItem(LadujToArkuszy1, QStringLiteral("Pliki tekstowe (*.txt,*dan)"),
                                       [this](TObject* s) { Plikitekstowetxtdan1Click(s); });
    Wszystkiepliki1 = AddMenuItem(LadujToArkuszy1, QStringLiteral("Wszystkie pliki (*.*)"));
    FileListBox1->SetPopupMenu(LadujToArkuszy1);

    SaveMenu1 = new QMenu(this);
    SaveToTable = AddMenuItem(SaveMenu1, QStringLiteral("Zapisz wykres do edytora."),
                              [this](TObject* s) { SaveToTableClick(s); });
    SaveToTable->setEnabled(false);
    SaveToFile =
        AddMenuItem(SaveMenu1, QStringLiteral("Zapisz wykres jako *.bmp"), [this](TObject* s) { SaveToFileClick(s); });
    SaveToFile->setEnabled(false);
    ToolButton5->SetDropdownMenu(SaveMenu1);

    // Attached to no control.
    UkryPokarzKrzywe1 = new QMenu(this);
    UsuWszystkie1 =
        AddMenuItem(UkryPokarzKrzywe1, QStringLiteral("Usuń wszystkie"), [this](TObject* s) { UsuWszystkie1Click(s); });
    ZaznaczWszystkie1 = AddMenuItem(UkryPokarzKrzywe1, QStringLiteral("Zaznacz wszystkie"),
                                    [this](TObject* s) { ZaznaczWszystkie1Click(s); });

    SaveDialog1 = new TSaveDialog(this);
    OpenDialog1 = new TOpenDialog(this);
    OpenDialog1->SetFilterIndex(3);
    PrintDialog1 = new TPrintDialog(this);

    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    BitBtn2->OnClick = [this](TObject* s) { BitBtn2Click(s); };
    BitBtn3->OnClick = [this](TObject* s) { BitBtn3Click(s); };
    BitBtn4->OnClick = [this](TObject* s) { BitBtn4Click(s); };
    BitBtn5->OnClick = [this](TObject* s) { BitBtn5Click(s); };
    BitBtn6->OnClick = [this](TObject* s) { BitBtn6Click(s); };
    ComboBox1->OnDropDown = [this](TObject* s) { ComboBox1DropDown(s); };
    ComboBox1->OnChange = [this](TObject* s) { ComboBox1Change(s); };
    DirectoryListBox1->OnChange = [this](TObject* s) { DirectoryListBox1Change(s); };
    FileListBox1->OnClick = browserCommand(&TForm1::FileListBox1Click);
    FileListBox1->OnDblClick = browserCommand(&TForm1::FileListBox1DblClick);
    TrackBar1->OnChange = browserCommand(&TForm1::TrackBar1Change);
    ToolButton3->OnClick = browserCommand(&TForm1::ToolButton3Click);
    ToolButton5->OnClick = browserCommand(&TForm1::ToolButton5Click);
    ToolButton7->OnClick = browserCommand(&TForm1::ToolButton7Click);
    ToolButton15->OnClick = [this](TObject* s) { ToolButton15Click(s); };
    ToolButton13->OnClick = [this](TObject* s) { ToolButton13Click(s); };
    ToolButton18->OnClick = [this](TObject* s) { ToolButton18Click(s); };

    // In the strip the lower panel keeps its size and reaches under the top bar: the
    // bar and the status bar stay in front, and the cover hides the rest.
    Panel2->raise();
    StatusBar1->raise();
    buildStripCover();
    designedHeight_ = Height();
}

void TForm1::FormCreate(TObject*)
{
    startDir = toAnsi(QDir::currentPath());
    Timer1->SetEnabled(false);
    autoFit = ToolButton29->Down();
    deviceFamily = 0;

    const bool fileRead = acquisition::loadSettings(settings, startDir);
    autoPlaceWindows = !fileRead;
    if (fileRead) {
        const std::string measurementDir = acquisition::getText(settings.measurementDir);
        showFolder(folderExists(measurementDir) ? measurementDir : startDir);

        acquisition::portCom.baudRate = rtl::StrToIntC(acquisition::getText(settings.baudText));
        acquisition::setText(acquisition::portCom.portSettings, acquisition::getText(settings.comPort));

        SetHeight(settings.mainHeight);
        SetWidth(settings.mainWidth);
        SetTop(settings.mainTop);
        SetLeft(settings.mainLeft);
        Panel1->SetWidth(settings.leftPanelWidth);

        deviceFamily = settings.savedDeviceFamily;
        UpDown1->SetPosition(settings.pageSize);
        if (UpDown1->Position() < 500)
            UpDown1->SetPosition(1000);

        const int listPanelSize = std::clamp(settings.listPanelSize, 0, maxPanelSize);
        if (settings.bottomLayout != 0) {
            layoutRight = 0;
            ApplyBottomLayout();
            // Grown upwards from its bottom edge, as its splitter grows it: grown downwards
            // past the status bar it would be laid out below it.
            Panel4->SetBounds(Panel4->Left(), Panel4->Top() + Panel4->Height() - listPanelSize, Panel4->Width(),
                              listPanelSize);
        } else {
            layoutRight = 1;
            ApplyRightLayout();
            Panel4->SetWidth(listPanelSize);
        }
        settings.listPanelSize = Panel4->Align() == alBottom ? Panel4->Height() : Panel4->Width();
        settings.dirListHeight = DirectoryListBox1->Height();

        const std::string workFolder = acquisition::getText(settings.workFolder);
        workDir = folderExists(workFolder) ? workFolder : startDir;
    } else {
        showFolder(startDir);
        Chart1->SetLegendVisible(false);
        Chart1->SetSubTitleVisible(false);
        ToolButton27->SetDown(false);
        UpDown1->SetPosition(1000);
        workDir = startDir;
    }

    ToolButton29->SetDown(true);
    Chart1->SetLegendVisible(false);
    Chart1->SetSubTitleVisible(false);
    ToolButton27->SetDown(false);
    ToolButton31->SetEnabled(false);
    if (settings.connectionMode == 2) {
        ToolButton15->SetEnabled(false);
        ToolButton13->SetEnabled(true);
        ToolButton18->SetEnabled(false);
    }
    if (Panel1->Width() == 0)
        Panel1->SetWidth(5);

    BitBtn3->SetCaption(QStringLiteral("[_][_]"));
    ToolBar1->SetEnabled(false);
    BitBtn2->SetEnabled(false);
    SetHeight(stripHeight);
    setStripCovered(true);
    keepOnScreen();

    nextWindowIndex = 0;
    windowShowCounter = 2;
}

void TForm1::showFolder(const std::string& folder)
{
    // A folder that cannot be entered leaves the list on the start folder.
    try {
        DirectoryListBox1->SetDirectory(fromAnsi(folder));
    } catch (const std::exception&) {
        DirectoryListBox1->SetDirectory(fromAnsi(startDir));
    }
}

void TForm1::keepOnScreen()
{
    // Stored geometry may come from another screen or be nonsense; the window must
    // still come up where it can be used.
    KeepOnScreen(minimumWidth, stripHeight);
}

void TForm1::FormShow(TObject* Sender) { UruchomOknaExecute(Sender); }

void TForm1::FormResize(TObject*) {}

void TForm1::UruchomOknaExecute(TObject*)
{
    nextWindowIndex = 0;
    // The stored count is read anew on every pass; a count outside 0..8 is limited.
    for (int created = 0; created < settings.windowCountClamped() && createMeasurementWindow; ++created) {
        createMeasurementWindow(*this);
        ++createdWindows;
        ++nextWindowIndex;
    }
    if (Form2)
        Form2->Close();
}

acquisition::SettingsWindowSide TForm1::windowSide() const
{
    acquisition::SettingsWindowSide side;
    side.mainViewMode = mainViewMode;
    side.height = Height();
    side.width = Width();
    side.left = Left();
    side.top = Top();
    side.leftPanelWidth = Panel1->Width();
    side.pageSize = UpDown1->Position();
    side.listPanelAtBottom = Panel4->Align() == alBottom;
    side.listPanelHeight = Panel4->Height();
    side.listPanelWidth = Panel4->Width();
    side.dirListHeight = DirectoryListBox1->Height();
    side.deviceFamily = deviceFamily;
    return side;
}

void TForm1::ZapamietajParametryExecute(TObject*) { acquisition::saveSettings(settings, windowSide(), startDir); }

void TForm1::WlasciwosciPlikuExecute(TObject*) { acquisition::WlasciwosciPliku(dataFile); }

void TForm1::BitBtn1Click(TObject* Sender)
{
    settings.setDeviceAddress(toAnsi(Form2->LabeledEdit1->Text()));
    ZapamietajParametryExecute(Sender);

    // The channel labels of the grid, one cell per line.
    std::string labels;
    for (int col = 0; col < StringGrid1->columnCount(); ++col)
        labels += toAnsi(Cell(StringGrid1, col, 0)) + "\r\n";
    QFile file(QStringLiteral("LabelSetings.txt"));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(labels.data(), qint64(labels.size())) != qint64(labels.size()) || !file.flush())
        throw vcl::Exception(QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(QFileInfo(file).absoluteFilePath(), file.errorString()));
    file.close();

    const QString question = QStringLiteral("Zamykanie programu.\n"
                                            "  Wszystkie aktywne pomiary zostaną przerwane.\n"
                                            "   Nie zapamięta parametrów pomiaru aktywnych okien.\n"
                                            "  Zapamięta zmienione ustawienia.\n"
                                            "  Czy zamknąć program !!");
    if (platform::MessageBox(question, QStringLiteral("Uwaga!"), platform::MB_OKCANCEL) == platform::IDOK) {
        stopRequest = true;
        // The read loop gets no further pass once the program ends, so its port is
        // flushed and closed here, as that pass would on the stop request.
        if (acquisitionRunning && acquisition::comHandle > 0) {
            acquisition::flushCom(acquisition::comHandle);
            acquisition::zamknijCom(acquisition::comHandle);
        }
        if (Application)
            Application->Terminate();
    }
}

void TForm1::FormClose(TObject*, TCloseAction& Action)
{
    const QString question = QStringLiteral("Zamykanie programu.\n"
                                            "  Wszystkie pomiary zostaną przerwane.\n"
                                            "  Nie zapisze zmienionych ustawień.\n"
                                            "  Czy zamknąć program !!");
    if (platform::MessageBox(question, QStringLiteral("Uwaga!"), platform::MB_OKCANCEL) != platform::IDOK)
        Action = caNone;
}

void TForm1::Button1Click(TObject*) {}
