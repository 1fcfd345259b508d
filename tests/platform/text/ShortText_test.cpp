#include "platform/text/ShortText.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Distinct bytes at every position, so that a byte left out of a comparison or a copy
// shows; the texts stand at odd offsets inside larger buffers.
std::string pattern(std::size_t n, char base)
{
    std::string s(n, '\0');
    for (std::size_t k = 0; k < n; ++k)
        s[k] = static_cast<char>(base + k);
    return s;
}

TEST(ShortText, ComparesEveryByteOfEveryLength)
{
    for (std::size_t n = 0; n <= 40; ++n) {
        const std::string a = "#" + pattern(n, 'A') + "#";
        for (std::size_t at = 0; at < n; ++at) {
            std::string b = "##" + pattern(n, 'A') + "##";
            EXPECT_TRUE(platform::sameText(std::string_view(a).substr(1, n), std::string_view(b).substr(2, n))) << n;
            b[2 + at] = '*';
            EXPECT_FALSE(platform::sameText(std::string_view(a).substr(1, n), std::string_view(b).substr(2, n)))
                << "length " << n << ", differing at " << at;
        }
        EXPECT_FALSE(platform::sameText(pattern(n, 'A'), pattern(n + 1, 'A'))) << n;
    }
}

TEST(ShortText, AssignsEveryLengthOverEveryLength)
{
    for (std::size_t from = 0; from <= 40; ++from) {
        for (std::size_t to = 0; to <= 40; ++to) {
            std::string text = pattern(from, 'a');
            const std::string token = "##" + pattern(to, 'A');
            platform::assignText(text, std::string_view(token).substr(2));
            EXPECT_EQ(text, pattern(to, 'A')) << from << " -> " << to;
        }
        // The token may be the text itself.
        std::string self = pattern(from, 'a');
        platform::assignText(self, self);
        EXPECT_EQ(self, pattern(from, 'a')) << from;
    }
}

} // namespace
