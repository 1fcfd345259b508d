#include "viewer/FileLoader.h"

#include "platform/chart/Chart.h"
#include "platform/files/LineReader.h"
#include "platform/files/SafeFile.h"
#include "viewer/ContentHash.h"

#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <string_view>

namespace {

constexpr vcl::TColor kFixedColors[8] = {
    vcl::clRed, vcl::clNavy, vcl::clLime, vcl::clGreen, vcl::clBlue, vcl::clOlive, vcl::clFuchsia, vcl::clAqua,
};

std::int64_t nanoseconds(const timespec& t) { return std::int64_t(t.tv_sec) * 1'000'000'000 + t.tv_nsec; }

// The clock the kernel stamps a file's changes with: a change made after this reading
// carries a change time no earlier than it. The coarse clock, as a file system may stamp
// with the last clock tick, which the precise time is ahead of by up to a tick.
timespec fileClockNow()
{
    timespec t{};
    ::clock_gettime(CLOCK_REALTIME_COARSE, &t);
    return t;
}

// A file system keeps change times at a granularity of its own (a nanosecond, 100 ns,
// 10 ms, a second, two) and does not tell it. A stamp is a whole multiple of it, so the
// stamp's trailing decimal zeros bound it, and whole seconds may count in twos.
std::int64_t stampGrain(const timespec& t)
{
    if (t.tv_nsec == 0)
        return 2'000'000'000;
    std::int64_t grain = 1;
    for (long n = t.tv_nsec; n % 10 == 0; n /= 10)
        grain *= 10;
    return grain;
}

// A local file system stamps a change with this machine's clock and shows it to stat()
// at once; a network one stamps with its server's clock and may show attributes it has
// cached, so its files are always read. An overlay (a container's) shows the stamps of
// the file systems beneath it.
bool stampsLocally(int fd)
{
    struct statfs fs {};
    if (::fstatfs(fd, &fs) != 0)
        return false;
    switch (std::uint32_t(fs.f_type)) {
    case EXT4_SUPER_MAGIC: // also ext2 and ext3
    case XFS_SUPER_MAGIC:
    case BTRFS_SUPER_MAGIC:
    case F2FS_SUPER_MAGIC:
    case TMPFS_MAGIC:
    case MSDOS_SUPER_MAGIC:
    case EXFAT_SUPER_MAGIC:
    case OVERLAYFS_SUPER_MAGIC:
        return true;
    default:
        return false;
    }
}

// The file as the loader opened it (only a plain file is taken). The line reader reads
// a copy of the descriptor, so that the file's identity and the bytes hashed are those
// read.
class OpenFile {
public:
    explicit OpenFile(const std::string& path) : fd_(platform::OpenForReading(path))
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
    // The size and change time when it was opened, before any byte was read.
    off_t sizeAtOpen() const { return stat_.st_size; }
    timespec changedAtOpen() const { return stat_.st_ctim; }
    bool stampsLocally() const { return ::stampsLocally(fd_); }
    int duplicate() const { return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0); }

    std::int64_t size() const
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? std::int64_t(st.st_size) : -1;
    }

    // The hash of the file's first `count` bytes as they are now, adding the bytes read
    // to `read`; false when they cannot all be read.
    bool hashOf(std::int64_t count, ContentHash& hash, std::int64_t& read) const
    {
        std::vector<char> block(std::size_t(1) << 20);
        for (std::int64_t at = 0; at < count;) {
            const std::size_t want = std::size_t(std::min<std::int64_t>(count - at, std::int64_t(block.size())));
            const ssize_t got = ::pread(fd_, block.data(), want, off_t(at));
            if (got < 0 && errno == EINTR)
                continue;
            if (got <= 0)
                return false;
            hash.update(std::string_view(block.data(), std::size_t(got)));
            at += got;
            read += got;
        }
        return true;
    }

private:
    int fd_ = -1;
    struct stat stat_ {};
};

struct SeriesState {
    int count = 0;
    bool active = false;
    std::string title;
};

void restoreSeries(platform::TChart& chart, const std::vector<SeriesState>& states)
{
    for (int q = 0; q < chart.SeriesCount(); ++q) {
        platform::TLineSeries& s = chart.Series(q);
        const SeriesState& kept = states[std::size_t(q)];
        s.Truncate(kept.count);
        s.SetActive(kept.active);
        // An unchanged chart asks for no repaint.
        if (s.Title() != kept.title)
            s.SetTitle(kept.title);
    }
}

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
    ContentHash hash; // of the bytes before offset
    Linia1MG line;
    std::vector<SeriesState> series; // at the resume point
    // The file when the load began, and whether a reload that finds it so may keep the
    // load's result unread.
    off_t size = -1;
    timespec changed{};
    bool standing = false;
    Linia1MG lineAfterLoad;
    std::vector<SeriesState> afterLoad; // at the end of the load
};

FileLoader::FileLoader() = default;
FileLoader::~FileLoader() = default;

void FileLoader::forget()
{
    resume_.reset();
    seenEnd_ = -1;
}

