#include "platform/ChartData.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

namespace platform {
namespace chart_detail {

// ---------------------------------------------------------------------------------
// Label pool

std::uint32_t LabelPool::Intern(std::string_view text)
{
    if (text.empty())
        return 0;
    if (!ends_.empty() && At(std::uint32_t(ends_.size())) == text)
        return std::uint32_t(ends_.size());
    chars_.append(text);
    ends_.push_back(std::uint32_t(chars_.size()));
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
}

// ---------------------------------------------------------------------------------
// Point values

void PointValues::append(double value)
{
    if (!wide_ && !std::isnan(value) && double(float(value)) != value)
        makeWide();
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
    if (wide_)
        static_cast<double*>(blocks_[block])[at] = value;
    else
        static_cast<float*>(blocks_[block])[at] = float(value);
    const std::size_t run = std::size_t(size_ / kRun);
    if (run == runs_.size())
        runs_.push_back(Run{std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()});
    Run& r = runs_[run];
    // NaN compares false and stays out.
    r.low = value < r.low ? value : r.low;
    r.high = value > r.high ? value : r.high;
    ++size_;
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

void PointValues::widen(int from, int to, double& low, double& high) const
{
    auto take = [&](int end) {
        for (; from < end; ++from) {
            const double v = (*this)[from];
            low = v < low ? v : low;
            high = v > high ? v : high;
        }
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
