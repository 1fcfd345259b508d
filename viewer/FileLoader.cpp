#include "viewer/FileLoader.h"

#include "platform/Chart.h"
#include "platform/LineReader.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>

namespace {

constexpr platform::TColor kFixedColors[8] = {
    platform::clRed, platform::clNavy, platform::clLime, platform::clGreen,
    platform::clBlue, platform::clOlive, platform::clFuchsia, platform::clAqua,
};

// The file as the loader opened it, kept apart from the line reader so that its
// identity and the bytes compared at the next load are those of the file read.
class OpenFile {
public:
    explicit OpenFile(const std::string& path) : fd_(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
    {
        if (fd_ >= 0 && ::fstat(fd_, &stat_) != 0) {
            ::close(fd_);
            fd_ = -1;
        }
    }
    ~OpenFile()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    OpenFile(const OpenFile&) = delete;
    OpenFile& operator=(const OpenFile&) = delete;

    bool isOpen() const { return fd_ >= 0; }
    dev_t device() const { return stat_.st_dev; }
    ino_t inode() const { return stat_.st_ino; }

    std::int64_t size() const
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? std::int64_t(st.st_size) : -1;
    }

    std::string bytes(std::int64_t offset, std::size_t count) const
    {
        std::string out(count, '\0');
        std::size_t got = 0;
        while (got < count) {
            const ssize_t n = ::pread(fd_, out.data() + got, count - got, off_t(offset + std::int64_t(got)));
            if (n <= 0)
                break;
            got += std::size_t(n);
        }
        out.resize(got);
        return out;
    }

    // Whether the line that ends at `end` (terminator included) can no longer change:
    // it ended with LF, or with a CR that is followed by more bytes. A line that ran
    // into the end of the file, or whose CR is the last byte (its LF may follow),
    // may still grow.
    bool lineFinished(std::int64_t end) const
    {
        if (end <= 0)
            return false;
        const std::string last = bytes(end - 1, 1);
        if (last == "\n")
            return true;
        return last == "\r" && size() > end;
    }

private:
    int fd_ = -1;
    struct stat stat_ {};
};

// Where the bytes compared at the next load lie: the start, the end before the resume
// point and samples spread in between.
std::vector<std::pair<std::int64_t, std::size_t>> sampleSpans(std::int64_t end)
{
    constexpr std::int64_t kEdge = 4096;
    constexpr std::int64_t kSample = 256;
    constexpr int kSamples = 16;
    std::vector<std::pair<std::int64_t, std::size_t>> spans;
    spans.emplace_back(0, std::size_t(std::min(end, kEdge)));
    if (end > kEdge) {
        const std::int64_t tail = std::max(kEdge, end - kEdge);
        for (int i = 1; i <= kSamples; ++i) {
            const std::int64_t at = kEdge + (tail - kEdge) * i / (kSamples + 1);
            spans.emplace_back(at, std::size_t(std::min(kSample, tail - at)));
        }
        spans.emplace_back(tail, std::size_t(end - tail));
    }
    return spans;
}

std::string sampleBytes(const OpenFile& file, std::int64_t end)
{
    std::string out;
    for (const auto& [at, count] : sampleSpans(end))
        out += file.bytes(at, count);
    return out;
}

struct SeriesState {
    int count = 0;
    bool active = false;
    std::string title;
};

} // namespace

// The state at the last whole line of the last load, and what the file and chart
// looked like, to tell whether the next load may go on from there.
struct FileLoader::Resume {
    std::string path;
    Kind kind = Kind::Current;
    const platform::TChart* chart = nullptr;
    dev_t device = 0;
    ino_t inode = 0;
    std::int64_t offset = 0;
    std::string samples;
    Linia1MG line;
    std::vector<SeriesState> series;      // at the resume point
    std::vector<int> countsAfterLoad;     // at the end of the load
};

FileLoader::FileLoader() = default;
FileLoader::~FileLoader() = default;

void FileLoader::forget()
{
    resume_.reset();
}

bool FileLoader::canResume(const std::string& path, const platform::TChart& chart, Kind kind) const
{
    if (!resume_ || resume_->path != path || resume_->kind != kind || resume_->chart != &chart
        || int(resume_->countsAfterLoad.size()) != chart.SeriesCount())
        return false;
    for (int q = 0; q < chart.SeriesCount(); ++q)
        if (chart.Series(q).Count() != resume_->countsAfterLoad[std::size_t(q)])
            return false;
    return true;
}

