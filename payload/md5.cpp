#include "payload/md5.h"

#include <cstring>

namespace {

std::uint32_t LoadLe32(const unsigned char* p) {
    return std::uint32_t(p[0]) | (std::uint32_t(p[1]) << 8) | (std::uint32_t(p[2]) << 16) |
           (std::uint32_t(p[3]) << 24);
}

void StoreLe32(unsigned char* p, std::uint32_t v) {
    p[0] = static_cast<unsigned char>(v);
    p[1] = static_cast<unsigned char>(v >> 8);
    p[2] = static_cast<unsigned char>(v >> 16);
    p[3] = static_cast<unsigned char>(v >> 24);
}

std::uint32_t Rotl(std::uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

// Per-step shift amounts and sine-derived constants of the four rounds.
const int kShift[64] = {7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22, 7, 12, 17, 22,
                        5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20, 5, 9,  14, 20,
                        4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23, 4, 11, 16, 23,
                        6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21, 6, 10, 15, 21};

const std::uint32_t kSine[64] = {
    0xd76aa478, 0xe8c7b756, 0x242070db, 0xc1bdceee, 0xf57c0faf, 0x4787c62a, 0xa8304613,
    0xfd469501, 0x698098d8, 0x8b44f7af, 0xffff5bb1, 0x895cd7be, 0x6b901122, 0xfd987193,
    0xa679438e, 0x49b40821, 0xf61e2562, 0xc040b340, 0x265e5a51, 0xe9b6c7aa, 0xd62f105d,
    0x02441453, 0xd8a1e681, 0xe7d3fbc8, 0x21e1cde6, 0xc33707d6, 0xf4d50d87, 0x455a14ed,
    0xa9e3e905, 0xfcefa3f8, 0x676f02d9, 0x8d2a4c8a, 0xfffa3942, 0x8771f681, 0x6d9d6122,
    0xfde5380c, 0xa4beea44, 0x4bdecfa9, 0xf6bb4b60, 0xbebfbc70, 0x289b7ec6, 0xeaa127fa,
    0xd4ef3085, 0x04881d05, 0xd9d4d039, 0xe6db99e5, 0x1fa27cf8, 0xc4ac5665, 0xf4292244,
    0x432aff97, 0xab9423a7, 0xfc93a039, 0x655b59c3, 0x8f0ccc92, 0xffeff47d, 0x85845dd1,
    0x6fa87e4f, 0xfe2ce6e0, 0xa3014314, 0x4e0811a1, 0xf7537e82, 0xbd3af235, 0x2ad7d2bb,
    0xeb86d391};

}  // namespace

Md5Digest::Md5Digest() {
    Reset();
    std::memset(m_digest, 0, sizeof m_digest);
}

void Md5Digest::Reset() {
    m_state[0] = 0x67452301;
    m_state[1] = 0xefcdab89;
    m_state[2] = 0x98badcfe;
    m_state[3] = 0x10325476;
    m_count[0] = m_count[1] = 0;
    std::memset(m_input, 0, sizeof m_input);
}

void Md5Digest::Transform(const unsigned char block[64]) {
    std::uint32_t x[16];
    for (int i = 0; i < 16; ++i) x[i] = LoadLe32(block + 4 * i);

    std::uint32_t a = m_state[0], b = m_state[1], c = m_state[2], d = m_state[3];
    for (int i = 0; i < 64; ++i) {
        std::uint32_t f;
        int g;
        if (i < 16) {
            f = (b & c) | (~b & d);
            g = i;
        } else if (i < 32) {
            f = (b & d) | (c & ~d);
            g = (5 * i + 1) % 16;
        } else if (i < 48) {
            f = b ^ c ^ d;
            g = (3 * i + 5) % 16;
        } else {
            f = c ^ (b | ~d);
            g = (7 * i) % 16;
        }
        const std::uint32_t rotated = Rotl(a + f + kSine[i] + x[g], kShift[i]);
        a = d;
        d = c;
        c = b;
        b = b + rotated;
    }
    m_state[0] += a;
    m_state[1] += b;
    m_state[2] += c;
    m_state[3] += d;
}

void Md5Digest::Update(const void* data, std::size_t length) {
    const unsigned char* bytes = static_cast<const unsigned char*>(data);
    std::size_t index = (m_count[0] >> 3) & 0x3f;

    // The bit count is a 64-bit value kept as two words; carry into the high one.
    const std::uint64_t bits = (std::uint64_t(m_count[1]) << 32 | m_count[0]) +
                               (std::uint64_t(length) << 3);
    m_count[0] = static_cast<std::uint32_t>(bits);
    m_count[1] = static_cast<std::uint32_t>(bits >> 32);

    const std::size_t room = 64 - index;
    std::size_t done = 0;
    if (length >= room) {
        std::memcpy(m_input + index, bytes, room);
        Transform(m_input);
        for (done = room; done + 64 <= length; done += 64) Transform(bytes + done);
        index = 0;
    }
    if (length > done) std::memcpy(m_input + index, bytes + done, length - done);
}

void Md5Digest::Finish(unsigned char digest[16]) {
    unsigned char lengthBytes[8];
    StoreLe32(lengthBytes, m_count[0]);
    StoreLe32(lengthBytes + 4, m_count[1]);

    // Pad with 0x80 and zeros to 56 bytes mod 64, then the original length.
    static const unsigned char kPadding[64] = {0x80};
    const std::size_t index = (m_count[0] >> 3) & 0x3f;
    const std::size_t padLength = index < 56 ? 56 - index : 120 - index;
    Update(kPadding, padLength);
    Update(lengthBytes, 8);

    for (int i = 0; i < 4; ++i) StoreLe32(m_digest + 4 * i, m_state[i]);
    std::memcpy(digest, m_digest, 16);

    // Nothing of the message stays behind in the object.
    std::memset(m_state, 0, sizeof m_state);
    std::memset(m_count, 0, sizeof m_count);
    std::memset(m_input, 0, sizeof m_input);
}

std::string Md5Digest::HexDigest() {
    unsigned char digest[16];
    Finish(digest);
    static const char kHex[] = "0123456789abcdef";
    std::string text;
    text.reserve(32);
    for (unsigned char byte : digest) {
        text += kHex[byte >> 4];
        text += kHex[byte & 0x0f];
    }
    Reset();
    return text;
}

std::string Md5Digest::DigestText(const void* data, std::size_t length) {
    if (data == nullptr) return std::string();
    Update(data, length);
    return HexDigest();
}
