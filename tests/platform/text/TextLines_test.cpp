// The compact lines of a text list: a file's bytes split at every kind of line break
// and kept byte for byte, and edits that leave the same lines as a text document does.

#include "platform/text/TextLines.h"

#include "platform/text/Cp1250.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <random>
#include <string>
#include <vector>

using platform::TextLines;
using platform::TextPos;

namespace {

QStringList linesOf(const TextLines& t)
{
    QStringList lines;
    for (int i = 0; i < t.count(); ++i)
        lines << t.line(i);
    return lines;
}

QStringList linesOf(const QTextDocument& d)
{
    QStringList lines;
    for (QTextBlock b = d.firstBlock(); b.isValid(); b = b.next())
        lines << b.text();
    return lines;
}

QByteArray bytes(const char* text, std::size_t size) { return QByteArray(text, qsizetype(size)); }

TEST(TextLines, AFilesBytesSplitAtEveryLineBreakAndStayAsTheyWere)
{
    const struct {
        const char* name;
        QByteArray bytes;
        QStringList lines;
    } cases[] = {
        {"empty", "", {""}},
        {"no break", "abc", {"abc"}},
        {"CR LF at the end", "abc\r\n", {"abc", ""}},
        {"LF, an empty line", "a\n\nb", {"a", "", "b"}},
        {"CR alone, CR LF, CR LF after CR", "a\rb\r\n\r\nc", {"a", "b", "", "c"}},
        {"LF CR is two breaks", "a\n\rb", {"a", "", "b"}},
        {"a lone CR at the end", "a\r", {"a", ""}},
        {"code page 1250", "\xa3\xf3\x64\x9f\r\n", {QStringLiteral("Łódź"), ""}},
        {"NUL and the unassigned bytes",
         bytes("a\0\x81\x98z", 5),
         {QString(QChar(u'a')) + QChar(0) + QChar(0x81) + QChar(0x98) + "z"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TextLines t;
        QByteArray data = c.bytes;
        t.setAnsiText(data);
        EXPECT_EQ(linesOf(t), c.lines);
        QTextDocument d;
        d.setPlainText(platform::cp1250ToUnicode(std::string_view(c.bytes.constData(), std::size_t(c.bytes.size()))));
        EXPECT_EQ(linesOf(t), linesOf(d)) << "as a text document splits it";
    }

    // Every byte but the two line breaks comes back as it was, for the parse.
    std::string all;
    for (int b = 0; b < 256; ++b)
        if (b != '\r' && b != '\n')
            all += char(b);
    TextLines t;
    t.setAnsiText(QByteArray::fromStdString(all + "\r\n" + all));
    ASSERT_EQ(t.count(), 2);
    std::string scratch;
    EXPECT_EQ(t.ansiLine(1, scratch), all);
    EXPECT_EQ(t.line(0), platform::cp1250ToUnicode(all));
    EXPECT_EQ(t.length(0), int(all.size()));
    EXPECT_EQ(t.slice(0, 250, 100), platform::cp1250ToUnicode(all.substr(250)));
}

// Lines of every length up to 40 bytes, with bytes one bit away from a line break
// (0x8A, 0x8D, 0x0B, 0x0C, 0x2A, ...) and breaks of every kind at every place: each
// comes back as it was, the last one of the file too.
TEST(TextLines, EveryLineEndsAtItsOwnBreak)
{
    static const std::string near =
        std::string("\x8a\x8d\x0b\x0c\x2a\x2d\x0e\x09\x8b\xca\xcd\xff") + std::string(1, '\0') + "az";
    std::mt19937_64 rng(1122026);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::string> expected(1 + rng() % 40);
        for (std::string& line : expected) {
            line.resize(rng() % 41);
            for (char& c : line)
                c = near[rng() % near.size()];
        }
        const int count = int(expected.size());
        std::string text;
        for (int i = 0; i < count; ++i) {
            text += expected[std::size_t(i)];
            // A CR before an empty line and its LF would make one CR LF.
            static const char* const breaks[] = {"\r\n", "\n", "\r"};
            if (i + 1 < count)
                text += breaks[rng() % (expected[std::size_t(i) + 1].empty() ? 2 : 3)];
        }
        TextLines t;
        t.setAnsiText(QByteArray::fromStdString(text));
        ASSERT_EQ(t.count(), count);
        std::string scratch;
        for (int i = 0; i < count; ++i) {
            ASSERT_EQ(std::string(t.ansiLine(i, scratch)), expected[std::size_t(i)])
                << "round " << round << ", line " << i;
            ASSERT_EQ(t.length(i), int(expected[std::size_t(i)].size()));
        }
    }
}

TEST(TextLines, AFileOfOneKindOfLineBreakIsReadInOnePass)
{
    // A file whose lines end in CR alone (or LF alone) has none of the other break:
    // looking for it at every line would read the rest of the file each time.
    for (const char* end : {"\r", "\n"}) {
        std::string text;
        for (int i = 0; i < 1000000; ++i)
            text += "12345" + std::string(end);
        QElapsedTimer clock;
        clock.start();
        TextLines t;
        t.setAnsiText(QByteArray::fromStdString(text));
        EXPECT_LT(clock.elapsed(), 5000);
        EXPECT_EQ(t.count(), 1000001);
        EXPECT_EQ(t.line(999999), QStringLiteral("12345"));
        EXPECT_EQ(t.longest(), 5);
    }
}

TEST(TextLines, EditsLeaveTheLinesATextDocumentHas)
{
    // Random edits on a text document and on the lines, compared after each; the
    // texts hold every kind of line break, Polish letters and characters that code
    // page 1250 lacks (those lines are kept in UTF-8).
    const QStringList pieces = {
        "",
        "a",
        "2024-03-05 10:00:00 21.5",
        "\n",
        "\r\n",
        "\r",
        QString(QChar(0x2029)),
        QStringLiteral("żółć"),
        QStringLiteral("数据"),
        QStringLiteral("x\ny\r\nz"),
        QString(300, 'w'),
        QString(QChar(0xFEFF)),
    };
    std::mt19937 random(1250);
    auto pick = [&](int n) { return int(random() % unsigned(n)); };
    QTextDocument document;
    TextLines lines;
    auto place = [&](TextPos p) { return document.findBlockByNumber(p.line).position() + p.column; };
    auto somewhere = [&] {
        const int line = pick(lines.count());
        return TextPos{line, pick(lines.length(line) + 1)};
    };
    for (int step = 0; step < 3000; ++step) {
        TextPos from = somewhere(), to = somewhere();
        if (to < from)
            std::swap(from, to);
        if (pick(3) == 0)
            to = from;
        QString text;
        for (int k = pick(4); k > 0; --k)
            text += pieces[pick(int(pieces.size()))];
        QTextCursor cursor(&document);
        cursor.setPosition(place(from));
        cursor.setPosition(place(to), QTextCursor::KeepAnchor);
        cursor.insertText(text);
        const TextPos after = lines.replace(from, to, text);
        ASSERT_EQ(linesOf(lines), linesOf(document)) << "step " << step;
        ASSERT_EQ(place(after), cursor.position()) << "step " << step;
    }
    std::string scratch;
    lines.setText(QStringLiteral("数 ą"));
    EXPECT_EQ(lines.ansiLine(0, scratch), "? \xb9");
}

TEST(TextLines, ReplacedLinesDoNotPileUp)
{
    // A list that keeps its last lines, as the new-data step does: the bytes of
    // deleted lines are given back once they outweigh the rest.
    TextLines t;
    const QString line(200, 'r');
    for (int i = 0; i < 100; ++i)
        t.replace(t.end(), t.end(), line + "\n");
    for (int i = 0; i < 50000; ++i) {
        t.replace({0, 0}, {1, 0}, QString());
        t.replace(t.end(), t.end(), line + "\n");
    }
    EXPECT_EQ(t.count(), 101);
    EXPECT_EQ(t.line(57), line);
    EXPECT_LT(t.memoryBytes(), 8 << 20);
}

} // namespace
