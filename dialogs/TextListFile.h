#pragma once
// Text files read and written as lists of lines: the console's configuration text and
// command lists, a data file loaded whole in the browser and a stored run in a
// measurement window's preview all load by the one rule here. CR, LF and CR LF all end
// a line when reading, and every line is written with CR LF (the last one too).
// Without a byte-order mark the bytes are code page 1250; a file that begins with a
// mark is read in the encoding it names, the mark itself being no part of the text
// (a second mark after it is), and writing the list back with that encoding puts the
// mark back. A file is read whole, up to a size limit; a larger one is refused.

#include <QString>
#include <QStringList>

#include <functional>

namespace dialogs {

enum class TextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct TextList {
    QStringList lines;
    TextEncoding encoding = TextEncoding::Ansi;
};

struct TextFile {
    QString text;
    TextEncoding encoding = TextEncoding::Ansi;
};

// The largest file read whole; far larger ones would take the machine's memory.
inline constexpr qint64 maxTextFileBytes = qint64(256) << 20;

// Lines of a text: a line break at the very end makes no extra empty line.
QStringList splitLines(const QString& text);

// The encoding the first bytes name (Ansi without a byte-order mark).
TextEncoding textEncoding(const QByteArray& bytes);
TextFile decodeText(const QByteArray& bytes);
QByteArray encodeTextList(const QStringList& lines, TextEncoding encoding);

// The file's bytes, with room for one byte more; raises vcl::Exception when it cannot
// be read or holds more than maxBytes bytes. step, when given, is called after every
// piece read.
QByteArray readTextBytes(const QString& path, qint64 maxBytes = maxTextFileBytes,
                         const std::function<void()>& step = {});
// The file's text, read so and decoded.
TextFile readTextFile(const QString& path, qint64 maxBytes = maxTextFileBytes);
// The file's text as lines, by the same rule.
TextList readTextList(const QString& path);
// Replaces the file as platform::ReplaceFile does; raises vcl::Exception when it cannot
// be written (the old file then stays as it was).
void writeTextList(const QString& path, const QStringList& lines, TextEncoding encoding);

} // namespace dialogs
