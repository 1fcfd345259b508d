#pragma once
// A 64-bit hash of a byte stream fed in pieces of any size (the XXH64 design, seed 0).
// The file loader keeps the hash of every byte it parsed, so that the next load can
// tell the part already read is unchanged before it reads on. The digests live only in
// memory from one load to the next and are never stored, so no file depends on them.

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

class ContentHash {
public:
    void update(std::string_view bytes)
    {
        const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
        std::size_t n = bytes.size();
        total_ += n;
        if (held_ + n < kStripe) {
            std::memcpy(stripe_ + held_, p, n);
            held_ += n;
            return;
        }
        if (held_ > 0) {
            const std::size_t take = kStripe - held_;
            std::memcpy(stripe_ + held_, p, take);
            mixStripe(stripe_);
            p += take;
            n -= take;
            held_ = 0;
        }
        for (; n >= kStripe; p += kStripe, n -= kStripe)
            mixStripe(p);
        std::memcpy(stripe_, p, n);
        held_ = n;
    }

    std::uint64_t digest() const
    {
        std::uint64_t h = total_ >= kStripe ? merge(merge(merge(merge(std::rotl(v_[0], 1) + std::rotl(v_[1], 7) +
                                                                          std::rotl(v_[2], 12) + std::rotl(v_[3], 18),
                                                                      v_[0]),
                                                                v_[1]),
                                                          v_[2]),
                                                    v_[3])
                                            : kP5;
        h += total_;
        const unsigned char* p = stripe_;
        std::size_t n = held_;
        for (; n >= 8; p += 8, n -= 8) {
            h ^= round(0, word64(p));
            h = std::rotl(h, 27) * kP1 + kP4;
        }
        if (n >= 4) {
            h ^= std::uint64_t(word32(p)) * kP1;
            h = std::rotl(h, 23) * kP2 + kP3;
            p += 4;
            n -= 4;
        }
        for (; n > 0; ++p, --n) {
            h ^= *p * kP5;
            h = std::rotl(h, 11) * kP1;
        }
        h ^= h >> 33;
        h *= kP2;
        h ^= h >> 29;
        h *= kP3;
        return h ^ (h >> 32);
    }

    bool operator==(const ContentHash& other) const { return total_ == other.total_ && digest() == other.digest(); }

private:
    static constexpr std::uint64_t kP1 = 0x9E3779B185EBCA87ull;
    static constexpr std::uint64_t kP2 = 0xC2B2AE3D27D4EB4Full;
    static constexpr std::uint64_t kP3 = 0x165667B19E3779F9ull;
    static constexpr std::uint64_t kP4 = 0x85EBCA77C2B2AE63ull;
    static constexpr std::uint64_t kP5 = 0x27D4EB2F165667C5ull;
    static constexpr std::size_t kStripe = 32;

    static std::uint64_t word64(const unsigned char* p)
    {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        return w;
    }
    static std::uint32_t word32(const unsigned char* p)
    {
        std::uint32_t w;
        std::memcpy(&w, p, 4);
        return w;
    }
    static std::uint64_t round(std::uint64_t acc, std::uint64_t input)
    {
        return std::rotl(acc + input * kP2, 31) * kP1;
    }
    static std::uint64_t merge(std::uint64_t acc, std::uint64_t lane) { return (acc ^ round(0, lane)) * kP1 + kP4; }
    void mixStripe(const unsigned char* p)
    {
        for (int i = 0; i < 4; ++i)
            v_[i] = round(v_[i], word64(p + 8 * i));
    }

    std::uint64_t v_[4] = {kP1 + kP2, kP2, 0, std::uint64_t(0) - kP1};
    std::uint64_t total_ = 0;
    unsigned char stripe_[kStripe] = {};
    std::size_t held_ = 0;
};
