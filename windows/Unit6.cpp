// The measurement window as an object: its components, its binding to a slot of the
// window records, placement, folder, show and hide, and the one window per slot.

#include "windows/Unit6.h"

#include "mainwindow/Unit1.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/FontFit.h"

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QMouseEvent>
#include <QPointer>
#include <QTabWidget>

#include <algorithm>
#include <array>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

namespace {

std::array<QPointer<TForm6>, TForm6::maxWindows> windowsBySlot;

// Panel9 is a caption that acts as a button.
class ClickFilter : public QObject {
public:
    ClickFilter(QObject* parent, std::function<void()> onClick) : QObject(parent), onClick_(std::move(onClick)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton)
            Guarded(onClick_);
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onClick_;
};

// The property values and the channel list as the window is built.
QStringList builtPropertyValues()
{
    QStringList values;
    for (int i = 0; i < 10; ++i)
        values << QString();
    values << QStringLiteral(".");
    return values;
}

QStringList builtChannelItems()
{
    return {QStringLiteral("K1"), QStringLiteral("k2"), QStringLiteral("k3"),
            QStringLiteral("k4"), QStringLiteral("k5"), QStringLiteral("k6"),
            QStringLiteral("k7"), QStringLiteral("k8"), QStringLiteral("k9")};
}

constexpr double builtLeftAxisMaximum = 1312.5;

void installHook() { TForm1::createMeasurementWindow = &TForm6::CreateOrShow; }

} // namespace

// The application object comes after all static objects, the hook among them.
Q_COREAPP_STARTUP_FUNCTION(installHook)

void RegisterMeasurementWindows() { installHook(); }

int TForm6::screenHeightOverride = 0;
windows::WriteFn TForm6::logWrite = nullptr;

std::optional<WindowPlacement> placeWindow(int n, int k, int mainWidth, int mainHeight, int mainLeft, int mainTop,
                                           int screenHeight)
{
    if (n < 1 || n > 8)
        return std::nullopt;
    const int F = screenHeight - mainTop - mainHeight - 60;
    const auto capped = [F](int w) { return F > (2 * w) / 3 ? (2 * w) / 3 : F; };
    const int below = mainTop + mainHeight;
    WindowPlacement p;
    p.splitterPos = 150;
    switch (n) {
    case 1:
        p.width = mainWidth;
        p.height = capped(p.width);
        p.left = mainLeft;
        p.top = below;
        break;
    case 2:
        p.width = mainWidth / 2 - 5;
        p.height = capped(p.width);
        p.left = mainLeft + p.width * k + 5;
        p.top = below;
        break;
    case 3:
        p.width = mainWidth / 3;
        p.height = capped(p.width);
        p.left = mainLeft + p.width * k;
        p.top = below;
        break;
    case 4:
        p.width = mainWidth / 2 - 5;
        p.height = F / 2;
        p.left = mainLeft + p.width * (k % 2);
        p.top = below + p.height * (k / 2);
        break;
    default: {
        const int perRow = n <= 6 ? 3 : 4;
        p.width = mainWidth / perRow;
        p.height = F / 2;
        p.left = mainLeft + p.width * (k < perRow ? k : k - perRow);
        p.top = k < perRow ? below : below + p.height;
        break;
    }
    }
    return p;
}

TForm6::TForm6(QWidget* Owner) : TForm(Owner)
{
    buildComponents();
    OnCreate = [this](TObject* s) { FormCreate(s); };
    OnShow = [this](TObject* s) { FormShow(s); };
    OnClose = [this](TObject* s, TCloseAction& a) { FormClose(s, a); };
    // Bound last: building the window resizes it before it belongs to any slot.
    OnResize = [this](TObject* s) { FormResize(s); };
    Panel3->OnResize = [this](TObject* s) { Panel3Resize(s); };
}

TForm6::~TForm6()
{
    for (auto& slot : windowsBySlot) {
        if (slot == this)
            slot = nullptr;
    }
}

