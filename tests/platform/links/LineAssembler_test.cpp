// Cutting received bytes into lines, under the rules of the TCP links (lines end at CR,
// an over-long line keeps its start) and of the live serial loop (lines end at LF, NUL
// bytes go, an over-long unfinished line keeps its end). Small limits show the bounds.

#include "platform/links/LineAssembler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using platform::LineAssembler;
using platform::LineRules;

namespace {

const LineRules tcp{.end = '\r', .limit = 5};
const LineRules live{.end = '\n', .limit = 8, .overlong = LineRules::Overlong::KeepEnd, .dropNul = true};

struct Line {
    std::string text;
    bool truncated = false;
};

TEST(LineAssembler, CutsLinesByItsRules)
{
    struct Case {
        const char* what;
        LineRules rules;
        std::vector<std::string> chunks;
        std::vector<Line> lines;
        std::string unread;
        bool overflowed = false;
    } cases[] = {
        {"joined across chunks", tcp, {"ab\rcd", "e\r"}, {{"ab"}, {"cde"}}, ""},
        {"LF after CR starts the next line", tcp, {"1234\r\n1234\r"}, {{"1234"}, {"\n1234"}}, ""},
        {"CR and LF split over two appends", tcp, {"ab\r", "\ncd\r"}, {{"ab"}, {"\ncd"}}, ""},
        {"LF alone ends nothing", tcp, {"a\nb\r"}, {{"a\nb"}}, ""},
        {"empty lines", tcp, {"\r\r"}, {{""}, {""}}, ""},
        {"NUL and high bytes kept", tcp, {std::string("\0\xff\x80z\r", 5)}, {{std::string("\0\xff\x80z", 4)}}, ""},
        {"exactly the limit is whole", tcp, {"abcde\r"}, {{"abcde"}}, ""},
        {"exactly the limit, CR in the next append", tcp, {"abcde", "\r"}, {{"abcde"}}, ""},
        {"over the limit is cut, rest dropped", tcp, {"abcdefgh\rx\r"}, {{"abcde", true}, {"x"}}, "", true},
        {"cut before its CR arrives", tcp, {"abcdefg", "hij", "klm\rk\r"}, {{"abcde", true}, {"k"}}, "", true},
        {"one over, CR in the next append", tcp, {"abcdef", "\rx\r"}, {{"abcde", true}, {"x"}}, "", true},
        {"unfinished rest is held", tcp, {"ab\rxyz"}, {{"ab"}}, "xyz"},

        {"LF ends the line, CR stays on it", live, {"ab\r\n"}, {{"ab\r"}}, ""},
        {"CR alone ends nothing", live, {"a\rb\n"}, {{"a\rb"}}, ""},
        {"CR and LF split over two appends", live, {"ab\r", "\ncd"}, {{"ab\r"}}, "cd"},
        {"NUL between CR and LF", live, {std::string("a\r\0\n", 4)}, {{"a\r"}}, ""},
        {"NUL does not count against the limit", live, {std::string("abcd\0\0\0\0efgh", 12), "\n"}, {{"abcdefgh"}}, ""},
        {"exactly the limit, LF in the next append", live, {"01234567", "\n"}, {{"01234567"}}, ""},
        {"unfinished line keeps its last bytes", live, {"0123456789"}, {}, "23456789", true},
        {"kept end joins its line end", live, {"0123456789", "ab\n"}, {{"23456789ab"}}, "", true},
        {"a whole line over the limit is whole", live, {"a\n0123456789\n"}, {{"a"}, {"0123456789"}}, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        LineAssembler a(c.rules);
        std::vector<Line> got;
        for (const std::string& chunk : c.chunks) {
            a.append(chunk);
            for (;;) {
                const bool ready = a.hasLine();
                Line line;
                if (!a.next(line.text, line.truncated)) {
                    EXPECT_FALSE(ready);
                    break;
                }
                EXPECT_TRUE(ready);
                got.push_back(line);
            }
        }
        ASSERT_EQ(got.size(), c.lines.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].text, c.lines[i].text) << i;
            EXPECT_EQ(got[i].truncated, c.lines[i].truncated) << i;
        }
        EXPECT_EQ(a.unread(), c.unread);
        EXPECT_EQ(a.overflowed(), c.overflowed);
        EXPECT_FALSE(a.overflowed()) << "told once";
    }
}

// The TCP client reads one reply up to CR and the next up to another byte: bytes already
// searched for the old line end are searched again for the new one.
TEST(LineAssembler, NewLineEndAppliesToWhatIsHeld)
{
    LineAssembler a(tcp);
    a.append("ab\ncd");
    std::string line;
    EXPECT_FALSE(a.next(line));
    a.configure('\n', 5);
    ASSERT_TRUE(a.next(line));
    EXPECT_EQ(line, "ab");
    EXPECT_EQ(a.unread(), "cd");
    a.clear();
    EXPECT_EQ(a.unread(), "");
    a.append("x\n");
    ASSERT_TRUE(a.next(line));
    EXPECT_EQ(line, "x");
}

} // namespace
