#include "platform/text/TextLines.h"

#include "platform/text/Cp1250.h"
#include "platform/text/ShortText.h"

#include <QStringDecoder>

#include <algorithm>
#include <bit>
#include <cstring>

namespace platform {

namespace {

constexpr char16_t paragraphSeparator = 0x2029;

// Splits text at its line breaks; there is always at least one piece.
std::vector<QString> splitLines(const QString& text)
{
    std::vector<QString> pieces;
    qsizetype begin = 0;
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c != u'\r' && c != u'\n' && c != paragraphSeparator)
            continue;
        pieces.push_back(text.mid(begin, i - begin));
        if (c == u'\r' && i + 1 < n && text[i + 1] == u'\n')
            ++i;
        begin = i + 1;
    }
    pieces.push_back(text.mid(begin));
    return pieces;
}

} // namespace

TextLines::TextLines() { clear(); }

qsizetype TextLines::lineLength(int index) const
{
    // Every line is followed by its line break in the buffer, so the scan ends there;
    // it looks at eight bytes at a time while they lie within the buffer.
    const char* const data = buffer_.constData();
    const char* const begin = lineBegin(index);
    const char* p = begin;
    if constexpr (std::endian::native == std::endian::little) {
        for (qsizetype left = buffer_.size() - (begin - data); left >= 8; left -= 8, p += 8) {
            std::uint64_t w;
            std::memcpy(&w, p, 8);
            if (const std::uint64_t breaks = bytesEqual(w, '\n') | bytesEqual(w, '\r'))
                return (p - begin) + std::countr_zero(breaks) / 8;
        }
    }
    while (*p != '\n' && *p != '\r')
        ++p;
    return p - begin;
}

QString TextLines::line(int index) const
{
    const std::string_view bytes = lineBytes(index);
    if (!isUtf8(index))
        return cp1250ToUnicode(bytes);
    // A line may begin with U+FEFF; fromUtf8 would drop it as a byte-order mark.
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
    return utf8(QByteArrayView(bytes.data(), qsizetype(bytes.size())));
}

int TextLines::length(int index) const { return isUtf8(index) ? int(line(index).size()) : int(lineLength(index)); }

QString TextLines::slice(int index, int from, int count) const
{
    if (isUtf8(index))
        return line(index).mid(from, count);
    const std::string_view bytes = lineBytes(index);
    if (from < 0 || std::size_t(from) >= bytes.size() || count <= 0)
        return QString();
    return cp1250ToUnicode(bytes.substr(std::size_t(from), std::size_t(count)));
}

std::string_view TextLines::ansiLine(int index, std::string& scratch) const
{
    const std::string_view bytes = lineBytes(index);
    if (!isUtf8(index))
        return bytes;
    scratch = utf8ToCp1250(bytes);
    return scratch;
}

QString TextLines::text() const
{
    QString all;
    for (int i = 0; i < count(); ++i) {
        if (i > 0)
            all += QLatin1Char('\n');
        all += line(i);
    }
    return all;
}

void TextLines::setText(const QString& text)
{
    buffer_.clear();
    std::vector<std::uint64_t>().swap(starts_);
    waste_ = 0;
    longest_ = 0;
    for (const QString& piece : splitLines(text)) {
        starts_.push_back(store(piece));
        longest_ = std::max(longest_, piece.size());
    }
}

