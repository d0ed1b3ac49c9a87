#pragma once

// What only a POSIX system offers the reliability tests: another user whom file modes bind, and a
// small disk of its own.
#include "reliability_fixture.h"

#include <grp.h>
#include <pwd.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

namespace converter::testing {

// Runs `step` as a user whom file permissions bind. Root (as in CI) writes into read-only files
// and folders, so there the step runs in a child process that has become "nobody"; anyone else
// runs it here. True when the step returned true. The child's own messages go to stderr.
inline bool AsUnprivilegedUser(const std::function<bool()>& step) {
    if (::geteuid() != 0) {
        return step();
    }
    const passwd* nobody = ::getpwnam("nobody");
    if (nobody == nullptr) {
        qWarning("no user nobody to run the step as");
        return false;
    }
    const uid_t uid = nobody->pw_uid;
    const gid_t gid = nobody->pw_gid;
    // A home of its own: the per-user data folder must not be root's.
    const QTemporaryDir home;
    if (!home.isValid() || ::chown(QFile::encodeName(home.path()).constData(), uid, gid) != 0) {
        qWarning("no home folder for nobody");
        return false;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        qputenv("HOME", QFile::encodeName(home.path()));
        qputenv("XDG_DATA_HOME", QFile::encodeName(home.path()));
        const bool dropped = ::setgroups(0, nullptr) == 0 && ::setgid(gid) == 0 &&
                             ::setuid(uid) == 0 && ::geteuid() != 0;
        ::_exit(dropped && step() ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) &&
           WEXITSTATUS(status) == 0;
}

// Makes `folder` and the folders above it up to `root` passable for every user, so that an
// unprivileged step reaches what lies in it (QTemporaryDir makes its folders for the owner only).
inline void OpenForOthers(const QString& folder, QFile::Permissions extra = {}) {
    QFile::setPermissions(folder, QFile::permissions(folder) | QFile::ReadOther | QFile::ExeOther |
                                      QFile::ReadGroup | QFile::ExeGroup | extra);
}

// A small tmpfs: a real full disk, or a read-only one. Only root may mount one; CI runs as root, so
// there the test never skips.
class SmallDisk {
public:
    explicit SmallDisk(qint64 bytes) {
        mounted_ = ::geteuid() == 0 &&
                   QProcess::execute(QStringLiteral("mount"),
                                     {QStringLiteral("-t"), QStringLiteral("tmpfs"),
                                      QStringLiteral("-o"), QStringLiteral("size=%1").arg(bytes),
                                      QStringLiteral("tmpfs"), dir_.path()}) == 0;
    }
    ~SmallDisk() {
        if (mounted_) {
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), dir_.path()});
        }
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly() const {
        return QProcess::execute(
                   QStringLiteral("mount"),
                   {QStringLiteral("-o"), QStringLiteral("remount,ro"), dir_.path()}) == 0;
    }
    QString path(const QString& name) const { return dir_.filePath(name); }

    // Writes a filler file until only about `free` bytes are left.
    bool fillLeaving(qint64 free) const {
        struct statvfs stats {};
        if (::statvfs(QFile::encodeName(dir_.path()).constData(), &stats) != 0) {
            return false;
        }
        qint64 left =
            static_cast<qint64>(stats.f_bavail) * static_cast<qint64>(stats.f_frsize) - free;
        QFile filler(path(QStringLiteral("filler")));
        if (!filler.open(QIODevice::WriteOnly)) {
            return false;
        }
        const QByteArray chunk(4096, 'f');
        for (; left >= chunk.size(); left -= chunk.size()) {
            if (filler.write(chunk) != chunk.size()) {
                return false;
            }
        }
        return filler.flush();
    }

private:
    QTemporaryDir dir_;
    bool mounted_ = false;
};

}  // namespace converter::testing
