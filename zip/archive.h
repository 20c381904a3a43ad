// A ZIP archive opened for reading: entry count and headers, a password for
// encrypted entries, progress callbacks, entry extraction with inflate, CRC
// check and decryption, and close.
//
// Errors are thrown as CZipException by value; the platform's FileException
// passes through. Single-volume archives only, with or without Zip64
// records (entries and offsets beyond 4 GiB, up to 2^31 - 1 entries);
// writing is not supported.
//
// After an error while an entry's data is read or checked (a short archive,
// an inflate error, a CRC mismatch, a data descriptor mismatch, an output
// file that cannot be written) the entry stays open: every later OpenEntry,
// and so every later file extraction, declines until Close. Close(0) then
// repeats the entry's checks (and may throw again); Close(1) discards it.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <string>
#include <vector>

#include "zip/autobuffer.h"
#include "zip/callback.h"
#include "zip/caughterror.h"
#include "zip/centraldir.h"
#include "zip/cipher.h"
#include "zip/exception.h"
#include "zip/fileheader.h"
#include "zip/fileops.h"
#include "zip/storage.h"

// What became of one entry, for a caller that extracts every entry and goes
// on after a failure (see CZipArchive::ExtractEntryOutcome).
enum class ZipEntryOutcome {
    kExtracted,    // made: a file written whole, with its time and attributes, or a folder
    kFailed,       // not (or not wholly) extracted; later entries are not affected by it
    kBlocksLater,  // its data failed: the entry stays open, and every later file entry is
                   // declined (kFailed) until Close; folder entries are still made
    kNameTaken,    // its file's name was taken (only with m_bReplaceExisting false); nothing written
};

class CZipArchive {
public:
    static constexpr std::uint32_t kBufferSize = 65536;
    enum OpenMode { zipOpen = 0, zipOpenReadOnly = 1 };
    enum CloseMode { afterNormal = 0, afterException = 1, afterExceptionWrite = 2 };

    CZipArchive();
    virtual ~CZipArchive();
    CZipArchive(const CZipArchive&) = delete;
    CZipArchive& operator=(const CZipArchive&) = delete;

    // Opens an existing archive (mode 1 read-only; 0 opens it read-write but
    // nothing is ever written) and reads its central directory. Does nothing
    // when the archive is already open. Clears the password. Throws
    // platform::FileException when the file cannot be opened, and
    // CZipException 116 (no end record) or 101 (inconsistent directory).
    void Open(const std::string& path, int mode = zipOpenReadOnly, std::int32_t volumeSize = 0);
    // Opens `path` read-only, whatever Open throws caught: false, with the
    // error in `caught` (when given) and the archive closed again (a
    // directory that fails part way leaves the headers read so far, none of
    // which may be used).
    bool TryOpen(const std::string& path, CZipCaughtError* caught = nullptr);
    // Mode 0: an entry still open is closed with its checks (which may throw).
    // Mode 1 or 2 (after an exception): an open entry is discarded unchecked
    // and the file closed even if the directory was never read.
    void Close(int mode = afterNormal, bool updateTimeStamp = false);
    // With `archive`: whether no archive is open (its directory read);
    // without: whether no file is open.
    bool IsClosed(bool archive = true) const;

    int GetEntryCount() const;
    // Copies the header at `index` into `info`; false (info untouched) when
    // the archive is closed or the index is out of range.
    bool GetEntryInfo(CZipFileHeader& info, std::uint32_t index) const;

    // Stores the password for encrypted entries (null clears it). False while
    // an entry is open (nothing changes), and for a password with a byte of
    // 0x80 or above (the password is then cleared).
    bool SetArchivePassword(const char* password);

    // Registers `callback` for every CallbackType bit in `types`, or removes
    // those registrations when `callback` is null. Not owned.
    void RegisterCallback(CZipActionCallback* callback, int types = cbExtract);
    CZipActionCallback* RegisteredCallback(int type) const;

    // Extracts entry `index` under `targetFolder` (with its stored folders
    // when `fullPath`), or as `newName` when given. A folder entry creates the
    // folder and its parents. A file replaces any file of that name and gets
    // the entry's modification time and attributes.
    //
    // Returns false, with nothing created, for an index out of range, an
    // entry still open, a zero buffer size, or a target path that passes
    // through an existing link, or a file name already taken without
    // m_bReplaceExisting; false after writing when the data ended early or
    // the time or attributes could not be set. Throws CZipException 101,
    // before anything is created and with the entry's name as its file name,
    // for a name that zip::EntryNameProblem refuses (one that would leave the
    // target folder, or that Windows could not hold as it is); 101 for a
    // target path beyond the path splitter's limits; 110 for a missing or wrong password;
    // 101 for an unsupported method or a bad local header; 105/106 when the
    // callback stopped the entry (the partial file stays); and the data errors
    // described above.
    bool ExtractEntry(std::uint32_t index, const std::string& targetFolder, bool fullPath = true,
                      const char* newName = nullptr, std::uint32_t bufferSize = kBufferSize);
    // ExtractEntry with its stored folders and the default buffer, whatever
    // it throws caught: the outcome, and the error in `caught` (when given).
    ZipEntryOutcome ExtractEntryOutcome(std::uint32_t index, const std::string& targetFolder,
                                        CZipCaughtError* caught = nullptr);