bool FileLoader::load(const std::string& path, platform::TChart& chart, Linia1MG& line, Kind kind)
{
    // The chart or a handler may run the event loop while points are added; a tick that
    // arrives then must not start a second load over the running one.
    if (running_)
        return true;
    running_ = true;
    struct Done {
        bool& flag;
        ~Done() { flag = false; }
    } done{running_};

    lastResumed_ = false;
    const int seriesCount = chart.SeriesCount();
    OpenFile file(path);
    platform::LineReader reader;
    const bool opened = file.isOpen() && reader.open(path);

    bool resumed = false;
    if (opened && canResume(path, chart, kind) && file.device() == resume_->device
        && file.inode() == resume_->inode && file.size() >= resume_->offset
        && sampleBytes(file, resume_->offset) == resume_->samples && reader.seek(resume_->offset)) {
        resumed = true;
        line = resume_->line;
        for (int q = 0; q < seriesCount; ++q) {
            platform::TLineSeries& s = chart.Series(q);
            const SeriesState& kept = resume_->series[std::size_t(q)];
            s.Truncate(kept.count);
            s.SetActive(kept.active);
            s.SetTitle(kept.title);
        }
    }
    if (!resumed) {
        resume_.reset();
        for (int q = 0; q < seriesCount; ++q) {
            platform::TLineSeries& s = chart.Series(q);
            if (kind == Kind::Older)
                s.SetColor(platform::TColor(255 + 8 * q));
            s.Clear();
            s.SetActive(false);
        }
        line.Zeruj();
    }
    lastResumed_ = resumed;
    if (!opened)
        return false;

    auto seriesNow = [&chart, seriesCount]() {
        std::vector<SeriesState> states(static_cast<std::size_t>(seriesCount));
        for (int q = 0; q < seriesCount; ++q) {
            const platform::TLineSeries& s = chart.Series(q);
            states[std::size_t(q)] = SeriesState{s.Count(), s.Active(), s.Title()};
        }
        return states;
    };

    // The state before a line that may still grow; taken only for the last line read
    // so far, which is where such a line can be.
    std::unique_ptr<Resume> unfinished;
    bool first = !resumed;
    bool lastFinished = true;
    std::string buffer;
    std::string label;
    while (reader.readLine(buffer, kLineChars)) {
        lastFinished = true;
        if (reader.atEnd() && !file.lineFinished(reader.position())) {
            lastFinished = false;
            unfinished = std::make_unique<Resume>();
            unfinished->offset = reader.lineStart();
            unfinished->line = line;
            unfinished->series = seriesNow();
        }
        line.CzytajLinie(buffer.c_str());
        if (kind == Kind::Current && line.channelCount == 0)
            line.channelCount = 1;
        if (first) {
            first = false;
            if (kind == Kind::Current) {
                const int c = line.channelCount;
                if (c <= 8) {
                    for (int q = 0; q < 8 && q < seriesCount; ++q)
                        chart.Series(q).SetColor(kFixedColors[q]);
                } else {
                    for (int j = 0; j <= c && j < seriesCount; ++j)
                        chart.Series(j).SetColor(platform::TColor(32 + j * (17825792 / c)));
                }
            }
        }
        if (!line.dataFlag)
            continue;
        const int n = std::min(seriesCount, int(line.channelCount));
        bool labelled = false;
        for (int q = 0; q < n; ++q) {
            platform::TLineSeries& s = chart.Series(q);
            // Titles are names, which no longer change once data lines are read.
            if (!s.Active()) {
                s.SetActive(true);
                s.SetTitle(line.names[q]);
            }
            if (s.Count() >= kShownPoints)
                continue;
            if (!labelled) {
                label.assign(line.dateText);
                label += ' ';
                label += line.timeText;
                labelled = true;
            }
            s.Add(line.values[q], label, s.Color());
        }
    }

    std::unique_ptr<Resume> next;
    if (lastFinished) {
        next = std::make_unique<Resume>();
        next->offset = reader.position();
        next->line = line;
        next->series = seriesNow();
    } else {
        next = std::move(unfinished);
    }
    // A file replaced while it was read is not the one whose bytes are kept.
    struct stat now {};
    const bool same = ::stat(path.c_str(), &now) == 0 && now.st_dev == file.device() && now.st_ino == file.inode();
    if (!next || next->offset == 0 || !same)
        return true;
    next->path = path;
    next->kind = kind;
    next->chart = &chart;
    next->device = file.device();
    next->inode = file.inode();
    next->samples = sampleBytes(file, next->offset);
    next->countsAfterLoad.resize(std::size_t(seriesCount));
    for (int q = 0; q < seriesCount; ++q)
        next->countsAfterLoad[std::size_t(q)] = chart.Series(q).Count();
    resume_ = std::move(next);
    return true;
}
