// Reading one entry: open (local header, decryption header, inflater),
// read (decrypt, inflate or copy, CRC), close (CRC, time, attributes, data
// descriptor), and ExtractEntry, which drives them into a file.
#include <algorithm>

#include "platform/system.h"
#include "zip/archive.h"
#include "zip/entrypath.h"
#include "zip/fileops.h"
#include "zip/pathcomponent.h"

bool CZipArchive::OpenEntry(std::uint32_t index) {
    if (!m_centralDir.IsValidIndex(index)) return false;
    if (m_iFileOpened != 0) return false;
    m_inputBuffer.Allocate(kBufferSize);
    try {
        m_centralDir.OpenEntry(index);
        const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
        const bool encrypted = header.IsEncrypted();
        const std::uint32_t headerBytes = encrypted ? CZipCipher::kHeaderSize : 0;
        // Sizes that cannot belong to the data would make the reading below
        // wrap around or wait for bytes that never come.
        if (header.m_uComprSize < headerBytes) ThrowError(CZipException::kBadZipFile);
        if (header.m_uMethod == 0 && header.m_uComprSize - headerBytes != header.m_uUncomprSize)
            ThrowError(CZipException::kBadZipFile);
        if (encrypted) {
            if (m_password.empty()) ThrowError(CZipException::kBadPassword);
            m_cipher.InitCipherKeys(m_password.data(), m_password.size());
            unsigned char check[CZipCipher::kHeaderSize];
            m_storage.Read(check, CZipCipher::kHeaderSize, true);
            const unsigned char expected = header.IsDataDescriptor()
                                               ? static_cast<unsigned char>(header.m_uModTime >> 8)
                                               : static_cast<unsigned char>(header.m_uCrc32 >> 24);
            if (!m_cipher.CheckEncryptionHeader(check, expected)) ThrowError(CZipException::kBadPassword);
        }
        if (header.m_uMethod == 8) {
            m_stream.opaque = &m_allocations;
            CheckForError(inflateInit2(&m_stream, -MAX_WBITS));
        } else if (header.m_uMethod != 0) {
            ThrowError(CZipException::kBadZipFile);
        }
        m_uComprLeft = header.m_uComprSize - headerBytes;
        // Data said to run past the end of the file ends early when it is
        // read; until then the end is the file's (a Zip64 size may be anything).
        const std::uint64_t start = m_storage.m_pActiveFile->GetPosition();
        const std::uint64_t length = m_centralDir.m_nArchiveLength;
        m_uDataEnd = start <= length && m_uComprLeft <= length - start ? start + m_uComprLeft : length;
        m_uUncomprLeft = header.m_uUncomprSize;
    } catch (...) {
        // The entry never counted as open: leave the archive ready for the next one.
        m_centralDir.Clear(false);
        m_inputBuffer.Release();
        EmptyAllocations();
        throw;
    }
    m_uCrc32 = 0;
    m_stream.total_out = 0;
    m_stream.avail_in = 0;
    m_bStreamEnded = false;
    m_iFileOpened = -1;
    return true;
}

void CZipArchive::RefillInput() {
    const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
    const std::uint32_t n = static_cast<std::uint32_t>(std::min<std::uint64_t>(m_inputBuffer.size(), m_uComprLeft));
    m_storage.Read(m_inputBuffer.data(), n, false);
    if (header.IsEncrypted()) m_cipher.DecryptBuffer(m_inputBuffer.data(), n);
    m_uComprLeft -= n;
    m_stream.next_in = m_inputBuffer.data();
    m_stream.avail_in = n;
}

void CZipArchive::FinishStream() {
    // The output is complete, but the end of the deflate stream may still lie
    // ahead (the last block's end code, or a whole final block of nothing):
    // read it now, so that the stream is checked to its end and the entry
    // never waits for a further call that its caller has no reason to make.
    unsigned char surplus[64];
    for (;;) {
        if (m_stream.avail_in == 0) {
            if (m_uComprLeft == 0) ThrowError(Z_BUF_ERROR, true);  // the data ends inside the stream
            RefillInput();
        }
        m_stream.next_out = surplus;
        m_stream.avail_out = sizeof surplus;
        const int result = inflate(&m_stream, Z_SYNC_FLUSH);
        // Output beyond the header's size: the data is not what the header describes.
        if (m_stream.avail_out != sizeof surplus) ThrowError(CZipException::kBadZipFile);
        if (result == Z_STREAM_END) break;
        CheckForError(result);
    }
    m_bStreamEnded = true;
}

