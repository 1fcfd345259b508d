#include "acquisition/DataPages.h"

#include "tests/support/FileBytes.h"
#include "tests/support/TempDirTest.h"

#include <gtest/gtest.h>

#include <climits>

using acquisition::forEachWholeFileLine;
using acquisition::lastPage;
using acquisition::Page;
using acquisition::pageOffset;
using acquisition::plikPomiar;
using acquisition::readPage;
using acquisition::usePagedView;

namespace {

constexpr std::uint64_t GB = 1ULL << 30;

plikPomiar described(std::uint64_t fileSize, std::int64_t lineLen, std::int64_t headerEnd = 0,
                     std::int64_t recordCount = 0)
{
    plikPomiar d;
    d.fileSize = fileSize;
    d.lineLen = lineLen;
    d.headerEnd = headerEnd;
    d.recordCount = recordCount;
    return d;
}

} // namespace

TEST(DataPages, PagedOnlyForTheThirdFamilyWhenOnePageIsSmallerThanTheFile)
{
    const struct {
        int family;
        int pageSize;
        std::uint64_t fileSize;
        std::int64_t lineLen;
        bool paged;
    } cases[] = {
        {0, 1000, 10 * GB, 36, false},
        {1, 1000, 10 * GB, 36, false},
        {2, 1000, 36000, 36, false},
        {2, 1000, 36001, 36, true},
        // No header: no line length, so any file with a byte in it.
        {2, 1000, 0, 0, false},
        {2, 1000, 1, 0, true},
        // Sizes beyond 4 GB are not cut to their low 32 bits (4 GB + 100 is not 100).
        {2, 1000, 4 * GB + 100, 36, true},
        {2, 40000, 4 * GB + 100, 801, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.family << " " << c.fileSize << " " << c.lineLen);
        EXPECT_EQ(usePagedView(c.family, c.pageSize, described(c.fileSize, c.lineLen)), c.paged);
    }
}

TEST(DataPages, PageOffsetsAndTheLastPageAre64Bit)
{
    const plikPomiar d = described(0, 36, 59);
    EXPECT_EQ(pageOffset(d, 0, 1000), 59);
    EXPECT_EQ(pageOffset(d, 3, 1000), 59 + 108000);
    // Page 150,000 of 1000 lines of 36 bytes lies 5.4 GB into the file.
    EXPECT_EQ(pageOffset(d, 150000, 1000), 59 + 5400000000LL);
    EXPECT_EQ(pageOffset(d, INT_MAX, 40000), 59 + 36LL * 40000 * INT_MAX);

    EXPECT_EQ(lastPage(described(0, 36, 59, 2500), 1000), 2);
    EXPECT_EQ(lastPage(described(0, 36, 59, 999), 1000), 0);
    EXPECT_EQ(lastPage(described(0, 36, 59, 150000LL * 1000 + 7), 1000), 150000);
    EXPECT_EQ(lastPage(described(0, 36, 59, 0), 1000), 0);
    EXPECT_EQ(lastPage(described(0, 36, 59, 10000000000000LL), 1000), INT_MAX);
}

class ReadPage : public testsupport::TempDirTest {};

