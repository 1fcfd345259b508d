#include "viewer/FileLoader.h"

#include "platform/Chart.h"
#include "platform/LineReader.h"
#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstring>
#include <string_view>

namespace {

constexpr vcl::TColor kFixedColors[8] = {
    vcl::clRed, vcl::clNavy, vcl::clLime, vcl::clGreen,
    vcl::clBlue, vcl::clOlive, vcl::clFuchsia, vcl::clAqua,
};

// A 64-bit hash of a byte stream fed in pieces of any size (the XXH64 design). The
// loader keeps the hash of every byte it parsed, so that the next load can tell the
// part already read is unchanged before it reads on.
class ContentHash {
public:
    void update(std::string_view bytes)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t n = bytes.size();
        total_ += n;
        if (held_ + n < kStripe) {
            std::memcpy(stripe_ + held_, p, n);
            held_ += n;
            return;
        }
        if (held_ > 0) {
            const std::size_t take = kStripe - held_;
            std::memcpy(stripe_ + held_, p, take);
            mixStripe(stripe_);
            p += take;
            n -= take;
            held_ = 0;
        }
        for (; n >= kStripe; p += kStripe, n -= kStripe)
            mixStripe(p);
        std::memcpy(stripe_, p, n);
        held_ = n;
    }

    std::uint64_t digest() const
    {
        std::uint64_t h = total_ >= kStripe
                              ? merge(merge(merge(merge(std::rotl(v_[0], 1) + std::rotl(v_[1], 7) + std::rotl(v_[2], 12)
                                                            + std::rotl(v_[3], 18),
                                                        v_[0]),
                                                  v_[1]),
                                            v_[2]),
                                      v_[3])
                              : kP5;
        h += total_;
        const unsigned char* p = stripe_;
        std::size_t n = held_;
        for (; n >= 8; p += 8, n -= 8) {
            h ^= round(0, word64(p));
            h = std::rotl(h, 27) * kP1 + kP4;
        }
        if (n >= 4) {
            h ^= std::uint64_t(word32(p)) * kP1;
            h = std::rotl(h, 23) * kP2 + kP3;
            p += 4;
            n -= 4;
        }
        for (; n > 0; ++p, --n) {
            h ^= *p * kP5;
            h = std::rotl(h, 11) * kP1;
        }
        h ^= h >> 33;
        h *= kP2;
        h ^= h >> 29;
        h *= kP3;
        return h ^ (h >> 32);
    }

    bool operator==(const ContentHash& other) const { return total_ == other.total_ && digest() == other.digest(); }

private:
    static constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ull;
    static constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;
    static constexpr std::uint64_t kP3 = 0x165667B19E3779F9ull;
    static constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63ull;
    static constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5ull;
    static constexpr std::size_t kStripe = 32;

    static std::uint64_t word64(const unsigned char* p)
    {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static std::uint32_t word32(const unsigned char* p)
    {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    }
    static std::uint64_t round(std::uint64_t acc, std::uint64_t input)
    {
        return std::rotl(acc + input * kP2, 31) * kP1;
    }
    static std::uint64_t merge(std::uint64_t acc, std::uint64_t lane)
    {
        return (acc ^ round(0, lane)) * kP1 + kP4;
    }
    void mixStripe(const unsigned char* p)
    {
        for (int i = 0; i < 4; ++i)
            v_[i] = round(v_[i], word64(p + 8 * i));
    }

    std::uint64_t v_[4] = {kP1 + kP2, kP2, 0, std::uint64_t(0) - kP1};
    std::uint64_t total_ = 0;
    unsigned char stripe_[kStripe] = {};
    std::size_t held_ = 0;
};

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
    int duplicate() const { return ::fcntl(fd_, F_DUPFD_CLOEXEC, 0); }

    std::int64_t size() const
    {
        struct stat st {};
        return ::fstat(fd_, &st) == 0 ? std::int64_t(st.st_size) : -1;
    }

    // The hash of the file's first `count` bytes as they are now; false when they
    // cannot all be read.
    bool hashOf(std::int64_t count, ContentHash& hash) const
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
    ContentHash hash;   // of the bytes before offset
    Linia1MG line;
    std::vector<SeriesState> series;      // at the resume point
    std::vector<int> countsAfterLoad;     // at the end of the load
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
    platform::LineReader reader(platform::LineReader::Breaks::TextMode);
    const bool opened = file.isOpen() && reader.open(file.duplicate());

    // Reading on is right only when every byte read before is still the same.
    ContentHash hash;
    bool resumed = false;
    if (opened && canResume(path, chart, kind) && file.device() == resume_->device
        && file.inode() == resume_->inode && file.size() >= resume_->offset && file.hashOf(resume_->offset, hash)
        && hash == resume_->hash && reader.seek(resume_->offset)) {
        resumed = true;
        line = resume_->line;
        for (int q = 0; q < seriesCount; ++q) {
            platform::TLineSeries& s = chart.Series(q);
            const SeriesState& kept = resume_->series[std::size_t(q)];
            s.Truncate(kept.count);
            s.SetActive(kept.active);
            // An unchanged chart asks for no repaint.
            if (s.Title() != kept.title)
                s.SetTitle(kept.title);
        }
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
    const std::int64_t seenEnd = opened && seenPath_ == path && seenDevice_ == file.device()
                                         && seenInode_ == file.inode()
                                     ? seenEnd_
                                     : -1;
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

    reader.setConsumer([&hash](std::string_view bytes) { hash.update(bytes); });
    // The state before a line that ran into the end of the file: a writer may still be
    // adding to it, so the next load reads it again, whole.
    std::unique_ptr<Resume> unfinished;
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
            if (seenEnd >= 0 && reader.position() != seenEnd)
                break;
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
    next->countsAfterLoad.resize(std::size_t(seriesCount));
    for (int q = 0; q < seriesCount; ++q)
        next->countsAfterLoad[std::size_t(q)] = chart.Series(q).Count();
    resume_ = std::move(next);
    return true;
}