std::uint32_t CZipArchive::ReadEntry(void* buffer, std::uint32_t count) {
    if (m_iFileOpened != -1 || buffer == nullptr || count == 0) return 0;
    const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
    unsigned char* out = static_cast<unsigned char*>(buffer);
    std::uint32_t space = static_cast<std::uint32_t>(std::min<std::uint64_t>(count, m_uUncomprLeft));
    std::uint32_t delivered = 0;

    while (space > 0) {
        if (m_stream.avail_in == 0 && m_uComprLeft > 0) RefillInput();
        if (header.m_uMethod == 0) {
            // Stored sizes agree (checked at open), so input never runs dry here.
            const std::uint32_t m = std::min<std::uint32_t>(space, m_stream.avail_in);
            if (m == 0) ThrowError(CZipException::kBadZipFile);
            std::copy(m_stream.next_in, m_stream.next_in + m, out);
            m_uCrc32 = crc32(m_uCrc32, out, m);
            m_uUncomprLeft -= m;
            m_stream.avail_in -= m;
            m_stream.next_in += m;
            m_stream.total_out += m;
            space -= m;
            out += m;
            delivered += m;
        } else {
            m_stream.next_out = out;
            m_stream.avail_out = space;
            const int result = inflate(&m_stream, Z_SYNC_FLUSH);
            // Counted here: total_out is a long, 32 bits on Windows, and wraps beyond 4 GiB.
            const std::uint32_t m = space - m_stream.avail_out;
            m_uCrc32 = crc32(m_uCrc32, out, m);
            m_uUncomprLeft -= m;
            space -= m;
            out += m;
            delivered += m;
            if (result == Z_STREAM_END) {
                m_bStreamEnded = true;
                return delivered;
            }
            CheckForError(result);
        }
    }
    if (header.m_uMethod == 8 && m_uUncomprLeft == 0 && !m_bStreamEnded) FinishStream();
    return delivered;
}

void CZipArchive::ApplyTimeAndAttributes(CZipFile& output, const CZipFileHeader& header, int& result) {
    std::uint64_t lastAccess = 0, lastWrite = 0;
    // One call through the handle that wrote the file: time, attributes and
    // the Unix permission bits (so that an extracted program stays executable).
    if (!zip::ModTimeAsFileTimes(header.GetModTime(), lastAccess, lastWrite) ||
        !output.SetTimesAndAttributes(lastAccess, lastWrite, header.GetAttributes(), header.GetUnixMode() & 0777))
        result = -2;
}

int CZipArchive::CheckOutput() {
    const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
    if (m_uUncomprLeft != 0) return -1;  // the output stopped short: nothing to check
    if (m_uCrc32 != header.m_uCrc32) ThrowError(CZipException::kBadCrc);
    return 1;
}

int CZipArchive::CloseEntry(bool afterException) {
    if (m_iFileOpened != -1) return 0;
    const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
    int result = 1;
    if (!afterException) {
        result = CheckOutput();
        if (header.m_uMethod == 8) inflateEnd(&m_stream);
    }
    return FinishEntry(afterException, result);
}

int CZipArchive::CloseEntry(CZipFile& output) {
    if (m_iFileOpened != -1) {
        output.Close();
        return 0;
    }
    const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
    int result = 1;
    try {
        result = CheckOutput();
    } catch (...) {
        output.Close();  // the file stays, as written
        throw;
    }
    if (header.m_uMethod == 8) inflateEnd(&m_stream);
    ApplyTimeAndAttributes(output, header, result);
    output.Close();
    return FinishEntry(false, result);
}

int CZipArchive::FinishEntry(bool afterException, int result) {
    const CZipFileHeader& header = *m_centralDir.GetOpenEntry();
    const bool complete = m_uUncomprLeft == 0;
    // The data descriptor follows the data: when the output stopped short the
    // entry has already failed anyway. Otherwise read it where the data ends,
    // whatever the inflater left unread.
    const bool checkDescriptor = !afterException && complete;
    if (checkDescriptor && header.IsDataDescriptor())
        m_storage.m_pActiveFile->Seek(static_cast<std::int64_t>(m_uDataEnd), CZipAbstractFile::kBegin);
    m_centralDir.CloseEntry(!checkDescriptor);
    m_iFileOpened = 0;
    m_inputBuffer.Release();
    EmptyAllocations();
    return result;
}


ZipEntryOutcome CZipArchive::CreateOutput(CZipFile& output, const std::string& target) {
    const unsigned flags = platform::kModeCreate | platform::kModeWrite | platform::kShareDenyWrite;
    // Most targets are new: one call creates the file, and a name already
    // taken (by a link too) is noticed without looking first.
    if (output.Open(target, flags | platform::kModeCreateNew, false)) return ZipEntryOutcome::kExtracted;
    const std::uint32_t code = platform::GetLastError();
    if (code != platform::kErrorFileExists && code != platform::kErrorAlreadyExists)
        throw platform::FileException::FromOsError(code, target);
    if (!m_bReplaceExisting) return ZipEntryOutcome::kNameTaken;
    const std::uint32_t attributes = platform::GetFileAttributes(target);
    if (attributes != platform::kInvalidAttributes && (attributes & platform::kAttrReparsePoint))
        return ZipEntryOutcome::kFailed;
    output.Open(target, flags, true);  // replaces the file of that name
    return ZipEntryOutcome::kExtracted;
}

