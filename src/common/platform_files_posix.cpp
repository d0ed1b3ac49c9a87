#include "common/platform_files.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace converter::platform {

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

int Result(int returned) {
    return returned == 0 ? 0 : errno;
}

}  // namespace

int CreateFile(const QString& path, int& handle) {
    const int fd = ::open(Native(path).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        return errno;
    }
    handle = fd;
    return 0;
}

int WriteAll(int handle, const char* data, qint64 size) {
    while (size > 0) {
        const ssize_t written = ::write(handle, data, static_cast<size_t>(size));
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return errno;
        }
        if (written == 0) {
            return ENOSPC;
        }
        data += written;
        size -= written;
    }
    return 0;
}

int CloseFile(int handle) {
    return Result(::close(handle));
}

int RenameOver(const QString& from, const QString& to) {
    return Result(std::rename(Native(from).constData(), Native(to).constData()));
}

int HardLink(const QString& existing, const QString& link) {
    return Result(::link(Native(existing).constData(), Native(link).constData()));
}

bool LinksUnsupported(int error) {
    return error == EPERM || error == ENOTSUP || error == EOPNOTSUPP || error == EMLINK ||
           error == ENOSYS;
}

int MakeFolder(const QString& path) {
    return Result(::mkdir(Native(path).constData(), 0777));
}

int RemoveFile(const QString& path) {
    if (::unlink(Native(path).constData()) != 0 && errno != ENOENT) {
        return errno;
    }
    return 0;
}

int SyncHandle(int handle) {
    // EINVAL: a file system that cannot sync (a pipe, some network mounts) has nothing to do.
    if (::fsync(handle) != 0 && errno != EINVAL && errno != EROFS) {
        return errno;
    }
    return 0;
}

int SyncPath(const QString& path) {
    const int fd = ::open(Native(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return errno;
    }
    const int error = SyncHandle(fd);
    ::close(fd);
    return error;
}

bool SameFile(const QString& first, const QString& second) {
    struct stat a {};
    struct stat b {};
    return ::stat(Native(first).constData(), &a) == 0 &&
           ::stat(Native(second).constData(), &b) == 0 && a.st_dev == b.st_dev &&
           a.st_ino == b.st_ino;
}

bool HeldOpen(const QString&) {
    return false;
}

int HoldForStep(const QString&, HeldHandle& handle) {
    handle = nullptr;
    return 0;
}

int RenameHeld(HeldHandle, const QString&) {
    return EBADF;
}

void ReleaseHeld(HeldHandle) {}

bool ReadOnlyAttribute(const QString&) {
    return false;
}

bool NamesIgnoreCase() {
    return false;
}

std::pair<qint64, qint64> OpenFileStamp(int handle) {
    struct stat info {};
    if (::fstat(handle, &info) != 0) {
        return {-1, -1};
    }
    return {static_cast<qint64>(info.st_size),
            static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool FolderTakesFiles(const QString& folder) {
    return QFileInfo(folder).isWritable();
}

QString MachineWideFolder() {
    // Where a Debian package keeps its settings; the package itself owns nothing there.
    return QStringLiteral("/etc/dovi2tarvel");
}

qint64 ProcessId() {
    return ::getpid();
}

bool ProcessRunning(qint64 pid) {
    if (pid <= 0 || pid != static_cast<pid_t>(pid)) {
        return false;
    }
    // EPERM: it runs, under another user.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM;
}

QString SystemErrorText(int error) {
    const QString words = OwnErrorWords(error);
    return words.isEmpty() ? QString::fromLocal8Bit(std::strerror(error)) : words;
}

LockOutcome TryLockFile(const QString& path, int& handle, int& error) {
    const QByteArray name = Native(path);
    // The lock is the kernel's, not the file's content: a file left by a killed run, empty or
    // holding anything, is locked by nobody. A holder removes the name before it unlocks, so a
    // lock taken on a name that went meanwhile is taken again on the new file.
    for (int attempt = 0; attempt < 10; ++attempt) {
        int fd = ::open(name.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
        if (fd < 0) {
            error = errno;
            // A lock file that others made in a folder we may only read still counts.
            fd = ::open(name.constData(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) {
                return LockOutcome::Failed;
            }
        }
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
            error = errno;
            ::close(fd);
            return error == EWOULDBLOCK ? LockOutcome::Busy : LockOutcome::Failed;
        }
        struct stat held {};
        struct stat named {};
        if (::fstat(fd, &held) == 0 && ::stat(name.constData(), &named) == 0 &&
            held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
            handle = fd;
            error = 0;
            return LockOutcome::Locked;
        }
        ::close(fd);
    }
    error = EAGAIN;
    return LockOutcome::Busy;
}

void ReleaseLockFile(int handle, const QString& path) {
    ::unlink(Native(path).constData());
    ::close(handle);
}

}  // namespace converter::platform
