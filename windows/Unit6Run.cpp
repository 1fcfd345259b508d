// The measurement window's run: the run button's cycle START, STOP and "Nowy pomiar",
// the run name, the properties file and the remarks; and the sample tick, which
// records a line of the active channels per new sample and keeps the run log on disk.

#include "windows/Unit6.h"

#include "mainwindow/Unit1.h"
#include "platform/links/Threads.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/text/DateTime.h"
#include "platform/vcl/MessageBox.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QPointer>
#include <QTextCursor>

#include <algorithm>
#include <utility>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

namespace {

std::string fileSystemName(const QString& path) { return QFile::encodeName(path).toStdString(); }

const QString captionStart = QStringLiteral("START");
const QString captionStop = QStringLiteral("STOP");
const QString captionNewRun = QStringLiteral("Nowy pomiar");

// The longest run name its record field holds.
constexpr std::size_t maxRunName = sizeof(acquisition::WindowRecord::measurementName) - 1;
constexpr int maxRemarks = 120;

QString fileError(const QString& path, const std::string& reason)
{
    return QStringLiteral("Cannot create file \"%1\". %2")
        .arg(QDir::toNativeSeparators(path), QString::fromLocal8Bit(reason.c_str()));
}

} // namespace

std::string TForm6::runFileName() const
{
    // The window name, not the caption: a caption may name a previewed file.
    const std::string name = acquisition::getText(record().measurementName);
    return name.empty() ? windowName : name;
}

void TForm6::BitBtn1Click(TObject*)
{
    Timer1->SetEnabled(true);
    FileListBox1->SetEnabled(true);
    const QString caption = BitBtn1->Caption();
    if (caption == captionStart)
        startRun();
    else if (caption == captionStop)
        stopRun();
    else
        newRun();
}

std::optional<QString> TForm6::refusedRunName(const QString& name) const
{
    // The run's files are named by it in the window folder. Any such name will do
    // ("a..b" included); only a separator, a control character or the folder names
    // "." and ".." would put them elsewhere, and a character the 8-bit record cannot
    // hold or a name it cannot hold whole would name another file.
    const QString quoted = QStringLiteral("Nazwa pomiaru '") + name + QStringLiteral("' ");
    if (!platform::canEncodeCp1250(name))
        return quoted + QStringLiteral("zawiera znaki, których nie można zapisać w nazwie pomiaru.");
    const bool control = std::any_of(name.begin(), name.end(), [](QChar c) { return c.unicode() < 32; });
    if (control || name.contains(QLatin1Char('/')) || name.contains(QLatin1Char('\\')) || name == QLatin1String(".") ||
        name == QLatin1String(".."))
        return quoted + QStringLiteral("nie może zawierać znaków '/', '\\' ani znaków sterujących"
                                       " i nie może być nazwą '.' ani '..'.");
    // Code page 1250 takes one byte a character.
    if (std::size_t(name.size()) > maxRunName)
        return quoted + QStringLiteral("ma ") + QString::number(name.size()) +
               QStringLiteral(" znaków, a może mieć najwyżej ") + QString::number(maxRunName) + QStringLiteral(".");
    return std::nullopt;
}

void TForm6::refuseRunName(const QString& refusal)
{
    platform::MessageBox(refusal + QStringLiteral("\n  Wybierz inną nazwę pliku!!"), QStringLiteral("Uwaga!"),
                         platform::MB_OK | platform::MB_ICONWARNING);
}

std::optional<std::string> TForm6::runNameFromDialog()
{
    const QString chosen = QFileInfo(OpenDialog1->FileName()).fileName();
    const QString name = chosen.size() > 4 ? chosen.left(chosen.size() - 4) : QString();
    if (const auto refusal = refusedRunName(name)) {
        refuseRunName(*refusal);
        return std::nullopt;
    }
    return toAnsi(name);
}

