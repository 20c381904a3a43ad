// An ordered list of file records, filled from one path or by walking a
// folder tree with a file mask.
//
// The walk never enters a folder that is a link (a reparse point: junction
// or symbolic link; on posix a symbolic link): a link is listed like any
// other entry, so its owner can remove it as a link, but nothing behind it
// is read. A top folder that is itself a link is not walked at all.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "cleanup/fileinfo.h"
#include "platform/app.h"

class CFileInfoArray {
public:
    // Where InsertRecord puts a new record. In the sorted orders it goes in
    // front of the first record that compares equal or beyond it; any
    // other value appends.
    enum Order : int {
        ORDER_APPEND = 0,
        ORDER_SIZE_ASCENDING = 2,   // unsigned 64-bit sizes
        ORDER_SIZE_DESCENDING = 3,
        ORDER_PATH_ASCENDING = 4,   // byte-wise, case-sensitive
        ORDER_PATH_DESCENDING = 5,
    };

    CFileInfoArray() = default;
    virtual ~CFileInfoArray() = default;

    // Inserts a copy of `record` as `order` says; returns its index.
    virtual std::size_t InsertRecord(const CFileInfo& record, int order);

    // Adds the record of `path` (the empty record when nothing is found);
    // returns its index.
    std::size_t CollectPath(const std::string& path, int order);

    // Walks `folder` (trailing backslashes do not matter): first every
    // sub-folder (a record for it when `includeFolders`, then its own walk
    // when `recurse`), then the files whose names match `mask`. Each folder
    // is listed once ("*" or "*.*") or twice (any other mask), and only the
    // top folder is asked whether it is a link. Returns the number of
    // records added by this call and the calls it made.
    // `abortFlag`, when set and non-zero, ends the walk after the entry at
    // hand; `counter`, when given, is incremented for every record added.
    int CollectFolder(const std::string& folder, const std::string& mask, bool recurse, int order,
                      bool includeFolders, const std::atomic<std::int32_t>* abortFlag = nullptr,
                      std::atomic<std::int32_t>* counter = nullptr);

    // Processes waiting window messages, unless m_bNoMessagePump is set.
    void PumpMessages();

    // Folders whose listing failed for a reason other than being empty or
    // gone: the records miss whatever they hold.
    const std::vector<std::string>& UnlistedFolders() const { return m_unlisted; }

    std::size_t GetSize() const { return m_records.size(); }
    const CFileInfo& operator[](std::size_t index) const { return m_records[index]; }
    CFileInfo& operator[](std::size_t index) { return m_records[index]; }
    void RemoveAll() {
        m_records.clear();
        m_unlisted.clear();
    }

    platform::WindowHandle m_pFolderStatusWnd = nullptr;  // shows each folder's search pattern
    platform::WindowHandle m_pFileStatusWnd = nullptr;    // shows each file added
    bool m_bNoMessagePump = false;

private:
    struct Walk;
    // Walks `trimmed` (no trailing backslash), a folder that is not a link.
    int CollectFrom(const std::string& trimmed, const Walk& walk);
    void ShowFolder(const std::string& pattern);

    // Grows geometrically, so a walk stays linear in the number of records.
    std::vector<CFileInfo> m_records;
    std::vector<std::string> m_unlisted;
};
