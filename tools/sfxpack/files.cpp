#include "tools/sfxpack/files.h"

#include <streambuf>
#include <vector>

#include "platform/file.h"
#include "platform/system.h"

namespace sfxpack {

namespace {

// The system's text without the line break Windows ends it with.
std::string Reason(std::uint32_t error) {
    std::string text = platform::SystemErrorText(error);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    if (text.empty()) text = "system error " + std::to_string(error);
    return text;
}

}  // namespace

std::string FileProblem(const std::string& doing, const std::string& nativePath, std::uint32_t error) {
    return doing + " " + nativePath + ": " + Reason(error);
}

std::string FileProblem(const std::string& doing, const std::string& nativePath, const std::error_code& error) {
    if (error.category() == std::generic_category() || error.category() == std::system_category())
        return FileProblem(doing, nativePath, platform::ErrorFromErrno(error.value()));
    return doing + " " + nativePath + ": " + error.message();
}

std::string FileProblem(const platform::FileException& error) {
    return platform::ToNativePath(error.fileName()) + ": " + Reason(error.osError());
}

Bytes ReadWholeFile(const std::string& nativePath, const std::string& what) {
    try {
        platform::File file(platform::FromNativePath(nativePath), platform::kModeRead | platform::kShareDenyWrite);
        Bytes data;
        Bytes chunk(1 << 16);
        while (const std::uint32_t got = file.Read(chunk.data(), static_cast<std::uint32_t>(chunk.size())))
            data.insert(data.end(), chunk.begin(), chunk.begin() + got);
        return data;
    } catch (const platform::FileException& e) {
        throw PackError(FileProblem("cannot read " + what, nativePath, e.osError()));
    }
}

// One buffer for reading and writing: it holds either bytes read from the
// file at m_uStart or bytes waiting to be written there, never both.
class FileStream::Buffer : public std::streambuf {
public:
    Buffer(const std::string& nativePath, Mode mode) : m_strNative(nativePath), m_buffer(1 << 16) {
        const unsigned access = mode == kRead ? platform::kModeRead : platform::kModeCreate | platform::kModeReadWrite;
        const unsigned flags = access | platform::kShareDenyWrite;
        platform::FileException error(platform::FileException::kNone, 0, nativePath);
        if (!m_file.TryOpen(platform::FromNativePath(nativePath), flags, &error))
            throw PackError(FileProblem(mode == kRead ? "cannot read" : "cannot create", nativePath, error.osError()));
    }

    void Close() {
        Guarded("write", [&] {
            WritePending();
            m_file.Close();
        });
    }

    void Abort() noexcept { m_file.Abort(); }

    void SetLength(std::uint64_t length) {
        Guarded("write", [&] {
            WritePending();
            DropRead();
            m_file.SetLength(length);
        });
    }

protected:
    int_type overflow(int_type c) override {
        Guarded("write", [&] {
            DropRead();
            WritePending();
            setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
        });
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
        return c;
    }

    int sync() override {
        Guarded("write", [&] { WritePending(); });
        return 0;
    }

    int_type underflow() override {
        if (gptr() < egptr()) return traits_type::to_int_type(*gptr());
        Guarded("read", [&] {
            WritePending();
            setp(nullptr, nullptr);
            DropRead();
            m_file.Seek(static_cast<std::int64_t>(m_uStart), platform::File::kBegin);
            const std::uint32_t got = m_file.Read(m_buffer.data(), static_cast<std::uint32_t>(m_buffer.size()));
            setg(m_buffer.data(), m_buffer.data(), m_buffer.data() + got);
        });
        return gptr() < egptr() ? traits_type::to_int_type(*gptr()) : traits_type::eof();
    }

    pos_type seekoff(off_type offset, std::ios_base::seekdir direction, std::ios_base::openmode) override {
        if (direction == std::ios_base::cur && offset == 0) return static_cast<pos_type>(Position());
        std::int64_t target = offset;
        Guarded("read", [&] {
            if (direction == std::ios_base::cur) target += static_cast<std::int64_t>(Position());
            WritePending();
            setp(nullptr, nullptr);
            DropRead();
            if (direction == std::ios_base::end) target += static_cast<std::int64_t>(m_file.GetLength());
        });
        if (target < 0) return pos_type(off_type(-1));
        m_uStart = static_cast<std::uint64_t>(target);
        return static_cast<pos_type>(target);
    }

    pos_type seekpos(pos_type position, std::ios_base::openmode which) override {
        return seekoff(off_type(position), std::ios_base::beg, which);
    }

private:
    // Where the stream stands in the file.
    std::uint64_t Position() const {
        if (pbase() != nullptr) return m_uStart + static_cast<std::uint64_t>(pptr() - pbase());
        if (eback() != nullptr) return m_uStart + static_cast<std::uint64_t>(gptr() - eback());
        return m_uStart;
    }

    void WritePending() {
        if (pbase() == nullptr || pptr() == pbase()) return;
        const auto count = static_cast<std::uint32_t>(pptr() - pbase());
        m_file.Seek(static_cast<std::int64_t>(m_uStart), platform::File::kBegin);
        m_file.Write(pbase(), count);
        m_uStart += count;
        setp(m_buffer.data(), m_buffer.data() + m_buffer.size());
    }

    void DropRead() {
        if (eback() == nullptr) return;
        m_uStart += static_cast<std::uint64_t>(gptr() - eback());
        setg(nullptr, nullptr, nullptr);
    }

    // Runs a step of the file's; its failure becomes the message sfxpack shows.
    template <class Step>
    void Guarded(const char* doing, Step step) {
        try {
            step();
        } catch (const platform::FileException& e) {
            throw PackError(FileProblem(std::string("cannot ") + doing, m_strNative, e.osError()));
        }
    }

    platform::File m_file;
    std::string m_strNative;      // the path as the user gave it, for messages
    std::vector<char> m_buffer;
    std::uint64_t m_uStart = 0;   // the file position of the buffer's first byte
};

FileStream::FileStream(const std::string& nativePath, Mode mode)
    : std::iostream(nullptr), m_pBuffer(std::make_unique<Buffer>(nativePath, mode)) {
    rdbuf(m_pBuffer.get());
    // A failure inside the stream reaches the caller as the buffer's PackError.
    exceptions(std::ios::badbit);
}

FileStream::~FileStream() {
    try {
        m_pBuffer->pubsync();
    } catch (...) {
        // Only an abandoned stream ends here unclosed; its caller has a failure of its own to report.
    }
    m_pBuffer->Abort();
}

void FileStream::Close() { m_pBuffer->Close(); }

void FileStream::SetLength(std::uint64_t length) { m_pBuffer->SetLength(length); }

}  // namespace sfxpack
