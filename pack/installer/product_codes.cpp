#include "product_codes.h"

#include <algorithm>
#include <cstring>

namespace pack {
namespace {

uint32_t rotate(uint32_t value, int bits)
{
    return value << bits | value >> (32 - bits);
}

// Chosen once for kelvo-pack; changing it would change every derived code.
constexpr uint8_t name_space[16] = {0x6b, 0x65, 0x6c, 0x76, 0x6f, 0x2d, 0x4d, 0x53,
                                    0x49, 0x9a, 0x3e, 0x41, 0x8c, 0x27, 0x5d, 0x10};

std::string braced(const uint8_t* bytes)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out = "{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10)
            out += '-';
        out += hex[bytes[i] >> 4];
        out += hex[bytes[i] & 15];
    }
    return out + "}";
}

}  // namespace

Sha1::Sha1() : state_{0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476, 0xc3d2e1f0}, pending_{} {}

void Sha1::block(const uint8_t* bytes)
{
    uint32_t w[80];
    for (int i = 0; i < 16; ++i)
        w[i] = uint32_t{bytes[4 * i]} << 24 | uint32_t{bytes[4 * i + 1]} << 16 | uint32_t{bytes[4 * i + 2]} << 8 |
               bytes[4 * i + 3];
    for (int i = 16; i < 80; ++i)
        w[i] = rotate(w[i - 3] ^ w[i - 8] ^ w[i - 14] ^ w[i - 16], 1);
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3], e = state_[4];
    for (int i = 0; i < 80; ++i) {
        uint32_t f = i < 20 ? (b & c) | (~b & d) : i < 40 ? b ^ c ^ d : i < 60 ? (b & c) | (b & d) | (c & d) : b ^ c ^ d;
        uint32_t k = i < 20 ? 0x5a827999 : i < 40 ? 0x6ed9eba1 : i < 60 ? 0x8f1bbcdc : 0xca62c1d6;
        uint32_t t = rotate(a, 5) + f + e + k + w[i];
        e = d, d = c, c = rotate(b, 30), b = a, a = t;
    }
    state_[0] += a, state_[1] += b, state_[2] += c, state_[3] += d, state_[4] += e;
}

void Sha1::add(std::string_view bytes)
{
    length_ += bytes.size();
    const auto* at = reinterpret_cast<const uint8_t*>(bytes.data());
    size_t left = bytes.size();
    while (left > 0) {
        size_t taken = std::min(left, sizeof pending_ - pending_size_);
        std::memcpy(pending_ + pending_size_, at, taken);
        pending_size_ += taken, at += taken, left -= taken;
        if (pending_size_ == sizeof pending_) {
            block(pending_);
            pending_size_ = 0;
        }
    }
}

Digest Sha1::finish()
{
    uint64_t bits = length_ * 8;
    add(std::string_view("\x80", 1));
    while (pending_size_ != 56)
        add(std::string_view("\0", 1));
    char length[8];
    for (int i = 0; i < 8; ++i)
        length[i] = static_cast<char>(bits >> (56 - 8 * i));
    add(std::string_view(length, 8));
    Digest digest;
    for (int i = 0; i < 20; ++i)
        digest[static_cast<size_t>(i)] = static_cast<uint8_t>(state_[i / 4] >> (24 - 8 * (i % 4)));
    return digest;
}

std::string name_uuid(std::string_view text)
{
    Sha1 sha1;
    sha1.add(std::string_view(reinterpret_cast<const char*>(name_space), sizeof name_space));
    sha1.add(text);
    Digest digest = sha1.finish();
    digest[6] = static_cast<uint8_t>((digest[6] & 0x0f) | 0x50);
    digest[8] = static_cast<uint8_t>((digest[8] & 0x3f) | 0x80);
    return braced(digest.data());
}

std::string installer_uuid(std::string_view uuid)
{
    std::string out = "{";
    for (char c : uuid)
        out += static_cast<char>(c >= 'a' && c <= 'f' ? c - 'a' + 'A' : c);
    return out + "}";
}

}  // namespace pack
