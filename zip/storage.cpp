#include "zip/storage.h"

#include <algorithm>
#include <cstring>

#include "platform/file.h"
#include "zip/exception.h"

void CZipStorage::Open(const std::string& path, int mode, std::int32_t volumeSize) {
    if (mode != kOpenForUpdate && mode != kOpenReadOnly) ThrowZipException(CZipException::kInternal, path);
    m_bReadOnly = (mode == kOpenReadOnly);
    const unsigned flags = platform::kModeNoTruncate | platform::kShareDenyWrite |
                           (m_bReadOnly ? platform::kModeRead : platform::kModeReadWrite);
    m_ownFile.Open(path, flags, true);
    m_pActiveFile = &m_ownFile;
    m_nVolumeMode = (volumeSize == 0) ? kVolumeModeUndecided : kVolumeModeNumbered;
    m_nCurrentVolume = -1;
}

void CZipStorage::UpdateVolumeMode(std::uint32_t lastVolume) {
    if (lastVolume != 0) ThrowError(CZipException::kBadZipFile);
    m_nCurrentVolume = 0;
    m_nVolumeMode = kSingleVolume;
}

void CZipStorage::ChangeVolume(std::uint32_t n) {
    if (static_cast<int>(n) == m_nCurrentVolume) return;
    // A single-volume archive has no other volume to change to.
    ThrowError(CZipException::kBadZipFile);
}

std::uint32_t CZipStorage::Read(void* buffer, std::uint32_t count, bool) {
    if (count == 0) return 0;
    if (m_pActiveFile == nullptr) ThrowError(CZipException::kBadZipFile);
    if (!m_bReadAhead) {
        const std::uint32_t got = m_pActiveFile->Read(buffer, count);
        if (got != count) ThrowError(CZipException::kBadZipFile);
        return count;
    }
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::uint32_t done = 0;
    while (done < count) {
        if (m_nReadAheadUsed == m_nReadAheadFilled) {
            m_nReadAheadUsed = 0;
            m_nReadAheadFilled = m_pActiveFile->Read(m_readAhead.data(), m_readAhead.size());
            if (m_nReadAheadFilled == 0) ThrowError(CZipException::kBadZipFile);
        }
        const std::uint32_t n = std::min(count - done, m_nReadAheadFilled - m_nReadAheadUsed);
        std::memcpy(out + done, m_readAhead.data() + m_nReadAheadUsed, n);
        m_nReadAheadUsed += n;
        done += n;
    }
    return count;
}

void CZipStorage::SetReadAhead(bool on) {
    m_bReadAhead = on;
    m_nReadAheadUsed = m_nReadAheadFilled = 0;
    if (on)
        m_readAhead.Allocate(kReadAheadSize);
    else
        m_readAhead.Release();
}

std::string CZipStorage::Close(bool afterException) {
    std::string path;
    if (m_pActiveFile != nullptr) {
        path = m_pActiveFile->GetFilePath();
        if (!m_bReadOnly && !afterException && !m_pActiveFile->IsClosed()) m_pActiveFile->Flush();
        if (afterException) {
            // Errors from a file that already failed would hide the first one.
            try {
                m_pActiveFile->Close();
            } catch (const platform::FileException&) {
            }
        } else {
            m_pActiveFile->Close();
        }
    }
    m_nCurrentVolume = -1;
    m_nVolumeMode = kSingleVolume;
    m_pActiveFile = nullptr;
    return path;
}

void CZipStorage::ThrowError(int code) const {
    ThrowZipException(code, m_pActiveFile != nullptr ? m_pActiveFile->GetFilePath() : std::string());
}
