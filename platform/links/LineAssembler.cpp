#include "platform/links/LineAssembler.h"

#include <algorithm>
#include <cstring>

namespace platform {

LineAssembler::LineAssembler(LineRules rules) : rules_(rules) { rules_.limit = std::max<std::size_t>(rules_.limit, 1); }

void LineAssembler::append(const char* data, std::size_t n)
{
    if (skipping_) {
        // Only the line end matters while the tail of a cut line is dropped.
        const void* hit = std::memchr(data, rules_.end, n);
        if (!hit)
            return;
        const std::size_t at = std::size_t(static_cast<const char*>(hit) - data);
        skipping_ = false;
        data += at + 1;
        n -= at + 1;
    }
    if (rules_.dropNul)
        std::copy_if(data, data + n, std::back_inserter(buffer_), [](char c) { return c != '\0'; });
    else
        buffer_.append(data, n);
    if (rules_.overlong == LineRules::Overlong::KeepEnd)
        keepEnd();
}

void LineAssembler::keepEnd()
{
    if (held() <= rules_.limit || buffer_.find(rules_.end, start_ + scanned_) != std::string::npos)
        return;
    buffer_.erase(0, buffer_.size() - rules_.limit);
    start_ = 0;
    // What is left was just searched.
    scanned_ = buffer_.size();
    overflowed_ = true;
}

bool LineAssembler::next(std::string& line, bool& truncated)
{
    const std::size_t pos = buffer_.find(rules_.end, start_ + scanned_);
    const bool cuts = rules_.overlong == LineRules::Overlong::KeepStart;
    bool found = false;
    if (pos != std::string::npos && (!cuts || pos - start_ <= rules_.limit)) {
        line.assign(buffer_, start_, pos - start_);
        truncated = false;
        start_ = pos + 1;
        found = true;
    } else if (cuts && held() > rules_.limit) {
        line.assign(buffer_, start_, rules_.limit);
        truncated = true;
        overflowed_ = true;
        if (pos != std::string::npos) {
            start_ = pos + 1;
        } else {
            start_ = buffer_.size();
            skipping_ = true;
        }
        found = true;
    }
    if (!found) {
        scanned_ = held();
        return false;
    }
    scanned_ = 0;
    if (start_ == buffer_.size()) {
        buffer_.clear();
        start_ = 0;
    } else if (start_ > 4096 && start_ > buffer_.size() / 2) {
        buffer_.erase(0, start_);
        start_ = 0;
    }
    return true;
}

bool LineAssembler::next(std::string& line)
{
    bool truncated = false;
    return next(line, truncated);
}

bool LineAssembler::hasLine() const
{
    return buffer_.find(rules_.end, start_ + scanned_) != std::string::npos ||
           (rules_.overlong == LineRules::Overlong::KeepStart && held() > rules_.limit);
}

bool LineAssembler::overflowed()
{
    const bool was = overflowed_;
    overflowed_ = false;
    return was;
}

void LineAssembler::clear()
{
    buffer_.clear();
    start_ = 0;
    scanned_ = 0;
    skipping_ = false;
}

void LineAssembler::configure(char end, std::size_t limit)
{
    if (end != rules_.end)
        scanned_ = 0;
    rules_.end = end;
    rules_.limit = std::max<std::size_t>(limit, 1);
}

} // namespace platform
