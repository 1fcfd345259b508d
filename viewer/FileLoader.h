#pragma once
// Loads a data file into the viewer chart's 81 series and the measurement line, as the
// chart window's loader does on start, on open and on every reload tick.
//
// The file is read as the C runtime's text mode reads it: a line ends at LF or CR LF,
// and a CR of its own is a character of the line. Only a plain file is read; anything
// else (a FIFO, a device) counts as a file that cannot be opened.
//
// The chart shows only the first 32000 points of a series (its page is never turned),
// so no more are stored; the measurement line still sees every line, so the smallest
// and largest values cover the whole file. A line longer than 999 characters is parsed
// by its first 999 characters and the rest of that line is skipped; the load goes on.
//
// The loader keeps the parser state and the series lengths at the last whole line of
// its last load, with a hash of every byte read up to there. When the file is still
// the same file (identity) and those bytes are all unchanged, the next load reads on
// from there, with the same result as a full load; otherwise (a file shrunk, replaced
// or changed anywhere before that point, another file name, another kind of load, a
// chart whose series were changed by someone else, or after forget()) it loads from the
// start. A last line without its line break may still be being written: the next load
// reads it again, whole. When the file has changed since the previous load of it, such a
// line is not charted at all, so that a reading caught half-written never shows as a
// point: the next load charts it, complete, or as it stands once the file no longer
// changes. A first load (also after forget()) charts it as it stands.
//
// A reload timer loads an unchanged file all day, so a load that could read on asks the
// file system first: when the file's identity, size and change time are those it had
// when the last load began, and that change lay a whole time-stamp grain before the load
// began, nothing was written since and the last load's result stands without a byte
// being read. The change time is kept by the kernel and no user can set it back; a file
// system that stamps with another machine's clock or shows stale attributes (a network
// one) is always read.

#include <cstdint>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "viewer/Linia1MG.h"

namespace platform {
class TChart;
}

class FileLoader {
public:
    // The window's loader, and the older one that no control runs: the older one paints
    // series i (from 0) with 255 + 8 * i before loading, keeps a column count of 0 and
    // chooses no colours from the first line.
    enum class Kind { Current, Older };

    static constexpr int kShownPoints = 32000;
    static constexpr std::size_t kLineChars = 999;

    FileLoader();
    ~FileLoader();
    FileLoader(const FileLoader&) = delete;
    FileLoader& operator=(const FileLoader&) = delete;

    // Returns false when the file could not be opened (all series then emptied and
    // inactive, the line reset). A load asked for while one runs (from an event handled
    // inside it) does nothing and returns true: the running load charts the file.
    bool load(const std::string& path, platform::TChart& chart, Linia1MG& line, Kind kind = Kind::Current);
    // The next load reads from the start (the open command's load).
    void forget();

    // Whether the last load was read on from an earlier one (for the bench and tests).
    bool lastLoadResumed() const { return lastResumed_; }
    // How many bytes of the file the last load read, to check them or to parse them
    // (for the bench and tests).
    std::int64_t lastLoadBytesRead() const { return lastRead_; }

    // Whether a file whose change time is `changed` has had no write since a load that
    // began at `loadStart` (by the file system's clock) when its change time is still
    // the same: any write after the start would have given it another.
    static bool changedBeforeLoad(const timespec& changed, const timespec& loadStart);

private:
    struct Resume;
    bool canResume(const std::string& path, const platform::TChart& chart, Kind kind) const;
    bool unchangedSinceLastLoad(const std::string& path) const;

    std::unique_ptr<Resume> resume_;
    // The file as the last load left it: its path, its identity and where it ended.
    std::string seenPath_;
    std::uint64_t seenDevice_ = 0;
    std::uint64_t seenInode_ = 0;
    std::int64_t seenEnd_ = -1; // -1: no load to compare with
    bool running_ = false;
    bool lastResumed_ = false;
    std::int64_t lastRead_ = 0;
};
