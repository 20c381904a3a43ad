// An owned byte buffer: names, extra fields, comments, the password and
// transfer buffers. Size 0 exactly when it holds no bytes.
#pragma once

#include <cstdint>
#include <memory>

class CZipAutoBuffer {
public:
    CZipAutoBuffer() = default;
    explicit CZipAutoBuffer(std::uint32_t size, bool zero = false) { Allocate(size, zero); }
    CZipAutoBuffer(const CZipAutoBuffer& other);
    CZipAutoBuffer& operator=(const CZipAutoBuffer& other);
    CZipAutoBuffer(CZipAutoBuffer&& other) noexcept;
    CZipAutoBuffer& operator=(CZipAutoBuffer&& other) noexcept;
    virtual ~CZipAutoBuffer() = default;

    // Keeps the bytes when `size` is the current size (zero-filling them when
    // asked); otherwise releases them and, for a non-zero size, takes exactly
    // `size` new bytes. Throws std::bad_alloc when memory runs out.
    void Allocate(std::uint32_t size, bool zero = false);
    void Release();

    unsigned char* data() { return m_pBuffer.get(); }
    const unsigned char* data() const { return m_pBuffer.get(); }
    std::uint32_t size() const { return m_nSize; }
    bool empty() const { return m_nSize == 0; }

private:
    std::unique_ptr<unsigned char[]> m_pBuffer;
    std::uint32_t m_nSize = 0;
};
