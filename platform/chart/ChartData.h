#pragma once
// What a chart keeps of its points: their labels, each stored once for all series,
// and each series' values with the summaries of their runs.

#include "platform/text/ShortText.h"

#include <QList>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {
namespace chart_detail {

// Point labels of all series of a chart, each stored once. The series that receive a
// point of the same reading one after another (the usual case) share its text.
class LabelPool {
public:
    std::uint32_t Intern(std::string_view text)
    {
        // Every series of a reading is given the reading's label in turn: most texts
        // are the last one stored, which stands at the end of chars_.
        if (text.size() == lastSize_ && lastSize_ != 0 &&
            sameBytes(chars_.data() + chars_.size() - lastSize_, text.data(), lastSize_))
            return std::uint32_t(ends_.size());
        return internNew(text);
    }
    std::string_view At(std::uint32_t id) const;
    void Reset();

private:
    std::uint32_t internNew(std::string_view text);

    std::string chars_;
    std::vector<std::uint32_t> ends_; // entry id (from 1) ends at ends_[id - 1]
    std::size_t lastSize_ = 0;        // length of the last entry; 0 when there is none
};

// The values of a series' points in blocks that never move, so that a long series
// grows without being copied, and the smallest and largest value of every run of
// kRun points (NaN left out), from which a long stretch is summed up quickly. Values
// are kept as floats while every one of them is a float (readings of the measurement
// line are), as doubles from the first one that is not.
class PointValues {
public:
    static constexpr int kRun = 64;

    PointValues() = default;
    PointValues(const PointValues&) = delete;
    PointValues& operator=(const PointValues&) = delete;
    ~PointValues() { clear(); }

    int size() const { return size_; }
    double operator[](int index) const
    {
        const void* block = blocks_[std::size_t(index >> kBlockBits)];
        const std::size_t at = std::size_t(index & kBlockMask);
        return wide_ ? static_cast<const double*>(block)[at] : double(static_cast<const float*>(block)[at]);
    }
    void append(double value) { append(&value, 1); }
    void append(const double* values, int count);
    void truncate(int size);
    void clear();
    // Widens low..high by the values of the points from..to-1 (NaN left out).
    void widen(int from, int to, double& low, double& high) const;

private:
    static constexpr int kBlockBits = 16;
    static constexpr int kBlockMask = (1 << kBlockBits) - 1;
    struct Run {
        double low;
        double high;
    };
    void summarise(int run);
    // Room in the block of point size_; returns how many points fit there from it.
    int makeRoom();
    void summariseAppended(const double* values, int count);
    void makeWide();

    // The first block grows with the series up to its full size; the others are
    // allocated whole. Each holds floats, or doubles once wide_.
    std::vector<void*> blocks_;
    int firstCapacity_ = 0;
    bool wide_ = false;
    std::vector<Run> runs_;
    int size_ = 0;
};

// Label ids of the points of one or more series. Series that are given the same
// labels (every channel of one reading gets its time) share one track; a series whose
// label differs from the track's at its end goes on with a copy of its own.
struct LabelTrack {
    QList<std::uint32_t> ids;
};

} // namespace chart_detail
} // namespace platform
