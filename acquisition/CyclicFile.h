#pragma once
// The cyclic data file: one file per day, one per month or one constant file, named
// from a prefix, that grows by one line per reading. Its first line, written only by the
// reading that creates it, is the header of the channel names (Linia1MG::Naglowek).
// Every line ends with CR LF; lines are only ever appended.
//
// Everything a reading writes is derived from one reading of the clock, so a reading
// taken at midnight carries the date of the file it lands in.
//
// Texts are 8-bit (code page 1250).

#include "acquisition/Linia1MG.h"
#include "platform/files/SafeFile.h"
#include "platform/text/DateTime.h"

#include <string>
#include <string_view>

namespace acquisition {

// The archive cycle chosen in the settings dialog. The weekly cycle has no name
// scheme: like no cycle at all, it forms no file name.
enum class ArchiveCycle { None, Constant, Monthly, Weekly, Daily };

// prefix + "YYYYMMDD" (daily), "YYYYMM" (monthly) or nothing (constant) + ".dan";
// empty for the weekly cycle and for none.
std::string cyclicFileName(std::string_view prefix, ArchiveCycle cycle, rtl::TDateTime now);

// Where the time of a reading comes from and what of it is written.
struct TimeStampOptions {
    bool fromComputer = true; // false: the device's own date and time stay in the line
    bool withDate = true;
    bool withSeconds = false;
};

// The computer's time stamp of a reading: "yyyy-mm-dd" (with the date), two blanks,
// then "hh:mm:ss" or "hh:mm".
std::string readingTimeStamp(rtl::TDateTime now, bool withDate, bool withSeconds);

// What one reading shows and stores: the chart label and the text-list line, which is
// also the line of the data file.
struct StampedReading {
    std::string timeLabel; // empty when the time comes from the device
    std::string text;      // empty for a header line
};

// For a line just parsed into `parsed`; `received` is the line as received, trimmed.
// With the computer's time the text is the stamp, two blanks and the values after the
// line's time token; with the device's time it is the received line.
StampedReading stampReading(const Linia1MG& parsed, std::string_view received, const TimeStampOptions& options,
                            rtl::TDateTime now);

// Appends one line to the data file at `path` (file-system encoding), preceded by
// `header` when the file does not exist yet. Each line end is written as CR LF, as a
// file opened in text mode writes it. The bytes go in one write: when any of it fails,
// the file is brought back to what it held (a file this call created is removed, unless
// it was made through a link), so a line is never stored in part and a new file always
// starts with its header.
struct AppendResult {
    bool written = false;
    bool created = false; // the file did not exist before this call
};
AppendResult appendCyclicLine(const std::string& path, std::string_view header, std::string_view line,
                              platform::WriteFn write = nullptr);

} // namespace acquisition
