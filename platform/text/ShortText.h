#pragma once
// Copies, comparisons and searches of the short texts that every reading carries (a value text,
// a channel name, a point's date and time) without a library call: a load of a data
// file makes dozens of them for every line.

#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace platform {

namespace short_text {

inline std::uint64_t word(const char* p)
{
    std::uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline std::uint32_t half(const char* p)
{
    std::uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

} // namespace short_text

// The high bit of every byte of the word w that equals c, and no other bit: exact for
// every byte value, with no carry from one byte into the next.
inline std::uint64_t bytesEqual(std::uint64_t w, char c)
{
    constexpr std::uint64_t low7 = 0x7F7F7F7F7F7F7F7FULL;
    const std::uint64_t t = w ^ (0x0101010101010101ULL * static_cast<unsigned char>(c));
    return ~(((t & low7) + low7) | t | low7);
}

// Whether two texts of n bytes are equal; up to 32 bytes in overlapping words.
inline bool sameBytes(const char* a, const char* b, std::size_t n)
{
    using short_text::half;
    using short_text::word;
    if (n >= 8 && n <= 32) {
        const std::size_t mid = n > 16 ? 8 : 0;
        const std::size_t back = n > 16 ? n - 16 : n - 8;
        return ((word(a) ^ word(b)) | (word(a + mid) ^ word(b + mid)) | (word(a + back) ^ word(b + back)) |
                (word(a + n - 8) ^ word(b + n - 8))) == 0;
    }
    if (n >= 4 && n < 8)
        return ((half(a) ^ half(b)) | (half(a + n - 4) ^ half(b + n - 4))) == 0;
    if (n < 4)
        return n == 0 || (a[0] == b[0] && a[n / 2] == b[n / 2] && a[n - 1] == b[n - 1]);
    return std::memcmp(a, b, n) == 0;
}

inline bool sameText(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && sameBytes(a.data(), b.data(), a.size());
}

// Sets text to token. A reading of a channel mostly keeps its length from line to
// line, so the bytes are then overwritten in place; token may be a part of text.
inline void assignText(std::string& text, std::string_view token)
{
    const std::size_t n = token.size();
    if (text.size() != n) {
        text.assign(token.data(), n);
    } else if (n >= 8 && n <= 16) {
        // Both halves are loaded before either is stored, as memmove would.
        std::uint64_t head, tail;
        std::memcpy(&head, token.data(), 8);
        std::memcpy(&tail, token.data() + n - 8, 8);
        std::memcpy(text.data(), &head, 8);
        std::memcpy(text.data() + n - 8, &tail, 8);
    } else if (n >= 4 && n < 8) {
        std::uint32_t head, tail;
        std::memcpy(&head, token.data(), 4);
        std::memcpy(&tail, token.data() + n - 4, 4);
        std::memcpy(text.data(), &head, 4);
        std::memcpy(text.data() + n - 4, &tail, 4);
    } else if (n > 0 && n < 4) {
        // A channel name such as "k12".
        const char first = token[0], middle = token[n / 2], last = token[n - 1];
        text[0] = first;
        text[n / 2] = middle;
        text[n - 1] = last;
    } else if (n != 0) {
        std::memmove(text.data(), token.data(), n);
    }
}

} // namespace platform
