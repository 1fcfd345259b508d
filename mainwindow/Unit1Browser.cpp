// The data-file browser of the main window: the folder tree and the file list, a file
// opened whole into the text list or page by page straight from the disk, each line
// parsed into the grid and the chart; the clear command; the text list saved as a
// data file and a data file opened from anywhere.

#include "mainwindow/Unit1.h"

#include "acquisition/DataPages.h"
#include "dialogs/TextListFile.h"
#include "platform/Convert.h"
#include "platform/Cp1250.h"
#include "platform/MessageBox.h"
#include "platform/SafeFile.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <array>
#include <optional>
#include <utility>
#include <vector>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

qint64 TForm1::wholeLoadLimit = dialogs::maxTextFileBytes;

namespace {

std::string systemPath(const std::string& ansiPath) { return QFile::encodeName(fromAnsi(ansiPath)).toStdString(); }

const QString readErrorText = QStringLiteral("Błąd czytania pomiarów..");

// The grid as a load leaves it. A load writes the same two rows for every one of its
// lines and only the last texts are ever seen, so the widget is written once, at the
// end: a column dropped by a narrower line on the way comes back empty, as it would.
class GridCells {
public:
    explicit GridCells(QTableWidget* grid)
        : grid_(grid), cells_(static_cast<std::size_t>(grid->columnCount())), fewest_(grid->columnCount())
    {
    }

    void setColumnCount(int count)
    {
        cells_.resize(static_cast<std::size_t>(count));
        fewest_ = std::min(fewest_, count);
    }

    void set(int col, int row, const std::string& text)
    {
        cells_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)] = text;
    }

    void apply()
    {
        if (fewest_ < grid_->columnCount())
            grid_->setColumnCount(fewest_);
        grid_->setColumnCount(static_cast<int>(cells_.size()));
        for (std::size_t col = 0; col < cells_.size(); ++col)
            for (std::size_t row = 0; row < 2; ++row)
                if (cells_[col][row])
                    SetCell(grid_, static_cast<int>(col), static_cast<int>(row), fromAnsi(*cells_[col][row]));
    }

private:
    QTableWidget* grid_;
    std::vector<std::array<std::optional<std::string>, 2>> cells_;   // nullopt: not written by this load
    int fewest_;
};

// One load of lines into the grid and the chart: the whole file from the text list,
// or one page read from the disk.
class FileLoad {
public:
    FileLoad(TForm1& form, bool wholeFile) : f_(form), whole_(wholeFile), grid_(form.StringGrid1) {}

    // Shows f_.currentLine. A line that does not parse is passed over; the load goes on.
    void show()
    {
        Linia1MG& line = f_.parsedLine;
        platform::TChart& chart = *f_.Chart1;
        if (line.resetPending) {
            line.Zeruj();
            for (int i = 0; i < chart.SeriesCount(); ++i) {
                chart.Series(i).Clear();
                chart.Series(i).SetActive(true);
            }
        }
        try {
            line.CzytajLinie(f_.currentLine);
        } catch (const rtl::EConvertError&) {
            skipped_ = true;
            return;
        }
        if (whole_ && f_.dataFile.headerChannels > 0)
            line.channelCount = f_.dataFile.headerChannels;
        if (line.channelCount > chart.SeriesCount())
            line.channelCount = chart.SeriesCount();
        const int count = std::max(0, line.channelCount);
        grid_.setColumnCount(count);
        for (int i = count; i < chart.SeriesCount(); ++i)
            chart.Series(i).SetActive(false);
        const std::string label = line.headerLine ? std::string() : line.dateText + " " + line.timeText;
        for (int l = 0; l < count; ++l) {
            const auto k = static_cast<std::size_t>(l);
            grid_.set(l, 0, line.names[k]);
            if (whole_)
                grid_.set(l, 1, line.valueTexts[k]);
            if (line.headerLine)
                continue;
            platform::TLineSeries& series = chart.Series(l);
            if (series.Title() != line.names[k])
                series.SetTitle(line.names[k]);
            series.Add(line.values[k], label, series.Color());
            if (line.statusFlags[k])
                series.SetActive(false);
        }
    }

