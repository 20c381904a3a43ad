// The central directory of an archive that other bytes may precede: finding
// the end record from the end of the file (and the Zip64 end record its
// locator points to), reading and sorting the entry headers, and checking an
// entry's local header and data descriptor.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "zip/autobuffer.h"
#include "zip/fileheader.h"

class CZipStorage;

class CZipCentralDir {
public:
    static constexpr std::uint32_t kEndRecordSize = 22;
    static constexpr std::uint32_t kMaxEndRecordDistance = 0xFFFF + kEndRecordSize;
    static constexpr std::uint32_t kSearchBufferSize = 32768;
    static constexpr std::uint32_t kZip64LocatorSize = 20;
    static constexpr std::uint32_t kZip64EndRecordSize = 56;  // without extensible data
    // The largest number of entries read; more would not be counted by an int.
    static constexpr std::uint64_t kMaxEntries = 0x7FFFFFFF;

    CZipCentralDir() = default;
    CZipCentralDir(const CZipCentralDir&) = delete;
    CZipCentralDir& operator=(const CZipCentralDir&) = delete;

    void Init();
    // Finds and reads the end record (the Zip64 end record when a locator
    // stands before it) and every header; throws CZipException (116 when
    // there is no end record, 101 for any inconsistency, among them a
    // locator or offset that points outside the file).
    void ReadDirectory();
    bool IsValidIndex(std::uint64_t index) const { return index < m_headers.size(); }
    // Makes the header at `index` the open entry and leaves the file at the
    // first byte of its data. Throws 101 for a missing or mismatching local
    // header, or one that would lie outside the file.
    void OpenEntry(std::uint32_t index);
    // Checks the data descriptor of an entry that has one (unless after an
    // exception) and forgets the open entry.
    void CloseEntry(bool afterException);
    // Forgets the open entry; with `everything` also the headers and the comment.
    void Clear(bool everything = true);
    // Turns a name read from the archive into this platform's form ('\'
    // separators; OEM to ANSI for MS-DOS entries), or back.
    static void ConvertName(CZipFileHeader& header, bool fromArchive);

    // File position of the end record the search found.
    std::uint64_t LocateEndRecord();

    [[noreturn]] void ThrowError(int code) const;

    std::size_t GetCount() const { return m_headers.size(); }
    CZipFileHeader* operator[](std::size_t index) const { return m_headers[index].get(); }
    CZipFileHeader* GetOpenEntry() const { return m_pOpenFile; }

    CZipStorage* m_pStorage = nullptr;  // set by the archive
    CZipAutoBuffer m_comment;           // the archive comment
    CZipAutoBuffer m_localExtraField;   // of the open entry
    std::uint64_t m_nEndRecordPos = 0;
    std::uint64_t m_nBytesBeforeArchive = 0;
    // From the end record, or from the Zip64 end record when there is one.
    std::uint32_t m_uThisVolume = 0;
    std::uint32_t m_uDirVolume = 0;
    std::uint64_t m_uVolumeEntries = 0;
    std::uint64_t m_uEntries = 0;
    std::uint64_t m_uDirSize = 0;
    std::uint64_t m_uDirOffset = 0;
    std::uint64_t m_nArchiveLength = 0;  // of the file, when the directory was read
    bool m_bZip64 = false;  // the archive has a Zip64 end record
    bool m_bOnDisk = false;

private:
    // Reads `count` bytes at `position`; 101 when the file ends before.
    void ReadAt(std::uint64_t position, void* buffer, std::uint32_t count);
    // Reads the Zip64 end record that the locator before the end record
    // points to (when there is a locator); false when there is none.
    bool ReadZip64EndRecord();
    void ReadHeaders();
    void SortHeaders();

    std::vector<std::unique_ptr<CZipFileHeader>> m_headers;
    CZipFileHeader* m_pOpenFile = nullptr;
    bool m_bOpenZip64 = false;  // the open entry's local header has a Zip64 block
};
