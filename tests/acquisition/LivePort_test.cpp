// Line assembly of the live loop's received bytes, and the shape test of its lines.

#include "acquisition/LivePort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::LineAssembler;

namespace {

std::vector<std::string> feed(LineAssembler& a, const std::vector<std::string>& reads)
{
    std::vector<std::string> lines;
    std::string line;
    for (const std::string& r : reads) {
        a.append(r.data(), r.size());
        while (a.next(line))
            lines.push_back(line);
    }
    return lines;
}

} // namespace

TEST(LiveLines, SplitsEveryLineInOrderAndKeepsTheRest)
{
    struct Case {
        const char* name;
        std::vector<std::string> reads;
        std::vector<std::string> lines;
        std::string rest;
    } cases[] = {
        {"one read, one line", {"2024-03-05 14:07:09 1 2\r\n"}, {"2024-03-05 14:07:09 1 2\r"}, ""},
        {"split across reads", {"2024-03-05 14:0", "7:09 1", " 2\n"}, {"2024-03-05 14:07:09 1 2"}, ""},
        {"two lines in one read", {"a 1\nb 2\n"}, {"a 1", "b 2"}, ""},
        {"line end and more", {"a 1\nb", " 2\nc"}, {"a 1", "b 2"}, "c"},
        {"empty lines kept", {"\n\nx\n"}, {"", "", "x"}, ""},
        {"NUL dropped, line end kept", {std::string("a\0b\nc", 5)}, {"ab"}, "c"},
        {"bytes above 0x7F kept", {"\xB9\xEA\n"}, {"\xB9\xEA"}, ""},
    };
    for (const Case& c : cases) {
        LineAssembler a(acquisition::liveLineRules);
        EXPECT_EQ(feed(a, c.reads), c.lines) << c.name;
        EXPECT_EQ(a.unread(), c.rest) << c.name;
    }
}

TEST(LiveLines, BoundsAnUnfinishedLine)
{
    LineAssembler a(acquisition::liveLineRules);
    const std::string chunk(1000, 'x');
    for (int i = 0; i < 200; ++i)
        a.append(chunk.data(), chunk.size());
    EXPECT_EQ(a.unread().size(), 64u * 1024) << "the last 64 KiB are kept";
    EXPECT_TRUE(a.overflowed());
    EXPECT_FALSE(a.overflowed()) << "reported once";
    std::string line;
    a.append("y\nz", 3);
    ASSERT_TRUE(a.next(line));
    EXPECT_EQ(line.back(), 'y');
    EXPECT_EQ(a.unread(), "z");
}

TEST(LiveLineShape, DateBlankTimeOnly)
{
    struct Case {
        const char* line;
        bool shaped;
    } cases[] = {
        {"2024-03-05 14:07:09 21.4 22.0", true},
        {"2024-03-05 14:07:09", true},
        {"14:07:09 21.4", false},
        {"05-03-2024 14:07:09 1", false},
        {"2024-03-05  14:07:09 1", false},
        {"2024-03-05 14:07:09 T 1:2", false},
        {"2024-03-05 14:07:09 -1.5", true},
        {"", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(acquisition::hasLiveLineShape(c.line), c.shaped) << c.line;
}