    // The load's end: channel series active, the grid written, a passed-over line
    // reported once, the axes fitted.
    void finish()
    {
        const int count = std::min(f_.parsedLine.channelCount, f_.Chart1->SeriesCount());
        for (int i = 0; i < count; ++i)
            f_.Chart1->Series(i).SetActive(true);
        grid_.apply();
        if (skipped_)
            f_.StatusBar1->Panels(2)->SetText(readErrorText);
    }

private:
    TForm1& f_;
    bool whole_;
    GridCells grid_;
    bool skipped_ = false;
};

// The whole file as the text list, read by the rule every text-file load follows.
void loadTextList(QPlainTextEdit* memo, const QString& path)
{
    memo->setPlainText(dialogs::readTextFile(path, TForm1::wholeLoadLimit).text);
}

} // namespace

void TForm1::DirectoryListBox1Change(TObject*)
{
    browsedDir = toAnsi(DirectoryListBox1->Directory());
    // A folder that the 8-bit field cannot hold whole is not stored: cut or with
    // characters replaced it would name another folder at the next start.
    if (platform::canEncodeCp1250(DirectoryListBox1->Directory()))
        settings.setMeasurementDir(browsedDir);
}

void TForm1::FileListBox1Click(TObject*)
{
    MSExel1->setEnabled(true);
    OpenOffice1->setEnabled(true);
    dataFile.fileName = toAnsi(FileListBox1->FileName());
}

void TForm1::FileListBox1DblClick(TObject*) { openDataFile(FileListBox1->FileName()); }

void TForm1::openDataFile(const QString& path)
{
    Memo1->clear();
    dataFile.fileName = toAnsi(path);
    WlasciwosciPlikuExecute(this);

    const int s = UpDown1->Position();
    if (acquisition::usePagedView(deviceFamily, s, dataFile)) {
        Lines(Memo1).Add(fromAnsi(dataFile.propertiesText));
        {
            // The open reads page 0 itself, once, with the new file's page fields: the
            // bar's handler is held back while the open sets its range and position.
            const vcl::TNotifyEvent onChange = std::exchange(TrackBar1->OnChange, nullptr);
            const auto restore = qScopeGuard([&] { TrackBar1->OnChange = onChange; });
            TrackBar1->SetMax(acquisition::lastPage(dataFile, s));
            TrackBar1->SetPosition(0);
        }
        Edit3->SetText(QStringLiteral("0"));
        dataFile.pageStart = dataFile.headerEnd;
        dataFile.pageLines = s + 1;
        dataFile.pageEnd = 0;
        pagedFile = dataFile.fileName;
        File1ToChar1Execute(this);
        Panel8->SetVisible(true);
    } else {
        Panel8->SetVisible(false);
        loadTextList(Memo1, path);
        Edit1ToChar1Execute(this);
    }

    const QString name = QFileInfo(path).fileName();
    SaveDialog1->SetFileName(name);
    vcl::SetFileInUse(path);
    ToolButton15->SetEnabled(true);
    StatusBar1->Panels(0)->SetText(QStringLiteral("Odczyt z pliku ") + name);
    SaveToTable->setEnabled(true);
    SaveToFile->setEnabled(true);
}

void TForm1::Edit1ToChar1Execute(TObject* Sender)
{
    parsedLine.resetPending = true;
    const QStringList shown = Lines(Memo1).ToList();
    std::vector<std::string> lines;
    lines.reserve(static_cast<std::size_t>(shown.size()));
    for (const QString& l : shown)
        lines.push_back(toAnsi(l));

    FileLoad load(*this, true);
    for (const std::size_t j : acquisition::wholeFileLineOrder(lines)) {
        currentLine = std::move(lines[j]);
        load.show();
    }
    load.finish();
    if (ToolButton29->Down())
        dopasujWykresExecute(Sender);
}