void TForm6::buildComponents()
{
    SetCaption(QStringLiteral("Okno"));
    SetClientWidth(500);
    SetClientHeight(460);

    PageControl1 = new TPageControl(this);
    PageControl1->setTabPosition(QTabWidget::East);
    PageControl1->SetAlign(alClient);
    buildRunPage();
    buildPropertiesPage();
    buildRunsPage();
    PageControl1->SetActivePageIndex(0);

    StatusBar1 = new TStatusBar(this);
    StatusBar1->AddPanel(80);
    StatusBar1->AddPanel(50);
    StatusBar1->SetFontColor(clGreen);

    Timer1 = new TTimer(this);
    Timer1->SetEnabled(false);
    Timer1->SetInterval(500);
    Timer1->OnTimer = [this](TObject* s) { Timer1Timer(s); };
    Timer2 = new TTimer(this);
    Timer2->SetInterval(400);
    Timer2->SetEnabled(true);
    Timer2->OnTimer = [this](TObject* s) { Timer2Timer(s); };

    ActionList1 = new QObject(this);
    Dopasuj6Wykres = new QAction(ActionList1);
    connect(Dopasuj6Wykres, &QAction::triggered, this,
            [this] { Guarded([this] { Dopasuj6WykresExecute(Dopasuj6Wykres); }); });

    OpenDialog1 = new TOpenDialog(this);
    ColorDialog1 = new TColorDialog(this);
}

void TForm6::buildRunPage()
{
    TabSheet1 = new TTabSheet(PageControl1);
    TabSheet1->SetCaption(QStringLiteral("Badanie."));

    Panel3 = new TPanel(TabSheet1);
    Panel3->SetWidth(150);
    Panel3->SetAlign(alLeft);
    BitBtn1 = new TBitBtn(Panel3);
    BitBtn1->SetCaption(QStringLiteral("START"));
    BitBtn1->SetFontBold(true);
    BitBtn1->SetFontColor(clGreen);
    BitBtn1->SetHeight(25);
    BitBtn1->SetAlign(alTop);
    BitBtn1->OnClick = [this](TObject* s) { BitBtn1Click(s); };
    Memo1 = new TMemo(Panel3);
    Memo1->setFont(TMemo::FixedPitchFont());
    Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A run adds a line every half second for days; an undo history of it would only grow.
    Memo1->setUndoRedoEnabled(false);
    vcl::SetAlign(Memo1, alClient);
    // Every change that is not a recorded line means the log must be written whole.
    Memo1->OnChange = [this](TObject*) {
        if (!addingLine_)
            memoChanged_ = true;
    };

    Splitter1 = new TSplitter(TabSheet1);
    Splitter1->SetWidth(4);
    Splitter1->SetLeft(Panel3->Width());
    Splitter1->SetAlign(alLeft);

    Chart1 = new platform::TChart(seriesCount, TabSheet1);
    for (int i = 0; i < seriesCount; ++i)
        Chart1->Series(i).SetTitle("k" + std::to_string(i + 1));
    Chart1->SetTitleVisible(false);
    Chart1->SetView3D(false);
    Chart1->SetLegendAlignment(platform::laBottom);
    Chart1->LeftAxis().SetAutomatic(false);
    showEmptyChart();
    // Every series of the window is drawn against the left axis; the right one has no scale of its own.
    Chart1->RightAxis().SetVisible(false);
    Chart1->RightAxis().SetAutomatic(false);
    vcl::SetAlign(Chart1, alClient);
}

void TForm6::buildPropertiesPage()
{
    TabSheet2 = new TTabSheet(PageControl1);
    TabSheet2->SetCaption(QStringLiteral("Właściwości"));

    auto* remarks = new TPanel(TabSheet2);
    remarks->SetBevelOuter(bvNone);
    remarks->SetHeight(110);
    remarks->SetAlign(alBottom);
    Panel5 = new TPanel(remarks);
    Panel5->SetCaption(QStringLiteral("  Uwagi:"));
    Panel5->SetHeight(20);
    Panel5->SetAlign(alTop);
    Memo4 = new QPlainTextEdit(remarks);
    vcl::SetAlign(Memo4, alClient);
    connect(Memo4, &QPlainTextEdit::textChanged, this, [this] { Guarded([this] { Memo4Change(Memo4); }); });

    Memo2 = new TMemo(TabSheet2);
    Memo2->setReadOnly(true);
    Memo2->SetAlignment(Qt::AlignRight);
    const QStringList labels = {QStringLiteral("Nazwa pomiaru:"),
                                QStringLiteral("Start pomiaru:"),
                                QStringLiteral("Koniec pomiaru:"),
                                QStringLiteral("Wartość minimalna:"),
                                QStringLiteral("Wartość maksymalna:"),
                                QStringLiteral("Średnia temperatura kompieli:"),
                                QStringLiteral("Temperatura kompieli minimalna:"),
                                QStringLiteral("Temperatura kompieli maksymalna:"),
                                QStringLiteral("Nazwa pliku pomiaru:"),
                                QStringLiteral("Nazwa folderu z pomiarami:"),
                                QString()};
    Lines(Memo2).Assign(labels);
    vcl::SetWidth(Memo2, 210);
    vcl::SetAlign(Memo2, alLeft);
    // The widest label fits the designed column; the values take the same font, so
    // that their lines keep level with the labels.
    QString widest;
    for (const QString& label : labels)
        if (Memo2->fontMetrics().horizontalAdvance(label) > Memo2->fontMetrics().horizontalAdvance(widest))
            widest = label;
    const int labelWidth = Memo2->contentsRect().width() - 2 * TMemo::TextMargin;
    Memo2->setFont(platform::FontFitting(Memo2->font(), widest, labelWidth));
    Memo3 = new TMemo(TabSheet2);
    Memo3->setFont(Memo2->font());
    Lines(Memo3).Assign(builtPropertyValues());
    Memo3->setUndoRedoEnabled(false);
    vcl::SetAlign(Memo3, alClient);
}