TEST_F(ReadPage, DropsThePieceAtTheOffsetThenReadsLinesOfAnyLength)
{
    const std::string longLine(100000, 'x');
    const std::string text = "head\r\nl1\r\n" + longLine + "\r\nl3\nl4\rl5\r\n";
    testsupport::writeBytes("f.dan", text);
    const std::int64_t size = static_cast<std::int64_t>(text.size());
    const struct {
        std::int64_t offset;
        int lines;
        std::vector<std::string> expected;
        std::int64_t end;
    } cases[] = {
        {2, 3, {"l1", longLine, "l3"}, static_cast<std::int64_t>(text.find("l4"))},
        // At a line's own LF the piece is empty; the next line is the first shown.
        {5, 2, {"l1", longLine}, static_cast<std::int64_t>(text.find("l3"))},
        {0, 5, {"l1", longLine, "l3", "l4", "l5"}, size},
        // The file ends inside the page.
        {0, 8, {"l1", longLine, "l3", "l4", "l5"}, -1},
        {size, 3, {}, -1},
        {size + 1000, 3, {}, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        Page page;
        ASSERT_TRUE(readPage("f.dan", c.offset, c.lines, page));
        EXPECT_EQ(page.lines, c.expected);
        EXPECT_EQ(page.end, c.end);
    }
    Page page;
    EXPECT_FALSE(readPage("missing.dan", 0, 3, page));
    EXPECT_TRUE(page.lines.empty());
}

TEST_F(ReadPage, AStretchWithoutLineBreaksEndsThePage)
{
    // A MiB is the longest line read; past it lies no text (here a zero-filled
    // stretch, as in a damaged file), and reading on would read the whole file.
    const std::string mib(1 << 20, '7');
    const std::string text = "x\nl1\n" + mib + "\nl3\n" + std::string((1 << 20) + 1, '\0') + "\nl5\n";
    testsupport::writeBytes("f.dan", text);
    const struct {
        std::int64_t offset;
        std::vector<std::string> expected;
    } cases[] = {
        {0, {"l1", mib, "l3"}},
        {static_cast<std::int64_t>(text.find("l3") + 3), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.offset);
        Page page;
        ASSERT_TRUE(readPage("f.dan", c.offset, 10, page));
        EXPECT_EQ(page.lines.size(), c.expected.size());
        EXPECT_TRUE(page.lines == c.expected);
        EXPECT_EQ(page.end, -1);
    }
}

TEST(WholeFileLineOrder, StartZeroAndNewDayLinesChooseWhatIsParsed)
{
    using Lines = std::vector<std::string>;
    const struct {
        const char* name;
        Lines lines;
        std::vector<std::size_t> order;
    } cases[] = {
        {"empty", {}, {}},
        {"plain", {"DataTime  k1", "2024 1", "x", "", "2024 2"}, {0, 1, 4}},
        {"start", {"Start: 10:00", "2024 1", "2024 2"}, {1, 2}},
        {"start and new day", {"Start: NewDay:", "DataTime  k1", "2024 1"}, {2}},
        {"device file from its column line",
         {"VeskSystem x", "Channels 2", "***End_of_Header***", "yyyy-mm-dd hh:mm:ss.nnn k1 k2", "2024 1", "Counter 1"},
         {3, 4, 5}},
        {"device file without end marker", {"VeskSystem x", "Channels 2", "2024 1"}, {}},
        {"zero block", {"2024 1", "Zero: 10:00", "k1 0.5", " k2 0.2", "2024 2", "k3 1"}, {0, 4, 5}},
        {"zero block takes the next line whatever it is", {"Zero:", "k1 1", "", "2024 2"}, {2, 3}},
        {"zero block at the end", {"2024 1", "Zero:", "k1 1"}, {0}},
        {"new day takes the next line whatever it is", {"2024 1", "NewDay: 2024-03-06", "", "2024 2"}, {0, 2, 3}},
        {"new day at the end", {"2024 1", "NewDay: 2024-03-06"}, {0}},
        {"zero block followed by a new day", {"Zero:", "k1 1", "NewDay:", "2024 2"}, {3}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::size_t> order;
        // As the text list hands out a line kept in UTF-8: a view of one scratch text
        // that the next call overwrites.
        std::string scratch;
        forEachWholeFileLine(
            c.lines.size(), [&](std::size_t i) { return std::string_view(scratch = c.lines.at(i)); },
            [&](std::size_t i, std::string_view line) {
                order.push_back(i);
                EXPECT_EQ(line, c.lines.at(i)) << i;
            });
        EXPECT_EQ(order, c.order);
    }
}
