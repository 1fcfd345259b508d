#include "viewer/ContentHash.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace {

std::string text(std::size_t size)
{
    const std::string alphabet = "0123456789abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string out;
    for (std::size_t i = 0; i < size; ++i)
        out += alphabet[i % alphabet.size()];
    return out;
}

std::uint64_t digestOf(const std::string& bytes)
{
    ContentHash h;
    h.update(bytes);
    return h.digest();
}

// Digests of the XXH64 design with seed 0, at the sizes where its stages change: the
// empty stream, tails of one, three and 31 bytes, one whole stripe, stripes and a tail.
TEST(ContentHash, KnownDigests)
{
    std::string bytes256;
    for (int i = 0; i < 256; ++i)
        bytes256 += char(i);
    const struct {
        std::string bytes;
        std::uint64_t digest;
    } cases[] = {
        {"", 0xEF46DB3751D8E999ull},       {"a", 0xD24EC4F1A98C6E5Bull},      {"abc", 0x44BC2CF5AD770999ull},
        {text(31), 0x80ADFC1D42020F39ull}, {text(32), 0xBF7C9DBE16B5C6E2ull}, {text(62), 0x7639D419DE614EEDull},
        {bytes256, 0x1FACBE8406CD904Bull},
    };
    for (const auto& c : cases)
        EXPECT_EQ(digestOf(c.bytes), c.digest) << c.bytes.size() << " bytes";
}

// The loader feeds the bytes as the reads deliver them; how they are cut must not
// matter, also when a cut falls inside a stripe or a piece is empty.
TEST(ContentHash, PiecesOfAnySizeGiveTheWholeDigest)
{
    std::mt19937 rng(3);
    for (std::size_t size : {0u, 1u, 7u, 31u, 32u, 33u, 63u, 64u, 65u, 100u, 1000u, 4099u}) {
        const std::string bytes = text(size);
        const std::uint64_t whole = digestOf(bytes);
        for (std::size_t cut = 0; cut <= std::min<std::size_t>(size, 70); ++cut) {
            ContentHash h;
            h.update(std::string_view(bytes).substr(0, cut));
            h.update(std::string_view(bytes).substr(cut));
            ASSERT_EQ(h.digest(), whole) << size << " bytes cut at " << cut;
        }
        ContentHash h;
        ContentHash again;
        for (std::size_t at = 0; at < size;) {
            const std::size_t n =
                std::min<std::size_t>(std::uniform_int_distribution<std::size_t>(0, 40)(rng), size - at);
            h.update(std::string_view(bytes).substr(at, n));
            again.update(std::string_view(bytes).substr(at, n));
            at += n;
        }
        EXPECT_EQ(h.digest(), whole) << size << " bytes in random pieces";
        EXPECT_TRUE(h == again);
    }
}

// A stream is equal only to the same bytes: one byte changed anywhere, or one more
// byte at the end, makes it another.
TEST(ContentHash, AnyByteChangedOrAddedDiffers)
{
    const std::string bytes = text(200);
    ContentHash original;
    original.update(bytes);
    for (std::size_t at = 0; at < bytes.size(); ++at) {
        std::string changed = bytes;
        changed[at] = char(changed[at] ^ 1);
        ContentHash h;
        h.update(changed);
        ASSERT_FALSE(h == original) << "byte " << at;
    }
    ContentHash longer;
    longer.update(bytes + '\0');
    EXPECT_FALSE(longer == original);
}

} // namespace
