#pragma once
// The lines of a text list, held about as compactly as the text itself: every line's
// characters stand in one buffer, one byte a character in code page 1250 (UTF-8 for a
// line that the code page cannot hold), each line ended by a line break; beside the
// buffer only where each line starts. A data file of millions of lines takes little
// more than its own size, where a text document takes several times that.
//
// The lines are those of a text document: there is always at least one, an empty text
// is one empty line, and a text that ends with a line break ends with an empty line.
// CR LF, LF, CR and the paragraph separator U+2029 each end a line.

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

// A place in the text: a line and a column (a UTF-16 index into that line's text).
struct TextPos {
    int line = 0;
    int column = 0;
    friend bool operator==(TextPos a, TextPos b) { return a.line == b.line && a.column == b.column; }
    friend bool operator<(TextPos a, TextPos b) { return a.line != b.line ? a.line < b.line : a.column < b.column; }
};

class TextLines {
public:
    TextLines();

    int count() const { return int(starts_.size()); }
    // One empty line.
    bool empty() const { return starts_.size() == 1 && lineLength(0) == 0; }

    QString line(int index) const;
    // Length of a line in UTF-16 units.
    int length(int index) const;
    // Up to `count` characters of a line from column `from` on: what a view shows of a
    // line that may be far wider than the view.
    QString slice(int index, int from, int count) const;
    // A line's 8-bit text: a view of the stored bytes, or of scratch for a line kept in
    // UTF-8 (then converted, characters the code page lacks as '?'). Valid until the
    // text or scratch changes.
    std::string_view ansiLine(int index, std::string& scratch) const;
    // The longest line's length since the text was last set; edits only raise it.
    int longest() const { return int(std::min<qsizetype>(longest_, INT_MAX)); }

    // All lines joined by line feeds.
    QString text() const;
    void setText(const QString& text);
    // Takes 8-bit text as a file holds it (code page 1250), without copying it: the
    // buffer keeps the bytes and gets one line feed at its end, which fits without a
    // copy when the array has room for one byte more.
    void setAnsiText(QByteArray bytes);
    void clear() { setText(QString()); }

    // Replaces the text between two places (from before to) with text, whose line
    // breaks start new lines. Returns the place just after the inserted text.
    TextPos replace(TextPos from, TextPos to, const QString& text);

    TextPos end() const { return {count() - 1, length(count() - 1)}; }
    // The place held within the text: line within the lines, column within its line.
    TextPos clamp(TextPos pos) const;

    // Bytes held: the buffer and the line starts (what the text list costs).
    std::int64_t memoryBytes() const;

private:
    static constexpr std::uint64_t utf8Flag = std::uint64_t(1) << 63;

    const char* lineBegin(int index) const { return buffer_.constData() + (starts_[std::size_t(index)] & ~utf8Flag); }
    bool isUtf8(int index) const { return (starts_[std::size_t(index)] & utf8Flag) != 0; }
    // Bytes of a line up to its line break.
    qsizetype lineLength(int index) const;
    std::string_view lineBytes(int index) const { return {lineBegin(index), std::size_t(lineLength(index))}; }
    // Stores a line at the buffer's end and returns its start.
    std::uint64_t store(const QString& line);
    void compactIfWasteful();

    QByteArray buffer_;                 // the lines, each ended by CR, LF or CR LF
    std::vector<std::uint64_t> starts_; // where each line starts; the top bit marks UTF-8
    qsizetype waste_ = 0;               // bytes of lines no longer in the text
    qsizetype longest_ = 0;
};

} // namespace platform
