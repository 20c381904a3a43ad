#include "zip/centraldir.h"

#include <algorithm>
#include <cstring>

#include "zip/bytes.h"
#include "zip/exception.h"
#include "zip/fileops.h"
#include "zip/storage.h"

void CZipCentralDir::Init() {
    m_bOnDisk = false;
    m_nEndRecordPos = 0;
    m_nBytesBeforeArchive = 0;
    m_bZip64 = false;
    m_pOpenFile = nullptr;
    m_comment.Release();
}

void CZipCentralDir::ThrowError(int code) const {
    CZipAbstractFile* file = m_pStorage != nullptr ? m_pStorage->m_pActiveFile : nullptr;
    ThrowZipException(code, file != nullptr ? file->GetFilePath() : std::string());
}

std::uint64_t CZipCentralDir::LocateEndRecord() {
    const std::uint64_t length = m_pStorage->m_pActiveFile->GetLength();
    const std::uint64_t maxBack = std::min<std::uint64_t>(kMaxEndRecordDistance, length);
    if (maxBack == 0) ThrowError(CZipException::kCdirNotFound);

    CZipAutoBuffer window(kSearchBufferSize);
    std::uint64_t searched = 0;
    for (;;) {
        const std::uint64_t back = std::min<std::uint64_t>(searched + kSearchBufferSize, maxBack);
        const std::uint32_t count = static_cast<std::uint32_t>(back - searched);
        ReadAt(length - back, window.data(), count);
        // The hit nearest to the end of the file wins.
        for (std::uint32_t i = count >= 4 ? count - 4 + 1 : 0; i-- > 0;) {
            if (zip::HasSignature(window.data() + i, 0x05, 0x06)) return length - back + i;
        }
        if (back >= maxBack) ThrowError(CZipException::kCdirNotFound);
        // Overlap the next window by 3 bytes so that a signature split
        // between the two is still seen whole.
        searched = back - 3;
    }
}

void CZipCentralDir::ReadAt(std::uint64_t position, void* buffer, std::uint32_t count) {
    m_pStorage->m_pActiveFile->Seek(static_cast<std::int64_t>(position), CZipAbstractFile::kBegin);
    m_pStorage->Read(buffer, count, true);
}

void CZipCentralDir::ReadDirectory() {
    m_nArchiveLength = m_pStorage->m_pActiveFile->GetLength();
    m_nEndRecordPos = LocateEndRecord();

    unsigned char record[kEndRecordSize];
    ReadAt(m_nEndRecordPos, record, kEndRecordSize);
    m_uThisVolume = zip::Le16(record + 4);
    m_uDirVolume = zip::Le16(record + 6);
    m_uVolumeEntries = zip::Le16(record + 8);
    m_uEntries = zip::Le16(record + 10);
    m_uDirSize = zip::Le32(record + 12);
    m_uDirOffset = zip::Le32(record + 16);
    const std::uint16_t commentLength = zip::Le16(record + 20);
    m_comment.Allocate(commentLength);
    m_pStorage->Read(m_comment.data(), commentLength, true);

    m_bZip64 = ReadZip64EndRecord();
    m_pStorage->UpdateVolumeMode(m_uThisVolume);
    if (!m_bZip64) {
        // Summed in 64 bits: a directory that claims to end past its end
        // record must not pass by wrapping around.
        const std::uint64_t dirEnd = m_uDirOffset + m_uDirSize;
        if (m_nEndRecordPos < dirEnd) ThrowError(CZipException::kBadZipFile);
        m_nBytesBeforeArchive = m_nEndRecordPos - dirEnd;
    }

    if ((m_uDirSize == 0) != (m_uEntries == 0)) ThrowError(CZipException::kBadZipFile);
    m_bOnDisk = true;
    m_pStorage->ChangeVolume(m_uDirVolume);
    if (m_uDirSize != 0) ReadHeaders();
}

