#include "common/platform.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace converter {

namespace {

QString Reason(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

// fsync of a descriptor; filesystems that cannot sync (EINVAL, EROFS) have nothing to flush.
QString SyncDescriptor(int fd) {
    if (::fsync(fd) != 0 && errno != EINVAL && errno != EROFS) {
        return Reason(errno);
    }
    return {};
}

}  // namespace

QString MoveReplacing(const QString& from, const QString& to) {
    if (std::rename(QFile::encodeName(from).constData(), QFile::encodeName(to).constData()) != 0) {
        return Reason(errno);
    }
    return {};
}

QString RemoveFile(const QString& path) {
    if (::unlink(QFile::encodeName(path).constData()) != 0 && errno != ENOENT) {
        return Reason(errno);
    }
    return {};
}

QString SyncFile(const QString& path) {
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return Reason(errno);
    }
    const QString problem = SyncDescriptor(fd);
    ::close(fd);
    return problem;
}

QString SyncOpenFile(const QFileDevice& file) {
    return SyncDescriptor(file.handle());
}

QString SyncFolder(const QString& path) {
    return SyncFile(path);
}

bool FileHeldOpen(const QString&) {
    return false;
}

std::pair<qint64, qint64> OpenFileStamp(const QFileDevice& file) {
    struct stat info {};
    if (fstat(file.handle(), &info) != 0) {
        return {-1, -1};
    }
    return {static_cast<qint64>(info.st_size),
            static_cast<qint64>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

bool FolderTakesFiles(const QString& folder) {
    return QFileInfo(folder).isWritable();
}

void PrepareStandardStreams() {}

bool IsConsole(std::FILE* stream) {
    return isatty(fileno(stream)) != 0;
}

void WriteText(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

}  // namespace converter
