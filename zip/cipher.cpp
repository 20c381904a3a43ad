#include "zip/cipher.h"

#include <zlib.h>

namespace {

// Not a function's static: its first-use guard would bring 2 KB of runtime into the stub.
const z_crc_t* const kCrcTable = get_crc_table();

std::uint32_t CrcStep(std::uint32_t crc, unsigned char b) {
    return (crc >> 8) ^ static_cast<std::uint32_t>(kCrcTable[(crc ^ b) & 0xFF]);
}

}  // namespace

void CZipCipher::InitCipherKeys(const unsigned char* password, std::uint32_t length) {
    m_keys[0] = 0x12345678;
    m_keys[1] = 0x23456789;
    m_keys[2] = 0x34567890;
    for (std::uint32_t i = 0; i < length; ++i) UpdateCipherKeys(password[i]);
}

void CZipCipher::UpdateCipherKeys(unsigned char plain) {
    m_keys[0] = CrcStep(m_keys[0], plain);
    m_keys[1] = (m_keys[1] + (m_keys[0] & 0xFF)) * 134775813u + 1u;
    m_keys[2] = CrcStep(m_keys[2], static_cast<unsigned char>(m_keys[1] >> 24));
}

unsigned char CZipCipher::CipherStreamByte() const {
    const std::uint32_t t = (m_keys[2] & 0xFFFF) | 2;
    return static_cast<unsigned char>(((t * (t ^ 1)) >> 8) & 0xFF);
}

unsigned char CZipCipher::DecryptByte(unsigned char cipher) {
    const unsigned char plain = static_cast<unsigned char>(cipher ^ CipherStreamByte());
    UpdateCipherKeys(plain);
    return plain;
}

unsigned char CZipCipher::EncryptByte(unsigned char plain) {
    const unsigned char stream = CipherStreamByte();
    UpdateCipherKeys(plain);
    return static_cast<unsigned char>(plain ^ stream);
}

void CZipCipher::DecryptBuffer(unsigned char* data, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i) data[i] = DecryptByte(data[i]);
}

bool CZipCipher::CheckEncryptionHeader(unsigned char header[kHeaderSize], unsigned char check) {
    DecryptBuffer(header, kHeaderSize);
    return header[kHeaderSize - 1] == check;
}