bool CZipArchive::ExtractEntry(std::uint32_t index, const std::string& targetFolder, bool fullPath,
                               const char* newName, std::uint32_t bufferSize) {
    return Extract(index, targetFolder, fullPath, newName, bufferSize) == ZipEntryOutcome::kExtracted;
}

ZipEntryOutcome CZipArchive::ExtractEntryOutcome(std::uint32_t index, const std::string& targetFolder,
                                                 CZipCaughtError* caught) {
    // An entry already open declines this one; only an entry that this call
    // leaves open blocks the ones after it.
    const bool openBefore = m_iFileOpened == -1;
    ZipEntryOutcome outcome = ZipEntryOutcome::kFailed;
    if (zip::PassOverErrors([&] { outcome = Extract(index, targetFolder, true, nullptr, kBufferSize); }, caught))
        return outcome;
    return !openBefore && m_iFileOpened == -1 ? ZipEntryOutcome::kBlocksLater : ZipEntryOutcome::kFailed;
}

ZipEntryOutcome CZipArchive::Extract(std::uint32_t index, const std::string& targetFolder, bool fullPath,
                                     const char* newName, std::uint32_t bufferSize) {
    constexpr ZipEntryOutcome kFailed = ZipEntryOutcome::kFailed;
    if (bufferSize == 0) return kFailed;
    CZipFileHeader header;
    if (!GetEntryInfo(header, index)) return kFailed;
    const std::string name = header.GetName();

    // Hostile names, and names Windows would change, are refused before
    // anything is created or reported; the refusal names the entry.
    const std::string checked = newName != nullptr ? std::string(newName) : name;
    if (!zip::IsSafeEntryName(checked)) ThrowZipException(CZipException::kBadZipFile, checked);
    const std::string target = TargetPathForEntry(name, targetFolder, fullPath, newName);
    const std::string base = zip::TrimTrailingSeparators(targetFolder);
    const std::string relative = base.empty() ? target : target.substr(base.size() + 1);
    // A file's own name is looked at when it is created (see CreateOutput).
    if (zip::HasLinkBelow(base, relative, &m_knownFolders, header.IsFolder())) return kFailed;

    CZipActionCallback* callback = RegisteredCallback(cbExtract);
    if (callback != nullptr) {
        callback->m_nType = cbExtract;
        callback->Begin(name, target);
    }

    if (header.IsFolder()) {
        if (callback != nullptr) callback->SetEntryTotal(0);
        zip::CreateFolderChain(target, &m_knownFolders);
        zip::SetPathAttributes(target, header.GetAttributes());
        if (header.GetUnixMode() != 0) zip::SetPathUnixMode(target, header.GetUnixMode(), true);
        if (callback != nullptr) callback->End();
        return ZipEntryOutcome::kExtracted;
    }

    if (callback != nullptr) callback->SetEntryTotal(header.m_uUncomprSize);
    if (!OpenEntry(index)) return kFailed;
    zip::CreateFolderChain(CZipPathComponent(target).FolderPath(), &m_knownFolders);
    CZipFile output;
    const ZipEntryOutcome created = CreateOutput(output, target);
    if (created != ZipEntryOutcome::kExtracted) {
        // Nothing is written through a link, nor over an earlier entry's file.
        CloseEntry(true);
        if (callback != nullptr) callback->End();
        return created;
    }

    CZipAutoBuffer transfer(bufferSize);
    int aborted = 0;
    std::uint32_t n = 0;
    do {
        n = ReadEntry(transfer.data(), bufferSize);
        if (n == 0) break;
        output.Write(transfer.data(), n);
        if (callback != nullptr && !callback->Step(static_cast<std::int32_t>(n))) {
            unsigned char probe = 0;
            aborted = (n == bufferSize && ReadEntry(&probe, 1) > 0) ? CZipException::kAborted
                                                                    : CZipException::kAbortedSafely;
            break;
        }
    } while (n == bufferSize);

    const bool result = CloseEntry(output) == 1;
    if (!result && aborted == CZipException::kAbortedSafely) aborted = CZipException::kAborted;
    if (callback != nullptr) callback->End();
    if (aborted != 0) ThrowZipException(aborted, target);
    return result ? ZipEntryOutcome::kExtracted : kFailed;
}