void TForm6::buildRunsPage()
{
    TabSheet3 = new TTabSheet(PageControl1);
    TabSheet3->SetCaption(QStringLiteral("Pomiary"));
    TabSheet3->OnShow = [this](TObject* s) { TabSheet3Show(s); };

    FileListBox1 = new TFileListBox(TabSheet3);
    FileListBox1->SetMask(QStringLiteral("*.dan;"));
    FileListBox1->SetWidth(170);
    FileListBox1->SetAlign(alLeft);
    FileListBox1->OnClick = [this](TObject* s) { FileListBox1Click(s); };
    FileListBox1->OnDblClick = [this](TObject* s) { FileListBox1DblClick(s); };
    LadujToArkuszy6 = new QMenu(this);
    MSExel6 = AddMenuItem(LadujToArkuszy6, QStringLiteral("MS Exel"), [this](TObject* s) { MSExel6Click(s); });
    MSExel6->setEnabled(false);
    OpenOffice6 =
        AddMenuItem(LadujToArkuszy6, QStringLiteral("OpenOffice"), [this](TObject* s) { OpenOffice6Click(s); });
    OpenOffice6->setEnabled(false);
    N1 = AddMenuItem(LadujToArkuszy6, QStringLiteral("-"));
    MSEksplorer1 =
        AddMenuItem(LadujToArkuszy6, QStringLiteral("MS Eksplorator"), [this](TObject* s) { MSEksplorer1Click(s); });
    N2 = AddMenuItem(LadujToArkuszy6, QStringLiteral("-"));
    Showfilesdan1 = AddMenuItem(LadujToArkuszy6, QStringLiteral("Plik typu (*.dan)"),
                                [this](TObject* s) { Showfilesdan1Click(s); });
    Showfilestxt1 = AddMenuItem(LadujToArkuszy6, QStringLiteral("Pliki tekstowe (*.txt,*dan)"));
    Wszystkiepliki1 = AddMenuItem(LadujToArkuszy6, QStringLiteral("Wszystkie pliki (*.*)"));
    FileListBox1->SetPopupMenu(LadujToArkuszy6);

    auto* side = new TPanel(TabSheet3);
    side->SetBevelOuter(bvNone);
    side->SetAlign(alClient);

    LabeledEdit1 = NewLabeledEdit(side, QStringLiteral("Nazwa pliku pomiarowego."), 8, 24, 230, 22, 79);
    bindRunNameExit();

    GroupBox1 = new TGroupBox(side);
    GroupBox1->SetCaption(QStringLiteral(" Ustawienia wykresu. "));
    GroupBox1->SetBounds(8, 56, 230, 110);
    CheckBox1 = NewCheckBox(GroupBox1, QStringLiteral(" Dopasuj wykres."), 8, 20, 200, 20);
    CheckBox1->SetChecked(true);
    Label1 = new TLabel(GroupBox1);
    Label1->SetCaption(QStringLiteral("k"));
    Label1->SetBounds(8, 48, 12, 20);
    Edit1 = NewEdit(GroupBox1, QStringLiteral("1"), 22, 46, 30, 22);
    UpDown1 = new TUpDown(GroupBox1);
    UpDown1->SetMin(1);
    UpDown1->SetMax(9);
    UpDown1->SetPosition(1);
    UpDown1->SetAssociate(Edit1);
    Panel9 = new TPanel(GroupBox1);
    Panel9->SetCaption(QStringLiteral("Kolor"));
    Panel9->SetBounds(80, 46, 60, 22);
    Panel9->setCursor(Qt::PointingHandCursor);
    Panel9->installEventFilter(new ClickFilter(Panel9, [this] { Panel9Click(Panel9); }));
    Panel6 = new TPanel(GroupBox1);
    Panel6->SetCaption(QStringLiteral("Grubość: 1"));
    Panel6->SetBounds(8, 76, 100, 22);
    Edit2 = NewEdit(GroupBox1, QString(), 112, 76, 30, 22);
    Edit2->SetReadOnly(true);
    UpDown2 = new TUpDown(GroupBox1);
    UpDown2->SetMin(1);
    UpDown2->SetMax(5);
    UpDown2->SetPosition(1);
    UpDown2->SetAssociate(Edit2);
    UpDown2->OnClick = [this](TObject* s, TUDBtnType b) { UpDown2Click(s, b); };

    ComboBox2 = new TComboBox(side);
    ComboBox2->SetItems(builtChannelItems());
    ComboBox2->SetText(QStringLiteral("Wybierz kanał pomiarowy."));
    // Only a choice from the list toggles a channel; typed text would name none.
    ComboBox2->lineEdit()->setReadOnly(true);
    ComboBox2->SetBounds(8, 176, 230, 22);
    ComboBox2->OnChange = [this](TObject* s) { ComboBox2Change(s); };
    Label8 = new TLabel(side);
    Label8->SetBounds(8, 204, 230, 20);
}

