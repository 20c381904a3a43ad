// The archive's access to its file: opening, exact reads, volume numbers,
// closing. Only single-volume archives are read; an archive that names any
// volume other than 0 is refused as damaged (code 101).
#pragma once

#include <cstdint>
#include <string>

#include "zip/autobuffer.h"
#include "zip/file.h"

class CZipStorage {
public:
    enum OpenMode { kOpenForUpdate = 0, kOpenReadOnly = 1, kCreate = 2, kCreateSpan = 3 };
    enum VolumeMode { kSingleVolume = 0, kVolumeModeUndecided = 3, kVolumeModeNumbered = 4 };

    CZipStorage() = default;
    CZipStorage(const CZipStorage&) = delete;
    CZipStorage& operator=(const CZipStorage&) = delete;

    // Opens an existing archive: mode 1 read-only, mode 0 read-write (others
    // may read, not write). The creating modes are not supported (code 112).
    // A failure to open throws platform::FileException and keeps the storage
    // closed. The volume stays undecided until UpdateVolumeMode.
    void Open(const std::string& path, int mode, std::int32_t volumeSize);

    // Called with the end record's volume number: 0 makes the archive
    // single-volume; any other number is refused (code 101).
    void UpdateVolumeMode(std::uint32_t lastVolume);
    // Makes volume `n` current: nothing for the current volume; any other
    // volume is refused (code 101).
    void ChangeVolume(std::uint32_t n);

    // Reads exactly `count` bytes or throws code 101 with the archive path.
    // A count of 0 returns 0 without touching the file.
    std::uint32_t Read(void* buffer, std::uint32_t count, bool atOnce);

    // While on, reads are served from a block read ahead from the file, for
    // a run of small sequential reads (the central directory's headers);
    // the file then stands past what was used. Turning it off drops the block.
    void SetReadAhead(bool on);

    // Closes the file (flushing it first when it was opened for writing) and
    // returns the path it was opened with.
    std::string Close(bool afterException);

    [[noreturn]] void ThrowError(int code) const;

    bool IsReadOnly() const { return m_bReadOnly; }
    int GetCurrentVolume() const { return m_nCurrentVolume; }
    int GetVolumeMode() const { return m_nVolumeMode; }

    CZipFile m_ownFile;
    CZipAbstractFile* m_pActiveFile = nullptr;  // null while closed

private:
    static constexpr std::uint32_t kReadAheadSize = 65536;
    CZipAutoBuffer m_readAhead;
    std::uint32_t m_nReadAheadUsed = 0;   // bytes of the block already handed out
    std::uint32_t m_nReadAheadFilled = 0;  // bytes in the block
    bool m_bReadAhead = false;
    int m_nVolumeMode = kSingleVolume;
    int m_nCurrentVolume = -1;  // -1 while closed or before the end record was read
    bool m_bReadOnly = false;
};