    // The entry-level steps ExtractEntry is built from.
    bool OpenEntry(std::uint32_t index);
    // Bytes of the open entry's output delivered into `buffer` (at most
    // `count`); 0 when no entry is open or its output is complete.
    std::uint32_t ReadEntry(void* buffer, std::uint32_t count);
    // 1: closed and checked (CRC, data descriptor); -1: its output was
    // incomplete (not checked); 0: no entry open. After an exception nothing
    // is checked. A CRC or descriptor mismatch throws with the entry still open.
    int CloseEntry(bool afterException = false);
    // The same for an entry written to `output`, which is closed; -2 when the
    // entry's time or attributes could not be set on it.
    int CloseEntry(CZipFile& output);

    // The path entry `name` extracts to; CZipException 101 when the name's
    // parts exceed the path splitter's limits.
    std::string TargetPathForEntry(const std::string& name, const std::string& targetFolder, bool fullPath,
                                   const char* newName) const;

    std::string GetArchivePath() const;
    const CZipCentralDir& GetCentralDir() const { return m_centralDir; }

    bool m_bStripDrive = true;
    // An output file whose name is taken is replaced (true), or the entry is
    // declined with nothing written (false: for extractions into a fresh
    // folder, where a taken name means two entries of one name).
    bool m_bReplaceExisting = true;

    // Folders extracted so far are remembered as there, so that each is
    // looked at once; whoever removes them behind the archive's back must
    // say so here.
    void ForgetKnownFolders() { m_knownFolders.Clear(); }
    // What another archive on the same target has made and found, for an
    // extraction shared among several (see launcher/extraction.cpp).
    const zip::CKnownFolders& KnownFolders() const { return m_knownFolders; }
    void AddKnownFolders(const zip::CKnownFolders& folders) { m_knownFolders.Add(folders); }

private:
    [[noreturn]] void ThrowError(int code, bool fromZlib = false) const;
    void CheckForError(int zlibResult) const;
    void EmptyAllocations();
    static void* Allocate(void* opaque, unsigned items, unsigned size);
    static void Release(void* opaque, void* address);
    // Loads the next piece of the entry's stored data (decrypted) as the inflater's input.
    void RefillInput();
    // Reads a deflated entry's stream to its end once all its output is out.
    void FinishStream();
    void ApplyTimeAndAttributes(CZipFile& output, const CZipFileHeader& header, int& result);
    // The open entry's output is complete and its CRC right: 1; incomplete: -1
    // (not checked); throws 102 on a CRC mismatch.
    int CheckOutput();
    // The end of CloseEntry: the data descriptor check and the state reset.
    int FinishEntry(bool afterException, int result);
    // ExtractEntry, telling kNameTaken apart from other declines.
    ZipEntryOutcome Extract(std::uint32_t index, const std::string& targetFolder, bool fullPath, const char* newName,
                            std::uint32_t bufferSize);
    // Opens the output file `target`, replacing a file of that name (when
    // m_bReplaceExisting): kExtracted when it is open; kFailed for a link of
    // that name (nothing is written through it); kNameTaken for a name taken
    // without m_bReplaceExisting.
    ZipEntryOutcome CreateOutput(CZipFile& output, const std::string& target);

    // One slot per CallbackType bit (1 << slot).
    static constexpr int kCallbackSlots = 11;
    CZipActionCallback* m_callbacks[kCallbackSlots] = {};
    z_stream m_stream;
    std::uint64_t m_uUncomprLeft = 0;
    std::uint64_t m_uComprLeft = 0;
    std::uint32_t m_uCrc32 = 0;
    std::uint64_t m_uDataEnd = 0;   // file position just past the open entry's data
    bool m_bStreamEnded = false;    // the open deflated entry's stream reached its end
    CZipAutoBuffer m_inputBuffer;
    CZipStorage m_storage;
    CZipCentralDir m_centralDir;
    signed char m_iFileOpened = 0;  // 0 none; -1 an entry open for reading
    int m_iArchiveSystCompatib = kZipSystemDos;
    std::vector<void*> m_allocations;  // blocks zlib holds for the open entry
    CZipAutoBuffer m_password;
    CZipCipher m_cipher;
    zip::CKnownFolders m_knownFolders;  // below the target folders of this opening
};
