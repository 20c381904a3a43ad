#include "zip/archive.h"

#include <cstdlib>
#include <cstring>
#include <new>

#include "zip/fileops.h"
#include "zip/pathcomponent.h"

CZipArchive::CZipArchive() {
    std::memset(&m_stream, 0, sizeof m_stream);
    m_stream.zalloc = &CZipArchive::Allocate;
    m_stream.zfree = &CZipArchive::Release;
    m_stream.opaque = &m_allocations;
    m_centralDir.m_pStorage = &m_storage;
}

CZipArchive::~CZipArchive() { EmptyAllocations(); }

// zlib's allocation hooks: every block is remembered, so that whatever an
// entry that failed half-way still holds can be freed when it closes.
void* CZipArchive::Allocate(void* opaque, unsigned items, unsigned size) {
    if (size != 0 && items > static_cast<std::size_t>(-1) / size) return nullptr;
    void* block = std::malloc(static_cast<std::size_t>(items) * size);
    if (block != nullptr && opaque != nullptr) {
        try {
            static_cast<std::vector<void*>*>(opaque)->push_back(block);
        } catch (const std::bad_alloc&) {
            std::free(block);
            return nullptr;  // zlib reports Z_MEM_ERROR
        }
    }
    return block;
}

void CZipArchive::Release(void* opaque, void* address) {
    if (opaque != nullptr) {
        auto& blocks = *static_cast<std::vector<void*>*>(opaque);
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            if (blocks[i] == address) {
                blocks[i] = blocks.back();
                blocks.pop_back();
                break;
            }
        }
    }
    std::free(address);
}

void CZipArchive::EmptyAllocations() {
    for (void* block : m_allocations) std::free(block);
    m_allocations.clear();
    m_stream.state = Z_NULL;  // whatever it pointed to is gone
}

void CZipArchive::ThrowError(int code, bool fromZlib) const {
    if (fromZlib) code = CZipException::CodeFromZlib(code);
    ThrowZipException(code, IsClosed(true) ? std::string() : GetArchivePath());
}

void CZipArchive::CheckForError(int zlibResult) const {
    if (zlibResult == Z_OK || zlibResult == Z_NEED_DICT) return;
    ThrowError(zlibResult, true);
}

std::string CZipArchive::GetArchivePath() const {
    return m_storage.m_pActiveFile != nullptr ? m_storage.m_pActiveFile->GetFilePath() : std::string();
}

void CZipArchive::Open(const std::string& path, int mode, std::int32_t volumeSize) {
    if (!IsClosed(true)) return;
    m_storage.Open(path, mode, volumeSize);
    m_password.Release();
    m_iFileOpened = 0;
    m_centralDir.Init();
    m_knownFolders.Clear();
    m_iArchiveSystCompatib = kZipSystemDos;
    m_centralDir.ReadDirectory();
    if (m_centralDir.GetCount() != 0) {
        const int system = m_centralDir[0]->GetSystemCompatibility();
        if (zip::IsSupportedSystem(system)) m_iArchiveSystCompatib = system;
    }
}

bool CZipArchive::TryOpen(const std::string& path, CZipCaughtError* caught) {
    if (zip::PassOverErrors([&] { Open(path, zipOpenReadOnly, 0); }, caught)) return true;
    zip::PassOverErrors([&] { Close(afterException, false); });
    return false;
}

bool CZipArchive::IsClosed(bool archive) const {
    if (archive) return m_storage.GetCurrentVolume() == -1;
    return m_storage.m_pActiveFile == nullptr || m_storage.m_pActiveFile->IsClosed();
}

void CZipArchive::Close(int mode, bool updateTimeStamp) {
    if (IsClosed(true) && (mode == afterNormal || IsClosed(false))) return;
    if (m_iFileOpened == -1) CloseEntry(mode != afterNormal);
    std::int64_t newest = 0;
    if (updateTimeStamp) {
        for (std::size_t i = 0; i < m_centralDir.GetCount(); ++i) {
            const std::int64_t time = m_centralDir[i]->GetModTime();
            if (time > newest) newest = time;
        }
    }
    m_centralDir.Clear(true);
    m_knownFolders.Clear();
    const std::string path = m_storage.Close(mode == afterException);
    if (updateTimeStamp && !path.empty()) zip::SetPathModTime(path, newest);
}

int CZipArchive::GetEntryCount() const { return static_cast<int>(m_centralDir.GetCount()); }

bool CZipArchive::GetEntryInfo(CZipFileHeader& info, std::uint32_t index) const {
    if (IsClosed(true) || !m_centralDir.IsValidIndex(index)) return false;
    info = *m_centralDir[index];
    return true;
}

bool CZipArchive::SetArchivePassword(const char* password) {
    if (m_iFileOpened == -1) return false;
    m_password.Release();
    if (password == nullptr) return true;
    const std::size_t length = std::strlen(password);
    m_password.Allocate(static_cast<std::uint32_t>(length));
    if (length != 0) std::memcpy(m_password.data(), password, length);
    for (std::size_t i = 0; i < length; ++i) {
        // 7-bit only, so that the key does not depend on a code page.
        if (static_cast<unsigned char>(password[i]) >= 0x80) {
            m_password.Release();
            return false;
        }
    }
    return true;
}

void CZipArchive::RegisterCallback(CZipActionCallback* callback, int types) {
    for (int slot = 0; slot < kCallbackSlots; ++slot)
        if (types & (1 << slot)) m_callbacks[slot] = callback;
}

CZipActionCallback* CZipArchive::RegisteredCallback(int type) const {
    for (int slot = 0; slot < kCallbackSlots; ++slot)
        if (type == (1 << slot)) return m_callbacks[slot];
    return nullptr;  // not a single CallbackType bit
}

std::string CZipArchive::TargetPathForEntry(const std::string& name, const std::string& targetFolder,
                                            bool fullPath, const char* newName) const {
    std::string target;
    if (!zip::TargetPathForEntry(name, targetFolder, fullPath, newName, m_bStripDrive, target))
        ThrowError(CZipException::kBadZipFile);
    return target;
}
