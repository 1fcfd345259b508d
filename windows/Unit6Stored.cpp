// The measurement window's page "Pomiary": the list of the runs stored in the window
// folder, the preview of one of them, the run name, the folder in the explorer and the
// spreadsheet export of a listed file.

#include "windows/Unit6.h"

#include "acquisition/Linia1MG.h"
#include "dialogs/TextListFile.h"
#include "mainwindow/Unit1.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/MessageBox.h"

#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFocusEvent>

#include <optional>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

namespace {

const QString captionStart = QStringLiteral("START");
const QString captionNewRun = QStringLiteral("Nowy pomiar");

// The class library's exit event: the focus goes to another control of the window.
// Switching to another window or opening a menu is no exit.
class ExitFilter : public QObject {
public:
    ExitFilter(QObject* parent, std::function<void()> onExit) : QObject(parent), onExit_(std::move(onExit)) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut) {
            const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
                Guarded(onExit_);
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> onExit_;
};

// The lines of a stored file, or nothing when there is no such file. A file that is
// there but cannot be read raises the loader's error.
std::optional<QStringList> storedLines(const QString& path)
{
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return std::nullopt;
    return dialogs::readTextList(path).lines;
}

} // namespace

void TForm6::bindRunNameExit()
{
    LabeledEdit1->installEventFilter(new ExitFilter(LabeledEdit1, [this] { LabeledEdit1Exit(LabeledEdit1); }));
}

void TForm6::FileListBox1Click(TObject*)
{
    MSExel6->setEnabled(true);
    OpenOffice6->setEnabled(true);
}

void TForm6::FileListBox1DblClick(TObject*)
{
    const QString caption = BitBtn1->Caption();
    if (caption != captionStart && caption != captionNewRun)
        return;
    const QString file = FileListBox1->FileName();
    const auto lines = storedLines(file);
    if (!lines) {
        platform::MessageBox(QStringLiteral("Nie odnaleziono pliku lub plik jest pusty !!"), QStringLiteral("Uwaga!"),
                             platform::MB_OK);
        return;
    }
    const QFileInfo info(file);
    const QString name = info.fileName();
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    const QString shownName = dot >= 0 ? name.left(dot + 1) : name;
    const QString properties =
        info.dir().filePath(dot >= 0 ? shownName + QStringLiteral("txt") : name + QStringLiteral(".txt"));
    // Both files are read before anything changes: one that cannot be read leaves the window as it was.
    const auto values = storedLines(properties);

    // From here on the memo is not the window's run: the sample tick must not write it.
    memoHoldsPreview = true;
    Lines(Memo1).Assign(*lines);
    if (values)
        Lines(Memo3).Assign(*values);
    else
        Lines(Memo3).Assign({QStringLiteral("Nie odnaleziono pliku parametrów")});

    PageControl1->SetActivePageIndex(0);
    BitBtn1->SetFontColor(clBlack);
    BitBtn1->SetCaption(captionNewRun);
    for (int i = 0; i < Chart1->SeriesCount(); ++i)
        Chart1->Series(i).Clear();

    // The stored lines are parsed into a measurement line of their own, not the main
    // window's: windows recording at the same time take their samples from that one,
    // and must never record a previewed value.
    Linia1MG stored;
    stored.Zeruj();
    auto& series = Chart1->Series(0);
    const vcl::TColor colour = record().seriesColours[0];
    int unreadable = 0;
    for (const QString& line : *lines) {
        try {
            stored.CzytajLinie(toAnsi(line));
        } catch (const rtl::EConvertError&) {
            ++unreadable;
            continue;
        }
        series.SetActive(true);
        series.Add(stored.values[0], stored.timeText, colour);
    }
    Dopasuj6WykresExecute(this);

    SetCaption(fromAnsi(windowName) + QStringLiteral("  Podgląd pomiarów: ") + shownName);
    StatusBar1->SetFontColor(clGreen);
    StatusBar1->SetVisible(true);
    StatusBar1->Panels(1)->SetText(QStringLiteral(" Podgląd pomiarów: ") + shownName);
    if (unreadable > 0)
        platform::MessageBox(QStringLiteral("Pominięto linie, których nie można odczytać: ") +
                                 QString::number(unreadable),
                             QStringLiteral("Uwaga!"), platform::MB_OK | platform::MB_ICONWARNING);
}

void TForm6::LabeledEdit1Exit(TObject*)
{
    const QString name = LabeledEdit1->Text();
    if (const auto refusal = refusedRunName(name)) {
        refuseRunName(*refusal);
        PageControl1->SetActivePageIndex(2);
        return;
    }
    const QString target = QDir(FileListBox1->Directory()).filePath(name + QStringLiteral(".dan"));
    if (QFileInfo::exists(target)) {
        const QString question = QStringLiteral("Plik o takiej nazwie istnieje.\n"
                                                "  Wciśnij OK aby usunąć stare pomiary i natpisać nowe.\n"
                                                "  Wciśnij 'Anuluj' aby zmienić nazwę pliku!!");
        if (platform::MessageBox(question, QStringLiteral("Uwaga!"), platform::MB_OKCANCEL) != platform::IDOK) {
            PageControl1->SetActivePageIndex(2);
            return;
        }
    }
    acquisition::setText(record().measurementName, toAnsi(name));
    SetCaption(fromAnsi(windowName) + QStringLiteral("  ") + name);
}

void TForm6::MSEksplorer1Click(TObject*) { TForm1::ExploreFolder(FileListBox1->Directory()); }

void TForm6::Showfilesdan1Click(TObject*)
{
    FileListBox1->SetMask(QStringLiteral("*.dan;"));
    FileListBox1->Update();
}

void TForm6::MSExel6Click(TObject*)
{
    TForm1::ExportToSpreadsheet(QStringLiteral("Excel.exe"), FileListBox1, MSExel6, OpenOffice6);
}

void TForm6::OpenOffice6Click(TObject*)
{
    TForm1::ExportToSpreadsheet(QStringLiteral("scalc.exe"), FileListBox1, MSExel6, OpenOffice6);
}
