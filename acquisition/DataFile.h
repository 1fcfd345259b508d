#pragma once
// The descriptor of the data file last opened from the main window's file browser, and
// the properties step that fills it before every open. The step recognises a device
// data file with a header block (first line holding "VeskSystem"), reads only its start,
// two data lines and its last 200 bytes, and measures every file's size.
//
// Device data file with a header block (8-bit text, CR LF lines):
//   first line      holds "VeskSystem"
//   header lines    free text; one holds "Channels " and the channel count
//   end marker      a line holding "***End_of_Header***", within 60 lines of the first
//   column line     the header line of the measurement line grammar naming the channels
//   data lines      one per record, all of one length
//   trailer         in the last 200 bytes: "Counter", one separator and the record count

#include <cstdint>
#include <string>

namespace acquisition {

// All texts are 8-bit (code page 1250). Sizes and offsets are 64-bit, so files beyond
// 2 GB are described as they are.
struct plikPomiar {
    std::uint64_t fileSize = 0;
    // 1-based position in the collected header text just past "***End_of_Header***";
    // 0 for a file without a header block. The paged view reads its first page there.
    std::int64_t headerEnd = 0;
    std::int64_t trailerStart = 0; // fileSize minus the trailer text's length; 0 without one
    std::int64_t dataStart = 0;    // byte offset of the line after the column line
    std::int64_t recordCount = 0;  // the trailer's count, else computed from the sizes
    std::int64_t pageStart = 0;    // set by the paged view
    std::int32_t pageLines = 0;    // set by the paged view: page size + 1
    std::int64_t pageEnd = 0;      // set by the paged view
    std::string fileName;          // full path, set by the browser
    std::string propertiesText;    // header up to the marker, CR LF, the trailer text
    std::string trailerText;
    std::string columnLine;
    std::int64_t lineLen = 0;        // one data line with its CR LF; 0 without data lines
    std::int32_t headerChannels = 0; // announced by "Channels "; 0 when no line announces it
};

// The properties step: examines d.fileName and fills every field except fileName and
// the three page fields. A missing file shows "Fie no exist: " and the path and leaves
// the descriptor cleared. A "Channels " or trailer count that is present but not an
// integer raises rtl::EConvertError; the fields filled so far keep their values.
void WlasciwosciPliku(plikPomiar& d);

} // namespace acquisition
