#include "zip/autobuffer.h"

#include <cstring>
#include <utility>

CZipAutoBuffer::CZipAutoBuffer(const CZipAutoBuffer& other) {
    if (other.m_nSize != 0) {
        Allocate(other.m_nSize);
        std::memcpy(m_pBuffer.get(), other.m_pBuffer.get(), m_nSize);
    }
}

CZipAutoBuffer& CZipAutoBuffer::operator=(const CZipAutoBuffer& other) {
    if (this != &other) {
        CZipAutoBuffer copy(other);
        *this = std::move(copy);
    }
    return *this;
}

CZipAutoBuffer::CZipAutoBuffer(CZipAutoBuffer&& other) noexcept
    : m_pBuffer(std::move(other.m_pBuffer)), m_nSize(std::exchange(other.m_nSize, 0)) {}

CZipAutoBuffer& CZipAutoBuffer::operator=(CZipAutoBuffer&& other) noexcept {
    if (this != &other) {
        m_pBuffer = std::move(other.m_pBuffer);
        m_nSize = std::exchange(other.m_nSize, 0);
    }
    return *this;
}

void CZipAutoBuffer::Allocate(std::uint32_t size, bool zero) {
    if (size != m_nSize) {
        Release();
        if (size == 0) return;
        // Uninitialised unless asked: transfer buffers are filled before use.
        m_pBuffer.reset(new unsigned char[size]);
        m_nSize = size;
    }
    if (zero && m_nSize != 0) std::memset(m_pBuffer.get(), 0, m_nSize);
}

void CZipAutoBuffer::Release() {
    m_pBuffer.reset();
    m_nSize = 0;
}
