#pragma once
// Where the main window reads a data file: the pages of the paged view of a large
// device file, and which lines of a file loaded whole are parsed. Offsets are 64-bit,
// so pages of files beyond 4 GB land where they belong.

#include "acquisition/DataFile.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace acquisition {

// The third device family (2) shows a file page by page when one page of its fixed-
// length data lines is smaller than the file; every other file is loaded whole. A
// file without a header has no line length, so it is paged whenever it is not empty.
bool usePagedView(int deviceFamily, int pageSize, const plikPomiar& d);

// Byte offset of page `page`: past the header, then page x pageSize data lines.
std::int64_t pageOffset(const plikPomiar& d, std::int64_t page, int pageSize);

// The last page number (the record count divided by the page size), held to what a
// track bar can show.
int lastPage(const plikPomiar& d, int pageSize);

struct Page {
    std::vector<std::string> lines; // the lines read, without line ends
    std::int64_t end = 0;           // offset after the last line; -1 when the page ended early
};

// Reads one page of the file at path (in the file system's encoding): from `offset`
// the rest of the line there is dropped (it is a piece of a line), then up to `lines`
// lines are read. Lines of up to a MiB are read whole; a longer one is no text line
// and ends the page as the end of the file does. An offset past the end gives an
// empty page. False when the file cannot be opened.
bool readPage(const std::string& path, std::int64_t offset, int lines, Page& page);

// The line of a file loaded whole at an index, as 8-bit text; the view may end at the
// next call.
using LineAt = std::function<std::string_view(std::size_t index)>;

// Runs visit with the index and the text (as lineAt gave it, valid until the next
// call of lineAt) of each line of a file loaded whole that is parsed (of `count`
// lines), in their order; each line is asked of lineAt once where it can be:
// - a device file (line 0 holds "VeskSystem") from its column line, the line after
//   the first holding "***End_of_Header***" (nothing without one);
// - any other file from line 0, one further when line 0 holds "Start:" and one more
//   when it holds "NewDay:";
// - lines of 0 or 1 characters are passed over;
// - a "Zero:" line and the channel lines after it (their first "k" is their first or
//   second character) are passed over, and the line after them is taken whatever it is;
// - a "NewDay:" line is passed over and the line after it is taken whatever it is.
void forEachWholeFileLine(std::size_t count, const LineAt& lineAt,
                          const std::function<void(std::size_t, std::string_view)>& visit);

} // namespace acquisition
