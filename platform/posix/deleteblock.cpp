// An undeletable file on posix: the immutable flag, which stops root too.
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "platform/deleteblock.h"
#include "platform/posix/posix_internal.h"
#include "platform/system.h"

namespace platform {

namespace {

bool SetImmutable(int fd, bool on) {
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) != 0) return false;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    return ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
}

}  // namespace

DeleteBlock::DeleteBlock(const std::string& path) : m_strPath(path) {
    int fd = ::open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0) {
        detail::SetLastErrorFromErrno();
        return;
    }
    if (!SetImmutable(fd, true)) {
        detail::SetLastErrorFromErrno();
        ::close(fd);
        return;
    }
    m_handle = fd;
    m_bActive = true;
}

DeleteBlock::~DeleteBlock() {
    if (m_handle < 0) return;
    SetImmutable(static_cast<int>(m_handle), false);
    ::close(static_cast<int>(m_handle));
}

}  // namespace platform
