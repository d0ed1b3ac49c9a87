#include "common/platform_fault.h"

#include <QByteArray>
#include <QDir>
#include <QHash>

#include <windows.h>

#include <atomic>
#include <cstring>
#include <mutex>

namespace converter::platform {

namespace {

enum class Mode { Off, Trace, Eio, Enospc, Kill, Sharing, Denied };

// What the environment asked for, read once; the final step may run on a thread of its own.
struct Settings {
    Mode mode = Mode::Off;
    long at = 0;
    QString root;
    HANDLE log = INVALID_HANDLE_VALUE;
    bool noLinks = false;
};

// A path as the driver reads it back: '/' between names, without the long-path prefix, so that
// one file has one name whichever form the caller used.
QString Normalized(const QString& path) {
    QString normal = path;
    normal.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (normal.startsWith(QLatin1String("//?/UNC/"), Qt::CaseInsensitive)) {
        normal = QStringLiteral("//") + normal.mid(8);
    } else if (normal.startsWith(QLatin1String("//?/"))) {
        normal = normal.mid(4);
    }
    if (QDir::isRelativePath(normal)) {
        normal = QDir::currentPath() + QLatin1Char('/') + normal;
    }
    while (normal.size() > 3 && normal.endsWith(QLatin1Char('/'))) {
        normal.chop(1);
    }
    return normal;
}

Mode ModeNamed(const QString& name) {
    static const QHash<QString, Mode> modes{
        {QStringLiteral("trace"), Mode::Trace},     {QStringLiteral("eio"), Mode::Eio},
        {QStringLiteral("enospc"), Mode::Enospc},   {QStringLiteral("kill"), Mode::Kill},
        {QStringLiteral("sharing"), Mode::Sharing}, {QStringLiteral("denied"), Mode::Denied}};
    return modes.value(name, Mode::Trace);
}

const Settings& Current() {
    static const Settings settings = [] {
        Settings read;
        const QString root = qEnvironmentVariable("FAULT_ROOT");
        const QString mode = qEnvironmentVariable("FAULT_MODE");
        if (root.isEmpty() || mode.isEmpty()) {
            return read;
        }
        read.mode = ModeNamed(mode);
        read.root = Normalized(root);
        read.at = qEnvironmentVariable("FAULT_AT").toLong();
        read.noLinks = !qEnvironmentVariableIsEmpty("FAULT_NO_LINKS");
        const QString log = qEnvironmentVariable("FAULT_LOG");
        if (!log.isEmpty()) {
            // Appended to without a buffer of ours: what was written survives TerminateProcess.
            read.log =
                CreateFileW(reinterpret_cast<const wchar_t*>(QDir::toNativeSeparators(log).utf16()),
                            FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                            OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        }
        return read;
    }();
    return settings;
}

std::atomic<long> counted{0};

// The paths of open files under the counted folder, by handle.
std::mutex& OpenedLock() {
    static std::mutex lock;
    return lock;
}

QHash<void*, QString>& Opened() {
    static QHash<void*, QString> opened;
    return opened;
}

bool UnderRoot(const Settings& settings, const QString& path) {
    return path.startsWith(settings.root, Qt::CaseInsensitive) &&
           (path.size() == settings.root.size() || path.at(settings.root.size()) == u'/');
}

void Log(const Settings& settings, long n, const char* kind, const QString& path,
         const QByteArray& outcome) {
    if (settings.log == INVALID_HANDLE_VALUE) {
        return;
    }
    const QByteArray line = QByteArray::number(static_cast<qlonglong>(n)) + ' ' + kind + ' ' +
                            path.toUtf8() + outcome + '\n';
    DWORD written = 0;
    WriteFile(settings.log, line.constData(), static_cast<DWORD>(line.size()), &written, nullptr);
}

DWORD ErrorOf(Mode mode) {
    switch (mode) {
        case Mode::Eio:
            return ERROR_IO_DEVICE;
        case Mode::Enospc:
            return ERROR_DISK_FULL;
        case Mode::Sharing:
            return ERROR_SHARING_VIOLATION;
        case Mode::Denied:
            return ERROR_ACCESS_DENIED;
        default:
            return ERROR_SUCCESS;
    }
}

// Counts one call under the folder and says how it ends. A full disk refuses from its call on
// whatever needs space; the other faults strike their call only.
unsigned long Count(const Settings& settings, const char* kind, const QString& path,
                    bool needsSpace) {
    const long n = ++counted;
    const bool due =
        settings.mode == Mode::Enospc ? n >= settings.at && needsSpace : n == settings.at;
    if (!due || settings.mode == Mode::Trace) {
        Log(settings, n, kind, path, QByteArray());
        // A share without hard links refuses them as "access denied".
        return settings.noLinks && std::strcmp(kind, "link") == 0 ? ERROR_ACCESS_DENIED : 0;
    }
    if (settings.mode == Mode::Kill) {
        Log(settings, n, kind, path, " KILL");
        // Ending itself, the process does not come back here; should that ever fail, the run
        // hangs (the driver says so) rather than make the call.
        TerminateProcess(GetCurrentProcess(), 9);
        Sleep(INFINITE);
    }
    const DWORD error = ErrorOf(settings.mode);
    Log(settings, n, kind, path, ' ' + QByteArray::number(static_cast<uint>(error)));
    return error;
}

}  // namespace

unsigned long InjectedFault(const char* kind, const QString& path, bool needsSpace) {
    const Settings& settings = Current();
    if (settings.mode == Mode::Off) {
        return 0;
    }
    const QString normal = Normalized(path);
    return UnderRoot(settings, normal) ? Count(settings, kind, normal, needsSpace) : 0;
}

unsigned long InjectedFaultOn(const char* kind, void* handle, bool needsSpace) {
    const Settings& settings = Current();
    if (settings.mode == Mode::Off) {
        return 0;
    }
    QString path;
    {
        const std::lock_guard<std::mutex> guard(OpenedLock());
        const auto it = Opened().constFind(handle);
        if (it == Opened().cend()) {
            return 0;
        }
        path = it.value();
    }
    return Count(settings, kind, path, needsSpace);
}

void NoteOpened(void* handle, const QString& path) {
    const Settings& settings = Current();
    if (settings.mode == Mode::Off || handle == nullptr || handle == INVALID_HANDLE_VALUE) {
        return;
    }
    const QString normal = Normalized(path);
    if (UnderRoot(settings, normal)) {
        const std::lock_guard<std::mutex> guard(OpenedLock());
        Opened().insert(handle, normal);
    }
}

void NoteClosed(void* handle) {
    if (Current().mode == Mode::Off) {
        return;
    }
    const std::lock_guard<std::mutex> guard(OpenedLock());
    Opened().remove(handle);
}

}  // namespace converter::platform
