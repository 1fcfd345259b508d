#include "viewer/Unit4.h"

#include "platform/links/UrlDownload.h"
#include "platform/vcl/FontFit.h"
#include "platform/vcl/MessageBox.h"
#include "viewer/Unit1.h"
#include "viewer/UpdateServer.h"

#include <QDir>
#include <QFrame>
#include <QPixmap>

TForm4* Form4 = nullptr;

using namespace vcl;

static void initAboutResources()
{
    // The picture lives in a static library; naming its resource keeps it linked in.
    Q_INIT_RESOURCE(about4);
}

TForm4::TForm4(QWidget* Owner) : TForm(Owner), download_(new platform::UrlDownload(this))
{
    initAboutResources();
    SetCaption(QStringLiteral("O programie"));
    SetClientWidth(331);
    SetClientHeight(249);

    Panel1 = new TPanel(this);
    Panel1->SetBounds(8, 8, 315, 200);
    SetColor(Panel1, clSilver);

    Image1 = new QLabel(Panel1);
    Image1->setGeometry(12, 12, 48, 48);
    Image1->setPixmap(QPixmap(QStringLiteral(":/viewer/about4.png")));

    const struct {
        TLabel** label;
        const char* caption;
        int left, top;
        TColor colour;
        bool bold;
    } labels[] = {
        {&Label1, "VESK", 76, 10, clRed, true},
        {&Label3, "Program", 76, 30, clBlack, false},
        {&Label4, "VESK Dalvinter", 136, 30, clRed, false},
        {&Label5, "wer. ", 76, 50, clBlack, false},
        {&Label7, " 2.5.1.18 ", 106, 50, clBlack, false},
        {&Label6, "Program wizualizacji danych", 76, 70, clBlack, false},
    };
    for (const auto& l : labels) {
        TLabel* label = *l.label = NewLabel(Panel1, QString::fromUtf8(l.caption), l.left, l.top);
        label->SetFontColor(l.colour);
        label->SetFontBold(l.bold);
        label->SetCaption(label->Caption()); // sized for its font
    }

    auto* separator = new QFrame(Panel1);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(8, 100, 299, 2);

    const struct {
        TButton** button;
        const char* caption;
        const char* hint;
        int top;
    } buttons[] = {
        {&SpeedButton1, "-> Sprawdź nową wersję programu?", "Sprawdź czy jest nowsza wersja programu.", 118},
        {&SpeedButton3, " ->Pobierz nową wersję programu.", "Pobierz najnowszą wersję programu z internetu.", 150},
    };
    for (const auto& b : buttons)
        *b.button = NewSpeedButton(Panel1, QString::fromUtf8(b.caption), QString::fromUtf8(b.hint), 57, b.top, 200, 22);
    // The captions were laid out for a narrower desktop font than the ones found here; a
    // flat button would cut them at both ends.
    const QFont fitted = platform::FontFitting(SpeedButton1->font(), SpeedButton1->Caption(), 200 - 16);
    SpeedButton1->setFont(fitted);
    SpeedButton3->setFont(fitted);

    BitBtn1 = new TBitBtn(this);
    BitBtn1->SetKind(bkOK);
    BitBtn1->SetBounds(128, 216, 75, 25);

    // Borderless: the OK button is the only way out.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);

    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
    SpeedButton3->OnClick = [this](TObject* s) { SpeedButton3Click(s); };
    OnCreate = [this](TObject* s) { FormCreate(s); };
}

TForm4::~TForm4() = default;

void TForm4::FormCreate(TObject*) {}

void TForm4::showEvent(QShowEvent* e)
{
    TForm::showEvent(e);
    // Centred on the chart window, where the user asked for it.
    if (QWidget* main = DalvinterForm1; main && main != this && main->isVisible())
        move(main->frameGeometry().center() - rect().center());
}

void TForm4::SpeedButton1Click(TObject*)
{
    // The transfer runs while the window stays alive; a click meanwhile starts nothing.
    if (download_->busy())
        return;
    const platform::UpdateSite& site = viewer::UpdateServer();
    const QDir start = site.enterStartFolder();
    SpeedButton1->SetCaption(QStringLiteral("  Wait !!"));
    SpeedButton1->repaint();
    platform::CheckVersion(*download_, site.fileUrl(QStringLiteral("newver.txt")),
                           start.absoluteFilePath(QStringLiteral("newver.txt")),
                           [this](const QString& caption) { SpeedButton1->SetCaption(caption); });
}

void TForm4::SpeedButton3Click(TObject*)
{
    if (download_->busy())
        return;
    const platform::UpdateSite& site = viewer::UpdateServer();
    const QDir start = site.enterStartFolder();
    SpeedButton3->SetCaption(QStringLiteral("  Wait!! "));
    SpeedButton3->repaint();
    // The running program becomes the backup only once the new one is complete.
    download_->start(site.fileUrl(QStringLiteral("Dalvinter.ex_")),
                     {start.absoluteFilePath(QStringLiteral("Dalvinter")),
                      start.absoluteFilePath(QStringLiteral("Dalvinter.bak")), true},
                     [this](bool ok, const QString&) { programDownloaded(ok); });
}

void TForm4::programDownloaded(bool ok)
{
    if (!ok) {
        SpeedButton3->SetCaption(QStringLiteral("  Download error !."));
        return;
    }
    const QString question = QStringLiteral("Software download finished, OK!..") + QStringLiteral("\n\n\r") +
                             QStringLiteral("Now you can download new program description.") + QStringLiteral("\n\r") +
                             QStringLiteral("File is '*.pdf' format. You mast have 'Adobe Reader'") +
                             QStringLiteral("\n\r") + QStringLiteral("Download ?.");
    if (platform::MessageBox(question, QStringLiteral("Warning!"),
                             platform::MB_YESNO | platform::MB_SERVICE_NOTIFICATION) != platform::IDYES) {
        SpeedButton3->SetCaption(QStringLiteral("Download completed: OK!"));
        return;
    }
    const platform::UpdateSite& site = viewer::UpdateServer();
    const QDir start = site.enterStartFolder();
    download_->start(site.fileUrl(QStringLiteral("mhelp.pd_")),
                     {start.absoluteFilePath(QStringLiteral("mhelp.pdf")),
                      start.absoluteFilePath(QStringLiteral("mhelp.bak")), false},
                     [this](bool done, const QString&) {
                         SpeedButton3->SetCaption(done ? QStringLiteral("Download completed: OK!")
                                                       : QStringLiteral("  Download error !."));
                     });
}
