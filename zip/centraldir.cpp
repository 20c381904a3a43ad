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
    m_pOpenFile = nullptr;
    m_comment.Release();
}

void CZipCentralDir::ThrowError(int code) const {
    CZipAbstractFile* file = m_pStorage != nullptr ? m_pStorage->m_pActiveFile : nullptr;
    ThrowZipException(code, file != nullptr ? file->GetFilePath() : std::string());
}

std::uint64_t CZipCentralDir::LocateEndRecord() {
    CZipAbstractFile& file = *m_pStorage->m_pActiveFile;
    const std::uint64_t length = file.GetLength();
    const std::uint64_t maxBack = std::min<std::uint64_t>(kMaxEndRecordDistance, length);
    if (maxBack == 0) ThrowError(CZipException::kCdirNotFound);

    CZipAutoBuffer window(kSearchBufferSize);
    std::uint64_t searched = 0;
    for (;;) {
        const std::uint64_t back = std::min<std::uint64_t>(searched + kSearchBufferSize, maxBack);
        const std::uint32_t count = static_cast<std::uint32_t>(back - searched);
        file.Seek(static_cast<std::int64_t>(length - back), CZipAbstractFile::kBegin);
        if (file.Read(window.data(), count) != count) ThrowError(CZipException::kBadZipFile);
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

void CZipCentralDir::ReadDirectory() {
    CZipAbstractFile& file = *m_pStorage->m_pActiveFile;
    m_nEndRecordPos = LocateEndRecord();

    unsigned char record[kEndRecordSize];
    file.Seek(static_cast<std::int64_t>(m_nEndRecordPos), CZipAbstractFile::kBegin);
    if (file.Read(record, kEndRecordSize) != kEndRecordSize) ThrowError(CZipException::kBadZipFile);
    m_uThisVolume = zip::Le16(record + 4);
    m_uDirVolume = zip::Le16(record + 6);
    m_uVolumeEntries = zip::Le16(record + 8);
    m_uEntries = zip::Le16(record + 10);
    m_uDirSize = zip::Le32(record + 12);
    m_uDirOffset = zip::Le32(record + 16);
    const std::uint16_t commentLength = zip::Le16(record + 20);

    m_pStorage->UpdateVolumeMode(m_uThisVolume);

    // Summed in 64 bits: a directory that claims to end past its end record
    // must not pass by wrapping around.
    const std::uint64_t dirEnd = static_cast<std::uint64_t>(m_uDirOffset) + m_uDirSize;
    if (m_nEndRecordPos < dirEnd) ThrowError(CZipException::kBadZipFile);

    if (commentLength != 0) {
        m_comment.Allocate(commentLength);
        if (file.Read(m_comment.data(), commentLength) != commentLength) ThrowError(CZipException::kBadZipFile);
    }
    m_nBytesBeforeArchive = m_nEndRecordPos - dirEnd;

    if ((m_uDirSize == 0) != (m_uEntries == 0)) ThrowError(CZipException::kBadZipFile);
    m_bOnDisk = true;
    m_pStorage->ChangeVolume(m_uDirVolume);
    if (m_uDirSize != 0) ReadHeaders();
}

void CZipCentralDir::ReadHeaders() {
    m_pStorage->m_pActiveFile->Seek(static_cast<std::int64_t>(m_uDirOffset + m_nBytesBeforeArchive),
                                    CZipAbstractFile::kBegin);
    m_headers.clear();
    m_headers.reserve(m_uEntries);
    // The headers lie one after another: read them in blocks, not four
    // small reads each.
    m_pStorage->SetReadAhead(true);
    try {
        for (std::uint32_t i = 0; i < m_uEntries; ++i) {
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
    auto key = [](const std::unique_ptr<CZipFileHeader>& h) {
        return (static_cast<std::uint64_t>(h->m_uVolumeStart) << 32) | h->m_uOffset;
    };
    // Equal keys are refused below, so the order among them does not matter.
    std::sort(m_headers.begin(), m_headers.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
    // Two entries whose data start at the same place cannot both be right.
    for (std::size_t i = 1; i < m_headers.size(); ++i) {
        if (key(m_headers[i - 1]) == key(m_headers[i])) ThrowError(CZipException::kBadZipFile);
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

void CZipCentralDir::OpenEntry(std::uint16_t index) {
    m_pOpenFile = m_headers[index].get();
    m_pStorage->ChangeVolume(m_pOpenFile->m_uVolumeStart);
    m_pStorage->m_pActiveFile->Seek(static_cast<std::int64_t>(m_pOpenFile->m_uOffset + m_nBytesBeforeArchive),
                                    CZipAbstractFile::kBegin);
    std::uint16_t extraLength = 0;
    if (!m_pOpenFile->ReadLocalRecord(*m_pStorage, extraLength)) ThrowError(CZipException::kBadZipFile);
    m_localExtraField.Release();
    if (extraLength != 0) {
        const int volume = m_pStorage->GetCurrentVolume();
        m_localExtraField.Allocate(extraLength);
        m_pStorage->Read(m_localExtraField.data(), extraLength, true);
        if (m_pStorage->GetCurrentVolume() != volume) ThrowError(CZipException::kBadZipFile);
    }
}

void CZipCentralDir::CloseEntry(bool afterException) {
    if (m_pOpenFile == nullptr) return;
    m_localExtraField.Release();
    if (!afterException && m_pOpenFile->IsDataDescriptor()) {
        unsigned char descriptor[4 + CZipFileHeader::kDescriptorSize];
        m_pStorage->Read(descriptor, 4, true);
        const unsigned char* fields = descriptor;
        if (zip::HasSignature(descriptor, 0x07, 0x08)) {
            m_pStorage->Read(descriptor + 4, CZipFileHeader::kDescriptorSize, true);
            fields = descriptor + 4;
        } else {
            // The signature is optional: these four bytes were the CRC.
            m_pStorage->Read(descriptor + 4, CZipFileHeader::kDescriptorSize - 4, true);
        }
        if (!m_pOpenFile->MatchesCrcAndSizes(fields)) ThrowError(CZipException::kBadZipFile);
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
