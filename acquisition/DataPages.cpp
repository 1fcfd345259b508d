#include "acquisition/DataPages.h"

#include "platform/files/LineReader.h"

#include <algorithm>
#include <climits>
#include <string_view>

namespace acquisition {

namespace {

bool holds(std::string_view line, std::string_view part) { return line.find(part) != std::string_view::npos; }

// A channel line of a "Zero:" block names its channel first ("k1 0.5", " k2 0.25").
bool channelLine(std::string_view line)
{
    const std::size_t k = line.find('k');
    return k == 0 || k == 1;
}

} // namespace

bool usePagedView(int deviceFamily, int pageSize, const plikPomiar& d)
{
    if (deviceFamily == 0 || deviceFamily == 1)
        return false;
    const std::uint64_t page = static_cast<std::uint64_t>(std::max(pageSize, 0)) *
                               static_cast<std::uint64_t>(std::max<std::int64_t>(d.lineLen, 0));
    return page < d.fileSize;
}

std::int64_t pageOffset(const plikPomiar& d, std::int64_t page, int pageSize)
{
    return d.headerEnd + page * pageSize * d.lineLen;
}

int lastPage(const plikPomiar& d, int pageSize)
{
    if (pageSize <= 0 || d.recordCount <= 0)
        return 0;
    return static_cast<int>(std::min<std::int64_t>(d.recordCount / pageSize, INT_MAX));
}

// Far beyond any data line: the parser reads no further than 2000 characters past a
// line's first token. Past it the page has run into something that is no text, such
// as a zero-filled stretch of a damaged file; reading on would read the whole file.
constexpr std::size_t pageLineLimit = std::size_t(1) << 20;

bool readPage(const std::string& path, std::int64_t offset, int lines, Page& page)
{
    page.lines.clear();
    page.end = -1;
    platform::LineReader file;
    if (!file.open(path))
        return false;
    std::string line;
    if (!file.seek(offset) || !file.readLineUpTo(line, pageLineLimit) || file.cut())
        return true;
    page.lines.reserve(static_cast<std::size_t>(std::max(lines, 0)));
    for (int i = 0; i < lines; ++i) {
        if (!file.readLineUpTo(line, pageLineLimit) || file.cut())
            return true;
        page.lines.push_back(std::move(line));
    }
    page.end = file.position();
    return true;
}

void forEachWholeFileLine(std::size_t count, const LineAt& lineAt,
                          const std::function<void(std::size_t, std::string_view)>& visit)
{
    if (count == 0)
        return;
    std::size_t start = 0;
    const std::string_view first = lineAt(0);
    if (holds(first, "VeskSystem")) {
        std::size_t marker = 0;
        while (marker < count && !holds(lineAt(marker), "***End_of_Header***"))
            ++marker;
        if (marker == count)
            return;
        start = marker + 1;
    } else {
        start += holds(first, "Start:") ? 1 : 0;
        start += holds(first, "NewDay:") ? 1 : 0;
    }
    for (std::size_t j = start; j < count; ++j) {
        std::string_view line = lineAt(j);
        if (line.size() <= 1)
            continue;
        if (holds(line, "Zero:")) {
            do
                ++j;
            while (j < count && channelLine(lineAt(j)));
            if (j >= count)
                break;
            line = lineAt(j);
        }
        // The line after a new day's mark is the day's first reading; a mark that ends
        // the text has none.
        if (holds(line, "NewDay:")) {
            if (++j >= count)
                break;
            line = lineAt(j);
        }
        visit(j, line);
    }
}

} // namespace acquisition
