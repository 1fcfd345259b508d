#include "dialogs/TextListFile.h"

#include "platform/files/SafeFile.h"
#include "platform/text/Cp1250.h"
#include "platform/vcl/VclCore.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>
#include <QStringEncoder>

#include <algorithm>

namespace dialogs {

namespace {

QStringConverter::Encoding utf16(TextEncoding encoding)
{
    return encoding == TextEncoding::Utf16LE ? QStringConverter::Utf16LE : QStringConverter::Utf16BE;
}

TextList asLines(TextFile file) { return {splitLines(file.text), file.encoding}; }

} // namespace

QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (c != QLatin1Char('\r') && c != QLatin1Char('\n'))
            continue;
        lines << text.mid(start, i - start);
        if (c == QLatin1Char('\r') && i + 1 < text.size() && text[i + 1] == QLatin1Char('\n'))
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines << text.mid(start);
    return lines;
}

TextEncoding textEncoding(const QByteArray& bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        return TextEncoding::Utf8;
    if (bytes.startsWith("\xFF\xFE"))
        return TextEncoding::Utf16LE;
    if (bytes.startsWith("\xFE\xFF"))
        return TextEncoding::Utf16BE;
    return TextEncoding::Ansi;
}

TextFile decodeText(const QByteArray& bytes)
{
    TextFile file;
    file.encoding = textEncoding(bytes);
    // The mark that names the encoding is taken off here; a mark right after it is text
    // of the file and must not be dropped as a second one. The UTF-16 decoder keeps
    // unpaired surrogates as they are, so they are written back unchanged; half a
    // character at the very end is dropped.
    if (file.encoding == TextEncoding::Utf8) {
        QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::ConvertInitialBom);
        file.text = utf8(QByteArrayView(bytes).sliced(3));
    } else if (file.encoding == TextEncoding::Utf16LE || file.encoding == TextEncoding::Utf16BE) {
        QStringDecoder decoder(utf16(file.encoding), QStringConverter::Flag::ConvertInitialBom);
        file.text = decoder(QByteArrayView(bytes).sliced(2));
    } else {
        file.text = platform::cp1250ToUnicode(std::string_view(bytes.constData(), std::size_t(bytes.size())));
    }
    return file;
}

QByteArray encodeTextList(const QStringList& lines, TextEncoding encoding)
{
    QByteArray out;
    switch (encoding) {
    case TextEncoding::Ansi:
        for (const QString& line : lines) {
            const std::string bytes = platform::unicodeToCp1250(line);
            out.append(bytes.data(), qsizetype(bytes.size()));
            out.append("\r\n");
        }
        break;
    case TextEncoding::Utf8:
        out.append("\xEF\xBB\xBF");
        for (const QString& line : lines)
            out.append(line.toUtf8()).append("\r\n");
        break;
    case TextEncoding::Utf16LE:
    case TextEncoding::Utf16BE: {
        out.append(encoding == TextEncoding::Utf16LE ? "\xFF\xFE" : "\xFE\xFF");
        QStringEncoder encoder(utf16(encoding));
        for (const QString& line : lines)
            out.append(encoder(line + QStringLiteral("\r\n")));
        break;
    }
    }
    return out;
}

QByteArray readTextBytes(const QString& path, qint64 maxBytes, const std::function<void()>& step)
{
    const QString shown = QFileInfo(path).absoluteFilePath();
    QFile file;
    // Only a plain file: a FIFO would hold the program until some writer came, and a
    // device might never end.
    if (!platform::OpenForReading(file, path))
        throw vcl::Exception(QStringLiteral("Nie można otworzyć pliku \"%1\".").arg(shown));
    const auto tooLarge = [&] {
        return vcl::Exception(QStringLiteral("Plik \"%1\" jest za duży, aby wczytać go w całości.").arg(shown));
    };
    if (file.size() > maxBytes)
        throw tooLarge();
    // Read in pieces straight into the array, up to one byte past the limit: a file that
    // grows meanwhile, or one that tells no size, is held to the same limit. The array
    // keeps room for one byte more, so a text list can end the last line in place.
    constexpr qint64 piece = qint64(16) << 20;
    QByteArray bytes(std::min(file.size(), maxBytes) + 1, Qt::Uninitialized);
    qint64 done = 0;
    for (;;) {
        // Past the size the file had, it is read on while it gives more.
        if (done == bytes.size())
            bytes.resize(bytes.size() + piece);
        const qint64 n = file.read(bytes.data() + done, std::min({piece, bytes.size() - done, maxBytes + 1 - done}));
        if (n < 0)
            throw vcl::Exception(QStringLiteral("Nie można odczytać pliku \"%1\".").arg(shown));
        if (n == 0)
            break;
        done += n;
        if (done > maxBytes)
            throw tooLarge();
        if (step)
            step();
    }
    bytes.resize(done);
    return bytes;
}

TextFile readTextFile(const QString& path, qint64 maxBytes) { return decodeText(readTextBytes(path, maxBytes)); }

TextList readTextList(const QString& path) { return asLines(readTextFile(path)); }

void writeTextList(const QString& path, const QStringList& lines, TextEncoding encoding)
{
    const QByteArray bytes = encodeTextList(lines, encoding);
    std::string error;
    if (!platform::ReplaceFile(QFile::encodeName(path).toStdString(), bytes.constData(), std::size_t(bytes.size()),
                               nullptr, &error))
        throw vcl::Exception(QStringLiteral("Cannot create file \"%1\". %2")
                                 .arg(QFileInfo(path).absoluteFilePath(), QString::fromLocal8Bit(error.c_str())));
}

} // namespace dialogs