void TextLines::setAnsiText(QByteArray bytes)
{
    buffer_ = std::move(bytes);
    std::vector<std::uint64_t>().swap(starts_);
    waste_ = 0;
    longest_ = 0;
    const char* const data = buffer_.constData();
    const char* const end = data + buffer_.size();
    auto next = [end](const char* from, char c) {
        const void* hit = std::memchr(from, c, std::size_t(end - from));
        return hit ? static_cast<const char*>(hit) : end;
    };
    // The next LF and the next CR are looked for once each, so that a file whose lines
    // end in only one of them is still read in one pass.
    const char* lf = next(data, '\n');
    const char* cr = next(data, '\r');
    const char* begin = data;
    starts_.push_back(0);
    while (true) {
        const char* brk = std::min(lf, cr);
        longest_ = std::max(longest_, qsizetype(brk - begin));
        if (brk == end)
            break;
        begin = brk + 1;
        if (*brk == '\r' && begin < end && *begin == '\n')
            ++begin;
        starts_.push_back(std::uint64_t(begin - data));
        if (lf < begin)
            lf = next(begin, '\n');
        if (cr < begin)
            cr = next(begin, '\r');
    }
    // Every line, the last one too, is ended by a line break in the buffer.
    buffer_.append('\n');
}

std::uint64_t TextLines::store(const QString& line)
{
    const std::uint64_t start = std::uint64_t(buffer_.size());
    std::vector<qsizetype> unconvertible;
    const std::string bytes = unicodeToCp1250(line, &unconvertible);
    if (unconvertible.empty()) {
        buffer_.append(bytes.data(), qsizetype(bytes.size()));
        buffer_.append('\n');
        return start;
    }
    buffer_.append(line.toUtf8());
    buffer_.append('\n');
    return start | utf8Flag;
}

TextPos TextLines::clamp(TextPos pos) const
{
    pos.line = std::clamp(pos.line, 0, count() - 1);
    pos.column = std::clamp(pos.column, 0, length(pos.line));
    return pos;
}

TextPos TextLines::replace(TextPos from, TextPos to, const QString& text)
{
    from = clamp(from);
    to = clamp(to);
    if (to < from)
        std::swap(from, to);
    const std::vector<QString> inserted = splitLines(line(from.line).left(from.column) + text);
    const QString tail = line(to.line).mid(to.column);
    for (int i = from.line; i <= to.line; ++i)
        waste_ += lineLength(i) + 1;

    std::vector<std::uint64_t> stored;
    stored.reserve(inserted.size());
    for (std::size_t i = 0; i + 1 < inserted.size(); ++i) {
        stored.push_back(store(inserted[i]));
        longest_ = std::max(longest_, inserted[i].size());
    }
    const QString last = inserted.back() + tail;
    stored.push_back(store(last));
    longest_ = std::max(longest_, last.size());

    const auto first = starts_.begin() + from.line;
    const std::size_t replaced = std::size_t(to.line - from.line + 1);
    const std::size_t common = std::min(replaced, stored.size());
    std::copy(stored.begin(), stored.begin() + std::ptrdiff_t(common), first);
    if (stored.size() > replaced)
        starts_.insert(first + std::ptrdiff_t(common), stored.begin() + std::ptrdiff_t(common), stored.end());
    else
        starts_.erase(first + std::ptrdiff_t(common), first + std::ptrdiff_t(replaced));
    compactIfWasteful();
    return {from.line + int(inserted.size()) - 1, int(inserted.back().size())};
}

void TextLines::compactIfWasteful()
{
    // Lines replaced or deleted leave their bytes behind; once they are most of the
    // buffer, the live lines are copied into a new one.
    if (waste_ < (qsizetype(1) << 20) || waste_ < buffer_.size() / 2)
        return;
    QByteArray compact;
    compact.reserve(buffer_.size() - waste_ + 1);
    for (std::uint64_t& start : starts_) {
        const std::uint64_t flag = start & utf8Flag;
        const char* begin = buffer_.constData() + (start & ~utf8Flag);
        const char* p = begin;
        while (*p != '\n' && *p != '\r')
            ++p;
        start = std::uint64_t(compact.size()) | flag;
        compact.append(begin, p - begin);
        compact.append('\n');
    }
    buffer_ = std::move(compact);
    waste_ = 0;
}

std::int64_t TextLines::memoryBytes() const
{
    return std::int64_t(buffer_.capacity()) + std::int64_t(starts_.capacity() * sizeof(std::uint64_t));
}

} // namespace platform
