#pragma once
// Text files read and written as lists of lines, the way the console keeps its
// configuration text and command lists: CR, LF and CR LF all end a line when reading,
// every line is written with CR LF (the last one too). Without a byte-order mark the
// bytes are code page 1250; a file that begins with a mark is read in the encoding it
// names, and writing the list back with that encoding puts the mark back.

#include <QString>
#include <QStringList>

namespace dialogs {

enum class TextEncoding { Ansi, Utf8, Utf16LE, Utf16BE };

struct TextList {
    QStringList lines;
    TextEncoding encoding = TextEncoding::Ansi;
};

// Lines of a text: a line break at the very end makes no extra empty line.
QStringList splitLines(const QString& text);

TextList decodeTextList(const QByteArray& bytes);
QByteArray encodeTextList(const QStringList& lines, TextEncoding encoding);

// Raises vcl::Exception when the file cannot be read.
TextList readTextList(const QString& path);
// Replaces the file as platform::ReplaceFile does; raises vcl::Exception when it cannot
// be written (the old file then stays as it was).
void writeTextList(const QString& path, const QStringList& lines, TextEncoding encoding);

} // namespace dialogs
