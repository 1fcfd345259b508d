// Line assembly of the live loop's received bytes, and the shape test of its lines.

#include "acquisition/LivePort.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using acquisition::LiveLineAssembler;

namespace {

std::vector<std::string> feed(LiveLineAssembler& a, const std::vector<std::string>& reads)
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

TEST(LiveLineAssembler, SplitsEveryLineInOrderAndKeepsTheRest)
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
        LiveLineAssembler a;
        EXPECT_EQ(feed(a, c.reads), c.lines) << c.name;
        EXPECT_EQ(a.pending(), c.rest) << c.name;
    }
}

TEST(LiveLineAssembler, BoundsAnUnfinishedLine)
{
    LiveLineAssembler a;
    const std::string chunk(1000, 'x');
    for (int i = 0; i < 200; ++i)
        a.append(chunk.data(), chunk.size());
    EXPECT_LE(a.pending().size(), LiveLineAssembler::maxPending);
    EXPECT_TRUE(a.overflowed());
    EXPECT_FALSE(a.overflowed()) << "reported once";
    std::string line;
    a.append("y\nz", 3);
    ASSERT_TRUE(a.next(line));
    EXPECT_EQ(line.back(), 'y');
    EXPECT_EQ(a.pending(), "z");
}

TEST(LiveLineShape, DateBlankTimeOnly)
{
    struct Case { const char* line; bool shaped; } cases[] = {
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
