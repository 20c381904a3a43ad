// Keeps one file from being deleted while the object lives, the way a file
// that another program holds open is: for tests of code that must cope with
// files it cannot delete.
//
// On win32 the file is held open without any sharing, so DeleteFile fails
// with a sharing violation. On posix, where root may delete anything, the
// file is marked immutable (the file system and privileges must allow
// that), so deleting it fails with access denied; changing its attributes
// to what they already are still succeeds, as on Windows.
#pragma once

#include <cstdint>
#include <string>

namespace platform {

class DeleteBlock {
public:
    explicit DeleteBlock(const std::string& path);
    ~DeleteBlock();
    DeleteBlock(const DeleteBlock&) = delete;
    DeleteBlock& operator=(const DeleteBlock&) = delete;

    // False when the file could not be blocked (last error set).
    bool active() const { return m_bActive; }

private:
    std::string m_strPath;
    std::intptr_t m_handle = -1;
    bool m_bActive = false;
};

}  // namespace platform