bool FileLoader::canResume(const std::string& path, const platform::TChart& chart, Kind kind) const
{
    if (!resume_ || resume_->path != path || resume_->kind != kind || resume_->chart != &chart ||
        int(resume_->afterLoad.size()) != chart.SeriesCount())
        return false;
    for (int q = 0; q < chart.SeriesCount(); ++q)
        if (chart.Series(q).Count() != resume_->afterLoad[std::size_t(q)].count)
            return false;
    return true;
}

// A write stamps the grain it falls in. One in the grain the load began in may be
// followed by another with the same stamp; one a whole grain before the start cannot.
bool FileLoader::changedBeforeLoad(const timespec& changed, const timespec& loadStart)
{
    return nanoseconds(changed) + stampGrain(changed) <= nanoseconds(loadStart);
}

bool FileLoader::unchangedSinceLastLoad(const std::string& path) const
{
    struct stat now {};
    return resume_ && resume_->standing && ::stat(path.c_str(), &now) == 0 && S_ISREG(now.st_mode) &&
           now.st_dev == resume_->device && now.st_ino == resume_->inode && now.st_size == resume_->size &&
           nanoseconds(now.st_ctim) == nanoseconds(resume_->changed);
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
    lastRead_ = 0;
    const int seriesCount = chart.SeriesCount();
    if (canResume(path, chart, kind) && unchangedSinceLastLoad(path)) {
        // Nothing was written since the last load began: its result stands.
        line = resume_->lineAfterLoad;
        restoreSeries(chart, resume_->afterLoad);
        lastResumed_ = true;
        return true;
    }
    const timespec start = fileClockNow();
    OpenFile file(path);
    platform::LineReader reader(platform::LineReader::Breaks::TextMode);
    const bool opened = file.isOpen() && reader.open(file.duplicate());

    // Reading on is right only when every byte read before is still the same.
    ContentHash hash;
    bool resumed = false;
    if (opened && canResume(path, chart, kind) && file.device() == resume_->device && file.inode() == resume_->inode &&
        file.size() >= resume_->offset && file.hashOf(resume_->offset, hash, lastRead_) && hash == resume_->hash &&
        reader.seek(resume_->offset)) {
        resumed = true;
        line = resume_->line;
        restoreSeries(chart, resume_->series);
    }
    if (!resumed) {
        resume_.reset();
        hash = ContentHash();
        for (int q = 0; q < seriesCount; ++q) {
            platform::TLineSeries& s = chart.Series(q);
            if (kind == Kind::Older)
                s.SetColor(vcl::TColor(255 + 8 * q));
            s.Clear();
            s.SetActive(false);
        }
        line.Zeruj();
    }
    lastResumed_ = resumed;
    // Where the file ended when the last load read it; -1 when there is nothing to
    // compare with: a first load, another file, or this file replaced since.
    const std::int64_t seenEnd =
        opened && seenPath_ == path && seenDevice_ == file.device() && seenInode_ == file.inode() ? seenEnd_ : -1;
    seenEnd_ = -1;
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

    reader.setConsumer([this, &hash](std::string_view bytes) {
        hash.update(bytes);
        lastRead_ += std::int64_t(bytes.size());
    });
    // The state before a line that ran into the end of the file: a writer may still be
    // adding to it, so the next load reads it again, whole.
    std::unique_ptr<Resume> unfinished;
    bool heldBack = false;
    ContentHash beforeLine;
    bool first = !resumed;
    std::string buffer;
    std::string label;
    // The load ends at a line that ran into the end of the file, even when the file has
    // grown since: what follows is its own continuation, not a line.
    while (!unfinished) {
        beforeLine = hash;
        if (!reader.readLine(buffer, kLineChars))
            break;
        if (!reader.terminated()) {
            unfinished = std::make_unique<Resume>();
            unfinished->offset = reader.lineStart();
            unfinished->hash = beforeLine;
            unfinished->line = line;
            unfinished->series = seriesNow();
            // A writer that has added to the file since the last load may be in the
            // middle of this line.
            if (seenEnd >= 0 && reader.position() != seenEnd) {
                heldBack = true;
                break;
            }
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
                        chart.Series(j).SetColor(vcl::TColor(32 + j * (17825792 / c)));
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

    std::unique_ptr<Resume> next = std::move(unfinished);
    if (!next) {
        next = std::make_unique<Resume>();
        next->offset = reader.position();
        next->hash = hash;
        next->line = line;
        next->series = seriesNow();
    }
    // A file replaced while it was read is not the one whose bytes are kept.
    struct stat now {};
    const bool same = ::stat(path.c_str(), &now) == 0 && now.st_dev == file.device() && now.st_ino == file.inode();
    if (same) {
        seenPath_ = path;
        seenDevice_ = file.device();
        seenInode_ = file.inode();
        seenEnd_ = reader.position();
    }
    if (next->offset == 0 || !same)
        return true;
    next->path = path;
    next->kind = kind;
    next->chart = &chart;
    next->device = file.device();
    next->inode = file.inode();
    next->size = file.sizeAtOpen();
    next->changed = file.changedAtOpen();
    // A line held back is for the next load to chart, even when nothing is written since.
    next->standing = !heldBack && file.stampsLocally() && changedBeforeLoad(next->changed, start);
    next->lineAfterLoad = line;
    next->afterLoad = seriesNow();
    resume_ = std::move(next);
    return true;
}