void TForm6::startRun()
{
    StatusBar1->SetVisible(false);
    if (Form1->BitBtn4->Caption() == captionStart)
        Form1->BitBtn4Click(BitBtn1);
    setLine(Memo3, 4, QString());
    setLine(Memo3, 3, QString());
    runMinimum = 9999.0f;
    runMaximum = -999.0f;
    haveExtremes_ = false;
    setLine(Memo3, 9, fromAnsi(acquisition::getText(Form1->settings.workFolder)));

    OpenDialog1->SetFileName(QString());
    OpenDialog1->SetTitle(QStringLiteral("Nowa nazwa pliku pomiarowego dla Okna") + QString::number(windowIndex + 1));
    OpenDialog1->SetInitialDir(FileListBox1->Directory());
    OpenDialog1->SetFilter(QStringLiteral("Plik danych|*.dan|Wszystkie pliki|*.*"));
    // A name typed without an extension is the run name itself.
    OpenDialog1->SetDefaultExt(QStringLiteral("dan"));
    if (!OpenDialog1->Execute())
        return;
    const std::optional<std::string> name = runNameFromDialog();
    if (!name)
        return;

    auto& r = record();
    acquisition::setText(r.measurementName, *name);
    SetCaption(fromAnsi(windowName + "  " + *name));
    LabeledEdit1->SetText(fromAnsi(*name));
    const std::string logName = runFileName() + ".dan";
    if (QFileInfo::exists(QDir(FileListBox1->Directory()).filePath(fromAnsi(logName)))) {
        const QString question = QStringLiteral("Plik o nazwie '") + fromAnsi(logName) +
                                 QStringLiteral("' istnieje.\n"
                                                "  Wciśnij OK aby usunąć stare pomiary i nadpisać nowe.\n"
                                                "  Wciśnij 'Anuluj' aby zmienić nazwę pliku!!");
        if (platform::MessageBox(question, QStringLiteral("Uwaga!"), platform::MB_OKCANCEL) != platform::IDOK) {
            PageControl1->SetActivePageIndex(0);
            return;
        }
    }

    BitBtn1->SetCaption(captionStop);
    BitBtn1->SetFontColor(clRed);
    memoHoldsPreview = false;
    r.startTime = rtl::Now();
    setLine(Memo3, 0, fromAnsi(name->empty() ? windowName : *name));
    setLine(Memo3, 1, fromAnsi(rtl::FormatDateTime("yyyy-mm-dd hh:mm", rtl::Now())));
    SetBorderIcons(BorderIcons() & ~unsigned(biSystemMenu));
    FileListBox1->SetEnabled(false);
}

void TForm6::stopRun()
{
    SetBorderIcons(BorderIcons() | biSystemMenu);
    StatusBar1->SetVisible(false);
    BitBtn1->SetFontColor(clBlack);
    BitBtn1->SetCaption(captionNewRun);
    auto& r = record();
    r.endTime = rtl::Now();
    setLine(Memo3, 2, fromAnsi(rtl::FormatDateTime("yyyy-mm-dd hh:mm", r.endTime)));
    writePropertiesFile();
}

void TForm6::newRun()
{
    SetBorderIcons(BorderIcons() | biSystemMenu);
    StatusBar1->SetVisible(false);
    Lines(Memo1).Clear();
    memoHoldsPreview = false;
    QStringList empty;
    for (int i = 0; i <= Lines(Memo2).Count(); ++i)
        empty << QString();
    Lines(Memo3).Assign(empty);
    const int series = std::min(ComboBox2->ItemCount(), Chart1->SeriesCount());
    for (int j = 0; j < series; ++j) {
        Chart1->Series(j).Clear();
        Chart1->Series(j).SetActive(false);
    }
    BitBtn1->SetCaption(captionStart);
    BitBtn1->SetFontColor(clGreen);
}

void TForm6::writePropertiesFile()
{
    std::string bytes;
    for (const QString& line : Lines(Memo3).ToList())
        bytes += toAnsi(line) + "\r\n";
    const QString path = QDir(FileListBox1->Directory()).filePath(fromAnsi(runFileName() + ".txt"));
    std::string error;
    if (!platform::ReplaceFile(fileSystemName(path), bytes.data(), bytes.size(), nullptr, &error))
        throw vcl::Exception(fileError(path, error));
}

void TForm6::Memo4Change(TObject*)
{
    if (creating)
        return;
    QString text = Memo4->toPlainText();
    text.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
    if (text.size() > maxRemarks) {
        QString cut = text.left(maxRemarks);
        // Half a line break would come back as a whole one and never fit.
        if (cut.endsWith(QLatin1Char('\r')))
            cut.chop(1);
        cut.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        Memo4->setPlainText(cut);
        Memo4->moveCursor(QTextCursor::End);
        return;
    }
    acquisition::setText(record().remarks, toAnsi(text));
}

void TForm6::addLogLine(const std::string& line)
{
    // The memo follows the newest line while the view is at its end; a user who
    // scrolled back to read keeps the lines being read.
    addingLine_ = true;
    Lines(Memo1).Add(fromAnsi(line));
    addingLine_ = false;
    if (!memoChanged_)
        log_.append(line + "\r\n");
}