acquisition::WindowRecord& TForm6::record() const
{
    return Form1->settings.windows[std::clamp(windowIndex, 0, acquisition::SettingsBlock::windowSlots - 1)];
}

std::string TForm6::folder() const { return toAnsi(FileListBox1->Directory()); }

TForm6* TForm6::ForSlot(int k)
{
    if (k < 0 || k >= maxWindows)
        return nullptr;
    return windowsBySlot[static_cast<std::size_t>(k)];
}

void TForm6::CreateOrShow(TForm1& main)
{
    const int k = main.nextWindowIndex;
    if (k < 0 || k >= maxWindows)
        return;
    if (TForm6* existing = ForSlot(k)) {
        existing->reopen();
        return;
    }
    auto* window = vcl::CreateForm<TForm6>(&main);
    window->Show();
}

void TForm6::reopen()
{
    if (BitBtn1->Caption() == QStringLiteral("STOP")) {
        // A recording window goes on recording in its folder, untouched; it only takes
        // its place among the others when they are placed anew.
        record().state = 0;
        if (Form1->autoPlaceWindows) {
            creating = true;
            place();
            creating = false;
        }
    } else {
        // Shown again as a new window of the slot would be: in the current working
        // folder, with no run on screen.
        setUp();
    }
    Show();
}

void TForm6::place()
{
    // Placement follows the main window, which is itself held on the screen; geometry
    // as stored may come from another screen or be nonsense.
    const bool placed = Form1->autoPlaceWindows && placeFromMainWindow();
    applyRecordGeometry(!placed);
}

bool TForm6::placeFromMainWindow()
{
    const int screenHeight = screenHeightOverride > 0 ? screenHeightOverride : vcl::Screen::Height();
    const auto p = placeWindow(Form1->settings.windowCount, windowIndex, Form1->Width(), Form1->Height(), Form1->Left(),
                               Form1->Top(), screenHeight);
    if (!p)
        return false;
    auto& r = record();
    r.width = p->width;
    r.height = p->height;
    r.left = p->left;
    r.top = p->top;
    r.splitterPos = p->splitterPos;
    return true;
}

void TForm6::applyRecordGeometry(bool holdOnScreen)
{
    const auto& r = record();
    SetWidth(r.width);
    SetHeight(r.height);
    SetLeft(r.left);
    SetTop(r.top);
    if (holdOnScreen)
        KeepOnScreen(minimumWidth, minimumHeight);
    // The left panel stays within the window.
    const int splitter = std::clamp(r.splitterPos, 0, ClientWidth());
    Splitter1->SetLeft(splitter);
    Panel3->SetWidth(splitter);
}

void TForm6::FormCreate(TObject*)
{
    windowIndex = Form1->nextWindowIndex;
    // The first window of a slot is its window; another object built for the same
    // slot stays out of its samples and files.
    if (windowIndex >= 0 && windowIndex < maxWindows && !windowsBySlot[static_cast<std::size_t>(windowIndex)])
        windowsBySlot[static_cast<std::size_t>(windowIndex)] = this;
    setUp();
}

