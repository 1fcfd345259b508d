#include "platform/files/LineReader.h"

#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

using platform::LineReader;

namespace {

using namespace std::string_literals;

// Each test works in a fresh temporary folder and leaves the current directory as it found it.
class LineReaderTest : public testsupport::TempDirTest {
protected:
    static std::string writeFile(const std::string& name, const std::string& bytes)
    {
        std::FILE* f = std::fopen(name.c_str(), "wb");
        EXPECT_NE(f, nullptr);
        if (!f)
            return name;
        EXPECT_EQ(std::fwrite(bytes.data(), 1, bytes.size(), f), bytes.size());
        std::fclose(f);
        return name;
    }
};

struct Line {
    std::string text;
    std::int64_t start;
    bool operator==(const Line&) const = default;
};

void PrintTo(const Line& l, std::ostream* os)
{
    *os << "{\"";
    for (unsigned char c : l.text) {
        if (c < 32 || c > 126)
            *os << "\\x" << std::hex << int(c) << std::dec;
        else
            *os << c;
    }
    *os << "\" @" << l.start << "}";
}

std::vector<Line> readAll(LineReader& r, std::size_t maxChars = LineReader::unlimited)
{
    std::vector<Line> lines;
    std::string line = "garbage";
    while (r.readLine(line, maxChars))
        lines.push_back({line, r.lineStart()});
    EXPECT_TRUE(line.empty()) << "the line is cleared at the end too";
    EXPECT_EQ(r.position(), r.size());
    return lines;
}

struct Case {
    const char* name;
    std::string input;
    std::vector<Line> expected;
};

const std::vector<Case>& cases()
{
    static const std::vector<Case> table = {
        {"empty", "", {}},
        {"crlf", "ab\r\ncd\r\n", {{"ab", 0}, {"cd", 4}}},
        {"lf", "ab\ncd\n", {{"ab", 0}, {"cd", 3}}},
        {"lone_cr", "ab\rcd\r", {{"ab", 0}, {"cd", 3}}},
        {"mixed", "a\r\nb\nc\rd", {{"a", 0}, {"b", 3}, {"c", 5}, {"d", 7}}},
        {"no_final_terminator", "one\r\ntwo", {{"one", 0}, {"two", 5}}},
        {"empty_lines", "\n\r\n\r\nx\n\n", {{"", 0}, {"", 1}, {"", 3}, {"x", 5}, {"", 7}}},
        {"cr_cr_lf", "a\r\r\nb", {{"a", 0}, {"", 2}, {"b", 4}}},
        {"lf_cr", "a\n\rb", {{"a", 0}, {"", 2}, {"b", 3}}},
        {"only_terminator", "\r\n", {{"", 0}}},
        {"nul_and_high_bytes",
         "\x00\xB9\xA5\xFF\x80 x\r\n\xB3\x00\n"s,
         {{"\x00\xB9\xA5\xFF\x80 x"s, 0}, {"\xB3\x00"s, 9}}},
    };
    return table;
}

TEST_F(LineReaderTest, TableOfLineBreaks)
{
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.name);
        LineReader file;
        ASSERT_TRUE(file.open(writeFile(std::string(c.name) + ".txt", c.input)));
        EXPECT_EQ(file.size(), std::int64_t(c.input.size()));
        EXPECT_EQ(readAll(file), c.expected);
    }
}

