#include "viewer/Unit4.h"

#include "platform/MessageBox.h"
#include "platform/UrlDownload.h"
#include "viewer/Unit1.h"
#include "viewer/UpdateServer.h"
#include "viewer/ViewerText.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QPalette>
#include <QPixmap>

TForm4* Form4 = nullptr;

using namespace vcl;

namespace {

void fillBackground(QWidget* w, TColor colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::Window, ToQColor(colour));
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

TLabel* label(QWidget* parent, const QString& caption, int left, int top)
{
    auto* l = new TLabel(parent);
    l->SetCaption(caption);
    l->SetLeft(left);
    l->SetTop(top);
    return l;
}

TButton* speedButton(QWidget* parent, const QString& caption, const QString& hint, int top)
{
    auto* b = new TButton(parent);
    b->setFlat(true);
    b->setFocusPolicy(Qt::NoFocus);
    b->SetCaption(caption);
    b->SetHint(hint);
    b->SetBounds(60, top, 200, 22);
    return b;
}

// The start folder is made current before each step, as every other file step of the viewer expects.
void enterStartFolder()
{
    if (DalvinterForm1)
        QDir::setCurrent(viewer::FromAnsi(DalvinterForm1->startDir));
}

// The program's files in its start folder, whatever folder is current when a step ends.
QString startFile(const char* name) { return QDir::current().absoluteFilePath(QString::fromLatin1(name)); }

} // namespace

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
    fillBackground(Panel1, clSilver);

    Image1 = new QLabel(Panel1);
    Image1->setGeometry(12, 12, 48, 48);
    Image1->setPixmap(QPixmap(QStringLiteral(":/viewer/about4.png")));

    Label1 = label(Panel1, QStringLiteral("VESK"), 76, 10);
    Label1->SetFontColor(clRed);
    Label1->SetFontBold(true);
    Label1->SetCaption(Label1->Caption());   // size the label for its font
    Label3 = label(Panel1, QStringLiteral("Program"), 76, 30);
    Label4 = label(Panel1, QStringLiteral("VESK Dalvinter"), 76 + Label3->Width() + 6, 30);
    Label4->SetFontColor(clRed);
    Label4->SetCaption(Label4->Caption());
    Label5 = label(Panel1, QStringLiteral("wer. "), 76, 50);
    Label7 = label(Panel1, QStringLiteral(" 2.5.1.18 "), 76 + Label5->Width(), 50);
    Label6 = label(Panel1, QStringLiteral("Program wizualizacji danych"), 76, 70);

    auto* separator = new QFrame(Panel1);
    separator->setFrameShape(QFrame::HLine);
    separator->setFrameShadow(QFrame::Sunken);
    separator->setGeometry(8, 100, 299, 2);

    SpeedButton1 = speedButton(Panel1, QStringLiteral("-> Sprawdź nową wersję programu?"),
                               QStringLiteral("Sprawdź czy jest nowsza wersja programu."), 118);
    SpeedButton3 = speedButton(Panel1, QStringLiteral(" ->Pobierz nową wersję programu."),
                               QStringLiteral("Pobierz najnowszą wersję programu z internetu."), 150);

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
    enterStartFolder();
    SpeedButton1->SetCaption(QStringLiteral("  Wait !!"));
    SpeedButton1->repaint();
    const QString note = startFile("newver.txt");
    download_->start(QUrl(viewer::UpdateServerUrl(QStringLiteral("/client/Dalvinter/newver.txt"))), {note, {}, false},
                     [this, note](bool ok, const QString&) {
                         if (!ok) {
                             SpeedButton1->SetCaption(QStringLiteral("  Błąd pobierania"));
                             return;
                         }
                         QString text;
                         if (!QFileInfo::exists(note) || !platform::ReadVersionNote(note, text)) {
                             SpeedButton1->SetCaption(QStringLiteral("Błąd pliku!!"));
                             return;
                         }
                         SpeedButton1->SetCaption(text);
                         QFile::remove(note);
                     });
}

void TForm4::SpeedButton3Click(TObject*)
{
    if (download_->busy())
        return;
    enterStartFolder();
    SpeedButton3->SetCaption(QStringLiteral("  Wait!! "));
    SpeedButton3->repaint();
    // The running program becomes the backup only once the new one is complete.
    download_->start(QUrl(viewer::UpdateServerUrl(QStringLiteral("/client/Dalvinter/Dalvinter.ex_"))),
                     {startFile("Dalvinter"), startFile("Dalvinter.bak"), true},
                     [this](bool ok, const QString&) { programDownloaded(ok); });
}

void TForm4::programDownloaded(bool ok)
{
    if (!ok) {
        SpeedButton3->SetCaption(QStringLiteral("  Download error !."));
        return;
    }
    const QString question = QStringLiteral("Software download finished, OK!..") + QStringLiteral("\n\n\r") +
                             QStringLiteral("Now you can download new program description.") +
                             QStringLiteral("\n\r") +
                             QStringLiteral("File is '*.pdf' format. You mast have 'Adobe Reader'") +
                             QStringLiteral("\n\r") + QStringLiteral("Download ?.");
    if (platform::MessageBox(question, QStringLiteral("Warning!"), platform::MB_YESNO | platform::MB_SERVICE_NOTIFICATION) !=
        platform::IDYES) {
        SpeedButton3->SetCaption(QStringLiteral("Download completed: OK!"));
        return;
    }
    enterStartFolder();
    download_->start(QUrl(viewer::UpdateServerUrl(QStringLiteral("/client/Dalvinter/mhelp.pd_"))),
                     {startFile("mhelp.pdf"), startFile("mhelp.bak"), false}, [this](bool done, const QString&) {
                         SpeedButton3->SetCaption(done ? QStringLiteral("Download completed: OK!")
                                                       : QStringLiteral("  Download error !."));
                     });
}
