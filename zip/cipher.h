// The ZIP format's traditional encryption (decrypting side): three 32-bit
// keys advanced with CRC-32 steps, seeded from the password, and a 12-byte
// encryption header in front of each encrypted entry's data.
#pragma once

#include <cstdint>

class CZipCipher {
public:
    static constexpr std::uint32_t kHeaderSize = 12;

    // Seeds the keys from `length` password bytes.
    void InitCipherKeys(const unsigned char* password, std::uint32_t length);
    // Advances the keys by one plaintext byte.
    void UpdateCipherKeys(unsigned char plain);
    // The current keystream byte.
    unsigned char CipherStreamByte() const;
    // Decrypts one byte and advances the keys with the plaintext.
    unsigned char DecryptByte(unsigned char cipher);
    // Encrypts one byte and advances the keys with the plaintext.
    unsigned char EncryptByte(unsigned char plain);
    // Decrypts `count` bytes in place, carrying the key state on.
    void DecryptBuffer(unsigned char* data, std::uint32_t count);
    // Decrypts the 12-byte encryption header (in place) and tells whether its
    // last byte equals `check`: the high byte of the entry's modification
    // time when its sizes follow in a data descriptor, else of its CRC.
    bool CheckEncryptionHeader(unsigned char header[kHeaderSize], unsigned char check);

    std::uint32_t m_keys[3] = {0, 0, 0};
};
