// Progress reports from the archive. The archive calls Begin, SetEntryTotal,
// Step once per non-empty piece of output it wrote, and End; a Step that
// returns false stops the entry.
#pragma once

#include <cstdint>
#include <string>

// Kinds of action a callback can be registered for (bit values).
enum CallbackType : int {
    cbNothing = 0,
    cbAdd = 1,
    cbAddTmp = 2,
    cbAddStore = 4,
    cbExtract = 8,
    cbDeleteCnt = 16,
    cbDelete = 32,
    cbTest = 64,
    cbSave = 128,
    cbGetFromArchive = 256,
    cbRename = 512,
    cbReplace = 1024,
    cbAll = 2047,
};

class CZipCallback {
public:
    // True to go on, false to stop.
    virtual bool OnProgress(std::int32_t amount) = 0;

    std::string m_strExternalPath;  // the file the action concerns

protected:
    ~CZipCallback() = default;  // never deleted through this interface
};

class CZipActionCallback : public CZipCallback {
public:
    virtual void Begin(const std::string& fileInArchive, const std::string& externalPath) {
        m_strFileInArchive = fileInArchive;
        m_strExternalPath = externalPath;
        m_nTotal = 0;
        m_nDone = 0;
    }
    virtual void SetEntryTotal(std::uint64_t total) { m_nTotal = total; }
    virtual void End() {}
    virtual bool Step(std::int32_t amount) {
        m_nDone += static_cast<std::uint64_t>(amount);
        return OnProgress(amount);
    }

    int m_nType = 0;  // written by the archive before use
    std::uint64_t m_nTotal = 0;  // the entry's uncompressed size
    std::uint64_t m_nDone = 0;   // bytes of it written so far
    std::string m_strFileInArchive;

protected:
    ~CZipActionCallback() = default;
};