bool CZipCentralDir::ReadZip64EndRecord() {
    if (m_nEndRecordPos < kZip64LocatorSize) return false;
    const std::uint64_t locatorPos = m_nEndRecordPos - kZip64LocatorSize;
    unsigned char locator[kZip64LocatorSize];
    ReadAt(locatorPos, locator, kZip64LocatorSize);
    if (!zip::HasSignature(locator, 0x06, 0x07)) return false;
    // Only single-volume archives are read, as for the end record.
    if (zip::Le32(locator + 4) != 0 || zip::Le32(locator + 16) > 1) ThrowError(CZipException::kBadZipFile);
    const std::uint64_t recordOffset = zip::Le64(locator + 8);  // from the start of the archive

    // The record ends where the locator starts. It stands at the locator's
    // offset when the archive's offsets count from the start of the file,
    // else (other bytes precede the archive, or the offset is wrong, which
    // other readers pass over too) right before the locator, without
    // extensible data. Nowhere else is it this archive's.
    unsigned char record[kZip64EndRecordSize];
    std::uint64_t at = 0;
    bool found = false;
    for (const std::uint64_t candidate : {recordOffset, locatorPos - kZip64EndRecordSize}) {
        if (candidate > locatorPos || locatorPos - candidate < kZip64EndRecordSize) continue;
        ReadAt(candidate, record, kZip64EndRecordSize);
        if (zip::HasSignature(record, 0x06, 0x06) && zip::Le64(record + 4) == locatorPos - candidate - 12) {
            at = candidate;
            found = true;
            break;
        }
    }
    if (!found) ThrowError(CZipException::kBadZipFile);
    m_uThisVolume = zip::Le32(record + 16);
    m_uDirVolume = zip::Le32(record + 20);
    m_uVolumeEntries = zip::Le64(record + 24);
    m_uEntries = zip::Le64(record + 32);
    m_uDirSize = zip::Le64(record + 40);
    m_uDirOffset = zip::Le64(record + 48);
    // The directory ends where the record starts, as the 32-bit directory
    // ends where the end record starts: what comes before is not the
    // archive's. So the directory lies inside the file, and every header
    // takes at least kCentralSize bytes of it.
    if (m_uDirOffset > at || m_uDirSize > at - m_uDirOffset) ThrowError(CZipException::kBadZipFile);
    m_nBytesBeforeArchive = at - m_uDirOffset - m_uDirSize;
    if (m_uEntries > kMaxEntries || m_uEntries * CZipFileHeader::kCentralSize > m_uDirSize)
        ThrowError(CZipException::kBadZipFile);
    return true;
}

void CZipCentralDir::ReadHeaders() {
    m_pStorage->m_pActiveFile->Seek(static_cast<std::int64_t>(m_uDirOffset + m_nBytesBeforeArchive),
                                    CZipAbstractFile::kBegin);
    m_headers.clear();
    // Grown as the headers come: a count is not yet proof of that many.
    m_headers.reserve(static_cast<std::size_t>(std::min<std::uint64_t>(m_uEntries, 0x10000)));
    // The headers lie one after another: read them in blocks, not four
    // small reads each.
    m_pStorage->SetReadAhead(true);
    try {
        for (std::uint64_t i = 0; i < m_uEntries; ++i) {
            m_headers.push_back(std::make_unique<CZipFileHeader>());
            CZipFileHeader& header = *m_headers.back();
            if (!header.ReadCentralRecord(*m_pStorage)) ThrowError(CZipException::kBadZipFile);
            ConvertName(header, true);
        }
    } catch (...) {
        m_pStorage->SetReadAhead(false);
        throw;
    }
    m_pStorage->SetReadAhead(false);
    SortHeaders();
}

void CZipCentralDir::SortHeaders() {
    auto before = [](const std::unique_ptr<CZipFileHeader>& a, const std::unique_ptr<CZipFileHeader>& b) {
        return a->m_uVolumeStart != b->m_uVolumeStart ? a->m_uVolumeStart < b->m_uVolumeStart
                                                      : a->m_uOffset < b->m_uOffset;
    };
    // A heap sort: n log n at worst, in place, and a fraction of std::sort's
    // code. Equal keys are refused below, so the order among them does not matter.
    auto siftDown = [&](std::size_t root, std::size_t end) {
        for (std::size_t child; (child = 2 * root + 1) < end; root = child) {
            if (child + 1 < end && before(m_headers[child], m_headers[child + 1])) ++child;
            if (!before(m_headers[root], m_headers[child])) return;
            m_headers[root].swap(m_headers[child]);
        }
    };
    const std::size_t count = m_headers.size();
    for (std::size_t i = count / 2; i-- > 0;) siftDown(i, count);
    for (std::size_t end = count; end > 1; --end) {
        m_headers[0].swap(m_headers[end - 1]);
        siftDown(0, end - 1);
    }
    // Two entries whose data start at the same place cannot both be right.
    for (std::size_t i = 1; i < m_headers.size(); ++i) {
        if (!before(m_headers[i - 1], m_headers[i])) ThrowError(CZipException::kBadZipFile);
    }
}

