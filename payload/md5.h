// MD5 message digest (RFC 1321), used to derive the archive password from
// the configuration's identifier text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Md5Digest {
public:
    // Initial state, bit count 0.
    Md5Digest();

    // Adds `length` bytes at `data` to the message.
    void Update(const void* data, std::size_t length);
    // Pads the message, writes the 16-byte digest to `digest` and clears the
    // state, count and input block (the object must be reset before reuse;
    // HexDigest does that).
    void Finish(unsigned char digest[16]);
    // Finishes and returns the digest as 32 lower-case hex digits, then
    // resets the object to its initial state.
    std::string HexDigest();
    // The entry point: the hex digest of `length` bytes at `data`. A null
    // pointer gives the empty string.
    std::string DigestText(const void* data, std::size_t length);

private:
    void Reset();
    void Transform(const unsigned char block[64]);

    std::uint32_t m_state[4];
    std::uint32_t m_count[2];  // message length in bits, low word first
    unsigned char m_input[64];
    unsigned char m_digest[16];
};
