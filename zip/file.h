// The file interface the archive works through, and its implementation on
// the platform's file class. Failures of the platform file reach the caller
// as platform::FileException.
#pragma once

#include <cstdint>
#include <string>

#include "platform/file.h"

class CZipAbstractFile {
public:
    enum SeekOrigin { kBegin = 0, kCurrent = 1, kEnd = 2 };

    virtual ~CZipAbstractFile() = default;

    // Opens `path` with platform::FileFlags. The interface's own version
    // opens nothing and succeeds.
    virtual bool Open(const std::string& path, unsigned flags, bool throwOnError) { return true; }
    virtual void Close() = 0;
    virtual void Flush() = 0;
    virtual std::uint64_t GetPosition() const = 0;
    virtual std::uint64_t Seek(std::int64_t offset, int origin) = 0;
    virtual std::uint64_t GetLength() const = 0;
    virtual void SetLength(std::uint64_t length) = 0;
    void SeekToBegin() { Seek(0, kBegin); }
    std::uint64_t SeekToEnd() { return Seek(0, kEnd); }
    virtual std::string GetFilePath() const = 0;
    // Bytes actually read; 0 at the end of the file.
    virtual std::uint32_t Read(void* buffer, std::uint32_t count) = 0;
    // Writes every byte or throws.
    virtual void Write(const void* buffer, std::uint32_t count) = 0;
    virtual bool IsClosed() const = 0;
};

class CZipFile : public CZipAbstractFile {
public:
    CZipFile() = default;
    // Opens at once; throws platform::FileException on failure.
    CZipFile(const std::string& path, unsigned flags) { Open(path, flags, true); }
    ~CZipFile() override = default;  // the platform file closes itself

    // On failure: throws platform::FileException when `throwOnError`, else returns false.
    bool Open(const std::string& path, unsigned flags, bool throwOnError) override;
    void Close() override { m_file.Close(); }
    void Flush() override { m_file.Flush(); }
    std::uint64_t GetPosition() const override { return m_file.GetPosition(); }
    std::uint64_t Seek(std::int64_t offset, int origin) override;
    std::uint64_t GetLength() const override { return m_file.GetLength(); }
    void SetLength(std::uint64_t length) override { m_file.SetLength(length); }
    std::string GetFilePath() const override { return m_file.GetFilePath(); }
    std::uint32_t Read(void* buffer, std::uint32_t count) override { return m_file.Read(buffer, count); }
    void Write(const void* buffer, std::uint32_t count) override { m_file.Write(buffer, count); }
    bool IsClosed() const override { return !m_file.IsOpen(); }
    // See platform::File::SetTimesAndAttributes.
    bool SetTimesAndAttributes(std::uint64_t lastAccess, std::uint64_t lastWrite, std::uint32_t attributes,
                               std::uint32_t unixMode) {
        return m_file.SetTimesAndAttributes(lastAccess, lastWrite, attributes, unixMode);
    }

private:
    platform::File m_file;
};