void TForm6::writeLog()
{
    if (memoChanged_) {
        std::string text;
        for (const QString& line : Lines(Memo1).ToList())
            text += toAnsi(line) + "\r\n";
        log_.reset(std::move(text));
        memoChanged_ = false;
    }
    const std::string name = runFileName() + ".dan";
    const QString dir = FileListBox1->Directory();
    const QString path = QDir(dir).filePath(fromAnsi(name));
    const auto report = [&](const std::string& reason) {
        // Once per failure, not once per sample; the lines stay in the memo and the
        // file catches up at the first write that succeeds.
        if (logErrorShown_)
            return;
        logErrorShown_ = true;
        tellLogError(fileError(path, reason) +
                     QStringLiteral("\nPomiary zostają w oknie i zostaną zapisane, gdy zapis się powiedzie."));
    };
    if (!QFileInfo(dir).isDir()) {
        if (!log_.text().empty())
            report("The folder does not exist.");
        return;
    }
    if (!log_.text().empty()) {
        log_.setPath(fileSystemName(path));
        log_.setWriter(logWrite);
        std::string error;
        if (!log_.sync(&error)) {
            report(error);
            return;
        }
        logErrorShown_ = false;
    }
    setLine(Memo3, 8, fromAnsi(name));
    FileListBox1->Update();
}

void TForm6::tellLogError(const QString& text)
{
    // A timer does not fire again while its own handler waits, so a box opened inside
    // the tick would stop the run until it is answered. Shown after the tick, it leaves
    // the ticks going: the samples reach the memo and the chart, and the file once the
    // disk takes them again.
    if (logBoxOpen_) {
        // One box at a time; a new failure is told after the answer if it still holds.
        logErrorWaiting_ = text;
        return;
    }
    logBoxOpen_ = true;
    QPointer<TForm6> self(this);
    platform::queueCall(this, [self, text] {
        platform::ShowException(text);
        if (!self)
            return;
        self->logBoxOpen_ = false;
        const QString waiting = std::exchange(self->logErrorWaiting_, QString());
        if (!waiting.isEmpty() && self->logErrorShown_)
            self->tellLogError(waiting);
    });
}

void TForm6::Timer1Timer(TObject* Sender)
{
    // A second object built for a slot that has its window takes no samples.
    if (ForSlot(windowIndex) != this)
        return;
    auto& r = record();
    if (r.newSample == 0 || !tickArmed) {
        tickArmed = true;
        return;
    }
    r.newSample = 0;
    // A flag kept in the settings file from an earlier session stands for no reading.
    const bool recording = BitBtn1->Caption() == captionStop && Form1->liveSample.count > 0;
    const auto elapsed = [&r] { return rtl::FormatDateTime("hh:mm:ss ", rtl::Now() - r.startTime); };
    std::string line = elapsed();
    if (recording) {
        const auto& values = Form1->liveSample.values;
        int p = 0;
        for (int i = 0; i < ComboBox2->ItemCount(); ++i) {
            if (!ComboBox2->itemText(i).contains(QStringLiteral("Aktywny")))
                continue;
            // A list longer than the measurement line names no channel beyond it.
            if (i >= static_cast<int>(values.size()))
                break;
            const double v = values[static_cast<std::size_t>(i)];
            line += windows::formatLogValue(v);
            const std::string label = elapsed();
            if (p < Chart1->SeriesCount()) {
                auto& series = Chart1->Series(p);
                series.SetActive(true);
                // Beyond the nine style slots a series draws in its own colour.
                series.Add(v, label, p < styleSlots ? r.seriesColours[p] : vcl::clDefault);
                series.SetPenWidth(UpDown2->Position());
            }
            Chart1->SetLegendVisible(false);
            ++p;
            if (CheckBox1->Checked())
                Dopasuj6WykresExecute(Sender);
            const float value = static_cast<float>(v);
            if (!haveExtremes_ || runMinimum > value)
                runMinimum = value;
            if (!haveExtremes_ || runMaximum < value)
                runMaximum = value;
            haveExtremes_ = true;
            setLine(Memo3, 3, fromAnsi(rtl::FormatFloat("#0.0", runMinimum)));
            setLine(Memo3, 4, fromAnsi(rtl::FormatFloat("#0.0", runMaximum)));
        }
        addLogLine(line);
    }
    if (memoHoldsPreview) {
        FileListBox1->Update();
        return;
    }
    writeLog();
}
