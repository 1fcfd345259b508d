#include "platform/chart/ChartData.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace platform {
namespace chart_detail {

// ---------------------------------------------------------------------------------
// Label pool

std::uint32_t LabelPool::internNew(std::string_view text)
{
    if (text.empty())
        return 0;
    chars_.append(text);
    ends_.push_back(std::uint32_t(chars_.size()));
    lastSize_ = text.size();
    return std::uint32_t(ends_.size());
}

std::string_view LabelPool::At(std::uint32_t id) const
{
    if (id == 0 || id > ends_.size())
        return {};
    const std::uint32_t begin = id == 1 ? 0 : ends_[id - 2];
    return std::string_view(chars_).substr(begin, ends_[id - 1] - begin);
}

void LabelPool::Reset()
{
    // The labels of a million points are worth giving back, not only forgetting.
    std::string().swap(chars_);
    std::vector<std::uint32_t>().swap(ends_);
    lastSize_ = 0;
}

// ---------------------------------------------------------------------------------
// Point values

int PointValues::makeRoom()
{
    const std::size_t size = wide_ ? sizeof(double) : sizeof(float);
    const std::size_t block = std::size_t(size_ >> kBlockBits);
    const int at = size_ & kBlockMask;
    if (block == blocks_.size()) {
        // Only the first block starts small: many series never hold more than a few points.
        const int capacity = block == 0 ? 1024 : kBlockMask + 1;
        blocks_.push_back(std::malloc(std::size_t(capacity) * size));
        if (!blocks_.back())
            throw std::bad_alloc();
        if (block == 0)
            firstCapacity_ = capacity;
    } else if (block == 0 && at == firstCapacity_) {
        const int capacity = std::min(firstCapacity_ * 4, kBlockMask + 1);
        void* grown = std::realloc(blocks_[0], std::size_t(capacity) * size);
        if (!grown)
            throw std::bad_alloc();
        blocks_[0] = grown;
        firstCapacity_ = capacity;
    }
    return (block == 0 ? firstCapacity_ : kBlockMask + 1) - at;
}

void PointValues::append(const double* values, int count)
{
    while (count > 0) {
        const int room = makeRoom();
        const int n = std::min(count, room);
        if (!wide_ && std::any_of(values, values + n, [](double v) { return !std::isnan(v) && double(float(v)) != v; }))
            makeWide();
        void* block = blocks_[std::size_t(size_ >> kBlockBits)];
        const std::size_t at = std::size_t(size_ & kBlockMask);
        if (wide_)
            std::copy_n(values, n, static_cast<double*>(block) + at);
        else
            std::transform(values, values + n, static_cast<float*>(block) + at, [](double v) { return float(v); });
        summariseAppended(values, n);
        size_ += n;
        values += n;
        count -= n;
    }
}

void PointValues::summariseAppended(const double* values, int count)
{
    for (int i = size_, end = size_ + count; i < end;) {
        const std::size_t run = std::size_t(i / kRun);
        if (run == runs_.size())
            runs_.push_back(Run{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
        double low = runs_[run].low;
        double high = runs_[run].high;
        for (const int stop = std::min(end, int(run + 1) * kRun); i < stop; ++i) {
            const double v = values[i - size_];
            // NaN compares false and stays out.
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
        runs_[run] = Run{low, high};
    }
}

void PointValues::makeWide()
{
    for (std::size_t b = 0; b < blocks_.size(); ++b) {
        const int capacity = b == 0 ? firstCapacity_ : kBlockMask + 1;
        auto* wide = static_cast<double*>(std::malloc(std::size_t(capacity) * sizeof(double)));
        if (!wide)
            throw std::bad_alloc();
        const int used = std::min(capacity, size_ - int(b << kBlockBits));
        std::copy_n(static_cast<const float*>(blocks_[b]), used, wide);
        std::free(blocks_[b]);
        blocks_[b] = wide;
    }
    wide_ = true;
}

void PointValues::truncate(int size)
{
    if (size >= size_)
        return;
    if (size <= 0) {
        clear();
        return;
    }
    size_ = size;
    const std::size_t blocks = std::size_t((size_ - 1) >> kBlockBits) + 1;
    for (std::size_t b = blocks; b < blocks_.size(); ++b)
        std::free(blocks_[b]);
    blocks_.resize(blocks);
    runs_.resize(std::size_t((size_ - 1) / kRun) + 1);
    summarise(int(runs_.size()) - 1);
}

void PointValues::clear()
{
    for (void* block : blocks_)
        std::free(block);
    blocks_.clear();
    std::vector<Run>().swap(runs_);
    firstCapacity_ = 0;
    wide_ = false;
    size_ = 0;
}

void PointValues::summarise(int run)
{
    Run& r = runs_[std::size_t(run)];
    r = Run{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    for (int i = run * kRun, end = std::min(size_, (run + 1) * kRun); i < end; ++i) {
        const double v = (*this)[i];
        r.low = v < r.low ? v : r.low;
        r.high = v > r.high ? v : r.high;
    }
}

namespace {

template <typename Value>
void widenBy(const Value* values, int count, double& low, double& high)
{
    for (int k = 0; k < count; ++k) {
        const double v = double(values[k]);
        low = v < low ? v : low;
        high = v > high ? v : high;
    }
}

} // namespace

void PointValues::widen(int from, int to, double& low, double& high) const
{
    // Each part runs within one run, and so within one block.
    auto take = [&](int end) {
        if (from >= end)
            return;
        const void* block = blocks_[std::size_t(from >> kBlockBits)];
        const int at = from & kBlockMask;
        if (wide_)
            widenBy(static_cast<const double*>(block) + at, end - from, low, high);
        else
            widenBy(static_cast<const float*>(block) + at, end - from, low, high);
        from = end;
    };
    take(std::min(to, (from + kRun - 1) / kRun * kRun));
    for (; from + kRun <= to; from += kRun) {
        const Run& r = runs_[std::size_t(from / kRun)];
        low = r.low < low ? r.low : low;
        high = r.high > high ? r.high : high;
    }
    take(to);
}

} // namespace chart_detail
} // namespace platform