void TForm6::setUp()
{
    // Raised before anything moves: hiding the status bar already resizes Panel3, whose
    // handler would otherwise write the window's passing sizes into the record.
    creating = true;
    StatusBar1->SetVisible(false);
    place();

    auto& r = record();
    windowName = "Okno" + std::to_string(windowIndex + 1);
    SetCaption(fromAnsi(windowName + "  " + acquisition::getText(r.measurementName)));

    // A working folder too long for its field keeps the field's previous text.
    Form1->settings.setWorkFolder(Form1->workDir);
    QDir::setCurrent(fromAnsi(Form1->workDir));
    r.state = 0;

    // A working folder that does not exist leaves another folder current; the window
    // folder is then looked for and made there.
    const QString name = fromAnsi(windowName);
    QDir current = QDir::current();
    if (!current.exists(name))
        current.mkdir(name);
    if (current.exists(name)) {
        FileListBox1->SetDirectory(current.absoluteFilePath(name));
        FileListBox1->Update();
    }

    Lines(Memo3).Assign(builtPropertyValues());
    setLine(Memo3, 0, fromAnsi(acquisition::getText(r.measurementName)));
    setLine(Memo3, 9, fromAnsi(acquisition::getText(Form1->settings.workFolder)));
    Memo4->setPlainText(
        fromAnsi(acquisition::getText(r.remarks)).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    ComboBox2->SetItems(builtChannelItems());
    ComboBox2->SetText(QStringLiteral("Wybierz kanał pomiarowy."));
    loadChannelList();
    LabeledEdit1->SetText(fromAnsi(acquisition::getText(r.measurementName)));
    UpDown1->SetMax(9);

    // No run: the run button at its start, an empty log and chart, and no samples taken
    // until the button is used.
    BitBtn1->SetCaption(QStringLiteral("START"));
    BitBtn1->SetFontColor(clGreen);
    SetBorderIcons(BorderIcons() | biSystemMenu);
    FileListBox1->SetEnabled(true);
    Lines(Memo1).Clear();
    memoHoldsPreview = false;
    logErrorShown_ = false;
    showEmptyChart();
    Timer1->SetEnabled(false);
    tickArmed = false;
    creating = false;
    runMinimum = 9999.0f;
    runMaximum = -999.0f;
    haveExtremes_ = false;
}

void TForm6::showEmptyChart()
{
    for (int i = 0; i < Chart1->SeriesCount(); ++i) {
        Chart1->Series(i).Clear();
        Chart1->Series(i).SetActive(i == 0);
    }
    Chart1->SetLegendVisible(true);
    Chart1->LeftAxis().SetMinMax(0.0, builtLeftAxisMaximum);
}

void TForm6::FormShow(TObject*)
{
    const auto& r = record();
    const int slot = std::clamp(UpDown1->Position(), 1, styleSlots);
    // A record whose series were never styled holds 0; the control shows its range only.
    UpDown2->SetPosition(std::clamp<int>(r.penWidths[slot - 1], UpDown2->Min(), UpDown2->Max()));
    Panel6->SetCaption(QStringLiteral("Grubość: ") + QString::number(UpDown2->Position()));
    Panel9->SetFontColor(r.seriesColours[slot - 1]);
    Form1->ComboBox1->SetText(QStringLiteral("Dodaj okno"));
    if (Panel3->Width() < 40)
        Panel3->SetWidth(40);
}

void TForm6::FormResize(TObject*)
{
    if (creating)
        return;
    auto& r = record();
    r.width = Width();
    r.height = Height();
    r.left = Left();
    r.top = Top();
}

void TForm6::Panel3Resize(TObject*)
{
    if (creating)
        return;
    record().splitterPos = Panel3->Width();
}

void TForm6::FormClose(TObject*, TCloseAction&) { record().state = 4; }

void TForm6::Timer2Timer(TObject*)
{
    int& counter = Form1->windowShowCounter;
    if (counter == 0) {
        if (isVisible())
            Hide();
    } else if (counter <= Form1->settings.windowCount) {
        if (!isVisible())
            Show();
        ++counter;
    }
}

void TForm6::setLine(TMemo* memo, int index, const QString& text)
{
    auto lines = Lines(memo);
    // A line the user deleted is made again, so the lines keep their places.
    while (lines.Count() < index)
        lines.Add(QString());
    if (lines.Count() > index && lines.Get(index) == text)
        return;
    lines.Delete(index);
    lines.Insert(index, text);
}