// Text mode: only LF and CR LF end a line. Each line also says whether a line break
// ended it, so a reader of a growing file can tell a line still being written.
TEST_F(LineReaderTest, TextModeEndsLinesAtLfOnly)
{
    struct TextLine {
        std::string text;
        std::int64_t start;
        bool terminated;
        bool operator==(const TextLine&) const = default;
    };
    const struct {
        const char* name;
        std::string input;
        std::vector<TextLine> expected;
    } cases[] = {
        {"crlf", "ab\r\ncd\r\n", {{"ab", 0, true}, {"cd", 4, true}}},
        {"lf", "ab\ncd", {{"ab", 0, true}, {"cd", 3, false}}},
        {"lone_cr", "ab\rcd\r\n", {{"ab\rcd", 0, true}}},
        {"cr_cr_lf", "a\r\r\nb\r\r\n", {{"a\r", 0, true}, {"b\r", 4, true}}},
        {"lf_cr", "a\n\rb", {{"a", 0, true}, {"\rb", 2, false}}},
        {"cr_at_the_end", "a\r\nb\r", {{"a", 0, true}, {"b\r", 3, false}}},
        {"only_cr", "\r", {{"\r", 0, false}}},
        {"empty_lines", "\n\r\n", {{"", 0, true}, {"", 1, true}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string name = writeFile(std::string(c.name) + ".txt", c.input);
        LineReader r(LineReader::Breaks::TextMode);
        ASSERT_TRUE(r.open(name));
        std::vector<TextLine> lines;
        std::string line;
        while (r.readLine(line))
            lines.push_back({line, r.lineStart(), r.terminated()});
        EXPECT_TRUE(lines == c.expected);
        EXPECT_EQ(r.position(), std::int64_t(c.input.size()));
    }
}

// A CR that ends a block in text mode: joined to an LF that starts the next block, and
// a character of the line when the file ends after it.
TEST_F(LineReaderTest, TextModeCrAtARefill)
{
    const std::string head(LineReader::bufferSize - 1, 'h');
    const struct {
        const char* tail;
        std::string first;
        bool terminated;
    } cases[] = {
        {"\r\nnext", head, true},
        {"\r", head + "\r", false},
        {"\rx\n", head + "\rx", true},
    };
    for (const auto& c : cases) {
        LineReader r(LineReader::Breaks::TextMode);
        ASSERT_TRUE(r.open(writeFile("refill.txt", head + c.tail)));
        std::string line;
        ASSERT_TRUE(r.readLine(line));
        EXPECT_TRUE(line == c.first) << line.size();
        EXPECT_EQ(r.terminated(), c.terminated);
    }
}

// The consumer sees every byte a read moves past, once and in order, whatever the line
// breaks, the caller's limits and the refills; a seek skips what lies between.
TEST_F(LineReaderTest, ConsumerSeesTheBytesReadPast)
{
    const std::string big(2 * LineReader::bufferSize + 7, 'x');
    const std::string input = "ab\r\n" + big + "\r" + "\r\ncd\ref\n\r\ngh";
    const std::string name = writeFile("consumed.txt", input);
    for (const LineReader::Breaks breaks : {LineReader::Breaks::AnyCrLf, LineReader::Breaks::TextMode}) {
        for (const std::size_t maxChars : {LineReader::unlimited, std::size_t(3), std::size_t(0)}) {
            SCOPED_TRACE(testing::Message() << int(breaks) << " " << maxChars);
            LineReader r(breaks);
            std::string seen;
            r.setConsumer([&](std::string_view bytes) { seen.append(bytes); });
            ASSERT_TRUE(r.open(name));
            std::string line;
            ASSERT_TRUE(r.readLine(line, maxChars));
            EXPECT_EQ(seen, input.substr(0, std::size_t(r.position())));
            ASSERT_TRUE(r.readLineUpTo(line, 100));
            EXPECT_TRUE(r.cut());
            EXPECT_FALSE(r.terminated());
            while (r.readLine(line, maxChars)) {}
            EXPECT_TRUE(seen == input) << seen.size();
            seen.clear();
            ASSERT_TRUE(r.seek(3));
            ASSERT_TRUE(r.readLine(line));
            EXPECT_EQ(seen, input.substr(3, std::size_t(r.position()) - 3));
        }
    }
}

// The same lines with each terminator placed across a buffer refill: a CR ending one
// block must still join the LF that starts the next one.
TEST_F(LineReaderTest, TerminatorSplitAcrossRefill)
{
    const std::size_t block = LineReader::bufferSize;
    struct Split {
        const char* name;
        std::string tail; // placed so that its first byte is the last byte of the first block
        std::vector<std::string> lines;
    };
    const std::vector<Split> splits = {
        {"crlf", "\r\nnext\r\n", {"next"}},       {"lone_cr_then_text", "\rnext", {"next"}},
        {"cr_cr_lf", "\r\r\nnext", {"", "next"}}, {"lf_then_cr", "\n\rnext", {"", "next"}},
        {"cr_at_end_of_file", "\r", {}},
    };
    for (const Split& s : splits) {
        SCOPED_TRACE(s.name);
        const std::string head(block - 1, 'h');
        const std::string input = head + s.tail;
        LineReader r;
        ASSERT_TRUE(r.open(writeFile(std::string(s.name) + ".txt", input)));
        std::string line;
        ASSERT_TRUE(r.readLine(line));
        EXPECT_EQ(line, head);
        std::vector<std::string> rest;
        while (r.readLine(line))
            rest.push_back(line);
        EXPECT_EQ(rest, s.lines);
        EXPECT_EQ(r.position(), std::int64_t(input.size()));
    }
}

TEST_F(LineReaderTest, TenMegabyteLine)
{
    std::string big(10 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < big.size(); i += 4099)
        big[i] = char('a' + i % 26);
    const std::string input = "first\r\n" + big + "\r\nlast";
    const std::string name = writeFile("big.txt", input);

    struct Limit {
        std::size_t maxChars;
        std::string expected;
    };
    const std::vector<Limit> limits = {
        {LineReader::unlimited, big},
        {100, big.substr(0, 100)},
        {0, ""},
        {big.size(), big},
    };
    for (const Limit& l : limits) {
        SCOPED_TRACE(l.maxChars);
        LineReader r;
        ASSERT_TRUE(r.open(name));
        std::string line;
        ASSERT_TRUE(r.readLine(line, l.maxChars));
        EXPECT_EQ(line, l.maxChars == 0 ? "" : "first");
        ASSERT_TRUE(r.readLine(line, l.maxChars));
        EXPECT_EQ(r.lineStart(), 7);
        EXPECT_EQ(line.size(), l.expected.size());
        EXPECT_TRUE(line == l.expected);
        // The skipped rest of the long line never leaks into the next line.
        ASSERT_TRUE(r.readLine(line, l.maxChars));
        EXPECT_EQ(line, l.maxChars == 0 ? "" : "last");
        EXPECT_EQ(r.lineStart(), std::int64_t(7 + big.size() + 2));
        EXPECT_FALSE(r.readLine(line));
    }
}

TEST_F(LineReaderTest, ReadUpToStopsInsideALongLine)
{
    // The long line crosses several buffer refills; the limit falls inside it, at a
    // refill and right before a terminator.
    const std::size_t block = LineReader::bufferSize;
    const std::string big(3 * block + 5, 'x');
    const std::string input = "ab\r\n" + big + "\r\ncd";
    const std::string name = writeFile("upto.txt", input);
    struct Step {
        std::size_t maxChars;
        std::string line;
        bool cut;
        std::int64_t position;
    };
    const struct {
        const char* name;
        std::vector<Step> steps;
    } cases[] = {
        {"short lines fit", {{2, "ab", false, 4}}},
        {"inside the long line",
         {{2, "ab", false, 4},
          {100, big.substr(0, 100), true, 104},
          {big.size(), big.substr(100), false, std::int64_t(6 + big.size())},
          {2, "cd", false, std::int64_t(input.size())}}},
        {"at a refill", {{10, "ab", false, 4}, {block, big.substr(0, block), true, std::int64_t(4 + block)}}},
        {"exactly the long line", {{10, "ab", false, 4}, {big.size(), big, false, std::int64_t(6 + big.size())}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        LineReader r;
        ASSERT_TRUE(r.open(name));
        std::string line;
        for (const Step& s : c.steps) {
            ASSERT_TRUE(r.readLineUpTo(line, s.maxChars));
            EXPECT_TRUE(line == s.line) << line.size();
            EXPECT_EQ(r.cut(), s.cut);
            EXPECT_EQ(r.position(), s.position);
        }
    }
}

TEST_F(LineReaderTest, SeekAndPosition)
{
    // Far offsets exercise a seek outside the current buffer.
    const std::string far(3 * LineReader::bufferSize, 'f');
    const std::string input = "alpha\r\nbeta\r\n" + far + "\r\ngamma\n";
    const std::int64_t gamma = std::int64_t(13 + far.size() + 2);
    const std::string name = writeFile("seek.txt", input);

    LineReader r;
    ASSERT_TRUE(r.open(name));
    std::string line;
    EXPECT_EQ(r.position(), 0);
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(r.position(), 7);

    ASSERT_TRUE(r.seek(gamma));
    EXPECT_EQ(r.position(), gamma);
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "gamma");
    EXPECT_EQ(r.lineStart(), gamma);
    EXPECT_FALSE(r.readLine(line));

    // Back into the middle of a line, then onto the LF of a CR LF: the split pair
    // is not joined, so the LF ends an empty line.
    ASSERT_TRUE(r.seek(2));
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "pha");
    EXPECT_EQ(r.lineStart(), 2);
    ASSERT_TRUE(r.seek(6));
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "");
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "beta");
    EXPECT_EQ(r.lineStart(), 7);

    ASSERT_TRUE(r.seek(r.size()));
    EXPECT_FALSE(r.readLine(line));
    EXPECT_FALSE(r.seek(-1));
    EXPECT_FALSE(r.seek(r.size() + 1));
}

