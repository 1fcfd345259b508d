#pragma once
// The spreadsheet copy of a data file: a tab-separated text with decimal commas that a
// spreadsheet program opens as columns. Its first line is "&Plik", a colon, a TAB and
// the data file's path; then comes the data file's text, read as a text file (CR LF
// becomes LF), in which every run of blanks becomes one TAB and every "." becomes ","
// except the character right after a run of blanks, which is copied as it is (so a
// value written as ".5" after the blanks keeps its dot). TABs are not blanks.

#include "platform/files/SafeFile.h"

#include <string>
#include <string_view>

namespace acquisition {

// Builds the copy from the data file's bytes given in pieces of any size.
class SpreadsheetCopy {
public:
    // Starts with the first line naming the data file (8-bit path).
    explicit SpreadsheetCopy(std::string_view dataFilePath);
    // The next bytes of the data file, as they stand on disk.
    void add(std::string_view bytes);
    // The data file has ended; the copy is complete.
    std::string finish();

private:
    void put(char c);
    std::string out_;
    bool inBlanks_ = false;
    bool pendingCr_ = false;
};

// The copy's file name: the data file's name without its folder, extension included,
// followed by ".txt" (P20220301.dan gives P20220301.dan.txt).
std::string spreadsheetCopyName(std::string_view dataFilePath);

// How Calc is to read the copy: its text filter with TAB as the only separator, double
// quotes around texts, code page 1250 (Calc's number 33) from the first line on, and
// Polish (1045) as the language, whose decimal comma makes "1,5" the number 1.5. Left to
// guess, Calc splits at commas too and reads the bytes as UTF-8.
inline constexpr char spreadsheetCopyImportFilter[] = "Text - txt - csv (StarCalc):9,34,33,1,,1045";

// Only a data file whose extension is exactly ".dan" (letter case counts) is copied;
// any other file goes to the spreadsheet program as it is.
bool needsSpreadsheetCopy(std::string_view dataFilePath);

enum class CopyResult { written, dataFileUnreadable, copyUnwritable };

// Reads the data file at dataFile (file-system encoding) and replaces the file at
// copyPath with its copy, whose first line names the data file as shownPath (8-bit).
// The copy is written beside its place and renamed over it once complete, so an
// unreadable data file (also one that is no plain file, such as a FIFO or a device) or
// a failed write leaves an earlier copy as it was (and makes none when there was none). *error, when given, says why the copy was not written.
CopyResult writeSpreadsheetCopy(const std::string& dataFile, std::string_view shownPath, const std::string& copyPath,
                                platform::WriteFn write = nullptr, std::string* error = nullptr);

} // namespace acquisition
