// Preloaded into the console program by the fault-injection driver: counts the file calls that
// change what lies under one folder (FAULT_ROOT) and, at call FAULT_AT, fails it with EIO (mode
// "eio"), fails it and every later one that a full disk fails with ENOSPC ("enospc"), or kills the
// process just before it ("kill"). Mode "trace" only counts. Each call is logged to FAULT_LOG as
// "N kind path"; the file calls of the sanitizer runtime and of other folders are not counted.
// With FAULT_NO_LINKS set, the folder is a file system without hard links (FAT, exFAT, some
// network shares): every link there fails with EPERM, as on a FAT drive.
//
// Built without sanitizers and without the C++ runtime's help: it runs inside every file call.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/sendfile.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <climits>

namespace {

enum Mode { kOff, kTrace, kEio, kEnospc, kKill };

// What a full disk does to a call: it refuses what needs space, but removing and closing work.
enum Space { kNeedsSpace, kFreesSpace };

Mode mode = kOff;
long faultAt = 0;
long counted = 0;
char root[PATH_MAX];
size_t rootLength = 0;
int logFd = -1;
bool ready = false;
bool noLinks = false;

// Per descriptor: 1 opened under the root, 2 also opened for writing.
constexpr int kMaxFd = 4096;
unsigned char tracked[kMaxFd];

// The next definition of a call: the C library's, or the sanitizer's when it comes first.
#define REAL(name) reinterpret_cast<decltype(&name)>(dlsym(RTLD_NEXT, #name))

ssize_t RawWrite(int fd, const void* data, size_t size) {
    static auto realWrite = REAL(write);
    return realWrite(fd, data, size);
}

void Init() {
    if (ready) {
        return;
    }
    ready = true;
    const char* folder = getenv("FAULT_ROOT");
    const char* kind = getenv("FAULT_MODE");
    if (folder == nullptr || kind == nullptr) {
        return;
    }
    rootLength = strlen(folder);
    if (rootLength == 0 || rootLength >= sizeof root) {
        return;
    }
    memcpy(root, folder, rootLength + 1);
    noLinks = getenv("FAULT_NO_LINKS") != nullptr;
    const char* at = getenv("FAULT_AT");
    faultAt = at != nullptr ? atol(at) : 0;
    mode = strcmp(kind, "eio") == 0      ? kEio
           : strcmp(kind, "enospc") == 0 ? kEnospc
           : strcmp(kind, "kill") == 0   ? kKill
                                         : kTrace;
    if (const char* log = getenv("FAULT_LOG")) {
        static auto realOpen = REAL(open);
        logFd = realOpen(log, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    }
}

bool UnderRoot(const char* path) {
    return strncmp(path, root, rootLength) == 0 &&
           (path[rootLength] == '/' || path[rootLength] == '\0');
}

// The absolute form of `path` as given relative to `dirfd` (no links resolved: the driver names
// everything by its real path).
bool PathUnderRoot(int dirfd, const char* path) {
    Init();
    if (mode == kOff || path == nullptr) {
        return false;
    }
    if (path[0] == '/') {
        return UnderRoot(path);
    }
    char base[PATH_MAX];
    if (dirfd == AT_FDCWD) {
        if (getcwd(base, sizeof base) == nullptr) {
            return false;
        }
    } else {
        char link[64];
        snprintf(link, sizeof link, "/proc/self/fd/%d", dirfd);
        const ssize_t n = readlink(link, base, sizeof base - 1);
        if (n < 0) {
            return false;
        }
        base[n] = '\0';
    }
    return UnderRoot(base);
}

bool FdUnderRoot(int fd) {
    Init();
    return mode != kOff && fd >= 0 && fd < kMaxFd && tracked[fd] != 0;
}

bool FdWritten(int fd) {
    return FdUnderRoot(fd) && tracked[fd] == 2;
}

void Log(long n, const char* kind, const char* path, const char* outcome) {
    if (logFd < 0) {
        return;
    }
    char line[PATH_MAX + 128];
    const int size =
        snprintf(line, sizeof line, "%ld %s %s%s\n", n, kind, path != nullptr ? path : "", outcome);
    if (size > 0) {
        RawWrite(logFd, line, static_cast<size_t>(size) < sizeof line ? size : sizeof line - 1);
    }
}

const char* FdPath(int fd, char* buffer, size_t size) {
    char link[64];
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    const ssize_t n = readlink(link, buffer, size - 1);
    buffer[n < 0 ? 0 : n] = '\0';
    return buffer;
}

// Counts one call; true (with errno set) when it must fail. Kills the process at its call.
bool Fault(const char* kind, const char* path, Space space) {
    const long n = __atomic_add_fetch(&counted, 1, __ATOMIC_SEQ_CST);
    const bool due = mode == kEnospc ? n >= faultAt && space == kNeedsSpace : n == faultAt;
    if (!due || mode == kTrace) {
        Log(n, kind, path, "");
        return false;
    }
    if (mode == kKill) {
        Log(n, kind, path, " KILL");
        kill(getpid(), SIGKILL);
    }
    Log(n, kind, path, mode == kEio ? " EIO" : " ENOSPC");
    errno = mode == kEio ? EIO : ENOSPC;
    return true;
}

// A link the folder's file system cannot make.
bool NoLink() {
    if (noLinks) {
        errno = EPERM;
    }
    return noLinks;
}

bool FaultFd(const char* kind, int fd, Space space) {
    char path[PATH_MAX];
    return Fault(kind, FdPath(fd, path, sizeof path), space);
}

bool CreatesOrWrites(int flags) {
    return (flags & (O_CREAT | O_WRONLY | O_RDWR)) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

bool TakesMode(int flags) {
    return (flags & O_CREAT) != 0 || (flags & O_TMPFILE) == O_TMPFILE;
}

void Track(int fd, int flags) {
    if (fd >= 0 && fd < kMaxFd) {
        tracked[fd] = CreatesOrWrites(flags) ? 2 : 1;
    }
}

template <typename Open>
int OpenAt(int dirfd, const char* path, int flags, mode_t perms, Open open) {
    if (!PathUnderRoot(dirfd, path)) {
        return open(perms);
    }
    if (CreatesOrWrites(flags) && Fault("open", path, kNeedsSpace)) {
        return -1;
    }
    const int fd = open(perms);
    Track(fd, flags);
    return fd;
}

mode_t ModeArgument(int flags, va_list args) {
    return TakesMode(flags) ? static_cast<mode_t>(va_arg(args, int)) : 0;
}

}  // namespace

extern "C" {

#define OPEN_WRAPPER(name)                                             \
    int name(const char* path, int flags, ...) {                       \
        static auto real = REAL(name);                                 \
        va_list args;                                                  \
        va_start(args, flags);                                         \
        const mode_t perms = ModeArgument(flags, args);                \
        va_end(args);                                                  \
        return OpenAt(AT_FDCWD, path, flags, perms,                    \
                      [&](mode_t m) { return real(path, flags, m); }); \
    }
OPEN_WRAPPER(open)
OPEN_WRAPPER(open64)

#define OPENAT_WRAPPER(name)                                                  \
    int name(int dirfd, const char* path, int flags, ...) {                   \
        static auto real = REAL(name);                                        \
        va_list args;                                                         \
        va_start(args, flags);                                                \
        const mode_t perms = ModeArgument(flags, args);                       \
        va_end(args);                                                         \
        return OpenAt(dirfd, path, flags, perms,                              \
                      [&](mode_t m) { return real(dirfd, path, flags, m); }); \
    }
OPENAT_WRAPPER(openat)
OPENAT_WRAPPER(openat64)

// The fortified entries of open without a mode.
int __open_2(const char* path, int flags) {
    return open(path, flags);
}
int __open64_2(const char* path, int flags) {
    return open64(path, flags);
}
int __openat_2(int dirfd, const char* path, int flags) {
    return openat(dirfd, path, flags);
}
int __openat64_2(int dirfd, const char* path, int flags) {
    return openat64(dirfd, path, flags);
}

int creat(const char* path, mode_t perms) {
    return open(path, O_CREAT | O_WRONLY | O_TRUNC, perms);
}
int creat64(const char* path, mode_t perms) {
    return open64(path, O_CREAT | O_WRONLY | O_TRUNC, perms);
}

ssize_t write(int fd, const void* data, size_t size) {
    static auto real = REAL(write);
    if (FdWritten(fd) && FaultFd("write", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd, data, size);
}

ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    static auto real = REAL(pwrite);
    if (FdWritten(fd) && FaultFd("pwrite", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd, data, size, offset);
}

ssize_t pwrite64(int fd, const void* data, size_t size, off64_t offset) {
    static auto real = REAL(pwrite64);
    if (FdWritten(fd) && FaultFd("pwrite", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd, data, size, offset);
}

ssize_t writev(int fd, const struct iovec* vectors, int count) {
    static auto real = REAL(writev);
    if (FdWritten(fd) && FaultFd("writev", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd, vectors, count);
}

ssize_t sendfile(int out, int in, off_t* offset, size_t size) {
    static auto real = REAL(sendfile);
    if (FdWritten(out) && FaultFd("sendfile", out, kNeedsSpace)) {
        return -1;
    }
    return real(out, in, offset, size);
}

int ftruncate(int fd, off_t length) {
    static auto real = REAL(ftruncate);
    if (FdWritten(fd) && FaultFd("ftruncate", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd, length);
}

int ftruncate64(int fd, off64_t length) {
    static auto real = REAL(ftruncate64);
    if (FdWritten(fd) && FaultFd("ftruncate", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd, length);
}

int fsync(int fd) {
    static auto real = REAL(fsync);
    if (FdUnderRoot(fd) && FaultFd("fsync", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd);
}

int fdatasync(int fd) {
    static auto real = REAL(fdatasync);
    if (FdUnderRoot(fd) && FaultFd("fdatasync", fd, kNeedsSpace)) {
        return -1;
    }
    return real(fd);
}

// A failed close still frees the descriptor, as the system's does.
int close(int fd) {
    static auto real = REAL(close);
    const bool written = FdWritten(fd);
    const bool fail = written && FaultFd("close", fd, kFreesSpace);
    if (FdUnderRoot(fd)) {
        tracked[fd] = 0;
    }
    const int result = real(fd);
    if (fail) {
        errno = mode == kEio ? EIO : ENOSPC;
        return -1;
    }
    return result;
}

int rename(const char* from, const char* to) {
    static auto real = REAL(rename);
    if ((PathUnderRoot(AT_FDCWD, from) || PathUnderRoot(AT_FDCWD, to)) &&
        Fault("rename", to, kNeedsSpace)) {
        return -1;
    }
    return real(from, to);
}

int renameat(int fromDir, const char* from, int toDir, const char* to) {
    static auto real = REAL(renameat);
    if ((PathUnderRoot(fromDir, from) || PathUnderRoot(toDir, to)) &&
        Fault("rename", to, kNeedsSpace)) {
        return -1;
    }
    return real(fromDir, from, toDir, to);
}

int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned flags) {
    static auto real = REAL(renameat2);
    if ((PathUnderRoot(fromDir, from) || PathUnderRoot(toDir, to)) &&
        Fault("rename", to, kNeedsSpace)) {
        return -1;
    }
    return real(fromDir, from, toDir, to, flags);
}

int link(const char* from, const char* to) {
    static auto real = REAL(link);
    if (PathUnderRoot(AT_FDCWD, to) && (Fault("link", to, kNeedsSpace) || NoLink())) {
        return -1;
    }
    return real(from, to);
}

int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    static auto real = REAL(linkat);
    if (PathUnderRoot(toDir, to) && (Fault("link", to, kNeedsSpace) || NoLink())) {
        return -1;
    }
    return real(fromDir, from, toDir, to, flags);
}

int unlink(const char* path) {
    static auto real = REAL(unlink);
    if (PathUnderRoot(AT_FDCWD, path) && Fault("unlink", path, kFreesSpace)) {
        return -1;
    }
    return real(path);
}

int unlinkat(int dirfd, const char* path, int flags) {
    static auto real = REAL(unlinkat);
    if (PathUnderRoot(dirfd, path) && Fault("unlink", path, kFreesSpace)) {
        return -1;
    }
    return real(dirfd, path, flags);
}

int mkdir(const char* path, mode_t perms) {
    static auto real = REAL(mkdir);
    if (PathUnderRoot(AT_FDCWD, path) && Fault("mkdir", path, kNeedsSpace)) {
        return -1;
    }
    return real(path, perms);
}

int mkdirat(int dirfd, const char* path, mode_t perms) {
    static auto real = REAL(mkdirat);
    if (PathUnderRoot(dirfd, path) && Fault("mkdir", path, kNeedsSpace)) {
        return -1;
    }
    return real(dirfd, path, perms);
}

int rmdir(const char* path) {
    static auto real = REAL(rmdir);
    if (PathUnderRoot(AT_FDCWD, path) && Fault("rmdir", path, kFreesSpace)) {
        return -1;
    }
    return real(path);
}

}  // extern "C"