TEST_F(LineReaderTest, OpenFailuresAndClose)
{
    LineReader r;
    std::string line;
    EXPECT_FALSE(r.isOpen());
    EXPECT_FALSE(r.readLine(line));
    EXPECT_FALSE(r.open("missing.txt"));
    EXPECT_FALSE(r.open("."));
    // A FIFO nobody writes to is refused at once rather than waited on; a device too.
    ASSERT_EQ(::mkfifo("kolejka", 0600), 0);
    EXPECT_FALSE(r.open("kolejka"));
    EXPECT_FALSE(r.open("/dev/zero"));
    EXPECT_FALSE(r.isOpen());

    ASSERT_TRUE(r.open(writeFile("a.txt", "x\n")));
    EXPECT_TRUE(r.isOpen());
    r.close();
    EXPECT_FALSE(r.isOpen());
    EXPECT_FALSE(r.readLine(line));

    // A descriptor opened elsewhere is read, and owned, by the reader.
    const int fd = ::open("a.txt", O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_TRUE(r.open(fd));
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "x");
    r.close();
    EXPECT_EQ(::fcntl(fd, F_GETFD), -1) << "closed with the reader";
    EXPECT_FALSE(r.open(-1));
    EXPECT_FALSE(r.open(::open(".", O_RDONLY | O_CLOEXEC)));

    // Reopening the same reader starts afresh.
    ASSERT_TRUE(r.open(writeFile("b.txt", "y")));
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "y");
    ASSERT_TRUE(r.open("a.txt"));
    ASSERT_TRUE(r.readLine(line));
    EXPECT_EQ(line, "x");
    EXPECT_EQ(r.lineStart(), 0);
}

} // namespace
