#include "zip/file.h"

bool CZipFile::Open(const std::string& path, unsigned flags, bool throwOnError) {
    if (throwOnError) {
        m_file.Open(path, flags);
        return true;
    }
    return m_file.TryOpen(path, flags);
}

std::uint64_t CZipFile::Seek(std::int64_t offset, int origin) {
    return m_file.Seek(offset, static_cast<platform::File::SeekOrigin>(origin));
}
