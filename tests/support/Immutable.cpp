// tests/support/Immutable.cpp: the immutable flag through FS_IOC_SETFLAGS.
#include "tests/support/Immutable.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

ImmutableGuard::ImmutableGuard(const std::string& path)
    : fPath(path)
{
    Set(true);
}

ImmutableGuard::~ImmutableGuard()
{
    Set(false);
}

void ImmutableGuard::Set(bool on)
{
    int fd = ::open(fPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    int flags = 0;
    bool ok = fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    if (ok) {
        flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
        ok = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    }
    int err = errno;
    if (fd >= 0)
        ::close(fd);
    if (!ok)
        ADD_FAILURE() << "cannot " << (on ? "set" : "clear") << " the immutable flag on " << fPath
                      << ": " << std::strerror(err)
                      << " (the test needs root on ext4, xfs or btrfs)";
}
