// sfxpack's own file access, through the platform layer: every failure to
// read, write, create or rename a file names the file and ends with the
// system's text for the error, as the launcher's messages do.
#pragma once

#include <cstdint>
#include <istream>
#include <memory>
#include <string>
#include <system_error>

#include "tools/sfxpack/bytes.h"

namespace platform {
class FileException;
}

namespace sfxpack {

// "<doing> <nativePath>: <the system's text>", for a Windows error code (as
// the platform layer reports them) or an error of the C++ library.
std::string FileProblem(const std::string& doing, const std::string& nativePath, std::uint32_t error);
std::string FileProblem(const std::string& doing, const std::string& nativePath, const std::error_code& error);
// "<the file's native path>: <the system's text>", for a failure of the
// platform's file class (which does not tell whether it was reading or writing).
std::string FileProblem(const platform::FileException& error);

// The whole of a file; throws PackError ("cannot read <what> <path>: ...").
Bytes ReadWholeFile(const std::string& nativePath, const std::string& what);

// A file as a standard stream with seeking: read from, or created (emptied
// when it exists) to be written and read back. Any failure, also inside the
// stream's own operations, throws PackError naming the file and the
// system's reason.
class FileStream : public std::iostream {
public:
    enum Mode { kRead, kCreate };
    FileStream(const std::string& nativePath, Mode mode);
    ~FileStream() override;
    FileStream(const FileStream&) = delete;
    FileStream& operator=(const FileStream&) = delete;

    // Writes what is pending and closes the file; throws PackError.
    void Close();
    // Cuts or extends the file to `length` bytes.
    void SetLength(std::uint64_t length);

private:
    class Buffer;
    std::unique_ptr<Buffer> m_pBuffer;
};

}  // namespace sfxpack
