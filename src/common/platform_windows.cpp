#include "common/platform.h"

#include <QDir>
#include <QFileDevice>
#include <QTemporaryFile>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <string>

namespace converter {

namespace {

std::wstring Wide(const QString& path) {
    return QDir::toNativeSeparators(path).toStdWString();
}

// The system's words for an error; those a user can act on in our own words.
QString Reason(DWORD error) {
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        return QStringLiteral(
            "Файл открыт другой программой (например, ГИС). Закройте его и "
            "повторите операцию.");
    }
    wchar_t* text = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    QString reason = length > 0 ? QString::fromWCharArray(text, static_cast<qsizetype>(length))
                                : QStringLiteral("Системная ошибка %1").arg(error);
    LocalFree(text);
    return reason.trimmed();
}

HANDLE OpenHandle(const QString& path, DWORD access, DWORD share) {
    // Folders open only with backup semantics.
    return CreateFileW(Wide(path).c_str(), access, share, nullptr, OPEN_EXISTING,
                       FILE_FLAG_BACKUP_SEMANTICS, nullptr);
}

HANDLE HandleOf(int fd) {
    return reinterpret_cast<HANDLE>(_get_osfhandle(fd));
}

HANDLE ConsoleOf(std::FILE* stream) {
    const HANDLE handle = HandleOf(_fileno(stream));
    DWORD mode = 0;
    return handle != INVALID_HANDLE_VALUE && GetConsoleMode(handle, &mode) ? handle : nullptr;
}

}  // namespace

QString MoveReplacing(const QString& from, const QString& to) {
    if (!MoveFileExW(Wide(from).c_str(), Wide(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        return Reason(GetLastError());
    }
    return {};
}

QString RemoveFile(const QString& path) {
    if (!DeleteFileW(Wide(path).c_str())) {
        const DWORD error = GetLastError();
        if (error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
            return Reason(error);
        }
    }
    return {};
}

QString SyncFile(const QString& path) {
    const HANDLE handle =
        OpenHandle(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (handle == INVALID_HANDLE_VALUE) {
        return Reason(GetLastError());
    }
    QString problem;
    if (!FlushFileBuffers(handle)) {
        problem = Reason(GetLastError());
    }
    CloseHandle(handle);
    return problem;
}

QString SyncOpenFile(const QFileDevice& file) {
    if (!FlushFileBuffers(HandleOf(file.handle()))) {
        return Reason(GetLastError());
    }
    return {};
}

QString SyncFolder(const QString&) {
    // A rename with write-through is on the disk when it returns.
    return {};
}

bool FileHeldOpen(const QString& path) {
    // Nobody else may have it open while we hold it unshared.
    const HANDLE handle = OpenHandle(path, GENERIC_READ | DELETE, 0);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION;
    }
    CloseHandle(handle);
    return false;
}

std::pair<qint64, qint64> OpenFileStamp(const QFileDevice& file) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(HandleOf(file.handle()), &info)) {
        return {-1, -1};
    }
    const auto wide = [](DWORD high, DWORD low) {
        return static_cast<qint64>((static_cast<quint64>(high) << 32) | low);
    };
    // FILETIME counts 100-nanosecond steps.
    return {wide(info.nFileSizeHigh, info.nFileSizeLow),
            wide(info.ftLastWriteTime.dwHighDateTime, info.ftLastWriteTime.dwLowDateTime) * 100};
}

bool FolderTakesFiles(const QString& folder) {
    // Attributes do not tell: Program Files says writable and refuses an ordinary user.
    QTemporaryFile probe(folder + QStringLiteral("/.dovi2tarvel-probe-XXXXXX"));
    return probe.open();
}

void PrepareStandardStreams() {
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

bool IsConsole(std::FILE* stream) {
    const HANDLE console = ConsoleOf(stream);
    if (console == nullptr) {
        return false;
    }
    // Progress lines erase themselves with escape sequences, which consoles obey on request.
    DWORD mode = 0;
    GetConsoleMode(console, &mode);
    SetConsoleMode(console, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING);
    return true;
}

void WriteText(std::FILE* stream, const QString& text) {
    if (const HANDLE console = ConsoleOf(stream)) {
        std::fflush(stream);
        const std::wstring wide = text.toStdWString();
        DWORD written = 0;
        WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        return;
    }
    const QByteArray bytes = text.toUtf8();
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stream);
}

}  // namespace converter