void CZipCentralDir::ConvertName(CZipFileHeader& header, bool fromArchive) {
    unsigned char* p = header.m_name.data();
    const std::uint32_t n = header.m_name.size();
    // A UTF-8 name is already in the form the platform's file calls take.
    const bool dos = header.GetSystemCompatibility() == kZipSystemDos && !header.IsUtf8Name();
    if (fromArchive) {
        std::replace(p, p + n, static_cast<unsigned char>('/'), static_cast<unsigned char>('\\'));
        if (dos) zip::ConvertNameCodePage(header.m_name, false);
    } else {
        if (dos) zip::ConvertNameCodePage(header.m_name, true);
        std::replace(p, p + n, static_cast<unsigned char>('\\'), static_cast<unsigned char>('/'));
    }
}

void CZipCentralDir::OpenEntry(std::uint32_t index) {
    m_pOpenFile = m_headers[index].get();
    m_pStorage->ChangeVolume(m_pOpenFile->m_uVolumeStart);
    // A local header beyond the file (a Zip64 offset may be anything) is not looked for.
    if (m_pOpenFile->m_uOffset > m_nArchiveLength - m_nBytesBeforeArchive) ThrowError(CZipException::kBadZipFile);
    unsigned char record[CZipFileHeader::kLocalSize];
    ReadAt(m_pOpenFile->m_uOffset + m_nBytesBeforeArchive, record, CZipFileHeader::kLocalSize);
    const std::uint16_t nameLength = zip::Le16(record + 26);
    const std::uint16_t extraLength = zip::Le16(record + 28);
    m_pStorage->m_pActiveFile->Seek(nameLength, CZipAbstractFile::kCurrent);
    m_localExtraField.Release();
    if (extraLength != 0) {
        const int volume = m_pStorage->GetCurrentVolume();
        m_localExtraField.Allocate(extraLength);
        m_pStorage->Read(m_localExtraField.data(), extraLength, true);
        if (m_pStorage->GetCurrentVolume() != volume) ThrowError(CZipException::kBadZipFile);
    }
    if (!m_pOpenFile->MatchesLocalRecord(record, m_localExtraField, m_bOpenZip64))
        ThrowError(CZipException::kBadZipFile);
}

void CZipCentralDir::CloseEntry(bool afterException) {
    if (m_pOpenFile == nullptr) return;
    m_localExtraField.Release();
    if (!afterException && m_pOpenFile->IsDataDescriptor()) {
        // CRC and the two sizes, 8 bytes each for an entry whose local
        // header has a Zip64 block, after an optional signature.
        const std::uint32_t size = m_bOpenZip64 ? 4 + 16 : 4 + 8;
        unsigned char descriptor[4 + 4 + 16];
        m_pStorage->Read(descriptor, 4, true);
        const unsigned char* fields = descriptor;
        if (zip::HasSignature(descriptor, 0x07, 0x08)) {
            m_pStorage->Read(descriptor + 4, size, true);
            fields = descriptor + 4;
        } else {
            // The signature is optional: these four bytes were the CRC.
            m_pStorage->Read(descriptor + 4, size - 4, true);
        }
        const std::uint64_t compressed = m_bOpenZip64 ? zip::Le64(fields + 4) : zip::Le32(fields + 4);
        const std::uint64_t uncompressed = m_bOpenZip64 ? zip::Le64(fields + 12) : zip::Le32(fields + 8);
        if (!m_pOpenFile->MatchesCrcAndSizes(zip::Le32(fields), compressed, uncompressed))
            ThrowError(CZipException::kBadZipFile);
    }
    m_pOpenFile = nullptr;
}

void CZipCentralDir::Clear(bool everything) {
    m_pOpenFile = nullptr;
    m_localExtraField.Release();
    if (everything) {
        m_headers.clear();
        m_comment.Release();
    }
}
