#include "common/platform_files.h"

#include "common/platform_fault.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cstddef>
#include <string>
#include <vector>

// Ours is platform::CreateFile; the system's is called CreateFileW here.
#undef CreateFile

// The callers share error codes with the C library (ENOSPC of the write-fault seam, EISDIR):
// Windows' errors are told as the errno values of the same meaning; those without one keep the
// system's own code above kOwnCode, so that its words can still be shown.
namespace converter::platform {

namespace {

constexpr int kOwnCode = 100000;

// Paths from here on are too long for the plain calls (MAX_PATH, less the room CreateDirectoryW
// wants): they go in the extended form, which is absolute, cleaned and uses backslashes only.
constexpr qsizetype kLongPath = 240;

QString ExtendedPath(const QString& path) {
    const QString native =
        QDir::toNativeSeparators(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (native.startsWith(QLatin1String("\\\\?\\"))) {
        return native;
    }
    if (native.startsWith(QLatin1String("\\\\"))) {
        return QStringLiteral("\\\\?\\UNC\\") + native.mid(2);
    }
    return QStringLiteral("\\\\?\\") + native;
}

std::wstring Wide(const QString& path) {
    const QString native = QDir::toNativeSeparators(path);
    return (native.size() < kLongPath ? native : ExtendedPath(path)).toStdWString();
}

// The same path as the native calls name files: "\??\C:\..." or "\??\UNC\server\...".
std::wstring NativeName(const QString& path) {
    return (QStringLiteral("\\??\\") + ExtendedPath(path).mid(4)).toStdWString();
}

// Our own files beside the user's (staging folders, journals, locks, temporary files) have names
// that begin with a dot; Windows hides files by an attribute, not by name.
bool OwnName(const QString& path) {
    return QFileInfo(path).fileName().startsWith(QLatin1Char('.'));
}

DWORD CreationAttributes(const QString& path) {
    return OwnName(path) ? FILE_ATTRIBUTE_HIDDEN : FILE_ATTRIBUTE_NORMAL;
}

int ErrorCode(DWORD error) {
    switch (error) {
        case ERROR_SUCCESS:
            return 0;
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
        case ERROR_INVALID_DRIVE:
            return ENOENT;
        case ERROR_ACCESS_DENIED:
            return EACCES;
        case ERROR_SHARING_VIOLATION:
        case ERROR_LOCK_VIOLATION:
        case ERROR_USER_MAPPED_FILE:
            return EBUSY;
        case ERROR_DISK_FULL:
        case ERROR_HANDLE_DISK_FULL:
            return ENOSPC;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_FILE_EXISTS:
        case ERROR_ALREADY_EXISTS:
            return EEXIST;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        case ERROR_FILENAME_EXCED_RANGE:
            return ENAMETOOLONG;
        case ERROR_DIR_NOT_EMPTY:
            return ENOTEMPTY;
        case ERROR_NOT_SAME_DEVICE:
            return EXDEV;
        // FAT and exFAT drives (USB sticks) and some network shares have no links.
        case ERROR_INVALID_FUNCTION:
        case ERROR_NOT_SUPPORTED:
            return ENOTSUP;
        case ERROR_TOO_MANY_LINKS:
            return EMLINK;
        case ERROR_CRC:
        case ERROR_IO_DEVICE:
        case ERROR_SECTOR_NOT_FOUND:
        case ERROR_READ_FAULT:
        case ERROR_WRITE_FAULT:
        case ERROR_NOT_READY:
        case ERROR_NETNAME_DELETED:
        case ERROR_UNEXP_NET_ERR:
            return EIO;
        default:
            return kOwnCode + static_cast<int>(error);
    }
}

int LastError() {
    return ErrorCode(GetLastError());
}

// The fault-injection run's seam: true, with the error set, when the test fails this call.
bool Faulted(const char* kind, const QString& path, bool needsSpace) {
    if (const unsigned long error = InjectedFault(kind, path, needsSpace)) {
        SetLastError(error);
        return true;
    }
    return false;
}

bool FaultedOn(const char* kind, HANDLE handle, bool needsSpace) {
    if (const unsigned long error = InjectedFaultOn(kind, handle, needsSpace)) {
        SetLastError(error);
        return true;
    }
    return false;
}

HANDLE HandleOf(int handle) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(handle));
}

// Folders open only with backup semantics; no access is needed to read a file's identity.
HANDLE OpenExisting(const QString& path, DWORD access, DWORD share) {
    return CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// A virus scanner or the search indexer opens a file that was just written, for a moment: then
// Windows refuses to rename, link or delete it ("access denied", a sharing violation). Such a
// refusal is tried again, as SQLite does, waiting a little longer each time (1.4 s in all); a
// program that keeps the file open (the GIS) still gets its refusal after that.
template <typename Call>
bool Retried(Call call) {
    constexpr int kRetries = 10;
    for (int attempt = 0;; ++attempt) {
        if (call()) {
            return true;
        }
        const DWORD error = GetLastError();
        const bool passing = error == ERROR_ACCESS_DENIED || error == ERROR_SHARING_VIOLATION ||
                             error == ERROR_LOCK_VIOLATION;
        if (!passing || attempt == kRetries) {
            SetLastError(error);
            return false;
        }
        Sleep(25 * (attempt + 1));
    }
}

bool IsFolder(const QString& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

int CreateFile(const QString& path, int& handle) {
    if (Faulted("create", path, true)) {
        return LastError();
    }
    // A hidden file is replaced only by a call that asks for the same attribute.
    const HANDLE file = CreateFileW(Wide(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                    CREATE_ALWAYS, CreationAttributes(path), nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_WRONLY | _O_BINARY);
    if (fd < 0) {
        CloseHandle(file);
        return EMFILE;
    }
    NoteOpened(file, path);
    handle = fd;
    return 0;
}

int WriteAll(int handle, const char* data, qint64 size) {
    if (FaultedOn("write", HandleOf(handle), true)) {
        return LastError();
    }
    while (size > 0) {
        const DWORD chunk = static_cast<DWORD>(std::min<qint64>(size, 1 << 30));
        DWORD written = 0;
        if (!WriteFile(HandleOf(handle), data, chunk, &written, nullptr)) {
            return LastError();
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
    const bool faulted = FaultedOn("close", HandleOf(handle), false);
    const int error = faulted ? LastError() : 0;
    NoteClosed(HandleOf(handle));
    const bool closed = _close(handle) == 0;
    return error != 0 ? error : closed ? 0 : EIO;
}

int RenameOver(const QString& from, const QString& to) {
    if (Faulted("rename", to, true)) {
        return LastError();
    }
    // A file written under one of our hidden names becomes the user's: it shows under its own.
    if (OwnName(from) && !OwnName(to)) {
        const DWORD attributes = GetFileAttributesW(Wide(from).c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_HIDDEN) != 0 &&
            !SetFileAttributesW(Wide(from).c_str(), attributes & ~FILE_ATTRIBUTE_HIDDEN)) {
            return LastError();
        }
    }
    if (Retried([&] {
            return MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                               MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
        })) {
        return 0;
    }
    const int error = LastError();
    // Windows refuses to replace a file that another program has open as "access denied".
    return error == EACCES && HeldOpen(to) ? EBUSY : error;
}

int HardLink(const QString& existing, const QString& link) {
    if (Faulted("link", link, true)) {
        return LastError();
    }
    return Retried([&] {
        return CreateHardLinkW(Wide(link).c_str(), Wide(existing).c_str(), nullptr) != 0;
    })
               ? 0
               : LastError();
}

bool LinksUnsupported(int error) {
    // FAT answers "not supported", a share on a disk without links "access denied" and others
    // something else again: only a full disk and a missing file are the same for a move.
    return error != 0 && error != ENOSPC && error != ENOENT;
}

int MakeFolder(const QString& path) {
    if (Faulted("mkdir", path, true)) {
        return LastError();
    }
    if (!CreateDirectoryW(Wide(path).c_str(), nullptr)) {
        return LastError();
    }
    if (OwnName(path)) {
        // Only how the folder shows: a refusal changes nothing else.
        SetFileAttributesW(Wide(path).c_str(), FILE_ATTRIBUTE_HIDDEN);
    }
    return 0;
}

int RemoveFile(const QString& path) {
    if (Faulted("unlink", path, false)) {
        return LastError();
    }
    if (Retried([&] { return DeleteFileW(Wide(path).c_str()) != 0; })) {
        return 0;
    }
    const int error = LastError();
    return error == ENOENT ? 0 : error;
}

int SyncPath(const QString& path) {
    // Windows has no folder sync: a rename with write-through is on the disk when it returns.
    if (IsFolder(path)) {
        return 0;
    }
    if (Faulted("sync", path, true)) {
        return LastError();
    }
    const HANDLE file = OpenExisting(path, GENERIC_WRITE, kShareAll);
    if (file == INVALID_HANDLE_VALUE) {
        return LastError();
    }
    const int error = FlushFileBuffers(file) ? 0 : LastError();
    CloseHandle(file);
    return error;
}

int SyncHandle(int handle) {
    if (FaultedOn("sync", HandleOf(handle), true)) {
        return LastError();
    }
    return FlushFileBuffers(HandleOf(handle)) ? 0 : LastError();
}

bool SameFile(const QString& first, const QString& second) {
    BY_HANDLE_FILE_INFORMATION a{};
    BY_HANDLE_FILE_INFORMATION b{};
    auto identify = [](const QString& path, BY_HANDLE_FILE_INFORMATION& info) {
        const HANDLE file = OpenExisting(path, 0, kShareAll);
        if (file == INVALID_HANDLE_VALUE) {
            return false;
        }
        const bool known = GetFileInformationByHandle(file, &info) != 0;
        CloseHandle(file);
        return known;
    };
    return identify(first, a) && identify(second, b) &&
           a.dwVolumeSerialNumber == b.dwVolumeSerialNumber &&
           a.nFileIndexHigh == b.nFileIndexHigh && a.nFileIndexLow == b.nFileIndexLow;
}

bool HeldOpen(const QString& path) {
    // Nobody else may have the file open while we ask for it unshared.
    HANDLE file = INVALID_HANDLE_VALUE;
    Retried([&] {
        file = OpenExisting(path, GENERIC_READ | DELETE, 0);
        return file != INVALID_HANDLE_VALUE;
    });
    if (file == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(file);
    return false;
}

int HoldForStep(const QString& path, HeldHandle& handle) {
    handle = nullptr;
    if (Faulted("hold", path, false)) {
        return LastError();
    }
    // Shared for deletion only: whoever has the file open now makes this fail, and nobody can
    // open it after, until it is let go; delete access lets it be renamed through this handle.
    HANDLE file = INVALID_HANDLE_VALUE;
    const bool held = Retried([&] {
        file =
            CreateFileW(Wide(path).c_str(), DELETE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                        FILE_SHARE_DELETE, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
        return file != INVALID_HANDLE_VALUE;
    });
    if (!held) {
        return LastError();
    }
    handle = file;
    return 0;
}

namespace {

// The native call's rename record (FILE_RENAME_INFORMATION) and status block.
struct RenameInformation {
    BOOLEAN replaceIfExists;
    HANDLE rootDirectory;
    ULONG fileNameLength;
    WCHAR fileName[1];
};
struct IoStatus {
    union {
        LONG status;
        void* pointer;
    };
    ULONG_PTR information;
};
constexpr int kFileRenameInformation = 10;
using SetInformationFile = LONG(WINAPI*)(HANDLE, IoStatus*, void*, ULONG, int);
using StatusToError = ULONG(WINAPI*)(LONG);

template <typename Function>
Function FromNtdll(const char* name) {
    // The cast of a procedure address is how Windows hands out functions by name.
    return reinterpret_cast<Function>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleW(L"ntdll.dll"), name)));
}

// Renames through the handle with the native call, which takes the new name as the system
// itself names files; the documented wrapper's handling of other forms differs between versions.
bool RenameThrough(HANDLE file, const QString& to) {
    static const auto setInformation = FromNtdll<SetInformationFile>("NtSetInformationFile");
    static const auto toError = FromNtdll<StatusToError>("RtlNtStatusToDosError");
    if (setInformation == nullptr || toError == nullptr) {
        SetLastError(ERROR_NOT_SUPPORTED);
        return false;
    }
    const std::wstring name = NativeName(to);
    const size_t nameBytes = name.size() * sizeof(WCHAR);
    std::vector<std::byte> buffer(offsetof(RenameInformation, fileName) + nameBytes +
                                  sizeof(WCHAR));
    auto* info = reinterpret_cast<RenameInformation*>(buffer.data());
    info->replaceIfExists = TRUE;
    info->rootDirectory = nullptr;
    info->fileNameLength = static_cast<ULONG>(nameBytes);
    std::memcpy(info->fileName, name.c_str(), nameBytes + sizeof(WCHAR));
    IoStatus status{};
    const LONG result = setInformation(file, &status, info, static_cast<ULONG>(buffer.size()),
                                       kFileRenameInformation);
    if (result < 0) {
        SetLastError(toError(result));
        return false;
    }
    return true;
}

}  // namespace

int RenameHeld(HeldHandle handle, const QString& to) {
    if (Faulted("rename", to, true)) {
        return LastError();
    }
    return Retried([&] { return RenameThrough(static_cast<HANDLE>(handle), to); }) ? 0
                                                                                   : LastError();
}

void ReleaseHeld(HeldHandle handle) {
    CloseHandle(static_cast<HANDLE>(handle));
}

bool ReadOnlyAttribute(const QString& path) {
    const DWORD attributes = GetFileAttributesW(Wide(path).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0 &&
           (attributes & FILE_ATTRIBUTE_READONLY) != 0;
}

bool NamesIgnoreCase() {
    return true;
}

std::pair<qint64, qint64> OpenFileStamp(int handle) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(HandleOf(handle), &info)) {
        return {-1, -1};
    }
    auto join = [](DWORD high, DWORD low) {
        return static_cast<qint64>((static_cast<quint64>(high) << 32) | low);
    };
    // FILETIME counts 100-nanosecond steps.
    return {join(info.nFileSizeHigh, info.nFileSizeLow),
            join(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) * 100};
}

bool FolderTakesFiles(const QString& folder) {
    QTemporaryFile probe(folder + QStringLiteral("/.dovi2tarvel-probe-XXXXXX"));
    return probe.open();
}

QString MachineWideFolder() {
    const QString programData = qEnvironmentVariable("PROGRAMDATA");
    return programData.isEmpty()
               ? QString()
               : QDir::fromNativeSeparators(programData) + QStringLiteral("/dovi2tarvel");
}

qint64 ProcessId() {
    return static_cast<qint64>(GetCurrentProcessId());
}

bool ProcessRunning(qint64 pid) {
    if (pid <= 0 || pid > 0xFFFFFFFFLL) {
        return false;
    }
    const HANDLE process =
        OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (process == nullptr) {
        // It runs, under another user.
        return GetLastError() == ERROR_ACCESS_DENIED;
    }
    DWORD status = 0;
    const bool running = GetExitCodeProcess(process, &status) && status == STILL_ACTIVE;
    CloseHandle(process);
    return running;
}

QString SystemErrorText(int error) {
    // The C library's words are English on Windows, and missing for some codes.
    if (error < kOwnCode) {
        const QString words = OwnErrorWords(error);
        return words.isEmpty() ? QStringLiteral("Системная ошибка %1").arg(error) : words;
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(error - kOwnCode), 0, reinterpret_cast<wchar_t*>(&text), 0,
        nullptr);
    const QString words = length > 0 ? QString::fromWCharArray(text, static_cast<qsizetype>(length))
                                     : QStringLiteral("Системная ошибка %1").arg(error - kOwnCode);
    LocalFree(text);
    return words.trimmed();
}

namespace {

// True when `file` is the file that `path` names now: a holder removes the lock file's name before
// it lets go, and since Windows 10 1903 the name is free for a new file at once.
bool NamesFile(HANDLE file, const std::wstring& path) {
    BY_HANDLE_FILE_INFORMATION held{};
    BY_HANDLE_FILE_INFORMATION named{};
    const HANDLE byName = CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
    if (byName == INVALID_HANDLE_VALUE) {
        return false;
    }
    const bool known = GetFileInformationByHandle(file, &held) != 0 &&
                       GetFileInformationByHandle(byName, &named) != 0;
    CloseHandle(byName);
    return known && held.dwVolumeSerialNumber == named.dwVolumeSerialNumber &&
           held.nFileIndexHigh == named.nFileIndexHigh && held.nFileIndexLow == named.nFileIndexLow;
}

}  // namespace

LockOutcome TryLockFile(const QString& path, int& handle, int& error) {
    if (Faulted("lock", path, true)) {
        error = LastError();
        return LockOutcome::Failed;
    }
    // The lock is the system's, on the open file, and goes with its holder however it ends. A
    // name its holder is removing cannot be opened for a moment, or names a new file: tried
    // again.
    const std::wstring name = Wide(path);
    for (int attempt = 0; attempt < 10; ++attempt) {
        HANDLE file = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr,
                                  OPEN_ALWAYS, CreationAttributes(path), nullptr);
        if (file == INVALID_HANDLE_VALUE) {
            error = LastError();
            // A lock file that others made in a folder we may only read still counts.
            file = CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, nullptr);
            if (file == INVALID_HANDLE_VALUE) {
                if (error == EACCES &&
                    GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES) {
                    Sleep(10);
                    continue;
                }
                return LockOutcome::Failed;
            }
        }
        OVERLAPPED whole{};
        if (!LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0,
                        &whole)) {
            const DWORD reason = GetLastError();
            CloseHandle(file);
            error = ErrorCode(reason);
            return reason == ERROR_LOCK_VIOLATION || reason == ERROR_IO_PENDING
                       ? LockOutcome::Busy
                       : LockOutcome::Failed;
        }
        if (!NamesFile(file, name)) {
            CloseHandle(file);
            Sleep(10);
            continue;
        }
        const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDONLY);
        if (fd < 0) {
            CloseHandle(file);
            error = EMFILE;
            return LockOutcome::Failed;
        }
        handle = fd;
        error = 0;
        return LockOutcome::Locked;
    }
    error = EAGAIN;
    return LockOutcome::Busy;
}

void ReleaseLockFile(int handle, const QString& path) {
    // The name goes first (shared for deletion, it goes when the handle closes).
    DeleteFileW(Wide(path).c_str());
    _close(handle);
}

}  // namespace converter::platform
