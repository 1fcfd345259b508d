#include "dialogs/Unit5.h"

#include <QPalette>

#include "mainwindow/Unit1.h"
#include "platform/links/UrlDownload.h"
#include "platform/vcl/Jpeg.h"
#include "platform/vcl/MessageBox.h"
#include "platform/vcl/VclShell.h"

#include <QDir>
#include <QFile>
#include <QFrame>
#include <QPixmap>

TForm5* Form5 = nullptr;

using namespace vcl;

namespace {

// The main program's folder on the maker's update server and its start folder;
// TAZO6DALVINTER_SERVER in the environment replaces the server's address.
const platform::UpdateSite& site()
{
    static const platform::UpdateSite site("TAZO6DALVINTER_SERVER", QStringLiteral("Tazo6Dalvinter"),
                                           [] { return Form1 ? Form1->startDir : std::string(); });
    return site;
}

TButton* speedButton(QWidget* parent, const QString& caption, const QString& hint, int top)
{
    TButton* b = NewSpeedButton(parent, caption, hint, 8, top, 309, 22);
    // Greyed captions must stay readable on the silver panel.
    QPalette palette = b->palette();
    palette.setColor(QPalette::Disabled, QPalette::ButtonText, QColor(128, 128, 128));
    b->setPalette(palette);
    return b;
}

QPixmap aboutPicture()
{
    QFile file(QStringLiteral(":/dialogs/about.jpg"));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QPixmap::fromImage(platform::decodeJpeg(file.readAll()));
}

} // namespace

static void initAboutResources()
{
    // The picture lives in a static library; naming its resource keeps it linked in.
    Q_INIT_RESOURCE(about);
}

TForm5::TForm5(QWidget* Owner) : TForm(Owner), download_(new platform::UrlDownload(this))
{
    initAboutResources();
    SetCaption(QStringLiteral("O programie"));
    SetPosition(poScreenCenter);
    SetClientWidth(341);
    SetClientHeight(290);
    SetColor(this, clBlack);

    Panel1 = new TPanel(this);
    Panel1->SetBounds(8, 8, 325, 240);
    SetColor(Panel1, clSilver);

    Image1 = new QLabel(Panel1);
    Image1->setGeometry(8, 8, 120, 90);
    Image1->setScaledContents(true);
    Image1->setPixmap(aboutPicture());

    Label6 = NewLabel(Panel1, QStringLiteral("Program wizualizacji danych"), 140, 12);
    Label4 = NewLabel(Panel1, QStringLiteral("Tazo6 Dalvinter"), 140, 32);
    Label4->SetFontColor(clRed);
    Label4->SetFontSize(12);
    Label4->SetCaption(Label4->Caption()); // size the label for its font
    Label5 = NewLabel(Panel1, QStringLiteral("wer. "), 140, 58);
    Label7 = NewLabel(Panel1, QStringLiteral("1.6.4.12"), 140 + Label5->Width(), 58);
    Label1 = NewLabel(Panel1, QStringLiteral("VESK"), 140, 80);
    Label1->SetFontColor(clRed);
    Label1->SetFontBold(true);
    Label1->SetCaption(Label1->Caption());

    SpeedButton2 = speedButton(Panel1, QStringLiteral("Otwórz stronę  pomocy technicznej."),
                               QStringLiteral("Internetowa pomoc techniczna."), 108);
    QFont underlined = SpeedButton2->font();
    underlined.setUnderline(true);
    SpeedButton2->setFont(underlined);

    auto* separator = new QFrame(Panel1);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(8, 138, 309, 2);

    // Nothing enables these two; their captions would show the steps' state.
    SpeedButton1 = speedButton(Panel1, QStringLiteral("-> Sprawdź nową wersję programu?"),
                               QStringLiteral("Sprawdź czy jest nowsza wersja programu."), 148);
    SpeedButton1->SetEnabled(false);
    SpeedButton3 = speedButton(Panel1, QStringLiteral(" ->Pobierz nową wersję programu."),
                               QStringLiteral("Pobierz najnowszą wersję programu z internetu."), 176);
    SpeedButton3->SetEnabled(false);

    BitBtn1 = new TBitBtn(this);
    BitBtn1->SetKind(bkOK);
    BitBtn1->SetBounds(133, 256, 75, 25);

    // Borderless: the OK button is the only way out.
    setWindowFlags(windowFlags() | Qt::FramelessWindowHint);

    SpeedButton1->OnClick = [this](TObject* s) { SpeedButton1Click(s); };
    SpeedButton2->OnClick = [this](TObject* s) { SpeedButton2Click(s); };
    SpeedButton3->OnClick = [this](TObject* s) { SpeedButton3Click(s); };
    OnCreate = [this](TObject* s) { FormCreate(s); };
}

TForm5::~TForm5() = default;

void TForm5::FormCreate(TObject*) {}

void TForm5::SpeedButton2Click(TObject*)
{
    if (!platform::ShellExecute(QStringLiteral("open"),
                                site().serverUrl(QStringLiteral("/Support/tazodalvinter.html"))))
        platform::MessageBox(QStringLiteral("System WINDOWS zgłosił bląd...."), QStringLiteral("Error..."),
                             platform::MB_OK | platform::MB_ICONERROR);
}

void TForm5::SpeedButton1Click(TObject*)
{
    // The transfer runs while the window stays alive; a click meanwhile starts nothing.
    if (download_->busy())
        return;
    const QDir start = site().enterStartFolder();
    SpeedButton1->SetCaption(QStringLiteral("  Wait !!"));
    const QString note = start.absoluteFilePath(QStringLiteral("newver.txt"));
    // A note left from an earlier check must not pass for the server's answer.
    QFile::remove(note);
    SpeedButton1->repaint();
    platform::CheckVersion(*download_, site().fileUrl(QStringLiteral("newver.txt")), note,
                           [this](const QString& caption) { SpeedButton1->SetCaption(caption); });
}

void TForm5::SpeedButton3Click(TObject*)
{
    if (download_->busy())
        return;
    const QDir start = site().enterStartFolder();
    SpeedButton3->SetCaption(QStringLiteral("  Wait!! "));
    SpeedButton3->repaint();
    // The running program becomes the backup only once the new one is complete.
    download_->start(site().fileUrl(QStringLiteral("Tazo6Dalvinter.e__")),
                     {start.absoluteFilePath(QStringLiteral("Tazo6Dalvinter")),
                      start.absoluteFilePath(QStringLiteral("Tazo6Dalvinter.bak")), true},
                     [this](bool ok, const QString&) {
                         SpeedButton3->SetCaption(ok ? QStringLiteral("Download completed: OK!")
                                                     : QStringLiteral("  Download error !."));
                     });
}
