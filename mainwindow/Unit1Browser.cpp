// The data-file browser of the main window: the folder tree and the file list, a file
// opened whole into the text list or page by page straight from the disk, each line
// parsed into the grid and the chart; the clear command; the text list saved as a
// data file and a data file opened from anywhere.
//
// A file opened whole is kept once, as its own bytes in the text list; the chart holds
// a number for every value. A load that takes a while shows it: the busy cursor and a
// text in the status bar, while the window goes on painting and every command waits.

#include "mainwindow/Unit1.h"

#include "acquisition/DataPages.h"
#include "dialogs/TextListFile.h"
#include "platform/files/SafeFile.h"
#include "platform/text/Convert.h"
#include "platform/text/Cp1250.h"
#include "platform/text/ShortText.h"
#include "platform/vcl/MessageBox.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QScopeGuard>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include <array>
#include <limits>
#include <utility>
#include <vector>

using platform::fromAnsi;
using platform::toAnsi;

using namespace vcl;

int TForm1::loadBusyAfterMs = 200;
int TForm1::loadPaintEveryMs = 100;

namespace {

// What the machine can still give without swapping (MemAvailable); -1 when unknown.
qint64 availableMemory()
{
    QFile info(QStringLiteral("/proc/meminfo"));
    if (!info.open(QIODevice::ReadOnly))
        return -1;
    while (!info.atEnd()) {
        const QByteArray line = info.readLine();
        if (!line.startsWith("MemAvailable:"))
            continue;
        const QList<QByteArray> fields = line.simplified().split(' ');
        bool ok = false;
        const qint64 kb = fields.size() >= 2 ? fields[1].toLongLong(&ok) : 0;
        return ok ? kb * 1024 : -1;
    }
    return -1;
}

} // namespace

std::function<qint64()> TForm1::freeMemory = availableMemory;

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
    {}

    void setColumnCount(int count)
    {
        cells_.resize(static_cast<std::size_t>(count));
        fewest_ = std::min(fewest_, count);
    }

    void set(int col, int row, const std::string& text)
    {
        Cell& cell = cells_[static_cast<std::size_t>(col)][static_cast<std::size_t>(row)];
        platform::assignText(cell.text, text);
        cell.written = true;
    }

    void apply()
    {
        if (fewest_ < grid_->columnCount())
            grid_->setColumnCount(fewest_);
        grid_->setColumnCount(static_cast<int>(cells_.size()));
        for (std::size_t col = 0; col < cells_.size(); ++col)
            for (std::size_t row = 0; row < 2; ++row)
                if (cells_[col][row].written)
                    SetCell(grid_, static_cast<int>(col), static_cast<int>(row), fromAnsi(cells_[col][row].text));
    }

private:
    struct Cell {
        std::string text;
        bool written = false; // by this load
    };
    QTableWidget* grid_;
    std::vector<std::array<Cell, 2>> cells_;
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
        // The line's label is stored once for the points of all its channels.
        platform::TPointLabel label;
        if (!line.headerLine && count > 0)
            label = chart.Label(label_.assign(line.dateText).append(1, ' ').append(line.timeText));
        for (int l = 0; l < count; ++l) {
            const auto k = static_cast<std::size_t>(l);
            grid_.set(l, 0, line.names[k]);
            if (whole_)
                grid_.set(l, 1, line.valueTexts[k]);
            if (line.headerLine)
                continue;
            platform::TLineSeries& series = chart.Series(l);
            if (!platform::sameText(series.Title(), line.names[k]))
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
    std::string label_;
};

// A file loaded whole takes at most this many times its size in memory: its bytes in
// the text list, and a number for every value in the chart.
constexpr qint64 wholeLoadFactor = 3;

// Shows that a long load is working: from TForm1::loadBusyAfterMs on, the busy cursor
// and a text in status panel 0, until the chart has been drawn. Meanwhile the window
// goes on painting: events are let through every tenth of a second
// (TForm1::loadPaintEveryMs), but no input of
// the user, so no command runs before the load has ended; the window's close box is
// refused, and the browser's commands refuse to run while one is under way. While a
// device link may hand in readings (they would land among the file's points), nothing
// is let through and only the status bar is painted. The chart is drawn once, when
// the load is over: drawn on the way, its points would be drawn again and again only
// to be thrown away.
class LoadProgress {
public:
    LoadProgress(TForm1& form, const QString& name)
        : f_(form), name_(name),
          onClose_(std::exchange(form.OnClose, [](TObject*, vcl::TCloseAction& action) { action = vcl::caNone; }))
    {
        clock_.start();
        running_ = this;
        f_.Chart1->SetAutoRepaint(false);
    }

    ~LoadProgress()
    {
        running_ = nullptr;
        f_.Chart1->SetAutoRepaint(true);
        f_.OnClose = std::move(onClose_);
        if (!busy_)
            return;
        if (!done_)
            f_.StatusBar1->Panels(0)->SetText(panelBefore_);
        QGuiApplication::restoreOverrideCursor();
    }

    static LoadProgress* running() { return running_; }

    // Called often during the load; looks at the clock and lets the window paint.
    void step()
    {
        const qint64 ms = clock_.elapsed();
        if (!busy_) {
            if (ms < TForm1::loadBusyAfterMs)
                return;
            busy_ = true;
            QGuiApplication::setOverrideCursor(Qt::WaitCursor);
            panelBefore_ = f_.StatusBar1->Panels(0)->Text();
            f_.StatusBar1->Panels(0)->SetText(QStringLiteral("Wczytywanie pliku ") + name_ + QStringLiteral(".."));
        } else if (ms - painted_ < TForm1::loadPaintEveryMs) {
            return;
        }
        painted_ = ms;
        if (readingsMayArrive())
            f_.StatusBar1->repaint();
        else
            QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }

    // The load has ended well: the chart is drawn before the cursor comes back.
    void done()
    {
        done_ = true;
        if (busy_ && f_.Chart1->isVisible())
            f_.Chart1->Repaint();
    }

private:
    bool readingsMayArrive() const
    {
        return f_.acquisitionRunning || f_.serialExchangeRunning() || f_.tcpTransactionRunning() ||
               f_.Timer1->Running() || (f_.IdTCPServer1 && f_.IdTCPServer1->isActive());
    }

    TForm1& f_;
    QString name_;
    std::function<void(TObject*, vcl::TCloseAction&)> onClose_;
    QElapsedTimer clock_;
    bool busy_ = false;
    bool done_ = false;
    qint64 painted_ = 0;
    QString panelBefore_;
    static inline LoadProgress* running_ = nullptr;
};

// What the file shown before took goes back to the system, not only to this process's
// heap: a large file followed by a small one would otherwise hold on to its memory.
void giveBackFreedMemory()
{
#ifdef __GLIBC__
    malloc_trim(0);
#endif
}

// Nothing that would open another file or change the shown one runs during a load.
bool loadRunning() { return LoadProgress::running() != nullptr; }

// The whole file as the text list, read by the rule every text-file load follows. A
// file in code page 1250 (no byte-order mark) is kept as its own bytes. Raises its
// error for a file that cannot be read, and refuses one that would not fit into the
// memory the machine has free; the refusal points to the paged view when that view
// would page through the file (pageable).
void loadTextList(vcl::TMemo* memo, const QString& path, LoadProgress& progress, bool pageable)
{
    const qint64 free = TForm1::freeMemory ? TForm1::freeMemory() : -1;
    const qint64 size = QFileInfo(path).size();
    if (free >= 0 && size > free / wholeLoadFactor) {
        constexpr qint64 mb = qint64(1) << 20;
        QString refusal = QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości: potrzeba %2 MB "
                                         "pamięci, a wolnej jest %3 MB.")
                              .arg(path)
                              .arg((size * wholeLoadFactor + mb - 1) / mb)
                              .arg(free / mb);
        if (pageable)
            refusal += QStringLiteral(" Można go oglądać stronami: w ustawieniach wybierz typ systemu \"Kovra51\".");
        throw vcl::Exception(refusal);
    }
    // A file that grows while it is read is held to what fits.
    const qint64 limit = free >= 0 ? free / wholeLoadFactor : std::numeric_limits<qint64>::max() / 2;
    QByteArray bytes = dialogs::readTextBytes(path, limit, [&] { progress.step(); });
    if (dialogs::textEncoding(bytes) == dialogs::TextEncoding::Ansi)
        memo->SetAnsiText(std::move(bytes));
    else
        memo->setPlainText(dialogs::decodeText(bytes).text);
}

} // namespace

vcl::TNotifyEvent TForm1::browserCommand(void (TForm1::*handler)(TObject*))
{
    return [this, handler](TObject* sender) {
        if (!loadRunning())
            (this->*handler)(sender);
    };
}

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
    LoadProgress progress(*this, QFileInfo(path).fileName());
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
        // Only a device file's fixed-length lines make pages that cover it; a file without
        // them would show as one page.
        constexpr int pagedFamily = 2;
        loadTextList(Memo1, path, progress,
                     dataFile.lineLen > 0 && acquisition::usePagedView(pagedFamily, s, dataFile));
        Edit1ToChar1Execute(this);
    }

    const QString name = QFileInfo(path).fileName();
    SaveDialog1->SetFileName(name);
    vcl::SetFileInUse(path);
    ToolButton15->SetEnabled(true);
    StatusBar1->Panels(0)->SetText(QStringLiteral("Odczyt z pliku ") + name);
    SaveToTable->setEnabled(true);
    SaveToFile->setEnabled(true);
    progress.done();
    giveBackFreedMemory();
}

void TForm1::Edit1ToChar1Execute(TObject* Sender)
{
    LoadProgress* progress = LoadProgress::running();
    parsedLine.resetPending = true;
    std::string scratch;
    const auto lineAt = [&](std::size_t j) { return Memo1->AnsiLine(int(j), scratch); };
    FileLoad load(*this, true);
    std::size_t shown = 0;
    acquisition::forEachWholeFileLine(std::size_t(Lines(Memo1).Count()), lineAt,
                                      [&](std::size_t, std::string_view line) {
                                          currentLine.assign(line);
                                          load.show();
                                          if (progress && (++shown & 255) == 0)
                                              progress->step();
                                      });
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
    giveBackFreedMemory();
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
    SaveDialog1->SetOverwritePrompt(false); // asked below, in this command's words
    if (!SaveDialog1->Execute())
        return;
    const QString path = SaveDialog1->FileName();
    const bool replace = !QFileInfo::exists(path) ||
                         platform::MessageBox(QStringLiteral("Plik istnieje, czy zamienić? "), QStringLiteral("Uwaga"),
                                              platform::MB_OKCANCEL) == platform::IDOK;
    if (replace) {
        // Straight from the text list's own 8-bit lines: a file loaded whole is saved
        // without a copy of it in Unicode on the way.
        std::string bytes;
        std::string scratch;
        for (int i = 0, n = Lines(Memo1).Count(); i < n; ++i) {
            bytes += Memo1->AnsiLine(i, scratch);
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