void TForm1::File1ToChar1Execute(TObject* Sender)
{
    parsedLine.resetPending = true;
    acquisition::Page page;
    if (!acquisition::readPage(systemPath(pagedFile), dataFile.pageStart, dataFile.pageLines, page)) {
        platform::ShowMessage(QStringLiteral("Fie no exist: ") + fromAnsi(pagedFile));
        return;
    }
    FileLoad load(*this, false);
    for (std::string& line : page.lines) {
        if (line.size() <= 1)
            continue;
        currentLine = std::move(line);
        load.show();
    }
    load.finish();
    dataFile.pageEnd = page.end;
    if (ToolButton29->Down())
        dopasujWykresExecute(Sender);
}

void TForm1::TrackBar1Change(TObject* Sender)
{
    const int s = UpDown1->Position();
    const int p = TrackBar1->Position();
    Edit3->SetText(QString::number(qint64(s) * p));
    dataFile.pageStart = acquisition::pageOffset(dataFile, p, s);
    File1ToChar1Execute(Sender);
}

void TForm1::ToolButton7Click(TObject*)
{
    if (platform::MessageBox(QStringLiteral("Czy nowe pomiary? "), QStringLiteral("Uwaga"), platform::MB_OKCANCEL) !=
        platform::IDOK)
        return;
    for (int i = 0; i < Chart1->SeriesCount(); ++i) {
        Chart1->Series(i).Clear();
        if (i < StringGrid1->columnCount()) {
            SetCell(StringGrid1, i, 0, QString());
            SetCell(StringGrid1, i, 1, QString());
        }
    }
    Memo1->clear();
}

void TForm1::Showfilesdan1Click(TObject*) { FileListBox1->SetMask(QStringLiteral("*.dan;")); }
void TForm1::Plikitekstowetxtdan1Click(TObject*) { FileListBox1->SetMask(QStringLiteral("*.txt;*.dan;")); }
// Bound to nothing: "Wszystkie pliki (*.*)" leaves the mask as it is.
void TForm1::Wszystkiepliki1Click(TObject*) { FileListBox1->SetMask(QStringLiteral("*.*;")); }
void TForm1::Memo1Click(TObject*) {}

void TForm1::ToolButton5Click(TObject*)
{
    SaveDialog1->SetInitialDir(DirectoryListBox1->Directory());
    SaveDialog1->SetFilter(QStringLiteral("Plik danych|*.dan|Wszystkie pliki|*.*"));
    SaveDialog1->SetDefaultExt(QStringLiteral("dan"));
    SaveDialog1->SetOverwritePrompt(false);   // asked below, in this command's words
    if (!SaveDialog1->Execute())
        return;
    const QString path = SaveDialog1->FileName();
    const bool replace =
        !QFileInfo::exists(path) || platform::MessageBox(QStringLiteral("Plik istnieje, czy zamienić? "),
                                                         QStringLiteral("Uwaga"), platform::MB_OKCANCEL) == platform::IDOK;
    if (replace) {
        std::string bytes;
        for (const QString& line : Lines(Memo1).ToList()) {
            bytes += toAnsi(line);
            bytes += "\r\n";
        }
        if (!platform::ReplaceFile(QFile::encodeName(path).toStdString(), bytes.data(), bytes.size()))
            throw vcl::Exception(QStringLiteral("Nie można zapisać pliku \"%1\".").arg(path));
        DirectoryListBox1->SetDirectory(QFileInfo(path).absolutePath());
    }
    FileListBox1->Update();
}

void TForm1::ToolButton3Click(TObject*)
{
    OpenDialog1->SetInitialDir(DirectoryListBox1->Directory());
    OpenDialog1->SetFilter(QStringLiteral("Plik danych|*.dan|Plik tekstowy|*.txt|Wszystkie pliki|*.*"));
    // A typed name is taken as it is: an existing file without an extension opens too.
    OpenDialog1->SetDefaultExt(QString());
    if (!OpenDialog1->Execute())
        return;
    const QString path = OpenDialog1->FileName();
    ToolButton15->SetEnabled(false);
    try {
        DirectoryListBox1->SetDirectory(QFileInfo(path).absolutePath());
    } catch (...) {
        ToolButton15->SetEnabled(true);
        throw;
    }
    ToolButton15->SetEnabled(true);
    FileListBox1->SetFileName(path);
    // Opened by its own name: a file that the list's mask hides opens all the same.
    openDataFile(path);
}
